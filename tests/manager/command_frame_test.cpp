// The command frame around layer commands: the exported functions, the
// blur/sharpen suspension, the undo switch and the records requested.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "manager/command_undo.h"
#include "manager/manager_fixture.h"

namespace brenmark::testing {
namespace {

void* const kNone = reinterpret_cast<void*>(-1);
void* const kCurrent = reinterpret_cast<void*>(-2);

void AddUnrecorded(int h) {
  Brenmark.AddLayer(nullptr, nullptr, false, true, false, h, false, 0, 0, -2, true);
}

using Kind = UndoRecordKind;

class CommandFrame : public EngineTest {
 protected:
  static int Requests(Kind k) { return CommandUndo::Requested(k); }
  static int Commits(Kind k) { return CommandUndo::Committed(k); }
};

TEST(UndoSwitch, OnlyTheValueOneDisablesUndoAndItIsReadOnce) {
  EXPECT_TRUE(UndoDisabledBy("1"));
  for (const char* v : {static_cast<const char*>(nullptr), "", "0", "11", "1 "})
    EXPECT_FALSE(UndoDisabledBy(v)) << (v ? v : "unset");
  {
    UndoSwitchScope scope("1");
    EXPECT_FALSE(UndoEnabled());
    setenv("SID_UNDO_DISABLE", "0", 1);
    EXPECT_FALSE(UndoEnabled());  // cached
  }
  UndoSwitchScope scope("yes");
  EXPECT_TRUE(UndoEnabled());
}

// Handles resolving to their layer are LayerStackRegistry.LayerHandles...'s.
TEST_F(CommandFrame, NewLayerGoesOnTopAndNotifiesTheApplication) {
  int h = NewStack();
  PntNewLayer(h, false);
  PntNewLayer(h, false);
  host_.ResetCounts();
  void* handle = PntNewLayer(h, false);
  EXPECT_EQ(handle, Brenmark.GetLayerHandle(3, h));
  EXPECT_EQ(Brenmark.GetCurrentLayer(h), 3);
  EXPECT_EQ(host_.CallCount(kCbLayersChanged), 1);
  // The undo record's copy of the stack takes the slot, then the layer comes.
  EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 2);
  EXPECT_EQ(PntNewLayer(9, false), kNone);
}

// Each command on a stack of `layers` image layers: the records it requests
// (structure, stroke, both) with undo on; with undo off, none.
TEST_F(CommandFrame, LayerCommandsRequestTheirUndoRecordsOnlyWithTheSwitchOn) {
  const struct {
    const char* name;
    int layers;
    void (*command)(int h);
    std::vector<int> records;
  } cases[] = {
      {"new layer", 0, [](int h) { PntNewLayer(h, false); }, {1, 0, 0}},
      {"new mask", 1, [](int h) { PntNewLayer(h, true); }, {1, 0, 0}},
      {"duplicate", 1, PntDuplicateCurrentLayer, {1, 0, 0}},
      {"delete", 2, PntDeleteCurrentLayer, {1, 0, 0}},
      {"clear", 1, PntClearCurrentLayer, {0, 1, 0}},
      {"merge all", 2, PntMergeAllLayers, {0, 0, 1}},
      {"merge visible", 2, PntMergeVisibleLayer, {0, 0, 1}},
      {"merge with below", 2, [](int) { PntMergeLayerWithBelow(kCurrent); }, {0, 0, 1}},
      // The last layer is cleared instead.
      {"delete the last", 1, PntDeleteCurrentLayer, {0, 1, 0}},
      {"add layer without recordUndo", 0, [](int h) { AddUnrecorded(h); }, {0, 0, 0}},
  };
  const auto counts = [](int (*of)(Kind)) {
    return std::vector<int>{of(Kind::kLayerStructure), of(Kind::kLayerStroke),
                            of(Kind::kStructureAndStroke)};
  };
  for (const char* undoOff : {static_cast<const char*>(nullptr), "1"}) {
    UndoSwitchScope scope(undoOff);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (undoOff ? ", undo off" : ""));
      const int h = NewStack();
      for (int i = 0; i < c.layers; ++i) PntNewLayer(h, false);
      std::vector<int> records = counts(Requests);
      c.command(h);
      for (int k = 0; k < 3; ++k) records[k] = counts(Requests)[k] - records[k];
      EXPECT_EQ(records, undoOff ? std::vector<int>(3, 0) : c.records);
      EXPECT_EQ(counts(Commits), counts(Requests));
      Brenmark.DeleteLayerStack(h);
    }
  }
}

TEST_F(CommandFrame, BlurAndSharpenBrushesAreSwitchedBackOnAfterACommand) {
  int h = NewStack();
  Brenmark.SetBlurBrush(true);
  PntNewLayer(h, false);
  PntDuplicateCurrentLayer(h);
  Brenmark.SetCurrentLayer(1, h);
  EXPECT_TRUE(Brenmark.isBlurBrush());
  EXPECT_FALSE(Brenmark.isSharpenBrush());
  Brenmark.SetSharpenBrush(true);
  EXPECT_FALSE(Brenmark.isBlurBrush());
  PntNewLayer(h, false);
  Brenmark.AddLayerStack(ViewerParms{});
  EXPECT_TRUE(Brenmark.isSharpenBrush());
  EXPECT_FALSE(Brenmark.isBlurBrush());
  Brenmark.SetSharpenBrush(false);
  EXPECT_FALSE(Brenmark.isSharpenBrush());
}

