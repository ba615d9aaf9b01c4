// The picture a layer stack shows: composites below and above the current
// layer, the update region, the view's memory, the update image and the
// transparent backdrop, checked pixel by pixel against the blend arithmetic.
#include <algorithm>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "brenmark/image_blender.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "imagestore/page.h"
#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"
#include "layers/layer_images.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kBackground = 0xFF204060u;
// A view wider and taller than two pages, so composites cross page seams.
constexpr int kW = 300, kH = 260;

struct LayerSpec {
  ilTile paint = {};    // layer coordinates
  unsigned colour = 0;  // premultiplied
  int ox = 0, oy = 0;   // offset
  float opacity = 1.0f;
  bool active = true;
  ilTile stencil = {};  // layer coordinates; empty: no stencil content
  unsigned stencilValue = 255;
  bool mask = false;
  // Painted later, over `paint` (replacing).
  std::vector<std::pair<ilTile, unsigned>> extra = {};
  // Masks: read from the layer when built.
  unsigned maskColour = 0;
  unsigned maskDisplayByte = 255;
};

bool Inside(const ilTile& t, int x, int y) {
  return x >= t.x && y >= t.y && x < t.x + t.nx && y < t.y + t.ny;
}

class LayerStackDisplay : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    host_.SetDefaultViewSize(kW, kH);
    host_.SetBackgroundColor(kBackground);
  }

  // A stack of the given layers, bottom first, with `current` (1-based)
  // current and everything redrawn.
  LayerStack* Build(const std::vector<LayerSpec>& specs, int current) {
    specs_ = specs;
    s_ = Stack(NewStack());
    for (const LayerSpec& l : specs) {
      s_->AddLayer(nullptr, nullptr, l.mask, true, false, s_->GetLayerCount(), true);
      Layer* layer = s_->GetLayerFromIndex(s_->GetLayerCount());
      Paint(layer->GetImage(), l.paint.x, l.paint.y, l.paint.nx, l.paint.ny, l.colour);
      if (!l.stencil.empty()) {
        Paint(layer->GetStencil(), l.stencil.x, l.stencil.y, l.stencil.nx, l.stencil.ny,
              l.stencilValue);
      }
      layer->SetOffset(static_cast<float>(l.ox), static_cast<float>(l.oy));
      layer->GetMaskColor().Get(specs_.at(s_->GetLayerCount() - 1).maskColour);
      specs_[s_->GetLayerCount() - 1].maskDisplayByte =
          layer_images::OpacityByte(layer->GetMaskDisplayOpacity());
      layer->SetOpacity(l.opacity);
      layer->SetActive(l.active);
    }
    current_ = current;
    s_->SetCurrentLayer(current, true);
    s_->RedrawEntireCanvas(true, true);
    return s_;
  }

  // The layer as it composites at canvas (x, y); 0 when it does not show.
  unsigned Stencilled(int i, int x, int y) const {
    const LayerSpec& l = specs_[i];
    if (!l.active || l.opacity <= 0.002f) return 0;
    const int u = x - l.ox, v = y - l.oy;
    unsigned p = Inside(l.paint, u, v) ? l.colour : 0;
    for (const auto& [rect, colour] : l.extra) {
      if (Inside(rect, u, v)) p = colour;
    }
    if (l.mask) p = Times(l.maskColour, p & 0xFF);
    if (l.opacity < 0.998f) p = Times(p, layer_images::OpacityByte(l.opacity));
    if (l.mask) p = Times(p, l.maskDisplayByte);
    if (!l.stencil.empty() && Inside(l.stencil, u, v)) p = Times(p, l.stencilValue);
    return p;
  }

  // below (over the background), the current layer, then above (built over
  // transparent), grouped as the engine groups them.
  unsigned Expected(int x, int y, bool masksAbove = true) const {
    unsigned below = kBackground, above = 0;
    const int cur = current_ - 1;
    bool masksAllowed = masksAbove;
    for (int i = 0; i < static_cast<int>(specs_.size()); ++i) {
      if (i < cur && !specs_[i].mask) below = Over(Stencilled(i, x, y), below);
      if (i <= cur) continue;
      if (!specs_[i].mask) masksAllowed = false;
      if (!specs_[i].mask || (masksAllowed && !specs_[cur].mask))
        above = Over(Stencilled(i, x, y), above);
    }
    return Over(above, Over(Stencilled(cur, x, y), below));
  }

  unsigned Shown(int x, int y) { return host_.ViewPixels(View())[y * kW + x]; }
  // The whole-canvas export, taken afresh.
  std::vector<std::uint32_t> Composite() {
    ilQVMemoryImg* composite = s_->GetCompositeImage();
    auto* p = static_cast<const std::uint32_t*>(composite->getDataPtr());
    std::vector<std::uint32_t> out(p, p + kW * kH);
    composite->unref();
    return out;
  }
  int View() { return Brenmark.CB()->GetViewOfWindow(s_->GetWindow()); }

  ::testing::AssertionResult ViewMatches() {
    return SamePicture(
        0, 0, kW, kH, [this](int x, int y) { return Expected(x, y); },
        [this](int x, int y) { return Shown(x, y); });
  }

  std::vector<LayerSpec> specs_;
  LayerStack* s_ = nullptr;
  int current_ = 1;
};

