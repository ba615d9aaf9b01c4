// Profile functions, profile records, the standard-profile factory and the
// brush parameter record; opacity levels, sampled profile tables and their
// cache, radius tables and the warnings they print.
#include <brenmark/brush_parameters.h>
#include <brenmark/brush_profile.h>
#include <brenmark/generic_function.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "brush/profile_tables.h"

namespace brenmark::brush {
namespace {

using ProfFunc = BrushProfile::ProfFunc;

// Functions are made with a count of 0, so one unref() ends them.
struct Unref {
  void operator()(Resource* r) const { r->unref(); }
};
using Held = std::unique_ptr<GenericFunction, Unref>;

TEST(ProfileFunctions, EvaluateAtTheEdgesThatMatter) {
  const float zeros[8] = {};
  const float rising[] = {0.2f, 0.3f, 0.8f, 0.9f};
  const float gap[] = {0.5f, 0.7f, 0.5f, 0.3f};
  const float spline3[] = {0.0f, 0.4f, 0.5f, 0.6f, 1.0f, 0.2f};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    GenericFunction* f;
    float x, expected, tolerance;
  } cases[] = {
      {"solid 0.9 inside", new SolidProfile(0.9f), 0.5f, 1.0f, 0.0f},
      {"solid 0.9 rim", new SolidProfile(0.9f), 0.95f, 0.75f, 1e-5f},
      {"solid 0.9 edge", new SolidProfile(0.9f), 1.0f, 0.0f, 1e-5f},
      {"solid 1.0 edge", new SolidProfile(1.0f), 1.0f, 1.0f, 0.0f},
      {"zero polynomial", new Poly1D(zeros, 8), 0.5f, 0.0f, 0.0f},
      {"standard 0 centre", BrushProfile::NewProfileFunction(0, 10), 0.0f, 1.0f, 0.0f},
      {"standard 0 middle", BrushProfile::NewProfileFunction(0, 10), 0.5f, 0.76675f, 1e-6f},
      {"standard 0 edge", BrushProfile::NewProfileFunction(0, 10), 1.0f, 0.00225f, 1e-5f},
      {"standard 1 centre", BrushProfile::NewProfileFunction(1, 10), 0.0f, 1.0f, 0.0f},
      {"standard 1 edge", BrushProfile::NewProfileFunction(1, 10), 1.0f, 0.0f, 0.0f},
      {"spline of 3 mid", new SplineProfile(spline3, 3), 0.5f, 0.35f, 1e-6f},
      {"spline of 3 edge", new SplineProfile(spline3, 3), 1.0f, 0.0f, 0.0f},
      {"spline of none", new SplineProfile(spline3, 0), 0.0f, 0.0f, 0.0f},
      {"linear 7 at a joint", BrushProfile::NewProfileFunction(7, 10), 0.1f, 1.0f, 0.0f},
      {"linear 7 mid segment", BrushProfile::NewProfileFunction(7, 10), 0.15f, 0.5f, 1e-6f},
      {"linear 7 edge", BrushProfile::NewProfileFunction(7, 10), 1.0f, 0.0f, 0.0f},
      {"linear 7 beyond", BrushProfile::NewProfileFunction(7, 10), 1.5f, 0.0f, 0.0f},
      {"linear below x0", new LinearProfile(rising, 2), 0.1f, 0.9f, 0.0f},
      {"linear zero-width", new LinearProfile(gap, 2), 0.5f, 0.7f, 0.0f},
      {"linear NaN", new LinearProfile(rising, 2), nan, 0.9f, 0.0f},
      {"linear of none", new LinearProfile(rising, 0), 0.5f, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    Held f(c.f);
    EXPECT_NEAR(f->value(c.x), c.expected, c.tolerance) << c.what;
  }
  EXPECT_EQ(Poly1D(zeros, 8).degree(), -1);
  EXPECT_EQ(SolidProfile(1.0f).rimFactor(), 0.0f);
}

TEST(ProfileFunctions, EqualityNeedsTheSameClassAndData) {
  const float pts[] = {0.0f, 1.0f, 1.0f, 0.0f};
  const float pts2[] = {0.0f, 1.0f, 1.0f, 0.5f};
  Held solid(new SolidProfile(0.9f)), solid2(new SolidProfile(0.9f)),
      solid3(new SolidProfile(0.8f));
  Held linear(new LinearProfile(pts, 2)), spline(new SplineProfile(pts, 2));
  Held linear2(new LinearProfile(pts2, 2)), poly(new Poly1D(pts, 4)), copy(solid->copy());
  struct Case {
    GenericFunction *a, *b;
    bool equal;
  } cases[] = {
      {solid.get(), solid2.get(), true},    {solid.get(), solid3.get(), false},
      {solid.get(), copy.get(), true},      {linear.get(), spline.get(), false},
      {linear.get(), linear2.get(), false}, {solid.get(), nullptr, false},
      {poly.get(), poly.get(), true},       {poly.get(), linear.get(), false},
  };
  for (const Case& c : cases)
    EXPECT_EQ((std::array{c.a->isEqual(c.b), c.a->isNotEqual(c.b), c.a->differs(c.b)}),
              (std::array<bool, 3>{c.equal, !c.equal, !c.equal}));
  EXPECT_NE(copy.get(), solid.get());  // a copy starts unreferenced
  EXPECT_EQ((std::array{copy->ClassIdentifier(), copy->RefCount()}),
            (std::array{SolidProfile::ClassId(), 0}));
}

TEST(ProfileFactory, SolidHardnessFollowsBrushSize) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    int index;
    float size, hardness;
  } cases[] = {
      {4, 0.0f, 0.86625f},  // 0.99: k = 8, factor 0.875
      {2, 0.0f, 0.45f},     // 0.9: k = 2, halved
      {2, 255.0f, 0.9f},    // k = 8, factor 1
      {3, 127.5f, 0.855f},  // k = 5, factor 0.9
      {2, -40.0f, 0.45f},   // a negative size counts as 0
      {2, nan, 0.45f},
  };
  for (const Case& c : cases) {
    Held f(BrushProfile::NewProfileFunction(c.index, c.size));
    auto* solid = dynamic_cast<SolidProfile*>(f.get());
    ASSERT_NE(solid, nullptr);
    EXPECT_FLOAT_EQ(solid->hardness(), c.hardness) << c.index << " at " << c.size;
  }
}

