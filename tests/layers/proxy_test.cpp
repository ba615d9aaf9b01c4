// Proxies and layer transforms: what ending a proxy restores and whom it
// asks, callbacks that paint or re-enter, structure operations ending a
// proxy, previews from the base images, the final resampling's filters and
// flips across page edges.
#include <cstring>
#include <tuple>
#include <vector>

#include "brenmark/qv_memory_img.h"
#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"
#include "manager/command_undo.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kRed = 0xFF0000FFu, kGreen = 0xFF00FF00u, kBlue = 0x80800000u;

// Any image's packed pixel (transform proxies work on in-memory images).
unsigned AnyPx(ilImage* img, int x, int y) {
  std::uint8_t b[4] = {0, 0, 0, 0};
  img->getTile(x, y, 1, 1, b);
  unsigned v;
  std::memcpy(&v, b, 4);
  return img->getCsize() == 1 ? b[0] : v;
}
unsigned CanvasPx(Layer* l, int x, int y) {
  return AnyPx(l->GetImage(), x - l->getXOffset(), y - l->getYOffset());
}
// An opaque pattern in which every pixel differs from its neighbours.
unsigned Pattern(int x, int y) {
  return Pack(255, (x * 37 + y * 11) & 0xFF, (y * 53) & 0xFF, (x * 71) & 0xFF);
}
LayerStackTransform Scale(float s, float degrees = 0.0f) {
  return LayerStackTransform(0.0f, 0.0f, s, s, 0.0f, 0.0f, degrees);
}

// What the application's proxy callbacks saw, and what apply does.
struct CallbackLog {
  int accepts = 0, applies = 0;
  std::vector<int> indices;
  bool answer = true;
  void (*onApply)() = nullptr;
} g_log;
bool Accept(int count, int* indices) {
  ++g_log.accepts;
  g_log.indices.assign(indices, indices + count);
  return g_log.answer;
}
void Apply(int, int*) {
  ++g_log.applies;
  if (g_log.onApply) g_log.onApply();
}

class Proxy : public EngineTest {
 protected:
  // A fresh stack with one layer painted `packed` over (x, y, nx, ny).
  Layer* Fresh(int x, int y, int nx, int ny, unsigned packed) {
    DeleteAllStacks();
    NewStack();
    g_log = CallbackLog{};
    return AddPainted(x, y, nx, ny, packed);
  }
  Layer* AddPainted(int x, int y, int nx, int ny, unsigned packed) {
    PntNewLayer(-2, false);
    Layer* l = Stack()->GetCurrentLayerPtr();
    for (int v = y; v < y + ny; ++v)
      for (int u = x; u < x + nx; ++u)
        Paint(l->GetImage(), u, v, 1, 1, packed ? packed : Pattern(u, v));
    return l;
  }
  void Begin(int scope, std::vector<int> indices, bool withAccept = true) {
    Stack()->BeginProxy(ProxyParameters(scope, 1, Apply, withAccept ? Accept : nullptr),
                        static_cast<int>(indices.size()), indices.data());
  }
};

