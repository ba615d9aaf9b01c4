// View transform: derived terms and the coordinate mappings.
#include "brenmark/layer_stack_transform.h"

#include "foundation/view_origin_query.h"

#include <climits>
#include <cmath>

namespace brenmark {
namespace {

ViewOriginQuery g_view_origin_query = nullptr;

// Nearest integer, halves away from zero: truncate(v + 0.5) for v > 0, else
// -truncate(-v + 0.5). Out-of-range values saturate and NaN gives 0, so a
// wild scale cannot make the conversion undefined.
int RoundHalfAway(double v) {
  if (v != v) return 0;
  const double r = v > 0.0 ? std::trunc(v + 0.5) : -std::trunc(-v + 0.5);
  if (r >= 2147483647.0) return INT_MAX;
  if (r <= -2147483648.0) return INT_MIN;
  return static_cast<int>(r);
}

}  // namespace

ViewOriginQuery SetViewOriginQuery(ViewOriginQuery q) {
  ViewOriginQuery previous = g_view_origin_query;
  g_view_origin_query = q;
  return previous;
}

ViewOriginQuery GetViewOriginQuery() {
  return g_view_origin_query;
}

}  // namespace brenmark

LayerStackTransform::LayerStackTransform() {
  reset();
}

LayerStackTransform::LayerStackTransform(float xOffset, float yOffset, float xScale, float yScale,
                                         float xCenter, float yCenter, float degree)
    : xOffset_(xOffset),
      yOffset_(yOffset),
      xScale_(xScale),
      yScale_(yScale),
      xCenter_(xCenter),
      yCenter_(yCenter),
      degree_(degree),
      xScaleOffset_(0.0f),
      yScaleOffset_(0.0f) {
  RegenMatrix();
}

LayerStackTransform::LayerStackTransform(void* appView) {
  reset();
  const brenmark::ViewOriginQuery query = brenmark::GetViewOriginQuery();
  if (!appView || !query) return;
  int ox = 0, oy = 0;
  float sx = 0.0f, sy = 0.0f;
  query(appView, &ox, &oy, &sx, &sy);
  // -INT_MIN does not exist; negate in float.
  xOffset_ = -static_cast<float>(ox);
  yOffset_ = -static_cast<float>(oy);
  xScale_ = sx == 0.0f ? 1.0f : sx;
  yScale_ = sy == 0.0f ? 1.0f : sy;
  RegenMatrix();
}

void LayerStackTransform::reset() {
  xOffset_ = yOffset_ = 0.0f;
  xScale_ = yScale_ = 1.0f;
  xCenter_ = yCenter_ = 0.0f;
  degree_ = 0.0f;
  xScaleOffset_ = yScaleOffset_ = 0.0f;
  RegenMatrix();
}

// A scale of 0 gets an inverse of 0, so the inverse mappings collapse to
// the centre instead of producing infinities.
void LayerStackTransform::RegenMatrix() {
  invXScale_ = xScale_ != 0.0f ? 1.0f / xScale_ : 0.0f;
  invYScale_ = yScale_ != 0.0f ? 1.0f / yScale_ : 0.0f;
  const float theta = degree_ / 360.0f * 2.0f * 3.1415927f;
  sin_ = std::sin(theta);
  cos_ = std::cos(theta);
  invSin_ = std::sin(-theta);
  invCos_ = std::cos(-theta);
}

void LayerStackTransform::SetOffset(float x, float y) {
  xOffset_ = x;
  yOffset_ = y;
}

void LayerStackTransform::SetScale(float x, float y) {
  xScale_ = x;
  yScale_ = y;
  RegenMatrix();
}

void LayerStackTransform::SetScaleAndOffset(float x, float y, float s) {
  SetScaleAndOffset(x, y, s, s);
}

void LayerStackTransform::SetScaleAndOffset(float x, float y, float sx, float sy) {
  xOffset_ = x;
  yOffset_ = y;
  xScale_ = sx;
  yScale_ = sy;
  RegenMatrix();
}

void LayerStackTransform::SetRotation(float cx, float cy, float degree) {
  xCenter_ = cx;
  yCenter_ = cy;
  degree_ = degree;
  RegenMatrix();
}

void LayerStackTransform::SetPivot(float x, float y) {
  xCenter_ = x;
  yCenter_ = y;
}

void LayerStackTransform::SetScaleOffset(float x, float y) {
  xScaleOffset_ = x;
  yScaleOffset_ = y;
}

