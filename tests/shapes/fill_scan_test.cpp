// The fill's scan conversion: exact coverage of squares, slivers and apexes,
// opacity scaling, and every SIMD level against the reference scan.
#include "shapes/fill_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "brenmark/smart_image.h"
#include "imagestore/page.h"
#include "shapes/fill_mask.h"
#include "shapes/fill_scan_rows.h"

namespace brenmark::shapes {
namespace {

// A closed polygon through the given corners.
std::vector<LineSegment> Polygon(const std::vector<std::pair<float, float>>& p) {
  std::vector<LineSegment> s;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto& a = p[i];
    const auto& b = p[(i + 1) % p.size()];
    s.push_back({a.first, a.second, b.first - a.first, b.second - a.second});
  }
  return s;
}

std::vector<LineSegment> Rect(float x0, float y0, float x1, float y1) {
  return Polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

// An ellipse of radii rx and ry about (cx, cy), turned by `turn` radians,
// as a polygon of n corners.
std::vector<LineSegment> Ellipse(float cx, float cy, float rx, float ry, float turn, int n) {
  std::vector<std::pair<float, float>> p;
  for (int i = 0; i < n; ++i) {
    const double t = 6.283185307179586 * i / n, c = std::cos(turn), s = std::sin(turn);
    const double x = rx * std::cos(t), y = ry * std::sin(t);
    p.push_back({static_cast<float>(cx + x * c - y * s), static_cast<float>(cy + x * s + y * c)});
  }
  return Polygon(p);
}

// Two polygons' segments as one shape.
std::vector<LineSegment> Join(std::vector<LineSegment> a, const std::vector<LineSegment>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint8_t> Scan(const std::vector<LineSegment>& s, const ilTile& b) {
  std::vector<std::uint8_t> cov(static_cast<std::size_t>(b.nx) * b.ny, 0);
  ScanPolygonCoverage(s.data(), static_cast<int>(s.size()), b, cov.data());
  return cov;
}

// A row of the tile as text, to compare whole rows at once.
std::string Row(const std::vector<std::uint8_t>& cov, int nx, int r) {
  std::string out;
  for (int x = 0; x < nx; ++x) out += (x ? " " : "") + std::to_string(cov[r * nx + x]);
  return out;
}

const ilTile kTile(8, 8, 0, 16, 16, 1);

// Rows of a 16-wide tile; every row not listed is all zero.
struct RowCase {
  const char* name;
  std::vector<LineSegment> segments;
  std::vector<std::pair<int, std::string>> rows;
};

TEST(FillScan, ShapesGiveExactRowsAndTheLastRowAndColumnStayZero) {
  const std::string edge = "0 0 42 42 42 42 42 42 42 42 42 42 0 0 0 0";
  const std::string body = "0 42 255 255 255 255 255 255 255 255 255 255 42 0 0 0";
  // x from 10.5 to 15.25: horizontal ends 127 and 63 of 255, vertical
  // columns 2 and 7 see two and one of their three sub-lines.
  const std::string fracEdge = "0 0 21 42 42 42 42 10 0 0 0 0 0 0 0 0";
  const std::string fracBody = "0 0 148 255 255 255 255 74 0 0 0 0 0 0 0 0";
  // Slivers inside pixel 2 of the row: the covered fraction once, 249 for
  // 0.98 pixels (the vertical pass adds 85 at x = 10.5), 63 for 0.25.
  const std::string wideEdge = "0 0 41 0 0 0 0 0 0 0 0 0 0 0 0 0";
  const std::string wideBody = "0 0 167 0 0 0 0 0 0 0 0 0 0 0 0 0";
  const std::string thinEdge = "0 0 10 0 0 0 0 0 0 0 0 0 0 0 0 0";
  const std::string thinBody = "0 0 31 0 0 0 0 0 0 0 0 0 0 0 0 0";
  std::vector<RowCase> cases = {
      {"square", Rect(10, 10, 20, 20), {{1, edge}, {12, edge}}},
      {"fractional", Rect(10.5f, 10, 15.25f, 20), {{1, fracEdge}, {12, fracEdge}}},
      {"sliver 0.98", Rect(10.01f, 10, 10.99f, 20), {{1, wideEdge}, {12, wideEdge}}},
      {"sliver 0.25", Rect(10.1f, 10, 10.35f, 20), {{1, thinEdge}, {12, thinEdge}}},
      {"single segment", {{10, 10, 5, 7}}, {}},
      // Reaching past the tile: crossings clamp to the last column, which
      // gets nothing; the last row is never reached.
      {"beyond the tile",
       Rect(20, 20, 40, 40),
       {{11, "0 0 0 0 0 0 0 0 0 0 0 0 42 42 42 0"},
        {12, "0 0 0 0 0 0 0 0 0 0 0 42 255 255 255 0"},
        {13, "0 0 0 0 0 0 0 0 0 0 0 42 255 255 255 0"},
        {14, "0 0 0 0 0 0 0 0 0 0 0 42 255 255 255 0"}}},
  };
  for (int r = 2; r <= 11; ++r) {
    cases[0].rows.push_back({r, body});
    cases[1].rows.push_back({r, fracBody});
    cases[2].rows.push_back({r, wideBody});
    cases[3].rows.push_back({r, thinBody});
  }
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> cov = Scan(c.segments, kTile);
    for (int r = 0; r < 16; ++r) {
      std::string want = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
      for (const auto& [row, text] : c.rows) {
        if (row == r) want = text;
      }
      EXPECT_EQ(Row(cov, 16, r), want) << "row " << r;
    }
  }
}

// The sub-line through a downward apex meets both edges at one point: one
// crossing after duplicates go, so that sub-line is empty and nothing of the
// triangle reaches the row below it.
TEST(FillScan, NothingLeaksPastAnApex) {
  // Apex at y = 18, row 10 of the tile; the edges run 1 across per 2 down.
  const auto tri = Polygon({{12, 10}, {20, 10}, {16, 18}});
  const std::vector<std::uint8_t> cov = Scan(tri, kTile);
  // Row 9: sub-lines with spans 7.5..8.5 and 7.75..8.25, then the empty
  // one: (127 + 63) / 3 = 63 across, 85 down, 74 both.
  EXPECT_EQ(Row(cov, 16, 9), "0 0 0 0 0 0 0 74 74 0 0 0 0 0 0 0");
  for (int r = 10; r < 16; ++r)
    EXPECT_EQ(Row(cov, 16, r), Row(std::vector<std::uint8_t>(16), 16, 0)) << r;
}

TEST(FillScan, BadInputLeavesTheBufferAlone) {
  const auto sq = Rect(10, 10, 20, 20);
  std::vector<std::uint8_t> cov(256, 7);
  ScanPolygonCoverage(nullptr, 4, kTile, cov.data());
  ScanPolygonCoverage(sq.data(), -1, kTile, cov.data());
  ScanPolygonCoverage(sq.data(), 4, ilTile(8, 8, 0, 0, 16, 1), cov.data());
  ScanPolygonCoverage(sq.data(), 4, kTile, nullptr);
  EXPECT_EQ(cov, std::vector<std::uint8_t>(256, 7));
}

TEST(FillScan, OpacityScalesBelow0997WithHalvesRoundedAway) {
  struct Case {
    float opacity;
    std::vector<std::uint8_t> want;  // of 0, 1, 2, 100, 200, 255
  } const cases[] = {
      {0.5f, {0, 0, 1, 50, 100, 127}},
      {0.997f, {0, 1, 2, 100, 200, 255}},
      {2.0f, {0, 1, 2, 100, 200, 255}},
      {0.996f, {0, 0, 1, 99, 199, 254}},
      {0.501953125f, {0, 0, 1, 50, 100, 128}},  // k = 128.5 -> 129
      {0.0f, {0, 0, 0, 0, 0, 0}},
      {-1.0f, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> v = {0, 1, 2, 100, 200, 255};
    ScaleCoverage(v.data(), v.size(), c.opacity);
    EXPECT_EQ(v, c.want) << c.opacity;
  }
}

// Random polygons (many on the half-pixel grid, so crossings coincide and
// vertices fall on sub-lines) over tiles of odd sizes, wider and taller than
// a strip of the vertical pass: every level and the reference agree.
TEST(FillScan, EveryLevelMatchesTheReferenceOnRandomPolygons) {
  std::mt19937 rng(20261207);
  std::vector<const FillScanRows*> levels;
  for (SimdLevel l : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2}) {
    if (const FillScanRows* r = FillScanRowsFor(l)) levels.push_back(r);
  }
  ASSERT_FALSE(levels.empty());
  const int sizes[][2] = {{1, 1},   {2, 3},    {17, 5},   {33, 31},
                          {65, 47}, {130, 17}, {47, 150}, {161, 129}};
  for (int trial = 0; trial < 120; ++trial) {
    const int* sz = sizes[trial % 8];
    const ilTile b(static_cast<int>(rng() % 300) - 150, static_cast<int>(rng() % 300) - 150, 0,
                   sz[0], sz[1], 1);
    const bool grid = trial % 3 != 0;
    auto coord = [&](int origin, int n) {
      const float t = std::uniform_real_distribution<float>(-0.2f, 1.2f)(rng) * n + origin;
      return grid ? std::round(t * 2) / 2 : t;
    };
    std::vector<std::pair<float, float>> pts(3 + rng() % 60);
    for (auto& p : pts) p = {coord(b.x, b.nx), coord(b.y, b.ny)};
    const auto segs = Polygon(pts);
    const std::size_t n = static_cast<std::size_t>(b.nx) * b.ny;
    std::vector<std::uint8_t> want(n, 0);
    ScanPolygonCoverageReference(segs.data(), static_cast<int>(segs.size()), b, want.data());
    for (const FillScanRows* rows : levels) {
      std::vector<std::uint8_t> got(n, 0);
      ScanPolygonCoverageWith(*rows, segs.data(), static_cast<int>(segs.size()), b, got.data());
      for (std::size_t i = 0; i < n; ++i) {
        if (got[i] != want[i]) {
          ADD_FAILURE() << rows->name << " trial " << trial << " tile " << b.nx << "x" << b.ny
                        << " first difference at (" << i % b.nx << ", " << i / b.nx
                        << "): " << int(got[i]) << " want " << int(want[i]);
          break;
        }
      }
    }
  }
}

// Cells into a buffer of the bounds, noting the cells handed over as one
// value.
struct RecordingCells final : CoverageCells {
  ilTile b;
  std::vector<std::uint8_t> px;
  std::vector<std::pair<ilTile, int>> solid;
  explicit RecordingCells(const ilTile& t) : b(t), px(static_cast<std::size_t>(t.nx) * t.ny, 0) {}
  bool Solid(const ilTile& cell, std::uint8_t value) override {
    solid.push_back({cell, value});
    std::ptrdiff_t stride;
    std::uint8_t* p = Rows(cell, &stride);
    for (int y = 0; y < cell.ny; ++y) std::fill(p + y * stride, p + y * stride + cell.nx, value);
    return true;
  }
  std::uint8_t* Rows(const ilTile& cell, std::ptrdiff_t* stride) override {
    *stride = b.nx;
    // Garbage first: every byte of a written cell must be written.
    std::uint8_t* p = px.data() + static_cast<std::ptrdiff_t>(cell.y - b.y) * b.nx + (cell.x - b.x);
    for (int y = 0; y < cell.ny; ++y) std::fill(p + y * b.nx, p + y * b.nx + cell.nx, 0xA5);
    return p;
  }
  void BandDone() override {}
};

// Every level gives `want` for the shape, into one buffer and through the
// cells; `timed` runs the cells with the passes timed, which must not
// change a pixel, and checks the crossings' share of the passes.
void ExpectEveryLevelGives(const std::vector<LineSegment>& segments, const ilTile& b,
                           const std::vector<std::uint8_t>& want, bool timed) {
  const int count = static_cast<int>(segments.size());
  for (SimdLevel l : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2}) {
    const FillScanRows* rows = FillScanRowsFor(l);
    if (rows == nullptr) continue;
    std::vector<std::uint8_t> got(want.size(), 0);
    ScanPolygonCoverageWith(*rows, segments.data(), count, b, got.data());
    EXPECT_EQ(got, want) << rows->name;
    RecordingCells cells(b);
    ScanCycles cycles;
    EXPECT_TRUE(ScanPolygonCoverageCells(*rows, segments.data(), count, b, cells,
                                         timed ? &cycles : nullptr));
    EXPECT_EQ(cells.px, want) << rows->name;
    if (timed) {
      EXPECT_LE(cycles.crossings, cycles.horizontal + cycles.vertical) << rows->name;
    }
  }
}

// Where a segment's range starts and ends against the sub-lines: far,
// infinite or NaN coordinates, ranges beginning one float step either side
// of a sub-line, segments wholly before or after the tile, and a tile so
// far out that neighbouring sub-lines round to the same y. Every level, in
// one buffer and in cells, gives the reference bit for bit.
TEST(FillScan, SegmentRangesAgainstTheSubLinesMatchTheReference) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float up = std::nextafter(14.5f, 20.0f), down = std::nextafter(14.5f, 0.0f);
  const float far = 16777216;  // 2^24: floats 2 apart, sub-lines 0.5 apart
  struct Case {
    const char* name;
    std::vector<LineSegment> segments;
    ilTile bounds;
    int covered;  // pixels the reference covers at all
  } const cases[] = {
      // Infinite and NaN coordinates clamp or drop out instead of faulting.
      {"infinite and NaN",
       {{inf, 9, 0, 10}, {nan, 9, 1, 10}, {10, nan, 1, 1}, {9, 9, inf, -inf}, {-inf, 12, 30, 0.5f}},
       kTile,
       180},
      {"huge coordinates",
       Join(Polygon({{9.5f, -1e30f}, {1e30f, 1e30f}, {9.5f, 1e30f}}), Rect(12, 3e9f, 14, 4e9f)),
       kTile, 210},
      {"ranges one step either side of a sub-line",
       Join(Polygon({{10, up}, {16, 11}, {21, up}}), Polygon({{11, down}, {18, 21}, {12, 22.5f}})),
       kTile, 70},
      {"segments before, across and after the tile",
       Join(Join(Rect(2, 1, 30, 5), Polygon({{3, 2}, {26, 13.25f}, {5, 40}})), Rect(9, 26, 20, 30)),
       kTile, 213},
      {"sub-lines rounding to one y",
       // (Two open segments: the one from y = far + 2 is crossed from the
       // first sub-line rounding to it, 3, though 2 * (2 - 0) gives 4.)
       Join(Polygon({{far + 3, far + 2}, {far + 30, far + 6}, {far + 12, far + 28}}),
            {{far + 5, far + 1, 1, 30}, {far + 33, far + 2, -2, 30}}),
       ilTile(16777216, 16777216, 0, 40, 40, 1), 746},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ilTile& b = c.bounds;
    const int count = static_cast<int>(c.segments.size());
    const std::size_t n = static_cast<std::size_t>(b.nx) * b.ny;
    std::vector<std::uint8_t> want(n, 0);
    ScanPolygonCoverageReference(c.segments.data(), count, b, want.data());
    EXPECT_EQ(n - std::count(want.begin(), want.end(), 0), c.covered);
    ExpectEveryLevelGives(c.segments, b, want, false);
  }
}