// Six layers with random rectangles, offsets, opacities, stencils and
// hidden layers, the current one at every height.
TEST_F(LayerStackDisplay, ViewEqualsTheBlendArithmeticOverARandomStack) {
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    auto r = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<LayerSpec> specs(6);
    // 0.002 and below leave a layer out; 0.01 (byte 3) still shows.
    const float opacities[] = {1.0f, 0.5f, 0.01f, 0.001f, 0.75f, 0.002f};
    for (int i = 0; i < 6; ++i) {
      LayerSpec& l = specs[i];
      l.paint = ilTile(r(-20, 200), r(-20, 180), 0, r(40, 160), r(40, 140), 1);
      const unsigned a = static_cast<unsigned>(r(1, 255));
      l.colour = Pack(a, r(0, static_cast<int>(a)), r(0, static_cast<int>(a)), a);
      l.ox = r(-30, 30);
      l.oy = r(-30, 30);
      l.opacity = opacities[(i + seed) % 6];
      l.active = (i + seed) % 5 != 0;
      if (i % 2) l.stencil = ilTile(r(0, 150), r(0, 150), 0, r(20, 140), r(20, 140), 1);
      l.stencilValue = static_cast<unsigned>(r(0, 255));
    }
    for (int current = 1; current <= 6; ++current) {
      Build(specs, current);
      ASSERT_TRUE(ViewMatches()) << "seed " << seed << " current " << current;
      // The whole-canvas export composes the same picture (no masks here).
      const std::vector<std::uint32_t> p = Composite();
      EXPECT_TRUE(SamePicture(
          0, 0, kW, kH, [this](int x, int y) { return Expected(x, y); },
          [&p](int x, int y) { return p[y * kW + x]; }));
      Brenmark.DeleteLayerStack(-2);
    }
  }
}

