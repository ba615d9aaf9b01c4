// Scalar reference rows of the blending engine's fast cases.
#include "paintops/blend_rows.h"

#include <cmath>
#include <cstring>

#include "paintops/fixed_point.h"

namespace brenmark {

using fixed::Alpha;
using fixed::SatAddPixel;
using fixed::Scale8;
using fixed::ScalePixel;

bool IsBlendFactorCode(int code) {
  return code == kFactorZero || code == kFactorOne || code == kFactorSrcAlpha ||
         code == kFactorOneMinusSrcAlpha || code == kFactorDstAlpha ||
         code == kFactorOneMinusDstAlpha;
}

std::uint32_t MakeWriteMask(const int* flags, int channels) {
  std::uint32_t mask = 0xFFFFFFFFu;
  const int n = channels == 1 ? 1 : 4;
  for (int c = 0; c < n && flags != nullptr; ++c) {
    if (flags[c] == 0) mask &= ~(0xFFu << (8 * (3 - c)));
  }
  return mask;
}

int Opacity16(float opacity) {
  if (!(opacity > 0.0f)) return 0;  // also NaN
  if (opacity >= 1.0f) return 255;
  return static_cast<int>(std::lround(static_cast<double>(opacity) * 255.0));
}

int MarkerStrength(float wetness) {
  double w = wetness;
  if (!(w > 0.0)) w = 0.0;
  if (w > 1.0) w = 1.0;
  return static_cast<int>((w * 0.9 + 0.1) * 0.25 * 255.0 + 0.5);
}

namespace rows {

void Copy(std::uint32_t* d, const std::uint32_t* s, int n) {
  if (n > 0) std::memmove(d, s, static_cast<std::size_t>(n) * sizeof(std::uint32_t));
}

void CopyMasked(std::uint32_t* d, const std::uint32_t* s, int n, std::uint32_t mask) {
  for (int i = 0; i < n; ++i) d[i] = fixed::MergeMasked(d[i], s[i], mask);
}

void Fill(std::uint32_t* d, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) d[i] = v;
}

void Fill1(std::uint8_t* d, std::uint8_t v, int n) {
  if (n > 0) std::memset(d, v, static_cast<std::size_t>(n));
}

void Over(std::uint32_t* d, const std::uint32_t* s, int n) {
  for (int i = 0; i < n; ++i) {
    const std::uint32_t a = Alpha(s[i]);
    if (a != 0) d[i] = SatAddPixel(ScalePixel(d[i], 256 - a, 0), s[i]);
  }
}

void OverConst(std::uint32_t* d, std::uint32_t s, int n) {
  const std::uint32_t a = Alpha(s);
  if (a == 0) return;
  for (int i = 0; i < n; ++i) d[i] = SatAddPixel(ScalePixel(d[i], 256 - a, 0), s);
}

void Under(std::uint32_t* d, const std::uint32_t* s, int s_step, int n) {
  for (int i = 0; i < n; ++i, s += s_step) {
    d[i] = SatAddPixel(ScalePixel(*s, 256 - Alpha(d[i]), 0), d[i]);
  }
}

void DstAlphaConst(std::uint32_t* d, std::uint32_t s, int n) {
  for (int i = 0; i < n; ++i) {
    const std::uint32_t da = Alpha(d[i]);
    d[i] = da == 255 ? s : ScalePixel(s, da, 0);
  }
}

void ScaleConst(std::uint32_t* d, std::uint32_t f, int n) {
  for (int i = 0; i < n; ++i) d[i] = ScalePixel(d[i], f, 0);
}

void Multiply(std::uint32_t* d, const std::uint32_t* s, int n) {
  for (int i = 0; i < n; ++i) {
    if (s[i] != 0xFFFFFFFFu) d[i] = fixed::MultiplyPixel(d[i], s[i]);
  }
}

void EraseByRow(std::uint32_t* d, const std::uint8_t* m, int n) {
  for (int i = 0; i < n; ++i) d[i] = ScalePixel(d[i], 256u - m[i], 0);
}

void KeepByRow(std::uint32_t* d, const std::uint8_t* m, int n) {
  for (int i = 0; i < n; ++i) {
    if (m[i] != 255) d[i] = ScalePixel(d[i], m[i], 0);
  }
}

namespace {

// (d * (256 - a) + s * a + dither) >> 8 on all four channels; the per-channel
// sum is at most 255 * 256 + 255, so the 16-bit saturation never bites.
inline std::uint32_t BrushPixel(std::uint32_t d, std::uint32_t s, std::uint32_t a,
                                std::uint32_t dither) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    std::uint32_t v = ((d >> shift) & 0xFFu) * (256 - a) + ((s >> shift) & 0xFFu) * a + dither;
    if (v > 0xFFFFu) v = 0xFFFFu;
    v >>= 8;
    out |= (v > 255u ? 255u : v) << shift;
  }
  return out;
}

