// The pixels of the structure operations: merges against a reference
// composite computed here, duplication and clearing through the mask
// composite, cropping to the brush reach, added and deleted layers.
#include <tuple>

#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kLow = 0xFF4080C0u;   // opaque
constexpr unsigned kHigh = 0xA0503010u;  // alpha 160
constexpr unsigned kTop = 0x60302010u;   // alpha 96

class LayerMerges : public EngineTest {
 protected:
  // Bottom layer kLow over (0, 0, 24, 24) with a stencil of 128 over its
  // left half and opacity 0.6; above it kHigh over (8, 8, 24, 24) at offset
  // (3, 2) and opacity 0.5.
  LayerStack* TwoLayers() {
    LayerStack* s = Stack(NewStack());
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    Layer* low = s->GetLayerFromIndex(1);
    Layer* high = s->GetLayerFromIndex(2);
    Paint(low->GetImage(), 0, 0, 24, 24, kLow);
    Paint(low->GetStencil(), 0, 0, 12, 24, 128);
    low->SetOpacity(0.6f);
    Paint(high->GetImage(), 8, 8, 24, 24, kHigh);
    high->SetOffset(3.0f, 2.0f);
    high->SetOpacity(0.5f);
    return s;
  }

  // A layer holding kLow over (0, 0, 16, 16), made current; with masks, a
  // mask above it of 255 over its left half and 64 over the next quarter.
  LayerStack* MaskedLayer(bool masks) {
    DeleteAllStacks();
    LayerStack* s = Stack(NewStack());
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    Paint(s->GetLayerFromIndex(1)->GetImage(), 0, 0, 16, 16, kLow);
    if (masks) {
      s->AddLayer(nullptr, nullptr, true, true, false, -2, true);
      Paint(s->GetLayerFromIndex(2)->GetImage(), 0, 0, 8, 16, 255);
      Paint(s->GetLayerFromIndex(2)->GetImage(), 8, 0, 4, 16, 64);
      s->SetCurrentLayer(1, true);
    }
    return s;
  }

  // The lower layer with its stencil and opacity baked in (trunc(0.6 x
  // 255) = 153), at lower-layer pixel (x, y).
  static unsigned LowBaked(int x, int y) {
    if (x < 0 || y < 0 || x >= 24 || y >= 24) return 0;
    unsigned p = x < 12 ? Times(kLow, 128) : kLow;
    return Times(p, 153);
  }
  // The upper layer as it composites (round(0.5 x 255) = 128), at its own
  // pixel (x, y).
  static unsigned HighStencilled(int x, int y) {
    if (x < 8 || y < 8 || x >= 32 || y >= 32) return 0;
    return Times(kHigh, 128);
  }
};

TEST_F(LayerMerges, MergingBakesTheLowerLayerAndCompositesTheUpperAtItsOffset) {
  LayerStack* s = TwoLayers();
  Layer* low = s->GetLayerFromIndex(1);
  s->MergeLayers(s->GetLayerHandle(2), s->GetLayerHandle(1), true);
  ASSERT_EQ(s->GetLayerCount(), 1);
  EXPECT_EQ((std::tuple{s->GetLayerFromIndex(1), s->GetCurrentLayerPtr()}), (std::tuple{low, low}));
  EXPECT_FLOAT_EQ(low->GetOpacity(), 1.0f);
  EXPECT_EQ(low->GetStencilledImage(nullptr, false, true), low->GetImage());  // stencil baked
  ilImage* merged = low->GetImage();
  EXPECT_TRUE(SamePicture(
      -2, -2, 40, 40, [&](int x, int y) { return Px(merged, x, y); },
      [&](int x, int y) { return Over(HighStencilled(x - 3, y - 2), LowBaked(x, y)); }));
}

