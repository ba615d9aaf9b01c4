// The one place where the layer code creates, copies and inspects layer
// images. Every layer image, stencil and mask is a paged smart image.
#pragma once

#include "brenmark/il.h"

class PaintOps;
class ilSmartImage;

namespace brenmark::layer_images {

// A pixel of `channels` unsigned-char channels, each `value`.
ilPixel UniformPixel(int channels, double value);

// A new empty smart image of `channels` channels, each filled with `value`.
// Unreferenced.
ilSmartImage* MakeSmart(int channels, double value);

// An empty image of `channels` (1 for masks, 4 otherwise) unsigned-char
// channels whose fill is all zeros. The caller receives it unreferenced.
ilImage* MakeEmpty(int channels);

// A new image with `source`'s fill holding a copy of `source`'s bounds,
// alpha made valid. Unreferenced.
ilImage* CopyOf(ilImage* source);

// A new image based on `stencil` (sharing its pixels until written).
// Unreferenced.
ilImage* BasedOn(ilImage* stencil);

// A blank stencil: one channel, fill 255 (full coverage). Unreferenced.
ilImage* MakeBlankStencil();

// True for the engine's own paged images.
bool IsSmart(ilImage* image);

// Channel count; 0 for null.
int Channels(ilImage* image);

// The region that holds content (an empty tile for null).
ilTile Bounds(ilImage* image);

// Sets the fill to `value` in every channel.
void SetFillAll(ilImage* image, double value);

// Writes `value` in every channel over the image's bounds.
void FillBounds(ilImage* image, double value);

// Writes zeros over the image's bounds, through `painter` when it already
// targets the image (so its tile bookkeeping sees the change), else
// directly.
void ClearBounds(ilImage* image, PaintOps* painter);

// Gives the image a chance to drop unused area at its edges (fast: only
// whole solid pages).
void Shrink(ilImage* image, bool fast, bool flag);

// The byte of an opacity for pixel arithmetic: opacity x 255 rounded half
// away from zero, kept in 0..255.
unsigned char OpacityByte(float opacity);

// Four equal bytes: a uniform pixel for rect_fill into one- or
// four-channel images.
struct UniformBytes {
  explicit UniformBytes(unsigned char v) : bytes{v, v, v, v} {}
  unsigned char bytes[4];
};

// The fill of a mask combined over another: m + r x (255 - m) / 255, with
// m the upper mask's fill and r the fill combined so far (0..255 each).
double CombinedMaskFill(double m, double r);

// Moves the image's content by (dx, dy): what was at (x, y) is then at
// (x + dx, y + dy), and the old area reads the image's fill. Pages move by
// reference where the shift is page-aligned.
void ShiftContent(ilImage* image, int dx, int dy);

// A painter of its own on one image for the length of a scope.
class TempPainter {
 public:
  explicit TempPainter(ilImage* target);
  ~TempPainter();
  TempPainter(const TempPainter&) = delete;
  TempPainter& operator=(const TempPainter&) = delete;
  PaintOps* operator->() const { return painter_; }
  PaintOps* get() const { return painter_; }

 private:
  PaintOps* painter_;
};

}  // namespace brenmark::layer_images
