// Fixed-point helpers: the packed four-channel forms against the one-channel
// definitions, over every channel value and factor; the dither counter.
#include "paintops/fixed_point.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <tuple>

#include "paintops/dither.h"

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
