// AVX2 convolution rows: the row pass two neighbouring pixels per step
// through the row's prefix sums, the column pass and the kernel rows 32 bytes per step;
// tails run the scalar references. Exact integer arithmetic as the SSE2
// rows, so every result equals the reference's bit for bit.
#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

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
// Lanes t * m >> 32 (unsigned).
inline __m256i MulHigh(__m256i t, __m256i m) {
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(t, m), 32);
  const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(t, 32), m);
  return _mm256_blend_epi32(even, odd, 0xAA);
}

// Row pass through prefix sums: with P(k) the per-channel sum of the row's
// pixels 0..k (0 before the row, the row's total after it),
// T(x) = sum_i P(x + r_i) - P(x - 1 - r_i), two neighbouring pixels per
// register. `a` needs no padding here.
void BoxRow4(const std::uint8_t* a, std::uint8_t* out, int w, const BoxRadii& radii,
             const std::uint32_t* recip, std::int32_t* prefix) {
  const int r3 = radii.r[3];
  std::int32_t* p = prefix + (r3 + 1) * 4;  // p[k * 4 + c] = P(k), k from -(r3 + 1)
  std::memset(prefix, 0, sizeof(std::int32_t) * 4 * (r3 + 1));
  __m128i run = _mm_setzero_si128();
  for (int x = 0; x < w; ++x) {
    run = _mm_add_epi32(run, _mm_cvtepu8_epi32(Pixel(a + x * 4)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x * 4), run);
  }
  for (int x = w; x < w + r3; ++x) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x * 4), run);
  int addOff[4], subOff[4];
  for (int i = 0; i < 4; ++i) {
    addOff[i] = radii.r[i] * 4;
    subOff[i] = (-1 - radii.r[i]) * 4;
  }
  const __m256i spread = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  const __m256i gather = _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0);
  int x = 0;
  for (; x + 2 <= w; x += 2) {
    const std::int32_t* q = p + x * 4;
    __m256i t = _mm256_sub_epi32(Load(q + addOff[0]), Load(q + subOff[0]));
    for (int i = 1; i < 4; ++i) {
      t = _mm256_add_epi32(t, _mm256_sub_epi32(Load(q + addOff[i]), Load(q + subOff[i])));
    }
    const __m256i m = _mm256_permutevar8x32_epi32(
        _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(recip + x))),
        spread);
    __m256i v = MulHigh(t, m);
    v = _mm256_packs_epi32(v, v);
    v = _mm256_packus_epi16(v, v);  // pixel x in dword 0, pixel x + 1 in dword 4
    v = _mm256_permutevar8x32_epi32(v, gather);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x * 4), _mm256_castsi256_si128(v));
  }
  for (; x < w; ++x) {
    for (int c = 0; c < 4; ++c) {
      std::int32_t t = 0;
      for (int i = 0; i < 4; ++i) t += p[x * 4 + addOff[i] + c] - p[x * 4 + subOff[i] + c];
      out[x * 4 + c] = DivideByWeight(static_cast<std::uint32_t>(t), recip[x]);
    }
  }
}

// The same in 16-bit lanes, four pixels per step, when every weight total
// is at most 257: T(x) <= 255 x 257 < 2^16, so prefix sums kept modulo 2^16
// still give every difference, and so T, exactly.
void BoxRow4Narrow(const std::uint8_t* a, std::uint8_t* out, int w, const BoxRadii& radii,
                   const std::uint32_t* recip, std::uint16_t* prefix) {
  const int r3 = radii.r[3];
  std::uint16_t* p = prefix + (r3 + 1) * 4;
  std::memset(prefix, 0, sizeof(std::uint16_t) * 4 * (r3 + 1));
  const __m128i zero = _mm_setzero_si128();
  __m128i run = zero;
  for (int x = 0; x < w; ++x) {
    run = _mm_add_epi16(run, _mm_unpacklo_epi8(Pixel(a + x * 4), zero));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + x * 4), run);
  }
  for (int x = w; x < w + r3; ++x) _mm_storel_epi64(reinterpret_cast<__m128i*>(p + x * 4), run);
  int addOff[4], subOff[4];
  for (int i = 0; i < 4; ++i) {
    addOff[i] = radii.r[i] * 4;
    subOff[i] = (-1 - radii.r[i]) * 4;
  }
  const __m256i spread = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0);
  auto recipPair = [&](int x) {
    return _mm256_permutevar8x32_epi32(
        _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(recip + x))),
        spread);
  };
  int x = 0;
  for (; x + 4 <= w; x += 4) {
    const std::uint16_t* q = p + x * 4;
    __m256i t = _mm256_sub_epi16(Load(q + addOff[0]), Load(q + subOff[0]));
    for (int i = 1; i < 4; ++i) {
      t = _mm256_add_epi16(t, _mm256_sub_epi16(Load(q + addOff[i]), Load(q + subOff[i])));
    }
    const __m256i v0 = MulHigh(_mm256_cvtepu16_epi32(_mm256_castsi256_si128(t)), recipPair(x));
    const __m256i v1 =
        MulHigh(_mm256_cvtepu16_epi32(_mm256_extracti128_si256(t, 1)), recipPair(x + 2));
    __m256i b = _mm256_packs_epi32(v0, v1);  // lane 0: pixels x, x + 2; lane 1: x + 1, x + 3
    b = _mm256_packus_epi16(b, b);
    b = _mm256_permutevar8x32_epi32(b, order);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * 4), _mm256_castsi256_si128(b));
  }
  for (; x < w; ++x) {
    for (int c = 0; c < 4; ++c) {
      std::uint16_t t = 0;
      for (int i = 0; i < 4; ++i) {
        t = static_cast<std::uint16_t>(t + p[x * 4 + addOff[i] + c] - p[x * 4 + subOff[i] + c]);
      }
      out[x * 4 + c] = DivideByWeight(t, recip[x]);
    }
  }
}

}  // namespace

