// LayerStack: the cached composites of the layers below and above the
// current layer, and the composition of the update region into a target
// (the image plane, or a fresh image for the whole canvas).
//
// Everything here is four-channel premultiplied. A composite is a paged
// image whose untouched pages stay solid, so a canvas-sized composite costs
// memory only where layers have content.
#include "brenmark/image_blender.h"
#include "brenmark/layer_stack.h"
#include "brenmark/masking_paint_ops.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;
using brenmark::Moved;

namespace {

constexpr float kInvisible = 0.002f;

bool Visible(const Layer* l) {
  return l && l->isActive() && l->GetOpacity() > kInvisible;
}

bool FillIsZero(ilImage* image) {
  if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(image)) return smart->GetFillValue() == 0;
  const ilPixel fill = image->getFill();
  for (int c = 0; c < li::Channels(image); ++c) {
    if (fill.getElem(c) != 0.0) return false;
  }
  return true;
}

ilSmartImage* NewComposite(unsigned fill) {
  ilSmartImage* image = new ilSmartImage(ilPixel(ilUChar, 4, &fill));
  image->ref();
  return image;
}

void Release(ilSmartImage** image) {
  if (*image) (*image)->unref();
  *image = nullptr;
}

// A finished composite: null when nothing went into it, else shrunk to what
// it holds.
void Finish(ilSmartImage** image, bool contributed) {
  if (!contributed)
    Release(image);
  else
    (*image)->ForceShrinkAttempt(false);
}

// Reading a paged image through page locks widens its bounds to whole
// pages; showing a layer must not change what the layer reports as its
// content, so its images get their bounds back afterwards.
class KeepLayerBounds {
 public:
  // A geometry layer renders its shapes while it is read, which may change
  // its bounds for real; it is left alone.
  explicit KeepLayerBounds(Layer* layer) {
    if (layer->isGeometry()) return;
    Keep(0, layer->GetImage());
    Keep(1, layer->GetStencil());
  }
  ~KeepLayerBounds() {
    for (Kept& k : kept_) {
      if (k.image && k.image->getRealBounds() != k.bounds) k.image->SetBounds_(k.bounds, 1);
    }
  }
  KeepLayerBounds(const KeepLayerBounds&) = delete;
  KeepLayerBounds& operator=(const KeepLayerBounds&) = delete;

 private:
  struct Kept {
    ilSmartImage* image = nullptr;
    ilTile bounds;
  };
  void Keep(int i, ilImage* image) {
    kept_[i].image = ilSmartImage::As_ilSmartImage(image);
    if (kept_[i].image) kept_[i].bounds = kept_[i].image->getRealBounds();
  }
  Kept kept_[2];
};

}  // namespace

bool LayerStack::IsTransparentBackdrop() const {
  return inFront_ && Brenmark.CB()->WantsTransparentBackdrop(ViewOf());
}

unsigned LayerStack::BaseColor() const {
  if (IsTransparentBackdrop()) return 0;
  unsigned packed = 0;
  background_.Get(packed);
  return packed;
}

// A layer whose fill is transparent contributes its bounds only; any other
// covers the whole canvas. Both are cut to the canvas.
void LayerStack::CompositeLayer(Layer* layer, PaintOps* painter) {
  ilImage* image = layer->GetImage();
  if (!image) return;
  const int ox = layer->getXOffset(), oy = layer->getYOffset();
  const ilTile canvas = Moved(size_, -ox, -oy);
  ilTile area = canvas;
  if (FillIsZero(image)) area = ilTile(layer->getLayerBounds(true), canvas);
  if (layer->isGeometry()) layer->ClearGeometryImgIsChanged();
  if (area.nx <= 0 || area.ny <= 0) return;
  area.z = 0;
  area.nz = 1;
  KeepLayerBounds keep(layer);
  ilSIDImage* source = layer->GetStencilledImage(&area, false, true);
  if (!source) return;
  painter->rect_copy(area.x + ox, area.y + oy, area.nx, area.ny, source, area.x, area.y, nullptr,
                     1.0f, 1.0f);
}

