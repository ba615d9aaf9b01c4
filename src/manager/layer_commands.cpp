// PaintManager: the layer commands, each run in the command frame:
//   1. pixel commands end the current stack's proxy,
//   2. resolve the stack handle (nothing happens without a stack),
//   3. structural commands switch a blur/sharpen brush off,
//   4. with the undo switch on, the undo record is built from the state
//      before the change,
//   5. the handle is resolved again (a structure record puts a copy of the
//      stack into the slot) and the stack operation runs on what the slot
//      holds now,
//   6. the brush comes back on (when the guard of step 3 goes out of scope).
#include "brenmark/paint_manager.h"
#include "manager/brush_suspension.h"
#include "manager/command_undo.h"
#include "manager/undo_switch.h"

#include "brenmark/layer_iterators.h"

using brenmark::BrushSuspension;
using brenmark::CommandUndo;
using brenmark::UndoEnabled;
using brenmark::UndoRecordKind;

namespace {

void* const kNoLayer = reinterpret_cast<void*>(-1);
void* const kCurrentLayer = reinterpret_cast<void*>(-2);

// Step 4 for commands whose record is complete once built.
void RecordBefore(PaintManager& pm, UndoRecordKind kind, int h, int layerIndex) {
  if (!UndoEnabled()) return;
  CommandUndo record(pm, kind, h, layerIndex);
  record.Commit();
}

}  // namespace

void* PaintManager::AddLayer(ilImage* color, ilImage* stencil, bool isMask, bool unused,
                             bool recordUndo, int h, bool isGeometry, int xOffset, int yOffset,
                             int position, bool update) {
  if (!LayerStackFromHandle(h)) return kNoLayer;
  BrushSuspension suspend(*this);
  if (recordUndo) RecordBefore(*this, UndoRecordKind::kLayerStructure, h, -2);
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) return kNoLayer;
  int index = stack->AddLayer(color, stencil, isMask, unused, isGeometry, position, update);
  if (xOffset != 0 || yOffset != 0) {
    stack->SetCurrentLayerOffset(LayerStackTransform(), xOffset, yOffset, index, true);
  }
  return GetLayerHandle(index, h);
}

// The last layer of a stack is cleared, never removed.
void PaintManager::DeleteCurrentLayer(int h) {
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) return;
  if (stack->GetLayerCount() == 1) {
    ClearCurrentLayer(h);
    return;
  }
  BrushSuspension suspend(*this);
  RecordBefore(*this, UndoRecordKind::kLayerStructure, h, -2);
  if ((stack = LayerStackFromHandle(h))) stack->DeleteCurrentLayer(kCurrentLayer, true);
}

void PaintManager::ClearCurrentLayer(int h) {
  if (InProxy(-2)) EndProxy(-2);
  if (!LayerStackFromHandle(h)) return;
  BrushSuspension suspend(*this);
  RecordBefore(*this, UndoRecordKind::kLayerStroke, h, -2);
  if (LayerStack* stack = LayerStackFromHandle(h)) stack->ClearCurrentLayer();
}

void PaintManager::DuplicateCurrentLayer(bool unused, int h) {
  if (InProxy(-2)) EndProxy(-2);
  if (!LayerStackFromHandle(h)) return;
  BrushSuspension suspend(*this);
  RecordBefore(*this, UndoRecordKind::kLayerStructure, h, -2);
  if (LayerStack* stack = LayerStackFromHandle(h)) stack->DuplicateCurrentLayer(unused);
}

void PaintManager::MoveCurrentLayer(int index) {
  int h = -2;
  if (!LayerStackFromHandle(h)) return;
  RecordBefore(*this, UndoRecordKind::kLayerStructure, h, -2);
  if (LayerStack* stack = LayerStackFromHandle(h)) stack->MoveCurrentLayer(index);
}

void PaintManager::DeleteAllMasks(int h) {
  if (!LayerStackFromHandle(h)) return;
  BrushSuspension suspend(*this);
  RecordBefore(*this, UndoRecordKind::kLayerStructure, h, -2);
  if (LayerStack* stack = LayerStackFromHandle(h)) stack->DeleteAllMasks();
}

// Mask inversion and the stencil commands change one layer's pixels: the
// frame records that layer and leaves the blur/sharpen brush alone.
template <typename Op>
static void LayerPixelCommand(PaintManager& pm, int index, int h, Op op) {
  if (pm.InProxy(-2)) pm.EndProxy(-2);
  if (!pm.GetLayerStack(h)) return;
  RecordBefore(pm, UndoRecordKind::kLayerStroke, h, index);
  if (LayerStack* stack = pm.GetLayerStack(h)) op(*stack);
}

void PaintManager::InvertMaskLayer(int index, int h) {
  LayerPixelCommand(*this, index, h, [&](LayerStack& s) { s.InvertMaskLayer(index); });
}

void PaintManager::HideAllPaint(int index, int h) {
  LayerPixelCommand(*this, index, h, [&](LayerStack& s) { s.HideAllPaint(index); });
}

void PaintManager::ShowAllPaint(int index, int h) {
  LayerPixelCommand(*this, index, h, [&](LayerStack& s) { s.ShowAllPaint(index); });
}

void PaintManager::EraseHiddenPaint(int index, int h) {
  LayerPixelCommand(*this, index, h, [&](LayerStack& s) { s.EraseHiddenPaint(index); });
}

void PaintManager::SetMaskActive(bool on, int index, int h) {
  if (LayerStack* stack = GetLayerStack(h)) stack->SetMaskActive(on, index);
}

