// Axis tables of the view scaler (destination index -> source coordinate in
// 1/256 pixel) and the bicubic weight table.
#pragma once

#include <brenmark/qv_memory_img.h>

#include <cstdint>

namespace brenmark::imageplane {

// True when `mode` selects the nearest filter (anything but bilinear and
// bicubic does).
inline bool IsNearestMode(unsigned mode) {
  return mode != ilQVScaleBilinear && mode != ilQVScaleBicubic;
}

// Largest entry of an axis over `limit` source pixels: the last index (in
// 1/256), whatever the filter. The interpolating kernels hold the following
// pixel at the last index instead of stopping a whole pixel short, so the
// last row and column of a small image still show. Never below 0.
std::int32_t AxisUpperClamp(int limit);

// Entry for destination index j: trunc(256 * t + 0.5) with t = j / f - 0.5,
// clamped to [0, hi]. At f = 1 the axis is not resampled: 256 * j, clamped
// the same way (the half-pixel shift of the general formula would blur an
// unscaled axis).
std::int32_t AxisEntry(int j, float f, std::int32_t hi);

// Makes `t` valid for factor f, the two modes and `limit` source pixels, and
// covering source range [s0, s1] (whole pixels) and destination indices
// [need0, need1]. A table that already does is kept; otherwise it is rebuilt
// for destination indices round(s0 * f) .. round(s1 * f) widened to the
// needed ones.
void EnsureAxisTable(ilQVMemoryImg::AxisTable& t, float f, unsigned minifyMode,
                     unsigned magnifyMode, int limit, float s0, float s1, int need0, int need1);

// Rounding half away from zero, as every "round" of the scaler.
int RoundHalfAway(double v);

// Bicubic weights for fraction index i (0..255): w0 | w1 << 8 | w2 << 16 |
// w3 << 24, the uniform cubic B-spline at 1 + t, t, 1 - t, 2 - t with
// t = (2i + 1) / 512, times 256 rounded to nearest, summing to 256. Built once
// per process on first use.
const std::uint32_t* BicubicWeights();

}  // namespace brenmark::imageplane
