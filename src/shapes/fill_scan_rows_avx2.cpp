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

// Sub-lines 2c and 2c + 1 are the low and high byte of 16-bit lane c of
// val + 2c; sub-line 2c + 2 the low byte of the lane one further on.
inline __m256i ThirdsOf16(const std::uint8_t* val, __m256i third) {
  const __m256i low = _mm256_set1_epi16(0xFF);
  const __m256i a = Load(val), b = Load(val + 2);
  const __m256i sum =
      _mm256_add_epi16(_mm256_add_epi16(_mm256_and_si256(a, low), _mm256_srli_epi16(a, 8)),
                       _mm256_and_si256(b, low));
  return _mm256_mulhi_epu16(sum, third);
}

// The merged 32 pixels from c on.
inline __m256i Merged32(const std::uint8_t* d, const std::uint8_t* val, int c, __m256i third) {
  // The pack works per 128-bit lane; the permute puts the quarters back in order.
  const __m256i v = _mm256_permute4x64_epi64(
      _mm256_packus_epi16(ThirdsOf16(val + 2 * c, third), ThirdsOf16(val + 2 * c + 32, third)),
      0xD8);
  // (h + v) >> 1 = (h & v) + ((h ^ v) >> 1)
  const __m256i h = Load(d + c);
  const __m256i half =
      _mm256_and_si256(_mm256_srli_epi16(_mm256_xor_si256(h, v), 1), _mm256_set1_epi8(0x7F));
  return _mm256_add_epi8(_mm256_and_si256(h, v), half);
}

void MergeThirds(std::uint8_t* d, const std::uint8_t* val, int n) {
  if (n < 32) {
    sse2::MergeThirds(d, val, n);
    return;
  }
  const __m256i third = _mm256_set1_epi16(21846);
  // A tail shorter than 32 as the last 32 pixels, found before the steps
  // before it change the pixels the two share (a whole number of steps,
  // as a page-wide cell row is, needs no tail).
  const int whole = n & ~31;
  if (whole == n) {
    for (int c = 0; c < n; c += 32) Store(d + c, Merged32(d, val, c, third));
    return;
  }
  const __m256i last = Merged32(d, val, n - 32, third);
  for (int c = 0; c < whole; c += 32) Store(d + c, Merged32(d, val, c, third));
  Store(d + n - 32, last);
}

}  // namespace brenmark::shapes::avx2
