// The transform commands: a committed rotation and scale against a
// reference image, previews that exports show and that cancelling (or
// another command) takes back, and refused lines.
#include "tools/tool_fixture.h"

namespace brenmark::tool::test {
namespace {

class TransformCommands : public ToolTest {
 protected:
  // An 18 x 12 picture of two colours (so that turns and mirrors show) on
  // a 64 x 48 canvas, and an empty layer.
  void Picture() {
    Run("canvas 64 48\nadd-layer L\nfill L 20 14 18 12 #FF0000\nfill L 20 14 6 4 #0000FF\n"
        "add-layer Empty\nselect-layer L\n");
  }
  // A layer's pixels over a canvas rectangle.
  static Pixels CanvasPixels(int index, int x, int y, int nx, int ny) {
    int ox = 0, oy = 0;
    Brenmark.GetCurrentLayerOffset(ox, oy, index, PntCurrentLayerStack());
    return EnginePixels(index, x - ox, y - oy, nx, ny);
  }
};

TEST_F(TransformCommands, CommittedPreviewMatchesTheReferenceImage) {
  Picture();
  Run("transform L scale 1.5 rotate 30 preview\ncommit-transform\nexport-canvas " + F("t.png") +
      "\n");
  EXPECT_TRUE(MatchesGoldenFile("t.png", "transform_scale15_rotate30"));
  EXPECT_FALSE(Brenmark.InProxy(-2));
  // The same transform at once gives the same layer.
  const std::string committed = AllPixels();
  Picture();  // a second canvas, made current
  Run("transform L rotate 30 scale 1.5\n");
  EXPECT_EQ(AllPixels(), committed);
}

// A preview shows in the engine (and so in exports) until it is cancelled,
// ended by another command or replaced; each puts the layer back, moves
// included. A move alone copies the pixels exactly.
TEST_F(TransformCommands, PreviewsAreTakenBackUnlessCommitted) {
  Picture();
  const Pixels before = CanvasPixels(1, 19, 13, 20, 14);
  for (const char* end :
       {"cancel-transform", "add-layer X", "transform L move 1 1 preview\ncancel-transform"}) {
    SCOPED_TRACE(end);
    Run("transform L move 7 -3 scale 2 preview\n");
    EXPECT_TRUE(Brenmark.InProxy(-2));
    EXPECT_NE(CanvasPixels(1, 19, 13, 20, 14), before);
    Run(std::string(end) + "\n");
    EXPECT_FALSE(Brenmark.InProxy(-2));
    EXPECT_EQ(Bounds(1), (std::vector<int>{20, 14, 18, 12}));
    EXPECT_EQ(CanvasPixels(1, 19, 13, 20, 14), before);
  }
  Run("transform L move 7 -3\n");
  EXPECT_EQ(Bounds(1), (std::vector<int>{27, 11, 18, 12}));
  EXPECT_EQ(CanvasPixels(1, 26, 10, 20, 14), before);
}

TEST_F(TransformCommands, RefusedLinesChangeNothing) {
  Run("canvas 200 100\nadd-layer L\nfill L 0 0 200 100 #FF0000\nadd-layer Empty\n");
  const std::string scale = "transform: scale needs a factor above 0 and at most 100";
  const std::string move = "transform: move needs <dx> <dy>: whole pixels within 1000000";
  const std::string none = "transform: give at least one of move, scale and rotate";
  ExpectRefused({
      {"transform L", none},
      {"transform L filter bicubic", none},
      {"transform L scale 0", scale},
      {"transform L scale 2 -1", scale},
      {"transform L scale nan", scale},
      {"transform L move 1.5 2", move},
      {"transform L move 1", move},
      {"transform L rotate 1e9", "transform: rotate needs degrees between -3600 and 3600"},
      {"transform L scale 2 filter cubic",
       "transform: filter must be nearest, bilinear or bicubic, got 'cubic'"},
      {"transform L twist 3",
       "transform: unknown step 'twist'; steps are move, scale, rotate, filter and preview"},
      {"transform L scale 2 scale 3", "transform: 'scale' is given twice"},
      {"transform L scale 100 100",
       "transform: layer 1 would grow to about 30800 pixels across; at most 16384"},
      {"transform Empty scale 2", "transform: layer 2 holds no pixels to transform"},
      {"commit-transform", "commit-transform: no transform preview is running on canvas 0"},
      {"cancel-transform", "cancel-transform: no transform preview is running on canvas 0"},
  });
}

}  // namespace
}  // namespace brenmark::tool::test
