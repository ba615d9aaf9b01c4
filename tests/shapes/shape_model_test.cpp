// The shape model: identity and copies, the dirty-flag rules of the
// parameters, the generator image cache, mask inversion, renderer bounds,
// luminance, and masks kept while nothing changes.
#include <brenmark/il.h>
#include <brenmark/image_generator.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/shape.h>
#include <brenmark/shape_parms.h>
#include <brenmark/shape_renderer.h>
#include <brenmark/smart_image.h>

#include <array>
#include <functional>
#include <regex>
#include <string>

#include "host/shape_curves.h"
#include "layers/engine_fixture.h"

namespace {

using brenmark::testing::EngineTest;
namespace host = brenmark::host;

class ShapeModel : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    h_ = NewStack();
    index_ = Brenmark.CreateShapeLayer(h_, false);
    layer_ = Stack(h_)->GetLayerFromIndex(index_);
  }
  // A filled and stroked square (10, 10)-(20, 20) on the shape layer,
  // white fill, black stroke.
  Shape* AddSquare(ShapeImageParms* parms) {
    auto* s = new Shape(layer_, host::MakeRectangleCurve(10, 10, 10, 10),
                        host::MakeRectangleCurve(10, 10, 10, 10), parms);
    Brenmark.AddShape(s, Layer::kTopShapeIndex, index_, h_);
    return s;
  }
  unsigned Pixel(int x, int y) {
    return ilSmartImage::As_ilSmartImage(layer_->GetImage())->GetPixel(x, y);
  }
  int h_ = -1;
  int index_ = 0;
  Layer* layer_ = nullptr;
};

TEST_F(ShapeModel, HandlesCountUpAndCopiesKeepHandleNameParametersAndMask) {
  const int before = Shape::HandleCounter();
  auto* parms = new ShapeImageParms();
  const int curves = host::LivePolylineCurveCount();
  const int renderers = ShapeRenderer::Count;
  auto* a = new Shape(layer_, host::MakeRectangleCurve(0, 0, 4, 4), nullptr, parms);
  a->ref();
  EXPECT_EQ(a->GetHandleValue(), before + 1);
  EXPECT_EQ(a->GetShapeName(), "Shape-" + std::to_string(before + 1));
  if (before == 0) {
    EXPECT_EQ(a->GetHandle(), reinterpret_cast<void*>(1));  // first of the process
  }
  EXPECT_EQ(ShapeRenderer::Count, renderers + 2);
  a->SetShapeName("Outline");
  a->Render(layer_->GetPainter(), false, false);
  auto* b = new Shape(a);
  b->ref();
  EXPECT_EQ(b->GetHandle(), a->GetHandle());
  EXPECT_EQ(b->GetShapeName(), std::string("Outline"));
  EXPECT_EQ(b->GetShapeParms(), parms);
  EXPECT_EQ(parms->RefCount(), 2);
  EXPECT_NE(b->GetFillCurve(), a->GetFillCurve());  // its own copy
  EXPECT_EQ(host::LivePolylineCurveCount(), curves + 2);
  EXPECT_EQ(b->GetFillRenderer()->ShapeMask(), a->GetFillRenderer()->ShapeMask());
  EXPECT_EQ(Shape::HandleCounter(), before + 1);
  b->unref();
  a->unref();
  EXPECT_EQ(host::LivePolylineCurveCount(), curves);
  EXPECT_EQ(ShapeRenderer::Count, renderers);
}

