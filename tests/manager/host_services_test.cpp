// The paint manager connects the page store to the host: memory figures for
// the page budget and the watermark pass over pages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "brenmark/brenmark.h"
#include "host/reference_host.h"
#include "imagestore/store_hooks.h"

namespace {

TEST(HostServices, MemoryFiguresComeFromTheHost) {
  brenmark::host::ReferenceHost host;
  host.SetMemoryKB(123456u, 65432u);
  Brenmark.SetCallbacks(host.Install());
  EXPECT_EQ(brenmark::imagestore::TotalMemoryKB(), 123456u);
  EXPECT_EQ(brenmark::imagestore::AvailableMemoryKB(), 65432u);
  host.SetMemoryKB(100000u, 5000u);
  EXPECT_EQ(brenmark::imagestore::AvailableMemoryKB(), 5000u);
}

TEST(HostServices, WatermarkReachesEveryPageInsideTheBounds) {
  brenmark::host::ReferenceHost host;
  Brenmark.SetCallbacks(host.Install());
  int calls = 0;
  host.SetWatermarkHook([&](void* pixels, int x, int y, int w, int h, int bw, int bh) {
    ++calls;
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 128);
    EXPECT_EQ(bw, 200);
    EXPECT_EQ(bh, 100);
    // Mark the page's first pixel with its origin.
    std::uint32_t mark = 0xFF000000u | static_cast<std::uint32_t>(x / 128 + 1);
    (void)y;
    std::memcpy(pixels, &mark, 4);
  });
  std::uint32_t zero = 0;
  ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 4, &zero));
  img->ref();
  std::uint32_t grey = 0xFF808080u;
  ASSERT_EQ(img->fillTile(0, 0, 200, 100, &grey), ilOkay);
  img->ApplyWatermark();
  EXPECT_EQ(calls, 2);
  std::uint32_t px = 0;
  img->getTile(0, 0, 1, 1, &px);
  EXPECT_EQ(px, 0xFF000001u);
  img->getTile(128, 0, 1, 1, &px);
  EXPECT_EQ(px, 0xFF000002u);
  img->getTile(1, 0, 1, 1, &px);
  EXPECT_EQ(px, grey);
  img->unref();
}

}  // namespace