TEST(ProfileFactory, StandardKindsAndRefusals) {
  const int kinds[] = {Poly1D::ClassId(),        SplineProfile::ClassId(), SolidProfile::ClassId(),
                       SolidProfile::ClassId(),  SolidProfile::ClassId(),  LinearProfile::ClassId(),
                       LinearProfile::ClassId(), LinearProfile::ClassId()};
  for (int i = 0; i < BrushProfile::kStandardCount; ++i) {
    Held f(BrushProfile::NewProfileFunction(i, 20.0f));
    ASSERT_NE(f, nullptr) << i;  // the caller references it
    EXPECT_EQ((std::array{f->ClassIdentifier(), f->RefCount()}), (std::array{kinds[i], 0})) << i;
  }
  EXPECT_TRUE(BrushProfile::NewProfileFunction(-1, 20.0f) == nullptr &&
              BrushProfile::NewProfileFunction(8, 20.0f) == nullptr);

  float v[ProfFunc::kValueCount] = {};
  auto with = [&](int count, int type) {
    ProfFunc r(0, static_cast<ProfFunc::ProfType>(type), v);
    r.count = count;  // the application may write the field directly
    return Held(BrushProfile::NewFunction(r, 10.0f)) != nullptr;
  };
  // Counts up to 8 coefficients, 1 hardness, 31 points; type 4 is none.
  EXPECT_EQ((std::vector<bool>{with(8, ProfFunc::Polynomial), with(9, ProfFunc::Polynomial),
                               with(1, ProfFunc::Solid), with(2, ProfFunc::Solid),
                               with(31, ProfFunc::Spline), with(32, ProfFunc::Linear),
                               with(-1, ProfFunc::Linear), with(1, 4)}),
            (std::vector<bool>{true, false, true, false, true, false, false, false}));
}

