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

TEST_F(PolylineCurveTest, OpenPolylineLengthEvaluationAndDirection) {
  ag_curve* c = MakeBent();
  EXPECT_FALSE(cb_.IsCurveClosed(c));
  EXPECT_EQ(cb_.GetCurveLength(c), 11.0);
  double x = 0, y = 0;
  cb_.EvaluateCurve(c, 2.5, &x, &y);
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(y, 2.0);
  cb_.EvaluateCurve(c, 8, &x, &y);
  EXPECT_EQ(x, 3.0);
  EXPECT_EQ(y, 7.0);
  // Open curves clamp the parameter.
  cb_.EvaluateCurve(c, -1, &x, &y);
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 0.0);
  cb_.EvaluateCurve(c, 20, &x, &y);
  EXPECT_EQ(x, 3.0);
  EXPECT_EQ(y, 10.0);

  double dx = 0, dy = 0;
  cb_.GetCurveDirection(c, 1, &dx, &dy);
  EXPECT_DOUBLE_EQ(dx, 0.6);
  EXPECT_DOUBLE_EQ(dy, 0.8);
  cb_.GetCurveDirection(c, 5, &dx, &dy);  // at the vertex: the leaving segment
  EXPECT_EQ(dx, 0.0);
  EXPECT_EQ(dy, 1.0);
  cb_.GetCurveDirection(c, 11, &dx, &dy);
  EXPECT_EQ(dy, 1.0);

  EXPECT_EQ(cb_.ProjectOntoCurve(c, 10, 7), 8.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(c, -3, -4), 0.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(c, 3, 50), 11.0);
  cb_.ReleaseCurve(&c);
  EXPECT_EQ(c, nullptr);
  cb_.ReleaseCurve(&c);  // releasing an empty holder does nothing
  EXPECT_EQ(host_.CallCount(kCbReleaseCurve), 2);
}

TEST_F(PolylineCurveTest, ClosedCurveWrapsTheParameter) {
  ag_curve* c = MakeSquare();
  EXPECT_TRUE(cb_.IsCurveClosed(c));
  EXPECT_EQ(cb_.GetCurveLength(c), 40.0);
  double x = 0, y = 0;
  cb_.EvaluateCurve(c, 45, &x, &y);
  EXPECT_EQ(x, 5.0);
  EXPECT_EQ(y, 0.0);
  cb_.EvaluateCurve(c, -5, &x, &y);  // 35: on the closing side
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 5.0);
  double dx = 0, dy = 0;
  cb_.GetCurveDirection(c, 35, &dx, &dy);
  EXPECT_EQ(dx, 0.0);
  EXPECT_EQ(dy, -1.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(c, -2, 4), 36.0);
  cb_.ReleaseCurve(&c);
}

TEST_F(PolylineCurveTest, BoundsTessellationAndSplinePoints) {
  ag_curve* c = MakeSquare();
  double** corners = cb_.GetCurveBounds(c);
  ASSERT_NE(corners, nullptr);
  EXPECT_EQ(corners[0][0], 0.0);
  EXPECT_EQ(corners[0][1], 0.0);
  EXPECT_EQ(corners[1][0], 10.0);
  EXPECT_EQ(corners[1][1], 10.0);

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
  EXPECT_EQ(n, 3);
  EXPECT_EQ(segs[8], 3.0f);
  EXPECT_EQ(segs[10], -3.0f);
  EXPECT_EQ(segs[11], -10.0f);
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
