// The pixel commands driven in-process against the engine: exact pixels
// after fills, pastes and flips (read from the engine and from the PNG files
// the tool writes, decoded independently), import/export round trips, the
// image-plane export, rectangles at the last pixels of a page, bad lines
// refused while every layer keeps its pixels, and a page store that cannot
// read its swap file failing the command instead of writing wrong pixels.
#include <brenmark/store_stats.h>
#include <png.h>

#include <cstdlib>
#include <map>

#include "platform/platform.h"
#include "store_statistics.h"
#include "tool_fixture.h"

namespace fs = std::filesystem;
using namespace brenmark::tool::test;

namespace {

using PixelCommands = ToolTest;

TEST_F(PixelCommands, FillStoresPremultipliedAndExportsStraightAlpha) {
  Run("canvas 8 4\nadd-layer Paper\nadd-layer Top\nfill Paper 1 1 3 2 128,64,0,128\n");
  EXPECT_EQ(EnginePixel(1, 1, 1), (std::vector<int>{64, 32, 0, 128}));
  EXPECT_EQ(EnginePixel(1, 0, 1), kClear);
  EXPECT_EQ(Brenmark.GetCurrentLayer(PntCurrentLayerStack()), 2);  // the current layer stays
  Run("export Paper " + F("paper.png"));
  EXPECT_EQ(FilePixels("paper.png", 3, 2), Repeat({128, 64, 0, 128}, 6));

  // A rectangle: the file's top row is the canvas's highest y.
  Run("fill Paper 0 3 1 1 #FF000080\nexport Paper " + F("all.png") + " 0 0 8 4");
  const Pixels p = FilePixels("all.png", 8, 4);
  const std::vector<int> ink{128, 64, 0, 128}, red{255, 0, 0, 128};
  EXPECT_EQ(
      (Pixels{p[0], p[1], p[8 + 1], p[16 + 3], p[16 + 4], p[24 + 1]}),
      (Pixels{red, kClear, ink, ink, kClear, kClear}));  // (0,3) (1,3) (1,2) (3,1) (4,1) (1,0)
}

TEST_F(PixelCommands, FillOverCompositesAndMasksTakeAGreyLevel) {
  Run("canvas 4 4\nadd-layer Paper\nfill Paper 0 0 4 4 #0000FF\n"
      "fill Paper 0 0 2 2 255,0,0,128 over\n");
  // (128, 0, 0, 128) over opaque blue: the blue keeps (256 - 128) / 256.
  EXPECT_EQ(EnginePixel(1, 0, 0), (std::vector<int>{128, 0, 127, 255}));
  EXPECT_EQ(EnginePixel(1, 2, 2), (std::vector<int>{0, 0, 255, 255}));

  Run("add-mask Fade\nfill Fade 0 0 2 2 #808080\nfill Fade 1 1 1 1 #FF0000\nexport Fade " +
      F("fade.png"));
  EXPECT_EQ(EnginePixels(2, 0, 0, 2, 2), (Pixels{{128}, {128}, {128}, {85}}));
  EXPECT_EQ(FilePixels("fade.png", 2, 2), (Pixels{{128}, {85}, {128}, {128}}));
}

// Rectangles of one pixel's width or height at the last pixels of a page
// (pages are 128 x 128), layers moved along one axis only, and views zoomed
// or turned only: the file written last holds exactly the red rectangle,
// and the layer holds pixels exactly there.
TEST_F(PixelCommands, OneAxisArgumentsAndPageEdgesHitExactlyTheirPixels) {
  const struct {
    std::string script;
    std::vector<int> bounds;  // x, y, width, height of the layer's pixels
    int width, height;        // of f.png
  } cases[] = {
      {"fill L 127 0 1 256 #FF0000\nexport L f.png", {127, 0, 1, 256}, 1, 256},
      {"fill L 0 127 256 1 #FF0000\nexport L f.png", {0, 127, 256, 1}, 256, 1},
      {"fill L 128 255 1 1 #FF0000\nexport L f.png 128 255 1 1", {128, 255, 1, 1}, 1, 1},
      {"fill L 255 0 1 1 #FF0000\nexport L f.png", {255, 0, 1, 1}, 1, 1},
      {"fill L 127 127 2 2 #FF0000\nexport L f.png", {127, 127, 2, 2}, 2, 2},
      {"fill L 0 0 1 3 #FF0000\noffset L 129 0\nexport L f.png", {129, 0, 1, 3}, 1, 3},
      {"fill L 0 0 3 1 #FF0000\noffset L 0 -1\nexport L f.png 0 -1 3 1", {0, -1, 3, 1}, 3, 1},
      {"fill L 255 255 1 1 #FF0000\nexport-view L f.png zoom=2 filter=nearest",
       {255, 255, 1, 1},
       2,
       2},
      {"fill L 0 0 3 1 #FF0000\nexport-view L f.png angle=90 filter=nearest", {0, 0, 3, 1}, 1, 3},
      {"fill L 0 127 1 2 #FF0000\nexport-composite L f.png", {0, 127, 1, 2}, 1, 2},
  };
  for (const auto& c : cases) {
    std::string script = c.script;
    script.replace(script.find("f.png"), 5, F("f.png"));
    Run("canvas 256 256\nadd-layer L\n" + script);
    EXPECT_EQ(Bounds(1), c.bounds) << c.script;
    EXPECT_EQ(FilePixels("f.png", c.width, c.height), Repeat(kRed, c.width * c.height)) << c.script;
    Brenmark.DeleteLayerStack(PntCurrentLayerStack());
  }
}

TEST_F(PixelCommands, ImportThenExportGivesTheSourceBack) {
  // Row 0 (top) every alpha over a colour, row 1 over white, row 2 opaque.
  std::vector<std::uint8_t> rgba;
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 256; ++x) {
      const auto v = static_cast<std::uint8_t>(x);
      const std::uint8_t px[3][4] = {{200, 100, 50, v}, {255, 255, 255, v}, {v, 255, 7, 255}};
      rgba.insert(rgba.end(), px[row], px[row] + 4);
    }
  }
  WritePng("source.png", Rgba8(256, 3, rgba));
  Run("canvas 64 64\nadd-layer Paper\nimport " + F("source.png") + " 5 7 Photo\n");
  const int h = PntCurrentLayerStack();
  EXPECT_STREQ(Brenmark.GetLayerName(2, h), "Photo");
  EXPECT_EQ(Brenmark.GetCurrentLayer(h), 2);
  EXPECT_EQ(Bounds(2), (std::vector<int>{5, 7, 256, 3}));
  // Stored premultiplied: the top row's pixel of alpha 128 is (100, 50, 25).
  EXPECT_EQ(EnginePixel(2, 128, 2), (std::vector<int>{100, 50, 25, 128}));

  Run("export Photo " + F("back.png") + "\nexport Photo " + F("rect.png") + " 5 7 256 3");
  const DecodedPng d = DecodePng(Path("back.png"));
  ASSERT_EQ(d.pixels.size(), rgba.size());
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    const int a = rgba[i + 3];
    const int bound = a == 0 || a == 255 ? 0 : (255 + 2 * a - 1) / (2 * a);
    for (int c = 0; c < 4; ++c) {
      // Fully transparent pixels come back as 0, 0, 0, 0.
      const int want = a == 0 ? 0 : rgba[i + c];
      EXPECT_LE(std::abs(d.pixels[i + c] - want), c == 3 ? 0 : bound)
          << "pixel " << i / 4 << " channel " << c;
    }
  }
  // The same canvas rectangle gives the same file.
  EXPECT_EQ(DecodePng(Path("rect.png")).pixels, d.pixels);
}

