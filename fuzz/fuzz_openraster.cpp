// Fuzzes the OpenRaster reader: the input is a document's bytes, read from
// memory under small limits. A refusal must say why; a document that reads
// is made into a canvas, saved again and read back, and must keep its
// layers through that.
#include <brenmark/brenmark.h>
#include <brenmark/openraster.h>
#include <brenmark/paint_manager.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_session.h"

namespace {

using brenmark::fuzz::FuzzSession;

FuzzSession& Fuzz() {
  static FuzzSession session;
  return session;
}

[[noreturn]] void Broken(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

brenmark::OpenRasterLimits SmallLimits() {
  brenmark::OpenRasterLimits limits;
  limits.maxSide = 1024;
  limits.maxEntryBytes = std::uint64_t{4} << 20;
  limits.maxTotalBytes = std::uint64_t{32} << 20;
  limits.maxEntries = 256;
  limits.maxLayers = 32;
  return limits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzSession& fuzz = Fuzz();
  brenmark::OpenRasterDocument document;
  const brenmark::OpenRasterResult read =
      brenmark::ReadOpenRasterMemory(data, size, document, SmallLimits());
  if (!read.ok) {
    if (read.message.empty()) Broken("a document was refused without a reason");
    return 0;
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
  if (document.LayerCount() > 8) return 0;  // saving many large layers is slow
  std::vector<std::uint8_t> saved;
  const brenmark::OpenRasterResult save = brenmark::SaveOpenRasterMemory(made.canvas, saved);
  if (!save.ok) Broken("a canvas that was opened did not save: " + save.message);
  brenmark::OpenRasterDocument back;
  const brenmark::OpenRasterResult again =
      brenmark::ReadOpenRasterMemory(saved.data(), saved.size(), back);
  if (!again.ok) Broken("a saved document did not read: " + again.message);
  if (back.LayerCount() != layers) Broken("a saved document lost layers");
  return 0;
}
