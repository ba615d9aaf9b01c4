// Run-time choice of the blending rows' instruction set.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "paintops/blend_kernels.h"
#include "paintops/blend_kernels_p.h"
#include "paintops/blend_rows.h"
#include "platform/platform.h"

namespace brenmark {
namespace {

constexpr BlendKernels kScalar = {
    SimdLevel::kScalar, "scalar",         rows::CopyMasked, rows::Over,
    rows::OverConst,    rows::BrushConst, rows::Brush,      rows::Brush16Const,
    rows::EraseByRow,   rows::KeepByRow,  rows::Multiply,   rows::ScaleConst,
};

constexpr BlendKernels kSse2 = {
    SimdLevel::kSse2, "sse2",           sse2::CopyMasked, sse2::Over,
    sse2::OverConst,  sse2::BrushConst, sse2::Brush,      sse2::Brush16Const,
    sse2::EraseByRow, sse2::KeepByRow,  sse2::Multiply,   sse2::ScaleConst,
};

constexpr BlendKernels kAvx2 = {
    SimdLevel::kAvx2, "avx2",           avx2::CopyMasked, avx2::Over,
    avx2::OverConst,  avx2::BrushConst, avx2::Brush,      avx2::Brush16Const,
    avx2::EraseByRow, avx2::KeepByRow,  avx2::Multiply,   avx2::ScaleConst,
};

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != *b) return false;
  }
  return *a == '\0' && *b == '\0';
}

}  // namespace

SimdLevel BestSimdLevel() {
  if (platform::HasAVX2()) return SimdLevel::kAvx2;
  return SimdLevel::kSse2;  // part of every x86-64 processor
}

const BlendKernels* KernelsFor(SimdLevel level) {
  switch (level) {
    case SimdLevel::kScalar:
      return &kScalar;
    case SimdLevel::kSse2:
      return platform::HasSSE2() ? &kSse2 : nullptr;
    case SimdLevel::kAvx2:
      return platform::HasAVX2() ? &kAvx2 : nullptr;
  }
  return nullptr;
}

SimdLevel ParseSimdLevel(const char* text, SimdLevel fallback) {
  if (text == nullptr) return fallback;
  if (EqualsNoCase(text, "scalar")) return SimdLevel::kScalar;
  if (EqualsNoCase(text, "sse2")) return SimdLevel::kSse2;
  if (EqualsNoCase(text, "avx2")) return SimdLevel::kAvx2;
  return fallback;
}

const BlendKernels& ActiveKernels() {
  static const BlendKernels* const chosen = [] {
    const SimdLevel best = BestSimdLevel();
    const BlendKernels* k = KernelsFor(ParseSimdLevel(std::getenv("BRENMARK_SIMD"), best));
    return k != nullptr ? k : KernelsFor(best);
  }();
  return *chosen;
}

}  // namespace brenmark
