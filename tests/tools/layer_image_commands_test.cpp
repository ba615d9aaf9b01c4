// The commands on what layers show, driven in-process against the engine:
// mask inversion and switching, the stencil commands, moving a layer by an
// offset, and the composite export, checked by exact pixels of the files the
// tool writes (decoded independently) and of the engine's own images.
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "command_registry.h"
#include "host/reference_host.h"
#include "png_test_files.h"
#include "script_runner.h"
#include "session.h"

namespace fs = std::filesystem;
using brenmark::tool::CommandRegistry;
using brenmark::tool::QuoteWord;
using brenmark::tool::ScriptRunner;
using brenmark::tool::Session;
using namespace brenmark::tool::test;

namespace {

using Pixels = std::vector<std::vector<int>>;  // one entry per pixel

class LayerImageCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    session.Start();
    brenmark::tool::RegisterAllCommands(registry, session);
    dir_ = fs::path(BRENMARK_BINARY_DIR) / ("layer-image-test-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (int h = 0; h < PaintManager::kMaxLayerStacks; ++h) {
      if (Brenmark.CheckLayerStackHandle(h)) Brenmark.DeleteLayerStack(h);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string F(const std::string& name) const { return QuoteWord(Path(name)); }

  void Run(const std::string& script) {
    std::istringstream in(script);
    std::ostringstream errors;
    ScriptRunner runner(registry, errors, nullptr);
    ASSERT_TRUE(runner.Run(in, "test.bms")) << errors.str();
  }
  std::string Refused(const std::string& line) {
    std::ostringstream errors;
    ScriptRunner runner(registry, errors, nullptr);
    const std::string problem = runner.RunLine(line);
    EXPECT_FALSE(problem.empty()) << line;
    return problem;
  }

  static Layer* LayerAt(int index) {
    return Brenmark.GetLayerStack(PntCurrentLayerStack())->GetLayerFromIndex(index);
  }
  // The engine's own pixels of a layer, layer coordinates, bottom row first.
  static Pixels EnginePixels(int index, int x, int y, int nx, int ny) {
    ilImage* image = LayerAt(index)->GetImage();
    const int c = image->getCsize();
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(nx) * ny * c);
    EXPECT_EQ(image->getTile(x, y, nx, ny, buf.data()), ilOkay);
    Pixels out;
    for (std::size_t i = 0; i < buf.size(); i += c)
      out.emplace_back(buf.begin() + i, buf.begin() + i + c);
    return out;
  }
  // A written file's pixels, top row first.
  Pixels FilePixels(const std::string& name, int width, int height) {
    const DecodedPng d = DecodePng(Path(name));
    EXPECT_TRUE(d.ok) << name;
    EXPECT_EQ(d.width, width) << name;
    EXPECT_EQ(d.height, height) << name;
    Pixels out;
    for (std::size_t i = 0; i < d.pixels.size(); i += d.channels) {
      out.emplace_back(d.pixels.begin() + i, d.pixels.begin() + i + d.channels);
    }
    return out;
  }

  brenmark::host::ReferenceHost host;
  std::ostringstream out;
  Session session{host, out};
  CommandRegistry registry;
  fs::path dir_;
};

Pixels Repeat(std::vector<int> pixel, int count) {
  return Pixels(static_cast<std::size_t>(count), pixel);
}

const std::vector<int> kClear{0, 0, 0, 0};
const std::vector<int> kRed{255, 0, 0, 255};

TEST_F(LayerImageCommands, InvertMaskTurnsEachValueIntoItsComplement) {
  Run("canvas 4 4\nadd-layer Paper\nadd-mask Fade\nfill Fade 0 0 4 4 200,200,200\n"
      "invert-mask Fade\nexport Fade " +
      F("fade.png"));
  EXPECT_EQ(FilePixels("fade.png", 4, 4), Repeat({55}, 16));
  EXPECT_EQ(EnginePixels(2, 0, 0, 4, 4), Repeat({55}, 16));
  // The current layer is the default, and inverting twice gives the mask back.
  Run("invert-mask");
  EXPECT_EQ(EnginePixels(2, 0, 0, 4, 4), Repeat({200}, 16));
  // Where the mask holds nothing (0) it becomes fully closed.
  Run("add-mask Edge\nfill Edge 0 0 1 1 #FFFFFF\ninvert-mask Edge");
  EXPECT_EQ(EnginePixels(3, 0, 0, 2, 1), (Pixels{{0}, {255}}));
  EXPECT_EQ(EnginePixels(3, 100, 100, 1, 1), (Pixels{{255}}));
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
}

