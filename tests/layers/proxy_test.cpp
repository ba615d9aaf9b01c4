// Proxies: edit and transform proxies over stack layers, what ending one
// restores and whom it asks, callbacks that paint or re-enter, structure
// operations ending a proxy, previews, final transforms and flips.
#include <cstring>
#include <vector>

#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"

namespace brenmark::testing {
namespace {

constexpr unsigned kRed = 0xFF0000FFu;
constexpr unsigned kGreen = 0xFF00FF00u;
constexpr unsigned kBlue = 0x80800000u;

// Any image's packed pixel (the working images of a transform proxy are not
// smart images).
unsigned AnyPx(ilImage* img, int x, int y) {
  std::uint8_t b[4] = {0, 0, 0, 0};
  img->getTile(x, y, 1, 1, b);
  unsigned v = 0;
  if (img->getCsize() == 1) return b[0];
  std::memcpy(&v, b, 4);
  return v;
}

// The layer's pixel at canvas position (x, y).
unsigned CanvasPx(Layer* l, int x, int y) {
  return AnyPx(l->GetImage(), x - l->getXOffset(), y - l->getYOffset());
}

// What the application's proxy callbacks saw, and what they do.
struct CallbackLog {
  int accepts = 0, applies = 0;
  std::vector<int> indices;
  bool answer = true;
  void (*onApply)() = nullptr;
};
CallbackLog g_log;

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
  void SetUp() override {
    EngineTest::SetUp();
    g_log = CallbackLog{};
    NewStack();
  }
  // A new layer on the current stack (made current) painted `packed` over
  // (x, y, nx, ny); its layer.
  Layer* AddPainted(int x, int y, int nx, int ny, unsigned packed) {
    PntNewLayer(-2, false);
    Layer* l = Stack()->GetCurrentLayerPtr();
    Paint(l->GetImage(), x, y, nx, ny, packed);
    return l;
  }
  void Begin(int scope, std::vector<int> indices, bool withAccept = true) {
    Stack()->BeginProxy(ProxyParameters(scope, 1, Apply, withAccept ? Accept : nullptr),
                        static_cast<int>(indices.size()), indices.data());
  }
};

// Paint in an edit proxy is gone after EndProxy; the callbacks see the
// proxy's count and indices (the missing index 7 included, its layer
// skipped), and the answer decides whether apply runs. Without the accept
// callback nothing is redrawn and the application is not told.
TEST_F(Proxy, EditProxyEndRestoresStartPixelsAndAsksTheApplication) {
  struct Case {
    bool withAccept, answer;
    int applies, accepts, notices;
  };
  for (Case c :
       {Case{true, true, 1, 1, 1}, Case{true, false, 0, 1, 1}, Case{false, true, 0, 0, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.withAccept << c.answer);
    g_log = CallbackLog{};
    g_log.answer = c.answer;
    Layer* l = AddPainted(0, 0, 4, 4, kRed);
    const int index = Stack()->GetCurrentLayer();
    Begin(1, {index, 7}, c.withAccept);
    ASSERT_TRUE(l->InProxy());
    ASSERT_TRUE(Stack()->InProxy());
    unsigned char blue[4];
    std::memcpy(blue, &kBlue, 4);
    PaintOps* painter = Stack()->GetCurrentLayerPainter();
    ASSERT_EQ(painter->target_img(), l->GetImage());
    painter->blend_func(BlendOne, BlendZero);
    painter->rect_fill(2, 2, 4, 4, blue, nullptr);
    EXPECT_EQ(Px(l->GetImage(), 5, 5), kBlue);
    host_.ResetCounts();
    Stack()->EndProxy();
    EXPECT_FALSE(Stack()->InProxy());
    EXPECT_FALSE(l->InProxy());
    EXPECT_EQ(Px(l->GetImage(), 3, 3), kRed);
    EXPECT_EQ(Px(l->GetImage(), 5, 5), 0u);
    EXPECT_EQ(Stack()->GetCurrentLayerPainter()->target_img(), l->GetImage());
    EXPECT_EQ(g_log.accepts, c.accepts);
    EXPECT_EQ(g_log.applies, c.applies);
    if (c.accepts) {
      EXPECT_EQ(g_log.indices, (std::vector<int>{index, 7}));
    }
    EXPECT_EQ(host_.CallCount(kCbLayerStackChanged), c.notices);
    EXPECT_EQ(host_.CallCount(kCbImagePlaneRefreshed), c.notices);
  }
}

// The callbacks run on an idle stack: paint they apply stays (also through
// the next proxy), and re-entering or ending the proxy, or deleting the
// stack, releases nothing twice (run under ASan).
TEST_F(Proxy, CallbacksRunAfterTheProxyIsTornDown) {
  struct Case {
    const char* name;
    void (*onApply)();
    bool inProxyAfter;
  };
  static Layer* target = nullptr;
  const Case cases[] = {
      {"paint", [] { Paint(target->GetImage(), 10, 10, 2, 2, kGreen); }, false},
      {"end", [] { Brenmark.EndProxy(-2); }, false},
      {"begin",
       [] {
         int one = 1;
         Brenmark.BeginProxy(ProxyParameters(1, 1), 1, &one, -2);
       },
       true},
      {"begin and end",
       [] {
         int one = 1;
         Brenmark.BeginProxy(ProxyParameters(0, 1), 1, &one, -2);
         Brenmark.EndProxy(-2);
       },
       false},
      {"delete stack", [] { Brenmark.DeleteLayerStack(-2); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteAllStacks();
    NewStack();
    g_log = CallbackLog{};
    target = AddPainted(0, 0, 4, 4, kRed);
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
    EXPECT_FALSE(target->InProxy());
    EXPECT_EQ(Px(target->GetImage(), 0, 0), kRed);
    EXPECT_EQ(Px(target->GetImage(), 11, 11), c.name[0] == 'p' ? kGreen : 0u);
  }
}

// Structure operations end a running proxy first; the layer has its
// proxy-start pixels back. A proxy that was forced out is ended by the next
// BeginProxy.
TEST_F(Proxy, StructureOperationsEndTheProxyFirst) {
  struct Case {
    const char* name;
    void (*op)();
  };
  const Case cases[] = {
      {"add", [] { PntNewLayer(-2, false); }},
      {"duplicate", [] { PntDuplicateCurrentLayer(-2); }},
      {"set current", [] { Brenmark.SetCurrentLayer(2, -2); }},
      {"merge all", [] { PntMergeAllLayers(-2); }},
      {"force out, begin",
       [] {
         Brenmark.ForceOutProxy(-2);
         int one = 1;
         Brenmark.BeginProxy(ProxyParameters(1, 1), 1, &one, -2);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteAllStacks();
    NewStack();
    g_log = CallbackLog{};
    AddPainted(0, 0, 2, 2, kGreen);
    Layer* l = AddPainted(0, 0, 4, 4, kRed);
    l->ref();  // merging drops it from the stack
    Stack()->SetCurrentLayer(1, true);
    Begin(1, {2});
    Paint(l->GetImage(), 0, 0, 4, 4, kBlue);
    c.op();
    EXPECT_FALSE(l->InProxy());
    EXPECT_FALSE(Stack()->InProxy() && c.name[0] != 'f');
    l->unref();
    Layer* top = Stack()->GetLayerFromIndex(Stack()->GetLayerCount());
    EXPECT_EQ(Px(top->GetImage(), 3, 3), kRed);
    EXPECT_EQ(g_log.accepts, c.name[0] == 'f' ? 0 : 1);
  }
}

// Content away from the origin: a transform proxy moves the base images to
// the origin and the offset with them, so the picture stays where it was,
// across the page edge at x = 128 and with a negative fractional offset
// (placement truncates toward zero).
TEST_F(Proxy, TransformProxyMovesContentToTheOriginWithoutMovingThePicture) {
  struct Case {
    float ox, oy;
    int placedX, placedY;
  };
  for (Case c : {Case{2.0f, -3.0f, 127, 0}, Case{-2.5f, 0.5f, 123, 3}}) {
    SCOPED_TRACE(c.ox);
    DeleteAllStacks();
    NewStack();
    Layer* l = AddPainted(125, 3, 6, 4, kRed);
    Paint(l->GetImage(), 130, 6, 1, 1, kGreen);  // the last pixel of the content
    l->SetOffset(c.ox, c.oy);
    const int cx = 130 + l->getXOffset(), cy = 6 + l->getYOffset();
    Begin(0, {1});
    EXPECT_EQ(l->getXOffset(), c.placedX);
    EXPECT_EQ(l->getYOffset(), c.placedY);
    EXPECT_EQ(AnyPx(l->GetImage(), 5, 3), kGreen);
    EXPECT_EQ(CanvasPx(l, cx, cy), kGreen);
    EXPECT_EQ(CanvasPx(l, cx - 5, cy - 3), kRed);
    Stack()->EndProxy();
    EXPECT_EQ(l->getLayerBounds(false), ilTile(0, 0, 0, 6, 4, 1));
    EXPECT_EQ(l->getXOffset(), c.placedX);
    EXPECT_EQ(CanvasPx(l, cx, cy), kGreen);
    EXPECT_EQ(CanvasPx(l, cx - 5, cy - 3), kRed);
    EXPECT_EQ(CanvasPx(l, cx + 1, cy), 0u);
  }
}

// A stencil is baked into the working image of a transform proxy and comes
// back untouched with the base images.
TEST_F(Proxy, TransformProxyShowsTheStencilledPictureAndKeepsTheStencil) {
  Layer* l = AddPainted(0, 0, 4, 4, kRed);
  Paint(l->GetStencil(), 0, 0, 2, 4, 128);
  Begin(0, {1});
  EXPECT_EQ(AnyPx(l->GetImage(), 0, 0), Times(kRed, 128));
  EXPECT_EQ(AnyPx(l->GetImage(), 3, 0), kRed);
  EXPECT_TRUE(ilSmartImage::As_ilSmartImage(l->GetStencil())->getBounds().empty());
  Stack()->EndProxy();
  EXPECT_EQ(Px(l->GetImage(), 0, 0), kRed);
  EXPECT_EQ(Px(l->GetStencil(), 1, 3), 128u);
  EXPECT_EQ(Px(l->GetStencil(), 2, 3), 255u);
}

}  // namespace
}  // namespace brenmark::testing