TEST_F(PixelCommands, ImportsGreyFilesAsMasksOrAsColour) {
  const TestPng grey = Png(3, 2, PNG_COLOR_TYPE_GRAY, 8, {0, 100, 255, 30, 60, 90});
  WritePng("grey.png", grey);
  Run("canvas 16 16\nadd-layer Paper\nimport-mask " + F("grey.png") + " name=Fade\nimport " +
      F("grey.png") + " 1 1\nexport Fade " + F("fade.png"));
  const int h = PntCurrentLayerStack();
  EXPECT_TRUE(Brenmark.isLayerMask(2, h));
  EXPECT_STREQ(Brenmark.GetLayerName(2, h), "Fade");
  EXPECT_FALSE(Brenmark.isLayerMask(3, h));
  EXPECT_EQ(EnginePixels(2, 0, 0, 3, 2), (Pixels{{30}, {60}, {90}, {0}, {100}, {255}}));
  EXPECT_EQ(EnginePixel(3, 1, 1), (std::vector<int>{100, 100, 100, 255}));
  EXPECT_EQ(DecodePng(Path("fade.png")).pixels, grey.samples);
}

TEST_F(PixelCommands, ExportViewScalesAndTurnsThroughTheImagePlane) {
  // a b c over d e f, top row first; e is half transparent.
  const Pixels file{{255, 0, 0, 255},  {0, 255, 0, 255},   {0, 0, 255, 255},
                    {10, 20, 30, 255}, {200, 100, 0, 128}, {0, 0, 0, 255}};
  std::vector<std::uint8_t> rgba;
  for (const auto& p : file) rgba.insert(rgba.end(), p.begin(), p.end());
  WritePng("abc.png", Rgba8(3, 2, rgba));
  Run("canvas 16 16\nimport " + F("abc.png") + " 4 4 Abc\n");
  // What the layer holds, seen straight again: e's red, stored as 100 at
  // alpha 128, reads back as 199.
  Pixels src = file;
  src[4] = {199, 100, 0, 128};

  Run("export-view Abc " + F("zoom2.png") + " 2 0 nearest");
  const Pixels zoomed = FilePixels("zoom2.png", 6, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(zoomed[y * 6 + x], src[(y / 2) * 3 + x / 2]) << x << "," << y;
    }
  }
  // Counter-clockwise as seen: the right column becomes the top row.
  Run("export-view Abc " + F("turn.png") + " 1 90 nearest\nexport-view Abc " + F("half.png") +
      " 1 180 nearest\nexport-view Abc " + F("same.png") + " filter=bicubic");
  EXPECT_EQ(FilePixels("turn.png", 2, 3), (Pixels{src[2], src[5], src[1], src[4], src[0], src[3]}));
  EXPECT_EQ(FilePixels("half.png", 3, 2), (Pixels{src[5], src[4], src[3], src[2], src[1], src[0]}));
  // Without zoom or turn every filter copies.
  EXPECT_EQ(FilePixels("same.png", 3, 2), src);
}

