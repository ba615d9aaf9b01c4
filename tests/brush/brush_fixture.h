// Shared helpers for the brush tests: scoped references, constant paint
// sources, memory targets and pixel reads, a pinned dither, a painter that
// blends over its target and snapshots for the reference images.
#pragma once

#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/paint_ops.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/stamp_image.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "golden_image.h"
#include "paintops/dither.h"

namespace brush_test {

// Holds one reference for a scope.
template <typename T>
struct Ref {
  explicit Ref(T* p) : p(p) { p->ref(); }
  ~Ref() { p->unref(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T* operator->() const { return p; }
  T* p;
};

// A clear four-channel memory image.
inline ilQVMemoryImg* NewMem(int w, int h) {
  return new ilQVMemoryImg(ilSize(w, h, 1, 4), ilUChar);
}

// The four bytes at (x, y), channel 0 lowest.
inline std::uint32_t Px(ilImage* img, int x, int y) {
  std::uint32_t v = 0;
  img->getTile(x, y, 1, 1, &v);
  return v;
}

// Sets the four bytes at (x, y).
inline void Paint(ilImage* img, int x, int y, std::uint32_t v) {
  img->setTile(x, y, 1, 1, &v);
}

// The bytes of a dab image, brought up to date first.
inline std::vector<std::uint8_t> DabBytes(ILStampImg* img) {
  EXPECT_EQ(img->Update(), ilOkay);
  const auto* p = static_cast<const std::uint8_t*>(img->getDataPtr());
  return std::vector<std::uint8_t>(p, p + img->getDataSize());
}

// A paint object of one constant byte.
inline ImagePaintObj* Constant1(unsigned char v) {
  return new ImagePaintObj("constant", new ilConstImg(ilPixel(ilUChar, 1, &v)));
}

// The next blend dithers with bit-reverse(low).
inline void PinDither(std::uint8_t low) {
  using brenmark::BlendDither;
  while ((BlendDither::Counter() & 0xFF) != low || BlendDither::Used()) {
    BlendDither::MarkUsed();
    BlendDither::BeginBlend();
  }
}

// A painter blending premultiplied colour over its target.
struct OverPainter : PaintOps {
  explicit OverPainter(ilImage* target) : PaintOps(target, 1) {
    blend_func(BlendOne, BlendOneMinusSrcAlpha);
  }
};

// The w x h pixels from (x0, y0), top row first.
inline golden::Image Snapshot(ilImage* img, int x0, int y0, int w, int h) {
  golden::Image out;
  out.width = w;
  out.height = h;
  out.pixels.resize(static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) img->getTile(x0, y0 + h - 1 - y, w, 1, &out.pixels[y * w * 4]);
  return out;
}

}  // namespace brush_test
