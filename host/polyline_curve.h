// Polyline curves: the reference host's application curve records and the
// curve services the engine asks for through the callback record.
//
// A curve is a list of splines, each a polyline through its control points.
// Its parameter is arc length along the concatenation of all splines' points
// in list order; a closed curve adds the segment from the last point back to
// the first. Every service reads the points afresh, so the engine may rewrite
// them in place at any time.
//
// Only records made here may be handed to these services: the engine-visible
// `ag_curve` is the head of a larger host record.
#pragma once

#include <vector>

#include <brenmark/callbacks.h>

namespace brenmark::host {

struct CurvePoint {
  float x;
  float y;
};

// New curves; the caller owns them and releases them with ReleaseCurve.
ag_curve* MakePolylineCurve(const std::vector<CurvePoint>& points, bool closed);
ag_curve* MakePolylineCurve(const std::vector<std::vector<CurvePoint>>& splines, bool closed);

// Curves made here and not yet released (leak checks in tests).
int LivePolylineCurveCount();

// The services, with the semantics stated at the members of
// BrenmarkCallbacks.
void ReleaseCurve(ag_curve** holder);
bool IsCurveClosed(ag_curve* curve);
ag_curve* CopyCurve(ag_curve* curve);
double CurveLength(ag_curve* curve);
void CurveDirection(ag_curve* curve, double t, double* dx, double* dy);
double ProjectOntoCurve(ag_curve* curve, double x, double y);
void EvaluateCurve(ag_curve* curve, double t, double* x, double* y);
double** CurveBounds(ag_curve* curve);
// Each spline becomes a closed polygon (a last-to-first segment is added
// unless the spline already ends where it starts); zero-length segments are
// left out. Null with *count 0 when there is nothing to fill.
float* TessellateCurve(ag_curve* curve, int* count);
// The spline's points; a spline of a closed curve repeats its first point at
// the end so a stroke along it closes the loop.
float* SplinePoints(ag_spline* spline, int* count);

}  // namespace brenmark::host
