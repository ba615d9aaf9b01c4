// LayerStack: the update region, redraw control, proxy hand-back, and the
// hooks through which structure operations reach compositing and the
// selection display.
//
// The structure operations call these hooks at the points where the display
// must follow; the hooks that only do display work (image plane, the cached
// below and above composites, marching ants) are empty until the
// compositing code joins the stack. Control flow that does not depend on
// them (damage, redraw requests, forced updates) is live, and so is the mask
// composite, which decides what painting may change.
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/smart_image.h"
#include "layers/tile_math.h"

// ---- Update region and redraws.

void LayerStack::DamageRegion(const ilTile& t) {
  updateRegion_ = brenmark::UnionTile(updateRegion_, t);
}

void LayerStack::ResetUpdateRegion() {
  updateRegion_ = ilTile();
}

void LayerStack::ForceUpdate() {
  if (!displayUpdate_) {
    UpdateImagePlaneBits();
    ResetUpdateRegion();
  } else if (window_) {
    Brenmark.CB()->ShowUpdate(window_);
  }
}

void LayerStack::RedrawEntireCanvas(bool below, bool above) {
  redrawPending_ = false;
  PrepareCurrentPainter();
  DamageRegion(size_);
  if (below) RebuildBelowComposite();
  if (above) RebuildAboveComposite();
  ForceUpdate();
}

void LayerStack::RedrawCanvasDueToGeometryChange() {
  if (redrawPending_) {
    RedrawEntireCanvas(true, true);
    return;
  }
  int cur = GetIndexFromLayer(current_);
  bool below = false, above = false;
  int i = 1;
  for (Layer* l = bottom_; l; l = l->GetNext(), ++i) {
    if (!l->isGeometry() || !l->isActive()) continue;
    if (!(l->IsGeometryImgChanged() || l->ShapeChanged())) continue;
    if (i < cur && !l->isMask()) below = true;
    if (i > cur) above = true;
  }
  if (below) RebuildBelowComposite();
  if (above) RebuildAboveComposite();
  ForceUpdate();
}

// ---- Proxy hand-back. A proxy is begun by the proxy operations; ending one
// gives every proxied layer its own images back.

void LayerStack::EndProxy() {
  for (int i = 0; i < proxyCount_; ++i) {
    if (Layer* l = GetLayerFromIndex(proxyIndices_[i])) {
      l->EndProxy();
      l->ShrinkBounds(false, false);
    }
  }
  proxyCount_ = 0;
  delete[] proxyIndices_;
  proxyIndices_ = nullptr;
  inProxy_ = false;
}

void LayerStack::CheckProxyState() {
  if (inProxy_) EndProxy();
}

// ---- Image plane: the view's own pixel memory at the view's size. The
// canvas rectangle is the view's rectangle.

void LayerStack::BuildImagePlane() {
  BrenmarkCallbacks* cb = Brenmark.CB();
  int view = ViewOf();
  int w = 0, h = 0;
  cb->GetViewSize(view, &w, &h);
  cb->GetViewPixels(view);
  size_ = ilTile(0, 0, 0, w, h, 1);
}

void LayerStack::ReleaseImagePlane() {
  imagePlane_ = nullptr;
  imagePlanePainter_ = nullptr;
}

void LayerStack::UpdateImagePlaneBits() {}

// ---- Cached composites.

// Building the above composite ends by rebuilding the mask composite; until
// the compositing code builds the composite itself, only that part runs.
void LayerStack::RebuildAboveComposite() {
  RebuildMaskComposite();
}

void LayerStack::RebuildBelowComposite() {}

void LayerStack::ReleaseCachedImages() {
  if (belowComposite_) belowComposite_->unref();
  if (aboveComposite_) aboveComposite_->unref();
  belowComposite_ = aboveComposite_ = nullptr;
}

// A copy of the stack protects its current layer as its source did.
void LayerStack::AdoptCachedImages(LayerStack* source) {
  maskComposite_ = source->maskComposite_;
  if (maskComposite_) maskComposite_->ref();
  maskCompositeActive_ = source->maskCompositeActive_;
}

// ---- Marching ants.

void LayerStack::StartMATimer() {}

void LayerStack::StopMATimer() {}

void LayerStack::TakeOverMATimer(LayerStack*) {}
