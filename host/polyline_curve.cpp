// Polyline curve records and the curve services over them.
#include "host/polyline_curve.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace brenmark::host {
namespace {

// Host record behind an engine-visible spline; `points` aims into storage,
// which never reallocates after construction.
struct PolylineSpline : ag_spline {
  std::vector<float> storage;
  bool closed = false;
};

// Host record behind an engine-visible curve. The spline list links the
// nodes in `nodes` order.
struct PolylineCurve : ag_curve {
  bool closed = false;
  std::vector<std::unique_ptr<PolylineSpline>> nodes;
  double minCorner[2] = {0, 0};
  double maxCorner[2] = {0, 0};
  double* corners[2] = {minCorner, maxCorner};
};

int g_live_curves = 0;

PolylineCurve* AsPolyline(ag_curve* curve) {
  return static_cast<PolylineCurve*>(curve);
}

ag_curve* Build(const std::vector<std::vector<CurvePoint>>& splines, bool closed) {
  auto* curve = new PolylineCurve;
  curve->closed = closed;
  for (const auto& pts : splines) {
    auto node = std::make_unique<PolylineSpline>();
    node->storage.reserve(pts.size() * 2);
    for (const CurvePoint& p : pts) {
      node->storage.push_back(p.x);
      node->storage.push_back(p.y);
    }
    node->closed = closed;
    node->pointCount = static_cast<int>(pts.size());
    node->points = node->storage.data();
    curve->nodes.push_back(std::move(node));
  }
  for (size_t i = 0; i < curve->nodes.size(); ++i) {
    curve->nodes[i]->next = i + 1 < curve->nodes.size() ? curve->nodes[i + 1].get() : nullptr;
  }
  curve->splineCount = static_cast<int>(curve->nodes.size());
  curve->splines = curve->nodes.empty() ? nullptr : curve->nodes.front().get();
  ++g_live_curves;
  return curve;
}

// The points of every spline the engine would visit, in path order, closed
// with the first point again when the curve is closed.
std::vector<CurvePoint> PathPoints(ag_curve* curve) {
  std::vector<CurvePoint> path;
  if (!curve) return path;
  const ag_spline* s = curve->splines;
  for (int i = 0; i < curve->splineCount && s; ++i, s = s->next) {
    for (int k = 0; k < s->pointCount; ++k)
      path.push_back({s->points[2 * k], s->points[2 * k + 1]});
  }
  if (AsPolyline(curve)->closed && path.size() >= 2) path.push_back(path.front());
  return path;
}

double SegmentLength(const CurvePoint& a, const CurvePoint& b) {
  return std::hypot(double(b.x) - a.x, double(b.y) - a.y);
}

double PathLength(const std::vector<CurvePoint>& path) {
  double total = 0;
  for (size_t i = 1; i < path.size(); ++i) total += SegmentLength(path[i - 1], path[i]);
  return total;
}

// Open curves clamp the parameter into [0, length]; closed ones wrap it.
double NormaliseParameter(ag_curve* curve, double t, double length) {
  if (length <= 0) return 0;
  if (AsPolyline(curve)->closed) {
    t = std::fmod(t, length);
    return t < 0 ? t + length : t;
  }
  return t < 0 ? 0 : (t > length ? length : t);
}

}  // namespace

ag_curve* MakePolylineCurve(const std::vector<CurvePoint>& points, bool closed) {
  return Build({points}, closed);
}

ag_curve* MakePolylineCurve(const std::vector<std::vector<CurvePoint>>& splines, bool closed) {
  return Build(splines, closed);
}

int LivePolylineCurveCount() {
  return g_live_curves;
}

void ReleaseCurve(ag_curve** holder) {
  if (!holder || !*holder) return;
  delete AsPolyline(*holder);
  --g_live_curves;
  *holder = nullptr;
}

bool IsCurveClosed(ag_curve* curve) {
  return curve && AsPolyline(curve)->closed;
}

ag_curve* CopyCurve(ag_curve* curve) {
  if (!curve) return nullptr;
  std::vector<std::vector<CurvePoint>> splines;
  const ag_spline* s = curve->splines;
  for (int i = 0; i < curve->splineCount && s; ++i, s = s->next) {
    std::vector<CurvePoint> pts;
    for (int k = 0; k < s->pointCount; ++k) pts.push_back({s->points[2 * k], s->points[2 * k + 1]});
    splines.push_back(std::move(pts));
  }
  return Build(splines, AsPolyline(curve)->closed);
}

double CurveLength(ag_curve* curve) {
  return PathLength(PathPoints(curve));
}

