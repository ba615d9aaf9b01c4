// Layer transforms: previews computed from the base images, the final
// resampling's fixed filters, flips across page edges and the canvas
// rotation flag.
#include <cstring>
#include <vector>

#include "brenmark/qv_memory_img.h"
#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"
#include "manager/command_undo.h"

namespace brenmark::testing {
namespace {

unsigned AnyPx(ilImage* img, int x, int y) {
  std::uint8_t b[4] = {0, 0, 0, 0};
  img->getTile(x, y, 1, 1, b);
  unsigned v;
  std::memcpy(&v, b, 4);
  return v;
}

// An opaque pattern in which every pixel differs from its neighbours.
unsigned Pattern(int x, int y) {
  return Pack(255, (x * 37 + y * 11) & 0xFF, (y * 53) & 0xFF, (x * 71) & 0xFF);
}

LayerStackTransform Scale(float s, float degrees = 0.0f) {
  return LayerStackTransform(0.0f, 0.0f, s, s, 0.0f, 0.0f, degrees);
}

class XForm : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    NewStack();
    PntNewLayer(-2, false);
  }
  Layer* PatternLayer(int x0, int y0, int w, int h) {
    Layer* l = Stack()->GetCurrentLayerPtr();
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) Paint(l->GetImage(), x, y, 1, 1, Pattern(x, y));
    return l;
  }
};

// Each preview is computed from the base images: scale 2 (nearest, about
// the centre (4, 3)) doubles every pixel, and scale 1 afterwards shows the
// proxy-start picture exactly, not a reduction of the first preview.
TEST_F(XForm, PreviewsStartFromTheBaseImages) {
  Layer* l = PatternLayer(0, 0, 8, 6);
  int one = 1;
  Stack()->BeginProxy(ProxyParameters(0, 1), 1, &one);
  struct Step {
    float scale;
    int offX, offY, side;  // offset after the preview, source pixels per side
  };
  for (Step s : {Step{2.0f, -4, -3, 2}, Step{1.0f, 0, 0, 1}, Step{2.0f, -4, -3, 2}}) {
    SCOPED_TRACE(s.scale);
    Stack()->ProxyXFormLayers(Scale(s.scale), kFilterNearest, kFilterNearest);
    ASSERT_TRUE(l->InProxy());
    EXPECT_EQ(l->getXOffset(), s.offX);
    EXPECT_EQ(l->getYOffset(), s.offY);
    EXPECT_EQ(l->GetImage()->getXsize(), 8 * s.side + 1);
    for (int y = 0; y < 6 * s.side; ++y)
      for (int x = 0; x < 8 * s.side; ++x)
        ASSERT_EQ(AnyPx(l->GetImage(), x, y), Pattern(x / s.side, y / s.side)) << x << "," << y;
    EXPECT_EQ(AnyPx(l->GetImage(), 8 * s.side, 6 * s.side - 1), 0u);  // the rounding column
  }
  Stack()->EndProxy();
  EXPECT_EQ(l->getXOffset(), 0);
  EXPECT_EQ(l->getLayerBounds(false), ilTile(0, 0, 0, 8, 6, 1));
  EXPECT_EQ(Px(l->GetImage(), 7, 5), Pattern(7, 5));
}

