// Opacity levels, sampled profile tables with their shared cache, and radius
// tables.
#include "brush/profile_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include <brenmark/generic_function.h>

namespace brenmark::brush {

namespace {

// Brush diagnostics go to standard error, away from any program output.
__attribute__((format(printf, 1, 2))) void Warn(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

constexpr float kLevelExponentStep = 0.041666668f;  // 1/24
constexpr float kPercent = 0.01f;
constexpr float kPositionStep = 0.0009775171f;  // 1/1023
constexpr float kRadiusToSize = 4.0117645f;     // 1023/255
constexpr float kSmallestRadius = 0.01f;        // what the stamp makes of radius <= 0
constexpr int kLargestTableSize = kRadiusTableEntries - 1;

struct LevelTables {
  float levels[kOpacityLevels];
  std::uint8_t percent[kOpacityPercents];

  LevelTables() {
    // L_l = (10^(l / 24) - 1) / 9 in float.
    for (int l = 0; l < kOpacityLevels; ++l)
      levels[l] = (std::pow(10.0f, static_cast<float>(l) * kLevelExponentStep) - 1.0f) / 9.0f;
    BuildOpacityPercentTable(levels, percent);
  }
};

const LevelTables& Levels() {
  static const LevelTables tables;
  return tables;
}

float StampRadius(float radius) {
  if (!(radius > 0.0f)) return kSmallestRadius;
  return std::min(radius, kMaxStampRadius);
}

// S before the 1023 limit.
int UnlimitedTableSize(float r) {
  return static_cast<int>((r <= 64.0f ? r : std::ceil(r)) * kRadiusToSize);
}

}  // namespace

// ---- Opacity levels.

float OpacityLevelValue(int level) {
  return level >= 0 && level < kOpacityLevels ? Levels().levels[level] : 0.0f;
}

void BuildOpacityPercentTable(const float (&levels)[kOpacityLevels],
                              std::uint8_t (&table)[kOpacityPercents]) {
  int cursor = 1;
  for (int p = 0; p < kOpacityPercents; ++p) {
    const float q = static_cast<float>(p) * kPercent;
    // The cursor stops at the last level even when that level lies below
    // q, so levels[cursor] always exists.
    while (cursor < kOpacityLevels - 1 && levels[cursor] < q) ++cursor;
    const bool upper = levels[cursor] - q <= q - levels[cursor - 1];
    table[p] = static_cast<std::uint8_t>(upper ? cursor : cursor - 1);
  }
}

int OpacityLevelOfPercent(int percent) {
  return Levels().percent[std::clamp(percent, 0, kOpacityPercents - 1)];
}

int OpacityLevel(float opacity) {
  const float o = opacity > 0.0f ? std::min(opacity, 1.0f) : 0.0f;
  return OpacityLevelOfPercent(static_cast<int>(o * 100.0f + 0.5f));
}

// ---- Profile tables.

std::shared_ptr<const ProfileTable> BuildProfileTable(const GenericFunction& f) {
  const LevelTables& lv = Levels();
  auto table = std::make_shared<ProfileTable>();
  for (int t = 0; t < kProfilePositions; ++t) {
    const float ft = f.value(static_cast<float>(t) * kPositionStep);
    for (int l = 0; l < kOpacityLevels; ++l) {
      // 0 for v <= 0 (NaN too), 4080 for v >= 1, else trunc(v * 255 * 16).
      const float v = lv.levels[l] * ft;
      std::uint16_t e = 0;
      if (v >= 1.0f) {
        e = kFullCoverage;
      } else if (v > 0.0f) {
        e = static_cast<std::uint16_t>(v * 255.0f * 16.0f);
      }
      table->rows[l][t] = e;
    }
  }
  for (int l = 0; l < kOpacityLevels; ++l) table->rows[l][kProfileOutside] = 0;
  return table;
}

ProfileTableCache::~ProfileTableCache() {
  Clear();
}

std::shared_ptr<const ProfileTable> ProfileTableCache::Lookup(const GenericFunction& f) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->function->isEqual(&f)) {
      std::rotate(entries_.begin(), it, it + 1);
      return entries_.front().table;
    }
  }
  if (Count() == kCapacity) {
    entries_.back().function->unref();
    entries_.pop_back();
  }
  GenericFunction* own = f.copy();
  own->ref();
  entries_.insert(entries_.begin(), Entry{own, BuildProfileTable(*own)});
  return entries_.front().table;
}

void ProfileTableCache::Clear() {
  for (Entry& e : entries_) e.function->unref();
  entries_.clear();
}

ProfileTableCache& ProfileTableCache::Shared() {
  static ProfileTableCache cache;
  return cache;
}

void EmptyProfileTableCache() {
  ProfileTableCache::Shared().Clear();
}

// ---- Radius tables.

int RadiusTableSize(float radius) {
  return std::min(UnlimitedTableSize(StampRadius(radius)), kLargestTableSize);
}

int BuildRadiusTable(float& radius, std::uint16_t* table) {
  if (radius > kMaxStampRadius) {
    Warn("Quorvel: Warning -- clamping stamp radius. (%f)\n", static_cast<double>(radius));
  }
  radius = StampRadius(radius);
  int size = UnlimitedTableSize(radius);
  if (size > kLargestTableSize) {
    // Unreachable while radii stay within 255 (S = 1022 there); kept as the
    // guard for the table bound.
    Warn("Quorvel: Warning -- Clamping profile LUT size (%d)\n", size);
    size = kLargestTableSize;
  }
  if (table == nullptr) {
    Warn("Quorvel: Warning -- bad profile scaling LUT\n");
    return -1;
  }
  table[0] = 0;
  if (size > 0) {
    // Entry i = trunc(i q), q = (1 / S) * 1023, i counted in float from 1.
    const float q = (1.0f / static_cast<float>(size)) * 1023.0f;
    float fi = 1.0f;
    for (int i = 1; i <= size; ++i, fi += 1.0f) table[i] = static_cast<std::uint16_t>(fi * q);
  }
  std::fill(table + size + 1, table + kRadiusTableEntries, std::uint16_t{kProfileOutside});
  return size;
}

}  // namespace brenmark::brush