// A change recomposed through the update region alone gives the picture a
// full redraw gives, also when the painter's own record is the only damage.
TEST_F(LayerStackDisplay, PartialRecompositeEqualsAFullOne) {
  Build({{ilTile(0, 0, 0, 300, 260, 1), 0xFF808080u},
         {ilTile(100, 90, 0, 80, 80, 1), 0x80400000u, 5, -7, 0.6f},
         {ilTile(60, 60, 0, 200, 120, 1), 0x40004000u, -3, 4, 1.0f, true,
          ilTile(0, 0, 0, 90, 90, 1), 200}},
        2);
  Layer* cur = s_->GetLayerFromIndex(2);
  struct Change {
    ilTile rect;  // layer coordinates
    unsigned colour;
    bool throughPainter;  // else written behind the stack's back and damaged
  } changes[] = {
      {ilTile(120, 120, 0, 20, 30, 1), 0xFF0000FFu, false},  // crosses the seam at 128
      {ilTile(250, 0, 0, 60, 20, 1), 0x80008000u, true},     // past the view's far edge
      {ilTile(-5, 250, 0, 310, 10, 1), 0x20202020u, true},   // the last rows
      {ilTile(127, 127, 0, 2, 2, 1), 0u, false},             // erased at a page corner
  };
  for (const Change& c : changes) {
    specs_[1].extra.emplace_back(c.rect, c.colour);
    if (c.throughPainter) {
      PaintOps* painter = s_->GetCurrentLayerPainter();
      painter->blend_func(BlendOne, BlendZero);
      unsigned v = c.colour;
      painter->rect_fill(c.rect.x, c.rect.y, c.rect.nx, c.rect.ny, &v, nullptr);
    } else {
      Paint(cur->GetImage(), c.rect.x, c.rect.y, c.rect.nx, c.rect.ny, c.colour);
      s_->DamageRegion(ilTile(c.rect.x + 5, c.rect.y - 7, 0, c.rect.nx, c.rect.ny, 1));
    }
    s_->ForceUpdate();
    EXPECT_TRUE(s_->GetUpdateRegion().empty());
    ASSERT_TRUE(ViewMatches());
    const std::uint32_t* view = host_.ViewPixels(View());
    const std::vector<std::uint32_t> partial(view, view + kW * kH);
    s_->RedrawEntireCanvas(true, true);
    EXPECT_TRUE(SamePicture(
        0, 0, kW, kH, [&partial](int x, int y) { return partial[y * kW + x]; },
        [this](int x, int y) { return Shown(x, y); }));
  }
}

// Where the current layer is opaque the backdrop is not drawn under it; a
// pixel that stops being opaque shows the backdrop again at once, also at
// the last pixel of a page and of the view: a write drops the alpha class a
// page keeps.
TEST_F(LayerStackDisplay, OpaqueLayerShowsTranslucentPixelsOverTheBackdrop) {
  // A line across every page row, so that no page is one solid colour.
  LayerSpec layer{ilTile(-4, -4, 0, 320, 280, 1), 0xFF808080u};
  for (int y : {5, 133, 257}) layer.extra.emplace_back(ilTile(-4, y, 0, 320, 1, 1), 0xFF102030u);
  Build({layer}, 1);
  ilSmartImage* image = ilSmartImage::As_ilSmartImage(s_->GetLayerFromIndex(1)->GetImage());
  for (const auto& [rect, colour] : layer.extra) {
    Paint(image, rect.x, rect.y, rect.nx, rect.ny, colour);
  }
  s_->RedrawEntireCanvas(true, true);
  ASSERT_TRUE(ViewMatches());
  EXPECT_EQ(image->TestPageTransparency(0, 0, 1), kTransOpaque);
  const struct {
    int x, y;
    unsigned colour;
  } changes[] = {
      {127, 127, 0x80400000u},  // the last pixel of the first page
      {128, 0, 0x01010101u},    // the first pixel of the next one
      {kW - 1, kH - 1, 0u},     // the view's last pixel, in a page the view cuts
      {kW - 1, 0, 0xFE000000u},
  };
  for (const auto& c : changes) {
    specs_[0].extra.emplace_back(ilTile(c.x, c.y, 0, 1, 1, 1), c.colour);
    PaintOps* painter = s_->GetCurrentLayerPainter();
    painter->blend_func(BlendOne, BlendZero);
    unsigned v = c.colour;
    painter->rect_fill(c.x, c.y, 1, 1, &v, nullptr);
    EXPECT_EQ(image->TestPageTransparency(c.x, c.y, 0), kTransMixed);
    s_->ForceUpdate();
    EXPECT_EQ(Shown(c.x, c.y), Over(c.colour, kBackground));
    ASSERT_TRUE(ViewMatches()) << c.x << " " << c.y;
    s_->RedrawEntireCanvas(true, true);
    ASSERT_TRUE(ViewMatches()) << c.x << " " << c.y;
  }
}

