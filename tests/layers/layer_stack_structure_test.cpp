// Layer stack structure: lookups, naming, mask grouping, delete, move,
// duplicate, merge and the current layer.
#include <functional>
#include <sstream>
#include <string>
#include <tuple>

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
  // A stack holding the named layers bottom to top (space-separated); names
  // starting with 'm' are masks.
  LayerStack* Build(const std::string& names) {
    NewStack();
    LayerStack* s = Stack();
    std::istringstream in(names);
    for (std::string n; in >> n;) Add(s, n.c_str(), n[0] == 'm');
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

TEST_F(LayerStackStructure, NamesNumberEveryLayerAndTheSelectionFromOneCounter) {
  NewStack();
  LayerStack* s = Stack();
  std::intptr_t selection = Id(s->GetSelectionMaskHandle());
  EXPECT_EQ(selection, Layer::LastLayerID());
  PntNewLayer(-2, false);
  PntNewLayer(-2, false);
  PntNewLayer(-2, true);
  s = Stack();  // each recorded command left a copy of the stack in the slot
  EXPECT_EQ(Names(s), Name("Layer", selection + 1) + " " + Name("Layer", selection + 2) + " " +
                          Name("Mask", selection + 3));
  EXPECT_EQ(Id(s->GetLayerHandle(3)), selection + 3);
}

// Masks take the stack's default display colour and opacity; a missing
// layer answers half-transparent dark red at half opacity.
TEST_F(LayerStackStructure, MaskDisplayDefaultsAndMissingLayers) {
  LayerStack* s = Build("A mA");
  Layer* mask = s->GetLayerFromIndex(2);
  EXPECT_EQ(mask->GetMaskColor(), PaintColor(1.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(mask->GetMaskDisplayOpacity(), 0.5f);
  EXPECT_EQ(s->GetSelectionMask()->GetMaskColor(), PaintColor(0.7245f, 0.4274f, 0.396f, 1.0f));
  EXPECT_EQ(s->GetMaskLayerDisplayColor(99), PaintColor(0.5f, 0.0f, 0.0f, 0.5f));
  EXPECT_EQ(s->GetMaskLayerDisplayOpacity(99), 0.5f);
  s->SetMaskDefaultDisplayOpacity(0.25f);
  EXPECT_EQ(s->GetMaskLayerDisplayOpacity(2), 0.25f);
  EXPECT_EQ(s->GetMaskLayerDisplayOpacity(1), 0.5f);  // not a mask
}

// Edits of a stack built from names (bottom to top; 'm' names are masks),
// each from a fresh stack whose current layer is the last one added: the
// order and the current layer afterwards. Image layers keep their masks.
TEST_F(LayerStackStructure, EditsKeepEveryImageLayerWithItsMasks) {
  using Edit = std::function<void(LayerStack*)>;
  const struct {
    const char *layers, *order, *current;
    int first;  // made current before the edit; 0: the last one added stays
    Edit edit;
  } cases[] = {
      // A new image layer goes above the masks of the current one; a new
      // mask directly above its image layer; over the selection, on top.
      {"A mA1 mA2 B", "A mA1 mA2 C B", "C", 1, [&](LayerStack* s) { Add(s, "C"); }},
      {"A mA1 mA2 B", "A mA0 mA1 mA2 B", "mA0", 1, [&](LayerStack* s) { Add(s, "mA0", true); }},
      {"A B", "A B C", "C", 0, [&](LayerStack* s) { s->SetSelectionMaskCurrent(), Add(s, "C"); }},
      // Deleting a mask leaves its image layer current; deleting an image
      // layer deletes its masks; the bottom layer hands currency upward;
      // unknown handles and the selection are not deleted.
      {"A B mB1 mB2 C", "A B mB2 C", "B", 3,
       [&](LayerStack* s) { s->DeleteCurrentLayer(kCurrent, true); }},
      {"A B mB1 mB2 C", "A C", "C", 0,
       [&](LayerStack* s) {
         s->DeleteCurrentLayer(s->GetLayerHandle(2), false);
         EXPECT_TRUE(s->IsRedrawPending());
       }},
      {"A B", "B", "B", 1, [&](LayerStack* s) { s->DeleteCurrentLayer(kCurrent, true); }},
      {"A B", "A B", "B", 0,
       [&](LayerStack* s) {
         s->DeleteCurrentLayer(kNone, true);
         s->DeleteCurrentLayer(s->GetSelectionMaskHandle(), true);
       }},
      // Moving: clamped to the ends, never a mask to the bottom, a group
      // below the indexed layer, not below its own mask, not the selection.
      {"A B C", "C A B", "C", 0, [](LayerStack* s) { s->MoveCurrentLayer(0); }},
      {"A B C", "B A C", "B", 2, [&](LayerStack* s) { s->MoveCurrentLayer(1); }},
      {"A B mB", "A mB B", "mB", 0, [](LayerStack* s) { s->MoveCurrentLayer(1); }},
      {"A mA B C", "B A mA C", "A", 1, [&](LayerStack* s) { s->MoveCurrentLayer(4); }},
      {"A mA B C", "B C A mA", "A", 1, [&](LayerStack* s) { s->MoveCurrentLayer(99); }},
      {"B C A mA", "B C A mA", "A", 3, [&](LayerStack* s) { s->MoveCurrentLayer(4); }},
      {"A B", "A B", "Selection", 0,
       [](LayerStack* s) { s->SetSelectionMaskCurrent(), s->MoveCurrentLayer(1); }},
      // Duplicate names count up until unique.
      {"Layer-3", "Layer-3 Layer-3-2 Layer-3-1 Layer-3-1-1", "Layer-3-1-1", 0,
       [&](LayerStack* s) {
         s->DuplicateCurrentLayer(true);
         s->SetCurrentLayer(1, true), s->DuplicateCurrentLayer(true);
         s->SetCurrentLayer(3, true), s->DuplicateCurrentLayer(true);
       }},
      // Merging removes the upper layer with its masks (bad handles do
      // nothing), keeps only the base, or keeps hidden layers and masks.
      {"A B mB C", "A C", "A", 0,
       [&](LayerStack* s) {
         host_.ResetCounts();
         s->MergeLayers(s->GetLayerHandle(2), s->GetLayerHandle(1), true);
         EXPECT_EQ(host_.CallCount(kCbLayersChanged), 1);
         EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 1);
         s->MergeLayers(kNone, s->GetLayerHandle(1), true);
         s->MergeLayers(s->GetLayerHandle(1), s->GetLayerHandle(1), true);
         s->MergeLayers(s->GetSelectionMaskHandle(), s->GetLayerHandle(1), true);
       }},
      {"A mA B C", "A", "A", 0, [](LayerStack* s) { s->MergeAllLayers(false); }},
      {"A B mB C D", "A B mB C", "B", 0,
       [](LayerStack* s) {
         s->SetLayerActive(1, false);
         s->SetLayerActive(4, false);
         s->MergeAllLayers(true);
       }},
      {"A B", "A B", "B", 0,
       [](LayerStack* s) {
         s->SetAllLayerActive(false);
         s->SetLayerActive(2, false);  // the current layer was kept active
         s->MergeAllLayers(true);
       }},
      {"A mA B mB1 mB2", "A B", "A", 0, [](LayerStack* s) { s->DeleteAllMasks(); }},
  };
  for (const auto& c : cases) {
    LayerStack* s = Build(c.layers);
    if (c.first) s->SetCurrentLayer(c.first, true);
    SCOPED_TRACE(::testing::Message() << "from " << Names(s) << " to " << c.order);
    c.edit(s);
    EXPECT_EQ((std::tuple{Names(s), Current(s)}), (std::tuple{c.order, c.current}));
  }
}

TEST_F(LayerStackStructure, MoveToAnotherStackCarriesTheMasksAndRefillsAnEmptySource) {
  LayerStack* target = Build("X Y");
  LayerStack* source = Build("A mA");
  source->SetCurrentLayer(1, true);
  ::testing::internal::CaptureStderr();
  source->MoveCurrentlayer(target, 2);
  EXPECT_EQ(StopCapture(), "moving a layer to a new stack\n");
  EXPECT_EQ(Names(target), "X A mA Y");
  EXPECT_EQ((std::tuple{target->GetCurrentLayer(), source->GetLayerCount()}), (std::tuple{3, 1}));
  EXPECT_EQ(source->GetCurrentLayer(), 1);
  EXPECT_FALSE(source->isLayerMask(1));

  ::testing::internal::CaptureStderr();
  target->MoveCurrentlayer(nullptr, 1);  // a null target moves within the stack
  EXPECT_EQ(StopCapture(), "moving a layer to a new stack\n");
  EXPECT_EQ(Names(target), "X mA A Y");
  // A mask moved to the bottom of another stack survives DeleteAllMasks.
  target->SetCurrentLayer(2, true);
  target->MoveCurrentlayer(Build("Z"), 1);
  LayerStack* z = Stack();
  EXPECT_EQ(Names(z), "mA Z");
  z->DeleteAllMasks();
  EXPECT_EQ(Names(z), "mA Z");
}

TEST_F(LayerStackStructure, SetCurrentLayerClampsToTheSelectionMask) {
  LayerStack* s = Build("A B");
  s->SetCurrentLayer(s->GetLayerCount() + 5, true);
  EXPECT_TRUE(s->isSelectionMaskCurrent());
  EXPECT_EQ((std::tuple{s->GetCurrentLayer(), s->GetLayerIndex(kCurrent)}), (std::tuple{3, -1}));
  EXPECT_EQ(s->GetLayerIndex(s->GetSelectionMaskHandle()), 3);
  EXPECT_EQ(s->GetLayerFromHandle(kCurrent), s->GetSelectionMask());
  s->SetCurrentLayer(-7, true);
  EXPECT_EQ((std::tuple{s->GetCurrentLayer(), s->GetLayerIndex(kCurrent)}), (std::tuple{1, 1}));
  EXPECT_EQ(s->GetLayerIndex(kNone), -1);
  // A pending index is reported until the switch; the current one is not pending.
  s = Build("A B C");
  s->PrepareToSetCurrentLayer(1);
  EXPECT_EQ(s->GetCurrentLayer(), 1);
  EXPECT_EQ(Current(s), "C");
  s->PrepareToSetCurrentLayer(3);
  EXPECT_EQ(s->GetCurrentLayer(), 1);
  s->SetCurrentLayer(2, true);
  EXPECT_EQ(s->GetCurrentLayer(), 2);
}

TEST_F(LayerStackStructure, ActivityForAllLayersOrTheCurrentLayersMasks) {
  LayerStack* s = Build("A B C");
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
  // Showing only the current layer's masks.
  s = Build("A mA B mB");
  s->SetCurrentLayer(3, true);
  s->SetCurrentMasksActive();
  EXPECT_FALSE(s->isLayerActive(2));
  EXPECT_TRUE(s->isLayerActive(4));
  EXPECT_TRUE(s->isLayerActive(1));
}

TEST_F(LayerStackStructure, DuplicateCopiesAttributesAndKeepsAMaskWithItsOwner) {
  LayerStack* s = Build("A mA B");
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
  LayerStack* s = Build("A");
  std::string longName(127, 'x');
  s->SetLayerName(longName.c_str(), 1);
  s->DuplicateCurrentLayer(true);
  s->SetCurrentLayer(1, true);
  s->DuplicateCurrentLayer(true);
  EXPECT_EQ(std::string(s->GetLayerName(2)), std::string(125, 'x') + "-2");
  EXPECT_EQ(std::string(s->GetLayerName(3)), std::string(125, 'x') + "-1");
}

TEST_F(LayerStackStructure, CopiedStackKeepsHandlesNamesOrderAndCurrentIndex) {
  LayerStack* s = Build("A mA B");
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