// Paint through the current painter in an edit proxy is gone after EndProxy;
// the callbacks see the proxy's count and indices (the missing index 7 is
// skipped) and the answer decides whether apply runs. Without the accept
// callback nothing is redrawn and the application is not told.
TEST_F(Proxy, EditProxyEndRestoresStartPixelsAndAsksTheApplication) {
  struct Case {
    bool withAccept, answer;
    int applies, accepts, notices;
  };
  for (Case c :
       {Case{true, true, 1, 1, 1}, Case{true, false, 0, 1, 1}, Case{false, true, 0, 0, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.withAccept << c.answer);
    Layer* l = Fresh(0, 0, 4, 4, kRed);
    g_log.answer = c.answer;
    Begin(1, {1, 7}, c.withAccept);
    ASSERT_TRUE(l->InProxy() && Stack()->InProxy());
    PaintOps* painter = Stack()->GetCurrentLayerPainter();
    ASSERT_EQ(painter->target_img(), l->GetImage());
    painter->blend_func(BlendOne, BlendZero);
    unsigned blue = kBlue;
    painter->rect_fill(2, 2, 4, 4, &blue, nullptr);
    EXPECT_EQ(Px(l->GetImage(), 5, 5), kBlue);
    host_.ResetCounts();
    Stack()->EndProxy();
    EXPECT_FALSE(Stack()->InProxy() || l->InProxy());
    EXPECT_TRUE(PixelsAre(l->GetImage(), {{3, 3, kRed}, {5, 5, 0u}}));
    EXPECT_EQ(Stack()->GetCurrentLayerPainter()->target_img(), l->GetImage());
    EXPECT_EQ((std::tuple{g_log.accepts, g_log.applies}), (std::tuple{c.accepts, c.applies}));
    EXPECT_EQ(g_log.indices, (c.accepts ? std::vector<int>{1, 7} : std::vector<int>{}));
    EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), c.notices);
    EXPECT_EQ(host_.CallCount(kCbImagePlaneRefreshed), c.notices);
  }
}

// The callbacks run on an idle stack: paint they apply stays (also through
// the next proxy); ending or re-entering the proxy, or deleting the stack,
// releases nothing twice (run under ASan).
TEST_F(Proxy, CallbacksRunAfterTheProxyIsTornDown) {
  static Layer* target = nullptr;
  static int one = 1;
  struct Case {
    void (*onApply)();
    bool inProxyAfter;
    unsigned painted;
  };
  const Case cases[] = {
      {[] { Paint(target->GetImage(), 10, 10, 2, 2, kGreen); }, false, kGreen},
      {[] { Brenmark.EndProxy(-2); }, false, 0},
      {[] { Brenmark.BeginProxy(ProxyParameters(1, 1), 1, &one, -2); }, true, 0},
      {[] { Brenmark.BeginProxy(ProxyParameters(0, 1), 1, &one, -2), Brenmark.EndProxy(-2); },
       false, 0},
      {[] { Brenmark.DeleteLayerStack(-2); }, false, 0},
  };
  for (const Case& c : cases) {
    target = Fresh(0, 0, 4, 4, kRed);
    g_log.onApply = c.onApply;
    Begin(1, {1});
    Paint(target->GetImage(), 0, 0, 1, 1, kBlue);
    Stack()->EndProxy();
    g_log.onApply = nullptr;
    if (!Stack()) continue;
    EXPECT_EQ(Stack()->InProxy(), c.inProxyAfter);
    EXPECT_EQ(target->InProxy(), c.inProxyAfter);
    Stack()->EndProxy();
    Begin(1, {1});
    Stack()->EndProxy();
    EXPECT_TRUE(PixelsAre(target->GetImage(), {{0, 0, kRed}, {11, 11, c.painted}}));
  }
}

// Structure operations end a running proxy first, and a proxy that was
// forced out is ended by the next BeginProxy: the layer is back as it was.
TEST_F(Proxy, StructureOperationsEndTheProxyFirst) {
  static int one = 1;
  for (void (*op)() : {+[] { PntNewLayer(-2, false); }, +[] { PntDuplicateCurrentLayer(-2); },
                       +[] { Brenmark.SetCurrentLayer(2, -2); }, +[] { PntMergeAllLayers(-2); },
                       +[] {
                         Brenmark.ForceOutProxy(-2), Brenmark.BeginProxy({1, 1}, 1, &one, -2);
                       }}) {
    Fresh(0, 0, 2, 2, kGreen);
    Layer* l = AddPainted(0, 0, 4, 4, kRed);
    l->ref();  // merging drops it from the stack
    Stack()->SetCurrentLayer(1, true);
    Begin(1, {2});
    Paint(l->GetImage(), 0, 0, 4, 4, kBlue);
    op();
    EXPECT_FALSE(l->InProxy());
    EXPECT_EQ(g_log.accepts, Stack()->InProxy() ? 0 : 1);
    EXPECT_EQ(Px(Stack()->GetLayerFromIndex(Stack()->GetLayerCount())->GetImage(), 3, 3), kRed);
    l->unref();
  }
}