// The backdrop: the background colour, unless the stack is in front and
// the view asks for transparency; painting on the bottom layer starts from
// it too.
TEST_F(LayerStackDisplay, BackdropIsTheBackgroundOrTransparent) {
  struct Case {
    bool inFront, wantsTransparent;
    unsigned backdrop;
  } cases[] = {
      {false, false, kBackground},
      {false, true, kBackground},
      {true, false, kBackground},
      {true, true, 0u},
  };
  for (const Case& c : cases) {
    for (int current : {1, 2}) {
      Build({{ilTile(10, 10, 0, 20, 20, 1), 0x80402010u},
             {ilTile(200, 10, 0, 20, 20, 1), 0xFFu << 24}},
            current);
      host_.SetTransparentBackdrop(s_->GetWindow(), c.wantsTransparent);
      s_->SetInFront(c.inFront);
      s_->RedrawEntireCanvas(true, true);
      EXPECT_EQ(Shown(100, 100), c.backdrop);
      EXPECT_EQ(Shown(kW - 1, kH - 1), c.backdrop);
      EXPECT_EQ(Shown(15, 15), Over(0x80402010u, c.backdrop));
      EXPECT_EQ(s_->GetBelowComposite() == nullptr, current == 1);
      // The canvas export never has a transparent backdrop.
      EXPECT_EQ(Composite()[100 * kW + 100], kBackground);
      Brenmark.DeleteLayerStack(-2);
    }
  }
}

TEST_F(LayerStackDisplay, DamageUnitesPerAxis) {
  struct Case {
    ilTile before, damage, after;
  } cases[] = {
      {ilTile(10, 10, 0, 5, 5, 1), ilTile(100, 3, 0, 0, 40, 1), ilTile(10, 3, 0, 5, 40, 1)},
      {ilTile(10, 10, 0, 5, 0, 1), ilTile(100, 3, 0, 0, 40, 1), ilTile(10, 3, 0, 5, 40, 1)},
      {ilTile(10, 10, 0, 5, 0, 1), ilTile(100, 3, 0, 0, 0, 1), ilTile(10, 3, 0, 5, 0, 1)},
      {ilTile(0, 0, 0, 0, 0, 0), ilTile(7, 8, 0, 9, 10, 1), ilTile(7, 8, 0, 9, 10, 1)},
      {ilTile(10, 10, 0, 5, 5, 1), ilTile(20, 0, 0, 2, 2, 1), ilTile(10, 0, 0, 12, 15, 1)},
  };
  Build({{ilTile(0, 0, 0, 1, 1, 1), 0}}, 1);
  for (const Case& c : cases) {
    s_->SetUpdateRegion(c.before);
    s_->DamageRegion(c.damage);
    const ilTile got = s_->GetUpdateRegion();
    EXPECT_EQ(ilTile(got.x, got.y, 0, got.nx, got.ny, 1), c.after);
  }
}