TEST_F(ShapeModel, SettersMarkOnlyWhatTheirValueAffects) {
  using M = ShapeMaskParms;
  const struct {
    const char* what;
    std::function<void(M&)> change;
    bool parmsDirty, maskDirty;
  } cases[] = {
      {"same fill opacity", [](M& p) { p.SetFillOpacity(1.0f); }, false, false},
      {"new fill opacity", [](M& p) { p.SetFillOpacity(0.5f); }, true, true},
      {"fill on top", [](M& p) { p.SetFillOnTop(true); }, true, false},
      {"same fill on top", [](M& p) { p.SetFillOnTop(false); }, false, false},
      {"spacing", [](M& p) { p.SetStampSpacing(2.0f); }, true, true},
      {"same offset", [](M& p) { p.SetFillTextureOffset(M::Offset(0, 0)); }, false, false},
      {"stroke offset y", [](M& p) { p.SetStrokeTextureOffset(M::Offset(0, 1)); }, true, true},
      {"bounds z only", [](M& p) { p.SetImageBnd(ilTile(0, 0, 5, 0, 0, 1)); }, false, false},
      {"bounds nx", [](M& p) { p.SetImageBnd(ilTile(0, 0, 0, 1, 0, 1)); }, true, true},
      {"same brush", [](M& p) { p.SetBrushParms(p.GetBrushParameters()); }, false, false},
      {"brush radius",
       [](M& p) {
         BrushParameters b = p.GetBrushParameters();
         b.radius2 = 9.0f;
         p.SetBrushParms(b);
       },
       true, true},
      {"no stroke", [](M& p) { p.DoStroke(false); }, true, true},
      {"inverse", [](M& p) { p.SetInverse(true); }, true, true},
      {"same inverse", [](M& p) { p.SetInverse(false); }, false, false},
      {"fill colour",
       [](M& p) {
         ImageGeneratorSolid::ResolvePtr(p.GetFillImgGrtCtlr()->GetGenerator())
             ->SetColor(ilPixel(ilUChar, 4));
       },
       true, false},
  };
  for (const auto& c : cases) {
    ShapeMaskParms p;
    EXPECT_TRUE(p.IsParmsDirty() && p.IsMaskDirty()) << c.what;  // new parameters render
    p.GetFillTexture(1, 1);  // the generator images are made, no longer dirty
    p.GetStrokeTexture(1, 1);
    p.ResetMaskDirty();
    p.ResetParmsDirty();
    c.change(p);
    EXPECT_EQ(p.IsParmsDirty(), c.parmsDirty) << c.what;
    EXPECT_EQ(p.IsMaskDirty(), c.maskDirty) << c.what;
  }
}

TEST_F(ShapeModel, NewParametersRebuildMasksOnlyWhenTheyRenderDifferently) {
  Shape* s = AddSquare(new ShapeImageParms());
  s->Render(false, false);
  const struct {
    const char* what;
    std::function<void(ShapeImageParms&)> change;
    bool maskDirty;
  } cases[] = {
      {"same values", [](ShapeImageParms&) {}, false},
      {"spacing, not compared", [](ShapeImageParms& p) { p.SetStampSpacing(3.0f); }, false},
      {"fill on top, not compared", [](ShapeImageParms& p) { p.SetFillOnTop(true); }, false},
      {"stroke opacity", [](ShapeImageParms& p) { p.SetStrokeOpacity(0.25f); }, true},
      {"no fill", [](ShapeImageParms& p) { p.DoFill(false); }, true},
  };
  for (const auto& c : cases) {
    auto* next = new ShapeImageParms();
    c.change(*next);
    next->ResetMaskDirty();
    next->ResetParmsDirty();
    s->SetShapeParms(next);
    EXPECT_TRUE(s->IsParmsDirty()) << c.what;
    EXPECT_EQ(s->IsMaskDirty(), c.maskDirty) << c.what;
    s->Render(false, false);
    s->SetShapeParms(new ShapeImageParms());  // defaults again, for the next case
    s->Render(false, false);
  }
  EXPECT_TRUE(ShapeParms::ResolvePtr(static_cast<ShapeParms*>(s->GetShapeParms())));
  EXPECT_FALSE(ShapeMaskParms::ResolvePtr(static_cast<ShapeParms*>(s->GetShapeParms())));
}

// Images of exactly the asked size, so the cache's slack can be measured.
ilSmartImage* SizedImage(int w, int h) {
  auto* img = new ilSmartImage(ilPixel(ilUChar, 4));
  const unsigned char opaque[4] = {1, 2, 3, 255};
  img->fillTile(0, 0, w, h, opaque);
  return img;
}

class SizedGenerator : public ImageGenerator {
 public:
  explicit SizedGenerator(ImageGntrController* c) : ImageGenerator(c, "SizedForTest") {}
  ilSmartImage* GetImage(int w, int h) override {
    ++made;
    return SizedImage(w, h);
  }
  static inline int made = 0;
};

