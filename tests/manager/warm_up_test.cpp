// The paint manager's one-time warm-up stroke: it paints off screen into a
// scratch image that leaves no pages behind, and runs only once.
#include <array>
#include <cstdint>

#include "brenmark/stamp.h"
#include "brenmark/stamp_cache.h"
#include "brenmark/store_stats.h"
#include "layers/engine_fixture.h"
#include "paintops/dither.h"
#include "platform/platform.h"

namespace brenmark::testing {
namespace {

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
  if (!platform::HasMMX()) GTEST_SKIP() << "the warm-up runs only with MMX";
  const unsigned char none[4] = {0, 0, 0, 0};
  auto* live = new ilSmartImage(ilPixel(ilUChar, 4, none));
  live->ref();
  const std::uint32_t red = 0xff0000ffu;
  live->setTile(100, 100, 1, 1, &red);  // the cache exists and holds a page
  PaintManager manager;
  const auto held = HeldPages();
  const long long lookups = DabLookups();
  const std::uint32_t dither = BlendDither::Counter();

  manager.InitPaintManager();
  EXPECT_TRUE(manager.IsInitialized());
  EXPECT_EQ(HeldPages(), held);
  EXPECT_GT(DabLookups(), lookups + 10);  // dabs along all three segments
  EXPECT_NE(BlendDither::Counter(), dither);

  const long long afterFirst = DabLookups();
  const std::uint32_t ditherAfterFirst = BlendDither::Counter();
  manager.InitPaintManager();
  EXPECT_EQ(DabLookups(), afterFirst);
  EXPECT_EQ(BlendDither::Counter(), ditherAfterFirst);
  EXPECT_EQ(HeldPages(), held);
  std::uint32_t kept = 0;
  live->getTile(100, 100, 1, 1, &kept);
  EXPECT_EQ(kept, red);
  manager.GetStamp()->unref();  // the manager never releases its stamp
  live->unref();
}

}  // namespace
}  // namespace brenmark::testing
