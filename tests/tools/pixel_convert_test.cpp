// Straight <-> premultiplied conversion: exact values, and the round-trip
// bound the tool documents, over every colour and alpha.
#include "pixel_convert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace brenmark::tool;

namespace {

TEST(PixelConvert, RoundsToNearest) {
  // Straight (128, 64, 0, 128) is stored as (64, 32, 0, 128) and comes back.
  EXPECT_EQ(Premultiply(128, 128), 64);
  EXPECT_EQ(Premultiply(64, 128), 32);
  EXPECT_EQ(Unpremultiply(64, 128), 128);  // 127.5 rounds up
  EXPECT_EQ(Unpremultiply(32, 128), 64);   // 63.75
  EXPECT_EQ(Premultiply(255, 255), 255);
  EXPECT_EQ(Premultiply(255, 1), 1);
  EXPECT_EQ(Premultiply(127, 1), 0);  // 0.498
  EXPECT_EQ(Premultiply(128, 1), 1);  // 0.502
  // Transparent pixels lose their colour; colour above alpha is capped.
  EXPECT_EQ(Unpremultiply(200, 0), 0);
  EXPECT_EQ(Unpremultiply(200, 100), 255);
}

TEST(PixelConvert, RoundTripStaysWithinTheDocumentedBound) {
  for (int a = 0; a < 256; ++a) {
    const int bound = a == 0 ? 255 : (255 + 2 * a - 1) / (2 * a);  // ceil(255 / 2a)
    int worst = 0;
    for (int c = 0; c < 256; ++c) {
      const auto back =
          Unpremultiply(Premultiply(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(a)),
                        static_cast<std::uint8_t>(a));
      if (a == 0) {
        ASSERT_EQ(back, 0) << c;
      } else {
        ASSERT_LE(std::abs(back - c), bound) << "c " << c << " a " << a;
      }
      worst = std::max(worst, std::abs(back - c));
      // Premultiplied colour never exceeds its alpha.
      ASSERT_LE(Premultiply(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(a)), a);
    }
    if (a == 255) {
      EXPECT_EQ(worst, 0) << "opaque pixels must round-trip exactly";
    }
    if (a >= 128) {
      EXPECT_LE(worst, 1) << a;
    }
  }
}

TEST(PixelConvert, ConvertsRunsOfPixels) {
  std::vector<std::uint8_t> px{128, 64, 0, 128, 10, 20, 30, 255, 9, 9, 9, 0};
  PremultiplyPixels(px.data(), 3);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{64, 32, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0}));
  UnpremultiplyPixels(px.data(), 3);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{128, 64, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0}));
}

TEST(PixelConvert, MaskLevelIsThePremultipliedGrey) {
  EXPECT_EQ(MaskLevel({255, 255, 255, 255}), 255);
  EXPECT_EQ(MaskLevel({0, 0, 0, 255}), 0);
  EXPECT_EQ(MaskLevel({128, 128, 128, 255}), 128);
  EXPECT_EQ(MaskLevel({255, 0, 0, 255}), 85);
  EXPECT_EQ(MaskLevel({255, 255, 255, 128}), 128);
  EXPECT_EQ(MaskLevel({255, 255, 255, 0}), 0);
}

}  // namespace
