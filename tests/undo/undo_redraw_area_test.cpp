// Undoing and redoing a stroke of the current layer shows again only the
// pages the stroke wrote: the composites of the other layers stay as they
// are (rebuilding them reads every page of every layer, which under a
// small page budget means reading most of the canvas back from swap).
#include <cstdint>
#include <vector>

#include "brenmark/qv_memory_img.h"
#include "layers/engine_fixture.h"
#include "manager/command_undo.h"

namespace brenmark::testing {
namespace {

constexpr int kW = 400, kH = 300;

class UndoRedrawArea : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    PaintUndoList.FlushUndoList(nullptr);
    host_.SetDefaultViewSize(kW, kH);
    NewStack();
    PntNewLayer(-2, false);
    PntNewLayer(-2, false);
    Paint(2, ilTile(0, 0, 0, kW, kH, 1), 0x80);  // the layer above covers all
    Brenmark.SetCurrentLayer(1, -2);
  }
  void TearDown() override {
    EngineTest::TearDown();
    PaintUndoList.FlushUndoList(nullptr);
  }
  static void Paint(int index, const ilTile& r, std::uint8_t value) {
    const std::uint8_t px[4] = {value, value, value, value};
    ilImage* image = Brenmark.GetLayerStack(-2)->GetLayerFromIndex(index)->GetImage();
    ASSERT_EQ(image->fillTile(r.x, r.y, r.nx, r.ny, px), ilOkay);
  }
  // The view against a fresh composition of the whole canvas (which shows
  // it, so the view is read first).
  bool ViewIsComposite() {
    const std::uint32_t* view =
        host_.ViewPixels(Brenmark.CB()->GetViewOfWindow(Stack()->GetWindow()));
    const std::vector<std::uint32_t> shown(view, view + kW * kH);
    ilQVMemoryImg* composite = Stack()->GetCompositeImage();
    const auto* p = static_cast<const std::uint32_t*>(composite->getDataPtr());
    const bool same = shown == std::vector<std::uint32_t>(p, p + kW * kH);
    composite->unref();
    return same;
  }
};

TEST_F(UndoRedrawArea, OnlyThePagesTheStrokeWroteAreShownAgain) {
  struct Case {
    int layer;
    std::vector<ilTile> writes;
    ilTile shown;  // the update region after undo and after redo
  };
  const Case cases[] = {
      {1, {ilTile(127, 127, 0, 2, 2, 1)}, ilTile(0, 0, 0, 256, 256, 1)},  // four pages
      {1, {ilTile(kW - 1, kH - 1, 0, 1, 1, 1)}, ilTile(384, 256, 0, 16, 44, 1)},
      {1, {ilTile(5, 5, 0, 1, 1, 1), ilTile(300, 200, 0, 1, 1, 1)}, ilTile(0, 0, 0, 384, 256, 1)},
      {1, {}, ilTile(0, 0, 0, 0, 0, 1)},
      {2, {ilTile(0, 0, 0, 1, 1, 1)}, ilTile(0, 0, 0, kW, kH, 1)},  // not current: all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layer * 10 + static_cast<int>(c.writes.size()));
    {
      CommandUndo record(Brenmark, UndoRecordKind::kLayerStroke, -2, c.layer);
      for (const ilTile& r : c.writes) Paint(c.layer, r, 0xF0);
      record.Commit();
    }
    Stack()->SetDisplayUpdate(false);
    Stack()->RedrawEntireCanvas(true, true);
    ASSERT_TRUE(ViewIsComposite());
    for (bool undo : {true, false}) {
      Stack()->SetDisplayUpdate(true);  // the region stays to be read
      Stack()->ResetUpdateRegion();
      ASSERT_TRUE(undo ? PaintUndoList.Undo() : PaintUndoList.Redo());
      ilTile region = Stack()->GetUpdateRegion();
      if (region.nx <= 0 || region.ny <= 0) region = ilTile(0, 0, 0, 0, 0, 1);
      EXPECT_EQ(region, c.shown) << undo;
      Stack()->SetDisplayUpdate(false);
      Stack()->ForceUpdate();
      EXPECT_TRUE(ViewIsComposite()) << undo;
    }
  }
}

}  // namespace
}  // namespace brenmark::testing
