// ilSmartImage: memory that follows content, page sharing, seeds and their
// dependents, bounds (forced, shrinking, fill), page locks, queries and the
// stored-form size.

#include <brenmark/smart_image.h>

#include <functional>

#include "imagestore/page.h"
#include "imagestore/page_table.h"
#include "imagestore/store_test_support.h"

using store_test::Fill;
using store_test::Img;

namespace {

// Writes a distinct, non-uniform 128 x 128 block at (x, y).
void PaintSquare(const Img& img, int x, int y, std::uint32_t id) {
  ASSERT_EQ(img->setTile(x, y, 128, 128, store_test::Pattern(id, 128 * 128).data()), ilOkay);
}

PageData* BodyAt(const Img& img, int x, int y) {
  int ox, oy;
  SmartImgPage::FindOrigin(x, y, ox, oy);
  return img->FindPageFromOrigin(ox, oy, 0)->Body();
}

// The pixels of a locked page.
std::uint32_t* Words(const ilLockRequest& r) {
  return static_cast<std::uint32_t*>(r.page->getData());
}

class SmartImageTest : public testing::Test {
 protected:
  store_test::SmartImageCache* cache = store_test::Cache();
};

}  // namespace

TEST_F(SmartImageTest, MemoryFollowsContentOnAHugeLayer) {
  const std::size_t before = cache->BytesInMemory();
  Img layer(0xFFFFFFFFu);
  layer->SetBounds_(ilTile(0, 0, 0, 100000, 100000, 1), 1);
  PaintSquare(layer, 51200, 76800, 1);
  EXPECT_EQ(cache->BytesInMemory() - before, 65536u);
  EXPECT_EQ((std::array{layer->GetPixel(0, 0), layer->GetPixel(99999, 99999)}),
            (std::array{0xFFFFFFFFu, 0xFFFFFFFFu}));
  EXPECT_EQ(layer->getBounds(), ilTile(0, 0, 0, 100000, 100000, 1));
}

TEST_F(SmartImageTest, WholePageFillsHoldNoPixelMemory) {
  const std::size_t before = cache->BytesInMemory();
  Img img;
  const std::uint32_t opaque = 0xFF3366CCu, red = 0xFF0000FFu;
  ASSERT_EQ(Fill(img, 0, 0, 4096, 4096, opaque), ilOkay);
  EXPECT_EQ(cache->BytesInMemory(), before);
  EXPECT_EQ(img->GetPixel(4000, 17), opaque);
  EXPECT_TRUE(img->FindPageFromOrigin(256, 256, 0)->IsSolidFilled(opaque));
  EXPECT_EQ(img->TestTransparency(0), kTransOpaque);
  ilPixel value;
  EXPECT_TRUE(img->is_filled(value, 0));
  EXPECT_EQ(value, ilPixel(ilUChar, 4, &opaque));
  // A partial page does need memory: one page, the rest stays solid.
  ASSERT_EQ(Fill(img, 10, 10, 20, 20, red), ilOkay);
  EXPECT_EQ(cache->BytesInMemory() - before, 65536u);
  EXPECT_FALSE(img->is_filled(value, 0));
  EXPECT_TRUE(img->is_filled(ilTile(10, 10, 0, 20, 20, 1), value, 1));
  EXPECT_EQ(value, ilPixel(ilUChar, 4, &red));
}

TEST_F(SmartImageTest, ConfiguredTransfersMapChannelsAndFlipRows) {
  Img img(0x00102030u);
  // Write only the alpha (channel 0) from one-channel rows.
  const std::uint8_t alpha[2 * 3] = {1, 2, 3, 4, 5, 6};
  const int list[1] = {0};
  const ilConfig oneChannel(ilUChar, ilInterleaved, 1, list);
  ASSERT_EQ(img->setTile(0, 0, 3, 2, alpha, &oneChannel), ilOkay);
  EXPECT_EQ((std::array{img->GetPixel(0, 0), img->GetPixel(2, 1)}),
            (std::array{0x01102030u, 0x06102030u}));
  // Reading in the upper-left space turns the rows over.
  std::array<std::uint8_t, 6> back{};
  const ilConfig flipped(ilUChar, ilInterleaved, 1, list, 0, ilUpperLeft);
  ASSERT_EQ(img->getTile(0, img->getYsize() - 2, 3, 2, back.data(), &flipped), ilOkay);
  EXPECT_EQ(back, (std::array<std::uint8_t, 6>{4, 5, 6, 1, 2, 3}));
}

