// Mask layers and the painters of the current layer: combining masks into
// the mask composite, inverting and switching masks, and the painter that
// brushes write through (plain, masking, stencil-targeted).
#include <tuple>

#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"
#include "layers/layer_images.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kPaint = 0xFF3060C0u;
constexpr unsigned kOld = 0xFF102030u;

class LayerMasks : public EngineTest {
 protected:
  // An image layer (index 1) holding kOld over (0, 0, 32, 32).
  LayerStack* StackWithImage() {
    LayerStack* s = Stack(NewStack());
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    Paint(s->GetLayerFromIndex(1)->GetImage(), 0, 0, 32, 32, kOld);
    return s;
  }
  // A mask above the current layer with `fill` outside its pixels.
  Layer* AddMask(LayerStack* s, unsigned fill) {
    auto* img = new ilSmartImage(PixelOf(fill, 1));
    img->ref();
    int index = s->AddLayer(img, nullptr, true, true, false, -2, true);
    img->unref();
    return s->GetLayerFromIndex(index);
  }
  int Fill(PaintOps* p, int x, int y, int nx, int ny, unsigned v) {
    return p->rect_fill(x, y, nx, ny, &v, nullptr);
  }
};

TEST_F(LayerMasks, MaskFillsCombineAsCoverageOverCoverage) {
  EXPECT_NEAR(layer_images::CombinedMaskFill(128, 128), 191.75, 0.01);
  EXPECT_EQ(layer_images::CombinedMaskFill(255, 0), 255.0);
  EXPECT_EQ(layer_images::CombinedMaskFill(0, 255), 255.0);

  LayerStack* s = StackWithImage();
  AddMask(s, 128);
  AddMask(s, 128);
  Paint(s->GetLayerFromIndex(2)->GetImage(), 0, 0, 4, 4, 100);
  ilSmartImage* m = s->GetLayerFromIndex(1)->MakeMaskImage(s->GetSize(), false);
  ASSERT_NE(m, nullptr);
  m->ref();
  EXPECT_EQ(m->GetFillValue(), 191u);  // 191.75 truncated to the pixel type
  // Inside the area the first mask is copied and the second goes over it:
  // 128 + (100 x 128) >> 8 where the first has 100, 128 + (128 x 128) >> 8
  // elsewhere.
  EXPECT_TRUE(PixelsAre(m, {{1, 1, 128u + 50u}, {10, 10, 192u}}));
  m->unref();
  // A mask is combined only from itself on, and only when asked to.
  EXPECT_EQ(s->GetLayerFromIndex(2)->MakeMaskImage(s->GetSize(), false), nullptr);
  // Fills 255 and 0: a full composite.
  s = StackWithImage();
  AddMask(s, 255);
  AddMask(s, 0);
  m = s->GetLayerFromIndex(1)->MakeMaskImage(s->GetSize(), false);
  ASSERT_NE(m, nullptr);
  m->ref();
  EXPECT_EQ((std::tuple{m->GetFillValue(), Px(m, 5, 5)}), (std::tuple{255u, 255u}));
  m->unref();
}

TEST_F(LayerMasks, MaskOpacityStencilOffsetAndActivityShapeTheComposite) {
  LayerStack* s = StackWithImage();
  Layer* mask = AddMask(s, 0);
  Paint(mask->GetImage(), 0, 0, 10, 10, 255);
  mask->SetOpacity(0.5f);                      // times 128
  Paint(mask->GetStencil(), 0, 0, 2, 10, 64);  // and times 64 there
  mask->SetOffset(5.0f, 0.0f);                 // mask pixel (u, v) at canvas (u + 5, v)
  Layer* image = s->GetLayerFromIndex(1);
  ilSmartImage* m = image->MakeMaskImage(s->GetSize(), false);
  ASSERT_NE(m, nullptr);
  m->ref();
  EXPECT_TRUE(PixelsAre(m, {{6, 3, (((255u * 64) >> 8) * 128) >> 8},
                            {9, 3, (255u * 128) >> 8},
                            {2, 3, 0u},
                            {15, 3, 0u}}));
  m->unref();

  mask->SetMaskActive(false);  // an inactive mask does not count
  EXPECT_EQ(image->MakeMaskImage(s->GetSize(), false), nullptr);
  mask->SetMaskActive(true);
  mask->SetOpacity(0.002f);  // nor does an invisible one
  EXPECT_EQ(image->MakeMaskImage(s->GetSize(), false), nullptr);
}

