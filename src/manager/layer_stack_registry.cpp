// PaintManager: the 512-slot table of layer stacks, the current stack, and
// the lookups from layer handles to stacks.
#include "brenmark/paint_manager.h"
#include "manager/brush_suspension.h"
#include "manager/command_undo.h"

using brenmark::BrushSuspension;

namespace {

void* const kNoLayer = reinterpret_cast<void*>(-1);
void* const kCurrentLayer = reinterpret_cast<void*>(-2);

}  // namespace

bool PaintManager::isValidLayerStackHandle(int h) const {
  return h >= 0 && h < kMaxLayerStacks && layerStacks_[h];
}

LayerStack* PaintManager::GetLayerStack(int h) const {
  if (h == -2) h = currentLayerStackHandle_;
  if (h < 0 || h >= kMaxLayerStacks) return nullptr;
  return layerStacks_[h];
}

LayerStack* PaintManager::LayerStackFromHandle(int& h) const {
  if (h == -2) h = currentLayerStackHandle_;
  return GetLayerStack(h);
}

int PaintManager::AddLayerStack(const ViewerParms& parms) {
  int slot = 0;
  while (slot < kMaxLayerStacks && layerStacks_[slot]) ++slot;
  if (slot == kMaxLayerStacks) return -1;
  BrushSuspension suspend(*this);
  currentLayerStackHandle_ = slot;
  auto* stack = new LayerStack(parms, slot);
  currentLayerStack_ = stack;
  layerStacks_[slot] = stack;
  stack->ref();
  ++layerStackCount_;
  return slot;
}

void PaintManager::DeleteLayerStack(int h) {
  // A running stroke paints through a painter of a stack; end it first.
  if (inBrushStroke_ && GetLayerStack(h)) EndBrushStroke();
  if (h == -2 || h == currentLayerStackHandle_) {
    int current = currentLayerStackHandle_;
    if (current < 0 || current >= kMaxLayerStacks || !currentLayerStack_) return;
    BrushSuspension suspend(*this);
    LayerStack* stack = currentLayerStack_;
    brenmark::FlushUndoRecordsOf(*this, current, stack);
    stack->Notify();
    layerStacks_[current] = nullptr;
    currentLayerStackHandle_ = -1;
    currentLayerStack_ = nullptr;
    --layerStackCount_;
    stack->unref();
    return;
  }
  if (!isValidLayerStackHandle(h)) return;
  LayerStack* stack = layerStacks_[h];
  brenmark::FlushUndoRecordsOf(*this, h, stack);
  layerStacks_[h] = nullptr;
  --layerStackCount_;
  stack->unref();
}

void PaintManager::ReplaceLayerStack(LayerStack* stack, int h) {
  if (h < 0 || h >= kMaxLayerStacks || !stack) return;
  BrushSuspension suspend(*this);
  stack->ref();
  if (LayerStack* old = layerStacks_[h]) {
    if (old != stack) {
      stack->SetViewerParms(old->GetViewerParms());
      stack->SetTransform(old->GetTransform());
    }
    old->unref();
  }
  layerStacks_[h] = stack;
  if (h == currentLayerStackHandle_) currentLayerStack_ = stack;
  stack->Notify();
}

void PaintManager::SetCurrentLayerStack(int h) {
  if (!isValidLayerStackHandle(h)) return;
  if (h == currentLayerStackHandle_ && layerStacks_[h] == currentLayerStack_) return;
  BrushSuspension suspend(*this);
  currentLayerStackHandle_ = h;
  currentLayerStack_ = layerStacks_[h];
  currentLayerStack_->Notify();
}

int PaintManager::GetLayerStackHandle(const LayerStack* stack) const {
  for (int i = 0; i < kMaxLayerStacks; ++i) {
    if (layerStacks_[i] == stack) return i;
  }
  return -1;
}

int PaintManager::NextLayerStack() {
  while (layerStackIteratorPos_ < kMaxLayerStacks) {
    int slot = layerStackIteratorPos_++;
    if (layerStacks_[slot]) return slot;
  }
  return -1;
}

LayerStack* PaintManager::GetLayerStackFromLayerHandle(void* layer) const {
  if (layer == kCurrentLayer) return currentLayerStack_;
  for (int i = 0; i < kMaxLayerStacks; ++i) {
    if (layerStacks_[i] && layerStacks_[i]->GetLayerIndex(layer) != -1) return layerStacks_[i];
  }
  return nullptr;
}

void PaintManager::GetLayerFromHandle(void* layer, int& index, int& lsHandle) const {
  index = -1;
  lsHandle = -1;
  if (layer == kNoLayer) return;
  if (layer == kCurrentLayer) {
    if (!currentLayerStack_) return;
    lsHandle = currentLayerStackHandle_;
    index = currentLayerStack_->GetIndexFromLayer(currentLayerStack_->GetCurrentLayerPtr());
    return;
  }
  for (int i = 0; i < kMaxLayerStacks; ++i) {
    if (!layerStacks_[i]) continue;
    int at = layerStacks_[i]->GetLayerIndex(layer);
    if (at != -1) {
      index = at;
      lsHandle = i;
      return;
    }
  }
}

void* PaintManager::GetLayerHandle(int index, int h) const {
  LayerStack* stack = GetLayerStack(h);
  return stack ? stack->GetLayerHandle(index) : kNoLayer;
}

ViewerParms& PaintManager::GetCurrentViewerParms() {
  static ViewerParms none;
  return currentLayerStack_ ? currentLayerStack_->GetViewerParms() : none;
}

void PaintManager::SetCurrentViewerParms(const ViewerParms& parms) {
  if (currentLayerStack_) currentLayerStack_->SetViewerParms(parms);
}

bool PaintManager::GetViewerParms(int h, ViewerParms& parms) const {
  if (!isValidLayerStackHandle(h)) return false;
  parms = layerStacks_[h]->GetViewerParms();
  return true;
}

void PaintManager::SetLayerStackSize(const ilTile& size, bool clip) {
  if (currentLayerStack_) currentLayerStack_->SetSize(size, clip);
}

ilTile PaintManager::GetLayerStackSize() const {
  return currentLayerStack_ ? currentLayerStack_->GetSize() : ilTile();
}

void PaintManager::ForceUpdate() {
  if (currentLayerStack_) currentLayerStack_->ForceUpdate();
}

void PaintManager::RedrawCanvasDueToGeometryChange() {
  if (currentLayerStack_) currentLayerStack_->RedrawCanvasDueToGeometryChange();
}

void PaintManager::UpdateImagePlaneBits(bool below, bool above) {
  if (currentLayerStack_) currentLayerStack_->RedrawEntireCanvas(below, above);
}

void PaintManager::SetSelectionMaskDrawStyle(SMDrawStyle style) {
  drawStyle_ = style;
  for (LayerStack* stack : layerStacks_) {
    if (stack) stack->SetSelectionMaskDrawStyle(style);
  }
}

void PaintManager::ToggleSelectionMaskDrawStyle() {
  SetSelectionMaskDrawStyle(drawStyle_ != kSMDrawTinted ? kSMDrawTinted : kSMDrawMarchingAnts);
}

void PaintManager::OverrideDisplayFilter(bool on) {
  if (on == displayFilterOverridden_) return;
  displayFilterOverridden_ = on;
  bool any = false;
  for (LayerStack* stack : layerStacks_) {
    if (!stack) continue;
    any = true;
    stack->DamageRegion(stack->GetSize());
    stack->UpdateImagePlaneBits();
    stack->ResetUpdateRegion();
  }
  if (any) callbacks_.LayersChanged();
}
