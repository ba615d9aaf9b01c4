// ilQVMemoryImg view transfers: settings, axis tables, the scaling and
// rotating kernels, bounding boxes, colour filter, and the SIMD rows against
// their scalar reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "brenmark/qv_memory_img.h"
#include "layers/imageplane/axis_table.h"
#include "layers/imageplane/scale_rows.h"

namespace {

using brenmark::SimdLevel;
namespace ip = brenmark::imageplane;

// A one-channel image from rows of values (row 0 first).
std::unique_ptr<ilQVMemoryImg> Gray(int w, int h, const std::vector<int>& v) {
  auto img = std::make_unique<ilQVMemoryImg>(ilSize(w, h, 1, 1), ilUChar);
  auto* p = static_cast<std::uint8_t*>(img->getDataPtr());
  for (int i = 0; i < w * h; ++i) p[i] = static_cast<std::uint8_t>(v[static_cast<std::size_t>(i)]);
  return img;
}

// A four-channel image with pseudo-random pixels.
std::unique_ptr<ilQVMemoryImg> Noise(int w, int h, int channels, unsigned seed) {
  auto img = std::make_unique<ilQVMemoryImg>(ilSize(w, h, 1, channels), ilUChar);
  auto* p = static_cast<std::uint8_t*>(img->getDataPtr());
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < static_cast<std::size_t>(w * h * channels); ++i) {
    p[i] = static_cast<std::uint8_t>(rng());
  }
  return img;
}

std::vector<int> Ints(const std::vector<std::uint8_t>& b) {
  return {b.begin(), b.end()};
}

TEST(QVScaleSettings, RotationIsReducedIntoOneTurnAndTinyAnglesDropped) {
  ilQVMemoryImg img;
  img.SetScaleAndRotation(2, 2, 725, 3, 4);
  EXPECT_FLOAT_EQ(img.GetRotation(), 5.0f);
  EXPECT_FALSE(img.IsScaleOnly());
  img.SetScaleAndRotation(1, 1, -30, 0, 0);
  EXPECT_FLOAT_EQ(img.GetRotation(), 330.0f);
  img.SetScaleAndRotation(1, 1, 0.0005f, 0, 0);
  EXPECT_EQ(img.GetRotation(), 0.0f);
  EXPECT_TRUE(img.IsScaleOnly());
  img.SetScaleAndRotation(1, 1, 720, 0, 0);
  EXPECT_TRUE(img.IsScaleOnly());
  // Far outside one turn: reduced, not looped over.
  img.SetScaleAndRotation(1, 1, 1e30f, 0, 0);
  EXPECT_GE(img.GetRotation(), 0.0f);
  EXPECT_LT(img.GetRotation(), 360.0f);
}

TEST(QVScaleSettings, ColourScaleAndOffsetAreClampedBytesChannelZeroLowest) {
  ilQVMemoryImg img;
  img.SetRGBAScaleAndOffset(1.5f, 0.5f, -0.1f, 1.0f, 0.0f, 0.25f, 2.0f, 0.0f);
  unsigned s, o;
  img.GetRGBAScaleAndOffset(s, o);
  EXPECT_EQ((std::tuple{s, o}), (std::tuple{0xFF007FFFu, 0x00FF3F00u}));
}

