// Profile functions, profile records, the standard-profile factory and the
// brush parameter record.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <brenmark/brush_parameters.h>
#include <brenmark/brush_profile.h>
#include <brenmark/generic_function.h>

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

}  // namespace
