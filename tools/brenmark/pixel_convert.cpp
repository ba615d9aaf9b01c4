// Premultiplying and unpremultiplying runs of pixels.
#include "pixel_convert.h"

namespace brenmark::tool {

void PremultiplyPixels(std::uint8_t* rgba, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, rgba += 4) {
    const std::uint8_t a = rgba[3];
    if (a == 255) continue;
    rgba[0] = Premultiply(rgba[0], a);
    rgba[1] = Premultiply(rgba[1], a);
    rgba[2] = Premultiply(rgba[2], a);
  }
}

void UnpremultiplyPixels(std::uint8_t* rgba, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, rgba += 4) {
    const std::uint8_t a = rgba[3];
    if (a == 255) continue;
    rgba[0] = Unpremultiply(rgba[0], a);
    rgba[1] = Unpremultiply(rgba[1], a);
    rgba[2] = Unpremultiply(rgba[2], a);
  }
}

}  // namespace brenmark::tool
