// The page table: lookups and clusters, the coordinate range, bounds and
// pruning, page lists and their order, pixels and scans.

#include "imagestore/page_table.h"
#include "imagestore/page.h"
#include "imagestore/store_test_support.h"

using store_test::Stderr;

namespace {

// A page table of fill 0 over the process cache.
class PageTable : public testing::Test {
 protected:
  void SetUp() override { table.SetFill(0); }
  store_test::SmartImageCache* cache = store_test::Cache();
  SmartImage table;
};

}  // namespace

TEST_F(PageTable, NewClusterGoesRightAfterTheFirstAndIsCached) {
  SmartImgPage* far = table.FindPageFromOrigin(4096, 0, 1);
  ASSERT_EQ(table.ClusterCount(), 2);
  const PageCluster* cluster = table.FirstCluster()->GetNext();
  EXPECT_EQ((std::array{cluster->x(), cluster->y()}), (std::array{4096, 0}));
  EXPECT_EQ(table.LastCluster(), cluster);
  // Another cluster between them in the list; the cached one is found first.
  table.FindPageFromOrigin(-2048, 0, 1);
  EXPECT_EQ(table.FirstCluster()->GetNext()->x(), -2048);
  EXPECT_EQ(table.FindPageFromOrigin(4096 + 128, 128, 1), table.FindPageFromOrigin(4224, 128, 1));
  EXPECT_EQ(table.LastCluster()->x(), 4096);
  EXPECT_EQ(far->Body(), table.GetDefaultPage()->Body());  // untouched entries share it
  EXPECT_EQ(table.GetDefaultPage()->GetRefCnt(), 2 + 3);
}

// Without create a lookup gives the default page; beyond the range a
// create warns and gives a fill page, where writes are lost.
TEST_F(PageTable, LookupsOutsideTheBoundsOrBeyondTheRangeGiveFillPages) {
  table.SetFill(9);
  EXPECT_EQ(table.FindPageFromOrigin(-128, -128, 0), table.GetDefaultPage());
  EXPECT_EQ(table.ClusterCount(), 1);
  EXPECT_TRUE(table.GetDefaultPage()->IsSolidFilled(9u));
  EXPECT_EQ(table.GetPixel(-5, -5), 9u);
  SmartImgPage* page = nullptr;
  EXPECT_EQ(Stderr([&] { page = table.FindPageFromOrigin(102528, 0, 1); }),
            "SID: Warning: Exceeding Max coord range of -102400 to 102400\n");
  EXPECT_TRUE(page->IsSolidFilled(9u));
  EXPECT_NE(page, table.GetDefaultPage());
  EXPECT_EQ(Stderr([&] { page = table.FindPageFromOrigin(102528, 0, 0); }), "");
  EXPECT_EQ(page, table.GetDefaultPage());
  table.SetPixel(200000, 5, 1);
  EXPECT_EQ(table.GetPixel(200000, 5), 9u);
}

TEST_F(PageTable, PageListRunsRowsBottomUpLeftToRight) {
  const Rectangle_ rect{-1, -1, 2, 2};
  std::vector<PageListItem> items(static_cast<std::size_t>(SmartImage::GetPageListSize(rect)));
  int count = 0;
  table.GetPageList(rect, items.data(), count, 1, 1);
  ASSERT_EQ(count, 4);
  const std::array<int, 3> expect[4] = {{-128, -128, 1}, {0, -128, 1}, {-128, 0, 1}, {0, 0, 1}};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ((std::array{items[i].x, items[i].y, items[i].locked}), expect[i]);
  EXPECT_EQ(items[4].page, nullptr);
  EXPECT_EQ(SmartImage::GetPageListSize(Rectangle_{0, 0, 1, 1}), 5);
  EXPECT_EQ(SmartImage::GetPageListSize(Rectangle_{0, 0, 128, 128}), 10);
}

