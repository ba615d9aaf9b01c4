// Blur and sharpen of a 2048 x 2048 four-channel image against OpenCV, side
// by side on the same pixels in the same process: the four-box blur against
// cv::GaussianBlur of the same standard deviation, and the fixed-point
// sharpen kernel against an unsharp mask (GaussianBlur + addWeighted) of the
// same Gaussian and amount.
//
// The engine runs on one thread, so OpenCV is held to one thread too
// (cv::setNumThreads(1)). Each iteration times both sides in the thread's CPU
// time; the reported time is ours (manual time), and the counters give both rates and ratio =
// peer time / our time (above 1 means we are faster).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "../bench_timing.h"
#include "brenmark/brenmark.h"
#include "brenmark/convolution.h"
#include "filters/convolution_rows.h"
#include "host/reference_host.h"

#if BRENMARK_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using brenmark::bench::ThreadSeconds;
constexpr int kSide = 2048;

// A picture-like image: smooth gradients with sharp-edged blocks and noise,
// premultiplied.
std::vector<std::uint8_t> TestImage() {
  std::mt19937 rng(5);
  std::vector<std::uint8_t> px(std::size_t{kSide} * kSide * 4);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      std::uint8_t* p = &px[(std::size_t(y) * kSide + x) * 4];
      const int a = ((x / 64 + y / 64) % 3 == 0) ? 128 : 255;
      p[0] = static_cast<std::uint8_t>(((x + (rng() & 15)) & 255) * a / 255);
      p[1] = static_cast<std::uint8_t>(((y + (rng() & 15)) & 255) * a / 255);
      p[2] = static_cast<std::uint8_t>(((x ^ y) & 255) * a / 255);
      p[3] = static_cast<std::uint8_t>(a);
    }
  }
  return px;
}

// Standard deviation of the four-box blur of half-width h0 along one axis:
// a mixture of boxes of radius r_i with weights (2 r_i + 1) / W, each of
// variance r_i (r_i + 1) / 3.
double FourBoxSigma(int h0) {
  const int r[4] = {(h0 * 65 + 128) >> 8, (h0 * 122 + 128) >> 8, (h0 * 176 + 128) >> 8, h0};
  double w = 0, v = 0;
  for (int ri : r) {
    w += 2 * ri + 1;
    v += (2 * ri + 1) * ri * (ri + 1) / 3.0;
  }
  return std::sqrt(v / w);
}

void Report(benchmark::State& state, double ours, double peer) {
  const double px = double(kSide) * kSide * double(state.iterations());
  state.counters["ours_Mpx_s"] = px / ours / 1e6;
  state.counters["peer_Mpx_s"] = px / peer / 1e6;
  state.counters["ratio"] = peer / ours;
  state.SetLabel(brenmark::conv::ActiveConvKernels().name);
}

#if BRENMARK_HAVE_OPENCV

// Runs `kernel` through ilConvolutionImg (on a fresh copy of the pixels each
// time, copied outside the timing) and `peer` on the same pixels.
template <typename Peer>
void Compare(benchmark::State& state, const ConvolutionKernel& kernel, Peer&& peer) {
  cv::setNumThreads(1);
  const std::vector<std::uint8_t> src = TestImage();
  ilConvolutionImg img(ilSize(kSide, kSide, 4), ilUChar);
  cv::Mat in(kSide, kSide, CV_8UC4, const_cast<std::uint8_t*>(src.data()));
  cv::Mat out;
  double tOurs = 0, tPeer = 0;
  for (auto _ : state) {
    std::memcpy(img.getDataPtr(), src.data(), src.size());
    const double t0 = ThreadSeconds();
    img.Convolve(kernel);
    const double t1 = ThreadSeconds();
    peer(in, out);
    const double t2 = ThreadSeconds();
    tOurs += t1 - t0;
    tPeer += t2 - t1;
    state.SetIterationTime(t1 - t0);
    benchmark::DoNotOptimize(img.getDataPtr());
    benchmark::DoNotOptimize(out.data);
  }
  Report(state, tOurs, tPeer);
}

