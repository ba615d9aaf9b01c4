// Layer images. Until the paged smart image is part of the engine, layer
// images are storage-less memory images (an empty data box that reads as its
// fill everywhere): every new layer starts empty, which is all the layer
// structure needs.
#include "layers/layer_images.h"

namespace brenmark::layer_images {

namespace {

ilPixel UniformPixel(int channels, double value) {
  ilPixel p(ilUChar, channels);
  for (int c = 0; c < channels; ++c) p.setElem(value, c);
  return p;
}

ilImage* MakeEmptyWithFill(int channels, const ilPixel& fill) {
  auto* img = new ilMemoryImg(ilSize(0, 0, 1, channels), ilUChar, ilInterleaved);
  img->setColorModel(channels == 4 ? ilABGR : ilGreyMinBlack);
  img->setFill(fill);
  return img;
}

}  // namespace

ilImage* MakeEmpty(int channels) {
  return MakeEmptyWithFill(channels, UniformPixel(channels, 0.0));
}

ilImage* CopyOf(ilImage* source) {
  auto* img = new ilMemoryImg(source);
  img->setFill(source->getFill());
  return img;
}

ilImage* BasedOn(ilImage* stencil) {
  return CopyOf(stencil);
}

ilImage* MakeBlankStencil() {
  return MakeEmptyWithFill(1, UniformPixel(1, 255.0));
}

bool IsSmart(ilImage* image) {
  return ilSIDImage::asSidImage(image) != nullptr;
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

void FillBoundsWithFill(ilImage* image) {
  if (!image) return;
  ilTile b = Bounds(image);
  if (!b.empty()) image->fillTileValue(b.x, b.y, b.nx, b.ny, image->getFill());
}

void FillBounds(ilImage* image, double value) {
  if (!image) return;
  ilTile b = Bounds(image);
  if (!b.empty())
    image->fillTileValue(b.x, b.y, b.nx, b.ny, UniformPixel(image->getCsize(), value));
}

void Shrink(ilImage*, bool, bool) {}

}  // namespace brenmark::layer_images
