// Path interpolators: straight segments with and without carry, the
// smoothing filters, and walks along the reference host's polyline curves.
#include <brenmark/interpolate.h>
#include <brenmark/paint_manager.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "host/polyline_curve.h"
#include "host/reference_host.h"

namespace {

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
