// The flood fill's span scan: how many four-byte pixels in a row, starting
// at one and walking right or left, lie within the tolerance of the seed.
// One scalar reference and SSE2 and AVX2 copies behind a table chosen once
// at run time (BRENMARK_SIMD as for the blending rows).
#pragma once

#include <cstdint>

#include "platform/simd_level.h"

namespace brenmark::flood {

// inside(p) = every byte b of p has |b - seed byte| <= tol   (tol 0..255)
inline bool Inside4(const std::uint8_t* p, const std::uint8_t* seed, int tol) {
  for (int i = 0; i < 4; ++i) {
    const int d = p[i] - seed[i];
    if (d > tol || -d > tol) return false;
  }
  return true;
}

// Right: pixels p[0], p[1], ... p[n - 1]; left: p[0], p[-1], ... p[1 - n]
// (p points at a pixel, 4 bytes each). Both answer how many pixels from p on
// are inside before the first that is not (n when all are). n >= 0.
using RunFn = int (*)(const std::uint8_t* p, int n, std::uint32_t seed, int tol);

struct FloodRows {
  SimdLevel level;
  const char* name;
  RunFn inside_right;
  RunFn inside_left;
  // How many pixels from p on, walking right, are not inside.
  RunFn outside_right;
};

namespace scalar {
int InsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
int InsideLeft(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
int OutsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
}  // namespace scalar
namespace sse2 {
int InsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
int InsideLeft(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
int OutsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
}  // namespace sse2
namespace avx2 {
int InsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
int InsideLeft(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
int OutsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol);
}  // namespace avx2

// The table of a level, or null when this processor cannot run it.
const FloodRows* FloodRowsFor(SimdLevel level);
// The table chosen for this process (first call decides).
const FloodRows& ActiveFloodRows();

}  // namespace brenmark::flood