TEST_F(LayerMasks, CurrentLayerPainterProtectsWhatItsMasksCover) {
  LayerStack* s = StackWithImage();
  PaintOps* plain = s->GetCurrentLayerPainter();
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->target_img(), s->GetLayerFromIndex(1)->GetImage());
  EXPECT_EQ(dynamic_cast<MaskingPaintOps*>(plain), nullptr);
  EXPECT_EQ(plain->GetBrushClippingRect(), ilTile(-256, -256, 0, 64 + 512, 48 + 512, 1));

  Layer* mask = AddMask(s, 0);
  Paint(mask->GetImage(), 8, 8, 8, 8, 255);
  EXPECT_EQ(s->GetMaskComposite(), nullptr);  // the mask itself is current
  s->SetCurrentLayer(1, true);
  ASSERT_NE(s->GetMaskComposite(), nullptr);
  PaintOps* painter = s->GetCurrentLayerPainter();
  auto* masking = dynamic_cast<MaskingPaintOps*>(painter);
  ASSERT_NE(masking, nullptr);
  EXPECT_EQ(masking->GetMask(), s->GetMaskComposite());
  ilImage* image = s->GetLayerFromIndex(1)->GetImage();

  // Switching the mask off lifts the protection.
  s->SetMaskActive(false, 2);
  EXPECT_EQ(s->GetMaskComposite(), nullptr);
  painter = s->GetCurrentLayerPainter();
  EXPECT_EQ(dynamic_cast<MaskingPaintOps*>(painter), nullptr);
  Fill(painter, 0, 0, 32, 32, kPaint);
  EXPECT_EQ(Px(image, 10, 10), kPaint);
}

TEST_F(LayerMasks, LayerImageOfTheCurrentLayerLeavesOutWhatItsMasksProtect) {
  LayerStack* s = StackWithImage();
  Layer* mask = AddMask(s, 0);
  Paint(mask->GetImage(), 0, 0, 8, 32, 255);
  Paint(mask->GetImage(), 8, 0, 4, 32, 64);
  s->SetCurrentLayer(1, true);
  int x = 0, y = 0;
  ilSmartImage* img = s->GetLayerImage(x, y, s->GetLayerHandle(1), false, false);
  ASSERT_NE(img, nullptr);
  // Times (256 - m) / 256.
  EXPECT_TRUE(PixelsAre(img, {{3, 3, 0u}, {9, 3, Times(kOld, 192)}, {20, 3, kOld}}));
  img->unref();
  // The mask's own picture is its values, unprotected.
  img = s->GetLayerImage(x, y, s->GetLayerHandle(2), false, false);
  EXPECT_EQ(Px(img, 3, 3), 255u);
  img->unref();
}

TEST_F(LayerMasks, DeletingAProtectedLayerLeavesThePainterOnTheNextOne) {
  LayerStack* s = StackWithImage();
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  Layer* mask = AddMask(s, 0);
  Paint(mask->GetImage(), 0, 0, 8, 8, 255);
  s->SetCurrentLayer(2, true);
  ASSERT_NE(dynamic_cast<MaskingPaintOps*>(s->GetCurrentLayerPainter()), nullptr);
  s->DeleteCurrentLayer(reinterpret_cast<void*>(-2), false);
  ASSERT_EQ(s->GetLayerCount(), 1);
  PaintOps* painter = s->GetCurrentLayerPainter();
  EXPECT_EQ(dynamic_cast<MaskingPaintOps*>(painter), nullptr);
  EXPECT_EQ(painter->target_img(), s->GetLayerFromIndex(1)->GetImage());
}

// A mask layer, or the selection, painted across the canvas page corner at
// (128, 128) protects the current layer at the layer's offset: one-axis and
// two-axis offsets put the layer's page seam away from the mask's. Each layer
// pixel is mixed by the mask value at its canvas place.
TEST_F(LayerMasks, MasksAcrossThePageCornerProtectTheLayerAtItsOffset) {
  static const unsigned kValues[5] = {0, 255, 128, 64, 200};
  auto maskAt = [](int cx, int cy) { return kValues[(cx * 3 + cy) % 5]; };
  const int offsets[][2] = {{0, 0}, {3, 0}, {0, -2}, {3, 1}, {-5, 7}};
  for (bool selection : {false, true}) {
    for (const auto& o : offsets) {
      SCOPED_TRACE(::testing::Message() << (selection ? "selection" : "mask layer") << " offset "
                                        << o[0] << ", " << o[1]);
      DeleteAllStacks();
      host_.SetDefaultViewSize(300, 200);
      LayerStack* s = StackWithImage();
      ilImage* image = s->GetLayerFromIndex(1)->GetImage();
      Paint(image, 96, 96, 64, 64, kOld);
      ilImage* mask = selection ? s->GetSelectionMask()->GetImage() : AddMask(s, 0)->GetImage();
      for (int cy = 108; cy < 148; ++cy) {
        for (int cx = 108; cx < 148; ++cx) Paint(mask, cx, cy, 1, 1, maskAt(cx, cy));
      }
      s->SetCurrentLayer(1, true);
      if (selection) {  // the current layer is unchanged: rebuild by hand
        s->SetMaskActive(false, s->GetLayerCount() + 1);
        s->SetMaskActive(true, s->GetLayerCount() + 1);
      }
      s->SetCurrentLayerOffset(LayerStackTransform(), static_cast<float>(o[0]),
                               static_cast<float>(o[1]), 1, false);
      PaintOps* painter = s->GetCurrentLayerPainter();
      ASSERT_NE(dynamic_cast<MaskingPaintOps*>(painter), nullptr);
      EXPECT_EQ(painter->GetBrushClippingRect(),
                ilTile(-256 - o[0], -256 - o[1], 0, 300 + 512, 200 + 512, 1));
      painter->blend_func(BlendOne, BlendZero);
      Fill(painter, 118, 118, 20, 20, kPaint);
      for (int y = 114; y < 142; ++y) {
        for (int x = 114; x < 142; ++x) {
          const unsigned m = maskAt(x + o[0], y + o[1]);
          const bool in = x >= 118 && x < 138 && y >= 118 && y < 138;
          const unsigned want = !in        ? kOld
                                : m == 0   ? kPaint
                                : m == 255 ? kOld
                                           : Mix(kOld, kPaint, m);
          ASSERT_EQ(Px(image, x, y), want) << x << ", " << y;
        }
      }
    }
  }
}

