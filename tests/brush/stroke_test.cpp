// Path interpolators (straight segments with and without carry, the
// smoothing filters, walks along the reference host's polyline curves),
// strokes and stroke painters: recorded samples, dab spacing, ramps along a
// segment, direction following, angle jitter, smear offsets, failures, timed
// dabs on the reference host's timers, and one stroke painted for real.
#include <brenmark/interpolate.h>
#include <brenmark/paint_manager.h>
#include <brenmark/paint_ops.h>
#include <brenmark/smart_image.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>
#include <brenmark/stroke.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "brush/brush_fixture.h"
#include "host/polyline_curve.h"
#include "host/reference_host.h"

namespace {

struct Dab {
  float x = 0, y = 0, radius = 0, opacity = 0, angle = 0;
  int ox = 0, oy = 0;
};

// Records every dab with the stamp as it was when the dab was drawn.
class RecordingPainter : public PaintOps {
 public:
  ~RecordingPainter() override { Resource::unref(stamp_); }
  int set_stamp(Stamp* s) override {
    Resource::ref(s);
    Resource::unref(stamp_);
    return (stamp_ = s) != nullptr;
  }
  int draw_stamps(PaintPointStream& points, float (*)()) override {
    for (PaintPoint p; points.next(p);)
      if (int r = Record(p)) return r;
    return 0;
  }
  int draw_stamps(const PaintPoint* points, int count, float (*)()) override {
    return count == 1 ? Record(points[0]) : -1;
  }
  int connect_stamps(int on, int, int) override { return connects.push_back(on), -1; }
  void BeginOperation() override { ++begins; }
  void EndOperation() override { ++ends; }

  std::vector<Dab> dabs;
  std::vector<int> connects;
  int begins = 0, ends = 0;
  int failAt = -1;  // the dab with this index fails once

