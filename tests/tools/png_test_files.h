// PNG files for the tool's tests, made and read with libpng directly (not
// through the tool's own reader and writer), so that the tool's files are
// checked against an independent decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brenmark::tool::test {

// A PNG as it is stored: samples of `bitDepth` bits (16-bit samples big-
// endian), rows top first, packed per the colour type (PNG_COLOR_TYPE_*).
struct TestPng {
  int width = 0;
  int height = 0;
  int colourType = 6;  // RGBA
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<std::uint8_t> samples;
  std::vector<std::uint8_t> palette;  // R, G, B per entry
  std::vector<std::uint8_t> alphas;   // tRNS of a palette image
};

// An 8-bit RGBA PNG of straight pixels given top row first.
TestPng Rgba8(int width, int height, std::vector<std::uint8_t> rgba);
// Any other kind; palette, transparency and interlacing are set afterwards.
TestPng Png(int width, int height, int colourType, int bitDepth, std::vector<std::uint8_t> samples);

// Writes the file; false when libpng refused.
bool WriteTestPng(const std::string& path, const TestPng& png);

// A file's pixels as 8-bit straight RGBA (colour files) or grey (greyscale
// files without alpha), top row first, read with libpng's simplified API.
struct DecodedPng {
  bool ok = false;
  int width = 0;
  int height = 0;
  int channels = 0;  // 4 or 1
  std::vector<std::uint8_t> pixels;
};
DecodedPng DecodePng(const std::string& path);

// The whole file as bytes, and back.
std::string FileBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace brenmark::tool::test
