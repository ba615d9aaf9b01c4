// Test pixels the blending benches share.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace brenmark::bench {

// Premultiplied pixels with uniformly random alpha.
inline std::vector<std::uint32_t> RandomPremultiplied(int w, int h, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h);
  for (std::uint32_t& p : px) {
    const std::uint32_t a = rng() & 0xFFu;
    p = a << 24;
    for (int c = 0; c < 3; ++c) p |= ((rng() & 0xFFu) * a / 255) << (8 * c);
  }
  return px;
}

// Coverage of tiled round dabs (64 x 64, soft edge): zeros between dabs,
// full coverage in the middle, a ramp in between, as a brush stroke gives.
inline std::vector<std::uint8_t> DabCoverage(int w, int h) {
  std::vector<std::uint8_t> cov(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double dx = (x % 64) - 31.5;
      const double dy = (y % 64) - 31.5;
      double v = (30.0 - std::sqrt(dx * dx + dy * dy)) / 12.0;
      v = v < 0 ? 0 : (v > 1 ? 1 : v);
      cov[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(v * 255.0 + 0.5);
    }
  }
  return cov;
}

}  // namespace brenmark::bench
