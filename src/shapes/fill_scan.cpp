// Scan conversion of the shape fill: crossings of the half-pixel sub-lines
// with the polygon's segments, spans summed three sub-lines to a row in both
// directions, and the run-time choice of the row kernels.
#include "shapes/fill_scan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/platform.h"
#include "shapes/fill_scan_lines.h"
#include "shapes/fill_scan_rows.h"

namespace brenmark::shapes {

namespace scalar {

std::uint16_t RunningThirds(std::uint8_t* out, std::uint16_t* diff, int n) {
  std::uint16_t sum = 0;
  for (int x = 0; x < n; ++x) {
    sum = static_cast<std::uint16_t>(sum + diff[x]);
    diff[x] = 0;
    out[x] = ThirdOf(sum);
  }
  return sum;
}

void MergeThirds(std::uint8_t* d, const std::uint8_t* val, int n) {
  for (int c = 0; c < n; ++c) {
    d[c] = HalfSum(d[c], ThirdOf(val[2 * c] + val[2 * c + 1] + val[2 * c + 2]));
  }
}

}  // namespace scalar

namespace {

constexpr FillScanRows kScalar = {SimdLevel::kScalar,  "scalar",           scalar::RunningThirds,
                                  scalar::MergeThirds, scalar::SpanPixels, scalar::SpanRowCells};
constexpr FillScanRows kSse2 = {SimdLevel::kSse2,    "sse2",
                                sse2::RunningThirds, sse2::MergeThirds,
                                scalar::SpanPixels,  scalar::SpanRowCells};
constexpr FillScanRows kAvx2 = {SimdLevel::kAvx2,  "avx2",           sse2::RunningThirds,
                                avx2::MergeThirds, avx2::SpanPixels, avx2::SpanRowCells};

bool Usable(const LineSegment* segments, int count, const ilTile& bounds,
            const std::uint8_t* coverage) {
  return segments != nullptr && count > 0 && coverage != nullptr && bounds.nx > 0 && bounds.ny > 0;
}

// The steps of one span from a in pixel i to b in pixel j, given the start
// fraction `first` and the end fraction negated (`negEnd`).
template <typename F>
inline void SpanStepsOf(float a, float b, int i, int j, int first, int negEnd, F& step) {
  if (i == j) {
    const int in = SpanInnerCoverage(a, b);
    step(i, in);
    step(i + 1, -in);
    return;
  }
  step(i, first);
  step(i + 1, 255 - first);
  step(j, -negEnd - 255);
  step(j + 1, negEnd);
}

// The coverage of one sub-line's spans as steps: step(p, d) says the value
// changes by d from pixel p on (p up to n). A span over pixels i .. j has
// the start fraction at i, 255 between and the end fraction at j; one inside
// a single pixel has its covered fraction there.
//
// Two spans at a time in four lanes: the pixels, the fractions a - i and
// b - j, and (1 - (a - i)) * 255 and (0 - (b - j)) * 255 truncated, the
// second the end fraction negated exactly (negation is exact in every step),
// so the lanes give what the scalar helpers give.
template <typename F>
void SpanSteps(const float* c, int nc, F&& step) {
  int p = 0;
#if defined(__SSE2__)
  const __m128 base = _mm_setr_ps(1.0f, 0.0f, 1.0f, 0.0f), scale = _mm_set1_ps(255.0f);
  auto lanes = [&](__m128 v, __m128i* pixels) {
    *pixels = _mm_cvttps_epi32(v);
    const __m128 frac = _mm_sub_ps(v, _mm_cvtepi32_ps(*pixels));
    return _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(base, frac), scale));
  };
  for (; p + 4 <= nc; p += 4) {
    __m128i px;
    const __m128i cov = lanes(_mm_loadu_ps(c + p), &px);
    const __m128i px2 = _mm_shuffle_epi32(px, 0x4E), cov2 = _mm_shuffle_epi32(cov, 0x4E);
    SpanStepsOf(c[p], c[p + 1], _mm_cvtsi128_si32(px), _mm_cvtsi128_si32(_mm_srli_si128(px, 4)),
                _mm_cvtsi128_si32(cov), _mm_cvtsi128_si32(_mm_srli_si128(cov, 4)), step);
    SpanStepsOf(c[p + 2], c[p + 3], _mm_cvtsi128_si32(px2),
                _mm_cvtsi128_si32(_mm_srli_si128(px2, 4)), _mm_cvtsi128_si32(cov2),
                _mm_cvtsi128_si32(_mm_srli_si128(cov2, 4)), step);
  }
  if (p + 2 <= nc) {
    __m128i px;
    const __m128i cov =
        lanes(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + p))), &px);
    SpanStepsOf(c[p], c[p + 1], _mm_cvtsi128_si32(px), _mm_cvtsi128_si32(_mm_srli_si128(px, 4)),
                _mm_cvtsi128_si32(cov), _mm_cvtsi128_si32(_mm_srli_si128(cov, 4)), step);
    p += 2;
  }