TEST_F(PixelCommands, FlipMirrorsWithinTheLayersContent) {
  WritePng("abc.png", Rgba8(3, 2, {1, 0, 0, 255, 2, 0, 0, 255, 3, 0, 0, 255,  //
                                   4, 0, 0, 255, 5, 0, 0, 255, 6, 0, 0, 255}));
  Run("canvas 16 16\nimport " + F("abc.png") + " 2 3 Abc\n");
  const std::pair<const char*, std::vector<int>> steps[] = {{"horizontal", {3, 2, 1, 6, 5, 4}},
                                                            {"vertical", {6, 5, 4, 3, 2, 1}},
                                                            {"both", {1, 2, 3, 4, 5, 6}}};
  for (const auto& [direction, reds] : steps) {
    Run(std::string("flip Abc ") + direction + "\nexport Abc " + F("flip.png"));
    std::vector<int> got;
    for (const auto& p : FilePixels("flip.png", 3, 2)) got.push_back(p[0]);
    EXPECT_EQ(got, reds) << direction;
  }
  EXPECT_EQ(Bounds(1), (std::vector<int>{2, 3, 3, 2}));
}

TEST_F(PixelCommands, PasteBlendsUnderTheChosenFactors) {
  WritePng("stamp.png",
           Rgba8(2, 2, {255, 0, 0, 128, 255, 0, 0, 128, 255, 0, 0, 128, 255, 0, 0, 128}));
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
  EXPECT_EQ(FilePixels("out.png", 2, 2), Repeat({255, 0, 0, 128}, 4));
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
  Run("canvas 32 16\nadd-layer Paper\nfill Paper 0 0 4 4 #102030\nadd-mask Fade\n"
      "add-shape-layer Lines\nadd-layer Empty\n");
  // Generic argument checks (ranges, choices, colour words) are the command
  // table's, and the PNG reader's and writer's messages PngFiles'; these are
  // the pixel commands' own.
  const std::string p = Path("");
  const std::string paste = " (usage: paste <layer> <file> [<x>=0] [<y>=0] [<src>=1] [<dst>=7])";
  const std::string partial = "export: give all of <x>, <y>, <width> and <height>, or none";
  ExpectRefused({
      {"fill Paper 30 0 4 4 #FFFFFF",
       "fill: the rectangle (4 x 4 at 30,0) reaches outside canvas 0 (32 x 16)"},
      {"fill Lines 0 0 4 4 #FFFFFF",
       "fill: layer 3 is a shape layer; its pixels are drawn from its shapes"},
      {"fill " + std::string(1000, 'M') + " 0 0 4 4 #FFFFFF",
       "fill: there is no layer named \"" + std::string(40, 'M') + "...\" in canvas 0"},
      {"import " + F("missing.png"),
       "import: cannot open '" + p + "missing.png': No such file or directory"},
      {"import " + F("stamp.png") + " name=Paper", "import: layer 1 is already named \"Paper\""},
      {"import-mask " + F("stamp.png"),
       "import-mask: '" + p + "stamp.png' is not a greyscale PNG without alpha"},
      {"paste Paper " + F("stamp.png") + " 0 0 5 7",
       "paste: <src> must be 0, 1, 6, 7, 8 or 9, got '5'" + paste},
      {"paste Paper " + F("wide.png"),
       "paste: '" + p + "wide.png' (40 x 1 at 0,0) reaches outside canvas 0 (32 x 16)"},
      {"paste Fade " + F("stamp.png"),
       "paste: '" + p + "stamp.png' is not a greyscale PNG without alpha"},
      {"export Paper " + F("x.png") + " 0 0 4", partial},
      {"export Empty " + F("x.png"), "export: layer 4 holds no pixels; give a rectangle to export"},
      {"export Paper " + F(""),
       "export: cannot write '" + p +
           "': it is a directory, not a regular file; refusing to replace it"},
      {"flip Lines both", "flip: layer 3 is a shape layer; its pixels are drawn from its shapes"},
  });
  EXPECT_FALSE(fs::exists(Path("x.png")));
  // Nothing but the test's own files: no temporary file was left behind.
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 2);

  Run("canvas 300 300\nadd-layer Big\nfill Big 0 0 300 300 #FFFFFF");
  EXPECT_EQ(Refused("export-view Big " + F("big.png") + " 64"),
            "export-view: the view would be 19200 x 19200 pixels; an image may be at most 16384 x "
            "16384");
  EXPECT_FALSE(fs::exists(Path("big.png")));
}