// The final transform magnifies bicubic and minifies bilinear whatever
// filters are passed: the layer matches an explicit resampling of its
// pixels (with the two-pixel margin) and differs from a nearest one.
TEST_F(XForm, FinalTransformUsesBicubicUpAndBilinearDown) {
  for (float s : {2.0f, 0.5f}) {
    SCOPED_TRACE(s);
    DeleteAllStacks();
    SetUp();
    Layer* l = PatternLayer(0, 0, 6, 5);
    l->SetPivot(LayerPivot(0.0f, 0.0f, true));
    auto resample = [&](unsigned mode, ilQVMemoryImg*& out) {
      ilQVMemoryImg src(ilSize(10, 9, 1, 4), ilUChar);
      src.setCoordSpace(l->GetImage()->getCoordSpace());
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
          src.fillTileValue(x + 2, y + 2, 1, 1, PixelOf(Pattern(x, y), 4));
      src.SetScaleAndRotation(s, s, 0.0f, 2.0f, 2.0f);
      src.SetMagnifyScaleMode(mode);
      src.SetMinifyScaleMode(mode == ilQVScaleBicubic ? ilQVScaleBilinear : mode);
      int w, h, bx, by;
      src.getTargetSizeAndOffset(0, 0, 10, 9, w, h, bx, by);
      out = new ilQVMemoryImg(ilSize(w + 1, h + 1, 1, 4), ilUChar);
      out->setCoordSpace(src.getCoordSpace());
      src.getScaleTile(0, 0, 10, 9, out->getDataPtr(), w + 1, h + 1, 0, 0);
    };
    ilQVMemoryImg *expected = nullptr, *nearest = nullptr;
    resample(ilQVScaleBicubic, expected);
    resample(ilQVScaleNearest, nearest);
    int one = 1;
    Stack()->XFormImageLayers(Scale(s), 1, &one, kFilterNearest, kFilterNearest);
    EXPECT_EQ(l->getXOffset(), 0);
    const int origin = static_cast<int>(-2 * s);  // the margin's corner, scaled about (0, 0)
    bool differsFromNearest = false;
    const ilSize size = expected->getSize();
    for (int y = 0; y < size.y; ++y) {
      for (int x = 0; x < size.x; ++x) {
        const unsigned want = AnyPx(expected, x, y);
        ASSERT_EQ(AnyPx(l->GetImage(), x + origin, y + origin), want) << x << "," << y;
        differsFromNearest = differsFromNearest || want != AnyPx(nearest, x, y);
      }
    }
    EXPECT_TRUE(differsFromNearest);
    delete expected;
    delete nearest;
  }
}

// A flip through the paint manager mirrors content that crosses a page
// edge (the last pixel of one page swaps with the first of the next),
// records the layer for undo and tells the application.
TEST_F(XForm, FlipAcrossThePageEdgeThroughTheManager) {
  struct Case {
    bool h, v;
    int x0, y0, w, hgt;
  };
  for (Case c : {Case{true, false, 120, 0, 16, 2}, Case{false, true, 3, 126, 2, 4},
                 Case{true, true, 127, 127, 2, 2}}) {
    SCOPED_TRACE(::testing::Message() << c.h << c.v);
    DeleteAllStacks();
    SetUp();
    Layer* l = PatternLayer(c.x0, c.y0, c.w, c.hgt);
    const int records = CommandUndo::Committed(UndoRecordKind::kLayerStroke);
    host_.ResetCounts();
    Brenmark.FlipImageLayer(c.h, c.v, l->GetLayerID());
    l = Stack()->GetCurrentLayerPtr();
    EXPECT_EQ(CommandUndo::Committed(UndoRecordKind::kLayerStroke), records + 1);
    EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 1);
    for (int y = c.y0; y < c.y0 + c.hgt; ++y) {
      for (int x = c.x0; x < c.x0 + c.w; ++x) {
        const int sx = c.h ? 2 * c.x0 + c.w - 1 - x : x, sy = c.v ? 2 * c.y0 + c.hgt - 1 - y : y;
        ASSERT_EQ(Px(l->GetImage(), x, y), Pattern(sx, sy)) << x << "," << y;
      }
    }
  }
}

TEST_F(XForm, EitherEndOfACanvasRotationClearsTheFlag) {
  for (bool accept : {false, true}) {
    Brenmark.BeginProxyRotateCanvas(-2);
    EXPECT_TRUE(Brenmark.InProxyRotateCanvas(-2));
    Brenmark.ProxyRotateCanvas(Scale(1.0f, 30.0f), -2);
    Brenmark.EndProxyRotateCanvas(accept, -2);
    EXPECT_FALSE(Brenmark.InProxyRotateCanvas(-2));
  }
}

}  // namespace
}  // namespace brenmark::testing
