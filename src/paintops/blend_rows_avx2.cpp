// AVX2 versions of the hot blending rows, eight pixels per step. Each row
// matches its scalar reference in blend_rows.cpp bit for bit. The tail of a
// row (fewer than eight pixels) runs the same step on masked loads and
// stores for Over and the brush rows, whose rows are short (a dab, a
// display update) so that the tail is a large part of them; the others run
// the reference.
//
// Widening works per 128-bit half: of eight pixels p0..p7, the "lo" register
// holds p0 p1 | p4 p5 and the "hi" register p2 p3 | p6 p7 as 16-bit lanes.
// Per-pixel factors are laid out the same way with a byte shuffle.
#include <immintrin.h>

#include <cstring>

#include "paintops/blend_kernels_p.h"
#include "paintops/blend_rows.h"

namespace brenmark::avx2 {
namespace {

inline __m256i Load(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
inline void Store(void* p, __m256i v) {
  _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}

inline std::uint64_t Load8Bytes(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Eight factor bytes, each repeated over the four 16-bit lanes of its pixel,
// in the lo/hi layout above.
inline void FactorLanes(std::uint64_t bytes, __m256i* lo, __m256i* hi) {
  const __m256i b = _mm256_set1_epi64x(static_cast<long long>(bytes));
  const __m256i lo_idx =
      _mm256_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 1, -1, 1, -1, 1, -1, 1, -1,  //
                       4, -1, 4, -1, 4, -1, 4, -1, 5, -1, 5, -1, 5, -1, 5, -1);
  const __m256i hi_idx =
      _mm256_setr_epi8(2, -1, 2, -1, 2, -1, 2, -1, 3, -1, 3, -1, 3, -1, 3, -1,  //
                       6, -1, 6, -1, 6, -1, 6, -1, 7, -1, 7, -1, 7, -1, 7, -1);
  *lo = _mm256_shuffle_epi8(b, lo_idx);
  *hi = _mm256_shuffle_epi8(b, hi_idx);
}

// A 32-bit value per pixel (at most 16 bits used) repeated over the pixel's lanes.
inline void PixelLanes(__m256i v32, __m256i* lo, __m256i* hi) {
  const __m256i v16 = _mm256_or_si256(v32, _mm256_slli_epi32(v32, 16));
  *lo = _mm256_unpacklo_epi32(v16, v16);
  *hi = _mm256_unpackhi_epi32(v16, v16);
}

inline __m256i MulShift(__m256i x, __m256i f) {
  return _mm256_srli_epi16(_mm256_mullo_epi16(x, f), 8);
}

inline __m256i Select(__m256i mask, __m256i a, __m256i b) {
  return _mm256_blendv_epi8(b, a, mask);
}

inline __m256i ScaleLanes(__m256i d, __m256i flo, __m256i fhi) {
  const __m256i zero = _mm256_setzero_si256();
  return _mm256_packus_epi16(MulShift(_mm256_unpacklo_epi8(d, zero), flo),
                             MulShift(_mm256_unpackhi_epi8(d, zero), fhi));
}

inline __m256i BrushLanes(__m256i d16, __m256i s16, __m256i a16, __m256i dither16) {
  const __m256i ia = _mm256_sub_epi16(_mm256_set1_epi16(256), a16);
  const __m256i sum = _mm256_adds_epu16(
      _mm256_adds_epu16(_mm256_mullo_epi16(d16, ia), _mm256_mullo_epi16(s16, a16)), dither16);
  return _mm256_srli_epi16(sum, 8);
}

// Lanes below `n` (0 to 8) set.
inline __m256i TailMask(int n) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}
inline __m256i LoadTail(const std::uint32_t* p, __m256i mask) {
  return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), mask);
}
inline void StoreTail(std::uint32_t* p, __m256i mask, __m256i v) {
  _mm256_maskstore_epi32(reinterpret_cast<int*>(p), mask, v);
}
// The first `n` (below 8) coverage bytes, the rest zero.
inline std::uint64_t LoadTailBytes(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  std::memcpy(&v, p, static_cast<std::size_t>(n));
  return v;
}

inline bool AllSet(__m256i mask) {
  return _mm256_movemask_epi8(mask) == -1;
}

}  // namespace

void CopyMasked(std::uint32_t* d, const std::uint32_t* s, int n, std::uint32_t mask) {
  const __m256i m = _mm256_set1_epi32(static_cast<int>(mask));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i dv = Load(d + i);
    Store(d + i, _mm256_or_si256(_mm256_and_si256(m, Load(s + i)), _mm256_andnot_si256(m, dv)));
  }
  rows::CopyMasked(d + i, s + i, n - i, mask);
}