void BoxRows4(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* outA, std::uint8_t* outB,
              int w, const BoxRadii& radii, const std::uint32_t* recip) {
  // Scratch kept between calls (the engine runs on one thread).
  thread_local std::vector<std::int32_t> prefix;
  thread_local std::vector<std::uint16_t> narrow;
  const std::size_t need = static_cast<std::size_t>(w + 2 * radii.r[3] + 2) * 4;
  if (prefix.size() < need) prefix.resize(need);
  if (narrow.size() < need) narrow.resize(need);
  int widest = 0;
  for (int r : radii.r) widest += 2 * r + 1;
  for (const std::uint8_t* row : {a, b}) {
    if (row == nullptr) continue;
    std::uint8_t* out = row == a ? outA : outB;
    if (widest <= 257) {
      BoxRow4Narrow(row, out, w, radii, recip, narrow.data());
    } else {
      BoxRow4(row, out, w, radii, recip, prefix.data());
    }
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

// Sixteen outputs per step. The window's rows are first folded in pairs
// (rows i and size - 1 - i added, at most 510, kept as 16-bit rows); a term
// is then a folded row at column offset -d c plus the same at +d c (at most
// 1020). Terms of equal coefficient are added before multiplying (groups of
// at most 32 terms stay below 2^15), and two groups share one madd.
void FixedSymRow(std::uint8_t* out, const std::uint8_t* const* rows, const std::int16_t* k, int h0,
                 int c, int m) {
  // The row runs in blocks of 512 outputs so that the folded rows of a
  // block stay in the first-level cache while its terms read them.
  constexpr int kBlock = 512;
  const int block = std::min(m, kBlock);
  const std::size_t stride = static_cast<std::size_t>(block + 2 * h0 * c) + 16;
  thread_local std::vector<std::int16_t> folded;
  if (folded.size() < stride * (h0 + 1)) folded.resize(stride * (h0 + 1));
  const int size = 2 * h0 + 1;
  auto fold = [&](int from, int width) {
    for (int i = 0; i <= h0; ++i) {
      std::int16_t* f = folded.data() + i * stride;
      const std::uint8_t* a = rows[i] + from;
      const std::uint8_t* b = rows[size - 1 - i] + from;
      int t = 0;
      if (i < h0) {
        for (; t + 16 <= width; t += 16) {
          Store(f + t, _mm256_add_epi16(_mm256_cvtepu8_epi16(Load128(a + t)),
                                        _mm256_cvtepu8_epi16(Load128(b + t))));
        }
        for (; t < width; ++t) f[t] = static_cast<std::int16_t>(a[t] + b[t]);
      } else {
        for (; t + 16 <= width; t += 16) Store(f + t, _mm256_cvtepu8_epi16(Load128(a + t)));
        for (; t < width; ++t) f[t] = a[t];
      }
    }
  };
  // Groups as flat lists: the columns of group g are at[first[g]] up to
  // at[first[g + 1]].
  thread_local std::vector<const std::int16_t*> at;
  thread_local std::vector<int> first;
  thread_local std::vector<std::int16_t> gk;
  at.clear();
  first.clear();
  gk.clear();
  for (int i = 0; i <= h0; ++i) {
    for (int d = 0; d <= h0; ++d) {
      const std::int16_t kk = k[i * (h0 + 1) + d];
      if (kk == 0) continue;
      bool seen = false;
      for (std::int16_t e : gk) seen = seen || e == kk;
      if (seen) continue;
      // Every term of this coefficient, at most 32 columns per group.
      gk.push_back(kk);
      first.push_back(static_cast<int>(at.size()));
      int count = 0;
      for (int i2 = 0; i2 <= h0; ++i2) {
        const std::int16_t* centre = folded.data() + i2 * stride + h0 * c;
        for (int d2 = 0; d2 <= h0; ++d2) {
          if (k[i2 * (h0 + 1) + d2] != kk) continue;
          if (count + 2 > 32) {
            gk.push_back(kk);
            first.push_back(static_cast<int>(at.size()));
            count = 0;
          }
          at.push_back(centre - d2 * c);
          ++count;
          if (d2 != 0) {
            at.push_back(centre + d2 * c);
            ++count;
          }
        }
      }
    }
  }
  if (gk.size() % 2 == 1) {
    gk.push_back(0);
    first.push_back(static_cast<int>(at.size()));
    at.push_back(at.front());
  }
  first.push_back(static_cast<int>(at.size()));
  const std::size_t groups = gk.size();
  const __m256i bias = _mm256_set1_epi32(1024);
  // lo: outputs 0-3 and 8-11, hi: 4-7 and 12-15 of a step; rounded, packed
  // and stored in order.
  auto emit = [&](std::uint8_t* to, __m256i lo, __m256i hi) {
    const __m256i v0 =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_permute2x128_si256(lo, hi, 0x20), bias), 11);
    const __m256i v1 =
        _mm256_srai_epi32(_mm256_add_epi32(_mm256_permute2x128_si256(lo, hi, 0x31), bias), 11);
    const __m256i w = _mm256_packs_epi32(v0, v1);
    const __m128i wl = _mm256_castsi256_si128(w), wh = _mm256_extracti128_si256(w, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm_packus_epi16(_mm_unpacklo_epi64(wl, wh), _mm_unpackhi_epi64(wl, wh)));
  };
  auto coefficients = [&](std::size_t g) {
    return _mm256_set1_epi32(
        static_cast<int>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(gk[g + 1])) << 16) |
                         static_cast<std::uint16_t>(gk[g])));
  };
  for (int jb = 0; jb < m; jb += block) {
    const int nb = std::min(block, m - jb);
    fold(jb, nb + 2 * h0 * c);
    std::uint8_t* o = out + jb;
    int j = 0;
    // Two steps at a time: each column pointer is read once for 32 outputs.
    for (; j + 32 <= nb; j += 32) {
      __m256i lo0 = _mm256_setzero_si256(), hi0 = lo0, lo1 = lo0, hi1 = lo0;
      for (std::size_t g = 0; g < groups; g += 2) {
        __m256i p0 = Load(at[first[g]] + j), p1 = Load(at[first[g]] + j + 16);
        for (int i = first[g] + 1; i < first[g + 1]; ++i) {
          p0 = _mm256_add_epi16(p0, Load(at[i] + j));
          p1 = _mm256_add_epi16(p1, Load(at[i] + j + 16));
        }
        __m256i q0 = Load(at[first[g + 1]] + j), q1 = Load(at[first[g + 1]] + j + 16);
        for (int i = first[g + 1] + 1; i < first[g + 2]; ++i) {
          q0 = _mm256_add_epi16(q0, Load(at[i] + j));
          q1 = _mm256_add_epi16(q1, Load(at[i] + j + 16));
        }
        const __m256i kk = coefficients(g);
        lo0 = _mm256_add_epi32(lo0, _mm256_madd_epi16(_mm256_unpacklo_epi16(p0, q0), kk));
        hi0 = _mm256_add_epi32(hi0, _mm256_madd_epi16(_mm256_unpackhi_epi16(p0, q0), kk));
        lo1 = _mm256_add_epi32(lo1, _mm256_madd_epi16(_mm256_unpacklo_epi16(p1, q1), kk));
        hi1 = _mm256_add_epi32(hi1, _mm256_madd_epi16(_mm256_unpackhi_epi16(p1, q1), kk));
      }
      emit(o + j, lo0, hi0);
      emit(o + j + 16, lo1, hi1);
    }
    for (; j + 16 <= nb; j += 16) {
      __m256i lo = _mm256_setzero_si256(), hi = lo;
      for (std::size_t g = 0; g < groups; g += 2) {
        __m256i p = Load(at[first[g]] + j);
        for (int i = first[g] + 1; i < first[g + 1]; ++i) p = _mm256_add_epi16(p, Load(at[i] + j));
        __m256i q = Load(at[first[g + 1]] + j);
        for (int i = first[g + 1] + 1; i < first[g + 2]; ++i)
          q = _mm256_add_epi16(q, Load(at[i] + j));
        const __m256i kk = coefficients(g);
        lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(p, q), kk));
        hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(p, q), kk));
      }
      emit(o + j, lo, hi);
    }
    if (j < nb) {
      std::vector<const std::uint8_t*> shifted(static_cast<std::size_t>(size));
      for (int i = 0; i < size; ++i) shifted[static_cast<std::size_t>(i)] = rows[i] + jb + j;
      rows::FixedSymRow(o + j, shifted.data(), k, h0, c, nb - j);
    }
  }
}

}  // namespace brenmark::conv::avx2