TEST(ProfileRecords, ConstructionCopiesOnlyWhatFits) {
  float src[ProfFunc::kValueCount];  // exactly the record's capacity
  for (int i = 0; i < ProfFunc::kValueCount; ++i) src[i] = static_cast<float>(i + 1);
  struct Case {
    int count;
    ProfFunc::ProfType type;
    int storedCount, copiedValues;
  } cases[] = {
      {5, ProfFunc::Polynomial, 5, 5}, {100, ProfFunc::Polynomial, 62, 62},
      {6, ProfFunc::Spline, 6, 12},    {40, ProfFunc::Linear, 31, 62},
      {-3, ProfFunc::Linear, 0, 0},    {1, ProfFunc::Solid, 1, 1},
  };
  for (const Case& c : cases) {
    const ProfFunc r(c.count, c.type, src);
    EXPECT_EQ(r.count, c.storedCount) << c.count;
    for (int i = 0; i < ProfFunc::kValueCount; ++i)
      EXPECT_EQ(r.values[i], i < c.copiedValues ? src[i] : 0.0f) << c.count << " value " << i;
  }
  ProfFunc table[BrushProfile::kStandardCount];
  BrushProfile::initializeProfileFunctions(table);
  EXPECT_EQ(table[5].values[21], 0.0f);  // last point (1, 0)
  EXPECT_EQ(table[6].values[0 * 2 + 1], 0.0416f);
  EXPECT_EQ(table[1].values[11], 0.002479f);

  BrushProfile a(5, table[5]), b(5, table[5]);
  EXPECT_TRUE(a == b);
  b.func.values[61] = 1.0f;  // beyond the points, still part of the record
  EXPECT_FALSE(a.func.SameCoeffs(b.func));
  EXPECT_TRUE(a != b);
}

// A resource that reports its end.
class Source : public Resource {
 public:
  explicit Source(bool* gone) : gone_(gone) {}
  ~Source() override { *gone_ = true; }

 private:
  bool* gone_;
};

TEST(BrushParameters, RecordsReferenceTheirPaintSources) {
  bool goneA = false, goneB = false;
  auto* a = new Source(&goneA);
  auto* b = new Source(&goneB);
  a->ref();  // the test's own reference
  {
    BrushParameters p;
    p.SetPaintSource(a);
    p.SetSecondPaintSource(b);
    EXPECT_EQ(a->RefCount(), 2);
    BrushParameters copy(p);
    EXPECT_EQ((std::array{a->RefCount(), b->RefCount()}), (std::array{3, 2}));
    BrushParameters other;
    other = copy;
    other = other;  // self-assignment keeps the count
    EXPECT_EQ(a->RefCount(), 4);
    other.SetPaintSource(nullptr);
    EXPECT_EQ(a->RefCount(), 3);
  }
  EXPECT_TRUE(a->RefCount() == 1 && goneB && !goneA);  // only the records held b
  a->unref();
  EXPECT_TRUE(goneA);
}

