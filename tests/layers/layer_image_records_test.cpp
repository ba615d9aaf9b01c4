// Layers and stacks built from a stored record are empty shells that take
// no identifier and touch nothing.
#include "layers/engine_fixture.h"

namespace brenmark::testing {
namespace {

class StoredRecords : public EngineTest {};

// Records are opaque: any address stands for one, and none is read.
SIDLayer_sr* SomeLayerRecord() {
  static char bytes[8];
  return reinterpret_cast<SIDLayer_sr*>(bytes);
}
SIDLayerStack_sr* SomeStackRecord() {
  static char bytes[8];
  return reinterpret_cast<SIDLayerStack_sr*>(bytes);
}

TEST_F(StoredRecords, ALayerFromARecordHasNoIdentityAndNoImages) {
  const std::intptr_t last = Layer::LastLayerID();
  Layer* l = new Layer(SomeLayerRecord());
  l->ref();
  EXPECT_EQ(Layer::LastLayerID(), last);  // no identifier was taken
  EXPECT_EQ(l->GetLayerID(), reinterpret_cast<void*>(-1));
  EXPECT_STREQ(l->GetLayerName(), "");
  EXPECT_EQ(l->GetImage(), nullptr);
  EXPECT_EQ(l->GetStencil(), nullptr);
  EXPECT_EQ(l->GetPainter(), nullptr);
  EXPECT_TRUE(l->getLayerBounds(true).empty());
  l->CollapseOpacity();  // operations that test for the image do nothing
  l->unref();
}

TEST_F(StoredRecords, AStackFromARecordCallsNothingAndIsNotRegistered) {
  host_.ResetCounts();
  const int stacks = Brenmark.GetLayerStackCount();
  auto* s = new LayerStack(SomeStackRecord(), ViewerParms{});
  s->ref();
  EXPECT_EQ(s->GetLayerCount(), 0);
  EXPECT_EQ(s->GetSelectionMask(), nullptr);
  EXPECT_EQ(s->GetWindow(), 0);
  EXPECT_EQ(Brenmark.GetLayerStackCount(), stacks);
  s->unref();
  for (int member = 0; member < kCbMemberCount; ++member) {
    EXPECT_EQ(host_.CallCount(member), 0) << "callback " << member;
  }
}

}  // namespace
}  // namespace brenmark::testing
