// Layer stack structure: lookups, naming, mask grouping, delete, move,
// duplicate, merge and the current layer.
#include "layers/engine_fixture.h"

namespace brenmark::testing {
namespace {

void* const kNone = reinterpret_cast<void*>(-1);
void* const kCurrent = reinterpret_cast<void*>(-2);

class LayerStackStructure : public EngineTest {
 protected:
  // Adds a layer above the current one and names it.
  void Add(LayerStack* s, const char* name, bool mask = false) {
    int index = s->AddLayer(nullptr, nullptr, mask, true, false, -2, true);
    s->SetLayerName(name, index);
  }
  // A stack holding the named layers bottom to top; names starting with 'm'
  // are masks.
  LayerStack* Build(std::initializer_list<const char*> names) {
    NewStack();
    LayerStack* s = Stack();
    for (const char* n : names) Add(s, n, n[0] == 'm');
    return s;
  }
  static std::string Current(LayerStack* s) {
    Layer* l = s->GetCurrentLayerPtr();
    return l ? l->GetLayerName() : "(none)";
  }
};

TEST_F(LayerStackStructure, NewStackHasOnlyItsSelectionMask) {
  LayerStack* s = Stack(NewStack());
  EXPECT_EQ(s->GetLayerCount(), 0);
  EXPECT_EQ(s->GetLayerFromIndex(1), s->GetSelectionMask());  // index count + 1
  EXPECT_STREQ(s->GetSelectionMask()->GetLayerName(), "Selection");
  EXPECT_TRUE(s->GetSelectionMask()->isMask());
  EXPECT_EQ(s->GetCurrentLayerPtr(), nullptr);
  EXPECT_EQ(s->GetCurrentLayer(), -1);
  EXPECT_EQ(s->GetCurrentLayerHandle(), kNone);

  int index = s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  EXPECT_EQ(index, 1);
  Layer* first = s->GetLayerFromIndex(1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, s->GetCurrentLayerPtr());
  EXPECT_EQ(s->GetLayerFromIndex(2), s->GetSelectionMask());
  EXPECT_EQ(s->GetIndexFromLayer(s->GetSelectionMask()), 2);
  EXPECT_EQ(s->GetIndexFromLayer(nullptr), -1);
  EXPECT_EQ(s->GetLayerFromIndex(0), nullptr);
  EXPECT_EQ(s->GetLayerFromIndex(3), nullptr);
  EXPECT_EQ(s->GetLayerFromIndex(-2), first);
}

TEST_F(LayerStackStructure, NamesNumberEveryLayerFromOneCounterAcrossStacks) {
  NewStack();
  LayerStack* s = Stack();
  std::intptr_t selection = Id(s->GetSelectionMaskHandle());
  EXPECT_EQ(selection, Layer::LastLayerID());
  PntNewLayer(-2, false);
  PntNewLayer(-2, false);
  PntNewLayer(-2, true);
  EXPECT_EQ(Names(s), Name("Layer", selection + 1) + " " + Name("Layer", selection + 2) + " " +
                          Name("Mask", selection + 3));
  EXPECT_EQ(Id(s->GetLayerHandle(3)), selection + 3);

  NewStack();
  LayerStack* second = Stack();
  EXPECT_EQ(Id(second->GetSelectionMaskHandle()), selection + 4);
  EXPECT_STREQ(second->GetSelectionMask()->GetLayerName(), "Selection");
  PntNewLayer(-2, false);
  EXPECT_EQ(Names(second), Name("Layer", selection + 5));
}

TEST_F(LayerStackStructure, NewImageLayerNeverSplitsAnImageLayerFromItsMasks) {
  LayerStack* s = Build({"A", "mA1", "mA2", "B"});
  s->SetCurrentLayer(1, true);
  Add(s, "C");
  EXPECT_EQ(Names(s), "A mA1 mA2 C B");
  EXPECT_EQ(Current(s), "C");
  // A mask added over an image layer goes directly above it.
  s->SetCurrentLayer(1, true);
  Add(s, "mA0", true);
  EXPECT_EQ(Names(s), "A mA0 mA1 mA2 C B");
}

TEST_F(LayerStackStructure, AddingWhileSelectionIsCurrentAddsOnTop) {
  LayerStack* s = Build({"A", "B"});
  s->SetSelectionMaskCurrent();
  ASSERT_TRUE(s->isSelectionMaskCurrent());
  Add(s, "C");
  EXPECT_EQ(Names(s), "A B C");
  EXPECT_EQ(Current(s), "C");
}

TEST_F(LayerStackStructure, MaskLayersTakeTheStackDefaultDisplayColourAndOpacity) {
  LayerStack* s = Build({"A", "mA"});
  Layer* mask = s->GetLayerFromIndex(2);
  EXPECT_EQ(mask->GetMaskColor(), PaintColor(1.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(mask->GetMaskDisplayOpacity(), 0.5f);
  EXPECT_EQ(s->GetSelectionMask()->GetMaskColor(), PaintColor(0.7245f, 0.4274f, 0.396f, 1.0f));
}

TEST_F(LayerStackStructure, DeletingAnImageLayerDeletesItsMasksButNotTheReverse) {
  LayerStack* s = Build({"A", "B", "mB1", "mB2", "C"});
  s->SetCurrentLayer(3, true);  // mB1
  s->DeleteCurrentLayer(kCurrent, true);
  EXPECT_EQ(Names(s), "A B mB2 C");
  EXPECT_EQ(Current(s), "B");  // the layer below took over

  s->DeleteCurrentLayer(s->GetLayerHandle(2), false);
  EXPECT_EQ(Names(s), "A C");
  EXPECT_EQ(Current(s), "A");
  EXPECT_TRUE(s->IsRedrawPending());
}

TEST_F(LayerStackStructure, DeletingTheBottomLayerHandsCurrencyUpward) {
  LayerStack* s = Build({"A", "B"});
  s->SetCurrentLayer(1, true);
  s->DeleteCurrentLayer(kCurrent, true);
  EXPECT_EQ(Names(s), "B");
  EXPECT_EQ(Current(s), "B");
}

TEST_F(LayerStackStructure, DeleteIgnoresUnknownHandlesAndTheSelectionMask) {
  LayerStack* s = Build({"A", "B"});
  s->DeleteCurrentLayer(kNone, true);
  s->DeleteCurrentLayer(s->GetSelectionMaskHandle(), true);
  EXPECT_EQ(Names(s), "A B");
  EXPECT_NE(s->GetSelectionMask(), nullptr);
}

TEST_F(LayerStackStructure, MoveCurrentLayerClampsAndNeverPutsAMaskAtTheBottom) {
  LayerStack* s = Build({"A", "B", "C"});
  s->MoveCurrentLayer(0);
  EXPECT_EQ(Names(s), "C A B");
  s->SetCurrentLayer(3, true);  // B
  s->MoveCurrentLayer(1);
  EXPECT_EQ(Names(s), "B C A");

  LayerStack* m = Build({"A", "B", "mB"});
  m->MoveCurrentLayer(1);
  EXPECT_EQ(Names(m), "A mB B");
  EXPECT_EQ(m->GetCurrentLayer(), 2);
}

TEST_F(LayerStackStructure, MoveCurrentLayerPlacesTheGroupBelowTheIndexedLayer) {
  LayerStack* s = Build({"A", "mA", "B", "C"});
  s->SetCurrentLayer(1, true);
  s->MoveCurrentLayer(4);  // below C
  EXPECT_EQ(Names(s), "B A mA C");
  EXPECT_EQ(Current(s), "A");
  s->MoveCurrentLayer(99);  // above the count: to the top
  EXPECT_EQ(Names(s), "B C A mA");
  s->MoveCurrentLayer(4);  // below its own mask: no move
  EXPECT_EQ(Names(s), "B C A mA");
  s->SetSelectionMaskCurrent();
  s->MoveCurrentLayer(1);
  EXPECT_EQ(Names(s), "B C A mA");
}

TEST_F(LayerStackStructure, MoveToAnotherStackCarriesTheMasksAndRefillsAnEmptySource) {
  LayerStack* target = Build({"X", "Y"});
  LayerStack* source = Build({"A", "mA"});
  source->SetCurrentLayer(1, true);
  ::testing::internal::CaptureStderr();
  source->MoveCurrentlayer(target, 2);
  EXPECT_EQ(StopCapture(), "moving a layer to a new stack\n");
  EXPECT_EQ(Names(target), "X A mA Y");
  EXPECT_EQ(target->GetCurrentLayer(), 3);
  EXPECT_EQ(source->GetLayerCount(), 1);
  EXPECT_EQ(source->GetCurrentLayer(), 1);
  EXPECT_FALSE(source->isLayerMask(1));

  ::testing::internal::CaptureStderr();
  target->MoveCurrentlayer(nullptr, 1);  // a null target moves within the stack
  EXPECT_EQ(StopCapture(), "moving a layer to a new stack\n");
  EXPECT_EQ(Names(target), "X mA A Y");
}

TEST_F(LayerStackStructure, SetCurrentLayerClampsToTheSelectionMask) {
  LayerStack* s = Build({"A", "B"});
  s->SetCurrentLayer(s->GetLayerCount() + 5, true);
  EXPECT_TRUE(s->isSelectionMaskCurrent());
  EXPECT_EQ(s->GetCurrentLayer(), 3);
  EXPECT_EQ(s->GetLayerIndex(kCurrent), -1);
  EXPECT_EQ(s->GetLayerIndex(s->GetSelectionMaskHandle()), 3);
  EXPECT_EQ(s->GetLayerFromHandle(kCurrent), s->GetSelectionMask());
  s->SetCurrentLayer(-7, true);
  EXPECT_EQ(s->GetCurrentLayer(), 1);
  EXPECT_EQ(s->GetLayerIndex(kCurrent), 1);
  EXPECT_EQ(s->GetLayerIndex(kNone), -1);
}

TEST_F(LayerStackStructure, PendingCurrentIndexIsReportedUntilTheSwitch) {
  LayerStack* s = Build({"A", "B", "C"});
  s->PrepareToSetCurrentLayer(1);
  EXPECT_EQ(s->GetCurrentLayer(), 1);
  EXPECT_EQ(Current(s), "C");
  s->PrepareToSetCurrentLayer(3);  // already current: nothing pending
  EXPECT_EQ(s->GetCurrentLayer(), 1);
  s->SetCurrentLayer(2, true);
  EXPECT_EQ(s->GetCurrentLayer(), 2);
}

TEST_F(LayerStackStructure, SetAllLayerActiveKeepsTheCurrentLayerActive) {
  LayerStack* s = Build({"A", "B", "C"});
  s->SetCurrentLayer(2, true);
  host_.ResetCounts();
  s->SetAllLayerActive(false);
  EXPECT_FALSE(s->isLayerActive(1));
  EXPECT_TRUE(s->isLayerActive(2));
  EXPECT_FALSE(s->isLayerActive(3));
  EXPECT_FALSE(s->isLayerActive(4));  // the selection mask
  EXPECT_EQ(host_.CallCount(kCbLayersChanged), 1);
  s->SetAllLayerActive(false);  // nothing changes: no notice
  EXPECT_EQ(host_.CallCount(kCbLayersChanged), 1);
}

TEST_F(LayerStackStructure, DuplicateNamesCountUpUntilUnique) {
  LayerStack* s = Build({"Layer-3"});
  s->DuplicateCurrentLayer(true);
  EXPECT_EQ(Names(s), "Layer-3 Layer-3-1");
  s->SetCurrentLayer(1, true);
  s->DuplicateCurrentLayer(true);
  EXPECT_EQ(Names(s), "Layer-3 Layer-3-2 Layer-3-1");
  s->SetCurrentLayer(3, true);
  s->DuplicateCurrentLayer(true);
  EXPECT_EQ(Names(s), "Layer-3 Layer-3-2 Layer-3-1 Layer-3-1-1");
  EXPECT_EQ(Current(s), "Layer-3-1-1");
}

TEST_F(LayerStackStructure, DuplicateCopiesAttributesAndKeepsAMaskWithItsOwner) {
  LayerStack* s = Build({"A", "mA", "B"});
  s->SetCurrentLayer(1, true);
  s->SetLayerOpacity(1, 0.25f);
  s->GetLayerFromIndex(1)->SetOffset(3.7f, -2.2f);
  s->DuplicateCurrentLayer(true);
  EXPECT_EQ(Names(s), "A mA A-1 B");
  Layer* copy = s->GetLayerFromIndex(3);
  EXPECT_FLOAT_EQ(copy->GetOpacity(), 0.25f);
  float x, y;
  copy->GetOffset(x, y);
  EXPECT_EQ(x, 3.0f);  // the integer offset is what is copied
  EXPECT_EQ(y, -2.0f);
  EXPECT_NE(copy->GetLayerID(), s->GetLayerFromIndex(1)->GetLayerID());

  s->SetCurrentLayer(2, true);  // a mask duplicates as a mask
  s->DuplicateCurrentLayer(true);
  EXPECT_EQ(Names(s), "A mA mA-1 A-1 B");
  EXPECT_TRUE(s->isLayerMask(3));
}

TEST_F(LayerStackStructure, DuplicateKeepsLongNamesWithinTheNameLimitAndUnique) {
  LayerStack* s = Build({"A"});
  std::string longName(127, 'x');
  s->SetLayerName(longName.c_str(), 1);
  s->DuplicateCurrentLayer(true);
  s->SetCurrentLayer(1, true);
  s->DuplicateCurrentLayer(true);
  EXPECT_EQ(std::string(s->GetLayerName(2)), std::string(125, 'x') + "-2");
  EXPECT_EQ(std::string(s->GetLayerName(3)), std::string(125, 'x') + "-1");
}

TEST_F(LayerStackStructure, MergeLayersRemovesTheUpperLayerAndItsMasks) {
  LayerStack* s = Build({"A", "B", "mB", "C"});
  host_.ResetCounts();
  s->MergeLayers(s->GetLayerHandle(2), s->GetLayerHandle(1), true);
  EXPECT_EQ(Names(s), "A C");
  EXPECT_EQ(Current(s), "A");
  EXPECT_EQ(host_.CallCount(kCbLayersChanged), 1);
  EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 1);
  s->MergeLayers(kNone, s->GetLayerHandle(1), true);
  s->MergeLayers(s->GetLayerHandle(1), s->GetLayerHandle(1), true);
  s->MergeLayers(s->GetSelectionMaskHandle(), s->GetLayerHandle(1), true);
  EXPECT_EQ(Names(s), "A C");
}

TEST_F(LayerStackStructure, MergeAllLayersKeepsOnlyTheBase) {
  LayerStack* s = Build({"A", "mA", "B", "C"});
  s->MergeAllLayers(false);
  EXPECT_EQ(Names(s), "A");
  EXPECT_EQ(Current(s), "A");
}

TEST_F(LayerStackStructure, MergeVisibleLayersLeavesHiddenLayersAndMasks) {
  LayerStack* s = Build({"A", "B", "mB", "C", "D"});
  s->SetLayerActive(1, false);
  s->SetLayerActive(4, false);  // C
  s->MergeAllLayers(true);
  EXPECT_EQ(Names(s), "A B mB C");
  EXPECT_EQ(Current(s), "B");

  LayerStack* hidden = Build({"A", "B"});
  hidden->SetAllLayerActive(false);
  hidden->SetLayerActive(2, false);  // the current layer was kept active
  hidden->MergeAllLayers(true);
  EXPECT_EQ(Names(hidden), "A B");
}

TEST_F(LayerStackStructure, DeleteAllMasksKeepsImageLayersAndStopsAtAMaskAtTheBottom) {
  LayerStack* s = Build({"A", "mA", "B", "mB1", "mB2"});
  s->DeleteAllMasks();
  EXPECT_EQ(Names(s), "A B");
  EXPECT_EQ(s->GetCurrentLayer(), 1);

  LayerStack* m = Build({"A", "mA"});
  m->SetCurrentLayer(2, true);
  m->MoveCurrentlayer(Build({"Z"}), 1);  // puts the mask at the bottom of the new stack
  LayerStack* z = Stack();
  EXPECT_EQ(Names(z), "mA Z");
  z->DeleteAllMasks();
  EXPECT_EQ(Names(z), "mA Z");
}

TEST_F(LayerStackStructure, SetCurrentMasksActiveShowsOnlyTheCurrentLayersMasks) {
  LayerStack* s = Build({"A", "mA", "B", "mB"});
  s->SetCurrentLayer(3, true);
  s->SetCurrentMasksActive();
  EXPECT_FALSE(s->isLayerActive(2));
  EXPECT_TRUE(s->isLayerActive(4));
  EXPECT_TRUE(s->isLayerActive(1));
}

TEST_F(LayerStackStructure, CopiedStackKeepsHandlesNamesOrderAndCurrentIndex) {
  LayerStack* s = Build({"A", "mA", "B"});
  s->SetCurrentLayer(2, true);
  auto* copy = new LayerStack(s);
  copy->ref();
  EXPECT_EQ(Names(copy), "A mA B");
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(copy->GetLayerHandle(i), s->GetLayerHandle(i));
    EXPECT_NE(copy->GetLayerFromIndex(i), s->GetLayerFromIndex(i));
    EXPECT_EQ(copy->GetLayerFromIndex(i)->GetImage(), s->GetLayerFromIndex(i)->GetImage());
    EXPECT_EQ(copy->GetLayerFromIndex(i)->GetCopiedFrom(), s->GetLayerFromIndex(i));
  }
  EXPECT_EQ(copy->GetSelectionMaskHandle(), s->GetSelectionMaskHandle());
  EXPECT_EQ(copy->GetCurrentLayer(), 2);
  EXPECT_EQ(copy->GetWindow(), s->GetWindow());
  copy->unref();
  EXPECT_EQ(Names(s), "A mA B");
}

}  // namespace
}  // namespace brenmark::testing
