// Colour conversions, clamping and premultiplication.
#include "brenmark/paint_color.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using uchar = unsigned char;

struct Floats {
  float r, g, b, a;
};

Floats F(const PaintColor& c) {
  Floats f;
  c.Getf(f.r, f.g, f.b, f.a);
  return f;
}

}  // namespace

TEST(PaintColor, EveryByteSurvivesTheRoundTrip) {
  for (int v = 0; v < 256; ++v) {
    const PaintColor c(uchar(v), uchar(255 - v), uchar(v), uchar(255));
    uchar r, g, b, a;
    c.Get(r, g, b, a);
    ASSERT_EQ(r, v);
    ASSERT_EQ(g, 255 - v);
    ASSERT_EQ(b, v);
    ASSERT_EQ(a, 255);
  }
}

TEST(PaintColor, BytesReadBackExactly) {
  const PaintColor c(uchar(255), uchar(128), uchar(0), uchar(255));
  uchar r, g, b, a;
  c.Get(r, g, b, a);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(a, 255);
  EXPECT_EQ(F(c).r, 1.0f);  // 255 * 0.003921569 overshoots 1 and is clamped
}

TEST(PaintColor, FloatToByteTruncates) {
  uchar r, g, b, a;
  PaintColor(1.0f, 0.5f, 0.999f, 0.0039f).Get(r, g, b, a);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 127);
  EXPECT_EQ(b, 254);
  EXPECT_EQ(a, 0);
}

TEST(PaintColor, PackedFormRunsRGBAFromLowByte) {
  const PaintColor c(0xFF0000FF);  // opaque red
  uchar r, g, b, a;
  c.Get(r, g, b, a);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(a, 255);
  unsigned int packed = 0;
  PaintColor(uchar(0x12), uchar(0x34), uchar(0x56), uchar(0x78)).Get(packed);
  EXPECT_EQ(packed, 0x78563412u);
  PaintColor d;
  d.Set(0xFFA1A1A1u);
  d.Get(packed);
  EXPECT_EQ(packed, 0xFFA1A1A1u);
}

TEST(PaintColor, FloatSetterClampsAndZeroesNaN) {
  PaintColor c;
  c.Set(1.5f, -0.2f, 0.5f, 2.0f);
  Floats f = F(c);
  EXPECT_EQ(f.r, 1.0f);
  EXPECT_EQ(f.g, 0.0f);
  EXPECT_EQ(f.b, 0.5f);
  EXPECT_EQ(f.a, 1.0f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  c.Set(nan, -inf, inf, -nan);
  f = F(c);
  EXPECT_EQ(f.r, 0.0f);
  EXPECT_EQ(f.g, 0.0f);
  EXPECT_EQ(f.b, 1.0f);
  EXPECT_EQ(f.a, 0.0f);
}

TEST(PaintColor, StoredRecordGetsTheFloatsInOrder) {
  SIDColor_sr rec{};
  PaintColor(0.25f, 0.5f, 0.75f, 1.0f).Get(rec);
  EXPECT_EQ(rec.r, 0.25f);
  EXPECT_EQ(rec.g, 0.5f);
  EXPECT_EQ(rec.b, 0.75f);
  EXPECT_EQ(rec.a, 1.0f);
}

TEST(PaintColor, ForcePremultLeavesColourWithinToleranceOfAlpha) {
  PaintColor c(0.5f, 0.5f, 0.5f, 0.499f);
  c.ForcePremult();
  EXPECT_TRUE(c == PaintColor(0.5f, 0.5f, 0.5f, 0.499f));
}

TEST(PaintColor, ForcePremultMultipliesStraightColour) {
  PaintColor c(1.0f, 0.0f, 0.0f, 0.5f);
  c.ForcePremult();
  const Floats f = F(c);
  EXPECT_EQ(f.r, 0.5f);
  EXPECT_EQ(f.g, 0.0f);
  EXPECT_EQ(f.b, 0.0f);
  EXPECT_EQ(f.a, 0.5f);
}

TEST(PaintColorPixel, FourChannelPixelHoldsThePackedBytes) {
  const PaintColor c(uchar(255), uchar(128), uchar(7), uchar(200));
  const ilPixel p = c.GetilPixel();
  EXPECT_EQ(p.getDataType(), ilUChar);
  ASSERT_EQ(p.nc(), 4);
  const uchar* bytes = static_cast<const uchar*>(p.elems());
  EXPECT_EQ(bytes[0], 255);
  EXPECT_EQ(bytes[1], 128);
  EXPECT_EQ(bytes[2], 7);
  EXPECT_EQ(bytes[3], 200);
  EXPECT_EQ(p.getElem(0), 200.0);  // channel 0 is the alpha
  EXPECT_TRUE(PaintColor(p) == c);
}

TEST(PaintColorPixel, OneChannelPixelIsAlphaOverBlack) {
  const uchar half = 128;
  const Floats f = F(PaintColor(ilPixel(ilUChar, 1, &half)));
  EXPECT_EQ(f.r, 0.0f);
  EXPECT_EQ(f.g, 0.0f);
  EXPECT_EQ(f.b, 0.0f);
  uchar r, g, b, a;
  PaintColor(ilPixel(ilUChar, 1, &half)).Get(r, g, b, a);
  EXPECT_EQ(a, 128);
  const float unit = 0.25f;
  EXPECT_EQ(F(PaintColor(ilPixel(ilFloat, 1, &unit))).a, 0.25f);
  const float over = 3.0f;
  EXPECT_EQ(F(PaintColor(ilPixel(ilFloat, 1, &over))).a, 1.0f);
}

TEST(PaintColorPixel, ShortPixelReadsMissingBytesAsZero) {
  const uchar rg[2] = {51, 102};
  uchar r, g, b, a;
  PaintColor(ilPixel(ilUChar, 2, rg)).Get(r, g, b, a);
  EXPECT_EQ(r, 51);
  EXPECT_EQ(g, 102);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(a, 0);
  PaintColor(ilPixel()).Get(r, g, b, a);  // empty holder
  EXPECT_EQ(r + g + b + a, 0);
}
