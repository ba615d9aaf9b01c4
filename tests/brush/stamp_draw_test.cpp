// Dabs drawn through the painter: both renderers on memory and smart
// images, image stamps, mask sources, failures, and reference images.
#include <brenmark/brush_profile.h>
#include <brenmark/generic_function.h>
#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/paint_ops.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/smart_image.h>
#include <brenmark/soft_paint_ops.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>
#include <brenmark/stamp_image.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "brush/brush_fixture.h"
#include "brush/stamp_impl.h"

namespace {

using namespace brush_test;

// The dab image (pixels and placement) the cache holds for `s` at (x, y).
struct Dab {
  ilTile place;
  std::vector<std::uint8_t> px;
  int channels = 0;
  std::uint32_t At(int x, int y) const {  // target coordinates, 4 channels
    std::uint32_t v = 0;
    if (x < place.x || y < place.y || x >= place.x + place.nx || y >= place.y + place.ny) return 0;
    std::memcpy(&v, &px[((y - place.y) * place.nx + (x - place.x)) * channels], channels);
    return v;
  }
};

Dab CachedDab(const Stamp& s, float x, float y) {
  const float px = x - 0.375f, py = y - 0.375f;
  ILStampImg* img =
      StampImageCache::Shared().Lookup(s, px - std::floor(px), py - std::floor(py))->image();
  Dab d;
  d.px = DabBytes(img);
  const StampGeometry& g = img->Geometry();
  d.place = ilTile(static_cast<int>(std::floor(px)) - g.originX,
                   static_cast<int>(std::floor(py)) - g.originY, 0, g.width, g.height, 1);
  d.channels = img->getCsize();
  return d;
}

// What the separable renderer writes with dither 128: each byte of the
// colour under the dab through the coverage, over a clear 64 x 64 target.
// The number of painted pixels.
int ExpectSeparable(ilImage* target, const Dab& cov,
                    const std::function<std::uint32_t(int, int)>& colour) {
  int painted = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const unsigned a = cov.At(x, y);
      const std::uint32_t s = a != 0 ? colour(x, y) : 0;
      std::uint32_t expected = 0;
      for (int c = 0; a != 0 && c < 4; ++c)
        expected |= std::min(255u, (((s >> (8 * c)) & 0xFF) * a + 128) >> 8) << (8 * c);
      if (Px(target, x, y) != expected)
        return ADD_FAILURE() << x << "," << y << ": " << Px(target, x, y) << " for " << expected,
               -1;
      painted += a != 0;
    }
  return painted;
}

// A private copy of `s` that paints its coverage: a constant full colour.
Stamp* CoverageOf(Stamp* s) {
  auto* cover = new Stamp(*s);
  cover->SetColorSource(Constant1(255));
  cover->SetKind(Stamp::kColorKind);
  return cover;
}

class StampDraw : public testing::Test {
 protected:
  void SetUp() override {
    StampImageCache::Shared().Empty();
    stamp->SetColor(0.8f, 0.4f, 0.2f, 1.0f);  // bytes 204, 102, 51, 255
  }
  void TearDown() override { StampImageCache::Shared().Empty(); }
  Ref<Stamp> stamp{new Stamp()};
};

TEST_F(StampDraw, ColourDabAcrossAPageCornerOfASmartImageCopiesTheDabImage) {
  Ref<ilSmartImage> target(new ilSmartImage(ilPixel(ilUChar, 4)));
  OverPainter painter(target.p);
  stamp->SetHighQuality(false);  // the colour-image renderer
  stamp->SetRadius(20.0f);
  ASSERT_EQ(painter.set_stamp(stamp.p), 1);
  EXPECT_EQ(painter.draw_stamp(128.3f, 127.8f, nullptr), 0);
  const Dab dab = CachedDab(*stamp.p, 128.3f, 127.8f);
  ilTile modified;
  ASSERT_EQ(painter.tile_modified(modified, SinceReset, 0, 0), 1);
  EXPECT_EQ(modified, dab.place);
  EXPECT_EQ(dab.place, ilTile(107, 107, 0, 41, 41, 1));
  // Every pixel of the four pages around the corner is the dab image's.
  for (int y = 100; y < 156; ++y)
    for (int x = 100; x < 156; ++x) ASSERT_EQ(Px(target.p, x, y), dab.At(x, y)) << x << "," << y;
  EXPECT_EQ(Px(target.p, 127, 127), 0xFF3366CCu);  // the centre: full coverage
  // The rim, (0, 20) of the dab image: 20.26 pixels from the phase-shifted
  // centre, beyond the radius table's 80 steps.
  EXPECT_EQ(Px(target.p, 127, 107), 0u);
  // Two rows in: 18.27 pixels, step 73, profile position 933 (f = 0.041):
  // coverage trunc(0.041 * 4080) >> 4 = 10 scales the colour.
  EXPECT_EQ(Px(target.p, 127, 109) >> 24, 10u);
  EXPECT_EQ(Px(target.p, 127, 109),
            10u << 24 | (51 * 10 / 255) << 16 | (102 * 10 / 255) << 8 | (204 * 10 / 255));
}

