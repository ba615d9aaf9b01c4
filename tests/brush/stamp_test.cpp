// Stamps: setter clamps and change codes, batching, 16-bit opacity, paint
// object notices; dab geometry and phases; the dab-image cache.
#include <brenmark/brush_profile.h>
#include <brenmark/generic_function.h>
#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>
#include <brenmark/stamp_image.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

#include "brush/brush_fixture.h"
#include "brush/profile_tables.h"

namespace {

using brush_test::Constant1;
using brush_test::DabBytes;

struct Recorder : Observer {
  void update(Observable* o) override { codes.push_back(static_cast<Stamp*>(o)->LastChange()); }
  std::vector<int> codes;
};

// A stamp held for the test, observed by a recorder.
struct Held {
  Held() : s(new Stamp()) {
    s->ref();
    s->attach(&rec);
  }
  ~Held() {
    s->detach(&rec);
    s->unref();
  }
  Stamp* operator->() const { return s; }
  Stamp* s;
  Recorder rec;
};

// A getter read as a double.
using S = Stamp;
template <auto Getter>
double G(const Stamp& s) {
  return static_cast<double>((s.*Getter)());
}

// Setters clamp, and announce a change code only when the value changed.
// A new stamp is opaque black, radius 5, quality 40, the standard profile.
TEST(Stamp, SettersClampAndAnnounceOnlyChanges) {
  using Set = void (*)(Stamp&);
  using Get = double (*)(const Stamp&);
  const Get identity = G<&S::HasIdentityTransform>, opacity16 = G<&S::GetOpacity16>;
  const Get plain = [](const Stamp& s) -> double { return (s.IsHighQuality() && !s.HasNoise()); };
  const Get masked = [](const Stamp& s) -> double { return (s.GetMaskSource() != nullptr); };
  const Get offset = [](const Stamp& s) -> double {
    int x, y;
    s.GetOffset(x, y);
    return 10.0f * x + y;
  };
  const Get colour = [](const Stamp& s) -> double {
    std::uint32_t v = 0;
    s.GetColorSource()->image()->getTile(0, 0, 1, 1, &v);
    return static_cast<double>(v);
  };
  const struct {
    const char* what;
    Set set;
    Get get;
    double expected;
    std::vector<int> codes;
  } rows[] = {
      {"radius 0", [](Stamp& s) { s.SetRadius(0.0f); }, G<&S::GetRadius>, 0.01f, {1}},
      {"radius -3", [](Stamp& s) { s.SetRadius(-3.0f); }, G<&S::GetRadius>, 0.01f, {1}},
      {"radius NaN", [](Stamp& s) { s.SetRadius(NAN); }, G<&S::GetRadius>, 0.01f, {1}},
      {"radius 300", [](Stamp& s) { s.SetRadius(300.0f); }, G<&S::GetRadius>, 255.0f, {1}},
      {"radius unchanged", [](Stamp& s) { s.SetRadius(5.0f); }, G<&S::GetRadius>, 5.0f, {}},
      {"aspect -2", [](Stamp& s) { s.SetAspect(-2.0f); }, G<&S::GetAspect>, -1.0f, {9}},
      {"aspect 2 (already 1)", [](Stamp& s) { s.SetAspect(2.0f); }, G<&S::GetAspect>, 1.0f, {}},
      {"angle", [](Stamp& s) { s.SetAngle(30.0f); }, G<&S::GetAngle>, 30.0f, {10}},
      {"angle inf refused", [](Stamp& s) { s.SetAngle(INFINITY); }, G<&S::GetAngle>, 0.0f, {}},
      {"identity", [](Stamp& s) { s.SetTransform(1, 0, 0, 1); }, identity, 1.0f, {11}},
      {"opacity -1", [](Stamp& s) { s.SetOpacity(-1.0f); }, G<&S::GetOpacity>, 0.0f, {8}},
      {"opacities", [](Stamp& s) { s.SetOpacities(2.0f, 0.25f, false); }, opacity16, 0.25f, {8}},
      {"kind", [](Stamp& s) { s.SetKind(2); }, G<&S::GetKind>, 2.0f, {7}},
      {"quality", [](Stamp& s) { s.SetQuality(7); }, G<&S::GetQuality>, 7.0f, {6}},
      {"quality unchanged", [](Stamp& s) { s.SetQuality(40); }, plain, 1.0f, {}},
      {"offset", [](Stamp& s) { s.SetOffset(3, -4); }, offset, 26.0f, {12}},
      {"default colour", [](Stamp&) {}, colour, 0xFF000000u, {}},
      {"colour", [](Stamp& s) { s.SetColor(1.0f, 0.5f, -1.0f, 1.0f); }, colour, 0xFF007FFFu, {3}},
      {"mask colour", [](Stamp& s) { s.SetMaskColor(0, 0, 0, 0.5f); }, masked, 1.0f, {4}},
  };
  for (const auto& r : rows) {
    Held h;
    r.set(*h.s);
    EXPECT_EQ(r.get(*h.s), r.expected) << r.what;
    EXPECT_EQ(h.rec.codes, r.codes) << r.what;
  }
  Held h;
  const float coefficients[] = {1.0f, 0.0f, 1.42525f, -7.01f, 4.587f};
  const Poly1D standard(coefficients, 5);
  EXPECT_TRUE(h->GetProfile()->isEqual(&standard));
}

TEST(Stamp, BatchedChangesAnnounceEverythingOnceAtTheOutermostEnd) {
  Held h;
  h->BeginChange();
  h->SetRadius(10.0f);
  h->SetOpacity(0.5f);
  h->BeginChange();
  h->SetAngle(9.0f);
  h->EndChange();
  EXPECT_TRUE(h.rec.codes.empty() && h->PendingChanges() == 3);
  h->EndChange();
  EXPECT_EQ(h.rec.codes, std::vector<int>{13});
  h->EndChange();  // unbalanced: announces nothing, depth stays 0
  EXPECT_EQ(h->BatchDepth(), 0);
  h->SetAngle(1.0f);
  EXPECT_EQ(h.rec.codes, (std::vector<int>{13, 10}));
}

TEST(Stamp, SixteenBitBrushingMovesTheOpacityToTheBlend) {
  Held h;
  // Opacity, 16-bit opacity, the current blend opacity and the 16-bit flag.
  const auto state = [&] {
    return std::vector<float>{h->GetOpacity(), h->GetOpacity16(), h->CurrentOpacity16(),
                              float(h->Is16Bit())};
  };
  Stamp::SetBrush16Bit(true);
  h->SetOpacity(0.4f);
  EXPECT_EQ(state(), (std::vector<float>{1.0f, 0.4f, 0.4f, 1}));
  Stamp::SetBrush16Bit(false);
  h->SetRadius(6.0f);  // re-evaluates against the switch
  EXPECT_EQ(state(), (std::vector<float>{0.4f, 0, 0.4f, 0}));
  EXPECT_EQ(h.rec.codes, (std::vector<int>{8, 1, 8}));
}

TEST(Stamp, PaintObjectNoticesBecomeColourMaskAndSourceChanges) {
  Held h;
  ImagePaintObj* objs[3] = {Constant1(1), Constant1(2), Constant1(3)};
  h->SetColorSource(objs[0]);
  h->SetMaskSource(objs[1]);
  h->SetPaintSource(objs[2]);
  h.rec.codes.clear();
  for (ImagePaintObj* o : objs) o->image_modified(1);
  EXPECT_EQ(h.rec.codes, (std::vector<int>{3, 4, 5}));
  // A copy observes the same objects, and CopyFrom announces everything.
  Held other;
  other->CopyFrom(*h.s);
  EXPECT_EQ(other.rec.codes, std::vector<int>{13});
  EXPECT_EQ(other->GetMaskSource(), objs[1]);
  objs[1]->image_modified(1);
  EXPECT_EQ(other.rec.codes, (std::vector<int>{13, 4}));
}

TEST(StampGeometry, QuantisesAnglesRadiiAndPhases) {
  const float angles[][2] = {{4.4f, 3}, {4.6f, 6}, {-4.6f, -6}, {1.4f, 0}, {1.5f, 3}, {0, 0}};
  for (const auto& a : angles) EXPECT_EQ(QuantizeStampAngle(a[0]), a[1]) << a[0];
  const float phases[][3] = {
      {5, 0.2f, 0}, {5, 0.3f, 1}, {5, 0.6f, 2}, {5, 0.99f, 3}, {80, 0.9f, 0}};
  for (const auto& p : phases) EXPECT_EQ(StampPhase(p[0], p[1]), p[2]) << p[0] << " " << p[1];

  struct Row {
    float radius, aspect, angle, t00, t11;
    int width, height;
    bool untransformed, singular;
  };
  const Row rows[] = {
      {5.0f, 1, 0, 1, 1, 11, 11, true, false},
      {5.1f, 1, 0, 1, 1, 11, 11, true, false},  // 5.0
      {5.2f, 1, 0, 1, 1, 13, 13, true, false},  // 5.25
      {80.4f, 1, 0, 1, 1, 161, 161, true, false},
      {10, 0.99f, 1.0f, 1, 1, 21, 21, true, false},  // same key as a circle
      {10, 0.5f, 0, 1, 1, 21, 11, false, false},
      // Near the identity: whole pixels, and the ellipse keeps its axes.
      {10, 0.5f, 0, 1.00001f, 1, 21, 11, false, false},
      {10, 1, 0, 2, 2, 41, 41, true, false},
      {200, 1, 0, 2, 2, 801, 801, false, false},  // beyond the distance tables
      {10, 0, 0, 1, 1, 21, 1, false, true},
      {10, 0.01f, 0, 1, 1, 21, 1, false, true},
      {10, 1, 0, 1, 0, 1, 1, false, true},  // flat transform
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.radius << " " << r.aspect << " " << r.t00);
    Held h;
    h->SetRadius(r.radius);
    h->SetAspect(r.aspect);
    h->SetAngle(r.angle);
    if (r.t00 != 1 || r.t11 != 1) h->SetTransform(r.t00, 0, 0, r.t11);
    const StampGeometry g = ComputeStampGeometry(*h.s);
    EXPECT_EQ((std::tuple{g.width, g.height, g.untransformed, g.singular}),
              (std::tuple{r.width, r.height, r.untransformed, r.singular}));
    // A scaling transform leaves the radius table describing the unscaled
    // dab: such circles take the matrix walk.
    const int size = brenmark::brush::RadiusTableSize(h->GetRadius());
    EXPECT_EQ(StampTablesServe(g, size), r.untransformed && r.t00 != 2);
  }
}

