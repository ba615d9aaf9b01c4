// The software painter's rectangle operations on real images: which blend
// each painter setting reaches, how rectangles are split into pages, clipped,
// scaled and resampled, and what write masks, coverage images and the
// destination copy do on the way.
#include <brenmark/paint_ops.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/soft_paint_ops.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>

#include "painter_images.h"
#include "paintops/dither.h"

namespace {

using namespace painter_test;

constexpr BlendFactor kCodes[6] = {BlendZero,     BlendOne,
                                   BlendSrcAlpha, BlendOneMinusSrcAlpha,
                                   BlendDstAlpha, BlendOneMinusDstAlpha};

// d (A = 160) and s (a = 80): the factors a, 256 - a, A, 256 - A all differ,
// and the (6, 7) lerp lands on whole steps, so no result depends on the
// dither byte. Hand-computed from the blend table: rows are the source
// factor 0, 1, 6, 7, 8, 9, columns the destination factor likewise.
constexpr std::uint32_t kDst = 0xA0402010u;
constexpr std::uint32_t kSrc = 0x50302040u;
constexpr std::uint8_t kMask = 0x50;  // one-channel source
constexpr std::uint8_t kDst1 = 0xA0;  // one-channel destination

// All-ones write mask: the fast cases where they exist ((1, 0) copy, (0, 6)
// channel-by-channel multiply), the general blend elsewhere.
constexpr std::uint32_t kFast44[6][6] = {
    {0x00000000u, 0xA0402010u, 0x320C0404u, 0x6E2C160Bu, 0x6428140Au, 0x3C180C06u},
    {0x50302040u, 0xF0704050u, 0x82442A45u, 0xBE5C364Bu, 0xB458344Au, 0x8C482C46u},
    {0x190F0A14u, 0xB94F2A24u, 0x4B231419u, 0x873B201Fu, 0x7D371E1Eu, 0x5527161Au},
    {0x3721162Cu, 0xD761363Cu, 0x69352031u, 0xA54D2C37u, 0x9B492A36u, 0x73392232u},
    {0x321E1428u, 0xD25E3438u, 0x64321E2Du, 0xA04A2A33u, 0x96462832u, 0x6E36202Eu},
    {0x1E120C18u, 0xBE522C28u, 0x5026161Du, 0x8C3E2223u, 0x823A2022u, 0x5A2A181Eu},
};
std::string Pair(int si, int di) {
  return "(" + std::to_string(kCodes[si]) + ", " + std::to_string(kCodes[di]) + ")";
}

TEST(PainterBlend, EveryPairLandsOnASmartImageAcrossPagesAndNegativeCoordinates) {
  // 260 x 4 pixels from (-130, -2): three page columns, two page rows.
  Held<ilMemoryImg> src(Memory4(260, 4, kSrc));
  for (int si = 0; si < 6; ++si) {
    for (int di = 0; di < 6; ++di) {
      Held<ilSmartImage> target(new ilSmartImage(Pixel4(kDst)));
      PaintOps painter(target.get(), 1);
      ASSERT_EQ(painter.blend_func(kCodes[si], kCodes[di]), 0);
      ASSERT_EQ(painter.rect_copy(-130, -2, 260, 4, src.get(), 0, 0, nullptr, 1, 1), 0);
      const std::uint32_t want = kFast44[si][di];
      for (int x : {-130, -129, -128, -1, 0, 127, 128, 129}) {
        for (int y : {-2, -1, 0, 1}) {
          ASSERT_EQ(target->GetPixel(x, y), want) << Pair(si, di) << " at " << x << ", " << y;
        }
      }
      EXPECT_TRUE(PixelsAre(target.get(), {{-131, 0, kDst}, {130, 0, kDst}, {0, 2, kDst}}))
          << Pair(si, di);
      EXPECT_EQ(Modified(painter), ilTile(-130, -2, 0, 260, 4, 1)) << Pair(si, di);
    }
  }
}

// The painter hands each image's channel count to the blend (the pairs of
// every combination are pinned on the rows): a one-channel source 0x50 over
// kDst, and either source on a one-channel destination 0xA0.
TEST(PainterBlend, OneChannelImagesOnEitherSide) {
  Held<ilMemoryImg> mask(Memory1(2, 2, kMask));
  Held<ilMemoryImg> colour(Memory4(2, 2, kSrc));
  for (auto [sf, want] : {std::pair{BlendOne, 0xBE2C160Bu}, {BlendZero, 0x6E2C160Bu}}) {
    Canvas four(2, 2, kDst);
    four.painter.blend_func(sf, BlendOneMinusSrcAlpha);
    ASSERT_EQ(four.painter.rect_copy(0, 0, 2, 2, mask.get(), 0, 0, nullptr, 1, 1), 0);
    EXPECT_EQ(four(1, 1), want) << sf;
  }
  for (ilMemoryImg* src : {mask.get(), colour.get()}) {
    Held<ilMemoryImg> one(Memory1(2, 2, kDst1));
    PaintOps onOne(one.get(), 1);
    onOne.blend_func(BlendOne, BlendOneMinusSrcAlpha);
    ASSERT_EQ(onOne.rect_copy(0, 0, 2, 2, src, 0, 0, nullptr, 1, 1), 0);
    EXPECT_EQ(Get1(one.get(), 1, 0), 190) << src->getCsize();  // 0x50 + 0xA0 * 176 >> 8
  }
}

TEST(PainterBlend, ReplaceFillWithAConfigurationGoesThroughTheConstantImage) {
  Canvas c(4, 4, kDst);
  // Without a configuration the target fills itself.
  std::uint32_t value = 0x11223344u;
  ASSERT_EQ(c.painter.rect_fill(0, 0, 2, 2, &value, nullptr), 0);
  EXPECT_EQ(c(1, 1), value);
  // Through a map that writes channel 0 (the alpha, the last byte of the
  // pixel in memory) and leaves the others.
  const int map[4] = {0, -1, -1, -1};
  const ilConfig cfg(ilUChar, ilInterleaved, 4, map);
  std::uint8_t pixel[4] = {0x01, 0x02, 0x03, 0x7E};
  ASSERT_EQ(c.painter.rect_fill(2, 2, 2, 2, pixel, &cfg), 0);
  EXPECT_TRUE(PixelsAre(c, {{3, 3, 0x7E402010u}, {1, 3, kDst}}));
}

TEST(PainterBlend, ScaledRectFillCoversTheScaledRectangleOnEachAxis) {
  // rect_fill(1, 1, 2, 2): x' = round(1 sx), nx' = round(3 sx) - x', y alike.
  const struct {
    float sx, sy;
    ilTile covered;
  } cases[] = {{2, 2, ilTile(2, 2, 0, 4, 4, 1)},
               {2, 1, ilTile(2, 1, 0, 4, 2, 1)},
               {1, 3, ilTile(1, 3, 0, 2, 6, 1)},
               {1.5f, 1, ilTile(2, 1, 0, 3, 2, 1)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.sx << ", " << c.sy);
    Canvas t(10, 10, 0);
    t.painter.set_scale(c.sx, c.sy);
    t.painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
    std::uint32_t opaque = 0xFF0000FFu;
    ASSERT_EQ(t.painter.rect_fill(1, 1, 2, 2, &opaque, nullptr), 0);
    const ilTile& r = c.covered;
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 10; ++x) {
        const bool inside = x >= r.x && x < r.x + r.nx && y >= r.y && y < r.y + r.ny;
        ASSERT_EQ(t(x, y), inside ? opaque : 0u) << x << ", " << y;
      }
    }
    EXPECT_EQ(Modified(t.painter), r);
  }
}

