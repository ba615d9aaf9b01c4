// PNG files through libpng.
//
// libpng reports an error by calling our error handler, which longjmps back
// to the setjmp of the libpng call in progress. The functions that call
// setjmp ("...Guarded") therefore hold nothing with a destructor and touch
// no local after the jump; the libpng structures, the file and the pixel
// buffer are owned by their callers' frames, which the jump never crosses,
// and are released there on every path.
#include "png_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "script_syntax.h"

namespace brenmark::tool {

namespace {

// What a failed libpng call left behind: its message, and the system error
// of a failed file transfer (0 for none).
struct PngFailure {
  char message[160] = {};
  int systemError = 0;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message ? message : "error");
  png_longjmp(png, 1);
}

// Warnings (unknown profiles, stray chunks) do not stop a read or a write.
void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromFile(png_structp png, png_bytep data, std::size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, file) == length) return;
  if (std::ferror(file)) {
    static_cast<PngFailure*>(png_get_error_ptr(png))->systemError = errno;
    png_error(png, "the file could not be read");
  }
  png_error(png, "the file ends too early");
}

void WriteToFile(png_structp png, png_bytep data, std::size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, file) == length) return;
  static_cast<PngFailure*>(png_get_error_ptr(png))->systemError = errno;
  png_error(png, "the file could not be written");
}

void FlushFile(png_structp png) {
  std::fflush(static_cast<std::FILE*>(png_get_io_ptr(png)));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Owners of the libpng structures.
struct ReadStruct {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStruct() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};
struct WriteStruct {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStruct() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

struct PngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colourType = 0;
};

std::string Quoted(const std::string& path) {
  return "'" + Printable(path) + "'";
}

std::string Damaged(const std::string& path, const PngFailure& failure) {
  std::string text = Quoted(path) + " is not a readable PNG: " + failure.message;
  if (failure.systemError != 0)
    text += std::string(" (") + std::strerror(failure.systemError) + ")";
  return text;
}

bool ReadHeaderGuarded(png_structp png, png_infop info, PngHeader* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth, &header->colourType,
               nullptr, nullptr, nullptr);
  return true;
}