// Masks above the current layer: only when asked for, only the run directly
// above it, never over a current mask.
TEST_F(LayerStackDisplay, MasksJoinTheAboveCompositeOnlyDirectlyAboveAnImageLayer) {
  const LayerSpec image{ilTile(0, 0, 0, 40, 40, 1), 0xFF00FF00u};
  LayerSpec mask{ilTile(5, 5, 0, 10, 10, 1), 200, 0, 0, 1.0f, true, ilTile(), 255, true};
  const LayerSpec other{ilTile(0, 0, 0, 40, 40, 1), 0x80000080u};
  struct Case {
    std::vector<LayerSpec> layers;
    int current;
    bool maskShows;  // the mask at (5, 5) shows
  } cases[] = {
      {{image, mask}, 1, true},
      {{image, mask, other}, 1, true},
      {{image, other, mask}, 1, false},
      {{image, mask, mask}, 2, false},
  };
  for (const Case& c : cases) {
    Build(c.layers, c.current);
    ASSERT_TRUE(ViewMatches()) << c.current;
    const unsigned withMasks = Shown(7, 7);
    EXPECT_EQ(withMasks != Composite()[7 * kW + 7], c.maskShows)
        << c.current << " " << c.layers.size();
    EXPECT_EQ(Shown(30, 30), Expected(30, 30));
    Brenmark.DeleteLayerStack(-2);
  }
}

// A hidden mask protects the current layer but shows nothing above it: the
// empty above composite is not rebuilt by every update, so the masking
// painter a tool holds between refreshes stays valid and keeps protecting.
TEST_F(LayerStackDisplay, HeldMaskingPainterSurvivesUpdatesWithNothingAbove) {
  const unsigned base = 0xFF808080u;
  Build({{ilTile(0, 0, 0, kW, kH, 1), base},
         {ilTile(20, 20, 0, 40, 40, 1), 255, 0, 0, 1.0f, false, ilTile(), 255, true}},
        1);
  ASSERT_EQ(s_->GetAboveComposite(), nullptr);
  ASSERT_NE(s_->GetMaskComposite(), nullptr);
  PaintOps* held = s_->GetCurrentLayerPainter();
  const unsigned colours[] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u};
  for (int i = 0; i < 3; ++i) {
    const ilTile r(i * 7, 0, 0, 100, 70 + i, 1);
    held->blend_func(BlendOne, BlendZero);
    unsigned v = colours[i];
    held->rect_fill(r.x, r.y, r.nx, r.ny, &v, nullptr);
    specs_[0].extra.emplace_back(r, colours[i]);
    if (i == 1)
      s_->UpdateImagePlaneBits();
    else
      s_->ForceUpdate();
    EXPECT_EQ(s_->GetCurrentLayerPainter(), held) << i;
    EXPECT_EQ(Shown(i * 7 + 99, 69 + i), colours[i]) << i;  // the rectangle's last pixel
    EXPECT_EQ(Shown(30, 30), base) << i;                    // protected
    EXPECT_EQ(Shown(59, 59), base) << i;
  }
  // Showing the mask rebuilds the above composite (and the painter).
  specs_[1].active = true;
  s_->SetLayerActive(2, true);
  ASSERT_NE(s_->GetAboveComposite(), nullptr);
  EXPECT_TRUE(SamePicture(
      0, 60, kW, kH - 60, [this](int x, int y) { return Expected(x, y); },
      [this](int x, int y) { return Shown(x, y); }));
  EXPECT_EQ(Shown(99 + 14, 10), colours[2]);
  specs_[0].extra.clear();  // inside the mask the layer kept its pixels
  EXPECT_EQ(Shown(30, 30), Expected(30, 30));
  EXPECT_EQ(Shown(59, 59), Expected(59, 59));
  EXPECT_NE(Expected(30, 30), base);
}

