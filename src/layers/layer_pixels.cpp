// Layer: its images and painter, baking opacity and stencil into the
// pixels, flipping, mask inversion and offset normalisation.
#include <cstdio>

#include "brenmark/layer.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/shape.h"
#include "brenmark/shape_parms.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "platform/diagnostics.h"

namespace li = brenmark::layer_images;

namespace {

constexpr float kOpaque = 0.998f;

// The area whose pixels a multiplication can change: outside the colour
// image's bounds it holds its fill, and a zero fill stays zero.
ilTile MultipliedArea(ilImage* color, const ilTile& area) {
  const ilPixel& fill = color->getFill();
  for (int c = 0; c < fill.nc(); ++c) {
    if (fill.getElem(c) != 0.0) return area;
  }
  return ilTile(area, li::Bounds(color));
}

}  // namespace

void Layer::SetImage(ilImage* image) {
  if (image == color_) return;
  if (image) image->ref();
  if (color_) color_->unref();
  color_ = image;
}

void Layer::SetStencil(ilImage* stencil) {
  if (stencil && li::Channels(stencil) != 1) {
    StartStencilling();
    return;
  }
  if (stencil) {
    stencil->ref();
    if (!li::IsSmart(stencil)) brenmark::platform::Diagnostic("New Stencil must be smart!\n");
  }
  if (stencil_) stencil_->unref();
  stencil_ = stencil;
  StartStencilling();
}

void Layer::FillStencil() {
  MakeBlankStencil();
  stencil_->fillTileValue(-4096, -4096, 8192, 8192, li::UniformPixel(1, 0.0));
}

PaintOps* Layer::GetPainter() {
  if (!color_) return nullptr;
  if (!painter_) {
    painter_ = new PaintOps(color_, 1);
    painter_->ref();
  } else if (painter_->target_img() != color_) {
    painter_->retarget(color_, false, false);
  }
  return painter_;
}

bool Layer::ApplyImage(ilSIDImage* img) {
  if (!img) return false;
  PaintOps* painter = GetPainter();
  if (!painter) return false;
  const ilTile b = img->getBounds();
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  if (!b.empty()) painter->rect_copy(b.x, b.y, b.nx, b.ny, img, b.x, b.y, nullptr, 1.0f, 1.0f);
  return true;
}

// Every channel times trunc(opacity x 255) / 256 over the bounds.
void Layer::CollapseOpacity() {
  if (color_ && opacity_ < kOpaque) {
    const ilTile b = li::Bounds(color_);
    if (!b.empty()) {
      const float scaled = opacity_ * 255.0f;
      li::UniformBytes byte(static_cast<unsigned char>(scaled > 0.0f ? scaled : 0.0f));
      li::TempPainter painter(color_);
      painter->blend_func(BlendZero, BlendSrcAlpha);
      painter->rect_fill(b.x, b.y, b.nx, b.ny, byte.bytes, nullptr);
    }
  }
  opacity_ = 1.0f;
}

void Layer::CollapseStencil() {
  const ilTile sb = li::Bounds(stencil_);
  if (color_ && !sb.empty()) {
    const ilTile area = MultipliedArea(color_, sb);
    if (!area.empty()) {
      li::TempPainter painter(color_);
      painter->blend_func(BlendZero, BlendSrcAlpha);
      painter->rect_copy(area.x, area.y, area.nx, area.ny, stencil_, area.x, area.y, nullptr, 1.0f,
                         1.0f);
    }
  }
  ClearStencil();
}

void Layer::Flip(bool horizontal, bool vertical) {
  if (!horizontal && !vertical) return;
  CollapseStencil();
  ShrinkBounds(false, false);
  const ilTile b = li::Bounds(color_);
  if (b.empty()) return;
  auto* copy = new ilQVMemoryImg(ilSize(b.nx, b.ny, 1, color_->getCsize()), ilUChar);
  copy->ref();
  copy->setCoordSpace(color_->getCoordSpace());
  copy->copyTile(0, 0, b.nx, b.ny, color_, b.x, b.y);
  if (horizontal) copy->HorizontalFlip();
  if (vertical) copy->VerticalFlip();
  color_->copyTile(b.x, b.y, b.nx, b.ny, copy, 0, 0);
  copy->unref();
}

// v becomes (255 x (256 - v)) >> 8, which is 255 - v for 0 and 255 and off
// by at most one between; the fill becomes its exact complement.
void Layer::InvertMask() {
  if (!isMask_ || !color_) return;
  if (isGeometry_) {
    // The shapes' mask parameters carry the inversion; rendering them again
    // paints the inverted mask.
    for (Shape* s = bottomShape_; s; s = s->GetNext()) {
      if (!s->IsActive()) continue;
      if (auto* parms = ShapeMaskParms::ResolvePtr(s->GetShapeParms()))
        parms->SetInverse(!parms->GetInverse());
    }
    RenderShapes(true, false);
  } else {
    ShrinkBounds(false, false);
    const ilTile b = li::Bounds(color_);
    if (!b.empty()) {
      li::UniformBytes all(0xFF);
      li::TempPainter painter(color_);
      painter->blend_func(BlendOneMinusDstAlpha, BlendZero);
      painter->rect_fill(b.x, b.y, b.nx, b.ny, all.bytes, nullptr);
      if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(color_)) smart->SetBounds_(b, 0);
    }
  }
  const int fill = static_cast<int>(color_->getFill().getElem(0));
  li::SetFillAll(color_, static_cast<double>(255 - fill));
  ShrinkBounds(false, false);
}

bool Layer::isMaskInverted() const {
  return isMask_ && color_ && color_->getFill().getElem(0) == 255.0;
}

void Layer::NormalizeLayerOffset() {
  if (offsetX_ == 0.0f && offsetY_ == 0.0f) return;
  ShrinkBounds(true, false);
  const int dx = getXOffset(), dy = getYOffset();
  // Each image is cleared to its own fill before its pixels land at their
  // canvas positions, so the vacated area reads as it did outside the
  // layer's pixels (a stencil's fill is 255, not 0).
  li::ShiftContent(color_, dx, dy);
  li::ShiftContent(stencil_, dx, dy);
  ShrinkBounds(true, false);
  offsetX_ = offsetY_ = 0.0f;
  notify();
}

void Layer::ShrinkAndNormalizeLayerImages() {
  if (isGeometry_) return;
  ShrinkBounds(false, false);
  const ilTile b = li::Bounds(color_);
  if (b.empty() || (b.x == 0 && b.y == 0)) return;
  li::ShiftContent(color_, -b.x, -b.y);
  li::ShiftContent(stencil_, -b.x, -b.y);
  ShrinkBounds(false, false);
  // Placement truncates the offset toward zero; keep the sum exact when a
  // negative fraction would otherwise round the wrong way.
  const int ix = getXOffset() + b.x, iy = getYOffset() + b.y;
  offsetX_ += static_cast<float>(b.x);
  offsetY_ += static_cast<float>(b.y);
  if (static_cast<int>(offsetX_) != ix) offsetX_ = static_cast<float>(ix);
  if (static_cast<int>(offsetY_) != iy) offsetY_ = static_cast<float>(iy);
}
