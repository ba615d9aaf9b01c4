// Entry points of the per-instruction-set row files, for the dispatch table
// only. Each namespace's functions are compiled with that instruction set and
// must not be called on a processor without it.
#pragma once

#include <cstdint>

#define BRENMARK_DECLARE_BLEND_KERNELS                                                  \
  void CopyMasked(std::uint32_t* d, const std::uint32_t* s, int n, std::uint32_t mask); \
  void Over(std::uint32_t* d, const std::uint32_t* s, int n);                           \
  void OverConst(std::uint32_t* d, std::uint32_t s, int n);                             \
  void BrushConst(std::uint32_t* d, std::uint32_t s, const std::uint8_t* cov, int n,    \
                  std::uint8_t dither);                                                 \
  void Brush(std::uint32_t* d, const std::uint32_t* s, const std::uint8_t* cov, int n,  \
             std::uint8_t dither);                                                      \
  void Brush16Const(std::uint32_t* d, std::uint32_t* low, std::uint32_t s,              \
                    const std::uint8_t* cov, int n, int k, std::uint8_t dither);        \
  void EraseByRow(std::uint32_t* d, const std::uint8_t* m, int n);                      \
  void KeepByRow(std::uint32_t* d, const std::uint8_t* m, int n);                       \
  void Multiply(std::uint32_t* d, const std::uint32_t* s, int n);                       \
  void ScaleConst(std::uint32_t* d, std::uint32_t f, int n);

namespace brenmark::sse2 {
BRENMARK_DECLARE_BLEND_KERNELS
}  // namespace brenmark::sse2

namespace brenmark::avx2 {
BRENMARK_DECLARE_BLEND_KERNELS
}  // namespace brenmark::avx2

#undef BRENMARK_DECLARE_BLEND_KERNELS