TEST(AxisTable, EntriesRoundTheHalfPixelShiftedSourcePosition) {
  // f = 2: t = j / 2 - 0.5.
  EXPECT_EQ(ip::AxisEntry(0, 2.0f, 10000), 0);  // trunc(-127.5) = -127, clamped
  EXPECT_EQ(ip::AxisEntry(1, 2.0f, 10000), 0);
  EXPECT_EQ(ip::AxisEntry(2, 2.0f, 10000), 128);
  EXPECT_EQ(ip::AxisEntry(3, 2.0f, 10000), 256);
  // f = 3: 256 * t + 0.5 truncated.
  EXPECT_EQ(ip::AxisEntry(2, 3.0f, 10000), 43);   // 43.17
  EXPECT_EQ(ip::AxisEntry(4, 3.0f, 10000), 213);  // 213.83
  EXPECT_EQ(ip::AxisEntry(5, 3.0f, 10000), 299);  // 299.17
  // f = 0.5 reads every other pixel pair.
  EXPECT_EQ(ip::AxisEntry(1, 0.5f, 10000), 384);
  // Clamped at the last index; an unscaled axis is the identity.
  EXPECT_EQ((std::tuple{ip::AxisUpperClamp(4), ip::AxisUpperClamp(1)}), (std::tuple{768, 0}));
  EXPECT_EQ(ip::AxisEntry(7, 2.0f, ip::AxisUpperClamp(4)), 768);
  EXPECT_EQ(ip::AxisEntry(9, 2.0f, ip::AxisUpperClamp(4)), 768);
  EXPECT_EQ(ip::AxisEntry(3, 1.0f, ip::AxisUpperClamp(4)), 768);
  EXPECT_EQ(ip::AxisEntry(4, 1.0f, ip::AxisUpperClamp(4)), 768);
  EXPECT_EQ((std::tuple{ip::RoundHalfAway(7.5), ip::RoundHalfAway(-7.5)}), (std::tuple{8, -8}));
  EXPECT_EQ(ip::RoundHalfAway(-7.4), -7);
}

TEST(AxisTable, BuiltForTheRoundedRangeAndReusedUntilFactorOrModeChange) {
  ilQVMemoryImg::AxisTable t;
  ip::EnsureAxisTable(t, 2.5f, 1, 1, 10, 0.0f, 3.0f, 0, 7);
  EXPECT_EQ(t.first, 0);
  ASSERT_EQ(t.entries.size(), 9u);  // round(7.5) = 8
  EXPECT_EQ(t.entries[8], 691);     // t = 2.7: 691.7
  // A covered request keeps the table as built.
  ip::EnsureAxisTable(t, 2.5f, 1, 1, 10, 1.0f, 2.0f, 3, 5);
  EXPECT_EQ((std::tuple{t.s0, t.s1}), (std::tuple{0.0f, 3.0f}));
  // A wider one, another mode or another factor rebuilds.
  ip::EnsureAxisTable(t, 2.5f, 1, 1, 10, 2.0f, 5.0f, 5, 12);
  EXPECT_EQ(t.first, 5);
  EXPECT_EQ(t.entries.size(), 9u);  // 5 .. round(12.5) = 13
  ip::EnsureAxisTable(t, 2.5f, 0, 1, 10, 2.0f, 5.0f, 5, 12);
  EXPECT_EQ(t.minifyMode, 0u);
}

TEST(AxisTable, BicubicWeightsSumTo256AndMirror) {
  const std::uint32_t* w = ip::BicubicWeights();
  // t = 1/512: 42.42, 170.67, 42.92, 0.0 rounded.
  EXPECT_EQ(w[0], 42u | 171u << 8 | 43u << 16);
  for (int i = 0; i < 256; ++i) {
    const unsigned a = w[i] & 255, b = w[i] >> 8 & 255, c = w[i] >> 16 & 255, d = w[i] >> 24;
    EXPECT_EQ(a + b + c + d, 256u) << i;
    const std::uint32_t m = w[255 - i];
    EXPECT_EQ(a, m >> 24) << i;
    EXPECT_EQ(d, m & 255) << i;
  }
}

TEST(QVScaleKernels, OneToOneWithIdentityColourIsACopy) {
  auto img = Noise(9, 7, 4, 1);
  std::vector<std::uint32_t> dst(12 * 10, 0x01010101u);
  img->SetOffset(-2, -1);
  ASSERT_EQ(img->getScaleTile(1, 2, 5, 4, dst.data(), 12, 10), ilOkay);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 12; ++x) {
      std::uint32_t expect = 0x01010101u;
      if (x >= 3 && x < 8 && y >= 3 && y < 7) {
        std::memcpy(&expect, img->getPixelPtr(x - 2, y - 1), 4);
      }
      EXPECT_EQ(dst[static_cast<std::size_t>(y * 12 + x)], expect) << x << "," << y;
    }
  }
}

