// AVX2 convolution rows: the row pass runs two rows at once (one per
// 128-bit lane), the column pass and the kernel rows 32 bytes per step;
// tails run the scalar references. Exact integer arithmetic as the SSE2
// rows, so every result equals the reference's bit for bit.
#include <immintrin.h>

#include <cstring>

#include "filters/convolution_rows.h"

namespace brenmark::conv::avx2 {
namespace {

inline __m256i Load(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
inline __m128i Load128(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void Store(void* p, __m256i v) {
  _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}
inline __m128i Pixel(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return _mm_cvtsi32_si128(v);
}
inline __m128i Gather4(const std::uint8_t* p, const int* o) {
  const __m128i a = _mm_unpacklo_epi32(Pixel(p + o[0]), Pixel(p + o[1]));
  const __m128i b = _mm_unpacklo_epi32(Pixel(p + o[2]), Pixel(p + o[3]));
  return _mm_unpacklo_epi64(a, b);
}
inline __m256i Gather4x2(const std::uint8_t* a, const std::uint8_t* b, const int* o) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(Gather4(a, o)), Gather4(b, o), 1);
}

// Per 128-bit lane: the channel sums of the four `add` pixels minus those of
// the four `sub` pixels, as four 32-bit values.
inline __m256i PixelDelta(__m256i add, __m256i sub) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i d = _mm256_sub_epi16(
      _mm256_add_epi16(_mm256_unpacklo_epi8(add, zero), _mm256_unpackhi_epi8(add, zero)),
      _mm256_add_epi16(_mm256_unpacklo_epi8(sub, zero), _mm256_unpackhi_epi8(sub, zero)));
  d = _mm256_add_epi16(d, _mm256_srli_si256(d, 8));
  return _mm256_srai_epi32(_mm256_unpacklo_epi16(d, d), 16);
}

// Lanes t * m >> 32 (unsigned).
inline __m256i MulHigh(__m256i t, __m256i m) {
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(t, m), 32);
  const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(t, 32), m);
  return _mm256_blend_epi32(even, odd, 0xAA);
}

}  // namespace

void BoxRows4(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* outA, std::uint8_t* outB,
              int w, const BoxRadii& radii, const std::uint32_t* recip) {
  if (b == nullptr) {
    rows::BoxRows4(a, nullptr, outA, nullptr, w, radii, recip);
    return;
  }
  int addOff[4], subOff[4];
  for (int i = 0; i < 4; ++i) {
    addOff[i] = radii.r[i] * 4;
    subOff[i] = (-1 - radii.r[i]) * 4;
  }
  __m256i t = _mm256_setzero_si256();
  for (int x = -radii.r[3]; x < 0; ++x) {
    t = _mm256_add_epi32(t, PixelDelta(Gather4x2(a + x * 4, b + x * 4, addOff),
                                       Gather4x2(a + x * 4, b + x * 4, subOff)));
  }
  for (int x = 0; x < w; ++x) {
    t = _mm256_add_epi32(t, PixelDelta(Gather4x2(a + x * 4, b + x * 4, addOff),
                                       Gather4x2(a + x * 4, b + x * 4, subOff)));
    __m256i q = MulHigh(t, _mm256_set1_epi32(static_cast<int>(recip[x])));
    q = _mm256_packs_epi32(q, q);
    q = _mm256_packus_epi16(q, q);
    const std::int32_t va = _mm256_cvtsi256_si32(q);
    const std::int32_t vb = _mm_cvtsi128_si32(_mm256_extracti128_si256(q, 1));
    std::memcpy(outA + x * 4, &va, sizeof va);
    std::memcpy(outB + x * 4, &vb, sizeof vb);
  }
}