TEST(BrushParameters, ShapeDiffersOnlyForShapeFields) {
  using P = BrushParameters&;
  struct Case {
    void (*edit)(P);
    bool different;
  } cases[] = {
      {[](P p) { p.cloneOffsetX = 1; }, true},
      {[](P p) { p.cloneOffsetY = 1; }, true},
      {[](P p) { p.clone = true; }, true},
      {[](P p) { p.smear = true; }, true},
      {[](P p) { p.radius1 = 3; }, true},
      {[](P p) { p.radius2 = 3; }, true},
      {[](P p) { p.profile.index = 2; }, true},
      {[](P p) { p.profile.func.values[40] = 1; }, true},
      {[](P p) { p.opacity1 = 0.5f; }, false},
      {[](P p) { p.opacity2 = 0.5f; }, false},
      {[](P p) { p.markerWetness = 1; }, false},
      {[](P p) { p.color.Set(1.0f, 0.0f, 0.0f, 1.0f); }, false},
  };
  for (const Case& c : cases) {
    BrushParameters base, edited;
    c.edit(edited);
    EXPECT_EQ(base.BrushShapeIsDifferent(edited), c.different);
    EXPECT_EQ(edited.BrushShapeIsDifferent(base), c.different);
  }
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(OpacityLevels, OpacitySelectsTheNearestLevel) {
  // Levels worked by hand: L_17 = 0.4566, L_18 = 0.5137, L_6 = 0.0865,
  // L_7 = 0.1062, L_21 = 0.7221, L_22 = 0.8060, L_1 = 0.0112.
  struct Case {
    float opacity;
    int level;
  } cases[] = {{1.0f, 24}, {0.0f, 0},   {0.5f, 18}, {0.1f, 7},  {0.75f, 21},
               {0.01f, 1}, {0.004f, 0}, {1.5f, 24}, {-0.2f, 0}, {kNaN, 0}};
  for (const Case& c : cases) EXPECT_EQ(OpacityLevel(c.opacity), c.level) << c.opacity;
  EXPECT_EQ(OpacityLevelValue(0), 0.0f);
  EXPECT_EQ(OpacityLevelValue(24), 1.0f);
}

TEST(OpacityLevels, EveryPercentMapsToTheNearestLevelValue) {
  double L[kOpacityLevels];
  for (int l = 0; l < kOpacityLevels; ++l) L[l] = (std::pow(10.0, l / 24.0) - 1.0) / 9.0;
  for (int p = 0; p <= 100; ++p) {
    const double q = p / 100.0;
    const int got = OpacityLevelOfPercent(p);
    for (int l = 0; l < kOpacityLevels; ++l)
      EXPECT_LE(std::fabs(L[got] - q), std::fabs(L[l] - q) + 1e-6) << "p " << p << " vs " << l;
  }
}

TEST(OpacityLevels, SearchStopsAtTheLastLevelWhenItLiesBelowOne) {
  // Levels that never reach 1: the cursor must stay on level 24 for every
  // percentage above them instead of stepping past the table.
  float levels[kOpacityLevels];
  for (int l = 0; l < kOpacityLevels; ++l) levels[l] = 0.5f * l / 24.0f;
  std::uint8_t table[kOpacityPercents];
  BuildOpacityPercentTable(levels, table);
  EXPECT_EQ(table[0], 0);
  for (int p = 50; p <= 100; ++p) EXPECT_EQ(table[p], 24) << p;
}

TEST(ProfileTables, EntriesScaleTheProfileByTheLevel) {
  const float falling[] = {0.0f, 1.0f, 1.0f, 0.0f};  // f(x) = 1 - x
  const float two[] = {0.0f, 2.0f, 1.0f, 2.0f};
  const float negative[] = {0.0f, -1.0f, 1.0f, -1.0f};
  const float nanCoefficient[] = {kNaN};
  const SolidProfile flat(1.0f);
  const LinearProfile line(falling, 2), above(two, 2), below(negative, 2);
  const Poly1D nan(nanCoefficient, 1);
  struct Case {
    const GenericFunction& f;
    int level, t;
    std::uint16_t entry;
  } cases[] = {
      {flat, 24, 0, 4080},   {flat, 24, 1023, 4080},
      {flat, 0, 500, 0},     {flat, 12, 7, 980},   // trunc(0.2402305 * 255 * 16)
      {line, 24, 100, 3681},                       // f = 0.9022483
      {line, 12, 100, 884},  {line, 24, 1023, 0},  // x = 1023/1023 rounds to 1
      {above, 24, 3, 4080},  {above, 12, 3, 1960},
      {below, 24, 3, 0},     {nan, 24, 3, 0},
  };
  for (const Case& c : cases) {
    const auto table = BuildProfileTable(c.f);
    EXPECT_EQ(table->row(c.level)[c.t], c.entry) << "level " << c.level << " t " << c.t;
    for (int l = 0; l < kOpacityLevels; ++l) EXPECT_EQ(table->row(l)[kProfileOutside], 0);
  }
}

TEST(ProfileTables, CacheKeepsEightMostRecentlyUsed) {
  ProfileTableCache cache;
  std::vector<SolidProfile> f;
  for (int i = 1; i <= 9; ++i) f.emplace_back(0.1f * i);
  std::vector<std::shared_ptr<const ProfileTable>> t;
  for (int i = 0; i < 8; ++i) t.push_back(cache.Lookup(f[i]));
  EXPECT_TRUE(cache.Count() == 8 && f[0].RefCount() == 0);  // the cache keeps its own copy

  // An equal function hits and moves the entry to the front...
  EXPECT_EQ(cache.Lookup(SolidProfile(0.1f)), t[0]);
  // ...so the ninth profile evicts the least recent one, the second.
  cache.Lookup(f[8]);
  EXPECT_EQ(cache.Count(), 8);
  EXPECT_EQ(cache.Lookup(f[0]), t[0]);
  EXPECT_NE(cache.Lookup(f[1]), t[1]);  // rebuilt, evicting the third
  EXPECT_NE(cache.Lookup(f[2]), t[2]);

  cache.Clear();
  EXPECT_TRUE(cache.Count() == 0 && t[1]->row(24)[0] == 4080);  // held tables outlive entries

  ProfileTableCache::Shared().Lookup(SolidProfile(0.5f));
  EmptyProfileTableCache();
  EXPECT_EQ(ProfileTableCache::Shared().Count(), 0);
}

// Builds a radius table with standard error captured.
struct Built {
  int size;
  float radius;
  std::vector<std::uint16_t> table;
  std::string err;
};

Built Build(float radius) {
  Built b{0, radius, std::vector<std::uint16_t>(kRadiusTableEntries, 7), {}};
  testing::internal::CaptureStderr();
  b.size = BuildRadiusTable(b.radius, b.table.data());
  b.err = testing::internal::GetCapturedStderr();
  return b;
}

TEST(RadiusTables, SizeAndEntriesFollowTheRadius) {
  struct Case {
    float radius, usedRadius;
    int size;
    std::vector<std::uint16_t> head;  // the first entries
  } cases[] = {
      {0.1f, 0.1f, 0, {0, 1024}},  // below a quarter pixel only the centre is inside
      {0.0f, 0.01f, 0, {0, 1024}},
      {-5.0f, 0.01f, 0, {0, 1024}},
      {kNaN, 0.01f, 0, {0, 1024}},
      {0.25f, 0.25f, 1, {0, 1023, 1024}},
      {1.0f, 1.0f, 4, {0, 255, 511, 767, 1023, 1024}},
      {64.0f, 64.0f, 256, {0, 3, 7, 11}},
      {64.2f, 64.2f, 260, {0, 3, 7, 11}},  // whole pixels above 64: ceil(64.2) = 65
      {255.0f, 255.0f, 1022, {0, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radius);
    const Built b = Build(c.radius);
    EXPECT_EQ((std::tuple{b.size, b.radius, RadiusTableSize(c.radius), b.err}),
              (std::tuple{c.size, c.usedRadius, c.size, std::string()}));
    EXPECT_EQ(std::vector<std::uint16_t>(b.table.begin(), b.table.begin() + c.head.size()), c.head);
    EXPECT_EQ(b.table[c.size], c.size == 0 ? 0 : 1023);  // the rim
    for (int i = c.size + 1; i < kRadiusTableEntries; ++i) ASSERT_EQ(b.table[i], 1024) << i;
  }
}

TEST(RadiusTables, OversizedRadiusWarnsAndClampsWithoutSizeWarning) {
  const Built b = Build(300.0f);
  EXPECT_EQ(b.err, "Quorvel: Warning -- clamping stamp radius. (300.000000)\n");
  EXPECT_EQ((std::tuple{b.radius, b.size, b.table[1023], RadiusTableSize(300.0f)}),
            (std::tuple{255.0f, 1022, std::uint16_t{1024}, 1022}));

  float r = 12.0f;
  testing::internal::CaptureStderr();
  EXPECT_EQ(BuildRadiusTable(r, nullptr), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Quorvel: Warning -- bad profile scaling LUT\n");
}

}  // namespace
}  // namespace brenmark::brush
