// The tool's commands driven in-process against the engine: what each
// layer command does to the structure, the printed structure, undo and redo,
// saving and opening a canvas, and that a bad line is refused with its
// message and leaves every canvas unchanged.
#include <brenmark/undo_list.h>

#include <functional>

#include "tool_fixture.h"

using brenmark::tool::CommandRegistry;
using brenmark::tool::Session;
using brenmark::tool::test::FileBytes;

namespace {

class ToolCommands : public brenmark::tool::test::ToolTest {
 protected:
  // The current canvas in one line, bottom to top: names, with "~" before a
  // mask, "-" before a hidden layer, "*" before the current layer and the
  // opacity after a layer that is not opaque.
  static std::string Layers() {
    const int h = PntCurrentLayerStack();
    std::string out;
    for (int i = 1; i <= Brenmark.GetLayerCount(h); ++i) {
      if (!out.empty()) out += ' ';
      if (i == Brenmark.GetCurrentLayer(h)) out += '*';
      if (!Brenmark.isLayerActive(i, h)) out += '-';
      if (Brenmark.isLayerMask(i, h)) out += '~';
      out += Brenmark.GetLayerName(i, h);
      const float opacity = Brenmark.GetLayerOpacity(i, h);
      if (opacity != 1.0f) out += "(" + brenmark::tool::FormatNumber(opacity) + ")";
    }
    return out;
  }
  // The structure and a digest of every layer's pixels over a 300 x 200
  // canvas (a layer's stored extent may differ: a merge can grow the upper
  // layer's bounds with transparent pixels).
  std::string State() {
    std::string pixels;
    for (int i = 1; i <= Brenmark.GetLayerCount(PntCurrentLayerStack()); ++i) {
      for (const auto& p : EnginePixels(i, 0, 0, 300, 200)) {
        for (int v : p) pixels += static_cast<char>(v);
      }
    }
    return Printed() + std::to_string(std::hash<std::string>{}(pixels));
  }
  // Runs each step's lines, then checks the layers they leave.
  void Steps(const std::vector<std::pair<std::string, std::string>>& steps) {
    for (const auto& [lines, layers] : steps) {
      Run(lines);
      EXPECT_EQ(Layers(), layers) << lines;
    }
  }
};

TEST_F(ToolCommands, AddsAndNamesLayersAboveTheCurrentOne) {
  Steps({
      {"canvas 64 32\nadd-layer Paper\nadd-layer Sky\nadd-mask Fade", "Paper Sky *~Fade"},
      // A new image layer goes above the masks of the current layer.
      {"select-layer Sky\nadd-layer Clouds\nrename Clouds \"Big clouds\"",
       "Paper Sky ~Fade *Big clouds"},
      {"add-shape-layer Outline\nopacity 1 0.5\nhide-layer Sky",
       "Paper(0.5) -Sky ~Fade Big clouds *Outline"},
      {"show-layer Sky\nselect-layer bottom\nselect-above\nselect-above\nselect-below",
       "Paper(0.5) *Sky ~Fade Big clouds Outline"},
  });
}

TEST_F(ToolCommands, MovesImageLayersWithTheirMasksPastWholeGroups) {
  Steps({
      {"canvas\nadd-layer A\nadd-mask a1\nadd-mask a2\nadd-layer B\nadd-mask b1\nadd-layer C",
       "A ~a1 ~a2 B ~b1 *C"},
      {"lower-layer C", "A ~a1 ~a2 *C B ~b1"},
      {"raise-layer A", "C *A ~a1 ~a2 B ~b1"},
      {"move-layer A top", "C B ~b1 *A ~a1 ~a2"},
      {"move-layer A C", "*A ~a1 ~a2 C B ~b1"},
      {"move-layer C B", "A ~a1 ~a2 B ~b1 *C"},
      // A mask moves alone, within its run or over to another layer.
      {"raise-layer a1", "A ~a2 *~a1 B ~b1 C"},
      {"move-layer a1 b1", "A ~a2 B ~b1 *~a1 C"},
      // To a mask is to the mask's image layer.
      {"move-layer C a2", "*C A ~a2 B ~b1 ~a1"},
  });
}

TEST_F(ToolCommands, DuplicatesMergesAndDeletes) {
  Steps({
      {"canvas\nadd-layer Paper\nadd-layer Sky\nadd-mask Fade\nadd-layer Clouds\n"
       "opacity Clouds 0.25\nduplicate-layer Clouds",
       "Paper Sky ~Fade Clouds(0.25) *Clouds-1(0.25)"},
      // An image layer merges into the next image layer down, past its masks.
      {"merge-down Clouds", "Paper *Sky ~Fade Clouds-1(0.25)"},
      // A mask merges into the mask below it.
      {"add-mask Fade2\nmerge-down Fade", "Paper Sky *~Fade2 Clouds-1(0.25)"},
      {"delete-layer Sky", "*Paper Clouds-1(0.25)"},
      {"hide-layer 2\nadd-layer Ink\nmerge-visible", "*Paper -Clouds-1(0.25)"},
      {"merge-all", "*Paper"},
      {"delete-layer", "*Paper"},  // the last layer stays, emptied
  });
}

TEST_F(ToolCommands, WorksOnTheCurrentCanvas) {
  Run("canvas 10 10\nadd-layer First\ncanvas 20 20\nadd-layer Second\nuse-canvas 0\n"
      "add-layer Third\n");
  EXPECT_EQ(Layers(), "First *Third");
  Run("delete-canvas 0");
  EXPECT_EQ(Refused("add-layer"),
            "add-layer: there is no current canvas (choose one with 'use-canvas')");
  Run("use-canvas 1");
  EXPECT_EQ(Layers(), "*Second");
}

TEST_F(ToolCommands, PrintsTheStructureOfEveryCanvas) {
  EXPECT_EQ(Printed(), "no canvases\n");
  Run("canvas 64 32\nadd-mask Loose\nadd-layer Paper\nadd-layer \"Say \\\"hi\\\"\"\n"
      "add-mask\nadd-shape-layer Lines\nopacity Paper 0.125\nhide-layer 3\nselect-layer 4\n"
      "canvas 8 8\n");
  const int maskNumber = std::stoi(std::string(Brenmark.GetLayerName(4, 0)).substr(5));
  EXPECT_EQ(Printed(),
            "canvas 0: 64 x 32, 5 layers, bottom to top, * = current\n"
            "       #  kind   active  opacity  name\n"
            "       1  mask   yes        1.00  \"Loose\"\n"
            "       2  image  yes        0.12  \"Paper\"\n"
            "       3  image  no         1.00  \"Say \\\"hi\\\"\"\n"
            "  *    4  mask   yes        1.00    \"Mask-" +
                std::to_string(maskNumber) +
                "\" (mask of 3)\n"
                "       5  shape  yes        1.00  \"Lines\"\n"
                "     sel  mask   yes        1.00  \"Selection\" (selection mask)\n"
                "\n"
                "canvas 1 (current): 8 x 8, 0 layers, bottom to top, * = current\n"
                "       #  kind   active  opacity  name\n"
                "     sel  mask   yes        1.00  \"Selection\" (selection mask)\n");
}

TEST_F(ToolCommands, BadLinesAreRefusedAndChangeNothing) {
  Run("canvas 64 64\nadd-layer Paper\nadd-layer Sky\nadd-mask Fade\nadd-layer Clouds\n"
      "canvas 32 32\nuse-canvas 0\nselect-layer Sky\n");
  const std::string layers = Layers();
  // Generic argument checks are the command table's; these are the layer
  // commands' own limits and rules.
  ExpectRefused({
      {"rename 9 X", "rename: there is no layer 9 in canvas 0 (it has 4 layers)"},
      {"hide-layer 99999999999999999999",
       "hide-layer: there is no layer 9223372036854775807 in canvas 0 (it has 4 layers)"},
      {"select-layer Moon", "select-layer: there is no layer named \"Moon\" in canvas 0"},
      {"rename Paper Sky", "rename: layer 2 is already named \"Sky\""},
      {"add-layer Clouds", "add-layer: layer 4 is already named \"Clouds\""},
      {"add-layer " + std::string(128, 'n'),
       "add-layer: <name> is longer than 127 bytes (usage: add-layer [<name>])"},
      {"merge-down Paper", "merge-down: layer 1 has no image layer below it to merge with"},
      {"merge-down Fade",
       "merge-down: layer 3 is the lowest mask of its layer; a mask merges into the mask below "
       "it"},
      {"raise-layer Clouds", "raise-layer: layer 4 is already at the top"},
      {"lower-layer Paper", "lower-layer: layer 1 is already at the bottom"},
      {"raise-layer Fade", "raise-layer: layer 3 is already the top mask of its layer"},
      {"move-layer Fade bottom", "move-layer: a mask cannot be the bottom layer"},
      {"move-layer Sky Fade", "move-layer: layer 3 is a mask of layer 2, which it moves with"},
      {"use-canvas 7", "use-canvas: there is no canvas 7"},
      {"delete-canvas 511", "delete-canvas: there is no canvas 511"},
      {"print 512",
       "print: <canvas> must be between 0 and 511, got '512' (usage: print [<canvas>])"},
  });
  Run("select-layer top");
  EXPECT_EQ(Refused("select-above"), "select-above: layer 4 is the top layer");
  Run("select-layer bottom");
  EXPECT_EQ(Refused("select-below"), "select-below: layer 1 is the bottom layer");
  EXPECT_EQ(Layers(), "*Paper Sky ~Fade Clouds");
  EXPECT_NE(layers, Layers());  // only the selections above moved the current layer
}

TEST_F(ToolCommands, ExplainsMissingCanvasesAndLayers) {
  EXPECT_EQ(Refused("add-layer"), "add-layer: there is no canvas yet (create one with 'canvas')");
  Run("canvas");
  EXPECT_EQ(Refused("rename 1 X"), "rename: canvas 0 has no layers (add one with 'add-layer')");
  EXPECT_EQ(Refused("merge-all"), "merge-all: canvas 0 has no layers");
  EXPECT_EQ(Printed().substr(0, 59), "canvas 0 (current): 256 x 256, 0 layers, bottom to top, * =");
}

// The page store's error reports fail the command they came during; its
// other notices do not.
TEST_F(ToolCommands, StoreErrorsFailTheCommandTheyCameDuring) {
  const std::pair<const char*, std::string> cases[] = {
      {"SID: Warning: Exceeding Max coord range", ""},
      {"SID: SmartImage checking is enabled.", ""},
      {"SID: ERROR: Invalid ilSmartImage",
       "print: the page store failed (SID: ERROR: Invalid "
       "ilSmartImage)"},
      {"SID: Error: could not read a page from the swap file /tmp/SIDx (Input/output error)",
       "print: the page store could not read image data back from its swap file; results would "
       "be wrong"},
  };
  for (const auto& [message, problem] : cases) {
    brenmark::host::ReferenceHost::Trampolines().ShowMessage(message);
    std::ostringstream errors;
    brenmark::tool::ScriptRunner runner(registry, errors, nullptr);
    EXPECT_EQ(runner.RunLine("print"), problem) << message;
  }
  // Each report fails one command only.
  Run("print");
}

// Canvas sides, all canvases' pixels together (a small budget here) and the
// number of canvases are limited, each with its message.
TEST_F(ToolCommands, KeepsCanvasesWithinTheirLimits) {
  EXPECT_EQ(Refused("canvas 4097 1"),
            "canvas: <width> must be between 1 and 4096, got '4097' "
            "(usage: canvas [<width>=256] [<height>=256])");
  Session small(host, out, 1000);
  CommandRegistry limited;
  brenmark::tool::RegisterAllCommands(limited, small);
  Run("canvas 20 20\ncanvas 20 30\n", &limited);
  EXPECT_EQ(Refused("canvas 1 1", &limited),
            "canvas: the canvases would cover more than 1000 pixels at once (they cover 1000 "
            "now); delete one with 'delete-canvas' first");
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 2);
  Run("delete-canvas 0\ncanvas 10 40\n", &limited);
  std::string script;
  for (int i = 2; i < PaintManager::kMaxLayerStacks; ++i) script += "canvas 1 1\n";
  Run(script);
  EXPECT_EQ(Refused("canvas 1 1"), "canvas: all 512 canvases are in use");
  EXPECT_EQ(Brenmark.GetLayerStackCount(), PaintManager::kMaxLayerStacks);
}