TEST(QVScaleKernels, OneToOneWithAColourFilterIsACopyThroughTheFilter) {
  auto img = Noise(6, 5, 4, 2);
  img->SetRGBAScaleAndOffset(0x80FF40FFu, 0x00102000u);
  for (unsigned mode : {0u, 1u}) {
    img->SetMinifyScaleMode(mode);
    std::vector<std::uint8_t> dst(6 * 5 * 4);
    ASSERT_EQ(img->getScaleTile(0, 0, 6, 5, dst.data(), 6, 5), ilOkay);
    const auto* src = static_cast<const std::uint8_t*>(img->getDataPtr());
    const unsigned s[4] = {0xFF, 0x40, 0xFF, 0x80}, o[4] = {0, 0x20, 0x10, 0};
    for (std::size_t i = 0; i < dst.size(); ++i) {
      const unsigned k = i % 4;
      const unsigned expect = std::min(255u, (src[i] * s[k] + o[k] * 256) >> 8);
      ASSERT_EQ(dst[i], expect) << i << " mode " << mode;
    }
  }
}

TEST(QVScaleKernels, NearestRepeatsPixelsAlongEachScaledAxis) {
  auto img = Gray(2, 2, {10, 20, 30, 40});
  img->SetMagnifyScaleMode(0);
  const struct {
    int sx, sy;
    std::vector<int> out;
  } cases[] = {{2, 2, {10, 10, 20, 20, 10, 10, 20, 20, 30, 30, 40, 40, 30, 30, 40, 40}},
               {2, 1, {10, 10, 20, 20, 30, 30, 40, 40}},
               {1, 3, {10, 20, 10, 20, 10, 20, 30, 40, 30, 40, 30, 40}}};
  for (const auto& c : cases) {
    img->SetScaleFactors(static_cast<float>(c.sx), static_cast<float>(c.sy));
    std::vector<std::uint8_t> dst(c.out.size());
    ASSERT_EQ(img->getScaleTile(0, 0, 2, 2, dst.data(), 2 * c.sx, 2 * c.sy), ilOkay);
    EXPECT_EQ(Ints(dst), c.out) << c.sx << " x " << c.sy;
  }
}

TEST(QVScaleKernels, BilinearOnKnownPixels) {
  auto img = Gray(2, 2, {0, 100, 200, 40});
  img->SetScaleFactors(2, 2);
  std::vector<std::uint8_t> dst(16);
  ASSERT_EQ(img->getScaleTile(0, 0, 2, 2, dst.data(), 4, 4), ilOkay);
  // Entries 0, 0, 128, 256 per axis: x first, then y, each (a(256-f) + bf + 128) >> 8.
  EXPECT_EQ(Ints(dst),
            (std::vector<int>{0, 0, 50, 100, 0, 0, 50, 100, 100, 100, 85, 70, 200, 200, 120, 40}));
  // Minifying reads pixel pairs.
  auto row = Gray(4, 1, {0, 100, 200, 40});
  row->SetScaleFactors(0.5f, 1.0f);
  std::vector<std::uint8_t> half(2, 7);
  ASSERT_EQ(row->getScaleTile(0, 0, 4, 1, half.data(), 2, 1), ilOkay);
  EXPECT_EQ(Ints(half), (std::vector<int>{0, 150}));
}

TEST(QVScaleKernels, BicubicOnOneChannelIsBilinear) {
  auto img = Noise(16, 12, 1, 3);
  for (float f : {2.5f, 0.75f, 3.0f}) {
    img->SetScaleFactors(f, f);
    std::vector<std::uint8_t> a(64 * 64), b(64 * 64);
    img->SetMagnifyScaleMode(1);
    img->SetMinifyScaleMode(1);
    ASSERT_EQ(img->getScaleTile(0, 0, 16, 12, a.data(), 64, 64), ilOkay);
    img->SetMagnifyScaleMode(2);
    img->SetMinifyScaleMode(2);
    ASSERT_EQ(img->getScaleTile(0, 0, 16, 12, b.data(), 64, 64), ilOkay);
    EXPECT_EQ(a, b) << f;
  }
}

