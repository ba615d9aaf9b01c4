// Curve services of the reference host over polyline curves, through the
// callback record as the engine calls them.
#include "host/polyline_curve.h"
#include "host/reference_host.h"

#include <gtest/gtest.h>

#include <vector>

using brenmark::host::LivePolylineCurveCount;
using brenmark::host::MakePolylineCurve;
using brenmark::host::ReferenceHost;

namespace {

class PolylineCurveTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = LivePolylineCurveCount(); }
  void TearDown() override { EXPECT_EQ(LivePolylineCurveCount(), live_); }

  ReferenceHost host_;
  BrenmarkCallbacks cb_ = host_.Install();
  int live_ = 0;
};

// (0,0) -> (3,4) -> (3,10): segments of length 5 and 6.
ag_curve* MakeBent() {
  return MakePolylineCurve({{0, 0}, {3, 4}, {3, 10}}, false);
}
ag_curve* MakeSquare() {
  return MakePolylineCurve({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);
}

// Parameters past the ends clamp on an open curve and wrap on a closed one;
// at a vertex the direction is the leaving segment's.
TEST_F(PolylineCurveTest, LengthEvaluationDirectionAndProjection) {
  const struct {
    bool closed;
    double t, x, y, dx, dy;
  } points[] = {
      {false, 2.5, 1.5, 2, 0.6, 0.8}, {false, 8, 3, 7, 0, 1},  {false, -1, 0, 0, 0.6, 0.8},
      {false, 20, 3, 10, 0, 1},       {false, 5, 3, 4, 0, 1},  {true, 45, 5, 0, 1, 0},
      {true, -5, 0, 5, 0, -1},        {true, 35, 0, 5, 0, -1},
  };
  ag_curve* curves[2] = {MakeBent(), MakeSquare()};
  for (const auto& p : points) {
    ag_curve* c = curves[p.closed];
    double x = 0, y = 0, dx = 0, dy = 0;
    cb_.EvaluateCurve(c, p.t, &x, &y);
    cb_.GetCurveDirection(c, p.t, &dx, &dy);
    EXPECT_EQ((std::vector<double>{x, y}), (std::vector<double>{p.x, p.y})) << p.t;
    EXPECT_NEAR(dx, p.dx, 1e-12) << p.t;
    EXPECT_NEAR(dy, p.dy, 1e-12) << p.t;
  }
  EXPECT_FALSE(cb_.IsCurveClosed(curves[0]));
  EXPECT_TRUE(cb_.IsCurveClosed(curves[1]));
  EXPECT_EQ(cb_.GetCurveLength(curves[0]), 11.0);
  EXPECT_EQ(cb_.GetCurveLength(curves[1]), 40.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[0], 10, 7), 8.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[0], -3, -4), 0.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[0], 3, 50), 11.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[1], -2, 4), 36.0);
  for (ag_curve*& c : curves) cb_.ReleaseCurve(&c);
  EXPECT_EQ(curves[0], nullptr);
  cb_.ReleaseCurve(&curves[0]);  // releasing an empty holder does nothing
  EXPECT_EQ(host_.CallCount(kCbReleaseCurve), 3);
}

TEST_F(PolylineCurveTest, BoundsTessellationAndSplinePoints) {
  ag_curve* c = MakeSquare();
  double** corners = cb_.GetCurveBounds(c);
  ASSERT_NE(corners, nullptr);
  EXPECT_EQ((std::vector<double>{corners[0][0], corners[0][1], corners[1][0], corners[1][1]}),
            (std::vector<double>{0, 0, 10, 10}));

  int n = 0;
  float* segs = cb_.TessellateCurve(c, nullptr, &n);
  ASSERT_EQ(n, 4);
  const std::vector<float> expected = {0, 0, 10, 0, 10, 0, 0, 10, 10, 10, -10, 0, 0, 10, 0, -10};
  EXPECT_EQ(std::vector<float>(segs, segs + 16), expected);
  delete[] segs;

  ASSERT_EQ(c->splineCount, 1);
  ASSERT_NE(c->splines, nullptr);
  EXPECT_EQ(c->splines->next, nullptr);
  float* pts = cb_.GetSplinePoints(c->splines, &n);
  ASSERT_EQ(n, 5);  // the closed loop repeats its first point
  EXPECT_EQ(std::vector<float>(pts, pts + 10),
            (std::vector<float>{0, 0, 10, 0, 10, 10, 0, 10, 0, 0}));
  delete[] pts;
  cb_.ReleaseCurve(&c);

  // An open polyline is still closed for filling; a lone point gives nothing.
  ag_curve* open = MakeBent();
  segs = cb_.TessellateCurve(open, nullptr, &n);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(std::vector<float>(segs + 8, segs + 12), (std::vector<float>{3, 10, -3, -10}));
  delete[] segs;
  cb_.ReleaseCurve(&open);
  ag_curve* dot = MakePolylineCurve({{2, 2}}, false);
  EXPECT_EQ(cb_.TessellateCurve(dot, nullptr, &n), nullptr);
  EXPECT_EQ(n, 0);
  cb_.ReleaseCurve(&dot);
  ag_curve* empty = MakePolylineCurve(std::vector<brenmark::host::CurvePoint>{}, false);
  EXPECT_EQ(cb_.GetCurveBounds(empty), nullptr);
  cb_.ReleaseCurve(&empty);
}

TEST_F(PolylineCurveTest, CopiesAreIndependentAndInPlaceEditsCount) {
  ag_curve* c = MakeBent();
  ag_curve* copy = cb_.CopyCurve(c, 0);
  ag_curve* clone = cb_.CloneCurve(c);
  EXPECT_EQ(LivePolylineCurveCount(), live_ + 3);
  // Rewrite the last point in place, as a stroke converting coordinates does.
  c->splines->points[5] = 4;  // last point (3,10) becomes (3,4): length 5
  EXPECT_EQ(cb_.GetCurveLength(c), 5.0);
  EXPECT_EQ(cb_.GetCurveLength(copy), 11.0);
  EXPECT_EQ(cb_.GetCurveLength(clone), 11.0);
  EXPECT_NE(copy->splines->points, c->splines->points);
  cb_.ReleaseCurve(&c);
  cb_.ReleaseCurve(&copy);
  cb_.ReleaseCurve(&clone);
}

TEST_F(PolylineCurveTest, SplineCountLimitsTheSplinesVisited) {
  ag_curve* c = MakePolylineCurve({{{0, 0}, {4, 0}}, {{4, 0}, {4, 6}}}, false);
  ASSERT_EQ(c->splineCount, 2);
  ASSERT_NE(c->splines->next, nullptr);
  EXPECT_EQ(c->splines->next->next, nullptr);
  EXPECT_EQ(cb_.GetCurveLength(c), 10.0);
  int n = 0;
  float* pts = cb_.GetSplinePoints(c->splines->next, &n);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(pts[3], 6.0f);
  delete[] pts;
  c->splineCount = 1;
  EXPECT_EQ(cb_.GetCurveLength(c), 4.0);
  EXPECT_EQ(cb_.GetCurveBounds(c)[1][1], 0.0);
  c->splineCount = 2;
  cb_.ReleaseCurve(&c);
}

}  // namespace
