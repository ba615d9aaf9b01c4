// The pixel commands driven in-process against the engine: exact pixels
// after fills, pastes and flips (read from the engine and from the PNG files
// the tool writes, decoded independently), import/export round trips, the
// image-plane export, and bad lines refused with their message while every
// layer keeps its pixels.
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/store_stats.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "command_registry.h"
#include "host/reference_host.h"
#include "pixel_convert.h"
#include "png_test_files.h"
#include "script_runner.h"
#include "session.h"
#include "store_statistics.h"
#include "structure_printer.h"

namespace fs = std::filesystem;
using brenmark::tool::CommandRegistry;
using brenmark::tool::Premultiply;
using brenmark::tool::QuoteWord;
using brenmark::tool::ScriptRunner;
using brenmark::tool::Session;
using brenmark::tool::Unpremultiply;
using namespace brenmark::tool::test;

namespace {

using Pixels = std::vector<std::vector<int>>;  // one entry per pixel

class PixelCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    session.Start();
    brenmark::tool::RegisterAllCommands(registry, session);
    dir_ = fs::path(BRENMARK_BINARY_DIR) / ("pixel-test-" + std::to_string(getpid()));
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
  // A file name as a script word.
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
  // The engine's own pixels of a layer over (x, y, nx, ny) in layer
  // coordinates, bottom row first.
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
  static std::vector<int> EnginePixel(int index, int x, int y) {
    return EnginePixels(index, x, y, 1, 1)[0];
  }
  // Every layer's bounds and pixels, to show that nothing changed.
  static std::string AllPixels() {
    const int h = PntCurrentLayerStack();
    std::string out;
    for (int i = 1; i <= Brenmark.GetLayerCount(h); ++i) {
      int x, y, nx, ny;
      Brenmark.GetLayerBounds(x, y, nx, ny, false, i, h, true, false);
      out += std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(nx) + "x" +
             std::to_string(ny) + ":";
      if (nx > 0 && ny > 0) {
        for (const auto& p : EnginePixels(i, x - 0, y - 0, nx, ny)) {
          for (int v : p) out += std::to_string(v) + ".";
        }
      }
      out += "\n";
    }
    return out;
  }
  std::string Printed() {
    std::ostringstream text;
    brenmark::tool::PrintAllCanvases(text);
    return text.str();
  }
  // A decoded file's pixels, top row first.
  static Pixels FilePixels(const DecodedPng& d) {
    Pixels out;
    for (std::size_t i = 0; i < d.pixels.size(); i += d.channels) {
      out.emplace_back(d.pixels.begin() + i, d.pixels.begin() + i + d.channels);
    }
    return out;
  }
  DecodedPng Decode(const std::string& name) {
    DecodedPng d = DecodePng(Path(name));
    EXPECT_TRUE(d.ok) << name;
    return d;
  }
  void WritePng(const std::string& name, const TestPng& png) {
    ASSERT_TRUE(WriteTestPng(Path(name), png)) << name;
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

TEST_F(PixelCommands, FillStoresPremultipliedAndExportsStraightAlpha) {
  Run("canvas 8 4\nadd-layer Paper\nadd-layer Top\nfill Paper 1 1 3 2 128,64,0,128\n");
  EXPECT_EQ(EnginePixel(1, 1, 1), (std::vector<int>{64, 32, 0, 128}));
  EXPECT_EQ(EnginePixel(1, 0, 1), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(Brenmark.GetCurrentLayer(PntCurrentLayerStack()), 2);  // the current layer stays

  Run("export Paper " + F("paper.png"));
  DecodedPng d = Decode("paper.png");
  EXPECT_EQ(d.width, 3);
  EXPECT_EQ(d.height, 2);
  EXPECT_EQ(d.channels, 4);
  EXPECT_EQ(FilePixels(d), Repeat({128, 64, 0, 128}, 6));

  // A rectangle: the file's top row is the canvas's highest y.
  Run("fill Paper 0 3 1 1 #FF000080\nexport Paper " + F("all.png") + " 0 0 8 4");
  d = Decode("all.png");
  ASSERT_EQ(d.width, 8);
  ASSERT_EQ(d.height, 4);
  const Pixels p = FilePixels(d);
  const std::vector<int> clear{0, 0, 0, 0}, ink{128, 64, 0, 128}, red{255, 0, 0, 128};
  EXPECT_EQ(p[0], red);         // (0, 3)
  EXPECT_EQ(p[1], clear);       // (1, 3)
  EXPECT_EQ(p[8 + 1], ink);     // (1, 2)
  EXPECT_EQ(p[16 + 3], ink);    // (3, 1)
  EXPECT_EQ(p[16 + 4], clear);  // (4, 1)
  EXPECT_EQ(p[24 + 1], clear);  // (1, 0)
}

TEST_F(PixelCommands, FillOverCompositesAndMasksTakeAGreyLevel) {
  Run("canvas 4 4\nadd-layer Paper\nfill Paper 0 0 4 4 #0000FF\n"
      "fill Paper 0 0 2 2 255,0,0,128 over\n");
  // (128, 0, 0, 128) over opaque blue: the blue keeps (256 - 128) / 256.
  EXPECT_EQ(EnginePixel(1, 0, 0), (std::vector<int>{128, 0, 127, 255}));
  EXPECT_EQ(EnginePixel(1, 2, 2), (std::vector<int>{0, 0, 255, 255}));

  Run("add-mask Fade\nfill Fade 0 0 2 2 #808080\nfill Fade 1 1 1 1 #FF0000\n"
      "fill Fade 0 1 1 1 #FFFFFF80\n");
  EXPECT_EQ(EnginePixels(2, 0, 0, 2, 2), (Pixels{{128}, {128}, {128}, {85}}));
  Run("export Fade " + F("fade.png"));
  const DecodedPng d = Decode("fade.png");
  EXPECT_EQ(d.channels, 1);
  EXPECT_EQ(FilePixels(d), (Pixels{{128}, {85}, {128}, {128}}));
}

TEST_F(PixelCommands, ImportThenExportGivesTheSourceBack) {
  // Row 0 (top) every alpha over a colour, row 1 over white, row 2 opaque.
  std::vector<std::uint8_t> rgba;
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 256; ++x) {
      const auto v = static_cast<std::uint8_t>(x);
      const std::vector<std::uint8_t> px = row == 0   ? std::vector<std::uint8_t>{200, 100, 50, v}
                                           : row == 1 ? std::vector<std::uint8_t>{255, 255, 255, v}
                                                      : std::vector<std::uint8_t>{v, 255, 7, 255};
      rgba.insert(rgba.end(), px.begin(), px.end());
    }
  }
  WritePng("source.png", Rgba8(256, 3, rgba));
  Run("canvas 64 64\nadd-layer Paper\nimport " + F("source.png") + " 5 7 Photo\n");
  const int h = PntCurrentLayerStack();
  EXPECT_STREQ(Brenmark.GetLayerName(2, h), "Photo");
  EXPECT_EQ(Brenmark.GetCurrentLayer(h), 2);
  int x, y, nx, ny;
  Brenmark.GetLayerBounds(x, y, nx, ny, false, 2, h, true, false);
  EXPECT_EQ((std::vector<int>{x, y, nx, ny}), (std::vector<int>{5, 7, 256, 3}));
  // Stored premultiplied: the top row's pixel of alpha 128 is (100, 50, 25).
  EXPECT_EQ(EnginePixel(2, 128, 2), (std::vector<int>{100, 50, 25, 128}));

  Run("export Photo " + F("back.png"));
  const DecodedPng d = Decode("back.png");
  ASSERT_EQ(d.width, 256);
  ASSERT_EQ(d.height, 3);
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    const int a = rgba[i + 3];
    if (a == 0) {
      EXPECT_EQ((std::vector<int>(d.pixels.begin() + i, d.pixels.begin() + i + 4)),
                (std::vector<int>{0, 0, 0, 0}));
      continue;
    }
    const int bound = a == 255 ? 0 : (255 + 2 * a - 1) / (2 * a);
    for (int c = 0; c < 4; ++c) {
      EXPECT_LE(std::abs(d.pixels[i + c] - rgba[i + c]), c == 3 ? 0 : bound)
          << "pixel " << i / 4 << " channel " << c;
    }
  }
  // The same canvas rectangle gives the same file.
  Run("export Photo " + F("rect.png") + " 5 7 256 3");
  EXPECT_EQ(Decode("rect.png").pixels, d.pixels);
}

