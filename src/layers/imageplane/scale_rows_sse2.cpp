// SSE2 rows of the view scaler; each equals its rows:: reference bit for bit.
// Channels run in 16-bit lanes: every product is at most 255 * 256 and every
// weighted sum plus the rounding 128 at most 65408, so no lane overflows.
#include <emmintrin.h>

#include <cstring>

#include "layers/imageplane/scale_rows.h"

namespace brenmark::imageplane::sse2 {
namespace {

inline __m128i LoadPair(const std::uint8_t* src, std::int32_t x) {
  return _mm_loadl_epi64(
      reinterpret_cast<const __m128i*>(src + static_cast<std::ptrdiff_t>(x) * 4));
}

// Two pixels (a0, b0) and (a1, b1), each pair adjacent in the source, with
// weights f0 and f1: (a * (256 - f) + b * f + 128) >> 8 as 16-bit lanes.
inline __m128i LerpTwo(__m128i q0, __m128i q1, __m128i f, __m128i c256, __m128i c128) {
  const __m128i zero = _mm_setzero_si128();
  // [a0 b0 a1 b1] -> [a0 a1 b0 b1]
  const __m128i q = _mm_shuffle_epi32(_mm_unpacklo_epi64(q0, q1), _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i a = _mm_unpacklo_epi8(q, zero);
  const __m128i b = _mm_unpackhi_epi8(q, zero);
  const __m128i s =
      _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(c256, f)), _mm_mullo_epi16(b, f));
  return _mm_srli_epi16(_mm_add_epi16(s, c128), 8);
}

}  // namespace

void BilinearH4(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out) {
  const __m128i one = _mm_set1_epi32(1);
  const __m128i c256 = _mm_set1_epi16(256);
  const __m128i c128 = _mm_set1_epi16(128);
  int j = 0;
  for (; j + 4 <= n; j += 4) {
    const __m128i i0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x0 + j));
    const __m128i i1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x1 + j));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_sub_epi32(i1, i0), one)) != 0xFFFF) {
      // A clamped edge pixel reads the same column twice: no pair load there.
      rows::BilinearH4(src, x0 + j, x1 + j, fx + j, 4, out + 4 * j);
      continue;
    }
    const __m128i fv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(fx + j));
    const __m128i f2 = _mm_unpacklo_epi16(fv, fv);  // f0 f0 f1 f1 f2 f2 f3 f3
    const __m128i f01 = _mm_unpacklo_epi32(f2, f2);
    const __m128i f23 = _mm_unpackhi_epi32(f2, f2);
    const __m128i r01 = LerpTwo(LoadPair(src, x0[j]), LoadPair(src, x0[j + 1]), f01, c256, c128);
    const __m128i r23 =
        LerpTwo(LoadPair(src, x0[j + 2]), LoadPair(src, x0[j + 3]), f23, c256, c128);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * j), _mm_packus_epi16(r01, r23));
  }
  if (j < n) rows::BilinearH4(src, x0 + j, x1 + j, fx + j, n - j, out + 4 * j);
}

void BicubicH4(const std::uint8_t* src, const std::int32_t* xi, const std::uint32_t* w, int n,
               std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c128 = _mm_set1_epi16(128);
  for (int j = 0; j < n; ++j) {
    const std::int32_t* x = xi + 4 * j;
    if (x[1] != x[0] + 1 || x[2] != x[0] + 2 || x[3] != x[0] + 3) {
      // Clamped at an edge: the taps are not four neighbours in memory.
      rows::BicubicH4(src, x, w + j, 1, out + 4 * j);
      continue;
    }
    const __m128i p = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(src + static_cast<std::ptrdiff_t>(x[0]) * 4));
    const __m128i wv = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(w[j])), zero);
    const __m128i w2 = _mm_unpacklo_epi16(wv, wv);  // w0 w0 w1 w1 w2 w2 w3 w3
    // Lanes 0-3 collect p0 * w0 + p2 * w2, lanes 4-7 p1 * w1 + p3 * w3.
    const __m128i s =
        _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi32(w2, w2)),
                      _mm_mullo_epi16(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi32(w2, w2)));
    const __m128i r =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(s, _mm_srli_si128(s, 8)), c128), 8);
    const int px = _mm_cvtsi128_si32(_mm_packus_epi16(r, zero));
    std::memcpy(out + 4 * j, &px, 4);
  }
}

void LerpRows(const std::uint8_t* a, const std::uint8_t* b, int fy, int bytes, std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i wa = _mm_set1_epi16(static_cast<short>(256 - fy));
  const __m128i wb = _mm_set1_epi16(static_cast<short>(fy));
  const __m128i c128 = _mm_set1_epi16(128);
  int k = 0;
  for (; k + 16 <= bytes; k += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
    const __m128i lo = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), wa),
                                    _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), wb)),
                      c128),
        8);
    const __m128i hi = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), wa),
                                    _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), wb)),
                      c128),
        8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(lo, hi));
  }
  if (k < bytes) rows::LerpRows(a + k, b + k, fy, bytes - k, out + k);
}

void CubicRows(const std::uint8_t* r0, const std::uint8_t* r1, const std::uint8_t* r2,
               const std::uint8_t* r3, std::uint32_t w, int bytes, std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w0 = _mm_set1_epi16(static_cast<short>(w & 255u));
  const __m128i w1 = _mm_set1_epi16(static_cast<short>(w >> 8 & 255u));
  const __m128i w2 = _mm_set1_epi16(static_cast<short>(w >> 16 & 255u));
  const __m128i w3 = _mm_set1_epi16(static_cast<short>(w >> 24));
  const __m128i c128 = _mm_set1_epi16(128);
  int k = 0;
  for (; k + 16 <= bytes; k += 16) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + k));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + k));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r2 + k));
    const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r3 + k));
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(v0, zero), w0),
                               _mm_mullo_epi16(_mm_unpacklo_epi8(v1, zero), w1));
    lo = _mm_add_epi16(lo, _mm_mullo_epi16(_mm_unpacklo_epi8(v2, zero), w2));
    lo = _mm_add_epi16(lo, _mm_mullo_epi16(_mm_unpacklo_epi8(v3, zero), w3));
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(v0, zero), w0),
                               _mm_mullo_epi16(_mm_unpackhi_epi8(v1, zero), w1));
    hi = _mm_add_epi16(hi, _mm_mullo_epi16(_mm_unpackhi_epi8(v2, zero), w2));
    hi = _mm_add_epi16(hi, _mm_mullo_epi16(_mm_unpackhi_epi8(v3, zero), w3));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, c128), 8);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, c128), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(lo, hi));
  }
  if (k < bytes) rows::CubicRows(r0 + k, r1 + k, r2 + k, r3 + k, w, bytes - k, out + k);
}

}  // namespace brenmark::imageplane::sse2
