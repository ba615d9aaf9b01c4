// The container side of OpenRaster documents: zip archives through libzip
// (held in memory both ways), PNG entries through libpng, and whole files
// read and replaced safely.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "ora_internal.h"

namespace brenmark::ora {

namespace {

std::string ZipProblem(zip_error_t* error) {
  std::string text = zip_error_strerror(error);
  zip_error_fini(error);
  return text;
}

}  // namespace

ZipReader::~ZipReader() {
  if (zip_) zip_discard(zip_);
}

std::string ZipReader::Open(const void* bytes, std::size_t size, const OpenRasterLimits& limits) {
  limits_ = limits;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(size ? bytes : "", size, 0, &error);
  if (!source) return "cannot read the archive: " + ZipProblem(&error);
  zip_ = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!zip_) {
    zip_source_free(source);
    const int code = zip_error_code_zip(&error);
    const std::string detail = ZipProblem(&error);
    if (code == ZIP_ER_NOZIP) return "not an OpenRaster document (not a zip archive)";
    return "a damaged zip archive (" + detail + ")";
  }
  zip_error_fini(&error);
  const zip_int64_t count = zip_get_num_entries(zip_, 0);
  if (count > limits_.maxEntries) {
    return "the archive has " + std::to_string(count) + " entries; at most " +
           std::to_string(limits_.maxEntries) + " are read";
  }
  return "";
}

bool ZipReader::Has(const std::string& name) const {
  return zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

std::string ZipReader::FirstEntry(std::string& name) const {
  if (zip_get_num_entries(zip_, 0) < 1) return "the archive is empty";
  const char* first = zip_get_name(zip_, 0, 0);
  name = first ? first : "";
  return "";
}

std::string ZipReader::Charge(std::uint64_t bytes) {
  if (bytes > limits_.maxTotalBytes || total_ > limits_.maxTotalBytes - bytes) {
    return "the document would take more than " + std::to_string(limits_.maxTotalBytes) +
           " bytes of memory";
  }
  total_ += bytes;
  return "";
}

std::string ZipReader::Read(const std::string& name, std::vector<std::uint8_t>& out) {
  const zip_int64_t index = zip_name_locate(zip_, name.c_str(), 0);
  if (index < 0) return "the archive has no entry '" + name + "'";
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      !(st.valid & ZIP_STAT_SIZE)) {
    return "entry '" + name + "' is damaged";
  }
  if (st.size > limits_.maxEntryBytes) {
    return "entry '" + name + "' declares " + std::to_string(st.size) + " bytes; at most " +
           std::to_string(limits_.maxEntryBytes) + " are read";
  }
  if (std::string problem = Charge(st.size); !problem.empty()) return problem;
  zip_file_t* file = zip_fopen_index(zip_, static_cast<zip_uint64_t>(index), 0);
  if (!file) {
    return "entry '" + name + "' cannot be read (" + zip_strerror(zip_) + ")";
  }
  out.assign(static_cast<std::size_t>(st.size), 0);
  std::uint64_t done = 0;
  bool failed = false;
  while (done < st.size) {
    const zip_int64_t n = zip_fread(file, out.data() + done, st.size - done);
    if (n <= 0) {
      failed = true;
      break;
    }
    done += static_cast<std::uint64_t>(n);
  }
  // One byte more must not come: the entry holds no more than it declares.
  std::uint8_t extra = 0;
  if (!failed && zip_fread(file, &extra, 1) != 0) failed = true;
  std::string detail = failed ? zip_file_strerror(file) : "";
  if (zip_fclose(file) != 0 && !failed) {
    failed = true;
    detail = zip_strerror(zip_);
  }
  if (failed) {
    out.clear();
    return "entry '" + name + "' is damaged (" + detail + ")";
  }
  return "";
}

std::string WriteZip(const std::vector<Entry>& entries, std::vector<std::uint8_t>& out) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (!target) return "cannot make the archive: " + ZipProblem(&error);
  zip_t* zip = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  if (!zip) {
    zip_source_free(target);
    return "cannot make the archive: " + ZipProblem(&error);
  }
  zip_error_fini(&error);
  zip_source_keep(target);  // it must outlive zip_close, which writes into it
  std::string problem;
  for (const Entry& e : entries) {
    zip_source_t* s = zip_source_buffer(
        zip, e.bytes.empty() ? static_cast<const void*>("") : e.bytes.data(), e.bytes.size(), 0);
    const zip_int64_t index =
        s ? zip_file_add(zip, e.name.c_str(), s, ZIP_FL_ENC_UTF_8) : zip_int64_t{-1};
    if (index < 0) {
      if (s) zip_source_free(s);
      problem = "cannot add '" + e.name + "' to the archive: " + zip_strerror(zip);
      break;
    }
    // Fixed times keep the bytes of a saved document a function of the canvas alone.
    zip_file_set_mtime(zip, static_cast<zip_uint64_t>(index), 315532800, 0);
    if (zip_set_file_compression(zip, static_cast<zip_uint64_t>(index),
                                 e.store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) != 0) {
      problem = "cannot set the compression of '" + e.name + "'";
      break;
    }
  }
  if (!problem.empty()) {
    zip_discard(zip);
    zip_source_free(target);
    return problem;
  }
  if (zip_close(zip) != 0) {
    problem = std::string("cannot write the archive: ") + zip_strerror(zip);
    zip_discard(zip);
    zip_source_free(target);
    return problem;
  }
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_source_open(target) != 0) {
    zip_source_free(target);
    return "cannot read the archive back";
  }
  if (zip_source_stat(target, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) {
    out.assign(static_cast<std::size_t>(st.size), 0);
    if (zip_source_read(target, out.data(), st.size) != static_cast<zip_int64_t>(st.size)) {
      problem = "cannot read the archive back";
    }
  } else {
    problem = "cannot read the archive back";
  }
  zip_source_close(target);
  zip_source_free(target);
  return problem;
}

