// Layer images: colour image and stencil replacement, the stencilled image,
// baking opacity and stencil into the pixels, hiding paint and
// the layer's own painter.
#include <tuple>

#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kRed = 0xFF0000FFu;   // opaque, R = 255
constexpr unsigned kGrey = 0xC8646464u;  // alpha 200, colour 100

class LayerImages : public EngineTest {
 protected:
  // A free-standing image layer with two colours painted side by side.
  Layer* PaintedLayer() {
    Layer* l = new Layer(new ilSmartImage(ilPixel(ilUChar, 4)), nullptr, false, false);
    l->ref();
    Paint(l->GetImage(), 0, 0, 4, 4, kRed);
    Paint(l->GetImage(), 4, 0, 4, 4, kGrey);
    return l;
  }
  Layer* MaskLayer(unsigned fill) {
    Layer* l = new Layer(new ilSmartImage(PixelOf(fill, 1)), nullptr, true, false);
    l->ref();
    return l;
  }
};

TEST_F(LayerImages, HalfOpacityHalvesEveryChannelOfTheSharedStencilledImage) {
  Layer* l = PaintedLayer();
  // Almost opaque without stencil content: the layer's own image.
  l->SetOpacity(0.999f);
  EXPECT_EQ(l->GetStencilledImage(nullptr, false, true), l->GetImage());
  EXPECT_EQ(Layer::StencilledImage(), nullptr);
  l->SetOpacity(0.5f);  // byte round(127.5) = 128: (c x 128) >> 8
  ilSIDImage* s = l->GetStencilledImage(nullptr, false, true);
  ASSERT_NE(s, l->GetImage());
  EXPECT_EQ(s, Layer::StencilledImage());
  EXPECT_TRUE(PixelsAre(s, {{1, 1, 0x7F00007Fu}, {5, 2, 0x64323232u}, {9, 1, 0u}}));
  EXPECT_EQ(Px(l->GetImage(), 1, 1), kRed);  // the layer's own pixels stay
  // The next stencilled image of any layer replaces the shared one.
  Layer* other = PaintedLayer();
  other->SetOpacity(0.25f);
  ilSIDImage* s2 = other->GetStencilledImage(nullptr, false, true);
  EXPECT_EQ(s2, Layer::StencilledImage());
  EXPECT_EQ(Px(s2, 1, 1), Times(kRed, 64));
  l->unref();
  EXPECT_EQ(Layer::StencilledImage(), nullptr);  // released with any layer
  other->unref();
}

TEST_F(LayerImages, StencilMultipliesCoverageAndCanStandInForTheLayersOwn) {
  Layer* l = PaintedLayer();
  Paint(l->GetStencil(), 0, 0, 2, 4, 128);
  ilSIDImage* s = l->GetStencilledImage(nullptr, false, true);
  // (3, 0): the blank stencil outside its pixels.
  EXPECT_TRUE(PixelsAre(s, {{0, 0, Times(kRed, 128)}, {3, 0, kRed}}));
  auto* other = new ilSmartImage(PixelOf(255, 1));
  other->ref();
  Paint(other, 4, 0, 4, 4, 0);
  s = l->GetStencilledImage(nullptr, other);
  EXPECT_TRUE(PixelsAre(s, {{0, 0, kRed}, {5, 0, 0u}}));
  other->unref();
  l->unref();
}

TEST_F(LayerImages, MaskStencilledImageIsItsColourWeightedByValueAndDisplayOpacity) {
  Layer* m = MaskLayer(0);
  Paint(m->GetImage(), 0, 0, 2, 2, 255);
  Paint(m->GetImage(), 2, 0, 2, 2, 100);
  m->SetMaskDisplayOpacity(1.0f);
  ilSIDImage* s = m->GetStencilledImage(nullptr, false, true);
  // The mask colour 0xFF0000FF, and (255 x 100) >> 8 at value 100.
  EXPECT_TRUE(PixelsAre(s, {{0, 0, kRed}, {2, 0, Pack(99, 0, 0, 99)}}));
  m->SetMaskDisplayOpacity(0.5f);
  s = m->GetStencilledImage(nullptr, false, true);
  EXPECT_TRUE(PixelsAre(s, {{0, 0, Times(kRed, 128)}, {2, 0, Times(Pack(99, 0, 0, 99), 128)}}));
  m->unref();
}

TEST_F(LayerImages, DoStencilAppliesOpacityAndStencilToAPaintersTarget) {
  Layer* l = PaintedLayer();
  l->SetOpacity(0.5f);
  Paint(l->GetStencil(), 0, 0, 2, 4, 64);
  auto* target = new ilSmartImage(ilPixel(ilUChar, 4));
  target->ref();
  Paint(target, 0, 0, 8, 4, kGrey);
  PaintOps* painter = new PaintOps(target, 1);
  painter->ref();
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  ilTile area(0, 0, 0, 8, 4, 1);
  l->DoStencil(&area, painter);
  EXPECT_TRUE(PixelsAre(target, {{1, 1, Times(Times(kGrey, 128), 64)}, {5, 1, Times(kGrey, 128)}}));
  BlendFactor src, dst;
  painter->get_blend_func(src, dst);  // the painter's blend is kept
  EXPECT_EQ((std::tuple{src, dst}), (std::tuple{BlendOne, BlendOneMinusSrcAlpha}));
  painter->unref();
  target->unref();
  l->unref();
}

