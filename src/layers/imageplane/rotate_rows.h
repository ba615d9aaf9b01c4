// Row kernels of the rotating transfers: destination pixels along one row,
// the source position walked incrementally in 16.16 fixed point.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brenmark::imageplane {

// Source image as the rotating kernels read it: rows of `stride` bytes,
// w x h pixels, and the pixel (same size) written where the source position
// falls outside it.
struct RotateSource {
  const std::uint8_t* data;
  std::ptrdiff_t stride;
  int w, h;
  const std::uint8_t* fill;
};

// Source position of the first destination pixel's centre, in 16.16 pixels
// measured from the image's edge (pixel i covers [i, i + 1)), and its change
// per destination pixel.
struct RotateWalk {
  std::int64_t u, v;
  std::int64_t du, dv;
};

// True when the 16.16 position lies inside the image.
inline bool Inside1616(const RotateSource& s, std::int64_t u, std::int64_t v) {
  return u >= 0 && v >= 0 && u < static_cast<std::int64_t>(s.w) * 65536 &&
         v < static_cast<std::int64_t>(s.h) * 65536;
}

// Nearest (pixels of any size): the pixel the position falls in, or the
// fill outside the image.
void RotateNearestRow(const RotateSource& s, int bytes, RotateWalk walk, int n, std::uint8_t* out);
// Bilinear (one- or four-byte pixels): the four pixel centres around the
// position (neighbours clamped to the image), Lerp256 along x then along y
// with 1/256 fractions; the fill outside the image.
void RotateBilinearRow(const RotateSource& s, int bytes, RotateWalk walk, int n, std::uint8_t* out);
// The four-byte case of RotateBilinearRow (the reference of the SIMD rows).
void RotateBilinearRow4(const RotateSource& s, RotateWalk walk, int n, std::uint8_t* out);

namespace sse2 {
void RotateBilinearRow4(const RotateSource& s, RotateWalk walk, int n, std::uint8_t* out);
}  // namespace sse2
// Bicubic (four-byte pixels): the 4 x 4 neighbourhood clamped to the image,
// Cubic256 along x then along y with the bicubic weight table; the fill
// outside the image.
void RotateBicubicRow4(const RotateSource& s, RotateWalk walk, int n, std::uint8_t* out);

}  // namespace brenmark::imageplane