#endif
  for (; p < nc; p += 2) {
    const float a = c[p], b = c[p + 1];
    const int i = static_cast<int>(a), j = static_cast<int>(b);
    SpanStepsOf(a, b, i, j, SpanStartCoverage(a, i), -SpanEndCoverage(b, j), step);
  }
}

// A change of a horizontal sub-line's value from pixel x on.
struct Run {
  int x, d;
};

// After the last change of a list: past every pixel.
constexpr int kListEnd = std::numeric_limits<int>::max();

// Merges three lists of changes in order of x, each ended by an x of
// kListEnd, into `out`: one change per x, the sum of all those of that x
// (left out when 0). Answers the end of the output.
Run* MergeRuns(const Run* a, const Run* b, const Run* c, Run* out) {
  for (;;) {
    const int x = std::min(a->x, std::min(b->x, c->x));
    if (x == kListEnd) return out;
    int d = 0;
    while (a->x == x) d += a++->d;
    while (b->x == x) d += b++->d;
    while (c->x == x) d += c++->d;
    *out = {x, d};
    out += d != 0;
  }
}

// A change of one vertical sub-line's value from row y on; sd is the
// sub-line times 256 plus the change modulo 256.
struct Step {
  std::uint32_t y, sd;
};

// Working memory of the scan, kept per thread between calls: a fill of a
// large shape needs a few megabytes, and taking them afresh each time costs
// more in page faults than the scan itself.
struct Scratch {
  Direction h, v;
  std::vector<Edge> active;
  std::vector<float> cross;
  std::vector<Run> sub[3], rowSteps;
  std::vector<int> rowAt, at, fill, cellX, cellY, cellH, cellV, rowMark;
  std::vector<Step> steps;
  std::vector<std::uint32_t> byRow;
  std::vector<std::uint8_t> val, rowDense, changed;
  std::vector<std::uint16_t> bandDiff;
  std::vector<std::uint8_t*> cellMem;
  std::vector<std::ptrdiff_t> cellStride;
};

}  // namespace

