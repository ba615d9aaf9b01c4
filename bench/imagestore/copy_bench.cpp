// Copying a 128-aligned 4096 x 4096 region between smart images shares page
// bodies: no pixels move. Side by side with a real copy of the same region
// (offset by half a page, so every pixel is moved) in every iteration.
//
// Reported time is the shared copy's; counters give the time per page of
// both and ratio = real copy time / shared copy time.
#include <benchmark/benchmark.h>

#include <brenmark/smart_image.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "imagestore/page_cache.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSide = 4096;
constexpr int kPages = (kSide / 128) * (kSide / 128);

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

ilSmartImage* Painted(std::uint32_t seed) {
  auto* img = new ilSmartImage(ilPixel(ilUChar, 4));
  img->ref();
  std::vector<std::uint32_t> row(std::size_t{kSide} * 128);
  std::uint32_t v = seed;
  for (int y = 0; y < kSide + 128; y += 128) {
    for (std::uint32_t& p : row) p = (v = v * 1664525u + 1013904223u);
    img->setTile(0, y, kSide, 128, row.data());
  }
  return img;
}

void BM_AlignedCopySharesPages4096(benchmark::State& state) {
  // 64 MB per image and three of them: give the cache room so the figures
  // are not paging figures.
  brenmark::imagestore::SmartImageCache::Instance()->SetCacheSize(
      512 * brenmark::imagestore::SmartImageCache::kMB);
  ilSmartImage* a = Painted(1);
  ilSmartImage* b = Painted(2);
  auto* shared = new ilSmartImage(ilPixel(ilUChar, 4));
  auto* moved = new ilSmartImage(ilPixel(ilUChar, 4));
  shared->ref();
  moved->ref();
  auto* cache = brenmark::imagestore::SmartImageCache::Instance();
  double ours = 0, peer = 0;
  bool flip = false;
  std::size_t sharedBytes = 0;
  for (auto _ : state) {
    // Alternate the source so every iteration re-points every page.
    ilSmartImage* src = flip ? a : b;
    flip = !flip;
    const std::size_t before = cache->BytesInMemory();
    const auto t0 = Clock::now();
    shared->copyTile(128, 256, kSide, kSide, src, 0, 0);
    const auto t1 = Clock::now();
    sharedBytes += cache->BytesInMemory() - before;
    moved->copyTile(0, 0, kSide, kSide, src, 64, 0);
    const auto t2 = Clock::now();
    ours += Seconds(t0, t1);
    peer += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t0, t1));
  }
  const double n = static_cast<double>(state.iterations()) * kPages;
  state.counters["shared_ns_per_page"] = ours / n * 1e9;
  state.counters["copied_ns_per_page"] = peer / n * 1e9;
  state.counters["ratio"] = peer / ours;
  state.counters["pixel_bytes_allocated"] = static_cast<double>(sharedBytes);
  for (ilSmartImage* img : {a, b, shared, moved}) img->unref();
}
BENCHMARK(BM_AlignedCopySharesPages4096)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
