// Helpers for the layer-image tests: packed pixels in and out of smart
// images, and the reference arithmetic the composites are checked against.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "brenmark/brenmark.h"
#include "pixel_probes.h"

namespace brenmark::testing {

// Channel i of a packed pixel (channel 0, the alpha, in the top byte).
inline unsigned Ch(unsigned p, int i) {
  return (p >> (8 * (3 - i))) & 0xFFu;
}

inline unsigned Pack(unsigned a, unsigned b, unsigned g, unsigned r) {
  return a << 24 | b << 16 | g << 8 | r;
}

inline ilPixel PixelOf(unsigned packed, int channels) {
  if (channels == 1) {
    std::uint8_t v = static_cast<std::uint8_t>(packed);
    return ilPixel(ilUChar, 1, &v);
  }
  std::uint8_t bytes[4];
  std::memcpy(bytes, &packed, 4);
  return ilPixel(ilUChar, 4, bytes);
}

// A packed pixel (one byte for one-channel images).
inline unsigned Px(ilImage* img, int x, int y) {
  return ilSmartImage::As_ilSmartImage(img)->GetPixel(x, y);
}

inline void Paint(ilImage* img, int x, int y, int nx, int ny, unsigned packed) {
  img->fillTileValue(x, y, nx, ny, PixelOf(packed, img->getCsize()));
}

// Reference arithmetic of the blends the layer code uses.
// (1, 7) premultiplied over: out = s + (d x (256 - sa)) >> 8, saturated;
// a source of alpha 0 leaves the destination alone.
inline unsigned Over(unsigned s, unsigned d) {
  if (Ch(s, 0) == 0) return d;
  unsigned out = 0;
  for (int i = 0; i < 4; ++i) {
    unsigned v = Ch(s, i) + ((Ch(d, i) * (256 - Ch(s, 0))) >> 8);
    out |= (v > 255 ? 255 : v) << (8 * (3 - i));
  }
  return out;
}

// (0, 6) by a constant byte m < 255: out = (d x m) >> 8 per channel.
inline unsigned Times(unsigned d, unsigned m) {
  if (m == 255) return d;
  unsigned out = 0;
  for (int i = 0; i < 4; ++i) out |= ((Ch(d, i) * m) >> 8) << (8 * (3 - i));
  return out;
}

// A masked write's put-back under mask value 0 < m < 255:
// out = (earlier x m + painted x (256 - m)) >> 8 per channel.
inline unsigned Mix(unsigned earlier, unsigned painted, unsigned m) {
  unsigned out = 0;
  for (int i = 0; i < 4; ++i)
    out |= ((Ch(earlier, i) * m + Ch(painted, i) * (256 - m)) >> 8) << (8 * (3 - i));
  return out;
}

// Exact pixels at chosen places (x, y, packed value); every miss is named.
using test_probes::PixelsAt;
using test_probes::Probe;
inline ::testing::AssertionResult PixelsAre(ilImage* img, std::initializer_list<Probe> probes) {
  return PixelsAt([img](int x, int y) { return Px(img, x, y); }, probes);
}

// Where a test compares two pictures, the first differing pixel is named.
template <typename A, typename B>
::testing::AssertionResult SamePicture(int x0, int y0, int nx, int ny, A before, B after) {
  for (int y = y0; y < y0 + ny; ++y) {
    for (int x = x0; x < x0 + nx; ++x) {
      unsigned a = before(x, y), b = after(x, y);
      if (a != b) {
        return ::testing::AssertionFailure() << "first difference at (" << x << ", " << y
                                             << "): " << std::hex << a << " vs " << b;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace brenmark::testing