// Each undo or redo step goes back or forward one recorded change exactly;
// running out warns on standard error and is no error.
TEST_F(ToolCommands, UndoStepsBackAndForthExactlyAndRunningOutOnlyWarns) {
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

#if BRENMARK_HAVE_OPENRASTER
// A canvas saved as an OpenRaster document comes back as a new canvas that
// shows the same picture; a document that cannot be read changes nothing.
// 130 x 129: one column and one row past the first page.
TEST_F(ToolCommands, SavedCanvasOpensAsTheSamePicture) {
  Run("canvas 130 129\nbackground #F4EBD9\nadd-layer Paper\nfill Paper 0 0 130 129 #20406080\n"
      "add-layer Ink\nfill Ink 120 120 10 9 #30609080\nadd-mask\nfill current 0 0 4 4 #FFFFFF\n"
      "offset Ink 3 -2\nselect-rect 100 100 30 29\nsave " +
      F("a.ora") + "\nopen " + F("a.ora") + "\nexport-canvas " + F("opened.png") +
      "\nuse-canvas 0\nexport-canvas " + F("saved.png") + "\n");
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 2);
  EXPECT_EQ(FileBytes(Path("opened.png")), FileBytes(Path("saved.png")));
  EXPECT_EQ(warnings.str(), "");
  const std::string missing = Path("missing.ora");
  EXPECT_EQ(Refused("open " + F("missing.ora")),
            "open: cannot open '" + missing + "': No such file or directory");
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 2);
}
#endif

}  // namespace
