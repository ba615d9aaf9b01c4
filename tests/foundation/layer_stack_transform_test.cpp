// View transform: mapping order, strategies, rotation, the view query and
// the tile forms with their rounding.
#include "brenmark/layer_stack_transform.h"

#include "foundation/view_origin_query.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <utility>

namespace {

using T = LayerStackTransform;
using P = std::pair<float, float>;

// (x, y) mapped forward or back.
P Fwd(const T& t, float x, float y, T::ScaleStrategy s = T::kScale, bool noRot = false) {
  t.XformCoords(x, y, s, noRot);
  return {x, y};
}
P Inv(const T& t, float x, float y) {
  t.InvXformCoords(x, y);
  return {x, y};
}
void ExpectNear(P got, P want) {
  EXPECT_NEAR(got.first, want.first, 1e-4f);
  EXPECT_NEAR(got.second, want.second, 1e-4f);
}

}  // namespace

TEST(LayerStackTransform, ScalesAndZoomPredicates) {
  T t;
  EXPECT_FALSE(t.Zoomed());
  EXPECT_EQ(Fwd(t, 12.5f, -3.0f), P(12.5f, -3.0f));
  // A zero scale has a zero inverse rather than an infinite one.
  t.SetScale(0.0f, 4.0f);
  EXPECT_EQ(Inv(t, 50.0f, 8.0f), P(0.0f, 2.0f));
  // (out, in, zoomed) after each scale.
  t.SetScale(0.5f, 1.0f);
  EXPECT_EQ((std::array{t.ZoomedOut(), t.ZoomedIn(), t.Zoomed()}), (std::array{true, false, true}));
  t.SetScale(1.0f, 2.0f);
  EXPECT_EQ((std::array{t.ZoomedOut(), t.ZoomedIn(), t.Zoomed()}),
            (std::array{false, false, true}));
  t.SetScaleAndOffset(3.0f, 4.0f, 2.0f);
  float x, y, sx, sy;
  t.GetScaleAndOffset(x, y, sx, sy);
  EXPECT_TRUE(t.ZoomedIn());
  EXPECT_EQ((std::array{x, y, sx, sy}), (std::array{3.0f, 4.0f, 2.0f, 2.0f}));
}

// Unrotated: scale about the origin, then subtract the offset; the centre
// cancels when the scale applies and is scaled in anyway when it does not.
// Rotated: about the centre, the scale offset added back. Every case maps
// back through the inverse where the inverse applies.
TEST(LayerStackTransform, MappingPerStrategyAndRotation) {
  const struct {
    T t;
    float px, py;
    T::ScaleStrategy s;
    bool noRot;
    P want;
    bool inverts;
  } cases[] = {
      {T(10, 5, 2, 3, 3, 4, 0), 7, 6, T::kScale, false, {4, 13}, true},  // 7*2 - 10, 6*3 - 5
      // (7-3) - 10 + 3*2, (6-4) - 5 + 4*3
      {T(10, 5, 2, 3, 3, 4, 0), 7, 6, T::kNoScale, false, {0, 9}, false},
      {T(10, 5, 2, 3, 3, 4, 0), 7, 6, T::kScaleWhenZoomedOut, false, {0, 9}, false},  // zoomed in
      {T(0, 0, 0.5f, 0.5f, 0, 0, 0), 8, 2, T::kScaleWhenZoomedOut, false, {4, 1}, false},
      {T(0, 0, 3, 1, 0, 0, 0), 2, 5, T::kScale, false, {6, 5}, true},  // y keeps its units
      {T(0, 0, 1, 1, 10, 10, 90), 11, 10, T::kScale, false, {10, 11}, true},
      // The flag skips the turn but keeps the rotated form's offsets and centre.
      {T(0, 0, 1, 1, 10, 10, 90), 11, 10, T::kScale, true, {11, 10}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.px << ", " << c.py << " strategy " << c.s);
    ExpectNear(Fwd(c.t, c.px, c.py, c.s, c.noRot), c.want);
    if (c.inverts) ExpectNear(Inv(c.t, c.want.first, c.want.second), P(c.px, c.py));
  }
  T t(4.0f, 6.0f, 2.0f, 2.0f, 1.0f, 1.0f, 180.0f);
  t.SetScaleOffset(1.0f, -2.0f);
  // ((3,2) - (1,1)) * 2 = (4,2); turned half way: (-4,-2); minus (5,4); plus (1,1).
  ExpectNear(Fwd(t, 3.0f, 2.0f), P(-8.0f, -5.0f));
  ExpectNear(Inv(t, -8.0f, -5.0f), P(3.0f, 2.0f));
}

