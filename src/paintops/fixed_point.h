// Fixed-point pixel arithmetic of the blending engine: factors in 256ths,
// products shifted right by 8, saturating adds, and the rounding biases each
// operation picks. Every helper comes in a one-channel form (the definition)
// and, where the rows need it, a packed four-channel form that works on two
// channels per 32-bit operation and gives the same result per channel.
//
// Packed pixel: channel i in bits 8*(3-i)..8*(3-i)+7, so channel 0 (alpha)
// is the top byte and the bytes in memory run channel 3, 2, 1, 0.
#pragma once

#include <cstdint>

namespace brenmark::fixed {

// Rounding bias indices: 0 truncates, 1 and 2 round up by 127 or 255 (in
// 256ths), 3 uses the current dither value.
enum BiasIndex : int { kBiasTruncate = 0, kBiasHalf = 1, kBiasFull = 2, kBiasDither = 3 };

// Channel 0 (alpha) of a packed pixel.
constexpr std::uint32_t Alpha(std::uint32_t p) {
  return p >> 24;
}

// Channel c (0..3) of a packed pixel.
constexpr std::uint32_t Channel(std::uint32_t p, int c) {
  return (p >> (8 * (3 - c))) & 0xFFu;
}

// Bias added before a >> 8: 0, 127, 255 or the dither byte.
constexpr std::uint32_t Bias8(int index, std::uint8_t dither) {
  switch (index) {
    case kBiasHalf:
      return 127;
    case kBiasFull:
      return 255;
    case kBiasDither:
      return dither;
    default:
      return 0;
  }
}

// Bias of the 14-bit lerp (added before its final >> 6): 0, 31, 63 or the
// dither byte >> 2. Each is the 8-bit bias scaled down by the lerp's >> 2.
constexpr std::uint32_t Bias14(int index, std::uint8_t dither) {
  switch (index) {
    case kBiasHalf:
      return 31;
    case kBiasFull:
      return 63;
    case kBiasDither:
      return static_cast<std::uint32_t>(dither) >> 2;
    default:
      return 0;
  }
}

// ---- One channel: the definitions ----

// scale = (c * f + bias) >> 8; c in 0..255, f in 0..256, bias in 0..255, so
// the sum stays below 65536 and the result below 256.
constexpr std::uint32_t Scale8(std::uint32_t c, std::uint32_t f, std::uint32_t bias) {
  return (c * f + bias) >> 8;
}

// satadd = min(255, p + q)
constexpr std::uint32_t SatAdd8(std::uint32_t p, std::uint32_t q) {
  return p + q > 255u ? 255u : p + q;
}

// one-channel lerp = min(255, (p * f + q * g + bias) >> 8)
constexpr std::uint32_t Lerp8(std::uint32_t p, std::uint32_t f, std::uint32_t q, std::uint32_t g,
                              std::uint32_t bias) {
  const std::uint32_t v = (p * f + q * g + bias) >> 8;
  return v > 255u ? 255u : v;
}

// four-channel lerp, per channel: t = (p*f >> 2) + (q*g >> 2) + bias14,
// saturated at 0x3FFF, result t >> 6. The >> 2 keeps each half-word product
// inside 14 bits so two channels fit one 32-bit operation.
constexpr std::uint32_t Lerp14(std::uint32_t p, std::uint32_t f, std::uint32_t q, std::uint32_t g,
                               std::uint32_t bias14) {
  std::uint32_t t = ((p * f) >> 2) + ((q * g) >> 2) + bias14;
  if (t > 0x3FFFu) t = 0x3FFFu;
  return t >> 6;
}

// ---- Packed four channels, two at a time ----
//
// Channels 3 and 1 (bits 0-7 and 16-23) share one 32-bit word as two 16-bit
// halves, channels 2 and 0 (bits 8-15 and 24-31) the other. Each half holds
// c*f + bias <= 255*256 + 255 = 65535, so no half carries into its neighbour.

constexpr std::uint32_t kLowPair = 0x00FF00FFu;

// scale(p, f, bias) on all four channels.
constexpr std::uint32_t ScalePixel(std::uint32_t p, std::uint32_t f, std::uint32_t bias) {
  const std::uint32_t b2 = bias * 0x00010001u;
  const std::uint32_t lo = (((p & kLowPair) * f + b2) >> 8) & kLowPair;
  const std::uint32_t hi = (((p >> 8) & kLowPair) * f + b2) & ~kLowPair;
  return lo | hi;
}

// satadd(p, q) on all four channels: per half-word sums are at most 510, and
// any half above 255 is forced to 255.
constexpr std::uint32_t SatAddPixel(std::uint32_t p, std::uint32_t q) {
  std::uint32_t lo = (p & kLowPair) + (q & kLowPair);
  std::uint32_t hi = ((p >> 8) & kLowPair) + ((q >> 8) & kLowPair);
  lo |= 0x01000100u - ((lo >> 8) & 0x00010001u);
  hi |= 0x01000100u - ((hi >> 8) & 0x00010001u);
  return (lo & kLowPair) | ((hi & kLowPair) << 8);
}

// lerp(p, f, q, g, bias14) on all four channels (per channel Lerp14).
constexpr std::uint32_t LerpPixel(std::uint32_t p, std::uint32_t f, std::uint32_t q,
                                  std::uint32_t g, std::uint32_t bias14) {
  std::uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const int shift = 8 * c;
    out |= Lerp14((p >> shift) & 0xFFu, f, (q >> shift) & 0xFFu, g, bias14) << shift;
  }
  return out;
}

// Per-channel factors: out_c = (c_p * f_c) >> 8 with f_c the same channel of
// the factor pixel (a byte, so at most 255/256 of the channel).
constexpr std::uint32_t MultiplyPixel(std::uint32_t p, std::uint32_t factors) {
  std::uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const int shift = 8 * c;
    out |= Scale8((p >> shift) & 0xFFu, (factors >> shift) & 0xFFu, 0) << shift;
  }
  return out;
}

// new = (old AND NOT mask) OR (result AND mask)
constexpr std::uint32_t MergeMasked(std::uint32_t old, std::uint32_t result, std::uint32_t mask) {
  return (old & ~mask) | (result & mask);
}

// The dither value of a counter: its low byte with the eight bits reversed,
// so consecutive counters spread their biases over the whole byte range.
constexpr std::uint8_t ReverseByte(std::uint32_t counter) {
  std::uint32_t b = counter & 0xFFu;
  b = ((b & 0xF0u) >> 4) | ((b & 0x0Fu) << 4);
  b = ((b & 0xCCu) >> 2) | ((b & 0x33u) << 2);
  b = ((b & 0xAAu) >> 1) | ((b & 0x55u) << 1);
  return static_cast<std::uint8_t>(b);
}

}  // namespace brenmark::fixed
