// The selection mask: rectangle and image edits (their fills included),
// copies, open bounds, clearing by the selection, mask inversion and the
// mask composite of two masks; the marching ants.
#include <cstring>
#include <tuple>

#include "brenmark/qv_memory_img.h"
#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"
#include "layers/marching_ants_p.h"

namespace brenmark::testing {
namespace {

class Selection : public EngineTest {
 protected:
  LayerStack* NewCanvas() { return Stack(NewStack()); }
  static ilImage* Sel(LayerStack* s) { return s->GetSelectionMask()->GetImage(); }
  static unsigned Fill(ilImage* img) { return ilSmartImage::As_ilSmartImage(img)->GetFillValue(); }
  // A one-channel image of `fill` holding `value` over (x, y, 4, 4).
  static ilSmartImage* MaskImage(unsigned fill, unsigned value, int x = 10, int y = 10) {
    auto* img = new ilSmartImage(PixelOf(fill, 1));
    img->ref();
    Paint(img, x, y, 4, 4, value);
    return img;
  }
};

// Rectangles either side of the page boundary at x = 128.
TEST_F(Selection, RectanglesAcrossThePageBoundaryOpenOrProtectExactlyTheirPixels) {
  LayerStack* s = NewCanvas();
  for (int x = 127; x <= 129; ++x) {
    for (bool open : {true, false}) {
      const ilTile t(x, 126, 0, 3, 3, 1);
      if (open)
        s->ClearSelectionMask(t);
      else
        s->FillSelectionMask(t);
      const unsigned in = open ? 0u : 255u, out = 255u - in;
      SCOPED_TRACE(::testing::Message() << "x " << x << (open ? " open" : " protected"));
      // (x + 2, 128): the far corner.
      EXPECT_TRUE(PixelsAre(Sel(s), {{x, 126, in},
                                     {x + 2, 128, in},
                                     {x - 1, 127, out},
                                     {x + 3, 127, out},
                                     {x, 129, out},
                                     {4000, 4000, out}}));
    }
  }
}

TEST_F(Selection, ImagesAddAndSubtractAsCoverageWithTheirFillsOutsideTheirBounds) {
  struct Case {
    const char* what;
    bool startFull;  // the selection before: 255 everywhere, else 0 with 255 at (200, 200)
    bool add;
    unsigned fill, px;  // the image: px over (10, 10, 4, 4), fill elsewhere
    unsigned inImage, atProtected, far, selFill;
  };
  const Case cases[] = {
      {"add 128", false, true, 0, 128, 128, 255, 0, 0},
      {"subtract 128 from full", true, false, 0, 128, 255 * 128 / 256, 255, 255, 255},
      // An inverted mask (fill 255, open at its pixels) counts everywhere.
      {"add inverted", false, true, 255, 0, 0, 255, 255, 255},
      {"subtract inverted", true, false, 255, 0, 255, 0, 0, 0},
      {"add fill 128", false, true, 128, 0, 0, 128 + 255 * 128 / 256, 128, 128},
      {"subtract fill 128", false, false, 128, 0, 0, 255 * 128 / 256, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LayerStack* s = NewCanvas();
    if (c.startFull)
      s->FillSelectionMask();
    else
      s->FillSelectionMask(ilTile(200, 200, 0, 2, 2, 1));
    ilSmartImage* img = MaskImage(c.fill, c.px);
    if (c.add)
      s->AddToSelection(img, 0.4f, -0.4f);  // rounds to (0, 0)
    else
      s->SubtractFromSelection(img, 0.0f, 0.0f);
    img->unref();
    EXPECT_TRUE(PixelsAre(Sel(s), {{10, 10, c.inImage},
                                   {13, 13, c.inImage},
                                   {201, 201, c.startFull && c.add ? 255u : c.atProtected},
                                   {3000, 5, c.far}}));
    EXPECT_EQ(Fill(Sel(s)), c.selFill);
  }
}

TEST_F(Selection, AddingTheSameImageTwiceCompoundsAndOffsetsRoundHalfAway) {
  LayerStack* s = NewCanvas();
  ilSmartImage* img = MaskImage(0, 128);
  s->AddToSelection(img, 0, 0);
  EXPECT_EQ(Px(Sel(s), 10, 10), 128u);
  s->AddToSelection(img, 0, 0);
  EXPECT_EQ(Px(Sel(s), 10, 10), 192u);
  s->AddToSelection(img, 1.5f, -1.5f);  // to (12, 8): 192 + 192 x 128 / 256 where both
  EXPECT_TRUE(PixelsAre(Sel(s), {{12, 11, 192u + 128u * 64u / 256u}, {15, 8, 128u}, {16, 8, 0u}}));
  img->unref();
}

TEST_F(Selection, CopyToSelectionOfANonMaskImageWarnsOnStderrAndLeavesAnOpenSelection) {
  LayerStack* s = NewCanvas();
  s->FillSelectionMask();
  auto* colour = new ilSmartImage(PixelOf(0xFF000000u, 4));
  colour->ref();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  s->CopyToSelection(colour, 0, 0);
  const std::string err = StopCapture();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(err, "Can't copy a 1 channel image to the selection mask\n");
  EXPECT_EQ(Fill(Sel(s)), 0u);
  colour->unref();

  // A one-channel image becomes the selection at its offset; the name stays.
  s->GetSelectionMask()->SetLayerName("Mine");
  ilSmartImage* img = MaskImage(255, 0);
  s->SetSelectionMaskCurrent();
  s->CopyToSelection(img, 3.0f, 2.0f);
  img->unref();
  EXPECT_STREQ(s->GetSelectionMask()->GetLayerName(), "Mine");
  EXPECT_TRUE(s->isSelectionMaskCurrent());
  EXPECT_EQ(s->GetCurrentLayerPainter()->target_img(), Sel(s));
  bool empty = true;
  ilTile open;
  s->GetSelectionMaskBnd(empty, open);
  EXPECT_FALSE(empty);
  EXPECT_EQ(open, ilTile(13, 12, 0, 4, 4, 1));
}

TEST_F(Selection, OpenBoundsAreThoseOfTheOpenPixelsOnCanvas) {
  LayerStack* s = NewCanvas();
  bool empty = false;
  ilTile b(0, 0, 0, 0, 0, 7);
  s->GetSelectionMaskBnd(empty, b);
  EXPECT_TRUE(empty);
  EXPECT_EQ(b, ilTile(0, 0, 0, 0, 0, 7));
  s->ClearSelectionMask(ilTile(127, 5, 0, 3, 2, 1));
  s->GetSelectionMask()->SetOffset(LayerStackTransform(), 4, -1);
  s->GetSelectionMaskBnd(empty, b);
  EXPECT_FALSE(empty);
  EXPECT_EQ(b, ilTile(131, 4, 0, 3, 2, 1));
}

TEST_F(Selection, ClearingBySelectionErasesOnlyTheOpenPart) {
  constexpr unsigned kOld = 0xFF102030u;
  struct Case {
    const char* what;
    void (*select)(LayerStack*);
    unsigned inside, outside;  // at (5, 5) and (20, 20)
  };
  const Case cases[] = {
      {"rectangle", [](LayerStack* s) { s->ClearSelectionMask(ilTile(0, 0, 0, 10, 10, 1)); }, 0,
       kOld},
      {"all open", [](LayerStack* s) { s->ClearSelectionMask(); }, 0, 0},
      {"all protected", [](LayerStack* s) { s->FillSelectionMask(); }, kOld, kOld},
      {"inactive",
       [](LayerStack* s) {
         s->FillSelectionMask();
         s->SetMaskActive(false, s->GetLayerCount() + 1);
       },
       0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LayerStack* s = NewCanvas();
    s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    Paint(s->GetLayerFromIndex(1)->GetImage(), 0, 0, 32, 32, kOld);
    c.select(s);
    // What clearing spares, painting spares too.
    EXPECT_EQ(s->GetMaskComposite() != nullptr, c.outside == kOld);
    s->ClearLayerImageBySelMask(s->GetLayerHandle(1));
    EXPECT_TRUE(PixelsAre(s->GetLayerFromIndex(1)->GetImage(),
                          {{5, 5, c.inside}, {20, 20, c.outside}, {31, 31, c.outside}}));
  }
}

// Two masks over the current layer: the first at half opacity, the second
// through a stencil that hides column 6; m <- t + m (256 - t) / 256.
TEST_F(Selection, MaskCompositeCombinesAnOpacityMaskAndAStencilledMask) {
  LayerStack* s = NewCanvas();
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  s->AddLayer(nullptr, nullptr, true, true, false, -2, true);
  s->AddLayer(nullptr, nullptr, true, true, false, -2, true);
  Layer* a = s->GetLayerFromIndex(2);
  Layer* b = s->GetLayerFromIndex(3);
  Paint(a->GetImage(), 0, 0, 8, 8, 200);
  a->SetOpacity(0.5f);
  Paint(b->GetImage(), 4, 0, 8, 8, 255);
  Paint(b->GetStencil(), 6, 0, 1, 8, 0);
  s->SetCurrentLayer(1, true);
  ilSmartImage* m = s->GetMaskComposite();
  ASSERT_NE(m, nullptr);
  const unsigned half = 200u * 128u >> 8;
  const unsigned expected[] = {half, half, half, half, 255, 255, half, 255, 255, 255, 255, 255, 0};
  for (int x = 0; x < 13; ++x) EXPECT_EQ(Px(m, x, 7), expected[x]) << "x " << x;
  EXPECT_EQ(Px(m, 0, 8), 0u);
}

// ---- The marching ants: the outline step, the screen-space outline of a
// selection and its rebuild check, the dashes and their phase, and the
// timer that drives them.

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
  EXPECT_EQ((std::tuple{OutlineAt(s, 10, 15), OutlineAt(s, 30, 15)}), (std::tuple{255, 255}));
  EXPECT_EQ((std::tuple{OutlineAt(s, 11, 15), OutlineAt(s, 9, 15)}), (std::tuple{0, 0}));
  EXPECT_EQ((std::tuple{OutlineAt(s, 20, 22), s->GetAntsPhase()}), (std::tuple{255, phase - 1}));
  EXPECT_EQ(host_.Window(s->GetWindow())->antsChanges, 1);
  // Row k of the region (k from 0 at y = 10): black when (x + p + k + 1) mod 8 < 4.
  for (int x = 10; x <= 30; ++x) {
    const bool black = (x + phase + 0 + 1) % 8 < 4;
    EXPECT_EQ(AntAt(s, x, 10), black ? 0xFF000000u : 0xFFFFFFFFu) << "x " << x;
  }
  const unsigned k = 12;  // y = 22
  EXPECT_EQ(AntAt(s, 17, 22), (17 + phase + k + 1) % 8 < 4 ? 0xFF000000u : 0xFFFFFFFFu);
  EXPECT_EQ((std::tuple{AntAt(s, 15, 15), AntAt(s, 31, 15)}), (std::tuple{0u, 0u}));
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
  EXPECT_EQ((std::tuple{host_.RunningTimerCount(), host_.AdvanceTime(100)}), (std::tuple{1, 1}));
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
  EXPECT_EQ((std::tuple{host_.RunningTimerCount(), AntAt(s, 10, 10)}), (std::tuple{0, 0u}));
  s->DrawMarchingAnts();
  EXPECT_EQ(host_.Window(s->GetWindow())->antsDraws, 1);
}

}  // namespace
}  // namespace brenmark::testing