TEST(PainterBlend, SourceFillCoversWhatTheSourceDoesNotHold) {
  // A 2 x 2 source whose fill is half-transparent grey, over a 4 x 4 block:
  // the three bands around it blend the fill.
  Held<ilMemoryImg> src(Memory4(2, 2, 0xFF0000FFu));
  src->setFill(Pixel4(0x80404040u));
  Canvas c(6, 6, 0xFF000000u);
  c.painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
  ASSERT_EQ(c.painter.rect_copy(1, 1, 4, 4, src.get(), -1, -1, nullptr, 1, 1), 0);
  // Destination (2, 2) reads source (0, 0); elsewhere A = 255 * 128 >> 8 +
  // 128 = 255, colour 0 + 0x40.
  constexpr std::uint32_t kRed = 0xFF0000FFu, kBand = 0xFF404040u, kOld = 0xFF000000u;
  EXPECT_TRUE(PixelsAre(c, {{2, 2, kRed},
                            {3, 3, kRed},
                            {1, 1, kBand},
                            {4, 4, kBand},
                            {1, 3, kBand},
                            {4, 2, kBand},
                            {2, 1, kBand},
                            {3, 4, kBand},
                            {0, 0, kOld},
                            {5, 5, kOld}}));
}

TEST(PainterBlend, WriteMaskIsHonouredOnTheFastPaths) {
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(kDst)));
  PaintOps painter(target.get(), 1);
  painter.set_writable(1, 1, 1, 0);
  painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
  int channels = 0;
  const int* flags = painter.get_writable(channels);
  EXPECT_EQ((std::tuple{channels, flags[3]}), (std::tuple{4, 0}));
  // The envelope hands out its letter and declines everything afterwards.
  auto* letter = dynamic_cast<SoftPaintOps*>(painter.transform());
  ASSERT_NE(letter, nullptr);
  EXPECT_EQ(painter.blend_func(BlendOne, BlendZero), -1);
  EXPECT_EQ(letter->GetWriteMask(), 0xFFFFFF00u);
  std::uint32_t opaque = 0xFFFFFFFFu;
  ASSERT_EQ(letter->rect_fill(0, 0, 3, 3, &opaque, nullptr), 0);
  EXPECT_EQ(target->GetPixel(1, 1), 0xFFFFFF10u);
  delete letter;
}

