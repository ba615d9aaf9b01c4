// Instruction-set levels of the SIMD row tables and the run-time choice
// among them. Every hot-row family (blending, scaling, convolution, flood
// scan, shape fill) keeps one table per level; the process uses the best
// level the processor supports, unless BRENMARK_SIMD names a level:
// "scalar", "sse2" or "avx2". A forced level the processor lacks falls back
// to the best it has.
#pragma once

#include <cstdlib>

#include "platform/platform.h"

namespace brenmark {

enum class SimdLevel : int { kScalar = 0, kSse2 = 1, kAvx2 = 2 };

// Parses "scalar", "sse2" or "avx2" (case-insensitive); anything else,
// including null, gives `fallback`.
SimdLevel ParseSimdLevel(const char* text, SimdLevel fallback);

// The best level this processor supports.
SimdLevel BestSimdLevel();

// The table of `level` among a family's three, or null when this processor
// cannot run it.
template <typename Table>
const Table* SimdTableFor(SimdLevel level, const Table& scalar, const Table& sse2,
                          const Table& avx2) {
  switch (level) {
    case SimdLevel::kScalar:
      return &scalar;
    case SimdLevel::kSse2:
      return platform::HasSSE2() ? &sse2 : nullptr;
    case SimdLevel::kAvx2:
      return platform::HasAVX2() ? &avx2 : nullptr;
  }
  return nullptr;
}

// The table of the level this process runs: BRENMARK_SIMD's when the
// processor has it, else the best. Callers keep the answer in a static.
template <typename Table>
const Table& ChooseSimdTable(const Table& scalar, const Table& sse2, const Table& avx2) {
  const SimdLevel best = BestSimdLevel();
  const Table* t =
      SimdTableFor(ParseSimdLevel(std::getenv("BRENMARK_SIMD"), best), scalar, sse2, avx2);
  return t != nullptr ? *t : *SimdTableFor(best, scalar, sse2, avx2);
}

}  // namespace brenmark
