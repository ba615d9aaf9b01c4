// Shape curves flattened into polyline curves.
#include "host/shape_curves.h"

#include <algorithm>
#include <cmath>

namespace brenmark::host {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxSteps = 1024;

// Chords of an arc of radius r stay within the tolerance when each spans at
// most 2 acos(1 - tolerance / r).
int EllipseSteps(double r) {
  if (!(r > kFlatness)) return 8;
  const double step = 2.0 * std::acos(1.0 - kFlatness / r);
  return std::clamp(static_cast<int>(std::ceil(2.0 * kPi / step)), 8, kMaxSteps);
}

}  // namespace

ag_curve* MakeRectangleCurve(float x, float y, float w, float h) {
  return MakePolylineCurve({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}, true);
}

ag_curve* MakeEllipseCurve(float cx, float cy, float rx, float ry) {
  const int n = EllipseSteps(std::max(std::fabs(double(rx)), std::fabs(double(ry))));
  std::vector<CurvePoint> pts;
  pts.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * kPi * i / n;
    pts.push_back(
        {static_cast<float>(cx + rx * std::cos(a)), static_cast<float>(cy + ry * std::sin(a))});
  }
  return MakePolylineCurve(pts, true);
}

// A cubic's distance from its chord is bounded by 3/4 of the largest
// second difference of its control points; n steps divide that by n^2.
void FlattenCubic(const CurvePoint& p0, const CurvePoint& p1, const CurvePoint& p2,
                  const CurvePoint& p3, std::vector<CurvePoint>& out) {
  const double ddx =
      std::max(std::fabs(p0.x - 2.0 * p1.x + p2.x), std::fabs(p1.x - 2.0 * p2.x + p3.x));
  const double ddy =
      std::max(std::fabs(p0.y - 2.0 * p1.y + p2.y), std::fabs(p1.y - 2.0 * p2.y + p3.y));
  const double dd = std::hypot(ddx, ddy);
  int n = static_cast<int>(std::ceil(std::sqrt(0.75 * dd / kFlatness)));
  n = std::clamp(n, 1, kMaxSteps);
  for (int i = 1; i <= n; ++i) {
    const double t = static_cast<double>(i) / n, u = 1.0 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    out.push_back({static_cast<float>(a * p0.x + b * p1.x + c * p2.x + d * p3.x),
                   static_cast<float>(a * p0.y + b * p1.y + c * p2.y + d * p3.y)});
  }
}

ag_curve* MakeCubicSplineCurve(const std::vector<CurvePoint>& through, bool closed) {
  const int n = static_cast<int>(through.size());
  if (n < 3) return MakePolylineCurve(through, closed);
  auto at = [&](int i) {
    if (closed) return through[static_cast<std::size_t>((i % n + n) % n)];
    return through[static_cast<std::size_t>(std::clamp(i, 0, n - 1))];
  };
  std::vector<CurvePoint> pts{through[0]};
  const int spans = closed ? n : n - 1;
  for (int i = 0; i < spans; ++i) {
    const CurvePoint a = at(i - 1), b = at(i), c = at(i + 1), d = at(i + 2);
    // Catmull-Rom to Bezier: the inner controls lie a sixth of the
    // neighbours' difference beyond the span's ends.
    const CurvePoint c1{b.x + (c.x - a.x) / 6.0f, b.y + (c.y - a.y) / 6.0f};
    const CurvePoint c2{c.x - (d.x - b.x) / 6.0f, c.y - (d.y - b.y) / 6.0f};
    FlattenCubic(b, c1, c2, c, pts);
  }
  // A closed spline ends on its first point, which the closed curve repeats.
  if (closed) pts.pop_back();
  return MakePolylineCurve(pts, closed);
}

}  // namespace brenmark::host