// A straight copy from a paged image into a view's memory image reads the
// source rows into the target's block: every written pixel is the source's
// (its fill beyond its pages, its solid value on a solid page), across page
// seams and clipped to the target, and nothing else changes.
TEST(PainterBlend, StraightCopyFromPagesIntoAViewImage) {
  Held<ilSmartImage> src(new ilSmartImage(Pixel4(0x11223344u)));
  for (int y = -6; y < 12; ++y)
    for (int x = 118; x < 140; ++x) src->SetPixel(x, y, 0xFF000000u | (x + 300) << 8 | (y + 50));
  src->fillTileValue(256, 0, 128, 128, Pixel4(0x80808080u));  // a solid page
  const struct {
    int x, y, nx, ny, srcX, srcY;
  } cases[] = {
      {0, 0, 40, 30, 110, -10},   // across both seams, fill around the pixels
      {-5, 3, 20, 50, 125, -2},   // clipped on the left and at the top
      {30, -4, 20, 8, 250, 100},  // the solid page's edge, clipped at the bottom
      {39, 29, 1, 1, 139, 11},    // the last pixel of the target
  };
  for (const auto& c : cases) {
    Held<ilQVMemoryImg> target(new ilQVMemoryImg(ilSize(40, 30, 1, 4), ilUChar));
    target->setCoordSpace(ilLowerLeft);
    target->fillTileValue(0, 0, 40, 30, Pixel4(0xDEADBEEFu));
    PaintOps painter(target.get(), 1);
    ASSERT_EQ(painter.rect_copy(c.x, c.y, c.nx, c.ny, src.get(), c.srcX, c.srcY, nullptr, 1, 1), 0);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const bool inside = x >= c.x && x < c.x + c.nx && y >= c.y && y < c.y + c.ny;
        const std::uint32_t want =
            inside ? src->GetPixel(x - c.x + c.srcX, y - c.y + c.srcY) : 0xDEADBEEFu;
        ASSERT_EQ(Get4(target.get(), x, y), want) << c.x << "," << c.y << " at " << x << ", " << y;
      }
    }
  }
}

TEST(PainterBlend, ZoomedCopyRoundsSourceColumnsHalvesAwayFromZero) {
  Held<ilMemoryImg> src(Memory4(4, 4, 0));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) Set4(src.get(), x, y, 0xFF000000u | (y << 8) | x);
  Canvas c(8, 8, 0x12345678u);
  ASSERT_EQ(c.painter.rect_copy(0, 0, 8, 8, src.get(), 0, 0, nullptr, 2, 2), 0);
  const int map[8] = {0, 1, 1, 2, 2, 3, 3, -1};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const std::uint32_t want =
          map[x] < 0 || map[y] < 0 ? 0x12345678u : 0xFF000000u | (map[y] << 8) | map[x];
      ASSERT_EQ(c(x, y), want) << x << ", " << y;
    }
  }
}

