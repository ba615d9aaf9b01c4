// Whole strokes through the paint manager compared with reference images:
// one small picture per brush (pressure ramp, hard flat dab, spacing and its
// jitter, marker, smear, clone, clearing clone, blur, the 16-bit faint
// brush), painted from the library's starting state; and the same strokes painted with every dab
// built afresh, or found in a warm dab cache, give the same pixels.
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "golden_image.h"
#include "layers/engine_fixture.h"
#include "manager/paint_state.h"

namespace brenmark::testing {
namespace {

constexpr int kWidth = 96, kHeight = 64;
// Each picture lies across the corner of four 128 x 128 pages.
constexpr int kLeft = 80, kBottom = 100;

// What lies under a stroke: rectangles (x, y, width, height, RGBA).
using Ground = std::vector<std::array<std::uint32_t, 5>>;
const Ground kWhite{{0, 0, kWidth, kHeight, 0xFFFFFFFF}}, kClear{},
    kRedYellow{{0, 0, 48, kHeight, 0xD02020FF}, {48, 0, 48, kHeight, 0xF0D030FF}},
    kBlackWhite{{0, 0, 48, kHeight, 0x000000FF}, {48, 0, 48, kHeight, 0xFFFFFFFF}};
// White with blue squares of 8 in a checkerboard over its lower left 32 x 32.
const Ground kChecks = [] {
  Ground g = kWhite;
  for (std::uint32_t y = 0; y < 32; y += 8)
    for (std::uint32_t x = (y / 8) % 2 * 8; x < 32; x += 16) g.push_back({x, y, 8, 8, 0x3050A0FF});
  return g;
}();

struct Sample {
  float x, y, pressure;
};

// The brush: radius, opacity and profile index; the dab's aspect and angle;
// the stroke's spacing and its jitter.
struct Tip {
  float radius, opacity;
  int profile = 0;
  float aspect = 1, angle = 0, spacing = 1, jitter = 0;
};

enum Mode { kPaint, kMarker, kSmear, kClone, kBlur };

struct Case {
  const char* name;
  Ground ground;
  PaintColor colour;
  Mode mode;
  Tip tip;
  std::vector<Sample> samples;
  float cloneX, cloneY;  // clone source offset
};

Case Stroke(const char* name, Ground g, PaintColor c, Mode m, Tip t, std::vector<Sample> s,
            float cloneX = -48, float cloneY = -16) {
  return {name, g, c, m, t, std::move(s), cloneX, cloneY};
}

const PaintColor kInk(0.1f, 0.2f, 0.6f, 1.0f), kRust(0.7f, 0.1f, 0.1f, 1.0f),
    kLeaf(0.1f, 0.5f, 0.2f, 1.0f);

// Pressure scales radius and opacity, as a tablet pen does.
const Case kCases[] = {
    Stroke("stroke_soft_pressure_ramp", kWhite, kInk, kPaint, {10, 1},
           {{10, 32, 0.1f}, {30, 40, 0.4f}, {55, 24, 0.7f}, {84, 32, 1.0f}}),
    Stroke("stroke_hard_flat_turned", kWhite, kRust, kPaint, {9, 1, 4, 0.5f, 30},
           {{12, 12, 1}, {48, 50, 1}, {84, 14, 1}}),
    Stroke("stroke_spaced_dabs", kWhite, kInk, kPaint, {5, 1, 4, 1, 0, 4},
           {{8, 20, 1}, {88, 20, 1}}),
    Stroke("stroke_spaced_dabs_jitter", kWhite, kInk, kPaint, {5, 1, 4, 1, 0, 4, 0.6f},
           {{8, 44, 1}, {88, 44, 1}}),
    Stroke("stroke_marker_over_colour", kRedYellow, kLeaf, kMarker, {8, 1},
           {{8, 32, 1}, {88, 32, 1}, {88, 12, 1}}),
    Stroke("stroke_smear_two_colours", kRedYellow, kInk, kSmear, {8, 1, 0, 1, 0, 0.25f},
           {{20, 32, 1}, {76, 32, 1}}),
    Stroke("stroke_clone_offset", kChecks, kInk, kClone, {10, 1, 2}, {{60, 28, 1}, {88, 52, 1}}),
    // Cloning from where the layer is empty blends towards transparent: the
    // engine's eraser.
    Stroke("stroke_clone_from_nothing_clears", kChecks, kInk, kClone, {6, 1, 4},
           {{8, 20, 1}, {60, 36, 0.5f}, {88, 48, 1}}, 0, -80),
    Stroke("stroke_blur_hard_edge", kBlackWhite, kInk, kBlur, {12, 1}, {{48, 8, 1}, {48, 56, 1}}),
    Stroke("stroke_16bit_faint_large", kClear, kInk, kPaint, {24, 0.1f},
           {{16, 32, 1}, {80, 32, 1}, {16, 34, 1}}),
};

class StrokeGolden : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    host_.SetDefaultViewSize(256, 256);
  }
  void TearDown() override {
    Brenmark.SetBlurBrush(false);
    EngineTest::TearDown();
  }

  // Paints the case on a new canvas; its layer's pixels, top row first.
  golden::Image Paint(const Case& c) {
    PntNewLayer(NewStack(), false);
    ilImage* img = Stack()->GetCurrentLayerPtr()->GetImage();
    for (const auto& [x, y, nx, ny, rgba] : c.ground) {
      const std::uint8_t px[4] = {std::uint8_t(rgba >> 24), std::uint8_t(rgba >> 16),
                                  std::uint8_t(rgba >> 8), std::uint8_t(rgba)};
      img->fillTile(kLeft + x, kBottom + y, nx, ny, px);
    }
    StrokeParameters sp;
    sp.interpolation = 0;
    sp.spacing = c.tip.spacing;
    sp.spacingJitter = c.tip.jitter;
    sp.markerBlend = c.mode == kMarker;
    Brenmark.SetStrokeParameters(sp);
    BrushParameters b;
    b.color = c.colour;
    b.profile.index = c.tip.profile;
    b.radius1 = b.radius2 = c.tip.radius;
    b.opacity1 = b.opacity2 = c.tip.opacity;
    b.smear = c.mode == kSmear;
    b.clone = c.mode == kClone;
    b.cloneOffsetX = c.cloneX;
    b.cloneOffsetY = c.cloneY;
    b.markerWetness = 0.5f;
    Brenmark.SetBrushParameters(b, true);
    Brenmark.SetBlurBrush(c.mode == kBlur);
    Brenmark.BeginBrushStroke();
    for (const Sample& s : c.samples)
      Brenmark.AddStrokePoint(kLeft + s.x, kBottom + s.y, c.tip.radius * s.pressure,
                              c.tip.opacity * s.pressure, c.tip.aspect, c.tip.angle, false, false);
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
      img->getTile(kLeft, kBottom + y, kWidth, 1, &out.pixels[(kHeight - 1 - y) * kWidth * 4]);
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
