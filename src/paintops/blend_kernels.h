// The hot rows of the blending engine behind one table per instruction set,
// chosen once at run time. Every entry computes exactly what its scalar
// reference in blend_rows.h computes; the SIMD tables only go faster.
//
// Level selection: the best the processor supports (AVX2, else SSE2, which
// every x86-64 processor has), unless BRENMARK_SIMD names a level: "scalar",
// "sse2" or "avx2". A forced level the processor lacks falls back to the best
// it has.
#pragma once

#include <cstdint>

namespace brenmark {

enum class SimdLevel : int { kScalar = 0, kSse2 = 1, kAvx2 = 2 };

struct BlendKernels {
  SimdLevel level;
  const char* name;
  // rows::CopyMasked
  void (*copy_masked)(std::uint32_t* d, const std::uint32_t* s, int n, std::uint32_t mask);
  // rows::Over
  void (*over)(std::uint32_t* d, const std::uint32_t* s, int n);
  // rows::OverConst
  void (*over_const)(std::uint32_t* d, std::uint32_t s, int n);
  // rows::BrushConst
  void (*brush_const)(std::uint32_t* d, std::uint32_t s, const std::uint8_t* cov, int n,
                      std::uint8_t dither);
  // rows::Brush
  void (*brush)(std::uint32_t* d, const std::uint32_t* s, const std::uint8_t* cov, int n,
                std::uint8_t dither);
  // rows::Brush16Const
  void (*brush16_const)(std::uint32_t* d, std::uint32_t* low, std::uint32_t s,
                        const std::uint8_t* cov, int n, int k, std::uint8_t dither);
  // rows::EraseByRow (clear)
  void (*erase_by_row)(std::uint32_t* d, const std::uint8_t* m, int n);
  // rows::KeepByRow
  void (*keep_by_row)(std::uint32_t* d, const std::uint8_t* m, int n);
  // rows::Multiply
  void (*multiply)(std::uint32_t* d, const std::uint32_t* s, int n);
  // rows::ScaleConst
  void (*scale_const)(std::uint32_t* d, std::uint32_t f, int n);
};

// The table of a level, or null when this processor cannot run it.
const BlendKernels* KernelsFor(SimdLevel level);

// The table chosen for this process (first call decides).
const BlendKernels& ActiveKernels();

// Parses "scalar", "sse2" or "avx2" (case-insensitive); anything else,
// including null, gives `fallback`.
SimdLevel ParseSimdLevel(const char* text, SimdLevel fallback);

// The best level this processor supports.
SimdLevel BestSimdLevel();

}  // namespace brenmark
