// Stroke: the recorded pen samples of a brush stroke.
#include "brenmark/stroke.h"

#include <cmath>

Stroke::Stroke() {
  samples_.reserve(kInitialRoom);
}

int Stroke::AddPoint(float x, float y, float radius, float opacity, float aspect, float angle) {
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > kCoordinateLimit ||
      std::fabs(y) > kCoordinateLimit)
    return 0;
  StrokeSample s{x, y, 0.0f, 0.0f, 0.0f, 0.0f, 0, kOrdinary, 0};
  const struct {
    Attribute bit;
    float value;
    float StrokeSample::*field;
  } attributes[] = {{kRadius, radius, &StrokeSample::radius},
                    {kOpacity, opacity, &StrokeSample::opacity},
                    {kAspect, aspect, &StrokeSample::aspect},
                    {kAngle, angle, &StrokeSample::angle}};
  for (const auto& a : attributes) {
    if ((locks_ & a.bit) || !std::isfinite(a.value)) continue;
    s.*a.field = a.value;
    s.present |= a.bit;
  }
  if (startPending_) {
    s.state = kFirst;
    startPending_ = false;
  }
  samples_.push_back(s);
  return 1;
}

int Stroke::AddPoint(const PaintPoint& p, float radius, float opacity, float aspect, float angle) {
  return AddPoint(p.x, p.y, radius, opacity, aspect, angle);
}

void Stroke::MarkEnd() {
  if (!samples_.empty()) samples_.back().state = kLast;
}

void Stroke::SetLocks(bool radius, bool opacity, bool aspect, bool angle) {
  locks_ = (radius ? kRadius : 0) | (opacity ? kOpacity : 0) | (aspect ? kAspect : 0) |
           (angle ? kAngle : 0);
}

void Stroke::SetLock(Attribute a, bool locked) {
  locks_ = locked ? (locks_ | a) : (locks_ & ~a);
}

bool Stroke::IsLocked(Attribute a) const {
  return (locks_ & a) != 0;
}
