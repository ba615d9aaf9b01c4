// Scan conversion of the shape fill: partial coverage of a polygon, given as
// line segments, over a rectangle of one-byte pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brenmark/il_types.h"

namespace brenmark::shapes {

// A polygon edge from (x, y) to (x + dx, y + dy), in image coordinates.
struct LineSegment {
  float x, y, dx, dy;
};

// Partial coverage of the polygon given by its segments over the tile
// `bounds` (x, y, nx, ny): `coverage` holds bounds.nx * bounds.ny bytes,
// row-major from (bounds.x, bounds.y), zeroed by the caller. Horizontal
// sub-line scan, then vertical, the result their mean.
//
// Sub-lines run every half pixel. On each, the crossings with the segments
// (clamped to the tile, sorted, exact duplicates dropped) pair up into spans:
// the pixels inside a span get 255 and its end pixels the covered fraction.
// A sub-line with an odd number of crossings stays empty. A row is the mean
// of the sub-lines at its top, middle and bottom; the bottom one is the top
// one of the next row. The last row and column are never reached and stay 0.
// Null segments, a negative count or an empty tile leave `coverage` as it is.
void ScanPolygonCoverage(const LineSegment* segments, int count, const ilTile& bounds,
                         std::uint8_t* coverage);

// Where the cell scan puts the coverage: the bounds cut along the page
// grid (multiples of 128 in image coordinates) into cells, handed over a
// band of cells (one page row) at a time, left to right, bands top to
// bottom. A cell is either one value all over or written pixel by pixel.
class CoverageCells {
 public:
  virtual ~CoverageCells() = default;
  // Every pixel of `cell` (image coordinates) has coverage `value`; false
  // when it could not be stored.
  virtual bool Solid(const ilTile& cell, std::uint8_t value) = 0;
  // Memory for the pixels of `cell`: its row r at the answer + r * *stride.
  // Every byte of it is written before BandDone. Null when it cannot be had
  // (the cell is then skipped).
  virtual std::uint8_t* Rows(const ilTile& cell, std::ptrdiff_t* stride) = 0;
  // The cells of the band are all written.
  virtual void BandDone() = 0;
};

// Time-stamp cycles a cell scan spent, added up when asked for: its
// horizontal and vertical sub-line passes, and within them the finding and
// ordering of the crossings.
struct ScanCycles {
  std::uint64_t horizontal = 0, vertical = 0, crossings = 0;
};

// The same coverage as ScanPolygonCoverage, cell by cell. False when a cell
// could not be stored (the others are all the same). Null segments, a
// negative count or an empty tile hand over nothing. With `cycles`, the
// passes' times are added to it.
bool ScanPolygonCoverageCells(const LineSegment* segments, int count, const ilTile& bounds,
                              CoverageCells& out, ScanCycles* cycles = nullptr);

// Below 0.997 every byte b becomes (b * k) >> 8, k = round(opacity * 256)
// (halves away from zero). A negative opacity gives k = 0; NaN and values
// from 0.997 on leave the bytes as they are.
void ScaleCoverage(std::uint8_t* coverage, std::size_t n, float opacity);

}  // namespace brenmark::shapes