// How many cells of the bounds cut along the page grid are all `value`.
int CellsOf(const std::vector<std::uint8_t>& px, const ilTile& b, std::uint8_t value) {
  int n = 0;
  for (int cy = b.y & ~127; cy < b.y + b.ny; cy += 128) {
    for (int cx = b.x & ~127; cx < b.x + b.nx; cx += 128) {
      bool all = true;
      for (int y = std::max(cy, b.y); y < std::min(cy + 128, b.y + b.ny) && all; ++y) {
        for (int x = std::max(cx, b.x); x < std::min(cx + 128, b.x + b.nx) && all; ++x) {
          all = px[(y - b.y) * b.nx + (x - b.x)] == value;
        }
      }
      n += all;
    }
  }
  return n;
}

// Cells and the mask against the reference: the same pixels bit for bit, at
// every level and through the mask's pages (opacity scaled); every page-grid
// cell the reference fills with 255 handed over as one value, and in the
// mask a solid page when it is a whole page.
TEST(FillScan, CellsAndMaskMatchTheReferenceWithWholePagesSolid) {
  struct Case {
    const char* name;
    std::vector<LineSegment> segments;
    ilTile bounds;
    int solidFull;  // cells of 255 expected to be handed over as one value
  } const cases[] = {
      {"interior over whole pages", Rect(130.5f, 260.25f, 700.75f, 650.5f),
       ilTile(100, 200, 0, 650, 500, 1), 6},
      {"edges on page boundaries", Rect(128, 256, 512, 640), ilTile(100, 200, 0, 600, 500, 1), 9},
      {"sliver across a page corner", Polygon({{200, 200}, {201, 200}, {312, 311}, {311, 311}}),
       ilTile(150, 150, 0, 250, 250, 1), 0},
      {"disc in a tile at negative coordinates", Ellipse(-300, -40, 260, 260, 0, 64),
       ilTile(-563, -303, 0, 527, 526, 1), 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ilTile& b = c.bounds;
    const int n = static_cast<int>(c.segments.size());
    std::vector<std::uint8_t> want(static_cast<std::size_t>(b.nx) * b.ny, 0);
    ScanPolygonCoverageReference(c.segments.data(), n, b, want.data());
    for (SimdLevel l : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2}) {
      const FillScanRows* rows = FillScanRowsFor(l);
      if (rows == nullptr) continue;
      RecordingCells cells(b);
      EXPECT_TRUE(ScanPolygonCoverageCells(*rows, c.segments.data(), n, b, cells));
      EXPECT_EQ(cells.px, want) << rows->name;
      int full = 0, empty = 0;
      for (const auto& [cell, v] : cells.solid) {
        full += v == 255;
        empty += v == 0;
      }
      EXPECT_EQ(full, c.solidFull) << rows->name;
      EXPECT_EQ(full, CellsOf(want, b, 255)) << rows->name;
      // No page is written that holds nothing.
      EXPECT_EQ(empty, CellsOf(want, b, 0)) << rows->name;
    }
    for (const float opacity : {1.0f, 0.5f}) {
      auto* mask = new ilSmartImage(ilPixel(ilUChar, 1));
      mask->ref();
      EXPECT_TRUE(FillCoverageMask(mask, c.segments.data(), n, b, opacity));
      std::vector<std::uint8_t> got(want.size()), scaled = want;
      ScaleCoverage(scaled.data(), scaled.size(), opacity);
      mask->getTile(b.x, b.y, b.nx, b.ny, got.data());
      EXPECT_EQ(got, scaled) << opacity;
      const ilTile mb = mask->getBounds();
      EXPECT_TRUE(mb.contains(b)) << opacity;
      // Whole pages the reference fills are solid pages of the scaled value.
      int solidPages = 0;
      for (int oy = (b.y + 127) & ~127; oy + 128 <= b.y + b.ny; oy += 128) {
        for (int ox = (b.x + 127) & ~127; ox + 128 <= b.x + b.nx; ox += 128) {
          bool all = true;
          for (int y = oy; y < oy + 128 && all; ++y) {
            for (int x = ox; x < ox + 128 && all; ++x)
              all = want[(y - b.y) * b.nx + (x - b.x)] == 255;
          }
          if (!all) continue;
          ++solidPages;
          EXPECT_TRUE(mask->FindPageFromOrigin(ox, oy, 0)->IsSolidFilled(
              scaled[(oy - b.y) * b.nx + ox - b.x]))
              << ox << "," << oy;
        }
      }
      EXPECT_EQ(solidPages > 0, c.solidFull > 0);
      mask->unref();
    }
  }
}

