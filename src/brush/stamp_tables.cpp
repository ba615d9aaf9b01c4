// The shared dab tables: fast square root, distance tables, noise.
#include "brush/stamp_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace brenmark::brush {

namespace {

constexpr int kMantissaBits = 11;
constexpr int kSqrtEntries = 2 << kMantissaBits;  // 4096: both exponent parities

struct SqrtTable {
  std::uint32_t mantissa[kSqrtEntries];

  SqrtTable() {
    // Index p << 11 | t stands for the value (1 + t / 2048) * 2^p: p = 1
    // when the unbiased exponent is odd, whose root then carries the extra
    // factor 2 inside the mantissa.
    for (int p = 0; p < 2; ++p) {
      for (int t = 0; t < (1 << kMantissaBits); ++t) {
        const double v = (1.0 + t / 2048.0) * (p != 0 ? 2.0 : 1.0);
        const float root = static_cast<float>(std::sqrt(v));
        std::uint32_t bits;
        std::memcpy(&bits, &root, 4);
        mantissa[p << kMantissaBits | t] = bits & 0x7FFFFFu;
      }
    }
  }
};

const SqrtTable& Sqrt() {
  static const SqrtTable table;
  return table;
}

constexpr float kDistanceScale = 2.0f / 511.0f;
constexpr float kDistanceSteps = 1023.0f;

int DistanceIndex(int row, int col, int px, int py) {
  const float dx = static_cast<float>(col - kDistanceCentre) - static_cast<float>(px) * 0.25f;
  const float dy = static_cast<float>(row - kDistanceCentre) - static_cast<float>(py) * 0.25f;
  const float d = FastSqrt(dx * dx + dy * dy);
  const int index = static_cast<int>(d * kDistanceScale * kDistanceSteps + 0.5f);
  return std::min(index, kDistanceOutside);
}

}  // namespace

float FastSqrt(float v) {
  if (!(v > 0.0f)) return 0.0f;
  std::uint32_t bits;
  std::memcpy(&bits, &v, 4);
  const int biased = static_cast<int>(bits >> 23) & 0xFF;
  if (biased == 0xFF) return v;  // infinity stays infinite
  // Denormals (biased exponent 0) are far below any distance used here;
  // they count as 0.
  if (biased == 0) return 0.0f;
  const int exponent = biased - 127;
  const int odd = exponent & 1;
  const std::uint32_t index =
      static_cast<std::uint32_t>(odd) << kMantissaBits | (bits & 0x7FFFFFu) >> (23 - kMantissaBits);
  // floor(exponent / 2), also for negative exponents.
  const int half = (exponent - odd) / 2;
  const std::uint32_t out = static_cast<std::uint32_t>(half + 127) << 23 | Sqrt().mantissa[index];
  float r;
  std::memcpy(&r, &out, 4);
  return r;
}

DistanceTables::DistanceTables() {
  constexpr int kCells = kDistanceSide * kDistanceSide;
  base_ = new std::uint16_t[kCells];
  for (int row = 0; row < kDistanceSide; ++row)
    for (int col = 0; col < kDistanceSide; ++col)
      base_[row * kDistanceSide + col] = static_cast<std::uint16_t>(DistanceIndex(row, col, 0, 0));
  for (int p = 1; p < 16; ++p) {
    std::uint8_t* d = new std::uint8_t[kCells];
    for (int row = 0; row < kDistanceSide; ++row) {
      for (int col = 0; col < kDistanceSide; ++col) {
        const int v = DistanceIndex(row, col, p / 4, p % 4);
        d[row * kDistanceSide + col] =
            static_cast<std::uint8_t>(v - base_[row * kDistanceSide + col] + 128);
      }
    }
    deltas_[p - 1] = d;
  }
}

const DistanceTables& DistanceTables::Get() {
  // Never freed: dab images may be generated until the process ends.
  static const DistanceTables* tables = new DistanceTables();
  return *tables;
}

int DistanceTables::At(int px, int py, int row, int col) const {
  const int base = BaseRow(row)[col];
  const std::uint8_t* delta = DeltaRow(px, py, row);
  return delta == nullptr ? base : base + delta[col] - 128;
}

const std::uint8_t* NoiseTable(bool noisy) {
  struct Noise {
    std::uint8_t random[kNoiseBytes];
    std::uint8_t zero[kNoiseBytes] = {};
    Noise() {
      for (std::uint8_t& b : random) b = static_cast<std::uint8_t>(std::rand() & 15);
    }
  };
  static const Noise noise;
  return noisy ? noise.random : noise.zero;
}

int& NoiseCursor() {
  static int cursor = 0;
  return cursor;
}

}  // namespace brenmark::brush
