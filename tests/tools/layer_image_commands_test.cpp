// The commands on what layers show, driven in-process against the engine:
// mask inversion and switching, the stencil commands, moving a layer by an
// offset, the canvas background and the composite export, checked by exact
// pixels of the files the tool writes (decoded independently) and of the
// engine's own images.
#include <brenmark/paint_color.h>

#include "tool_fixture.h"

namespace fs = std::filesystem;
using namespace brenmark::tool::test;

namespace {

using LayerImageCommands = ToolTest;

TEST_F(LayerImageCommands, InvertMaskTurnsEachValueIntoItsComplement) {
  Run("canvas 4 4\nadd-layer Paper\nadd-mask Fade\nfill Fade 0 0 4 4 200,200,200\n"
      "invert-mask Fade\nexport Fade " +
      F("fade.png"));
  EXPECT_EQ(FilePixels("fade.png", 4, 4), Repeat({55}, 16));
  // The current layer is the default, and inverting twice gives the mask back.
  Run("invert-mask");
  EXPECT_EQ(EnginePixels(2, 0, 0, 4, 4), Repeat({200}, 16));
}

TEST_F(LayerImageCommands, MaskActiveSwitchesTheProtectionOfTheCurrentLayer) {
  Run("canvas 2 2\nadd-layer Paper\nfill Paper 0 0 2 2 #FF0000\nadd-mask Fade\n"
      "fill Fade 0 0 2 2 #FFFFFF\nselect-layer Paper\nexport-composite Paper " +
      F("on.png") + " x=0 y=0 width=2 height=2");
  const int h = PntCurrentLayerStack();
  EXPECT_TRUE(Brenmark.isMaskActive(2, h));
  EXPECT_EQ(FilePixels("on.png", 2, 2), Repeat(kClear, 4));

  Run("mask-active Fade off\nexport-composite Paper " + F("off.png") + " x=0 y=0 width=2 height=2");
  EXPECT_FALSE(Brenmark.isMaskActive(2, h));
  EXPECT_EQ(FilePixels("off.png", 2, 2), Repeat(kRed, 4));
  Run("mask-active 2 on");
  EXPECT_TRUE(Brenmark.isMaskActive(2, h));
  EXPECT_FALSE(Brenmark.isMaskActive(7, h));    // no such layer
  EXPECT_FALSE(Brenmark.isMaskActive(2, 300));  // no such canvas
}

TEST_F(LayerImageCommands, StencilHidesShowsAndErasesPaint) {
  Run("canvas 4 2\nadd-layer Paper\nfill Paper 0 0 4 2 #FF0000\nhide-paint Paper\n"
      "export-composite Paper " +
      F("hidden.png") + " x=0 y=0 width=4 height=2");
  EXPECT_EQ(FilePixels("hidden.png", 4, 2), Repeat(kClear, 8));
  // The pixels are kept behind the stencil.
  EXPECT_EQ(EnginePixels(1, 0, 0, 4, 2), Repeat(kRed, 8));
  Run("show-paint Paper\nexport-composite Paper " + F("shown.png"));
  EXPECT_EQ(FilePixels("shown.png", 4, 2), Repeat(kRed, 8));

  // Erasing what the stencil hides empties a hidden layer for good.
  Run("hide-paint\nerase-hidden-paint\nshow-paint");
  EXPECT_EQ(EnginePixels(1, 0, 0, 4, 2), Repeat(kClear, 8));
  EXPECT_EQ(Refused("export-composite Paper " + F("none.png")),
            "export-composite: layer 1 shows no pixels; give a rectangle to export");
  EXPECT_FALSE(fs::exists(Path("none.png")));
}

TEST_F(LayerImageCommands, OffsetMovesTheCompositeAndWarnsOfAClampedOffset) {
  Run("canvas 6 4\nadd-layer Paper\nfill Paper 0 0 2 1 #FF0000\noffset Paper 3 2\n"
      "export-composite Paper " +
      F("moved.png") + " x=0 y=0 width=6 height=4\nexport-composite Paper " + F("own.png"));
  const int h = PntCurrentLayerStack();
  int x = 0, y = 0;
  Brenmark.GetCurrentLayerOffset(x, y, 1, h);
  EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{3, 2}));
  Pixels expected = Repeat(kClear, 24);
  expected[1 * 6 + 3] = kRed;  // canvas (3, 2): the file's second row from the top
  expected[1 * 6 + 4] = kRed;
  EXPECT_EQ(FilePixels("moved.png", 6, 4), expected);
  // Without a rectangle the file is what the layer shows, wherever it is.
  EXPECT_EQ(FilePixels("own.png", 2, 1), Repeat(kRed, 2));
  EXPECT_EQ(warnings.str(), "");

  // The engine keeps the layer within one canvas size of the canvas, and
  // the tool warns on the diagnostics stream, never among the results.
  session.SetLocation("paint.bms:7");
  Run("offset Paper 1000 -1");
  Brenmark.GetCurrentLayerOffset(x, y, 1, h);
  EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{12, 1}));
  EXPECT_EQ(warnings.str(),
            "paint.bms:7: warning: layer 1 was kept near the canvas: its offset is 12,1\n");
  EXPECT_EQ(out.str(), "");
}

