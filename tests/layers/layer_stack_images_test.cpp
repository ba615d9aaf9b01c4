// Layer images through structure operations: what new, duplicated, emptied
// and cleared layers hold.
#include <cstdint>

#include "layers/engine_fixture.h"

namespace brenmark::testing {
namespace {

ilPixel Rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  std::uint8_t bytes[4] = {r, g, b, a};
  return ilPixel(ilUChar, 4, bytes);
}

unsigned PixelAt(ilImage* image, int x, int y) {
  return ilSmartImage::As_ilSmartImage(image)->GetPixel(x, y);
}

class LayerStackImages : public EngineTest {
 protected:
  LayerStack* StackWithPaintedLayer() {
    LayerStack* s = Stack(NewStack());
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    s->GetLayerFromIndex(1)->GetImage()->fillTileValue(4, 4, 8, 8, Rgba(10, 20, 30, 255));
    return s;
  }
};

TEST_F(LayerStackImages, AddingAnImageCopiesItAndItsChannelCountDecidesTheKind) {
  LayerStack* s = Stack(NewStack());
  auto* source = new ilSmartImage(ilPixel(ilUChar, 1));
  source->ref();
  std::uint8_t v = 200;
  source->fillTileValue(0, 0, 3, 3, ilPixel(ilUChar, 1, &v));
  int index = s->AddLayer(source, nullptr, false, true, false, -2, true);
  Layer* l = s->GetLayerFromIndex(index);
  EXPECT_TRUE(l->isMask());
  EXPECT_NE(l->GetImage(), source);
  EXPECT_EQ(PixelAt(l->GetImage(), 1, 1), 200u);
  source->fillTileValue(0, 0, 3, 3, ilPixel(ilUChar, 1));  // the layer keeps its own copy
  EXPECT_EQ(PixelAt(l->GetImage(), 1, 1), 200u);
  source->unref();
}

TEST_F(LayerStackImages, DeletingTheOnlyLayerLeavesItEmpty) {
  LayerStack* s = StackWithPaintedLayer();
  Layer* l = s->GetLayerFromIndex(1);
  ASSERT_FALSE(l->getLayerBounds(false).empty());
  s->DeleteCurrentLayer(reinterpret_cast<void*>(-2), true);
  EXPECT_EQ(s->GetLayerCount(), 1);
  EXPECT_EQ(s->GetLayerFromIndex(1), l);
  EXPECT_EQ(PixelAt(l->GetImage(), 5, 5), 0u);
  EXPECT_TRUE(l->getLayerBounds(false).empty());
}

}  // namespace
}  // namespace brenmark::testing
