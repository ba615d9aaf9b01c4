// The undo records: layer-stack, layer-structure, stroke and combo records.
#include "brenmark/layer.h"
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"
#include "brenmark/undo_list.h"
#include "platform/platform.h"

#include <cstring>

namespace {

int g_next_serial = 0;

ilSmartImage* AsSmart(ilImage* image) {
  return image && image->derivesFrom(ilSmartImage::kClassId) ? static_cast<ilSmartImage*>(image)
                                                             : nullptr;
}

ilImage* SeedOf(ilImage* image) {
  ilSmartImage* smart = AsSmart(image);
  return smart ? smart->GetSeed() : nullptr;
}

void LayersChanged() {
  if (Brenmark.CB()->LayersChanged) Brenmark.CB()->LayersChanged();
}

}  // namespace

// ---- PntUndoOper

PntUndoOper::PntUndoOper(const char* kind) : IdList(kind), serial_(g_next_serial++) {
  SetID(kind);
  SetID("SidOper");
  (void)spareFlag_;
}

PntUndoOper* PntUndoOper::Matches(PntUndoOper*) {
  return this;
}

PntUndoOper* PntUndoOper::FindByKind(PntUndoOper* other) {
  if (!other) return nullptr;
  for (const Entry* e = GetIDList(); e; e = e->next) {
    if (std::strcmp(other->GetCurrID(), e->id) != 0) continue;
    if (PntUndoOper* found = other->Matches(this)) return found;
  }
  return nullptr;
}

// ---- PntUndoLS

PntUndoLS::PntUndoLS(PaintManager* pm, int handle, LayerStack* stack, const char* kind)
    : PntUndoOper(kind), pm_(pm), handle_(handle), stack_(stack) {
  SetID("SidLS");
  if (stack_) stack_->ref();
}

PntUndoLS::~PntUndoLS() {
  if (stack_) stack_->unref();
}

PntUndoOper* PntUndoLS::Matches(PntUndoOper* other) {
  if (!other || !other->CheckID("SidLS")) return nullptr;
  return static_cast<PntUndoLS*>(other)->handle_ == handle_ ? this : nullptr;
}

// ---- PntUndoLayer

PntUndoLayer::PntUndoLayer(PaintManager* pm, int handle, int index, LayerStack* stack, Layer* layer,
                           const char* kind)
    : PntUndoLS(pm, handle, stack, kind), index_(index), layer_(layer) {
  SetID("SidLayer");
  if (layer_) layer_->ref();
}

PntUndoLayer::~PntUndoLayer() {
  if (layer_) layer_->unref();
}

PntUndoOper* PntUndoLayer::Matches(PntUndoOper* other) {
  if (!PntUndoLS::Matches(other) || !other->CheckID("SidLayer")) return nullptr;
  Layer* theirs = static_cast<PntUndoLayer*>(other)->layer_;
  return layer_ && theirs && layer_->GetLayerID() == theirs->GetLayerID() ? this : nullptr;
}

// ---- PntUndoLayerStack

PntUndoLayerStack::PntUndoLayerStack(PaintManager* pm, int handle, int index, LayerStack* stack,
                                     Layer* layer, const char* kind)
    : PntUndoLayer(pm, handle, index, stack, layer, kind) {
  SetID("SidLayerStack");
  if (!stack_) return;
  copy_ = new LayerStack(stack_);
  copy_->ref();
  pm_->ReplaceLayerStack(copy_, handle_);
}

PntUndoLayerStack::~PntUndoLayerStack() {
  if (copy_) copy_->unref();
}

void PntUndoLayerStack::PutBack(LayerStack* stack) {
  if (!stack || !copy_) return;
  pm_->ReplaceLayerStack(stack, handle_);
  stack->RedrawEntireCanvas(true, true);
  LayersChanged();
}

void PntUndoLayerStack::Undo() {
  PutBack(stack_);
}

void PntUndoLayerStack::Redo() {
  PutBack(copy_);
}

// ---- PntUndoStroke

PntUndoStroke::PntUndoStroke(PaintManager* pm, int handle, int index, LayerStack* stack,
                             Layer* layer, ilImage* color, ilImage* stencil, const char* kind)
    : PntUndoLayer(pm, handle, index, stack, layer, kind) {
  SetID("SidStroke");
  if (color) {
    color_ = new ilSmartImage(color, 0, 0, 0, -1);
    color_->ref();
  }
  if (stencil) {
    stencil_ = new ilSmartImage(stencil, 0, 0, 0, -1);
    stencil_->ref();
  }
  if (layer_) layer_->GetOffset(xOffset_, yOffset_);
  SwapIn(color_, stencil_, true);
}

