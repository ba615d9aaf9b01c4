// LayerStack: the current layer, layer attributes by index, the selection
// mask's place in the stack, and the stack's own state.
#include <cstdio>

#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "layers/layer_images.h"
#include "manager/debug_selector.h"
#include "platform/diagnostics.h"

namespace li = brenmark::layer_images;

namespace {

int Clamp(int v, int lo, int hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace

int LayerStack::GetCurrentLayer() const {
  return pendingCurrent_ >= 0 ? pendingCurrent_ : GetIndexFromLayer(current_);
}

void LayerStack::SetCurrentLayer(int index, bool full) {
  index = Clamp(index, 1, layerCount_ + 1);
  Layer* layer = GetLayerFromIndex(index);
  if (layer && layer != current_) {
    CheckProxyState();
    current_ = layer;
    Notify();
    if (full) {
      PrepareCurrentPainter();
      RebuildAboveComposite();
      RebuildBelowComposite();
    } else {
      RebuildMaskComposite();
    }
    UpdateBrushClippingRect();
    DamageRegion(size_);
    ForceUpdate();
    Brenmark.CB()->LayersChanged();
    ResetUpdateRegion();
  }
  pendingCurrent_ = -1;
}

void LayerStack::PrepareToSetCurrentLayer(int index) {
  index = Clamp(index, 1, layerCount_ + 1);
  if (index != GetIndexFromLayer(current_)) pendingCurrent_ = index;
}

void LayerStack::SetCurrentMasksActive() {
  for (Layer* l = bottom_; l; l = l->GetNext()) {
    if (l->isMask()) l->SetActive(l->MaskOwner() == current_);
  }
  RebuildAboveComposite();
}

bool LayerStack::isCurrentLayerActive() const {
  return isLayerActive(-2);
}

void LayerStack::SetCurrentLayerActive(int, bool on) {
  SetLayerActive(-2, on);
}

Layer* LayerStack::GetNextActiveLayerFromBottom() const {
  for (Layer* l = bottom_; l; l = l->GetNext()) {
    if (l->isActive() && !l->isMask()) return l;
  }
  return nullptr;
}

const char* LayerStack::GetLayerName(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l ? l->GetLayerName() : nullptr;
}

void LayerStack::SetLayerName(const char* name, int index) {
  Layer* l = GetLayerFromIndex(index);
  if (!l) return;
  l->SetLayerName(name);
  Notify();
}

float LayerStack::GetLayerOpacity(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l ? l->GetOpacity() : 0.0f;
}

void LayerStack::SetLayerOpacity(int index, float opacity) {
  Layer* l = GetLayerFromIndex(index);
  if (!l || l->GetOpacity() == opacity) return;
  l->SetOpacity(opacity);
  int at = GetIndexFromLayer(l);
  int cur = GetIndexFromLayer(current_);
  if (at < cur)
    RebuildBelowComposite();
  else if (at > cur)
    RebuildAboveComposite();
  RedrawEntireCanvas(false, false);
}

bool LayerStack::isLayerActive(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l && l->isActive();
}

void LayerStack::SetLayerActive(int index, bool on) {
  Layer* l = GetLayerFromIndex(index);
  if (!l || l->isActive() == on) return;
  l->SetActive(on);
  if (l == selectionMask_) {
    RebuildAboveComposite();
    RedrawEntireCanvas(false, false);
    Brenmark.CB()->LayersChanged();
    return;
  }
  int at = GetIndexFromLayer(l);
  int cur = GetIndexFromLayer(current_);
  if (at < cur) {
    RebuildBelowComposite();
  } else if (at > cur || (l->GetNext() && l->GetNext()->isMask())) {
    RebuildAboveComposite();
  }
  RedrawEntireCanvas(false, false);
}

void LayerStack::SetAllLayerActive(bool on) {
  bool changed = false;
  auto set = [&changed](Layer* l, bool value) {
    if (l->isActive() == value) return;
    l->SetActive(value);
    changed = true;
  };
  for (Layer* l = bottom_; l; l = l->GetNext()) set(l, l == current_ ? true : on);
  if (selectionMask_) set(selectionMask_, selectionMask_ == current_ ? true : on);
  if (changed) {
    RedrawEntireCanvas(true, true);
    Brenmark.CB()->LayersChanged();
  }
}

bool LayerStack::isLayerMask(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l && l->isMask();
}

void LayerStack::SetSelectionMaskCurrent() {
  if (!selectionMask_ || current_ == selectionMask_) return;
  CheckProxyState();
  current_ = selectionMask_;
  PrepareCurrentPainter();
  RebuildAboveComposite();
  RebuildBelowComposite();
  Notify();
  UpdateBrushClippingRect();
  DamageRegion(size_);
  ForceUpdate();
  Brenmark.CB()->LayersChanged();
  ResetUpdateRegion();
}

void LayerStack::ClearSelectionMask() {
  if (!selectionMask_) {
    selectionMask_ = new Layer(li::MakeEmpty(1), nullptr, true, false);
    selectionMask_->ref();
    selectionMask_->SetLayerName("Selection");
    selectionMask_->SetMaskColor(selectionDefaultColor_);
    selectionMask_->SetMaskDisplayOpacity(selectionDefaultOpacity_);
  } else {
    ilImage* image = selectionMask_->GetImage();
    li::FillBounds(image, 0.0);
    li::SetFillAll(image, 0.0);
  }
  if (useSelectionMask_) RebuildMaskComposite();
  selectionChanged_ = true;
}

void LayerStack::SetSize(const ilTile& size, bool clip) {
  size_ = size;
  clipToSize_ = clip;
  UpdateBrushClippingRect();
}

ilTile LayerStack::GetCanvasBounds() {
  UpdateBrushClippingRect();
  return size_;
}

void LayerStack::SetResolution(int x, int y) {
  resolutionX_ = x;
  resolutionY_ = y;
}

void LayerStack::GetResolution(int& x, int& y) const {
  x = resolutionX_;
  y = resolutionY_;
}

void LayerStack::SetLayerStackOffset(int x, int y) {
  offsetX_ = x;
  offsetY_ = y;
}

void LayerStack::GetLayerStackOffset(int& x, int& y) const {
  x = offsetX_;
  y = offsetY_;
}

void LayerStack::SetBackgroundColor(const PaintColor& c) {
  background_ = c;
  RebuildBelowComposite();
  RedrawEntireCanvas(false, false);
}

ViewerParms& LayerStack::GetViewerParms() const {
  return Brenmark.CB()->GetViewerParms(window_);
}

void LayerStack::SetViewerParms(const ViewerParms& parms) const {
  Brenmark.CB()->SetViewerParms(window_, parms);
}

void LayerStack::SetInFront(bool on) {
  if (inFront_ == on) return;
  inFront_ = on;
  Brenmark.CB()->SetViewInFront(ViewOf(), on);
  RebuildBelowComposite();
  DamageRegion(size_);
  UpdateImagePlaneBits();
  ResetUpdateRegion();
  Notify();
}

void LayerStack::debug() const {
  if (!brenmark::DebugSelectorIs(brenmark::kDebugStructure)) return;
  brenmark::platform::Diagnostic("\n<<<< LayerStack [begin] window[%x] >>>>\n",
                                 static_cast<unsigned>(GetViewerParms().words[0]));
  for (Layer* l = bottom_; l; l = l->GetNext()) l->debug();
  brenmark::platform::Diagnostic("\n<<<< LayerStack [end] >>>>\n");
}
