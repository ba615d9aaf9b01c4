// Reference images for pixel tests: an image rendered by a test is compared
// exactly with a PNG in tests/golden/. A mismatch writes <name>.actual.png
// and <name>.diff.png into the build directory and names the first
// differing pixel; BRENMARK_UPDATE_GOLDEN=1 rewrites the reference instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace golden {

// 8-bit pixels, rows top to bottom, 1 (grey) or 4 (bytes R, G, B, A)
// channels.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 4;
  std::vector<std::uint8_t> pixels;
};

// False with a message in `error` when the file cannot be read or written.
// Writing goes through a temporary file beside the target.
bool ReadPng(const std::string& path, Image& out, std::string& error);
bool WritePng(const std::string& path, const Image& img, std::string& error);

// Compares `actual` with tests/golden/<name>.png.
::testing::AssertionResult MatchesGolden(const std::string& name, const Image& actual);

}  // namespace golden
