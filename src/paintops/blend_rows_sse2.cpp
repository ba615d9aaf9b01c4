// SSE2 versions of the hot blending rows, four pixels per step. Each row
// matches its scalar reference in blend_rows.cpp bit for bit; the tail of a
// row (fewer than four pixels) runs the reference itself.
//
// Four pixels widen to two registers of eight 16-bit lanes (two pixels
// each). Every product below fits 16 bits: channel (<= 255) times factor
// (<= 256) is at most 65280.
#include <emmintrin.h>

#include <cstring>

#include "paintops/blend_kernels_p.h"
#include "paintops/blend_rows.h"

namespace brenmark::sse2 {
namespace {

inline __m128i Load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void Store(void* p, __m128i v) {
  _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

inline std::uint32_t Load4Bytes(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Four factor bytes, each repeated over the four 16-bit lanes of its pixel:
// *lo for pixels 0 and 1, *hi for pixels 2 and 3.
inline void FactorLanes(std::uint32_t bytes, __m128i* lo, __m128i* hi) {
  const __m128i zero = _mm_setzero_si128();
  __m128i c = _mm_cvtsi32_si128(static_cast<int>(bytes));
  c = _mm_unpacklo_epi8(c, c);
  c = _mm_unpacklo_epi16(c, c);
  *lo = _mm_unpacklo_epi8(c, zero);
  *hi = _mm_unpackhi_epi8(c, zero);
}

// A 32-bit value per pixel (at most 16 bits used) repeated over the pixel's lanes.
inline void PixelLanes(__m128i v32, __m128i* lo, __m128i* hi) {
  const __m128i v16 = _mm_or_si128(v32, _mm_slli_epi32(v32, 16));
  *lo = _mm_unpacklo_epi32(v16, v16);
  *hi = _mm_unpackhi_epi32(v16, v16);
}

// (x * f) >> 8 on 16-bit lanes.
inline __m128i MulShift(__m128i x, __m128i f) {
  return _mm_srli_epi16(_mm_mullo_epi16(x, f), 8);
}

// mask ? a : b, bitwise.
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Four pixels scaled channel-wise by per-pixel factors (lanes from FactorLanes/PixelLanes).
inline __m128i ScaleLanes(__m128i d, __m128i flo, __m128i fhi) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_packus_epi16(MulShift(_mm_unpacklo_epi8(d, zero), flo),
                          MulShift(_mm_unpackhi_epi8(d, zero), fhi));
}

// (d * (256 - a) + s * a + dither) >> 8 on the 16-bit lanes of two pixels.
inline __m128i BrushLanes(__m128i d16, __m128i s16, __m128i a16, __m128i dither16) {
  const __m128i ia = _mm_sub_epi16(_mm_set1_epi16(256), a16);
  const __m128i sum =
      _mm_adds_epu16(_mm_adds_epu16(_mm_mullo_epi16(d16, ia), _mm_mullo_epi16(s16, a16)), dither16);
  return _mm_srli_epi16(sum, 8);
}

}  // namespace

void CopyMasked(std::uint32_t* d, const std::uint32_t* s, int n, std::uint32_t mask) {
  const __m128i m = _mm_set1_epi32(static_cast<int>(mask));
  int i = 0;
  for (; i + 4 <= n; i += 4) Store(d + i, Select(m, Load(s + i), Load(d + i)));
  rows::CopyMasked(d + i, s + i, n - i, mask);
}

namespace {

// Premultiplied over of four pixels, without shortcuts. With `skip_zero`,
// zero-alpha source pixels are left out even when their colour is not zero.
inline __m128i OverPixels(__m128i dv, __m128i sv, bool skip_zero) {
  const __m128i a = _mm_srli_epi32(sv, 24);
  __m128i flo;
  __m128i fhi;
  PixelLanes(_mm_sub_epi32(_mm_set1_epi32(256), a), &flo, &fhi);
  const __m128i out = _mm_adds_epu8(ScaleLanes(dv, flo, fhi), sv);
  return skip_zero ? Select(_mm_cmpeq_epi32(a, _mm_setzero_si128()), dv, out) : out;
}

}  // namespace

void Over(std::uint32_t* d, const std::uint32_t* s, int n) {
  const __m128i alpha_bits = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i s0 = Load(s + i);
    const __m128i s1 = Load(s + i + 4);
    const __m128i a0 = _mm_and_si128(s0, alpha_bits);
    const __m128i a1 = _mm_and_si128(s1, alpha_bits);
    const __m128i zero = _mm_setzero_si128();
    // All eight transparent: nothing to do; all eight opaque: the source
    // replaces (d * 1 >> 8 is 0).
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(a0, a1), zero)) == 0xFFFF) continue;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(a0, a1), alpha_bits)) == 0xFFFF) {
      Store(d + i, s0);
      Store(d + i + 4, s1);
      continue;
    }
    const int z0 = _mm_movemask_epi8(_mm_cmpeq_epi32(a0, zero));
    const int z1 = _mm_movemask_epi8(_mm_cmpeq_epi32(a1, zero));
    Store(d + i, OverPixels(Load(d + i), s0, z0 != 0));
    Store(d + i + 4, OverPixels(Load(d + i + 4), s1, z1 != 0));
  }
  for (; i + 4 <= n; i += 4) Store(d + i, OverPixels(Load(d + i), Load(s + i), true));
  rows::Over(d + i, s + i, n - i);
}