// Horizontal pass: row r (0 .. ny - 2) is the mean of sub-lines 2r, 2r + 1
// and 2r + 2, each kept as its steps along the row; the three lists merge
// into the row's steps (one per x; a row with many for its width keeps its
// changes per pixel instead). It runs one band of page rows at a time,
// just ahead of the band's output.
//
// Vertical pass, swept by rows instead of walked by columns: each vertical
// sub-line's values down its column are kept as steps (value(y) minus
// value(y - 1), so four per span), the steps are sorted by row, and row y
// applies its steps to one byte per sub-line (a sub-line's value at a pixel
// is at most 255, so byte arithmetic modulo 256 is exact); the column means
// are merged into the row where they may differ from the row pass.
//
// Both are cut into cells along the page grid. Over a band of cell rows, a
// cell is uniform in one direction when no step of that direction falls
// inside it: no row step strictly between its left and right edge in any of
// its rows, and no sub-line step of its columns in a row after its first
// (with every column mean of the first row the same, 0 or 255). A cell
// uniform both ways is handed over as one value; only the others are
// written, a row at a time. The last column is 0 in both directions (never
// reached), the last row has neither row steps nor sub-line values.
bool ScanPolygonCoverageCells(const FillScanRows& rows, const LineSegment* segments, int count,
                              const ilTile& bounds, CoverageCells& out, ScanCycles* cycles) {
  if (segments == nullptr || count <= 0 || bounds.nx <= 0 || bounds.ny <= 0) return true;
  static thread_local Scratch scratch;
  Scratch& w = scratch;
  MakeDirections(segments, count, bounds, &w.h, &w.v);
  bool oneSpanOk = true;
  if (ScanOneSpanShape(rows, bounds, w.h, w.v, w.active, w.cross, out, cycles, &oneSpanOk))
    return oneSpanOk;
  const int nx = bounds.nx, ny = bounds.ny;

  // Row steps: row r's in rowSteps[rowAt[r] .. rowAt[r + 1]), by x, one per x.
  std::vector<Run>& rowSteps = w.rowSteps;
  std::vector<int>& rowAt = w.rowAt;
  std::size_t rowN = 0;  // rowSteps in use (its size is only room)
  rowAt.assign(static_cast<std::size_t>(ny) + 1, 0);
  // Rows whose steps are many for the width keep them unordered.
  std::vector<std::uint8_t>& rowDense = w.rowDense;
  rowDense.assign(static_cast<std::size_t>(ny), 0);
  // Each sub-line's steps in sub[s % 3] (room for every edge crossing and
  // the end of the list).
  const std::size_t room = 2 * (w.h.edges.size() + 1);
  for (std::vector<Run>& l : w.sub) {
    if (l.size() < room) l.resize(room);
  }
  int subN[3] = {0, 0, 0};
  bool subSorted[3] = {};
  // Dense rows of the band being run: row r's changes at
  // bandDiff[(r - hY0) * (nx + 1)], zero again once written.
  constexpr int kPage = 128;
  // (All zero between calls.)
  std::vector<std::uint16_t>& bandDiff = w.bandDiff;
  if (bandDiff.size() < static_cast<std::size_t>(kPage) * (nx + 1)) {
    bandDiff.assign(static_cast<std::size_t>(kPage) * (nx + 1), 0);
  }
  int hY0 = 0;
  int k = 0, done = 0;
  auto hLine = [&](long long s, const float* c, int nc) {
    const int slot = static_cast<int>(s % 3);
    Run* const steps = w.sub[slot].data();
    Run* o = steps;
    // (A span starting or ending on a pixel edge has a step of 0 next to
    // it: left out, it would only make a cell look crossed.)
    SpanSteps(c, nc, [&](int x, int d) {
      *o = {x, d};
      o += d != 0;
    });
    const int n = static_cast<int>(o - steps);
    *o = {kListEnd, 0};
    subN[slot] = n;
    // (Only spans sharing a pixel put the steps out of order.)
    subSorted[slot] = nc <= 2;
    if (++k < 3) return;
    // Sub-line s closes row r and opens row r + 1.
    k = 1;
    const int r = static_cast<int>(s / 2) - 1;
    const int i0 = slot == 2 ? 0 : slot + 1, i1 = slot == 0 ? 2 : slot - 1;
    const int total = subN[i0] + subN[i1] + n;
    if (total * 16 > nx) {
      // Dense for the width: kept as the row's changes per pixel, to be
      // written as a running sum.
      rowDense[r] = 1;
      std::uint16_t* const d = bandDiff.data() + static_cast<std::ptrdiff_t>(r - hY0) * (nx + 1);
      for (const int i : {i0, i1}) {
        for (const Run* p = w.sub[i].data(); p < w.sub[i].data() + subN[i]; ++p) {
          d[p->x] = static_cast<std::uint16_t>(d[p->x] + p->d);
        }
      }
      for (const Run* p = steps; p < steps + n; ++p)
        d[p->x] = static_cast<std::uint16_t>(d[p->x] + p->d);
    } else {
      // The end of one span and the start of the next can share a pixel:
      // the lists put in order of x first.
      for (const int i : {i0, i1, slot}) {
        if (subSorted[i]) continue;
        subSorted[i] = true;
        Run* const l = w.sub[i].data();
        for (int a = 1; a < subN[i]; ++a) {
          for (int j = a; j > 0 && l[j].x < l[j - 1].x; --j) std::swap(l[j], l[j - 1]);
        }
      }
      if (rowSteps.size() < rowN + static_cast<std::size_t>(total)) {
        rowSteps.resize(std::max(rowN + static_cast<std::size_t>(total), 2 * rowSteps.size()));
      }
      Run* const re = MergeRuns(w.sub[i0].data(), w.sub[i1].data(), steps, rowSteps.data() + rowN);
      rowN = static_cast<std::size_t>(re - rowSteps.data());
    }
    rowAt[r + 1] = static_cast<int>(rowN);
    done = r + 1;
  };

  // Steps of every vertical sub-line (the first `used` of `steps`, whose
  // size is only room) and how many fall in each row.
  std::vector<Step>& steps = w.steps;
  std::vector<int>&at = w.at, &fill = w.fill;
  at.assign(static_cast<std::size_t>(ny) + 1, 0);
  std::size_t used = 0;
  std::vector<int>&cx = w.cellX, &cy = w.cellY;
  CellEdges(bounds.x, nx, &cx);
  CellEdges(bounds.y, ny, &cy);
  const int cells = static_cast<int>(cx.size()) - 1;
  const int cellOrigin = bounds.x >> 7;
  // changed[band * cells + c]: a sub-line of cell c's column means steps in
  // a row of the band other than its first. rowMark[y]: where row y's marks
  // go in changed, -1 for a band's first row.
  std::vector<std::uint8_t>& changed = w.changed;
  changed.assign((cy.size() - 1) * static_cast<std::size_t>(cells), 0);
  std::vector<int>& rowMark = w.rowMark;
  rowMark.resize(static_cast<std::size_t>(ny));
  for (std::size_t band = 0; band + 1 < cy.size(); ++band) {
    rowMark[cy[band]] = -1;
    for (int y = cy[band] + 1; y < cy[band + 1]; ++y) rowMark[y] = static_cast<int>(band) * cells;
  }
  std::uint64_t* const crossingCycles = cycles ? &cycles->crossings : nullptr;
  const std::uint64_t verticalStart = cycles ? platform::CycleCount() : 0;
  ForEachSubLine(w.v, w.active, w.cross, crossingCycles, [&](long long sl, const float* c, int nc) {
    const auto s = static_cast<std::uint32_t>(sl);
    const std::size_t room = used + 2 * static_cast<std::size_t>(nc);
    if (steps.size() < room) steps.resize(std::max(room, 2 * steps.size()));
    Step* o = steps.data() + used;
    // Sub-line s is in the means of the columns c with 2c <= s <= 2c + 2.
    const int c0 = std::max(0, (static_cast<int>(s) - 1) >> 1);
    const int c1 = std::min(static_cast<int>(s) >> 1, nx - 2);
    const bool inMeans = c0 <= c1;
    std::uint8_t* const mark0 = changed.data() + ((bounds.x + c0) >> 7) - cellOrigin;
    std::uint8_t* const mark1 = changed.data() + ((bounds.x + std::max(c0, c1)) >> 7) - cellOrigin;
    SpanSteps(c, nc, [&](int y, int delta) {
      if (y < ny && delta != 0) {
        ++at[y + 1];
        *o++ = {static_cast<std::uint32_t>(y), s << 8 | static_cast<std::uint8_t>(delta)};
        const int m = rowMark[y];
        if (m >= 0 && inMeans) {
          mark0[m] = 1;
          mark1[m] = 1;
        }
      }
    });
    used = static_cast<std::size_t>(o - steps.data());
  });
  std::vector<std::uint32_t>& byRow = w.byRow;
  for (int y = 0; y < ny; ++y) at[y + 1] += at[y];
  byRow.resize(used);
  fill.assign(at.begin(), at.end() - 1);
  for (std::size_t e = 0; e < used; ++e) byRow[fill[steps[e].y]++] = steps[e].sd;
  if (cycles) cycles->vertical += platform::CycleCount() - verticalStart;

  // Sub-line s's value in the current row in val[s]; column c (0 .. nx - 2)
  // is the mean of sub-lines 2c, 2c + 1 and 2c + 2.
  std::vector<std::uint8_t>& val = w.val;
  val.assign(2 * static_cast<std::size_t>(nx) + 2, 0);
  std::uint8_t* const vp = val.data();
  // The value every column mean of cell c has in the current row, 0 or 255,
  // or -2. The last column's mean is 0, never reached: a cell holding it is
  // never all 255.
  auto cellColumns = [&](int c) {
    const int n = std::min(cx[c + 1], nx - 1) - cx[c];
    unsigned any = 0, all = 255;
    for (const std::uint8_t *v = vp + 2 * cx[c], *e = n > 0 ? v + 2 * n + 1 : v; v < e; ++v) {
      any |= *v;
      all &= *v;
    }
    return any == 0 ? 0 : all == 255 && cx[c + 1] < nx ? 255 : -2;
  };
  // The vertical sub-lines' steps of row y applied to val.
  auto apply = [&](int y) {
    for (int e = at[y]; e < at[y + 1]; ++e) {
      const int s = static_cast<int>(byRow[e] >> 8);
      vp[s] = static_cast<std::uint8_t>(vp[s] + byRow[e]);
    }
  };

  // Per cell of the band: row value (-1 none yet, -2 not uniform), column
  // value (likewise), and the memory of a written cell (null: uniform).
  std::vector<int>&hv = w.cellH, &vv = w.cellV;
  std::vector<std::uint8_t*>& mem = w.cellMem;
  std::vector<std::ptrdiff_t>& stride = w.cellStride;
  hv.resize(cells);
  vv.resize(cells);
  mem.resize(cells);
  stride.resize(cells);
  std::uint16_t diff[129] = {};
  std::uint8_t skip[128];
  bool ok = true;
  // The row pass runs a band at a time, ahead of the band's rows.
  SubLines hLines = StartSubLines(w.h, w.active, w.cross);
  hLines.crossingCycles = crossingCycles;
  for (std::size_t band = 0; band + 1 < cy.size(); ++band) {
    const int y0 = cy[band], y1 = cy[band + 1];
    rowN = 0;
    rowAt[y0] = 0;
    hY0 = y0;
    // Sub-line 2r + 2 closes row r; the last row is never closed.
    const std::uint64_t horizontalStart = cycles ? platform::CycleCount() : 0;
    RunSubLines(hLines, 2LL * y1 + 1, hLine);
    if (cycles) cycles->horizontal += platform::CycleCount() - horizontalStart;
    for (; done < y1; ++done) rowAt[done + 1] = static_cast<int>(rowN);
    apply(y0);
    // Row values at the cells' left edges, and steps inside them.
    std::fill(hv.begin(), hv.end(), -1);
    for (int y = y0; y < y1; ++y) {
      if (rowDense[y]) {
        std::fill(hv.begin(), hv.end(), -2);
        break;
      }
      const Run* s = rowSteps.data() + rowAt[y];
      const Run* const e = rowSteps.data() + rowAt[y + 1];
      int sum = 0;
      for (int c = 0; c < cells; ++c) {
        if (hv[c] == -2) continue;
        for (; s < e && s->x <= cx[c]; ++s) sum += s->d;
        const int v = ThirdOf(static_cast<unsigned>(sum));
        if ((s < e && s->x < cx[c + 1]) || (hv[c] >= 0 && hv[c] != v)) {
          hv[c] = -2;
        } else {
          hv[c] = v;
        }
      }
    }
    // Column values in the band's first row, and sub-line steps in its
    // later rows.
    for (int c = 0; c < cells; ++c) vv[c] = cellColumns(c);
    if (at[y1] - at[y0 + 1] > 8 * nx) {
      // Steps all over: every cell taken as changing.
      std::fill(vv.begin(), vv.end(), -2);
    }
    const std::uint8_t* const bandChanged = changed.data() + band * cells;
    for (int c = 0; c < cells; ++c) {
      if (bandChanged[c]) vv[c] = -2;
    }
    bool any = false;
    for (int c = 0; c < cells; ++c) {
      const ilTile cell(bounds.x + cx[c], bounds.y + y0, 0, cx[c + 1] - cx[c], y1 - y0, 1);
      mem[c] = nullptr;
      if (hv[c] >= 0 && vv[c] >= 0) {
        if (!out.Solid(cell, HalfSum(static_cast<unsigned>(hv[c]), static_cast<unsigned>(vv[c])))) {
          ok = false;
        }
        continue;
      }
      mem[c] = out.Rows(cell, &stride[c]);
      if (mem[c] == nullptr) ok = false;
      any = any || mem[c] != nullptr;
    }
    // The written cells row by row: the row pass as runs between its steps
    // (or, where the steps are dense for the width, as a running sum), then
    // the column means merged in.
    for (int y = y0; y < y1; ++y) {
      if (y > y0) apply(y);
      std::uint16_t* const wide =
          rowDense[y] ? bandDiff.data() + static_cast<std::ptrdiff_t>(y - y0) * (nx + 1) : nullptr;
      if (!any) {
        if (wide) std::fill(wide, wide + nx + 1, 0);
        continue;
      }
      const Run* s = rowSteps.data() + rowAt[y];
      const Run* const e = rowSteps.data() + rowAt[y + 1];
      if (wide) {
        // The row as running sums cell by cell, each started from the sum
        // left of it (cells not written are summed into `skip`), with the
        // column means merged in.
        std::uint16_t carry = 0;
        for (int c = 0; c < cells; ++c) {
          const int x0 = cx[c], x1 = cx[c + 1];
          std::uint8_t* const p = mem[c] ? mem[c] + (y - y0) * stride[c] : skip;
          wide[x0] = static_cast<std::uint16_t>(wide[x0] + carry);
          carry = rows.running_thirds(p, wide + x0, x1 - x0);
          const int m = std::min(x1, nx - 1);
          if (mem[c] && x0 < m) rows.merge_thirds(p, val.data() + 2 * x0, m - x0);
        }
        wide[nx] = 0;
        continue;
      }
      int sum = 0;
      for (int c = 0; c < cells; ++c) {
        if (mem[c] == nullptr) continue;
        std::uint8_t* const p = mem[c] + (y - y0) * stride[c] - cx[c];
        const int x0 = cx[c], x1 = cx[c + 1];
        for (; s < e && s->x <= x0; ++s) sum += s->d;
        const Run* t = s;
        while (t < e && t->x < x1) ++t;
        if ((t - s) * 16 > x1 - x0) {
          diff[0] = static_cast<std::uint16_t>(sum);
          for (; s < t; ++s) {
            sum += s->d;
            diff[s->x - x0] = static_cast<std::uint16_t>(diff[s->x - x0] + s->d);
          }
          rows.running_thirds(p + x0, diff, x1 - x0);
        } else {
          for (int x = x0; x < x1;) {
            const int next = s < t ? s->x : x1;
            std::memset(p + x, ThirdOf(static_cast<unsigned>(sum)),
                        static_cast<std::size_t>(next - x));
            x = next;
            if (s < t) sum += s++->d;
          }
        }
        const int m = std::min(x1, nx - 1);
        if (x0 < m) rows.merge_thirds(p + x0, vp + 2 * x0, m - x0);
      }
    }
    out.BandDone();
  }
  return ok;
}