// A transform proxy moves the base images' content to the origin and the
// offset with it (across the page edge at x = 128, and with a negative
// fractional offset, which places by truncation): the picture stays put,
// and a stencil is baked into the working image but comes back untouched.
TEST_F(Proxy, TransformProxyKeepsThePictureWhereItWas) {
  struct Case {
    float ox, oy;
    int placedX, placedY;
  };
  for (Case c : {Case{2.0f, -3.0f, 127, 0}, Case{-2.5f, 0.5f, 123, 3}}) {
    Layer* l = Fresh(125, 3, 6, 4, kRed);
    Paint(l->GetImage(), 130, 6, 1, 1, kGreen);  // the last pixel of the content
    Paint(l->GetStencil(), 125, 3, 1, 4, 128);
    l->SetOffset(c.ox, c.oy);
    const int cx = 130 + l->getXOffset(), cy = 6 + l->getYOffset();
    for (int step = 0; step < 2; ++step) {  // in the proxy, then after it
      SCOPED_TRACE(::testing::Message() << c.ox << " step " << step);
      if (step == 0) Begin(0, {1});
      if (step == 1) Stack()->EndProxy();
      EXPECT_EQ((std::tuple{l->getXOffset(), l->getYOffset()}), (std::tuple{c.placedX, c.placedY}));
      EXPECT_EQ(CanvasPx(l, cx, cy), kGreen);
      EXPECT_EQ(CanvasPx(l, cx - 4, cy - 3), kRed);
      EXPECT_EQ(CanvasPx(l, cx - 5, cy - 3), step == 0 ? Times(kRed, 128) : kRed);
      EXPECT_EQ(AnyPx(l->GetStencil(), 0, 0), step == 0 ? 255u : 128u);
    }
    EXPECT_EQ(l->getLayerBounds(false), ilTile(0, 0, 0, 6, 4, 1));
  }
}

// Each preview is computed from the base images: scale 2 (nearest, about
// the centre (4, 3)) doubles every pixel, and scale 1 afterwards shows the
// proxy-start picture exactly, not a reduction of the first preview.
TEST_F(Proxy, PreviewsStartFromTheBaseImages) {
  Layer* l = Fresh(0, 0, 8, 6, 0);
  Begin(0, {1});
  for (int side : {2, 1, 2}) {
    SCOPED_TRACE(side);
    Stack()->ProxyXFormLayers(Scale(static_cast<float>(side)), kFilterNearest, kFilterNearest);
    EXPECT_EQ(l->getXOffset(), side == 2 ? -4 : 0);
    EXPECT_EQ(l->getYOffset(), side == 2 ? -3 : 0);
    EXPECT_EQ(l->GetImage()->getXsize(), 8 * side + 1);  // one column for the rounding
    for (int y = 0; y <= 6 * side; ++y)
      for (int x = 0; x <= 8 * side; ++x)
        ASSERT_EQ(AnyPx(l->GetImage(), x, y),
                  x < 8 * side && y < 6 * side ? Pattern(x / side, y / side) : 0u)
            << x << "," << y;
  }
  Stack()->EndProxy();
  EXPECT_EQ(l->getLayerBounds(false), ilTile(0, 0, 0, 8, 6, 1));
  EXPECT_EQ(Px(l->GetImage(), 7, 5), Pattern(7, 5));
}

