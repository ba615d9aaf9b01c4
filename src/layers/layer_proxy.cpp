// Layer: proxies (reversible previews on working images) and the geometric
// transform of a layer, previewed and final.
#include <cmath>

#include "brenmark/layer.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"

namespace li = brenmark::layer_images;

namespace {

// Resampled pictures larger than this are refused: the transform then does
// nothing rather than exhaust memory on an absurd scale.
constexpr double kMaxTransformPixels = 1 << 26;
constexpr int kMaxTransformSide = 1 << 16;

// A copy-on-write copy sharing the image's pages until either writes,
// referenced by the caller. It takes its own references on the pages at
// once, so later writes to the image (the base images move to the origin)
// cannot reach it through the seed.
ilImage* SharedCopy(ilImage* image) {
  auto* copy = new ilSmartImage(image, 0, 0, 0, -1);
  copy->ref();
  copy->ReferenceSeedPages(nullptr);
  return copy;
}

void Release(ilImage*& image) {
  if (image) image->unref();
  image = nullptr;
}

// A referenced in-memory image of w x h pixels like `like` (channels,
// coordinate space), every pixel and the fill set to `fill`.
ilQVMemoryImg* FilledMemoryImage(int w, int h, ilImage* like, const ilPixel& fill) {
  auto* img = new ilQVMemoryImg(ilSize(w, h, 1, like->getCsize()), ilUChar);
  img->ref();
  img->setCoordSpace(like->getCoordSpace());
  img->setFill(fill);
  img->fillTileValue(0, 0, w, h, fill);
  return img;
}

// offset + d such that the placement (the offset truncated toward zero)
// moves by exactly d: a negative fraction would otherwise round the other
// way once the sum changes sign.
float ShiftedOffset(float offset, int d) {
  const int placed = static_cast<int>(offset) + d;
  const float sum = offset + static_cast<float>(d);
  return static_cast<int>(sum) == placed ? sum : static_cast<float>(placed);
}

bool UsableScale(float s) {
  return s > 0.0f && std::isfinite(s);
}

// The resampling of `source`'s (0, 0, w, h) by t about the centre (cx, cy)
// in source pixels, in a new referenced image of the bounding box (one pixel
// wider and taller, as the box rounds outwards) filled with `fill` outside
// the picture; null when t cannot be applied. (boxX, boxY) is where the
// box's origin lies in the scaled space.
ilQVMemoryImg* Resample(ilQVMemoryImg* source, int w, int h, const LayerStackTransform& t, float cx,
                        float cy, const ilPixel& fill, int& boxX, int& boxY) {
  const float sx = t.GetXScale(), sy = t.GetYScale();
  if (!UsableScale(sx) || !UsableScale(sy) || !std::isfinite(t.GetDegree()) || w < 1 || h < 1)
    return nullptr;
  source->SetScaleFactors(sx, sy);
  source->SetScaleAndRotation(sx, sy, t.GetDegree(), cx, cy);
  int tw = 0, th = 0;
  source->getTargetSizeAndOffset(0, 0, w, h, tw, th, boxX, boxY);
  ++tw;
  ++th;
  if (tw < 1 || th < 1 || tw > kMaxTransformSide || th > kMaxTransformSide ||
      static_cast<double>(tw) * th > kMaxTransformPixels)
    return nullptr;
  ilQVMemoryImg* target = FilledMemoryImage(tw, th, source, fill);
  source->getScaleTile(0.0f, 0.0f, static_cast<float>(w), static_cast<float>(h),
                       target->getDataPtr(), tw, th, 0, 0);
  return target;
}

// Canvas position of the resampled picture's pixel (0, 0) for a source whose
// pixel (0, 0) sits at `origin`, scaled by s about the canvas point `pivot`.
// Without rotation the scaling maps p to s * p exactly, so the picture
// starts where the source's origin goes; with rotation the picture starts at
// the rounded-out corner of the rotated box, boxOrigin in the space whose
// rotation centre is pivot - origin.
float PlacedOrigin(float origin, float pivot, float s, int boxOrigin, bool rotated) {
  return rotated ? origin + static_cast<float>(boxOrigin) : pivot - s * (pivot - origin);
}

}  // namespace

void Layer::BeginProxy(const ProxyParameters& p) {
  if (isGeometry_ || inProxy_ || !color_) return;
  proxyParameters_ = p;
  StartStencilling();
  const bool transform = p.scopeHint == ProxyParameters::kTransformScope;
  if (transform) ShrinkBounds(false, true);
  // The layer's references pass to the base pointers.
  baseColor_ = color_;
  baseStencil_ = stencil_;
  color_ = SharedCopy(baseColor_);
  stencil_ = SharedCopy(baseStencil_);
  if (transform) {
    CollapseStencil();
    const ilTile b = li::Bounds(color_);
    const ilPixel fill = color_->getFill();
    if (!b.empty() && (b.x != 0 || b.y != 0)) {
      // Previews scale the picture from the origin of its pixels, so the
      // base images are moved there; the picture itself stays in place.
      li::ShiftContent(baseColor_, -b.x, -b.y);
      if (!li::Bounds(baseStencil_).empty()) li::ShiftContent(baseStencil_, -b.x, -b.y);
      offsetX_ = ShiftedOffset(offsetX_, b.x);
      offsetY_ = ShiftedOffset(offsetY_, b.y);
    }
    const int w = b.empty() ? 1 : b.nx, h = b.empty() ? 1 : b.ny;
    ilQVMemoryImg* working = FilledMemoryImage(w, h, color_, fill);
    if (!b.empty()) working->copyTile(0, 0, b.nx, b.ny, color_, b.x, b.y);
    Release(color_);
    color_ = working;
    ilQVMemoryImg* source = FilledMemoryImage(w, h, working, fill);
    source->copyTile(0, 0, w, h, working, 0, 0);
    proxySource_ = source;
    proxySourceStencil_ = SharedCopy(stencil_);
    notify();
  } else {
    proxySource_ = SharedCopy(baseColor_);
    proxySourceStencil_ = SharedCopy(baseStencil_);
  }
  proxySourceX_ = offsetX_;
  proxySourceY_ = offsetY_;
  proxyOffsetX_ = proxyOffsetY_ = 0;
  inProxy_ = true;
}

