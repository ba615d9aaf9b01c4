// The paint manager and the page store: memory figures from the host for
// the page budget, the watermark pass over pages, the store's messages, and
// the one-time warm-up stroke, which paints off screen into a scratch image
// that leaves no pages behind.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "brenmark/brenmark.h"
#include "brenmark/stamp.h"
#include "brenmark/stamp_cache.h"
#include "brenmark/store_stats.h"
#include "host/reference_host.h"
#include "imagestore/store_hooks.h"
#include "paintops/dither.h"
#include "platform/platform.h"

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
    EXPECT_EQ((std::vector<int>{y, w, h, bw, bh}), (std::vector<int>{0, 128, 128, 200, 100}));
    // Mark the page's first pixel with its origin.
    const std::uint32_t mark = 0xFF000000u | static_cast<std::uint32_t>(x / 128 + 1);
    std::memcpy(pixels, &mark, 4);
  });
  std::uint32_t zero = 0;
  ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 4, &zero));
  img->ref();
  std::uint32_t grey = 0xFF808080u;
  ASSERT_EQ(img->fillTile(0, 0, 200, 100, &grey), ilOkay);
  img->ApplyWatermark();
  EXPECT_EQ(calls, 2);
  std::uint32_t px[3] = {};
  for (int i = 0; i < 3; ++i) img->getTile((i % 2) * 128 + i / 2, 0, 1, 1, &px[i]);
  EXPECT_EQ(std::vector<std::uint32_t>(px, px + 3),
            (std::vector<std::uint32_t>{0xFF000001u, 0xFF000002u, grey}));
  img->unref();
}

// A store message reaches stderr and the host's message member (without its
// line break), never stdout; a host without that member gets nothing.
TEST(HostServices, StoreMessagesReachTheHostAndStderr) {
  brenmark::host::ReferenceHost host;
  const std::string text = "SID: SmartImage had to clip an image op to fit +- 102400";
  ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 1));
  img->ref();
  std::vector<std::uint8_t> buf(256 * 256);
  for (bool withMember : {true, false}) {
    BrenmarkCallbacks record = host.Install();
    if (!withMember) record.ShowMessage = nullptr;
    Brenmark.SetCallbacks(record);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(img->getTile(102300, 0, 256, 256, buf.data()), ilOkay);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), text + "\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  EXPECT_EQ(host.Messages(), std::vector<std::string>{text});
  img->unref();
}

// Everything the page cache holds for live images.
std::array<std::int64_t, 8> HeldPages() {
  const SmartImageCacheStatistics s = GetSmartImageCacheStatistics();
  return {s.bytesInMemory, s.bigPagesInMemory, s.smallPagesInMemory, s.retainedPages,
          s.swappedPages,  s.pagesToScan,      s.swapSlotsInUse,     s.smartImages};
}

long long DabLookups() {
  return StampImageCache::Shared().Hits() + StampImageCache::Shared().Misses();
}

// A manager of its own, so the warm-up runs here whatever the process's
// global manager did before.
TEST(WarmUpStroke, PaintsOnceAndLeavesNoPages) {
  if (!brenmark::platform::HasMMX()) GTEST_SKIP() << "the warm-up runs only with MMX";
  const unsigned char none[4] = {0, 0, 0, 0};
  auto* live = new ilSmartImage(ilPixel(ilUChar, 4, none));
  live->ref();
  const std::uint32_t red = 0xff0000ffu;
  live->setTile(100, 100, 1, 1, &red);  // the cache exists and holds a page
  PaintManager manager;
  const auto held = HeldPages();
  const long long lookups = DabLookups();
  const std::uint32_t dither = brenmark::BlendDither::Counter();

  manager.InitPaintManager();
  EXPECT_TRUE(manager.IsInitialized());
  EXPECT_EQ(HeldPages(), held);
  EXPECT_GT(DabLookups(), lookups + 10);  // dabs along all three segments
  EXPECT_NE(brenmark::BlendDither::Counter(), dither);

  const long long afterFirst = DabLookups();
  const std::uint32_t ditherAfterFirst = brenmark::BlendDither::Counter();
  manager.InitPaintManager();
  EXPECT_EQ(DabLookups(), afterFirst);
  EXPECT_EQ(brenmark::BlendDither::Counter(), ditherAfterFirst);
  EXPECT_EQ(HeldPages(), held);
  std::uint32_t kept = 0;
  live->getTile(100, 100, 1, 1, &kept);
  EXPECT_EQ(kept, red);
  manager.GetStamp()->unref();  // the manager never releases its stamp
  live->unref();
}

}  // namespace