TEST_F(CommandFrame, CurrentLayerMoves) {
  int h = NewStack();
  void* a = PntNewLayer(h, false);
  void* b = PntNewLayer(h, false);
  EXPECT_EQ(PntDownLayer(), a);
  EXPECT_EQ(PntDownLayer(), a);  // clamped at the bottom
  EXPECT_EQ(PntUpLayer(), b);
  EXPECT_EQ(PntUpLayer(), Brenmark.GetSelectionMaskHandle(h));  // above the top: the selection
  EXPECT_TRUE(Brenmark.isSelectionMaskCurrent(h));
  Brenmark.SetCurrentLayer(2, h);
  Brenmark.MoveCurrentLayer(1);
  EXPECT_EQ(Brenmark.GetLayerHandle(1, h), b);
  EXPECT_EQ(Brenmark.GetLayerHandle(2, h), a);
  Brenmark.MoveCurrentlayer(1, 2);  // accepted, does nothing
  EXPECT_EQ(Brenmark.GetLayerHandle(1, h), b);
}

// An image layer merges past the masks of the one below into it, a mask into
// the mask below it; the bottom layer and the lowest mask of a run have
// nothing below to merge into.
TEST_F(CommandFrame, MergeWithBelowSkipsMasksAndDoesNothingAtTheBottom) {
  UndoSwitchScope scope(nullptr);
  int h = NewStack();
  void* a = PntNewLayer(h, false);
  void* m1 = PntNewLayer(h, true);
  void* m2 = PntNewLayer(h, true);
  void* b = PntNewLayer(h, false);
  const int combos = Requests(Kind::kStructureAndStroke);
  PntMergeLayerWithBelow(a);
  EXPECT_EQ(Brenmark.GetCurrentLayer(h), 1);  // the layer was made current
  PntMergeLayerWithBelow(m1);
  EXPECT_EQ(Brenmark.GetLayerCount(h), 4);
  EXPECT_EQ(Requests(Kind::kStructureAndStroke), combos);
  PntMergeLayerWithBelow(m2);
  EXPECT_EQ(Brenmark.GetLayerCount(h), 3);
  EXPECT_EQ(Brenmark.GetLayerHandle(2, h), m1);
  const int beforeB = Requests(Kind::kStructureAndStroke);
  PntMergeLayerWithBelow(b);
  EXPECT_EQ(Brenmark.GetLayerCount(h), 2);
  EXPECT_EQ(Brenmark.GetLayerHandle(1, h), a);
  EXPECT_EQ(Brenmark.GetLayerHandle(2, h), m1);
  EXPECT_EQ(Brenmark.GetCurrentLayer(h), 1);
  EXPECT_EQ(Requests(Kind::kStructureAndStroke), beforeB + 1);
}

// A missing stack answers null and -1; a shape layer counts as geometry only
// once it holds a shape.
TEST_F(CommandFrame, ForwardedAttributesReachTheStack) {
  int h = NewStack();
  PntNewLayer(h, false);
  Brenmark.SetCurrentLayerOpacity(0.5f);
  EXPECT_FLOAT_EQ(Brenmark.GetLayerOpacity(1, h), 0.5f);
  Brenmark.SetCurrentLayerActive(false);
  EXPECT_FALSE(Brenmark.isCurrentLayerActive());
  EXPECT_EQ(Brenmark.GetLayerName(1, 44), nullptr);
  EXPECT_EQ(Brenmark.GetCurrentLayer(44), -1);
  EXPECT_EQ(Brenmark.CreateShapeLayer(h, false), 2);
  EXPECT_FALSE(Brenmark.isGeometryLayer(2, h));  // no shapes yet
  Brenmark.AddShape(new Shape(static_cast<Layer*>(nullptr)), 0, 2, h);
  EXPECT_TRUE(Brenmark.isGeometryLayer(Brenmark.GetLayerHandle(2, h)));
}

TEST_F(CommandFrame, InitializationSetsTheScaleFilters) {
  PntInitializePaintManager();
  EXPECT_TRUE(Brenmark.IsInitialized());
  int magnify = 0, minify = 0;
  Brenmark.GetScaleFilter(magnify, minify);
  EXPECT_EQ(magnify, 1);
  EXPECT_EQ(minify, 1);
}

TEST_F(CommandFrame, DumpListsEveryStackOnlyForTheStructureSelector) {
  ViewerParms parms;
  parms.words[0] = 0x10u;
  int a = Brenmark.AddLayerStack(parms);
  PntNewLayer(a, false);
  Brenmark.SetLayerName("Base", 1, a);
  parms.words[0] = 0x20u;
  int b = Brenmark.AddLayerStack(parms);
  ASSERT_EQ(b, 1);
  host_.SetDebugSelector(0);
  ::testing::internal::CaptureStderr();
  Brenmark.debug();
  EXPECT_EQ(StopCapture(), "");
  host_.SetDebugSelector(8214);
  ::testing::internal::CaptureStderr();
  Brenmark.debug();
  EXPECT_EQ(StopCapture(),
            "========== PaintManager [begin] ==========\n"
            "===== LayerStack [0] =====\n"
            "\n<<<< LayerStack [begin] window[10] >>>>\n"
            "Layer[Base] active[1] isGeometry[0] numShape[0] topShape[0] bottomShape[0]\n"
            "\n<<<< LayerStack [end] >>>>\n"
            "===== LayerStack [1] =====\n"
            "\n<<<< LayerStack [begin] window[20] >>>>\n"
            "\n<<<< LayerStack [end] >>>>\n"
            "========== PaintManager [end] ===========\n");
}

}  // namespace
}  // namespace brenmark::testing
