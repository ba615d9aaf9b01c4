// Blur and sharpen of a 2048 x 2048 four-channel image against OpenCV, side
// by side on the same pixels in the same process: the four-box blur against
// cv::GaussianBlur of the same standard deviation, and the fixed-point
// sharpen kernel against an unsharp mask (GaussianBlur + addWeighted) of the
// same Gaussian and amount.
//
// The engine runs on one thread, so OpenCV is held to one thread too
// (cv::setNumThreads(1)). Each iteration times both sides; the reported time
// is ours (manual time), and the counters give both rates and ratio =
// peer time / our time (above 1 means we are faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "brenmark/brenmark.h"
#include "brenmark/convolution.h"
#include "filters/convolution_rows.h"
#include "host/reference_host.h"

#if BRENMARK_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 2048;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

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
    const auto t0 = Clock::now();
    img.Convolve(kernel);
    const auto t1 = Clock::now();
    peer(in, out);
    const auto t2 = Clock::now();
    tOurs += Seconds(t0, t1);
    tPeer += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t0, t1));
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
// hooks), against the same GaussianBlur. The layer's pixels
// are put back between runs, outside the timing.
void BM_LayerBlurVsOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  const int r = static_cast<int>(state.range(0));
  const double sigma = FourBoxSigma(r);
  const std::vector<std::uint8_t> src = TestImage();
  brenmark::host::ReferenceHost host;
  Brenmark.SetCallbacks(host.Install());
  host.SetDefaultViewSize(kSide, kSide);  // the canvas: layers are kept within its reach
  const int h = Brenmark.AddLayerStack(ViewerParms{});
  LayerStack* stack = Brenmark.GetLayerStack(h);
  stack->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  ilImage* layer = stack->GetCurrentLayerPtr()->GetImage();
  const ConvolutionKernel blur(-1.0f, static_cast<float>(r), 1.0f / 3);
  cv::Mat in(kSide, kSide, CV_8UC4, const_cast<std::uint8_t*>(src.data()));
  cv::Mat out;
  double tOurs = 0, tPeer = 0;
  for (auto _ : state) {
    layer->setTile(0, 0, kSide, kSide, src.data());
    const auto t0 = Clock::now();
    Brenmark.SharpenOrBlurDone(blur, reinterpret_cast<void*>(-2), h);
    const auto t1 = Clock::now();
    cv::GaussianBlur(in, out, cv::Size(0, 0), sigma, sigma, cv::BORDER_CONSTANT);
    const auto t2 = Clock::now();
    tOurs += Seconds(t0, t1);
    tPeer += Seconds(t1, t2);
    state.SetIterationTime(Seconds(t0, t1));
    benchmark::DoNotOptimize(out.data);
  }
  Report(state, tOurs, tPeer);
  Brenmark.DeleteLayerStack(h);
}
BENCHMARK(BM_LayerBlurVsOpenCV)
    ->Arg(3)
    ->Arg(10)
    ->Arg(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

#endif

}  // namespace
