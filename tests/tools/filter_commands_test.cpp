// The blur and sharpen commands in-process: the blur's spread past the old
// bounds, rectangles that confine the change, no-op parameters, and bad
// lines refused with every layer unchanged.
#include "tool_fixture.h"

using namespace brenmark::tool::test;

namespace {

using FilterCommands = ToolTest;

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

TEST_F(FilterCommands, BadLinesAreRefusedAndChangeNothing) {
  Run("canvas 64 64\nadd-layer L\nfill L 10 10 10 10 #FF0000\nadd-shape-layer S\n");
  ExpectRefused(
      {{"blur L 3 0 0 5", "blur: give all of <x>, <y>, <width> and <height>, or none"},
       {"blur S 3", "blur: layer 2 is a shape layer; its pixels are drawn from its shapes"},
       {"blur Nope 3", ""},
       {"blur L -1", ""},
       {"sharpen L 1 11", ""},
       {"sharpen L 101 1", ""}});
}

}  // namespace
