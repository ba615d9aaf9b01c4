// The hot rows of the convolution image: the four-box blur's row and column
// passes and the fixed-point kernel's multiply-accumulate, each as a scalar
// reference (namespace conv::rows) and behind one table per instruction set
// (SSE2, AVX2) chosen once at run time like the blending rows (BRENMARK_SIMD
// forces a level). Every table entry computes exactly what its reference
// computes.
#pragma once

#include <cstdint>

#include "platform/simd_level.h"

namespace brenmark::conv {

// Four-box division by a weight total w (4 <= w <= kMaxExactWeight): with
// m = floor(2^32 / w) + 1, (t * m) >> 32 == t / w for every t <= 255 w, since
// the error t (m - 2^32 / w) / 2^32 stays below 1 / w while 255 w^2 < 2^32.
constexpr int kMaxExactWeight = 4103;
inline std::uint32_t Reciprocal(std::uint32_t w) {
  return static_cast<std::uint32_t>((std::uint64_t{1} << 32) / w + 1);
}
// out = t * m >> 32 (= t / w, truncated)
inline std::uint8_t DivideByWeight(std::uint32_t t, std::uint32_t m) {
  return static_cast<std::uint8_t>((std::uint64_t{t} * m) >> 32);
}
// out = clamp((acc + 1024) >> 11, 0, 255): a sum of b x k (k in 1/2048)
// rounded once, halves up.
inline std::uint8_t FixedToByte(std::int32_t acc) {
  const std::int32_t v = (acc + 1024) >> 11;
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// The four box radii r[0] <= r[1] <= r[2] <= r[3].
struct BoxRadii {
  int r[4];
};

struct ConvKernels {
  SimdLevel level;
  const char* name;
  // Four-box row pass over one or two four-channel rows of w pixels. `a`
  // (and `b`, which may be null) point at pixel 0 of a row with 2 r[3] + 1
  // zero pixels before it and r[3] after it. Per channel T(x) = the sum over
  // the radii of the pixels within r[i] of x; out[x] = T(x) * recip[x] >> 32.
  void (*box_rows4)(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* outA,
                    std::uint8_t* outB, int w, const BoxRadii& radii, const std::uint32_t* recip);
  // Four-box column step over n bytes: t[j] += sum(add[i][j]) - sum(sub[i][j]);
  // then, when out is given, out[j] = t[j] * recip >> 32.
  void (*box_column)(std::int32_t* t, const std::uint8_t* const* add,
                     const std::uint8_t* const* sub, int n, std::uint8_t* out, std::uint32_t recip);
  // acc[j] += ka * a[j] + kb * b[j] over n bytes.
  void (*mac_row2)(std::int32_t* acc, const std::uint8_t* a, std::int16_t ka, const std::uint8_t* b,
                   std::int16_t kb, int n);
  // out[j] = FixedToByte(acc[j]) over n bytes.
  void (*fixed_out)(std::uint8_t* out, const std::int32_t* acc, int n);
  // Kernels symmetric about their centre row and column: rows[i] (i < size
  // = 2 h0 + 1) points at byte 0 of the source row i of the window, and
  // out[j] = FixedToByte(sum over i, d <= h0 of k[i * (h0 + 1) + d] x the
  // window's bytes in rows i and size - 1 - i (row h0 once) at columns
  // j + (h0 - d) c and j + (h0 + d) c (d = 0 once)), over m bytes; the sum
  // is the unfolded kernel's. Null where the level has no such row (the
  // unfolded rows then serve).
  void (*fixed_sym_row)(std::uint8_t* out, const std::uint8_t* const* rows, const std::int16_t* k,
                        int h0, int c, int m);
};

// The table of a level, or null when this processor cannot run it.
const ConvKernels* ConvKernelsFor(SimdLevel level);
// The table chosen for this process (first call decides; BRENMARK_SIMD).
const ConvKernels& ActiveConvKernels();

namespace rows {
void BoxRows4(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* outA, std::uint8_t* outB,
              int w, const BoxRadii& radii, const std::uint32_t* recip);
void BoxColumn(std::int32_t* t, const std::uint8_t* const* add, const std::uint8_t* const* sub,
               int n, std::uint8_t* out, std::uint32_t recip);
void MacRow2(std::int32_t* acc, const std::uint8_t* a, std::int16_t ka, const std::uint8_t* b,
             std::int16_t kb, int n);
void FixedOut(std::uint8_t* out, const std::int32_t* acc, int n);
void FixedSymRow(std::uint8_t* out, const std::uint8_t* const* rows, const std::int16_t* k, int h0,
                 int c, int m);
// One-channel row pass (every level runs this one); `weights` instead of
// `recip` (when recip is null) divides exactly for any weight.
void BoxRow1(const std::uint8_t* a, std::uint8_t* out, int w, const BoxRadii& radii,
             const std::uint32_t* recip, const std::uint32_t* weights);
// Four-channel row pass and column step dividing exactly, for weights past
// kMaxExactWeight (radii in the hundreds).
void BoxRow4Divide(const std::uint8_t* a, std::uint8_t* out, int w, const BoxRadii& radii,
                   const std::uint32_t* weights);
void BoxColumnDivide(std::int32_t* t, const std::uint8_t* const* add,
                     const std::uint8_t* const* sub, int n, std::uint8_t* out,
                     std::uint32_t weight);
}  // namespace rows

#define BRENMARK_DECLARE_CONV_KERNELS                                                             \
  void BoxRows4(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* outA,                 \
                std::uint8_t* outB, int w, const BoxRadii& radii, const std::uint32_t* recip);    \
  void BoxColumn(std::int32_t* t, const std::uint8_t* const* add, const std::uint8_t* const* sub, \
                 int n, std::uint8_t* out, std::uint32_t recip);                                  \
  void MacRow2(std::int32_t* acc, const std::uint8_t* a, std::int16_t ka, const std::uint8_t* b,  \
               std::int16_t kb, int n);                                                           \
  void FixedOut(std::uint8_t* out, const std::int32_t* acc, int n);

namespace sse2 {
BRENMARK_DECLARE_CONV_KERNELS
}  // namespace sse2
namespace avx2 {
BRENMARK_DECLARE_CONV_KERNELS
void FixedSymRow(std::uint8_t* out, const std::uint8_t* const* rows, const std::int16_t* k, int h0,
                 int c, int m);
}  // namespace avx2

}  // namespace brenmark::conv