void Layer::EndProxy() {
  if (!inProxy_) return;
  offsetX_ = proxySourceX_;
  offsetY_ = proxySourceY_;
  proxyOffsetX_ = proxyOffsetY_ = 0;
  Release(color_);
  Release(proxySource_);
  Release(stencil_);
  Release(proxySourceStencil_);
  color_ = baseColor_;
  stencil_ = baseStencil_;
  baseColor_ = baseStencil_ = nullptr;
  inProxy_ = false;
}

void Layer::RevertProxy() {
  if (!inProxy_) return;
  const ProxyParameters p = proxyParameters_;
  EndProxy();
  BeginProxy(p);
}

void Layer::ProxyXForm(LayerStackTransform t, FilterMethod minify, FilterMethod magnify) {
  if (isGeometry_ || !inProxy_) return;
  // Each preview starts from the base images, never from the last preview.
  RevertProxy();
  auto* source = static_cast<ilQVMemoryImg*>(proxySource_);
  if (!inProxy_ || !source || !source->derivesFrom(ilQVMemoryImgClassId)) return;
  t.SetOffset(0.0f, 0.0f);
  t.SetPivot(0.0f, 0.0f);
  const ilPixel fill = baseColor_->getFill();
  const ilSize size = source->getSize();
  UpdatePivot();
  const float px = pivot_.x, py = pivot_.y;
  source->SetMagnifyScaleMode(static_cast<unsigned>(magnify));
  source->SetMinifyScaleMode(static_cast<unsigned>(minify));
  int boxX = 0, boxY = 0;
  ilQVMemoryImg* preview =
      Resample(source, size.x, size.y, t, px - proxySourceX_, py - proxySourceY_, fill, boxX, boxY);
  if (!preview) return;
  Release(color_);
  color_ = preview;
  const bool rotated = !source->IsScaleOnly();
  const float sx = t.GetXScale(), sy = t.GetYScale();
  offsetX_ = PlacedOrigin(proxySourceX_, px, sx, boxX, rotated);
  offsetY_ = PlacedOrigin(proxySourceY_, py, sy, boxY, rotated);
  // What SetOffset needs to take a moved preview back to its source
  // position: the placement's departure from plain scaling about the pivot.
  proxyOffsetX_ = static_cast<int>(std::lround(offsetX_ - (px - sx * (px - proxySourceX_))));
  proxyOffsetY_ = static_cast<int>(std::lround(offsetY_ - (py - sy * (py - proxySourceY_))));
  notify();
}

void Layer::XForm(LayerStackTransform t, FilterMethod minify, FilterMethod magnify) {
  if (isGeometry_ || !color_) return;
  if (!UsableScale(t.GetXScale()) || !UsableScale(t.GetYScale()) || !std::isfinite(t.GetDegree()))
    return;
  EndProxy();
  ShrinkBounds(false, true);
  CollapseStencil();
  const ilTile content = li::Bounds(color_);
  if (content.empty()) return;
  // The pivot belongs to the picture as it stands, so it is taken before
  // the offset moves to the margin's corner.
  UpdatePivot();
  const float px = pivot_.x, py = pivot_.y;
  // Two pixels of margin let the filters fade the edges into the fill.
  const ilTile b(content.x - 2, content.y - 2, 0, content.nx + 4, content.ny + 4, 1);
  const float originX = ShiftedOffset(offsetX_, b.x), originY = ShiftedOffset(offsetY_, b.y);
  const ilPixel fill = color_->getFill();
  ilQVMemoryImg* source = FilledMemoryImage(b.nx, b.ny, color_, fill);
  source->copyTile(0, 0, b.nx, b.ny, color_, b.x, b.y);
  // The final resampling always magnifies bicubic and minifies bilinear.
  (void)minify;
  (void)magnify;
  source->SetMagnifyScaleMode(ilQVScaleBicubic);
  source->SetMinifyScaleMode(ilQVScaleBilinear);
  int boxX = 0, boxY = 0;
  ilQVMemoryImg* target =
      Resample(source, b.nx, b.ny, t, px - originX, py - originY, fill, boxX, boxY);
  if (target) {
    const bool rotated = !source->IsScaleOnly();
    offsetX_ = PlacedOrigin(originX, px, t.GetXScale(), boxX, rotated);
    offsetY_ = PlacedOrigin(originY, py, t.GetYScale(), boxY, rotated);
    const ilSize ts = target->getSize();
    const ilTile e(0, 0, 0, ts.x, ts.y, 1);
    color_->fillTileValue(b.x, b.y, b.nx, b.ny, fill, &e);
    color_->copyTile(0, 0, ts.x, ts.y, target, 0, 0);
    target->unref();
  }
  source->unref();
  ShrinkBounds(false, true);
  NormalizeLayerOffset();
  notify();
}
