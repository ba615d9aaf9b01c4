// The lookup tables dab images are built from: the 25 opacity levels and
// the percentage table that picks one, the shared cache of sampled profile
// tables, and the radius table that turns a distance index into a profile
// position.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class GenericFunction;

namespace brenmark::brush {

// ---- Opacity levels.
// Level l has the value L_l = (10^(l / 24) - 1) / 9, so L_0 = 0 and L_24 = 1,
// the exponent stepping by the float nearest 1/24 (0.041666668).
inline constexpr int kOpacityLevels = 25;
inline constexpr int kOpacityPercents = 101;

// L_level; 0 for a level outside 0..24.
float OpacityLevelValue(int level);

// The level of an opacity percentage p = 0..100: the level whose value is
// nearest p / 100 (p * 0.01 in float), ties to the lower level. Built from
// `levels` by walking p upward with a cursor that never passes the last
// level, whatever the values are.
void BuildOpacityPercentTable(const float (&levels)[kOpacityLevels],
                              std::uint8_t (&table)[kOpacityPercents]);

// The level of an opacity: the percentage table at trunc(o * 100 + 0.5).
// The opacity is clamped to [0, 1] first (NaN counts as 0).
int OpacityLevel(float opacity);
// The percentage table itself (built once, never freed); p is clamped to 0..100.
int OpacityLevelOfPercent(int percent);

// ---- Profile tables.
// 25 rows (one per opacity level) of 1025 12-bit coverages: for row l and
// position t = 0..1023, v = L_l * f(t * 0.0009775171) (the float nearest
// 1/1023); the entry is 0 for v <= 0 (and NaN), 4080 for v >= 1, else
// trunc(v * 255 * 16). Entry 1024 of every row is 0: outside the brush.
inline constexpr int kProfilePositions = 1024;
inline constexpr int kProfileOutside = 1024;
inline constexpr int kProfileRowLength = kProfilePositions + 1;
inline constexpr std::uint16_t kFullCoverage = 4080;

struct ProfileTable {
  std::uint16_t rows[kOpacityLevels][kProfileRowLength];

  const std::uint16_t* row(int level) const { return rows[level]; }
};

// Samples `f` into a new table.
std::shared_ptr<const ProfileTable> BuildProfileTable(const GenericFunction& f);

// Profile tables for the last few profiles used, most recent first. An entry
// keeps its own copy of the function (referenced) and its table; a lookup
// compares by the function's equality, moves a hit to the front, and builds
// a miss at the front after dropping the least recently used entry when the
// cache is full.
//
// Tables are handed out shared: a caller may keep one after its entry is
// evicted or the cache emptied, and it stays valid for as long as it is held.
class ProfileTableCache {
 public:
  static constexpr int kCapacity = 8;

  ProfileTableCache() = default;
  ProfileTableCache(const ProfileTableCache&) = delete;
  ProfileTableCache& operator=(const ProfileTableCache&) = delete;
  ~ProfileTableCache();

  std::shared_ptr<const ProfileTable> Lookup(const GenericFunction& f);
  // Drops every entry (their function copies are released).
  void Clear();
  int Count() const { return static_cast<int>(entries_.size()); }

  // The cache every stamp image shares.
  static ProfileTableCache& Shared();

 private:
  struct Entry {
    GenericFunction* function;  // referenced copy
    std::shared_ptr<const ProfileTable> table;
  };
  std::vector<Entry> entries_;  // most recently used first
};

// Empties the shared profile-table cache (the painter's reset does this).
void EmptyProfileTableCache();

// ---- Radius tables.
// A stamp image's radius table maps a distance index (1023 steps across
// 255.5 pixels) to a profile position 0..1023, or 1024 outside the brush.
inline constexpr int kRadiusTableEntries = 1024;
inline constexpr float kMaxStampRadius = 255.0f;

// The table size S of a radius: trunc(r * 4.0117645) (the float nearest
// 1023/255) for r <= 64, trunc(ceil(r) * 4.0117645) above, at most 1023. The
// radius is taken as the stamp keeps it: above 255 it is 255, at or below 0
// (or NaN) it is 0.01. Prints nothing.
int RadiusTableSize(float radius);

// Builds the table for `radius` into `table` (1024 entries) and answers S,
// or -1 when `table` is null. Entry 0 is 0; entry i = 1..S is
// trunc(i * q) with q = (1 / S) * 1023 in float; the rest are 1024. A radius
// above 255 is reported ("Quorvel: Warning -- clamping stamp radius. (%f)")
// and `radius` becomes 255; one at or below 0 (or NaN) becomes 0.01.
//
// Radii below about 0.25 give S = 0: only entry 0 (the centre) is inside
// and everything else is outside; q is then never formed.
int BuildRadiusTable(float& radius, std::uint16_t* table);

}  // namespace brenmark::brush
