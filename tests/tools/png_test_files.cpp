// Test PNG files through libpng.
#include "png_test_files.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace brenmark::tool::test {

namespace {

// Holds nothing with a destructor: libpng errors longjmp back here.
bool WriteGuarded(png_structp png, png_infop info, std::FILE* file, const TestPng* t,
                  const std::uint8_t* const* rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(t->width), static_cast<png_uint_32>(t->height),
               t->bitDepth, t->colourType, t->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!t->palette.empty()) {
    png_color entries[256];
    const int n = static_cast<int>(t->palette.size() / 3);
    for (int i = 0; i < n; ++i) {
      entries[i] = {t->palette[3 * i], t->palette[3 * i + 1], t->palette[3 * i + 2]};
    }
    png_set_PLTE(png, info, entries, n);
  }
  if (!t->alphas.empty()) {
    png_set_tRNS(png, info, t->alphas.data(), static_cast<int>(t->alphas.size()), nullptr);
  }
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows));
  png_write_end(png, nullptr);
  return true;
}

int SamplesPerPixel(int colourType) {
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    default:
      return 4;
  }
}

}  // namespace

TestPng Rgba8(int width, int height, std::vector<std::uint8_t> rgba) {
  return Png(width, height, PNG_COLOR_TYPE_RGBA, 8, std::move(rgba));
}

TestPng Png(int width, int height, int colourType, int bitDepth,
            std::vector<std::uint8_t> samples) {
  return {width, height, colourType, bitDepth, false, std::move(samples), {}, {}};
}

bool WriteTestPng(const std::string& path, const TestPng& t) {
  const std::size_t rowBytes =
      (static_cast<std::size_t>(t.width) * SamplesPerPixel(t.colourType) * t.bitDepth + 7) / 8;
  std::vector<const std::uint8_t*> rows;
  for (int r = 0; r < t.height; ++r) rows.push_back(t.samples.data() + rowBytes * r);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  const bool ok = png && info && WriteGuarded(png, info, file, &t, rows.data());
  png_destroy_write_struct(&png, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

DecodedPng DecodePng(const std::string& path) {
  DecodedPng out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  const bool grey = (image.format & (PNG_FORMAT_FLAG_COLOR | PNG_FORMAT_FLAG_ALPHA)) == 0;
  image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGBA;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.channels = grey ? 1 : 4;
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  out.ok = png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return out;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace brenmark::tool::test
