// Paging under memory pressure: data integrity across several images, swap
// files removed at exit, and swap-file failures that lose nothing and never
// hang. Tests that latch the store or end the process run in a fresh
// process of their own.
#include <gtest/gtest.h>

#include <brenmark/smart_image.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imagestore/page_cache.h"
#include "imagestore/store_state.h"
#include "imagestore/store_test_support.h"
#include "platform/platform.h"

using store_test::Cache;
using store_test::ScopedBudget;

namespace {

constexpr std::size_t kMB = store_test::SmartImageCache::kMB;

// Several images holding `megabytes` of distinct pages: four-channel images
// of 1024 pages (64 MB) and a one-channel mask, with a checksum per page.
class PageSet {
 public:
  explicit PageSet(int megabytes) {
    const int bigImages = megabytes / 64;
    for (int i = 0; i < bigImages; ++i) images_.push_back(new ilSmartImage(ilPixel(ilUChar, 4)));
    images_.push_back(new ilSmartImage(ilPixel(ilUChar, 1)));
    for (ilSmartImage* img : images_) img->ref();
  }
  ~PageSet() {
    for (ilSmartImage* img : images_) img->unref();
  }

  // Writes every page (32 x 32 pages per image) and remembers its checksum.
  void Write() {
    std::vector<std::uint32_t> page(128 * 128);
    std::uint32_t id = 1;
    for (ilSmartImage* img : images_) {
      const int bytes = 128 * 128 * img->GetChannels();
      for (int py = 0; py < 32; ++py) {
        for (int px = 0; px < 32; ++px, ++id) {
          store_test::MakePattern(id, page.data(), bytes / 4);
          sums_.push_back(store_test::Checksum(page.data(), static_cast<std::size_t>(bytes)));
          img->setTile(px * 128, py * 128, 128, 128, page.data());
        }
      }
    }
  }

  // Reads every page back; answers the number of pages whose checksum
  // differs (or whose read failed), and reports the first when asked to.
  int Verify(bool report = true) {
    std::vector<std::uint32_t> page(128 * 128);
    std::size_t k = 0;
    int bad = 0;
    for (ilSmartImage* img : images_) {
      const int bytes = 128 * 128 * img->GetChannels();
      // Columns first: reads do not follow the write order.
      for (int px = 0; px < 32; ++px) {
        for (int py = 0; py < 32; ++py) {
          const std::size_t index = k + static_cast<std::size_t>(py * 32 + px);
          const ilStatus st = img->getTile(px * 128, py * 128, 128, 128, page.data());
          if (st != ilOkay ||
              store_test::Checksum(page.data(), static_cast<std::size_t>(bytes)) != sums_[index]) {
            if (bad++ == 0 && report) {
              ADD_FAILURE() << "page " << index << " at (" << px * 128 << ", " << py * 128
                            << ") differs";
            }
          }
        }
      }
      k += 32 * 32;
    }
    return bad;
  }

 private:
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

}  // namespace

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
    testing::internal::CaptureStdout();
    brenmark::platform::InjectWriteFailures(-1);
    int bad;
    {
      PageSet pages(64);
      pages.Write();  // every page-out fails: nothing may be lost
      brenmark::platform::InjectWriteFailures(0);
      bad = pages.Verify();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    if (bad != 0) return 1;
    if (brenmark::imagestore::StoreFault() != 1) return 2;
    if (out.find("SID: Error: could not write a page to the swap file") == std::string::npos) {
      std::fprintf(stderr, "output: %s\n", out.c_str());
      return 3;
    }
    if (Cache()->SwappedCount() != 0) return 4;
    return 0;
  });
}

TEST(PagingFailure, ReadsRetryThenGiveUpWithoutLosingThePage) {
  RUN_IN_FRESH_PROCESS([] {
    auto* cache = Cache();
    cache->SetCacheSize(8 * kMB);
    int result = 0;
    {
      PageSet pages(64);
      pages.Write();
      if (cache->SwappedCount() < 800) result = 10;
      // Fewer failures than attempts: the retries absorb them.
      brenmark::platform::InjectReadFailures(brenmark::imagestore::SwapFile::kTransferAttempts - 1);
      if (pages.Verify() != 0) result = 11;
      if (brenmark::imagestore::StoreFault() != 0) result = 12;
      // A disk that keeps failing: the read gives up, the page stays swapped.
      testing::internal::CaptureStdout();
      brenmark::platform::InjectReadFailures(-1);
      const int failed = pages.Verify(false);
      const std::string out = testing::internal::GetCapturedStdout();
      if (failed == 0) result = 13;
      if (brenmark::imagestore::StoreFault() != 1) result = 14;
      if (out.find("SID: Error: could not read a page from the swap file") == std::string::npos)
        result = 15;
      // Once the disk recovers every page is there again.
      brenmark::platform::InjectReadFailures(0);
      testing::internal::CaptureStdout();
      const int after = pages.Verify();
      testing::internal::GetCapturedStdout();
      if (after != 0) result = 16;
    }
    return result;
  });
}

TEST(PagingExit, SwapFilesAreRemovedAtExit) {
  const char* reuse = std::getenv("BRENMARK_EXIT_TEST_DIR");
  std::string dir;
  if (reuse != nullptr) {
    dir = reuse;  // the child process: the parent made the directory
  } else {
    dir = (std::filesystem::temp_directory_path() / "brenmark_exit_XXXXXX").string();
    std::vector<char> buf(dir.begin(), dir.end());
    buf.push_back('\0');
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    dir = buf.data();
    setenv("BRENMARK_EXIT_TEST_DIR", dir.c_str(), 1);
  }
  const std::string swapDir = dir;
  RUN_IN_FRESH_PROCESS([&swapDir] {
    setenv("SID_TEMP_DIR", swapDir.c_str(), 1);
    Cache()->SetCacheSize(8 * kMB);
    // Exit with the images still alive (held here, so not a leak): the
    // exit routine must clean up.
    static PageSet* pages = new PageSet(64);
    pages->Write();
    if (Cache()->SwappedCount() == 0) return 20;
    if (SwapFilesIn(swapDir) != 2) return 21;
    return 0;
  });
  if (reuse == nullptr) {
    unsetenv("BRENMARK_EXIT_TEST_DIR");
    EXPECT_EQ(SwapFilesIn(dir), 0);
    std::filesystem::remove_all(dir);
  }
}
