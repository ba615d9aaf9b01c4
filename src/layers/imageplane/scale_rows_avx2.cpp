// AVX2 rows of the view scaler; each equals its rows:: reference bit for bit
// (16-bit lane arithmetic as in the SSE2 rows: no lane can overflow).
#include <immintrin.h>

#include "layers/imageplane/scale_rows.h"

namespace brenmark::imageplane::avx2 {
namespace {

inline __m128i LoadPair(const std::uint8_t* src, std::int32_t x) {
  return _mm_loadl_epi64(
      reinterpret_cast<const __m128i*>(src + static_cast<std::ptrdiff_t>(x) * 4));
}

// Pixels j..j+3, each an adjacent source pair (a, b): 16-bit results, lane 0
// holding pixels 0 and 1, lane 1 pixels 2 and 3.
inline __m256i LerpFour(const std::uint8_t* src, const std::int32_t* x0, const std::uint16_t* fx,
                        __m256i c256, __m256i c128) {
  const __m128i q01 = _mm_shuffle_epi32(
      _mm_unpacklo_epi64(LoadPair(src, x0[0]), LoadPair(src, x0[1])), _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i q23 = _mm_shuffle_epi32(
      _mm_unpacklo_epi64(LoadPair(src, x0[2]), LoadPair(src, x0[3])), _MM_SHUFFLE(3, 1, 2, 0));
  const __m256i q = _mm256_set_m128i(q23, q01);  // lane: [a a b b]
  const __m256i zero = _mm256_setzero_si256();
  const __m256i a = _mm256_unpacklo_epi8(q, zero);
  const __m256i b = _mm256_unpackhi_epi8(q, zero);
  const __m128i fv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(fx));
  const __m128i f2 = _mm_unpacklo_epi16(fv, fv);
  const __m256i f = _mm256_set_m128i(_mm_unpackhi_epi32(f2, f2), _mm_unpacklo_epi32(f2, f2));
  const __m256i s =
      _mm256_add_epi16(_mm256_mullo_epi16(a, _mm256_sub_epi16(c256, f)), _mm256_mullo_epi16(b, f));
  return _mm256_srli_epi16(_mm256_add_epi16(s, c128), 8);
}

}  // namespace

void BilinearH4(const std::uint8_t* src, const std::int32_t* x0, const std::int32_t* x1,
                const std::uint16_t* fx, int n, std::uint8_t* out) {
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i c256 = _mm256_set1_epi16(256);
  const __m256i c128 = _mm256_set1_epi16(128);
  int j = 0;
  for (; j + 8 <= n; j += 8) {
    const __m256i i0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x0 + j));
    const __m256i i1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x1 + j));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_sub_epi32(i1, i0), one)) != -1) {
      // A clamped edge pixel reads the same column twice: no pair load there.
      rows::BilinearH4(src, x0 + j, x1 + j, fx + j, 8, out + 4 * j);
      continue;
    }
    const __m256i lo = LerpFour(src, x0 + j, fx + j, c256, c128);
    const __m256i hi = LerpFour(src, x0 + j + 4, fx + j + 4, c256, c128);
    // packus interleaves lanes: [0 1 4 5 | 2 3 6 7] -> pixel order.
    const __m256i r =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * j), r);
  }
  if (j < n) rows::BilinearH4(src, x0 + j, x1 + j, fx + j, n - j, out + 4 * j);
}

void LerpRows(const std::uint8_t* a, const std::uint8_t* b, int fy, int bytes, std::uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i wa = _mm256_set1_epi16(static_cast<short>(256 - fy));
  const __m256i wb = _mm256_set1_epi16(static_cast<short>(fy));
  const __m256i c128 = _mm256_set1_epi16(128);
  int k = 0;
  for (; k + 32 <= bytes; k += 32) {
    const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + k));
    const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + k));
    const __m256i lo = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(va, zero), wa),
                                          _mm256_mullo_epi16(_mm256_unpacklo_epi8(vb, zero), wb)),
                         c128),
        8);
    const __m256i hi = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(va, zero), wa),
                                          _mm256_mullo_epi16(_mm256_unpackhi_epi8(vb, zero), wb)),
                         c128),
        8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), _mm256_packus_epi16(lo, hi));
  }
  if (k < bytes) rows::LerpRows(a + k, b + k, fy, bytes - k, out + k);
}

void CubicRows(const std::uint8_t* r0, const std::uint8_t* r1, const std::uint8_t* r2,
               const std::uint8_t* r3, std::uint32_t w, int bytes, std::uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i w0 = _mm256_set1_epi16(static_cast<short>(w & 255u));
  const __m256i w1 = _mm256_set1_epi16(static_cast<short>(w >> 8 & 255u));
  const __m256i w2 = _mm256_set1_epi16(static_cast<short>(w >> 16 & 255u));
  const __m256i w3 = _mm256_set1_epi16(static_cast<short>(w >> 24));
  const __m256i c128 = _mm256_set1_epi16(128);
  int k = 0;
  for (; k + 32 <= bytes; k += 32) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r0 + k));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r1 + k));
    const __m256i v2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r2 + k));
    const __m256i v3 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r3 + k));
    __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(v0, zero), w0),
                                  _mm256_mullo_epi16(_mm256_unpacklo_epi8(v1, zero), w1));
    lo = _mm256_add_epi16(lo, _mm256_mullo_epi16(_mm256_unpacklo_epi8(v2, zero), w2));
    lo = _mm256_add_epi16(lo, _mm256_mullo_epi16(_mm256_unpacklo_epi8(v3, zero), w3));
    __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(v0, zero), w0),
                                  _mm256_mullo_epi16(_mm256_unpackhi_epi8(v1, zero), w1));
    hi = _mm256_add_epi16(hi, _mm256_mullo_epi16(_mm256_unpackhi_epi8(v2, zero), w2));
    hi = _mm256_add_epi16(hi, _mm256_mullo_epi16(_mm256_unpackhi_epi8(v3, zero), w3));
    lo = _mm256_srli_epi16(_mm256_add_epi16(lo, c128), 8);
    hi = _mm256_srli_epi16(_mm256_add_epi16(hi, c128), 8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), _mm256_packus_epi16(lo, hi));
  }
  if (k < bytes) rows::CubicRows(r0 + k, r1 + k, r2 + k, r3 + k, w, bytes - k, out + k);
}

}  // namespace brenmark::imageplane::avx2
