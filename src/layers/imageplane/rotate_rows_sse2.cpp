// SSE2 rotating bilinear row (four-byte pixels); equals RotateBilinearRow4 bit
// for bit. One pixel per step: the two source rows' pixel pairs go through
// the horizontal lerp side by side in 16-bit lanes, then the two halves are
// blended vertically. Positions whose neighbours need clamping (the image's
// last row or column) and positions outside take the scalar reference.
#include <emmintrin.h>

#include <cstring>

#include "layers/imageplane/rotate_rows.h"

namespace brenmark::imageplane::sse2 {

void RotateBilinearRow4(const RotateSource& s, RotateWalk walk, int n, std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c256 = _mm_set1_epi16(256);
  const __m128i c128 = _mm_set1_epi16(128);
  for (int j = 0; j < n; ++j, out += 4, walk.u += walk.du, walk.v += walk.dv) {
    const std::int64_t u = walk.u - 32768, v = walk.v - 32768;
    const std::int64_t xi = u >> 16, yi = v >> 16;
    if (!Inside1616(s, walk.u, walk.v) || xi < 0 || yi < 0 || xi + 1 >= s.w || yi + 1 >= s.h) {
      brenmark::imageplane::RotateBilinearRow4(s, RotateWalk{walk.u, walk.v, 0, 0}, 1, out);
      continue;
    }
    const std::uint8_t* p = s.data + yi * s.stride + xi * 4;
    const __m128i top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));  // a0 b0
    const __m128i bottom =
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + s.stride));  // a1 b1
    // [a0 b0 a1 b1] -> [a0 a1 b0 b1]: lanes of a (left pixels) and b (right).
    const __m128i q = _mm_shuffle_epi32(_mm_unpacklo_epi64(top, bottom), _MM_SHUFFLE(3, 1, 2, 0));
    const __m128i a = _mm_unpacklo_epi8(q, zero);
    const __m128i b = _mm_unpackhi_epi8(q, zero);
    const __m128i fx = _mm_set1_epi16(static_cast<short>(u >> 8 & 255));
    const __m128i h = _mm_srli_epi16(
        _mm_add_epi16(
            _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(c256, fx)), _mm_mullo_epi16(b, fx)),
            c128),
        8);  // [h0 h1]
    const short fy = static_cast<short>(v >> 8 & 255);
    const __m128i wy =
        _mm_set_epi16(fy, fy, fy, fy, static_cast<short>(256 - fy), static_cast<short>(256 - fy),
                      static_cast<short>(256 - fy), static_cast<short>(256 - fy));
    const __m128i m = _mm_mullo_epi16(h, wy);
    const __m128i r =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(m, _mm_srli_si128(m, 8)), c128), 8);
    const int px = _mm_cvtsi128_si32(_mm_packus_epi16(r, zero));
    std::memcpy(out, &px, 4);
  }
}

}  // namespace brenmark::imageplane::sse2
