// Colour conversions, clamping and premultiplication.
#include "brenmark/paint_color.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace {

using uchar = unsigned char;

// The colour as bytes r, g, b, a and as floats.
std::array<int, 4> Bytes(const PaintColor& c) {
  uchar r, g, b, a;
  c.Get(r, g, b, a);
  return {r, g, b, a};
}
std::array<float, 4> Floats(const PaintColor& c) {
  std::array<float, 4> f;
  c.Getf(f[0], f[1], f[2], f[3]);
  return f;
}
using B = std::array<int, 4>;
using F = std::array<float, 4>;

}  // namespace

TEST(PaintColor, EveryByteSurvivesTheRoundTrip) {
  for (int v = 0; v < 256; ++v) {
    ASSERT_EQ(Bytes(PaintColor(uchar(v), uchar(255 - v), uchar(v), uchar(255))),
              (B{v, 255 - v, v, 255}));
  }
  // 255 * 0.003921569 overshoots 1 and is clamped.
  EXPECT_EQ(Floats(PaintColor(uchar(255), uchar(128), uchar(0), uchar(255)))[0], 1.0f);
}

// Floats to bytes truncate; the packed form runs r, g, b, a from the low
// byte; float setters clamp and zero NaN.
TEST(PaintColor, ConversionsTruncateClampAndPack) {
  EXPECT_EQ(Bytes(PaintColor(1.0f, 0.5f, 0.999f, 0.0039f)), (B{255, 127, 254, 0}));
  EXPECT_EQ(Bytes(PaintColor(0xFF0000FF)), (B{255, 0, 0, 255}));  // opaque red
  unsigned int packed = 0;
  PaintColor(uchar(0x12), uchar(0x34), uchar(0x56), uchar(0x78)).Get(packed);
  EXPECT_EQ(packed, 0x78563412u);
  PaintColor c;
  c.Set(1.5f, -0.2f, 0.5f, 2.0f);
  EXPECT_EQ(Floats(c), (F{1.0f, 0.0f, 0.5f, 1.0f}));
  const float nan = std::numeric_limits<float>::quiet_NaN(),
              inf = std::numeric_limits<float>::infinity();
  c.Set(nan, -inf, inf, -nan);
  EXPECT_EQ(Floats(c), (F{0.0f, 0.0f, 1.0f, 0.0f}));
  SIDColor_sr rec{};
  PaintColor(0.25f, 0.5f, 0.75f, 1.0f).Get(rec);
  EXPECT_EQ((F{rec.r, rec.g, rec.b, rec.a}), (F{0.25f, 0.5f, 0.75f, 1.0f}));
}

TEST(PaintColor, ForcePremultMultipliesOnlyColourBeyondAlpha) {
  PaintColor within(0.5f, 0.5f, 0.5f, 0.499f);  // within tolerance of alpha: left
  within.ForcePremult();
  EXPECT_TRUE(within == PaintColor(0.5f, 0.5f, 0.5f, 0.499f));
  PaintColor straight(1.0f, 0.0f, 0.0f, 0.5f);
  straight.ForcePremult();
  EXPECT_EQ(Floats(straight), (F{0.5f, 0.0f, 0.0f, 0.5f}));
}

TEST(PaintColorPixel, FourChannelPixelHoldsThePackedBytes) {
  const PaintColor c(uchar(255), uchar(128), uchar(7), uchar(200));
  const ilPixel p = c.GetilPixel();
  ASSERT_TRUE(p.getDataType() == ilUChar && p.nc() == 4);
  const uchar* bytes = static_cast<const uchar*>(p.elems());
  EXPECT_EQ((B{bytes[0], bytes[1], bytes[2], bytes[3]}), (B{255, 128, 7, 200}));
  EXPECT_TRUE(p.getElem(0) == 200.0 && PaintColor(p) == c);  // channel 0 is the alpha
}

// One channel is alpha over black; missing bytes read as zero.
TEST(PaintColorPixel, ShortPixelsFillTheRest) {
  const uchar half = 128;
  EXPECT_EQ(Bytes(PaintColor(ilPixel(ilUChar, 1, &half))), (B{0, 0, 0, 128}));
  const float unit = 0.25f, over = 3.0f;
  EXPECT_EQ(Floats(PaintColor(ilPixel(ilFloat, 1, &unit))), (F{0.0f, 0.0f, 0.0f, 0.25f}));
  EXPECT_EQ(Floats(PaintColor(ilPixel(ilFloat, 1, &over)))[3], 1.0f);
  const uchar rg[2] = {51, 102};
  EXPECT_EQ(Bytes(PaintColor(ilPixel(ilUChar, 2, rg))), (B{51, 102, 0, 0}));
  EXPECT_EQ(Bytes(PaintColor(ilPixel())), (B{0, 0, 0, 0}));  // empty holder
}
