// Process-wide dither counter of the blending engine.
#include "paintops/dither.h"

#include "paintops/fixed_point.h"

namespace brenmark {

std::uint32_t BlendDither::counter_ = 0;
bool BlendDither::used_ = false;

void BlendDither::BeginBlend() {
  if (used_) counter_ = NextDitherCounter(counter_);
  used_ = false;
}

std::uint8_t BlendDither::Value() {
  return fixed::ReverseByte(counter_);
}

void BlendDither::MarkUsed() {
  used_ = true;
}

bool BlendDither::Used() {
  return used_;
}

std::uint32_t BlendDither::Counter() {
  return counter_;
}

void BlendDither::Reset() {
  counter_ = 0;
  used_ = false;
}

}  // namespace brenmark