// A page the store cannot read back from its swap file: every command that
// needs it fails with the store's reason, and no file is written from the
// pixels it could not read. The store stays latched afterwards, so this
// runs in a process of its own.
TEST(PixelStore, AFailedSwapReadFailsTheCommandAndWritesNoFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        brenmark::host::ReferenceHost host;
        std::string problem;
        if (!host.SetMemoryBudget("12", &problem)) std::exit(2);
        std::ostringstream out;
        brenmark::tool::Session session(host, out);
        session.Start();
        brenmark::tool::CommandRegistry registry;
        brenmark::tool::RegisterAllCommands(registry, session);
        std::ostringstream errors;
        brenmark::tool::ScriptRunner runner(registry, errors, nullptr);
        if (!runner.RunLine("canvas 2048 2048").empty() || !runner.RunLine("add-layer P").empty())
          std::exit(3);
        // 16 MiB of pages that no fill can make uniform: most go to swap.
        ilImage* image =
            Brenmark.GetLayerStack(PntCurrentLayerStack())->GetLayerFromIndex(1)->GetImage();
        std::vector<std::uint32_t> row(2048);
        for (int y = 0; y < 2048; ++y) {
          for (int x = 0; x < 2048; ++x) row[x] = 0xFF000000u | (x * 2654435761u + y * 40503u);
          image->setTile(0, y, 2048, 1, row.data());
        }
        if (GetSmartImageCacheStatistics().swappedPages < 64) std::exit(4);
        brenmark::platform::InjectReadFailures(-1);
        const std::string file =
            std::string(BRENMARK_BINARY_DIR) + "/store-fail-" + std::to_string(getpid()) + ".png";
        const std::string quoted = brenmark::tool::QuoteWord(file);
        int code = 0;
        for (const std::string line :
             {"export P " + quoted + " 0 0 2048 2048", "export-composite P " + quoted,
              "export-view P " + quoted + " 0.5",
              std::string("fill P 0 0 2048 2048 #FF000080 over"), std::string("flip P both")}) {
          const std::string want = line.substr(0, line.find(' ')) +
                                   ": the page store could not read image data back from its "
                                   "swap file; results would be wrong";
          const std::string got = runner.RunLine(line);
          if (got != want || std::filesystem::exists(file)) {
            std::fprintf(stderr, "%s\n  got: %s\n", line.c_str(), got.c_str());
            code = 5;
          }
        }
        brenmark::platform::InjectReadFailures(0);
        std::exit(code);
      },
      testing::ExitedWithCode(0), "");
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

  SmartImageCacheStatistics fixed;
  std::ostringstream text;
  brenmark::tool::PrintStoreStatistics(text, fixed);
  EXPECT_EQ(text.str(), "page cache: not in use yet\n");
  fixed = {true, 67108864, 196608, 8192, 12, 3, 2, 4, 1, 5, 6, 7, 9};
  text.str("");
  brenmark::tool::PrintStoreStatistics(text, fixed);
  EXPECT_EQ(text.str(),
            "page cache:\n  budget bytes: 67108864\n  bytes in memory: 196608\n"
            "  big pages in memory: 2\n  small pages in memory: 4\n  retained pages: 1\n"
            "  swapped pages: 5\n  swap slots in use: 7\n  pages to scan: 6\n  hits: 12\n"
            "  misses: 3\n  smart images: 9\n");
}

