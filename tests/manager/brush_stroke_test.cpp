// Brush strokes through the paint manager: clamps, spacing bias, the 16-bit
// decision, the pressure filter, painted and shown pixels, undo capture,
// commands that interrupt a stroke and the guarded corners (unknown
// interpolation, preview, marker colour, curve).
#include <cstdint>
#include <cstring>

#include "brenmark/image_paint_obj.h"
#include "host/polyline_curve.h"
#include "manager/command_undo.h"
#include "manager/manager_fixture.h"

namespace brenmark::testing {
namespace {

const PaintColor kRed(1.0f, 0.0f, 0.0f, 1.0f);
const PaintColor kBlue(0.0f, 0.0f, 1.0f, 1.0f);

class BrushStroke : public StrokeTest {
 protected:
  // Opaque red: memory bytes R, G, B, A.
  static constexpr std::uint32_t kOpaqueRed = 0xff0000ffu;
};

TEST_F(BrushStroke, PointsAreClampedToOnePixel) {
  struct Case {
    float radius, aspect, wantRadius, wantAspect;
  } cases[] = {{0.5f, 1.0f, 1.0f, 1.0f},
               {4.0f, 0.1f, 4.0f, 0.25f},
               {4.0f, 0.5f, 4.0f, 0.5f},
               {0.2f, 0.5f, 1.0f, 1.0f}};
  Brenmark.BeginBrushStroke();
  ASSERT_TRUE(Brenmark.InBrushStroke());
  for (const Case& c : cases)
    Brenmark.AddStrokePoint(10, 10, c.radius, 1.0f, c.aspect, 0, false, false);
  ASSERT_EQ(Brenmark.GetStroke()->Count(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ((*Brenmark.GetStroke())[i].radius, cases[i].wantRadius) << i;
    EXPECT_EQ((*Brenmark.GetStroke())[i].aspect, cases[i].wantAspect) << i;
  }
}

TEST_F(BrushStroke, SpacingBiasFollowsMarkerBlendAndSpacingHasAFloor) {
  const float radii[] = {1, 8, 14, 20, 30, 40, 41, 100};
  const double marker[] = {0.3, 0.3, 0.55, 0.8, 0.9, 1.0, 1.0, 1.0};
  for (float r : radii) EXPECT_DOUBLE_EQ(Brenmark.GetSpacingBias(r), 1.0) << r;
  StrokeParameters p;
  p.markerBlend = true;
  p.spacing = 0.05f;  // raised to a tenth when a stroke begins
  Brenmark.SetStrokeParameters(p);
  for (int i = 0; i < 8; ++i)
    EXPECT_NEAR(Brenmark.GetSpacingBias(radii[i]), marker[i], 1e-6) << radii[i];
  Brenmark.BeginBrushStroke();
  Brenmark.EndBrushStroke();
  EXPECT_EQ(Brenmark.GetStrokeParameters().spacing, 0.1f);
}

TEST_F(BrushStroke, SixteenBitOnlyForLargeFaintPlainBrushes) {
  struct Case {
    float radius, opacity;
    bool smear, want;
  } cases[] = {{6, 0.1f, false, true},
               {5, 0.1f, false, false},
               {6, 0.2f, false, false},
               {6, 0.1f, true, false}};
  for (const Case& c : cases) {
    Brush(kRed, c.radius, c.opacity, c.smear);
    EXPECT_EQ(Brenmark.Use16BitBrush(), c.want) << c.radius << " " << c.opacity;
  }
  Brush(kRed, 6, 0.1f);
  Brenmark.SetBlurBrush(true);
  Brenmark.BeginBrushStroke();
  EXPECT_FALSE(Brenmark.Use16BitBrush());
}

TEST_F(BrushStroke, PressureFilterCutsTheLowQuarter) {
  PaintManager::InitPressureFilter(0, 1023);
  TpressureFilter* first = PaintManager::PressFilter;
  PaintManager::InitPressureFilter(0, 1023);
  EXPECT_EQ(PaintManager::PressFilter, first);
  for (unsigned raw : {0u, 100u, 255u}) EXPECT_EQ(PaintManager::PressureFilter(raw), 0.0f) << raw;
  EXPECT_GT(PaintManager::PressureFilter(600), 0.0f);
  EXPECT_EQ(PaintManager::PressureFilter(1023), 1.0f);
  EXPECT_EQ(PaintManager::PressureFilter(5000), 1.0f);
}

TEST_F(BrushStroke, StrokePaintsTheLayerAndShowsOnTheView) {
  Line(10, 20, 40);
  // Premultiplied red: bytes (a, 0, 0, a). Row 20 across the stroke's
  // ends, and the rows just outside its reach.
  const struct {
    int x, y;
    std::uint32_t alpha;
  } cells[] = {{5, 20, 0},     {6, 20, 0x14},  {7, 20, 0x8c},  {9, 20, 0xff}, {25, 20, 0xff},
               {41, 20, 0xf0}, {42, 20, 0x8a}, {43, 20, 0x15}, {44, 20, 0},   {25, 16, 0x28},
               {25, 15, 0},    {25, 23, 0x28}, {25, 24, 0},    {63, 47, 0}};
  for (const auto& c : cells)
    EXPECT_EQ(Pixel(c.x, c.y), c.alpha << 24 | c.alpha) << c.x << "," << c.y;
  const int view = Brenmark.CB()->GetViewOfWindow(Stack()->GetWindow());
  const std::uint32_t* shown = host_.ShownPixels(view);
  std::uint8_t bytes[4];
  std::memcpy(bytes, &shown[20 * 64 + 25], 4);
  EXPECT_EQ((std::vector<int>{bytes[0], bytes[1], bytes[2]}), (std::vector<int>{255, 0, 0}));
}

TEST_F(BrushStroke, ColourSetDuringAStrokeDoesNotReachIt) {
  Brenmark.BeginBrushStroke();
  Brenmark.SetColor(kBlue, true);
  Brenmark.AddStrokePoint(10, 10, 4, 1, 1, 0, false, false);
  Brenmark.AddStrokePoint(30, 10, 4, 1, 1, 0, false, false);
  Brenmark.EndBrushStroke();
  EXPECT_EQ(Pixel(20, 10), kOpaqueRed);
  EXPECT_TRUE(Brenmark.GetBrushParameters().color == kRed);
}

TEST_F(BrushStroke, UnknownInterpolationPaintsStraight) {
  StrokeParameters p;
  p.interpolation = 1;
  Brenmark.SetStrokeParameters(p);
  Line(10, 20, 40);
  EXPECT_EQ(Pixel(25, 20), 0u);  // the smoothed path lags behind two samples
  p.interpolation = 7;
  Brenmark.SetStrokeParameters(p);
  Line(10, 20, 40);
  EXPECT_EQ(Pixel(25, 20), kOpaqueRed);
}

TEST_F(BrushStroke, EachStrokeCommitsOneLayerRecordUnlessUndoIsOff) {
  const int before = CommandUndo::Committed(UndoRecordKind::kLayerStroke);
  Line(10, 20, 40);
  EXPECT_EQ(CommandUndo::Committed(UndoRecordKind::kLayerStroke), before + 1);
  UndoSwitchScope off("1");
  Line(10, 20, 40);
  EXPECT_EQ(CommandUndo::Committed(UndoRecordKind::kLayerStroke), before + 1);
}

TEST_F(BrushStroke, PreviewNeedsAPainterAndNoStrokeAndLeavesTheLayer) {
  Brenmark.BrushPreviewPoint(20, 20, 4, 1, 1, 0);
  EXPECT_EQ(Pixel(20, 20), 0u);
  EXPECT_FALSE(Stack()->GetBrushPreviewRegion().empty());
  Brenmark.BeginBrushStroke();
  Brenmark.AddStrokePoint(10, 10, 4, 1, 1, 0, false, false);
  Brenmark.AddStrokePoint(11, 10, 4, 1, 1, 0, false, false);
  const ilTile pending = Stack()->GetUpdateRegion();
  Brenmark.BrushPreviewPoint(40, 40, 4, 1, 1, 0);
  EXPECT_EQ(Stack()->GetUpdateRegion().x, pending.x);
  EXPECT_EQ(Stack()->GetUpdateRegion().nx, pending.nx);
  DeleteAllStacks();  // ends the stroke before its painter goes
  EXPECT_FALSE(Brenmark.InBrushStroke());
  Brenmark.EndBrushStroke();
  Brenmark.BrushPreviewPoint(20, 20, 4, 1, 1, 0);
  Brenmark.ClearBrushPreview();
  EXPECT_FALSE(Brenmark.InPreview());
}

TEST_F(BrushStroke, MarkerBlendDarkensTheStampNotTheBrushColour) {
  StrokeParameters p;
  p.markerBlend = true;
  Brenmark.SetStrokeParameters(p);
  // The stamp's colour: bytes R, G, B, A of its constant image.
  const auto stampColour = [] {
    std::uint32_t v = 0;
    Brenmark.GetStamp()->GetColorSource()->image()->getTile(0, 0, 1, 1, &v);
    return v;
  };
  const struct {
    PaintColor c;
    std::uint32_t stamp;  // 0.85 of each channel, times 255, truncated
  } cases[] = {{kRed, 0xff0000d8u}, {PaintColor(0.0f, 0.0f, 0.0f, 1.0f), 0xff000000u}};
  for (const auto& k : cases) {
    Brenmark.SetColor(k.c, true);
    Brenmark.SetColor(k.c, true);
    EXPECT_TRUE(Brenmark.GetBrushParameters().color == k.c);
    EXPECT_EQ(stampColour(), k.stamp);
  }
}

TEST_F(BrushStroke, CurveStrokesLeaveTheCallersCurve) {
  ag_curve* curve = host::MakePolylineCurve({{10, 20}, {40, 20}}, false);
  Stack()->SetLayerStackOffset(3, 0);
  StrokeParameters p;
  p.interpolation = 2;
  p.curve = curve;
  Brenmark.SetStrokeParameters(p);
  Line(10, 20, 40);
  Line(10, 20, 40);
  EXPECT_EQ(curve->splines->points[0], 10.0f);
  EXPECT_EQ(curve->splines->points[2], 40.0f);
  host::ReleaseCurve(&curve);
}

// Structural and recorded commands end the running stroke first, so its
// dabs stay in the layer it began on, its record comes before the
// command's, and the later stroke calls do nothing.
TEST_F(BrushStroke, CommandsEndTheRunningStrokeAndRecordAfterIt) {
  struct Case {
    const char* name;
    void (*command)();
    int layersAfter;
    int alphaAfter;  // at the stroke's middle, in the layer it began on
  };
  const Case cases[] = {
      {"delete", [] { Brenmark.DeleteCurrentLayer(-2); }, 1, 255},
      {"merge down", [] { Brenmark.MergeLayerWithBelow(reinterpret_cast<void*>(-2)); }, 1, 255},
      {"duplicate", [] { Brenmark.DuplicateCurrentLayer(false, -2); }, 3, 255},
      {"move", [] { Brenmark.MoveCurrentLayer(1); }, 2, 255},
      {"clear", [] { Brenmark.ClearCurrentLayer(-2); }, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaintUndoList.FlushUndoList(nullptr);
    Brenmark.DeleteLayerStack(-2);
    NewStack();
    PntNewLayer(-2, false);
    PntNewLayer(-2, false);
    Layer* painted = Stack()->GetCurrentLayerPtr();
    Resource::ref(painted);
    Line(10, 10, 40, false);
    const int before = PaintUndoList.Count();
    c.command();
    EXPECT_FALSE(Brenmark.InBrushStroke());
    // The stroke's record, then the command's.
    EXPECT_EQ(PaintUndoList.Count(), before + 2);
    EXPECT_EQ(Pixel(25, 10, painted) >> 24, c.alphaAfter);
    // What follows belongs to no stroke and changes nothing.
    Brenmark.AddStrokePoint(40, 30, 4, 1, 1, 0, false, false);
    Brenmark.EndBrushStroke();
    EXPECT_EQ(Pixel(40, 30, painted) >> 24, 0);
    EXPECT_EQ(PaintUndoList.Count(), before + 2);
    EXPECT_EQ(Stack()->GetLayerCount(), c.layersAfter);
    Resource::unref(painted);
    // Undoing the command, then the stroke, leaves the layer as it was
    // before the stroke.
    ASSERT_TRUE(PaintUndoList.Undo());
    ASSERT_TRUE(PaintUndoList.Undo());
    EXPECT_EQ(Stack()->GetLayerCount(), 2);
    EXPECT_EQ(Pixel(25, 10, Stack()->GetLayerFromIndex(2)) >> 24, 0);
  }
}

}  // namespace
}  // namespace brenmark::testing
