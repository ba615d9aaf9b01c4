// Dab geometry: the stamp's ellipse (radius, aspect, angle, placement
// transform) quantised so that nearby dabs share one image, and the
// sub-pixel phase of a placement.
#include <algorithm>
#include <cmath>
#include <numbers>

#include <brenmark/stamp.h>
#include <brenmark/stamp_image.h>

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr float kQuarterPixelLimit = 64.0f;
constexpr double kMaxShear = 1.5;
constexpr int kTableReach = 255;  // largest centre pixel the distance tables serve

// Nearest integer, halves away from zero.
double RoundHalfAway(double v) {
  return v < 0.0 ? -std::trunc(-v + 0.5) : std::trunc(v + 0.5);
}

float QuarterPixels(float r) {
  return static_cast<float>(RoundHalfAway(static_cast<double>(r) * 4.0) / 4.0);
}

float WholePixels(float r) {
  return static_cast<float>(RoundHalfAway(r));
}

}  // namespace

float QuantizeStampAngle(float degrees) {
  if (!std::isfinite(degrees)) return 0.0f;
  const double third = static_cast<double>(degrees) / 3.0;
  return static_cast<float>(3.0 * std::trunc(third + (degrees < 0.0f ? -0.5 : 0.5)));
}

int StampPhase(float radius, float fraction) {
  if (radius > kQuarterPixelLimit || !(fraction > 0.0f)) return 0;
  return static_cast<int>(fraction * 4.0f) & 3;
}

StampGeometry ComputeStampGeometry(const Stamp& stamp) {
  StampGeometry g;
  double rx = stamp.GetRadius();
  double ry = static_cast<double>(stamp.GetAspect()) * stamp.GetRadius();
  double a = -static_cast<double>(stamp.GetAngle());
  double shear = 0.0;
  const bool identity = stamp.HasIdentityTransform();
  if (!identity) {
    // P = T * M, M the rotated ellipse; decompose P back into radii, shear
    // and angle: the second column of K is ry (sin a, cos a), so
    // a = atan2(p01, p11) and ry = |(p01, p11)|.
    float t[4];
    stamp.GetTransform(t[0], t[1], t[2], t[3]);
    const double th = a / kDegrees;
    const double m00 = rx * std::cos(th), m01 = ry * std::sin(th);
    const double m10 = -rx * std::sin(th), m11 = ry * std::cos(th);
    const double p00 = t[0] * m00 + t[1] * m10, p01 = t[0] * m01 + t[1] * m11;
    const double p10 = t[2] * m00 + t[3] * m10, p11 = t[2] * m01 + t[3] * m11;
    const double det = p00 * p11 - p01 * p10;
    ry = std::hypot(p01, p11);
    if (det == 0.0 || ry == 0.0 || !std::isfinite(det)) {
      rx = ry = a = 0.0;  // a flat transform: nothing to draw
    } else {
      rx = det / ry;
      shear = (p10 * p11 + p00 * p01) / det;
      a = std::atan2(p01, p11) * kDegrees;
    }
  }
  a = QuantizeStampAngle(static_cast<float>(a));
  float frx = static_cast<float>(rx), fry = static_cast<float>(ry);
  if (std::max(std::fabs(frx), std::fabs(fry)) > kQuarterPixelLimit || !identity) {
    frx = WholePixels(frx);
    fry = WholePixels(fry);
  } else {
    frx = QuarterPixels(frx);
    fry = QuarterPixels(fry);
  }
  frx = std::clamp(frx, -kMaxStampKeyRadius, kMaxStampKeyRadius);
  fry = std::clamp(fry, -kMaxStampKeyRadius, kMaxStampKeyRadius);
  if (std::fabs(shear) > kMaxShear) {
    shear = shear < 0.0 ? -kMaxShear : kMaxShear;
  } else if (shear != 0.0) {
    shear = (shear < 0.0 ? -1.0 : 1.0) * std::floor((std::fabs(shear) + 0.05) * 10.0) * 0.1;
  }
  g.rx = frx;
  g.ry = fry;
  g.angle = static_cast<float>(a);
  g.shear = static_cast<float>(shear);
  const double ar = a / kDegrees;
  const double sa = a == 0.0 ? 0.0 : std::sin(ar);
  const double ca = a == 0.0 ? 1.0 : std::cos(ar);
  g.k[0] = static_cast<float>((shear * sa + ca) * frx);
  g.k[1] = static_cast<float>(fry * sa);
  g.k[2] = static_cast<float>((shear * ca - sa) * frx);
  g.k[3] = static_cast<float>(fry * ca);
  g.originX = static_cast<int>(std::ceil(std::hypot(g.k[0], g.k[1])));
  g.originY = static_cast<int>(std::ceil(std::hypot(g.k[2], g.k[3])));
  g.width = 2 * g.originX + 1;
  g.height = 2 * g.originY + 1;
  const double det = static_cast<double>(g.k[0]) * g.k[3] - static_cast<double>(g.k[1]) * g.k[2];
  g.singular = !(std::fabs(det) > 0.0);
  g.untransformed = !g.singular && g.k[1] == 0.0f && g.k[2] == 0.0f && g.k[0] == g.k[3] &&
                    g.k[0] > 0.0f && g.originX <= kTableReach;
  return g;
}

bool StampTablesServe(const StampGeometry& g, int tableSize) {
  constexpr float kStepsPerPixel = 4.0117645f;  // radius table steps per pixel of radius
  return g.untransformed &&
         std::fabs(static_cast<float>(tableSize) - g.k[0] * kStepsPerPixel) <= kStepsPerPixel;
}
