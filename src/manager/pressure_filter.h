// The pen-pressure filter: maps raw tablet pressures of a fixed range to
// 0..1 through a power curve, cuts off the low end below a threshold and
// smooths successive outputs.
#pragma once

#include <vector>

class TpressureFilter {
 public:
  TpressureFilter(int rawMin, int rawMax) : rawMin_(rawMin), rawMax_(rawMax) {}

  // Settings outside their range take the default (curve shape 0.5,
  // threshold 0.25); smoothing is limited to 0..0.95. Each rebuilds what
  // depends on it once the filter is complete.
  void SetCurveShape(float p);
  void SetThreshold(float t);
  void SetSmoothing(float s);

  // out for one raw sample (the filter completes itself on first use).
  float Filter(unsigned raw);

  int RawMin() const { return rawMin_; }
  int RawMax() const { return rawMax_; }

 private:
  void Complete();
  void BuildTable();
  void LimitThreshold();

  float curveShape_ = 0.5f;
  float threshold_ = 0.25f;
  float smoothing_ = 0.0f;
  std::vector<float> table_;  // n + 1 entries
  bool initialised_ = false;
  float last_ = 0.0f;
  int rawMin_;
  int rawMax_;
  int n_ = 0;
  float thresholdScale_ = 0.0f;
};