TEST_F(PixelCommands, ImportsGreyFilesAsMasksOrAsColour) {
  const TestPng grey = Png(3, 2, PNG_COLOR_TYPE_GRAY, 8, {0, 100, 255, 30, 60, 90});
  WritePng("grey.png", grey);
  Run("canvas 16 16\nadd-layer Paper\nimport-mask " + F("grey.png") + " name=Fade\nimport " +
      F("grey.png") + " 1 1\n");
  const int h = PntCurrentLayerStack();
  EXPECT_TRUE(Brenmark.isLayerMask(2, h));
  EXPECT_STREQ(Brenmark.GetLayerName(2, h), "Fade");
  EXPECT_FALSE(Brenmark.isLayerMask(3, h));
  EXPECT_EQ(EnginePixels(2, 0, 0, 3, 2), (Pixels{{30}, {60}, {90}, {0}, {100}, {255}}));
  EXPECT_EQ(EnginePixel(3, 1, 1), (std::vector<int>{100, 100, 100, 255}));
  Run("export Fade " + F("fade.png"));
  EXPECT_EQ(Decode("fade.png").pixels, grey.samples);
}

TEST_F(PixelCommands, ExportViewScalesAndTurnsThroughTheImagePlane) {
  // a b c over d e f, top row first; e is half transparent.
  const std::vector<std::vector<int>> file{{255, 0, 0, 255},  {0, 255, 0, 255},   {0, 0, 255, 255},
                                           {10, 20, 30, 255}, {200, 100, 0, 128}, {0, 0, 0, 255}};
  std::vector<std::uint8_t> rgba;
  for (const auto& p : file) rgba.insert(rgba.end(), p.begin(), p.end());
  WritePng("abc.png", Rgba8(3, 2, rgba));
  Run("canvas 16 16\nimport " + F("abc.png") + " 4 4 Abc\n");
  // What the layer holds, seen straight again (e's red rounds to 199).
  Pixels src;
  for (const auto& p : file) {
    const auto a = static_cast<std::uint8_t>(p[3]);
    auto back = [&](int c) {
      return int{Unpremultiply(Premultiply(static_cast<std::uint8_t>(c), a), a)};
    };
    src.push_back({back(p[0]), back(p[1]), back(p[2]), p[3]});
  }
  ASSERT_EQ(src[4], (std::vector<int>{199, 100, 0, 128}));

  Run("export-view Abc " + F("zoom2.png") + " 2 0 nearest");
  DecodedPng d = Decode("zoom2.png");
  ASSERT_EQ(d.width, 6);
  ASSERT_EQ(d.height, 4);
  const Pixels zoomed = FilePixels(d);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(zoomed[y * 6 + x], src[(y / 2) * 3 + x / 2]) << x << "," << y;
    }
  }
  // Counter-clockwise as seen: the right column becomes the top row.
  Run("export-view Abc " + F("turn.png") + " 1 90 nearest");
  d = Decode("turn.png");
  ASSERT_EQ(d.width, 2);
  ASSERT_EQ(d.height, 3);
  EXPECT_EQ(FilePixels(d), (Pixels{src[2], src[5], src[1], src[4], src[0], src[3]}));
  Run("export-view Abc " + F("half.png") + " 1 180 nearest");
  d = Decode("half.png");
  EXPECT_EQ(FilePixels(d), (Pixels{src[5], src[4], src[3], src[2], src[1], src[0]}));
  // Without zoom or turn every filter copies.
  Run("export-view Abc " + F("same.png") + " filter=bicubic");
  EXPECT_EQ(FilePixels(Decode("same.png")), src);
}