// The whole canvas as its view shows it: hidden and nearly transparent
// layers left out, opacity, stencils and the background applied, then zoomed
// and turned like export-view.
TEST_F(PixelCommands, ExportCanvasShowsWhatTheViewShows) {
  Run("canvas 4 2\nadd-layer Bottom\nfill Bottom 0 0 3 2 #FF0000\nadd-layer Top\n"
      "fill Top 1 0 3 2 0,0,255,128\n");
  // Rows top first: r red, b half blue over red, w half blue over the white
  // background, W the background, p a quarter blue over the background.
  const std::map<char, std::vector<int>> colours = {{'r', {255, 0, 0, 255}},
                                                    {'b', {127, 0, 128, 255}},
                                                    {'w', {127, 127, 255, 255}},
                                                    {'W', {255, 255, 255, 255}},
                                                    {'p', {191, 191, 255, 255}}};
  const struct {
    std::string script;  // run before the export
    std::string args;
    int width;
    std::string rows;
  } cases[] = {
      {"", "", 4, "rbbwrbbw"},
      {"hide-layer Top", "", 4, "rrrWrrrW"},
      {"show-layer Top\nopacity Top 0.001", "", 4, "rrrWrrrW"},
      {"opacity Top 0.5\nhide-layer Bottom", "", 4, "WpppWppp"},
      {"opacity Top 1\nshow-layer Bottom\nhide-paint Top", "", 4, "rrrWrrrW"},
      {"show-paint Top", "2 0 nearest", 8, "rrbbbbwwrrbbbbwwrrbbbbwwrrbbbbww"},
      {"", "1 90 nearest", 2, "wwbbbbrr"},
  };
  for (const auto& c : cases) {
    if (!c.script.empty()) Run(c.script + "\n");
    Run("export-canvas " + F("canvas.png") + " " + c.args + "\n");
    Pixels expected;
    for (char k : c.rows) expected.push_back(colours.at(k));
    const int height = static_cast<int>(c.rows.size()) / c.width;
    EXPECT_EQ(FilePixels("canvas.png", c.width, height), expected) << c.script << " | " << c.args;
  }
  const std::string before = AllPixels();
  Run("export-canvas " + F("again.png") + "\n");
  EXPECT_EQ(AllPixels(), before);  // showing changes no layer
  EXPECT_NE(Refused("export-canvas " + F("x.png") + " 0").find("zoom"), std::string::npos);
  Run("canvas 2 2\n");
  EXPECT_EQ(Refused("export-canvas " + F("x.png")),
            "export-canvas: the canvas has no layers to show");
  EXPECT_FALSE(std::filesystem::exists(Path("x.png")));
}

}  // namespace