void OverConst(std::uint32_t* d, std::uint32_t s, int n) {
  const std::uint32_t a = s >> 24;
  if (a == 0) return;
  const __m128i f = _mm_set1_epi16(static_cast<short>(256 - a));
  const __m128i sv = _mm_set1_epi32(static_cast<int>(s));
  int i = 0;
  for (; i + 4 <= n; i += 4) Store(d + i, _mm_adds_epu8(ScaleLanes(Load(d + i), f, f), sv));
  rows::OverConst(d + i, s, n - i);
}

void BrushConst(std::uint32_t* d, std::uint32_t s, const std::uint8_t* cov, int n,
                std::uint8_t dither) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i s16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(s)), zero);
  const __m128i dither16 = _mm_set1_epi16(dither);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const std::uint32_t c4 = Load4Bytes(cov + i);
    if (c4 == 0) continue;
    __m128i alo;
    __m128i ahi;
    FactorLanes(c4, &alo, &ahi);
    const __m128i dv = Load(d + i);
    const __m128i lo = BrushLanes(_mm_unpacklo_epi8(dv, zero), s16, alo, dither16);
    const __m128i hi = BrushLanes(_mm_unpackhi_epi8(dv, zero), s16, ahi, dither16);
    Store(d + i, _mm_packus_epi16(lo, hi));
  }
  rows::BrushConst(d + i, s, cov + i, n - i, dither);
}

void Brush(std::uint32_t* d, const std::uint32_t* s, const std::uint8_t* cov, int n,
           std::uint8_t dither) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i dither16 = _mm_set1_epi16(dither);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const std::uint32_t c4 = Load4Bytes(cov + i);
    if (c4 == 0) continue;
    __m128i alo;
    __m128i ahi;
    FactorLanes(c4, &alo, &ahi);
    const __m128i dv = Load(d + i);
    const __m128i sv = Load(s + i);
    const __m128i lo =
        BrushLanes(_mm_unpacklo_epi8(dv, zero), _mm_unpacklo_epi8(sv, zero), alo, dither16);
    const __m128i hi =
        BrushLanes(_mm_unpackhi_epi8(dv, zero), _mm_unpackhi_epi8(sv, zero), ahi, dither16);
    Store(d + i, _mm_packus_epi16(lo, hi));
  }
  rows::Brush(d + i, s + i, cov + i, n - i, dither);
}

namespace {

// The 16-bit brush blend on two pixels (see rows::Brush16Const): updates the
// high bytes *d16 and low bits *l16 where the coverage lanes are non-zero.
inline void Brush16Lanes(__m128i* d16, __m128i* l16, __m128i a16, __m128i k16, __m128i s7,
                         __m128i dd) {
  const __m128i f = _mm_srli_epi16(_mm_mullo_epi16(a16, k16), 1);
  const __m128i cur = _mm_or_si128(_mm_slli_epi16(*d16, 7), *l16);
  __m128i v = _mm_slli_epi16(_mm_mulhi_epu16(cur, _mm_sub_epi16(_mm_set1_epi16(32767), f)), 2);
  v = _mm_adds_epu16(v, dd);
  v = _mm_adds_epu16(v, _mm_slli_epi16(_mm_mulhi_epu16(s7, f), 2));
  const __m128i keep = _mm_cmpeq_epi16(a16, _mm_setzero_si128());
  *d16 = Select(keep, *d16, _mm_srli_epi16(v, 8));
  *l16 = Select(keep, *l16, _mm_srli_epi16(_mm_and_si128(v, _mm_set1_epi16(0xFF)), 1));
}

}  // namespace