// Shapes that stress the active edges and the ordering of crossings, over a
// tile cut by the page grid: every level, through one buffer and through
// the cells (timed), gives the reference bit for bit.
TEST(FillScan, ActiveEdgeShapesMatchTheReference) {
  auto star = [](int points, float x, float y, float r0, float r1) {
    std::vector<std::pair<float, float>> p;
    for (int i = 0; i < 2 * points; ++i) {
      const double t = 3.141592653589793 * i / points, r = i % 2 ? r1 : r0;
      p.push_back(
          {static_cast<float>(x + r * std::cos(t)), static_cast<float>(y + r * std::sin(t))});
    }
    return Polygon(p);
  };
  struct Case {
    const char* name;
    std::vector<LineSegment> segments;
  } const cases[] = {
      // Up to 120 edges active on one sub-line, rows dense with steps.
      {"star of 60 points", star(60, 200.3f, 210.6f, 125, 60)},
      // Every vertex on a sub-line: edges start and end exactly on one.
      {"vertices on sub-lines",
       Polygon({{140, 130.5f}, {200.5f, 191}, {140.5f, 250.5f}, {80.5f, 190}, {110, 160.5f}})},
      {"horizontal and vertical edges",
       Polygon(
           {{100, 100}, {260.5f, 100}, {260.5f, 180.5f}, {180, 180.5f}, {180, 300}, {100, 300}})},
      // Self-intersecting: the two crossings of the X swap order where the
      // edges meet.
      {"X through a page corner", Polygon({{90, 95}, {300, 310.5f}, {300, 95}, {90, 310.5f}})},
      {"shallow crossing edges", Polygon({{80, 140}, {320, 170}, {320, 150}, {80, 165.5f}})},
      // The end of one span and the start of the next in one pixel.
      {"spans sharing a pixel", Join(Rect(100, 100, 150.2f, 200), Rect(150.6f, 100, 300, 200))},
      // Only the sub-line on the page boundary x = 128 reaches the cell to
      // its right, in rows inside the band.
      {"right edge on a page boundary", Rect(100, 150.5f, 128, 200.5f)},
  };
  // Wide enough for the rows with few steps to be kept as step lists.
  const ilTile b(70, 90, 0, 520, 240, 1);
  const std::size_t n = static_cast<std::size_t>(b.nx) * b.ny;
  for (const Case& c : cases) {
    // Each shape alone, and with a square beside it in the same rows, which
    // gives sub-lines two spans and so keeps the convex ones on the general
    // scan too.
    for (const auto& segments : {c.segments, Join(c.segments, Rect(400, 150, 410, 160))}) {
      SCOPED_TRACE(std::string(c.name) + (segments.size() > c.segments.size() ? " + square" : ""));
      const int count = static_cast<int>(segments.size());
      std::vector<std::uint8_t> want(n, 0);
      ScanPolygonCoverageReference(segments.data(), count, b, want.data());
      EXPECT_GT(std::count(want.begin(), want.end(), 255), 100);
      ExpectEveryLevelGives(segments, b, want, true);
    }
  }
}

