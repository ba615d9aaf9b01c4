// The process-wide dither counter of the blending engine. Every blend call
// that rounds with the dither bias marks it used; the next blend call then
// advances the counter, so consecutive dithered blends use different biases.
#pragma once

#include <cstdint>

namespace brenmark {

// Counter after one advance: +1, and +1 more when the low six bits are then
// zero. Counters ending in six zero bits have the four smallest dither values
// (0..3); skipping them after the first advance keeps the sequence from
// falling back to plain truncation once every 64 blends.
constexpr std::uint32_t NextDitherCounter(std::uint32_t counter) {
  ++counter;
  if ((counter & 0x3Fu) == 0) ++counter;
  return counter;
}

// Process-wide state; single-threaded like the rest of the painter.
class BlendDither {
 public:
  // Start of a blend call: advance the counter when the previous calls
  // used the dither, then clear the used flag.
  static void BeginBlend();
  // The dither byte of the current counter (its low byte bit-reversed).
  static std::uint8_t Value();
  // Marks that the current blend rounded with the dither value.
  static void MarkUsed();
  static bool Used();
  static std::uint32_t Counter();
  // Back to the state at library load (counter 0, flag clear), so that a
  // caller can paint the same pixels twice in one process.
  static void Reset();

 private:
  static std::uint32_t counter_;
  static bool used_;
};

}  // namespace brenmark
