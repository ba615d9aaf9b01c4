// Iterators over stacks, layers, masks and shapes; shapes found and moved
// through the layer stack.
#include <string>
#include <tuple>
#include <vector>

#include "layers/engine_fixture.h"

namespace brenmark::testing {
namespace {

void* const kNone = reinterpret_cast<void*>(-1);

class LayerIterators : public EngineTest {
 protected:
  // Stack "A mA1 mA2 B mB C" (masks above their image layers); its handle.
  int BuildStack() {
    int h = NewStack();
    for (const char* n : {"A", "mA1", "mA2", "B", "mB", "C"}) {
      PntNewLayer(h, n[0] == 'm');
      Brenmark.SetLayerName(n, -2, h);
    }
    return h;
  }
  template <class It>
  static std::vector<std::string> Walk(It& it, LayerStack* s) {
    std::vector<std::string> out;
    for (void* h = it.Next(); h != kNone; h = it.Next())
      out.push_back(s->GetLayerFromHandle(h)->GetLayerName());
    return out;
  }
  using Names = std::vector<std::string>;
};

TEST_F(LayerIterators, LayerStackIteratorWalksOccupiedSlotsThenStops) {
  int a = NewStack(), b = NewStack(), c = NewStack();
  Brenmark.DeleteLayerStack(b);
  LayerStackIterator it;
  EXPECT_EQ((std::tuple{it.Count(), it.Next(), it.Next()}), (std::tuple{2, a, c}));
  EXPECT_EQ((std::tuple{it.CountRemaining(), it.Next(), it.Next()}), (std::tuple{0, -1, -1}));
  it.Reset();
  EXPECT_EQ(it.Next(), a);
}

TEST_F(LayerIterators, LayerIteratorWalksEitherWayWithOrWithoutMasks) {
  int h = BuildStack();
  LayerStack* s = Stack(h);
  LayerIterator all(h, false, false);
  EXPECT_EQ(all.Count(), 6);
  EXPECT_EQ(Walk(all, s), (Names{"A", "mA1", "mA2", "B", "mB", "C"}));
  LayerIterator images(h, true, true);
  EXPECT_EQ(images.Count(), 3);
  int stack = 0, index = 0;
  EXPECT_EQ(images.Next(stack, index), s->GetLayerHandle(6));
  EXPECT_EQ((std::tuple{stack, index}), (std::tuple{h, 6}));
  EXPECT_EQ(Walk(images, s), (Names{"B", "A"}));
  EXPECT_EQ((std::tuple{images.Next(stack, index), index}), (std::tuple{kNone, -1}));

  EXPECT_EQ(LayerIterator::GetNextLayer(s->GetLayerHandle(1), true), s->GetLayerHandle(4));
  EXPECT_EQ(LayerIterator::GetNextLayer(s->GetLayerHandle(1), false), s->GetLayerHandle(2));
  EXPECT_EQ(LayerIterator::GetPrevLayer(s->GetLayerHandle(6), true), s->GetLayerHandle(4));
  EXPECT_EQ(LayerIterator::GetPrevLayer(s->GetLayerHandle(1), false), kNone);
  EXPECT_EQ(LayerIterator::GetNextLayer(kNone, false), kNone);

  LayerIterator missing(77, false, false);
  EXPECT_EQ((std::tuple{missing.Count(), missing.Next()}), (std::tuple{0, kNone}));
}

TEST_F(LayerIterators, MaskIteratorWalksTheRunAboveOneImageLayer) {
  int h = BuildStack();
  LayerStack* s = Stack(h);
  MaskIterator up(h, 1, false);
  EXPECT_EQ(up.Count(), 2);
  EXPECT_EQ(Walk(up, s), (Names{"mA1", "mA2"}));
  MaskIterator down(s->GetLayerHandle(1), true);
  int stack = 0, index = 0;
  EXPECT_EQ(down.Next(stack, index), s->GetLayerHandle(3));
  EXPECT_EQ(index, 3);
  EXPECT_EQ(down.Next(stack, index), s->GetLayerHandle(2));
  EXPECT_EQ((std::tuple{down.Next(stack, index), index}), (std::tuple{kNone, -1}));
  MaskIterator none(h, 6, false);
  EXPECT_EQ((std::tuple{none.Count(), none.Next()}), (std::tuple{0, kNone}));

  EXPECT_EQ(MaskIterator::GetAssociateImageLayer(s->GetLayerHandle(3)), s->GetLayerHandle(1));
  EXPECT_EQ(MaskIterator::GetAssociateImageLayer(s->GetLayerHandle(5)), s->GetLayerHandle(4));
}

TEST_F(LayerIterators, ShapeIteratorReportsStackLayerAndShapeIndex) {
  int h = NewStack();
  LayerStack* s = Stack(h);
  int layer = Brenmark.CreateShapeLayer(h, false);
  ASSERT_EQ(layer, 1);
  Layer* owner = s->GetLayerFromIndex(layer);
  auto* first = new Shape(owner);
  auto* second = new Shape(owner);
  s->AddShape(first, 0, layer);
  s->AddShape(second, Layer::kTopShapeIndex, layer);
  ShapeIterator it(owner->GetLayerID(), true);
  EXPECT_EQ(it.Count(), 2);
  int stack = 0, layerIndex = 0, shapeIndex = 0;
  EXPECT_EQ(it.Next(stack, layerIndex, shapeIndex), second->GetHandle());
  EXPECT_EQ((std::tuple{stack, layerIndex, shapeIndex}), (std::tuple{h, 1, 2}));
  EXPECT_EQ(it.Next(), first->GetHandle());
  EXPECT_EQ(it.Next(stack, layerIndex, shapeIndex), kNone);
  EXPECT_EQ(shapeIndex, -1);
}

// ---- Shape operations through the layer stack: adding, finding and moving
// shapes within and between geometry layers.

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
  EXPECT_EQ((std::tuple{layer, index}), (std::tuple{2, 2}));
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
