// The undo list through the command frame: the bound, the redo history,
// merges, flushing a deleted stack, garbage collection, exact pixels and
// the pages a record costs.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "layers/engine_fixture.h"
#include "manager/command_undo.h"

namespace brenmark::testing {
namespace {

constexpr const char* kCannotUndo = "You cannot undo any more actions.\n";
constexpr const char* kCannotRedo = "You cannot redo any more actions.\n";

class UndoList : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    PaintUndoList.FlushUndoList(nullptr);
  }
  void TearDown() override {
    EngineTest::TearDown();
    PaintUndoList.FlushUndoList(nullptr);
  }

  static Layer* LayerAt(int index, int h = -2) {
    return Brenmark.GetLayerStack(h)->GetLayerFromIndex(index);
  }
  // A four-channel rectangle of `value` written into a layer's live image.
  static void Paint(int index, const ilTile& r, std::uint8_t value, int h = -2) {
    const std::uint8_t px[4] = {value, value, value, value};
    ASSERT_EQ(LayerAt(index, h)->GetImage()->fillTile(r.x, r.y, r.nx, r.ny, px), ilOkay);
  }
  // A paint change recorded as strokes record it.
  static void Stroke(int index, const ilTile& r, std::uint8_t value) {
    CommandUndo record(Brenmark, UndoRecordKind::kLayerStroke, -2, index);
    Paint(index, r, value);
    record.Commit();
  }
  // FNV-1a over an image's pixels in a rectangle.
  static std::uint64_t Checksum(ilImage* image, const ilTile& r) {
    if (!image) return 0;
    const int channels = image->getCsize();
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(r.nx) * r.ny * channels);
    EXPECT_EQ(image->getTile(r.x, r.y, r.nx, r.ny, buf.data()), ilOkay);
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : buf) h = (h ^ b) * 1099511628211ull;
    return h;
  }
  static std::uint8_t At(int index, int x, int y) {
    std::uint8_t px[4] = {};
    LayerAt(index)->GetImage()->getTile(x, y, 1, 1, px);
    return px[0];
  }
  std::string LastBox() const {
    return host_.MessageBoxes().empty() ? "" : host_.MessageBoxes().back().text;
  }
};

// The rectangle crosses the corner of four pages.
const ilTile kCorner(126, 126, 0, 4, 4, 1);

TEST_F(UndoList, TenMostRecentRecordsKeptAndANewOneDropsTheUndoneRecords) {
  NewStack();
  PntNewLayer(-2, false);
  PaintUndoList.FlushUndoList(nullptr);
  for (int k = 1; k <= 11; ++k) Stroke(1, kCorner, static_cast<std::uint8_t>(k * 10));
  EXPECT_EQ(PaintUndoList.Count(), 10);
  // Each undo goes back exactly one stroke, down to the state after the
  // first one (its record was the one dropped), on every page touched.
  for (int k = 10; k >= 1; --k) {
    ASSERT_TRUE(PaintUndoList.Undo());
    EXPECT_EQ((std::tuple{At(1, 126, 126), At(1, 129, 129)}), (std::tuple{k * 10, k * 10}));
  }
  EXPECT_FALSE(PaintUndoList.Undo());
  EXPECT_EQ(LastBox(), kCannotUndo);
  EXPECT_EQ((std::array{host_.MessageBoxes().back().style, host_.MessageBoxes().back().x}),
            (std::array{16, -1}));
  EXPECT_EQ(At(1, 129, 129), 10);
  for (int k = 2; k <= 11; ++k) {
    ASSERT_TRUE(PaintUndoList.Redo());
    EXPECT_EQ(At(1, 129, 129), k * 10);
  }
  EXPECT_FALSE(PaintUndoList.Redo());
  EXPECT_EQ(LastBox(), kCannotRedo);
  // A new record after two undos drops the undone records.
  ASSERT_TRUE(PaintUndoList.Undo() && PaintUndoList.Undo());
  Stroke(1, kCorner, 9);
  EXPECT_EQ((std::array{PaintUndoList.Count(), PaintUndoList.RedoCount()}), (std::array{9, 0}));
  const std::size_t boxes = host_.MessageBoxes().size();
  EXPECT_FALSE(PaintUndoList.Redo());
  EXPECT_EQ(host_.MessageBoxes().size(), boxes + 1);
  EXPECT_EQ(LastBox(), kCannotRedo);
  ASSERT_TRUE(PaintUndoList.Undo());
  EXPECT_EQ(At(1, 126, 126), 90);
}