TEST_F(ShapeModel, GeneratorImageIsReusedUpToEightPixelsWiderOrTaller) {
  ImageGntrController::RegisterGeneratorType(
      "SizedForTest",
      [](ImageGntrController* c) -> ImageGenerator* { return new SizedGenerator(c); });
  ImageGntrController c;
  EXPECT_STREQ(c.GetGeneratorType(), "ImageGeneratorSolid");
  EXPECT_TRUE(c.SetGeneratorType("SizedForTest"));
  EXPECT_FALSE(c.SetGeneratorType("SizedForTest"));
  const struct {
    int w, h;
    bool reused;
  } steps[] = {{100, 100, false}, {92, 100, true}, {100, 92, true},
               {91, 100, false},  {91, 92, true},  {83, 92, true},
               {91, 91, false},   {92, 91, false}, {92, 91, true}};
  ilSmartImage* last = nullptr;
  SizedGenerator::made = 0;
  int made = 0;
  for (const auto& s : steps) {
    ilSmartImage* img = c.GetImage(s.w, s.h);
    if (!s.reused) ++made;
    EXPECT_EQ(SizedGenerator::made, made) << s.w << " x " << s.h;
    EXPECT_EQ(img == last, s.reused) << s.w << " x " << s.h;
    last = img;
  }
  c.SetImageDirty(true);  // a settings change regenerates even at the same size
  c.GetImage(92, 91);
  EXPECT_EQ(SizedGenerator::made, made + 1);
  EXPECT_TRUE(c.SetGeneratorType("NoSuchGenerator"));
  EXPECT_EQ(c.GetImage(10, 10), nullptr);
  EXPECT_EQ(c.GetGeneratorType(), nullptr);
}

TEST_F(ShapeModel, SolidGeneratorCopiesColourAndNotifiesOnlyOnChange) {
  ImageGntrController a, b;
  auto* solid = ImageGeneratorSolid::ResolvePtr(a.GetGenerator());
  ASSERT_NE(solid, nullptr);
  EXPECT_EQ(solid->GetColor(), ilPixel(ilUChar, 4, "\xFF\x00\x00\xFF"));  // opaque red
  a.GetImage(4, 4);
  EXPECT_FALSE(solid->SetColor(solid->GetColor()));
  EXPECT_FALSE(a.GetImageDirty());
  solid->SetColor(10.9f, 20.0f, 30.0f, 255.0f);
  b.Copy(&a);
  EXPECT_TRUE(b.GetImageDirty());
  EXPECT_EQ(b.GetGenerator()->GetController(), &b);
  // 10.9 truncated to 10 (0x0A).
  EXPECT_EQ(b.GetImage(3, 3)->GetFillValue(), 0xFF1E140Au);
}

TEST_F(ShapeModel, InversionFlipsPixelsOverWholePagesAndTheFill) {
  auto* mask = new ilSmartImage(ilPixel(ilUChar, 1));
  mask->ref();
  const unsigned char v = 100;
  mask->fillTile(120, 5, 10, 1, &v);  // across the page seam at x = 128
  // 255 * (256 - 100) / 256 = 155 on both sides of the seam; (255, 127) is
  // the last pixel of the second page, (-1, 5) the fill outside.
  ShapeMaskParms::InvertImage(mask);
  EXPECT_EQ((std::array{mask->GetFillValue(), mask->GetPixel(120, 5), mask->GetPixel(129, 5),
                        mask->GetPixel(255, 127), mask->GetPixel(-1, 5)}),
            (std::array{255u, 155u, 155u, 255u, 255u}));
  ShapeMaskParms::InvertImage(mask);
  EXPECT_EQ((std::array{mask->GetFillValue(), mask->GetPixel(255, 127)}), (std::array{0u, 0u}));
  mask->unref();
}

TEST_F(ShapeModel, FillAndStrokeBoundsGrowTheCurveCorners) {
  ag_curve* square = host::MakeRectangleCurve(10, 10, 10, 10);
  ag_curve* far = host::MakePolylineCurve({{1e30f, 0.0f}, {0.0f, 5.0f}}, false);
  ShapeImageParms parms;  // brush radius 4
  const struct {
    ShapeRenderer* renderer;
    ag_curve* curve;
    ilTile bounds;
  } cases[] = {
      {new ShapeFillRenderer(), square, ilTile(8, 8, 0, 16, 16, 1)},
      {new ShapeStrokeRenderer(), square, ilTile(3, 3, 0, 32, 32, 1)},
      {new ShapeFillRenderer(), nullptr, ilTile()},
      {new ShapeStrokeRenderer(), nullptr, ilTile()},
      {new ShapeFillRenderer(), far, ilTile()},  // beyond any tile
      {new ShapeStrokeRenderer(), far, ilTile()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.renderer->GetCrvBounds(&parms, c.curve), c.bounds);
    delete c.renderer;
  }
  host::ReleaseCurve(&square);
  host::ReleaseCurve(&far);
}