TEST_F(StampDraw, SeparableDabBlendsTheColourThroughCoverageWithDither) {
  Ref<ilQVMemoryImg> target(NewMem(64, 64));
  OverPainter painter(target.p);
  stamp->SetRadius(9.5f);
  ASSERT_EQ(painter.set_stamp(stamp.p), 1);
  PinDither(0x01);  // dither 128
  ASSERT_EQ(painter.draw_stamp(30.0f, 31.0f, nullptr), 0);
  // Coverage: the private copy's one-channel dab, through the shared cache.
  Ref<Stamp> cover(CoverageOf(stamp.p));
  const Dab cov = CachedDab(*cover.p, 30.0f, 31.0f);
  EXPECT_GT(ExpectSeparable(target.p, cov, [](int, int) { return 0xFF3366CCu; }), 200);
  BlendFactor s, d;
  painter.get_blend_func(s, d);
  EXPECT_EQ(s, BlendOne);  // restored after the dab
  EXPECT_EQ(SoftPaintOps::GetSingleColorStamp(), 1);
}

// An image stamp takes the colour under the dab, displaced by the offset:
// a = coverage, out = colour * a >> 8 with alpha 255 becoming a exactly.
TEST_F(StampDraw, ImageStampTakesTheColourUnderTheDab) {
  Ref<ilQVMemoryImg> source(NewMem(64, 64));
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      Paint(source.p, x, y, 0xFF000000u | x * 4 | y * 4 << 8 | 0x40u << 16);
  stamp->SetColorSource(new ImagePaintObj("layer", source.p));
  stamp->SetKind(Stamp::kImageKind);
  stamp->SetOffset(5, -3);
  stamp->SetRadius(6.0f);
  Ref<Stamp> cover(CoverageOf(stamp.p));
  Ref<ilQVMemoryImg> target(NewMem(64, 64));
  Ref<SoftPaintOps> painter(new SoftPaintOps(target.p));
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  ILStampImpl impl(painter.p);
  impl.set_stamp(stamp.p);
  for (float cx : {20.2f, 45.7f}) {  // two phases: the private entry re-phases
    const Dab cov = CachedDab(*cover.p, cx, 30.0f);
    ilTile touched;
    ASSERT_EQ(impl.draw_stamp(cx - 0.375f, 30.0f - 0.375f, touched), 0);
    EXPECT_EQ(touched, cov.place);
    for (int y = cov.place.y; y < cov.place.y + cov.place.ny; ++y)
      for (int x = cov.place.x; x < cov.place.x + cov.place.nx; ++x) {
        const unsigned a = cov.At(x, y);
        const std::uint32_t s = Px(source.p, x + 5, y - 3);
        std::uint32_t expected = a << 24;
        for (int c = 0; c < 3; ++c) expected |= (((s >> (8 * c)) & 0xFF) * a >> 8) << (8 * c);
        ASSERT_EQ(Px(target.p, x, y), expected) << cx << ": " << x << "," << y;
      }
  }
  impl.set_stamp(nullptr);
  // Through the painter an image stamp takes the separable renderer: the
  // colour under the dab goes through the coverage with the dither (128).
  Ref<ilQVMemoryImg> other(NewMem(64, 64));
  OverPainter sep(other.p);
  ASSERT_EQ(sep.set_stamp(stamp.p), 1);
  PinDither(0x01);
  ASSERT_EQ(sep.draw_stamp(20.2f, 30.0f, nullptr), 0);
  const Dab cov = CachedDab(*cover.p, 20.2f, 30.0f);
  EXPECT_GT(ExpectSeparable(other.p, cov, [&](int x, int y) { return Px(source.p, x + 5, y - 3); }),
            50);
}

