// Layer: names, flags, offsets, pivot, thumbnail settings, the smart-image
// checks, the shape list and layers and stacks from stored records.
#include <tuple>
#include <utility>

#include "layers/engine_fixture.h"

namespace brenmark::testing {
namespace {

class LayerTest : public EngineTest {
 protected:
  // A free-standing image layer (not in any stack); released by the test.
  Layer* NewLayer(bool mask = false, bool geometry = false) {
    Layer* l = new Layer(new ilSmartImage(ilPixel(ilUChar, mask ? 1 : 4)), nullptr, mask, geometry);
    l->ref();
    return l;
  }
};

TEST_F(LayerTest, IdentifiersAndNamesComeFromOneCounter) {
  Layer* a = NewLayer();
  Layer* m = NewLayer(true);
  std::intptr_t id = Id(a->GetLayerID());
  EXPECT_EQ(Id(m->GetLayerID()), id + 1);
  EXPECT_EQ(std::string(a->GetLayerName()), Name("Layer", id));
  EXPECT_EQ(std::string(m->GetLayerName()), Name("Mask", id + 1));
  EXPECT_EQ(Layer::LastLayerID(), id + 1);

  Layer* copy = new Layer(a);  // a copy keeps the identifier and takes none
  copy->ref();
  EXPECT_EQ(copy->GetLayerID(), a->GetLayerID());
  EXPECT_STREQ(copy->GetLayerName(), a->GetLayerName());
  EXPECT_EQ(copy->GetImage(), a->GetImage());
  EXPECT_EQ(a->GetImage()->getRefCount(), 2);
  EXPECT_EQ(Layer::LastLayerID(), id + 1);
  // Names are cut at 127 characters; null has a stand-in name.
  a->SetLayerName(std::string(200, 'n').c_str());
  EXPECT_EQ(std::string(a->GetLayerName()), std::string(127, 'n'));
  a->SetLayerName(nullptr);
  EXPECT_STREQ(a->GetLayerName(), "__NULL LAYER NAME__");
  copy->unref();
  EXPECT_EQ(a->GetImage()->getRefCount(), 1);
  a->unref();
  m->unref();
}

// A new layer gets a blank one-channel stencil (fill 255, no stored pixels)
// without complaint; thumbnail sides are clamped to 1 .. 256; geometry
// layers stay at the origin.
TEST_F(LayerTest, BlankStencilThumbnailLimitsAndGeometryAtTheOrigin) {
  ::testing::internal::CaptureStderr();
  Layer* l = NewLayer();
  EXPECT_EQ(StopCapture(), "");
  ASSERT_NE(l->GetStencil(), nullptr);
  EXPECT_EQ(l->GetStencil()->getCsize(), 1);
  EXPECT_EQ(l->GetStencil()->getFill().getElem(0), 255.0);
  EXPECT_TRUE(l->getLayerBounds(false).empty());
  int w, h;
  l->SetThumbnailSize(0, 999);
  l->GetThumbnailSize(w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(1, 256));
  l->unref();
  Layer* g = NewLayer(false, true);
  g->SetOffset(5.0f, 6.0f);
  float fx, fy;
  g->GetOffset(fx, fy);
  EXPECT_EQ(std::make_pair(fx, fy), std::make_pair(0.0f, 0.0f));
  g->unref();
}

TEST_F(LayerTest, ImagesThatAreNotSmartAreReportedAndUsed) {
  ilPixel zero(ilUChar, 4);
  auto* color = new ilConstImg(zero);
  auto* stencil = new ilConstImg(ilPixel(ilUChar, 1));
  ::testing::internal::CaptureStderr();
  Layer* l = new Layer(color, stencil, false, false);
  EXPECT_EQ(StopCapture(), "Color Img must be a smart image!\nStencil must be a smart image!\n");
  EXPECT_EQ((std::tuple{l->GetImage(), l->GetStencil()}), (std::tuple{color, stencil}));
  l->ref();
  l->unref();
}

TEST_F(LayerTest, PivotWithoutAFlagIsTheCentreOfTheBounds) {
  Layer* l = NewLayer();
  std::uint8_t opaque[4] = {9, 9, 9, 255};
  l->GetImage()->fillTileValue(0, 0, 10, 7, ilPixel(ilUChar, 4, opaque));
  ASSERT_EQ(l->getLayerBounds(false), ilTile(0, 0, 0, 10, 7, 1));
  l->SetOffset(2.0f, 1.0f);
  LayerPivot p = l->GetPivot();
  EXPECT_FLOAT_EQ(p.x, 0 + 2 + 5);
  EXPECT_FLOAT_EQ(p.y, 0 + 1 + 3);  // 7 div 2
  EXPECT_FALSE(p.valid);
  l->SetPivot(LayerPivot(40.0f, 50.0f, true));
  p = l->GetPivot();
  EXPECT_FLOAT_EQ(p.x, 40.0f);
  EXPECT_TRUE(p.valid);
  l->unref();
}

TEST_F(LayerTest, MaskOwnerIsTheNearestImageLayerBelow) {
  Layer* a = NewLayer();
  Layer* m1 = NewLayer(true);
  Layer* m2 = NewLayer(true);
  a->SetNext(m1);
  m1->SetPrev(a);
  m1->SetNext(m2);
  m2->SetPrev(m1);
  EXPECT_EQ((std::tuple{m2->MaskOwner(), m1->MaskOwner(), a->MaskOwner()}), (std::tuple{a, a, a}));
  a->SetNext(nullptr);
  m1->SetPrev(nullptr);
  EXPECT_EQ(m2->MaskOwner(), m2);  // no image layer below: its own owner
  m1->SetNext(nullptr);
  m2->SetPrev(nullptr);
  a->unref();
  m1->unref();
  m2->unref();
}

TEST_F(LayerTest, ShapeListKeepsOrderIndicesAndReferences) {
  Layer* l = NewLayer(false, true);
  auto* s1 = new Shape(static_cast<Layer*>(nullptr));
  auto* s2 = new Shape(static_cast<Layer*>(nullptr));
  auto* s3 = new Shape(static_cast<Layer*>(nullptr));
  s1->ref();  // the test's own reference, to watch the list's
  EXPECT_EQ(l->AddShape(s1, 0), s1->GetHandle());
  EXPECT_EQ(s1->RefCount(), 2);
  l->AddShape(s2, Layer::kTopShapeIndex);  // on top
  l->AddShape(s3, 1);                      // directly above the first
  EXPECT_EQ((std::tuple{l->GetNumShapes(), l->GetBottomShape()}), (std::tuple{3, s1}));
  EXPECT_EQ((std::tuple{l->GetTopShape(), l->GetShapeFromIndex(2)}), (std::tuple{s2, s3}));
  EXPECT_EQ(l->GetShapeFromIndex(Layer::kBottomShapeIndex), s1);
  EXPECT_EQ(l->GetShapeIndexFromHandle(s2->GetHandle()), 3);
  EXPECT_EQ(l->GetShapeIndexFromHandle(reinterpret_cast<void*>(-5)), -1);
  EXPECT_EQ(l->GetShapeHandleFromIndex(4), reinterpret_cast<void*>(-1));
  EXPECT_EQ(s3->GetOwnerLayer(), l);
  EXPECT_TRUE(l->ShapeChanged());

  EXPECT_TRUE(l->RemoveShape(s1));
  EXPECT_FALSE(l->RemoveShape(s1));
  EXPECT_EQ(s1->RefCount(), 1);
  EXPECT_EQ(s1->GetOwnerLayer(), nullptr);
  EXPECT_EQ((std::tuple{l->GetBottomShape(), l->GetNumShapes()}), (std::tuple{s3, 2}));

  Layer* copy = new Layer(l);  // shapes are copied with their handles, in order
  copy->ref();
  EXPECT_EQ(copy->GetNumShapes(), 2);
  EXPECT_EQ(copy->GetShapeHandleFromIndex(1), s3->GetHandle());
  EXPECT_EQ(copy->GetShapeHandleFromIndex(2), s2->GetHandle());
  EXPECT_NE(copy->GetShapeFromIndex(1), s3);
  EXPECT_EQ(copy->GetShapeFromIndex(1)->GetOwnerLayer(), copy);
  copy->unref();
  l->unref();
  s1->unref();
}

// Handles, default names and copies are ShapeModel.HandlesCountUp...'s.
TEST_F(LayerTest, ShapeNamesAreCutAt64CharactersAndNullIsIgnored) {
  auto* s = new Shape(static_cast<Layer*>(nullptr));
  s->ref();
  s->SetShapeName(std::string(80, 's').c_str());
  EXPECT_EQ(std::string(s->GetShapeName()), std::string(64, 's'));
  s->SetShapeName(nullptr);
  EXPECT_EQ(std::string(s->GetShapeName()), std::string(64, 's'));
  s->unref();
}

// ---- Layers and stacks built from a stored record are empty shells that
// take no identifier and touch nothing.

// Records are opaque: any address stands for one, and none is read.
SIDLayer_sr* SomeLayerRecord() {
  static char bytes[8];
  return reinterpret_cast<SIDLayer_sr*>(bytes);
}
SIDLayerStack_sr* SomeStackRecord() {
  static char bytes[8];
  return reinterpret_cast<SIDLayerStack_sr*>(bytes);
}

TEST_F(LayerTest, ALayerFromAStoredRecordHasNoIdentityAndNoImages) {
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

TEST_F(LayerTest, AStackFromAStoredRecordCallsNothingAndIsNotRegistered) {
  host_.ResetCounts();
  const int stacks = Brenmark.GetLayerStackCount();
  auto* s = new LayerStack(SomeStackRecord(), ViewerParms{});
  s->ref();
  EXPECT_EQ(s->GetLayerCount(), 0);
  EXPECT_EQ(s->GetSelectionMask(), nullptr);
  EXPECT_EQ((std::tuple{s->GetWindow(), Brenmark.GetLayerStackCount()}), (std::tuple{0, stacks}));
  s->unref();
  for (int member = 0; member < kCbMemberCount; ++member) {
    EXPECT_EQ(host_.CallCount(member), 0) << "callback " << member;
  }
}

}  // namespace
}  // namespace brenmark::testing