TEST(PainterBlend, ZoomedCoverageFollowsTheResampledSource) {
  // Destination column d reads source column round(d / 2) + 1 and the
  // coverage pixel of that source column, round(d / 2).
  Held<ilMemoryImg> src(Memory4(6, 1, 0));
  for (int x = 0; x < 6; ++x) Set4(src.get(), x, 0, 0xFF000000u | x);
  Held<ilMemoryImg> coverage(Memory1(6, 1, 255));
  Set1(coverage.get(), 1, 0, 0);
  Canvas c(8, 1, 0);
  c.painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
  c.painter.src_alpha_img(coverage.get());
  SoftPaintOps::SingleColorStamp(0);
  const std::uint8_t dither = NextBlendDither();
  ASSERT_EQ(c.painter.rect_copy(0, 0, 8, 1, src.get(), 1, 0, nullptr, 2, 1), 0);
  SoftPaintOps::SingleColorStamp(1);
  const int cols[8] = {1, 2, 2, 3, 3, 4, 4, 5};  // 0.5 and 1.5 round up
  for (int d = 0; d < 8; ++d) {
    const bool bare = cols[d] - 1 == 1;  // coverage pixel 1 is 0
    EXPECT_EQ(c(d, 0), bare ? 0u : Brush(0, 0xFF000000u | cols[d], 255, dither)) << d;
  }
}

TEST(PainterBlend, ZoomedCopyAcrossSourceAndTargetPages) {
  // A smart source with a distinct value per pixel over two pages, halved
  // onto a smart target across its page boundary at 0.
  Held<ilSmartImage> src(new ilSmartImage(Pixel4(0)));
  for (int x = 100; x < 160; ++x) src->SetPixelExp(x, 5, 0xFF000000u | x);
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  PaintOps painter(target.get(), 1);
  painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
  ASSERT_EQ(painter.rect_copy(-20, 0, 40, 1, src.get(), 100, 5, nullptr, 0.5f, 1), 0);
  // Column d reads source round((d + 20) / 0.5 + 100) = 2d + 140.
  for (int d = -20; d < 10; ++d)
    ASSERT_EQ(target->GetPixel(d, 0), 0xFF000000u | (2 * d + 140)) << d;
  // Past the source's last column nothing is written.
  EXPECT_EQ(target->GetPixel(10, 0), 0u);
}

TEST(PainterBlend, ScaledPainterResamplesIntoTheRoundedRectangle) {
  Held<ilMemoryImg> src(Memory4(2, 2, 0));
  for (int i = 0; i < 4; ++i) Set4(src.get(), i % 2, i / 2, 0xFF000001u + i);
  Canvas c(8, 8, 0);
  c.painter.set_scale(1.5f, 1.5f);
  // x' = round(1 * 1.5) = 2, nx' = round(3 * 1.5) - 2 = 3; zoom 1.5: columns
  // 2, 3, 4 read round(0), round(0.67), round(1.33) = 0, 1, 1.
  ASSERT_EQ(c.painter.rect_copy(1, 1, 2, 2, src.get(), 0, 0, nullptr, 1, 1), 0);
  EXPECT_TRUE(PixelsAre(
      c, {{2, 2, 0xFF000001u}, {3, 2, 0xFF000002u}, {4, 4, 0xFF000004u}, {5, 2, 0}, {1, 2, 0}}));
  EXPECT_EQ(Modified(c.painter), ilTile(2, 2, 0, 3, 3, 1));
}