namespace {
// No early outs: where transparent and opaque groups alternate they cost
// more in mispredicted branches than the blend they skip, and the blend
// gives the same pixels (an opaque source scales d by 1 >> 8 = 0; a
// transparent one is selected away).
inline __m256i OverLanes(__m256i dv, __m256i sv) {
  const __m256i a = _mm256_srli_epi32(sv, 24);
  const __m256i transparent = _mm256_cmpeq_epi32(a, _mm256_setzero_si256());
  __m256i flo;
  __m256i fhi;
  PixelLanes(_mm256_sub_epi32(_mm256_set1_epi32(256), a), &flo, &fhi);
  return Select(transparent, dv, _mm256_adds_epu8(ScaleLanes(dv, flo, fhi), sv));
}
}  // namespace

void Over(std::uint32_t* d, const std::uint32_t* s, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) Store(d + i, OverLanes(Load(d + i), Load(s + i)));
  if (i < n) {
    // Lanes past the row load as transparent sources and are not stored.
    const __m256i m = TailMask(n - i);
    StoreTail(d + i, m, OverLanes(LoadTail(d + i, m), LoadTail(s + i, m)));
  }
}

void OverConst(std::uint32_t* d, std::uint32_t s, int n) {
  const std::uint32_t a = s >> 24;
  if (a == 0) return;
  const __m256i f = _mm256_set1_epi16(static_cast<short>(256 - a));
  const __m256i sv = _mm256_set1_epi32(static_cast<int>(s));
  int i = 0;
  for (; i + 8 <= n; i += 8) Store(d + i, _mm256_adds_epu8(ScaleLanes(Load(d + i), f, f), sv));
  rows::OverConst(d + i, s, n - i);
}

namespace {
// Eight brush pixels; a pixel of coverage 0 comes out unchanged
// ((d x 256 + dither) >> 8 = d), as the reference leaves it.
inline __m256i BrushPixels(__m256i dv, __m256i sv, std::uint64_t c8, __m256i dither16) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i alo;
  __m256i ahi;
  FactorLanes(c8, &alo, &ahi);
  const __m256i lo =
      BrushLanes(_mm256_unpacklo_epi8(dv, zero), _mm256_unpacklo_epi8(sv, zero), alo, dither16);
  const __m256i hi =
      BrushLanes(_mm256_unpackhi_epi8(dv, zero), _mm256_unpackhi_epi8(sv, zero), ahi, dither16);
  return _mm256_packus_epi16(lo, hi);
}
}  // namespace

void BrushConst(std::uint32_t* d, std::uint32_t s, const std::uint8_t* cov, int n,
                std::uint8_t dither) {
  const __m256i sv = _mm256_set1_epi32(static_cast<int>(s));
  const __m256i dither16 = _mm256_set1_epi16(dither);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t c8 = Load8Bytes(cov + i);
    if (c8 != 0) Store(d + i, BrushPixels(Load(d + i), sv, c8, dither16));
  }
  if (i < n) {
    const std::uint64_t c8 = LoadTailBytes(cov + i, n - i);
    if (c8 == 0) return;
    const __m256i m = TailMask(n - i);
    StoreTail(d + i, m, BrushPixels(LoadTail(d + i, m), sv, c8, dither16));
  }
}

void Brush(std::uint32_t* d, const std::uint32_t* s, const std::uint8_t* cov, int n,
           std::uint8_t dither) {
  const __m256i dither16 = _mm256_set1_epi16(dither);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t c8 = Load8Bytes(cov + i);
    if (c8 != 0) Store(d + i, BrushPixels(Load(d + i), Load(s + i), c8, dither16));
  }
  if (i < n) {
    const std::uint64_t c8 = LoadTailBytes(cov + i, n - i);
    if (c8 == 0) return;
    const __m256i m = TailMask(n - i);
    StoreTail(d + i, m, BrushPixels(LoadTail(d + i, m), LoadTail(s + i, m), c8, dither16));
  }
}

