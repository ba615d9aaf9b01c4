// LayerStack: the update region, redraw control, and the
// hooks through which structure operations reach compositing and the
// selection display.
//
// The structure operations call these hooks at the points where the display
// must follow; the composites they rebuild live in layer_stack_composite.cpp
// and the update image in layer_stack_update_image.cpp. The marching ants
// hooks stay empty until the selection display joins the stack.
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "layers/tile_math.h"

// ---- Update region and redraws.

void LayerStack::DamageRegion(const ilTile& t) {
  updateRegion_ = brenmark::UnionTile(updateRegion_, t);
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
  if (below && above && RedrawAllAtOnce()) return;
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

// ---- Image plane: the view's own pixel memory at the view's size. The
// canvas rectangle is the view's rectangle; without memory from the view
// the plane is an image of its own.

void LayerStack::BuildImagePlane() {
  BrenmarkCallbacks* cb = Brenmark.CB();
  const int view = ViewOf();
  int w = 0, h = 0;
  cb->GetViewSize(view, &w, &h);
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  void* memory = cb->GetViewPixels(view);
  ReleaseImagePlane();
  const ilSize size(w, h, 4);
  imagePlane_ =
      memory ? new ilQVMemoryImg(memory, size, ilUChar) : new ilQVMemoryImg(size, ilUChar);
  imagePlane_->ref();
  imagePlanePainter_ = new PaintOps(imagePlane_, 1);
  imagePlanePainter_->ref();
  size_ = ilTile(0, 0, 0, w, h, 1);
  planeCanvas_ = size_;
  planeOffsetX_ = -size_.x;
  planeOffsetY_ = -size_.y;
}

void LayerStack::ReleaseImagePlane() {
  if (imagePlanePainter_) imagePlanePainter_->unref();
  if (imagePlane_) imagePlane_->unref();
  imagePlane_ = nullptr;
  imagePlanePainter_ = nullptr;
}

void LayerStack::NotifyImagePlaneResize() {
  BuildImagePlane();
  UpdateBrushClippingRect();
  RedrawEntireCanvas(true, true);
  Notify();
}

// ---- Timer-based update: the application runs the timer.

void LayerStack::BeginTimerBasedUpdate(int interval) {
  Brenmark.CB()->BeginTimedUpdate(window_, interval);
}

void LayerStack::EndTimerBasedUpdate() {
  Brenmark.CB()->EndTimedUpdate(window_);
}

void LayerStack::CheckTimerBasedUpdate() {
  Brenmark.CB()->CheckTimedUpdate(window_);
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