TEST_F(PixelCommands, InterpolatingFiltersKeepAUniformPictureUniform) {
  Run("canvas 16 16\nadd-layer Paper\nfill Paper 0 0 8 8 #336699\n");
  for (const char* filter : {"bilinear", "bicubic"}) {
    Run(std::string("export-view Paper ") + F("up.png") + " 2.5 0 " + filter);
    const DecodedPng d = Decode("up.png");
    EXPECT_EQ(d.width, 20) << filter;
    EXPECT_EQ(FilePixels(d), Repeat({0x33, 0x66, 0x99, 255}, 400)) << filter;
  }
}

TEST_F(PixelCommands, FlipMirrorsWithinTheLayersContent) {
  WritePng("abc.png", Rgba8(3, 2, {1, 0, 0, 255, 2, 0, 0, 255, 3, 0, 0, 255,  //
                                   4, 0, 0, 255, 5, 0, 0, 255, 6, 0, 0, 255}));
  Run("canvas 16 16\nimport " + F("abc.png") + " 2 3 Abc\nflip Abc horizontal\n");
  auto reds = [&] {
    Run("export Abc " + F("flip.png"));
    std::vector<int> out;
    for (const auto& p : FilePixels(Decode("flip.png"))) out.push_back(p[0]);
    return out;
  };
  EXPECT_EQ(reds(), (std::vector<int>{3, 2, 1, 6, 5, 4}));
  Run("flip Abc vertical");
  EXPECT_EQ(reds(), (std::vector<int>{6, 5, 4, 3, 2, 1}));
  Run("flip Abc both");
  EXPECT_EQ(reds(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  int x, y, nx, ny;
  Brenmark.GetLayerBounds(x, y, nx, ny, false, 1, PntCurrentLayerStack(), true, false);
  EXPECT_EQ((std::vector<int>{x, y, nx, ny}), (std::vector<int>{2, 3, 3, 2}));
}

TEST_F(PixelCommands, PasteBlendsUnderTheChosenFactors) {
  WritePng("stamp.png", Rgba8(2, 2,
                              std::vector<std::uint8_t>{255, 0, 0, 128, 255, 0, 0, 128, 255, 0, 0,
                                                        128, 255, 0, 0, 128}));
  Run("canvas 4 4\nadd-layer Paper\nfill Paper 0 0 4 4 #0000FF\npaste Paper " + F("stamp.png") +
      " 1 1\n");
  const std::vector<int> blue{0, 0, 255, 255}, over{128, 0, 127, 255};
  EXPECT_EQ(EnginePixels(1, 0, 0, 4, 4), (Pixels{blue, blue, blue, blue,  //
                                                 blue, over, over, blue,  //
                                                 blue, over, over, blue,  //
                                                 blue, blue, blue, blue}));
  // Replace writes the file's pixels as they are.
  Run("paste Paper " + F("stamp.png") + " 2 2 src=1 dst=0\nexport Paper " + F("out.png") +
      " 2 2 2 2");
  EXPECT_EQ(FilePixels(Decode("out.png")), Repeat({255, 0, 0, 128}, 4));
  // (0, 1) keeps the layer; (9, 0) is one minus the layer's alpha: none.
  const std::string before = AllPixels();
  Run("paste Paper " + F("stamp.png") + " 0 0 0 1\npaste Paper " + F("stamp.png") + " 0 0 9 1");
  EXPECT_EQ(AllPixels(), before);

  // Onto a mask, a greyscale file: (1, 0) replaces.
  WritePng("grey.png", Png(1, 1, PNG_COLOR_TYPE_GRAY, 8, {77}));
  Run("add-mask Fade\npaste Fade " + F("grey.png") + " 3 0 1 0");
  EXPECT_EQ(EnginePixel(2, 3, 0), (std::vector<int>{77}));
}

TEST_F(PixelCommands, BadLinesAreRefusedAndChangeNoPixels) {
  WritePng("stamp.png", Rgba8(2, 2, std::vector<std::uint8_t>(16, 200)));
  WritePng("wide.png", Rgba8(40, 1, std::vector<std::uint8_t>(160, 9)));
  WriteBytes(Path("text.png"), "canvas 8 8\n");
  std::string cut = FileBytes(Path("stamp.png"));
  WriteBytes(Path("cut.png"), cut.substr(0, cut.size() / 2));
  Run("canvas 32 16\nadd-layer Paper\nfill Paper 0 0 4 4 #102030\nadd-mask Fade\n"
      "add-shape-layer Lines\nadd-layer Empty\n");
  const std::string structure = Printed();
  const std::string pixels = AllPixels();
  const std::string p = Path("");
  const struct {
    std::string line;
    std::string problem;
  } cases[] = {
      {"fill Paper 30 0 4 4 #FFFFFF",
       "fill: the rectangle (4 x 4 at 30,0) reaches outside canvas 0 (32 x 16)"},
      {"fill Paper -1 0 4 4 #FFFFFF",
       "fill: the rectangle (4 x 4 at -1,0) reaches outside canvas 0 (32 x 16)"},
      {"fill Paper 0 0 0 4 #FFFFFF",
       "fill: <width> must be between 1 and 16384, got '0' (usage: fill <layer> <x> <y> <width> "
       "<height> <colour> [<mode>=replace])"},
      {"fill Paper 0 0 4 4 red",
       "fill: <colour> must be a colour (#RRGGBB, #RRGGBBAA or r,g,b,a with values 0 to 255), "
       "got 'red' (usage: fill <layer> <x> <y> <width> <height> <colour> [<mode>=replace])"},
      {"fill Paper 0 0 4 4 1,2,3,256",
       "fill: <colour> must be a colour (#RRGGBB, #RRGGBBAA or r,g,b,a with values 0 to 255), "
       "got '1,2,3,256' (usage: fill <layer> <x> <y> <width> <height> <colour> "
       "[<mode>=replace])"},
      {"fill Paper 0 0 4 4 #FFF",  // not a colour word: a comment
       "fill: missing argument <colour> (usage: fill <layer> <x> <y> <width> <height> <colour> "
       "[<mode>=replace])"},
      {"fill Paper 0 0 4 4 #FFFFFF under",
       "fill: <mode> must be replace or over, got 'under' (usage: fill <layer> <x> <y> <width> "
       "<height> <colour> [<mode>=replace])"},
      {"fill Lines 0 0 4 4 #FFFFFF",
       "fill: layer 3 is a shape layer; its pixels are drawn from its shapes"},
      {"fill Moon 0 0 4 4 #FFFFFF", "fill: there is no layer named \"Moon\" in canvas 0"},
      {"import " + F("missing.png"),
       "import: cannot open '" + p + "missing.png': No such file or directory"},
      {"import " + F("text.png"), "import: '" + p + "text.png' is not a PNG file"},
      {"import " + F("cut.png"),
       "import: '" + p + "cut.png' is not a readable PNG: the file ends too early"},
      {"import " + F("stamp.png") + " name=Paper", "import: layer 1 is already named \"Paper\""},
      {"import \"\"",
       "import: <file> must not be empty (usage: import <file> [<x>=0] [<y>=0] "
       "[<name>])"},
      {"import-mask " + F("stamp.png"),
       "import-mask: '" + p + "stamp.png' is not a greyscale PNG without alpha"},
      {"paste Paper " + F("stamp.png") + " 0 0 5 7",
       "paste: <src> must be 0, 1, 6, 7, 8 or 9, got '5' (usage: paste <layer> <file> [<x>=0] "
       "[<y>=0] [<src>=1] [<dst>=7])"},
      {"paste Paper " + F("stamp.png") + " dst=one",
       "paste: <dst> must be 0, 1, 6, 7, 8 or 9, got 'one' (usage: paste <layer> <file> [<x>=0] "
       "[<y>=0] [<src>=1] [<dst>=7])"},
      {"paste Paper " + F("wide.png"),
       "paste: '" + p + "wide.png' (40 x 1 at 0,0) reaches outside canvas 0 (32 x 16)"},
      {"paste Paper " + F("stamp.png") + " 31 15",
       "paste: '" + p + "stamp.png' (2 x 2 at 31,15) reaches outside canvas 0 (32 x 16)"},
      {"paste Fade " + F("stamp.png"),
       "paste: '" + p + "stamp.png' is not a greyscale PNG without alpha"},
      {"export Paper " + F("x.png") + " 0 0 4",
       "export: give all of <x>, <y>, <width> and <height>, or none"},
      {"export Empty " + F("x.png"), "export: layer 4 holds no pixels; give a rectangle to export"},
      {"export Paper " + F("none/x.png"),
       "export: cannot write '" + p + "none/x.png': No such file or directory"},
      {"export-view Paper " + F("x.png") + " 65",
       "export-view: <zoom> must be between 0.015625 and 64, got '65' (usage: export-view <layer> "
       "<file> [<zoom>=1] [<angle>=0] [<filter>=bilinear])"},
      {"export-view Paper " + F("x.png") + " filter=cubic",
       "export-view: <filter> must be nearest, bilinear or bicubic, got 'cubic' (usage: "
       "export-view <layer> <file> [<zoom>=1] [<angle>=0] [<filter>=bilinear])"},
      {"flip Paper sideways",
       "flip: <direction> must be horizontal, vertical or both, got 'sideways' (usage: flip "
       "<layer> <direction>)"},
      {"flip Lines both", "flip: layer 3 is a shape layer; its pixels are drawn from its shapes"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Refused(c.line), c.problem);
    EXPECT_EQ(Printed(), structure) << "after: " << c.line;
    EXPECT_EQ(AllPixels(), pixels) << "after: " << c.line;
  }
  EXPECT_FALSE(fs::exists(Path("x.png")));
  EXPECT_FALSE(fs::exists(Path("none")));
}

TEST_F(PixelCommands, ExportViewRefusesAResultAboveTheSizeLimit) {
  Run("canvas 300 300\nadd-layer Paper\nfill Paper 0 0 300 300 #FFFFFF\n");
  EXPECT_EQ(Refused("export-view Paper " + F("big.png") + " 64"),
            "export-view: the view would be 19200 x 19200 pixels; an image may be at most 16384 x "
            "16384");
  EXPECT_FALSE(fs::exists(Path("big.png")));
}

TEST_F(PixelCommands, StatisticsCountThePagesOfTheLayers) {
  Run("canvas 256 256\nadd-layer Paper\nfill Paper 0 0 256 256 #FFFFFF\n"
      "fill Paper 0 0 1 1 #000000\n");
  const SmartImageCacheStatistics s = GetSmartImageCacheStatistics();
  ASSERT_TRUE(s.exists);
  EXPECT_GE(s.bigPagesInMemory, 1);
  EXPECT_GE(s.smartImages, 2);  // the layer's image and its stencil at least
  EXPECT_GE(s.bytesInMemory, std::int64_t{65536} * s.bigPagesInMemory);
  EXPECT_GT(s.budgetBytes, 0);
}

TEST(StoreStatistics, PrintsOneLinePerFigure) {
  SmartImageCacheStatistics s;
  std::ostringstream text;
  brenmark::tool::PrintStoreStatistics(text, s);
  EXPECT_EQ(text.str(), "page cache: not in use yet\n");
  s = {true, 67108864, 196608, 8192, 12, 3, 2, 4, 1, 5, 6, 7, 9};
  text.str("");
  brenmark::tool::PrintStoreStatistics(text, s);
  EXPECT_EQ(text.str(),
            "page cache:\n"
            "  budget bytes: 67108864\n"
            "  bytes in memory: 196608\n"
            "  big pages in memory: 2\n"
            "  small pages in memory: 4\n"
            "  retained pages: 1\n"
            "  swapped pages: 5\n"
            "  swap slots in use: 7\n"
            "  pages to scan: 6\n"
            "  hits: 12\n"
            "  misses: 3\n"
            "  smart images: 9\n");
}

}  // namespace