TEST(QVScaleKernels, BicubicKeepsFlatAreasAndSmoothsAStep) {
  auto img = std::make_unique<ilQVMemoryImg>(ilSize(8, 2, 1, 4), ilUChar);
  const std::uint32_t dark = 0xFF202020u, light = 0xFFE0E0E0u;
  img->fillTile(0, 0, 4, 2, &dark);
  img->fillTile(4, 0, 4, 2, &light);
  img->SetScaleFactors(2, 1);
  img->SetMagnifyScaleMode(2);
  std::vector<std::uint32_t> dst(16);
  ASSERT_EQ(img->getScaleTile(0, 0, 8, 1, dst.data(), 16, 1), ilOkay);
  EXPECT_EQ((std::tuple{dst[0], dst[15]}), (std::tuple{dark, light}));
  for (int j = 1; j < 16; ++j)
    EXPECT_GE(dst[static_cast<std::size_t>(j)] & 255, dst[static_cast<std::size_t>(j - 1)] & 255);
  // Entry 7 (t = 3.0): weights 42, 171, 43 over columns 2, 3, 4 of one row.
  EXPECT_EQ(dst[7] & 255, (42u * 0x20 + 171u * 0x20 + 43u * 0xE0 + 128) >> 8);
}

TEST(QVScaleKernels, SplitTransfersMeetWithoutSeams) {
  auto img = Noise(20, 16, 4, 4);
  for (unsigned mode : {0u, 1u, 2u}) {
    for (float f : {2.0f, 2.5f, 0.5f}) {
      img->SetScaleFactors(f, f);
      img->SetMagnifyScaleMode(mode);
      img->SetMinifyScaleMode(mode);
      std::vector<std::uint32_t> whole(60 * 50, 0), parts(60 * 50, 0);
      ASSERT_EQ(img->getScaleTile(0, 0, 20, 16, whole.data(), 60, 50), ilOkay);
      // Left and right halves, then the right half again in two row bands.
      ASSERT_EQ(img->getScaleTile(0, 0, 8, 16, parts.data(), 60, 50), ilOkay);
      ASSERT_EQ(img->getScaleTile(8, 0, 12, 8, parts.data(), 60, 50), ilOkay);
      ASSERT_EQ(img->getScaleTile(8, 8, 12, 8, parts.data(), 60, 50), ilOkay);
      EXPECT_EQ(whole, parts) << "mode " << mode << " f " << f;
    }
  }
}

TEST(QVScaleKernels, PlacedFormPutsTheSourceOriginAtTheGivenPosition) {
  auto img = Noise(6, 6, 1, 5);
  img->SetOffset(100, 100);  // not used by the placed form
  std::vector<std::uint8_t> dst(10 * 10, 0);
  ASSERT_EQ(img->getScaleTile(2, 1, 3, 2, dst.data(), 10, 10, 4, 5), ilOkay);
  const auto* src = static_cast<const std::uint8_t*>(img->getDataPtr());
  EXPECT_EQ(dst[5 * 10 + 4], src[1 * 6 + 2]);
  EXPECT_EQ((std::tuple{dst[6 * 10 + 6], dst[5 * 10 + 3]}), (std::tuple{src[2 * 6 + 4], 0}));
  EXPECT_EQ(dst[5 * 10 + 7], 0);
  // A position left of the buffer moves the source start instead.
  std::vector<std::uint8_t> left(4, 0);
  ASSERT_EQ(img->getScaleTile(0, 0, 6, 1, left.data(), 4, 1, -2, 0), ilOkay);
  EXPECT_EQ((std::tuple{left[0], left[3]}), (std::tuple{src[2], src[5]}));
}