// The 12-bit coverage of a pixel k whole pixels from the centre of an
// untransformed dab at phase 0, from the profile formula.
int AxisCoverage12(float radius, const GenericFunction& f, int k) {
  const int index = std::min(1024, static_cast<int>(k * (2.0f / 511.0f) * 1023.0f + 0.5f));
  const int size = static_cast<int>(radius * 4.0117645f);
  int position = 1024;
  if (index == 0)
    position = 0;
  else if (index <= size)
    position = static_cast<int>(index * ((1.0f / size) * 1023.0f));
  if (position == 1024) return 0;
  const float v = brenmark::brush::OpacityLevelValue(24) * f.value(position * 0.0009775171f);
  return v >= 1.0f ? 4080 : v > 0.0f ? static_cast<int>(v * 255.0f * 16.0f) : 0;
}

class StampCache : public testing::Test {
 protected:
  void SetUp() override { cache.Empty(); }
  void TearDown() override { cache.Empty(); }
  StampImageCache& cache = StampImageCache::Shared();
};

TEST_F(StampCache, CoverageWithoutNoiseIsTheProfileTableShiftedByFour) {
  Held h;
  h->SetColorSource(Constant1(255));  // the colour table is then the identity
  h->SetRadius(20.0f);
  const std::vector<std::uint8_t> px = DabBytes(cache.Lookup(*h.s, 0.0f, 0.0f)->image());
  ASSERT_EQ(px.size(), 41u * 41);
  for (int k : {0, 1, 5, 12, 19, 20}) {
    const int expected = AxisCoverage12(20.0f, *h->GetProfile(), k) >> 4;
    EXPECT_EQ(px[20 * 41 + 20 + k], expected) << k;
    EXPECT_EQ(px[(20 - k) * 41 + 20], expected) << k;  // symmetric at phase 0
  }
  EXPECT_EQ(px[20 * 41 + 20], 255);
  EXPECT_EQ(px[0], 0);  // corner: outside
}

