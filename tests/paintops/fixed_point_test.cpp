// Fixed-point helpers: the packed four-channel forms against the one-channel
// definitions, over every channel value and factor.
#include "paintops/fixed_point.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace brenmark::fixed {
namespace {

// A pixel whose four channels are distinct functions of v, so a carry from
// one channel into its neighbour shows up as a wrong channel.
std::uint32_t Spread(std::uint32_t v) {
  return (v << 24) | ((255 - v) << 16) | ((v ^ 0x5Au) << 8) | ((v * 7 + 3) & 0xFFu);
}

TEST(FixedPoint, BiasTablesMergeAndByteReversal) {
  EXPECT_EQ(Bias8(kBiasTruncate, 0x9C), 0u);
  EXPECT_EQ(Bias8(kBiasHalf, 0x9C), 127u);
  EXPECT_EQ(Bias8(kBiasFull, 0x9C), 255u);
  EXPECT_EQ(Bias8(kBiasDither, 0x9C), 0x9Cu);
  EXPECT_EQ(Bias14(kBiasTruncate, 0x9C), 0u);
  EXPECT_EQ(Bias14(kBiasHalf, 0x9C), 31u);
  EXPECT_EQ(Bias14(kBiasFull, 0x9C), 63u);
  EXPECT_EQ(Bias14(kBiasDither, 0x9C), 0x27u);
  EXPECT_EQ(MergeMasked(0x11223344u, 0xAABBCCDDu, 0xFFFFFF00u), 0xAABBCC44u);
  EXPECT_EQ(MergeMasked(0x11223344u, 0xAABBCCDDu, 0u), 0x11223344u);
  for (std::uint32_t v = 0; v < 512; ++v) {  // the dither's bit reversal of the low byte
    std::uint32_t want = 0;
    for (int bit = 0; bit < 8; ++bit) want |= v & (1u << bit) ? 0x80u >> bit : 0;
    ASSERT_EQ(ReverseByte(v), want) << v;
  }
}

TEST(FixedPoint, ScalePixelMatchesScale8ForEveryValueAndFactor) {
  for (int bias_index = 0; bias_index < 4; ++bias_index) {
    const std::uint32_t bias = Bias8(bias_index, 0xA5);
    for (std::uint32_t v = 0; v < 256; ++v) {
      const std::uint32_t p = Spread(v);
      for (std::uint32_t f = 0; f <= 256; ++f) {
        const std::uint32_t got = ScalePixel(p, f, bias);
        for (int c = 0; c < 4; ++c) {
          const std::uint32_t want = Scale8(Channel(p, c), f, bias);
          ASSERT_LE(want, 255u);
          ASSERT_EQ(Channel(got, c), want) << "v " << v << " f " << f << " bias " << bias;
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

TEST(FixedPoint, SatAddPixelMatchesSatAdd8ForEveryPair) {
  for (std::uint32_t a = 0; a < 256; ++a) {
    for (std::uint32_t b = 0; b < 256; ++b) {
      const std::uint32_t p = Spread(a);
      const std::uint32_t q = Spread(b);
      const std::uint32_t got = SatAddPixel(p, q);
      for (int c = 0; c < 4; ++c) {
        const std::uint32_t sum = Channel(p, c) + Channel(q, c);
        ASSERT_EQ(Channel(got, c), sum > 255 ? 255u : sum) << a << " + " << b;
      }
    }
  }
}

TEST(FixedPoint, LerpPixelMatchesLerp14ForEveryValueAndFactor) {
  const std::uint32_t others[] = {0, 1, 127, 128, 254, 255};
  for (std::uint32_t q : others) {
    for (int bias_index = 0; bias_index < 4; ++bias_index) {
      const std::uint32_t bias = Bias14(bias_index, 0xFF);
      for (std::uint32_t v = 0; v < 256; ++v) {
        const std::uint32_t p = Spread(v);
        const std::uint32_t qp = Spread(q);
        for (std::uint32_t f = 0; f <= 256; ++f) {
          const std::uint32_t got = LerpPixel(p, f, qp, 256 - f, bias);
          for (int c = 0; c < 4; ++c) {
            const std::uint32_t want = Lerp14(Channel(p, c), f, Channel(qp, c), 256 - f, bias);
            ASSERT_LE(want, 255u);
            ASSERT_EQ(Channel(got, c), want);
          }
        }
      }
    }
  }
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

TEST(FixedPoint, MultiplyPixelScalesEachChannelByItsOwnFactor) {
  for (std::uint32_t v = 0; v < 256; ++v) {
    for (std::uint32_t f = 0; f < 256; ++f) {
      const std::uint32_t got = MultiplyPixel(Spread(v), Spread(f));
      for (int c = 0; c < 4; ++c) {
        ASSERT_EQ(Channel(got, c), (Channel(Spread(v), c) * Channel(Spread(f), c)) >> 8);
      }
    }
  }
}

}  // namespace
}  // namespace brenmark::fixed
