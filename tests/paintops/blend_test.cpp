// The fixed-point helpers the rows are built from (the packed four-channel
// forms against the one-channel definitions, over every channel value and
// factor; the dither counter), the scalar reference rows against
// hand-computed pixels, and the block switch that runs them: which case runs
// for which settings, and the edge cases a painter relies on (constant
// sources, write masks, coverage 0, mask blend, zoomed copies).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <tuple>
#include <vector>

#include "paintops/blend_block.h"
#include "paintops/blend_rows.h"
#include "paintops/dither.h"
#include "paintops/fixed_point.h"

namespace brenmark::fixed {
namespace {

// A pixel whose four channels are distinct functions of v, so a carry from
// one channel into its neighbour shows up as a wrong channel.
std::uint32_t Spread(std::uint32_t v) {
  return (v << 24) | ((255 - v) << 16) | ((v ^ 0x5Au) << 8) | ((v * 7 + 3) & 0xFFu);
}

TEST(FixedPoint, BiasTablesMergeAndByteReversal) {
  // Truncate, half, full and dither (0x9C >> 2 for the 14-bit lerp).
  for (auto [bias, want8, want14] : {std::tuple{kBiasTruncate, 0u, 0u},
                                     {kBiasHalf, 127u, 31u},
                                     {kBiasFull, 255u, 63u},
                                     {kBiasDither, 0x9Cu, 0x27u}}) {
    EXPECT_EQ(Bias8(bias, 0x9C), want8) << bias;
    EXPECT_EQ(Bias14(bias, 0x9C), want14) << bias;
  }
  EXPECT_EQ(MergeMasked(0x11223344u, 0xAABBCCDDu, 0xFFFFFF00u), 0xAABBCC44u);
  EXPECT_EQ(MergeMasked(0x11223344u, 0xAABBCCDDu, 0u), 0x11223344u);
  for (std::uint32_t v = 0; v < 512; ++v) {  // the dither's bit reversal of the low byte
    std::uint32_t want = 0;
    for (int bit = 0; bit < 8; ++bit) want |= v & (1u << bit) ? 0x80u >> bit : 0;
    ASSERT_EQ(ReverseByte(v), want) << v;
  }
}

// The packed forms against their one-channel definitions: every channel
// value v against every factor (or second value) w, each bias, and for the
// lerp a second pixel that varies with both.
TEST(FixedPoint, PackedFormsMatchTheOneChannelDefinitions) {
  using Fn = std::function<std::uint32_t(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                         int)>;  // (p, w, q, bias, channel)
  const struct {
    const char* what;
    std::uint32_t last_w;
    std::uint32_t (*bias)(int, std::uint8_t);  // with the dither byte below; none: no bias
    std::uint8_t dither;
    Fn packed, channel;
  } ops[] = {
      {"ScalePixel", 256, Bias8, 0xA5,
       [](auto p, auto w, auto, auto b, int) { return ScalePixel(p, w, b); },
       [](auto p, auto w, auto, auto b, int c) { return Scale8(Channel(p, c), w, b); }},
      {"LerpPixel", 256, Bias14, 0xFF,
       [](auto p, auto w, auto q, auto b, int) { return LerpPixel(p, w, q, 256 - w, b); },
       [](auto p, auto w, auto q, auto b, int c) {
         return Lerp14(Channel(p, c), w, Channel(q, c), 256 - w, b);
       }},
      {"SatAddPixel", 255, nullptr, 0,
       [](auto p, auto w, auto, auto, int) { return SatAddPixel(p, Spread(w)); },
       [](auto p, auto w, auto, auto, int c) {
         return std::min(255u, Channel(p, c) + Channel(Spread(w), c));
       }},
      {"MultiplyPixel", 255, nullptr, 0,
       [](auto p, auto w, auto, auto, int) { return MultiplyPixel(p, Spread(w)); },
       [](auto p, auto w, auto, auto, int c) {
         return (Channel(p, c) * Channel(Spread(w), c)) >> 8;
       }},
  };
  for (const auto& op : ops) {
    for (int bias_index = 0; bias_index < (op.bias ? 4 : 1); ++bias_index) {
      const std::uint32_t bias = op.bias ? op.bias(bias_index, op.dither) : 0;
      for (std::uint32_t v = 0; v < 256; ++v) {
        for (std::uint32_t w = 0; w <= op.last_w; ++w) {
          const std::uint32_t p = Spread(v), q = Spread((v * 7 + w) & 0xFF);
          const std::uint32_t got = op.packed(p, w, q, bias, 0);
          for (int c = 0; c < 4; ++c) {
            const std::uint32_t want = op.channel(p, w, q, bias, c);
            ASSERT_LE(want, 255u);
            ASSERT_EQ(Channel(got, c), want)
                << op.what << " v " << v << " w " << w << " bias " << bias;
          }
        }
      }
    }
  }
}

TEST(FixedPoint, ScaleBy256IsIdentityAndBy0IsZero) {
  for (std::uint32_t v = 0; v < 256; ++v) {
    ASSERT_EQ(Scale8(v, 256, 255), v);
    ASSERT_EQ(Scale8(v, 0, 255), 0u);
  }
  EXPECT_EQ(Scale8(255, 255, 0), 254u);  // 255/256, not one
}

TEST(FixedPoint, LerpTruncatesEachProductBeforeAdding) {
  // 255*255 >> 2 = 16256 and 255*1 >> 2 = 63: 16319 >> 6 = 254, where an
  // exact (255*255 + 255*1) >> 8 would give 255.
  EXPECT_EQ(Lerp14(255, 255, 255, 1, 0), 254u);
  EXPECT_EQ(Lerp8(255, 255, 255, 1, 0), 255u);
  // Saturation at 0x3FFF: the full bias on an opaque pair stays 255.
  EXPECT_EQ(Lerp14(255, 256, 255, 256, 63), 255u);
  EXPECT_EQ(Lerp8(255, 256, 255, 256, 255), 255u);
}

// The counter skips values whose low six bits are zero, so once started no
// dithered blend uses one of the four smallest biases (their reversed low
// bytes are 0..3), and consecutive blends never share a bias. The advance
// rule itself is checked through the painter.
TEST(Dither, CounterSkipsValuesWhoseLowSixBitsAreZero) {
  std::uint32_t c = 0;
  std::uint8_t previous = ReverseByte(c);
  EXPECT_EQ(previous, 0);  // the first dithered blend truncates
  for (int i = 1; i <= 1000; ++i) {
    c = brenmark::NextDitherCounter(c);
    if (i == 64 || i == 127) {
      EXPECT_EQ(c, i == 64 ? 65u : 129u);  // 64 and 128 skipped
    }
    ASSERT_NE(c & 0x3Fu, 0u) << c;
    const std::uint8_t v = ReverseByte(c);
    ASSERT_NE(v, previous);
    ASSERT_GE(v, 4) << "counter " << c;
    previous = v;
  }
}

}  // namespace
}  // namespace brenmark::fixed

