// Rotating row kernels (scalar; they walk arbitrary directions through the
// source, so there is no row of source pixels to vectorise over).
#include "layers/imageplane/rotate_rows.h"

#include <algorithm>
#include <cstring>

#include "layers/imageplane/axis_table.h"
#include "layers/imageplane/scale_rows.h"

namespace brenmark::imageplane {
namespace {

inline int Clamp(std::int64_t v, int hi) {
  return static_cast<int>(std::clamp<std::int64_t>(v, 0, hi));
}

inline const std::uint8_t* Pixel(const RotateSource& s, int bytes, int x, int y) {
  return s.data + static_cast<std::ptrdiff_t>(y) * s.stride +
         static_cast<std::ptrdiff_t>(x) * bytes;
}

}  // namespace

void RotateNearestRow(const RotateSource& s, int bytes, RotateWalk walk, int n, std::uint8_t* out) {
  for (int j = 0; j < n; ++j, out += bytes, walk.u += walk.du, walk.v += walk.dv) {
    if (!Inside1616(s, walk.u, walk.v)) {
      std::memcpy(out, s.fill, static_cast<std::size_t>(bytes));
      continue;
    }
    const int x = static_cast<int>(walk.u >> 16);
    const int y = static_cast<int>(walk.v >> 16);
    std::memcpy(out, Pixel(s, bytes, x, y), static_cast<std::size_t>(bytes));
  }
}

void RotateBilinearRow(const RotateSource& s, int bytes, RotateWalk walk, int n,
                       std::uint8_t* out) {
  for (int j = 0; j < n; ++j, out += bytes, walk.u += walk.du, walk.v += walk.dv) {
    if (!Inside1616(s, walk.u, walk.v)) {
      std::memcpy(out, s.fill, static_cast<std::size_t>(bytes));
      continue;
    }
    // Pixel centres sit at i + 0.5: interpolate from the centre to the left
    // and above (floor), with the 8-bit fraction of the way to the next one.
    const std::int64_t u = walk.u - 32768, v = walk.v - 32768;
    const std::int64_t xi = u >> 16, yi = v >> 16;
    const unsigned fx = static_cast<unsigned>(u >> 8 & 255),
                   fy = static_cast<unsigned>(v >> 8 & 255);
    const int x0 = Clamp(xi, s.w - 1), x1 = Clamp(xi + 1, s.w - 1);
    const int y0 = Clamp(yi, s.h - 1), y1 = Clamp(yi + 1, s.h - 1);
    const std::uint8_t* a0 = Pixel(s, bytes, x0, y0);
    const std::uint8_t* b0 = Pixel(s, bytes, x1, y0);
    const std::uint8_t* a1 = Pixel(s, bytes, x0, y1);
    const std::uint8_t* b1 = Pixel(s, bytes, x1, y1);
    for (int k = 0; k < bytes; ++k) {
      out[k] = Lerp256(Lerp256(a0[k], b0[k], fx), Lerp256(a1[k], b1[k], fx), fy);
    }
  }
}

void RotateBilinearRow4(const RotateSource& s, RotateWalk walk, int n, std::uint8_t* out) {
  RotateBilinearRow(s, 4, walk, n, out);
}

void RotateBicubicRow4(const RotateSource& s, RotateWalk walk, int n, std::uint8_t* out) {
  const std::uint32_t* weights = BicubicWeights();
  for (int j = 0; j < n; ++j, out += 4, walk.u += walk.du, walk.v += walk.dv) {
    if (!Inside1616(s, walk.u, walk.v)) {
      std::memcpy(out, s.fill, 4);
      continue;
    }
    const std::int64_t u = walk.u - 32768, v = walk.v - 32768;
    const std::int64_t xi = u >> 16, yi = v >> 16;
    const std::uint32_t wx = weights[u >> 8 & 255], wy = weights[v >> 8 & 255];
    int xs[4], ys[4];
    for (int k = 0; k < 4; ++k) {
      xs[k] = Clamp(xi - 1 + k, s.w - 1);
      ys[k] = Clamp(yi - 1 + k, s.h - 1);
    }
    std::uint8_t h[4][4];
    for (int r = 0; r < 4; ++r) {
      const std::uint8_t* p0 = Pixel(s, 4, xs[0], ys[r]);
      const std::uint8_t* p1 = Pixel(s, 4, xs[1], ys[r]);
      const std::uint8_t* p2 = Pixel(s, 4, xs[2], ys[r]);
      const std::uint8_t* p3 = Pixel(s, 4, xs[3], ys[r]);
      for (int k = 0; k < 4; ++k) h[r][k] = Cubic256(p0[k], p1[k], p2[k], p3[k], wx);
    }
    for (int k = 0; k < 4; ++k) out[k] = Cubic256(h[0][k], h[1][k], h[2][k], h[3][k], wy);
  }
}

}  // namespace brenmark::imageplane