// ---- Files.

namespace {

std::string Errno(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// The file `path` finally names (links followed), or `path` itself when it
// does not exist yet.
std::string ResolveTarget(const std::string& path, std::string& target) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) {
    target = resolved;
    return "";
  }
  if (errno != ENOENT) return Errno("cannot reach '" + path + "'", errno);
  // A dangling link would be replaced by a file; follow it to its target.
  char link[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
  if (n > 0) {
    link[n] = '\0';
    std::string next = link;
    if (next[0] != '/') {
      const auto slash = path.rfind('/');
      if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    }
    target = next;
    return "";
  }
  target = path;
  return "";
}

}  // namespace

std::string WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path.empty()) return "no file name";
  std::string target;
  if (std::string problem = ResolveTarget(path, target); !problem.empty()) return problem;
  struct stat st;
  mode_t mode = 0;
  if (stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return "'" + path + "' is not a regular file";
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string temp = (slash == std::string::npos ? std::string() : folder) + ".brenmark-XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Errno("cannot write in the folder of '" + path + "'", errno);
  temp = name.data();
  std::size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!error && fchmod(fd, mode) != 0) error = errno;
  if (!error && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && !error) error = errno;
  if (!error && rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    unlink(temp.c_str());
    return Errno("cannot write '" + path + "'", error);
  }
  // The rename itself reaches the disk with the folder.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return "";
}

std::string ReadWholeFile(const std::string& path, std::uint64_t limit,
                          std::vector<std::uint8_t>& out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Errno("cannot open '" + path + "'", errno);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return "'" + path + "' is not a regular file";
  }
  if (static_cast<std::uint64_t>(st.st_size) > limit) {
    close(fd);
    return "'" + path + "' is larger than " + std::to_string(limit) + " bytes";
  }
  out.assign(static_cast<std::size_t>(st.st_size), 0);
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      close(fd);
      return Errno("cannot read '" + path + "'", error);
    }
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  return "";
}

// ---- PNG.

namespace {

struct PngInput {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
  char message[160];
};

void PngError(png_structp png, png_const_charp text) {
  auto* in = static_cast<PngInput*>(png_get_error_ptr(png));
  std::snprintf(in->message, sizeof in->message, "%s", text);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (length > in->size - in->pos) png_error(png, "the PNG data is truncated");
  std::memcpy(out, in->data + in->pos, length);
  in->pos += length;
}

}  // namespace

std::string DecodePng(const std::vector<std::uint8_t>& bytes, int channels, ZipReader& reader,
                      int maxSide, Pixels& out) {
  PngInput in{bytes.data(), bytes.size(), 0, ""};
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return "not a PNG file";
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &in, PngError, PngWarning);
  if (!png) return "out of memory";
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  std::string problem;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return "out of memory";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    out = Pixels();
    return in.message[0] ? std::string("damaged PNG data: ") + in.message : "damaged PNG data";
  }
  png_set_read_fn(png, &in, PngRead);
  png_set_chunk_cache_max(png, 128);
  png_set_chunk_malloc_max(png, std::size_t{4} << 20);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colour = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  if (width < 1 || height < 1 || width > static_cast<png_uint_32>(maxSide) ||
      height > static_cast<png_uint_32>(maxSide)) {
    problem = "a PNG of " + std::to_string(width) + " x " + std::to_string(height) +
              " pixels; at most " + std::to_string(maxSide) + " on a side";
  } else if (channels == 1 && (colour & PNG_COLOR_MASK_COLOR)) {
    problem = "a colour PNG where a greyscale one was expected";
  } else {
    problem = reader.Charge(std::uint64_t{width} * height * static_cast<unsigned>(channels));
  }
  if (!problem.empty()) {
    png_destroy_read_struct(&png, &info, nullptr);
    return problem;
  }
  if (depth == 16) png_set_scale_16(png);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (!(colour & PNG_COLOR_MASK_COLOR) && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (channels == 4) {
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (!(colour & PNG_COLOR_MASK_COLOR) || colour == PNG_COLOR_TYPE_PALETTE) {
      if (colour != PNG_COLOR_TYPE_PALETTE) png_set_gray_to_rgb(png);
    }
    if (!(colour & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS)) {
      png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    }
  } else if (colour & PNG_COLOR_MASK_ALPHA) {
    png_set_strip_alpha(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{width} * static_cast<unsigned>(channels)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return "a PNG of an unexpected layout";
  }
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.channels = channels;
  out.bytes.assign(out.RowBytes() * height, 0);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = out.Row(static_cast<int>(y));
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return "";
}

std::string EncodePng(const Pixels& pixels, std::vector<std::uint8_t>& out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(pixels.width);
  image.height = static_cast<png_uint_32>(pixels.height);
  image.format = pixels.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_GRAY;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.bytes.data(), 0, nullptr)) {
    const std::string problem = image.message;
    png_image_free(&image);
    return "cannot encode a PNG: " + problem;
  }
  out.assign(size, 0);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.bytes.data(), 0, nullptr)) {
    const std::string problem = image.message;
    png_image_free(&image);
    return "cannot encode a PNG: " + problem;
  }
  out.resize(size);
  return "";
}

}  // namespace brenmark::ora