namespace brenmark::rows {
namespace {

constexpr int kCodes[6] = {0, 1, 6, 7, 8, 9};

// d = 0xA0432917 (A = 160), s = 0x4511233B (a = 69): every factor distinct
// (a 69, 256 - a 187, A 160, 256 - A 96). Dither 0xB7.
constexpr std::uint32_t kDst = 0xA0432917u;
constexpr std::uint32_t kSrc = 0x4511233Bu;
constexpr std::uint8_t kDither = 0xB7;

// Rows: source factor 0, 1, 6, 7, 8, 9; columns: destination factor likewise.
constexpr std::uint32_t kGeneral44[6][6] = {
    {0x00000000u, 0xA0432917u, 0x2B120B06u, 0x74301D10u, 0x6429190Eu, 0x3C190F08u},
    {0x4511233Bu, 0xE5544C52u, 0x70232E41u, 0xB941404Bu, 0xA93A3C49u, 0x812A3243u},
    {0x1204090Fu, 0xB2473226u, 0x3D161415u, 0x88362821u, 0x762D221Du, 0x4E1D1817u},
    {0x320C192Bu, 0xD24F4242u, 0x5D1E2431u, 0xA63C363Bu, 0x96353239u, 0x6E252833u},
    {0x2B0A1524u, 0xCB4D3E3Bu, 0x561C202Au, 0x9F3A3234u, 0x8F332E32u, 0x6723242Cu},
    {0x19060D16u, 0xB949362Du, 0x4518181Cu, 0x8D362A26u, 0x7D2F2624u, 0x551F1C1Eu},
};

// The same with coverage 0x93 instead of the source alpha.
constexpr std::uint32_t kGeneral44Coverage[6][6] = {
    {0x00000000u, 0xA0432917u, 0x5B26170Du, 0x441C1109u, 0x6429190Eu, 0x3C190F08u},
    {0x4511233Bu, 0xE5544C52u, 0xA0373A48u, 0x892D3444u, 0xA93A3C49u, 0x812A3243u},
    {0x27091421u, 0xC74C3D38u, 0x822F2B2Eu, 0x6C26262Cu, 0x8B322D2Fu, 0x63222329u},
    {0x1D070E19u, 0xBD4A3730u, 0x782D2526u, 0x61231F22u, 0x81302727u, 0x59201D21u},
    {0x2B0A1524u, 0xCB4D3E3Bu, 0x86302C31u, 0x6F26262Du, 0x8F332E32u, 0x6723242Cu},
    {0x19060D16u, 0xB949362Du, 0x752C2423u, 0x5D221E1Fu, 0x7D2F2624u, 0x551F1C1Eu},
};

// One-channel source 0x45 (a pixel with only channel 0 set) on kDst.
constexpr std::uint32_t kGeneral41[6][6] = {
    {0x00000000u, 0xA0432917u, 0x2B120B06u, 0x74301D10u, 0x6429190Eu, 0x3C190F08u},
    {0x45000000u, 0xE5432917u, 0x70120B06u, 0xB9301D10u, 0xA929190Eu, 0x81190F08u},
    {0x12000000u, 0xB2432917u, 0x3D120B06u, 0x88311E11u, 0x7629190Eu, 0x4E190F08u},
    {0x32000000u, 0xD2432917u, 0x5D120B06u, 0xA6301D10u, 0x9629190Eu, 0x6E190F08u},
    {0x2B000000u, 0xCB432917u, 0x56120B06u, 0x9F301D10u, 0x8F29190Eu, 0x67190F08u},
    {0x19000000u, 0xB9432917u, 0x45120B06u, 0x8D301D10u, 0x7D29190Eu, 0x55190F08u},
};

// One-channel destination 0xA3, source value 0x45 (or a four-channel source
// whose channel 0 is 0x45).
constexpr std::uint8_t kGeneral11[6][6] = {
    {0, 163, 43, 119, 103, 59},   {69, 232, 112, 188, 172, 128}, {18, 181, 61, 138, 121, 77},
    {50, 213, 93, 169, 153, 109}, {43, 206, 86, 162, 146, 102},  {25, 188, 69, 144, 128, 84},
};
constexpr std::uint8_t kGeneral11Coverage[6][6] = {
    {0, 163, 93, 69, 103, 59},   {69, 232, 162, 138, 172, 128}, {39, 202, 132, 109, 142, 98},
    {29, 192, 122, 98, 132, 88}, {43, 206, 136, 112, 146, 102}, {25, 188, 118, 94, 128, 84},
};

TEST(GeneralBlend, EveryPairForEveryChannelCombination) {
  const std::uint8_t m = 0x45;
  const std::uint8_t cov = 0x93;
  const struct {
    int dc, sc;
    bool coverage;
    const void* src;
    const std::uint32_t (*want4)[6];
    const std::uint8_t (*want1)[6];
  } cases[] = {
      {4, 4, false, &kSrc, kGeneral44, nullptr}, {4, 4, true, &kSrc, kGeneral44Coverage, nullptr},
      {4, 1, false, &m, kGeneral41, nullptr},    {1, 1, false, &m, nullptr, kGeneral11},
      {1, 4, false, &kSrc, nullptr, kGeneral11}, {1, 1, true, &m, nullptr, kGeneral11Coverage}};
  for (const auto& c : cases) {
    for (int si = 0; si < 6; ++si) {
      for (int di = 0; di < 6; ++di) {
        std::uint32_t d4 = kDst;
        std::uint8_t d1 = 0xA3;
        GeneralRow(c.dc, c.sc, kCodes[si], kCodes[di], c.coverage)(
            c.dc == 4 ? static_cast<void*>(&d4) : &d1, c.src, 1, c.coverage ? &cov : nullptr, 1,
            ~0u, kDither);
        const unsigned got = c.dc == 4 ? d4 : d1;
        const unsigned want = c.dc == 4 ? c.want4[si][di] : c.want1[si][di];
        EXPECT_EQ(got, want) << c.dc << "/" << c.sc << (c.coverage ? " coverage (" : " (")
                             << kCodes[si] << ", " << kCodes[di] << ")";
      }
    }
  }
}

// Coverage 0 leaves every pair alone (a constant source takes each pixel's
// own coverage), an over of alpha 0 skips even a coloured pixel, and a
// write mask keeps its channels.
TEST(GeneralBlend, PixelsAndChannelsThatAreLeftAlone) {
  const std::uint8_t cov[4] = {0, 0x93, 0, 0x93};
  const std::uint8_t m[3] = {0x45, 0x45, 0x45};
  const std::uint32_t src[3] = {kSrc, kSrc, kSrc};
  const int flags[4] = {1, 1, 1, 0};
  const std::uint32_t mask = MakeWriteMask(flags, 4);
  EXPECT_EQ(mask, 0xFFFFFF00u);
  for (int sf : kCodes) {
    for (int df : kCodes) {
      std::uint32_t d[3] = {kDst, kDst, kDst};
      GeneralRow(4, 4, sf, df, true)(d, src, 1, cov, 3, ~0u, kDither);
      EXPECT_EQ((std::tuple{d[0], d[2]}), (std::tuple{kDst, kDst}));
      std::uint8_t d1[3] = {0xA3, 0xA3, 0xA3};
      GeneralRow(1, 1, sf, df, true)(d1, m, 1, cov, 3, ~0u, kDither);
      EXPECT_EQ((std::tuple{d1[0], d1[2]}), (std::tuple{0xA3, 0xA3}));
      std::uint32_t w = kDst;
      GeneralRow(4, 4, sf, df, false)(&w, &kSrc, 1, nullptr, 1, mask, kDither);
      EXPECT_EQ(w & 0xFFu, kDst & 0xFFu);
    }
  }
  std::uint32_t c[4] = {kDst, kDst, kDst, kDst};
  const std::uint8_t full[4] = {0, 0x93, 0xFF, 0x93};
  GeneralRow(4, 4, 6, 7, true)(c, &kSrc, 0, full, 4, ~0u, kDither);
  EXPECT_EQ((std::tuple{c[0], c[1]}), (std::tuple{kDst, kGeneral44Coverage[2][3]}));
  EXPECT_EQ(c[3], kGeneral44Coverage[2][3]);
  EXPECT_NE(c[2], c[1]);
  const std::uint32_t clear[2] = {0x00FF0000u, 0x00000000u};
  std::uint32_t o[2] = {kDst, kDst};
  GeneralRow(4, 4, 1, 7, false)(o, clear, 1, nullptr, 2, ~0u, 0);
  EXPECT_EQ((std::tuple{o[0], o[1]}), (std::tuple{kDst, kDst}));
  // One channel: only the first flag counts, and its mask is the top byte.
  const int off[4] = {0, 1, 1, 1};
  EXPECT_EQ(MakeWriteMask(off, 1), 0x00FFFFFFu);
  EXPECT_EQ(MakeWriteMask(flags, 1), 0xFFFFFFFFu);
  std::uint8_t d1 = 0xA3;
  GeneralRow(1, 1, 1, 0, false)(&d1, m, 1, nullptr, 1, MakeWriteMask(off, 1), 0);
  EXPECT_EQ(d1, 0xA3);
}

using Row = std::vector<std::uint32_t>;

// `op` run over a copy of the row `d`; what it leaves.
template <typename Op>
Row After(Row d, const Op& op) {
  op(d.data());
  return d;
}

// The fast four-channel rows on hand-computed pixels: each runs over a
// destination row and must leave the row given (a failure quotes the call).
// (Over, (8, 0), multiply, erase and scale-and-offset are pinned by the block
// tests through the rows the block switch picks; the 16-bit brush and the
// marker have tests of their own below.)
TEST(FastRows, FourChannelRowsOnKnownPixels) {
  const std::uint8_t m[3] = {0x40, 0, 255};
  const std::uint8_t cov[3] = {128, 0, 64};
  const std::uint32_t over[4] = {0x40102030u, 0x80FF0000u, 0x00000000u, 0xFF123456u};
  const std::uint32_t brushed[2] = {kSrc, 0xFFFFFFFFu};
  const std::uint8_t c2[2] = {0x93, 0};
  const std::uint32_t white = 0xFFFFFFFFu;
  const std::uint32_t copy[3] = {0xFF102030u, 0xFF102030u, 0xFF102030u};
  const std::uint32_t copied[2] = {0xAABBCCDDu, 0x99999999u};
  const int flags[4] = {1, 1, 0, 1};  // channel 2: bits 8-15
  // * 192/256 + s, saturated; alpha 0 skipped; opaque replaces.
  EXPECT_EQ(After({0x80402010u, 0xFFFFFFFFu, kDst, kDst}, [&](auto* d) { Over(d, over, 4); }),
            (Row{0xA040383Cu, 0xFFFF7F7Fu, kDst, 0xFF123456u}));
  EXPECT_EQ(After({kDst}, [](auto* d) { OverConst(d, kSrc, 1); }), (Row{kGeneral44[1][3]}));
  EXPECT_EQ(After({kDst}, [](auto* d) { Under(d, &kSrc, 0, 1); }), (Row{0xB949362Du}));
  EXPECT_EQ(After({0x10F0F0F0u}, [&](auto* d) { Under(d, &white, 1, 1); }), (Row{white}));
  EXPECT_EQ(After({kDst}, [](auto* d) { ScaleConst(d, 64, 1); }), (Row{0x28100A05u}));
  EXPECT_EQ(After({kDst, kDst, kDst}, [&](auto* d) { KeepByRow(d, m, 3); }),
            (Row{0x28100A05u, 0u, kDst}));
  // (128*192 + 255*64) >> 8 = 159 in the last pixel.
  EXPECT_EQ(After({0, 0, 0x80808080u}, [&](auto* d) { BrushConst(d, 0xFF0000FFu, cov, 3, 0); }),
            (Row{0x7F00007Fu, 0u, 0x9F60609Fu}));
  // (255*128 + 255) >> 8 = 128; zero channels stay 0.
  EXPECT_EQ(After({0}, [&](auto* d) { BrushConst(d, 0xFF0000FFu, cov, 1, 255); }),
            (Row{0x80000080u}));
  EXPECT_EQ(After({kDst, kDst}, [&](auto* d) { Brush(d, brushed, c2, 2, kDither); }),
            (Row{0x6C27262Cu, kDst}));
  EXPECT_EQ(After({0x20406080u, 0x20406080u, 0x20406080u},
                  [&](auto* d) { MaskBlend(d, m, 1, copy, 3, ~0u); }),
            (Row{0x5734506Cu, 0x20406080u, 0xFF102030u}));
  EXPECT_EQ(After({0x20406080u}, [&](auto* d) { MaskBlend(d, m + 2, 0, copy, 1, 0xFFFFFF00u); }),
            (Row{0xFF102080u}));
  EXPECT_EQ(After({0x11223344u, 0x55667788u},
                  [&](auto* d) { CopyMasked(d, copied, 2, MakeWriteMask(flags, 4)); }),
            (Row{0xAABB33DDu, 0x99997799u}));
}

TEST(FastRows, OneChannelRows) {
  const std::uint8_t m[3] = {0x40, 0, 255};
  std::uint8_t k1[3] = {0xA3, 0xA3, 0xA3};
  KeepByRow1(k1, m, 1, 3);
  EXPECT_EQ(std::vector<int>(k1, k1 + 3), (std::vector<int>{0x28, 0, 0xA3}));
  // The brush uses channel 0 and treats 255 as full.
  std::uint8_t d[3] = {0xA3, 0xA3, 0xA3};
  const std::uint8_t cov[3] = {0x93, 0, 0x93};
  BrushOne(d, 0x45, cov, 2);
  BrushOne(d + 2, 255, cov + 2, 1);
  // (163*109 + 147*69) >> 8, untouched, (163*109 + 147*256) >> 8.
  EXPECT_EQ(std::vector<int>(d, d + 3), (std::vector<int>{109, 0xA3, 216}));
  const std::uint8_t c1[2] = {0xF0, 0xF0};
  std::uint8_t d1[2] = {0x10, 0x10};
  MaskBlend1(d1, m, 1, c1, 2, ~0u);
  EXPECT_EQ(d1[0], (0xF0 * 0x40 + 0x10 * 0xC0) >> 8);
  EXPECT_EQ(d1[1], 0x10);
}

TEST(FastRows, SixteenBitBrushOnFreshLowBits) {
  // Fresh low-order bits read 0x7F. Coverage 255 at opacity 1.0 takes the
  // 15-bit value about 99% of the way: 255 -> 253 in one dab.
  EXPECT_EQ(Opacity16(1.0f), 255);
  std::uint32_t d[2] = {0, 0x12345678u};
  std::uint32_t low[2] = {0x7F7F7F7Fu, 0x7F7F7F7Fu};
  const std::uint8_t cov[2] = {255, 0};
  Brush16Const(d, low, 0xFF0000FFu, cov, 2, 255, 0);
  EXPECT_EQ((std::tuple{d[0], low[0]}), (std::tuple{0xFD0000FDu, 0u}));
  EXPECT_EQ(d[1], 0x12345678u);  // coverage 0: both images untouched
  EXPECT_EQ(low[1], 0x7F7F7F7Fu);

  // Dither 255 adds 255 >> 6 = 3 to v, which lands in the low bits.
  d[0] = 0;
  low[0] = 0x7F7F7F7Fu;
  Brush16Const(d, low, 0xFF0000FFu, cov, 1, 255, 255);
  EXPECT_EQ((std::tuple{d[0], low[0]}), (std::tuple{0xFD0000FDu, 0x01010101u}));

  // A partial dab: d 0x80FF0010, low 0x40007F01, colour 0x00FF80FF,
  // coverage 128, k 200, dither 0xC0.
  std::uint32_t pd = 0x80FF0010u;
  std::uint32_t pl = 0x40007F01u;
  const std::uint8_t half = 128;
  Brush16Const(&pd, &pl, 0x00FF80FFu, &half, 1, 200, 0xC0);
  EXPECT_EQ((std::tuple{pd, pl}), (std::tuple{0x4EFE326Du, 0x277F4D2Fu}));

  std::uint8_t d1 = 0x80;
  std::uint8_t l1 = 0x40;
  Brush16One(&d1, &l1, 0xFF, &half, 1, 200, 0xC0);
  EXPECT_EQ((std::tuple{d1, l1}), (std::tuple{177, 117}));
}

TEST(FastRows, MarkerDarkensColourAndRaisesAlpha) {
  EXPECT_EQ((std::tuple{MarkerStrength(0.0f), MarkerStrength(0.5f)}), (std::tuple{6, 35}));
  EXPECT_EQ(MarkerStrength(1.0f), 64);
  std::uint32_t d[2] = {0x80402010u, 0x55555555u};
  std::uint32_t low[2] = {0x11223344u, 0x66666666u};
  const std::uint8_t cov[2] = {200, 0};
  const std::uint32_t colour = 0xFF2080C0u;
  Marker(d, low, &colour, 0, cov, 2, 40, 0x33);
  EXPECT_EQ((std::tuple{d[0], low[0], d[1]}), (std::tuple{0x8F3C281Bu, 0xAE3501FAu, 0x55555555u}));
  EXPECT_EQ(low[1], 0x66666666u);
  // On an empty canvas the marker lays down its own colour.
  std::uint32_t e = 0;
  std::uint32_t el = 0;
  const std::uint8_t full = 255;
  Marker(&e, &el, &colour, 0, &full, 1, 64, 0);
  EXPECT_EQ((std::tuple{e, el}), (std::tuple{0x3F071F2Fu, 0xC0F7DFCFu}));
}

}  // namespace
}  // namespace brenmark::rows

