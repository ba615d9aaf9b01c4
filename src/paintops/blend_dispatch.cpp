// Run-time choice of the blending rows' instruction set.
#include "paintops/blend_kernels.h"
#include "paintops/blend_kernels_p.h"
#include "paintops/blend_rows.h"

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

}  // namespace

const BlendKernels* KernelsFor(SimdLevel level) {
  return SimdTableFor(level, kScalar, kSse2, kAvx2);
}

const BlendKernels& ActiveKernels() {
  static const BlendKernels& chosen = ChooseSimdTable(kScalar, kSse2, kAvx2);
  return chosen;
}

}  // namespace brenmark