void LayerStackTransform::GetScaleAndOffset(float& x, float& y, float& sx, float& sy) const {
  x = xOffset_;
  y = yOffset_;
  sx = xScale_;
  sy = yScale_;
}

void LayerStackTransform::GetRotation(float& cx, float& cy, float& degree) const {
  cx = xCenter_;
  cy = yCenter_;
  degree = degree_;
}

void LayerStackTransform::GetPivot(float& x, float& y) const {
  x = xCenter_;
  y = yCenter_;
}

bool LayerStackTransform::operator==(const LayerStackTransform& o) const {
  return xOffset_ == o.xOffset_ && yOffset_ == o.yOffset_ && xScale_ == o.xScale_ &&
         yScale_ == o.yScale_ && xCenter_ == o.xCenter_ && yCenter_ == o.yCenter_ &&
         degree_ == o.degree_;
}

bool LayerStackTransform::AppliesScale(ScaleStrategy strategy) const {
  return strategy == kScale || (strategy == kScaleWhenZoomedOut && xScale_ < 1.0f);
}

// Without rotation: screen = (p - c) * s - offset + c * s, i.e. p * s - offset.
// With rotation: screen = R(theta) * ((p - c) * s) - (offset + scale offset) + c.
void LayerStackTransform::XformCoords(float& x, float& y, ScaleStrategy strategy,
                                      bool ignoreRotation) const {
  x -= xCenter_;
  y -= yCenter_;
  if (AppliesScale(strategy)) {
    x *= xScale_;
    y *= yScale_;
  }
  if (degree_ == 0.0f) {
    x -= xOffset_;
    y -= yOffset_;
    x += xCenter_ * xScale_;
    y += yCenter_ * yScale_;
    return;
  }
  if (!ignoreRotation) {
    const float rx = x * cos_ - y * sin_;
    const float ry = x * sin_ + y * cos_;
    x = rx;
    y = ry;
  }
  x -= xOffset_ + xScaleOffset_;
  y -= yOffset_ + yScaleOffset_;
  x += xCenter_;
  y += yCenter_;
}

// The steps of XformCoords undone in reverse order.
void LayerStackTransform::InvXformCoords(float& x, float& y, ScaleStrategy strategy,
                                         bool ignoreRotation) const {
  x -= xCenter_;
  y -= yCenter_;
  if (degree_ != 0.0f) {
    x += xOffset_ + xScaleOffset_;
    y += yOffset_ + yScaleOffset_;
    if (!ignoreRotation) {
      const float rx = x * invCos_ - y * invSin_;
      const float ry = x * invSin_ + y * invCos_;
      x = rx;
      y = ry;
    }
  } else {
    x += xOffset_;
    y += yOffset_;
  }
  if (AppliesScale(strategy)) {
    x *= invXScale_;
    y *= invYScale_;
  }
  if (degree_ != 0.0f) {
    x += xCenter_;
    y += yCenter_;
  } else {
    x += xCenter_ * invXScale_;
    y += yCenter_ * invYScale_;
  }
}

// Tiles are scaled about the origin and then shifted; products are taken in
// double so that large coordinates keep every integer bit before rounding.
void LayerStackTransform::XformTile(ilTile& tile, ScaleStrategy strategy, bool) const {
  double x = tile.x, y = tile.y, nx = tile.nx, ny = tile.ny;
  if (AppliesScale(strategy)) {
    x *= xScale_;
    nx *= xScale_;
    y *= yScale_;
    ny *= yScale_;
  }
  x -= xOffset_;
  y -= yOffset_;
  tile.x = brenmark::RoundHalfAway(x);
  tile.y = brenmark::RoundHalfAway(y);
  tile.nx = brenmark::RoundHalfAway(nx);
  tile.ny = brenmark::RoundHalfAway(ny);
}

void LayerStackTransform::InvXformTile(ilTile& tile, ScaleStrategy strategy, bool) const {
  double x = static_cast<double>(tile.x) + xOffset_;
  double y = static_cast<double>(tile.y) + yOffset_;
  double nx = tile.nx, ny = tile.ny;
  if (AppliesScale(strategy)) {
    x *= invXScale_;
    nx *= invXScale_;
    y *= invYScale_;
    ny *= invYScale_;
  }
  tile.x = brenmark::RoundHalfAway(x);
  tile.y = brenmark::RoundHalfAway(y);
  tile.nx = brenmark::RoundHalfAway(nx);
  tile.ny = brenmark::RoundHalfAway(ny);
}
