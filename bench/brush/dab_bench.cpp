// Dabs and strokes end to end against libmypaint in the same process.
//
// Random dabs: one opaque brush of hardness 0.8 stamped at fixed random
// positions on a 2048 x 2048 layer: ours a stamp drawn by the software
// painter onto a smart image, the peer draw_dab on its fixed tiled surface
// (the dabs queued between begin_atomic and end_atomic, which renders them).
// Rates are Mpix/s of dab area (pi r^2 per dab).
//
// Pressure strokes: the same wavy path at every iteration, the pressure
// changing at every sample; ours scales the sample radius and opacity, the
// peer maps the pressure to its logarithmic radius and opacity. Each side
// counts the dabs it places and the rates are dabs/s; the peer's dab density
// is calibrated once so that both place about as many dabs.
//
// The peer renders its tiles with OpenMP; it runs on one thread here, as
// ours does. Each benchmark times both sides every iteration, alternating
// which goes first, in thread CPU time; the reported time is ours (manual
// time), and ratio = our rate / the peer's rate (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <brenmark/generic_function.h>
#include <brenmark/interpolate.h>
#include <brenmark/paint_ops.h>
#include <brenmark/smart_image.h>
#include <brenmark/soft_paint_ops.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>
#include <brenmark/stroke.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "bench_peer.h"

namespace {

using brenmark::bench::TimeBoth;
constexpr int kSide = 2048;
constexpr float kHardness = 0.8f;
constexpr float kColour[3] = {0.8f, 0.4f, 0.2f};

struct Layer {
  Layer() {
    const unsigned char none[4] = {0, 0, 0, 0};
    image = new ilSmartImage(ilPixel(ilUChar, 4, none));
    image->ref();
    painter = new SoftPaintOps(image);
    painter->ref();
    painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  }
  ~Layer() {
    painter->unref();
    image->unref();
  }
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;
  ilSmartImage* image;
  SoftPaintOps* painter;
};

Stamp* NewStamp(float radius) {
  auto* stamp = new Stamp();
  stamp->ref();
  stamp->SetProfile(new SolidProfile(kHardness));
  stamp->SetColor(kColour[0], kColour[1], kColour[2], 1.0f);
  stamp->SetRadius(radius);
  return stamp;
}

// Dab centres at least one radius inside the layer.
std::vector<PaintPoint> RandomCentres(int count, float radius, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> pos(radius + 1.0f, kSide - radius - 1.0f);
  std::vector<PaintPoint> pts(static_cast<std::size_t>(count));
  for (PaintPoint& p : pts) {
    p.x = pos(rng);
    p.y = pos(rng);
  }
  return pts;
}

// About 4-10 Mpix of dab area per iteration.
int DabCount(int radius) {
  return radius <= 8 ? 20000 : radius <= 32 ? 2000 : 200;
}

// One sample of the stroke path: a sine wave across the layer with the
// pressure swinging between 0.3 and 1 every few samples.
struct PathSample {
  float x, y, pressure;
};

std::vector<PathSample> StrokePath(int radius) {
  std::vector<PathSample> path;
  const int count = radius <= 8 ? 1500 : 600;
  const float step = radius <= 8 ? 1.2f * radius : 0.5f * radius;
  float x = 200.0f;
  float y = 200.0f;
  for (int i = 0; i < count; ++i) {
    path.push_back({x, y + 300.0f * std::sin(i * 0.02f), 0.65f + 0.35f * std::sin(i * 0.7f)});
    x += step;
    if (x > kSide - 200.0f) {
      x = 200.0f;
      y += 4.0f * radius;
      if (y > kSide - 500.0f) y = 200.0f;
    }
  }
  return path;
}

// Our sample radius and opacity for a pressure.
float OurRadius(int radius, float pressure) {
  return radius * (0.5f + 0.5f * pressure);
}

// Counts the dab positions the painter pulls from a stroke.
class CountingPainter : public SoftPaintOps {
 public:
  explicit CountingPainter(ilImage* target) : SoftPaintOps(target) {}
  int draw_stamps(PaintPointStream& points, float (*pressure)()) override {
    Counted counted(points, &dabs);
    return SoftPaintOps::draw_stamps(counted, pressure);
  }
  std::int64_t dabs = 0;

 private:
  class Counted : public PaintPointStream {
   public:
    Counted(PaintPointStream& inner, std::int64_t* count) : inner_(inner), count_(count) {}
    bool next(PaintPoint& p) override {
      if (!inner_.next(p)) return false;
      ++*count_;
      return true;
    }

