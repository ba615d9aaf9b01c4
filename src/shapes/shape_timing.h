// Shape-render timings, printed when the debug selector answers 8302:
// time-stamp cycles taken around the stages of rendering and applying a
// shape's masks, reported as seconds at a nominal 1.7 GHz.
#pragma once

#include <atomic>
#include <cstdint>

#include "brenmark/il_types.h"
#include "manager/debug_selector.h"
#include "platform/platform.h"

namespace brenmark::shapes {

inline constexpr int kTimingSelector = 8302;
inline constexpr double kNominalCyclesPerSecond = 1.7e9;

// Cycles the fill scans of this process have spent finding and ordering
// sub-line crossings while timed; it only grows.
inline std::atomic<std::uint64_t>& CrossingCyclesTotal() {
  static std::atomic<std::uint64_t> total{0};
  return total;
}

// A stage's clock, running only when timings are asked for.
class StageTimer {
 public:
  StageTimer() : on_(DebugSelectorIs(kTimingSelector)), start_(on_ ? platform::CycleCount() : 0) {}
  bool On() const { return on_; }
  std::uint64_t Cycles() const { return platform::CycleCount() - start_; }

 private:
  bool on_;
  std::uint64_t start_;
};

inline double Seconds(std::uint64_t cycles) {
  return static_cast<double>(cycles) / kNominalCyclesPerSecond;
}

// Cycles per pixel of the tile (0 for an empty one).
inline double PerPixel(std::uint64_t cycles, const ilTile& t) {
  const double pixels = static_cast<double>(t.nx) * static_cast<double>(t.ny);
  return pixels > 0 ? static_cast<double>(cycles) / pixels : 0.0;
}

}  // namespace brenmark::shapes