// One 15-bit channel of the 16-bit brush blend (see Brush16Const).
inline void Brush16Channel(std::uint32_t d, std::uint32_t l, std::uint32_t s, std::uint32_t f,
                           std::uint32_t dither, std::uint32_t* d_out, std::uint32_t* l_out) {
  const std::uint32_t cur = (d << 7) | l;
  std::uint32_t v = ((cur * (32767u - f)) >> 16) << 2;
  v += dither >> 6;
  if (v > 0xFFFFu) v = 0xFFFFu;
  v += (((s << 7) * f) >> 16) << 2;
  if (v > 0xFFFFu) v = 0xFFFFu;
  const std::uint32_t hi = v >> 8;
  *d_out = hi > 255u ? 255u : hi;
  *l_out = (v & 0xFFu) >> 1;
}

}  // namespace

void BrushConst(std::uint32_t* d, std::uint32_t s, const std::uint8_t* cov, int n,
                std::uint8_t dither) {
  for (int i = 0; i < n; ++i) {
    if (cov[i] != 0) d[i] = BrushPixel(d[i], s, cov[i], dither);
  }
}

void Brush(std::uint32_t* d, const std::uint32_t* s, const std::uint8_t* cov, int n,
           std::uint8_t dither) {
  for (int i = 0; i < n; ++i) {
    if (cov[i] != 0) d[i] = BrushPixel(d[i], s[i], cov[i], dither);
  }
}

void BrushOne(std::uint8_t* d, std::uint8_t v, const std::uint8_t* cov, int n) {
  const std::uint32_t value = v < 255 ? v : 256u;
  for (int i = 0; i < n; ++i) {
    const std::uint32_t a = cov[i];
    if (a != 0) d[i] = static_cast<std::uint8_t>((d[i] * (256u - a) + a * value) >> 8);
  }
}

void Brush16Const(std::uint32_t* d, std::uint32_t* low, std::uint32_t s, const std::uint8_t* cov,
                  int n, int k, std::uint8_t dither) {
  for (int i = 0; i < n; ++i) {
    const std::uint32_t a = cov[i];
    if (a == 0) continue;
    const std::uint32_t f = (a * static_cast<std::uint32_t>(k)) >> 1;
    std::uint32_t dd = 0;
    std::uint32_t ll = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      std::uint32_t hi;
      std::uint32_t lo;
      Brush16Channel((d[i] >> shift) & 0xFFu, (low[i] >> shift) & 0xFFu, (s >> shift) & 0xFFu, f,
                     dither, &hi, &lo);
      dd |= hi << shift;
      ll |= lo << shift;
    }
    d[i] = dd;
    low[i] = ll;
  }
}

void Brush16One(std::uint8_t* d, std::uint8_t* low, std::uint8_t v, const std::uint8_t* cov, int n,
                int k, std::uint8_t dither) {
  for (int i = 0; i < n; ++i) {
    const std::uint32_t a = cov[i];
    if (a == 0) continue;
    std::uint32_t hi;
    std::uint32_t lo;
    Brush16Channel(d[i], low[i], v, (a * static_cast<std::uint32_t>(k)) >> 1, dither, &hi, &lo);
    d[i] = static_cast<std::uint8_t>(hi);
    low[i] = static_cast<std::uint8_t>(lo);
  }
}