TEST_F(SmartImageTest, AlignedCopySharesPagesUntilOnePixelIsWritten) {
  Img src, dst;
  for (int y = 0; y < 256; y += 128)
    for (int x = 0; x < 256; x += 128) PaintSquare(src, x, y, static_cast<std::uint32_t>(x + y));
  const std::size_t before = cache->BytesInMemory();
  ASSERT_EQ(dst->copyTile(128, -256, 256, 256, src, 0, 0), ilOkay);
  EXPECT_EQ(cache->BytesInMemory(), before);
  for (int y = 0; y < 256; y += 128)
    for (int x = 0; x < 256; x += 128) {
      EXPECT_EQ(BodyAt(dst, 128 + x, -256 + y), BodyAt(src, x, y));
      EXPECT_EQ(BodyAt(src, x, y)->ref_count, 2);
    }
  EXPECT_EQ(dst->getBounds(), ilTile(128, -256, 0, 256, 256, 1));

  const std::uint32_t old = src->GetPixel(0, 0), white = 0xFFFFFFFFu;
  ASSERT_EQ(dst->setTile(128, -256, 1, 1, &white), ilOkay);
  EXPECT_EQ(cache->BytesInMemory(), before + 65536);
  EXPECT_NE(BodyAt(dst, 128, -256), BodyAt(src, 0, 0));
  EXPECT_EQ(BodyAt(dst, 256, -256), BodyAt(src, 128, 0));
  EXPECT_EQ((std::array{src->GetPixel(0, 0), dst->GetPixel(128, -256), dst->GetPixel(129, -256)}),
            (std::array{old, white, src->GetPixel(1, 0)}));
}

TEST_F(SmartImageTest, UnalignedCopyMovesPixels) {
  Img src, dst;
  PaintSquare(src, 0, 0, 99);
  ASSERT_EQ(dst->copyTile(10, 20, 128, 128, src, 0, 0), ilOkay);
  for (int y = 0; y < 128; y += 31)
    for (int x = 0; x < 128; x += 29) EXPECT_EQ(dst->GetPixel(10 + x, 20 + y), src->GetPixel(x, y));
  // A copy from an image into itself behaves as if the source were read first.
  ASSERT_EQ(src->copyTile(1, 0, 127, 128, src, 0, 0), ilOkay);
  EXPECT_EQ(src->GetPixel(1, 5), dst->GetPixel(10, 25));
}

// Copying from a plain memory image writes its pixels as one dense buffer,
// as a tile write does; the result must equal a pixel-by-pixel copy wherever
// the rectangle falls, and read back so across pages.
TEST_F(SmartImageTest, UnalignedCopyFromAMemoryImageMatchesEveryPixel) {
  const int w = 300, h = 200;
  auto pixel = [](int x, int y) { return 0xFF000000u | (y & 0xFFF) << 12 | (x & 0xFFF); };
  ilMemoryImg src(ilSize(w, h, 1, 4), ilUChar);
  Img dst;
  src.setCoordSpace(dst->getCoordSpace());
  auto* px = static_cast<std::uint32_t*>(src.getDataPtr());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px[y * w + x] = pixel(x, y);
  // Destination (-70, 45) takes source (17, 9): crosses page borders both ways.
  ASSERT_EQ(dst->copyTile(-70, 45, 250, 150, &src, 17, 9), ilOkay);
  std::vector<std::uint32_t> back(250 * 150);
  ASSERT_EQ(dst->getTile(-70, 45, 250, 150, back.data()), ilOkay);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 250; ++x)
      ASSERT_EQ(back[y * 250 + x], pixel(x + 17, y + 9)) << x << "," << y;
  EXPECT_EQ(dst->GetPixel(-71, 45), 0u);
  EXPECT_EQ(dst->getBounds(), ilTile(-70, 45, 0, 250, 150, 1));
  // A source rectangle reaching past the memory image reads its fill there.
  ASSERT_EQ(dst->copyTile(0, 0, 20, 1, &src, w - 10, 0), ilOkay);
  EXPECT_EQ((std::array{dst->GetPixel(9, 0), dst->GetPixel(10, 0)}),
            (std::array{pixel(w - 1, 0), 0u}));
}