TEST_F(LayerImageCommands, HidePaintHidesTheCompositeAndShowPaintRestoresIt) {
  Run("canvas 4 2\nadd-layer Paper\nfill Paper 0 0 4 2 #FF0000\nhide-paint Paper\n"
      "export-composite Paper " +
      F("hidden.png") + " x=0 y=0 width=4 height=2");
  EXPECT_EQ(FilePixels("hidden.png", 4, 2), Repeat(kClear, 8));
  // The pixels are kept behind the stencil.
  EXPECT_EQ(EnginePixels(1, 0, 0, 4, 2), Repeat(kRed, 8));

  Run("show-paint Paper\nexport-composite Paper " + F("shown.png"));
  EXPECT_EQ(FilePixels("shown.png", 4, 2), Repeat(kRed, 8));
}

TEST_F(LayerImageCommands, EraseHiddenPaintEmptiesAHiddenLayerForGood) {
  Run("canvas 4 2\nadd-layer Paper\nfill Paper 0 0 4 2 #FF0000\nhide-paint\n"
      "erase-hidden-paint\nshow-paint\nexport-composite Paper " +
      F("erased.png") + " x=0 y=0 width=4 height=2");
  EXPECT_EQ(EnginePixels(1, 0, 0, 4, 2), Repeat(kClear, 8));
  EXPECT_EQ(FilePixels("erased.png", 4, 2), Repeat(kClear, 8));
  EXPECT_EQ(Refused("export-composite Paper " + F("none.png")),
            "export-composite: layer 1 shows no pixels; give a rectangle to export");
  EXPECT_FALSE(fs::exists(Path("none.png")));
}

TEST_F(LayerImageCommands, OffsetMovesTheCompositeAndReportsAClampedOffset) {
  Run("canvas 6 4\nadd-layer Paper\nfill Paper 0 0 2 1 #FF0000\noffset Paper 3 2\n"
      "export-composite Paper " +
      F("moved.png") + " x=0 y=0 width=6 height=4");
  const int h = PntCurrentLayerStack();
  int x = 0, y = 0;
  Brenmark.GetCurrentLayerOffset(x, y, 1, h);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(y, 2);
  Pixels expected = Repeat(kClear, 24);
  expected[1 * 6 + 3] = kRed;  // canvas (3, 2): the file's second row from the top
  expected[1 * 6 + 4] = kRed;
  EXPECT_EQ(FilePixels("moved.png", 6, 4), expected);
  // Without a rectangle the file is what the layer shows, wherever it is.
  Run("export-composite Paper " + F("own.png"));
  EXPECT_EQ(FilePixels("own.png", 2, 1), Repeat(kRed, 2));
  EXPECT_EQ(out.str(), "");

  // The engine keeps the layer within one canvas size of the canvas.
  Run("offset Paper 1000 -1");
  Brenmark.GetCurrentLayerOffset(x, y, 1, h);
  EXPECT_EQ(x, 12);
  EXPECT_EQ(y, 1);
  EXPECT_EQ(out.str(), "layer 1 was kept near the canvas: its offset is 12,1\n");
}

TEST_F(LayerImageCommands, BackgroundMakesTheCompositeOpaque) {
  Run("canvas 2 2\nadd-layer Paper\nfill Paper 0 0 2 2 255,0,0,128\nexport-composite Paper " +
      F("plain.png") + "\nexport-composite Paper " + F("backed.png") + " background=yes");
  EXPECT_EQ(FilePixels("plain.png", 2, 2), Repeat({255, 0, 0, 128}, 4));
  const Pixels backed = FilePixels("backed.png", 2, 2);
  ASSERT_EQ(backed.size(), 4u);
  for (const auto& p : backed) EXPECT_EQ(p[3], 255);
  EXPECT_EQ(backed, Repeat(backed[0], 4));
}

TEST_F(LayerImageCommands, BadLinesAreRefusedWithTheirReason) {
  Run("canvas 4 4\nadd-layer Paper\nfill Paper 0 0 4 4 #FF0000\nadd-mask Fade\n"
      "add-shape-layer Lines\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"invert-mask Paper", "invert-mask: layer 1 is not a mask"},
      {"mask-active Paper off", "mask-active: layer 1 is not a mask"},
      {"mask-active Fade maybe",
       "mask-active: <state> must be on or off, got 'maybe' (usage: mask-active <layer> "
       "<state>)"},
      {"hide-paint 9", "hide-paint: there is no layer 9 in canvas 0 (it has 3 layers)"},
      {"show-paint Sky", "show-paint: there is no layer named \"Sky\" in canvas 0"},
      {"erase-hidden-paint Lines",
       "erase-hidden-paint: layer 3 is a shape layer; its pixels are drawn from its shapes"},
      {"offset Lines 1 1", "offset: layer 3 is a shape layer; move its shapes instead"},
      {"export-composite Paper " + F("x.png") + " x=0",
       "export-composite: give all of <x>, <y>, <width> and <height>, or none"},
  };
  for (const auto& c : cases) EXPECT_EQ(Refused(c.first), c.second);
  EXPECT_TRUE(Brenmark.isMaskActive(2, PntCurrentLayerStack()));
  EXPECT_EQ(EnginePixels(1, 0, 0, 4, 4), Repeat(kRed, 16));
  EXPECT_FALSE(fs::exists(Path("x.png")));
}

}  // namespace