void Marker(std::uint32_t* d, std::uint32_t* low, const std::uint32_t* s, int s_step,
            const std::uint8_t* cov, int n, int k, std::uint8_t dither) {
  const std::uint64_t delta = dither;
  for (int i = 0; i < n; ++i, s += s_step) {
    const std::uint64_t a = cov[i];
    if (a == 0) continue;
    const std::uint64_t w = a * static_cast<std::uint64_t>(k);
    const std::uint64_t alpha16 = ((d[i] >> 24) << 8) | (low[i] >> 24);
    std::uint32_t dd = 0;
    std::uint32_t ll = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const std::uint64_t x = (((d[i] >> shift) & 0xFFu) << 8) | ((low[i] >> shift) & 0xFFu);
      const std::uint64_t c = (*s >> shift) & 0xFFu;
      const std::uint64_t painted = c * alpha16 + delta;
      const std::uint64_t kept = x * 256 + delta;
      const std::uint64_t t = painted < kept ? painted : kept;
      const std::uint64_t target = (t + c * (65535 - alpha16)) >> 8;
      const std::uint64_t mixed = w * target + (65535 - w) * x;
      dd |= static_cast<std::uint32_t>((mixed >> 24) & 0xFFu) << shift;
      ll |= static_cast<std::uint32_t>((mixed >> 16) & 0xFFu) << shift;
    }
    const std::uint64_t alpha = w * 65536 + delta * 257 + (65535 - w) * alpha16;
    dd |= static_cast<std::uint32_t>((alpha >> 24) & 0xFFu) << 24;
    ll |= static_cast<std::uint32_t>((alpha >> 16) & 0xFFu) << 24;
    d[i] = dd;
    low[i] = ll;
  }
}

void MaskBlend(std::uint32_t* d, const std::uint8_t* m, int m_step, const std::uint32_t* copy,
               int n, std::uint32_t mask) {
  for (int i = 0; i < n; ++i, m += m_step) {
    const std::uint32_t v = *m;
    if (v == 0) continue;
    std::uint32_t out = copy[i];
    if (v < 255) {
      out = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t c = (copy[i] >> shift) & 0xFFu;
        const std::uint32_t o = (d[i] >> shift) & 0xFFu;
        out |= ((c * v + o * (256 - v)) >> 8) << shift;
      }
    }
    d[i] = fixed::MergeMasked(d[i], out, mask);
  }
}

void MaskBlend1(std::uint8_t* d, const std::uint8_t* m, int m_step, const std::uint8_t* copy, int n,
                std::uint32_t mask) {
  const std::uint32_t byte_mask = mask >> 24;
  for (int i = 0; i < n; ++i, m += m_step) {
    const std::uint32_t v = *m;
    if (v == 0) continue;
    const std::uint32_t out = v >= 255 ? copy[i] : (copy[i] * v + d[i] * (256 - v)) >> 8;
    d[i] = static_cast<std::uint8_t>(fixed::MergeMasked(d[i], out, byte_mask));
  }
}

void KeepByRow1(std::uint8_t* d, const std::uint8_t* m, int m_step, int n) {
  for (int i = 0; i < n; ++i, m += m_step) {
    if (*m != 255) d[i] = static_cast<std::uint8_t>(Scale8(d[i], *m, 0));
  }
}

void ScaleOffset(std::uint32_t* d, int n, std::uint32_t packed_scale, std::uint32_t packed_offset) {
  std::uint32_t f[4];
  std::uint32_t o[4];
  for (int b = 0; b < 4; ++b) {
    const std::uint32_t byte = (packed_scale >> (8 * b)) & 0xFFu;
    f[b] = byte == 255 ? 256u : byte;
    o[b] = ((packed_offset >> (8 * b)) & 0xFFu) << 8;
  }
  for (int i = 0; i < n; ++i) {
    std::uint32_t out = 0;
    for (int b = 0; b < 4; ++b) {
      std::uint32_t v = (((d[i] >> (8 * b)) & 0xFFu) * f[b] + o[b]) >> 8;
      if (v > 255u) v = 255u;
      out |= v << (8 * b);
    }
    d[i] = out;
  }
}

}  // namespace rows
}  // namespace brenmark