TEST_F(LayerMasks, InvertingAMaskLayerComplementsItsValuesAndFill) {
  LayerStack* s = StackWithImage();
  Layer* mask = AddMask(s, 0);
  Paint(mask->GetImage(), 0, 0, 4, 4, 255);
  Paint(mask->GetImage(), 4, 0, 4, 4, 100);
  EXPECT_FALSE(mask->isMaskInverted());
  s->InvertMaskLayer(2);
  EXPECT_TRUE(mask->isMaskInverted());
  // (255 x 156) >> 8 = 155 where the mask held 100; the fill inverts too.
  EXPECT_TRUE(PixelsAre(mask->GetImage(), {{1, 1, 0u}, {5, 1, (255u * 156) >> 8}, {40, 40, 255u}}));
  s->InvertMaskLayer(2);
  EXPECT_FALSE(mask->isMaskInverted());
  EXPECT_TRUE(PixelsAre(mask->GetImage(), {{1, 1, 255u}, {40, 40, 0u}}));
  s->InvertMaskLayer(1);  // not a mask: nothing
  EXPECT_EQ(Px(s->GetLayerFromIndex(1)->GetImage(), 1, 1), kOld);

  // An inverted mask with nothing painted protects the whole layer.
  s->InvertMaskLayer(2);
  Paint(mask->GetImage(), 0, 0, 8, 4, 255);
  s->SetCurrentLayer(1, true);
  PaintOps* painter = s->GetCurrentLayerPainter();
  ASSERT_NE(dynamic_cast<MaskingPaintOps*>(painter), nullptr);
  painter->blend_func(BlendOne, BlendZero);
  Fill(painter, 0, 0, 32, 32, kPaint);
  EXPECT_TRUE(PixelsAre(s->GetLayerFromIndex(1)->GetImage(), {{12, 12, kOld}, {2, 2, kOld}}));
  // Beyond the canvas nothing of the mask is stored: its fill protects.
  EXPECT_TRUE(
      static_cast<MaskingPaintOps*>(painter)->IsFullyProtected(ilTile(300, 300, 0, 5, 5, 1)));
}

TEST_F(LayerMasks, HidingErasingAndTargetingPaintGoThroughTheStencil) {
  LayerStack* s = StackWithImage();
  Layer* l = s->GetLayerFromIndex(1);
  s->HideAllPaint(1);
  EXPECT_EQ(Px(l->GetStencilledImage(nullptr, false, true), 3, 3), 0u);
  EXPECT_EQ(Px(l->GetImage(), 3, 3), kOld);
  s->ShowAllPaint(1);
  EXPECT_EQ(l->GetStencilledImage(nullptr, false, true), l->GetImage());
  Paint(l->GetStencil(), 0, 0, 16, 32, 0);
  s->EraseHiddenPaint(1);
  EXPECT_TRUE(PixelsAre(l->GetImage(), {{3, 3, 0u}, {20, 3, kOld}}));
  EXPECT_EQ(l->GetStencilledImage(nullptr, false, true), l->GetImage());
  s->HideAllPaint(7);  // no layer: nothing
  // Targeting the stencil hands out a painter on it.
  s->TargetStencil(true);
  EXPECT_TRUE(s->isStencilTargeted());
  PaintOps* painter = s->GetCurrentLayerPainter();
  ASSERT_NE(painter, nullptr);
  EXPECT_EQ(painter->target_img(), l->GetStencil());
  std::uint8_t hidden = 0;
  painter->blend_func(BlendOne, BlendZero);
  painter->rect_fill(16, 0, 8, 4, &hidden, nullptr);
  EXPECT_EQ(Px(l->GetStencilledImage(nullptr, false, true), 20, 1), 0u);
  s->TargetStencil(false);
  EXPECT_EQ(s->GetCurrentLayerPainter()->target_img(), l->GetImage());
}

}  // namespace
}  // namespace brenmark::testing
