// The shape fill's scan conversion against cairo's polygon fill, on a
// 1000-pixel-wide circle (512 segments, as a curve tessellation gives) and a
// 200-vertex star of the same size, both drawn into one-channel masks.
//
// What is timed, per iteration, with the thread's CPU time (both sides on
// this thread, alternating which goes first):
// - ours: a new one-channel ilSmartImage mask, FillCoverageMask into it (the
//   fill renderer's whole mask: cells of one value stored as fills or left
//   out, the others scanned into the mask's pages) and the mask let go;
// - cairo: clearing a CAIRO_FORMAT_A8 image surface of the same bounds and
//   filling the same polygon (default anti-aliasing, even-odd rule, which
//   for these simple polygons is the same region as ours).
// Rates are pixels of the bounds per second; ratio = cairo time / our time
// (above 1: we are faster). The counter "diff" is the mean absolute
// difference between the two masks, in coverage units of 255 (a check that
// both drew the same shape); "exact" is 1 when our mask equals the reference
// scan (every segment tested on every sub-line) pixel for pixel. The row kernels' level is in the
// label (BRENMARK_SIMD=scalar forces the reference).
//
// The circle crosses every sub-line at most twice in both directions, so
// it takes the one-span scan (pixels from the spans, computed only between
// the runs where both passes are 0 or 255); the star takes the general one.
//
// Measured on the 2-core build machine (AVX2): the circle 1.10 to 1.19 times
// cairo in three make bench runs (ours about 0.09 ms; with the general scan
// it was 0.54 to 0.56), the star 1.28 to 1.37 times.
// Of the circle's time about a third goes to the sub-line passes, a third to
// writing the 30 cells that are not of one value (491 kB), the rest to
// finding each row's runs and the pages.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../bench_timing.h"
#include "brenmark/smart_image.h"
#include "shapes/fill_mask.h"
#include "shapes/fill_scan_rows.h"

#if BRENMARK_HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

using brenmark::shapes::LineSegment;

struct Shape {
  std::vector<LineSegment> segments;
  ilTile bounds;
};

// A closed polygon through the points, with the fill renderer's bounds:
// x = trunc(x0 - 2), nx = trunc(x1 + 3) - x + 1, the same for y.
Shape MakeShape(const std::vector<std::pair<double, double>>& pts) {
  Shape s;
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const auto& a = pts[i];
    const auto& b = pts[(i + 1) % pts.size()];
    s.segments.push_back({static_cast<float>(a.first), static_cast<float>(a.second),
                          static_cast<float>(b.first - a.first),
                          static_cast<float>(b.second - a.second)});
    x0 = std::min(x0, a.first), y0 = std::min(y0, a.second);
    x1 = std::max(x1, a.first), y1 = std::max(y1, a.second);
  }
  const int x = static_cast<int>(x0 - 2), y = static_cast<int>(y0 - 2);
  s.bounds = ilTile(x, y, 0, static_cast<int>(x1 + 3) - x + 1, static_cast<int>(y1 + 3) - y + 1, 1);
  return s;
}

// 0: a circle of radius 500 in 512 segments; 1: a star of 100 points, radii
// 500 and 250 (200 vertices). Centres off the pixel grid.
const Shape& GetShape(int which) {
  static const Shape shapes[2] = {
      [] {
        std::vector<std::pair<double, double>> p;
        for (int i = 0; i < 512; ++i) {
          const double t = 2 * M_PI * i / 512;
          p.push_back({530.3 + 500 * std::cos(t), 520.7 + 500 * std::sin(t)});
        }
        return MakeShape(p);
      }(),
      [] {
        std::vector<std::pair<double, double>> p;
        for (int i = 0; i < 200; ++i) {
          const double t = 2 * M_PI * i / 200, r = i % 2 ? 250 : 500;
          p.push_back({530.3 + r * std::cos(t), 520.7 + r * std::sin(t)});
        }
        return MakeShape(p);
      }()};
  return shapes[which];
}

