// The selection commands, driven in-process: what each selection clears,
// the exported overlay and ants against reference images, and the refused
// lines, which change nothing.
#include "tool_fixture.h"

using namespace brenmark::tool::test;

namespace {

using SelectionCommands = ToolTest;

// A 6 x 4 canvas painted red; each script then selects and clears. The
// expected rows are top first: 'r' red, '.' cleared.
TEST_F(SelectionCommands, ClearSelectedActsWhereTheSelectionIsOpen) {
  struct Case {
    std::string select;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {"select-rect 1 1 2 2", {"rrrrrr", "r..rrr", "r..rrr", "rrrrrr"}},
      {"select-rect 1 1 2 2\nselect-add-rect 4 0 9 1", {"rrrrrr", "r..rrr", "r..rrr", "rrrr.."}},
      {"select-all\nselect-subtract-rect 0 0 5 4", {"rrrrr.", "rrrrr.", "rrrrr.", "rrrrr."}},
      {"select-none", {"rrrrrr", "rrrrrr", "rrrrrr", "rrrrrr"}},
      {"select-rect 1 1 2 2\nselect-invert", {"......", ".rr...", ".rr...", "......"}},
      {"select-all", {"......", "......", "......", "......"}},
      {"select-rect 1 1 2 2\nundo", {"......", "......", "......", "......"}},
      {"add-mask M\nfill M 5 3 1 1 #FFFFFF\nselect-none\nselect-add-layer M\nselect-layer Paper",
       {"rrrrr.", "rrrrrr", "rrrrrr", "rrrrrr"}},
      {"select-from-png " + F("sel.png") + " 2 1", {"rrrrrr", "rr.rrr", "rrr.rr", "rrrrrr"}},
  };
  // White selects: a 2 x 2 grey PNG with white on its diagonal, top row first.
  WritePng("sel.png", Png(2, 2, 0, 8, {255, 0, 0, 255}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.select);
    Run("canvas 6 4\nadd-layer Paper\nfill Paper 0 0 6 4 #FF0000\n" + c.select +
        "\nclear-selected");
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(EnginePixel(1, x, 3 - y), c.rows[y][x] == 'r' ? kRed : kClear) << x << "," << y;
  }
}

TEST_F(SelectionCommands, ExportedOverlayAndAntsMatchTheirReferences) {
  Run("canvas 40 24\nadd-layer Paper\nfill Paper 0 0 40 24 #3060C0\nfill Paper 20 0 20 24 "
      "#F0E0A0\nselect-rect 4 3 14 10\nselect-add-rect 12 8 20 12\n"
      "export-selection " +
      F("overlay.png") + "\nexport-selection " + F("ants.png") + " ants");
  EXPECT_TRUE(MatchesGoldenFile("overlay.png", "selection_overlay"));
  EXPECT_TRUE(MatchesGoldenFile("ants.png", "selection_ants"));
  // The ants export leaves the canvas's display style as it was.
  EXPECT_EQ(Brenmark.GetLayerStack(PntCurrentLayerStack())->GetSelectionMaskDrawStyle(),
            kSMDrawTinted);
}

TEST_F(SelectionCommands, RefusedLinesSayWhyAndChangeNothing) {
  EXPECT_EQ(Refused("select-all"), "select-all: there is no canvas yet (create one with 'canvas')");
  Run("canvas 32 24\nadd-layer Paper\nfill Paper 0 0 4 4 #FF0000\nadd-shape-layer Lines\n"
      "select-rect 1 1 2 2");
  ExpectRefused({
      {"select-rect 100 100 5 5",
       "select-rect: the rectangle (100,100 5x5) lies outside canvas 0 (32 x 24)"},
      {"select-add-rect -9 0 5 5",
       "select-add-rect: the rectangle (-9,0 5x5) lies outside canvas 0 (32 x 24)"},
      {"select-subtract-rect 0 0 0 5",
       "select-subtract-rect: <width> must be between 1 and 1e+06, got '0' (usage: "
       "select-subtract-rect <x> <y> <width> <height>)"},
      {"select-add-layer Paper", "select-add-layer: layer 1 is not a mask"},
      {"select-subtract-layer Sky",
       "select-subtract-layer: there is no layer named \"Sky\" in canvas 0"},
      {"clear-selected",
       "clear-selected: layer 2 is a shape layer; its pixels are drawn from its shapes"},
      {"export-selection " + F("x.png") + " marching",
       "export-selection: <style> must be overlay or ants, got 'marching' (usage: "
       "export-selection <file> [<style>=overlay])"},
  });
  const std::string missing = Refused("select-from-png " + F("none.png"));
  EXPECT_EQ(missing.rfind("select-from-png: ", 0), 0u) << missing;
  EXPECT_NE(missing.find("none.png"), std::string::npos) << missing;
  EXPECT_FALSE(std::filesystem::exists(Path("x.png")));
  // The selection is still the rectangle.
  bool empty = true;
  ilTile open;
  Brenmark.GetSelectionMaskBnd(empty, open, PntCurrentLayerStack());
  EXPECT_EQ(open, ilTile(1, 1, 0, 2, 2, 1));
}

}  // namespace
