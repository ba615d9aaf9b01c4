// A stroke interrupted by a command: structural and recorded commands end
// the running stroke first, so its dabs stay in the layer it began on, its
// record comes before the command's, and the later stroke calls do nothing.
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "layers/engine_fixture.h"
#include "manager/undo_switch.h"

namespace brenmark::testing {
namespace {

class StrokeInterruption : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    setenv("SID_UNDO_DISABLE", "0", 1);
    RereadUndoSwitch();
    PaintUndoList.FlushUndoList(nullptr);
    NewStack();
    StrokeParameters straight;
    straight.interpolation = 0;
    Brenmark.SetStrokeParameters(straight);
    BrushParameters b;
    b.color = PaintColor(0.0f, 0.0f, 1.0f, 1.0f);
    b.radius1 = b.radius2 = 4.0f;
    Brenmark.SetBrushParameters(b, true);
  }
  void TearDown() override {
    EngineTest::TearDown();
    PaintUndoList.FlushUndoList(nullptr);
  }
  static std::uint8_t Alpha(Layer* layer, int x, int y) {
    std::uint8_t px[4] = {};
    layer->GetImage()->getTile(x, y, 1, 1, px);
    return px[3];
  }
};

TEST_F(StrokeInterruption, CommandsEndTheRunningStrokeAndRecordAfterIt) {
  struct Case {
    const char* name;
    std::function<void()> command;
    int layersAfter;
    int alphaAfter;  // at the stroke's middle, in the layer it began on
  };
  const Case cases[] = {
      {"delete", [] { Brenmark.DeleteCurrentLayer(-2); }, 1, 255},
      {"merge down", [] { Brenmark.MergeLayerWithBelow(reinterpret_cast<void*>(-2)); }, 1, 255},
      {"duplicate", [] { Brenmark.DuplicateCurrentLayer(false, -2); }, 3, 255},
      {"move", [] { Brenmark.MoveCurrentLayer(1); }, 2, 255},
      {"clear", [] { Brenmark.ClearCurrentLayer(-2); }, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaintUndoList.FlushUndoList(nullptr);
    Brenmark.DeleteLayerStack(-2);
    NewStack();
    PntNewLayer(-2, false);
    PntNewLayer(-2, false);
    Layer* painted = Stack()->GetCurrentLayerPtr();
    Resource::ref(painted);
    Brenmark.BeginBrushStroke();
    Brenmark.AddStrokePoint(10, 10, 4, 1, 1, 0, false, false);
    Brenmark.AddStrokePoint(40, 10, 4, 1, 1, 0, false, false);
    const int before = PaintUndoList.Count();
    c.command();
    EXPECT_FALSE(Brenmark.InBrushStroke());
    // The stroke's record, then the command's.
    EXPECT_EQ(PaintUndoList.Count(), before + 2);
    EXPECT_EQ(Alpha(painted, 25, 10), c.alphaAfter);
    // What follows belongs to no stroke and changes nothing.
    Brenmark.AddStrokePoint(40, 30, 4, 1, 1, 0, false, false);
    Brenmark.EndBrushStroke();
    EXPECT_EQ(Alpha(painted, 40, 30), 0);
    EXPECT_EQ(PaintUndoList.Count(), before + 2);
    EXPECT_EQ(Stack()->GetLayerCount(), c.layersAfter);
    Resource::unref(painted);
    // Undoing the command, then the stroke, leaves the layer as it was
    // before the stroke.
    ASSERT_TRUE(PaintUndoList.Undo());
    ASSERT_TRUE(PaintUndoList.Undo());
    EXPECT_EQ(Stack()->GetLayerCount(), 2);
    EXPECT_EQ(Alpha(Stack()->GetLayerFromIndex(2), 25, 10), 0);
  }
}

}  // namespace
}  // namespace brenmark::testing
