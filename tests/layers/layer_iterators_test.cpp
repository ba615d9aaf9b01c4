// Iterators over stacks, layers, masks and shapes.
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
  EXPECT_EQ(it.Count(), 2);
  EXPECT_EQ(it.Next(), a);
  EXPECT_EQ(it.Next(), c);
  EXPECT_EQ(it.CountRemaining(), 0);
  EXPECT_EQ(it.Next(), -1);
  EXPECT_EQ(it.Next(), -1);
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
  EXPECT_EQ(stack, h);
  EXPECT_EQ(index, 6);
  EXPECT_EQ(Walk(images, s), (Names{"B", "A"}));
  EXPECT_EQ(images.Next(stack, index), kNone);
  EXPECT_EQ(index, -1);

  EXPECT_EQ(LayerIterator::GetNextLayer(s->GetLayerHandle(1), true), s->GetLayerHandle(4));
  EXPECT_EQ(LayerIterator::GetNextLayer(s->GetLayerHandle(1), false), s->GetLayerHandle(2));
  EXPECT_EQ(LayerIterator::GetPrevLayer(s->GetLayerHandle(6), true), s->GetLayerHandle(4));
  EXPECT_EQ(LayerIterator::GetPrevLayer(s->GetLayerHandle(1), false), kNone);
  EXPECT_EQ(LayerIterator::GetNextLayer(kNone, false), kNone);

  LayerIterator missing(77, false, false);
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_EQ(missing.Next(), kNone);
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
  EXPECT_EQ(down.Next(stack, index), kNone);
  EXPECT_EQ(index, -1);
  MaskIterator none(h, 6, false);
  EXPECT_EQ(none.Count(), 0);
  EXPECT_EQ(none.Next(), kNone);

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
  EXPECT_EQ(stack, h);
  EXPECT_EQ(layerIndex, 1);
  EXPECT_EQ(shapeIndex, 2);
  EXPECT_EQ(it.Next(), first->GetHandle());
  EXPECT_EQ(it.Next(stack, layerIndex, shapeIndex), kNone);
  EXPECT_EQ(shapeIndex, -1);
}

}  // namespace
}  // namespace brenmark::testing
