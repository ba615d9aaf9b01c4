// Scalar reference rows of the view scaler and the run-time choice of rows.
#include "layers/imageplane/scale_rows.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace brenmark::imageplane {
namespace rows {

void BilinearH4(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out) {
  for (int j = 0; j < n; ++j) {
    const std::uint8_t* a = src + static_cast<std::ptrdiff_t>(x0[j]) * 4;
    const std::uint8_t* b = src + static_cast<std::ptrdiff_t>(x1[j]) * 4;
    for (int k = 0; k < 4; ++k) out[4 * j + k] = Lerp256(a[k], b[k], fx[j]);
  }
}

void BilinearH1(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out) {
  for (int j = 0; j < n; ++j) out[j] = Lerp256(src[x0[j]], src[x1[j]], fx[j]);
}

void LerpRows(const std::uint8_t* a, const std::uint8_t* b, int fy, int bytes, std::uint8_t* out) {
  const unsigned f = static_cast<unsigned>(fy);
  for (int k = 0; k < bytes; ++k) out[k] = Lerp256(a[k], b[k], f);
}

void BicubicH4(const std::uint8_t* src, const std::int32_t* xi, const std::uint32_t* w, int n,
               std::uint8_t* out) {
  for (int j = 0; j < n; ++j) {
    const std::uint8_t* p0 = src + static_cast<std::ptrdiff_t>(xi[4 * j]) * 4;
    const std::uint8_t* p1 = src + static_cast<std::ptrdiff_t>(xi[4 * j + 1]) * 4;
    const std::uint8_t* p2 = src + static_cast<std::ptrdiff_t>(xi[4 * j + 2]) * 4;
    const std::uint8_t* p3 = src + static_cast<std::ptrdiff_t>(xi[4 * j + 3]) * 4;
    for (int k = 0; k < 4; ++k) out[4 * j + k] = Cubic256(p0[k], p1[k], p2[k], p3[k], w[j]);
  }
}

void CubicRows(const std::uint8_t* r0, const std::uint8_t* r1, const std::uint8_t* r2,
               const std::uint8_t* r3, std::uint32_t w, int bytes, std::uint8_t* out) {
  for (int k = 0; k < bytes; ++k) out[k] = Cubic256(r0[k], r1[k], r2[k], r3[k], w);
}

void Gather4(const std::uint8_t* src, const std::int32_t* xi, int n, std::uint8_t* out) {
  for (int j = 0; j < n; ++j) {
    std::memcpy(out + 4 * j, src + static_cast<std::ptrdiff_t>(xi[j]) * 4, 4);
  }
}

void Gather1(const std::uint8_t* src, const std::int32_t* xi, int n, std::uint8_t* out) {
  for (int j = 0; j < n; ++j) out[j] = src[xi[j]];
}

void ColourScale4(std::uint8_t* px, int n, std::uint32_t scale, std::uint32_t offset) {
  unsigned s[4], o[4];
  for (int k = 0; k < 4; ++k) {
    s[k] = scale >> (8 * k) & 255u;
    o[k] = offset >> (8 * k) & 255u;
  }
  for (int j = 0; j < n; ++j) {
    for (int k = 0; k < 4; ++k) px[4 * j + k] = ScaleOffset256(px[4 * j + k], s[k], o[k]);
  }
}

}  // namespace rows

namespace {

constexpr ScaleRows kScalar = {
    SimdLevel::kScalar, "scalar",           rows::BilinearH4,   rows::BilinearH1,
    rows::LerpRows,     rows::BicubicH4,    rows::CubicRows,    rows::Gather4,
    rows::Gather1,      rows::ColourScale4, RotateBilinearRow4,
};

constexpr ScaleRows kSse2 = {
    SimdLevel::kSse2,
    "sse2",
    sse2::BilinearH4,
    rows::BilinearH1,
    sse2::LerpRows,
    sse2::BicubicH4,
    sse2::CubicRows,
    rows::Gather4,
    rows::Gather1,
    rows::ColourScale4,
    sse2::RotateBilinearRow4,
};

constexpr ScaleRows kAvx2 = {
    SimdLevel::kAvx2,
    "avx2",
    avx2::BilinearH4,
    rows::BilinearH1,
    avx2::LerpRows,
    sse2::BicubicH4,
    avx2::CubicRows,
    rows::Gather4,
    rows::Gather1,
    rows::ColourScale4,
    sse2::RotateBilinearRow4,
};

}  // namespace

const ScaleRows* ScaleRowsFor(SimdLevel level) {
  return SimdTableFor(level, kScalar, kSse2, kAvx2);
}

const ScaleRows& ActiveScaleRows() {
  static const ScaleRows& chosen = ChooseSimdTable(kScalar, kSse2, kAvx2);
  return chosen;
}

}  // namespace brenmark::imageplane
