// The pen-pressure filter and the paint manager's process-wide instance.
#include "manager/pressure_filter.h"

#include <cmath>

#include "brenmark/paint_manager.h"

void TpressureFilter::SetCurveShape(float p) {
  curveShape_ = (p >= 0.0f && p <= 1.0f) ? p : 0.5f;
  if (initialised_) BuildTable();
}

void TpressureFilter::SetThreshold(float t) {
  threshold_ = (t >= 0.0f && t <= 1.0f) ? t : 0.25f;
  if (initialised_) LimitThreshold();
}

void TpressureFilter::SetSmoothing(float s) {
  smoothing_ = s > 0.95f ? 0.95f : (s > 0.0f ? s : 0.0f);
}

void TpressureFilter::Complete() {
  n_ = rawMax_ - rawMin_;
  if (n_ <= 0) {
    rawMin_ = 0;
    rawMax_ = 1024;
    n_ = 1024;
  }
  initialised_ = true;
  BuildTable();
  LimitThreshold();
}

// entry i = (i / (n - 1)) ^ (8 p^2 + 0.1), i in 0..n - 1 (the last entry
// repeats 1 so a fraction of exactly 1 stays in the table).
void TpressureFilter::BuildTable() {
  table_.assign(static_cast<size_t>(n_) + 1, 1.0f);
  const double e = 8.0 * curveShape_ * curveShape_ + 0.1;
  const double span = n_ > 1 ? n_ - 1 : 1;
  for (int i = 0; i < n_; ++i)
    table_[static_cast<size_t>(i)] = static_cast<float>(std::pow(i / span, e));
}

// The threshold stays within [3 / n, 1 - 1 / n], so its scale is finite.
void TpressureFilter::LimitThreshold() {
  const float lo = 3.0f / static_cast<float>(n_);
  const float hi = 1.0f - 1.0f / static_cast<float>(n_);
  if (threshold_ < lo) threshold_ = lo;
  if (threshold_ > hi) threshold_ = hi;
  thresholdScale_ = threshold_ < 1.0f ? 1.0f / (1.0f - threshold_) : 0.0f;
}

float TpressureFilter::Filter(unsigned raw) {
  if (!initialised_) Complete();
  long r = static_cast<long>(raw);
  if (r < rawMin_) r = rawMin_;
  if (r > rawMax_) r = rawMax_;
  const float f = static_cast<float>(r - rawMin_) / static_cast<float>(n_);
  float out;
  if (f >= threshold_) {
    long i = static_cast<long>((f - threshold_) * thresholdScale_ * static_cast<float>(n_ - 1));
    if (i < 0) i = 0;
    if (i > n_) i = n_;
    const float v = table_[static_cast<size_t>(i)];
    out = (last_ - v) * smoothing_ + v;
  } else {
    out = last_ * smoothing_;
    if (out < threshold_) out = 0.0f;
  }
  last_ = out;
  return out;
}

void PaintManager::InitPressureFilter(unsigned short min, unsigned short max) {
  if (PressFilter && min == minPressure && max == maxPressure) return;
  delete PressFilter;
  PressFilter = new TpressureFilter(min, max);
  minPressure = min;
  maxPressure = max;
}

float PaintManager::PressureFilter(unsigned raw) {
  if (!PressFilter) InitPressureFilter(0, 1024);
  return PressFilter->Filter(raw);
}
