// Conversions between the straight colours of files and scripts and the
// engine's premultiplied pixels (bytes R, G, B, A in memory; a mask is one
// grey byte). All rounding is to the nearest integer, halves up.
//
// A round trip straight -> premultiplied -> straight is exact for opaque
// pixels; for alpha a each colour channel comes back within
// ceil(255 / (2a)) of where it started (1 for a >= 128), and a pixel of
// alpha 0 comes back as 0, 0, 0, 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "command_registry.h"

namespace brenmark::tool {

// c' = round(c * a / 255)
inline std::uint8_t Premultiply(std::uint8_t c, std::uint8_t a) {
  return static_cast<std::uint8_t>((unsigned{c} * a + 127) / 255);
}

// c = round(c' * 255 / a), at most 255 (for a c' above a, which no valid
// pixel has); 0 when a is 0.
inline std::uint8_t Unpremultiply(std::uint8_t c, std::uint8_t a) {
  if (a == 0) return 0;
  const unsigned v = (unsigned{c} * 510 + a) / (2u * a);
  return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// The grey level a colour gives a mask: round((r + g + b) / 3 * a / 255),
// the premultiplied grey.
inline std::uint8_t MaskLevel(const Rgba& c) {
  return static_cast<std::uint8_t>(((unsigned{c.r} + c.g + c.b) * c.a + 382) / 765);
}

// In place over `count` four-byte pixels R, G, B, A.
void PremultiplyPixels(std::uint8_t* rgba, std::size_t count);
void UnpremultiplyPixels(std::uint8_t* rgba, std::size_t count);

}  // namespace brenmark::tool