TEST_F(PageTable, SortedListPutsResidentPagesFirstAndSwappedInFileOrder) {
  table.SetBounds(0, 0, 128 * 6, 128, 1);
  for (int i = 0; i < 6; ++i) {
    table.SetPixel(i * 128, 0, 1);  // private in-memory page
    std::memcpy(table.FindPageFromOrigin(i * 128, 0, 1)->GetDataPtr(),
                store_test::Pattern(static_cast<std::uint32_t>(i), 16384).data(), 65536);
  }
  // Page 1 and then page 4 go to the swap file; page 3 is touched last.
  ASSERT_TRUE(cache->Evict(table.FindPageFromOrigin(128, 0, 0)->Body()));
  ASSERT_TRUE(cache->Evict(table.FindPageFromOrigin(512, 0, 0)->Body()));
  table.FindPageFromOrigin(384, 0, 0)->Touch();
  PageIterator pages(&table, 0, 0, 128 * 6, 128, 0, 1);
  ASSERT_EQ(pages.Count(), 6);
  int ox, oy;
  EXPECT_TRUE(pages.GetNext(ox, oy)->IsInMemory());
  EXPECT_EQ(ox, 384);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(pages.GetNext(ox, oy)->IsInMemory());
  SmartImgPage* a = pages.GetNext(ox, oy);
  SmartImgPage* b = pages.GetNext(ox, oy);
  ASSERT_TRUE(a->IsSwapped() && b->IsSwapped());
  EXPECT_LT(a->GetFileOffset(), b->GetFileOffset());
  EXPECT_EQ(pages.GetNext(ox, oy), nullptr);
  EXPECT_EQ(ox, 0);
}

TEST_F(PageTable, BoundsClipToTheRangeWithAMessage) {
  EXPECT_EQ(Stderr([&] { table.SetBounds(10, 10, -5, 20, 1); }), "");
  int x, y, w, h;
  table.GetBounds(x, y, w, h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(Stderr([&] { table.SetBounds(200000, 0, 10, 10, 1); }),
            "SID: SmartImage had to clip an image op to fit +- 102400\n");
  table.GetBounds(x, y, w, h);
  EXPECT_EQ((std::array{x, w}), (std::array{102400, 0}));
}

TEST_F(PageTable, PruningDropsOutsidePagesAndFillsStraddlingOnes) {
  const std::size_t before = cache->BytesInMemory();
  table.SetPixelSize(1);
  table.SetFill(0);
  table.SetBounds(0, 0, 4096, 256, 1);
  for (int x = 0; x < 4096; x += 64) table.SetPixel(x, 100, 200);
  table.SetPixel(110, 100, 200);
  ASSERT_EQ(table.ClusterCount(), 2);
  table.SetBounds(0, 0, 100, 256, 0);
  EXPECT_EQ(table.ClusterCount(), 1);
  EXPECT_EQ(table.GetPixel(64, 100), 200u);  // inside stays
  EXPECT_EQ(table.FindPageFromOrigin(128, 0, 0), table.GetDefaultPage());
  // The straddling page keeps x < 100 and holds the fill beyond.
  SmartImgPage* edge = table.FindPageFromOrigin(0, 0, 0);
  EXPECT_EQ(edge->GetPixel(64, 100), 200u);
  EXPECT_EQ(edge->GetPixel(110, 100), 0u);
  table.SetBounds(0, 0, 0, 0, 0);
  EXPECT_EQ(cache->BytesInMemory(), before);
}

TEST_F(PageTable, PixelScanWalksWithinBoundsAndAdjacentPixelsFollow) {
  table.SetPixelSize(1);
  table.SetFill(0);
  table.SetBounds(10, 0, 100, 10, 1);
  table.SetPixel(50, 5, 0x81);
  EXPECT_EQ(
      (std::array{table.PixelScan(10, 5, 1, 0x80, 0x80), table.PixelScan(40, 5, -1, 0x80, 0x80),
                  table.PixelScan(60, 5, 1, 0x80, 0x80)}),
      (std::array{50, 9, 110}));
  EXPECT_EQ(table.GetPixel(49, 5), 0u);
  // The last call finds 0: the advancing one moved on to 50.
  const unsigned a = table.GetAdjacentPixel(1, 0, 0), b = table.GetAdjacentPixel(1, 0, 1);
  EXPECT_EQ((std::array{a, b, table.GetAdjacentPixel(1, 0, 0)}), (std::array{0x81u, 0x81u, 0u}));
}