TEST_F(SmartImageTest, SeededImageSharesPagesCopyOnWrite) {
  Img seed;
  PaintSquare(seed, 0, 0, 5);
  PaintSquare(seed, 128, 0, 6);
  const std::size_t before = cache->BytesInMemory();
  {
    Img copy(new ilSmartImage(seed, 0, 0, 0, -1));
    EXPECT_EQ((std::array{seed->DependentCount(), seed->getRefCount()}), (std::array{1, 2}));
    EXPECT_EQ(copy->getBounds(), ilTile(0, 0, 0, 256, 128, 1));
    EXPECT_EQ(copy->GetPixel(200, 100), seed->GetPixel(200, 100));
    EXPECT_EQ(BodyAt(copy, 200, 100), BodyAt(seed, 200, 100));
    EXPECT_EQ(cache->BytesInMemory(), before);
    copy->SetPixelExp(5, 5, 0x80808080u);
    EXPECT_EQ(cache->BytesInMemory(), before + 65536);
    EXPECT_NE(seed->GetPixel(5, 5), 0x80808080u);
  }
  EXPECT_EQ((std::array{seed->DependentCount(), seed->getRefCount()}), (std::array{0, 1}));
  EXPECT_EQ(cache->BytesInMemory(), before);
  // A seed destroyed while a copy depends on it leaves the copy's pixels.
  PaintSquare(seed, 256, 128, 12);
  Img copy(new ilSmartImage(seed, 0, 0, 0, -1));
  std::vector<std::uint32_t> expect(384 * 256), got(384 * 256);
  ASSERT_EQ(seed->getTile(0, 0, 384, 256, expect.data()), ilOkay);
  delete seed.img;
  seed.img = nullptr;
  EXPECT_EQ(copy->GetSeed(), nullptr);
  ASSERT_EQ(copy->getTile(0, 0, 384, 256, got.data()), ilOkay);
  EXPECT_EQ(got, expect);
}

TEST_F(SmartImageTest, NonPagedSeedIsCopiedAtOnce) {
  auto* mem = new ilMemoryImg(ilSize(200, 150, 1, 4), ilUChar);
  mem->setCoordSpace(ilLowerLeft);
  const std::vector<std::uint32_t> pattern = store_test::Pattern(3, 200 * 150);
  std::memcpy(mem->getDataPtr(), pattern.data(), pattern.size() * 4);
  Img copy(new ilSmartImage(mem, 0, 0, 0, -1));
  delete mem;
  EXPECT_EQ(copy->getBounds(), ilTile(0, 0, 0, 200, 150, 1));
  EXPECT_EQ((std::array{copy->GetPixel(199, 149), copy->GetPixel(0, 1)}),
            (std::array{pattern.back(), pattern[200]}));
}

TEST_F(SmartImageTest, MergeHandsWrittenPagesBackToTheSeed) {
  Img seed;
  PaintSquare(seed, 0, 0, 1);
  PaintSquare(seed, 128, 0, 2);
  Img copy(new ilSmartImage(seed, 0, 0, 0, -1));
  PaintSquare(copy, 128, 0, 3);
  const std::size_t before = cache->BytesInMemory();
  ASSERT_EQ(copy->MergeChangesIntoSeed(), ilOkay);
  EXPECT_EQ(BodyAt(seed, 128, 0), BodyAt(copy, 128, 0));
  EXPECT_EQ(seed->GetPixel(130, 3), copy->GetPixel(130, 3));
  EXPECT_EQ(cache->BytesInMemory(), before - 65536);  // the old seed page went
}

TEST_F(SmartImageTest, ForcedBoundsPinTheBounds) {
  Img img;
  PaintSquare(img, 0, 0, 1);
  EXPECT_EQ(store_test::Stderr([&] { img->SetForcedBounds(ilTile(0, 0, 0, 0, 50, 1)); }),
            "SID: Warning: SmartImage: Someone is SETTING Empty Forced Bounds! Ignoring.\n");
  EXPECT_EQ(img->getBounds(), ilTile(0, 0, 0, 128, 128, 1));

  img->SetForcedBounds(ilTile(0, 0, 0, 256, 256, 1));
  img->EnableForcedBounds(1);
  EXPECT_EQ(img->getBounds(), ilTile(0, 0, 0, 256, 256, 1));
  PaintSquare(img, 1000, 1000, 2);
  EXPECT_EQ(img->getBounds(), ilTile(0, 0, 0, 256, 256, 1));
  EXPECT_EQ(img->GetPixel(1000, 1000), 0u);  // did not survive
  int x = -10, y = 100, w = 400, h = 400;
  img->force_in_img_(x, y, w, h);
  EXPECT_EQ((std::array{x, y, w, h}), (std::array{0, 100, 256, 156}));
}

