// Scalar references of the convolution rows and the run-time choice of their
// instruction set.
#include "filters/convolution_rows.h"

#include <cstdlib>

#include "platform/platform.h"

namespace brenmark::conv {
namespace rows {
namespace {

// T(x) = T(x - 1) + sum_i (p[x + r_i] - p[x - 1 - r_i]), starting from T = 0
// at x = -(r[3] + 1), where every window lies left of the row.
template <int C, typename Out>
void BoxRow(const std::uint8_t* a, int w, const BoxRadii& radii, Out out) {
  std::int32_t t[C] = {};
  const int r3 = radii.r[3];
  for (int x = -r3; x < w; ++x) {
    for (int c = 0; c < C; ++c) {
      std::int32_t d = 0;
      for (int r : radii.r) d += a[(x + r) * C + c] - a[(x - 1 - r) * C + c];
      t[c] += d;
      if (x >= 0) out(x * C + c, x, t[c]);
    }
  }
}

}  // namespace

void BoxRows4(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* outA, std::uint8_t* outB,
              int w, const BoxRadii& radii, const std::uint32_t* recip) {
  BoxRow<4>(a, w, radii,
            [&](int j, int x, std::int32_t t) { outA[j] = DivideByWeight(t, recip[x]); });
  if (b != nullptr) {
    BoxRow<4>(b, w, radii,
              [&](int j, int x, std::int32_t t) { outB[j] = DivideByWeight(t, recip[x]); });
  }
}

void BoxRow4Divide(const std::uint8_t* a, std::uint8_t* out, int w, const BoxRadii& radii,
                   const std::uint32_t* weights) {
  BoxRow<4>(a, w, radii, [&](int j, int x, std::int32_t t) {
    out[j] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(t) / weights[x]);
  });
}

void BoxRow1(const std::uint8_t* a, std::uint8_t* out, int w, const BoxRadii& radii,
             const std::uint32_t* recip, const std::uint32_t* weights) {
  if (recip != nullptr) {
    BoxRow<1>(a, w, radii,
              [&](int j, int x, std::int32_t t) { out[j] = DivideByWeight(t, recip[x]); });
  } else {
    BoxRow<1>(a, w, radii, [&](int j, int x, std::int32_t t) {
      out[j] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(t) / weights[x]);
    });
  }
}

void BoxColumn(std::int32_t* t, const std::uint8_t* const* add, const std::uint8_t* const* sub,
               int n, std::uint8_t* out, std::uint32_t recip) {
  for (int j = 0; j < n; ++j) {
    t[j] += add[0][j] + add[1][j] + add[2][j] + add[3][j] - sub[0][j] - sub[1][j] - sub[2][j] -
            sub[3][j];
    if (out != nullptr) out[j] = DivideByWeight(t[j], recip);
  }
}

void BoxColumnDivide(std::int32_t* t, const std::uint8_t* const* add,
                     const std::uint8_t* const* sub, int n, std::uint8_t* out,
                     std::uint32_t weight) {
  for (int j = 0; j < n; ++j) {
    t[j] += add[0][j] + add[1][j] + add[2][j] + add[3][j] - sub[0][j] - sub[1][j] - sub[2][j] -
            sub[3][j];
    if (out != nullptr)
      out[j] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(t[j]) / weight);
  }
}

void MacRow2(std::int32_t* acc, const std::uint8_t* a, std::int16_t ka, const std::uint8_t* b,
             std::int16_t kb, int n) {
  for (int j = 0; j < n; ++j) acc[j] += ka * a[j] + kb * b[j];
}

void FixedOut(std::uint8_t* out, const std::int32_t* acc, int n) {
  for (int j = 0; j < n; ++j) out[j] = FixedToByte(acc[j]);
}

void FixedSymRow(std::uint8_t* out, const std::uint8_t* const* rows, const std::int16_t* k, int h0,
                 int c, int m) {
  const int size = 2 * h0 + 1;
  for (int j = 0; j < m; ++j) {
    std::int32_t acc = 0;
    for (int i = 0; i < size; ++i) {
      const int a = i <= h0 ? i : size - 1 - i;
      const std::uint8_t* centre = rows[i] + j + h0 * c;
      for (int jj = 0; jj < size; ++jj) {
        const int d = jj >= h0 ? jj - h0 : h0 - jj;
        acc += k[a * (h0 + 1) + d] * centre[(jj - h0) * c];
      }
    }
    out[j] = FixedToByte(acc);
  }
}

}  // namespace rows

namespace {

constexpr ConvKernels kScalar = {SimdLevel::kScalar, "scalar",      rows::BoxRows4,
                                 rows::BoxColumn,    rows::MacRow2, rows::FixedOut,
                                 rows::FixedSymRow};
constexpr ConvKernels kSse2 = {SimdLevel::kSse2, "sse2",         sse2::BoxRows4, sse2::BoxColumn,
                               sse2::MacRow2,    sse2::FixedOut, nullptr};
constexpr ConvKernels kAvx2 = {SimdLevel::kAvx2, "avx2",         avx2::BoxRows4,   avx2::BoxColumn,
                               avx2::MacRow2,    avx2::FixedOut, avx2::FixedSymRow};

}  // namespace

const ConvKernels* ConvKernelsFor(SimdLevel level) {
  return SimdTableFor(level, kScalar, kSse2, kAvx2);
}

const ConvKernels& ActiveConvKernels() {
  static const ConvKernels& chosen = ChooseSimdTable(kScalar, kSse2, kAvx2);
  return chosen;
}

}  // namespace brenmark::conv