void Brush16Const(std::uint32_t* d, std::uint32_t* low, std::uint32_t s, const std::uint8_t* cov,
                  int n, int k, std::uint8_t dither) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i s7 =
      _mm_slli_epi16(_mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(s)), zero), 7);
  const __m128i k16 = _mm_set1_epi16(static_cast<short>(k));
  const __m128i dd = _mm_set1_epi16(static_cast<short>(dither >> 6));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const std::uint32_t c4 = Load4Bytes(cov + i);
    if (c4 == 0) continue;
    __m128i alo;
    __m128i ahi;
    FactorLanes(c4, &alo, &ahi);
    const __m128i dv = Load(d + i);
    const __m128i lv = Load(low + i);
    __m128i dlo = _mm_unpacklo_epi8(dv, zero);
    __m128i dhi = _mm_unpackhi_epi8(dv, zero);
    __m128i llo = _mm_unpacklo_epi8(lv, zero);
    __m128i lhi = _mm_unpackhi_epi8(lv, zero);
    Brush16Lanes(&dlo, &llo, alo, k16, s7, dd);
    Brush16Lanes(&dhi, &lhi, ahi, k16, s7, dd);
    Store(d + i, _mm_packus_epi16(dlo, dhi));
    Store(low + i, _mm_packus_epi16(llo, lhi));
  }
  rows::Brush16Const(d + i, low + i, s, cov + i, n - i, k, dither);
}

void EraseByRow(std::uint32_t* d, const std::uint8_t* m, int n) {
  const __m128i c256 = _mm_set1_epi16(256);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const std::uint32_t m4 = Load4Bytes(m + i);
    if (m4 == 0) continue;
    __m128i lo;
    __m128i hi;
    FactorLanes(m4, &lo, &hi);
    Store(d + i, ScaleLanes(Load(d + i), _mm_sub_epi16(c256, lo), _mm_sub_epi16(c256, hi)));
  }
  rows::EraseByRow(d + i, m + i, n - i);
}

void KeepByRow(std::uint32_t* d, const std::uint8_t* m, int n) {
  const __m128i c255 = _mm_set1_epi16(255);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const std::uint32_t m4 = Load4Bytes(m + i);
    if (m4 == 0xFFFFFFFFu) continue;
    __m128i lo;
    __m128i hi;
    FactorLanes(m4, &lo, &hi);
    // m = 255 becomes 256, which leaves the channel as it is
    lo = _mm_sub_epi16(lo, _mm_cmpeq_epi16(lo, c255));
    hi = _mm_sub_epi16(hi, _mm_cmpeq_epi16(hi, c255));
    Store(d + i, ScaleLanes(Load(d + i), lo, hi));
  }
  rows::KeepByRow(d + i, m + i, n - i);
}

void Multiply(std::uint32_t* d, const std::uint32_t* s, int n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi32(-1);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i sv = Load(s + i);
    const __m128i keep = _mm_cmpeq_epi32(sv, ones);
    if (_mm_movemask_epi8(keep) == 0xFFFF) continue;
    const __m128i dv = Load(d + i);
    const __m128i out =
        _mm_packus_epi16(MulShift(_mm_unpacklo_epi8(dv, zero), _mm_unpacklo_epi8(sv, zero)),
                         MulShift(_mm_unpackhi_epi8(dv, zero), _mm_unpackhi_epi8(sv, zero)));
    Store(d + i, Select(keep, dv, out));
  }
  rows::Multiply(d + i, s + i, n - i);
}

void ScaleConst(std::uint32_t* d, std::uint32_t f, int n) {
  const __m128i f16 = _mm_set1_epi16(static_cast<short>(f));
  int i = 0;
  for (; i + 4 <= n; i += 4) Store(d + i, ScaleLanes(Load(d + i), f16, f16));
  rows::ScaleConst(d + i, f, n - i);
}

}  // namespace brenmark::sse2
