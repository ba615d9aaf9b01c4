// The general blend: one scalar row per (destination channels, source
// channels, source factor, destination factor, coverage) combination, all
// instantiated from one template so the choice is made once per block.
#include <array>
#include <cstdint>
#include <utility>

#include "paintops/blend_rows.h"
#include "paintops/fixed_point.h"

namespace brenmark::rows {
namespace {

using fixed::Alpha;
using fixed::SatAdd8;
using fixed::SatAddPixel;
using fixed::Scale8;
using fixed::ScalePixel;

// term(code, p) on a packed pixel: 0, p, scale(p, a), scale(p, 256 - a),
// scale(p, A), scale(p, 256 - A). scale(p, 256) is p, which covers "p itself
// when a = 0" for code 7.
template <int Code>
inline std::uint32_t TermPixel(std::uint32_t p, std::uint32_t a, std::uint32_t da) {
  if constexpr (Code == kFactorZero) return 0;
  if constexpr (Code == kFactorOne) return p;
  if constexpr (Code == kFactorSrcAlpha) return ScalePixel(p, a, 0);
  if constexpr (Code == kFactorOneMinusSrcAlpha) return ScalePixel(p, 256 - a, 0);
  if constexpr (Code == kFactorDstAlpha) return ScalePixel(p, da, 0);
  if constexpr (Code == kFactorOneMinusDstAlpha) return ScalePixel(p, 256 - da, 0);
  return 0;
}

// The same term on one channel.
template <int Code>
inline std::uint32_t Term1(std::uint32_t p, std::uint32_t a, std::uint32_t da) {
  if constexpr (Code == kFactorZero) return 0;
  if constexpr (Code == kFactorOne) return p;
  if constexpr (Code == kFactorSrcAlpha) return Scale8(p, a, 0);
  if constexpr (Code == kFactorOneMinusSrcAlpha) return Scale8(p, 256 - a, 0);
  if constexpr (Code == kFactorDstAlpha) return Scale8(p, da, 0);
  if constexpr (Code == kFactorOneMinusDstAlpha) return Scale8(p, 256 - da, 0);
  return 0;
}

// Four-channel destination. A one-channel source acts as a pixel with only
// channel 0 set. a = coverage when present, else the source's channel 0.
// Pairs: (1, 7) satadd(s, scale(d, 256 - a)), a = 0 skipped;
//        (6, 7) lerp(s, a, d, 256 - a) with the dither bias;
//        (9, 6) lerp(s, 256 - A, d, a);
//        others satadd(term(SF, s), term(DF, d)).
template <int SC, int SF, int DF, bool Cov>
void Row4(void* dv, const void* sv, int s_step, const std::uint8_t* cov, int n, std::uint32_t mask,
          std::uint8_t dither) {
  auto* d = static_cast<std::uint32_t*>(dv);
  const auto* s4 = static_cast<const std::uint32_t*>(sv);
  const auto* s1 = static_cast<const std::uint8_t*>(sv);
  const std::uint32_t bias14 = fixed::Bias14(fixed::kBiasDither, dither);
  for (int i = 0; i < n; ++i) {
    const std::size_t si = static_cast<std::size_t>(i) * static_cast<std::size_t>(s_step);
    const std::uint32_t s = SC == 4 ? s4[si] : static_cast<std::uint32_t>(s1[si]) << 24;
    const std::uint32_t a = Cov ? cov[i] : Alpha(s);
    if (Cov && a == 0) continue;
    const std::uint32_t old = d[i];
    const std::uint32_t da = Alpha(old);
    std::uint32_t out;
    if constexpr (SF == kFactorOne && DF == kFactorOneMinusSrcAlpha) {
      if (a == 0) continue;
      out = SatAddPixel(s, ScalePixel(old, 256 - a, 0));
    } else if constexpr (SF == kFactorSrcAlpha && DF == kFactorOneMinusSrcAlpha) {
      out = fixed::LerpPixel(s, a, old, 256 - a, bias14);
    } else if constexpr (SF == kFactorOneMinusDstAlpha && DF == kFactorSrcAlpha) {
      out = fixed::LerpPixel(s, 256 - da, old, a, 0);
    } else {
      out = SatAddPixel(TermPixel<SF>(s, a, da), TermPixel<DF>(old, a, da));
    }
    d[i] = fixed::MergeMasked(old, out, mask);
  }
}

// One-channel destination: a four-channel source gives its channel 0. The
// one-channel forms round with (p*f + q*g + bias) >> 8; the lerp of (6, 7)
// adds the dither byte.
template <int SC, int SF, int DF, bool Cov>
void Row1(void* dv, const void* sv, int s_step, const std::uint8_t* cov, int n, std::uint32_t mask,
          std::uint8_t dither) {
  auto* d = static_cast<std::uint8_t*>(dv);
  const auto* s4 = static_cast<const std::uint32_t*>(sv);
  const auto* s1 = static_cast<const std::uint8_t*>(sv);
  const std::uint32_t byte_mask = mask >> 24;
  for (int i = 0; i < n; ++i) {
    const std::size_t si = static_cast<std::size_t>(i) * static_cast<std::size_t>(s_step);
    const std::uint32_t s = SC == 4 ? Alpha(s4[si]) : s1[si];
    const std::uint32_t a = Cov ? cov[i] : s;
    if (Cov && a == 0) continue;
    const std::uint32_t old = d[i];
    std::uint32_t out;
    if constexpr (SF == kFactorOne && DF == kFactorOneMinusSrcAlpha) {
      if (a == 0) continue;
      out = SatAdd8(s, Scale8(old, 256 - a, 0));
    } else if constexpr (SF == kFactorSrcAlpha && DF == kFactorOneMinusSrcAlpha) {
      out = fixed::Lerp8(s, a, old, 256 - a, dither);
    } else if constexpr (SF == kFactorOneMinusDstAlpha && DF == kFactorSrcAlpha) {
      out = fixed::Lerp8(s, 256 - old, old, a, 0);
    } else {
      out = SatAdd8(Term1<SF>(s, a, old), Term1<DF>(old, a, old));
    }
    d[i] = static_cast<std::uint8_t>(fixed::MergeMasked(old, out, byte_mask));
  }
}

constexpr int kCodes[6] = {kFactorZero,     kFactorOne,
                           kFactorSrcAlpha, kFactorOneMinusSrcAlpha,
                           kFactorDstAlpha, kFactorOneMinusDstAlpha};

template <int DC, int SC, bool Cov, std::size_t... I>
constexpr std::array<GeneralRowFn, 36> MakeTable(std::index_sequence<I...>) {
  if constexpr (DC == 4) {
    return {&Row4<SC, kCodes[I / 6], kCodes[I % 6], Cov>...};
  } else {
    return {&Row1<SC, kCodes[I / 6], kCodes[I % 6], Cov>...};
  }
}

template <int DC, int SC, bool Cov>
constexpr std::array<GeneralRowFn, 36> kTable =
    MakeTable<DC, SC, Cov>(std::make_index_sequence<36>());

int CodeIndex(int code) {
  for (int i = 0; i < 6; ++i) {
    if (kCodes[i] == code) return i;
  }
  return -1;
}

}  // namespace

GeneralRowFn GeneralRow(int dst_channels, int src_channels, int src_factor, int dst_factor,
                        bool coverage) {
  const int si = CodeIndex(src_factor);
  const int di = CodeIndex(dst_factor);
  if (si < 0 || di < 0) return nullptr;
  const int idx = si * 6 + di;
  if (dst_channels == 4 && src_channels == 4)
    return coverage ? kTable<4, 4, true>[idx] : kTable<4, 4, false>[idx];
  if (dst_channels == 4 && src_channels == 1)
    return coverage ? kTable<4, 1, true>[idx] : kTable<4, 1, false>[idx];
  if (dst_channels == 1 && src_channels == 4)
    return coverage ? kTable<1, 4, true>[idx] : kTable<1, 4, false>[idx];
  if (dst_channels == 1 && src_channels == 1)
    return coverage ? kTable<1, 1, true>[idx] : kTable<1, 1, false>[idx];
  return nullptr;
}

}  // namespace brenmark::rows
