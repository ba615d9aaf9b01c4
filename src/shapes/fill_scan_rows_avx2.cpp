// AVX2 row kernels of the fill scan conversion, bit-exact with
// shapes::scalar: column means 32 pixels per step, one-span pixels eight per
// step, runs of one value in 32-byte stores. The running sum keeps the SSE2
// kernel (its carry between steps gains nothing from wider ones).
#include <immintrin.h>

#include <algorithm>
#include <cstring>

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

namespace {

// SpanValueAt in eight lanes: 255 strictly between i and j, first at i,
// last at j (i before j where they are the same pixel), else 0.
inline __m256i Values8(__m256i x, __m256i i, __m256i j, __m256i first, __m256i last) {
  const __m256i inside = _mm256_and_si256(_mm256_cmpgt_epi32(x, i), _mm256_cmpgt_epi32(j, x));
  const __m256i v = _mm256_blendv_epi8(_mm256_and_si256(inside, _mm256_set1_epi32(255)), last,
                                       _mm256_cmpeq_epi32(x, j));
  return _mm256_blendv_epi8(v, first, _mm256_cmpeq_epi32(x, i));
}

// Column x's vertical sub-lines at row y, summed, for the eight columns from x.
inline __m256i ColumnSums8(const SpanRow& r, int x, __m256i y) {
  const SpanLines &e = r.even, &o = r.odd;
  const __m256i a = Values8(y, Load(e.i + x), Load(e.j + x), Load(e.first + x), Load(e.last + x));
  const __m256i b = Values8(y, Load(o.i + x), Load(o.j + x), Load(o.first + x), Load(o.last + x));
  const __m256i c =
      Values8(y, Load(e.i + x + 1), Load(e.j + x + 1), Load(e.first + x + 1), Load(e.last + x + 1));
  return _mm256_add_epi32(_mm256_add_epi32(a, b), c);
}

// The eight pixels from x, as bytes in the low half.
__m128i SpanEight(const SpanRow& r, int x) {
  const __m256i xs =
      _mm256_add_epi32(_mm256_set1_epi32(x), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  __m256i h = _mm256_setzero_si256();
  for (int k = 0; k < 3; ++k) {
    h = _mm256_add_epi32(h, Values8(xs, _mm256_set1_epi32(r.i[k]), _mm256_set1_epi32(r.j[k]),
                                    _mm256_set1_epi32(r.first[k]), _mm256_set1_epi32(r.last[k])));
  }
  const __m256i v = ColumnSums8(r, x, _mm256_set1_epi32(r.y));
  // Both sums to 16 bits (at most 765): h in the low half, v in the high.
  const __m128i third = _mm_set1_epi16(21846);
  const __m256i hv = _mm256_permute4x64_epi64(_mm256_packs_epi32(h, v), 0xD8);
  const __m128i h16 = _mm_mulhi_epu16(_mm256_castsi256_si128(hv), third);
  const __m128i v16 = _mm_mulhi_epu16(_mm256_extracti128_si256(hv, 1), third);
  const __m128i m = _mm_srli_epi16(_mm_add_epi16(h16, v16), 1);
  return _mm_packus_epi16(m, m);
}

}  // namespace

void SpanPixels(std::uint8_t* d, int x0, int n, int room, const SpanRow& r) {
  // The last step of a run that is not a whole number of steps is made in
  // full, and stored in full where there is room.
  int x = x0;
  const int end = x0 + n;
  for (; x + 8 <= end; x += 8) _mm_storel_epi64(reinterpret_cast<__m128i*>(d + x), SpanEight(r, x));
  if (x == end) return;
  const __m128i last = SpanEight(r, x);
  if (x + 8 <= room) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + x), last);
    return;
  }
  std::uint64_t bytes = static_cast<std::uint64_t>(_mm_cvtsi128_si64(last));
  std::uint8_t* p = d + x;
  const int left = end - x;
  if (left & 4) {
    const auto four = static_cast<std::uint32_t>(bytes);
    std::memcpy(p, &four, 4);
    p += 4;
    bytes >>= 32;
  }
  if (left & 2) {
    const auto two = static_cast<std::uint16_t>(bytes);
    std::memcpy(p, &two, 2);
    p += 2;
    bytes >>= 16;
  }
  if (left & 1) *p = static_cast<std::uint8_t>(bytes);
}

namespace {

// n bytes of `value` from p, without a call.
inline void Fill(std::uint8_t* p, int n, std::uint8_t value) {
  if (n >= 32) {
    const __m256i v = _mm256_set1_epi8(static_cast<char>(value));
    for (int k = 0; k + 32 < n; k += 32) Store(p + k, v);
    Store(p + n - 32, v);
  } else if (n >= 16) {
    const __m128i v = _mm_set1_epi8(static_cast<char>(value));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + n - 16), v);
  } else if (n >= 8) {
    const std::uint64_t eight = 0x0101010101010101ull * value;
    std::memcpy(p, &eight, 8);
    std::memcpy(p + n - 8, &eight, 8);
  } else {
    for (int k = 0; k < n; ++k) p[k] = value;
  }
}

}  // namespace

void SpanRowCells(const RowCell* cells, int count, const RowLayout& l, const SpanRow& row) {
  WriteRowCells(cells, count, l, Fill,
                [&](std::uint8_t* d, int x0, int n, int room) { SpanPixels(d, x0, n, room, row); });
}

}  // namespace brenmark::shapes::avx2
