// The row kernels of the fill scan conversion (fill_scan.h): for the general
// scan, a row of the horizontal pass as a running sum of its steps and the
// vertical pass's column means merged into it; for the one-span scan, pixels
// from the spans and a whole row written as runs. One scalar reference and
// SSE2 and AVX2 copies behind a table chosen once at run time (BRENMARK_SIMD
// as for the blending rows).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/simd_level.h"
#include "shapes/fill_scan.h"

namespace brenmark::shapes {

// Start of a span at a in pixel i:   trunc((1 - (a - i)) * 255)
inline int SpanStartCoverage(float a, int i) {
  return static_cast<int>((1.0f - (a - static_cast<float>(i))) * 255.0f);
}
// End of a span at b in pixel j:     trunc((b - j) * 255)
inline int SpanEndCoverage(float b, int j) {
  return static_cast<int>((b - static_cast<float>(j)) * 255.0f);
}
// A span from a to b within one pixel: trunc((b - a) * 255)
inline int SpanInnerCoverage(float a, float b) {
  return static_cast<int>((b - a) * 255.0f);
}

// Mean of three sub-lines: (acc * 21846) >> 16, at most 255. 21846 / 65536
// is 1/3 rounded up, so 3 * 255 gives 255 and no sum of three is lowered.
inline std::uint8_t ThirdOf(unsigned acc) {
  return static_cast<std::uint8_t>(std::min(255u, (acc * 21846u) >> 16));
}

// Mean of the two directions: (h + v) >> 1
inline std::uint8_t HalfSum(unsigned h, unsigned v) {
  return static_cast<std::uint8_t>((h + v) >> 1);
}

// One sub-line's single span [a, b] as its values along the line: i =
// trunc(a), j = trunc(b); `first` the value at i (the start fraction, or the
// covered fraction when i == j), `last` the end fraction at j, 255 between,
// 0 elsewhere. An empty sub-line has i = j = kNoSpan, past every pixel.
constexpr int kNoSpan = 1 << 30;
inline int SpanValueAt(int i, int j, int first, int last, int x) {
  return x > i && x < j ? 255 : x == i ? first : x == j ? last : 0;
}

// The spans of a run of sub-lines, one array per field.
struct SpanLines {
  const int *i, *j, *first, *last;
};

// What a row of the one-span scan needs for its pixels: the row's three
// horizontal sub-lines (top, middle, bottom) and the vertical sub-lines,
// even ones (2c) and odd ones (2c + 1) apart, so that column c is the mean
// of even[c], odd[c] and even[c + 1].
struct SpanRow {
  int y;  // the row, for the vertical sub-lines
  int i[3], j[3], first[3], last[3];
  SpanLines even, odd;
};

// How a row of the one-span scan is written: 0 before zl and after zr (all
// of it when zl > zr), 255 in [gl, gr] where gl <= gr, and pixel by pixel
// (span_pixels) elsewhere.
struct RowLayout {
  int zl, gl, gr, zr;
};

// The part of a row in one cell: columns [a, b) at p[a] .. p[b - 1].
struct RowCell {
  std::uint8_t* p;
  int a, b;
};

// The part of a row laid out as `l` in each cell, with fill(p, n, value)
// for runs of one value and pixels(p, x0, n, room) for the rest (room: the
// end of the cell). The computed runs are written first: what a kernel
// writes past their end, the runs after them write over.
template <typename Fill, typename Pixels>
inline void WriteRowCells(const RowCell* cells, int count, const RowLayout& l, Fill&& fill,
                          Pixels&& pixels) {
  for (const RowCell* cell = cells; cell < cells + count; ++cell) {
    std::uint8_t* const p = cell->p;
    const int a = cell->a, b = cell->b;
    if (l.zl > l.zr || b <= l.zl || a > l.zr) {
      fill(p + a, b - a, 0);
      continue;
    }
    if (a >= l.gl && b - 1 <= l.gr) {
      fill(p + a, b - a, 255);
      continue;
    }
    // [from, to) cut to the cell.
    auto run = [&](int from, int to, auto&& write) {
      from = std::max(from, a);
      to = std::min(to, b);
      if (from < to) write(from, to);
    };
    auto compute = [&](int from, int to) { pixels(p, from, to - from, b); };
    if (l.gl <= l.gr) {
      run(l.zl, l.gl, compute);
      run(l.gr + 1, l.zr + 1, compute);
      run(l.gl, l.gr + 1, [&](int from, int to) { fill(p + from, to - from, 255); });
    } else {
      run(l.zl, l.zr + 1, compute);
    }
    run(a, l.zl, [&](int from, int to) { fill(p + from, to - from, 0); });
    run(l.zr + 1, b, [&](int from, int to) { fill(p + from, to - from, 0); });
  }
}

struct FillScanRows {
  SimdLevel level;
  const char* name;
  // sum += diff[x] (16-bit), diff[x] = 0, out[x] = ThirdOf(sum) for x < n
  // in order, from sum = 0: a row of the horizontal pass from its steps.
  // Answers the final sum.
  std::uint16_t (*running_thirds)(std::uint8_t* out, std::uint16_t* diff, int n);
  // d[c] = HalfSum(d[c], ThirdOf(val[2c] + val[2c + 1] + val[2c + 2])) for
  // c < n: val holds one row of the vertical sub-lines (2n + 2 entries).
  void (*merge_thirds)(std::uint8_t* d, const std::uint8_t* val, int n);
  // d[x] = HalfSum(ThirdOf(h), ThirdOf(v)) for x0 <= x < x0 + n, h the sum
  // of the row's three sub-lines at x and v that of column x's at row.y
  // (d indexed by column). The bytes from x0 + n up to `room` (not
  // included) may be overwritten too, with anything.
  void (*span_pixels)(std::uint8_t* d, int x0, int n, int room, const SpanRow& row);
  // The row `row.y`, laid out as `l`, into each of the cells.
  void (*span_row)(const RowCell* cells, int count, const RowLayout& l, const SpanRow& row);
};

namespace scalar {
std::uint16_t RunningThirds(std::uint8_t* out, std::uint16_t* diff, int n);
void MergeThirds(std::uint8_t* d, const std::uint8_t* val, int n);
void SpanPixels(std::uint8_t* d, int x0, int n, int room, const SpanRow& row);
void SpanRowCells(const RowCell* cells, int count, const RowLayout& l, const SpanRow& row);
}  // namespace scalar
namespace sse2 {
std::uint16_t RunningThirds(std::uint8_t* out, std::uint16_t* diff, int n);
void MergeThirds(std::uint8_t* d, const std::uint8_t* val, int n);
}  // namespace sse2
namespace avx2 {
std::uint16_t RunningThirds(std::uint8_t* out, std::uint16_t* diff, int n);
void MergeThirds(std::uint8_t* d, const std::uint8_t* val, int n);
void SpanPixels(std::uint8_t* d, int x0, int n, int room, const SpanRow& row);
void SpanRowCells(const RowCell* cells, int count, const RowLayout& l, const SpanRow& row);
}  // namespace avx2

// The table of a level, or null when this processor cannot run it.
const FillScanRows* FillScanRowsFor(SimdLevel level);
// The table chosen for this process (first call decides).
const FillScanRows& ActiveFillScanRows();

// ScanPolygonCoverage with the given row table (through the cell scan).
void ScanPolygonCoverageWith(const FillScanRows& rows, const LineSegment* segments, int count,
                             const ilTile& bounds, std::uint8_t* coverage);

// ScanPolygonCoverageCells with the given row table.
bool ScanPolygonCoverageCells(const FillScanRows& rows, const LineSegment* segments, int count,
                              const ilTile& bounds, CoverageCells& out,
                              ScanCycles* cycles = nullptr);

// The definition the fast scan is held to: every segment tested on every
// sub-line, whole coverage lines built, cleared and summed pixel by pixel,
// and the vertical pass written column by column into the buffer.
void ScanPolygonCoverageReference(const LineSegment* segments, int count, const ilTile& bounds,
                                  std::uint8_t* coverage);

}  // namespace brenmark::shapes