void BM_BlurVsOpenCV(benchmark::State& state) {
  const int r = static_cast<int>(state.range(0));
  const double sigma = FourBoxSigma(r);
  Compare(state, ConvolutionKernel(-1.0f, static_cast<float>(r), 1.0f / 3),
          [&](const cv::Mat& in, cv::Mat& out) {
            cv::GaussianBlur(in, out, cv::Size(0, 0), sigma, sigma, cv::BORDER_CONSTANT);
          });
  state.counters["sigma"] = sigma;
}
BENCHMARK(BM_BlurVsOpenCV)
    ->Arg(3)
    ->Arg(10)
    ->Arg(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Sharpness s, radius 3, sigma 1/3: identity + s (identity - G), G the
// Gaussian of standard deviation 1 over 7 x 7.
void BM_SharpenVsOpenCVUnsharp(benchmark::State& state) {
  const float s = 0.5f;
  Compare(state, ConvolutionKernel(s, 3.0f, 1.0f / 3), [&](const cv::Mat& in, cv::Mat& out) {
    cv::Mat blurred;
    cv::GaussianBlur(in, blurred, cv::Size(7, 7), 1.0, 1.0, cv::BORDER_CONSTANT);
    cv::addWeighted(in, 1.0 + s, blurred, -s, 0.0, out);
  });
}
BENCHMARK(BM_SharpenVsOpenCVUnsharp)->UseManualTime()->Unit(benchmark::kMillisecond);

// The whole layer operation: a 2048 x 2048 layer blurred through the paint
// manager, shown in 128-pixel tiles (pages read and written back, display
// hooks, the undo record's copy-on-write snapshot), against the same
// GaussianBlur. Each run starts from a new canvas holding the test image
// and an empty undo list, made outside the timing: the blur grows its layer
// and keeps the old image for undo, so repeated runs on one layer would
// blur ever larger layers and pile up snapshots until they swap.
void BM_LayerBlurVsOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  const int r = static_cast<int>(state.range(0));
  const double sigma = FourBoxSigma(r);
  const std::vector<std::uint8_t> src = TestImage();
  brenmark::host::ReferenceHost host;
  Brenmark.SetCallbacks(host.Install());
  host.SetDefaultViewSize(kSide, kSide);  // the canvas: layers are kept within its reach
  const ConvolutionKernel blur(-1.0f, static_cast<float>(r), 1.0f / 3);
  cv::Mat in(kSide, kSide, CV_8UC4, const_cast<std::uint8_t*>(src.data()));
  cv::Mat out;
  double tOurs = 0, tPeer = 0;
  int h = -1;
  for (auto _ : state) {
    state.PauseTiming();
    if (h >= 0) Brenmark.DeleteLayerStack(h);
    PaintUndoList.FlushUndoList(nullptr);
    h = Brenmark.AddLayerStack(ViewerParms{});
    LayerStack* stack = Brenmark.GetLayerStack(h);
    stack->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    stack->GetCurrentLayerPtr()->GetImage()->setTile(0, 0, kSide, kSide, src.data());
    state.ResumeTiming();
    const double t0 = ThreadSeconds();
    Brenmark.SharpenOrBlurDone(blur, reinterpret_cast<void*>(-2), h);
    const double t1 = ThreadSeconds();
    cv::GaussianBlur(in, out, cv::Size(0, 0), sigma, sigma, cv::BORDER_CONSTANT);
    const double t2 = ThreadSeconds();
    tOurs += t1 - t0;
    tPeer += t2 - t1;
    state.SetIterationTime(t1 - t0);
    benchmark::DoNotOptimize(out.data);
  }
  Report(state, tOurs, tPeer);
  if (h >= 0) Brenmark.DeleteLayerStack(h);
  PaintUndoList.FlushUndoList(nullptr);
}
BENCHMARK(BM_LayerBlurVsOpenCV)
    ->Arg(3)
    ->Arg(10)
    ->Arg(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

#endif

}  // namespace
