// Axis tables and bicubic weights of the view scaler.
#include "layers/imageplane/axis_table.h"

#include <algorithm>
#include <cmath>

namespace brenmark::imageplane {

int RoundHalfAway(double v) {
  return v > 0 ? static_cast<int>(v + 0.5) : -static_cast<int>(-v + 0.5);
}

std::int32_t AxisUpperClamp(int limit) {
  return std::max(limit - 1, 0) * 256;
}

std::int32_t AxisEntry(int j, float f, std::int32_t hi) {
  double e;
  if (f == 1.0f) {
    e = 256.0 * j;
  } else {
    const double t = static_cast<double>(j) / f - 0.5;
    e = std::trunc(256.0 * t + 0.5);
  }
  if (e < 0.0) return 0;
  if (e > hi) return hi;
  return static_cast<std::int32_t>(e);
}

void EnsureAxisTable(ilQVMemoryImg::AxisTable& t, float f, unsigned minifyMode,
                     unsigned magnifyMode, int limit, float s0, float s1, int need0, int need1) {
  const bool same = t.factor == f && t.minifyMode == minifyMode && t.magnifyMode == magnifyMode &&
                    t.limit == limit;
  const int have1 = t.first + static_cast<int>(t.entries.size()) - 1;
  if (same && !t.entries.empty() && t.s0 <= s0 && t.s1 >= s1 && t.first <= need0 &&
      have1 >= need1) {
    return;
  }
  t.factor = f;
  t.minifyMode = minifyMode;
  t.magnifyMode = magnifyMode;
  t.limit = limit;
  t.s0 = s0;
  t.s1 = s1;
  const int j0 = std::min(RoundHalfAway(static_cast<double>(s0) * f), need0);
  const int j1 = std::max(RoundHalfAway(static_cast<double>(s1) * f), need1);
  const std::int32_t hi = AxisUpperClamp(limit);
  t.first = j0;
  t.entries.resize(static_cast<std::size_t>(j1 - j0 + 1));
  for (int j = j0; j <= j1; ++j) t.entries[static_cast<std::size_t>(j - j0)] = AxisEntry(j, f, hi);
}

namespace {

// Uniform cubic B-spline: (3u^3 - 6u^2 + 4) / 6 for u <= 1, (2 - u)^3 / 6 for
// 1 <= u <= 2.
double BSpline(double u) {
  if (u <= 1.0) return (3.0 * u * u * u - 6.0 * u * u + 4.0) / 6.0;
  const double v = 2.0 - u;
  return v * v * v / 6.0;
}

struct WeightTable {
  std::uint32_t w[256];
  WeightTable() {
    for (int i = 0; i < 256; ++i) {
      const double t = (2.0 * i + 1.0) / 512.0;
      int k[4];
      const double u[4] = {1.0 + t, t, 1.0 - t, 2.0 - t};
      for (int n = 0; n < 4; ++n) k[n] = RoundHalfAway(BSpline(u[n]) * 256.0);
      const int diff = 256 - (k[0] + k[1] + k[2] + k[3]);
      // Positive: the smaller middle weight takes it; otherwise the larger.
      int& smaller = k[1] <= k[2] ? k[1] : k[2];
      int& larger = k[1] <= k[2] ? k[2] : k[1];
      (diff > 0 ? smaller : larger) += diff;
      w[i] = static_cast<std::uint32_t>(k[0]) | static_cast<std::uint32_t>(k[1]) << 8 |
             static_cast<std::uint32_t>(k[2]) << 16 | static_cast<std::uint32_t>(k[3]) << 24;
    }
  }
};

}  // namespace

const std::uint32_t* BicubicWeights() {
  static const WeightTable table;
  return table.w;
}

}  // namespace brenmark::imageplane
