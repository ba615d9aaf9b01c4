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

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "paintops/blend_block.h"
#include "paintops/blend_kernels.h"
#include "paintops/blend_rows.h"

#if BRENMARK_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace brenmark {
namespace {

using Clock = std::chrono::steady_clock;

// Premultiplied pixels with uniformly random alpha.
std::vector<std::uint32_t> RandomPremultiplied(int w, int h, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h);
  for (std::uint32_t& p : px) {
    const std::uint32_t a = rng() & 0xFFu;
    p = a << 24;
    for (int c = 0; c < 3; ++c) p |= ((rng() & 0xFFu) * a / 255) << (8 * c);
  }
  return px;
}

// Coverage of tiled round dabs (64 x 64, soft edge): zeros between dabs,
// full coverage in the middle, a ramp in between, as a brush stroke gives.
std::vector<std::uint8_t> DabCoverage(int w, int h) {
  std::vector<std::uint8_t> cov(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double dx = (x % 64) - 31.5;
      const double dy = (y % 64) - 31.5;
      const double r = std::sqrt(dx * dx + dy * dy);
      double v = (30.0 - r) / 12.0;
      v = v < 0 ? 0 : (v > 1 ? 1 : v);
      cov[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(v * 255.0 + 0.5);
    }
  }
  return cov;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Times `ours` and `peer` once each, alternating which goes first so neither
// side always inherits the other's cache state. Adds to the two totals and
// returns our time.
template <typename Ours, typename Peer>
double TimeBoth(bool ours_first, Ours&& ours, Peer&& peer, double* t_ours, double* t_peer) {
  double a;
  double b;
  if (ours_first) {
    const auto t0 = Clock::now();
    ours();
    const auto t1 = Clock::now();
    peer();
    const auto t2 = Clock::now();
    a = Seconds(t0, t1);
    b = Seconds(t1, t2);
  } else {
    const auto t0 = Clock::now();
    peer();
    const auto t1 = Clock::now();
    ours();
    const auto t2 = Clock::now();
    b = Seconds(t0, t1);
    a = Seconds(t1, t2);
  }
  *t_ours += a;
  *t_peer += b;
  return a;
}

void Report(benchmark::State& state, double ours, double peer, std::int64_t pixels) {
  const double px = static_cast<double>(pixels) * static_cast<double>(state.iterations());
  state.counters["ours_Mpx_s"] = px / ours / 1e6;
  state.counters["peer_Mpx_s"] = px / peer / 1e6;
  state.counters["ratio"] = peer / ours;
  state.SetItemsProcessed(static_cast<std::int64_t>(px));
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
  double t_ours = 0;
  double t_peer = 0;
  bool ours_first = true;
  for (auto _ : state) {
    state.SetIterationTime(TimeBoth(
        ours_first, [&] { BlendBlock(st, rows); },
        [&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, n, n); },
        &t_ours, &t_peer));
    ours_first = !ours_first;
    benchmark::DoNotOptimize(ours.data());
    benchmark::DoNotOptimize(theirs.data());
  }
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
  double t_ours = 0;
  double t_peer = 0;
  bool ours_first = true;
  for (auto _ : state) {
    state.SetIterationTime(TimeBoth(
        ours_first, [&] { BlendBlock(st, rows); },
        [&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, pm, pd, 0, 0, 0, 0, 0, 0, n, n); },
        &t_ours, &t_peer));
    ours_first = !ours_first;
    benchmark::DoNotOptimize(ours.data());
    benchmark::DoNotOptimize(theirs.data());
  }
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
  double t_ours = 0;
  double t_peer = 0;
  bool ours_first = true;
  for (auto _ : state) {
    state.SetIterationTime(TimeBoth(
        ours_first, [&] { BlendBlock(st, rows); },
        [&] { std::memcpy(theirs.data(), src.data(), src.size() * sizeof(std::uint32_t)); },
        &t_ours, &t_peer));
    ours_first = !ours_first;
    benchmark::DoNotOptimize(ours.data());
    benchmark::DoNotOptimize(theirs.data());
  }
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
