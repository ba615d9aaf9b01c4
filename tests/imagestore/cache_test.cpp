// The page cache and paging: budgets, swap slots and files, page-out, the
// replacement policy, the retained list and statistics; data integrity
// under memory pressure, the swap directory, swap files that never outlive
// the process, and swap-file failures that lose nothing, never hang and are
// never reported as success; environment switches and faults that latch
// the store (these, and tests that end the process, run in a fresh one).
#include <brenmark/smart_image.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <utility>

#include "imagestore/page.h"
#include "imagestore/store_state.h"
#include "imagestore/store_test_support.h"
#include "imagestore/swap_file.h"
#include "platform/platform.h"

using brenmark::imagestore::SmartImageCache;
using brenmark::imagestore::SwapFile;
using brenmark::imagestore::SwapSlot;
using store_test::Cache;
using store_test::ScopedBudget;

namespace {

constexpr std::size_t kMB = SmartImageCache::kMB;

constexpr std::uint32_t kSlot = 16384;

std::int64_t FileBytes(const SwapFile& file) {
  struct stat st;
  return fstat(file.Descriptor(), &st) == 0 ? st.st_size : -1;
}

unsigned g_total_kb = 0;
unsigned g_available_kb = 0;
unsigned TotalKB(void*) {
  return g_total_kb;
}
unsigned AvailableKB(void*) {
  return g_available_kb;
}

// A cache of its own (not the process's) for a machine of `totalMB`.
class StandaloneCache {
 public:
  StandaloneCache(unsigned totalMB, unsigned availableMB) {
    g_total_kb = totalMB * 1024;
    g_available_kb = availableMB * 1024;
    brenmark::imagestore::MemoryInfoSource source;
    source.total_kb = TotalKB;
    source.available_kb = AvailableKB;
    brenmark::imagestore::SetMemoryInfoSource(source);
    cache_ = new SmartImageCache();
  }
  ~StandaloneCache() {
    delete cache_;
    store_test::InstallFixedMemoryReport();
  }
  SmartImageCache* operator->() { return cache_; }

 private:
  SmartImageCache* cache_;
};

// `count` distinct in-memory pages of `pixelSize` bytes, oldest first.
std::vector<SmartImgPage> DistinctPages(int count, int pixelSize, std::uint32_t seed) {
  std::vector<SmartImgPage> pages;
  pages.reserve(static_cast<std::size_t>(count));  // moved handles would take references
  for (int i = 0; i < count; ++i) {
    pages.emplace_back(0, pixelSize);
    pages.back().Realize(2);
    const auto px = store_test::Pattern(seed + static_cast<std::uint32_t>(i), 16384);
    std::memcpy(pages.back().GetDataPtr(), px.data(), static_cast<std::size_t>(16384 * pixelSize));
  }
  return pages;
}

std::vector<int> SwappedIndices(std::vector<SmartImgPage>& pages) {
  std::vector<int> out;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (pages[i].IsSwapped()) out.push_back(static_cast<int>(i));
  }
  return out;
}

// Several images holding `megabytes` of distinct pages: four-channel images
// of 1024 pages (64 MB) and a one-channel mask, with a checksum per page.
class PageSet {
 public:
  explicit PageSet(int megabytes) {
    for (int i = 0; i <= megabytes / 64; ++i) {
      images_.push_back(new ilSmartImage(ilPixel(ilUChar, i < megabytes / 64 ? 4 : 1)));
      images_.back()->ref();
    }
  }
  ~PageSet() {
    for (ilSmartImage* img : images_) img->unref();
  }
  // Writes every page (32 x 32 pages per image) and remembers its checksum.
  void Write() { Walk(false); }
  // Reads every page back, columns first (not the write order); answers the
  // number of pages whose read failed or whose checksum differs.
  int Verify() { return Walk(true); }