TEST_F(LayerMerges, MergingAllLayersCompositesImagesAndDropsMasks) {
  LayerStack* s = TwoLayers();
  s->AddLayer(nullptr, nullptr, true, true, false, -2, true);  // a mask of layer 2
  Paint(s->GetLayerFromIndex(3)->GetImage(), 0, 0, 40, 40, 255);
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  Layer* top = s->GetLayerFromIndex(4);
  Paint(top->GetImage(), 20, 0, 10, 10, kTop);
  ASSERT_EQ(s->GetLayerCount(), 4);
  Layer* base = s->GetLayerFromIndex(1);
  s->MergeAllLayers(false);
  ASSERT_EQ(s->GetLayerCount(), 1);
  EXPECT_EQ(s->GetLayerFromIndex(1), base);
  ilImage* merged = base->GetImage();
  auto topAt = [](int x, int y) { return x >= 20 && x < 30 && y >= 0 && y < 10 ? kTop : 0u; };
  EXPECT_TRUE(SamePicture(
      -2, -2, 40, 40, [&](int x, int y) { return Px(merged, x, y); },
      [&](int x, int y) {
        return Over(topAt(x, y), Over(HighStencilled(x - 3, y - 2), LowBaked(x, y)));
      }));
}

TEST_F(LayerMerges, MergingVisibleLayersLeavesHiddenLayersAndMasksInPlace) {
  LayerStack* s = TwoLayers();
  s->AddLayer(nullptr, nullptr, true, true, false, -2, true);   // mask of layer 2
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);  // hidden layer
  Layer* hidden = s->GetLayerFromIndex(4);
  Paint(hidden->GetImage(), 0, 0, 4, 4, kTop);
  s->SetLayerActive(4, false);
  Layer* mask = s->GetLayerFromIndex(3);
  s->MergeAllLayers(true);
  ASSERT_EQ(s->GetLayerCount(), 3);
  EXPECT_EQ(s->GetLayerFromIndex(2), mask);
  EXPECT_EQ(s->GetLayerFromIndex(3), hidden);
  ilImage* merged = s->GetLayerFromIndex(1)->GetImage();
  EXPECT_TRUE(PixelsAre(
      merged, {{20, 20, Over(HighStencilled(17, 18), LowBaked(20, 20))}, {1, 1, LowBaked(1, 1)}}));
}

TEST_F(LayerMerges, MergingVisibleLayersWithoutAVisibleImageLayerChangesNothing) {
  LayerStack* s = Stack(NewStack());
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  Paint(s->GetLayerFromIndex(1)->GetImage(), 0, 0, 4, 4, kLow);
  s->AddLayer(nullptr, nullptr, true, true, false, -2, true);  // current: a mask
  s->SetLayerActive(1, false);
  ASSERT_EQ(s->GetNextActiveLayerFromBottom(), nullptr);
  s->MergeAllLayers(true);
  EXPECT_EQ(s->GetLayerCount(), 2);
  EXPECT_FALSE(s->isLayerActive(1));
  EXPECT_EQ(Px(s->GetLayerFromIndex(1)->GetImage(), 1, 1), kLow);
}

TEST_F(LayerMerges, DuplicateThroughMasksKeepsOnlyWhatTheyLeavePaintable) {
  LayerStack* s = MaskedLayer(true);
  Layer* image = s->GetLayerFromIndex(1);
  s->DuplicateCurrentLayer(true);
  ASSERT_EQ(s->GetLayerCount(), 3);
  Layer* copy = s->GetCurrentLayerPtr();
  EXPECT_EQ(s->GetIndexFromLayer(copy), 3);  // above the mask run
  // Each pixel times (256 - m) / 256.
  EXPECT_TRUE(PixelsAre(copy->GetImage(), {{3, 3, 0u}, {9, 3, Times(kLow, 192)}, {14, 3, kLow}}));
  EXPECT_EQ(Px(image->GetImage(), 3, 3), kLow);  // the source keeps its pixels
}

