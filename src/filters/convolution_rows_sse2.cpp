// SSE2 convolution rows: a four-channel pixel per step in the row pass, 16
// bytes per step in the column pass and the kernel rows; tails run the
// scalar references. Bit for bit the references' results: all arithmetic is
// exact integer arithmetic (eight byte terms of a step fit 16 bits, the
// running sums 32 bits).
#include <emmintrin.h>

#include <cstring>

#include "filters/convolution_rows.h"

namespace brenmark::conv::sse2 {
namespace {

inline __m128i Load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void Store(void* p, __m128i v) {
  _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
inline __m128i Pixel(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return _mm_cvtsi32_si128(v);
}

// Four pixels p[o0], p[o1], p[o2], p[o3] (byte offsets) in one register.
inline __m128i Gather4(const std::uint8_t* p, const int* o) {
  const __m128i a = _mm_unpacklo_epi32(Pixel(p + o[0]), Pixel(p + o[1]));
  const __m128i b = _mm_unpacklo_epi32(Pixel(p + o[2]), Pixel(p + o[3]));
  return _mm_unpacklo_epi64(a, b);
}

// Per channel: sum of the four pixels of `add` minus those of `sub`, as four
// 32-bit lanes.
inline __m128i PixelDelta(__m128i add, __m128i sub) {
  const __m128i zero = _mm_setzero_si128();
  __m128i d =
      _mm_sub_epi16(_mm_add_epi16(_mm_unpacklo_epi8(add, zero), _mm_unpackhi_epi8(add, zero)),
                    _mm_add_epi16(_mm_unpacklo_epi8(sub, zero), _mm_unpackhi_epi8(sub, zero)));
  d = _mm_add_epi16(d, _mm_srli_si128(d, 8));
  return _mm_srai_epi32(_mm_unpacklo_epi16(d, d), 16);
}

// Lanes t * m >> 32 (unsigned).
inline __m128i MulHigh(__m128i t, __m128i m) {
  const __m128i even = _mm_srli_epi64(_mm_mul_epu32(t, m), 32);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(t, 32), m);
  return _mm_or_si128(even, _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
}

void BoxRow4(const std::uint8_t* a, std::uint8_t* out, int w, const BoxRadii& radii,
             const std::uint32_t* recip) {
  int addOff[4], subOff[4];
  for (int i = 0; i < 4; ++i) {
    addOff[i] = radii.r[i] * 4;
    subOff[i] = (-1 - radii.r[i]) * 4;
  }
  __m128i t = _mm_setzero_si128();
  for (int x = -radii.r[3]; x < 0; ++x) {
    t = _mm_add_epi32(t, PixelDelta(Gather4(a + x * 4, addOff), Gather4(a + x * 4, subOff)));
  }
  for (int x = 0; x < w; ++x) {
    t = _mm_add_epi32(t, PixelDelta(Gather4(a + x * 4, addOff), Gather4(a + x * 4, subOff)));
    __m128i q = MulHigh(t, _mm_set1_epi32(static_cast<int>(recip[x])));
    q = _mm_packs_epi32(q, q);
    q = _mm_packus_epi16(q, q);
    const std::int32_t v = _mm_cvtsi128_si32(q);
    std::memcpy(out + x * 4, &v, sizeof v);
  }
}

}  // namespace

void BoxRows4(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* outA, std::uint8_t* outB,
              int w, const BoxRadii& radii, const std::uint32_t* recip) {
  BoxRow4(a, outA, w, radii, recip);
  if (b != nullptr) BoxRow4(b, outB, w, radii, recip);
}

void BoxColumn(std::int32_t* t, const std::uint8_t* const* add, const std::uint8_t* const* sub,
               int n, std::uint8_t* out, std::uint32_t recip) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i m = _mm_set1_epi32(static_cast<int>(recip));
  int j = 0;
  for (; j + 16 <= n; j += 16) {
    __m128i lo = zero, hi = zero;
    for (int i = 0; i < 4; ++i) {
      const __m128i p = Load(add[i] + j);
      const __m128i q = Load(sub[i] + j);
      lo = _mm_sub_epi16(_mm_add_epi16(lo, _mm_unpacklo_epi8(p, zero)), _mm_unpacklo_epi8(q, zero));
      hi = _mm_sub_epi16(_mm_add_epi16(hi, _mm_unpackhi_epi8(p, zero)), _mm_unpackhi_epi8(q, zero));
    }
    const __m128i d[4] = {_mm_srai_epi32(_mm_unpacklo_epi16(lo, lo), 16),
                          _mm_srai_epi32(_mm_unpackhi_epi16(lo, lo), 16),
                          _mm_srai_epi32(_mm_unpacklo_epi16(hi, hi), 16),
                          _mm_srai_epi32(_mm_unpackhi_epi16(hi, hi), 16)};
    __m128i s[4];
    for (int k = 0; k < 4; ++k) {
      s[k] = _mm_add_epi32(Load(t + j + 4 * k), d[k]);
      Store(t + j + 4 * k, s[k]);
    }
    if (out != nullptr) {
      const __m128i w0 = _mm_packs_epi32(MulHigh(s[0], m), MulHigh(s[1], m));
      const __m128i w1 = _mm_packs_epi32(MulHigh(s[2], m), MulHigh(s[3], m));
      Store(out + j, _mm_packus_epi16(w0, w1));
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
  const __m128i zero = _mm_setzero_si128();
  const __m128i k = _mm_set1_epi32(
      static_cast<int>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(kb)) << 16) |
                       static_cast<std::uint16_t>(ka)));
  int j = 0;
  for (; j + 16 <= n; j += 16) {
    const __m128i p = Load(a + j), q = Load(b + j);
    const __m128i pl = _mm_unpacklo_epi8(p, zero), ph = _mm_unpackhi_epi8(p, zero);
    const __m128i ql = _mm_unpacklo_epi8(q, zero), qh = _mm_unpackhi_epi8(q, zero);
    const __m128i m[4] = {_mm_madd_epi16(_mm_unpacklo_epi16(pl, ql), k),
                          _mm_madd_epi16(_mm_unpackhi_epi16(pl, ql), k),
                          _mm_madd_epi16(_mm_unpacklo_epi16(ph, qh), k),
                          _mm_madd_epi16(_mm_unpackhi_epi16(ph, qh), k)};
    for (int i = 0; i < 4; ++i) Store(acc + j + 4 * i, _mm_add_epi32(Load(acc + j + 4 * i), m[i]));
  }
  if (j < n) rows::MacRow2(acc + j, a + j, ka, b + j, kb, n - j);
}

void FixedOut(std::uint8_t* out, const std::int32_t* acc, int n) {
  const __m128i bias = _mm_set1_epi32(1024);
  int j = 0;
  for (; j + 16 <= n; j += 16) {
    __m128i v[4];
    for (int i = 0; i < 4; ++i)
      v[i] = _mm_srai_epi32(_mm_add_epi32(Load(acc + j + 4 * i), bias), 11);
    Store(out + j, _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3])));
  }
  if (j < n) rows::FixedOut(out + j, acc + j, n - j);
}

}  // namespace brenmark::conv::sse2
