// SSE2 row kernels of the fill scan conversion, bit-exact with
// shapes::scalar: eight accumulator entries per step, and the vertical
// pass merged through 16 x 16 byte transposes.
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

// r[x] holds column x (16 values down y); on return r[y] holds row y.
inline void Transpose16x16(__m128i r[16]) {
  __m128i a[16], b[16];
  // Pairs of columns interleaved: 16-bit lane j holds rows j (and 8 + j) of both.
  for (int p = 0; p < 8; ++p) {
    a[2 * p] = _mm_unpacklo_epi8(r[2 * p], r[2 * p + 1]);
    a[2 * p + 1] = _mm_unpackhi_epi8(r[2 * p], r[2 * p + 1]);
  }
  // Quads of columns: 32-bit lane j holds row 4g + j of four columns.
  for (int q = 0; q < 4; ++q) {
    for (int h = 0; h < 2; ++h) {
      b[4 * q + 2 * h] = _mm_unpacklo_epi16(a[4 * q + h], a[4 * q + 2 + h]);
      b[4 * q + 2 * h + 1] = _mm_unpackhi_epi16(a[4 * q + h], a[4 * q + 2 + h]);
    }
  }
  // Octets of columns: 64-bit lane j holds row 2g + j of eight columns.
  for (int s = 0; s < 2; ++s) {
    for (int g = 0; g < 4; ++g) {
      a[8 * s + 2 * g] = _mm_unpacklo_epi32(b[8 * s + g], b[8 * s + 4 + g]);
      a[8 * s + 2 * g + 1] = _mm_unpackhi_epi32(b[8 * s + g], b[8 * s + 4 + g]);
    }
  }
  for (int h = 0; h < 8; ++h) {
    r[2 * h] = _mm_unpacklo_epi64(a[h], a[8 + h]);
    r[2 * h + 1] = _mm_unpackhi_epi64(a[h], a[8 + h]);
  }
}

// (h + v) >> 1 per byte, without widening: (h & v) + ((h ^ v) >> 1).
inline __m128i HalfSum16(__m128i h, __m128i v) {
  const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(h, v), 1), _mm_set1_epi8(0x7F));
  return _mm_add_epi8(_mm_and_si128(h, v), half);
}

}  // namespace

void AddConst(std::uint16_t* acc, int n, std::uint16_t v) {
  const __m128i k = _mm_set1_epi16(static_cast<short>(v));
  int i = 0;
  for (; i + 8 <= n; i += 8) Store(acc + i, _mm_add_epi16(Load(acc + i), k));
  scalar::AddConst(acc + i, n - i, v);
}

void Emit(std::uint8_t* out, std::uint16_t* acc, int n) {
  const __m128i third = _mm_set1_epi16(21846);
  const __m128i zero = _mm_setzero_si128();
  int i = 0;
  // (acc * 21846) >> 16 is at most 21845, so the signed pack saturates at 255.
  for (; i + 16 <= n; i += 16) {
    const __m128i lo = _mm_mulhi_epu16(Load(acc + i), third);
    const __m128i hi = _mm_mulhi_epu16(Load(acc + i + 8), third);
    Store(out + i, _mm_packus_epi16(lo, hi));
    Store(acc + i, zero);
    Store(acc + i + 8, zero);
  }
  scalar::Emit(out + i, acc + i, n - i);
}

void MergeTransposed(std::uint8_t* d, std::ptrdiff_t ds, const std::uint8_t* t, std::ptrdiff_t ts,
                     int w, int h) {
  const int w16 = w & ~15, h16 = h & ~15;
  __m128i r[16];
  for (int y = 0; y < h16; y += 16) {
    for (int x = 0; x < w16; x += 16) {
      for (int c = 0; c < 16; ++c) r[c] = Load(t + (x + c) * ts + y);
      Transpose16x16(r);
      for (int k = 0; k < 16; ++k) {
        std::uint8_t* row = d + (y + k) * ds + x;
        Store(row, HalfSum16(Load(row), r[k]));
      }
    }
  }
  // Right-hand columns over the whole height, then the bottom rows.
  scalar::MergeTransposed(d + w16, ds, t + w16 * ts, ts, w - w16, h);
  scalar::MergeTransposed(d + h16 * ds, ds, t + h16, ts, w16, h - h16);
}

}  // namespace brenmark::shapes::sse2
