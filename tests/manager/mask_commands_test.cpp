// Mask and stencil commands reach the layer through the command frame.
#include <cstdint>

#include "layers/engine_fixture.h"

namespace {

using brenmark::testing::EngineTest;

class MaskCommands : public EngineTest {
 protected:
  static std::uint8_t MaskAt(int index, int x, int y) {
    std::uint8_t v = 0;
    Brenmark.GetLayerStack(-2)->GetLayerFromIndex(index)->GetImage()->getTile(x, y, 1, 1, &v);
    return v;
  }
};

TEST_F(MaskCommands, InvertCurrentMaskLayerComplementsItsPixels) {
  const int h = NewStack();
  PntNewLayer(h, false);
  PntNewLayer(h, true);
  ASSERT_EQ(Brenmark.GetLayerCount(h), 2);
  ASSERT_TRUE(Brenmark.isLayerMask(2, h));
  Layer* mask = Stack(h)->GetLayerFromIndex(2);
  std::uint8_t v = 200;
  ASSERT_EQ(mask->GetImage()->fillTile(0, 0, 4, 4, &v), ilOkay);
  PntInvertCurrentMaskLayer(h);
  EXPECT_EQ(MaskAt(2, 0, 0), 55);
  EXPECT_EQ(MaskAt(2, 3, 3), 55);
  EXPECT_EQ(MaskAt(2, 10, 10), 255);  // the empty area was 0
  PntInvertCurrentMaskLayer(h);
  EXPECT_EQ(MaskAt(2, 0, 0), 200);
  EXPECT_EQ(MaskAt(2, 10, 10), 0);
}

TEST_F(MaskCommands, MaskActiveFlagGoesThroughTheFacade) {
  const int h = NewStack();
  PntNewLayer(h, false);
  PntNewLayer(h, true);
  EXPECT_TRUE(Brenmark.isMaskActive(2, h));
  Brenmark.SetMaskActive(false, 2, h);
  EXPECT_FALSE(Brenmark.isMaskActive(2, h));
  EXPECT_FALSE(Brenmark.isMaskActive(7, h));    // no such layer
  EXPECT_FALSE(Brenmark.isMaskActive(2, 300));  // no such stack
}

}  // namespace