// The final transform magnifies bicubic and minifies bilinear whatever
// filters are passed: the layer matches an explicit resampling of its
// pixels (with the two-pixel margin) and differs from a nearest one.
TEST_F(Proxy, FinalTransformUsesBicubicUpAndBilinearDown) {
  for (float s : {2.0f, 0.5f}) {
    Layer* l = Fresh(0, 0, 6, 5, 0);
    l->SetPivot(LayerPivot(0.0f, 0.0f, true));
    std::vector<unsigned> want[2];  // bicubic up / bilinear down, nearest
    int w = 0, h = 0;
    for (unsigned mode : {ilQVScaleBicubic, ilQVScaleNearest}) {
      ilQVMemoryImg src(ilSize(10, 9, 1, 4), ilUChar);
      src.setCoordSpace(l->GetImage()->getCoordSpace());
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
          src.fillTileValue(x + 2, y + 2, 1, 1, PixelOf(Pattern(x, y), 4));
      src.SetScaleAndRotation(s, s, 0.0f, 2.0f, 2.0f);
      src.SetMagnifyScaleMode(mode);
      src.SetMinifyScaleMode(mode == ilQVScaleBicubic ? ilQVScaleBilinear : mode);
      int bx, by;
      src.getTargetSizeAndOffset(0, 0, 10, 9, w, h, bx, by);
      want[mode == ilQVScaleNearest].resize(static_cast<std::size_t>(++w) * ++h);
      src.getScaleTile(0, 0, 10, 9, want[mode == ilQVScaleNearest].data(), w, h, 0, 0);
    }
    int one = 1;
    Stack()->XFormImageLayers(Scale(s), 1, &one, kFilterNearest, kFilterNearest);
    const int origin = static_cast<int>(-2 * s);  // the margin's corner, scaled about (0, 0)
    EXPECT_NE(want[0], want[1]);
    for (int i = 0; i < w * h; ++i)
      ASSERT_EQ(Px(l->GetImage(), i % w + origin, i / w + origin), want[0][i]) << s << " @" << i;
  }
}

// A flip through the paint manager mirrors content of odd sizes that
// crosses a page edge or corner (the last pixel of one page swaps with the
// first of the next, the middle row or column stays) within its bounds,
// records the layer for undo and tells the application. The canvas
// rotation flag is cleared by either end.
TEST_F(Proxy, FlipAcrossThePageEdgeAndTheCanvasRotationFlag) {
  struct Case {
    bool h, v;
    int x0, y0, w, hgt;
  };
  for (Case c : {Case{true, false, 120, 0, 17, 2}, Case{false, true, 3, 124, 2, 9},
                 Case{true, true, 125, 124, 7, 9}}) {
    Layer* l = Fresh(c.x0, c.y0, c.w, c.hgt, 0);
    const int records = CommandUndo::Committed(UndoRecordKind::kLayerStroke);
    host_.ResetCounts();
    Brenmark.FlipImageLayer(c.h, c.v, l->GetLayerID());
    l = Stack()->GetCurrentLayerPtr();
    EXPECT_EQ(CommandUndo::Committed(UndoRecordKind::kLayerStroke), records + 1);
    EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), 1);
    EXPECT_EQ(l->getLayerBounds(false), ilTile(c.x0, c.y0, 0, c.w, c.hgt, 1));
    for (int y = c.y0 - 1; y <= c.y0 + c.hgt; ++y)
      for (int x = c.x0 - 1; x <= c.x0 + c.w; ++x) {
        const bool in = x >= c.x0 && x < c.x0 + c.w && y >= c.y0 && y < c.y0 + c.hgt;
        ASSERT_EQ(
            Px(l->GetImage(), x, y),
            in ? Pattern(c.h ? 2 * c.x0 + c.w - 1 - x : x, c.v ? 2 * c.y0 + c.hgt - 1 - y : y) : 0u)
            << x << "," << y;
      }
  }
  for (bool accept : {false, true}) {
    Brenmark.BeginProxyRotateCanvas(-2);
    EXPECT_TRUE(Brenmark.InProxyRotateCanvas(-2));
    Brenmark.EndProxyRotateCanvas(accept, -2);
    EXPECT_FALSE(Brenmark.InProxyRotateCanvas(-2));
  }
}

}  // namespace
}  // namespace brenmark::testing