// A negative map entry drops its channel from the blend; a source of
// another element type, or a map that moves channels, cannot be blended:
// reported, nothing written, nothing recorded. Zero extent writes nothing
// either.
TEST(PainterBlend, ChannelMapsFormatsAndEmptyRectangles) {
  Canvas c(2, 2, kDst);
  PaintOps& painter = c.painter;
  Held<ilMemoryImg> src(Memory4(2, 2, kSrc));
  Held<ilMemoryImg> wide(new ilMemoryImg(ilSize(2, 2, 1, 4), ilUShort));
  painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
  const int swap[4] = {1, 0, 2, 3};
  const ilConfig moved(ilUChar, ilInterleaved, 4, swap);
  for (bool bad_map : {false, true}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(painter.rect_copy(0, 0, 2, 2, bad_map ? src.get() : wide.get(), 0, 0,
                                bad_map ? &moved : nullptr, 1, 1),
              -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "SoftPaintOps::rect_copy unable to blend due to image format incompatibilities\n");
  }
  EXPECT_EQ((std::tuple{c(0, 0), Modified(painter)}), (std::tuple{kDst, std::nullopt}));
  EXPECT_EQ(painter.rect_copy(0, 0, 0, 2, src.get(), 0, 0, nullptr, 1, 1), 0);
  EXPECT_EQ(Modified(painter), std::nullopt);
  const int map[4] = {0, 1, -1, 3};
  const ilConfig cfg(ilUChar, ilInterleaved, 4, map);
  ASSERT_EQ(painter.rect_copy(0, 0, 2, 2, src.get(), 0, 0, &cfg, 1, 1), 0);
  EXPECT_EQ(c(0, 0), (kFast44[1][3] & 0xFFFF00FFu) | (kDst & 0xFF00u));
}

TEST(PainterBlend, FailedPageLockFailsTheCopyAndRecordsNothing) {
  // The paged plane ends near +-102400.
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  Held<ilMemoryImg> src(Memory4(4, 4, kSrc));
  PaintOps painter(target.get(), 1);
  painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
  testing::internal::CaptureStderr();
  EXPECT_EQ(painter.rect_copy(300000, 0, 4, 4, src.get(), 0, 0, nullptr, 1, 1), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("SID: "), std::string::npos);
  EXPECT_EQ(Modified(painter), std::nullopt);
}

TEST(PainterBlend, ChannelScaleAndOffsetAreClampedAndFollowAReplace) {
  Canvas c(2, 1, 0);
  Held<ilMemoryImg> src(Memory4(2, 1, 0x80808080u));
  // The first value scales bits 0-7, the last offsets bits 24-31.
  c.painter.SetScaleAndOffset(0.5f, 1, 1, 1, 0, 0, 0, 0.25f);
  ASSERT_EQ(c.painter.rect_copy(0, 0, 2, 1, src.get(), 0, 0, nullptr, 1, 1), 0);
  // 0x80 * 127 >> 8 = 63; 0x80 + 63 (0.25 * 255 truncated) = 0xBF.
  EXPECT_EQ(c(1, 0), 0xBF80803Fu);
  // Scales and offsets are clamped to [0, 1]: 1.5 keeps bits 8-15, -1
  // clears bits 16-23, an offset of 2 saturates bits 24-31.
  c.painter.SetScaleAndOffset(0.5f, 1.5f, -1, 1, 0, 0, 0, 2);
  ASSERT_EQ(c.painter.rect_copy(0, 0, 2, 1, src.get(), 0, 0, nullptr, 1, 1), 0);
  EXPECT_EQ(c(1, 0), 0xFF00803Fu);
}

TEST(PainterBlend, GridWarpProxyCopiesTheImageAtMinusTheOffset) {
  Canvas c(6, 6, 0);
  PaintOps& painter = c.painter;
  Held<ilMemoryImg> img(Memory4(2, 2, 0xFF112233u));
  EXPECT_EQ(painter.grid_warp_image_proxy(nullptr, 0, 0, 0, PaintOps::ProxyQualityDefault), -1);
  EXPECT_EQ(painter.image_proxy(img.get(), 0, 0, 0, PaintOps::ProxyQualityDefault), 0);
  EXPECT_EQ(c(0, 0), 0u);
  ASSERT_EQ(painter.grid_warp_image_proxy(img.get(), -3, -2, 0, PaintOps::ProxyQualityDefault), 0);
  EXPECT_TRUE(PixelsAre(c, {{3, 2, 0xFF112233u}, {4, 3, 0xFF112233u}, {5, 3, 0}}));
}

