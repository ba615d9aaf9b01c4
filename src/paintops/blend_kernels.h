// The hot rows of the blending engine behind one table per instruction set,
// chosen once at run time. Every entry computes exactly what its scalar
// reference in blend_rows.h computes; the SIMD tables only go faster.
// Level selection: see platform/simd_level.h.
#pragma once

#include <cstdint>

#include "platform/simd_level.h"

namespace brenmark {

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

}  // namespace brenmark