TEST_F(UndoList, AMergeIsUndoneInOneStepStructureAndPixels) {
  const int h = NewStack();
  PntNewLayer(h, false);
  PntNewLayer(h, false);
  const ilTile area(0, 0, 0, 260, 130, 1);  // three pages wide, two high
  Paint(1, ilTile(120, 0, 0, 140, 130, 1), 40);
  Paint(2, ilTile(0, 120, 0, 259, 10, 1), 200);
  const std::uint64_t lower = Checksum(LayerAt(1)->GetImage(), area);
  const std::uint64_t upper = Checksum(LayerAt(2)->GetImage(), area);
  PaintUndoList.FlushUndoList(nullptr);
  PntMergeLayerWithBelow(Brenmark.GetLayerHandle(2, h));
  ASSERT_EQ(Brenmark.GetLayerCount(h), 1);
  const std::uint64_t merged = Checksum(LayerAt(1)->GetImage(), area);
  ASSERT_NE(merged, lower);
  EXPECT_EQ(PaintUndoList.Count(), 1);
  ASSERT_TRUE(PaintUndoList.Undo());
  ASSERT_EQ(Brenmark.GetLayerCount(h), 2);
  EXPECT_EQ(Checksum(LayerAt(1)->GetImage(), area), lower);
  EXPECT_EQ(Checksum(LayerAt(2)->GetImage(), area), upper);
  ASSERT_TRUE(PaintUndoList.Redo());
  ASSERT_EQ(Brenmark.GetLayerCount(h), 1);
  EXPECT_EQ(Checksum(LayerAt(1)->GetImage(), area), merged);
}

// Records of the deleted stack go, merges among them; a stack that later
// takes the same slot is never replaced by an undo.
TEST_F(UndoList, DeletingAStackRemovesExactlyItsRecords) {
  const int a = NewStack();
  PntNewLayer(a, false);
  PntNewLayer(a, false);
  Stroke(2, kCorner, 5);
  PntMergeLayerWithBelow(Brenmark.GetLayerHandle(2, a));
  const int b = NewStack();
  PntNewLayer(b, false);
  Stroke(1, kCorner, 7);
  ASSERT_EQ(PaintUndoList.Count(), 6);
  Brenmark.DeleteLayerStack(a);
  EXPECT_EQ(PaintUndoList.Count(), 2);
  for (const auto& r : *PaintUndoList.GetUndoList()) {
    ASSERT_TRUE(r->CheckID("SidLS"));
    EXPECT_EQ(static_cast<PntUndoLS*>(r.get())->Handle(), b);
  }
  ASSERT_EQ(NewStack(), a);
  LayerStack* fresh = Stack(a);
  while (PaintUndoList.Undo()) {
  }
  EXPECT_EQ((std::tuple{Stack(a), Brenmark.GetLayerCount(b)}), (std::tuple{fresh, 0}));
}

TEST_F(UndoList, GarbageCollectNeedsDirty) {
  NewStack();
  PntNewLayer(-2, false);
  ASSERT_EQ(PaintUndoList.Count(), 1);
  Brenmark.UndoListGarbageCollect();
  EXPECT_EQ(PaintUndoList.Count(), 1);
  Brenmark.UndoListSetDirty();
  Brenmark.UndoListGarbageCollect();
  EXPECT_EQ(PaintUndoList.Count(), 0);
  EXPECT_FALSE(PaintUndoList.IsDirty());
}

// Undo gives back the exact pixels of the layer (colour and stencil), redo
// the exact pixels after the command.
TEST_F(UndoList, PixelCommandsUndoAndRedoExactly) {
  struct Case {
    const char* name;
    bool mask;
    std::function<void(int h)> command;
  };
  const Case cases[] = {
      {"clear", false, [](int h) { PntClearCurrentLayer(h); }},
      {"invert mask", true, [](int h) { PntInvertCurrentMaskLayer(h); }},
      {"hide all paint", false, [](int h) { Brenmark.HideAllPaint(-2, h); }},
      {"erase hidden", false,
       [](int h) {
         Brenmark.HideAllPaint(-2, h);
         Brenmark.EraseHiddenPaint(-2, h);
       }},
  };
  const ilTile area(0, 0, 0, 257, 129, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int h = NewStack();
    PntNewLayer(h, false);
    if (c.mask) PntNewLayer(h, true);
    const int index = Brenmark.GetCurrentLayer(h);
    Paint(index, ilTile(1, 2, 0, 256, 127, 1), 99, h);
    Layer* layer = LayerAt(index, h);
    const std::uint64_t before = Checksum(layer->GetImage(), area);
    const std::uint64_t stencilBefore = Checksum(layer->GetStencil(), area);
    PaintUndoList.FlushUndoList(nullptr);
    c.command(h);
    const int steps = PaintUndoList.Count();
    ASSERT_GE(steps, 1);
    layer = LayerAt(index, h);
    const std::uint64_t after = Checksum(layer->GetImage(), area);
    const std::uint64_t stencilAfter = Checksum(layer->GetStencil(), area);
    EXPECT_TRUE(after != before || stencilAfter != stencilBefore);
    for (int i = 0; i < steps; ++i) ASSERT_TRUE(PaintUndoList.Undo());
    layer = LayerAt(index, h);
    EXPECT_EQ(Checksum(layer->GetImage(), area), before);
    EXPECT_EQ(Checksum(layer->GetStencil(), area), stencilBefore);
    for (int i = 0; i < steps; ++i) ASSERT_TRUE(PaintUndoList.Redo());
    layer = LayerAt(index, h);
    EXPECT_EQ(Checksum(layer->GetImage(), area), after);
    EXPECT_EQ(Checksum(layer->GetStencil(), area), stencilAfter);
    Brenmark.DeleteLayerStack(h);
  }
}