TEST(LayerStackTransform, InverseRoundTripsAcrossSettings) {
  for (float deg : {0.0f, 30.0f, -135.0f}) {
    T t(-7.5f, 3.25f, 1.5f, 0.75f, 20.0f, -11.0f, deg);
    t.SetScaleOffset(2.0f, 3.0f);
    for (float px = -40.0f; px <= 40.0f; px += 20.0f) {
      SCOPED_TRACE(deg);
      const P there = Fwd(t, px, 0.5f * px + 1.0f);
      ExpectNear(Inv(t, there.first, there.second), P(px, 0.5f * px + 1.0f));
    }
  }
}

TEST(LayerStackTransform, EqualityIgnoresScaleOffset) {
  T a(1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f);
  T b(1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f);
  b.SetScaleOffset(9.0f, 9.0f);
  EXPECT_TRUE(a == b && !(a != b));
  b.SetPivot(5.0f, 6.5f);
  EXPECT_TRUE(a != b);
}

namespace {

void AnswerOrigin(void* view, int* ox, int* oy, float* sx, float* sy) {
  *ox = *static_cast<int*>(view);
  *oy = -20;
  *sx = 2.0f;
  *sy = 0.0f;  // no answer for y: reads as 1
}

// Installs a view query for one test and restores the previous one.
class ScopedViewQuery {
 public:
  explicit ScopedViewQuery(brenmark::ViewOriginQuery q) : old_(brenmark::SetViewOriginQuery(q)) {}
  ~ScopedViewQuery() { brenmark::SetViewOriginQuery(old_); }

 private:
  brenmark::ViewOriginQuery old_;
};

}  // namespace

TEST(LayerStackTransform, BuiltFromViewNegatesOriginAndDefaultsZeroScale) {
  int origin = 15;
  {
    ScopedViewQuery hook(AnswerOrigin);
    const T t(static_cast<void*>(&origin));
    EXPECT_EQ(t, T(-15.0f, 20.0f, 2.0f, 1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(t.GetInvXScale(), 0.5f);  // derived terms were regenerated
    EXPECT_TRUE(T(static_cast<void*>(nullptr)) == T());
  }
  ScopedViewQuery none(nullptr);
  EXPECT_TRUE(T(static_cast<void*>(&origin)) == T());
}

// Tiles: scaled, shifted and rounded half away from zero; centre and
// rotation play no part.
TEST(LayerStackTransformTile, ForwardAndInverseRounding) {
  const struct {
    T t;
    ilTile in;
    T::ScaleStrategy s;
    bool inverse;
    ilTile want;
  } cases[] = {
      {T(10, 0, 2, 2, 99, 99, 0), ilTile(3, 4, 7, 5, 6, 1), T::kScale, false,
       ilTile(-4, 8, 7, 10, 12, 1)},
      {T(0, 0, 1, 1, 50, 50, 90), ilTile(3, 4, 0, 5, 6, 1), T::kScale, false,
       ilTile(3, 4, 0, 5, 6, 1)},
      // 3 -> 1.5 -> 2, -3 -> -1.5 -> -2.
      {T(0, 0, 0.5f, 0.5f, 0, 0, 0), ilTile(3, -3, 0, 5, 1, 1), T::kScale, false,
       ilTile(2, -2, 0, 3, 1, 1)},
      // 1.25, -1.25, 0.25, 1.75: below a half goes toward zero.
      {T(0, 0, 0.25f, 0.25f, 0, 0, 0), ilTile(5, -5, 0, 1, 7, 1), T::kScale, false,
       ilTile(1, -1, 0, 0, 2, 1)},
      {T(10, 0, 2, 2, 0, 0, 0), ilTile(-4, 8, 0, 10, 12, 1), T::kScale, true,
       ilTile(3, 4, 0, 5, 6, 1)},
      {T(10, 0, 2, 2, 0, 0, 0), ilTile(-4, 8, 0, 10, 12, 1), T::kNoScale, true,
       ilTile(6, 8, 0, 10, 12, 1)},
      {T(0, 0, 2, 2, 0, 0, 0), ilTile(1, 1, 0, 4, 4, 1), T::kScaleWhenZoomedOut, false,
       ilTile(1, 1, 0, 4, 4, 1)},
      {T(0, 0, 0.5f, 0.5f, 0, 0, 0), ilTile(1, 1, 0, 4, 4, 1), T::kScaleWhenZoomedOut, false,
       ilTile(1, 1, 0, 2, 2, 1)},  // 0.5 rounds up to 1
      // Results past the int range saturate.
      {T(0, 0, 1e6f, -1e6f, 0, 0, 0), ilTile(100000, 100000, 0, 1, 1, 1), T::kScale, false,
       ilTile(INT_MAX, INT_MIN, 0, 1000000, -1000000, 1)},
  };
  for (const auto& c : cases) {
    ilTile tile = c.in;
    c.inverse ? c.t.InvXformTile(tile, c.s) : c.t.XformTile(tile, c.s);
    EXPECT_EQ(tile, c.want) << "from " << c.in.x << ", " << c.in.y << " strategy " << c.s;
  }
}
