// The flood fill's region search on smart images (tolerance, blocking by
// the fill colour, page seams and the page ring, one-channel images, the
// border rule) and its SIMD span scan against the scalar reference.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "brenmark/brenmark.h"
#include "filters/flood_rows.h"
#include "imagestore/page_cache.h"
#include "imagestore/store_hooks.h"
#include "layers/layer_image_helpers.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kA = 0xFF102030u, kB = 0xFF405060u, kC = 0xFF0000FFu;

struct FillResult {
  bool border;
  ilTile extent;
  std::size_t peakSeeds;
  int loads;
};

// Fills `img` from (x, y) within the clip box with colour kC (a straight
// colour that packs to kC) and tolerance t.
FillResult FillImage(ilSmartImage* img, int x, int y, ilTile clip, float t) {
  PagePixelAccessor acc(img, 0, 0);
  FloodFillOperation op(x, y, t, PaintColor(kC), &acc, img->GetChannels() == 1);
  op.Fill(x, y, clip.x, clip.y, clip.x + clip.nx - 1, clip.y + clip.ny - 1, true);
  return {op.ReachedBorder(), op.ExtentTile(), op.PeakSeeds(), acc.Loads()};
}

// A smart image held for one step of a test.
struct Image {
  explicit Image(int channels, unsigned fill = 0) : img(new ilSmartImage(PixelOf(fill, channels))) {
    img->ref();
  }
  ~Image() { img->unref(); }
  operator ilSmartImage*() const { return img; }
  ilSmartImage* operator->() const { return img; }
  ilSmartImage* img;
};

TEST(FloodFill, ToleranceRoundsHalfAwayFromZeroAndIsKeptInRange) {
  const std::pair<float, int> cases[] = {{0.0f, 0},   {0.0019f, 0}, {0.002f, 1},
                                         {0.5f, 128}, {1.0f, 255},  {2.0f, 255},
                                         {-1.0f, 0},  {NAN, 0},     {127.4f / 255, 127}};
  for (auto [t, want] : cases) EXPECT_EQ(FloodFillOperation::ToleranceByte(t), want) << t;
}

// A 40 x 40 field of kA in kB, a line of kC (the fill colour) across the
// whole clip box at y = 30, and a one-pixel corridor of kA from (5, 40) up
// to (5, 60). The line blocks even where every pixel is inside. A dot one off
// the seed value is left by tolerance 0 and taken by tolerance 1.
TEST(FloodFill, OnePixelCorridorsLeadOnAndTheFillColourBlocks) {
  const std::tuple<float, unsigned, unsigned> cases[] = {
      {0.0f, kB, kA + 1}, {1.0f / 255, kB, kC}, {1.0f, kC, kC}};
  for (auto [t, beside, dot] : cases) {
    Image img(4, kB);
    Paint(img, 0, 0, 40, 40, kA);
    Paint(img, 0, 30, 64, 1, kC);
    Paint(img, 5, 40, 1, 21, kA);
    Paint(img, 15, 35, 1, 1, kA + 1);
    FillImage(img, 5, 60, ilTile(0, 0, 0, 64, 64, 1), t);
    const unsigned probes[][3] = {{5, 41, kC}, {5, 31, kC}, {39, 39, kC}, {6, 41, beside},
                                  {5, 29, kA}, {0, 0, kA},  {15, 35, dot}};
    for (auto [x, y, want] : probes) EXPECT_EQ(Px(img, x, y), want) << x << "," << y << " t " << t;
  }
}

