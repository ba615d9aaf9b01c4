// Fuzzes the OpenRaster reader: the input is a document's bytes, read from
// memory under small limits. A refusal must say why; a document that reads
// is made into a canvas, saved again and read back, and must keep its
// layers through that. Most mutations of a stored entry would only break
// its CRC, which the reader refuses at once; so the input is read once as
// it is and once with the CRC of every stored entry made right, which lets
// mutated stack.xml and PNG contents reach their parsers.
#include <zlib.h>

#include <brenmark/brenmark.h>
#include <brenmark/openraster.h>
#include <brenmark/paint_manager.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_session.h"

namespace {

using brenmark::fuzz::Broken;
using brenmark::fuzz::FuzzSession;

brenmark::OpenRasterLimits SmallLimits() {
  brenmark::OpenRasterLimits limits;
  limits.maxSide = 1024;
  limits.maxEntryBytes = std::uint64_t{4} << 20;
  limits.maxTotalBytes = std::uint64_t{32} << 20;
  limits.maxEntries = 256;
  limits.maxLayers = 32;
  return limits;
}

std::uint32_t Little(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

void PutLittle32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The input with the CRC of every whole stored entry recomputed, in its
// local header and in the central directory's record of it.
std::vector<std::uint8_t> WithGoodCrcs(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out(data, data + size);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> crcs;  // local header offset, CRC
  for (std::size_t p = 0; p + 30 <= size; ++p) {
    if (Little(&out[p], 4) != 0x04034b50u || Little(&out[p + 8], 2) != 0) continue;
    const std::size_t length = Little(&out[p + 18], 4);
    const std::size_t start = p + 30 + Little(&out[p + 26], 2) + Little(&out[p + 28], 2);
    if (length != Little(&out[p + 22], 4) || start > size || length > size - start) continue;
    const std::uint32_t crc =
        static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(length)));
    PutLittle32(&out[p + 14], crc);
    crcs.emplace_back(static_cast<std::uint32_t>(p), crc);
  }
  for (std::size_t p = 0; p + 46 <= size; ++p) {
    if (Little(&out[p], 4) != 0x02014b50u) continue;
    const std::uint32_t local = Little(&out[p + 42], 4);
    for (const auto& [offset, crc] : crcs) {
      if (offset == local) PutLittle32(&out[p + 16], crc);
    }
  }
  return out;
}

void ReadAndRoundTrip(const std::uint8_t* data, std::size_t size);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReadAndRoundTrip(data, size);
  const std::vector<std::uint8_t> fixed = WithGoodCrcs(data, size);
  if (!std::equal(fixed.begin(), fixed.end(), data)) ReadAndRoundTrip(fixed.data(), fixed.size());
  return 0;
}

namespace {

void ReadAndRoundTrip(const std::uint8_t* data, std::size_t size) {
  FuzzSession& fuzz = FuzzSession::Get();
  brenmark::OpenRasterDocument document;
  const brenmark::OpenRasterResult read =
      brenmark::ReadOpenRasterMemory(data, size, document, SmallLimits());
  if (!read.ok) {
    if (read.message.empty()) Broken("a document was refused without a reason");
    return;
  }
  if (document.Width() < 1 || document.Height() < 1 || document.Width() > 1024 ||
      document.Height() > 1024) {
    Broken("a document of " + std::to_string(document.Width()) + " x " +
           std::to_string(document.Height()) + " was read");
  }
  fuzz.Reset();
  const brenmark::OpenRasterResult made = brenmark::CreateCanvas(document);
  if (!made.ok) Broken("a read document made no canvas: " + made.message);
  const int layers = Brenmark.GetLayerCount(made.canvas);
  if (layers != document.LayerCount()) Broken("the canvas lost layers");
  if (document.LayerCount() > 8) return;  // saving many large layers is slow
  std::vector<std::uint8_t> saved;
  const brenmark::OpenRasterResult save = brenmark::SaveOpenRasterMemory(made.canvas, saved);
  if (!save.ok) Broken("a canvas that was opened did not save: " + save.message);
  brenmark::OpenRasterDocument back;
  const brenmark::OpenRasterResult again =
      brenmark::ReadOpenRasterMemory(saved.data(), saved.size(), back);
  if (!again.ok) Broken("a saved document did not read: " + again.message);
  if (back.LayerCount() != layers) Broken("a saved document lost layers");
}

}  // namespace
