// Fuzzes PNG import: the input is a PNG file's bytes, decoded with the
// tool's in-memory reader both as RGBA and as grey. Most mutations would
// only break a chunk's CRC, which the reader refuses at once; so the input
// is read once as it is, and then with every chunk's CRC made right, which
// lets mutated chunk contents reach the decoder. What decodes is checked for
// shape and for agreement between the two (a grey image read as RGBA has
// equal channels), and, when small, imported through the tool's own
// commands as an image layer and a mask, exported again and compared: the
// opaque pixels must come back exactly.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_session.h"
#include "png_io.h"

namespace {

using brenmark::fuzz::Broken;
using brenmark::fuzz::FuzzSession;
namespace tool = brenmark::tool;

// The tool reads images of up to 16384 x 16384 (1 GiB), and a few KB of
// compressed data can declare that much; larger headers are not decoded
// here, to keep each input in milliseconds.
constexpr std::uint64_t kMaxDecodePixels = std::uint64_t{1} << 20;
// Images up to this size also go through the import and export commands.
constexpr std::uint64_t kMaxImportPixels = std::uint64_t{1} << 16;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The size the header declares, when the input starts like a PNG.
std::uint64_t DeclaredPixels(const std::uint8_t* data, std::size_t size) {
  if (size < 24 || std::string(reinterpret_cast<const char*>(data) + 12, 4) != "IHDR") return 0;
  return std::uint64_t{BigEndian32(data + 16)} * BigEndian32(data + 20);
}

// The input with the CRC of every whole chunk recomputed.
std::vector<std::uint8_t> WithGoodCrcs(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out(data, data + size);
  std::size_t pos = 8;  // after the signature
  while (pos + 12 <= size) {
    const std::size_t length = BigEndian32(data + pos);
    if (length > size - pos - 12) break;
    const uLong crc = crc32(0L, out.data() + pos + 4, static_cast<uInt>(length + 4));
    std::uint8_t* at = out.data() + pos + 8 + length;
    at[0] = static_cast<std::uint8_t>(crc >> 24);
    at[1] = static_cast<std::uint8_t>(crc >> 16);
    at[2] = static_cast<std::uint8_t>(crc >> 8);
    at[3] = static_cast<std::uint8_t>(crc);
    pos += 12 + length;
  }
  return out;
}

void CheckShape(const tool::ImagePixels& p, int channels, const char* what) {
  if (p.width < 1 || p.height < 1 || p.width > tool::kMaxImageSide ||
      p.height > tool::kMaxImageSide || p.channels != channels ||
      p.bytes.size() != p.RowBytes() * static_cast<std::size_t>(p.height)) {
    Broken(std::string(what) + " decoded to " + std::to_string(p.width) + " x " +
           std::to_string(p.height) + " x " + std::to_string(p.channels) + " in " +
           std::to_string(p.bytes.size()) + " bytes");
  }
}

void Run(FuzzSession& fuzz, const std::string& line) {
  if (std::string problem = fuzz.RunLine(line); !problem.empty()) {
    Broken("'" + line + "' failed: " + problem);
  }
}

// Imports the file as a layer and, when it is grey, as a mask, exports the
// layer and compares what comes back with what was decoded.
void RoundTrip(FuzzSession& fuzz, const tool::ImagePixels& rgba, bool grey) {
  Run(fuzz, "canvas 64 64");
  Run(fuzz, "add-layer Base");
  Run(fuzz, "import in.png 0 0 Picture");
  if (grey) Run(fuzz, "import-mask in.png 0 0 Mask");
  Run(fuzz, "export Picture out.png 0 0 " + std::to_string(rgba.width) + " " +
                std::to_string(rgba.height));
  tool::ImagePixels back;
  if (std::string problem =
          tool::ReadPng(fuzz.Folder() + "/out.png", tool::PngPixels::kRgba, back, nullptr);
      !problem.empty()) {
    Broken("the exported layer does not read back: " + problem);
  }
  CheckShape(back, 4, "the exported layer");
  if (back.width != rgba.width || back.height != rgba.height) Broken("the export changed size");
  for (std::size_t i = 0; i < rgba.bytes.size(); i += 4) {
    const std::uint8_t a = rgba.bytes[i + 3];
    if (a != 255 && a != 0) continue;  // premultiplying loses colour there
    for (std::size_t c = 0; c < 4; ++c) {
      const std::uint8_t want = a == 0 ? 0 : rgba.bytes[i + c];
      if (back.bytes[i + c] != want) {
        Broken("pixel " + std::to_string(i / 4) + " channel " + std::to_string(c) +
               " came back as " + std::to_string(back.bytes[i + c]) + ", not " +
               std::to_string(want));
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSession::Get();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t size) {
  if (DeclaredPixels(raw, size) > kMaxDecodePixels) return 0;
  const std::vector<std::uint8_t> fixed = WithGoodCrcs(raw, size);
  if (!std::equal(fixed.begin(), fixed.end(), raw)) {
    tool::ImagePixels asIs;
    if (tool::ReadPngMemory(raw, size, tool::PngPixels::kRgba, asIs, nullptr).empty()) {
      CheckShape(asIs, 4, "RGBA with bad CRCs");
    }
  }
  const std::uint8_t* data = fixed.data();
  tool::ImagePixels rgba, grey;
  const bool colourOk =
      tool::ReadPngMemory(data, size, tool::PngPixels::kRgba, rgba, nullptr).empty();
  const bool greyOk =
      tool::ReadPngMemory(data, size, tool::PngPixels::kGrey, grey, nullptr).empty();
  if (colourOk) CheckShape(rgba, 4, "RGBA");
  if (greyOk) {
    CheckShape(grey, 1, "grey");
    if (!colourOk) Broken("the file decodes as grey but not as RGBA");
    if (grey.width != rgba.width || grey.height != rgba.height)
      Broken("grey and RGBA sizes differ");
    for (std::size_t i = 0; i < grey.bytes.size(); ++i) {
      const std::uint8_t* p = &rgba.bytes[i * 4];
      if (p[0] != grey.bytes[i] || p[1] != grey.bytes[i] || p[2] != grey.bytes[i]) {
        Broken("pixel " + std::to_string(i) + " is grey " + std::to_string(grey.bytes[i]) +
               " but RGBA " + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," +
               std::to_string(p[2]));
      }
    }
  }
  if (!colourOk || rgba.PixelCount() > kMaxImportPixels) return 0;
  // The import commands read files: the same bytes go through them too.
  FuzzSession& fuzz = FuzzSession::Get();
  {
    std::ofstream file(fuzz.Folder() + "/in.png", std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) Broken("cannot write in.png");
  }
  RoundTrip(fuzz, rgba, greyOk);
  fuzz.Reset();
  return 0;
}
