// TimerStampStrokeImpl: dabs that keep coming while the pen rests, on the
// host's timers.
#include <algorithm>
#include <cmath>

#include "brenmark/paint_manager.h"
#include "brenmark/stroke.h"

TimerStampStrokeImpl::TimerStampStrokeImpl(Stroke* stroke, PaintOps* painter, Stamp* stamp,
                                           Interpolate2D* interpolator, double spacingScale)
    : StampStrokeImpl(stroke, painter, stamp, interpolator, spacingScale) {}

TimerStampStrokeImpl::~TimerStampStrokeImpl() {
  StopTimer(dabTimer_);
  StopTimer(idleTimer_);
}

void TimerStampStrokeImpl::StopTimer(int& id) {
  if (id == -1) return;
  if (Brenmark.CB()->StopTimer) Brenmark.CB()->StopTimer(id);
  id = -1;
}

void TimerStampStrokeImpl::StartTimer(int& id, int interval, void (*proc)(int, void*)) {
  StopTimer(id);
  if (Brenmark.CB()->StartTimer) id = Brenmark.CB()->StartTimer(interval, proc, this);
}

void TimerStampStrokeImpl::SetDabInterval(int interval) {
  dabInterval_ = std::max(interval, 1);
  if (dabTimer_ != -1) StartTimer(dabTimer_, dabInterval_, &OnDab);
}

void TimerStampStrokeImpl::SetIdleDelay(int delay) {
  idleDelay_ = std::max(delay, 1);
  if (idleTimer_ != -1) StartTimer(idleTimer_, idleDelay_, &OnIdle);
}

int TimerStampStrokeImpl::PaintStep() {
  if (stroke_ && stroke_->Count() > 0) {
    const StrokeSample& s = (*stroke_)[stroke_->Count() - 1];
    // A pen that moved more than a pixel is not resting: no timed dabs
    // until it has kept still for the idle delay.
    if (!haveLast_ || std::fabs(s.x - last_.x) > 1.0f || std::fabs(s.y - last_.y) > 1.0f) {
      StopTimer(dabTimer_);
      StartTimer(idleTimer_, idleDelay_, &OnIdle);
    }
    last_ = PaintPoint(s.x, s.y);
    haveLast_ = true;
  }
  return StampStrokeImpl::PaintStep();
}

void TimerStampStrokeImpl::OnIdle(int timerId, void* context) {
  auto* self = static_cast<TimerStampStrokeImpl*>(context);
  if (timerId != self->idleTimer_) return;
  self->StopTimer(self->idleTimer_);
  self->timedDabs_ = 0;
  self->StartTimer(self->dabTimer_, self->dabInterval_, &OnDab);
}

void TimerStampStrokeImpl::OnDab(int timerId, void* context) {
  auto* self = static_cast<TimerStampStrokeImpl*>(context);
  if (timerId != self->dabTimer_ || !self->painter_) return;
  // j = (rand / 32767 - 0.5) * count / 100, then pushed a pixel further out:
  // the dab wanders more the longer the pen rests, never onto the centre.
  float offset[2];
  for (float& j : offset) {
    j = static_cast<float>((Random() / 32767.0 - 0.5) * (self->timedDabs_ / 100.0));
    j += j > 0 ? 1.0f : -1.0f;
  }
  const PaintPoint dab(self->last_.x + offset[0], self->last_.y + offset[1]);
  self->painter_->draw_stamps(&dab, 1, nullptr);
  ++self->timedDabs_;
}
