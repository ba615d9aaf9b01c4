// Images for the painter tests: memory and smart images with packed-pixel
// access, held by reference for the length of a test.
#pragma once

#include <brenmark/il.h>
#include <brenmark/paint_ops.h>
#include <brenmark/smart_image.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "paintops/dither.h"
#include "paintops/fixed_point.h"
#include "pixel_probes.h"

namespace painter_test {

// Holds one reference on an image for the holder's life.
template <typename T>
class Held {
 public:
  explicit Held(T* img) : img_(img) { img_->ref(); }
  ~Held() { img_->unref(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  T* get() const { return img_; }
  T* operator->() const { return img_; }

 private:
  T* img_;
};

// A four-channel 8-bit pixel from its packed word (bytes R, G, B, A in memory).
inline ilPixel Pixel4(std::uint32_t packed) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &packed, 4);
  return ilPixel(ilUChar, 4, bytes);
}

inline ilPixel Pixel1(std::uint8_t v) {
  return ilPixel(ilUChar, 1, &v);
}

// w x h interleaved 8-bit memory image with every pixel `value`, in the
// engine's lower-left coordinate space (that of smart images).
inline ilMemoryImg* Memory4(int w, int h, std::uint32_t value) {
  auto* img = new ilMemoryImg(ilSize(w, h, 1, 4), ilUChar);
  img->setCoordSpace(ilLowerLeft);
  img->fillTileValue(0, 0, w, h, Pixel4(value));
  return img;
}

inline ilMemoryImg* Memory1(int w, int h, std::uint8_t value) {
  auto* img = new ilMemoryImg(ilSize(w, h, 1, 1), ilUChar);
  img->setCoordSpace(ilLowerLeft);
  img->fillTileValue(0, 0, w, h, Pixel1(value));
  return img;
}

inline std::uint32_t Get4(ilMemoryImg* img, int x, int y) {
  std::uint32_t v;
  std::memcpy(&v, img->getPixelPtr(x, y), 4);
  return v;
}

inline void Set4(ilMemoryImg* img, int x, int y, std::uint32_t v) {
  std::memcpy(img->getPixelPtr(x, y), &v, 4);
}

inline std::uint8_t Get1(ilMemoryImg* img, int x, int y) {
  return *static_cast<std::uint8_t*>(img->getPixelPtr(x, y));
}

inline void Set1(ilMemoryImg* img, int x, int y, std::uint8_t v) {
  *static_cast<std::uint8_t*>(img->getPixelPtr(x, y)) = v;
}

// A w x h four-channel memory target of `value` and an enveloped software
// painter on it; canvas(x, y) is a packed pixel.
struct Canvas {
  Canvas(int w, int h, std::uint32_t value) : img(Memory4(w, h, value)), painter(img.get(), 1) {}
  std::uint32_t operator()(int x, int y) const { return Get4(img.get(), x, y); }
  Held<ilMemoryImg> img;
  PaintOps painter;
};

// The rectangle a painter recorded, if any.
inline std::optional<ilTile> Modified(PaintOps& p, ModifySince since = SinceReset) {
  ilTile t;
  if (p.tile_modified(t, since, 0, 0) == 0) return std::nullopt;
  return t;
}

// Exact pixels at chosen places (x, y, packed value); every miss is named.
using brenmark::test_probes::Probe;
template <typename Get>
::testing::AssertionResult PixelsAre(const Get& get, std::initializer_list<Probe> probes) {
  return brenmark::test_probes::PixelsAt(get, probes);
}
inline ::testing::AssertionResult PixelsAre(ilMemoryImg* img, std::initializer_list<Probe> probes) {
  return PixelsAre([img](int x, int y) { return Get4(img, x, y); }, probes);
}
inline ::testing::AssertionResult PixelsAre(ilSmartImage* img,
                                            std::initializer_list<Probe> probes) {
  return PixelsAre([img](int x, int y) { return img->GetPixel(x, y); }, probes);
}

// The dither byte the next blend call will use: the counter advances first
// when the previous calls dithered.
inline std::uint8_t NextBlendDither() {
  using brenmark::BlendDither;
  const std::uint32_t counter = BlendDither::Used()
                                    ? brenmark::NextDitherCounter(BlendDither::Counter())
                                    : BlendDither::Counter();
  return brenmark::fixed::ReverseByte(counter);
}

// The mask blend and a masked write's put-back under mask value m: 0 keeps
// `d`, 255 takes `kept`, else (kept * m + d * (256 - m)) >> 8 per channel.
inline std::uint32_t MaskMix(std::uint32_t kept, std::uint32_t d, unsigned m) {
  if (m == 0) return d;
  if (m == 255) return kept;
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8)
    out |= ((((kept >> shift) & 0xFFu) * m + ((d >> shift) & 0xFFu) * (256 - m)) >> 8) << shift;
  return out;
}

// The brush blend of one pixel, per channel:
// out = min(255, (d * (256 - a) + s * a + dither) >> 8).
inline std::uint32_t Brush(std::uint32_t d, std::uint32_t s, std::uint32_t a, std::uint8_t dither) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t v =
        (((d >> shift) & 0xFFu) * (256 - a) + ((s >> shift) & 0xFFu) * a + dither) >> 8;
    out |= (v > 255 ? 255 : v) << shift;
  }
  return out;
}

}  // namespace painter_test
