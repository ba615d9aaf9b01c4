// Swap files give space back: the lowest free slot is taken first, and the
// file is cut down when the slots at its end are freed, down to nothing.
#include <gtest/gtest.h>

#include <brenmark/smart_image.h>

#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "imagestore/page_cache.h"
#include "imagestore/store_test_support.h"
#include "imagestore/swap_file.h"

using brenmark::imagestore::SwapFile;
using brenmark::imagestore::SwapSlot;

namespace {

constexpr std::uint32_t kSlot = 16384;

std::int64_t FileBytes(const SwapFile& file) {
  struct stat st;
  return fstat(file.Descriptor(), &st) == 0 ? st.st_size : -1;
}

// Each step allocates (free < 0) or frees slot number `free` of the ones
// allocated so far, then checks the new slot's offset (allocations), the
// size of the file in slots and the free slots kept.
struct Step {
  int free;
  std::uint64_t offsetSlot;
  std::uint64_t slots;
  int freeSlots;
};

TEST(SwapShrink, LowestFreeSlotFirstAndTheEndIsCutDown) {
  const Step steps[] = {
      {-1, 0, 1, 0},  // s0
      {-1, 1, 2, 0},  // s1
      {-1, 2, 3, 0},  // s2
      {-1, 3, 4, 0},  // s3
      {1, 0, 4, 1},   // a freed middle slot is kept
      {-1, 1, 4, 0},  // s5: and reused before the file grows
      {0, 0, 4, 1},   // s0 freed
      {2, 0, 4, 2},   // s2 freed
      {-1, 0, 4, 1},  // s8: the lowest free slot, not the last freed
      {5, 0, 4, 2},   // s5 freed: slots 1 and 2 are free below s3
      {3, 0, 1, 0},   // s3, the last slot, goes and takes both with it
      {8, 0, 0, 0},   // the last in use: the file is empty
      {-1, 0, 1, 0},  // and starts again at 0
  };
  SwapFile file(kSlot);
  std::vector<std::uint8_t> block(kSlot, 0x5A);
  std::vector<SwapSlot*> made;
  for (const Step& s : steps) {
    SCOPED_TRACE(made.size());
    if (s.free < 0) {
      SwapSlot* slot = file.AllocSlot();
      EXPECT_EQ(slot->offset, s.offsetSlot * kSlot);
      ASSERT_TRUE(file.Write(slot, block.data()));
      made.push_back(slot);
    } else {
      file.FreeSlot(made[static_cast<std::size_t>(s.free)]);
      made.push_back(nullptr);
    }
    EXPECT_EQ(file.SlotCount(), s.slots);
    EXPECT_EQ(file.FreeSlots(), s.freeSlots);
    EXPECT_EQ(FileBytes(file), static_cast<std::int64_t>(s.slots * kSlot));
  }
  EXPECT_EQ(file.SlotsInUse(), 1);
}

// Pages of a released image give their slots back, and the swap file goes
// back to the size it had before the image was made.
TEST(SwapShrink, ReleasedImageEmptiesTheSwapFile) {
  store_test::SmartImageCache* cache = store_test::Cache();
  const SwapFile& swap = cache->BigSwapFile();
  const std::uint64_t slotsBefore = swap.SlotCount();
  {
    store_test::ScopedBudget budget(8 * store_test::SmartImageCache::kMB);
    store_test::Img img;
    std::vector<std::uint32_t> page;
    for (int i = 0; i < 256; ++i) {  // 16 MB of distinct pages
      page = store_test::Pattern(static_cast<std::uint32_t>(i + 1), 128 * 128);
      img->setTile((i % 16) * 128, (i / 16) * 128, 128, 128, page.data());
    }
    EXPECT_GE(swap.SlotCount(), slotsBefore + 128);
    EXPECT_EQ(FileBytes(swap), static_cast<std::int64_t>(swap.SlotCount() * 65536));
    // The last page comes back intact from wherever it went.
    std::vector<std::uint32_t> back(128 * 128);
    ASSERT_EQ(img->getTile(15 * 128, 15 * 128, 128, 128, back.data()), ilOkay);
    EXPECT_EQ(back, page);
  }
  EXPECT_EQ(swap.SlotCount(), slotsBefore);
  EXPECT_EQ(FileBytes(swap), static_cast<std::int64_t>(slotsBefore * 65536));
}

}  // namespace
