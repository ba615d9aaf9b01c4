// The flood-fill, wand, blur and sharpen commands in-process: a fill over a
// painted picture against its reference image, the selection the wand
// leaves, undo, the blur's spread past the old bounds, rectangles that
// confine a filter, no-op parameters, and bad lines refused with every layer
// unchanged.
#include <array>

#include "golden_image.h"
#include "tool_fixture.h"

using namespace brenmark::tool::test;

namespace {

using FloodCommands = ToolTest;
using FilterCommands = ToolTest;

// Blue with patches 2 and 16 levels off it, a red ring, and a region that
// crosses the page seam at x = 128.
const char* const kPicture =
    "canvas 160 96\nadd-layer L\nfill L 0 0 160 96 #3060A0\n"
    "fill L 20 20 30 30 #3262A2\nfill L 60 10 20 70 #4070B0\n"
    "fill L 100 20 50 50 #FF0000\nfill L 110 30 30 30 #3060A0\n";

TEST_F(FloodCommands, FillOverAPaintedPictureMatchesItsReference) {
  Run(std::string(kPicture) + "flood-fill 5 5 #FFD00080 0.02\n");
  golden::Image img{160, 96, 4, {}};
  const Pixels px = EnginePixels(1, 0, 0, 160, 96);
  for (int y = 95; y >= 0; --y) {
    for (int x = 0; x < 160; ++x) {
      for (int v : px[static_cast<std::size_t>(y) * 160 + x]) img.pixels.push_back(v);
    }
  }
  EXPECT_TRUE(golden::MatchesGolden("flood_fill_tolerance", img));
  EXPECT_EQ(EnginePixel(1, 25, 25), (std::vector<int>{128, 104, 0, 128}));   // 2 levels off
  EXPECT_EQ(EnginePixel(1, 70, 40), (std::vector<int>{64, 112, 176, 255}));  // 16 off: kept
  EXPECT_EQ(EnginePixel(1, 120, 40), (std::vector<int>{48, 96, 160, 255}));  // inside the ring
  Run("undo\n");
  EXPECT_EQ(EnginePixel(1, 25, 25), (std::vector<int>{50, 98, 162, 255}));
}

TEST_F(FloodCommands, WandSelectsTheRegionAndAddKeepsTheSelection) {
  Run(std::string(kPicture) + "wand 120 40 0\n");
  // Each wand is recorded for undo: the selection then holds a new image.
  // Selection values at (x, y): 0 is selected.
  const auto expect = [](std::vector<std::array<int, 3>> probes) {
    for (const auto& [x, y, want] : probes) {
      std::uint8_t v = 0;
      Brenmark.GetLayerStack(-2)->GetSelectionMask()->GetImage()->getTile(x, y, 1, 1, &v);
      EXPECT_EQ(v, want) << x << "," << y;
    }
  };
  expect({{110, 30, 0}, {139, 59, 0}, {109, 30, 255}, {5, 5, 255}});
  Run("wand 25 25 0 add\n");
  expect({{25, 25, 0}, {120, 40, 0}, {5, 5, 255}});
  Run("undo\n");
  expect({{25, 25, 255}, {120, 40, 0}});
}

TEST_F(FilterCommands, BlurSpreadsAsFarAsItsRadiusAndKeepsFlatAreas) {
  Run("canvas 300 300\nadd-layer L\nfill L 100 100 50 50 #FF0000\nblur L 3\n");
  EXPECT_EQ(EnginePixel(1, 125, 125), kRed);
  EXPECT_EQ(EnginePixel(1, 96, 125), kClear);  // 4 from the edge: beyond the radius
  EXPECT_NE(EnginePixel(1, 97, 125), kClear);
  EXPECT_NE(EnginePixel(1, 100, 125), kRed);
  EXPECT_EQ(Bounds(1), (std::vector<int>{97, 97, 56, 56}));
}

TEST_F(FilterCommands, ARectangleConfinesTheChange) {
  Run("canvas 300 300\nadd-layer L\nfill L 100 100 50 50 #FF0000\n"
      "blur L 3 100 100 10 50\n");
  EXPECT_EQ(EnginePixel(1, 99, 125), kClear);  // outside the rectangle
  EXPECT_EQ(EnginePixel(1, 149, 125), kRed);   // the far edge, also outside
  EXPECT_NE(EnginePixel(1, 100, 125), kRed);   // inside, at the edge
  EXPECT_EQ(EnginePixel(1, 105, 125), kRed);   // inside, flat
  Run("sharpen L 2 1.5 140 100 10 50\n");
  EXPECT_EQ(EnginePixel(1, 100, 125)[0] < 255, true);  // outside: still the blur's
  EXPECT_EQ(EnginePixel(1, 145, 125), kRed);
}

TEST_F(FilterCommands, SharpenMovesEdgesOnlyAndZeroParametersChangeNothing) {
  Run("canvas 64 64\nadd-layer L\nfill L 0 0 64 64 #404040\nfill L 20 20 10 10 #C0C0C0\n");
  const std::string before = AllPixels();
  Run("sharpen L 0 3\nsharpen L 5 0.5\nblur L 0\nblur L 0.9\n");
  EXPECT_TRUE(AllPixels() == before);
  Run("sharpen L 0.5 1.5\n");
  EXPECT_EQ(EnginePixel(1, 25, 25), (std::vector<int>{192, 192, 192, 255}));
  EXPECT_EQ(EnginePixel(1, 5, 5), (std::vector<int>{64, 64, 64, 255}));
  EXPECT_GT(EnginePixel(1, 20, 25)[0], 192);  // the bright side of the edge brightens
  EXPECT_LT(EnginePixel(1, 19, 25)[0], 64);   // the dark side darkens
}

TEST_F(FloodCommands, BadLinesAreRefusedAndChangeNothing) {
  Run(std::string(kPicture) + "add-shape-layer S\nselect-layer L\n");
  ExpectRefused({
      {"blur L 3 0 0 5", "blur: give all of <x>, <y>, <width> and <height>, or none"},
      {"blur S 3", "blur: layer 2 is a shape layer; its pixels are drawn from its shapes"},
      {"blur Nope 3", ""},
      {"blur L -1", ""},
      {"sharpen L 1 11", ""},
      {"sharpen L 101 1", ""},
      {"flood-fill 160 5 #FF0000 0",
       "flood-fill: the point 160,5 lies outside canvas 0 (160 x 96)"},
      {"flood-fill 5 -1 #FF0000 0", "flood-fill: the point 5,-1 lies outside canvas 0 (160 x 96)"},
      {"wand 5 96 0", "wand: the point 5,96 lies outside canvas 0 (160 x 96)"},
      {"flood-fill 5 5 #FF0000 1.5", ""},
      {"flood-fill 5 5 red 0", ""},
      {"wand 5 5 0 both", ""},
      {"flood-fill 5 5 #FF0000 0",
       "flood-fill: layer 2 is a shape layer; its pixels are drawn from its shapes",
       "select-layer S"},
  });
}

}  // namespace
