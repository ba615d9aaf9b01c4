// Straight-segment and smoothed path interpolators.
#include "brenmark/interpolate.h"

#include <algorithm>
#include <cmath>

namespace {

bool Finite(const PaintPoint& p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

}  // namespace

// ---- FltInterpolate2D

FltInterpolate2D::FltInterpolate2D(int carry) : carry_(carry) {}

void FltInterpolate2D::AddPoint(const PaintPoint& p) {
  if (!Finite(p)) return;
  ++count_;
  if (count_ == 1) {
    firstX_ = endX_ = cursorX_ = p.x;
    firstY_ = endY_ = cursorY_ = p.y;
    firstPending_ = true;
    return;
  }
  // With carry the cursor restarts from the previous sample and the length
  // left over there is walked again at the start of the new segment.
  if (carry_) {
    carried_ = remaining_;
    cursorX_ = endX_;
    cursorY_ = endY_;
  }
  const double dx = p.x - cursorX_;
  const double dy = p.y - cursorY_;
  length_ = std::sqrt(dx * dx + dy * dy);
  // An empty segment keeps the previous direction, so a carry across it
  // still steps back along the path.
  if (length_ != 0) {
    dirX_ = dx / length_;
    dirY_ = dy / length_;
  }
  endX_ = p.x;
  endY_ = p.y;
  if (carry_) {
    cursorX_ -= dirX_ * carried_;
    cursorY_ -= dirY_ * carried_;
    remaining_ = length_ + carried_;
  } else {
    remaining_ = length_;
  }
}

bool FltInterpolate2D::TakeFirstPoint(PaintPoint& out, float* t) {
  firstPending_ = false;
  out = PaintPoint(static_cast<float>(firstX_), static_cast<float>(firstY_));
  if (t) *t = 0.0f;
  return true;
}

bool FltInterpolate2D::NextAtDistance(float d, PaintPoint& out, float* t) {
  if (count_ < 2 || !(d > 0)) return false;
  if (firstPending_) return TakeFirstPoint(out, t);
  if (d > remaining_) return false;
  // Never step back into the previous segment: the first step of a carried
  // segment goes at least to the joint.
  double step = std::max<double>(d, carried_);
  carried_ = 0;
  cursorX_ += dirX_ * step;
  cursorY_ += dirY_ * step;
  remaining_ -= step;
  out = PaintPoint(static_cast<float>(cursorX_), static_cast<float>(cursorY_));
  if (t)
    *t = length_ == 0 ? 0.0f : static_cast<float>(std::clamp(1.0 - remaining_ / length_, 0.0, 1.0));
  return true;
}

bool FltInterpolate2D::EndOfSegment(PaintPoint& out, float* t) {
  if (count_ < 2) return false;
  if (firstPending_) return TakeFirstPoint(out, t);
  if (!(remaining_ > 0)) return false;
  cursorX_ = endX_;
  cursorY_ = endY_;
  remaining_ = 0;
  carried_ = 0;
  out = PaintPoint(static_cast<float>(endX_), static_cast<float>(endY_));
  if (t) *t = 1.0f;
  return true;
}

bool FltInterpolate2D::Direction(float& dx, float& dy) {
  if (count_ < 2 || length_ == 0) return false;
  dx = static_cast<float>(dirX_);
  dy = static_cast<float>(dirY_);
  return true;
}

// ---- SmoothInterpolate2D

SmoothInterpolate2D::SmoothInterpolate2D(float a, float b, int n)
    : SmoothInterpolate2D(a, b, n, nullptr) {}

SmoothInterpolate2D::SmoothInterpolate2D(float a, float b, int n, Interpolate2D* inner)
    : k_(a > 0 && std::isfinite(a) ? 1.0f / a : 1.0f),
      b_(std::isfinite(b) ? b : kDefaultB),
      n_(std::clamp(n, 1, 64)),
      inner_(inner ? inner : new FltInterpolate2D(1)) {
  inner_->ref();
}

SmoothInterpolate2D::~SmoothInterpolate2D() {
  Resource::unref(inner_);
}

void SmoothInterpolate2D::Drive(Filter& f, float p, float* out) const {
  const float q = f.pos, w = f.vel, c = f.acc;
  const float T = static_cast<float>(n_ * (n_ + 1) / 2);
  // The increment uses the state before the sample, so it is the same for
  // all n steps: the acceleration ramps linearly through the batch.
  const float delta = ((1.0f - b_) * ((p - q) * k_ + w) - w - n_ * c) / T;
  for (int i = 0; i < n_; ++i) {
    f.acc += delta;
    f.vel += f.acc;
    f.pos += f.vel;
    out[i] = f.pos;
  }
}

void SmoothInterpolate2D::AddPoint(const PaintPoint& p) {
  if (!Finite(p)) return;
  if (!started_) {
    fx_.pos = p.x;
    fy_.pos = p.y;
    started_ = true;
    return;
  }
  // Sub-points already fed are dropped; positions count from the new front.
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(read_));
  lastFed_ -= static_cast<long>(read_);
  read_ = 0;
  batchStart_ = queue_.size();
  float xs[64], ys[64];
  Drive(fx_, p.x, xs);
  Drive(fy_, p.y, ys);
  for (int i = 0; i < n_; ++i) queue_.emplace_back(xs[i], ys[i]);
}

template <class Ask>
bool SmoothInterpolate2D::Walk(float* t, Ask ask) {
  float innerT = 0;
  for (;;) {
    if (ask(t ? &innerT : nullptr)) break;
    if (read_ >= queue_.size()) return false;
    inner_->AddPoint(queue_[read_]);
    lastFed_ = static_cast<long>(read_++);
  }
  // The inner segment ends at the sub-point fed last; counted from the newest
  // sample's first sub-point (0), those left over from earlier samples come
  // out negative and clamp to 0.
  const long index = lastFed_ - static_cast<long>(batchStart_);
  if (t) *t = std::max(0.0f, (static_cast<float>(index) + innerT) / static_cast<float>(n_));
  return true;
}

bool SmoothInterpolate2D::NextAtDistance(float d, PaintPoint& out, float* t) {
  return Walk(t, [&](float* it) { return inner_->NextAtDistance(d, out, it); });
}

bool SmoothInterpolate2D::EndOfSegment(PaintPoint& out, float* t) {
  return Walk(t, [&](float* it) { return inner_->EndOfSegment(out, it); });
}

bool SmoothInterpolate2D::Direction(float& dx, float& dy) {
  return inner_->Direction(dx, dy);
}
