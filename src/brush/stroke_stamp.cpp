// StampStrokeImpl: dab spacing, attribute ramps, direction following, angle
// jitter and smear offsets; the stroke code's process-wide settings and
// random draws.
#include <cmath>
#include <cstdlib>

#include "brenmark/interpolate.h"
#include "brenmark/stamp.h"
#include "brenmark/stroke.h"

namespace {

StrokeSettings g_settings;
unsigned g_randomState = 1;
// The angle-jitter draw before this one; none yet at start.
int g_lastAngleDraw = -100000;

// Angle-jitter draws differ from the previous one by at least this much, so
// neighbouring dabs never turn by nearly the same amount.
constexpr int kMinAngleDrawGap = 8191;
constexpr double kOneOverPi = 0.3183099;

}  // namespace

const StrokeSettings& StampStrokeImpl::Settings() {
  return g_settings;
}

void StampStrokeImpl::SetStrokeSettings(float spacingJitter, float angleJitter,
                                        bool followDirection) {
  g_settings.spacingJitter = spacingJitter;
  g_settings.angleJitter = angleJitter;
  g_settings.followDirection = followDirection;
}

void StampStrokeImpl::SetSmear(bool on) {
  g_settings.smear = on;
}

void StampStrokeImpl::SetSpacingScale(double scale) {
  g_settings.spacingScale = scale;
}

// seed = seed * 214013 + 2531011; value = bits 16..30 of the seed.
int StampStrokeImpl::Random() {
  g_randomState = g_randomState * 214013u + 2531011u;
  return static_cast<int>((g_randomState >> 16) & 0x7FFF);
}

void StampStrokeImpl::SeedRandom(unsigned seed) {
  g_randomState = seed;
  g_lastAngleDraw = -100000;
}

// ---- Construction and destruction

StampStrokeImpl::StampStrokeImpl(Stroke* stroke, PaintOps* painter, Stamp* stamp,
                                 Interpolate2D* interpolator, double spacingScale)
    : StrokeImpl(stroke, painter), stamp_(stamp) {
  SetSpacingScale(spacingScale);
  Init(interpolator);
}

StampStrokeImpl::StampStrokeImpl(Stroke* stroke, PaintOps* painter, const Stamp& stamp,
                                 Interpolate2D* interpolator, double spacingScale)
    : StrokeImpl(stroke, painter), stamp_(new Stamp(stamp)) {
  SetSpacingScale(spacingScale);
  Init(interpolator);
}

StampStrokeImpl::StampStrokeImpl(Stroke* stroke, PaintOps* painter, Stamp* stamp,
                                 double spacingScale)
    : StrokeImpl(stroke, painter), stamp_(stamp) {
  SetSpacingScale(spacingScale);
  Init(new FltInterpolate2D(1));
}

void StampStrokeImpl::Init(Interpolate2D* interpolator) {
  interp_ = interpolator;
  Resource::ref(stamp_);
  Resource::ref(interp_);
  if (painter_) {
    painter_->set_stamp(stamp_);
    ComputeSpacing();
    painter_->connect_stamps(1, 0, 0);
    connect_ = painter_->connect_stamps();
  } else {
    ComputeSpacing();
  }
  ReadCurrent();
  // Until the first segment the ramps hold the stamp's own values.
  for (int i = 0; i < kRampCount; ++i) {
    ramps_[i] = Poly1D(&current_[i], 1);
    changed_[i] = true;
  }
  t_ = 0.001f;
}

StampStrokeImpl::~StampStrokeImpl() {
  if (painter_) painter_->connect_stamps(0, 0, 0);
  if (stamp_ && (turned_ || g_settings.followDirection || g_settings.angleJitter > 0))
    stamp_->SetAngle(baseAngle_);
  Resource::unref(stamp_);
  Resource::unref(interp_);
}

// ---- Spacing

void StampStrokeImpl::ComputeSpacing() {
  double r = stamp_ ? stamp_->GetRadius() : 1.0;
  const float aspect = stamp_ ? stamp_->GetAspect() : 1.0f;
  if (aspect < 1.0f) r = double(aspect) * aspect * r;
  double p;
  if (r <= 1.05) {
    p = 75.0;
    r = 1.05;
  } else if (r < 20.0) {
    p = 75.0 - 2.3746703 * (r - 1.05);
  } else {
    p = 30.0;
  }
  p *= g_settings.spacingScale;
  if (r < 4.0)
    p *= 0.5;
  else if (r < 20.0)
    p *= 0.5 + (r - 4.0) * 0.03125;
  double spacing = r * p * 0.01;
  const double jitter = g_settings.spacingJitter;
  if (jitter > 0) {
    const int hi = Random() & 255;
    const int lo = Random() & 255;
    const int u = (hi << 8) | lo;
    spacing += u * jitter * spacing * (1.0 / 32767) - jitter * spacing;
  }
  // Also catches a NaN from a broken scale.
  if (!(spacing >= kMinSpacing)) spacing = kMinSpacing;
  spacing_ = static_cast<float>(spacing);
}

// ---- Samples

void StampStrokeImpl::ReadCurrent() {
  if (!stamp_) return;
  current_[kRadiusRamp] = stamp_->GetRadius();
  current_[kOpacityRamp] = stamp_->CurrentOpacity16();
  current_[kAngleRamp] = stamp_->GetAngle();
  current_[kAspectRamp] = stamp_->GetAspect();
}

