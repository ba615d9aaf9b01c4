// AVX2 row kernel of the fill scan conversion, bit-exact with
// shapes::scalar: column means 32 pixels per step. The running sum keeps
// the SSE2 kernel (its carry between steps gains nothing from wider ones).
#include <immintrin.h>

#include "shapes/fill_scan_rows.h"

namespace brenmark::shapes::avx2 {

namespace {

inline __m256i Load(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
inline void Store(void* p, __m256i v) {
  _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}

}  // namespace

void MergeThirds(std::uint8_t* d, const std::uint8_t* even, const std::uint8_t* odd, int n) {
  const __m256i third = _mm256_set1_epi16(21846);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low7 = _mm256_set1_epi8(0x7F);
  int c = 0;
  // Widening and packing both work per 128-bit lane, so the pack puts the
  // bytes back in their order.
  for (; c + 32 <= n; c += 32) {
    const __m256i e0 = Load(even + c), o = Load(odd + c), e1 = Load(even + c + 1);
    const __m256i lo = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_unpacklo_epi8(e0, zero), _mm256_unpacklo_epi8(o, zero)),
        _mm256_unpacklo_epi8(e1, zero));
    const __m256i hi = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_unpackhi_epi8(e0, zero), _mm256_unpackhi_epi8(o, zero)),
        _mm256_unpackhi_epi8(e1, zero));
    const __m256i v =
        _mm256_packus_epi16(_mm256_mulhi_epu16(lo, third), _mm256_mulhi_epu16(hi, third));
    // (h + v) >> 1 = (h & v) + ((h ^ v) >> 1)
    const __m256i h = Load(d + c);
    const __m256i half = _mm256_and_si256(_mm256_srli_epi16(_mm256_xor_si256(h, v), 1), low7);
    Store(d + c, _mm256_add_epi8(_mm256_and_si256(h, v), half));
  }
  sse2::MergeThirds(d + c, even + c, odd + c, n - c);
}

}  // namespace brenmark::shapes::avx2