 private:
  int Walk(bool read) {
    std::vector<std::uint32_t> page(128 * 128);
    int bad = 0;
    std::size_t k = 0;
    for (ilSmartImage* img : images_) {
      const std::size_t bytes = 128 * 128 * static_cast<std::size_t>(img->GetChannels());
      for (int i = 0; i < 1024; ++i) {
        const int px = read ? i / 32 : i % 32, py = read ? i % 32 : i / 32;
        const std::size_t index = k + static_cast<std::size_t>(py * 32 + px);
        if (!read) {
          const auto pattern = store_test::Pattern(static_cast<std::uint32_t>(index + 1),
                                                   static_cast<int>(bytes / 4));
          sums_.push_back(store_test::Checksum(pattern.data(), bytes));
          img->setTile(px * 128, py * 128, 128, 128, pattern.data());
        } else if (img->getTile(px * 128, py * 128, 128, 128, page.data()) != ilOkay ||
                   store_test::Checksum(page.data(), bytes) != sums_[index]) {
          if (bad++ == 0) ADD_FAILURE() << "page " << index << " at " << px << ", " << py;
        }
      }
      k += 1024;
    }
    return bad;
  }
  std::vector<ilSmartImage*> images_;
  std::vector<std::uint64_t> sums_;
};

// Files in `dir` whose name starts with "SID".
int SwapFilesIn(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().filename().string().rfind("SID", 0) == 0) ++n;
  }
  return n;
}

// A fresh directory under the system's temporary directory.
std::string MakeTempDir(const char* stem) {
  std::string dir = (std::filesystem::temp_directory_path() / stem).string() + "_XXXXXX";
  std::vector<char> buf(dir.begin(), dir.end());
  buf.push_back('\0');
  return mkdtemp(buf.data()) != nullptr ? std::string(buf.data()) : std::string();
}

// Store messages as the host receives them.
std::vector<std::string> g_host_messages;
void RecordMessage(void*, const char* text) {
  g_host_messages.emplace_back(text);
}

// One four-channel image of `pages` distinct pages in a row, each paged out
// at once: every later access reads the big swap file.
struct SwappedRow {
  explicit SwappedRow(int pages) : sums(pages) {
    for (int i = 0; i < pages; ++i) {
      const auto px = store_test::Pattern(900 + i, 128 * 128);
      sums[i] = store_test::Checksum(px.data(), 65536);
      img->setTile(i * 128, 0, 128, 128, px.data());
      Cache()->Evict(img->FindPageFromOrigin(i * 128, 0, 0)->Body());
    }
  }
  // The page's read status; `exact` tells whether its pixels came back.
  ilStatus Read(int i, bool* exact) {
    std::vector<std::uint32_t> px(128 * 128);
    const ilStatus st = img->getTile(i * 128, 0, 128, 128, px.data());
    *exact = store_test::Checksum(px.data(), 65536) == sums[i];
    return st;
  }
  store_test::Img img;
  std::vector<std::uint64_t> sums;
};

// Another image class that claims the smart image's type.
class Impostor : public ilSIDImage {
 public:
  Impostor() { setImageType(100); }
};

}  // namespace

TEST(CacheBudget, TableFollowsMachineMemory) {
  const std::pair<unsigned, unsigned> cases[] = {{63, 12},   {64, 16},   {95, 47},   {96, 32},
                                                 {191, 111}, {383, 255}, {767, 575}, {1024, 768}};
  for (auto [mb, budget] : cases) EXPECT_EQ(SmartImageCache::BudgetMBForMemory(mb), budget) << mb;
}