// Shapes whose sub-lines have at most one span each, in both directions,
// are scanned from their spans: exact at pixel and page edges, with empty
// sub-lines inside the shape, apart or beyond the tile, over a tile cut by
// the page grid; and an ellipse through the last rows and columns of a tile
// whose sub-lines and columns are not a whole number of SIMD steps.
TEST(FillScan, OneSpanShapesMatchTheReference) {
  struct Case {
    const char* name;
    std::vector<LineSegment> segments;
    ilTile b = ilTile(-40, -30, 0, 300, 260, 1);
  } const cases[] = {
      {"circle off the grid", Ellipse(110.3f, 95.7f, 100, 100, 0, 96)},
      {"thin turned ellipse", Ellipse(100, 100, 130, 2.2f, 0.35f, 64)},
      {"triangle inside a pixel", Polygon({{50.2f, 50.1f}, {50.7f, 50.3f}, {50.4f, 50.9f}})},
      {"square on the page grid", Rect(0, 0, 128, 128)},
      {"square half a pixel off the page grid", Rect(0.5f, -20, 200, 200)},
      {"diamond with vertices on sub-lines",
       Polygon({{100, 20.5f}, {180.5f, 100}, {100, 180}, {20, 100.5f}})},
      {"plus sign", Polygon({{60, 10},
                             {90, 10},
                             {90, 60},
                             {140, 60},
                             {140, 90},
                             {90, 90},
                             {90, 140},
                             {60, 140},
                             {60, 90},
                             {10, 90},
                             {10, 60},
                             {60, 60}})},
      {"squares apart", Join(Rect(-30, -20, 20.5f, 30), Rect(150.25f, 150, 240, 219.75f))},
      {"beyond the tile", Rect(-100, -100, 400, 400)},
      {"sliver", Polygon({{10, 10}, {11, 10}, {200, 199}, {199, 199}})},
      {"ellipse through the last rows and columns", Ellipse(130.4f, 115.2f, 40, 38, 0.2f, 48),
       ilTile(0, 0, 0, 159, 141, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ilTile& b = c.b;
    std::vector<std::uint8_t> want(static_cast<std::size_t>(b.nx) * b.ny, 0);
    ScanPolygonCoverageReference(c.segments.data(), static_cast<int>(c.segments.size()), b,
                                 want.data());
    EXPECT_GT(std::count_if(want.begin(), want.end(), [](int v) { return v > 0; }), 0);
    ExpectEveryLevelGives(c.segments, b, want, true);
  }
}

// The one-span kernel of every level against the scalar one on random
// spans, for runs of 1 to 19 pixels: every pixel of the run is written and
// nothing at or past the room it is given.
TEST(FillScan, SpanPixelsMatchTheScalarKernelAndStayInTheirRoom) {
  std::mt19937 rng(11);
  constexpr int kCols = 48;
  std::vector<int> field[2][4];  // even and odd sub-lines: i, j, first, last
  auto span = [&](int* i, int* j, int* first, int* last, int reach) {
    const bool empty = rng() % 4 == 0;
    *i = empty ? kNoSpan : static_cast<int>(rng() % reach);
    *j = empty ? kNoSpan : *i + static_cast<int>(rng() % 6);
    *first = empty ? 0 : static_cast<int>(rng() % 256);
    *last = empty ? 0 : static_cast<int>(rng() % 256);
  };
  for (auto& lines : field) {
    for (auto& f : lines) f.resize(kCols + 8);
  }
  for (int trial = 0; trial < 300; ++trial) {
    for (auto& lines : field) {
      for (int c = 0; c < kCols + 8; ++c)
        span(&lines[0][c], &lines[1][c], &lines[2][c], &lines[3][c], 12);
    }
    SpanRow row;
    row.y = static_cast<int>(rng() % 14);
    for (int k = 0; k < 3; ++k) span(&row.i[k], &row.j[k], &row.first[k], &row.last[k], kCols);
    row.even = {field[0][0].data(), field[0][1].data(), field[0][2].data(), field[0][3].data()};
    row.odd = {field[1][0].data(), field[1][1].data(), field[1][2].data(), field[1][3].data()};
    const int n = 1 + trial % 19, x0 = static_cast<int>(rng() % (kCols - n));
    std::vector<std::uint8_t> want(kCols, 0xA5);
    scalar::SpanPixels(want.data(), x0, n, x0 + n, row);
    for (SimdLevel l : {SimdLevel::kSse2, SimdLevel::kAvx2}) {
      const FillScanRows* rows = FillScanRowsFor(l);
      if (rows == nullptr) continue;
      std::vector<std::uint8_t> got(kCols, 0xA5);
      rows->span_pixels(got.data(), x0, n, x0 + n, row);
      EXPECT_EQ(got, want) << rows->name << " trial " << trial << " from " << x0 << " for " << n;
    }
  }
}

}  // namespace
}  // namespace brenmark::shapes
