// Latency of a painting window: from one pointer event to refreshed pixels
// in the window's buffer, as brenmark-view runs it, on a 2048 x 2048 canvas.
//
// One event is one AddStrokePoint of a pen sample; then the timed update
// the engine asked for at the stroke's start fires (the host's timer queue,
// advanced by the interval), the stack's display update pulls the update
// image (composed, scaled or turned, into the shared update buffer) and the
// host copies the update rectangle into the window pixels the application
// owns, queueing the rectangle. The interval itself is a wait, not work: it
// is left out and reported as the counter `interval_ms`. Not included: the
// copy of those rectangles from the window buffer to the window system
// (SDL's row conversion and the X server), which is the same for any
// engine.
//
// Views: zoom 1, and zoom 0.5 turned 30 degrees about the canvas centre,
// both with the canvas centred in a 1024 x 1024 window. The stroke is a
// meandering path around the canvas centre, 1.5 pixels a sample, radius 12,
// restarted every 256 samples (outside the timing). Times are thread CPU
// time per event (manual time); `rect_px` is the mean area refreshed per
// event, `painted_px` the window pixels showing the brush's colour at the end.
#include <benchmark/benchmark.h>

#include <brenmark/brenmark.h>
#include <brenmark/layer_stack.h>
#include <brenmark/layer_stack_transform.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "../brush/bench_peer.h"
#include "host/reference_host.h"

namespace {

using brenmark::bench::ThreadSeconds;

constexpr int kCanvas = 2048;
constexpr int kWindow = 1024;
constexpr int kStrokeSamples = 256;
constexpr float kRadius = 12.0f;

struct ViewCanvas {
  brenmark::host::ReferenceHost host;
  std::vector<std::uint32_t> windowPixels;
  LayerStack* stack = nullptr;
  int window = 0;

  ViewCanvas(float zoom, float degrees)
      : windowPixels(static_cast<std::size_t>(kWindow) * kWindow, 0xFF303030u) {
    host.SetDefaultViewSize(kCanvas, kCanvas);
    host.SetScreenSize(kWindow, kWindow);
    host.InstallInto(Brenmark);
    host.PullUpdatesFrom(Brenmark, true);
    host.RefreshOnTimedUpdate(Brenmark);
    Brenmark.InitPaintManager();
    stack = Brenmark.GetLayerStack(Brenmark.AddLayerStack(ViewerParms{}));
    // Opaque paper under the empty layer painted on.
    for (int i = 0; i < 2; ++i) {
      stack->AddLayer(nullptr, nullptr, false, true, false, stack->GetLayerCount(), false);
    }
    std::vector<std::uint32_t> paper(static_cast<std::size_t>(kCanvas) * kCanvas, 0xFFE8F0F4u);
    stack->GetLayerFromIndex(1)->GetImage()->setTile(0, 0, kCanvas, kCanvas, paper.data());
    stack->SetCurrentLayer(2, true);
    window = stack->GetWindow();
    host.SetTransparentBackdrop(window, false);
    host.AttachWindowPixels(window, windowPixels.data(), kWindow, kWindow);
    // As brenmark-view places the canvas: centre on the window centre.
    const float c = kCanvas / 2.0f;
    LayerStackTransform t(std::round(zoom * c - kWindow / 2.0f),
                          std::round(zoom * c - kWindow / 2.0f), zoom, zoom, c, c, degrees);
    t.SetScaleOffset((1.0f - zoom) * c, (1.0f - zoom) * c);
    stack->SetTransform(t);
    stack->RedrawEntireCanvas(true, true);
    stack->SetDisplayUpdate(true);
    BrushParameters b;
    b.color = PaintColor(0.1f, 0.2f, 0.6f, 1.0f);
    b.radius1 = b.radius2 = kRadius;
    b.opacity1 = b.opacity2 = 1.0f;
    Brenmark.SetBrushParameters(b, true);
    StrokeParameters p;
    p.updateRadius = kRadius;
    p.interpolation = 0;
    Brenmark.SetStrokeParameters(p);
  }
  ~ViewCanvas() { Brenmark.DeleteLayerStack(-2); }
  ViewCanvas(const ViewCanvas&) = delete;
  ViewCanvas& operator=(const ViewCanvas&) = delete;
};

// Sample i of the path, in window pixels: a wandering loop around the
// window centre, well inside the canvas at both zooms.
void PathPoint(long i, float& x, float& y) {
  const double s = 1.5 * static_cast<double>(i);
  x = static_cast<float>(kWindow / 2 + 300 * std::sin(s / 400.0) + 40 * std::sin(s / 37.0));
  y = static_cast<float>(kWindow / 2 + 250 * std::sin(s / 290.0) + 30 * std::cos(s / 23.0));
}

void BM_EventToWindowPixels(benchmark::State& state) {
  const float zoom = static_cast<float>(state.range(0)) / 100.0f;
  const float degrees = static_cast<float>(state.range(1));
  ViewCanvas canvas(zoom, degrees);
  long sample = 0;
  double area = 0;
  long events = 0;
  int interval = 0;
  Brenmark.BeginBrushStroke();
  for (auto _ : state) {
    if (sample % kStrokeSamples == kStrokeSamples - 1) {
      Brenmark.EndBrushStroke();
      canvas.host.AdvanceTime(1000);  // the stroke's idle timer
      canvas.host.TakeShownRects(canvas.window);
      Brenmark.BeginBrushStroke();
    }
    float x = 0, y = 0;
    PathPoint(sample++, x, y);
    const int due = canvas.host.Window(canvas.window)->timedUpdateInterval;
    interval = due;
    const double t0 = ThreadSeconds();
    Brenmark.AddStrokePoint(x, y, kRadius, 1.0f, 1.0f, 0.0f, false, false);
    canvas.host.AdvanceTime(due);
    const std::vector<brenmark::host::ShownRect> rects = canvas.host.TakeShownRects(canvas.window);
    const double t1 = ThreadSeconds();
    state.SetIterationTime(t1 - t0);
    for (const auto& r : rects) area += static_cast<double>(r.nx) * r.ny;
    ++events;
    benchmark::DoNotOptimize(canvas.windowPixels.data());
  }
  Brenmark.EndBrushStroke();
  // The window really shows the paint: pixels of the brush's blue.
  long painted = 0;
  for (const std::uint32_t p : canvas.windowPixels) painted += ((p >> 16) & 0xFF) > (p & 0xFF) + 60;
  state.counters["painted_px"] = static_cast<double>(painted);
  state.counters["rect_px"] = events ? area / static_cast<double>(events) : 0;
  state.counters["interval_ms"] = interval;
  state.SetItemsProcessed(events);
}

BENCHMARK(BM_EventToWindowPixels)
    ->ArgNames({"zoom_pct", "degrees"})
    ->Args({100, 0})
    ->Args({50, 30})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
