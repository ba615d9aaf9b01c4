// PNG reading and writing through libpng's simplified interface, and the
// exact comparison against reference images.
#include "golden_image.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace golden {
namespace {

std::string GoldenDir() {
  return std::string(BRENMARK_SOURCE_DIR) + "/tests/golden";
}

std::string OutputDir() {
  return BRENMARK_BINARY_DIR;
}

bool UpdateRequested() {
  const char* v = std::getenv("BRENMARK_UPDATE_GOLDEN");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

png_uint_32 FormatOf(int channels) {
  return channels == 1 ? PNG_FORMAT_GRAY : PNG_FORMAT_RGBA;
}

// Differing pixels opaque red, equal ones transparent.
Image DiffImage(const Image& a, const Image& b) {
  Image d;
  d.width = a.width;
  d.height = a.height;
  d.channels = 4;
  d.pixels.assign(static_cast<std::size_t>(a.width) * a.height * 4, 0);
  for (int i = 0; i < a.width * a.height; ++i) {
    if (std::memcmp(&a.pixels[i * a.channels], &b.pixels[i * b.channels], a.channels) == 0)
      continue;
    d.pixels[i * 4] = 255;
    d.pixels[i * 4 + 3] = 255;
  }
  return d;
}

std::string Pixel(const Image& img, int index) {
  std::ostringstream s;
  s << "(";
  for (int c = 0; c < img.channels; ++c)
    s << (c ? ", " : "") << static_cast<int>(img.pixels[index * img.channels + c]);
  s << ")";
  return s.str();
}

}  // namespace

bool ReadPng(const std::string& path, Image& out, std::string& error) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&img, path.c_str()) == 0) {
    error = img.message;
    return false;
  }
  out.channels = (img.format & PNG_FORMAT_FLAG_COLOR) != 0 ? 4 : 1;
  img.format = FormatOf(out.channels);
  out.width = static_cast<int>(img.width);
  out.height = static_cast<int>(img.height);
  out.pixels.assign(PNG_IMAGE_SIZE(img), 0);
  if (png_image_finish_read(&img, nullptr, out.pixels.data(), 0, nullptr) == 0) {
    error = img.message;
    png_image_free(&img);
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, const Image& src, std::string& error) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(src.width);
  img.height = static_cast<png_uint_32>(src.height);
  img.format = FormatOf(src.channels);
  const std::string temp = path + ".tmp";
  if (png_image_write_to_file(&img, temp.c_str(), 0, src.pixels.data(), 0, nullptr) == 0) {
    error = img.message;
    std::remove(temp.c_str());
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    error = ec.message();
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

::testing::AssertionResult MatchesGolden(const std::string& name, const Image& actual) {
  const std::string path = GoldenDir() + "/" + name + ".png";
  std::string error;
  if (UpdateRequested()) {
    if (!WritePng(path, actual, error))
      return ::testing::AssertionFailure() << "cannot write " << path << ": " << error;
    return ::testing::AssertionSuccess() << "rewrote " << path;
  }
  Image expected;
  if (!ReadPng(path, expected, error)) {
    return ::testing::AssertionFailure() << "cannot read " << path << " (" << error
                                         << "); run with BRENMARK_UPDATE_GOLDEN=1 to create it";
  }
  std::ostringstream why;
  if (expected.width != actual.width || expected.height != actual.height ||
      expected.channels != actual.channels) {
    why << name << ": size " << actual.width << "x" << actual.height << "x" << actual.channels
        << " differs from the reference " << expected.width << "x" << expected.height << "x"
        << expected.channels;
  } else {
    const int n = actual.width * actual.height;
    int first = -1, count = 0;
    for (int i = 0; i < n; ++i) {
      if (std::memcmp(&actual.pixels[i * actual.channels], &expected.pixels[i * actual.channels],
                      actual.channels) == 0)
        continue;
      if (first < 0) first = i;
      ++count;
    }
    if (first < 0) return ::testing::AssertionSuccess();
    why << name << ": " << count << " pixels differ; first at (" << first % actual.width << ", "
        << first / actual.width << ") from the top left: " << Pixel(actual, first) << ", reference "
        << Pixel(expected, first);
    WritePng(OutputDir() + "/" + name + ".diff.png", DiffImage(actual, expected), error);
  }
  WritePng(OutputDir() + "/" + name + ".actual.png", actual, error);
  return ::testing::AssertionFailure()
         << why.str() << " (actual and difference images in " << OutputDir() << ")";
}

}  // namespace golden
