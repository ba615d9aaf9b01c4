// What the OpenRaster library's files share: decoded pixels, the document
// as read, the zip container, PNG coding and the namespace of Brenmark's
// own attributes.
#pragma once

#include <brenmark/openraster.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brenmark::ora {

// The namespace of Brenmark's attributes in stack.xml, and its prefix.
inline constexpr const char* kNamespace = "urn:brenmark:openraster:1";
inline constexpr const char* kPrefix = "brenmark:";

// Layer positions and offsets are kept well inside the engine's page plane
// (-102400 ... 102400), so a layer and the canvas always fit in it together.
inline constexpr int kMaxPosition = 65536;

// width x height pixels of `channels` bytes (1: grey; 4: R, G, B, A,
// straight alpha), rows packed, the TOP row first as in PNG files.
struct Pixels {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<std::uint8_t> bytes;

  std::size_t RowBytes() const { return static_cast<std::size_t>(width) * channels; }
  std::uint8_t* Row(int y) { return bytes.data() + RowBytes() * static_cast<std::size_t>(y); }
  const std::uint8_t* Row(int y) const {
    return bytes.data() + RowBytes() * static_cast<std::size_t>(y);
  }
};

// c' = round(c * a / 255)
inline std::uint8_t Premultiply(std::uint8_t c, std::uint8_t a) {
  return static_cast<std::uint8_t>((unsigned{c} * a + 127) / 255);
}
// c = round(c' * 255 / a), at most 255; 0 when a is 0. Premultiplying the
// result gives c' back for every c' <= a.
inline std::uint8_t Unpremultiply(std::uint8_t c, std::uint8_t a) {
  if (a == 0) return 0;
  const unsigned v = (unsigned{c} * 510 + a) / (2u * a);
  return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// One layer as the document describes it, in canvas pixels with y upwards
// from the bottom-left corner (the engine's space): its pixels cover
// (x, y) .. (x + width, y + height).
struct LayerData {
  std::string name;
  bool mask = false;
  bool visible = true;
  bool maskActive = true;
  bool selected = false;
  bool empty = false;  // no pixels at all: the PNG is a placeholder
  float opacity = 1.0f;
  int x = 0;
  int y = 0;
  float offsetX = 0.0f;  // the layer's own offset; its pixels sit at canvas - offset
  float offsetY = 0.0f;
  Pixels pixels;                        // RGBA straight, or grey for a mask; before the stencil
  std::uint8_t fill[4] = {0, 0, 0, 0};  // premultiplied (one byte for a mask)
  bool hasStencil = false;
  Pixels stencil;  // grey, over the same rectangle as `pixels`
  std::uint8_t stencilFill = 255;
};

struct SelectionData {
  bool present = false;  // false: open everywhere, as a new canvas has it
  bool active = true;
  int x = 0;
  int y = 0;
  Pixels pixels;  // grey; 255 protects
  std::uint8_t fill = 0;
};

}  // namespace brenmark::ora

struct brenmark::OpenRasterDocument::Data {
  int width = 0;
  int height = 0;
  std::vector<ora::LayerData> layers;  // bottom first
  bool hasBackground = false;
  float background[4] = {1.0f, 1.0f, 1.0f, 1.0f};  // the canvas's PaintColor
  ora::SelectionData selection;
};

namespace brenmark::ora {

// ---- The zip container (ora_container.cpp).
class ZipReader {
 public:
  ZipReader() = default;
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // Opens the archive held in `bytes` (which must outlive the reader). The
  // problem, or empty.
  std::string Open(const void* bytes, std::size_t size, const OpenRasterLimits& limits);
  bool Has(const std::string& name) const;
  // Inflates the entry, checking its declared size against the limits (and
  // what all entries read so far add up to) before any byte is inflated.
  // The problem, or empty.
  std::string Read(const std::string& name, std::vector<std::uint8_t>& out);
  // The first bytes of the archive's first entry are `mimetype` holding
  // this content.
  std::string FirstEntry(std::string& name) const;
  // Charges `bytes` of decoded pixels against the total.
  std::string Charge(std::uint64_t bytes);

 private:
  struct zip* zip_ = nullptr;
  struct zip_source* source_ = nullptr;
  OpenRasterLimits limits_;
  std::uint64_t total_ = 0;
};

struct Entry {
  std::string name;
  std::vector<std::uint8_t> bytes;
  bool store = false;  // uncompressed
};
// The archive of `entries`, in order, into `out`. The problem, or empty.
std::string WriteZip(const std::vector<Entry>& entries, std::vector<std::uint8_t>& out);

// Writes `bytes` to `path` through a temporary file in its folder, flushed,
// synced and renamed into place. The problem, or empty.
std::string WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);
// The whole file at `path`, at most `limit` bytes. The problem, or empty.
std::string ReadWholeFile(const std::string& path, std::uint64_t limit,
                          std::vector<std::uint8_t>& out);

// ---- PNG (ora_container.cpp).
// Decodes a PNG of any kind (grey, palette, 8 or 16 bits, with or without
// alpha or transparency chunks) into 8-bit RGBA (channels 4) or grey
// (channels 1; a colour PNG is then refused). 16-bit channels are scaled to
// 8 bits with rounding. Sides above maxSide and pixel data that the reader's
// total would not allow are refused before decoding.
std::string DecodePng(const std::vector<std::uint8_t>& png, int channels, ZipReader& reader,
                      int maxSide, Pixels& out);
// 8-bit RGBA or grey PNG of `pixels`.
std::string EncodePng(const Pixels& pixels, std::vector<std::uint8_t>& out);

}  // namespace brenmark::ora
