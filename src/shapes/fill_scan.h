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

// Below 0.997 every byte b becomes (b * k) >> 8, k = round(opacity * 256)
// (halves away from zero). A negative opacity gives k = 0; NaN and values
// from 0.997 on leave the bytes as they are.
void ScaleCoverage(std::uint8_t* coverage, std::size_t n, float opacity);

}  // namespace brenmark::shapes