// With display update the application pulls the picture: the forced update
// only asks it to, and the region stays for it to read.
TEST_F(LayerStackDisplay, ApplicationPullsTheUpdateImageWhenItAsksToRefreshItself) {
  host_.PullUpdatesFrom(Brenmark);
  Build({{ilTile(0, 0, 0, 300, 260, 1), 0xFF102030u}, {ilTile(20, 30, 0, 40, 50, 1), 0x80800000u}},
        2);
  s_->SetDisplayUpdate(true);
  s_->SetTransform(LayerStackTransform(-10, -4, 2.0f, 2.0f, 0, 0, 0));
  const host::HostWindow* w = host_.Window(s_->GetWindow());
  const int shows = w->showUpdates;
  const std::vector<std::uint32_t> before(host_.ViewPixels(View()),
                                          host_.ViewPixels(View()) + kW * kH);
  const ilTile damage(25, 35, 0, 30, 40, 1);
  s_->DamageRegion(damage);
  s_->ForceUpdate();
  EXPECT_EQ((std::tuple{w->showUpdates, s_->GetUpdateRegion()}), (std::tuple{shows + 1, damage}));
  const ilTile screen(60, 74, 0, 60, 80, 1);  // 2 * canvas + (10, 4)
  EXPECT_EQ(s_->GetScrnUpdateRegion(), screen);
  const std::uint32_t* shown = host_.ShownPixels(View());
  const unsigned inside = Over(0x80800000u, 0xFF102030u);
  EXPECT_EQ(shown[screen.y * kW + screen.x], inside);
  EXPECT_EQ(shown[(screen.y + 79) * kW + screen.x + 59], inside);  // the region's last pixel
  EXPECT_EQ(shown[(screen.y + 80) * kW + screen.x + 59], before[(screen.y + 80) * kW + 119]);
  EXPECT_EQ(host_.ViewPixels(View())[35 * kW + 25], inside);  // the plane holds it 1:1
  s_->EndUpdate();
  EXPECT_TRUE(s_->GetUpdateRegion().empty());
}

// The update image is the plane scaled (or rotated) as the plane's own
// transfer makes it, over the shared screen buffer.
TEST_F(LayerStackDisplay, UpdateImageIsThePlaneScaledOrRotated) {
  struct Case {
    float scale, degrees, xOff, yOff;
    ilTile damage;
    bool transferred;
  } cases[] = {
      {2.0f, 0.0f, 3, 5, ilTile(100, 100, 0, 60, 40, 1), true},
      {0.5f, 0.0f, -7, 0, ilTile(0, 0, 0, 300, 260, 1), true},
      {1.0f, 30.0f, 0, 0, ilTile(120, 110, 0, 30, 30, 1), true},
      {1.0f, 30.0f, 0, 0, ilTile(0, 0, 0, 300, 260, 1), false},  // the box leaves the view
  };
  host_.SetScreenSize(640, 480);
  for (const Case& c : cases) {
    Build({{ilTile(0, 0, 0, 300, 260, 1), 0xFF406080u},
           {ilTile(90, 90, 0, 100, 60, 1), 0xC0C00000u},
           {ilTile(120, 100, 0, 20, 80, 1), 0x80008000u}},
          2);
    s_->SetDisplayUpdate(true);
    s_->SetTransform(
        LayerStackTransform(c.xOff, c.yOff, c.scale, c.scale, kW / 2.0f, kH / 2.0f, c.degrees));
    ilQVMemoryImg* image = s_->GetUpdateImage();  // nothing damaged: untouched
    std::fill_n(static_cast<std::uint32_t*>(image->getDataPtr()), 640 * 480, 0u);
    s_->DamageRegion(c.damage);
    image = s_->GetUpdateImage();
    ASSERT_EQ(image->getXsize(), 640);
    std::vector<std::uint32_t> expected(640 * 480, 0);
    ilQVMemoryImg copy(s_->GetImagePlane());
    copy.SetScaleAndRotation(c.scale, c.scale, c.degrees, kW / 2.0f, kH / 2.0f);
    int magnify = 0, minify = 0;
    Brenmark.GetScaleFilter(magnify, minify);
    copy.SetMagnifyScaleMode(magnify == 2 ? 1u : static_cast<unsigned>(magnify));
    copy.SetMinifyScaleMode(minify == 2 ? 1u : static_cast<unsigned>(minify));
    if (c.degrees == 0.0f) {
      copy.SetOffset(c.xOff, c.yOff);
      copy.getScaleTile(c.damage.x, c.damage.y, c.damage.nx, c.damage.ny, expected.data(), 640,
                        480);
    } else if (c.transferred) {
      copy.getCanvasRotateScaleTile(c.damage.x, c.damage.y, c.damage.nx, c.damage.ny,
                                    expected.data(), 640, 480, 0, 0, false);
    }
    auto* got = static_cast<const std::uint32_t*>(image->getDataPtr());
    EXPECT_TRUE(SamePicture(
        0, 0, 640, 480, [&expected](int x, int y) { return expected[y * 640 + x]; },
        [got](int x, int y) { return got[y * 640 + x]; }))
        << c.scale << " " << c.degrees;
    EXPECT_EQ(std::count(expected.begin(), expected.end(), 0u) == 640 * 480, !c.transferred);
    Brenmark.DeleteLayerStack(-2);
  }
}

