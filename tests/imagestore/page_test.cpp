// Pages: null handles, copy-on-write, Realize modes, solid detection,
// transparency and alpha classes, lines, retention and stale handles. The
// page table: lookups and clusters, the coordinate range, bounds and
// pruning, page lists and their order, pixels and scans.
#include <brenmark/il_types.h>

#include <tuple>

#include "imagestore/page.h"
#include "imagestore/page_table.h"
#include "imagestore/store_test_support.h"

using store_test::Stderr;

namespace {

// Lets each handle go (a copied handle would take a reference).
template <typename... P>
void Release(P&... pages) {
  (pages.UnRef(kReleaseReference), ...);
}

class Page : public testing::Test {
 protected:
  store_test::SmartImageCache* cache = store_test::Cache();
};

// Makes `page` a private in-memory four-byte page whose pixel i holds
// base + i. (Handles are filled in place: a copied handle takes a reference.)
void MakeGradientPage(SmartImgPage& page, std::uint32_t base) {
  page.MakeFilled(0, 4);
  EXPECT_TRUE(page.Realize(2));
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) page.SetPixel(base + static_cast<unsigned>(y * 128 + x), x, y);
}

// A page table of fill 0 over the process cache.
class PageTable : public testing::Test {
 protected:
  void SetUp() override { table.SetFill(0); }
  store_test::SmartImageCache* cache = store_test::Cache();
  SmartImage table;
};

}  // namespace

TEST_F(Page, NullHandleReadsAsSolidClearZero) {
  SmartImgPage page;
  EXPECT_EQ((std::array{page.IsNull(), page.IsSolidFilled(0u), page.IsSolidFilled(7u),
                        page.IsSolidFilled(ilTile(3, 3, 0, 10, 10, 1))}),
            (std::array{true, true, false, true}));
  EXPECT_EQ((std::tuple{page.GetTransparency(), page.WalkPage(nullptr), page.GetFillValue()}),
            (std::tuple{kTransClear, 1, 0u}));
}

TEST_F(Page, CopyOnWriteGivesWriterItsOwnPage) {
  SmartImgPage a;
  MakeGradientPage(a, 1000);
  SmartImgPage b(a);  // second holder
  ASSERT_EQ(a.Body(), b.Body());
  ASSERT_EQ(a.GetRefCnt(), 2);
  PageData* shared = a.Body();

  ASSERT_TRUE(b.Realize(1));
  EXPECT_TRUE(a.Body() == shared && b.Body() != shared);
  EXPECT_EQ((std::array{a.GetRefCnt(), b.GetRefCnt()}), (std::array{1, 1}));
  EXPECT_EQ(std::memcmp(a.GetDataPtr(), b.GetDataPtr(), 65536), 0);
  EXPECT_EQ(b.GetSourcePage(), shared);

  b.SetPixel(0xFFFFFFFFu, 5, 6);
  EXPECT_EQ((std::array{b.GetPixel(5, 6), a.GetPixel(5, 6)}),
            (std::array{0xFFFFFFFFu, 1000u + 6 * 128 + 5}));
  a.UnRef(kReleaseReference);
  EXPECT_EQ(b.GetSourcePage(), nullptr);  // the source went away; no dangling link
  b.UnRef(kReleaseReference);
}

TEST_F(Page, ClearOnSharedPageLeavesOtherHolderAndAllocatesNothing) {
  SmartImgPage a;
  MakeGradientPage(a, 5);
  SmartImgPage b(a);
  const std::size_t before = cache->BytesInMemory();
  ASSERT_TRUE(b.Realize(3));
  EXPECT_TRUE(b.IsSolidFilled(0u) && b.GetDataPtr() == nullptr && a.IsInMemory());
  EXPECT_EQ(cache->BytesInMemory(), before);
  EXPECT_EQ(a.GetPixel(127, 127), 5u + 16383);
  EXPECT_EQ((std::array{a.GetRefCnt(), b.GetRefCnt()}), (std::array{1, 1}));
  Release(a, b);
}