   private:
    PaintPointStream& inner_;
    std::int64_t* count_;
  };
};

// Paints the path once; answers the dabs placed.
std::int64_t OurStroke(CountingPainter* painter, Stamp* stamp, int radius,
                       const std::vector<PathSample>& path) {
  const std::int64_t before = painter->dabs;
  Stroke stroke;
  StampStrokeImpl impl(&stroke, painter, stamp, new FltInterpolate2D(1), 1.0);
  stroke.MarkStart();
  for (std::size_t i = 0; i < path.size(); ++i) {
    const PathSample& s = path[i];
    stroke.AddPoint(s.x, s.y, OurRadius(radius, s.pressure), s.pressure, 1.0f, 0.0f);
    if (i + 1 == path.size()) stroke.MarkEnd();
    impl.PaintStep();
  }
  return painter->dabs - before;
}

#if BRENMARK_HAVE_MYPAINT

using brenmark::bench::PeerSurface;

// A brush of radius r and hardness 0.8 whose radius and opacity follow the
// pressure as ours do: radius r (0.5 + 0.5 p) through a logarithmic mapping
// (piecewise linear in p), opacity p.
MyPaintBrush* PeerBrush(int radius, float dabsPerRadius) {
  MyPaintBrush* brush = mypaint_brush_new();
  mypaint_brush_from_defaults(brush);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC,
                               std::log(static_cast<float>(radius)));
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_HARDNESS, kHardness);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_OPAQUE, 1.0f);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_DABS_PER_ACTUAL_RADIUS, dabsPerRadius);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_DABS_PER_BASIC_RADIUS, 0.0f);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_DABS_PER_SECOND, 0.0f);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_COLOR_H, 0.0f);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_COLOR_S, 0.75f);
  mypaint_brush_set_base_value(brush, MYPAINT_BRUSH_SETTING_COLOR_V, 0.8f);
  constexpr int kPoints = 5;
  mypaint_brush_set_mapping_n(brush, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC,
                              MYPAINT_BRUSH_INPUT_PRESSURE, kPoints);
  for (int i = 0; i < kPoints; ++i) {
    const float p = static_cast<float>(i) / (kPoints - 1);
    mypaint_brush_set_mapping_point(brush, MYPAINT_BRUSH_SETTING_RADIUS_LOGARITHMIC,
                                    MYPAINT_BRUSH_INPUT_PRESSURE, i, p, std::log(0.5f + 0.5f * p));
  }
  mypaint_brush_set_mapping_n(brush, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY,
                              MYPAINT_BRUSH_INPUT_PRESSURE, 2);
  mypaint_brush_set_mapping_point(brush, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY,
                                  MYPAINT_BRUSH_INPUT_PRESSURE, 0, 0.0f, 0.0f);
  mypaint_brush_set_mapping_point(brush, MYPAINT_BRUSH_SETTING_OPAQUE_MULTIPLY,
                                  MYPAINT_BRUSH_INPUT_PRESSURE, 1, 1.0f, 1.0f);
  return brush;
}

// Paints the path once (one atomic batch); answers the dabs placed.
std::int64_t PeerStroke(PeerSurface& peer, MyPaintBrush* brush,
                        const std::vector<PathSample>& path) {
  const std::int64_t before = peer.dabs;
  mypaint_brush_reset(brush);
  mypaint_brush_new_stroke(brush);
  mypaint_surface_begin_atomic(peer.surface);
  for (const PathSample& s : path)
    mypaint_brush_stroke_to(brush, peer.surface, s.x, s.y, s.pressure, 0.0f, 0.0f, 0.01);
  MyPaintRectangle roi;
  mypaint_surface_end_atomic(peer.surface, &roi);
  return peer.dabs - before;
}

