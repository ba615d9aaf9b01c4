// Shape operations through the layer stack: adding, finding and moving
// shapes within and between geometry layers.
#include <string>

#include "layers/engine_fixture.h"

namespace brenmark::testing {
namespace {

class LayerStackShapes : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    s_ = Stack(NewStack());
    s_->AddLayer(nullptr, nullptr, false, true, true, -2, true);
    s_->AddLayer(nullptr, nullptr, false, true, true, -2, true);
    for (int layer = 1; layer <= 2; ++layer) {
      for (int i = 0; i < 3; ++i) {
        auto* shape = new Shape(s_->GetLayerFromIndex(layer));
        shape->SetShapeName((std::string(layer == 1 ? "a" : "b") + std::to_string(i + 1)).c_str());
        s_->AddShape(shape, Layer::kTopShapeIndex, layer);
      }
    }
  }
  std::string Order(int layer) {
    std::string out;
    for (int i = 1; i <= s_->GetNumShapes(layer); ++i) {
      if (!out.empty()) out += ' ';
      out += s_->GetShapeFromIndex(i, layer)->GetShapeName();
    }
    return out;
  }
  LayerStack* s_ = nullptr;
};

TEST_F(LayerStackShapes, ShapesAreFoundByHandleAcrossLayersAndRemovedFromTheirOwn) {
  EXPECT_EQ(Order(1), "a1 a2 a3");
  Shape* b2 = s_->GetShapeFromIndex(2, 2);
  int layer = 0, index = 0;
  s_->GetShapeIndexFromHandle(b2->GetHandle(), layer, index);
  EXPECT_EQ(layer, 2);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(s_->GetShapeFromHandle(b2->GetHandle()), b2);
  s_->GetShapeIndexFromHandle(reinterpret_cast<void*>(-9), layer, index);
  EXPECT_EQ(index, -1);
  s_->SetShapeActive(b2->GetHandle(), false, false);
  EXPECT_FALSE(s_->isShapeActive(b2->GetHandle()));
  EXPECT_EQ(s_->GetTopShape(1)->GetShapeName(), std::string("a3"));
  EXPECT_EQ(s_->GetBottomShape(2)->GetShapeName(), std::string("b1"));
  // Removing from the wrong layer fails; only success notifies.
  Shape* a2 = s_->GetShapeFromIndex(2, 1);
  a2->ref();
  host_.ResetCounts();
  EXPECT_FALSE(s_->RemoveShape(a2, 2));
  EXPECT_TRUE(s_->RemoveShape(a2, 1));
  EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 1);
  EXPECT_EQ(Order(1), "a1 a3");
  a2->unref();
}

TEST_F(LayerStackShapes, MovingWithinALayerLandsBeforeOrAfterTheTarget) {
  EXPECT_TRUE(s_->MoveShape(1, 1, 3, 1, false));  // a1 before a3
  EXPECT_EQ(Order(1), "a2 a1 a3");
  EXPECT_TRUE(s_->MoveShape(1, 1, 3, 1, true));  // a2 after a3
  EXPECT_EQ(Order(1), "a1 a3 a2");
  EXPECT_TRUE(s_->MoveShape(3, 1, 1, 1, false));  // a2 down, before a1
  EXPECT_EQ(Order(1), "a2 a1 a3");
  EXPECT_TRUE(s_->MoveShape(3, 1, 1, 1, true));  // a3 down, after a2
  EXPECT_EQ(Order(1), "a2 a3 a1");
  EXPECT_FALSE(s_->MoveShape(-1, 1, 1, 1, false));
}

TEST_F(LayerStackShapes, MovingAcrossLayersChangesOwnerAndEndOfListMeansTop) {
  Shape* a1 = s_->GetShapeFromIndex(1, 1);
  EXPECT_TRUE(s_->MoveShape(1, 1, 2, 2, false));
  EXPECT_EQ(Order(1), "a2 a3");
  EXPECT_EQ(Order(2), "b1 a1 b2 b3");
  EXPECT_EQ(a1->GetOwnerLayer(), s_->GetLayerFromIndex(2));
  EXPECT_TRUE(s_->MoveShape(1, 1, Layer::kTopShapeIndex, 2, false));
  EXPECT_EQ(Order(2), "b1 a1 b2 b3 a2");
}

}  // namespace
}  // namespace brenmark::testing
