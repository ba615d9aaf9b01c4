// The brush commands: brush settings, inline strokes, pen-sample replays
// (relative names from the script's folder) and their refusals.
#include "manager/paint_state.h"
#include "tool_fixture.h"

namespace brenmark::tool::test {
namespace {

// Every test paints from the library's starting state, so its pixels are
// exact whatever ran before it.
class BrushCommands : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    brenmark::testing::ResetPaintState();
  }
};

TEST_F(BrushCommands, PressureScalesTheRadius) {
  Run("canvas 64 48\nadd-layer L\nbrush #FF0000 radius=4\nstroke 10 20 1 40 20 1\n"
      "stroke 10 40 0.5 40 40 0.5\n");
  // Full pressure reaches 4 pixels from the line, half pressure 2.
  const struct {
    int x, y;
    bool painted;
  } cells[] = {{25, 20, true}, {9, 20, true},  {25, 17, true},  {25, 24, false}, {45, 20, false},
               {25, 40, true}, {25, 38, true}, {25, 37, false}, {25, 43, false}};
  for (const auto& c : cells)
    EXPECT_EQ(EnginePixel(1, c.x, c.y)[3] != 0, c.painted) << c.x << "," << c.y;
  EXPECT_EQ(EnginePixel(1, 25, 20), kRed);
}

TEST_F(BrushCommands, ReplayPaintsAsTheInlineStroke) {
  WriteBytes(Path("s.pen"), "# t x y pressure\n0 10 20 1\n\n16 40 20 1 0 0\n");
  // From the same dither state and random draws the pixels are the same to
  // the bit; the second stroke meets a warm dab cache.
  Run("canvas 64 48\nadd-layer A\nbrush #FF0000 radius=4\nstroke 10 20 1 40 20 1\nadd-layer B\n");
  brenmark::testing::ResetPaintState(true);
  session.SetScriptFolder(Path(""));
  Run("replay s.pen\n");
  EXPECT_EQ(EnginePixels(1, 0, 0, 64, 48), EnginePixels(2, 0, 0, 64, 48));
  EXPECT_EQ(EnginePixel(2, 25, 20), kRed);
  EXPECT_EQ(Refused("replay none.pen"), "replay: cannot open '" + Path("none.pen") + "'");
  session.SetScriptFolder("");
  EXPECT_EQ(Refused("replay none.pen"), "replay: cannot open 'none.pen'");
  out.str("");
  Run("print-path " + F("s.pen") + "\n");
  EXPECT_EQ(out.str(), Path("s.pen") + "\n");
  EXPECT_EQ(Refused("print-path " + F("none.png")),
            "print-path: there is no file '" + Path("none.png") + "'");
}

TEST_F(BrushCommands, BadSampleFilesAreReportedByLineAndPaintNothing) {
  Run("canvas 64 48\nadd-layer L\n");
  const std::string before = AllPixels();
  const struct {
    const char* text;
    const char* problem;
  } cases[] = {
      {"0 1 2 0.5\n1 3 4 1.5\n", "s.pen:2: pressure outside 0..1"},
      {"0 1 2\n", "s.pen:1: expected t x y pressure [tilt-x tilt-y], found 3 words"},
      {"0 1 2 0.5 1\n", "s.pen:1: expected t x y pressure [tilt-x tilt-y], found 5 words"},
      {"0 1 2 0.5\n# c\n0 nan 2 0.5\n", "s.pen:3: 'nan' is not a number"},
      {"5 1 2 0.5\n4 1 2 0.5\n", "s.pen:2: time goes backwards"},
      {"0 1 2 0.5 95 0\n", "s.pen:1: tilt outside -90..90"},
      {"0 1e7 2 0.5\n", "s.pen:1: position beyond +-1000000"},
      {"# nothing\n", "s.pen: no samples"},
  };
  for (const auto& c : cases) {
    WriteBytes(Path("s.pen"), c.text);
    const std::string problem = Refused("replay " + F("s.pen"));
    EXPECT_NE(problem.find(Path(c.problem)), std::string::npos) << problem;
    EXPECT_EQ(AllPixels(), before) << c.text;
  }
}

TEST_F(BrushCommands, InlineStrokesAreChecked) {
  EXPECT_EQ(Refused("stroke 1 2 1"), "stroke: there is no canvas yet (create one with 'canvas')");
  Run("canvas 64 48\n");
  EXPECT_EQ(Refused("stroke 1 2 1"), "stroke: the canvas has no layer to paint on");
  Run("add-layer L\n");
  const struct {
    const char* line;
    const char* problem;
  } cases[] = {{"stroke 1 2", "give the points as x y pressure triples"},
               {"stroke 1 2 x", "'x' is not a number"},
               {"stroke 1 2 1 3 4 2", "point 2: pressure outside 0..1"},
               {"stroke 1 2 1 \"3\" 4 1", "too many arguments"},
               {"brush radius=300", "radius"}};
  for (const auto& c : cases) {
    const std::string problem = Refused(c.line);
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.line << ": " << problem;
  }
}

TEST_F(BrushCommands, CloneCopiesFromTheOffsetAndBlurSoftens) {
  Run("canvas 64 64\nadd-layer L\nbrush #FF0000 radius=4\nstroke 10 20 1 40 20 1\n"
      "brush mode=clone offset-y=-20\nstroke 10 40 1 40 40 1\n");
  // One pass of full coverage over nothing: 255 x 255 / 256 rounds down.
  EXPECT_EQ(EnginePixel(1, 25, 40), (std::vector<int>{254, 0, 0, 254}));
  EXPECT_EQ(EnginePixel(1, 25, 50), kClear);
  Run("brush mode=blur radius=8\nstroke 10 20 1 40 20 1\n");
  EXPECT_NE(EnginePixel(1, 25, 25), kClear);
}

}  // namespace
}  // namespace brenmark::tool::test