TEST(PainterBlend, RectWriteAndReadThroughAChannelMap) {
  Canvas c(3, 1, 0);
  // Buffer channel i lands in image channel map[i]: reversed channels.
  const int map[4] = {3, 2, 1, 0};
  const ilConfig cfg(ilUChar, ilInterleaved, 4, map);
  std::uint32_t buf[3] = {0x11223344u, 0x55667788u, 0x99AABBCCu};
  ASSERT_EQ(c.painter.rect_write(0, 0, 3, 1, buf, &cfg), 0);
  EXPECT_TRUE(PixelsAre(c, {{0, 0, 0x44332211u}, {2, 0, 0xCCBBAA99u}}));
  std::uint32_t back[3] = {};
  ASSERT_EQ(c.painter.rect_read(0, 0, 3, 1, back, &cfg), 0);
  EXPECT_EQ(back[1], 0x55667788u);
  ASSERT_EQ(c.painter.rect_write(1, 0, 1, 1, buf, nullptr), 0);
  EXPECT_EQ(c(1, 0), 0x11223344u);
}

TEST(PainterBlend, DitherAdvancesOnlyAfterADitheredBlend) {
  Canvas c(2, 2, 0);
  PaintOps& painter = c.painter;
  Held<ilMemoryImg> src(Memory4(2, 2, kSrc));
  Held<ilMemoryImg> coverage(Memory1(2, 2, 200));
  painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
  painter.rect_copy(0, 0, 2, 2, src.get(), 0, 0, nullptr, 1, 1);
  const std::uint32_t before = brenmark::BlendDither::Counter();
  EXPECT_FALSE(brenmark::BlendDither::Used());
  painter.rect_copy(0, 0, 2, 2, src.get(), 0, 0, nullptr, 1, 1);
  EXPECT_EQ(brenmark::BlendDither::Counter(), before);
  painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
  painter.src_alpha_img(coverage.get());
  painter.rect_copy(0, 0, 2, 2, src.get(), 0, 0, nullptr, 1, 1);
  EXPECT_EQ(brenmark::BlendDither::Counter(), before);
  EXPECT_TRUE(brenmark::BlendDither::Used());
  painter.rect_copy(0, 0, 2, 2, src.get(), 0, 0, nullptr, 1, 1);
  EXPECT_EQ(brenmark::BlendDither::Counter(), brenmark::NextDitherCounter(before));
}