TEST_F(StampCache, EqualKeysGiveIdenticalImagesWhicheverStampCameFirst) {
  // Angle 1 and aspect 0.99 quantise to the circle of angle 0, aspect 1: the
  // generator must follow the key, not the stamp's raw values.
  // A placement transform that rounds away does the same with the radius.
  const float variants[][4] = {{1.0f, 1.0f, 10.0f, 1.0f},
                               {0.0f, 0.99f, 10.0f, 1.0f},
                               {-1.4f, 0.995f, 10.0f, 1.0f},
                               {0.0f, 1.0f, 10.1f, 1.001f}};
  Held circle;
  circle->SetRadius(10.0f);
  for (const auto& v : variants) {
    Held other;
    other->SetRadius(v[2]);
    other->SetAngle(v[0]);
    other->SetAspect(v[1]);
    if (v[3] != 1.0f) other->SetTransform(v[3], 0, 0, v[3]);
    other->SetColorSource(circle->GetColorSource());
    std::vector<std::uint8_t> first[2];
    for (int order = 0; order < 2; ++order) {
      cache.Empty();
      Stamp* a = order == 0 ? other.s : circle.s;
      Stamp* b = order == 0 ? circle.s : other.s;
      StampCacheEntry* e = cache.Lookup(*a, 0.5f, 0.25f);
      EXPECT_EQ(cache.Lookup(*b, 0.5f, 0.25f), e);  // one entry serves both
      first[order] = DabBytes(e->image());
    }
    const auto diff = std::mismatch(first[0].begin(), first[0].end(), first[1].begin());
    EXPECT_EQ(diff.first, first[0].end())
        << "angle " << v[0] << " aspect " << v[1] << ": byte " << diff.first - first[0].begin();
  }
}

