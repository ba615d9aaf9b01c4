// Whole strokes through the paint manager compared with reference images:
// one small picture per brush (pressure ramp, hard flat dab, spacing and its
// jitter, marker, smear, clone, clearing clone, blur, the 16-bit faint
// brush), painted from the library's starting state; and the same strokes painted with every dab
// built afresh, or found in a warm dab cache, give the same pixels.
#include <cstdint>
#include <vector>

#include "golden_image.h"
#include "layers/engine_fixture.h"
#include "manager/paint_state.h"

namespace brenmark::testing {
namespace {

constexpr int kWidth = 96, kHeight = 64;

enum class Ground { kWhite, kRedYellow, kBlackWhite, kChecks, kClear };

struct Sample {
  float x, y, pressure;
};

struct Case {
  const char* name;
  Ground ground;
  PaintColor colour;
  float radius, opacity;
  int profile = 0;
  float aspect = 1, angle = 0;
  float spacing = 1, jitter = 0;
  enum { kPaint, kMarker, kSmear, kClone, kBlur } mode = kPaint;
  std::vector<Sample> samples;
  float cloneX = -48, cloneY = -16;  // clone source offset
};

const PaintColor kInk(0.1f, 0.2f, 0.6f, 1.0f);

// Pressure scales radius and opacity, as a tablet pen does.
const Case kCases[] = {
    {"stroke_soft_pressure_ramp",
     Ground::kWhite,
     kInk,
     10,
     1,
     0,
     1,
     0,
     1,
     0,
     Case::kPaint,
     {{10, 32, 0.1f}, {30, 40, 0.4f}, {55, 24, 0.7f}, {84, 32, 1.0f}}},
    {"stroke_hard_flat_turned",
     Ground::kWhite,
     PaintColor(0.7f, 0.1f, 0.1f, 1.0f),
     9,
     1,
     4,
     0.5f,
     30,
     1,
     0,
     Case::kPaint,
     {{12, 12, 1}, {48, 50, 1}, {84, 14, 1}}},
    {"stroke_spaced_dabs",
     Ground::kWhite,
     kInk,
     5,
     1,
     4,
     1,
     0,
     4,
     0,
     Case::kPaint,
     {{8, 20, 1}, {88, 20, 1}}},
    {"stroke_spaced_dabs_jitter",
     Ground::kWhite,
     kInk,
     5,
     1,
     4,
     1,
     0,
     4,
     0.6f,
     Case::kPaint,
     {{8, 44, 1}, {88, 44, 1}}},
    {"stroke_marker_over_colour",
     Ground::kRedYellow,
     PaintColor(0.1f, 0.5f, 0.2f, 1.0f),
     8,
     1,
     0,
     1,
     0,
     1,
     0,
     Case::kMarker,
     {{8, 32, 1}, {88, 32, 1}, {88, 12, 1}}},
    {"stroke_smear_two_colours",
     Ground::kRedYellow,
     kInk,
     8,
     1,
     0,
     1,
     0,
     0.25f,
     0,
     Case::kSmear,
     {{20, 32, 1}, {76, 32, 1}}},
    {"stroke_clone_offset",
     Ground::kChecks,
     kInk,
     10,
     1,
     2,
     1,
     0,
     1,
     0,
     Case::kClone,
     {{60, 28, 1}, {88, 52, 1}}},
    // Cloning from where the layer is empty blends towards transparent: the
    // engine's eraser.
    {"stroke_clone_from_nothing_clears",
     Ground::kChecks,
     kInk,
     6,
     1,
     4,
     1,
     0,
     1,
     0,
     Case::kClone,
     {{8, 20, 1}, {60, 36, 0.5f}, {88, 48, 1}},
     0,
     -80},
    {"stroke_blur_hard_edge",
     Ground::kBlackWhite,
     kInk,
     12,
     1,
     0,
     1,
     0,
     1,
     0,
     Case::kBlur,
     {{48, 8, 1}, {48, 56, 1}}},
    {"stroke_16bit_faint_large",
     Ground::kClear,
     kInk,
     24,
     0.1f,
     0,
     1,
     0,
     1,
     0,
     Case::kPaint,
     {{16, 32, 1}, {80, 32, 1}, {16, 34, 1}}},
};

class StrokeGolden : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    host_.SetDefaultViewSize(kWidth, kHeight);
  }
  void TearDown() override {
    Brenmark.SetBlurBrush(false);
    EngineTest::TearDown();
  }

  static void Fill(ilImage* img, int x, int y, int nx, int ny, std::uint32_t rgba) {
    const std::uint8_t px[4] = {
        static_cast<std::uint8_t>(rgba >> 24), static_cast<std::uint8_t>(rgba >> 16),
        static_cast<std::uint8_t>(rgba >> 8), static_cast<std::uint8_t>(rgba)};
    img->fillTile(x, y, nx, ny, px);
  }