TEST_F(SmartImageTest, ShrinkingFindsContentAndEmptiesErasedImages) {
  const std::size_t before = cache->BytesInMemory();
  Img img;
  PaintSquare(img, 0, 0, 1);
  ASSERT_EQ(Fill(img, 300, 400, 1, 1, 0xFF00FF00u), ilOkay);
  ASSERT_EQ(Fill(img, 0, 0, 128, 128, 0), ilOkay);  // erases the square back to the fill
  img->ForceShrinkAttempt(false);
  EXPECT_EQ(img->getBounds(), ilTile(300, 400, 0, 1, 1, 1));
  ASSERT_EQ(Fill(img, 300, 400, 1, 1, 0), ilOkay);
  img->ForceShrinkAttempt(true);
  EXPECT_EQ(img->getBounds(), ilTile(0, 0, 0, 0, 0, 1));
  EXPECT_EQ(img->getXsize(), 1);
  EXPECT_EQ(cache->BytesInMemory(), before);  // the scan made the erased page solid
  // Without a forced attempt the shrink a fill marked runs at the next reset.
  PaintSquare(img, 0, 0, 1);
  PaintSquare(img, 512, 0, 2);
  ASSERT_EQ(Fill(img, 512, 0, 128, 128, 0), ilOkay);
  img->getBounds();
  img->resetCheck();
  EXPECT_EQ(img->getBounds(), ilTile(0, 0, 0, 128, 128, 1));
}

TEST_F(SmartImageTest, NewFillReachesEverythingOutsideTheBounds) {
  Img img;
  const std::uint32_t green = 0xFF00FF00u;
  ASSERT_EQ(Fill(img, 10, 10, 100, 100, 0xFF0000FFu), ilOkay);
  ASSERT_EQ(img->setFill(ilPixel(ilUChar, 4, &green)), ilOkay);
  // Inside; the same page outside the bounds and beyond the far edge; far off.
  EXPECT_EQ((std::array{img->GetPixel(50, 50), img->GetPixel(5, 5), img->GetPixel(120, 120),
                        img->GetPixel(-500, 9000)}),
            (std::array{0xFF0000FFu, green, green, green}));
}

TEST_F(SmartImageTest, PageLocksPinPagesAndGrowBounds) {
  const std::size_t before = cache->BytesInMemory();
  const int retained = cache->RetainedCount();
  Img img(0x40404040u);
  ilLockRequest req{200, 300};
  ASSERT_EQ(img->lockPageSet(&req, ilLockWrite, 1), ilOkay);
  ASSERT_NE(req.page, nullptr);
  EXPECT_EQ((std::array{req.page->x, req.page->y, req.page->c}), (std::array{128, 256, 4}));
  EXPECT_EQ(cache->RetainedCount(), retained + 1);
  EXPECT_EQ(img->getBounds(), ilTile(128, 256, 0, 128, 128, 1));
  EXPECT_EQ(Words(req)[0], 0x40404040u);
  Words(req)[(300 - 256) * 128 + (200 - 128)] = 0xFFFFFFFFu;
  ASSERT_EQ(img->unlockPageSet(&req, 1), ilOkay);
  EXPECT_TRUE(req.page == nullptr && cache->RetainedCount() == retained);
  EXPECT_EQ(img->GetPixel(200, 300), 0xFFFFFFFFu);

  // A read lock of a solid page lends memory and takes it back.
  ilLockRequest read{1000, 1000};
  const std::size_t withPage = cache->BytesInMemory();
  ASSERT_EQ(img->lockPageSet(&read, ilLockRead, 1), ilOkay);
  EXPECT_EQ(Words(read)[5], 0x40404040u);
  EXPECT_EQ(cache->BytesInMemory(), withPage + 65536);
  ASSERT_EQ(img->unlockPageSet(&read, 1), ilOkay);
  EXPECT_EQ(cache->BytesInMemory(), withPage);
  EXPECT_TRUE(img->FindPageFromOrigin(896, 896, 0)->IsSolidFilled(0x40404040u));
  EXPECT_EQ(withPage, before + 65536);

  // A page object left by an unlock serves the next lock: two pages held at
  // once keep their own origins and memory.
  ilLockRequest two[2] = {{1000, 1000}, {255, 383}};
  ASSERT_EQ(img->lockPageSet(two, ilLockRead, 2), ilOkay);
  ASSERT_TRUE(two[0].page && two[1].page && two[0].page != two[1].page);
  EXPECT_EQ((std::array{two[0].page->x, two[0].page->y, two[1].page->x, two[1].page->y}),
            (std::array{896, 896, 128, 256}));
  EXPECT_EQ((std::array{Words(two[1])[44 * 128 + 72], Words(two[1])[128 * 128 - 1]}),
            (std::array{0xFFFFFFFFu, 0x40404040u}));
  ASSERT_EQ(img->unlockPageSet(two, 2), ilOkay);
  EXPECT_EQ(cache->RetainedCount(), retained);
}

