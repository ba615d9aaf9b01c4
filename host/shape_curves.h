// Shape curves: rectangles, ellipses and smooth splines as the reference
// host's polyline curves, flattened finely enough that the engine's fill
// and stroke see them as smooth (chord error at most 0.1 pixel).
#pragma once

#include <vector>

#include "host/polyline_curve.h"

namespace brenmark::host {

// The flattening tolerance: the largest distance between a curve and the
// chords that replace it.
inline constexpr double kFlatness = 0.1;

// Closed curve around the rectangle (x, y)-(x + w, y + h), corners in
// counter-clockwise order from (x, y).
ag_curve* MakeRectangleCurve(float x, float y, float w, float h);
// Closed curve around the ellipse of centre (cx, cy) and radii rx, ry,
// starting at (cx + rx, cy).
ag_curve* MakeEllipseCurve(float cx, float cy, float rx, float ry);
// The uniform Catmull-Rom spline through the points (each span a cubic
// Bezier curve), flattened; closed splines run back to the first point.
// Fewer than three points give the polyline through them.
ag_curve* MakeCubicSplineCurve(const std::vector<CurvePoint>& through, bool closed);

// The flattened points of the cubic Bezier curve p0..p3, p0 excluded, p3
// last.
void FlattenCubic(const CurvePoint& p0, const CurvePoint& p1, const CurvePoint& p2,
                  const CurvePoint& p3, std::vector<CurvePoint>& out);

}  // namespace brenmark::host