  static void PaintGround(ilImage* img, Ground g) {
    switch (g) {
      case Ground::kWhite:
        Fill(img, 0, 0, kWidth, kHeight, 0xFFFFFFFF);
        break;
      case Ground::kRedYellow:
        Fill(img, 0, 0, kWidth / 2, kHeight, 0xD02020FF);
        Fill(img, kWidth / 2, 0, kWidth / 2, kHeight, 0xF0D030FF);
        break;
      case Ground::kBlackWhite:
        Fill(img, 0, 0, kWidth / 2, kHeight, 0x000000FF);
        Fill(img, kWidth / 2, 0, kWidth / 2, kHeight, 0xFFFFFFFF);
        break;
      case Ground::kChecks:
        Fill(img, 0, 0, kWidth, kHeight, 0xFFFFFFFF);
        for (int y = 0; y < 32; y += 8)
          for (int x = (y / 8) % 2 * 8; x < 32; x += 16) Fill(img, x, y, 8, 8, 0x3050A0FF);
        break;
      case Ground::kClear:
        break;
    }
  }

  // Paints the case on a new canvas; its layer's pixels, top row first.
  golden::Image Paint(const Case& c) {
    PntNewLayer(NewStack(), false);
    ilImage* img = Stack()->GetCurrentLayerPtr()->GetImage();
    PaintGround(img, c.ground);
    StrokeParameters sp;
    sp.interpolation = 0;
    sp.spacing = c.spacing;
    sp.spacingJitter = c.jitter;
    sp.markerBlend = c.mode == Case::kMarker;
    Brenmark.SetStrokeParameters(sp);
    BrushParameters b;
    b.color = c.colour;
    b.profile.index = c.profile;
    b.radius1 = b.radius2 = c.radius;
    b.opacity1 = b.opacity2 = c.opacity;
    b.smear = c.mode == Case::kSmear;
    b.clone = c.mode == Case::kClone;
    b.cloneOffsetX = c.cloneX;
    b.cloneOffsetY = c.cloneY;
    b.markerWetness = 0.5f;
    Brenmark.SetBrushParameters(b, true);
    Brenmark.SetBlurBrush(c.mode == Case::kBlur);
    Brenmark.BeginBrushStroke();
    for (const Sample& s : c.samples)
      Brenmark.AddStrokePoint(s.x, s.y, c.radius * s.pressure, c.opacity * s.pressure, c.aspect,
                              c.angle, false, false);
    Brenmark.EndBrushStroke();
    Brenmark.SetBlurBrush(false);
    // The stroke's undo record keeps the image as it was; the layer may
    // hold a new one.
    img = Stack()->GetCurrentLayerPtr()->GetImage();
    golden::Image out;
    out.width = kWidth;
    out.height = kHeight;
    out.pixels.resize(kWidth * kHeight * 4);
    for (int y = 0; y < kHeight; ++y)
      img->getTile(0, y, kWidth, 1, &out.pixels[(kHeight - 1 - y) * kWidth * 4]);
    return out;
  }
};

TEST_F(StrokeGolden, StrokesPaintTheReferencePictures) {
  for (const Case& c : kCases) {
    ResetPaintState();
    EXPECT_TRUE(golden::MatchesGolden(c.name, Paint(c)));
  }
}

// A dab taken from the cache must be the dab built afresh: with a budget of
// one byte nearly every dab is built anew (only a repeat of the one before
// is found), cold the cache fills as the stroke goes, warm every dab is found.
TEST_F(StrokeGolden, CachedDabsPaintAsFreshOnes) {
  StampImageCache& cache = StampImageCache::Shared();
  for (const Case& c : kCases) {
    long long built[3];
    const auto paint = [&](int pass) {
      const long long before = cache.Misses();
      golden::Image out = Paint(c);
      built[pass] = cache.Misses() - before;
      return out;
    };
    ResetPaintState();
    cache.SetBudget(1);
    const golden::Image fresh = paint(0);
    cache.SetBudget(StampImageCache::kDefaultBudget);
    ResetPaintState();
    const golden::Image cold = paint(1);
    ResetPaintState(true);
    const golden::Image warm = paint(2);
    EXPECT_TRUE(fresh.pixels == cold.pixels) << c.name;
    EXPECT_TRUE(warm.pixels == cold.pixels) << c.name;
    EXPECT_GE(built[0], built[1]) << c.name;
    EXPECT_GT(built[1], 0) << c.name;
    EXPECT_EQ(built[2], 0) << c.name;
  }
}

}  // namespace
}  // namespace brenmark::testing