// The record holds one reference on each of its two images; their seeds are
// held by the images themselves.
PntUndoStroke::~PntUndoStroke() {
  if (color_) color_->unref();
  if (stencil_) stencil_->unref();
}

void PntUndoStroke::SwapIn(ilImage* color, ilImage* stencil, bool keep) {
  if (!stack_ || !layer_) return;
  Layer* before = stack_->GetCurrentLayerPtr();
  const int beforeIndex = stack_->GetCurrentLayer();
  const bool switched = before != layer_ && stack_->GetIndexFromLayer(layer_) != -1;
  if (switched) {
    if (layer_ == stack_->GetSelectionMask()) {
      stack_->SetSelectionMaskCurrent();
    } else {
      stack_->SetCurrentLayer(stack_->GetIndexFromLayer(layer_), false);
    }
  }
  if (color) layer_->SetImage(color);
  if (stencil) layer_->SetStencil(stencil);
  ilImage* target = Brenmark.GetPaintApplication() == kApplyStencilAdd ||
                            Brenmark.GetPaintApplication() == kApplyStencilSubtract
                        ? layer_->GetStencil()
                        : layer_->GetImage();
  if (stack_->GetCurrentLayerPtr() == layer_) {
    PaintOps* painter = stack_->GetCurrentLayerPainter();
    if (painter && target && painter->target_img() != target) painter->retarget(target, keep, true);
  }
  layer_->SetOffset(xOffset_, yOffset_);
  if (switched) {
    if (before && before == stack_->GetSelectionMask()) {
      stack_->SetSelectionMaskCurrent();
    } else {
      stack_->SetCurrentLayer(beforeIndex, true);
    }
  }
}

void PntUndoStroke::Refresh() {
  const int saved = pm_->GetCurrentLayerStack();
  pm_->SetCurrentLayerStack(handle_);
  if (LayerStack* live = pm_->GetLayerStack(handle_)) live->RedrawEntireCanvas(true, true);
  LayersChanged();
  pm_->SetCurrentLayerStack(saved);
}

void PntUndoStroke::Undo() {
  SwapIn(SeedOf(color_), SeedOf(stencil_), false);
  Refresh();
}

void PntUndoStroke::Redo() {
  SwapIn(color_, stencil_, false);
  Refresh();
}

// A record leaves the list as the oldest (the records after it may be
// seeded by its images) or with its whole stack. Its own images take over
// the pages they still share with their seeds and let the seeds go: they
// keep exactly the pixels they show, the later records' seed chains stay
// whole, and the pixels from before this record are freed.
void PntUndoStroke::Discard() {
  for (ilImage* image : {color_, stencil_}) {
    ilSmartImage* smart = AsSmart(image);
    if (!smart) {
      brenmark::platform::DebugOutput("Invalid ilImage\n");
      continue;
    }
    if (!smart->HaveSeed()) continue;
    smart->GetSeedImagePages();
    if (smart->SetSeedImage(nullptr) != ilOkay || smart->HaveSeed()) {
      brenmark::platform::DebugOutput("Can't collapse seed image\n");
    }
  }
}

// ---- PntUndoCombo

PntUndoCombo::PntUndoCombo(PntUndoOper* r1, PntUndoOper* r2, PntUndoOper* r3, PntUndoOper* r4,
                           PntUndoOper* r5, bool, bool, const char* kind)
    : PntUndoOper(kind ? kind : "SidCombo") {
  SetID("SidCombo");
  for (PntUndoOper* r : {r1, r2, r3, r4, r5}) {
    if (!r || std::strcmp(r->GetCurrID(), "SidCombo") == 0) continue;
    members_.emplace_back(r);
    SetID(r->GetCurrID());
  }
}

void PntUndoCombo::Undo() {
  for (Member& m : members_) m->Undo();
}

void PntUndoCombo::Redo() {
  for (auto it = members_.rbegin(); it != members_.rend(); ++it) (*it)->Redo();
}

void PntUndoCombo::Discard() {
  for (Member& m : members_) m->Discard();
}

PntUndoOper* PntUndoCombo::Matches(PntUndoOper* other) {
  if (!other) return nullptr;
  for (Member& m : members_) {
    if (std::strcmp(m->GetCurrID(), "SidCombo") == 0) continue;
    if (other->FindByKind(m.get())) return m->Matches(other);
  }
  return nullptr;
}
