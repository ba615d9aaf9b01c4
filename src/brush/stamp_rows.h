// Row functions of the untransformed dab generator: distance-table look-ups
// through the coverage table, noise, and the colour table. The scalar forms
// are the definition; faster forms must give the same bytes.
#pragma once

#include <cstdint>

namespace brenmark::brush {

// One dab row read from the distance tables: distance index i of pixel x is
// base[x] (+ delta[x] - 128 for a phase other than (0, 0)); its 12-bit
// coverage is coverage[i]; noise[x] is the pixel's noise byte.
struct StampTableRow {
  const std::uint16_t* base;
  const std::uint8_t* delta;  // null for phase (0, 0)
  const std::uint16_t* coverage;
  const std::uint8_t* noise;
  int width;
};

struct StampRowFunctions {
  // out[x] = coverage[index(x)] (12-bit, before mask and noise).
  void (*coverage_from_tables)(const StampTableRow& row, std::uint16_t* out);
  // out[x] = colour[(coverage[index(x)] + noise[x]) >> 4]: packed
  // four-channel pixels, or one byte per pixel.
  void (*colour4_from_tables)(const StampTableRow& row, const std::uint32_t* colour,
                              std::uint32_t* out);
  void (*colour1_from_tables)(const StampTableRow& row, const std::uint8_t* colour,
                              std::uint8_t* out);
};

const StampRowFunctions& ScalarStampRows();
// The rows the generator runs.
const StampRowFunctions& StampRows();

}  // namespace brenmark::brush