// Clearing erases what masks and the selection leave paintable: each pixel
// times m / 256 (255 keeps it whole); without either, everything goes.
TEST_F(LayerMerges, ClearingErasesOnlyWhatMasksOrTheSelectionLeavePaintable) {
  enum Guard { kNothing, kMasks, kSelection };
  const unsigned want[3][3] = {{0, 0, 0}, {kLow, Times(kLow, 64), 0}, {kLow, 0, 0}};  // x 3, 9, 14
  for (Guard g : {kNothing, kMasks, kSelection}) {
    SCOPED_TRACE(g);
    LayerStack* s = MaskedLayer(g == kMasks);
    if (g == kMasks) s->UseSelectionMask(false);
    if (g == kSelection) Paint(s->GetSelectionMask()->GetImage(), 0, 0, 8, 16, 255);
    Layer* image = s->GetLayerFromIndex(1);
    host_.ResetCounts();
    s->ClearCurrentLayer();
    EXPECT_TRUE(PixelsAre(image->GetImage(),
                          {{3, 3, want[g][0]}, {9, 3, want[g][1]}, {14, 3, want[g][2]}}));
    EXPECT_EQ(image->getLayerBounds(false).empty(), g == kNothing);
    EXPECT_EQ(host_.CallCount(kCbLayersChanged), 1);
  }
}

TEST_F(LayerMerges, DuplicatingCropsTheSourceToTheBrushReach) {
  LayerStack* s = Stack(NewStack());  // a 64 x 48 canvas: reach -256 .. 319, 303
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  Layer* l = s->GetLayerFromIndex(1);
  Paint(l->GetImage(), 300, 4, 40, 4, kLow);
  Paint(l->GetStencil(), 300, 4, 40, 4, 100);
  s->DuplicateCurrentLayer(true);
  EXPECT_TRUE(PixelsAre(l->GetImage(), {{319, 5, kLow}, {320, 5, 0u}}));
  // (320, 5) is back to the stencil's fill.
  EXPECT_TRUE(PixelsAre(l->GetStencil(), {{319, 5, 100u}, {320, 5, 255u}}));
  // The copy holds the same pixels and stencil in images of its own.
  ilImage* copy = s->GetLayerFromIndex(2)->GetImage();
  EXPECT_NE(copy, l->GetImage());
  EXPECT_EQ(Px(copy, 319, 5), kLow);
  EXPECT_EQ(Px(s->GetLayerFromIndex(2)->GetStencil(), 319, 5), 100u);
  EXPECT_EQ(Px(copy, 320, 5), 0u);
}

// Adding an image copies it, and its channel count decides the kind.
TEST_F(LayerMerges, AddingAnImageCopiesIt) {
  LayerStack* s = Stack(NewStack());
  auto* source = new ilSmartImage(PixelOf(0, 1));
  source->ref();
  Paint(source, 0, 0, 3, 3, 200);
  Layer* l = s->GetLayerFromIndex(s->AddLayer(source, nullptr, false, true, false, -2, true));
  EXPECT_TRUE(l->isMask());
  EXPECT_NE(l->GetImage(), source);
  Paint(source, 0, 0, 3, 3, 0);  // the layer keeps its own copy
  EXPECT_EQ(Px(l->GetImage(), 1, 1), 200u);
  source->unref();
}

TEST_F(LayerMerges, DeletingTheOnlyLayerLeavesItEmpty) {
  LayerStack* s = MaskedLayer(false);
  Layer* l = s->GetLayerFromIndex(1);
  s->DeleteCurrentLayer(reinterpret_cast<void*>(-2), true);
  EXPECT_EQ((std::tuple{s->GetLayerCount(), s->GetLayerFromIndex(1)}), (std::tuple{1, l}));
  EXPECT_EQ(Px(l->GetImage(), 5, 5), 0u);
  EXPECT_TRUE(l->getLayerBounds(false).empty());
}

}  // namespace
}  // namespace brenmark::testing
