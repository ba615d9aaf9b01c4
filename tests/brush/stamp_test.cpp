// Stamps: setter clamps and change codes, batching, 16-bit opacity, paint
// object notices; dab geometry and phases; the dab-image cache; dabs drawn
// through the painter (both renderers on memory and smart images, image
// stamps, mask sources, failures) and reference images.
#include <brenmark/brush_profile.h>
#include <brenmark/generic_function.h>
#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/paint_ops.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/smart_image.h>
#include <brenmark/soft_paint_ops.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>
#include <brenmark/stamp_image.h>

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "brush/brush_fixture.h"
#include "brush/profile_tables.h"
#include "brush/stamp_impl.h"

namespace {

using namespace brush_test;

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

// The cache entry of a dab centred at (x, y), at the placement fractions
// the painter passes: centre - 0.375.
StampCacheEntry* LookupAt(const Stamp& s, float x, float y) {
  const float px = x - 0.375f, py = y - 0.375f;
  return StampImageCache::Shared().Lookup(s, px - std::floor(px), py - std::floor(py));
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
  const auto lookup = [&](float x, float y) { return LookupAt(*h.s, x, y); };
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
// What the budget counts is what the heap gives the entries.
TEST_F(StampCache, SmallDabsCountTheirImageObjectsAgainstTheBudget) {
  Held h;
  const std::size_t perEntry = sizeof(ILStampImg) + sizeof(Stamp) + sizeof(StampCacheEntry);
  const std::size_t heapBefore = mallinfo2().uordblks;
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
  EXPECT_GT(cache.Count(), 100);    // still a working cache
#if !defined(__SANITIZE_ADDRESS__)  // (its allocator keeps no such count)
  EXPECT_LE(mallinfo2().uordblks - heapBefore, cache.Bytes() + 65536);
#endif
  cache.SetBudget(0);  // ignored
  EXPECT_EQ(cache.Budget(), StampImageCache::kDefaultBudget);
  cache.SetBudget(100000);  // lowering evicts at once
  EXPECT_LE(cache.Bytes(), 100000u);
  cache.SetBudget(StampImageCache::kDefaultBudget);
}

// A cached dab keeps only its pixels: the tables it is made from go once
// it is generated and are built again when it must be made again (here
// after a new radius, then a new colour), giving what a new image gives.
TEST_F(StampCache, CachedDabsMadeAgainEqualNewOnes) {
  Held h;
  h->SetNoise(false);
  h->SetRadius(6.3f);
  StampCacheEntry* e = cache.Lookup(*h.s, 0.25f, 0.5f);
  ASSERT_EQ(e->image()->Update(), ilOkay);
  for (int change = 0; change < 2; ++change) {
    if (change == 0) e->stamp()->SetRadius(9.1f);
    if (change == 1) e->stamp()->SetColor(0.2f, 0.4f, 0.6f, 1.0f);
    auto* fresh = new ILStampImg(e->stamp());
    fresh->ref();
    fresh->SetPhase(e->image()->PhaseX(), e->image()->PhaseY());
    EXPECT_EQ(DabBytes(e->image()), DabBytes(fresh)) << change;
    fresh->unref();
  }
}

TEST_F(StampCache, AColourSourceWithoutImageReportsInvalid) {
  Held h;
  h->SetColorSource(new ImagePaintObj("empty", nullptr));
  ILStampImg* img = cache.Lookup(*h.s, 0, 0)->image();
  EXPECT_EQ(img->Update(), ilInvalid);
  unsigned char buf[11 * 11];
  EXPECT_EQ(img->getTile(0, 0, 11, 11, buf), ilInvalid);
}

// The dab image (pixels and placement) the cache holds for `s` at (x, y).
struct Dab {
  ilTile place;
  std::vector<std::uint8_t> px;
  int channels = 0;
  std::uint32_t At(int x, int y) const {  // target coordinates, 4 channels
    std::uint32_t v = 0;
    if (x < place.x || y < place.y || x >= place.x + place.nx || y >= place.y + place.ny) return 0;
    std::memcpy(&v, &px[((y - place.y) * place.nx + (x - place.x)) * channels], channels);
    return v;
  }
};

Dab CachedDab(const Stamp& s, float x, float y) {
  ILStampImg* img = LookupAt(s, x, y)->image();
  Dab d;
  d.px = DabBytes(img);
  const StampGeometry& g = img->Geometry();
  d.place = ilTile(static_cast<int>(std::floor(x - 0.375f)) - g.originX,
                   static_cast<int>(std::floor(y - 0.375f)) - g.originY, 0, g.width, g.height, 1);
  d.channels = img->getCsize();
  return d;
}

// What the separable renderer writes with dither 128: each byte of the
// colour under the dab through the coverage, over a clear 64 x 64 target.
// The number of painted pixels.
int ExpectSeparable(ilImage* target, const Dab& cov,
                    const std::function<std::uint32_t(int, int)>& colour) {
  int painted = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const unsigned a = cov.At(x, y);
      const std::uint32_t s = a != 0 ? colour(x, y) : 0;
      std::uint32_t expected = 0;
      for (int c = 0; a != 0 && c < 4; ++c)
        expected |= std::min(255u, (((s >> (8 * c)) & 0xFF) * a + 128) >> 8) << (8 * c);
      if (Px(target, x, y) != expected)
        return ADD_FAILURE() << x << "," << y << ": " << Px(target, x, y) << " for " << expected,
               -1;
      painted += a != 0;
    }
  return painted;
}

// A private copy of `s` that paints its coverage: a constant full colour.
Stamp* CoverageOf(Stamp* s) {
  auto* cover = new Stamp(*s);
  cover->SetColorSource(Constant1(255));
  cover->SetKind(Stamp::kColorKind);
  return cover;
}

class StampDraw : public testing::Test {
 protected:
  void SetUp() override {
    StampImageCache::Shared().Empty();
    stamp->SetColor(0.8f, 0.4f, 0.2f, 1.0f);  // bytes 204, 102, 51, 255
  }
  void TearDown() override { StampImageCache::Shared().Empty(); }
  Ref<Stamp> stamp{new Stamp()};
};

TEST_F(StampDraw, ColourDabAcrossAPageCornerOfASmartImageCopiesTheDabImage) {
  Ref<ilSmartImage> target(new ilSmartImage(ilPixel(ilUChar, 4)));
  OverPainter painter(target.p);
  stamp->SetHighQuality(false);  // the colour-image renderer
  stamp->SetRadius(20.0f);
  ASSERT_EQ(painter.set_stamp(stamp.p), 1);
  EXPECT_EQ(painter.draw_stamp(128.3f, 127.8f, nullptr), 0);
  const Dab dab = CachedDab(*stamp.p, 128.3f, 127.8f);
  ilTile modified;
  ASSERT_EQ(painter.tile_modified(modified, SinceReset, 0, 0), 1);
  EXPECT_EQ(modified, dab.place);
  EXPECT_EQ(dab.place, ilTile(107, 107, 0, 41, 41, 1));
  // Every pixel of the four pages around the corner is the dab image's.
  for (int y = 100; y < 156; ++y)
    for (int x = 100; x < 156; ++x) ASSERT_EQ(Px(target.p, x, y), dab.At(x, y)) << x << "," << y;
  EXPECT_EQ(Px(target.p, 127, 127), 0xFF3366CCu);  // the centre: full coverage
  // The rim, (0, 20) of the dab image: 20.26 pixels from the phase-shifted
  // centre, beyond the radius table's 80 steps.
  EXPECT_EQ(Px(target.p, 127, 107), 0u);
  // Two rows in: 18.27 pixels, step 73, profile position 933 (f = 0.041):
  // coverage trunc(0.041 * 4080) >> 4 = 10 scales the colour.
  EXPECT_EQ(Px(target.p, 127, 109) >> 24, 10u);
  EXPECT_EQ(Px(target.p, 127, 109),
            10u << 24 | (51 * 10 / 255) << 16 | (102 * 10 / 255) << 8 | (204 * 10 / 255));
}

TEST_F(StampDraw, SeparableDabBlendsTheColourThroughCoverageWithDither) {
  Ref<ilQVMemoryImg> target(NewMem(64, 64));
  OverPainter painter(target.p);
  stamp->SetRadius(9.5f);
  ASSERT_EQ(painter.set_stamp(stamp.p), 1);
  PinDither(0x01);  // dither 128
  ASSERT_EQ(painter.draw_stamp(30.0f, 31.0f, nullptr), 0);
  // Coverage: the private copy's one-channel dab, through the shared cache.
  Ref<Stamp> cover(CoverageOf(stamp.p));
  const Dab cov = CachedDab(*cover.p, 30.0f, 31.0f);
  EXPECT_GT(ExpectSeparable(target.p, cov, [](int, int) { return 0xFF3366CCu; }), 200);
  BlendFactor s, d;
  painter.get_blend_func(s, d);
  EXPECT_EQ(s, BlendOne);  // restored after the dab
  EXPECT_EQ(SoftPaintOps::GetSingleColorStamp(), 1);
}

// An image stamp takes the colour under the dab, displaced by the offset:
// a = coverage, out = colour * a >> 8 with alpha 255 becoming a exactly.
TEST_F(StampDraw, ImageStampTakesTheColourUnderTheDab) {
  Ref<ilQVMemoryImg> source(NewMem(64, 64));
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      Paint(source.p, x, y, 0xFF000000u | x * 4 | y * 4 << 8 | 0x40u << 16);
  stamp->SetColorSource(new ImagePaintObj("layer", source.p));
  stamp->SetKind(Stamp::kImageKind);
  stamp->SetOffset(5, -3);
  stamp->SetRadius(6.0f);
  Ref<Stamp> cover(CoverageOf(stamp.p));
  Ref<ilQVMemoryImg> target(NewMem(64, 64));
  Ref<SoftPaintOps> painter(new SoftPaintOps(target.p));
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  ILStampImpl impl(painter.p);
  impl.set_stamp(stamp.p);
  for (float cx : {20.2f, 45.7f}) {  // two phases: the private entry re-phases
    const Dab cov = CachedDab(*cover.p, cx, 30.0f);
    ilTile touched;
    ASSERT_EQ(impl.draw_stamp(cx - 0.375f, 30.0f - 0.375f, touched), 0);
    EXPECT_EQ(touched, cov.place);
    for (int y = cov.place.y; y < cov.place.y + cov.place.ny; ++y)
      for (int x = cov.place.x; x < cov.place.x + cov.place.nx; ++x) {
        const unsigned a = cov.At(x, y);
        const std::uint32_t s = Px(source.p, x + 5, y - 3);
        std::uint32_t expected = a << 24;
        for (int c = 0; c < 3; ++c) expected |= (((s >> (8 * c)) & 0xFF) * a >> 8) << (8 * c);
        ASSERT_EQ(Px(target.p, x, y), expected) << cx << ": " << x << "," << y;
      }
  }
  impl.set_stamp(nullptr);
  // Through the painter an image stamp takes the separable renderer: the
  // colour under the dab goes through the coverage with the dither (128).
  Ref<ilQVMemoryImg> other(NewMem(64, 64));
  OverPainter sep(other.p);
  ASSERT_EQ(sep.set_stamp(stamp.p), 1);
  PinDither(0x01);
  ASSERT_EQ(sep.draw_stamp(20.2f, 30.0f, nullptr), 0);
  const Dab cov = CachedDab(*cover.p, 20.2f, 30.0f);
  EXPECT_GT(ExpectSeparable(other.p, cov, [&](int x, int y) { return Px(source.p, x + 5, y - 3); }),
            50);
}

TEST_F(StampDraw, MaskSourceScalesTheTwelveBitCoverage) {
  const int w = 11;  // radius 5
  Ref<ilQVMemoryImg> mask(new ilQVMemoryImg(ilSize(w, w, 1, 1), ilUChar));
  for (int i = 0; i < w * w; ++i) static_cast<std::uint8_t*>(mask->getDataPtr())[i] = i * 2;
  stamp->SetColorSource(Constant1(255));
  Ref<Stamp> plain(new Stamp(*stamp.p));
  stamp->SetMaskSource(new ImagePaintObj("mask", mask.p));
  // Without noise the unmasked pixel is the 12-bit value >> 4; the masked
  // one must lie within the truncations of (v * m >> 8) >> 4.
  const Dab masked = CachedDab(*stamp.p, 10.375f, 10.375f);
  const Dab unmasked = CachedDab(*plain.p, 10.375f, 10.375f);
  ASSERT_EQ(masked.px.size(), static_cast<std::size_t>(w * w));
  int differs = 0;
  for (int i = 0; i < w * w; ++i) {
    const unsigned m = i * 2 & 0xFF, v8 = unmasked.px[i];
    // v12 lies in [16 v8, 16 v8 + 15].
    const unsigned lo = ((16 * v8 * m) >> 8) >> 4, hi = (((16 * v8 + 15) * m) >> 8) >> 4;
    EXPECT_GE(masked.px[i], lo) << i;
    EXPECT_LE(masked.px[i], hi) << i;
    differs += masked.px[i] != v8;
  }
  EXPECT_GT(differs, 30);
  EXPECT_EQ(masked.px[5 * w + 5], (4080u * 120 >> 8) >> 4);  // centre: full coverage, m 120
}

TEST_F(StampDraw, FailuresStopTheRunAndDrawNothing) {
  Ref<ilQVMemoryImg> target(NewMem(32, 32));
  OverPainter painter(target.p);
  ASSERT_EQ(painter.set_stamp(stamp.p), 1);
  EXPECT_EQ(painter.draw_stamp(NAN, 3.0f, nullptr), -1);
  for (bool hq : {true, false}) {
    stamp->SetHighQuality(hq);
    stamp->SetColorSource(new ImagePaintObj("no image", nullptr));
    painter.set_stamp(nullptr);
    ASSERT_EQ(painter.set_stamp(stamp.p), 1);
    EXPECT_EQ(painter.draw_stamp(16.0f, 16.0f, nullptr), -1) << hq;
    // A flat dab (aspect 0) succeeds and changes nothing.
    stamp->SetColor(1, 1, 1, 1);
    stamp->SetAspect(0.0f);
    EXPECT_EQ(painter.draw_stamp(16.0f, 16.0f, nullptr), 0) << hq;
    stamp->SetAspect(1.0f);
  }
  EXPECT_EQ(Snapshot(target.p, 0, 0, 32, 32).pixels, std::vector<std::uint8_t>(32 * 32 * 4, 0));
  // The painter's reset puts the placement back and empties the cache.
  stamp->SetTransform(2, 0, 0, 2);
  EXPECT_GT(StampImageCache::Shared().Count(), 0);
  painter.reset();
  EXPECT_TRUE(stamp->HasIdentityTransform());
  EXPECT_EQ(StampImageCache::Shared().Count(), 0);
}

TEST_F(StampDraw, SingleDabsMatchTheirReferenceImages) {
  struct Case {
    const char* name;
    int profile;
    float radius, aspect, angle, opacity;
    bool sixteen;
  };
  const Case cases[] = {
      {"dab_soft_profile0", 0, 24.0f, 1.0f, 0.0f, 1.0f, false},
      {"dab_hard_profile4", 4, 24.0f, 1.0f, 0.0f, 1.0f, false},
      {"dab_aspect05_angle30", 0, 26.0f, 0.5f, 30.0f, 1.0f, false},
      {"dab_opacity05", 0, 24.0f, 1.0f, 0.0f, 0.5f, false},
      {"dab_16bit_opacity05", 0, 24.0f, 1.0f, 0.0f, 0.5f, true},
  };
  for (const Case& c : cases) {
    Stamp::SetBrush16Bit(c.sixteen);
    Ref<Stamp> s(new Stamp());
    s->SetColor(0.8f, 0.4f, 0.2f, 1.0f);
    s->SetProfile(BrushProfile::NewProfileFunction(c.profile, 2.0f * c.radius));
    s->SetRadius(c.radius);
    s->SetAspect(c.aspect);
    s->SetAngle(c.angle);
    s->SetOpacity(c.opacity);
    Ref<ilQVMemoryImg> target(NewMem(64, 64));
    {
      OverPainter painter(target.p);
      ASSERT_EQ(painter.set_stamp(s.p), 1);
      PinDither(0x01);
      ASSERT_EQ(painter.draw_stamp(32.2f, 31.6f, nullptr), 0) << c.name;
      ASSERT_EQ(painter.GetLowOrderBitImage() != nullptr, c.sixteen) << c.name;
    }
    Stamp::SetBrush16Bit(false);
    EXPECT_TRUE(golden::MatchesGolden(c.name, Snapshot(target.p, 0, 0, 64, 64)));
  }
}

}  // namespace
