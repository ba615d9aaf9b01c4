// Paging under memory pressure: data integrity across several images, swap
// files that never outlive the process, the swap directory, and swap-file
// failures that lose nothing, never hang and are never reported as success.
// Process-wide switches read from the environment when the cache is made,
// and consistency failures that latch the store. Tests that latch the store
// or end the process run in a fresh process of their own.
#include <brenmark/smart_image.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "imagestore/page.h"
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