TEST_F(StampCache, SingularKeysGiveEmptyDabsWithoutNaNIndices) {
  const float aspects[] = {0.0f, 0.01f, -0.01f};
  for (float aspect : aspects) {
    Held h;
    h->SetRadius(10.0f);
    h->SetAspect(aspect);
    EXPECT_EQ(DabBytes(cache.Lookup(*h.s, 0.75f, 0.5f)->image()),
              std::vector<std::uint8_t>(21 * 4, 0))
        << aspect;
  }
}

TEST_F(StampCache, DabsShareAnImagePerPhaseAndLargeDabsIgnoreThePhase) {
  Held h;
  const long long hits = cache.Hits();
  // Placement fractions as the painter passes them: centre - 0.375.
  const auto lookup = [&](float x, float y) {
    const float px = x - 0.375f, py = y - 0.375f;
    return cache.Lookup(*h.s, px - std::floor(px), py - std::floor(py));
  };
  StampCacheEntry* a = lookup(10.2f, 10.2f);
  EXPECT_EQ(lookup(20.2f, 20.2f), a);
  StampCacheEntry* b = lookup(10.6f, 10.2f);
  EXPECT_NE(b, a);
  EXPECT_EQ((std::array{a->key.phaseX, b->key.phaseX}), (std::array{3, 0}));
  h->SetRadius(80.4f);
  StampCacheEntry* c = lookup(10.6f, 10.2f);
  EXPECT_EQ(lookup(20.1f, 20.9f), c);
  EXPECT_EQ(c->key.phaseX + c->key.phaseY, 0);
  EXPECT_EQ(c->image()->getXsize(), 161);
  EXPECT_EQ(cache.Count(), 3);
  EXPECT_EQ(cache.Hits() - hits, 2);
}

// The budget bounds the memory the entries really take, not only their
// pixels: a pressure stroke of small dabs makes a new entry at nearly every
// dab, and each carries an image object and a stamp copy far larger than
// its pixels. Radii 0.5 .. 4 in small steps, four phases each: about 1,400
// distinct dabs of at most 9 x 9 pixels.
TEST_F(StampCache, SmallDabsCountTheirImageObjectsAgainstTheBudget) {
  Held h;
  const std::size_t perEntry = sizeof(ILStampImg) + sizeof(Stamp) + sizeof(StampCacheEntry);
  for (float r = 0.5f; r <= 4.0f; r += 0.01f) {
    h->SetRadius(r);
    for (float f : {0.0f, 0.25f, 0.5f, 0.75f}) {
      StampCacheEntry* e = cache.Lookup(*h.s, f, f);
      ASSERT_EQ(e->image()->Update(), ilOkay);
      ASSERT_GE(e->bytes, e->image()->getDataSize() + perEntry);
      ASSERT_LE(cache.Bytes(), cache.Budget());
    }
  }
  EXPECT_LE(static_cast<std::size_t>(cache.Count()) * perEntry, cache.Budget());
  EXPECT_GT(cache.Count(), 100);  // still a working cache
  cache.SetBudget(0);             // ignored
  EXPECT_EQ(cache.Budget(), StampImageCache::kDefaultBudget);
  cache.SetBudget(100000);  // lowering evicts at once
  EXPECT_LE(cache.Bytes(), 100000u);
  cache.SetBudget(StampImageCache::kDefaultBudget);
}

TEST_F(StampCache, AColourSourceWithoutImageReportsInvalid) {
  Held h;
  h->SetColorSource(new ImagePaintObj("empty", nullptr));
  ILStampImg* img = cache.Lookup(*h.s, 0, 0)->image();
  EXPECT_EQ(img->Update(), ilInvalid);
  unsigned char buf[11 * 11];
  EXPECT_EQ(img->getTile(0, 0, 11, 11, buf), ilInvalid);
}

}  // namespace
