// Scalar reference rows of the blending engine: every pixel formula once,
// over plain buffers. These rows are the definition the SIMD rows
// (blend_kernels.h) must match bit for bit.
//
// Conventions for every row:
// - four-channel pixels are packed 32-bit words (fixed_point.h), one-channel
//   pixels are bytes; n >= 0 pixels; buffers may be unaligned;
// - `s_step` is 1 for a source row and 0 for one constant source pixel;
// - coverage (`cov`), low-order-bit (`low`) and destination-copy rows run
//   alongside the destination row, pixel for pixel;
// - `mask` is the packed write mask; a one-channel destination uses its top
//   byte (the channel-0 bits);
// - rows never allocate and never fail.
#pragma once

#include <cstdint>

namespace brenmark {

// Blend factor codes; the numbering is that of PaintOps::BlendFactor.
enum BlendFactorCode : int {
  kFactorZero = 0,
  kFactorOne = 1,
  kFactorSrcAlpha = 6,          // a
  kFactorOneMinusSrcAlpha = 7,  // 256 - a
  kFactorDstAlpha = 8,          // A
  kFactorOneMinusDstAlpha = 9,  // 256 - A
};

// True for the six codes above.
bool IsBlendFactorCode(int code);

// Write mask from per-channel writable flags: bits of channel i are cleared
// when flags[i] is 0. A one-channel target reads only flags[0]; the other
// channels count as writable.
std::uint32_t MakeWriteMask(const int* flags, int channels);

// The stamp's 16-bit opacity k = round(opacity * 255), opacity clamped to [0, 1].
int Opacity16(float opacity);

// Wet-marker weight k = trunc((wetness * 0.9 + 0.1) * 0.25 * 255 + 0.5), with
// wetness clamped to [0, 1] so k stays in 6..64.
int MarkerStrength(float wetness);

namespace rows {

// ---- Copies and fills ----

// d = s
void Copy(std::uint32_t* d, const std::uint32_t* s, int n);
// d = (d & ~mask) | (s & mask)
void CopyMasked(std::uint32_t* d, const std::uint32_t* s, int n, std::uint32_t mask);
// d = v
void Fill(std::uint32_t* d, std::uint32_t v, int n);
// d = v (one channel)
void Fill1(std::uint8_t* d, std::uint8_t v, int n);

// ---- Four-channel destination, four-channel source, no coverage ----

// (1, 7) premultiplied over: d_c = min(255, (d_c * (256 - a) >> 8) + s_c); a = 0 skipped
void Over(std::uint32_t* d, const std::uint32_t* s, int n);
// (1, 7) with one constant source (a = its alpha; a = 0 leaves d)
void OverConst(std::uint32_t* d, std::uint32_t s, int n);
// (9, 1) under: d_c = min(255, (s_c * (256 - A) >> 8) + d_c)
void Under(std::uint32_t* d, const std::uint32_t* s, int s_step, int n);
// (8, 0) constant: d_c = s_c * A >> 8, and d = s where A = 255
void DstAlphaConst(std::uint32_t* d, std::uint32_t s, int n);
// d_c = d_c * f >> 8, f in 0..256 for the whole row
void ScaleConst(std::uint32_t* d, std::uint32_t f, int n);
// (0, 6) multiply: d_c = d_c * s_c >> 8; s = 0xFFFFFFFF leaves d
void Multiply(std::uint32_t* d, const std::uint32_t* s, int n);

// ---- Four-channel destination, one factor byte per pixel ----

// clear: d_c = d_c * (256 - m) >> 8 (m = 0 leaves d, m = 255 clears)
void EraseByRow(std::uint32_t* d, const std::uint8_t* m, int n);
// keep: d_c = d_c * m >> 8, m = 255 leaves d (m = 0 clears)
void KeepByRow(std::uint32_t* d, const std::uint8_t* m, int n);

// ---- Brush blend (6, 7) through coverage ----

// d_c = min(255, (d_c * (256 - a) + s_c * a + dither) >> 8), a = cov; a = 0 leaves d
void BrushConst(std::uint32_t* d, std::uint32_t s, const std::uint8_t* cov, int n,
                std::uint8_t dither);
// the same with one source pixel per destination pixel
void Brush(std::uint32_t* d, const std::uint32_t* s, const std::uint8_t* cov, int n,
           std::uint8_t dither);
// one-channel destination, colour channel 0 = v: d = (d * (256 - a) + a * (v < 255 ? v : 256)) >> 8
void BrushOne(std::uint8_t* d, std::uint8_t v, const std::uint8_t* cov, int n);

// 16-bit brush blend. Each channel holds 15 bits: d_c the high 8, low_c the
// low 7. With f = (a * k) >> 1 and cur = (d_c << 7) | low_c:
// v = sat16(sat16((cur * (32767 - f) >> 16) << 2 + (dither >> 6)) + (((s_c << 7) * f >> 16) << 2));
// d_c = min(255, v >> 8), low_c = (v & 0xFF) >> 1; a = 0 leaves both. k in 0..255.
void Brush16Const(std::uint32_t* d, std::uint32_t* low, std::uint32_t s, const std::uint8_t* cov,
                  int n, int k, std::uint8_t dither);
// the same on a one-channel destination and low-order row, colour value v
void Brush16One(std::uint8_t* d, std::uint8_t* low, std::uint8_t v, const std::uint8_t* cov, int n,
                int k, std::uint8_t dither);

// ---- Wet marker ----

// Per pixel with a = cov != 0, w = a * k; 16-bit channels X = (d_c << 8) | low_c.
// colour: t = min(c * A16 + dither, X * 256 + dither),
//         X' = w * ((t + c * (65535 - A16)) >> 8) + (65535 - w) * X;
// alpha:  A' = w * 65536 + dither * 257 + (65535 - w) * A16;
// d_c = bits 24-31, low_c = bits 16-23 of the 32-bit result. c is the source colour byte.
void Marker(std::uint32_t* d, std::uint32_t* low, const std::uint32_t* s, int s_step,
            const std::uint8_t* cov, int n, int k, std::uint8_t dither);

// ---- Mask blend: reveal a saved copy of the destination ----

// m = 0 leaves d, m = 255 takes copy, else d_c = (copy_c * m + d_c * (256 - m)) >> 8; merged
// through mask
void MaskBlend(std::uint32_t* d, const std::uint8_t* m, int m_step, const std::uint32_t* copy,
               int n, std::uint32_t mask);
// the one-channel form
void MaskBlend1(std::uint8_t* d, const std::uint8_t* m, int m_step, const std::uint8_t* copy, int n,
                std::uint32_t mask);

// ---- One-channel destination and source, no coverage ----

// (0, 6): d = d * m >> 8, m = 255 leaves d
void KeepByRow1(std::uint8_t* d, const std::uint8_t* m, int m_step, int n);

// ---- Channel scale and offset after a fast row ----

// d_c = min(255, (d_c * f_c + o_c * 256) >> 8), f_c and o_c the bytes of the packed
// scale and offset at the same bit position, a scale byte of 255 counting as 256
void ScaleOffset(std::uint32_t* d, int n, std::uint32_t packed_scale, std::uint32_t packed_offset);

// ---- General blend ----

// One row of the general blend for one (destination channels, source
// channels, source factor, destination factor, coverage) combination:
// result = satadd(term(src factor, s), term(dst factor, d)) with the named
// pairs' own forms (see blend_general.cpp), merged through the write mask.
// With coverage, pixels whose coverage is 0 are left as they are.
using GeneralRowFn = void (*)(void* d, const void* s, int s_step, const std::uint8_t* cov, int n,
                              std::uint32_t mask, std::uint8_t dither);

// The row for a combination; channel counts are 1 or 4, factors valid codes.
// Null for anything else.
GeneralRowFn GeneralRow(int dst_channels, int src_channels, int src_factor, int dst_factor,
                        bool coverage);

}  // namespace rows
}  // namespace brenmark
