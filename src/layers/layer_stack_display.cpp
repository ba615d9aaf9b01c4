// LayerStack: the update region, redraw control, proxy hand-back, and the
// hooks through which structure operations reach compositing, painting and
// the selection display.
//
// The structure operations call these hooks at the points where pixels must
// follow; the hooks that only do pixel work are empty until the compositing
// (image plane, cached composites, brush clipping), painter, layer-pixel and
// marching-ants code joins the stack. Control flow that does not depend on
// pixels (damage, redraw requests, forced updates) is live.
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;

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

// ---- Painters.

PaintOps* LayerStack::GetCurrentLayerPainter() {
  UpdateBrushClippingRect();
  return currentPainter_;
}

void LayerStack::ClearLowOrderBitImage() {}

void LayerStack::setMarkerBlend(bool) {}

void LayerStack::setMarkerWetness(float) {}

// ---- Cached composites and the brush clipping rectangle.

void LayerStack::UpdateBrushClippingRect() {}

void LayerStack::CropLayerToBrushClippingRect(void*) {}

void LayerStack::RebuildAboveComposite() {}

void LayerStack::RebuildBelowComposite() {}

void LayerStack::RebuildMaskComposite() {}

void LayerStack::ReleaseCachedImages() {
  belowComposite_ = aboveComposite_ = maskComposite_ = nullptr;
}

void LayerStack::AdoptCachedImages(LayerStack*) {}

// ---- Layer pixels.

void LayerStack::CollapseLayerStencil(Layer*) {}

void LayerStack::CollapseLayerOpacity(Layer*) {}

void LayerStack::BeginCompositingInto(Layer*) {}

void LayerStack::CompositeLayerInto(Layer*, Layer*) {}

void LayerStack::EndCompositingInto(Layer*) {}

ilImage* LayerStack::MaskedImageForDuplicate(Layer*) {
  return nullptr;
}

bool LayerStack::ClearThroughMaskComposite(Layer*) {
  return false;
}

// Clears the current layer where the selection leaves it open; with no
// selection content the whole layer is cleared.
void LayerStack::ClearLayerImageBySelMask(void* handle) {
  Layer* gate = GetLayerFromHandle(handle);
  if (!gate || gate->isGeometry() || !current_) return;
  CheckProxyState();
  current_->ClearStencil();
  PrepareCurrentPainter();
  ClearLowOrderBitImage();
  ilImage* image = current_->GetImage();
  bool selectionHolds = selectionMask_ && selectionMask_->isMaskActive() &&
                        !selectionMask_->getLayerBounds(true).empty();
  if (!selectionHolds) li::FillBounds(image, 0.0);
  DamageRegion(size_);
  ForceUpdate();
}

// ---- Marching ants.

void LayerStack::StartMATimer() {}

void LayerStack::StopMATimer() {}

void LayerStack::TakeOverMATimer(LayerStack*) {}