namespace {

// Cells into a buffer of the bounds (zeroed by the caller).
class BufferCells final : public CoverageCells {
 public:
  BufferCells(const ilTile& b, std::uint8_t* coverage) : b_(b), coverage_(coverage) {}
  bool Solid(const ilTile& cell, std::uint8_t value) override {
    if (value == 0) return true;
    std::ptrdiff_t stride;
    std::uint8_t* p = Rows(cell, &stride);
    for (int y = 0; y < cell.ny; ++y) std::memset(p + y * stride, value, cell.nx);
    return true;
  }
  std::uint8_t* Rows(const ilTile& cell, std::ptrdiff_t* stride) override {
    *stride = b_.nx;
    return coverage_ + static_cast<std::ptrdiff_t>(cell.y - b_.y) * b_.nx + (cell.x - b_.x);
  }
  void BandDone() override {}

 private:
  ilTile b_;
  std::uint8_t* coverage_;
};

}  // namespace

void ScanPolygonCoverageWith(const FillScanRows& rows, const LineSegment* segments, int count,
                             const ilTile& bounds, std::uint8_t* coverage) {
  if (!Usable(segments, count, bounds, coverage)) return;
  BufferCells cells(bounds, coverage);
  ScanPolygonCoverageCells(rows, segments, count, bounds, cells);
}

