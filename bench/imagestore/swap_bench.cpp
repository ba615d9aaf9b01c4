// Paging throughput: 256 MB of distinct pages written into smart images and
// read back under an 8 MB budget (so nearly every page goes out to the swap
// file and comes back), against a plain sequential write and read of the same
// bytes to a file in the same directory, in 64 KB blocks, in every iteration.
//
// Reported time is ours; counters give both rates (MB/s of page data moved
// out and back) and ratio = plain file time / our time. Ours includes the
// copies between the caller's buffer and the page, which the plain file
// does not make: the bound on the ratio is about 0.65 on this machine.
#include <benchmark/benchmark.h>

#include <brenmark/smart_image.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "imagestore/page_cache.h"
#include "imagestore/store_hooks.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;
using brenmark::imagestore::SmartImageCache;

constexpr int kPages = 4096;  // 256 MB of four-channel pages
constexpr int kPerImage = 1024;
constexpr std::size_t kPageBytes = 65536;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

unsigned Total(void*) {
  return 16u * 1024 * 1024;
}
unsigned Available(void*) {
  return 36u * 1024;
}  // no growth, no shrink

// The page's words are distinct from every other page's; stamping the first
// word of each row is enough and keeps generation cheap.
void Stamp(std::vector<std::uint32_t>& page, int id) {
  for (int row = 0; row < 128; ++row)
    page[static_cast<std::size_t>(row) * 128] = static_cast<std::uint32_t>(id * 128 + row);
}

void BM_SwapOutAndIn256MB(benchmark::State& state) {
  brenmark::imagestore::MemoryInfoSource source;
  source.total_kb = Total;
  source.available_kb = Available;
  brenmark::imagestore::SetMemoryInfoSource(source);
  SmartImageCache* cache = SmartImageCache::Instance();
  cache->SetCacheSize(8 * SmartImageCache::kMB);

  std::vector<ilSmartImage*> images;
  for (int i = 0; i < kPages / kPerImage; ++i) {
    images.push_back(new ilSmartImage(ilPixel(ilUChar, 4)));
    images.back()->ref();
  }
  std::vector<std::uint32_t> page(128 * 128);
  for (std::size_t i = 0; i < page.size(); ++i)
    page[i] = static_cast<std::uint32_t>(i * 2654435761u);

  const std::string dir = brenmark::platform::TempDirectory();
  std::string path;
  const int fd = brenmark::platform::CreateTempFile(dir, "SIDBENCH", &path);
  if (fd < 0) {
    state.SkipWithError("cannot create the peer's file");
    return;
  }
  double ours = 0, peer = 0;
  bool ok = true;
  // One untimed round first: both files reach their full size and every
  // block exists, so the timed rounds measure steady-state paging.
  bool warm = false;
  auto round = [&](Clock::time_point* marks) {
    marks[0] = Clock::now();
    for (int p = 0; p < kPages; ++p) {
      Stamp(page, p);
      const int local = p % kPerImage;
      images[static_cast<std::size_t>(p / kPerImage)]->setTile(
          (local % 32) * 128, (local / 32) * 128, 128, 128, page.data());
    }
    for (int p = 0; p < kPages; ++p) {
      const int local = p % kPerImage;
      images[static_cast<std::size_t>(p / kPerImage)]->getTile(
          (local % 32) * 128, (local / 32) * 128, 128, 128, page.data());
      ok = ok && page[128] == static_cast<std::uint32_t>(p * 128 + 1);
    }
    marks[1] = Clock::now();
    for (int p = 0; p < kPages; ++p) {
      Stamp(page, p);
      ok = ok &&
           brenmark::platform::WriteAt(fd, std::uint64_t{kPageBytes} * p, page.data(), kPageBytes);
    }
    for (int p = 0; p < kPages; ++p) {
      ok = ok &&
           brenmark::platform::ReadAt(fd, std::uint64_t{kPageBytes} * p, page.data(), kPageBytes);
      ok = ok && page[128] == static_cast<std::uint32_t>(p * 128 + 1);
    }
    marks[2] = Clock::now();
  };
  for (auto _ : state) {
    Clock::time_point t[3];
    if (!warm) {
      round(t);
      warm = true;
    }
    round(t);
    ours += Seconds(t[0], t[1]);
    peer += Seconds(t[1], t[2]);
    state.SetIterationTime(Seconds(t[0], t[1]));
  }
  const double mb = 2.0 * kPages * kPageBytes / 1e6 * static_cast<double>(state.iterations());
  state.counters["ours_MBps"] = mb / ours;
  state.counters["file_MBps"] = mb / peer;
  state.counters["ratio"] = peer / ours;
  state.counters["swapped_pages"] = cache->SwappedCount();
  state.counters["misses"] = static_cast<double>(cache->Misses());
  if (!ok) state.SkipWithError("data read back differs");
  brenmark::platform::CloseFile(fd);
  brenmark::platform::RemoveFile(path);
  for (ilSmartImage* img : images) img->unref();
  cache->SetCacheSize(64 * SmartImageCache::kMB);
}
BENCHMARK(BM_SwapOutAndIn256MB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