void LayerStack::MakeBelow(ilSmartImage** below) {
  Release(below);
  if (!current_ || current_ == bottom_) return;
  unsigned base = BaseColor();
  *below = NewComposite(base);
  li::TempPainter painter(*below);
  painter->blend_func(BlendOne, BlendZero);
  if (!size_.empty()) painter->rect_fill(size_.x, size_.y, size_.nx, size_.ny, &base, nullptr);
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  bool contributed = false;
  for (Layer* l = bottom_; l && l != current_; l = l->GetNext()) {
    if (l->isGeometry()) l->ClearGeometryImgIsChanged();
    if (!Visible(l) || l->isMask()) continue;
    CompositeLayer(l, painter.get());
    contributed = true;
  }
  Finish(below, contributed);
}

void LayerStack::UpdateMaskCompositeActive() {
  maskCompositeActive_ = selectionMask_ && selectionMask_->isMaskActive() &&
                         !selectionMask_->getLayerBounds(true).empty() &&
                         current_ != selectionMask_;
}

// Masks directly above the current layer join only when asked for, only up
// to the first layer that is not a mask, never over a current mask, and not
// while the selection protects.
void LayerStack::MakeAbove(ilSmartImage** above, bool includeMasks) {
  UpdateMaskCompositeActive();
  if (!current_) {
    RebuildMaskComposite();
    return;
  }
  Release(above);
  *above = NewComposite(0);
  bool contributed = false;
  {
    li::TempPainter painter(*above);
    painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
    bool masksAllowed = includeMasks;
    const bool currentMayShowMasks =
        !current_->isMask() && (Visible(current_) || current_->isMask());
    const Layer* first = current_ == selectionMask_ ? nullptr : current_->GetNext();
    for (Layer* l = const_cast<Layer*>(first); l; l = l->GetNext()) {
      if (!l->isMask() || maskCompositeActive_) masksAllowed = false;
      if (!Visible(l)) continue;
      if (l->isMask() && !(masksAllowed && currentMayShowMasks)) continue;
      CompositeLayer(l, painter.get());
      contributed = true;
    }
    if (includeMasks && maskCompositeActive_ && Visible(selectionMask_) &&
        current_ != selectionMask_) {
      CompositeLayer(selectionMask_, painter.get());
      contributed = true;
    }
  }
  Finish(above, contributed);
  RebuildMaskComposite();
}

void LayerStack::RebuildBelowComposite() {
  MakeBelow(&belowComposite_);
}

void LayerStack::RebuildAboveComposite() {
  MakeAbove(&aboveComposite_, true);
}

void LayerStack::ReleaseCachedImages() {
  Release(&belowComposite_);
  Release(&aboveComposite_);
}

// ---- Composition of the update region.

void LayerStack::ComposeInto(ilSmartImage** above, ilSmartImage** below, bool includeMasks,
                             PaintOps* target) {
  const ilTile region = GetUpdateRegion();
  if (region.nx <= 0 || region.ny <= 0 || !current_ || !target) return;
  MatchUpdateBuffersToScreen();
  if (!Brenmark.InBrushStroke() && !Brenmark.InPreview()) {
    if (!*above) MakeAbove(above, includeMasks);
    if (!*below) MakeBelow(below);
  }
  if (*above) (*above)->EnableForcedBounds(0);
  if (*below) (*below)->EnableForcedBounds(0);
  const ilTile dest = Moved(region, planeOffsetX_, planeOffsetY_);
  target->blend_func(BlendOne, BlendZero);
  const bool transparent = IsTransparentBackdrop();
  if (transparent) {
    unsigned zero = 0;
    target->rect_fill(dest.x, dest.y, dest.nx, dest.ny, &zero, nullptr);
  }
  if (!*below) {
    unsigned base = 0;
    if (!transparent) background_.Get(base);
    target->rect_fill(dest.x, dest.y, dest.nx, dest.ny, &base, nullptr);
  } else {
    target->rect_copy(dest.x, dest.y, dest.nx, dest.ny, *below, region.x, region.y, nullptr, 1.0f,
                      1.0f);
  }
  target->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  if (Visible(current_)) ComposeCurrentLayer(region, dest, includeMasks, target);
  if (*above) {
    target->rect_copy(dest.x, dest.y, dest.nx, dest.ny, *above, region.x, region.y, nullptr, 1.0f,
                      1.0f);
  }
  target->blend_func(BlendOne, BlendZero);
}