TEST_F(Page, ScanTurnsUniformPageSolidAndGivesMemoryBack) {
  const std::size_t before = cache->BytesInMemory();
  SmartImgPage page(0x80402010u, 4);
  ASSERT_TRUE(page.Realize(1));  // now in memory, every pixel the old fill
  EXPECT_EQ(cache->BytesInMemory(), before + 65536);
  EXPECT_EQ(page.Body()->scanned, 0);  // queued for scan by the write
  EXPECT_EQ(page.CheckForSolid(nullptr), 1);
  EXPECT_TRUE(page.IsSolidFilled(0x80402010u) && cache->BytesInMemory() == before);

  SmartImgPage other(0xFF000000u, 4);
  ASSERT_TRUE(other.Realize(1));
  other.SetPixel(0xFF0000FFu, 64, 64);  // one different pixel, still opaque
  EXPECT_EQ(other.CheckForSolid(nullptr), 0);
  EXPECT_TRUE(other.IsInMemory() && other.GetTransparency() == kTransOpaque);
  EXPECT_EQ(cache->BytesInMemory(), before + 65536);
  // A test of part of the page answers for that part and changes nothing.
  const ilTile part(0, 0, 0, 50, 50, 1), across(60, 60, 0, 20, 20, 1);
  EXPECT_EQ((std::array{other.CheckForSolid(&part), other.CheckForSolid(&across)}),
            (std::array{1, 0}));
  EXPECT_TRUE(other.IsInMemory());
  Release(page, other);
  EXPECT_EQ(cache->BytesInMemory(), before);
}

TEST_F(Page, HorizontalLinesSwapEndsAndIgnoreOutOfPageRows) {
  SmartImgPage page(0, 1);
  page.DrawHorizLine(10, 5, 3, 200);
  for (int x = 0; x < 128; ++x) EXPECT_EQ(page.GetPixel(x, 3), x >= 5 && x <= 10 ? 200u : 0u) << x;
  page.DrawHorizLine(0, 10, 128, 50);
  page.DrawHorizLine(0, 128, 4, 50);
  for (int x = 0; x < 128; ++x) EXPECT_EQ(page.GetPixel(x, 4), 0u);

  SmartImgPage solid(50, 1);
  solid.DrawHorizLine(0, 127, 0, 50);  // already that value: stays solid
  EXPECT_TRUE(solid.IsSolidFilled(50u));
  Release(page, solid);
}

TEST_F(Page, PriorityStopsAtItsLimitsAndClippingKeepsToThePage) {
  SmartImgPage page(0, 4);
  page.SetPriority(254);
  page.IncrementPriority();
  const int top = page.GetPriority();
  page.SetPriority(0);
  page.DecrementPriority();
  EXPECT_EQ((std::array{top, page.GetPriority()}), (std::array{254, 0}));
  Release(page);

  int x = -10, y = 120, w = 30, h = 30;
  SmartImgPage::ClipToPage(x, y, w, h);
  EXPECT_EQ((std::array{x, y, w, h}), (std::array{0, 120, 20, 8}));
}

TEST_F(Page, TransparencyClassesOfSolidAndMemoryPages) {
  SmartImgPage clear(0x00000000u, 4), opaque(0xFF102030u, 4), half(0x80101010u, 4), mask(255, 1);
  EXPECT_EQ((std::array{clear.TestTransparency(nullptr), opaque.TestTransparency(nullptr),
                        half.TestTransparency(nullptr), mask.TestTransparency(nullptr)}),
            (std::array{kTransClear, kTransOpaque, kTransMixed, kTransOpaque}));

  ASSERT_TRUE(clear.Realize(1));
  clear.SetPixel(0xFF000000u, 127, 0);
  const ilTile left(0, 0, 0, 64, 128, 1);
  // A part is never cached.
  EXPECT_EQ((std::array{clear.TestTransparency(&left), clear.GetTransparency(),
                        clear.TestTransparency(nullptr)}),
            (std::array{kTransClear, kTransMixed, kTransMixed}));
  // Not forced and nothing cached: unknown answers mixed.
  clear.MarkDirty();
  EXPECT_EQ((std::array{clear.IsTransparent(&left, 0), clear.IsTransparent(&left, 1)}),
            (std::array{kTransMixed, kTransClear}));
  Release(clear, opaque, half, mask);
}