// A record keeps the pixels from before through copy-on-write: it costs the
// pages the change wrote, not the canvas.
TEST_F(UndoList, AStrokeRecordCostsOnlyThePagesItsChangeTouched) {
  NewStack();
  Brenmark.SetLayerStackSize(ilTile(0, 0, 0, 20000, 20000, 1), true);
  PntNewLayer(-2, false);
  PaintUndoList.FlushUndoList(nullptr);
  struct Change {
    ilTile rect;
    int pages;  // written pages of the layer's image
  };
  const Change changes[] = {
      {{0, 0, 0, 1, 1, 1}, 1},
      {{127, 127, 0, 2, 2, 1}, 4},
      {{19999, 19999, 0, 1, 1, 1}, 1},
      {{10000, 5000, 0, 128, 128, 1}, 4},
      {{10112, 5120, 0, 16, 8, 1}, 1},
      {{0, 19990, 0, 129, 1, 1}, 2},
      {{5000, 0, 0, 3, 300, 1}, 3},
      {{1, 1, 0, 1, 1, 1}, 1},
      {{12800, 12800, 0, 128, 128, 1}, 0},  // a whole page of one value needs no block
      {{300, 300, 0, 1, 1, 1}, 1},
  };
  // First every page once without records, so that each recorded change
  // copies the pages it writes from its seed.
  for (const Change& c : changes) Paint(1, c.rect, 1);
  const int base = GetSmartImageCacheStatistics().bigPagesInMemory;
  int expected = 0;
  for (const Change& c : changes) {
    Stroke(1, c.rect, 2);
    expected += c.pages;
    EXPECT_EQ(GetSmartImageCacheStatistics().bigPagesInMemory - base, expected)
        << c.rect.x << "," << c.rect.y;
  }
  EXPECT_EQ(PaintUndoList.Count(), 10);
}

// Commands recorded as a copy of the whole stack leave the copy in the
// stack's slot: it keeps the canvas size the application set, not the
// view's, or strokes beyond the view would no longer reach the layers.
TEST_F(UndoList, StackCopiesKeepTheCanvasSize) {
  NewStack();
  PntNewLayer(-2, false);
  PntNewLayer(-2, false);
  const ilTile size(0, 0, 0, 20000, 12000, 1);
  Brenmark.SetLayerStackSize(size, true);
  PaintUndoList.FlushUndoList(nullptr);
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"duplicate", [] { PntDuplicateCurrentLayer(-2); }},
      {"merge", [] { PntMergeLayerWithBelow(Brenmark.GetLayerHandle(2, -2)); }},
      {"undo", [] { ASSERT_TRUE(PaintUndoList.Undo()); }},
      {"redo", [] { ASSERT_TRUE(PaintUndoList.Redo()); }},
  };
  LayerStack* before = Stack();
  for (const auto& [name, step] : steps) {
    SCOPED_TRACE(name);
    step();
    const ilTile canvas = Brenmark.GetCanvasBounds(-2);
    EXPECT_EQ((std::tuple{canvas.nx, canvas.ny}), (std::tuple{20000, 12000}));
  }
  EXPECT_NE(Stack(), before);  // the slot holds a copy by now
  Paint(1, ilTile(0, 0, 0, 1, 1, 1), 7);
  Stroke(1, ilTile(19990, 11990, 0, 4, 4, 1), 9);
  EXPECT_EQ(At(1, 19993, 11993), 9);
}

}  // namespace
}  // namespace brenmark::testing