// The mask blend's pixels are checked in the page-seam test; a copy that is
// not a smart image is not kept: the blend reports it and runs as an
// ordinary one.
TEST(PainterBlend, MaskBlendKeepsOnlyASmartDestinationCopy) {
  Canvas c(1, 1, 0);
  Held<ilSmartImage> saved(new ilSmartImage(Pixel4(0)));
  Held<ilMemoryImg> plain(Memory4(1, 1, 0));
  Held<ilMemoryImg> mask(Memory1(1, 1, 0));
  c.painter.dst_copy_img(saved.get());
  EXPECT_EQ(c.painter.dst_copy_img(), saved.get());
  c.painter.dst_copy_img(plain.get());
  EXPECT_EQ(c.painter.dst_copy_img(), nullptr);
  c.painter.SetMaskBlend(true);
  c.painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
  testing::internal::CaptureStderr();
  ASSERT_EQ(c.painter.rect_copy(0, 0, 1, 1, mask.get(), 0, 0, nullptr, 1, 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "SID:Invalid parms for mask blend\n");
}

TEST(PainterBlend, KeepReadValidWarnsFromTheTenthOutstandingCall) {
  Canvas c(1, 1, 0);
  PaintOps& painter = c.painter;
  EXPECT_EQ(painter.is_read_valid(), 1);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 9; ++i) EXPECT_EQ(painter.keep_read_valid(1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  testing::internal::CaptureStderr();
  painter.keep_read_valid(1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning: SoftPaintOps::keep_read_valid() has 10 outstanding TRUE calls\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(painter.keep_read_valid(0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  painter.set_scale(2, 2);
  EXPECT_EQ((std::tuple{painter.keep_read_valid(1), painter.is_read_valid()}), (std::tuple{0, 0}));
}

// ---- Page seams and row tails: rectangles whose edges fall just before, on
// and just after the 128-pixel page seam on each axis, and rows of 7, 8, 9
// and 131 pixels around the vector widths. Targets: a paged image (one page
// already stored, the others fill only) and a 131-pixel-wide memory image,
// whose last column ends a row that is no multiple of a vector width. Every
// pixel of the window around the rectangle is checked.

struct Span {
  int from, to;  // [from, to)
};
constexpr Span kSpans[] = {{120, 127}, {120, 128}, {120, 129}, {127, 136},
                           {128, 136}, {129, 136}, {-3, 4},    {0, 131}};
// Source and coverage pixels for destination (x, y) sit at (x + 8, y + 8).
constexpr int kShift = 8;

std::uint32_t SrcAt(int x, int y) {
  const std::uint32_t a = (x * 5 + y * 3) % 7 == 0 ? 0u
                          : (x + y) % 5 == 0       ? 255u
                                                   : 0x30u + ((x * 13 + y * 7) & 0x7F);
  return a << 24 | ((x * 7) & 0xFFu) << 16 | ((y * 5) & 0xFFu) << 8 | (((x + y) * 3) & 0xFFu);
}
std::uint8_t CoverageAt(int x, int y) {
  return static_cast<std::uint8_t>((x * 37 + y * 11) & 0xFF);
}
// (1, 7): out = s + (d * (256 - a)) >> 8, saturated; alpha 0 leaves d.
std::uint32_t OverRef(std::uint32_t s, std::uint32_t d) {
  if ((s >> 24) == 0) return d;
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t v =
        ((s >> shift) & 0xFFu) + ((((d >> shift) & 0xFFu) * (256 - (s >> 24))) >> 8);
    out |= (v > 255 ? 255 : v) << shift;
  }
  return out;
}

// kBrush reads its coverage in place from a memory image (rows a whole
// image width apart, fetched ahead), kPagedBrush from a paged image (on the
// 131-pixel rows the coverage crosses its own page seam too); kCopyBrush
// brushes each source pixel at its coverage.
enum class SeamOp {
  kFill,
  kCopy,
  kOverConst,
  kOverCopy,
  kBrush,
  kPagedBrush,
  kCopyBrush,
  kMaskBlend,
  kLockedChannel
};

TEST(PainterSeams, WritesEndExactlyAtTheirEdgesOnBothSidesOfThePageSeam) {
  constexpr std::uint32_t kCopyPx = 0xFF10E040u;
  Held<ilMemoryImg> src(Memory4(150, 150, 0));
  Held<ilMemoryImg> coverage(Memory1(150, 150, 0));
  Held<ilSmartImage> pagedCoverage(new ilSmartImage(Pixel1(0)));
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < 150; ++x) {
      Set4(src.get(), x, y, SrcAt(x - kShift, y - kShift));
      Set1(coverage.get(), x, y, CoverageAt(x - kShift, y - kShift));
      pagedCoverage->SetPixelExp(x, y, CoverageAt(x - kShift, y - kShift));
    }
  }
  Held<ilSmartImage> saved(new ilSmartImage(Pixel4(kCopyPx)));
  for (bool paged : {true, false}) {
    for (int o = 0; o <= static_cast<int>(SeamOp::kLockedChannel); ++o) {
      const SeamOp op = static_cast<SeamOp>(o);
      for (const Span& sx : kSpans) {
        for (const Span& sy : kSpans) {
          if (sy.to == 131) continue;  // the 131 row is an x case
          SCOPED_TRACE(testing::Message()
                       << (paged ? "paged" : "memory") << " op " << o << " x [" << sx.from << ", "
                       << sx.to << ") y [" << sy.from << ", " << sy.to << ")");
          ilSmartImage* smart = paged ? new ilSmartImage(Pixel4(kDst)) : nullptr;
          ilImage* img = smart ? static_cast<ilImage*>(smart) : Memory4(131, 137, kDst);
          Held<ilImage> target(img);
          if (smart) smart->SetPixelExp(200, 100, kDst);  // a stored page right of the seam
          PaintOps painter(img, 1);
          const int nx = sx.to - sx.from, ny = sy.to - sy.from;
          std::uint32_t value = op == SeamOp::kFill                                 ? 0x5A6B7C8Du
                                : op == SeamOp::kBrush || op == SeamOp::kPagedBrush ? 0xFF2040C0u
                                                                                    : kSrc;
          std::uint8_t dither = 0;
          int status = 0;
          switch (op) {
            case SeamOp::kFill:
              status = painter.rect_fill(sx.from, sy.from, nx, ny, &value, nullptr);
              break;
            case SeamOp::kCopy:
              status = painter.rect_copy(sx.from, sy.from, nx, ny, src.get(), sx.from + kShift,
                                         sy.from + kShift, nullptr, 1, 1);
              break;
            case SeamOp::kOverConst:
              painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
              status = painter.rect_fill(sx.from, sy.from, nx, ny, &value, nullptr);
              break;
            case SeamOp::kLockedChannel:
              painter.set_writable(1, 1, 1, 0);
              [[fallthrough]];
            case SeamOp::kOverCopy:
              painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
              status = painter.rect_copy(sx.from, sy.from, nx, ny, src.get(), sx.from + kShift,
                                         sy.from + kShift, nullptr, 1, 1);
              break;
            case SeamOp::kBrush:
            case SeamOp::kPagedBrush:
            case SeamOp::kCopyBrush:
              painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
              painter.src_alpha_img(op == SeamOp::kPagedBrush
                                        ? static_cast<ilImage*>(pagedCoverage.get())
                                        : coverage.get());
              dither = NextBlendDither();
              if (op != SeamOp::kCopyBrush) {
                status = painter.rect_fill(sx.from, sy.from, nx, ny, &value, nullptr);
                break;
              }
              SoftPaintOps::SingleColorStamp(0);
              status = painter.rect_copy(sx.from, sy.from, nx, ny, src.get(), sx.from + kShift,
                                         sy.from + kShift, nullptr, 1, 1);
              SoftPaintOps::SingleColorStamp(1);
              break;
            case SeamOp::kMaskBlend:
              painter.dst_copy_img(saved.get());
              painter.SetMaskBlend(true);
              painter.blend_func(BlendOne, BlendOneMinusSrcAlpha);
              status = painter.rect_copy(sx.from, sy.from, nx, ny, coverage.get(), sx.from + kShift,
                                         sy.from + kShift, nullptr, 1, 1);
              break;
          }
          ASSERT_EQ(status, 0);
          auto want = [&](int x, int y) -> std::uint32_t {
            if (x < sx.from || x >= sx.to || y < sy.from || y >= sy.to) return kDst;
            switch (op) {
              case SeamOp::kFill:
                return value;
              case SeamOp::kCopy:
                return SrcAt(x, y);
              case SeamOp::kOverConst:
                return OverRef(value, kDst);
              case SeamOp::kOverCopy:
                return OverRef(SrcAt(x, y), kDst);
              case SeamOp::kLockedChannel:
                return (OverRef(SrcAt(x, y), kDst) & 0xFFFFFF00u) | (kDst & 0xFFu);
              case SeamOp::kBrush:
              case SeamOp::kPagedBrush:
              case SeamOp::kCopyBrush: {
                const std::uint8_t a = CoverageAt(x - sx.from - kShift, y - sy.from - kShift);
                const std::uint32_t s = op == SeamOp::kCopyBrush ? SrcAt(x, y) : value;
                return a == 0 ? kDst : Brush(kDst, s, a, dither);
              }
              case SeamOp::kMaskBlend:
                return MaskMix(kCopyPx, kDst, CoverageAt(x, y));
            }
            return 0;
          };
          const int xEnd = paged ? sx.to + 2 : std::min(sx.to + 2, 131);
          const int yEnd = paged ? sy.to + 2 : std::min(sy.to + 2, 137);
          for (int y = std::max(sy.from - 2, paged ? -2 : 0); y < yEnd; ++y) {
            for (int x = std::max(sx.from - 2, paged ? -2 : 0); x < xEnd; ++x) {
              const std::uint32_t got =
                  smart ? smart->GetPixel(x, y) : Get4(static_cast<ilMemoryImg*>(img), x, y);
              ASSERT_EQ(got, want(x, y)) << "at " << x << ", " << y;
            }
          }
          // A memory target reports the rectangle clipped to its size.
          const int x0 = paged ? sx.from : std::max(sx.from, 0),
                    y0 = paged ? sy.from : std::max(sy.from, 0);
          EXPECT_EQ(Modified(painter, SinceLastCall),
                    ilTile(x0, y0, 0, (paged ? sx.to : std::min(sx.to, 131)) - x0, sy.to - y0, 1));
        }
      }
    }
  }
}

}  // namespace