namespace brenmark {
namespace {

using Px = std::vector<std::uint32_t>;

// A w x h four-channel block over one buffer, with optional coverage.
struct Fixture4 {
  int w;
  int h;
  std::vector<std::uint32_t> dst;
  std::vector<std::uint32_t> src;
  std::vector<std::uint8_t> cov;
  std::vector<std::uint32_t> low;

  Fixture4(int width, int height, std::uint32_t d, std::uint32_t s)
      : w(width),
        h(height),
        dst(static_cast<std::size_t>(width) * height, d),
        src(static_cast<std::size_t>(width) * height, s),
        cov(static_cast<std::size_t>(width) * height, 255),
        low(static_cast<std::size_t>(width) * height, 0x7F7F7F7Fu) {}

  BlendRows Rows(bool constant, bool coverage, bool with_low = false) {
    BlendRows r;
    r.width = w;
    r.height = h;
    r.dst = dst.data();
    r.dst_stride = w * 4;
    r.src = src.data();
    r.src_stride = constant ? 0 : w * 4;
    r.src_constant = constant;
    if (coverage) {
      r.cov = cov.data();
      r.cov_stride = w;
    }
    if (with_low) {
      r.low = low.data();
      r.low_stride = w * 4;
    }
    return r;
  }
};

// One row of `width` pixels over caller buffers.
BlendRows Row(void* dst, const void* src, int width, bool constant = false,
              const std::uint8_t* cov = nullptr) {
  BlendRows r;
  r.width = width;
  r.height = 1;
  r.dst = dst;
  r.src = src;
  r.src_constant = constant;
  r.cov = cov;
  return r;
}

BlendSetup Pair(int sf, int df) {
  BlendSetup st;
  st.src_factor = sf;
  st.dst_factor = df;
  return st;
}

// Uniform four-channel blocks (every destination pixel d, every source
// pixel s, coverage 255 where given): the case the switch takes and the
// pixel every destination ends with.
TEST(BlendBlock, CaseAndPixelsForEachSetting) {
  using enum BlendCase;
  const std::uint32_t kNoAlpha = 0xFFFFFF00u;  // bits 0-7 locked
  const struct {
    const char* what;
    int sf, df;
    std::uint32_t d, s;
    bool constant, coverage;
    BlendCase chosen;
    std::uint32_t want;
    std::uint32_t mask = ~0u, scale = ~0u, offset = 0;  // write mask, packed scale and offset
  } cases[] = {
      {"opaque constant over", 1, 7, 0x80402010u, 0xFF336699u, true, false, kFill, 0xFF336699u},
      {"transparent constant over", 1, 7, 0x80402010u, 0u, true, false, kNothing, 0x80402010u},
      {"premultiplied over", 1, 7, 0x80402010u, 0x40102030u, false, false, kOver, 0xA040383Cu},
      // A partial write mask skips the fast cases; bits 0-7 kept.
      {"over, bits 0-7 locked", 1, 7, 0x80402010u, 0x40102030u, false, false, kGeneral, 0xA0403810u,
       kNoAlpha, ~0u, 0},
      // The general lerp truncates each product: 255 at coverage 255 gives 254.
      {"brush, bits 0-7 locked", 6, 7, 0x10203040u, 0xFF0000FFu, true, true, kGeneral, 0xFE000040u,
       kNoAlpha, ~0u, 0},
      // (8, 0): destination alpha 255 takes the source as it is.
      {"(8, 0) opaque destination", 8, 0, 0xFF000000u, 0x4511233Bu, true, false, kDstAlpha,
       0x4511233Bu},
      {"(8, 0)", 8, 0, 0xA0432917u, 0x4511233Bu, true, false, kDstAlpha, 0x2B0A1524u},
      // (0, 6): a constant alpha of 255 is left to the general blend (255/256).
      {"(0, 6) constant 255", 0, 6, 0xA0432917u, 0xFF000000u, true, false, kGeneral, 0x9F422816u},
      {"(0, 6) constant 0", 0, 6, 0xA0432917u, 0x00123456u, true, false, kFill, 0u},
      // (0, 6) per pixel multiplies channel by channel; all-ones keeps.
      {"(0, 6) per pixel", 0, 6, 0xA0432917u, 0x80FF40C0u, false, false, kMultiply, 0x50420A11u},
      {"(0, 6) all ones", 0, 6, 0xA0432917u, 0xFFFFFFFFu, false, false, kMultiply, 0xA0432917u},
      // Scale bytes (bit 0 up) 0xFF, 0x40, 0xFF, 0x7F and 0x10 on bits 16-23
      // follow the fast copy; a constant replace is a general blend without them.
      {"scaled copy", 1, 0, 0u, 0x80FF4020u, false, false, kCopy, 0x3FFF1020u, ~0u, 0x7FFF40FFu,
       0x00100000u},
      {"scaled constant replace", 1, 0, 0u, 0x80FF4020u, true, false, kGeneral, 0x80FF4020u, ~0u,
       0x7FFF40FFu, 0x00100000u},
      {"no such factor", 2, 0, 0x12345678u, ~0u, false, false, kNothing, 0x12345678u},
  };
  for (const auto& c : cases) {
    Fixture4 f(3, 2, c.d, c.s);
    BlendSetup st = Pair(c.sf, c.df);
    st.write_mask = c.mask;
    st.packed_scale = c.scale;
    st.packed_offset = c.offset;
    const BlendOutcome out = BlendBlock(st, f.Rows(c.constant, c.coverage));
    EXPECT_EQ(out.chosen, c.chosen) << c.what;
    EXPECT_EQ(out.used_dither, c.coverage) << c.what;  // only the brush dithers
    for (std::uint32_t p : f.dst) ASSERT_EQ(p, c.want) << c.what;
  }
  // An empty block and a three-channel destination write nothing.
  Fixture4 f(2, 1, 0x12345678u, 0xFFFFFFFFu);
  BlendRows r = f.Rows(false, false);
  r.width = 0;
  EXPECT_EQ(BlendBlock(Pair(1, 0), r).chosen, BlendCase::kNothing);
  BlendSetup st = Pair(1, 0);
  st.dst_channels = 3;
  EXPECT_EQ(BlendBlock(st, f.Rows(false, false)).chosen, BlendCase::kNothing);
  EXPECT_EQ(f.dst[0], 0x12345678u);
}

TEST(BlendBlock, BrushBlendTakesTheFirstSourcePixelAsColour) {
  // Single-colour stamps: every pixel gets the first source pixel's colour
  // at its own coverage.
  Fixture4 f(4, 1, 0u, 0x11111111u);
  f.src[0] = 0xFF0000FFu;
  f.cov = {128, 0, 255, 64};
  BlendSetup st = Pair(6, 7);
  const BlendOutcome out = BlendBlock(st, f.Rows(false, true));
  EXPECT_EQ(out.chosen, BlendCase::kBrush);
  EXPECT_TRUE(out.used_dither);
  // Coverage 255: (255 * 255) >> 8 = 254.
  EXPECT_EQ(f.dst, (Px{0x7F00007Fu, 0u, 0xFE0000FEu, 0x3F00003Fu}));

  // Per-pixel stamps when single colour is off.
  Fixture4 p(2, 1, 0u, 0xFF0000FFu);
  p.src[1] = 0xFFFF0000u;
  st.single_color = false;
  BlendBlock(st, p.Rows(false, true));
  EXPECT_EQ(p.dst, (Px{0xFE0000FEu, 0xFEFE0000u}));
}

TEST(BlendBlock, SixteenBitBrushAndMarkerNeedTheirLowOrderRows) {
  BlendSetup st = Pair(6, 7);
  st.stamp16 = true;
  st.opacity16 = Opacity16(1.0f);
  Fixture4 f(3, 1, 0u, 0xFF0000FFu);
  // Its pixels and low bits are pinned on the row.
  EXPECT_EQ(BlendBlock(st, f.Rows(true, true, true)).chosen, BlendCase::kBrush16);

  // Without them the 16-bit brush falls back to the 8-bit one.
  Fixture4 g(3, 1, 0u, 0xFF0000FFu);
  EXPECT_EQ(BlendBlock(st, g.Rows(true, true, false)).chosen, BlendCase::kBrush);
  // The marker writes nothing at all without them.
  st.stamp16 = false;
  st.marker = true;
  st.marker_k = MarkerStrength(0.5f);
  Fixture4 m(3, 2, 0x80402010u, 0xFF2080C0u);
  EXPECT_EQ(BlendBlock(st, m.Rows(true, true, false)).chosen, BlendCase::kNothing);
  EXPECT_EQ(m.dst, Px(6, 0x80402010u));
  const BlendOutcome out = BlendBlock(st, m.Rows(true, true, true));
  EXPECT_EQ(out.chosen, BlendCase::kMarker);
  EXPECT_TRUE(out.used_dither);
  EXPECT_EQ(m.dst, Px(6, 0x913C291Du));
}

TEST(BlendBlock, OneChannelSourceScalesFourChannels) {
  std::vector<std::uint32_t> dst(3, 0xA0432917u);
  const std::uint8_t m[3] = {0x40, 0, 255};
  BlendRows r = Row(dst.data(), m, 3);
  BlendSetup st = Pair(0, 7);
  st.src_channels = 1;
  EXPECT_EQ(BlendBlock(st, r).chosen, BlendCase::kEraseByRow);
  EXPECT_EQ(dst, (Px{0x78321E11u, 0xA0432917u, 0u}));

  dst.assign(3, 0xA0432917u);
  r.src = m + 2;  // constant 255
  r.src_constant = true;
  st.dst_factor = 6;
  EXPECT_EQ(BlendBlock(st, r).chosen, BlendCase::kNothing);
  EXPECT_EQ(dst[0], 0xA0432917u);
}

TEST(BlendBlock, OneChannelBlocks) {
  std::vector<std::uint8_t> dst(4, 0xA3);
  const std::uint8_t cov[4] = {0x93, 0, 0x93, 0x93};
  const std::uint32_t colour = 0x4511233Bu;
  BlendSetup st = Pair(6, 7);
  st.dst_channels = 1;
  EXPECT_EQ(BlendBlock(st, Row(dst.data(), &colour, 4, true, cov)).chosen, BlendCase::kBrush);
  EXPECT_EQ((std::tuple{dst[0], dst[1]}), (std::tuple{109, 0xA3}));

  // (0, 6) with a constant 255 keeps the destination.
  const std::uint8_t full = 255;
  std::vector<std::uint8_t> keep(2, 0xA3);
  const BlendRows k = Row(keep.data(), &full, 2, true);
  BlendSetup ks = Pair(0, 6);
  ks.dst_channels = 1;
  ks.src_channels = 1;
  EXPECT_EQ(BlendBlock(ks, k).chosen, BlendCase::kNothing);
  EXPECT_EQ(keep[0], 0xA3);
  // (1, 7) with a constant 255 fills.
  ks.src_factor = 1;
  ks.dst_factor = 7;
  EXPECT_EQ((std::tuple{BlendBlock(ks, k).chosen, keep[1]}), (std::tuple{BlendCase::kFill, 255}));
}

TEST(BlendBlock, MaskBlendRevealsTheCopyAndRefusesBadParameters) {
  std::vector<std::uint32_t> dst(3, 0x20406080u);
  const std::vector<std::uint32_t> copy(3, 0xFF102030u);
  const std::uint8_t m[3] = {0x40, 0, 255};
  BlendRows r = Row(dst.data(), m, 3);
  r.dst_copy = copy.data();
  BlendSetup st = Pair(1, 0);
  st.src_channels = 1;
  st.mask_blend = true;
  st.write_mask = 0xFFFFFF00u;  // still honoured
  EXPECT_EQ(BlendBlock(st, r).chosen, BlendCase::kMaskBlend);
  EXPECT_EQ(dst, (Px{0x57345080u, 0x20406080u, 0xFF102080u}));

  // Without the copy: the message, then the ordinary (1, 0) blend.
  dst.assign(3, 0x20406080u);
  r.dst_copy = nullptr;
  st.write_mask = ~0u;
  testing::internal::CaptureStderr();
  const BlendOutcome out = BlendBlock(st, r);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "SID:Invalid parms for mask blend\n");
  EXPECT_EQ((std::tuple{out.chosen, dst[0]}), (std::tuple{BlendCase::kGeneral, 0x40000000u}));
}

TEST(ZoomedCopy, ColumnMapRoundsHalvesAwayFromZero) {
  // 4 x 4 source at (0, 0), zoom 2, destination 8 wide at 0: columns take
  // 0, 1, 1, 2, 2, 3, 3 and column 7 (source 4) is outside.
  std::vector<int> map(8, -99);
  const ZoomRun run = MapZoomedSpan(0, 0, 8, 2.0, 0, 0, 4, map.data());
  EXPECT_EQ((std::tuple{run.offset, run.count}), (std::tuple{0, 7}));
  EXPECT_EQ(map, (std::vector<int>{0, 1, 1, 2, 2, 3, 3, -99}));

  // Negative columns round away from zero too: -1.5 -> -2, -0.5 -> -1.
  std::vector<int> neg(3);
  const ZoomRun n = MapZoomedSpan(0, -3, 3, 2.0, 0, -5, 5, neg.data());
  EXPECT_EQ(n.count, 3);
  EXPECT_EQ(neg, (std::vector<int>{-2, -1, -1}));

  // A page starting inside the span; a source that begins at column 2.
  std::vector<int> part(4, -99);
  const ZoomRun p = MapZoomedSpan(0, 2, 4, 2.0, 0, 2, 4, part.data());
  EXPECT_EQ(p.offset, 1);  // column 2 -> 1, outside
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(part, (std::vector<int>{-99, 2, 2, 3}));

  EXPECT_EQ(MapZoomedSpan(0, 0, 8, 0.0, 0, 0, 4, map.data()).count, 0);
}

}  // namespace
}  // namespace brenmark
