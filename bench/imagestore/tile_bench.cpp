// Whole-page tile writes and reads of a 2048 x 2048 four-channel smart image
// against memcpy of the same bytes, side by side in every iteration.
//
// The reported time is ours (manual time); counters give both rates and
// ratio = memcpy time / our time (1 means memcpy speed). The image's pages
// stay resident (16 MB under the default 64 MB budget), so this measures the
// page walk and the per-row copies, not paging.
#include <benchmark/benchmark.h>

#include <brenmark/smart_image.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSide = 2048;
constexpr std::size_t kBytes = std::size_t{kSide} * kSide * 4;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

std::vector<std::uint32_t> Pattern() {
  std::vector<std::uint32_t> px(std::size_t{kSide} * kSide);
  std::uint32_t v = 12345;
  for (std::uint32_t& p : px) p = (v = v * 1664525u + 1013904223u);
  return px;
}

void Report(benchmark::State& state, double ours, double peer) {
  const double n = static_cast<double>(state.iterations());
  state.counters["ours_GBps"] = kBytes * n / ours / 1e9;
  state.counters["memcpy_GBps"] = kBytes * n / peer / 1e9;
  state.counters["ratio"] = peer / ours;
  state.SetBytesProcessed(static_cast<int64_t>(kBytes) * state.iterations());
}

void BM_WholePageWrite2048(benchmark::State& state) {
  const std::vector<std::uint32_t> src = Pattern();
  std::vector<std::uint32_t> dst(src.size());
  ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 4));
  img->ref();
  img->setTile(0, 0, kSide, kSide, src.data());  // pages exist and are private
  double ours = 0, peer = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    img->setTile(0, 0, kSide, kSide, src.data());
    const auto t1 = Clock::now();
    std::memcpy(dst.data(), src.data(), kBytes);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(dst.data());
    ours += Seconds(t0, t1);
    peer += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t0, t1));
  }
  Report(state, ours, peer);
  img->unref();
}
BENCHMARK(BM_WholePageWrite2048)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WholePageRead2048(benchmark::State& state) {
  const std::vector<std::uint32_t> src = Pattern();
  std::vector<std::uint32_t> out(src.size()), dst(src.size());
  ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 4));
  img->ref();
  img->setTile(0, 0, kSide, kSide, src.data());
  img->getTile(0, 0, kSide, kSide, out.data());
  double ours = 0, peer = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    img->getTile(0, 0, kSide, kSide, out.data());
    const auto t1 = Clock::now();
    std::memcpy(dst.data(), src.data(), kBytes);
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(dst.data());
    ours += Seconds(t0, t1);
    peer += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t0, t1));
  }
  Report(state, ours, peer);
  if (out != src) state.SkipWithError("read back differs");
  img->unref();
}
BENCHMARK(BM_WholePageRead2048)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