TEST_F(LayerImages, CollapseOpacityBakesTruncatedOpacityOnlyBelowTheOpaqueThreshold) {
  Layer* l = PaintedLayer();
  l->SetOpacity(0.998f);
  l->CollapseOpacity();
  EXPECT_FLOAT_EQ(l->GetOpacity(), 1.0f);
  EXPECT_TRUE(PixelsAre(l->GetImage(), {{1, 1, kRed}, {5, 1, kGrey}}));

  l->SetOpacity(0.5f);  // trunc(127.5) = 127
  l->CollapseOpacity();
  EXPECT_FLOAT_EQ(l->GetOpacity(), 1.0f);
  EXPECT_TRUE(
      PixelsAre(l->GetImage(), {{1, 1, Times(kRed, 127)}, {5, 1, Times(kGrey, 127)}, {9, 1, 0u}}));
  l->unref();
}

TEST_F(LayerImages, CollapseStencilErasesHiddenPaintAndLeavesABlankStencil) {
  Layer* l = PaintedLayer();
  Paint(l->GetStencil(), 0, 0, 4, 4, 0);
  Paint(l->GetStencil(), 4, 0, 2, 4, 64);
  l->CollapseStencil();
  EXPECT_TRUE(PixelsAre(l->GetImage(), {{1, 1, 0u}, {4, 1, Times(kGrey, 64)}, {7, 1, kGrey}}));
  EXPECT_TRUE(ilSmartImage::As_ilSmartImage(l->GetStencil())->getBounds().empty());
  EXPECT_EQ(Px(l->GetStencil(), 4, 1), 255u);
  // A blank stencil is no stencil content: the layer is used directly.
  EXPECT_EQ(l->GetStencilledImage(nullptr, false, true), l->GetImage());
  l->unref();
}

TEST_F(LayerImages, FillStencilHidesEverythingUntilCleared) {
  Layer* l = PaintedLayer();
  l->FillStencil();
  EXPECT_EQ(ilSmartImage::As_ilSmartImage(l->GetStencil())->getBounds(),
            ilTile(-4096, -4096, 0, 8192, 8192, 1));
  ilSIDImage* s = l->GetStencilledImage(nullptr, false, true);
  EXPECT_TRUE(PixelsAre(s, {{1, 1, 0u}, {6, 3, 0u}}));
  l->ClearStencil();
  EXPECT_EQ(l->GetStencilledImage(nullptr, false, true), l->GetImage());
  EXPECT_EQ(Px(l->GetImage(), 1, 1), kRed);
  l->unref();
}

TEST_F(LayerImages, SetStencilIgnoresAFourChannelImageAndReportsOneThatIsNotSmart) {
  Layer* l = PaintedLayer();
  ilImage* before = l->GetStencil();
  Paint(before, 0, 0, 1, 1, 9);
  auto* colour = new ilSmartImage(ilPixel(ilUChar, 4));
  colour->ref();
  ::testing::internal::CaptureStderr();
  l->SetStencil(colour);
  EXPECT_EQ(StopCapture(), "");
  EXPECT_EQ((std::tuple{l->GetStencil(), colour->getRefCount()}), (std::tuple{before, 1}));
  colour->unref();

  EXPECT_EQ(Px(l->GetStencil(), 0, 0), 9u);
  l->SetStencil(nullptr);  // a null stencil is replaced by a blank one
  ASSERT_NE(l->GetStencil(), nullptr);
  EXPECT_EQ(Px(l->GetStencil(), 0, 0), 255u);

  auto* plain = new ilConstImg(PixelOf(7, 1));
  ::testing::internal::CaptureStderr();
  l->SetStencil(plain);
  EXPECT_EQ(StopCapture(), "New Stencil must be smart!\n");
  EXPECT_EQ(l->GetStencil(), plain);
  l->unref();
}

TEST_F(LayerImages, SetImageReferencesTheNewImageAndTheLayerPainterFollowsIt) {
  Layer* l = PaintedLayer();
  PaintOps* painter = l->GetPainter();
  ASSERT_NE(painter, nullptr);
  EXPECT_EQ(painter->target_img(), l->GetImage());
  EXPECT_EQ(l->GetPainter(), painter);

  auto* next = new ilSmartImage(ilPixel(ilUChar, 4));
  l->SetImage(next);
  EXPECT_EQ((std::tuple{next->getRefCount(), l->GetPainter()}), (std::tuple{1, painter}));
  EXPECT_EQ(painter->target_img(), next);
  l->unref();
}

}  // namespace
}  // namespace brenmark::testing