TEST_F(ShapeModel, LuminanceShiftsTheWeightedSumOnce) {
  const struct {
    unsigned pixel;
    int grey;
  } cases[] = {
      {0xFFFFFFFFu, 255}, {0x00FFFFFFu, 255},  // alpha ignored
      {0xFF0000FFu, 76},  {0xFF00FF00u, 150}, {0xFFFF0000u, 27},
      {0xFF808080u, 128}, {0x00000000u, 0},   {0xFF010101u, 1},
  };
  for (const auto& c : cases) {
    unsigned char out = 7;
    ConvertRGBAtoLuminance(&c.pixel, &out, 1);
    EXPECT_EQ(out, c.grey) << std::hex << c.pixel;
  }
}

TEST_F(ShapeModel, AWhiteFillOnAMaskLayerGivesFullCoverage) {
  const int maskIndex = Brenmark.CreateShapeLayer(h_, true);
  Layer* mask = Stack(h_)->GetLayerFromIndex(maskIndex);
  auto* parms = new ShapeMaskParms();
  parms->DoStroke(false);
  ImageGeneratorSolid::ResolvePtr(parms->GetFillImgGrtCtlr()->GetGenerator())
      ->SetColor(255.0f, 255.0f, 255.0f, 255.0f);
  auto* s = new Shape(mask, host::MakeRectangleCurve(10, 10, 120, 10), nullptr, parms);
  Brenmark.AddShape(s, Layer::kTopShapeIndex, maskIndex, h_);
  s->Render(false, false);
  auto* img = ilSmartImage::As_ilSmartImage(mask->GetImage());
  // (128, 15): the first column of the second page.
  EXPECT_EQ((std::array{img->GetPixel(15, 15), img->GetPixel(128, 15), img->GetPixel(135, 15)}),
            (std::array{255u, 255u, 0u}));
}

TEST_F(ShapeModel, UnchangedShapeRepaintsFromItsCachedMasks) {
  auto* parms = new ShapeImageParms();
  Shape* s = AddSquare(parms);
  s->Render(false, false);
  ilSmartImage* fill = s->GetFillRenderer()->ShapeMask();
  ilSmartImage* stroke = s->GetStrokeRenderer()->ShapeMask();
  ASSERT_TRUE(fill && stroke);
  const unsigned inside = Pixel(15, 15);
  EXPECT_EQ(inside, 0xFF0000FFu);  // opaque red, the default colour
  s->Render(false, false);
  EXPECT_EQ(s->GetFillRenderer()->ShapeMask(), fill);
  EXPECT_EQ(s->GetStrokeRenderer()->ShapeMask(), stroke);
  EXPECT_EQ(Pixel(15, 15), inside);
  parms->SetFillOpacity(0.5f);
  s->Render(false, false);
  EXPECT_NE(s->GetFillRenderer()->ShapeMask(), fill);
  s->Render(false, true);  // forced: rebuilt although clean
  EXPECT_NE(s->GetStrokeRenderer()->ShapeMask(), stroke);
}

// Selector 8302 times every stage of rendering and applying both masks of a
// new shape; the crossing time is a running total that never falls.
TEST_F(ShapeModel, Selector8302PrintsTheStageTimings) {
  const std::string t = "[0-9]+\\.[0-9]{6}";
  const std::regex lines(
      "SID: Tesselation performance -- Segments = 4 time: " + t +
      "\nSID: Rendering Shape FillMask -- rect = 16 \\* 16, Cycles/Pix: " + t + ", times: " + t +
      " \\(" + t + ", " + t + "\\) \\((" + t + ")\\)\n" +
      "SID: Applying Fill Performance -- rect = 12 \\* 12, Cycles/Pixel: " + t + ", time: " + t +
      "\nSID: Rendering Stroke mask Performance -- Pts = 5, NumSplines = 1 time: " + t +
      "\nSID: Applying stroke performance -- rect = 18 \\* 18, Cycles/Pixel: " + t +
      ", time: " + t + "\n");
  double sorting[2] = {};
  for (double& total : sorting) {
    Shape* s = AddSquare(new ShapeImageParms());
    host_.SetDebugSelector(8302);
    ::testing::internal::CaptureStderr();
    s->Render(false, false);
    const std::string out = ::testing::internal::GetCapturedStderr();
    host_.SetDebugSelector(0);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(out, m, lines)) << out;
    total = std::stod(m[1]);
  }
  EXPECT_GE(sorting[1], sorting[0]);
  ::testing::internal::CaptureStderr();
  AddSquare(new ShapeImageParms())->Render(false, false);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
