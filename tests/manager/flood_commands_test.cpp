// Flood fill and magic wand through the paint manager: the fills on layers
// and the selection, the messages for a missing stack, the undo record and
// the preview proxy.
#include <tuple>

#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"
#include "manager/command_undo.h"

namespace brenmark::testing {
namespace {

void* const kCurrent = reinterpret_cast<void*>(-2);
constexpr unsigned kA = 0xFF204060u;

class FloodCommands : public EngineTest {
 protected:
  // A 300 x 200 canvas with one layer (and a mask of it, current, when
  // `mask` is set) holding a 40 x 40 square of `value` at (10, 10); the
  // stack's handle.
  int Canvas(unsigned value = kA, bool mask = false) {
    const int h = NewStack();
    Stack(h)->SetSize(ilTile(0, 0, 0, 300, 200, 1), true);
    Stack(h)->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    if (mask) Brenmark.AddLayer(nullptr, nullptr, true, false, false, h, false, 0, 0, -2, true);
    if (value) Paint(Image(), 10, 10, 40, 40, value);
    return h;
  }
  ilSmartImage* Image() {
    return ilSmartImage::As_ilSmartImage(Stack()->GetCurrentLayerPtr()->GetImage());
  }
  ilSmartImage* Selection() {
    return ilSmartImage::As_ilSmartImage(Stack()->GetSelectionMask()->GetImage());
  }
};

TEST_F(FloodCommands, UnresolvedStacksShowTheMessageAndChangeNothing) {
  const int h = Canvas();
  PaintColor red(1.0f, 0.0f, 0.0f, 1.0f);
  Brenmark.DoFloodFill(20, 20, 0.5f, red, kCurrent, 37);
  Brenmark.DoMagicWand(20, 20, 0.5f, red, true, kCurrent, 37);
  Brenmark.FloodFillDone(20, 20, 0.5f, red, kCurrent, 37);
  EXPECT_EQ(host_.Messages(),
            (std::vector<std::string>{
                "No image layer present. Please create a new Image Layer before using Floodfill.",
                "There is no image layer in the window. This happens when magic wand is done "
                "before an image layer has been created."}));
  EXPECT_EQ(Px(Stack(h)->GetCurrentLayerPtr()->GetImage(), 20, 20), kA);
}

TEST_F(FloodCommands, FillsInsideOutsideUniformAndClampedSeeds) {
  PaintColor half(1.0f, 0.0f, 0.0f, 0.5f);  // premultiplied by the fill
  PaintColor pre = half;
  pre.ForcePremult();
  unsigned c = 0;
  pre.Get(c);
  struct Case {
    unsigned painted;
    int x, y;
    unsigned at20, at200, fill;
  } cases[] = {
      {kA, 20, 20, c, 0, 0},        // inside the square
      {kA, 5, 5, kA, c, c},         // around it: on beyond the painted bounds
      {kA, -5000, 9000, kA, c, c},  // clamped into the margin
      {0, 20, 20, c, c, c},         // a uniform layer fills the canvas
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.x);
    Canvas(k.painted);
    Brenmark.FloodFillDone(k.x, k.y, 0.0f, half, kCurrent, -2);
    EXPECT_EQ(Px(Image(), 20, 20), k.at20);
    EXPECT_EQ(Px(Image(), 49, 49), k.at20);
    EXPECT_EQ(Px(Image(), 200, 150), k.at200);
    EXPECT_EQ(Image()->GetFillValue(), k.fill);
    EXPECT_TRUE(Stack()->GetDisplayUpdate() || k.painted == 0);
  }
  // Inside: the preview region is the extent grown by 2.
  Canvas();
  Brenmark.FloodFillDone(20, 20, 0.0f, half, kCurrent, -2);
  EXPECT_EQ(Stack()->GetBrushPreviewRegion(), ilTile(8, 8, 0, 44, 44, 1));
}

TEST_F(FloodCommands, MaskLayersTakeTheAlphaByte) {
  Canvas(7, true);
  ASSERT_EQ(Image()->GetChannels(), 1);
  PaintColor c(0.2f, 0.4f, 0.6f, 0.6f);
  Brenmark.FloodFillDone(5, 5, 0.0f, c, kCurrent, -2);
  EXPECT_EQ(Px(Image(), 20, 20), 7u);
  EXPECT_EQ(Px(Image(), 5, 5), 153u);  // 0.6 x 255
  EXPECT_EQ(Image()->GetFillValue(), 153u);
}

TEST_F(FloodCommands, WandWithReplaceOpensOnlyTheRegion) {
  Canvas();
  PaintColor open(0.0f, 0.0f, 0.0f, 0.0f);
  Brenmark.MagicWandDone(20, 20, 0.0f, open, true, kCurrent, -2);
  for (auto [x, y, want] : {std::tuple{10, 10, 0u},
                            {49, 49, 0u},
                            {9, 10, 255u},
                            {50, 49, 255u},
                            {299, 199, 255u},
                            {5000, 5000, 255u}}) {
    EXPECT_EQ(Px(Selection(), x, y), want) << x << "," << y;
  }
  EXPECT_TRUE(Stack()->isSelectionMaskUsed());
  EXPECT_EQ(Px(Image(), 20, 20), kA);
}

TEST_F(FloodCommands, PreviewsStartFromTheProxyStartAndEndingRestoresIt) {
  Canvas();
  const int before = brenmark::CommandUndo::Committed(brenmark::UndoRecordKind::kLayerStroke);
  PaintColor red(1.0f, 0.0f, 0.0f, 1.0f), blue(0.0f, 0.0f, 1.0f, 1.0f);
  Brenmark.DoFloodFill(20, 20, 0.0f, red, kCurrent, -2);
  EXPECT_TRUE(Stack()->InProxy());
  EXPECT_EQ(Px(Image(), 20, 20), 0xFF0000FFu);
  Brenmark.DoFloodFill(5, 5, 0.0f, blue, kCurrent, -2);  // reverts the red fill first
  EXPECT_EQ(Px(Image(), 20, 20), kA);
  EXPECT_EQ(Px(Image(), 5, 5), 0xFFFF0000u);
  // One undo record for the whole preview.
  EXPECT_EQ(brenmark::CommandUndo::Committed(brenmark::UndoRecordKind::kLayerStroke), before + 1);
  Brenmark.EndProxy(-2);
  EXPECT_FALSE(Stack()->InProxy());
  EXPECT_EQ(Px(Image(), 20, 20), kA);
  EXPECT_EQ(Px(Image(), 5, 5), 0u);
  ASSERT_EQ(host_.ProxyDecisions().size(), 2u);
  for (auto [i, member] : {std::pair{0, 40}, {1, 39}}) {
    EXPECT_EQ(host_.ProxyDecisions()[i].member, member);
    EXPECT_EQ(host_.ProxyDecisions()[i].layerIndices, std::vector<int>{1});
  }
  // The wand's proxy is over the selection mask (index count + 1).
  PaintColor open(0.0f, 0.0f, 0.0f, 0.0f);
  Brenmark.DoMagicWand(20, 20, 0.0f, open, true, kCurrent, -2);
  EXPECT_EQ(Px(Selection(), 20, 20), 0u);
  EXPECT_EQ(Px(Selection(), 5, 5), 255u);
  Brenmark.EndProxy(-2);
  EXPECT_EQ(Px(Selection(), 5, 5), 0u);
  ASSERT_EQ(host_.ProxyDecisions().size(), 4u);
  for (auto [i, member] : {std::pair{2, 42}, {3, 41}}) {
    EXPECT_EQ(host_.ProxyDecisions()[i].member, member);
    EXPECT_EQ(host_.ProxyDecisions()[i].layerIndices, std::vector<int>{2});
  }
}

}  // namespace
}  // namespace brenmark::testing
