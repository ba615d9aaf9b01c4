// Reading and writing PNG files with libpng. Pixels are kept bottom row
// first, the row order of the engine's (lower-left) images, and straight:
// premultiplying is the caller's business. libpng reports errors by
// longjmp; every such error is caught here and becomes a message, with
// nothing leaked and no partial file left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "progress.h"

namespace brenmark::tool {

// Longest side of an image the tool reads or writes. Its largest image,
// 16384 x 16384 four-byte pixels, takes 1 GiB.
inline constexpr int kMaxImageSide = 16384;
// What libpng may hold of the chunks around the pixels: at most this many
// ancillary chunks (text, palettes of suggestions, unknown ones), none of
// more than this many bytes (decompressed text and profiles included).
inline constexpr int kMaxPngChunks = 128;
inline constexpr std::size_t kMaxPngChunkBytes = std::size_t{4} << 20;

// width x height pixels of `channels` bytes (1: grey; 4: R, G, B, A),
// rows packed, the bottom row first.
struct ImagePixels {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<std::uint8_t> bytes;

  std::size_t RowBytes() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  }
  std::size_t PixelCount() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  // Row y, counting from 0 at the bottom.
  std::uint8_t* Row(int y) { return bytes.data() + RowBytes() * static_cast<std::size_t>(y); }
  const std::uint8_t* Row(int y) const {
    return bytes.data() + RowBytes() * static_cast<std::size_t>(y);
  }
  // Sets the size and makes room for the pixels (zeroed); false when memory
  // runs out.
  bool Allocate(int w, int h, int c);
};

enum class PngPixels {
  kRgba,  // any PNG, as 8-bit R, G, B, A (grey and palette expanded,
          // transparency chunks made alpha, opaque where there is no alpha)
  kGrey,  // a greyscale PNG without alpha, as 8-bit grey
};

// Reads the PNG at `path` into `out`; 16-bit channels are scaled to 8 bits
// with rounding. Returns the problem (bad path, not a PNG, damaged or
// truncated data, a side above kMaxImageSide, a colour PNG asked for as
// grey, no memory), or an empty string. `progress` (may be null) shows the
// rows read.
std::string ReadPng(const std::string& path, PngPixels want, ImagePixels& out, Progress* progress);
// The same for a PNG held in memory (`size` bytes at `data`); messages call
// it '<memory>'.
std::string ReadPngMemory(const std::uint8_t* data, std::size_t size, PngPixels want,
                          ImagePixels& out, Progress* progress);

// Writes `pixels` as an 8-bit RGBA (four channels) or grey (one channel)
// PNG at `path`, safely (see OutputFile): the file at `path` is replaced
// only by a complete new one. Returns the problem or an empty string.
std::string WritePng(const std::string& path, const ImagePixels& pixels, Progress* progress);

}  // namespace brenmark::tool