void StampStrokeImpl::ApplyRamp(int which, float t) {
  const float v = ramps_[which].value(t);
  switch (which) {
    case kRadiusRamp:
      stamp_->SetRadius(v);
      break;
    case kOpacityRamp:
      stamp_->SetOpacity(v);
      break;
    case kAngleRamp:
      stamp_->SetAngle(v);
      break;
    default:
      stamp_->SetAspect(v);
      break;
  }
}

int StampStrokeImpl::PaintStep() {
  if (!stroke_) return 0;
  while (next_ < stroke_->Count()) {
    const int result = ProcessSample(next_++);
    if (result != 0) return result;
  }
  return 0;
}

int StampStrokeImpl::ProcessSample(int index) {
  const StrokeSample& s = (*stroke_)[index];
  if (s.state == Stroke::kFirst && painter_) painter_->BeginOperation();
  if (interp_) interp_->AddPoint(PaintPoint(s.x, s.y));
  if (g_settings.spacingJitter <= 0 || spacing_ == 0) ComputeSpacing();

  const struct {
    int bit;
    float value;
  } attrs[kRampCount] = {{Stroke::kRadius, s.radius},
                         {Stroke::kOpacity, s.opacity},
                         {Stroke::kAngle, s.angle},
                         {Stroke::kAspect, s.aspect}};
  int result = 0;
  if (index == 0) {
    // The first sample only sets the stamp up; dabs start with the second.
    if (stamp_) {
      for (int i = 0; i < kRampCount; ++i) {
        if (!(s.present & attrs[i].bit)) continue;
        ramps_[i] = Poly1D(&attrs[i].value, 1);
        ApplyRamp(i, 0.0f);
      }
      baseAngle_ = stamp_->GetAngle();
    }
    prev_ = prev2_ = PaintPoint(s.x, s.y);
    ReadCurrent();
  } else {
    tPtr_ = nullptr;
    for (int i = 0; i < kRampCount; ++i) {
      changed_[i] = (s.present & attrs[i].bit) && attrs[i].value != current_[i];
      if (!changed_[i]) continue;
      // f(t) = current + (new - current) t
      const float c[2] = {current_[i], attrs[i].value - current_[i]};
      ramps_[i] = Poly1D(c, 2);
      tPtr_ = &t_;
    }
    result = painter_ ? painter_->draw_stamps(*this, nullptr) : -1;
    ReadCurrent();
  }
  if (s.state == Stroke::kLast && painter_) painter_->EndOperation();
  return result;
}

// ---- Dab positions

bool StampStrokeImpl::TurnDab(PaintPoint& p) {
  const bool follow = g_settings.followDirection;
  const bool smear = g_settings.smear;
  const float jitter = g_settings.angleJitter;
  float d1x = 0, d1y = 0, d2x = 0, d2y = 0;
  if (smear || follow) {
    d1x = p.x - prev_.x;
    d1y = p.y - prev_.y;
    d2x = prev_.x - prev2_.x;
    d2y = prev_.y - prev2_.y;
    prev2_ = prev_;
    prev_ = p;
  }
  double angle = 0;
  if (follow) {
    if (d1x == 0 && d1y == 0 && d2x == 0 && d2y == 0) return false;
    // The dab lags one step so that its angle is the direction through it,
    // from the dab before to the dab after.
    p = prev2_;
    angle = std::atan2(double(d1y) + d2y, double(d1x) + d2x) * 180 * kOneOverPi + 270;
  }
  if (jitter > 0) {
    int v;
    do {
      v = Random();
    } while (std::abs(v - g_lastAngleDraw) < kMinAngleDrawGap);
    g_lastAngleDraw = v;
    angle += 2.0 * jitter * v / 32767 - jitter;
    // Keep the dab off the unturned angle.
    if (std::fabs(angle) <= 0.001) angle = angle < 0 ? -3.0 : 3.0;
  }
  if ((follow || jitter > 0) && stamp_) {
    angle = std::floor(angle / 3 + 0.5) * 3;
    stamp_->SetAngle(baseAngle_ + static_cast<float>(angle));
    turned_ = true;
  }
  if (smear && stamp_) {
    const double len = std::sqrt(double(d1x) * d1x + double(d1y) * d1y);
    // One pixel against the motion.
    if (len > 0.01)
      stamp_->SetOffset(-static_cast<int>(std::floor(d1x / len + 0.5)),
                        -static_cast<int>(std::floor(d1y / len + 0.5)));
  }
  return true;
}

bool StampStrokeImpl::next(PaintPoint& point) {
  if (!interp_ || !stamp_) return false;
  for (;;) {
    PaintPoint p;
    const bool found =
        connect_ ? interp_->EndOfSegment(p, tPtr_) : interp_->NextAtDistance(spacing_, p, tPtr_);
    if (!found) return false;
    if (changed_[kAspectRamp] || changed_[kRadiusRamp] || g_settings.spacingJitter > 0)
      ComputeSpacing();
    for (int i = 0; i < kRampCount; ++i)
      if (changed_[i]) ApplyRamp(i, t_);
    if (!TurnDab(p)) continue;
    point = p;
    return true;
  }
}