bool PaintManager::isMaskActive(int index, int h) const {
  const LayerStack* stack = GetLayerStack(h);
  return stack && stack->isMaskActive(index);
}

// The layer that `layer` merges into: for an image layer the next image
// layer below it, for a mask the next mask below it in its image layer's run.
void* PaintManager::GetLayerHandleForMergeBelow(void* layer, int h) const {
  LayerStack* stack = GetLayerStack(h);
  if (!stack) return kNoLayer;
  Layer* l = stack->GetLayerFromHandle(layer);
  if (!l) return kNoLayer;
  if (!l->isMask()) {
    LayerIterator it(h, true, true);
    for (void* handle = it.Next(); handle != kNoLayer; handle = it.Next()) {
      if (handle == l->GetLayerID()) return it.Next();
    }
    return kNoLayer;
  }
  MaskIterator it(MaskIterator::GetAssociateImageLayer(l->GetLayerID()), true);
  for (void* handle = it.Next(); handle != kNoLayer; handle = it.Next()) {
    if (handle == l->GetLayerID()) return it.Next();
  }
  return kNoLayer;
}

void PaintManager::MergeLayerWithBelow(void* layer) {
  int index, h;
  GetLayerFromHandle(layer, index, h);
  if (InProxy(-2)) EndProxy(-2);
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack || index == -1) return;
  BrushSuspension suspend(*this);
  if (stack->GetIndexFromLayer(stack->GetCurrentLayerPtr()) != index) SetCurrentLayer(index, h);
  void* upper = stack->GetLayerHandle(index);
  void* lower = GetLayerHandleForMergeBelow(upper, h);
  int lowerIndex = stack->GetLayerIndex(lower);
  if (lower == kNoLayer || lowerIndex == -1) return;
  if (!UndoEnabled()) {
    stack->MergeLayers(upper, lower, true);
    return;
  }
  CommandUndo record(*this, UndoRecordKind::kStructureAndStroke, h, lowerIndex);
  if ((stack = LayerStackFromHandle(h))) stack->MergeLayers(upper, lower, true);
  record.Commit();
}

void PaintManager::MergeAllLayers(int h) {
  if (InProxy(-2)) EndProxy(-2);
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack || stack->GetLayerCount() == 0) return;
  BrushSuspension suspend(*this);
  if (!UndoEnabled()) {
    stack->MergeAllLayers(false);
    return;
  }
  CommandUndo record(*this, UndoRecordKind::kStructureAndStroke, h, 1);
  if ((stack = LayerStackFromHandle(h))) stack->MergeAllLayers(false);
  record.Commit();
}

void PaintManager::MergeVisibleLayers(int h) {
  if (InProxy(-2)) EndProxy(-2);
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) return;
  BrushSuspension suspend(*this);
  Layer* base = stack->GetNextActiveLayerFromBottom();
  if (!UndoEnabled() || !base) {
    stack->MergeAllLayers(true);
    return;
  }
  CommandUndo record(*this, UndoRecordKind::kStructureAndStroke, h, stack->GetIndexFromLayer(base));
  if ((stack = LayerStackFromHandle(h))) stack->MergeAllLayers(true);
  record.Commit();
}

// Shapes move only within one stack: both handles must resolve there.
bool PaintManager::MoveShape(void* shape, void* target, bool after) {
  int h = -2;
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) return false;
  int layerIndex, shapeIndex, targetLayerIndex, targetShapeIndex;
  stack->GetShapeIndexFromHandle(shape, layerIndex, shapeIndex);
  stack->GetShapeIndexFromHandle(target, targetLayerIndex, targetShapeIndex);
  if (shapeIndex == -1 || targetShapeIndex == -1) return false;
  RecordBefore(*this, UndoRecordKind::kLayerStructure, h, -2);
  stack = LayerStackFromHandle(h);
  return stack &&
         stack->MoveShape(shapeIndex, layerIndex, targetShapeIndex, targetLayerIndex, after);
}

bool PaintManager::MoveShapeToShapeLayer(void* shape, void* layer) {
  int h = -2;
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) return false;
  int layerIndex, shapeIndex;
  stack->GetShapeIndexFromHandle(shape, layerIndex, shapeIndex);
  int targetLayerIndex = stack->GetLayerIndex(layer);
  if (shapeIndex == -1 || targetLayerIndex == -1) return false;
  RecordBefore(*this, UndoRecordKind::kLayerStructure, h, -2);
  stack = LayerStackFromHandle(h);
  return stack &&
         stack->MoveShape(shapeIndex, layerIndex, Layer::kTopShapeIndex, targetLayerIndex, false);
}

void PaintManager::SetCurrentLayer(int index, int h) {
  if (!LayerStackFromHandle(h)) return;
  BrushSuspension suspend(*this);
  if (LayerStack* stack = LayerStackFromHandle(h)) stack->SetCurrentLayer(index, true);
}

void* PaintManager::UpLayer() {
  if (!currentLayerStack_) return kNoLayer;
  BrushSuspension suspend(*this);
  currentLayerStack_->SetCurrentLayer(currentLayerStack_->GetCurrentLayer() + 1, true);
  return currentLayerStack_->GetCurrentLayerHandle();
}

void* PaintManager::DownLayer() {
  if (!currentLayerStack_) return kNoLayer;
  BrushSuspension suspend(*this);
  currentLayerStack_->SetCurrentLayer(currentLayerStack_->GetCurrentLayer() - 1, true);
  return currentLayerStack_->GetCurrentLayerHandle();
}

int PaintManager::CreateShapeLayer(int h, bool isMask) {
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) return -1;
  return stack->AddLayer(nullptr, nullptr, isMask, true, true, -2, true);
}
