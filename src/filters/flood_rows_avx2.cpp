// AVX2 span scan of the flood fill: eight pixels per step, bit-exact with
// flood::scalar.
#include <immintrin.h>

#include "filters/flood_rows.h"

namespace brenmark::flood::avx2 {

namespace {

// As the SSE2 mask: bit i set when pixel i of the 32 bytes at p is inside.
inline int InsideMask(const std::uint8_t* p, __m256i s, __m256i t) {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i d = _mm256_or_si256(_mm256_subs_epu8(a, s), _mm256_subs_epu8(s, a));
  const __m256i over = _mm256_subs_epu8(d, t);
  const __m256i in = _mm256_cmpeq_epi32(over, _mm256_setzero_si256());
  return _mm256_movemask_ps(_mm256_castsi256_ps(in));
}

}  // namespace

int InsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  const __m256i s = _mm256_set1_epi32(static_cast<int>(seed));
  const __m256i t = _mm256_set1_epi8(static_cast<char>(tol));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const int m = InsideMask(p + 4 * i, s, t);
    if (m != 0xFF) return i + __builtin_ctz(~m);
  }
  return i + scalar::InsideRight(p + 4 * i, n - i, seed, tol);
}

int InsideLeft(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  const __m256i s = _mm256_set1_epi32(static_cast<int>(seed));
  const __m256i t = _mm256_set1_epi8(static_cast<char>(tol));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    // Pixels p[-i - 7] .. p[-i]: bit 7 is the one nearest the start.
    const int m = InsideMask(p - 4 * (i + 7), s, t);
    if (m != 0xFF) return i + 7 - (31 - __builtin_clz(~m & 0xFF));
  }
  return i + scalar::InsideLeft(p - 4 * i, n - i, seed, tol);
}

int OutsideRight(const std::uint8_t* p, int n, std::uint32_t seed, int tol) {
  const __m256i s = _mm256_set1_epi32(static_cast<int>(seed));
  const __m256i t = _mm256_set1_epi8(static_cast<char>(tol));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const int m = InsideMask(p + 4 * i, s, t);
    if (m != 0) return i + __builtin_ctz(m);
  }
  return i + scalar::OutsideRight(p + 4 * i, n - i, seed, tol);
}

}  // namespace brenmark::flood::avx2