TEST(QVScaleKernels, HugeFactorClearsFromTheDestinationStartOnly) {
  auto img = Noise(4, 4, 4, 6);
  img->SetScaleFactors(5000, 5000);
  img->SetOffset(5000 * 1 - 2, 5000 * 2 - 1);
  std::vector<std::uint32_t> dst(5 * 4, 0x55555555u);
  ASSERT_EQ(img->getScaleTile(1, 2, 1, 1, dst.data(), 5, 4), ilOkay);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(dst[static_cast<std::size_t>(y * 5 + x)], x >= 2 && y >= 1 ? 0u : 0x55555555u);
    }
  }
}

TEST(QVScaleKernels, NullDestinationAndBadFactorsAreInvalid) {
  auto img = Noise(4, 4, 4, 7);
  EXPECT_EQ(img->getScaleTile(0, 0, 4, 4, nullptr, 4, 4), ilInvalid);
  EXPECT_EQ(img->getScaleTile(0, 0, 4, 4, nullptr, 4, 4, 0, 0), ilInvalid);
  EXPECT_EQ(img->getCanvasRotateScaleTile(0, 0, 4, 4, nullptr, 4, 4, 0, 0, true), ilInvalid);
  std::uint32_t px = 9;
  img->SetScaleFactors(0, 1);
  EXPECT_EQ(img->getScaleTile(0, 0, 4, 4, &px, 1, 1), ilInvalid);
  EXPECT_EQ(px, 9u);
  // Empty source or buffer: nothing to do.
  img->SetScaleFactors(1, 1);
  EXPECT_EQ(img->getScaleTile(0, 0, 0, 4, &px, 1, 1), ilOkay);
  EXPECT_EQ(img->getCanvasRotateScaleTile(0, 0, 4, 0, &px, 1, 1, 0, 0, true), ilOkay);
  EXPECT_EQ(px, 9u);
}

TEST(QVScaleKernels, ColourFilterAppliesAfterScalingExceptAlphaOnlyOffset) {
  auto img = std::make_unique<ilQVMemoryImg>(ilSize(2, 1, 1, 4), ilUChar);
  const std::uint32_t px = 0x80C04020u;
  img->fillTile(0, 0, 2, 1, &px);
  img->SetScaleFactors(2, 1);
  std::vector<std::uint32_t> dst(4);
  img->SetRGBAScaleAndOffset(0xFFFFFFFFu, 0x05000000u);
  ASSERT_EQ(img->getScaleTile(0, 0, 2, 1, dst.data(), 4, 1), ilOkay);
  EXPECT_EQ(dst[3], px);
  img->SetRGBAScaleAndOffset(0x80FFFF80u, 0xFF000010u);
  ASSERT_EQ(img->getScaleTile(0, 0, 2, 1, dst.data(), 4, 1), ilOkay);
  // byte 0: (0x20 * 0x80 + 0x10 * 256) >> 8 = 0x20; byte 1: 0x40 * 255 >> 8 =
  // 0x3F; byte 2: 0xC0 * 255 >> 8 = 0xBF; byte 3: 0x80 * 0x80 >> 8 + 0xFF
  // capped at 255.
  EXPECT_EQ(dst[2], 0xFFBF3F20u);
}

