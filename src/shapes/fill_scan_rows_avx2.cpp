// AVX2 row kernels of the fill scan conversion, bit-exact with
// shapes::scalar: sixteen accumulator entries per step. The vertical merge
// keeps the SSE2 transpose.
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

void AddConst(std::uint16_t* acc, int n, std::uint16_t v) {
  const __m256i k = _mm256_set1_epi16(static_cast<short>(v));
  int i = 0;
  for (; i + 16 <= n; i += 16) Store(acc + i, _mm256_add_epi16(Load(acc + i), k));
  sse2::AddConst(acc + i, n - i, v);
}

void Emit(std::uint8_t* out, std::uint16_t* acc, int n) {
  const __m256i third = _mm256_set1_epi16(21846);
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i lo = _mm256_mulhi_epu16(Load(acc + i), third);
    const __m256i hi = _mm256_mulhi_epu16(Load(acc + i + 16), third);
    // The pack works per 128-bit lane; the permute puts the quarters back in order.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
    Store(out + i, packed);
    Store(acc + i, zero);
    Store(acc + i + 16, zero);
  }
  sse2::Emit(out + i, acc + i, n - i);
}

void MergeTransposed(std::uint8_t* d, std::ptrdiff_t ds, const std::uint8_t* t, std::ptrdiff_t ts,
                     int w, int h) {
  sse2::MergeTransposed(d, ds, t, ts, w, h);
}

}  // namespace brenmark::shapes::avx2