void EvaluateCurve(ag_curve* curve, double t, double* x, double* y) {
  const std::vector<CurvePoint> path = PathPoints(curve);
  double px = 0, py = 0;
  if (!path.empty()) {
    px = path.back().x;
    py = path.back().y;
    t = NormaliseParameter(curve, t, PathLength(path));
    double start = 0;
    for (size_t i = 1; i < path.size(); ++i) {
      const double len = SegmentLength(path[i - 1], path[i]);
      if (len > 0 && t <= start + len) {
        const double f = (t - start) / len;
        px = path[i - 1].x + f * (double(path[i].x) - path[i - 1].x);
        py = path[i - 1].y + f * (double(path[i].y) - path[i - 1].y);
        break;
      }
      start += len;
    }
    if (path.size() == 1) {
      px = path[0].x;
      py = path[0].y;
    }
  }
  if (x) *x = px;
  if (y) *y = py;
}

void CurveDirection(ag_curve* curve, double t, double* dx, double* dy) {
  const std::vector<CurvePoint> path = PathPoints(curve);
  double ux = 0, uy = 0;
  t = NormaliseParameter(curve, t, PathLength(path));
  double start = 0;
  // The segment that starts at or before t; at a vertex the one leaving it,
  // at the very end the last one.
  for (size_t i = 1; i < path.size(); ++i) {
    const double len = SegmentLength(path[i - 1], path[i]);
    if (len <= 0) continue;
    ux = (double(path[i].x) - path[i - 1].x) / len;
    uy = (double(path[i].y) - path[i - 1].y) / len;
    if (t < start + len) break;
    start += len;
  }
  if (dx) *dx = ux;
  if (dy) *dy = uy;
}

double ProjectOntoCurve(ag_curve* curve, double x, double y) {
  const std::vector<CurvePoint> path = PathPoints(curve);
  double best = -1, bestParam = 0, start = 0;
  for (size_t i = 1; i < path.size(); ++i) {
    const double ax = path[i - 1].x, ay = path[i - 1].y;
    const double vx = double(path[i].x) - ax, vy = double(path[i].y) - ay;
    const double len2 = vx * vx + vy * vy;
    if (len2 <= 0) continue;
    double u = ((x - ax) * vx + (y - ay) * vy) / len2;
    u = u < 0 ? 0 : (u > 1 ? 1 : u);
    const double ex = ax + u * vx - x, ey = ay + u * vy - y;
    const double d2 = ex * ex + ey * ey;
    const double len = std::sqrt(len2);
    if (best < 0 || d2 < best) {
      best = d2;
      bestParam = start + u * len;
    }
    start += len;
  }
  return bestParam;
}

double** CurveBounds(ag_curve* curve) {
  if (!curve) return nullptr;
  PolylineCurve* pc = AsPolyline(curve);
  bool any = false;
  const ag_spline* s = curve->splines;
  for (int i = 0; i < curve->splineCount && s; ++i, s = s->next) {
    for (int k = 0; k < s->pointCount; ++k) {
      const double px = s->points[2 * k], py = s->points[2 * k + 1];
      if (!any) {
        pc->minCorner[0] = pc->maxCorner[0] = px;
        pc->minCorner[1] = pc->maxCorner[1] = py;
        any = true;
        continue;
      }
      pc->minCorner[0] = std::fmin(pc->minCorner[0], px);
      pc->minCorner[1] = std::fmin(pc->minCorner[1], py);
      pc->maxCorner[0] = std::fmax(pc->maxCorner[0], px);
      pc->maxCorner[1] = std::fmax(pc->maxCorner[1], py);
    }
  }
  return any ? pc->corners : nullptr;
}

float* TessellateCurve(ag_curve* curve, int* count) {
  std::vector<float> segs;
  auto add = [&segs](float x0, float y0, float x1, float y1) {
    if (x0 == x1 && y0 == y1) return;
    segs.insert(segs.end(), {x0, y0, x1 - x0, y1 - y0});
  };
  const ag_spline* s = curve ? curve->splines : nullptr;
  for (int i = 0; curve && i < curve->splineCount && s; ++i, s = s->next) {
    const float* p = s->points;
    const int n = s->pointCount;
    for (int k = 1; k < n; ++k) add(p[2 * k - 2], p[2 * k - 1], p[2 * k], p[2 * k + 1]);
    if (n >= 2) add(p[2 * n - 2], p[2 * n - 1], p[0], p[1]);
  }
  const int n = static_cast<int>(segs.size() / 4);
  if (count) *count = n;
  if (n == 0) return nullptr;
  float* out = new float[segs.size()];
  std::copy(segs.begin(), segs.end(), out);
  return out;
}

float* SplinePoints(ag_spline* spline, int* count) {
  if (!spline || spline->pointCount <= 0) {
    if (count) *count = 0;
    return nullptr;
  }
  const int n = spline->pointCount;
  const bool close = static_cast<PolylineSpline*>(spline)->closed && n >= 2;
  const int total = n + (close ? 1 : 0);
  float* out = new float[2 * total];
  std::copy(spline->points, spline->points + 2 * n, out);
  if (close) {
    out[2 * n] = spline->points[0];
    out[2 * n + 1] = spline->points[1];
  }
  if (count) *count = total;
  return out;
}

}  // namespace brenmark::host