#if BRENMARK_HAVE_CAIRO
struct Peer {
  cairo_surface_t* surface;
  cairo_t* cr;
  const Shape& shape;
  explicit Peer(const Shape& s) : shape(s) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_A8, s.bounds.nx, s.bounds.ny);
    cr = cairo_create(surface);
    cairo_translate(cr, -s.bounds.x, -s.bounds.y);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  }
  ~Peer() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;
  void Fill() {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_new_path(cr);
    cairo_move_to(cr, shape.segments[0].x, shape.segments[0].y);
    for (std::size_t i = 1; i < shape.segments.size(); ++i) {
      cairo_line_to(cr, shape.segments[i].x, shape.segments[i].y);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  // The surface as rows of nx bytes.
  std::vector<std::uint8_t> Pixels() {
    cairo_surface_flush(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const std::uint8_t* data = cairo_image_surface_get_data(surface);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < shape.bounds.ny; ++y) {
      out.insert(out.end(), data + y * stride, data + y * stride + shape.bounds.nx);
    }
    return out;
  }
};
#endif

void BM_FillMask(benchmark::State& state) {
  const Shape& shape = GetShape(static_cast<int>(state.range(0)));
  const ilTile& b = shape.bounds;
  const std::size_t n = static_cast<std::size_t>(b.nx) * b.ny;
#if BRENMARK_HAVE_CAIRO
  Peer peer(shape);
#endif
  double tOurs = 0, tPeer = 0;
  bool oursFirst = true;
  // The fill renderer's whole mask: a new one-channel image, the coverage
  // stored into it cell by cell, and the image let go again.
  auto fill = [&] {
    auto* mask = new ilSmartImage(ilPixel(ilUChar, 1));
    mask->ref();
    brenmark::shapes::FillCoverageMask(mask, shape.segments.data(),
                                       static_cast<int>(shape.segments.size()), b, 1.0f);
    return mask;
  };
  for (auto _ : state) {
    auto ours = [&] { fill()->unref(); };
#if BRENMARK_HAVE_CAIRO
    state.SetIterationTime(brenmark::bench::TimeBoth(
        oursFirst, ours, [&] { peer.Fill(); }, &tOurs, &tPeer));
#else
    state.SetIterationTime(brenmark::bench::TimeBoth(
        oursFirst, ours, [] {}, &tOurs, &tPeer));
#endif
    oursFirst = !oursFirst;
  }
  const double iters = static_cast<double>(state.iterations());
  std::string label = brenmark::shapes::ActiveFillScanRows().name;
  state.counters["bounds"] = static_cast<double>(n);
  state.counters["Mpix/s"] = static_cast<double>(n) * iters / tOurs / 1e6;
#if BRENMARK_HAVE_CAIRO
  const std::vector<std::uint8_t> theirs = peer.Pixels();
  std::vector<std::uint8_t> buffer(n);
  ilSmartImage* mask = fill();
  mask->getTile(b.x, b.y, b.nx, b.ny, buffer.data());
  mask->unref();
  // The mask against the reference scan: 1 when every pixel agrees.
  std::vector<std::uint8_t> scanned(n, 0);
  brenmark::shapes::ScanPolygonCoverageReference(
      shape.segments.data(), static_cast<int>(shape.segments.size()), b, scanned.data());
  state.counters["exact"] = buffer == scanned ? 1 : 0;
  double diff = 0;
  for (std::size_t i = 0; i < n; ++i) diff += std::abs(int(buffer[i]) - int(theirs[i]));
  state.counters["diff"] = diff / static_cast<double>(n);
  state.counters["cairo_Mpix/s"] = static_cast<double>(n) * iters / tPeer / 1e6;
  state.counters["ratio"] = tPeer / tOurs;
  char text[64];
  std::snprintf(text, sizeof text, " ratio vs cairo: %.2fx", tPeer / tOurs);
  label += text;
#endif
  state.SetLabel(label);
}
BENCHMARK(BM_FillMask)
    ->ArgName("star")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
