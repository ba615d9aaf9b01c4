// Opacity levels, sampled profile tables and their cache, radius tables and
// the warnings they print.
#include "brush/profile_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <brenmark/generic_function.h>

namespace brenmark::brush {
namespace {

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