 private:
  int Record(const PaintPoint& p) {
    if (static_cast<int>(dabs.size()) == failAt) return failAt = -1, 5;
    Dab d{p.x, p.y, stamp_->GetRadius(), stamp_->CurrentOpacity16(), stamp_->GetAngle()};
    stamp_->GetOffset(d.ox, d.oy);
    dabs.push_back(d);
    return 0;
  }
  Stamp* stamp_ = nullptr;
};

struct Sample {
  float x, y, radius, opacity, angle;
};

class StrokePaint : public testing::Test {
 protected:
  void SetUp() override {
    StampStrokeImpl::SeedRandom(1);
    stamp->ref();
    stamp->SetRadius(20);  // at scale 0.5 the dabs are 3 apart
  }
  void TearDown() override {
    StampStrokeImpl::SetStrokeSettings(0, 0, false);
    StampStrokeImpl::SetSmear(false);
    StampStrokeImpl::SetSpacingScale(1.0);
    stamp->unref();
  }
  // Adds each sample and runs a paint step after it.
  static void Paint(StrokeImpl& impl, const std::vector<Sample>& samples) {
    for (const Sample& s : samples) {
      impl.GetStroke()->AddPoint(s.x, s.y, s.radius, s.opacity, 1.0f, s.angle);
      EXPECT_EQ(impl.PaintStep(), 0);
    }
  }
  Stamp* stamp = new Stamp();
  Stroke stroke;
  RecordingPainter painter;
};

TEST(Stroke, RecordsUnlockedAttributesAndMarksItsEnds) {
  Stroke s;
  EXPECT_EQ(s.AddPoint(1, 2, 3, 0.5f, 0.75f, 45), 1);
  s.MarkStart();
  s.SetLocks(false, true, false, true);
  EXPECT_EQ(s.AddPoint({4, 5}, 6, 0.25f, 1.0f, 90), 1);
  s.SetLocks(false, false, false, false);
  s.SetLock(Stroke::kRadius, true);
  EXPECT_EQ(s.AddPoint(7, 8, 9, NAN, 0.5f, 0), 1);  // a NaN opacity is left out
  EXPECT_EQ(s.AddPoint(NAN, 0, 1, 1, 1, 0), 0);     // refused: the stroke is unchanged
  EXPECT_EQ(s.AddPoint(0, -2.0e6f, 1, 1, 1, 0), 0);
  s.MarkEnd();
  // x, y, radius, opacity, aspect, angle, present bits, state; absent
  // attributes are stored as 0.
  const std::vector<float> want[] = {
      {1, 2, 3, 0.5f, 0.75f, 45, 15, 0}, {4, 5, 6, 0, 1, 0, 5, 1}, {7, 8, 0, 0, 0.5f, 0, 12, 2}};
  ASSERT_EQ(s.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    const StrokeSample& g = s[i];
    EXPECT_EQ((std::vector<float>{g.x, g.y, g.radius, g.opacity, g.aspect, g.angle,
                                  float(g.present), float(g.state)}),
              want[i])
        << i;
  }
  Stroke empty;
  empty.MarkEnd();
  EXPECT_EQ(empty.Count(), 0);
}

TEST_F(StrokePaint, SpacingFollowsRadiusAspectAndScale) {
  const struct {
    float radius, aspect;
    double scale, spacing;
  } cases[] = {
      {1, 1, 1, 0.39375},           // 1.05 * 75 * 0.5 / 100
      {0.5f, 1, 1, 0.39375},        // radii up to 1.05 count as 1.05
      {1, 1, 0.25, 0.125},          // 0.098 is raised to the floor
      {4, 1, 1, 1.3598944523},      // 4 * (75 - 2.3746703 * 2.95) * 0.5 / 100
      {10, 1, 1, 3.6950856810},     // factor 0.5 + 6 / 32
      {10, 0.5f, 1, 0.8944591008},  // aspect 0.5: r = 2.5
      {19.9f, 1, 1, 5.9984515807},  // just below 20 meets 0.3 r
      {20, 1, 1, 6.0},
      {40, 1, 1, 12.0},
      {40, 1, 0.5, 6.0},
  };
  for (const auto& c : cases) {
    stamp->SetRadius(c.radius);
    stamp->SetAspect(c.aspect);
    StampStrokeImpl impl(&stroke, &painter, stamp, nullptr, c.scale);
    EXPECT_FLOAT_EQ(impl.Spacing(), static_cast<float>(c.spacing)) << c.radius << " " << c.scale;
    EXPECT_EQ(StampStrokeImpl::Settings().spacingScale, c.scale);
  }
  // Jitter 0.5 moves the spacing of radius 20 within 6 +- 3.
  StampStrokeImpl::SetStrokeSettings(0.5f, 0, false);
  stamp->SetAspect(1);
  stamp->SetRadius(20);
  float lo = 100, hi = 0;
  for (int i = 0; i < 300; ++i) {
    StampStrokeImpl impl(&stroke, &painter, stamp, nullptr, 1.0);
    lo = std::min(lo, impl.Spacing());
    hi = std::max(hi, impl.Spacing());
  }
  EXPECT_TRUE(lo >= 3.0f && lo < 3.2f) << lo;
  EXPECT_TRUE(hi > 8.8f && hi <= 9.0002f) << hi;
}

TEST_F(StrokePaint, DabsAreSpacedAlongSegmentsWithRampedAttributes) {
  const struct {
    const char* name;
    double scale;
    std::vector<Sample> samples;
    std::vector<Dab> dabs;  // x, y, radius, opacity
  } cases[] = {
      {"one sample draws nothing", 0.5, {{0, 0, 20, 1, 0}}, {}},
      {"0 3 6 9, then 2 after the joint; opacity ramps per segment",
       0.5,
       {{0, 0, 20, 0.2f, 0}, {10, 0, 20, 1, 0}, {20, 0, 20, 1, 0}},
       {{0, 0, 20, 0.2f},
        {3, 0, 20, 0.44f},
        {6, 0, 20, 0.68f},
        {9, 0, 20, 0.92f},
        {12, 0, 20, 0.936f},
        {15, 0, 20, 0.96f},
        {18, 0, 20, 0.984f}}},
      // The spacing to each dab comes from the radius two dabs back.
      {"radius 5 to 10",
       1.0,
       {{0, 0, 5, 1, 0}, {10, 0, 10, 1, 0}},
       {{0, 0, 5, 1},
        {1.74303f, 0, 5.87152f, 1},
        {3.48607f, 0, 6.74303f, 1},
        {5.56998f, 0, 7.78499f, 1},
        {7.99819f, 0, 8.99909f, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Stroke s;
    RecordingPainter p;
    {
      StampStrokeImpl impl(&s, &p, stamp, new FltInterpolate2D(1), c.scale);
      s.MarkStart();
      Paint(impl, c.samples);
      s.MarkEnd();
      EXPECT_EQ(impl.PaintStep(), 0);
    }
    // The end mark came after the last sample was painted: no end.
    EXPECT_EQ((std::array{p.begins, p.ends}), (std::array{1, 0}));
    EXPECT_EQ(p.connects, (std::vector<int>{1, 0}));
    ASSERT_EQ(p.dabs.size(), c.dabs.size());
    for (size_t i = 0; i < c.dabs.size(); ++i) {
      EXPECT_NEAR(p.dabs[i].x, c.dabs[i].x, 1e-4) << i;
      EXPECT_EQ(p.dabs[i].y, c.dabs[i].y) << i;
      EXPECT_NEAR(p.dabs[i].radius, c.dabs[i].radius, 1e-4) << i;
      EXPECT_NEAR(p.dabs[i].opacity, c.dabs[i].opacity, 1e-6) << i;
    }
  }
}

TEST_F(StrokePaint, FollowingTheDirectionTurnsDabsAndSmearingOffsetsThem) {
  // Following: atan2 of the travel in degrees + 270 + base angle 30, on the
  // 3-degree grid, each dab one step back. Smearing: the source one pixel
  // against the motion (none for the first dab, which has not moved).
  const struct {
    bool follow;
    float dx, dy;
    float angle;
    int ox, oy;
  } cases[] = {{true, 1, 0, 300, 0, 0},         {true, 0, 1, 390, 0, 0},
               {true, -1, 0, 480, 0, 0},        {true, 0, -1, 210, 0, 0},
               {true, 0.6f, 0.8f, 354, 0, 0},   {false, 1, 0, 30, -1, 0},
               {false, 0.6f, 0.8f, 30, -1, -1}, {false, 0.316228f, -0.948683f, 30, 0, 1},
               {false, -1, 0, 30, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
    StampStrokeImpl::SetStrokeSettings(0, 0, c.follow);
    StampStrokeImpl::SetSmear(!c.follow);
    stamp->SetAngle(0);
    stamp->SetOffset(0, 0);
    Stroke s;
    RecordingPainter p;
    {
      StampStrokeImpl impl(&s, &p, stamp, new FltInterpolate2D(1), 0.5);
      Paint(impl, {{0, 0, 20, 1, 30}, {10 * c.dx, 10 * c.dy, 20, 1, 30}});
      EXPECT_EQ(impl.BaseAngle(), 30.0f);
    }
    EXPECT_EQ(stamp->GetAngle(), 30.0f);  // given back when the painter goes
    // Points at 0, 3, 6, 9 along the way; following skips the unmoved first.
    ASSERT_EQ(p.dabs.size(), c.follow ? 3u : 4u);
    for (int i = 0; i < static_cast<int>(p.dabs.size()); ++i) {
      EXPECT_NEAR(p.dabs[i].x, 3 * i * c.dx, 1e-4);
      EXPECT_NEAR(p.dabs[i].y, 3 * i * c.dy, 1e-4);
      EXPECT_EQ((std::tuple{p.dabs[i].angle, p.dabs[i].ox, p.dabs[i].oy}),
                (std::tuple{c.angle, i ? c.ox : 0, i ? c.oy : 0}));
    }
  }
}

TEST_F(StrokePaint, AngleJitterStaysOnTheGridWithinBoundsAndNeverRepeats) {
  StampStrokeImpl::SetStrokeSettings(0, 10, false);
  {
    StampStrokeImpl impl(&stroke, &painter, stamp, new FltInterpolate2D(1), 0.5);
    Paint(impl, {{0, 0, 20, 1, 45}, {60, 0, 20, 1, 45}});
  }
  ASSERT_EQ(painter.dabs.size(), 21u);
  // Draws at least 8191 apart turn neighbours by 5 degrees or more.
  std::set<float> seen;
  for (size_t i = 0; i < painter.dabs.size(); ++i) {
    const float turn = painter.dabs[i].angle - 45;
    EXPECT_EQ(std::fmod(turn, 3.0f), 0.0f) << i;
    EXPECT_LE(std::fabs(turn), 9.0f) << i;
    EXPECT_TRUE(i == 0 || painter.dabs[i].angle != painter.dabs[i - 1].angle) << i;
    seen.insert(turn);
  }
  EXPECT_GE(seen.size(), 5u);
  EXPECT_EQ(stamp->GetAngle(), 45.0f);
}

TEST_F(StrokePaint, AFailingDabStopsThePaintStepAndTheNextCallGoesOn) {
  StampStrokeImpl impl(&stroke, &painter, stamp, new FltInterpolate2D(1), 0.5);
  painter.failAt = 1;
  stroke.MarkStart();
  for (float x : {0, 10, 20}) stroke.AddPoint(x, 0, 20, 1, 1, 0);
  stroke.MarkEnd();
  EXPECT_EQ((std::array{impl.PaintStep(), impl.NextIndex(), painter.ends}), (std::array{5, 2, 0}));
  EXPECT_EQ((std::array{impl.PaintStep(), impl.NextIndex(), painter.begins, painter.ends}),
            (std::array{0, 3, 1, 1}));
  // The failed dab at 3 used up its step; the next segment's first step
  // covers the 7 left over and lands on the joint.
  std::vector<float> xs;
  for (const Dab& d : painter.dabs) xs.push_back(d.x);
  EXPECT_EQ(xs, (std::vector<float>{0, 10, 13, 16, 19}));
}

TEST_F(StrokePaint, TimedDabsStartWhenThePenRestsAndWanderFurtherEachTick) {
  const BrenmarkCallbacks saved = *Brenmark.CB();
  brenmark::host::ReferenceHost host;
  host.InstallInto(Brenmark);
  {
    TimerStampStrokeImpl impl(&stroke, &painter, stamp, new FltInterpolate2D(1), 0.5);
    Paint(impl, {{50, 50, 20, 1, 0}});
    EXPECT_EQ(host.TimerInterval(impl.IdleTimer()), TimerStampStrokeImpl::kDefaultIdleDelay);
    host.AdvanceTime(39);
    EXPECT_EQ(impl.DabTimer(), -1);
    host.AdvanceTime(1);
    EXPECT_EQ(impl.IdleTimer(), -1);
    EXPECT_EQ(host.TimerInterval(impl.DabTimer()), TimerStampStrokeImpl::kDefaultDabInterval);
    EXPECT_EQ(host.AdvanceTime(500), 50);
    ASSERT_EQ(painter.dabs.size(), 50u);
    EXPECT_EQ(impl.TimedDabCount(), 50);
    // Dab k is 1 + up to k / 200 pixels off in x and in y; the first is (-1, -1).
    EXPECT_EQ((std::array{painter.dabs[0].x, painter.dabs[0].y}), (std::array{49.0f, 49.0f}));
    float widest = 0;
    for (int k = 0; k < 50; ++k)
      for (float off : {painter.dabs[k].x - 50, painter.dabs[k].y - 50}) {
        EXPECT_TRUE(std::fabs(off) >= 1.0f && std::fabs(off) <= 1.0f + 0.5f * k / 100 + 1e-5f)
            << k << ": " << off;
        widest = std::max(widest, std::fabs(off));
      }
    EXPECT_GT(widest, 1.2f);
    // A pen that creeps by less than a pixel keeps the dabs coming; a new
    // interval restarts the dab timer.
    const int dabTimer = impl.DabTimer();
    Paint(impl, {{50.5f, 50.5f, 20, 1, 0}});
    EXPECT_EQ(impl.DabTimer(), dabTimer);
    impl.SetDabInterval(25);
    EXPECT_TRUE(!host.IsTimerRunning(dabTimer) && host.TimerInterval(impl.DabTimer()) == 25);
    // Moving on stops them and waits for the next rest.
    Paint(impl, {{56.5f, 50.5f, 20, 1, 0}});
    EXPECT_EQ(impl.DabTimer(), -1);
    impl.SetIdleDelay(100);
    EXPECT_TRUE(host.TimerInterval(impl.IdleTimer()) == 100 && host.RunningTimerCount() == 1);
  }
  EXPECT_EQ(host.RunningTimerCount(), 0);
  Brenmark.SetCallbacks(saved);
}

TEST_F(StrokePaint, AStrokeAcrossAPageEdgePaintsTheSamePixelsEveryTime) {
  brush_test::Ref<ilSmartImage> target(new ilSmartImage(ilPixel(ilUChar, 4)));
  StampImageCache::Shared().Empty();
  stamp->SetColor(0.2f, 0.4f, 0.9f, 1.0f);
  stamp->SetRadius(5);
  {
    brush_test::OverPainter soft(target.p);
    StampStrokeImpl impl(&stroke, &soft, stamp, new FltInterpolate2D(1), 1.0);
    brush_test::PinDither(0x01);
    stroke.MarkStart();
    // Opacity ramps up to the page edge at x = 128, then down again.
    Paint(impl, {{106, 14, 5, 0.1f, 0}, {128, 20, 5, 1, 0}, {150, 30, 4, 0.3f, 0}});
    stroke.MarkEnd();
    EXPECT_EQ(impl.PaintStep(), 0);
  }
  // Around the joint the dabs pile up to the opaque colour on both pages.
  for (int x : {127, 128}) EXPECT_EQ(brush_test::Px(target.p, x, 20), 0xFFE56633u) << x;
  EXPECT_TRUE(
      golden::MatchesGolden("stroke_opacity_ramp", brush_test::Snapshot(target.p, 96, 8, 64, 32)));
  StampImageCache::Shared().Empty();
}

struct Pt {
  float x, y, t;
};

// Every point the interpolator has at distance d (0: the segment ends).
std::vector<Pt> Walk(Interpolate2D& in, float d) {
  std::vector<Pt> out;
  PaintPoint p;
  float t = -1;
  while (d != 0 ? in.NextAtDistance(d, p, &t) : in.EndOfSegment(p, &t)) {
    out.push_back({p.x, p.y, t});
    if (out.size() > 1000) break;
  }
  return out;
}

void ExpectPoints(const std::vector<Pt>& got, const std::vector<Pt>& want,
                  const std::string& name) {
  ASSERT_EQ(got.size(), want.size()) << name;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[i].x, want[i].x, 1e-4) << name << " point " << i;
    EXPECT_NEAR(got[i].y, want[i].y, 1e-4) << name << " point " << i;
    EXPECT_NEAR(got[i].t, want[i].t, 1e-5) << name << " point " << i;
  }
}

// Add a point, then walk at distance d and expect these points.
struct Step {
  PaintPoint add;
  float d;
  std::vector<Pt> expect;
};

void RunSteps(Interpolate2D* in, const std::vector<Step>& steps, const char* name) {
  in->ref();
  for (size_t i = 0; i < steps.size(); ++i) {
    in->AddPoint(steps[i].add);
    ExpectPoints(Walk(*in, steps[i].d), steps[i].expect, name + (" step " + std::to_string(i)));
  }
  in->unref();
}

TEST(FltInterpolate2D, SpacesPointsAlongSegmentsAndCarriesTheRestAcrossJoints) {
  const struct {
    const char* name;
    int carry;
    std::vector<Step> steps;
  } cases[] = {
      {"carry: 0 3 6 9, then 2 after the joint",
       1,
       {{{0, 0}, 3, {}},
        {{10, 0}, 3, {{0, 0, 0}, {3, 0, .3f}, {6, 0, .6f}, {9, 0, .9f}}},
        {{20, 0}, 3, {{12, 0, .2f}, {15, 0, .5f}, {18, 0, .8f}}}}},
      {"no carry: the segment restarts at the last point",
       0,
       {{{0, 0}, 3, {}},
        {{10, 0}, 3, {{0, 0, 0}, {3, 0, .3f}, {6, 0, .6f}, {9, 0, .9f}}},
        {{20, 0}, 3, {{12, 0, 3 / 11.f}, {15, 0, 6 / 11.f}, {18, 0, 9 / 11.f}}}}},
      {"a step shorter than the carry stops at the joint",
       1,
       {{{0, 0}, 4, {}},
        {{10, 0}, 4, {{0, 0, 0}, {4, 0, .4f}, {8, 0, .8f}}},
        {{10, 3}, 1.5f, {{10, 0, 0}, {10, 1.5f, .5f}, {10, 3, 1}}}}},
      {"an empty segment keeps the carry",
       1,
       {{{0, 0}, 3, {}},
        {{0, 10}, 3, {{0, 0, 0}, {0, 3, .3f}, {0, 6, .6f}, {0, 9, .9f}}},
        {{0, 10}, 3, {}},
        {{0, 20}, 3, {{0, 12, .2f}, {0, 15, .5f}, {0, 18, .8f}}}}},
      {"segment ends: first point, then each sample",
       1,
       {{{5, 5}, 0, {}},
        {{8, 9}, 0, {{5, 5, 0}, {8, 9, 1}}},
        {{8, 9}, 0, {}},
        {{0, 9}, 0, {{0, 9, 1}}}}},
      {"no distance, no point", 1, {{{0, 0}, 0, {}}, {{10, 0}, -1, {}}}},
  };
  for (const auto& c : cases) RunSteps(new FltInterpolate2D(c.carry), c.steps, c.name);
}

TEST(SmoothInterpolate2D, SubPointsFollowTheDampedFilter) {
  SmoothInterpolate2D in(0.9f, 0.921f, 6);
  in.AddPoint({0, 0});
  const int first = in.QueuedCount();  // the first sample only places the filters
  in.AddPoint({100, 50});
  EXPECT_EQ((std::array{first, in.QueuedCount()}), (std::array{0, 6}));
  // From rest the increment is (1 - b)(p - q)/a / 21 each step, so the
  // acceleration is i d, the velocity d i(i+1)/2, the position d C(i+2, 3).
  const double dx = 0.079 * 100 / 0.9 / 21, dy = dx / 2;
  const double sums[6] = {1, 4, 10, 20, 35, 56};
  std::vector<Pt> want;
  for (int i = 0; i < 6; ++i)
    want.push_back({float(dx * sums[i]), float(dy * sums[i]), (i + 1) / 6.0f});
  ExpectPoints(Walk(in, 0), want, "first sample");
  // Third sample at the same place: q = 56 d, w = 21 d, c = 6 d carry over.
  in.AddPoint({100, 50});
  const double q = 56 * dx, w = 21 * dx, c = 6 * dx;
  const double step = (0.079 * ((100 - q) / 0.9 + w) - w - 6 * c) / 21;
  const double firstX = q + w + c + step;
  const std::vector<Pt> next = Walk(in, 0);
  ASSERT_EQ(next.size(), 6u);
  EXPECT_NEAR(next[0].x, firstX, 1e-3);
  EXPECT_NEAR(next[0].y, firstX / 2, 1e-3);
  EXPECT_NEAR(next[0].t, 1 / 6.0f, 1e-6);
}

TEST(SmoothInterpolate2D, FractionsOfSubPointsLeftFromEarlierSamplesClampToZero) {
  SmoothInterpolate2D in(0.9f, 0.921f, 6);
  PaintPoint p;
  float t = -1;
  in.AddPoint({0, 0});
  in.AddPoint({10, 0});
  ASSERT_TRUE(in.NextAtDistance(0.01f, p, &t));  // the first sub-point; 4 stay queued
  EXPECT_TRUE(t == 1 / 6.0f && in.QueuedCount() == 4) << t;
  in.AddPoint({10, 0});
  ASSERT_TRUE(in.NextAtDistance(0.01f, p, &t));  // still between sub-points 1 and 2
  EXPECT_TRUE(t == 0.0f && in.QueuedCount() == 10) << t;
}

// Curves come from the reference host through the paint manager's record.
class CurveInterpolate : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = *Brenmark.CB();
    host_.InstallInto(Brenmark);
    live_ = brenmark::host::LivePolylineCurveCount();
  }
  void TearDown() override {
    EXPECT_EQ(brenmark::host::LivePolylineCurveCount(), live_);
    Brenmark.SetCallbacks(saved_);
  }
  BrenmarkCallbacks saved_{};
  brenmark::host::ReferenceHost host_;
  int live_ = 0;
};

TEST_F(CurveInterpolate, WalksTheCurveParameterBetweenProjectedSamples) {
  using brenmark::host::MakePolylineCurve;
  const struct {
    const char* name;
    std::vector<brenmark::host::CurvePoint> curve;
    bool closed;
    std::vector<Step> steps;
  } cases[] = {
      {"open: round the corner from 10 to 150",
       {{0, 0}, {100, 0}, {100, 100}},
       false,
       {{{10, 5}, 25, {}},
        {{110, 50},
         25,
         {{35, 0, 25 / 140.f},
          {60, 0, 50 / 140.f},
          {85, 0, 75 / 140.f},
          {100, 10, 100 / 140.f},
          {100, 35, 125 / 140.f}}}}},
      {"closed: from 10 to 390 the short way, through the start",
       {{0, 0}, {100, 0}, {100, 100}, {0, 100}},
       true,
       {{{10, -3}, 5, {}}, {{-2, 10}, 5, {{5, 0, .25f}, {0, 0, .5f}, {0, 5, .75f}, {0, 10, 1}}}}},
      {"doubling back passes over the last three points",
       {{0, 0}, {100, 0}},
       false,
       {{{0, 0}, 5, {}},
        {{20, 0}, 5, {{5, 0, .25f}, {10, 0, .5f}, {15, 0, .75f}, {20, 0, 1}}},
        {{3, 0}, 5, {{5, 0, 15 / 17.f}}}}},
      {"segment end", {{0, 0}, {100, 0}}, false, {{{0, 0}, 0, {}}, {{30, 1}, 0, {{30, 0, 1}}}}},
  };
  for (const auto& c : cases) {
    ag_curve* curve = MakePolylineCurve(c.curve, c.closed);
    auto* in = new CurveInterpolate2D(curve);
    brenmark::host::ReleaseCurve(&curve);  // the interpolator keeps its own copy
    EXPECT_EQ(in->IsClosed(), c.closed) << c.name;
    RunSteps(in, c.steps, c.name);
  }
  EXPECT_EQ((std::array{host_.CallCount(kCbCloneCurve), host_.CallCount(kCbReleaseCurve)}),
            (std::array{4, 4}));
}

TEST_F(CurveInterpolate, DirectionIsTheWayTheCurrentSegmentRuns) {
  ag_curve* curve = brenmark::host::MakePolylineCurve({{0, 0}, {0, 50}}, false);
  Interpolate2D* straight = new FltInterpolate2D(1);
  Interpolate2D* along = new CurveInterpolate2D(curve);
  brenmark::host::ReleaseCurve(&curve);
  const struct {
    Interpolate2D* in;
    PaintPoint add;  // non-finite points are ignored
    bool found;
    float dx, dy;
  } cases[] = {{straight, {1, 1}, false, 0, 0},    {straight, {NAN, 1}, false, 0, 0},
               {straight, {4, 5}, true, .6f, .8f}, {straight, {4, 5}, false, 0, 0},
               {along, {0, 40}, true, 0, 1},       {along, {0, 10}, true, 0, -1}};
  for (const auto& c : cases) {
    c.in->AddPoint(c.add);
    float dx = 9, dy = 9;
    ASSERT_EQ(c.in->Direction(dx, dy), c.found) << c.add.x << "," << c.add.y;
    if (c.found) {
      EXPECT_FLOAT_EQ(dx, c.dx);
      EXPECT_FLOAT_EQ(dy, c.dy);
    }
  }
  EXPECT_EQ(host_.CallCount(kCbGetCurveDirection), 2);
  straight->unref();
  along->unref();
}

TEST(CurveInterpolate2D, WithoutHostServicesHandsOutNothing) {
  const BrenmarkCallbacks saved = *Brenmark.CB();
  Brenmark.SetCallbacks(BrenmarkCallbacks{});
  ag_curve* curve = brenmark::host::MakePolylineCurve({{0, 0}, {9, 0}}, false);
  CurveInterpolate2D in(curve);
  in.AddPoint({0, 0});
  in.AddPoint({9, 0});
  PaintPoint p;
  EXPECT_FALSE(in.NextAtDistance(1, p, nullptr) || in.EndOfSegment(p, nullptr));
  brenmark::host::ReleaseCurve(&curve);
  Brenmark.SetCallbacks(saved);
}

}  // namespace