// Budgets of a machine of `total` MB with `available` MB free: at creation,
// after a request, and after a re-evaluation (idle step or allocation).
TEST(CacheBudget, FollowsRequestsAndAvailableMemory) {
  enum Step { kNone, kIdle, kGrow, kGrowAggressively };
  struct Case {
    unsigned total, available;
    std::size_t requestMB;  // 0: none
    Step step;
    std::size_t budgetMB;
  };
  static const Case kCases[] = {
      {63, 36, 0, kNone, 12},
      {1024, 36, 0, kNone, 64},  // creation: table, at most 64
      {1024, 36, 1, kNone, 8},
      {1024, 36, 4000, kNone, 768},            // requests: 8 .. table
      {1024, 36, 100, kIdle, 100},             // 32..40 MB available: no change
      {1024, 20, 100, kIdle, 24},              // 100 - 16, not above memory in use, at least 24
      {1024, 100, 30, kGrow, 90},              // + (100 - 40)
      {1024, 100, 30, kGrowAggressively, 46},  // + min(100 - 34, 16)
      {1024, 2000, 700, kIdle, 768},           // never above the table
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << c.total << " MB, " << c.available << " MB free, step " << c.step);
    StandaloneCache cache(c.total, c.available);
    EXPECT_EQ(cache->TotalMemoryMB(), c.total);
    if (c.requestMB != 0) cache->SetCacheSize(c.requestMB * kMB);
    if (c.step == kIdle) cache->IdleStep();  // nothing to scan: re-evaluate
    if (c.step == kGrow || c.step == kGrowAggressively)
      cache->AdjustCacheSize(false, c.step == kGrowAggressively);
    EXPECT_EQ(cache->MaxBytes(), c.budgetMB * kMB);
    EXPECT_FALSE(cache->ScanPending());
  }
}

