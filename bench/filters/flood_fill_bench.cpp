// Flood fill of a 4096 x 4096 four-channel layer: a large disc (long spans,
// few seeds) and a maze of 7-pixel corridors (short spans, many seeds),
// both with noise inside the tolerance. Ours runs the region search on a
// copy-on-write snapshot of the layer, as the layer stack does (the page
// copies are part of the cost); the peer is cv::floodFill (4-connected,
// fixed range against the seed) on the same pixels in three channels, one
// thread, its input copied outside the timing. Rates are filled pixels per
// second; ratio = peer time / our time (above 1: we are faster). The span
// scan's level is in the label (BRENMARK_SIMD=scalar forces the reference).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "brenmark/brenmark.h"
#include "filters/flood_rows.h"

#if BRENMARK_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;
constexpr int kTolerance = 8;  // of 255
constexpr std::uint32_t kWall = 0xFF604020u, kOpen = 0xFFA0C0E0u;

// Open pixels get noise of up to 3 levels per channel.
std::uint32_t Noisy(std::mt19937& rng) {
  std::uint32_t p = kOpen;
  for (int i = 0; i < 3; ++i) p -= (rng() % 4) << (8 * i);
  return p;
}

std::vector<std::uint32_t> Disc() {
  std::mt19937 rng(1);
  std::vector<std::uint32_t> px(std::size_t{kSide} * kSide, kWall);
  const long r = 1900, c = kSide / 2;
  for (long y = 0; y < kSide; ++y) {
    for (long x = 0; x < kSide; ++x) {
      if ((x - c) * (x - c) + (y - c) * (y - c) <= r * r) px[y * kSide + x] = Noisy(rng);
    }
  }
  return px;
}

// A perfect maze over 512 x 512 cells of 8 pixels (7 open, 1 wall), carved
// by a depth-first walk with a fixed seed.
std::vector<std::uint32_t> Maze() {
  constexpr int n = kSide / 8;
  std::mt19937 rng(2);
  std::vector<std::uint32_t> px(std::size_t{kSide} * kSide, kWall);
  auto open = [&](int x0, int y0, int w, int h) {
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) px[std::size_t(y) * kSide + x] = Noisy(rng);
    }
  };
  std::vector<char> seen(std::size_t{n} * n, 0);
  std::vector<int> stack{0};
  seen[0] = 1;
  open(1, 1, 7, 7);
  while (!stack.empty()) {
    const int cell = stack.back(), cx = cell % n, cy = cell / n;
    int next[4], k = 0;
    const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
    for (int d = 0; d < 4; ++d) {
      const int x = cx + dx[d], y = cy + dy[d];
      if (x >= 0 && y >= 0 && x < n && y < n && !seen[y * n + x]) next[k++] = d;
    }
    if (k == 0) {
      stack.pop_back();
      continue;
    }
    const int d = next[rng() % k], x = cx + dx[d], y = cy + dy[d];
    seen[y * n + x] = 1;
    open(8 * x + 1, 8 * y + 1, 7, 7);
    // The wall between the two cells.
    open(8 * std::max(x, cx) + (dx[d] ? 0 : 1), 8 * std::max(y, cy) + (dy[d] ? 0 : 1),
         dx[d] ? 1 : 7, dy[d] ? 1 : 7);
    stack.push_back(y * n + x);
  }
  return px;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void Run(benchmark::State& state, const std::vector<std::uint32_t>& px, int sx, int sy) {
  auto* base = new ilSmartImage(ilPixel(ilUChar, 4));
  base->ref();
  base->setTile(0, 0, kSide, kSide, px.data());
  const PaintColor red(1.0f, 0.0f, 0.0f, 1.0f);
  const float tolerance = kTolerance / 255.0f;
#if BRENMARK_HAVE_OPENCV
  cv::setNumThreads(1);
  cv::Mat rgb(kSide, kSide, CV_8UC3), work;
  for (std::size_t i = 0; i < px.size(); ++i) std::memcpy(rgb.data + 3 * i, &px[i], 3);
#endif
  // Every open pixel is connected (a disc; a perfect maze): the region.
  double filled = 0;
  for (std::uint32_t p : px) filled += p != kWall;
  double tOurs = 0, tPeer = 0;
  for (auto _ : state) {
    auto* snapshot = new ilSmartImage(base, 0, 0, 0, -1);
    snapshot->ref();
    const auto t0 = Clock::now();
    {
      PagePixelAccessor acc(snapshot, 0, 0);
      FloodFillOperation op(sx, sy, tolerance, red, &acc, false);
      op.Fill(sx, sy, 0, 0, kSide - 1, kSide - 1, false);
    }
    const auto t1 = Clock::now();
    snapshot->unref();
    tOurs += Seconds(t0, t1);
    state.SetIterationTime(Seconds(t0, t1));
#if BRENMARK_HAVE_OPENCV
    rgb.copyTo(work);
    const auto t2 = Clock::now();
    const cv::Scalar d(kTolerance, kTolerance, kTolerance);
    const double area = cv::floodFill(work, cv::Point(sx, sy), cv::Scalar(0, 0, 255), nullptr, d, d,
                                      4 | cv::FLOODFILL_FIXED_RANGE);
    tPeer += Seconds(t2, Clock::now());
    if (area != filled) state.SkipWithError("the peer filled another region");
#endif
  }
  base->unref();
  const double n = static_cast<double>(state.iterations());
  state.SetLabel(brenmark::flood::ActiveFloodRows().name);
  state.counters["filled"] = filled;
  state.counters["Mpix/s"] = filled * n / tOurs / 1e6;
  if (tPeer > 0) {
    state.counters["peer_Mpix/s"] = filled * n / tPeer / 1e6;
    state.counters["ratio"] = tPeer / tOurs;
  }
}

void BM_FloodFillDisc(benchmark::State& state) {
  static const std::vector<std::uint32_t> px = Disc();
  Run(state, px, kSide / 2, kSide / 2);
}
BENCHMARK(BM_FloodFillDisc)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_FloodFillMaze(benchmark::State& state) {
  static const std::vector<std::uint32_t> px = Maze();
  Run(state, px, 1, 1);
}
BENCHMARK(BM_FloodFillMaze)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