void ScanPolygonCoverageReference(const LineSegment* segments, int count, const ilTile& bounds,
                                  std::uint8_t* coverage) {
  if (!Usable(segments, count, bounds, coverage)) return;
  Direction dirs[2];
  MakeDirections(segments, count, bounds, &dirs[0], &dirs[1]);
  for (int dir = 0; dir < 2; ++dir) {
    const Direction& d = dirs[dir];
    const float last = static_cast<float>(d.n - 1);
    std::vector<unsigned> line(d.n, 0), acc(d.n, 0);
    std::vector<float> cross;
    int k = 0;
    for (long long s = 0; s < 2LL * d.lines; ++s) {
      const float V = d.start + 0.5f * static_cast<float>(s);
      cross.clear();
      for (const Edge& e : d.edges) {
        if (V >= e.lo && V <= e.hi) cross.push_back(Crossing(e, V, d.base, last));
      }
      std::sort(cross.begin(), cross.end());
      cross.erase(std::unique(cross.begin(), cross.end()), cross.end());
      std::fill(line.begin(), line.end(), 0u);
      if (cross.size() % 2 == 0) {
        for (std::size_t p = 0; p < cross.size(); p += 2) {
          const float a = cross[p], b = cross[p + 1];
          const int i = static_cast<int>(a), j = static_cast<int>(b);
          if (i == j) {
            line[i] += SpanInnerCoverage(a, b);
          } else {
            line[i] += SpanStartCoverage(a, i);
            for (int t = i + 1; t < j; ++t) line[t] += 255;
            line[j] += SpanEndCoverage(b, j);
          }
        }
      }
      for (int i = 0; i < d.n; ++i) acc[i] += line[i];
      if (++k < 3) continue;
      k = 1;
      const int r = static_cast<int>(s / 2) - 1;
      for (int i = 0; i < d.n; ++i) {
        if (dir == 0) {
          coverage[static_cast<std::ptrdiff_t>(r) * bounds.nx + i] = ThirdOf(acc[i]);
        } else {
          std::uint8_t& px = coverage[static_cast<std::ptrdiff_t>(i) * bounds.nx + r];
          px = HalfSum(px, ThirdOf(acc[i]));
        }
      }
      acc = line;
    }
  }
}