TEST_F(LayerImageCommands, BackgroundIsSetAndShowsUnderTheComposite) {
  Run("canvas 2 2\nadd-layer Paper\nfill Paper 0 0 1 2 255,0,0,128\nexport-composite Paper " +
      F("white.png") +
      " yes x=0 y=0 width=2 height=2\nbackground 0,0,255,128\nexport-composite Paper " +
      F("blue.png") + " yes x=0 y=0 width=2 height=2");
  unsigned packed = 0;
  Brenmark.GetBackgroundColor(PntCurrentLayerStack()).Get(packed);
  EXPECT_EQ(packed, 0x80800000u);  // stored premultiplied: R 0, G 0, B 128, A 128
  // The background goes under the layer where the layer holds pixels:
  // premultiplied, (128, 0, 0, 128) + background * (256 - 128) / 256.
  const std::vector<int> pink{255, 127, 127, 255};
  EXPECT_EQ(FilePixels("white.png", 2, 2), (Pixels{pink, kClear, pink, kClear}));
  // Over (0, 0, 128, 128): (128, 0, 64, 192), straight (170, 0, 85, 192).
  const std::vector<int> purple{170, 0, 85, 192};
  EXPECT_EQ(FilePixels("blue.png", 2, 2), (Pixels{purple, kClear, purple, kClear}));
}

TEST_F(LayerImageCommands, BadLinesAreRefusedWithTheirReason) {
  EXPECT_EQ(Refused("background #FFFFFF"),
            "background: there is no canvas yet (create one with 'canvas')");
  Run("canvas 4 4\nadd-layer Paper\nfill Paper 0 0 4 4 #FF0000\nadd-mask Fade\n"
      "add-shape-layer Lines\n");
  const std::string partial =
      "export-composite: give all of <x>, <y>, <width> and <height>, or none";
  ExpectRefused({
      {"invert-mask Paper", "invert-mask: layer 1 is not a mask"},
      {"mask-active Paper off", "mask-active: layer 1 is not a mask"},
      {"hide-paint 9", "hide-paint: there is no layer 9 in canvas 0 (it has 3 layers)"},
      {"show-paint Sky", "show-paint: there is no layer named \"Sky\" in canvas 0"},
      {"erase-hidden-paint Lines",
       "erase-hidden-paint: layer 3 is a shape layer; its pixels are drawn from its shapes"},
      {"offset Lines 1 1", "offset: layer 3 is a shape layer; move its shapes instead"},
      {"export-composite Paper " + F("x.png") + " x=0", partial},
      {"export-composite Paper " + F("x.png") + " height=1", partial},
      {"background #GGGGGG", ""},
  });
  unsigned background = 0;
  Brenmark.GetBackgroundColor(PntCurrentLayerStack()).Get(background);
  EXPECT_EQ(background, 0xFFFFFFFFu);
  EXPECT_TRUE(Brenmark.isMaskActive(2, PntCurrentLayerStack()));
  EXPECT_EQ(EnginePixels(1, 0, 0, 4, 4), Repeat(kRed, 16));
  EXPECT_FALSE(fs::exists(Path("x.png")));
}

}  // namespace
