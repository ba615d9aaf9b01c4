// Row kernels of the view scaler: the scalar reference of every sampling
// formula, and the per-instruction-set table the transfers call through.
//
// Conventions: `n` destination pixels; four-byte pixels are handled as four
// independent byte channels (the formulas do not care which is alpha);
// buffers may be unaligned; rows never allocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "layers/imageplane/rotate_rows.h"
#include "platform/simd_level.h"

namespace brenmark::imageplane {

// out = (a * (256 - f) + b * f + 128) >> 8, f in 0..255; never above 255.
inline std::uint8_t Lerp256(unsigned a, unsigned b, unsigned f) {
  return static_cast<std::uint8_t>((a * (256u - f) + b * f + 128u) >> 8);
}

// out = (w0 * p0 + w1 * p1 + w2 * p2 + w3 * p3 + 128) >> 8 with the packed
// weights w = w0 | w1 << 8 | w2 << 16 | w3 << 24 (non-negative, sum 256).
inline std::uint8_t Cubic256(unsigned p0, unsigned p1, unsigned p2, unsigned p3, std::uint32_t w) {
  return static_cast<std::uint8_t>(
      (p0 * (w & 255u) + p1 * (w >> 8 & 255u) + p2 * (w >> 16 & 255u) + p3 * (w >> 24) + 128u) >>
      8);
}

// out = min(255, (v * scale + offset * 256) >> 8) for one channel byte.
inline std::uint8_t ScaleOffset256(unsigned v, unsigned scale, unsigned offset) {
  const unsigned r = (v * scale + offset * 256u) >> 8;
  return static_cast<std::uint8_t>(r > 255u ? 255u : r);
}

namespace rows {

// Horizontal bilinear pass, four-byte pixels: out[j] = Lerp256(src[x0[j]],
// src[x1[j]], fx[j]) per channel. x0/x1 are pixel indices.
void BilinearH4(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out);
// The same for one-byte pixels.
void BilinearH1(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out);
// Vertical pass: out[k] = Lerp256(a[k], b[k], fy) for `bytes` bytes.
void LerpRows(const std::uint8_t* a, const std::uint8_t* b, int fy, int bytes, std::uint8_t* out);
// Horizontal bicubic pass, four-byte pixels: xi holds four pixel indices per
// destination pixel (already clamped to the image), w the packed weights.
void BicubicH4(const std::uint8_t* src, const std::int32_t* xi, const std::uint32_t* w, int n,
               std::uint8_t* out);
// Vertical bicubic pass: out[k] = Cubic256(r0[k], r1[k], r2[k], r3[k], w).
void CubicRows(const std::uint8_t* r0, const std::uint8_t* r1, const std::uint8_t* r2,
               const std::uint8_t* r3, std::uint32_t w, int bytes, std::uint8_t* out);
// Nearest: out[j] = src[xi[j]], four-byte and one-byte pixels.
void Gather4(const std::uint8_t* src, const std::int32_t* xi, int n, std::uint8_t* out);
void Gather1(const std::uint8_t* src, const std::int32_t* xi, int n, std::uint8_t* out);
// Colour scale and offset over n four-byte pixels: byte k of each pixel with
// byte k of the scale and offset words (ScaleOffset256).
void ColourScale4(std::uint8_t* px, int n, std::uint32_t scale, std::uint32_t offset);

}  // namespace rows

namespace sse2 {
void BilinearH4(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out);
void BicubicH4(const std::uint8_t* src, const std::int32_t* xi, const std::uint32_t* w, int n,
               std::uint8_t* out);
void LerpRows(const std::uint8_t* a, const std::uint8_t* b, int fy, int bytes, std::uint8_t* out);
void CubicRows(const std::uint8_t* r0, const std::uint8_t* r1, const std::uint8_t* r2,
               const std::uint8_t* r3, std::uint32_t w, int bytes, std::uint8_t* out);
}  // namespace sse2

namespace avx2 {
void BilinearH4(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out);
void LerpRows(const std::uint8_t* a, const std::uint8_t* b, int fy, int bytes, std::uint8_t* out);
void CubicRows(const std::uint8_t* r0, const std::uint8_t* r1, const std::uint8_t* r2,
               const std::uint8_t* r3, std::uint32_t w, int bytes, std::uint8_t* out);
}  // namespace avx2

// One instruction set's rows; every entry equals its rows:: reference bit for
// bit.
struct ScaleRows {
  SimdLevel level;
  const char* name;
  decltype(&rows::BilinearH4) bilinear_h4;
  decltype(&rows::BilinearH1) bilinear_h1;
  decltype(&rows::LerpRows) lerp_rows;
  decltype(&rows::BicubicH4) bicubic_h4;
  decltype(&rows::CubicRows) cubic_rows;
  decltype(&rows::Gather4) gather4;
  decltype(&rows::Gather1) gather1;
  decltype(&rows::ColourScale4) colour_scale4;
  decltype(&RotateBilinearRow4) rotate_bilinear4;
};

// The rows of a level, or null when this processor cannot run it.
const ScaleRows* ScaleRowsFor(SimdLevel level);
// The rows chosen for this process: the best level, unless BRENMARK_SIMD
// names another (see paintops/blend_kernels.h).
const ScaleRows& ActiveScaleRows();

}  // namespace brenmark::imageplane
