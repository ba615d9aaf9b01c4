// Layer offsets: truncation, normalisation that keeps the picture in place,
// the allowed rectangle of a moved layer, pivots, and the layer images the
// application receives (GetLayerImage) and gives (ApplyImageToLayer).
#include <tuple>

#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kA = 0xFF4080C0u;  // opaque
constexpr unsigned kB = 0x80402010u;  // alpha 128

class LayerOffsets : public EngineTest {
 protected:
  LayerStack* StackWithLayer() {
    LayerStack* s = Stack(NewStack());
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    Layer* l = s->GetLayerFromIndex(1);
    Paint(l->GetImage(), 4, 4, 8, 8, kA);
    Paint(l->GetImage(), 12, 4, 8, 8, kB);
    return s;
  }

  // The layer's picture in canvas coordinates, as the application sees it.
  struct Picture {
    ilSmartImage* image = nullptr;
    int x = 0, y = 0;
    unsigned operator()(int cx, int cy) const { return Px(image, cx - x, cy - y); }
  };
  Picture Take(LayerStack* s, int index, bool background = false, bool selection = false) {
    Picture p;
    p.image = s->GetLayerImage(p.x, p.y, s->GetLayerHandle(index), background, selection);
    return p;
  }
};

TEST_F(LayerOffsets, IntegerOffsetsTruncateTowardZero) {
  LayerStack* s = StackWithLayer();
  Layer* l = s->GetLayerFromIndex(1);
  l->SetOffset(-2.7f, 3.9f);
  int x, y;
  l->GetOffset(x, y);
  EXPECT_EQ(std::pair(x, y), std::pair(-2, 3));
  float fx, fy;
  s->GetCurrentLayerOffset(fx, fy, 1);
  EXPECT_FLOAT_EQ(fx, -2.7f);
  EXPECT_FLOAT_EQ(fy, 3.9f);
  int px = 10, py = 10;
  l->ApplyOffset(px, py);
  EXPECT_EQ(std::pair(px, py), std::pair(8, 13));
  l->ApplyInverseOffset(px, py);
  EXPECT_EQ(std::pair(px, py), std::pair(10, 10));
  s->GetCurrentLayerOffset(x, y, 9);  // no layer: (0, 0)
  EXPECT_EQ(std::pair(x, y), std::pair(0, 0));
}

TEST_F(LayerOffsets, NormalisingAndShrinkingMoveThePixelsButNotThePicture) {
  LayerStack* s = StackWithLayer();
  Layer* l = s->GetLayerFromIndex(1);
  Paint(l->GetStencil(), 4, 4, 4, 8, 50);  // part of the paint half hidden
  for (auto offset : {std::pair{10.0f, 0.0f}, std::pair{0.0f, -7.0f}, std::pair{-2.7f, 3.9f},
                      std::pair{130.0f, -140.0f}}) {
    l->SetOffset(offset.first, offset.second);
    Picture before = Take(s, 1);
    l->NormalizeLayerOffset();
    float fx, fy;
    l->GetOffset(fx, fy);
    EXPECT_EQ(std::pair(fx, fy), std::pair(0.0f, 0.0f));
    Picture after = Take(s, 1);
    EXPECT_EQ(after.x, 0);
    EXPECT_TRUE(SamePicture(-160, -160, 320, 320, before, after))
        << "offset " << offset.first << ", " << offset.second;
    before.image->unref();
    after.image->unref();
  }
  // Shrinking as well starts the bounds at the origin, the picture in place.
  s = StackWithLayer();
  l = s->GetLayerFromIndex(1);
  l->SetOffset(-2.5f, 1.0f);
  Picture before = Take(s, 1);
  l->ShrinkAndNormalizeLayerImages();
  EXPECT_EQ(l->getLayerBounds(false), ilTile(0, 0, 0, 16, 8, 1));
  EXPECT_EQ((std::tuple{l->getXOffset(), l->getYOffset()}), (std::tuple{2, 5}));
  Picture after = Take(s, 1);
  EXPECT_TRUE(SamePicture(-8, -8, 48, 48, before, after));
  before.image->unref();
  after.image->unref();
}

TEST_F(LayerOffsets, MovingALayerStopsAtTheEdgeOfTheAllowedRectangle) {
  LayerStack* s = StackWithLayer();  // canvas 64 x 48, layer bounds (4, 4, 16, 8)
  // Allowed: the canvas grown by its size on every side, (-64, -48, 192, 144),
  // each axis on its own.
  const float moves[][4] = {{1000, -1000, 128, -48}, {-1000, 1000, -64, 96},
                            {1000, 5, 128, 5},       {5, -1000, 5, -48},
                            {-7, 2000, -7, 96},      {5.5f, 6.25f, 5.5f, 6.25f}};
  for (const auto& m : moves) {
    s->GetLayerFromIndex(1)->SetOffset(0.0f, 0.0f);
    s->SetCurrentLayerOffset(LayerStackTransform(), m[0], m[1], 1, true);
    float x, y;
    s->GetCurrentLayerOffset(x, y, 1);
    EXPECT_EQ(x, m[2]) << m[0] << ", " << m[1];
    EXPECT_EQ(y, m[3]) << m[0] << ", " << m[1];
  }
  // The integer form, on the current layer.
  s->SetCurrentLayerOffset(LayerStackTransform(), 7, 9, -2, false);
  int ix, iy;
  s->GetCurrentLayerOffset(ix, iy, -2);
  EXPECT_EQ(std::pair(ix, iy), std::pair(7, 9));
  EXPECT_EQ(s->GetLayerStackBndInLayerCoord(s->GetLayerHandle(1)), ilTile(-7, -9, 0, 64, 48, 1));
  EXPECT_EQ(s->GetLayerStackBndInLayerCoord(reinterpret_cast<void*>(-1)), ilTile());
}