namespace {

// The 16-bit brush blend on the lanes of four pixels (see rows::Brush16Const).
inline void Brush16Lanes(__m256i* d16, __m256i* l16, __m256i a16, __m256i k16, __m256i s7,
                         __m256i dd) {
  const __m256i f = _mm256_srli_epi16(_mm256_mullo_epi16(a16, k16), 1);
  const __m256i cur = _mm256_or_si256(_mm256_slli_epi16(*d16, 7), *l16);
  __m256i v =
      _mm256_slli_epi16(_mm256_mulhi_epu16(cur, _mm256_sub_epi16(_mm256_set1_epi16(32767), f)), 2);
  v = _mm256_adds_epu16(v, dd);
  v = _mm256_adds_epu16(v, _mm256_slli_epi16(_mm256_mulhi_epu16(s7, f), 2));
  const __m256i keep = _mm256_cmpeq_epi16(a16, _mm256_setzero_si256());
  *d16 = Select(keep, *d16, _mm256_srli_epi16(v, 8));
  *l16 = Select(keep, *l16, _mm256_srli_epi16(_mm256_and_si256(v, _mm256_set1_epi16(0xFF)), 1));
}

}  // namespace

void Brush16Const(std::uint32_t* d, std::uint32_t* low, std::uint32_t s, const std::uint8_t* cov,
                  int n, int k, std::uint8_t dither) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i s7 =
      _mm256_slli_epi16(_mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(s)), zero), 7);
  const __m256i k16 = _mm256_set1_epi16(static_cast<short>(k));
  const __m256i dd = _mm256_set1_epi16(static_cast<short>(dither >> 6));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t c8 = Load8Bytes(cov + i);
    if (c8 == 0) continue;
    __m256i alo;
    __m256i ahi;
    FactorLanes(c8, &alo, &ahi);
    const __m256i dv = Load(d + i);
    const __m256i lv = Load(low + i);
    __m256i dlo = _mm256_unpacklo_epi8(dv, zero);
    __m256i dhi = _mm256_unpackhi_epi8(dv, zero);
    __m256i llo = _mm256_unpacklo_epi8(lv, zero);
    __m256i lhi = _mm256_unpackhi_epi8(lv, zero);
    Brush16Lanes(&dlo, &llo, alo, k16, s7, dd);
    Brush16Lanes(&dhi, &lhi, ahi, k16, s7, dd);
    Store(d + i, _mm256_packus_epi16(dlo, dhi));
    Store(low + i, _mm256_packus_epi16(llo, lhi));
  }
  rows::Brush16Const(d + i, low + i, s, cov + i, n - i, k, dither);
}

void EraseByRow(std::uint32_t* d, const std::uint8_t* m, int n) {
  const __m256i c256 = _mm256_set1_epi16(256);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t m8 = Load8Bytes(m + i);
    if (m8 == 0) continue;
    __m256i lo;
    __m256i hi;
    FactorLanes(m8, &lo, &hi);
    Store(d + i, ScaleLanes(Load(d + i), _mm256_sub_epi16(c256, lo), _mm256_sub_epi16(c256, hi)));
  }
  rows::EraseByRow(d + i, m + i, n - i);
}

void KeepByRow(std::uint32_t* d, const std::uint8_t* m, int n) {
  const __m256i c255 = _mm256_set1_epi16(255);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t m8 = Load8Bytes(m + i);
    if (m8 == ~std::uint64_t{0}) continue;
    __m256i lo;
    __m256i hi;
    FactorLanes(m8, &lo, &hi);
    // m = 255 becomes 256, which leaves the channel as it is
    lo = _mm256_sub_epi16(lo, _mm256_cmpeq_epi16(lo, c255));
    hi = _mm256_sub_epi16(hi, _mm256_cmpeq_epi16(hi, c255));
    Store(d + i, ScaleLanes(Load(d + i), lo, hi));
  }
  rows::KeepByRow(d + i, m + i, n - i);
}

void Multiply(std::uint32_t* d, const std::uint32_t* s, int n) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_set1_epi32(-1);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i sv = Load(s + i);
    const __m256i keep = _mm256_cmpeq_epi32(sv, ones);
    if (AllSet(keep)) continue;
    const __m256i dv = Load(d + i);
    const __m256i out = _mm256_packus_epi16(
        MulShift(_mm256_unpacklo_epi8(dv, zero), _mm256_unpacklo_epi8(sv, zero)),
        MulShift(_mm256_unpackhi_epi8(dv, zero), _mm256_unpackhi_epi8(sv, zero)));
    Store(d + i, Select(keep, dv, out));
  }
  rows::Multiply(d + i, s + i, n - i);
}

void ScaleConst(std::uint32_t* d, std::uint32_t f, int n) {
  const __m256i f16 = _mm256_set1_epi16(static_cast<short>(f));
  int i = 0;
  for (; i + 8 <= n; i += 8) Store(d + i, ScaleLanes(Load(d + i), f16, f16));
  rows::ScaleConst(d + i, f, n - i);
}

}  // namespace brenmark::avx2
