// Layer images: every layer image, stencil and mask is a paged smart image.
#include "layers/layer_images.h"

#include <cmath>

#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"

namespace brenmark::layer_images {

ilPixel UniformPixel(int channels, double value) {
  ilPixel p(ilUChar, channels);
  for (int c = 0; c < channels; ++c) p.setElem(value, c);
  return p;
}

ilSmartImage* MakeSmart(int channels, double value) {
  return new ilSmartImage(UniformPixel(channels, value));
}

ilImage* MakeEmpty(int channels) {
  return new ilSmartImage(UniformPixel(channels, 0.0));
}

ilImage* CopyOf(ilImage* source) {
  int channels = source->getCsize() == 1 ? 1 : 4;
  auto* copy = new ilSmartImage(source->getFill().converted(ilUChar, channels));
  ilTile b = Bounds(source);
  if (!b.empty()) copy->copyTile(b.x, b.y, b.nx, b.ny, source, b.x, b.y);
  if (channels == 4) copy->ForceAlphaValid();
  return copy;
}

ilImage* BasedOn(ilImage* stencil) {
  return new ilSmartImage(stencil, 0, 0, 0, -1);
}

ilImage* MakeBlankStencil() {
  return new ilSmartImage(UniformPixel(1, 255.0));
}

bool IsSmart(ilImage* image) {
  return image && ilSmartImage::IsSmartImage(image);
}

int Channels(ilImage* image) {
  return image ? image->getCsize() : 0;
}

ilTile Bounds(ilImage* image) {
  if (!image) return ilTile();
  if (ilSIDImage* sid = ilSIDImage::asSidImage(image)) return sid->getBounds();
  return ilTile(0, 0, 0, image->getXsize(), image->getYsize(), image->getZsize());
}

void SetFillAll(ilImage* image, double value) {
  if (image) image->setFill(UniformPixel(image->getCsize(), value));
}

void FillBounds(ilImage* image, double value) {
  if (!image) return;
  ilTile b = Bounds(image);
  if (!b.empty()) {
    image->fillTileValue(b.x, b.y, b.nx, b.ny, UniformPixel(image->getCsize(), value));
  }
}

void ClearBounds(ilImage* image, PaintOps* painter) {
  const ilTile b = Bounds(image);
  if (!b.empty() && painter && painter->target_img() == image) {
    UniformBytes zero(0);
    painter->blend_func(BlendOne, BlendZero);
    painter->rect_fill(b.x, b.y, b.nx, b.ny, zero.bytes, nullptr);
  } else {
    FillBounds(image, 0.0);
  }
}

void Shrink(ilImage* image, bool fast, bool flag) {
  ilSmartImage* smart = ilSmartImage::As_ilSmartImage(image);
  if (!smart) return;
  if (fast)
    smart->ForceFastShrink();
  else
    smart->ForceShrinkAttempt(flag);
}

unsigned char OpacityByte(float opacity) {
  const long v = std::lround(static_cast<double>(opacity) * 255.0);
  return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

double CombinedMaskFill(double m, double r) {
  return m + r * (255.0 - m) / 255.0;
}

void ShiftContent(ilImage* image, int dx, int dy) {
  if ((dx == 0 && dy == 0) || !IsSmart(image)) return;
  const ilTile b = Bounds(image);
  if (b.empty()) return;
  // The copy keeps its own references to the pages it reads from, so
  // clearing the image below cannot reach it.
  auto* moved = new ilSmartImage(image, 0, 0, 0, -1);
  moved->ref();
  moved->ReferenceSeedPages(nullptr);
  image->fillTileValue(b.x, b.y, b.nx, b.ny, image->getFill());
  image->copyTile(b.x + dx, b.y + dy, b.nx, b.ny, moved, b.x, b.y);
  moved->unref();
}

TempPainter::TempPainter(ilImage* target) : painter_(new PaintOps(target, 1)) {
  painter_->ref();
}

TempPainter::~TempPainter() {
  painter_->unref();
}

}  // namespace brenmark::layer_images