void ScanPolygonCoverage(const LineSegment* segments, int count, const ilTile& bounds,
                         std::uint8_t* coverage) {
  ScanPolygonCoverageWith(ActiveFillScanRows(), segments, count, bounds, coverage);
}

bool ScanPolygonCoverageCells(const LineSegment* segments, int count, const ilTile& bounds,
                              CoverageCells& out, ScanCycles* cycles) {
  return ScanPolygonCoverageCells(ActiveFillScanRows(), segments, count, bounds, out, cycles);
}

void ScaleCoverage(std::uint8_t* coverage, std::size_t n, float opacity) {
  if (coverage == nullptr || !(opacity < 0.997f)) return;
  const long k = std::clamp(std::lround(opacity * 256.0f), 0L, 256L);
  for (std::size_t i = 0; i < n; ++i) {
    coverage[i] = static_cast<std::uint8_t>((coverage[i] * k) >> 8);
  }
}

const FillScanRows* FillScanRowsFor(SimdLevel level) {
  return SimdTableFor(level, kScalar, kSse2, kAvx2);
}

const FillScanRows& ActiveFillScanRows() {
  static const FillScanRows& chosen = ChooseSimdTable(kScalar, kSse2, kAvx2);
  return chosen;
}

}  // namespace brenmark::shapes
