// Layer stack and its window: the callbacks of construction and destruction,
// viewer parameters, in-front flag, coordinate conversions, offsets, pivots
// and the structure dump.
#include <array>
#include <cstdio>
#include <tuple>

#include "layers/engine_fixture.h"
#include "manager/debug_selector.h"

namespace brenmark::testing {
namespace {

class LayerStackView : public EngineTest {};

TEST_F(LayerStackView, ConstructionAsksTheApplicationForWindowColourAndView) {
  host_.SetBackgroundColor(0xFF336699u);
  host_.ResetCounts();
  int h = NewStack();
  LayerStack* s = Stack(h);
  // Once each (no timer), and the view and change notices at least once.
  const auto calls = [this](auto... cb) { return std::array{host_.CallCount(cb)...}; };
  EXPECT_EQ(calls(kCbCreateStackWindow, kCbStackConstructed, kCbGetBackgroundColor,
                  kCbGetViewPixels, kCbStartTimer),
            (std::array{1, 1, 1, 1, 0}));
  for (int n : calls(kCbGetViewOfWindow, kCbGetViewSize, kCbLayerStackChanged)) EXPECT_GE(n, 1);
  const host::HostWindow* w = host_.Window(s->GetWindow());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ((std::tuple{w->layerStackHandle, w->constructedNotices}), (std::tuple{h, 1}));
  PaintColor expected;
  expected.Set(0xFF336699u);
  EXPECT_EQ(s->GetBackgroundColor(), expected);
  EXPECT_EQ(s->GetSize(), ilTile(0, 0, 0, 64, 48, 1));

  int window = s->GetWindow();
  Brenmark.DeleteLayerStack(h);
  EXPECT_EQ(host_.Window(window)->destroyingNotices, 1);
}

// Viewer parameters and the in-front flag live in the application: each
// change is handed over once.
TEST_F(LayerStackView, ViewerParametersAndInFrontLiveInTheApplication) {
  ViewerParms parms;
  parms.words[0] = 0xABCu;
  LayerStack* s = Stack(Brenmark.AddLayerStack(parms));
  EXPECT_EQ(s->GetViewerParms().words[0], 0xABCu);
  ViewerParms other;
  other.words[2] = 7;
  s->SetViewerParms(other);
  EXPECT_EQ(host_.Window(s->GetWindow())->viewerParmsSets, 1);
  EXPECT_EQ(s->GetViewerParms(), other);
  host_.ResetCounts();
  s->SetInFront(true);
  s->SetInFront(true);
  EXPECT_TRUE(s->isInFront());
  EXPECT_EQ(host_.CallCount(kCbSetViewInFront), 1);
  EXPECT_TRUE(host_.Window(s->GetWindow())->inFront);
}

TEST_F(LayerStackView, ScreenAndLayerCoordinatesRoundTrip) {
  LayerStack* s = Stack(NewStack());
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  s->GetLayerFromIndex(1)->SetOffset(2.9f, -1.2f);
  s->SetLayerStackOffset(5, 6);
  s->SetTransform(LayerStackTransform(10.0f, 20.0f, 2.0f, 2.0f, 0.0f, 0.0f, 0.0f));
  float x = 100.0f, y = 50.0f;
  // Centre (32, 24) from the view: ((100 - 32 + 10) / 2 + 16, (50 - 24 + 20) / 2 + 12),
  // less the stack offset (5, 6) and the layer offset (2, -1).
  s->ScreenToCurrentLayerCoords(x, y, -2);
  EXPECT_FLOAT_EQ(x, 48.0f);
  EXPECT_FLOAT_EQ(y, 30.0f);
  s->CurrentLayerToScreenCoords(x, y, -2);
  EXPECT_FLOAT_EQ(x, 100.0f);
  EXPECT_FLOAT_EQ(y, 50.0f);
  // A rotated view keeps its rotation and takes the view's centre.
  s->SetTransform(LayerStackTransform(0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 30.0f));
  s->ScreenToCurrentLayerCoords(x, y, -2);
  EXPECT_FLOAT_EQ(s->GetTransform().GetDegree(), 30.0f);
  EXPECT_FLOAT_EQ(s->GetTransform().GetXCenter(), 32.0f);
  s->CurrentLayerToScreenCoords(x, y, -2);
  EXPECT_NEAR(x, 100.0f, 1e-3);
  EXPECT_NEAR(y, 50.0f, 1e-3);
}

TEST_F(LayerStackView, PivotsTravelInStackCoordinates) {
  LayerStack* s = Stack(NewStack());
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  s->SetLayerStackOffset(5, 6);
  s->SetCurrentLayerPivot(LayerPivot(30.0f, 40.0f, true), 1);
  LayerPivot stored = s->GetLayerFromIndex(1)->GetPivot();
  EXPECT_FLOAT_EQ(stored.x, 25.0f);
  EXPECT_FLOAT_EQ(stored.y, 34.0f);
  LayerPivot p;
  s->GetCurrentLayerPivot(p, 1);
  EXPECT_FLOAT_EQ(p.x, 30.0f);
  EXPECT_FLOAT_EQ(p.y, 40.0f);
  EXPECT_TRUE(p.valid);
  s->GetCurrentLayerPivot(p, 8);
  EXPECT_EQ(p.x, 0.0f);
  EXPECT_FALSE(p.valid);
}

TEST_F(LayerStackView, DumpPrintsOnlyForTheStructureSelector) {
  ViewerParms parms;
  parms.words[0] = 0x5EEDu;
  LayerStack* s = Stack(Brenmark.AddLayerStack(parms));
  int index = s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  s->SetLayerName("Ground", index);
  index = s->AddLayer(nullptr, nullptr, false, true, true, -2, true);
  s->SetLayerName("Lines", index);
  s->SetLayerActive(index, false);
  auto* shape = new Shape(s->GetLayerFromIndex(index));
  s->AddShape(shape, 0, index);

  host_.SetDebugSelector(8213);
  ::testing::internal::CaptureStderr();
  s->debug();
  EXPECT_EQ(StopCapture(), "");

  host_.SetDebugSelector(8214);
  ::testing::internal::CaptureStderr();
  s->debug();
  char shapeLine[160];
  std::snprintf(shapeLine, sizeof shapeLine,
                "\tShape[%x][%s] handle[%x] active[1] next[0] prev[0]\n", DebugWord(shape),
                shape->GetShapeName(), static_cast<unsigned>(shape->GetHandleValue()));
  char linesLine[160];
  std::snprintf(linesLine, sizeof linesLine,
                "Layer[Lines] active[0] isGeometry[1] numShape[1] topShape[%x] bottomShape[%x]\n",
                DebugWord(shape), DebugWord(shape));
  EXPECT_EQ(StopCapture(), std::string("\n<<<< LayerStack [begin] window[5eed] >>>>\n") +
                               "Layer[Ground] active[1] isGeometry[0] numShape[0] topShape[0] "
                               "bottomShape[0]\n" +
                               linesLine + shapeLine + "\n<<<< LayerStack [end] >>>>\n");
}

}  // namespace
}  // namespace brenmark::testing