TEST(FloodFill, RegionsAcrossPageSeamsAndMorePagesThanTheRingHolds) {
  // A serpentine over 1024 x 640 (40 pages): walls of kB every 64 rows with
  // a gap at alternating ends, so the search goes back and forth across
  // every page seam.
  Image img(4, kA);
  for (int y = 63, i = 0; y < 640; y += 64, ++i) Paint(img, i % 2 ? 1 : 0, y, 1023, 1, kB);
  const FillResult r = FillImage(img, 0, 0, ilTile(0, 0, 0, 1024, 640, 1), 0.0f);
  const int probes[][2] = {{0, 0},  {127, 126},  {128, 128}, {127, 128}, {1023, 62},
                           {0, 64}, {1023, 638}, {0, 638},   {512, 300}};
  for (auto [x, y] : probes) EXPECT_EQ(Px(img, x, y), kC) << x << "," << y;
  EXPECT_EQ(Px(img, 500, 63), kB);
  EXPECT_TRUE(r.border);   // the clip box edge is reached
  EXPECT_GT(r.loads, 40);  // pages came back after leaving the ring
}

// Random corridors and walls over page seams (negative coordinates in the
// second case) against a plain 4-connected search of the same pixels: runs
// of every length, spans in one page and across seams, tolerance 0 and not.
TEST(FloodFill, RandomRegionsOverPageSeamsMatchAPlainSearch) {
  struct Case {
    int x0, y0, w, h, openPercent;
    float tolerance;
    unsigned near;  // open pixels alternate kA and this
  };
  for (const Case c : {Case{70, 100, 330, 190, 62, 0.0f, kA},
                       Case{-150, -40, 290, 300, 60, 0.02f, kA + 0x00050302u}}) {
    std::mt19937 rng(static_cast<unsigned>(c.w));
    std::vector<std::uint32_t> px(std::size_t(c.w) * c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const bool open = int(rng() % 100) < c.openPercent || (y % 16 == 3 && x % 64 < 50);
        px[std::size_t(y) * c.w + x] = !open ? kB : (x + y) % 3 ? kA : c.near;
      }
    const int sx = c.w / 2 / 64 * 64 + 10, sy = c.h / 2 / 16 * 16 + 3;  // on an open bar
    px[std::size_t(sy) * c.w + sx] = kA;
    Image img(4, kB);
    img->setTile(c.x0, c.y0, c.w, c.h, px.data());
    FillImage(img, c.x0 + sx, c.y0 + sy, ilTile(c.x0, c.y0, 0, c.w, c.h, 1), c.tolerance);
    // The plain search: inside is kA, or `near` within the tolerance.
    std::vector<char> want(px.size(), 0);
    std::vector<int> todo{sy * c.w + sx};
    want[todo[0]] = 1;
    while (!todo.empty()) {
      const int i = todo.back(), x = i % c.w, y = i / c.w;
      todo.pop_back();
      for (auto [nx, ny] : {std::pair{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}) {
        const int j = ny * c.w + nx;
        if (nx < 0 || ny < 0 || nx >= c.w || ny >= c.h || want[j]) continue;
        if (px[j] == kA || (px[j] == c.near && c.tolerance > 0)) {
          want[j] = 1;
          todo.push_back(j);
        }
      }
    }
    std::vector<std::uint32_t> got(px.size());
    img->getTile(c.x0, c.y0, c.w, c.h, got.data());
    long filled = 0, wrong = 0, first = -1;
    for (std::size_t i = 0; i < px.size(); ++i) {
      filled += want[i];
      if (got[i] != (want[i] ? kC : px[i]) && wrong++ == 0) first = long(i);
    }
    EXPECT_EQ(wrong, 0) << "first at " << first % c.w << "," << first / c.w;
    EXPECT_GT(filled, long(px.size()) / 3);  // the region spreads over most pages
  }
}

TEST(FloodFill, CheckerboardKeepsFewSeedsAndTolerancePicksTheConnectivity) {
  for (float t : {0.0f, 1.0f}) {
    Image img(4, kA);
    for (int y = 0; y < 256; ++y)
      for (int x = y % 2; x < 256; x += 2) img->SetPixelExp(x, y, kB);
    const FillResult r = FillImage(img, 10, 10, ilTile(0, 0, 0, 256, 256, 1), t);
    EXPECT_EQ(Px(img, 11, 10), t == 0.0f ? kA : kC);
    EXPECT_EQ(Px(img, 10, 10), kC);
    EXPECT_EQ(Px(img, 255, 255), t == 0.0f ? kB : kC);
    EXPECT_LE(r.peakSeeds, 1024u);
  }
}

TEST(FloodFill, ReachingTheClipBoxMakesTheColourTheFillBeyondIt) {
  Image img(4, 0);
  Paint(img, 100, 100, 60, 60, kA);  // crosses the page seam at 128
  const FillResult r = FillImage(img, 98, 98, ilTile(98, 98, 0, 64, 64, 1), 0.0f);
  EXPECT_TRUE(r.border);
  EXPECT_EQ(img->GetFillValue(), kC);
  const std::tuple<int, int, unsigned> probes[] = {
      {99, 99, kC}, {5, 5, kC}, {255, 130, kC}, {-900, 4000, kC}, {100, 100, kA}, {159, 159, kA}};
  for (auto [x, y, want] : probes) EXPECT_EQ(Px(img, x, y), want) << x << "," << y;
  // The same seed outside the clip box does nothing.
  Image other(4, 0);
  Paint(other, 100, 100, 60, 60, kA);
  EXPECT_FALSE(FillImage(other, 90, 98, ilTile(98, 98, 0, 64, 64, 1), 0.0f).border);
  EXPECT_EQ(Px(other, 98, 98), 0u);
}

TEST(FloodFill, OneChannelImagesUseTheAlphaByteAndWandWritesAtAnOffset) {
  Image mask(1, 0);
  Paint(mask, 0, 0, 10, 10, 7);
  Paint(mask, 4, 4, 1, 1, 9);
  FillImage(mask, 0, 0, ilTile(-2, -2, 0, 14, 14, 1), 2.0f / 255);
  EXPECT_EQ((std::array{Px(mask, 4, 4), Px(mask, 9, 9)}),
            (std::array{0xFFu, 0xFFu}));  // kC's alpha
  EXPECT_EQ(mask->GetFillValue(), 0u);    // the 0 ring is no region of 7 +- 2

  Image layer(4, 0);
  Image sel(1, 255);
  Paint(layer, 126, 126, 4, 4, kA);
  {
    PagePixelAccessor src(layer, 0, 0, false), dst(sel, 0, 0);
    FloodFillOperation op(127, 127, 10, -3, 0.0f, PaintColor(0u), &src, &dst, false, true);
    op.Fill(127, 127, 0, 0, 255, 255, false);
  }
  EXPECT_EQ(
      (std::array{Px(sel, 136, 123), Px(sel, 139, 126), Px(sel, 140, 126), Px(sel, 126, 126)}),
      (std::array{0u, 0u, 255u, 255u}));
  EXPECT_EQ(Px(layer, 127, 127), kA);
}

// A fill through pages the store writes to its swap file and reads back
// while the search runs: 2048 x 1280 pixels (10 MB) under the 8 MB budget,
// every page seam a wall of kB with one gap per page. Swapped or not, the
// same pixels are filled: every kA pixel, and no wall pixel.
TEST(FloodFill, PagesSwappedOutDuringTheFillLoseNothingAtTheSeams) {
  constexpr int kW = 2048, kH = 1280;
  auto* cache = brenmark::imagestore::SmartImageCache::Instance();
  std::vector<std::uint32_t> filled[2];
  for (int swapped = 0; swapped < 2; ++swapped) {
    SCOPED_TRACE(swapped);
    if (swapped) {  // 36 MB free of 4 GB: the budget is neither grown nor shrunk
      brenmark::imagestore::SetMemoryInfoSource(
          {[](void*) { return 4u << 20; }, [](void*) { return 36u << 10; }});
      cache->SetCacheSize(brenmark::imagestore::SmartImageCache::kMinBudget);
    }
    Image img(4, kA);
    Paint(img, 0, 0, kW, kH, kA);  // written pages, not the fill value
    for (int e = 127; e < kW; e += 128) Paint(img, e, 0, 1, kH, kB);
    for (int e = 127; e < kH; e += 128) Paint(img, 0, e, kW, 1, kB);
    for (int e = 127; e < kW; e += 128)  // a gap in each wall per page
      for (int y = 5; y < kH; y += 128) Paint(img, e, y, 1, 1, kA);
    for (int e = 127; e < kH; e += 128)
      for (int x = 120; x < kW; x += 128) Paint(img, x, e, 1, 1, kA);
    const long missesBefore = cache->Misses();
    FillImage(img, kW - 2, kH - 2, ilTile(0, 0, 0, kW, kH, 1), 0.0f);
    if (swapped) {
      // Read back: at least the 32 pages beyond the budget's 128.
      EXPECT_GT(cache->Misses() - missesBefore, 32);
      EXPECT_GT(cache->SwappedCount(), 20);
    }
    filled[swapped].resize(std::size_t{kW} * kH);
    img->getTile(0, 0, kW, kH, filled[swapped].data());
    // Walls: 16 columns and 10 rows, less a gap per page on each.
    const long walls = 16L * kH + 10L * kW - 16 * 10 - 2 * 16 * 10;
    EXPECT_EQ(std::count(filled[swapped].begin(), filled[swapped].end(), kC),
              long{kW} * kH - walls);
    EXPECT_EQ(std::count(filled[swapped].begin(), filled[swapped].end(), kB), walls);
    for (auto [x, y] : {std::pair{127, 5}, {128, 5}, {127, 6}, {120, 127}, {120, 128}, {0, 0}})
      EXPECT_EQ(Px(img, x, y), x == 127 && y == 6 ? kB : kC) << x << "," << y;
    if (swapped) {
      cache->SetCacheSize(64 * brenmark::imagestore::SmartImageCache::kMB);
      brenmark::imagestore::SetMemoryInfoSource({});
    }
  }
  const auto diff = std::mismatch(filled[0].begin(), filled[0].end(), filled[1].begin());
  EXPECT_TRUE(diff.first == filled[0].end())
      << "first difference at pixel " << (diff.first - filled[0].begin());
}

TEST(FloodRows, EveryLevelMatchesScalarAtEveryStopAndRowEnd) {
  using namespace brenmark::flood;
  std::mt19937 rng(7);
  std::vector<std::uint32_t> row(140);
  for (SimdLevel level : {SimdLevel::kSse2, SimdLevel::kAvx2}) {
    const FloodRows* rows = FloodRowsFor(level);
    if (!rows) continue;
    for (int n = 0; n <= 128; ++n) {
      for (int stop = 0; stop <= n; ++stop) {
        const std::uint32_t seed = rng();
        const int tol = static_cast<int>(rng() % 256);
        for (auto& p : row) p = seed;
        // Pixels within the tolerance except one byte past it at `stop`.
        for (int i = 0; i < n; ++i) row[i] ^= rng() & 0x01010101u & (tol ? ~0u : 0u);
        if (stop < n) row[stop] = seed ^ 0x80000000u;
        const auto* p = reinterpret_cast<const std::uint8_t*>(row.data());
        const auto* last = p + 4 * (n ? n - 1 : 0);
        ASSERT_EQ(rows->inside_right(p, n, seed, tol), scalar::InsideRight(p, n, seed, tol))
            << rows->name << " n " << n << " stop " << stop;
        ASSERT_EQ(rows->inside_left(last, n, seed, tol), scalar::InsideLeft(last, n, seed, tol))
            << rows->name << " n " << n << " stop " << stop;
        // Outside runs: each pixel 128 off in one byte, the seed itself at `stop`.
        for (int i = 0; i < n; ++i) row[i] = seed ^ (0x80u << (8 * (i % 4)));
        if (stop < n) row[stop] = seed;
        ASSERT_EQ(rows->outside_right(p, n, seed, tol % 128),
                  scalar::OutsideRight(p, n, seed, tol % 128))
            << rows->name << " n " << n << " stop " << stop;
      }
    }
  }
}

}  // namespace
}  // namespace brenmark::testing
