// SSE2 row kernel of the fill scan conversion, bit-exact with
// shapes::scalar: a running sum eight pixels per step (the prefix within a
// register in three shifted adds), column means sixteen pixels per step.
#include <emmintrin.h>

#include "shapes/fill_scan_rows.h"

namespace brenmark::shapes::sse2 {

namespace {

inline __m128i Load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void Store(void* p, __m128i v) {
  _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// (h + v) >> 1 per byte, without widening: (h & v) + ((h ^ v) >> 1).
inline __m128i HalfSum16(__m128i h, __m128i v) {
  const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(h, v), 1), _mm_set1_epi8(0x7F));
  return _mm_add_epi8(_mm_and_si128(h, v), half);
}

}  // namespace

std::uint16_t RunningThirds(std::uint8_t* out, std::uint16_t* diff, int n) {
  const __m128i third = _mm_set1_epi16(21846);
  const __m128i zero = _mm_setzero_si128();
  __m128i carry = zero;  // the sum so far in every lane
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    __m128i v = Load(diff + x);
    v = _mm_add_epi16(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 4));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 8));
    v = _mm_add_epi16(v, carry);
    const __m128i top = _mm_shufflehi_epi16(v, 0xFF);
    carry = _mm_unpackhi_epi64(top, top);
    Store(diff + x, zero);
    const __m128i t = _mm_mulhi_epu16(v, third);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(t, t));
  }
  auto sum = static_cast<std::uint16_t>(_mm_extract_epi16(carry, 7));
  for (; x < n; ++x) {
    sum = static_cast<std::uint16_t>(sum + diff[x]);
    diff[x] = 0;
    out[x] = ThirdOf(sum);
  }
  return sum;
}

// Sub-lines 2c and 2c + 1 are the low and high byte of 16-bit lane c of
// val + 2c; sub-line 2c + 2 the low byte of the lane one further on.
inline __m128i ThirdsOf8(const std::uint8_t* val, __m128i third) {
  const __m128i low = _mm_set1_epi16(0xFF);
  const __m128i a = Load(val), b = Load(val + 2);
  const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_and_si128(a, low), _mm_srli_epi16(a, 8)),
                                    _mm_and_si128(b, low));
  return _mm_mulhi_epu16(sum, third);
}

// The merged 16 pixels from c on.
inline __m128i Merged16(const std::uint8_t* d, const std::uint8_t* val, int c, __m128i third) {
  const __m128i v =
      _mm_packus_epi16(ThirdsOf8(val + 2 * c, third), ThirdsOf8(val + 2 * c + 16, third));
  return HalfSum16(Load(d + c), v);
}

void MergeThirds(std::uint8_t* d, const std::uint8_t* val, int n) {
  if (n < 16) {
    scalar::MergeThirds(d, val, n);
    return;
  }
  const __m128i third = _mm_set1_epi16(21846);
  // A tail shorter than 16 as the last 16 pixels, found before the steps
  // before it change the pixels the two share (a whole number of steps,
  // as a page-wide cell row is, needs no tail).
  const int whole = n & ~15;
  if (whole == n) {
    for (int c = 0; c < n; c += 16) Store(d + c, Merged16(d, val, c, third));
    return;
  }
  const __m128i last = Merged16(d, val, n - 16, third);
  for (int c = 0; c < whole; c += 16) Store(d + c, Merged16(d, val, c, third));
  Store(d + n - 16, last);
}

}  // namespace brenmark::shapes::sse2
