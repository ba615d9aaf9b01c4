// The tool's undo and redo: each step goes back or forward one recorded
// change exactly; running out warns on standard error and is no error.
#include <brenmark/undo_list.h>

#include <functional>

#include "tool_fixture.h"

namespace {

class UndoCommands : public brenmark::tool::test::ToolTest {
 protected:
  // The structure and a digest of every layer's pixels over the canvas (a
  // layer's stored extent may differ: a merge can grow the upper layer's
  // bounds with transparent pixels).
  std::string State() {
    std::string pixels;
    for (int i = 1; i <= Brenmark.GetLayerCount(PntCurrentLayerStack()); ++i) {
      for (const auto& p : EnginePixels(i, 0, 0, 300, 200)) {
        for (int v : p) pixels += static_cast<char>(v);
      }
    }
    return Printed() + std::to_string(std::hash<std::string>{}(pixels));
  }
};

TEST_F(UndoCommands, StepsBackAndForthExactlyAndRunningOutOnlyWarns) {
  PaintUndoList.FlushUndoList(nullptr);
  Run("canvas 300 200\nadd-layer A\nfill A 0 0 300 200 #204060\nadd-layer B\n"
      "fill B 120 100 140 90 #FF000080\n");
  const std::string beforeMerge = State();
  Run("merge-down B\n");
  const std::string merged = State();
  ASSERT_NE(merged, beforeMerge);
  Run("undo\n");
  EXPECT_EQ(State(), beforeMerge);
  Run("redo\n");
  EXPECT_EQ(State(), merged);
  EXPECT_EQ(warnings.str(), "");

  Run("undo 10\n");  // merge, B, A: then nothing is left
  EXPECT_EQ(Brenmark.GetLayerCount(PntCurrentLayerStack()), 0);
  EXPECT_EQ(warnings.str(), "warning: You cannot undo any more actions.\n");
  warnings.str("");
  Run("redo 3\n");
  EXPECT_EQ(State(), merged);
  Run("redo\n");
  EXPECT_EQ(warnings.str(), "warning: You cannot redo any more actions.\n");
  EXPECT_NE(Refused("undo 11"), "");
}

}  // namespace