// A new screen size reallocates the shared buffer; the update image, its
// painter and its blender follow before they are used again.
TEST_F(LayerStackDisplay, ScreenSizeChangeRewrapsTheUpdateImage) {
  Build({{ilTile(0, 0, 0, 10, 10, 1), 0xFF0000FFu}}, 1);
  s_->SetDisplayUpdate(true);
  ilQVMemoryImg* first = s_->GetUpdateImage();
  EXPECT_EQ(first->getXsize(), 800);
  host_.SetScreenSize(64, 32);
  s_->DamageRegion(ilTile(0, 0, 0, 100, 100, 1));
  ilQVMemoryImg* image = s_->GetUpdateImage();
  ASSERT_EQ(image->getXsize(), 64);
  ASSERT_EQ(image->getYsize(), 32);
  auto* px = static_cast<const std::uint32_t*>(image->getDataPtr());
  EXPECT_EQ(px[9 * 64 + 9], 0xFF0000FFu);
  EXPECT_EQ(px[31 * 64 + 63], kBackground);  // the buffer's last pixel
  EXPECT_EQ(s_->GetUpdateImagePainter()->target_img(), image);
  EXPECT_EQ(s_->GetUpdateImageBlender()->GetTargetImage(), image);
  EXPECT_EQ(s_->GetScrnUpdateRegion(), ilTile(0, 0, 0, 64, 32, 1));
}

// The view's memory stays valid across a resize until the engine is told;
// then the plane is rebuilt over the new memory and redrawn.
TEST_F(LayerStackDisplay, ResizedViewGetsANewPlaneAndAFullRedraw) {
  Build({{ilTile(0, 0, 0, 400, 400, 1), 0x80000080u}}, 1);
  const int view = View();
  ASSERT_TRUE(host_.ResizeView(view, 140, 130));
  s_->DamageRegion(ilTile(0, 0, 0, 300, 260, 1));
  s_->ForceUpdate();  // still the old plane, over memory kept alive
  s_->NotifyImagePlaneResize();
  EXPECT_EQ(s_->GetSize(), ilTile(0, 0, 0, 140, 130, 1));
  EXPECT_EQ(s_->GetImagePlane()->getDataPtr(), host_.ViewPixels(view));
  const unsigned expected = Over(0x80000080u, kBackground);
  EXPECT_EQ(host_.ViewPixels(view)[0], expected);
  EXPECT_EQ(host_.ViewPixels(view)[129 * 140 + 139], expected);
}

TEST_F(LayerStackDisplay, TimerBasedUpdateIsRunByTheApplication) {
  Build({{ilTile(0, 0, 0, 1, 1, 1), 0}}, 1);
  const host::HostWindow* w = host_.Window(s_->GetWindow());
  s_->BeginTimerBasedUpdate(37);
  EXPECT_TRUE(w->timedUpdateRunning);
  EXPECT_EQ(w->timedUpdateInterval, 37);
  s_->CheckTimerBasedUpdate();
  EXPECT_EQ(w->timedUpdateChecks, 1);
  s_->EndTimerBasedUpdate();
  EXPECT_FALSE(w->timedUpdateRunning);
}

}  // namespace
}  // namespace brenmark::testing
