// The paint manager's table of layer stacks: slots, handles, the current
// stack, iteration, replacement and layer-handle resolution.
#include "layers/engine_fixture.h"

namespace brenmark::testing {
namespace {

void* const kNone = reinterpret_cast<void*>(-1);
void* const kCurrent = reinterpret_cast<void*>(-2);

class LayerStackRegistry : public EngineTest {};

TEST_F(LayerStackRegistry, FirstStackTakesSlotZeroAndFreedSlotsAreReusedLowestFirst) {
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), -1);
  EXPECT_EQ(NewStack(), 0);
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), 0);
  EXPECT_EQ(NewStack(), 1);
  EXPECT_EQ(NewStack(), 2);
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 3);
  Brenmark.DeleteLayerStack(0);
  Brenmark.DeleteLayerStack(1);
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), 2);  // deleting other slots leaves it
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 1);
  EXPECT_EQ(NewStack(), 0);
  EXPECT_EQ(NewStack(), 1);
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), 1);
}

TEST_F(LayerStackRegistry, AllSlotsTakenGivesMinusOneAndChangesNothing) {
  host_.SetDefaultViewSize(1, 1);
  for (int i = 0; i < PaintManager::kMaxLayerStacks; ++i) ASSERT_EQ(NewStack(), i);
  host_.ResetCounts();
  EXPECT_EQ(NewStack(), -1);
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 512);
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), 511);
  EXPECT_EQ(host_.CallCount(kCbCreateStackWindow), 0);
}

TEST_F(LayerStackRegistry, MinusTwoNamesTheCurrentStackOnlyWhereItIsAccepted) {
  EXPECT_FALSE(Brenmark.ValidLayerStackHandle(-2));
  int h = NewStack();
  EXPECT_TRUE(Brenmark.ValidLayerStackHandle(-2));
  EXPECT_FALSE(Brenmark.CheckLayerStackHandle(-2));
  EXPECT_TRUE(Brenmark.CheckLayerStackHandle(h));
  EXPECT_FALSE(Brenmark.CheckLayerStackHandle(-1));
  EXPECT_FALSE(Brenmark.CheckLayerStackHandle(512));
  EXPECT_EQ(Brenmark.GetLayerStack(-2), Brenmark.GetLayerStack(h));
  EXPECT_EQ(Brenmark.GetLayerStack(600), nullptr);
  EXPECT_EQ(Brenmark.GetLayerStackHandle(Brenmark.GetLayerStack(h)), h);
}

TEST_F(LayerStackRegistry, SetCurrentLayerStackIgnoresMinusOneMinusTwoAndFreeSlots) {
  int a = NewStack();
  int b = NewStack();
  host_.ResetCounts();
  Brenmark.SetCurrentLayerStack(-2);
  Brenmark.SetCurrentLayerStack(-1);
  Brenmark.SetCurrentLayerStack(7);
  Brenmark.SetCurrentLayerStack(b);  // already current
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), b);
  EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 0);
  Brenmark.SetCurrentLayerStack(a);
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), a);
  EXPECT_EQ(Brenmark.GetCurrentLayerStackPtr_Private_(), Brenmark.GetLayerStack(a));
  EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 1);
}

TEST_F(LayerStackRegistry, DeletingTheCurrentStackLeavesNoneCurrent) {
  int h = NewStack();
  PntNewLayer(h, false);
  int window = Stack(h)->GetWindow();
  Brenmark.DeleteLayerStack(-2);
  EXPECT_EQ(Brenmark.GetCurrentLayerStack(), -1);
  EXPECT_EQ(Brenmark.GetLayerStack(h), nullptr);
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 0);
  // The stack and the one the new layer's undo record kept.
  EXPECT_EQ(host_.Window(window)->destroyingNotices, 2);
  // Commands given -2 now do nothing.
  EXPECT_EQ(PntNewLayer(-2, false), kNone);
  EXPECT_EQ(Brenmark.GetLayerCount(-2), 0);
  EXPECT_EQ(PntUpLayer(), kNone);
  Brenmark.DeleteLayerStack(-2);
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 0);
}