void BM_RandomDabsVsMyPaint(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  const std::vector<PaintPoint> centres = RandomCentres(DabCount(radius), radius, 42);
  Layer layer;
  Stamp* stamp = NewStamp(static_cast<float>(radius));
  StampImageCache::Shared().Empty();
  layer.painter->set_stamp(stamp);
  PeerSurface peer(kSide, kSide);

  double tOurs = 0;
  double tPeer = 0;
  bool oursFirst = true;
  int failures = 0;
  for (auto _ : state) {
    state.SetIterationTime(TimeBoth(
        oursFirst,
        [&] {
          failures += layer.painter->draw_stamps(centres.data(), static_cast<int>(centres.size()),
                                                 nullptr) != 0;
        },
        [&] {
          mypaint_surface_begin_atomic(peer.surface);
          for (const PaintPoint& p : centres)
            mypaint_surface_draw_dab(peer.surface, p.x, p.y, static_cast<float>(radius), kColour[0],
                                     kColour[1], kColour[2], 1.0f, kHardness, 1.0f, 1.0f, 0.0f,
                                     0.0f, 0.0f);
          MyPaintRectangle roi;
          mypaint_surface_end_atomic(peer.surface, &roi);
        },
        &tOurs, &tPeer));
    oursFirst = !oursFirst;
  }
  if (failures != 0) state.SkipWithError("a dab failed");
  const double area = std::numbers::pi * radius * radius * static_cast<double>(centres.size()) *
                      static_cast<double>(state.iterations());
  state.counters["ours_Mpx_s"] = area / tOurs / 1e6;
  state.counters["peer_Mpx_s"] = area / tPeer / 1e6;
  state.counters["ratio"] = tPeer / tOurs;
  layer.painter->set_stamp(nullptr);
  stamp->unref();
}
BENCHMARK(BM_RandomDabsVsMyPaint)
    ->Arg(8)
    ->Arg(32)
    ->Arg(128)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

void BM_PressureStrokeVsMyPaint(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  const std::vector<PathSample> path = StrokePath(radius);
  const unsigned char none[4] = {0, 0, 0, 0};
  auto* image = new ilSmartImage(ilPixel(ilUChar, 4, none));
  image->ref();
  auto* painter = new CountingPainter(image);
  painter->ref();
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  Stamp* stamp = NewStamp(static_cast<float>(radius));
  StampImageCache::Shared().Empty();
  PeerSurface peer(kSide, kSide);

  // Calibrate the peer's density on one stroke so both place about as many
  // dabs (its count grows about linearly with dabs per radius).
  const std::int64_t oursOnce = OurStroke(painter, stamp, radius, path);
  MyPaintBrush* probe = PeerBrush(radius, 2.0f);
  const std::int64_t peerOnce = PeerStroke(peer, probe, path);
  mypaint_brush_unref(probe);
  const float density =
      peerOnce > 0 ? 2.0f * static_cast<float>(oursOnce) / static_cast<float>(peerOnce) : 2.0f;
  MyPaintBrush* brush = PeerBrush(radius, density);

  double tOurs = 0;
  double tPeer = 0;
  std::int64_t oursDabs = 0;
  std::int64_t peerDabs = 0;
  bool oursFirst = true;
  for (auto _ : state) {
    state.SetIterationTime(TimeBoth(
        oursFirst, [&] { oursDabs += OurStroke(painter, stamp, radius, path); },
        [&] { peerDabs += PeerStroke(peer, brush, path); }, &tOurs, &tPeer));
    oursFirst = !oursFirst;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ours_dabs"] = static_cast<double>(oursDabs) / n;
  state.counters["peer_dabs"] = static_cast<double>(peerDabs) / n;
  state.counters["ours_kdab_s"] = static_cast<double>(oursDabs) / tOurs / 1e3;
  state.counters["peer_kdab_s"] = static_cast<double>(peerDabs) / tPeer / 1e3;
  state.counters["ratio"] =
      (static_cast<double>(oursDabs) / tOurs) / (static_cast<double>(peerDabs) / tPeer);
  mypaint_brush_unref(brush);
  stamp->unref();
  painter->unref();
  image->unref();
}
BENCHMARK(BM_PressureStrokeVsMyPaint)
    ->Arg(8)
    ->Arg(32)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

#else  // no peer: our rates alone

void BM_RandomDabs(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  const std::vector<PaintPoint> centres = RandomCentres(DabCount(radius), radius, 42);
  Layer layer;
  Stamp* stamp = NewStamp(static_cast<float>(radius));
  layer.painter->set_stamp(stamp);
  for (auto _ : state)
    layer.painter->draw_stamps(centres.data(), static_cast<int>(centres.size()), nullptr);
  state.counters["ours_Mpx_s"] = benchmark::Counter(
      std::numbers::pi * radius * radius * static_cast<double>(centres.size()) * 1e-6,
      benchmark::Counter::kIsIterationInvariantRate);
  layer.painter->set_stamp(nullptr);
  stamp->unref();
}
BENCHMARK(BM_RandomDabs)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMillisecond);

#endif  // BRENMARK_HAVE_MYPAINT

}  // namespace