// One pixel off the page's alpha decides the class wherever it lies: mid
// page, the last pixel of a rectangle's tail past the sixteen-pixel groups,
// just outside the rectangle; a colour change alone does not.
TEST_F(Page, OnePixelDecidesTheTransparencyClass) {
  struct Case {
    std::uint32_t fill;
    ilTile rect;
    int x, y;
    std::uint32_t value;
    SmartImgTrans expected;
  } cases[] = {
      {0xFF102030u, ilTile(0, 0, 0, 128, 128, 1), 77, 90, 0xFE102030u, kTransMixed},
      {0xFF102030u, ilTile(0, 0, 0, 128, 128, 1), 77, 90, 0xFF000000u, kTransOpaque},
      {0xFF102030u, ilTile(3, 5, 0, 21, 7, 1), 22, 11, 0xFE102030u, kTransMixed},
      {0xFF102030u, ilTile(3, 5, 0, 21, 7, 1), 24, 11, 0x00000000u, kTransOpaque},
      {0x00000000u, ilTile(0, 0, 0, 128, 128, 1), 126, 127, 0x01000000u, kTransMixed},
      {0x00000000u, ilTile(1, 1, 0, 127, 2, 1), 113, 1, 0x01000000u, kTransMixed},
      {0x00000000u, ilTile(1, 1, 0, 127, 2, 1), 112, 3, 0xFF000000u, kTransClear},
      {0x00000000u, ilTile(0, 0, 0, 128, 128, 1), 127, 126, 0x00000005u, kTransClear},
  };
  for (const Case& c : cases) {
    SmartImgPage page(c.fill, 4);
    ASSERT_TRUE(page.Realize(1));
    page.SetPixel(c.value, c.x, c.y);
    EXPECT_EQ(page.TestTransparency(&c.rect), c.expected) << c.x << "," << c.y;
    page.UnRef(kReleaseReference);
  }
}

TEST_F(Page, AlphaChecksGradeColourAboveAlpha) {
  // slight: colour exceeds alpha by 2.
  SmartImgPage valid(0x80404040u, 4), slight(0x80808282u, 4), noAlpha(0x00302010u, 4),
      bad(0x10ff0000u, 4), small(5, 1);
  EXPECT_EQ((std::array{valid.CheckAlpha(), slight.CheckAlpha(), noAlpha.CheckAlpha(),
                        bad.CheckAlpha(), small.CheckAlpha()}),
            (std::array{0, 1, 3, 2, 0}));

  SmartImgPage premult(0x80FF80FFu, 4);
  bad.ForceAlphaValid(1);
  slight.ForceAlphaValid(2);
  premult.ForceAlphaValid(3);
  // Premultiplied: 255 * 128 / 255 = 128; 128 / 255 * 128 / 255 * 255 = 64.25 -> 64.
  EXPECT_EQ((std::array{bad.GetFillValue(), slight.GetFillValue(), premult.GetFillValue()}),
            (std::array{0xFFFF0000u, 0x82808282u, 0x80804080u}));
  Release(valid, slight, noAlpha, bad, small, premult);
}

TEST_F(Page, RetainedPageSurvivesAndTemporarySolidReturns) {
  const std::size_t before = cache->BytesInMemory();
  const int retained = cache->RetainedCount();
  SmartImgPage page(0x11223344u, 4);
  page.MakeInMemFromSolid();
  page.MarkTempSolid();
  page.ForceRetain();
  EXPECT_TRUE(page.GetPriority() == 255 && cache->RetainedCount() == retained + 1);
  page.ForceRetain();  // already pinned: no second count
  EXPECT_TRUE(page.GetRetainCount() == 1 && cache->FindVictim(true) != page.Body());
  page.DontRetain();
  EXPECT_TRUE(page.IsSolidFilled(0x11223344u) && cache->RetainedCount() == retained);
  EXPECT_EQ(cache->BytesInMemory(), before);

  // A pinned body outlives its last reference until it is let go.
  page.Realize(1);
  page.ForceRetain();
  SmartImgPage keep;
  keep = page;  // assignment copies the pointer only: no reference
  page.UnRef(kReleaseReference);
  EXPECT_TRUE(keep.IsValid());
  keep.DontRetain();
  EXPECT_TRUE(keep.IsNull() && cache->BytesInMemory() == before);
}

TEST_F(Page, StaleHandleReportsWhereItWasReleased) {
  SmartImgPage page(1, 4);
  SmartImgPage stale;
  stale = page;           // assignment copies the pointer only: no reference
  page.MakeFilled(2, 4);  // releases the first body with tag 1234002
  bool valid = true;
  EXPECT_EQ(store_test::Stderr([&] { valid = stale.CheckValid(); }),
            "Quorvel: Invalid page -- Unrefed at 1234002 (Sig - deadbeef)\n");
  EXPECT_FALSE(valid);
  page.UnRef(kReleaseReference);
}

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