TEST_F(SmartImageTest, TransparencyQueriesWalkThePages) {
  Img img;
  EXPECT_EQ((std::array{img->TestTransparency(0), img->TestFillTransparency()}),
            (std::array<int, 2>{kTransNone, kTransClear}));
  ASSERT_EQ(Fill(img, 0, 0, 256, 128, 0xFF000000u), ilOkay);
  EXPECT_EQ(
      (std::array{img->TestTransparency(0), img->TestTransparency(ilTile(0, 0, 0, 512, 128, 1), 0),
                  img->TestTransparency(ilTile(300, 0, 0, 10, 10, 1), 0),
                  img->TestPageTransparency(5, 5, 0)}),
      (std::array<int, 4>{kTransOpaque, kTransMixed, kTransClear, kTransOpaque}));
}

TEST_F(SmartImageTest, AlphaCheckingRepairsInvalidPixelsWhenTurnedOff) {
  Img img;
  img->SetCheckAlphaOnCopy(1);
  std::vector<std::uint32_t> px(128 * 128, 0x40FF8000u);  // colour far above alpha
  ASSERT_EQ(img->setTile(0, 0, 128, 128, px.data()), ilOkay);
  img->SetCheckAlphaOnCopy(0);
  // Only "colour above a non-zero alpha" pages: colours are premultiplied,
  // c / 255 * 64 / 255 * 255: 0xFF -> 64, 0x80 -> 32, 0 -> 0.
  EXPECT_EQ(img->GetPixel(3, 3), 0x40402000u);
}

TEST_F(SmartImageTest, StoredFormSizeCountsPagesAndSavingIsAStub) {
  Img img;
  PaintSquare(img, 0, 0, 1);
  ASSERT_EQ(Fill(img, 128, 0, 128, 128, 0xFF000000u), ilOkay);
  int pages = 0;
  EXPECT_EQ(img->GetImageFileSize(pages), 72 + (16 + 4 * 16384) + 16);
  EXPECT_EQ(pages, 2);
  EXPECT_EQ(img->SaveImageToFile(), -1);
}

// The watermark pass skips one-channel images (what it hands the host for
// colour images is checked in the host services tests).
TEST_F(SmartImageTest, WatermarkPassSkipsMasks) {
  static int calls = 0;
  brenmark::imagestore::SetWatermarkFunction(
      [](void*, void*, int, int, int, int, int, int) { ++calls; }, nullptr);
  Img mask(0, 1);
  ASSERT_EQ(Fill(mask, 0, 0, 200, 100, 0xFF101010u), ilOkay);
  mask->ApplyWatermark();
  EXPECT_EQ(calls, 0);
  brenmark::imagestore::SetWatermarkFunction(nullptr, nullptr);
}

// One tile operation that keeps meeting the coordinate range says so once,
// with a count when it met it more than once; the next operation speaks
// for itself. (A read is checked in the host services tests.)
TEST_F(SmartImageTest, ClippingIsReportedOncePerOperation) {
  Img src, dst;
  std::vector<std::uint32_t> buf(1024 * 1024);
  const std::string clip = "SID: SmartImage had to clip an image op to fit +- 102400";
  struct Case {
    const char* name;
    std::function<ilStatus()> op;
    std::string want;
  };
  const Case cases[] = {
      {"write", [&] { return dst->setTile(-102500, 0, 1024, 1024, buf.data()); }, clip + "\n"},
      {"fill", [&] { return Fill(dst, 0, 102350, 100, 100, 0xFF0000FFu); }, clip + "\n"},
      // 64 destination pages, each reading the source beyond the range.
      {"copy", [&] { return dst->copyTile(0, 0, 1024, 1024, src, 102300, 0); },
       clip + " (64 times)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(store_test::Stderr([&] { EXPECT_EQ(c.op(), ilOkay); }), c.want);
  }
}