TEST_F(LayerStackRegistry, NextLayerStackWalksOccupiedSlotsThenKeepsAnsweringMinusOne) {
  for (int i = 0; i < 4; ++i) NewStack();
  Brenmark.DeleteLayerStack(1);
  Brenmark.ResetLayerStackIterator();
  std::vector<int> walked;
  for (int i = 0; i < 5; ++i) walked.push_back(Brenmark.NextLayerStack());
  EXPECT_EQ(walked, (std::vector<int>{0, 2, 3, -1, -1}));
}

TEST_F(LayerStackRegistry, ReplaceLayerStackSwapsTheSlotAndKeepsTheCount) {
  int a = NewStack();
  PntNewLayer(a, false);
  PaintUndoList.FlushUndoList(nullptr);  // its record keeps the stack before
  LayerStack* old = Stack(a);
  old->SetTransform(LayerStackTransform(1.0f, 2.0f, 3.0f, 3.0f, 0.0f, 0.0f, 0.0f));
  LayerStackTransform expected = old->GetTransform();
  auto* copy = new LayerStack(old);
  copy->SetTransform(LayerStackTransform());  // the slot's stack hands its transform over
  host_.ResetCounts();
  Brenmark.ReplaceLayerStack(copy, a);
  EXPECT_EQ(Brenmark.GetLayerStack(a), copy);
  EXPECT_EQ(Brenmark.GetCurrentLayerStackPtr_Private_(), copy);
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 1);
  EXPECT_EQ(copy->RefCount(), 1);
  EXPECT_TRUE(copy->GetTransform() == expected);
  EXPECT_EQ(host_.CallCount(kCbSetViewerParms), 1);
  EXPECT_EQ(host_.CallCount(kCbStackDestroying), 1);  // the old stack went
  Brenmark.ReplaceLayerStack(nullptr, a);
  Brenmark.ReplaceLayerStack(copy, 512);
  EXPECT_EQ(Brenmark.GetLayerStack(a), copy);
}

TEST_F(LayerStackRegistry, LayerHandlesResolveToTheFirstStackThatKnowsThem) {
  int a = NewStack();
  void* first = PntNewLayer(a, false);
  int b = NewStack();
  void* second = PntNewLayer(b, false);
  void* secondTop = PntNewLayer(b, false);
  // The current stack's current layer for -2; the selection mask above the
  // layers; -1, -1 for none.
  const struct {
    void* handle;
    int index, stack;
  } cases[] = {{first, 1, a},
               {secondTop, 2, b},
               {kCurrent, 2, b},
               {Brenmark.GetSelectionMaskHandle(a), 2, a},
               {kNone, -1, -1}};
  for (const auto& c : cases) {
    int index = 0, h = -1;
    Brenmark.GetLayerFromHandle(c.handle, index, h);
    EXPECT_EQ(index, c.index) << c.handle;
    if (c.index > 0) {
      EXPECT_EQ(h, c.stack) << c.handle;
    }
  }
  EXPECT_EQ(Brenmark.GetLayerHandle(1, b), second);
  EXPECT_EQ(Brenmark.GetLayerHandle(1, 9), kNone);
}

TEST_F(LayerStackRegistry, TransformsBuiltFromAViewAskTheInstalledApplication) {
  host_.SetViewOriginAndScale(10, 20, 2.0f, 0.0f);
  int view = 5;
  LayerStackTransform t(&view);
  EXPECT_EQ(host_.LastAppView(), &view);
  // A scale of 0 reads as 1.
  EXPECT_EQ((std::vector<float>{t.GetXOffset(), t.GetYOffset(), t.GetXScale(), t.GetYScale()}),
            (std::vector<float>{-10, -20, 2, 1}));
}

}  // namespace
}  // namespace brenmark::testing
