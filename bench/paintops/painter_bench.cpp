// The painter end to end (page locks, the page walk, the rows) against its
// peers on the same pixels in the same process: a premultiplied-over
// rect_copy of one smart image onto another against pixman's OVER, the brush
// blend of a constant colour through a coverage image against pixman's solid
// source through an a8 mask, and the straight copy against memcpy.
//
// Each benchmark times both sides every iteration, alternating which goes
// first; the reported time is ours (manual time), and the counters give
// both rates and ratio = peer time / our time (above 1: we are faster).
// Images are 2048 x 2048 (memory-bound: 16 MB per four-channel image).
#include <benchmark/benchmark.h>

#include <brenmark/paint_ops.h>
#include <brenmark/smart_image.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "paintops/blend_kernels.h"

#include "../bench_pixels.h"
#include "../bench_timing.h"

#if BRENMARK_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

namespace bench = brenmark::bench;
using bench::DabCoverage;
using bench::RandomPremultiplied;

constexpr int kSide = 2048;

ilSmartImage* SmartWith(const std::vector<std::uint32_t>& px, int n) {
  auto* img = new ilSmartImage(ilPixel(ilUChar, 4));
  img->ref();
  img->setTile(0, 0, n, n, px.data());
  return img;
}

void Report(benchmark::State& state, double ours, double peer, std::int64_t pixels) {
  bench::ReportPixelRates(state, ours, peer, static_cast<double>(pixels));
  state.SetLabel(brenmark::ActiveKernels().name);
}

#if BRENMARK_HAVE_PIXMAN

// Blend (1, 7) of a whole four-channel smart image onto another.
void BM_PainterOverVsPixman(benchmark::State& state) {
  const int n = kSide;
  const std::vector<std::uint32_t> srcPx = RandomPremultiplied(n, n, 1);
  const std::vector<std::uint32_t> dstPx = RandomPremultiplied(n, n, 2);
  ilSmartImage* src = SmartWith(srcPx, n);
  ilSmartImage* dst = SmartWith(dstPx, n);
  PaintOps painter(dst, 1);
  painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);

  std::vector<std::uint32_t> peerSrc = srcPx;
  std::vector<std::uint32_t> peerDst = dstPx;
  pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, peerSrc.data(), n * 4);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, peerDst.data(), n * 4);
  double tOurs = 0, tPeer = 0;
  bench::SideBySide(
      state, [&] { painter.rect_copy(0, 0, n, n, src, 0, 0, nullptr, 1, 1); },
      [&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, n, n); },
      &tOurs, &tPeer);
  benchmark::DoNotOptimize(peerDst.data());
  Report(state, tOurs, tPeer, std::int64_t{n} * n);
  pixman_image_unref(ps);
  pixman_image_unref(pd);
  src->unref();
  dst->unref();
}
BENCHMARK(BM_PainterOverVsPixman)->UseManualTime()->Unit(benchmark::kMillisecond);

// Blend (6, 7) of a constant colour through a one-channel coverage image,
// as a separable stamp draws a dab.
void BM_PainterBrushVsPixmanSolidMask(benchmark::State& state) {
  const int n = kSide;
  const std::vector<std::uint8_t> cov = DabCoverage(n, n);
  const std::vector<std::uint32_t> dstPx = RandomPremultiplied(n, n, 3);
  ilSmartImage* dst = SmartWith(dstPx, n);
  auto* coverage = new ilMemoryImg(ilSize(n, n, 1, 1), ilUChar);
  coverage->ref();
  coverage->setCoordSpace(ilLowerLeft);
  std::memcpy(coverage->getDataPtr(), cov.data(), cov.size());
  PaintOps painter(dst, 1);
  painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
  painter.src_alpha_img(coverage);
  std::uint32_t colour = 0xFF2060C0u;

  std::vector<std::uint32_t> peerDst = dstPx;
  const pixman_color_t pc = {0xC0C0, 0x6060, 0x2020, 0xFFFF};  // the same opaque colour
  pixman_image_t* ps = pixman_image_create_solid_fill(&pc);
  pixman_image_t* pm = pixman_image_create_bits(
      PIXMAN_a8, n, n, reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(cov.data())), n);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, peerDst.data(), n * 4);
  double tOurs = 0, tPeer = 0;
  bench::SideBySide(
      state, [&] { painter.rect_fill(0, 0, n, n, &colour, nullptr); },
      [&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, pm, pd, 0, 0, 0, 0, 0, 0, n, n); }, &tOurs,
      &tPeer);
  benchmark::DoNotOptimize(peerDst.data());
  Report(state, tOurs, tPeer, std::int64_t{n} * n);
  pixman_image_unref(ps);
  pixman_image_unref(pm);
  pixman_image_unref(pd);
  painter.src_alpha_img(nullptr);
  coverage->unref();
  dst->unref();
}
BENCHMARK(BM_PainterBrushVsPixmanSolidMask)->UseManualTime()->Unit(benchmark::kMillisecond);