TEST(QVRotation, TargetBoxesOfRotatedAndScaledRectangles) {
  ilQVMemoryImg img;
  int w, h, x, y;
  img.SetScaleAndRotation(1, 1, 90, 0, 0);
  img.getTargetSizeAndOffset(0, 0, 10, 20, w, h, x, y);
  EXPECT_EQ(ilTile(x, y, 0, w, h, 1), ilTile(-20, 0, 0, 20, 10, 1));
  img.SetScaleAndRotation(1, 1, 45, 5, 5);
  img.getTargetSizeAndOffset(0, 0, 10, 10, w, h, x, y);
  EXPECT_EQ(ilTile(x, y, 0, w, h, 1), ilTile(-3, -3, 0, 16, 16, 1));  // 5 -+ 7.07
  img.SetScaleAndRotation(2, 3, 0, 5, 5);
  img.getTargetSizeAndOffset(0, 0, 10, 10, w, h, x, y);
  EXPECT_EQ(ilTile(x, y, 0, w, h, 1), ilTile(-5, -10, 0, 20, 30, 1));
  SIDGetTargetSizeAndOffset(0, 0, 10, 20, 1, 1, 90, 0, 0, w, h, x, y);
  EXPECT_EQ(ilTile(x, y, 0, w, h, 1), ilTile(-20, 0, 0, 20, 10, 1));
  SIDGetTargetSizeAndOffset(2, 2, 4, 2, 0.5f, 0.5f, 180, 0, 0, w, h, x, y);
  EXPECT_EQ(ilTile(x, y, 0, w, h, 1), ilTile(-3, -2, 0, 2, 1, 1));
}

TEST(QVRotation, QuarterTurnPermutesPixelsWithEveryFilter) {
  auto img = Gray(3, 2, {0, 1, 2, 10, 11, 12});
  for (unsigned mode : {0u, 1u, 2u}) {
    img->SetScaleAndRotation(1, 1, 90, 0, 0);
    img->SetMinifyScaleMode(mode);
    std::vector<std::uint8_t> dst(2 * 3, 99);
    ASSERT_EQ(img->getScaleTile(0, 0, 3, 2, dst.data(), 2, 3, 0, 0), ilOkay);
    // (x, y) -> (-y, x): buffer (dx, dy) shows source (dy, 1 - dx).
    EXPECT_EQ(Ints(dst), (std::vector<int>{10, 0, 11, 1, 12, 2})) << mode;
  }
}

TEST(QVRotation, HalfTurnAboutTheCentreFlipsBothWays) {
  auto img = Noise(7, 5, 4, 8);
  ilQVMemoryImg flipped(img.get());
  flipped.HorizontalFlip();
  flipped.VerticalFlip();
  // Pixel centres land on pixel centres: nearest and bilinear reproduce the
  // pixels exactly (the bicubic B-spline smooths even there).
  for (unsigned mode : {0u, 1u}) {
    img->SetScaleAndRotation(1, 1, 180, 3.5f, 2.5f);
    img->SetMinifyScaleMode(mode);
    std::vector<std::uint8_t> dst(7 * 5 * 4);
    ASSERT_EQ(img->getScaleTile(0, 0, 7, 5, dst.data(), 7, 5), ilOkay);
    EXPECT_EQ(std::memcmp(dst.data(), flipped.getDataPtr(), dst.size()), 0) << mode;
  }
}