TEST_F(LayerOffsets, LayerImageIsASnapshotAtTheLayersCanvasPosition) {
  LayerStack* s = StackWithLayer();
  Layer* l = s->GetLayerFromIndex(1);
  l->SetOffset(7.0f, -3.0f);
  Picture p = Take(s, 1);
  ASSERT_NE(p.image, nullptr);
  EXPECT_EQ((std::tuple{p.image->getRefCount(), p.x, p.y, p(12, 2)}), (std::tuple{1, 7, -3, kA}));
  EXPECT_EQ(p(20, 2), kB);
  Paint(l->GetImage(), 4, 4, 8, 8, kB);  // later paint does not reach the copy
  EXPECT_EQ(p(12, 2), kA);
  p.image->unref();

  int x = 99, y = 99;
  EXPECT_EQ(s->GetLayerImage(x, y, reinterpret_cast<void*>(-1), false, false), nullptr);
  EXPECT_EQ(x, 99);
}

TEST_F(LayerOffsets, LayerImageWithBackgroundIsOpaqueOverItsBounds) {
  host_.SetBackgroundColor(0xFF808080u);
  LayerStack* s = StackWithLayer();
  Picture p = Take(s, 1, true);
  const ilTile b = p.image->getBounds();
  ASSERT_FALSE(b.empty());
  for (int y = b.y; y < b.y + b.ny; ++y) {
    for (int x = b.x; x < b.x + b.nx; ++x)
      ASSERT_EQ(Ch(Px(p.image, x, y), 0), 255u) << x << "," << y;
  }
  EXPECT_EQ(Px(p.image, 6, 6), kA);
  // Under half-covered paint: d + (bg x (256 - 128)) >> 8.
  EXPECT_EQ(Px(p.image, 14, 6), Pack(255, 0x40 + 64, 0x20 + 64, 0x10 + 64));
  EXPECT_EQ(b, ilTile(4, 4, 0, 16, 8, 1));
  p.image->unref();

  // For a mask the flag has no effect.
  s->AddLayer(nullptr, nullptr, true, true, false, -2, true);
  Paint(s->GetLayerFromIndex(2)->GetImage(), 0, 0, 4, 4, 77);
  Picture m = Take(s, 2, true);
  EXPECT_EQ(m.image->getCsize(), 1);
  EXPECT_TRUE(PixelsAre(m.image, {{1, 1, 77u}, {6, 6, 0u}}));
  m.image->unref();
}

TEST_F(LayerOffsets, LayerImageLeavesOutWhatTheSelectionMasks) {
  LayerStack* s = StackWithLayer();
  Layer* sel = s->GetSelectionMask();
  Paint(sel->GetImage(), 0, 0, 8, 40, 255);
  Paint(sel->GetImage(), 14, 0, 2, 40, 64);
  s->GetLayerFromIndex(1)->SetOffset(1.0f, 0.0f);
  Picture p = Take(s, 1, false, true);
  // The origin is the union of the selection and the layer, in canvas
  // coordinates; each pixel is scaled by (256 - selection) / 256.
  EXPECT_EQ((std::tuple{p.x, p.y, p(6, 6), p(9, 6)}), (std::tuple{0, 0, 0u, kA}));
  EXPECT_EQ((std::tuple{p(14, 6), p(17, 6)}), (std::tuple{Times(kB, 192), kB}));
  p.image->unref();

  // The selection layer itself comes back as it is.
  Picture selection = Take(s, s->GetLayerCount() + 1);
  EXPECT_TRUE(PixelsAre(selection.image, {{3, 3, 255u}, {20, 3, 0u}}));
  selection.image->unref();
}

TEST_F(LayerOffsets, ApplyingAnImageCompositesItOverTheLayer) {
  LayerStack* s = StackWithLayer();
  auto* img = new ilSmartImage(ilPixel(ilUChar, 4));
  img->ref();
  Paint(img, 10, 4, 4, 4, kB);
  EXPECT_TRUE(s->ApplyImageToLayer(img, s->GetLayerHandle(1)));
  EXPECT_FALSE(s->ApplyImageToLayer(img, reinterpret_cast<void*>(12345)));
  EXPECT_FALSE(s->ApplyImageToLayer(nullptr, s->GetLayerHandle(1)));
  ilImage* image = s->GetLayerFromIndex(1)->GetImage();
  EXPECT_TRUE(PixelsAre(image, {{10, 5, Over(kB, kA)}, {13, 5, Over(kB, kB)}, {9, 5, kA}}));
  img->unref();
}

}  // namespace
}  // namespace brenmark::testing