// Blend (6, 7) of a constant colour through one small dab coverage image
// stamped on a grid whose step crosses the page seams at every phase: the
// dab path, many small calls instead of one large one.
void BM_PainterDabsVsPixmanSolidMask(benchmark::State& state) {
  const int n = kSide;
  const int d = static_cast<int>(state.range(0));
  constexpr int kStep = 37;
  std::vector<std::uint8_t> dab(static_cast<std::size_t>(d) * d);
  const double r = d / 2.0;
  for (int y = 0; y < d; ++y) {
    for (int x = 0; x < d; ++x) {
      const double dx = x + 0.5 - r, dy = y + 0.5 - r;
      double v = (r - std::sqrt(dx * dx + dy * dy)) / (r / 3.0);
      v = v < 0 ? 0 : (v > 1 ? 1 : v);
      dab[static_cast<std::size_t>(y) * d + x] = static_cast<std::uint8_t>(v * 255.0 + 0.5);
    }
  }
  const std::vector<std::uint32_t> dstPx = RandomPremultiplied(n, n, 8);
  ilSmartImage* dst = SmartWith(dstPx, n);
  auto* coverage = new ilMemoryImg(ilSize(d, d, 1, 1), ilUChar);
  coverage->ref();
  std::memcpy(coverage->getDataPtr(), dab.data(), dab.size());
  PaintOps painter(dst, 1);
  painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
  painter.src_alpha_img(coverage);
  std::uint32_t colour = 0xFF2060C0u;

  std::vector<std::uint32_t> peerDst = dstPx;
  const pixman_color_t pc = {0xC0C0, 0x6060, 0x2020, 0xFFFF};
  pixman_image_t* ps = pixman_image_create_solid_fill(&pc);
  // Rows of a8 images are padded to four bytes.
  const int maskStride = (d + 3) & ~3;
  std::vector<std::uint8_t> maskPx(static_cast<std::size_t>(maskStride) * d);
  for (int y = 0; y < d; ++y) std::memcpy(&maskPx[y * maskStride], &dab[y * d], d);
  pixman_image_t* pm = pixman_image_create_bits(
      PIXMAN_a8, d, d, reinterpret_cast<std::uint32_t*>(maskPx.data()), maskStride);
  pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, n, peerDst.data(), n * 4);
  std::int64_t pixels = 0;
  for (int y = 1; y + d <= n; y += kStep)
    for (int x = 1; x + d <= n; x += kStep) pixels += std::int64_t{d} * d;
  double tOurs = 0, tPeer = 0;
  bench::SideBySide(
      state,
      [&] {
        for (int y = 1; y + d <= n; y += kStep)
          for (int x = 1; x + d <= n; x += kStep) painter.rect_fill(x, y, d, d, &colour, nullptr);
      },
      [&] {
        for (int y = 1; y + d <= n; y += kStep)
          for (int x = 1; x + d <= n; x += kStep)
            pixman_image_composite32(PIXMAN_OP_OVER, ps, pm, pd, 0, 0, 0, 0, x, y, d, d);
      },
      &tOurs, &tPeer);
  benchmark::DoNotOptimize(peerDst.data());
  Report(state, tOurs, tPeer, pixels);
  pixman_image_unref(ps);
  pixman_image_unref(pm);
  pixman_image_unref(pd);
  painter.src_alpha_img(nullptr);
  coverage->unref();
  dst->unref();
}
BENCHMARK(BM_PainterDabsVsPixmanSolidMask)
    ->Arg(9)
    ->Arg(41)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

#endif  // BRENMARK_HAVE_PIXMAN

// Blend (1, 0) of `src` (holding `srcPx`) onto a kSide x kSide smart image,
// against memcpy of the same bytes.
void CopyVsMemcpy(benchmark::State& state, ilImage* src, const std::vector<std::uint32_t>& srcPx,
                  std::uint32_t dstSeed) {
  const int n = kSide;
  ilSmartImage* dst = SmartWith(RandomPremultiplied(n, n, dstSeed), n);
  PaintOps painter(dst, 1);
  std::vector<std::uint32_t> peerDst(srcPx.size(), 0);
  double tOurs = 0, tPeer = 0;
  bench::SideBySide(
      state, [&] { painter.rect_copy(0, 0, n, n, src, 0, 0, nullptr, 1, 1); },
      [&] { std::memcpy(peerDst.data(), srcPx.data(), srcPx.size() * sizeof(std::uint32_t)); },
      &tOurs, &tPeer);
  benchmark::DoNotOptimize(peerDst.data());
  Report(state, tOurs, tPeer, std::int64_t{n} * n);
  dst->unref();
}

// Blend (1, 0) of a memory image into a smart image: every pixel moves.
void BM_PainterCopyVsMemcpy(benchmark::State& state) {
  const int n = kSide;
  const std::vector<std::uint32_t> srcPx = RandomPremultiplied(n, n, 4);
  auto* src = new ilMemoryImg(ilSize(n, n, 1, 4), ilUChar);
  src->ref();
  src->setCoordSpace(ilLowerLeft);
  std::memcpy(src->getDataPtr(), srcPx.data(), srcPx.size() * 4);
  CopyVsMemcpy(state, src, srcPx, 5);
  src->unref();
}
BENCHMARK(BM_PainterCopyVsMemcpy)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same copy between two page-aligned smart images: the pages are shared
// copy-on-write instead of copied, so this measures the page bookkeeping.
void BM_PainterSharedCopyVsMemcpy(benchmark::State& state) {
  const std::vector<std::uint32_t> srcPx = RandomPremultiplied(kSide, kSide, 6);
  ilSmartImage* src = SmartWith(srcPx, kSide);
  CopyVsMemcpy(state, src, srcPx, 7);
  src->unref();
}
BENCHMARK(BM_PainterSharedCopyVsMemcpy)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
