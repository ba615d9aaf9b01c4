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

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "output_file.h"
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

// Where a read takes its bytes: a file or a block of memory. The first bytes
// (signature and header) are read ahead into `head` to check the image size
// before libpng sees it, then served again from there.
//
// libpng reads a chunk's length and type as one 8-byte read and its data
// and checksum in reads that never cross into the next chunk, so the source
// knows where each chunk starts and checks the length there: libpng would
// allocate a buffer of any length an ancillary chunk claims before finding
// that the file ends.
struct Source {
  std::FILE* file = nullptr;
  const std::uint8_t* data = nullptr;  // memory: all of it
  std::size_t size = 0;
  std::size_t pos = 0;  // bytes served so far
  std::uint8_t head[24] = {};
  std::size_t headSize = 0;
  std::size_t nextChunk = 8;  // where the next chunk starts
  char problem[96] = {};      // a refused chunk, for png_error

  // Copies up to `length` bytes to `out`; the count copied.
  std::size_t Take(std::uint8_t* out, std::size_t length) {
    std::size_t done = 0;
    if (data) {
      done = std::min(length, size - pos);
      std::memcpy(out, data + pos, done);
    } else {
      if (pos < headSize) {
        done = std::min(length, headSize - pos);
        std::memcpy(out, head + pos, done);
      }
      if (done < length) done += std::fread(out + done, 1, length - done, file);
    }
    pos += done;
    return done;
  }
};

void ReadFromSource(png_structp png, png_bytep data, std::size_t length) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  const std::size_t start = source->pos;
  const std::size_t got = source->Take(data, length);
  if (start == source->nextChunk && got >= 8) {
    const std::uint32_t claimed = std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
                                  std::uint32_t{data[2]} << 8 | data[3];
    // The pixels' own chunks are checked against the image size by libpng.
    if (std::memcmp(data + 4, "IDAT", 4) != 0 && claimed > kMaxPngChunkBytes) {
      std::snprintf(source->problem, sizeof source->problem,
                    "a chunk claims %u bytes; a chunk may hold at most %u MiB",
                    static_cast<unsigned>(claimed), static_cast<unsigned>(kMaxPngChunkBytes >> 20));
      png_error(png, source->problem);
    }
    source->nextChunk = start + 12 + claimed;
  }
  if (got == length) return;
  if (source->file && std::ferror(source->file)) {
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

namespace {

std::string TooLarge(const std::string& name, std::uint32_t width, std::uint32_t height) {
  return Quoted(name) + " is " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels; an image may be at most " + std::to_string(kMaxImageSide) + " x " +
         std::to_string(kMaxImageSide);
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Reads the PNG `source` holds (its signature checked, `source.head` filled);
// `name` names it in messages.
std::string ReadSource(Source& source, const std::string& name, PngPixels want, ImagePixels& out,
                       Progress* progress) {
  out = ImagePixels();
  constexpr std::size_t kSignature = 8;
  if (source.headSize < kSignature || png_sig_cmp(source.head, 0, kSignature) != 0) {
    return Quoted(name) + " is not a PNG file";
  }
  // The header chunk comes first: its size is checked here, with this
  // tool's message, before libpng allocates anything for it.
  if (source.headSize == sizeof source.head && std::memcmp(source.head + 12, "IHDR", 4) == 0) {
    const std::uint32_t width = BigEndian32(source.head + 16);
    const std::uint32_t height = BigEndian32(source.head + 20);
    if (width > kMaxImageSide || height > kMaxImageSide) return TooLarge(name, width, height);
  }
  source.pos = kSignature;

  PngFailure failure;
  ReadStruct rs;
  rs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
  if (rs.png) rs.info = png_create_info_struct(rs.png);
  if (!rs.png || !rs.info) return "not enough memory to read " + Quoted(name);
  png_set_read_fn(rs.png, &source, ReadFromSource);
  png_set_sig_bytes(rs.png, kSignature);
  // libpng's own limits follow the tool's, so that no chunk of a hostile
  // file (a text chunk claiming gigabytes, thousands of small chunks) makes
  // it allocate more than a few megabytes before the pixels.
  png_set_user_limits(rs.png, kMaxImageSide, kMaxImageSide);
  png_set_chunk_cache_max(rs.png, kMaxPngChunks);
  png_set_chunk_malloc_max(rs.png, kMaxPngChunkBytes);

  PngHeader header;
  if (!ReadHeaderGuarded(rs.png, rs.info, &header)) return Damaged(name, failure);
  if (header.width > kMaxImageSide || header.height > kMaxImageSide) {
    return TooLarge(name, header.width, header.height);
  }
  if (want == PngPixels::kGrey && header.colourType != PNG_COLOR_TYPE_GRAY) {
    return Quoted(name) + " is not a greyscale PNG without alpha";
  }
  int channels = 0, passes = 1;
  if (!SetTransformsGuarded(rs.png, rs.info, want, &channels, &passes)) {
    return Damaged(name, failure);
  }
  const int expected = want == PngPixels::kRgba ? 4 : 1;
  if (channels != expected) return Quoted(name) + " has a pixel layout this tool cannot read";
  if (!out.Allocate(static_cast<int>(header.width), static_cast<int>(header.height), channels)) {
    out = ImagePixels();
    return "not enough memory for " + Quoted(name) + " (" + std::to_string(header.width) + " x " +
           std::to_string(header.height) + " pixels)";
  }
  const std::string label = "reading " + Printable(name);
  if (!ReadRowsGuarded(rs.png, &out, passes, progress, label.c_str())) {
    out = ImagePixels();
    return Damaged(name, failure);
  }
  return "";
}

}  // namespace

std::string ReadPng(const std::string& path, PngPixels want, ImagePixels& out, Progress* progress) {
  out = ImagePixels();
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
  Source source;
  source.file = file.get();
  source.headSize = std::fread(source.head, 1, sizeof source.head, file.get());
  if (std::ferror(file.get())) {
    return "cannot read " + Quoted(path) + ": " + std::strerror(errno);
  }
  return ReadSource(source, path, want, out, progress);
}

std::string ReadPngMemory(const std::uint8_t* data, std::size_t size, PngPixels want,
                          ImagePixels& out, Progress* progress) {
  Source source;
  source.data = data ? data : source.head;
  source.size = data ? size : 0;
  source.headSize = data ? std::min(size, sizeof source.head) : 0;
  if (source.headSize > 0) std::memcpy(source.head, data, source.headSize);
  return ReadSource(source, "<memory>", want, out, progress);
}

std::string WritePng(const std::string& path, const ImagePixels& pixels, Progress* progress) {
  OutputFile file;
  if (std::string problem = file.Open(path); !problem.empty()) return problem;
  PngFailure failure;
  bool written = false;
  {
    WriteStruct ws;
    ws.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
    if (ws.png) ws.info = png_create_info_struct(ws.png);
    if (ws.png && ws.info) {
      png_set_write_fn(ws.png, file.Stream(), WriteToFile, FlushFile);
      const std::string label = "writing " + Printable(path);
      written = WriteGuarded(ws.png, ws.info, &pixels, progress, label.c_str());
    } else {
      std::snprintf(failure.message, sizeof failure.message, "not enough memory");
    }
  }
  if (written) return file.Commit();
  file.Discard();
  std::string text = "cannot write " + Quoted(path) + ": " + failure.message;
  if (failure.systemError != 0)
    text += std::string(" (") + std::strerror(failure.systemError) + ")";
  return text;
}

}  // namespace brenmark::tool
