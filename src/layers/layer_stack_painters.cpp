// LayerStack: the painters of the current layer (plain and masking), the
// mask composite that decides what the masking painter protects, and the
// brush clipping rectangle.
#include "brenmark/layer_stack.h"
#include "brenmark/masking_paint_ops.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;
using brenmark::Moved;

namespace {

// How far beyond the visible canvas a brush may reach, on every side.
constexpr int kBrushMargin = 256;

}  // namespace

// Ownership: the stack holds one reference on the plain painter and one on
// the masking painter (which holds its own on the plain painter it wraps);
// the current painter is one of the two and holds no reference of its own.
PaintOps* LayerStack::GetCurrentLayerPainter() {
  if (Brenmark.InBrushStroke()) return currentPainter_;
  ilImage* image = nullptr;
  if (current_) {
    if (stencilTarget_) current_->StartStencilling();
    image = stencilTarget_ ? current_->GetStencil() : current_->GetImage();
  }
  if (!image) {
    // Nothing to paint: no painter may keep pointing at a layer image.
    if (maskingPainter_) maskingPainter_->unref();
    if (plainPainter_) plainPainter_->unref();
    maskingPainter_ = nullptr;
    plainPainter_ = currentPainter_ = nullptr;
    return nullptr;
  }
  if (!plainPainter_) {
    plainPainter_ = new PaintOps(image, 1);
    plainPainter_->ref();
  } else if (plainPainter_->target_img() != image) {
    plainPainter_->retarget(image, false, false);
  }
  currentPainter_ = plainPainter_;
  if (maskComposite_ && !li::Bounds(maskComposite_).empty()) {
    const int x = current_->getXOffset(), y = current_->getYOffset();
    if (!maskingPainter_) {
      maskingPainter_ = new MaskingPaintOps(plainPainter_, maskComposite_, x, y);
      maskingPainter_->ref();
    } else {
      maskingPainter_->SetPainter(plainPainter_);
      maskingPainter_->SetMask(maskComposite_, x, y);
    }
    currentPainter_ = maskingPainter_;
  } else if (maskingPainter_) {
    maskingPainter_->unref();
    maskingPainter_ = nullptr;
  }
  UpdateBrushClippingRect();
  return currentPainter_;
}

void LayerStack::TargetStencil(bool on) {
  if (Brenmark.InBrushStroke() || on == stencilTarget_) return;
  stencilTarget_ = on;
  if (maskingPainter_) maskingPainter_->unref();
  if (plainPainter_) plainPainter_->unref();
  maskingPainter_ = nullptr;
  plainPainter_ = currentPainter_ = nullptr;
  GetCurrentLayerPainter();
}

void LayerStack::ReleasePainters() {
  if (maskingPainter_) maskingPainter_->unref();
  if (plainPainter_) plainPainter_->unref();
  maskingPainter_ = nullptr;
  plainPainter_ = currentPainter_ = nullptr;
  if (maskComposite_) maskComposite_->unref();
  maskComposite_ = nullptr;
  maskCompositeActive_ = false;
}

void LayerStack::ClearLowOrderBitImage() {
  if (currentPainter_) currentPainter_->SetLowOrderBitImage(nullptr);
}

void LayerStack::setMarkerBlend(bool on) {
  if (currentPainter_) currentPainter_->SetMarkerBlend(on);
}

void LayerStack::setMarkerWetness(float wetness) {
  if (currentPainter_) currentPainter_->SetMarkerWetness(wetness);
}

// ---- Brush clipping.

ilTile LayerStack::BrushReach() const {
  return ilTile(size_.x - kBrushMargin, size_.y - kBrushMargin, 0, size_.nx + 2 * kBrushMargin,
                size_.ny + 2 * kBrushMargin, 1);
}

// Dabs whose centres fall outside the visible canvas and its margin are not
// drawn. The rectangle goes to the plain painter too: a masking painter's
// own copy would not reach the painter that draws.
void LayerStack::UpdateBrushClippingRect() {
  if (!currentPainter_) return;
  ilTile clip = BrushReach();
  if (current_) clip = Moved(clip, -current_->getXOffset(), -current_->getYOffset());
  currentPainter_->SetBrushClippingRect(clip);
  if (plainPainter_ && plainPainter_ != currentPainter_) plainPainter_->SetBrushClippingRect(clip);
}

// Everything of the layer's images outside the brush reach returns to the
// images' fills.
void LayerStack::CropLayerToBrushClippingRect(void* handle) {
  Layer* layer = GetLayerFromHandle(handle);
  if (!layer) return;
  const ilTile keep = Moved(BrushReach(), -layer->getXOffset(), -layer->getYOffset());
  for (ilImage* image : {layer->GetImage(), layer->GetStencil()}) {
    const ilTile b = li::Bounds(image);
    if (b.empty() || keep.contains(b)) continue;
    image->fillTileValue(b.x, b.y, b.nx, b.ny, image->getFill(), &keep);
  }
  layer->ShrinkBounds(true, false);
}

// ---- The mask composite.

// The selection protects when it holds something and is not itself being
// painted; otherwise the current layer's own masks do. Either way the
// painter is rebuilt so that it protects with the new composite (or stops
// protecting).
void LayerStack::RebuildMaskComposite() {
  if (Brenmark.InBrushStroke() || Brenmark.InPreview()) return;
  if (maskComposite_) maskComposite_->unref();
  maskComposite_ = nullptr;
  maskCompositeActive_ = selectionMask_ && selectionMask_->isMaskActive() &&
                         !selectionMask_->getLayerBounds(true).empty() &&
                         current_ != selectionMask_;
  ilSmartImage* composite = nullptr;
  if (maskCompositeActive_)
    composite = selectionMask_->MakeMaskImage(size_, true);
  else if (current_)
    composite = current_->MakeMaskImage(size_, false);
  if (composite) {
    composite->ref();
    maskComposite_ = composite;
  }
  if (maskingPainter_) maskingPainter_->unref();
  maskingPainter_ = nullptr;
  currentPainter_ = plainPainter_;
  GetCurrentLayerPainter();
}
