// The shape commands in-process: filled and stroked shapes on a shape layer
// exported and compared with their reference images, exact pixels where the
// arithmetic is simple, and bad lines refused with nothing changed.
#include <brenmark/shape.h>

#include "tool_fixture.h"

using namespace brenmark::tool::test;

namespace {

using ShapeCommands = ToolTest;

TEST_F(ShapeCommands, ExportedShapesMatchTheirReferences) {
  const struct {
    const char* golden;
    int size;
    std::string lines;
  } cases[] = {
      {"shape_filled_ellipse", 96, "shape-ellipse 48 40 36 22.5 fill=#FFD000\n"},
      {"shape_stroked_spline", 96, "shape-spline 8,20,30,80,60,30,88,70 stroke=#2040A0 radius=3\n"},
      {"shape_star_opacity", 96,
       "shape-polygon 48,4,57,32,87,32,63,50,72,78,48,61,24,78,33,50,9,32,39,32 fill=#C02020 "
       "fill-opacity=0.5 stroke=#000000 radius=1\n"},
      // Across the corner where four pages meet, edges half a pixel in.
      {"shape_rect_page_corner", 192,
       "shape-rect 110.5 118.5 30 20 fill=#00A000 stroke=#FFFFFF80 radius=1.5\n"},
  };
  for (const auto& c : cases) {
    const std::string n = std::to_string(c.size);
    Run("canvas " + n + " " + n + "\nadd-shape-layer S\n" + c.lines + "export S " +
        F(std::string(c.golden) + ".png") + " 0 0 " + n + " " + n + "\n");
    EXPECT_TRUE(MatchesGoldenFile(std::string(c.golden) + ".png", c.golden));
  }
}

TEST_F(ShapeCommands, FillCoverageAndOpacityGiveExactPixels) {
  Run("canvas 192 192\nadd-shape-layer S\n"
      "shape-rect 100 100 60 40 fill=#FFFFFF\n"
      "shape-rect 10 10 20 20 fill=#FF8000 fill-opacity=0.5\n");
  EXPECT_EQ(Brenmark.GetNumShapes(1, -2), 2);
  // Each shape is one undo step: its pixels and its place in the list. The
  // orange's coverage 255 scaled by 128 / 256 is 127; colour bytes times 127 / 256.
  const std::vector<int> orange{126, 63, 0, 126}, white{255, 255, 255, 255}, none{0, 0, 0, 0};
  for (const auto& [line, shapes, at20, at128] : {std::tuple{"undo", 1, none, white},
                                                  {"redo", 2, orange, white},
                                                  {"undo 2", 0, none, none}}) {
    Run(std::string(line) + "\n");
    EXPECT_EQ(Brenmark.GetNumShapes(1, -2), shapes) << line;
    EXPECT_EQ(EnginePixel(1, 20, 20), at20) << line;
    EXPECT_EQ(EnginePixel(1, 128, 128), at128) << line;
  }
}

TEST_F(ShapeCommands, AShapeOnAMaskShapeLayerGivesItsLuminance) {
  Run("canvas 64 64\nadd-layer L\nadd-shape-layer M mask\n"
      "shape-rect 8 8 40 40 fill=#FFFFFF\nshape-rect 50 50 8 8 fill=#FF0000\n");
  EXPECT_EQ(EnginePixel(2, 54, 54), (std::vector<int>{76}));  // 255 * 77 >> 8
  // Inverting flips the shape's own mask, so the space around it is covered.
  Run("add-shape-layer N mask\nshape-rect 8 8 40 40 fill=#FFFFFF\ninvert-mask N\n");
  EXPECT_EQ(EnginePixels(3, 62, 62, 2, 2), Repeat({255}, 4));
}

TEST_F(ShapeCommands, BadLinesAreRefusedAndChangeNothing) {
  Run("canvas 96 64\nadd-layer L\nfill L 0 0 10 10 #102030\nadd-shape-layer S\n"
      "shape-rect 4 4 10 10 fill=#FF0000\n");
  ExpectRefused({
      {"shape-rect 1 1 5 5",
       "shape-rect: give fill=<colour>, stroke=<colour> or both; the shape would draw nothing"},
      {"shape-polygon 1,1,5,5 fill=#FF0000", "shape-polygon: at least 3 points are needed; got 2"},
      {"shape-polygon 1,1,5,5,9 fill=#FF0000",
       "shape-polygon: points need an x and a y each; got 5 numbers"},
      {"shape-spline 1,2,x,4 stroke=#FF0000",
       "shape-spline: points must be numbers separated by commas, x and y in turn: '1,2,x,4'"},
      {"shape-ellipse 400 10 50 5 fill=#FF0000",
       "shape-ellipse: the point 450,15 lies more than 256 pixels outside canvas 0 (96 x 64)"},
      {"shape-rect 1 1 5 5 fill=#FF0000 radius=0", ""},
      {"shape-rect 1 1 5 5 fill=#FF0000 fill-opacity=1.5", ""},
      {"shape-rect 1 1 0 5 fill=#FF0000", ""},
      {"shape-rect 1 1 5 5 fill=red", ""},
      {"shape-rect 1 1 5 5 fill=#FF0000",
       "shape-rect: layer 1 is not a shape layer (add one with add-shape-layer)", "select-layer L"},
  });
  EXPECT_EQ(Brenmark.GetNumShapes(2, -2), 1);
}

}  // namespace