TEST_F(StampDraw, MaskSourceScalesTheTwelveBitCoverage) {
  const int w = 11;  // radius 5
  Ref<ilQVMemoryImg> mask(new ilQVMemoryImg(ilSize(w, w, 1, 1), ilUChar));
  for (int i = 0; i < w * w; ++i) static_cast<std::uint8_t*>(mask->getDataPtr())[i] = i * 2;
  stamp->SetColorSource(Constant1(255));
  Ref<Stamp> plain(new Stamp(*stamp.p));
  stamp->SetMaskSource(new ImagePaintObj("mask", mask.p));
  // Without noise the unmasked pixel is the 12-bit value >> 4; the masked
  // one must lie within the truncations of (v * m >> 8) >> 4.
  const Dab masked = CachedDab(*stamp.p, 10.375f, 10.375f);
  const Dab unmasked = CachedDab(*plain.p, 10.375f, 10.375f);
  ASSERT_EQ(masked.px.size(), static_cast<std::size_t>(w * w));
  int differs = 0;
  for (int i = 0; i < w * w; ++i) {
    const unsigned m = i * 2 & 0xFF, v8 = unmasked.px[i];
    // v12 lies in [16 v8, 16 v8 + 15].
    const unsigned lo = ((16 * v8 * m) >> 8) >> 4, hi = (((16 * v8 + 15) * m) >> 8) >> 4;
    EXPECT_GE(masked.px[i], lo) << i;
    EXPECT_LE(masked.px[i], hi) << i;
    differs += masked.px[i] != v8;
  }
  EXPECT_GT(differs, 30);
  EXPECT_EQ(masked.px[5 * w + 5], (4080u * 120 >> 8) >> 4);  // centre: full coverage, m 120
}

TEST_F(StampDraw, FailuresStopTheRunAndDrawNothing) {
  Ref<ilQVMemoryImg> target(NewMem(32, 32));
  OverPainter painter(target.p);
  ASSERT_EQ(painter.set_stamp(stamp.p), 1);
  EXPECT_EQ(painter.draw_stamp(NAN, 3.0f, nullptr), -1);
  for (bool hq : {true, false}) {
    stamp->SetHighQuality(hq);
    stamp->SetColorSource(new ImagePaintObj("no image", nullptr));
    painter.set_stamp(nullptr);
    ASSERT_EQ(painter.set_stamp(stamp.p), 1);
    EXPECT_EQ(painter.draw_stamp(16.0f, 16.0f, nullptr), -1) << hq;
    // A flat dab (aspect 0) succeeds and changes nothing.
    stamp->SetColor(1, 1, 1, 1);
    stamp->SetAspect(0.0f);
    EXPECT_EQ(painter.draw_stamp(16.0f, 16.0f, nullptr), 0) << hq;
    stamp->SetAspect(1.0f);
  }
  EXPECT_EQ(Snapshot(target.p, 0, 0, 32, 32).pixels, std::vector<std::uint8_t>(32 * 32 * 4, 0));
  // The painter's reset puts the placement back and empties the cache.
  stamp->SetTransform(2, 0, 0, 2);
  EXPECT_GT(StampImageCache::Shared().Count(), 0);
  painter.reset();
  EXPECT_TRUE(stamp->HasIdentityTransform());
  EXPECT_EQ(StampImageCache::Shared().Count(), 0);
}

TEST_F(StampDraw, SingleDabsMatchTheirReferenceImages) {
  struct Case {
    const char* name;
    int profile;
    float radius, aspect, angle, opacity;
    bool sixteen;
  };
  const Case cases[] = {
      {"dab_soft_profile0", 0, 24.0f, 1.0f, 0.0f, 1.0f, false},
      {"dab_hard_profile4", 4, 24.0f, 1.0f, 0.0f, 1.0f, false},
      {"dab_aspect05_angle30", 0, 26.0f, 0.5f, 30.0f, 1.0f, false},
      {"dab_opacity05", 0, 24.0f, 1.0f, 0.0f, 0.5f, false},
      {"dab_16bit_opacity05", 0, 24.0f, 1.0f, 0.0f, 0.5f, true},
  };
  for (const Case& c : cases) {
    Stamp::SetBrush16Bit(c.sixteen);
    Ref<Stamp> s(new Stamp());
    s->SetColor(0.8f, 0.4f, 0.2f, 1.0f);
    s->SetProfile(BrushProfile::NewProfileFunction(c.profile, 2.0f * c.radius));
    s->SetRadius(c.radius);
    s->SetAspect(c.aspect);
    s->SetAngle(c.angle);
    s->SetOpacity(c.opacity);
    Ref<ilQVMemoryImg> target(NewMem(64, 64));
    {
      OverPainter painter(target.p);
      ASSERT_EQ(painter.set_stamp(s.p), 1);
      PinDither(0x01);
      ASSERT_EQ(painter.draw_stamp(32.2f, 31.6f, nullptr), 0) << c.name;
      ASSERT_EQ(painter.GetLowOrderBitImage() != nullptr, c.sixteen) << c.name;
    }
    Stamp::SetBrush16Bit(false);
    EXPECT_TRUE(golden::MatchesGolden(c.name, Snapshot(target.p, 0, 0, 64, 64)));
  }
}

}  // namespace
