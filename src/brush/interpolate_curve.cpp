// CurveInterpolate2D: dab positions along an application curve, through the
// host's curve services.
#include <cmath>

#include "brenmark/interpolate.h"
#include "brenmark/paint_manager.h"

namespace {

// Where the ring of recent points starts: far from any canvas.
constexpr float kFarAway = -200000.0f;
// Points closer than this in both x and y to a recent one are passed over.
constexpr float kSameSpot = 0.1f;

const BrenmarkCallbacks& Host() {
  return *Brenmark.CB();
}

}  // namespace

CurveInterpolate2D::CurveInterpolate2D(ag_curve* curve) {
  for (PaintPoint& p : recent_) p = PaintPoint(kFarAway, kFarAway);
  const BrenmarkCallbacks& cb = Host();
  if (!curve || !cb.CloneCurve || !cb.ReleaseCurve || !cb.IsCurveClosed || !cb.GetCurveLength ||
      !cb.ProjectOntoCurve || !cb.EvaluateCurve || !cb.GetCurveDirection)
    return;
  curve_ = cb.CloneCurve(curve);
  if (!curve_) return;
  closed_ = cb.IsCurveClosed(curve_);
  length_ = cb.GetCurveLength(curve_);
  // A curve without a usable length has nowhere to walk.
  if (!std::isfinite(length_) || length_ < 0) length_ = 0;
}

CurveInterpolate2D::~CurveInterpolate2D() {
  if (curve_ && Host().ReleaseCurve) Host().ReleaseCurve(&curve_);
}

void CurveInterpolate2D::AddPoint(const PaintPoint& p) {
  if (!curve_ || !std::isfinite(p.x) || !std::isfinite(p.y)) return;
  double u = Host().ProjectOntoCurve(curve_, p.x, p.y);
  if (!std::isfinite(u)) return;
  u = std::fmin(std::fmax(u, 0.0), length_);
  if (count_++ == 0) {
    cur_ = segStart_ = segEnd_ = u;
    return;
  }
  // The new segment starts where the walk stands, so the spacing runs on.
  segStart_ = cur_;
  if (closed_) {
    if (u - cur_ > length_ / 2)
      u -= length_;
    else if (cur_ - u > length_ / 2)
      u += length_;
  }
  segEnd_ = u;
}

bool CurveInterpolate2D::StepTo(double to, PaintPoint& out) {
  cur_ = to;
  if (closed_ && length_ > 0) {
    // Keep the walk in [0, length] and the segment with it.
    double shift = 0;
    if (cur_ < 0)
      shift = length_;
    else if (cur_ > length_)
      shift = -length_;
    cur_ += shift;
    segStart_ += shift;
    segEnd_ += shift;
  } else {
    cur_ = std::fmin(std::fmax(cur_, 0.0), length_);
  }
  double x = 0, y = 0;
  Host().EvaluateCurve(curve_, cur_, &x, &y);
  const PaintPoint p(static_cast<float>(x), static_cast<float>(y));
  for (const PaintPoint& r : recent_)
    if (std::fabs(p.x - r.x) <= kSameSpot && std::fabs(p.y - r.y) <= kSameSpot) return false;
  recent_[recentNext_] = p;
  recentNext_ = (recentNext_ + 1) % 3;
  out = p;
  return true;
}

bool CurveInterpolate2D::NextAtDistance(float d, PaintPoint& out, float* t) {
  if (!curve_ || count_ < 2 || !(d > 0)) return false;
  const double span = segEnd_ - segStart_;
  const double step = span < 0 ? -double(d) : double(d);
  // Passed-over points do not end the walk; it goes on to the next step.
  while (std::fabs(segEnd_ - cur_) >= d && cur_ + step != cur_) {
    if (StepTo(cur_ + step, out)) {
      if (t) *t = span == 0 ? 0.0f : static_cast<float>((cur_ - segStart_) / span);
      return true;
    }
  }
  return false;
}

bool CurveInterpolate2D::EndOfSegment(PaintPoint& out, float* t) {
  if (!curve_ || count_ < 2 || segEnd_ == cur_) return false;
  if (!StepTo(segEnd_, out)) return false;
  if (t) *t = 1.0f;
  return true;
}

bool CurveInterpolate2D::Direction(float& dx, float& dy) {
  if (!curve_ || count_ < 1) return false;
  double x = 0, y = 0;
  Host().GetCurveDirection(curve_, cur_, &x, &y);
  // The host answers the direction of rising parameter; a segment walked
  // backwards travels the other way.
  if (segEnd_ < segStart_) {
    x = -x;
    y = -y;
  }
  if (x == 0 && y == 0) return false;
  dx = static_cast<float>(x);
  dy = static_cast<float>(y);
  return true;
}
