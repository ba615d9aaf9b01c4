// A stroke interrupted by a command: structural and recorded commands end
// the running stroke first, so its dabs stay in the layer it began on, its
// record comes before the command's, and the later stroke calls do nothing.
#include <functional>

#include "manager/manager_fixture.h"

namespace brenmark::testing {
namespace {

using StrokeInterruption = StrokeTest;

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
    Line(10, 10, 40, false);
    const int before = PaintUndoList.Count();
    c.command();
    EXPECT_FALSE(Brenmark.InBrushStroke());
    // The stroke's record, then the command's.
    EXPECT_EQ(PaintUndoList.Count(), before + 2);
    EXPECT_EQ(Pixel(25, 10, painted) >> 24, c.alphaAfter);
    // What follows belongs to no stroke and changes nothing.
    Brenmark.AddStrokePoint(40, 30, 4, 1, 1, 0, false, false);
    Brenmark.EndBrushStroke();
    EXPECT_EQ(Pixel(40, 30, painted) >> 24, 0);
    EXPECT_EQ(PaintUndoList.Count(), before + 2);
    EXPECT_EQ(Stack()->GetLayerCount(), c.layersAfter);
    Resource::unref(painted);
    // Undoing the command, then the stroke, leaves the layer as it was
    // before the stroke.
    ASSERT_TRUE(PaintUndoList.Undo());
    ASSERT_TRUE(PaintUndoList.Undo());
    EXPECT_EQ(Stack()->GetLayerCount(), 2);
    EXPECT_EQ(Pixel(25, 10, Stack()->GetLayerFromIndex(2)) >> 24, 0);
  }
}

}  // namespace
}  // namespace brenmark::testing
