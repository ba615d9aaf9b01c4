// Process-wide switches read from the environment when the cache is made,
// and consistency failures that latch the store: each in a fresh process.

#include <brenmark/smart_image.h>

#include "imagestore/page.h"
#include "imagestore/store_state.h"
#include "imagestore/store_test_support.h"

using store_test::Cache;

namespace {

// Another image class that claims the smart image's type.
class Impostor : public ilSIDImage {
 public:
  Impostor() { setImageType(100); }
};

}  // namespace

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