// Asks libpng for 8-bit pixels of the wanted kind; `channels` and `passes`
// receive what the rows will hold and how many interlace passes there are.
bool SetTransformsGuarded(png_structp png, png_infop info, PngPixels want, int* channels,
                          int* passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_scale_16(png);
  if (want == PngPixels::kRgba) {
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  } else {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  *passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  *channels = png_get_channels(png, info);
  return true;
}

bool ReadRowsGuarded(png_structp png, ImagePixels* out, int passes, Progress* progress,
                     const char* label) {
  if (setjmp(png_jmpbuf(png))) return false;
  const double total = static_cast<double>(passes) * out->height;
  for (int pass = 0; pass < passes; ++pass) {
    for (int r = 0; r < out->height; ++r) {
      png_read_row(png, out->Row(out->height - 1 - r), nullptr);
      if (progress && (r & 63) == 0) progress->Update(label, (pass * out->height + r) / total);
    }
  }
  png_read_end(png, nullptr);
  return true;
}

bool WriteGuarded(png_structp png, png_infop info, const ImagePixels* pixels, Progress* progress,
                  const char* label) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(pixels->width),
               static_cast<png_uint_32>(pixels->height), 8,
               pixels->channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int r = 0; r < pixels->height; ++r) {
    // The file holds the top row first.
    png_write_row(png, pixels->Row(pixels->height - 1 - r));
    if (progress && (r & 63) == 0) progress->Update(label, static_cast<double>(r) / pixels->height);
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool ImagePixels::Allocate(int w, int h, int c) {
  width = w;
  height = h;
  channels = c;
  try {
    bytes.assign(RowBytes() * static_cast<std::size_t>(h), 0);
  } catch (const std::bad_alloc&) {
    bytes.clear();
    bytes.shrink_to_fit();
    return false;
  }
  return true;
}

std::string ReadPng(const std::string& path, PngPixels want, ImagePixels& out, Progress* progress) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    return "cannot open " + Quoted(path) + ": it is a directory";
  }
  errno = 0;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const int error = errno;
    return "cannot open " + Quoted(path) + ": " +
           (error != 0 ? std::strerror(error) : "unreadable");
  }
  png_byte signature[8] = {};
  if (std::fread(signature, 1, sizeof signature, file.get()) != sizeof signature ||
      png_sig_cmp(signature, 0, sizeof signature) != 0) {
    return Quoted(path) + " is not a PNG file";
  }

  PngFailure failure;
  ReadStruct rs;
  rs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
  if (rs.png) rs.info = png_create_info_struct(rs.png);
  if (!rs.png || !rs.info) return "not enough memory to read " + Quoted(path);
  png_set_read_fn(rs.png, file.get(), ReadFromFile);
  png_set_sig_bytes(rs.png, sizeof signature);
  // Sizes are checked below against our own limit, with our own message.
  png_set_user_limits(rs.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);

  PngHeader header;
  if (!ReadHeaderGuarded(rs.png, rs.info, &header)) return Damaged(path, failure);
  if (header.width > kMaxImageSide || header.height > kMaxImageSide) {
    return Quoted(path) + " is " + std::to_string(header.width) + " x " +
           std::to_string(header.height) + " pixels; an image may be at most " +
           std::to_string(kMaxImageSide) + " x " + std::to_string(kMaxImageSide);
  }
  if (want == PngPixels::kGrey && header.colourType != PNG_COLOR_TYPE_GRAY) {
    return Quoted(path) + " is not a greyscale PNG without alpha";
  }
  int channels = 0, passes = 1;
  if (!SetTransformsGuarded(rs.png, rs.info, want, &channels, &passes)) {
    return Damaged(path, failure);
  }
  const int expected = want == PngPixels::kRgba ? 4 : 1;
  if (channels != expected) return Quoted(path) + " has a pixel layout this tool cannot read";
  if (!out.Allocate(static_cast<int>(header.width), static_cast<int>(header.height), channels)) {
    return "not enough memory for " + Quoted(path) + " (" + std::to_string(header.width) + " x " +
           std::to_string(header.height) + " pixels)";
  }
  const std::string label = "reading " + Printable(path);
  if (!ReadRowsGuarded(rs.png, &out, passes, progress, label.c_str())) {
    out = ImagePixels();
    return Damaged(path, failure);
  }
  return "";
}

std::string WritePng(const std::string& path, const ImagePixels& pixels, Progress* progress) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    return "cannot write " + Quoted(path) + ": it is a directory";
  }
  const std::string partial = path + ".part";
  errno = 0;
  File file(std::fopen(partial.c_str(), "wb"));
  if (!file) {
    const int error = errno;
    return "cannot write " + Quoted(path) + ": " +
           (error != 0 ? std::strerror(error) : "cannot create the file");
  }
  PngFailure failure;
  bool written = false;
  {
    WriteStruct ws;
    ws.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
    if (ws.png) ws.info = png_create_info_struct(ws.png);
    if (ws.png && ws.info) {
      png_set_write_fn(ws.png, file.get(), WriteToFile, FlushFile);
      const std::string label = "writing " + Printable(path);
      written = WriteGuarded(ws.png, ws.info, &pixels, progress, label.c_str());
    } else {
      std::snprintf(failure.message, sizeof failure.message, "not enough memory");
    }
  }
  if (written && (std::fflush(file.get()) != 0 || std::ferror(file.get()))) {
    written = false;
    failure.systemError = errno;
    std::snprintf(failure.message, sizeof failure.message, "the file could not be written");
  }
  std::FILE* raw = file.release();
  if (std::fclose(raw) != 0 && written) {
    written = false;
    failure.systemError = errno;
    std::snprintf(failure.message, sizeof failure.message, "the file could not be written");
  }
  if (written && std::rename(partial.c_str(), path.c_str()) != 0) {
    written = false;
    failure.systemError = errno;
    std::snprintf(failure.message, sizeof failure.message, "the file could not be put in place");
  }
  if (written) return "";
  std::remove(partial.c_str());
  std::string text = "cannot write " + Quoted(path) + ": " + failure.message;
  if (failure.systemError != 0)
    text += std::string(" (") + std::strerror(failure.systemError) + ")";
  return text;
}

}  // namespace brenmark::tool