// Each step allocates (free < 0) or frees slot number `free` of the ones
// allocated so far, then checks the new slot's offset (allocations), the
// size of the file in slots and the free slots kept. Whole slots read back;
// the file closes with its last slot. (That its name leaves the directory
// at once is checked where the process ends.)
TEST(SwapFile, LowestFreeSlotFirstTheEndIsCutDownAndTheLastSlotClosesIt) {
  const struct {
    int free;
    std::uint64_t offsetSlot;
    std::uint64_t slots;
    int freeSlots;
  } steps[] = {
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
  std::vector<std::uint8_t> block(kSlot), back(kSlot, 0);
  std::vector<SwapSlot*> made;
  for (const auto& s : steps) {
    SCOPED_TRACE(made.size());
    if (s.free < 0) {
      for (std::size_t i = 0; i < block.size(); ++i) block[i] = std::uint8_t(i * 7 + made.size());
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
  ASSERT_TRUE(file.Read(made.back(), back.data()));
  EXPECT_EQ(back, block);
  file.CloseIfUnused();  // a slot is still in use
  EXPECT_TRUE(file.IsOpen());
  file.FreeSlot(made.back());
  file.CloseIfUnused();
  EXPECT_EQ(file.Descriptor(), -1);
}

// Pages of a released image give their slots back, and the swap file goes
// back to the size it had before the image was made. (That the pages come
// back intact is checked under paging.)
TEST(SwapFile, ReleasedImageEmptiesTheSwapFile) {
  store_test::SmartImageCache* cache = store_test::Cache();
  const SwapFile& swap = cache->BigSwapFile();
  const std::uint64_t slotsBefore = swap.SlotCount();
  {
    store_test::ScopedBudget budget(8 * store_test::SmartImageCache::kMB);
    store_test::Img img;
    for (int i = 0; i < 256; ++i) {  // 16 MB of distinct pages
      const auto page = store_test::Pattern(static_cast<std::uint32_t>(i + 1), 128 * 128);
      img->setTile((i % 16) * 128, (i / 16) * 128, 128, 128, page.data());
    }
    EXPECT_GE(swap.SlotCount(), slotsBefore + 128);
    EXPECT_EQ(FileBytes(swap), static_cast<std::int64_t>(swap.SlotCount() * 65536));
  }
  EXPECT_EQ(swap.SlotCount(), slotsBefore);
  EXPECT_EQ(FileBytes(swap), static_cast<std::int64_t>(slotsBefore * 65536));
}

TEST(PageOut, UniformSmallPageBecomesSolidWithoutWriting) {
  SmartImageCache* cache = Cache();
  SmartImgPage page(7, 1);
  ASSERT_TRUE(page.Realize(1));
  const std::size_t bytes = cache->BytesInMemory();
  const int used = cache->SmallSwapFile().SlotsInUse();
  ASSERT_TRUE(cache->Evict(page.Body()));
  EXPECT_TRUE(page.IsSolidFilled(7u) && cache->SmallSwapFile().SlotsInUse() == used);
  EXPECT_EQ(cache->BytesInMemory(), bytes - 16384);
  page.UnRef(kReleaseReference);
}

TEST(PageOut, SwappedPageComesBackOnReadAndGivesItsSlotBack) {
  SmartImageCache* cache = Cache();
  SmartImgPage page(0, 4);
  ASSERT_TRUE(page.Realize(2));
  const std::vector<std::uint32_t> pattern = store_test::Pattern(42, 16384);
  std::memcpy(page.GetDataPtr(), pattern.data(), 65536);
  const std::size_t bytes = cache->BytesInMemory();
  const int used = cache->BigSwapFile().SlotsInUse();
  ASSERT_TRUE(cache->Evict(page.Body()));
  EXPECT_TRUE(page.IsSwapped() && page.GetFileOffset() % 65536 == 0);
  EXPECT_EQ(cache->BytesInMemory(), bytes - 65536);
  EXPECT_EQ(cache->BigSwapFile().SlotsInUse(), used + 1);
  const long long misses = cache->Misses();
  EXPECT_EQ(page.GetPixel(17, 3), pattern[3 * 128 + 17]);
  EXPECT_EQ(cache->Misses(), misses + 1);
  EXPECT_EQ(std::memcmp(page.GetDataPtr(), pattern.data(), 65536), 0);
  // Read back but not written: the slot stays as a clean copy, and paging
  // the page out again writes nothing.
  EXPECT_EQ(cache->BigSwapFile().SlotsInUse(), used + 1);
  brenmark::platform::InjectWriteFailures(1);
  ASSERT_TRUE(cache->Evict(page.Body()));
  brenmark::platform::InjectWriteFailures(0);
  EXPECT_EQ(page.GetPixel(17, 3), pattern[3 * 128 + 17]);
  // A write makes the copy stale and gives the slot back.
  page.SetPixel(1, 0, 0);
  EXPECT_EQ(cache->BigSwapFile().SlotsInUse(), used);
  ASSERT_TRUE(cache->Evict(page.Body()));
  EXPECT_EQ(page.GetPixel(0, 0), 1u);
  EXPECT_EQ(page.GetPixel(17, 3), pattern[3 * 128 + 17]);
  page.UnRef(kReleaseReference);
  EXPECT_EQ(cache->BigSwapFile().SlotsInUse(), used);
  EXPECT_EQ(cache->BytesInMemory(), bytes - 65536);
}

TEST(CacheLists, RetainedListWarnsPastFiveHundredTwelve) {
  SmartImageCache* cache = Cache();
  std::vector<SmartImgPage> pages;
  pages.reserve(1024);  // handles copied by a reallocation would take references
  const int base = cache->RetainedCount();
  testing::internal::CaptureStderr();
  for (int i = 0; base + i < 513 + 257; ++i) {
    pages.emplace_back(static_cast<unsigned>(i), 1);
    pages.back().MakeInMemFromSolid();
    pages.back().ForceRetain();
  }
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out,
            "SID: WARNING -- SmartImage Locked list count =  513,   0\n"
            "SID: WARNING -- SmartImage Locked list count =  770, 257\n");
  for (SmartImgPage& p : pages) {
    p.DontRetain();
    p.UnRef(kReleaseReference);
  }
  EXPECT_EQ(cache->RetainedCount(), base);
}

TEST(CacheLists, StatisticsReportBudgetAndLists) {
  StandaloneCache cache(1024, 36);
  EXPECT_EQ(store_test::Stderr([&] { cache->PrintStatistics(); }),
            "Maximum Cache Size: 67108864, Hits: 0, Misses: 0.\n"
            "In Memory Pages -- Big: 0, Small: 0, Locked: 0, Total Bytes 0\n"
            "Dirty Pages on scan list: 0\n");
}

// Trimming to 8 MB: least recently used big pages leave first, three big to
// one small; a page read again moves to the front; a retained page never
// leaves. 130 big and 4 small pages are 8 MB + 192 KB.
TEST(ReplacementPolicy, TrimmingPicksVictimsInOrder) {
  struct Case {
    const char* name;
    int big;      // pages of 64 KB
    int touched;  // big page read again before the trim, or -1
    int retained;
    std::vector<int> bigOut, smallOut;
  };
  static const Case kCases[] = {
      {"three big, then one small", 130, -1, -1, {0, 1, 2}, {0}},
      {"a second round starts with big", 131, -1, -1, {0, 1, 2, 3}, {0}},
      {"read again: to the front", 130, 1, -1, {0, 2, 3}, {0}},
      {"retained: never", 130, -1, 0, {1, 2, 3}, {0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RUN_IN_FRESH_PROCESS([&] {
      SmartImageCache* cache = Cache();
      std::vector<SmartImgPage> big = DistinctPages(c.big, 4, 1);
      std::vector<SmartImgPage> small = DistinctPages(4, 1, 1000);
      if (cache->SwappedCount() != 0) return 1;
      if (c.touched >= 0) big[c.touched].Realize(0);
      if (c.retained >= 0) big[c.retained].ForceRetain();
      cache->SetCacheSize(8 * kMB);
      if (SwappedIndices(big) != c.bigOut) return 2;
      if (SwappedIndices(small) != c.smallOut) return 3;
      if (cache->BytesInMemory() >= 8 * kMB) return 4;
      return 0;
    });
  }
}

// An allocation at the budget pages the least recently used page of its
// size out and takes over its block; a small page falls back to a big
// victim only when no small page is in memory.
// Freed blocks are kept outside the budget, up to a quarter of it, and the
// next pages of their size take them, the last freed first.
TEST(ReplacementPolicy, FreedBlocksAreTakenAgainLastFreedFirst) {
  RUN_IN_FRESH_PROCESS([] {
    SmartImageCache* cache = Cache();
    cache->SetCacheSize(8 * kMB);
    const std::size_t bytes = cache->BytesInMemory();
    std::vector<SmartImgPage> pages = DistinctPages(40, 4, 1);
    std::uint8_t* const last = pages[39].GetDataPtr();
    std::uint8_t* const before = pages[38].GetDataPtr();
    // Freed 39, 38, then 0 to 37: 32 blocks (2 MB) are kept.
    for (int i : {39, 38}) pages[i].UnRef(kReleaseReference);
    for (int i = 0; i < 38; ++i) pages[i].UnRef(kReleaseReference);
    if (cache->BytesInMemory() != bytes) return 1;
    std::vector<SmartImgPage> small = DistinctPages(1, 1, 50);  // no big spare for it
    std::vector<SmartImgPage> big = DistinctPages(32, 4, 60);
    if (big[30].GetDataPtr() != before || big[31].GetDataPtr() != last) return 2;
    if (cache->BytesInMemory() != bytes + 32 * 65536 + 16384) return 3;
    for (SmartImgPage& p : big) p.UnRef(kReleaseReference);
    small[0].UnRef(kReleaseReference);
    return 0;
  });
}

TEST(ReplacementPolicy, AllocationTakesTheLeastRecentlyUsedBlock) {
  RUN_IN_FRESH_PROCESS([] {
    SmartImageCache* cache = Cache();
    cache->SetCacheSize(8 * kMB);
    std::vector<SmartImgPage> big = DistinctPages(128, 4, 1);  // exactly the budget
    big[0].Realize(0);                                         // now the most recent
    const std::size_t bytes = cache->BytesInMemory();
    std::vector<SmartImgPage> more = DistinctPages(1, 4, 500);
    if (SwappedIndices(big) != std::vector<int>{1}) return 1;
    if (cache->BytesInMemory() != bytes) return 2;  // the victim's block, reused
    std::vector<SmartImgPage> small = DistinctPages(1, 1, 900);
    if (SwappedIndices(big) != (std::vector<int>{1, 2})) return 3;
    if (cache->BytesInMemory() != bytes - 49152) return 4;      // a big block cut to small
    std::vector<SmartImgPage> fill = DistinctPages(3, 1, 901);  // up to the budget again
    if (cache->BytesInMemory() != 8 * kMB || !SwappedIndices(fill).empty()) return 5;
    std::vector<SmartImgPage> last = DistinctPages(1, 1, 950);
    if (!small[0].IsSwapped() || SwappedIndices(big) != (std::vector<int>{1, 2})) return 6;
    return 0;
  });
}

TEST(Paging, EveryPageSurvivesAnEightMegabyteBudget) {
  auto* cache = Cache();
  ASSERT_EQ(brenmark::imagestore::StoreFault(), 0);
  ScopedBudget budget(8 * kMB);
  PageSet pages(256);
  pages.Write();
  // An allocation may overshoot by less than one page before it evicts.
  EXPECT_LE(cache->BytesInMemory(), 8 * kMB + 65536);
  EXPECT_GT(cache->SwappedCount(), 3000);
  EXPECT_GT(cache->SmallSwapFile().SlotsInUse(), 500);
  EXPECT_EQ(pages.Verify(), 0);
  EXPECT_LE(cache->BytesInMemory(), 8 * kMB + 65536);
  EXPECT_GT(cache->Misses(), 3000);
}

TEST(PagingFailure, FailedWritesKeepPagesInMemory) {
  RUN_IN_FRESH_PROCESS([] {
    Cache()->SetCacheSize(8 * kMB);
    int bad = -1;
    const std::string out = store_test::Stderr([&] {
      brenmark::platform::InjectWriteFailures(-1);
      PageSet pages(64);
      pages.Write();  // every page-out fails: nothing may be lost
      brenmark::platform::InjectWriteFailures(0);
      bad = pages.Verify();
    });
    if (bad != 0) return 1;
    if (brenmark::imagestore::StoreFault() != 1 || Cache()->SwappedCount() != 0) return 2;
    if (out.find("SID: Error: could not write a page to the swap file") == std::string::npos)
      return std::fprintf(stderr, "output: %s\n", out.c_str()), 3;
    return 0;
  });
}

// Reads retry a bounded number of times. A read that cannot bring its page
// back fails, and so do copies of it and writes into it, whatever made the
// read fail; the store says why, once per read, on stderr and to the host,
// and latches. The page keeps its slot, so once the fault is gone it reads
// back exactly.
TEST(PagingFailure, UnreadablePageFailsReadsAndWrites) {
  struct Case {
    const char* name;
    void (*inject)(int);
    const char* reason;
  };
  static const Case kCases[] = {
      {"short read", brenmark::platform::InjectShortReads, "the file ends before the page"},
      {"disk error", brenmark::platform::InjectReadFailures, "Input/output error"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RUN_IN_FRESH_PROCESS([&] {
      SwappedRow row(3);
      const std::string name = Cache()->BigSwapFile().Name();
      brenmark::imagestore::SetMessageFunction(RecordMessage, nullptr);
      bool exact = false;
      // Fewer failures than attempts: the retries absorb them.
      c.inject(brenmark::imagestore::SwapFile::kTransferAttempts - 1);
      if (row.Read(0, &exact) != ilOkay || !exact || !g_host_messages.empty()) return 7;
      c.inject(brenmark::imagestore::SwapFile::kTransferAttempts);
      ilStatus read = ilOkay;
      const std::string err = store_test::Stderr([&] { read = row.Read(2, &exact); });
      const std::string want = "SID: Error: could not read a page from the swap file " + name +
                               " (" + c.reason + ") after 4 attempts; the page stays swapped out";
      if (read != ilFailed) return 1;
      if (err != want + "\n" || g_host_messages != std::vector<std::string>{want})
        return std::fprintf(stderr, "got: %s", err.c_str()), 2;
      if (brenmark::imagestore::StoreFault() != 1) return 3;
      // Copies read it as well: pixel by pixel, or shared and read later.
      c.inject(-1);
      // A write of part of the page needs its old pixels: it fails too.
      const std::uint32_t red = 0xFF0000FFu;
      std::array<ilStatus, 5> got{};  // moved, shared, shared read; pixel and fill writes
      store_test::Stderr([&] {
        store_test::Img copy;
        std::vector<std::uint32_t> px(128 * 128);
        got = {copy->copyTile(0, 0, 128, 128, row.img, 259, 0),
               copy->copyTile(0, 128, 128, 128, row.img, 256, 0),
               copy->getTile(0, 128, 128, 128, px.data()), row.img->setTile(130, 5, 1, 1, &red),
               store_test::Fill(row.img, 130, 5, 2, 2, red)};
      });
      if (got != std::array{ilFailed, ilOkay, ilFailed, ilFailed, ilFailed}) return 4;
      c.inject(0);
      for (int i = 0; i < 3; ++i) {
        if (row.Read(i, &exact) != ilOkay || !exact) return 10 + i;
      }
      return 0;
    });
  }
}

// The file cut short underneath the store: the slot's bytes are gone.
TEST(PagingFailure, TruncatedSwapFileFailsTheRead) {
  RUN_IN_FRESH_PROCESS([] {
    SwappedRow row(2);
    if (ftruncate(Cache()->BigSwapFile().Descriptor(), 65536 + 1000) != 0) return 1;
    bool exact = false;
    ilStatus second = ilOkay;
    const std::string err = store_test::Stderr([&] { second = row.Read(1, &exact); });
    if (second != ilFailed) return 2;
    if (err.find("(the file ends before the page) after 4 attempts") == std::string::npos) return 3;
    // The first slot lies wholly before the cut.
    if (row.Read(0, &exact) != ilOkay || !exact) return 4;
    return 0;
  });
}

// However the process ends, its swap files are gone: their names leave the
// directory as soon as they are made, while the pages still read back.
TEST(PagingExit, SwapFilesNeverOutliveTheProcess) {
  const std::string dir = MakeTempDir("brenmark_swap");
  ASSERT_FALSE(dir.empty());
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Killed outright: no exit handler or signal handler gets to tidy up.
  auto child = [&dir] {
    setenv("SID_TEMP_DIR", dir.c_str(), 1);
    SwappedRow row(4);
    bool exact = false;
    int code = Cache()->SwappedCount() >= 4 ? 0 : 1;
    if (SwapFilesIn(dir) != 0) code = 2;
    if (Cache()->BigSwapFile().Name().rfind(dir + "/SID", 0) != 0) code = 3;
    if (row.Read(3, &exact) != ilOkay || !exact) code = 4;
    std::fflush(nullptr);
    if (code == 0) raise(SIGKILL);
    std::exit(code);
  };
  EXPECT_EXIT(child(), testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(SwapFilesIn(dir), 0);
  std::filesystem::remove_all(dir);
}

// SID_TEMP_DIR that cannot take files: one warning, then the next directory
// in line (TMP here).
TEST(SwapDirectory, UnusableChoiceIsReportedOnceAndSkipped) {
  const std::string dir = MakeTempDir("brenmark_tmp");
  ASSERT_FALSE(dir.empty());
  const std::string file = dir + "/plain";
  std::fclose(std::fopen(file.c_str(), "w"));
  struct Case {
    std::string sidTempDir;
    const char* reason;
  };
  const Case cases[] = {{file, "not a directory"}, {dir + "/missing", "no such directory"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    RUN_IN_FRESH_PROCESS([&] {
      setenv("SID_TEMP_DIR", c.sidTempDir.c_str(), 1);
      setenv("TMP", dir.c_str(), 1);
      brenmark::imagestore::SwapFile other(16384);
      const std::string err = store_test::Stderr([&] {
        SwappedRow row(1);
        const std::vector<std::uint8_t> block(16384, 9);
        other.Write(other.AllocSlot(), block.data());  // a second file: no second warning
      });
      const std::string want = "SID: Warning: SID_TEMP_DIR=" + c.sidTempDir + " cannot be used (" +
                               c.reason + "); swap files go to " + dir + "\n";
      if (err != want) return std::fprintf(stderr, "got: %s", err.c_str()), 1;
      if (Cache()->BigSwapFile().Name().rfind(dir + "/SID", 0) != 0) return 2;
      if (other.Name().rfind(dir + "/SID", 0) != 0) return 3;
      return 0;
    });
  }
  std::filesystem::remove_all(dir);
}

TEST(StoreEnvironment, CheckingSwitchAnnouncesItselfAndPoisonsBlocks) {
  RUN_IN_FRESH_PROCESS([] {
    setenv("NORVANE_QV_SMARTIMAGE_CHECKING", "", 1);
    store_test::SmartImageCache* cache = nullptr;
    if (store_test::Stderr([&] { cache = Cache(); }) != "SID: SmartImage checking is enabled.\n")
      return 1;
    SmartImgPage page(0, 4), fresh(0, 1);
    page.MakeInMemFromSolid();  // the fill overwrites the poison
    fresh.Realize(2);           // content undefined: the checking poison shows
    const bool poisoned = page.GetPixel(0, 0) == 0 && fresh.GetPixel(64, 64) == 0x35;
    page.UnRef(kReleaseReference);
    fresh.UnRef(kReleaseReference);
    if (!poisoned) return 2;
    if (brenmark::imagestore::StoreFault() != 0 || cache->SmallCount() != 0) return 4;
    return 0;
  });
}

TEST(StoreEnvironment, OldImageIdSwitchTestsTheClassName) {
  RUN_IN_FRESH_PROCESS([] {
    setenv("NORVANE_QV_USE_OLD_IMAGEID", "1", 1);
    if (store_test::Stderr(Cache) !=
        "\nSID: Using Old ImageID method. Performance may be degraded.\n"
        "Quorvel: to use the new method, unsetenv NORVANE_QV_USE_OLD_IMAGEID\n\n")
      return 1;
    Impostor impostor;
    ilSmartImage real(ilPixel(ilUChar, 1));
    return ilSmartImage::IsSmartImage(&impostor) || !ilSmartImage::IsSmartImage(&real) ? 2 : 0;
  });
  // By default the image type decides; the class name does not matter, but
  // only a smart image is cast to one.
  Cache();
  Impostor impostor;
  ilSmartImage real(ilPixel(ilUChar, 4));
  EXPECT_TRUE(ilSmartImage::IsSmartImage(&impostor) && ilSmartImage::IsSmartImage(&real));
  EXPECT_EQ((std::array<ilImage*, 3>{ilSmartImage::As_ilSmartImage(&impostor),
                                     ilSmartImage::As_ilSmartImage(&real),
                                     ilSmartImage::As_ilSmartImage(nullptr)}),
            (std::array<ilImage*, 3>{nullptr, &real, nullptr}));
}

// Realizing an unusable page reports and latches the store; a latched store
// no longer changes its budget and announces the writes it still makes.
TEST(StoreFaults, UnusablePageLatchesTheStoreWhichStopsPaging) {
  RUN_IN_FRESH_PROCESS([] {
    auto* cache = Cache();
    SmartImgPage page(0, 4);
    page.UnRealize();
    bool ok = true;
    const std::string out = store_test::Stderr([&] { ok = page.Realize(0); });
    page.UnRef(kReleaseReference);
    if (ok || out != "\nSID: Error: Unrealized page\n") return 1;
    if (brenmark::imagestore::StoreFault() != 1) return 2;
    const std::size_t budget = cache->MaxBytes();
    cache->SetCacheSize(8 * store_test::SmartImageCache::kMB);
    if (cache->MaxBytes() != budget) return 3;
    SmartImgPage written(0, 4);
    written.Realize(2);
    const std::vector<std::uint32_t> pattern = store_test::Pattern(1, 16384);
    std::memcpy(written.GetDataPtr(), pattern.data(), 65536);
    bool evicted = false;
    if (store_test::Stderr([&] { evicted = cache->Evict(written.Body()); }) !=
            "SID: Paging Out 1\n" ||
        !evicted)
      return 4;
    if (written.GetPixel(5, 0) != pattern[5]) return 5;
    written.UnRef(kReleaseReference);
    return 0;
  });
}
