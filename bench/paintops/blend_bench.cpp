// Blending rows against their peers, side by side on the same pixels in the
// same process: premultiplied over against pixman's OVER, the constant-colour
// brush blend through a coverage row against pixman's solid source through an
// a8 mask, and the straight copy against memcpy.
//
// Each benchmark times both sides every iteration; the reported time is ours
// (manual time), and the counters give both rates and ratio = ours / peer
// (above 1 means we are faster). Sizes: one 128 x 128 page (cache-resident)
// and a 2048 x 2048 image (memory-bound).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "paintops/blend_block.h"
#include "paintops/blend_kernels.h"
#include "paintops/blend_rows.h"

#include "../bench_pixels.h"
#include "../bench_timing.h"

#if BRENMARK_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace brenmark {
namespace {

using bench::DabCoverage;
using bench::RandomPremultiplied;

void Report(benchmark::State& state, double ours, double peer, std::int64_t pixels) {
  bench::ReportPixelRates(state, ours, peer, static_cast<double>(pixels));
  state.SetLabel(ActiveKernels().name);
}

BlendRows ImageRows(int w, int h, std::uint32_t* dst, const void* src, int src_bpp) {
  BlendRows r;
  r.width = w;
  r.height = h;
  r.dst = dst;
  r.dst_stride = std::ptrdiff_t{w} * 4;
  r.src = src;
  r.src_stride = std::ptrdiff_t{w} * src_bpp;
  return r;
}

#if BRENMARK_HAVE_PIXMAN

void BM_OverVsPixman(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<std::uint32_t> src = RandomPremultiplied(n, n, 1);
  std::vector<std::uint32_t> ours = RandomPremultiplied(n, n, 2);
  std::vector<std::uint32_t> theirs = ours;
  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, src.data(), n * 4);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, theirs.data(), n * 4);
  BlendSetup st;
  st.src_factor = kFactorOne;
  st.dst_factor = kFactorOneMinusSrcAlpha;
  const BlendRows rows = ImageRows(n, n, ours.data(), src.data(), 4);
  double t_ours = 0, t_peer = 0;
  bench::SideBySide(
      state, [&] { BlendBlock(st, rows); },
      [&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, n, n); },
      &t_ours, &t_peer);
  benchmark::DoNotOptimize(ours.data());
  benchmark::DoNotOptimize(theirs.data());
  Report(state, t_ours, t_peer, std::int64_t{n} * n);
  pixman_image_unref(ps);
  pixman_image_unref(pd);
}
BENCHMARK(BM_OverVsPixman)->Arg(128)->Arg(2048)->UseManualTime();

void BM_BrushVsPixmanSolidMask(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<std::uint8_t> cov = DabCoverage(n, n);
  std::vector<std::uint32_t> ours = RandomPremultiplied(n, n, 3);
  std::vector<std::uint32_t> theirs = ours;
  const std::uint32_t colour = 0xFF2060C0u;
  const pixman_color_t pc = {0xC0C0, 0x6060, 0x2020, 0xFFFF};  // the same opaque colour
  pixman_image_t* ps = pixman_image_create_solid_fill(&pc);
  pixman_image_t* pm = pixman_image_create_bits(
      PIXMAN_a8, n, n, reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(cov.data())), n);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, theirs.data(), n * 4);
  BlendSetup st;
  st.src_factor = kFactorSrcAlpha;
  st.dst_factor = kFactorOneMinusSrcAlpha;
  st.dither = 0x5A;
  BlendRows rows = ImageRows(n, n, ours.data(), &colour, 4);
  rows.src_constant = true;
  rows.src_stride = 0;
  rows.cov = cov.data();
  rows.cov_stride = n;
  double t_ours = 0, t_peer = 0;
  bench::SideBySide(
      state, [&] { BlendBlock(st, rows); },
      [&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, pm, pd, 0, 0, 0, 0, 0, 0, n, n); },
      &t_ours, &t_peer);
  benchmark::DoNotOptimize(ours.data());
  benchmark::DoNotOptimize(theirs.data());
  Report(state, t_ours, t_peer, std::int64_t{n} * n);
  pixman_image_unref(ps);
  pixman_image_unref(pm);
  pixman_image_unref(pd);
}
BENCHMARK(BM_BrushVsPixmanSolidMask)->Arg(128)->Arg(2048)->UseManualTime();

#endif  // BRENMARK_HAVE_PIXMAN

void BM_CopyVsMemcpy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<std::uint32_t> src = RandomPremultiplied(n, n, 4);
  std::vector<std::uint32_t> ours(src.size(), 0);
  std::vector<std::uint32_t> theirs(src.size(), 0);
  BlendSetup st;  // (1, 0)
  const BlendRows rows = ImageRows(n, n, ours.data(), src.data(), 4);
  double t_ours = 0, t_peer = 0;
  bench::SideBySide(
      state, [&] { BlendBlock(st, rows); },
      [&] { std::memcpy(theirs.data(), src.data(), src.size() * sizeof(std::uint32_t)); }, &t_ours,
      &t_peer);
  benchmark::DoNotOptimize(ours.data());
  benchmark::DoNotOptimize(theirs.data());
  Report(state, t_ours, t_peer, std::int64_t{n} * n);
}
BENCHMARK(BM_CopyVsMemcpy)->Arg(128)->Arg(2048)->UseManualTime();

// Levels against each other on the hot rows (one page row, cache-resident).
void BM_RowLevels(benchmark::State& state) {
  const BlendKernels* k = KernelsFor(static_cast<SimdLevel>(state.range(0)));
  if (k == nullptr) {
    state.SkipWithError("level not supported by this processor");
    return;
  }
  constexpr int kRow = 128;
  constexpr int kRows = 128;
  const std::vector<std::uint32_t> src = RandomPremultiplied(kRow, kRows, 5);
  const std::vector<std::uint8_t> cov = DabCoverage(kRow, kRows);
  std::vector<std::uint32_t> dst = RandomPremultiplied(kRow, kRows, 6);
  std::vector<std::uint32_t> low(dst.size(), 0x7F7F7F7Fu);
  const int which = static_cast<int>(state.range(1));
  for (auto _ : state) {
    for (int y = 0; y < kRows; ++y) {
      std::uint32_t* d = dst.data() + y * kRow;
      const std::uint32_t* s = src.data() + y * kRow;
      const std::uint8_t* c = cov.data() + y * kRow;
      switch (which) {
        case 0:
          k->over(d, s, kRow);
          break;
        case 1:
          k->brush_const(d, 0xFF2060C0u, c, kRow, 0x5A);
          break;
        case 2:
          k->brush16_const(d, low.data() + y * kRow, 0xFF2060C0u, c, kRow, 200, 0x5A);
          break;
        case 3:
          k->erase_by_row(d, c, kRow);
          break;
        default:
          k->multiply(d, s, kRow);
          break;
      }
    }
    benchmark::DoNotOptimize(dst.data());
  }
  static const char* const kNames[] = {"over", "brush", "brush16", "erase", "multiply"};
  state.SetLabel(std::string(k->name) + " " + kNames[which]);
  state.SetItemsProcessed(state.iterations() * kRow * kRows);
}
BENCHMARK(BM_RowLevels)->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3, 4}});

}  // namespace
}  // namespace brenmark
