// The block switch of the blending engine: picks the row for one block once
// (fast case or general blend), then runs it over the block's rows, directly
// or through a gathered span for resampling.
#include "paintops/blend_block.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "paintops/blend_rows.h"
#include "paintops/fixed_point.h"
#include "platform/diagnostics.h"

namespace brenmark {
namespace {

// Pixels of a resampled source row gathered per step; whole rows of a page
// fit one step, wider spans take several.
constexpr int kSpanChunk = 256;

// How many rows ahead BlendBlock fetches strided coverage rows.
constexpr int kCoverageAhead = 6;

struct RowPtrs {
  void* d;
  const void* s;
  const std::uint8_t* cov;
  void* low;
  const void* copy;
  int n;
};

struct RowJob;
using RunFn = void (*)(const RowJob&, const RowPtrs&);

// The row chosen for a block, with everything it needs but the pointers.
struct RowJob {
  RunFn run = nullptr;
  const BlendKernels* k = nullptr;
  std::uint32_t value = 0;  // constant source pixel, colour or factor
  int s_step = 1;
  std::uint32_t mask = 0xFFFFFFFFu;
  std::uint8_t dither = 0;
  int strength = 0;  // 16-bit opacity or marker strength
  rows::GeneralRowFn general = nullptr;
  bool scale_offset = false;
  std::uint32_t packed_scale = 0xFFFFFFFFu;
  std::uint32_t packed_offset = 0;
};

inline std::uint32_t* D4(const RowPtrs& p) {
  return static_cast<std::uint32_t*>(p.d);
}
inline std::uint8_t* D1(const RowPtrs& p) {
  return static_cast<std::uint8_t*>(p.d);
}
inline const std::uint32_t* S4(const RowPtrs& p) {
  return static_cast<const std::uint32_t*>(p.s);
}
inline const std::uint8_t* S1(const RowPtrs& p) {
  return static_cast<const std::uint8_t*>(p.s);
}

void RunFill(const RowJob& j, const RowPtrs& p) {
  rows::Fill(D4(p), j.value, p.n);
}
void RunFill1(const RowJob& j, const RowPtrs& p) {
  rows::Fill1(D1(p), static_cast<std::uint8_t>(j.value), p.n);
}
void RunCopy(const RowJob&, const RowPtrs& p) {
  rows::Copy(D4(p), S4(p), p.n);
}
void RunOver(const RowJob& j, const RowPtrs& p) {
  j.k->over(D4(p), S4(p), p.n);
}
void RunOverConst(const RowJob& j, const RowPtrs& p) {
  j.k->over_const(D4(p), j.value, p.n);
}
void RunUnder(const RowJob& j, const RowPtrs& p) {
  rows::Under(D4(p), S4(p), j.s_step, p.n);
}
void RunDstAlpha(const RowJob& j, const RowPtrs& p) {
  rows::DstAlphaConst(D4(p), j.value, p.n);
}
void RunScale(const RowJob& j, const RowPtrs& p) {
  j.k->scale_const(D4(p), j.value, p.n);
}
void RunMultiply(const RowJob& j, const RowPtrs& p) {
  j.k->multiply(D4(p), S4(p), p.n);
}
void RunErase(const RowJob& j, const RowPtrs& p) {
  j.k->erase_by_row(D4(p), S1(p), p.n);
}
void RunKeep(const RowJob& j, const RowPtrs& p) {
  j.k->keep_by_row(D4(p), S1(p), p.n);
}
void RunKeep1(const RowJob& j, const RowPtrs& p) {
  rows::KeepByRow1(D1(p), S1(p), j.s_step, p.n);
}
void RunBrushConst(const RowJob& j, const RowPtrs& p) {
  j.k->brush_const(D4(p), j.value, p.cov, p.n, j.dither);
}
void RunBrush(const RowJob& j, const RowPtrs& p) {
  j.k->brush(D4(p), S4(p), p.cov, p.n, j.dither);
}
void RunBrush16(const RowJob& j, const RowPtrs& p) {
  j.k->brush16_const(D4(p), static_cast<std::uint32_t*>(p.low), j.value, p.cov, p.n, j.strength,
                     j.dither);
}
void RunBrushOne(const RowJob& j, const RowPtrs& p) {
  rows::BrushOne(D1(p), static_cast<std::uint8_t>(j.value), p.cov, p.n);
}
void RunBrush16One(const RowJob& j, const RowPtrs& p) {
  rows::Brush16One(D1(p), static_cast<std::uint8_t*>(p.low), static_cast<std::uint8_t>(j.value),
                   p.cov, p.n, j.strength, j.dither);
}
void RunMarker(const RowJob& j, const RowPtrs& p) {
  rows::Marker(D4(p), static_cast<std::uint32_t*>(p.low), S4(p), j.s_step, p.cov, p.n, j.strength,
               j.dither);
}
void RunMaskBlend(const RowJob& j, const RowPtrs& p) {
  rows::MaskBlend(D4(p), S1(p), j.s_step, static_cast<const std::uint32_t*>(p.copy), p.n, j.mask);
}
void RunMaskBlend1(const RowJob& j, const RowPtrs& p) {
  rows::MaskBlend1(D1(p), S1(p), j.s_step, static_cast<const std::uint8_t*>(p.copy), p.n, j.mask);
}
void RunGeneral(const RowJob& j, const RowPtrs& p) {
  j.general(p.d, p.s, j.s_step, p.cov, p.n, j.mask, j.dither);
}

struct Plan {
  RowJob job;
  BlendOutcome outcome;
};

void Choose(Plan& plan, BlendCase chosen, RunFn run) {
  plan.outcome.chosen = chosen;
  plan.job.run = run;
}

// Fast cases for a four-channel destination and source.
bool ChooseFast44(const BlendSetup& st, const BlendRows& r, std::uint32_t first, Plan& plan) {
  const int sf = st.src_factor;
  const int df = st.dst_factor;
  const bool constant = r.src_constant;
  const std::uint32_t a = fixed::Alpha(first);
  if (st.marker && r.cov != nullptr) {
    // Without low-order rows the marker has nowhere to keep its 16-bit
    // channels, and the block is left as it is.
    if (r.low != nullptr) {
      plan.outcome.used_dither = true;
      plan.job.strength = st.marker_k;
      Choose(plan, BlendCase::kMarker, RunMarker);
    }
    return true;
  }
  if (r.cov != nullptr) {
    if (sf != kFactorSrcAlpha || df != kFactorOneMinusSrcAlpha) return false;
    plan.outcome.used_dither = true;
    const bool colour = constant || st.single_color;
    plan.job.value = first;
    if (colour && st.stamp16 && r.low != nullptr) {
      Choose(plan, BlendCase::kBrush16, RunBrush16);
    } else {
      Choose(plan, BlendCase::kBrush, colour ? RunBrushConst : RunBrush);
    }
    return true;
  }
  plan.job.value = first;
  if (sf == kFactorOne && df == kFactorZero && !constant) {
    Choose(plan, BlendCase::kCopy, RunCopy);
  } else if (sf == kFactorOne && df == kFactorOneMinusSrcAlpha) {
    if (!constant) {
      Choose(plan, BlendCase::kOver, RunOver);
    } else if (a == 0) {
      // Like a row of this pixel, whose zero-alpha pixels are skipped.
      plan.outcome.chosen = BlendCase::kNothing;
    } else if (a == 255) {
      Choose(plan, BlendCase::kFill, RunFill);
    } else {
      Choose(plan, BlendCase::kOver, RunOverConst);
    }
  } else if (sf == kFactorOneMinusDstAlpha && df == kFactorOne) {
    if (constant && first == 0) {
      plan.outcome.chosen = BlendCase::kNothing;
    } else {
      Choose(plan, BlendCase::kUnder, RunUnder);
    }
  } else if (sf == kFactorDstAlpha && df == kFactorZero && constant) {
    Choose(plan, BlendCase::kDstAlpha, RunDstAlpha);
  } else if (sf == kFactorZero && df == kFactorSrcAlpha) {
    if (!constant) {
      Choose(plan, BlendCase::kMultiply, RunMultiply);
    } else if (a == 255) {
      return false;  // the general blend scales by 255/256
    } else if (a == 0) {
      plan.job.value = 0;
      Choose(plan, BlendCase::kFill, RunFill);
    } else {
      plan.job.value = a;
      Choose(plan, BlendCase::kScale, RunScale);
    }
  } else {
    return false;
  }
  return true;
}

// Fast cases for a four-channel destination and a one-channel source with
// source factor 0: the source value m scales the destination. With coverage
// rows the factor is the coverage instead, which the general blend applies.
bool ChooseFast41(const BlendSetup& st, const BlendRows& r, std::uint32_t m, Plan& plan) {
  if (st.src_factor != kFactorZero || r.cov != nullptr) return false;
  const bool constant = r.src_constant;
  if (st.dst_factor == kFactorOneMinusSrcAlpha) {
    if (!constant) {
      Choose(plan, BlendCase::kEraseByRow, RunErase);
    } else if (m == 0) {
      plan.outcome.chosen = BlendCase::kNothing;
    } else if (m == 255) {
      plan.job.value = 0;
      Choose(plan, BlendCase::kFill, RunFill);
    } else {
      plan.job.value = 256 - m;
      Choose(plan, BlendCase::kScale, RunScale);
    }
    return true;
  }
  if (st.dst_factor == kFactorSrcAlpha) {
    if (!constant) {
      Choose(plan, BlendCase::kKeepByRow, RunKeep);
    } else if (m == 255) {
      plan.outcome.chosen = BlendCase::kNothing;
    } else if (m == 0) {
      plan.job.value = 0;
      Choose(plan, BlendCase::kFill, RunFill);
    } else {
      plan.job.value = m;
      Choose(plan, BlendCase::kScale, RunScale);
    }
    return true;
  }
  return false;
}

// Fast cases for a one-channel destination and source. Their formulas are
// the general ones; constants 0 and 255 turn into fills or no-ops, and a
// (0, 6) factor of 255 keeps the destination as the four-channel form does.
bool ChooseFast11(const BlendSetup& st, const BlendRows& r, std::uint32_t m, Plan& plan) {
  if (r.cov != nullptr) return false;
  const int sf = st.src_factor;
  const int df = st.dst_factor;
  const bool constant = r.src_constant;
  if (sf == kFactorZero && df == kFactorSrcAlpha) {
    if (constant && m == 255) {
      plan.outcome.chosen = BlendCase::kNothing;
    } else if (constant && m == 0) {
      plan.job.value = 0;
      Choose(plan, BlendCase::kFill, RunFill1);
    } else {
      Choose(plan, BlendCase::kKeepByRow, RunKeep1);
    }
    return true;
  }
  const bool over = sf == kFactorOne && df == kFactorOneMinusSrcAlpha;
  const bool erase = sf == kFactorZero && df == kFactorOneMinusSrcAlpha;
  const bool behind = sf == kFactorOneMinusDstAlpha && df == kFactorZero;
  if (!over && !erase && !behind) return false;
  if (constant && (m == 0 || m == 255)) {
    if ((over && m == 0) || (erase && m == 0)) {
      plan.outcome.chosen = BlendCase::kNothing;
      return true;
    }
    if (!behind || m == 0) {
      plan.job.value = over ? 255 : 0;
      Choose(plan, BlendCase::kFill, RunFill1);
      return true;
    }
  }
  return false;  // the general row computes these exactly
}

Plan MakePlan(const BlendSetup& st, const BlendRows& r, const void* first_src,
              const BlendKernels& kernels) {
  Plan plan;
  RowJob& job = plan.job;
  job.k = &kernels;
  job.s_step = r.src_constant ? 0 : 1;
  job.mask = st.write_mask;
  job.dither = st.dither;
  // The SIMD 16-bit rows multiply coverage by k in 16-bit lanes: k <= 255.
  job.strength = st.opacity16 < 0 ? 0 : (st.opacity16 > 255 ? 255 : st.opacity16);
  job.packed_scale = st.packed_scale;
  job.packed_offset = st.packed_offset;

  const int dc = st.dst_channels;
  const int sc = st.src_channels;
  if (r.width <= 0 || r.height <= 0 || r.dst == nullptr || r.src == nullptr) return plan;
  if ((dc != 1 && dc != 4) || (sc != 1 && sc != 4)) return plan;
  if (!IsBlendFactorCode(st.src_factor) || !IsBlendFactorCode(st.dst_factor)) return plan;

  std::uint32_t first = 0;
  if (sc == 4) {
    std::memcpy(&first, first_src, sizeof first);
  } else {
    first = *static_cast<const std::uint8_t*>(first_src);
  }

  bool fast_ok = st.write_mask == 0xFFFFFFFFu;
  if (st.mask_blend) {
    if (r.dst_copy != nullptr && sc == 1) {
      // Merged through the write mask itself, so it runs under any mask.
      Choose(plan, BlendCase::kMaskBlend, dc == 4 ? RunMaskBlend : RunMaskBlend1);
      return plan;
    }
    brenmark::platform::DiagnosticText("SID:Invalid parms for mask blend\n");
    fast_ok = false;
  }
  if (fast_ok) {
    const bool scale_offset = st.packed_scale != 0xFFFFFFFFu || st.packed_offset != 0;
    if (dc == 4 && sc == 4 && ChooseFast44(st, r, first, plan)) {
      job.scale_offset = scale_offset && job.run != nullptr;
      return plan;
    }
    if (dc == 4 && sc == 1 && ChooseFast41(st, r, first, plan)) {
      job.scale_offset = scale_offset && job.run != nullptr;
      return plan;
    }
    if (dc == 1 && sc == 4 && r.cov != nullptr && st.src_factor == kFactorSrcAlpha &&
        st.dst_factor == kFactorOneMinusSrcAlpha && (r.src_constant || st.single_color)) {
      job.value = fixed::Alpha(first);
      if (st.stamp16 && r.low != nullptr) {
        plan.outcome.used_dither = true;
        Choose(plan, BlendCase::kBrush16, RunBrush16One);
      } else {
        Choose(plan, BlendCase::kBrush, RunBrushOne);
      }
      return plan;
    }
    if (dc == 1 && sc == 1 && ChooseFast11(st, r, first, plan)) return plan;
  }
  job.general = rows::GeneralRow(dc, sc, st.src_factor, st.dst_factor, r.cov != nullptr);
  plan.outcome.used_dither =
      st.src_factor == kFactorSrcAlpha && st.dst_factor == kFactorOneMinusSrcAlpha;
  Choose(plan, BlendCase::kGeneral, RunGeneral);
  return plan;
}

template <typename T>
T* Offset(T* p, std::ptrdiff_t bytes) {
  using Byte = std::conditional_t<std::is_const_v<T>, const std::uint8_t, std::uint8_t>;
  return reinterpret_cast<T*>(reinterpret_cast<Byte*>(p) + bytes);
}

void RunRow(const RowJob& job, const RowPtrs& p) {
  job.run(job, p);
  if (job.scale_offset) rows::ScaleOffset(D4(p), p.n, job.packed_scale, job.packed_offset);
}

}  // namespace

BlendOutcome BlendBlock(const BlendSetup& setup, const BlendRows& r) {
  return BlendBlock(setup, r, ActiveKernels());
}

BlendOutcome BlendBlock(const BlendSetup& setup, const BlendRows& r, const BlendKernels& kernels) {
  const Plan plan = MakePlan(setup, r, r.src, kernels);
  if (plan.job.run == nullptr) return plan.outcome;
  const std::ptrdiff_t row_bytes = std::ptrdiff_t{r.width} * 4;
  if (plan.job.run == RunCopy && !plan.job.scale_offset && r.dst_stride == row_bytes &&
      r.src_stride == row_bytes) {
    // Whole pages are contiguous: one copy instead of one per row.
    rows::Copy(static_cast<std::uint32_t*>(r.dst), static_cast<const std::uint32_t*>(r.src),
               r.width * r.height);
    return plan.outcome;
  }
  // Coverage rows far apart (a block of an image wider than a page) are
  // fetched a few rows ahead: the hardware does not follow that stride, and
  // the row would otherwise wait for each coverage row in turn.
  const int fetch_ahead =
      r.cov != nullptr && r.cov_stride > r.width ? r.height - kCoverageAhead : 0;
  for (int y = 0; y < r.height; ++y) {
    if (y < fetch_ahead) {
      const std::uint8_t* ahead = r.cov + (y + kCoverageAhead) * r.cov_stride;
      for (int i = 0; i < r.width; i += 64) __builtin_prefetch(ahead + i);
      __builtin_prefetch(ahead + r.width - 1);
    }
    RowPtrs p;
    p.d = Offset(r.dst, y * r.dst_stride);
    p.s = r.src_constant ? r.src : Offset(r.src, y * r.src_stride);
    p.cov = r.cov != nullptr ? Offset(r.cov, y * r.cov_stride) : nullptr;
    p.low = r.low != nullptr ? Offset(r.low, y * r.low_stride) : nullptr;
    p.copy = r.dst_copy != nullptr ? Offset(r.dst_copy, y * r.dst_copy_stride) : nullptr;
    p.n = r.width;
    RunRow(plan.job, p);
  }
  return plan.outcome;
}

BlendOutcome BlendSpanBlock(const BlendSetup& setup, const BlendRows& r, const int* col_map,
                            const int* row_map) {
  return BlendSpanBlock(setup, r, col_map, row_map, ActiveKernels());
}

BlendOutcome BlendSpanBlock(const BlendSetup& setup, const BlendRows& r, const int* col_map,
                            const int* row_map, const BlendKernels& kernels) {
  if (r.width <= 0 || r.height <= 0 || r.src == nullptr) return BlendOutcome{};
  const int sc = setup.src_channels == 1 ? 1 : 4;
  const int dc = setup.dst_channels == 1 ? 1 : 4;
  const void* first =
      r.src_constant ? r.src
                     : Offset(r.src, row_map[0] * r.src_stride + std::ptrdiff_t{col_map[0]} * sc);
  const Plan plan = MakePlan(setup, r, first, kernels);
  if (plan.job.run == nullptr) return plan.outcome;

  alignas(32) std::uint32_t src_buf[kSpanChunk];
  alignas(32) std::uint8_t cov_buf[kSpanChunk];
  for (int y = 0; y < r.height; ++y) {
    const auto* src_row =
        static_cast<const std::uint8_t*>(r.src) + std::ptrdiff_t{row_map[y]} * r.src_stride;
    const std::uint8_t* cov_row =
        r.cov != nullptr ? r.cov + std::ptrdiff_t{row_map[y]} * r.cov_stride : nullptr;
    for (int x0 = 0; x0 < r.width; x0 += kSpanChunk) {
      const int n = r.width - x0 < kSpanChunk ? r.width - x0 : kSpanChunk;
      const int* cols = col_map + x0;
      if (!r.src_constant) {
        if (sc == 4) {
          for (int i = 0; i < n; ++i) std::memcpy(&src_buf[i], src_row + cols[i] * 4, 4);
        } else {
          auto* bytes = reinterpret_cast<std::uint8_t*>(src_buf);
          for (int i = 0; i < n; ++i) bytes[i] = src_row[cols[i]];
        }
      }
      if (cov_row != nullptr) {
        for (int i = 0; i < n; ++i) cov_buf[i] = cov_row[cols[i]];
      }
      RowPtrs p;
      p.d = Offset(r.dst, y * r.dst_stride + std::ptrdiff_t{x0} * dc);
      p.s = r.src_constant ? r.src : src_buf;
      p.cov = cov_row != nullptr ? cov_buf : nullptr;
      p.low =
          r.low != nullptr ? Offset(r.low, y * r.low_stride + std::ptrdiff_t{x0} * dc) : nullptr;
      p.copy = r.dst_copy != nullptr
                   ? Offset(r.dst_copy, y * r.dst_copy_stride + std::ptrdiff_t{x0} * dc)
                   : nullptr;
      p.n = n;
      RunRow(plan.job, p);
    }
  }
  return plan.outcome;
}

ZoomRun MapZoomedSpan(int origin, int first, int n, double zoom, int src_origin, int src_lo,
                      int src_end, int* map) {
  ZoomRun run;
  if (n <= 0 || !std::isfinite(zoom) || zoom == 0.0) return run;
  bool started = false;
  for (int i = 0; i < n; ++i) {
    const double d = static_cast<double>(static_cast<long long>(first) + i - origin);
    const double v = std::round(d / zoom + static_cast<double>(src_origin));
    if (!(v >= src_lo && v < src_end)) continue;
    map[i] = static_cast<int>(v);
    if (!started) {
      run.offset = i;
      started = true;
    }
    run.count = i - run.offset + 1;
  }
  return run;
}

}  // namespace brenmark