void BoxColumn(std::int32_t* t, const std::uint8_t* const* add, const std::uint8_t* const* sub,
               int n, std::uint8_t* out, std::uint32_t recip) {
  const __m256i m = _mm256_set1_epi32(static_cast<int>(recip));
  int j = 0;
  for (; j + 16 <= n; j += 16) {
    __m256i d = _mm256_setzero_si256();
    for (int i = 0; i < 4; ++i) {
      d = _mm256_add_epi16(d, _mm256_cvtepu8_epi16(Load128(add[i] + j)));
      d = _mm256_sub_epi16(d, _mm256_cvtepu8_epi16(Load128(sub[i] + j)));
    }
    const __m256i s0 =
        _mm256_add_epi32(Load(t + j), _mm256_cvtepi16_epi32(_mm256_castsi256_si128(d)));
    const __m256i s1 =
        _mm256_add_epi32(Load(t + j + 8), _mm256_cvtepi16_epi32(_mm256_extracti128_si256(d, 1)));
    Store(t + j, s0);
    Store(t + j + 8, s1);
    if (out != nullptr) {
      const __m256i w = _mm256_packs_epi32(MulHigh(s0, m), MulHigh(s1, m));
      const __m128i lo = _mm256_castsi256_si128(w), hi = _mm256_extracti128_si256(w, 1);
      // packs interleaved the halves: lo = s0[0..3], s1[0..3]; hi = s0[4..7], s1[4..7].
      const __m128i first = _mm_unpacklo_epi64(lo, hi), second = _mm_unpackhi_epi64(lo, hi);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(first, second));
    }
  }
  if (j < n) {
    const std::uint8_t* a2[4] = {add[0] + j, add[1] + j, add[2] + j, add[3] + j};
    const std::uint8_t* s2[4] = {sub[0] + j, sub[1] + j, sub[2] + j, sub[3] + j};
    rows::BoxColumn(t + j, a2, s2, n - j, out != nullptr ? out + j : nullptr, recip);
  }
}

void MacRow2(std::int32_t* acc, const std::uint8_t* a, std::int16_t ka, const std::uint8_t* b,
             std::int16_t kb, int n) {
  const __m256i k = _mm256_set1_epi32(
      static_cast<int>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(kb)) << 16) |
                       static_cast<std::uint16_t>(ka)));
  int j = 0;
  for (; j + 16 <= n; j += 16) {
    const __m256i p = _mm256_cvtepu8_epi16(Load128(a + j));
    const __m256i q = _mm256_cvtepu8_epi16(Load128(b + j));
    // Per 128-bit lane: unpacklo pairs bytes 0-3 / 8-11, unpackhi 4-7 / 12-15.
    const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(p, q), k);
    const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(p, q), k);
    const __m256i first = _mm256_permute2x128_si256(lo, hi, 0x20);   // bytes 0-7
    const __m256i second = _mm256_permute2x128_si256(lo, hi, 0x31);  // bytes 8-15
    Store(acc + j, _mm256_add_epi32(Load(acc + j), first));
    Store(acc + j + 8, _mm256_add_epi32(Load(acc + j + 8), second));
  }
  if (j < n) rows::MacRow2(acc + j, a + j, ka, b + j, kb, n - j);
}

void FixedOut(std::uint8_t* out, const std::int32_t* acc, int n) {
  const __m256i bias = _mm256_set1_epi32(1024);
  int j = 0;
  for (; j + 16 <= n; j += 16) {
    const __m256i v0 = _mm256_srai_epi32(_mm256_add_epi32(Load(acc + j), bias), 11);
    const __m256i v1 = _mm256_srai_epi32(_mm256_add_epi32(Load(acc + j + 8), bias), 11);
    const __m256i w = _mm256_packs_epi32(v0, v1);
    const __m128i lo = _mm256_castsi256_si128(w), hi = _mm256_extracti128_si256(w, 1);
    const __m128i first = _mm_unpacklo_epi64(lo, hi), second = _mm_unpackhi_epi64(lo, hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(first, second));
  }
  if (j < n) rows::FixedOut(out + j, acc + j, n - j);
}

}  // namespace brenmark::conv::avx2
