// SSE2 span scan of the flood fill: four pixels per step, bit-exact with
// flood::scalar.
#include <emmintrin.h>

#include "filters/flood_rows.h"

namespace brenmark::flood::sse2 {

namespace {

// One bit per pixel (bit i: pixel i of the 16 bytes at p) set when inside:
// |a - s| per byte is subs(a, s) | subs(s, a); it is <= tol when
// subs(|a - s|, tol) is 0, and a pixel is inside when its four are.
inline int InsideMask(const std::uint8_t* p, __m128i s, __m128i t) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i d = _mm_or_si128(_mm_subs_epu8(a, s), _mm_subs_epu8(s, a));
  const __m128i over = _mm_subs_epu8(d, t);
  const __m128i in = _mm_cmpeq_epi32(over, _mm_setzero_si128());
  return _mm_movemask_ps(_mm_castsi128_ps(in));
}

}  // namespace

int InsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  const __m128i s = _mm_set1_epi32(static_cast<int>(seed));
  const __m128i t = _mm_set1_epi8(static_cast<char>(tol));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const int m = InsideMask(p + 4 * i, s, t);
    if (m != 0xF) return i + __builtin_ctz(~m);
  }
  return i + scalar::InsideRight(p + 4 * i, n - i, seed, tol);
}

int InsideLeft(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  const __m128i s = _mm_set1_epi32(static_cast<int>(seed));
  const __m128i t = _mm_set1_epi8(static_cast<char>(tol));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    // Pixels p[-i - 3] .. p[-i]: bit 3 is the one nearest the start.
    const int m = InsideMask(p - 4 * (i + 3), s, t);
    if (m != 0xF) return i + 3 - (31 - __builtin_clz(~m & 0xF));
  }
  return i + scalar::InsideLeft(p - 4 * i, n - i, seed, tol);
}

int OutsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  const __m128i s = _mm_set1_epi32(static_cast<int>(seed));
  const __m128i t = _mm_set1_epi8(static_cast<char>(tol));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const int m = InsideMask(p + 4 * i, s, t);
    if (m != 0) return i + __builtin_ctz(m);
  }
  return i + scalar::OutsideRight(p + 4 * i, n - i, seed, tol);
}

}  // namespace brenmark::flood::sse2
