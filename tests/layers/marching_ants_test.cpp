// The marching ants: the outline step, the screen-space outline of a
// selection and its rebuild check, the dashes and their phase, and the
// timer that drives them.
#include <cstring>

#include "brenmark/qv_memory_img.h"
#include "layers/engine_fixture.h"
#include "layers/marching_ants_p.h"

namespace brenmark::testing {
namespace {

class SelectionAnts : public EngineTest {
 protected:
  // A stack showing ants of a selection open over (10, 10, 20, 12).
  LayerStack* AntsCanvas() {
    LayerStack* s = Stack(NewStack());
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    s->ClearSelectionMask(ilTile(10, 10, 0, 20, 12, 1));
    s->SetSelectionMaskDrawStyle(kSMDrawMarchingAnts);
    return s;
  }
  static unsigned char OutlineAt(LayerStack* s, int x, int y) {
    ilQVMemoryImg* o = s->GetSelMaskOutline();
    return static_cast<const unsigned char*>(o->getDataPtr())[y * o->getXsize() + x];
  }
  static std::uint32_t AntAt(LayerStack* s, int x, int y) {
    ilQVMemoryImg* a = s->GetSelMaskUpdateImage();
    std::uint32_t v = 0;
    std::memcpy(&v, static_cast<const std::uint8_t*>(a->getDataPtr()) + 4 * (y * a->getXsize() + x),
                4);
    return v;
  }
};

// The outline step reports a unit tile where the plane's pass finds no
// crossing (the pass itself is tested with the image plane).
TEST(AntsOutline, NoCrossingGivesTheUnitTile) {
  ilQVMemoryImg img(ilSize(9, 4, 1), ilUChar);
  auto* p = static_cast<unsigned char*>(img.getDataPtr());
  std::memset(p, 200, 36);
  EXPECT_EQ(ants::Outline(img, 128, nullptr), ilTile(0, 0, 0, 1, 1, 1));
  for (int i = 0; i < 36; ++i) EXPECT_EQ(p[i], 0);
}

TEST_F(SelectionAnts, OutlineFollowsTheOpenRectangleAndDashesFollowThePhase) {
  LayerStack* s = AntsCanvas();
  const unsigned phase = s->GetAntsPhase();
  s->DoMarchingAntsImg();
  EXPECT_EQ(s->GetSelMaskBounds(), ilTile(10, 10, 0, 21, 13, 1));
  EXPECT_EQ(OutlineAt(s, 10, 15), 255);
  EXPECT_EQ(OutlineAt(s, 30, 15), 255);
  EXPECT_EQ(OutlineAt(s, 11, 15), 0);
  EXPECT_EQ(OutlineAt(s, 9, 15), 0);
  EXPECT_EQ(OutlineAt(s, 20, 22), 255);
  EXPECT_EQ(s->GetAntsPhase(), phase - 1);
  EXPECT_EQ(host_.Window(s->GetWindow())->antsChanges, 1);
  // Row k of the region (k from 0 at y = 10): black when (x + p + k + 1) mod 8 < 4.
  for (int x = 10; x <= 30; ++x) {
    const bool black = (x + phase + 0 + 1) % 8 < 4;
    EXPECT_EQ(AntAt(s, x, 10), black ? 0xFF000000u : 0xFFFFFFFFu) << "x " << x;
  }
  const unsigned k = 12;  // y = 22
  EXPECT_EQ(AntAt(s, 17, 22), (17 + phase + k + 1) % 8 < 4 ? 0xFF000000u : 0xFFFFFFFFu);
  EXPECT_EQ(AntAt(s, 15, 15), 0u);
  EXPECT_EQ(AntAt(s, 31, 15), 0u);
}

TEST_F(SelectionAnts, AnUnchangedSelectionIsNotReprocessedButAnEditIs) {
  LayerStack* s = AntsCanvas();
  s->ReProcessSelectionMask();
  ASSERT_NE(s->GetSelMaskOutline(), nullptr);
  auto* o = static_cast<unsigned char*>(s->GetSelMaskOutline()->getDataPtr());
  const int w = s->GetSelMaskOutline()->getXsize();
  o[15 * w + 20] = 77;  // a mark only a rebuild would clear
  s->ReProcessSelectionMask();
  EXPECT_EQ(o[15 * w + 20], 77);
  s->SubtractFromSelection(ilTile(40, 10, 0, 2, 2, 1));
  s->ReProcessSelectionMask();
  EXPECT_EQ(o[15 * w + 20], 0);
  EXPECT_EQ(s->GetSelMaskBounds(), ilTile(10, 10, 0, 33, 13, 1));
}

TEST_F(SelectionAnts, TheTimerRunsWithStyleOneAndStepsTheCurrentStack) {
  LayerStack* s = AntsCanvas();
  EXPECT_EQ(host_.RunningTimerCount(), 1);
  EXPECT_EQ(host_.AdvanceTime(100), 1);
  EXPECT_EQ(host_.Window(s->GetWindow())->antsChanges, 1);
  host_.SetHoldMarchingAnts(true);
  host_.AdvanceTime(100);
  EXPECT_EQ(host_.Window(s->GetWindow())->antsChanges, 1);
  host_.SetHoldMarchingAnts(false);
  host_.AdvanceTime(200);
  EXPECT_EQ(host_.Window(s->GetWindow())->antsChanges, 3);
  EXPECT_EQ(host_.RunningTimerCount(), 1);

  s->DrawMarchingAnts();
  EXPECT_EQ(host_.Window(s->GetWindow())->antsDraws, 1);
  Brenmark.SetSelectionMaskDrawStyle(kSMDrawTinted);
  EXPECT_EQ(host_.RunningTimerCount(), 0);
  EXPECT_EQ(AntAt(s, 10, 10), 0u);
  s->DrawMarchingAnts();
  EXPECT_EQ(host_.Window(s->GetWindow())->antsDraws, 1);
}

}  // namespace
}  // namespace brenmark::testing