TEST(QVRotation, CanvasRotationWritesFillOutsideTheImage) {
  auto img = Gray(2, 2, {50, 60, 70, 80});
  const std::uint8_t fill = 200;
  img->setFill(ilPixel(ilUChar, 1, &fill));
  img->SetScaleAndRotation(1, 1, 90, 1, 1);
  // The quarter turn about (1, 1) maps the image onto itself.
  std::vector<std::uint8_t> dst(4 * 3, 0);
  ASSERT_EQ(img->getCanvasRotateScaleTile(0, 0, 2, 2, dst.data(), 4, 3, -1, 0, true), ilOkay);
  // Buffer (dx, dy) = p' - (-1, 0); p' = R (p - c) + c.
  EXPECT_EQ(Ints(dst), (std::vector<int>{200, 70, 50, 200, 200, 80, 60, 200, 200, 200, 200, 200}));
  // Without rotateAll only the rotated rectangle's box is written.
  std::vector<std::uint8_t> box(4 * 3, 0);
  ASSERT_EQ(img->getCanvasRotateScaleTile(0, 0, 1, 1, box.data(), 4, 3, -1, 0, false), ilOkay);
  EXPECT_EQ(Ints(box), (std::vector<int>{0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(QVFreeFunctions, SIDScaleImageMatchesTheImageTransfer) {
  auto img = Noise(10, 8, 4, 9);
  img->SetScaleFactors(1.5f, 2.0f);
  img->SetOffset(1, 2);
  std::vector<std::uint32_t> a(20 * 20, 0), b(20 * 20, 0);
  ASSERT_EQ(img->getScaleTile(0, 0, 10, 8, a.data(), 20, 20), ilOkay);
  ASSERT_EQ(
      SIDScaleImage(img->getDataPtr(), 10, 8, 4, 0, 0, 10, 8, b.data(), 20, 20, 1.5f, 2.0f, 1, 2),
      ilOkay);
  EXPECT_EQ(a, b);
  EXPECT_EQ(SIDScaleImage(nullptr, 10, 8, 4, 0, 0, 10, 8, b.data(), 20, 20, 1, 1, 0, 0), ilInvalid);
}

// ---- SIMD rows against the scalar reference ----------------------------------

std::vector<const ip::ScaleRows*> Levels() {
  std::vector<const ip::ScaleRows*> out;
  for (SimdLevel l : {SimdLevel::kSse2, SimdLevel::kAvx2}) {
    if (const ip::ScaleRows* r = ip::ScaleRowsFor(l)) out.push_back(r);
  }
  return out;
}

TEST(ScaleRowsSimd, BilinearRowsMatchTheScalarReferenceBitForBit) {
  const ip::ScaleRows& ref = *ip::ScaleRowsFor(SimdLevel::kScalar);
  std::mt19937 rng(42);
  const int w = 97;
  std::vector<std::uint8_t> src(static_cast<std::size_t>(w) * 4);
  for (auto& b : src) b = static_cast<std::uint8_t>(rng());
  for (int n : {1, 3, 4, 7, 8, 9, 31, 64, 203}) {
    const std::size_t count = static_cast<std::size_t>(n);
    std::vector<std::int32_t> x0(count), x1(count);
    std::vector<std::uint16_t> fx(count);
    for (std::size_t j = 0; j < count; ++j) {
      x0[j] = static_cast<std::int32_t>(rng() % w);
      // Mostly adjacent pairs, some held at the same column (edges).
      x1[j] = rng() % 5 == 0 ? x0[j] : std::min(x0[j] + 1, w - 1);
      fx[j] = static_cast<std::uint16_t>(rng() % 256);
    }
    std::vector<std::uint8_t> want(count * 4);
    ref.bilinear_h4(src.data(), x0.data(), x1.data(), fx.data(), n, want.data());
    for (const ip::ScaleRows* k : Levels()) {
      std::vector<std::uint8_t> got(want.size());
      k->bilinear_h4(src.data(), x0.data(), x1.data(), fx.data(), n, got.data());
      EXPECT_EQ(got, want) << k->name << " n " << n;
    }
    // Bicubic taps: four neighbours, or clamped at either edge.
    std::vector<std::int32_t> taps(count * 4);
    std::vector<std::uint32_t> wts(count);
    for (std::size_t j = 0; j < count; ++j) {
      const int x = static_cast<int>(rng() % (w + 2)) - 1;
      for (std::size_t t = 0; t < 4; ++t)
        taps[4 * j + t] = std::clamp(x - 1 + static_cast<int>(t), 0, w - 1);
      wts[j] = ip::BicubicWeights()[rng() % 256];
    }
    ref.bicubic_h4(src.data(), taps.data(), wts.data(), n, want.data());
    for (const ip::ScaleRows* k : Levels()) {
      std::vector<std::uint8_t> got(want.size());
      k->bicubic_h4(src.data(), taps.data(), wts.data(), n, got.data());
      EXPECT_EQ(got, want) << k->name << " bicubic n " << n;
    }
  }
  for (int bytes : {1, 15, 16, 17, 32, 33, 100, 4096}) {
    std::vector<std::uint8_t> a(static_cast<std::size_t>(bytes)), b(a.size()), c(a.size()),
        d(a.size());
    for (auto* v : {&a, &b, &c, &d}) {
      for (auto& x : *v) x = static_cast<std::uint8_t>(rng());
    }
    for (int fy : {0, 1, 127, 128, 255}) {
      std::vector<std::uint8_t> want(a.size());
      ref.lerp_rows(a.data(), b.data(), fy, bytes, want.data());
      for (const ip::ScaleRows* k : Levels()) {
        std::vector<std::uint8_t> got(a.size());
        k->lerp_rows(a.data(), b.data(), fy, bytes, got.data());
        EXPECT_EQ(got, want) << k->name << " bytes " << bytes << " fy " << fy;
      }
    }
    for (int i : {0, 77, 128, 255}) {
      const std::uint32_t wt = ip::BicubicWeights()[i];
      std::vector<std::uint8_t> want(a.size());
      ref.cubic_rows(a.data(), b.data(), c.data(), d.data(), wt, bytes, want.data());
      for (const ip::ScaleRows* k : Levels()) {
        std::vector<std::uint8_t> got(a.size());
        k->cubic_rows(a.data(), b.data(), c.data(), d.data(), wt, bytes, got.data());
        EXPECT_EQ(got, want) << k->name << " bytes " << bytes << " weights " << i;
      }
    }
  }
}

TEST(ScaleRowsSimd, RotatingBilinearRowMatchesTheScalarReference) {
  std::mt19937 rng(7);
  const int w = 13, h = 9;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w * h * 4));
  for (auto& b : pixels) b = static_cast<std::uint8_t>(rng());
  const std::uint8_t fill[4] = {1, 2, 3, 4};
  const ip::RotateSource src{pixels.data(), w * 4, w, h, fill};
  std::uniform_int_distribution<std::int64_t> pos(-3 * 65536, 16 * 65536), step(-100000, 100000);
  for (int trial = 0; trial < 200; ++trial) {
    const ip::RotateWalk walk{pos(rng), pos(rng), step(rng), step(rng)};
    std::vector<std::uint8_t> want(40 * 4);
    ip::RotateBilinearRow4(src, walk, 40, want.data());
    for (const ip::ScaleRows* k : Levels()) {
      std::vector<std::uint8_t> got(want.size());
      k->rotate_bilinear4(src, walk, 40, got.data());
      ASSERT_EQ(got, want) << k->name << " trial " << trial;
    }
  }
}

TEST(ScaleRowsSimd, WholeTransfersAgreeWithTheScalarRows) {
  // The active rows against a scalar recomputation of the same bilinear
  // transfer: horizontal pass per source row, then the vertical pass.
  auto img = Noise(33, 21, 4, 10);
  img->SetScaleFactors(2.0f, 2.0f);
  std::vector<std::uint8_t> got(66 * 42 * 4);
  ASSERT_EQ(img->getScaleTile(0, 0, 33, 21, got.data(), 66, 42), ilOkay);
  const auto* src = static_cast<const std::uint8_t*>(img->getDataPtr());
  const auto entry = [](int j, int limit) {
    return ip::AxisEntry(j, 2.0f, ip::AxisUpperClamp(limit));
  };
  for (int y = 0; y < 42; ++y) {
    const int ey = entry(y, 21), y0 = ey >> 8, y1 = std::min(y0 + 1, 20), fy = ey & 255;
    for (int x = 0; x < 66; ++x) {
      const int ex = entry(x, 33), x0 = ex >> 8, x1 = std::min(x0 + 1, 32), fx = ex & 255;
      for (int k = 0; k < 4; ++k) {
        const auto at = [&](int xx, int yy) { return src[(yy * 33 + xx) * 4 + k]; };
        const unsigned top = ip::Lerp256(at(x0, y0), at(x1, y0), fx);
        const unsigned bottom = ip::Lerp256(at(x0, y1), at(x1, y1), fx);
        ASSERT_EQ(got[static_cast<std::size_t>((y * 66 + x) * 4 + k)],
                  ip::Lerp256(top, bottom, static_cast<unsigned>(fy)))
            << x << "," << y;
      }
    }
  }
}

}  // namespace