// The current layer as it composites. While a protected paint operation is
// running, what the masks let through is shown instead of the layer image
// the painter writes behind them.
void LayerStack::ComposeCurrentLayer(const ilTile& region, const ilTile& dest, bool includeMasks,
                                     PaintOps* target) {
  ilTile area = Moved(region, -current_->getXOffset(), -current_->getYOffset());
  area.z = 0;
  area.nz = 1;
  KeepLayerBounds keep(current_);
  ilSIDImage* source = nullptr;
  if (includeMasks && maskComposite_ && PaintOps::InOperation() && maskingPainter_ &&
      currentPainter_ == maskingPainter_) {
    ilSIDImage* masked = maskingPainter_->GetMaskedTargetImg(area);
    if (masked && stencilTarget_) {
      source = current_->GetStencilledImage(&area, masked);
    } else if (masked) {
      if (!blendImage_) blendImage_ = NewComposite(0);
      li::TempPainter blend(blendImage_);
      blend->blend_func(BlendOne, BlendZero);
      if (li::Channels(masked) == 1) {
        unsigned colour = 0;
        current_->GetMaskColor().Get(colour);
        blend->rect_fill(area.x, area.y, area.nx, area.ny, &colour, nullptr);
        blend->blend_func(BlendZero, BlendSrcAlpha);
      }
      blend->rect_copy(area.x, area.y, area.nx, area.ny, masked, area.x, area.y, nullptr, 1.0f,
                       1.0f);
      current_->DoStencil(&area, blend.get());
      source = blendImage_;
    }
  }
  if (!source) source = current_->GetStencilledImage(&area, false, true);
  if (current_->isGeometry()) current_->ClearGeometryImgIsChanged();
  if (!source) return;
  target->rect_copy(dest.x, dest.y, dest.nx, dest.ny, source, area.x, area.y, nullptr, 1.0f, 1.0f);
}

void LayerStack::UpdateImagePlaneBits() {
  const ilTile region = GetUpdateRegion();
  if (region.nx <= 0 || region.ny <= 0 || !current_ || !imagePlanePainter_) return;
  ComposeInto(&aboveComposite_, &belowComposite_, true, imagePlanePainter_);
  Brenmark.CB()->ImagePlaneRefreshed(ViewOf());
}

// Fresh composites for the whole canvas, composed without a transparent
// backdrop into an image of the view's size; the cached ones stay as they
// are.
ilQVMemoryImg* LayerStack::GetUpdateImagePlaneBits(bool includeMasks) {
  PrepareCurrentPainter();
  const bool wasInFront = inFront_;
  inFront_ = false;
  ilSmartImage* below = nullptr;
  ilSmartImage* above = nullptr;
  MakeBelow(&below);
  MakeAbove(&above, includeMasks);
  DamageRegion(size_);
  int w = 0, h = 0;
  Brenmark.CB()->GetViewSize(ViewOf(), &w, &h);
  auto* image = new ilQVMemoryImg(ilSize(w > 0 ? w : 0, h > 0 ? h : 0, 4), ilUChar, ilInterleaved);
  image->ref();
  if (w > 0 && h > 0) {
    PaintOps* painter = new PaintOps(image, 1);
    painter->ref();
    ComposeInto(&above, &below, includeMasks, painter);
    painter->unref();
  }
  inFront_ = wasInFront;
  Release(&below);
  Release(&above);
  DamageRegion(size_);
  ForceUpdate();
  return image;
}
