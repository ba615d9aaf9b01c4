// The scalar span scan of the flood fill and the run-time choice of its
// instruction set.
#include "filters/flood_rows.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace brenmark::flood {

namespace scalar {

int InsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  std::uint8_t s[4];
  std::memcpy(s, &seed, 4);
  int i = 0;
  while (i < n && Inside4(p + 4 * i, s, tol)) ++i;
  return i;
}

int InsideLeft(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  std::uint8_t s[4];
  std::memcpy(s, &seed, 4);
  int i = 0;
  while (i < n && Inside4(p - 4 * i, s, tol)) ++i;
  return i;
}

int OutsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  std::uint8_t s[4];
  std::memcpy(s, &seed, 4);
  int i = 0;
  while (i < n && !Inside4(p + 4 * i, s, tol)) ++i;
  return i;
}

}  // namespace scalar

namespace {

constexpr FloodRows kScalar = {SimdLevel::kScalar, "scalar", scalar::InsideRight,
                               scalar::InsideLeft, scalar::OutsideRight};
constexpr FloodRows kSse2 = {SimdLevel::kSse2, "sse2", sse2::InsideRight, sse2::InsideLeft,
                             sse2::OutsideRight};
constexpr FloodRows kAvx2 = {SimdLevel::kAvx2, "avx2", avx2::InsideRight, avx2::InsideLeft,
                             avx2::OutsideRight};

}  // namespace

const FloodRows* FloodRowsFor(SimdLevel level) {
  return SimdTableFor(level, kScalar, kSse2, kAvx2);
}

const FloodRows& ActiveFloodRows() {
  static const FloodRows& chosen = ChooseSimdTable(kScalar, kSse2, kAvx2);
  return chosen;
}

}  // namespace brenmark::flood
