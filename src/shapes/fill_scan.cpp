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

#include "platform/platform.h"
#include "shapes/fill_scan_rows.h"

namespace brenmark::shapes {

namespace scalar {

void RunningThirds(std::uint8_t* out, std::uint16_t* diff, int n) {
  std::uint16_t sum = 0;
  for (int x = 0; x < n; ++x) {
    sum = static_cast<std::uint16_t>(sum + diff[x]);
    diff[x] = 0;
    out[x] = ThirdOf(sum);
  }
}

void MergeThirds(std::uint8_t* d, const std::uint8_t* val, int n) {
  for (int c = 0; c < n; ++c) {
    d[c] = HalfSum(d[c], ThirdOf(val[2 * c] + val[2 * c + 1] + val[2 * c + 2]));
  }
}

}  // namespace scalar

namespace {

constexpr FillScanRows kScalar = {SimdLevel::kScalar, "scalar", scalar::RunningThirds,
                                  scalar::MergeThirds};
constexpr FillScanRows kSse2 = {SimdLevel::kSse2, "sse2", sse2::RunningThirds, sse2::MergeThirds};
constexpr FillScanRows kAvx2 = {SimdLevel::kAvx2, "avx2", sse2::RunningThirds, avx2::MergeThirds};

// A segment as one scan direction sees it: the sub-lines run across (at a
// fixed v), the crossings are found along (u). For the horizontal scan
// u = x and v = y; for the vertical one the other way round.
struct Edge {
  float u, v, du;
  float r;       // 1 / dv, computed as 1.0 / dv
  float lo, hi;  // the closed range of v the segment spans
};

// False for segments no sub-line crosses: |dv| not above 1e-6, or NaN ends.
bool MakeEdge(float u, float v, float du, float dv, Edge* e) {
  if (!(std::fabs(dv) > 1e-6)) return false;
  const float end = v + dv;
  if (std::isnan(v) || std::isnan(end)) return false;
  *e = {u, v, du, static_cast<float>(1.0 / dv), std::min(v, end), std::max(v, end)};
  return true;
}

// u = u0 + (V - v0) * (1 / dv) * du - base, clamped to [0, last]; a NaN
// (from infinite input) clamps to 0.
inline float Crossing(const Edge& e, float V, float base, float last) {
  float u = e.u + (V - e.v) * e.r * e.du - base;
  if (!(u >= 0.0f)) u = 0.0f;
  if (u > last) u = last;
  return u;
}

// Keeps a value of the sorted c only when it differs from the last one
// kept; answers how many remain.
int Unique(float* c, int n) {
  int m = 0;
  for (int i = 0; i < n; ++i) {
    if (m == 0 || c[i] != c[m - 1]) c[m++] = c[i];
  }
  return m;
}

// One scan direction: `lines` pixel lines of `n` pixels; sub-line s lies at
// start + s / 2, and its crossings are taken relative to `base`.
struct Direction {
  std::vector<Edge> edges;
  float start, base;
  int n, lines;
};

void MakeDirections(const LineSegment* segs, int count, const ilTile& b, Direction* h,
                    Direction* v) {
  h->start = static_cast<float>(b.y);
  h->base = static_cast<float>(b.x);
  h->n = b.nx;
  h->lines = b.ny;
  v->start = static_cast<float>(b.x);
  v->base = static_cast<float>(b.y);
  v->n = b.ny;
  v->lines = b.nx;
  h->edges.clear();
  v->edges.clear();
  Edge e;
  for (int i = 0; i < count; ++i) {
    const LineSegment& s = segs[i];
    if (MakeEdge(s.x, s.y, s.dx, s.dy, &e)) h->edges.push_back(e);
    if (MakeEdge(s.y, s.x, s.dy, s.dx, &e)) v->edges.push_back(e);
  }
}

bool Usable(const LineSegment* segments, int count, const ilTile& bounds,
            const std::uint8_t* coverage) {
  return segments != nullptr && count > 0 && coverage != nullptr && bounds.nx > 0 && bounds.ny > 0;
}

// The coverage of one sub-line's spans as steps: step(p, d) says the value
// changes by d from pixel p on (p up to n). A span over pixels i .. j has
// the start fraction at i, 255 between and the end fraction at j; one inside
// a single pixel has its covered fraction there.
template <typename F>
void SpanSteps(const float* c, int nc, F&& step) {
  for (int p = 0; p < nc; p += 2) {
    const float a = c[p], b = c[p + 1];
    const int i = static_cast<int>(a), j = static_cast<int>(b);
    if (i == j) {
      const int in = SpanInnerCoverage(a, b);
      step(i, in);
      step(i + 1, -in);
      continue;
    }
    const int first = SpanStartCoverage(a, i), end = SpanEndCoverage(b, j);
    step(i, first);
    step(i + 1, 255 - first);
    step(j, end - 255);
    step(j + 1, -end);
  }
}

// A change of a horizontal sub-line's value from pixel x on.
struct Run {
  int x, d;
};

// Writes row r = ThirdOf(sum of three sub-lines) from their steps (each list
// in order of x): constant between steps, so written as runs. The buffer is
// zero already, so runs of 0 are skipped. Where the steps are dense for the
// width (many short spans), a running sum over the row through `diff` (n + 1
// zeros, left zero) costs less than merging the lists. [*lo, *hi) receives
// the extent of the steps.
void WriteRow(const FillScanRows& rows, const std::vector<Run>* const l[3], std::uint8_t* out,
              int n, std::uint16_t* diff, int* lo, int* hi) {
  constexpr int kNone = std::numeric_limits<int>::max();
  const std::size_t total = l[0]->size() + l[1]->size() + l[2]->size();
  if (total == 0) return;
  int x0 = kNone, x1 = 0;
  for (int i = 0; i < 3; ++i) {
    if (l[i]->empty()) continue;
    x0 = std::min(x0, l[i]->front().x);
    x1 = std::max(x1, l[i]->back().x);
  }
  *lo = x0;
  *hi = x1;
  if (total * 16 > static_cast<std::size_t>(x1 - x0)) {
    for (int i = 0; i < 3; ++i) {
      for (const Run& r : *l[i]) diff[r.x] = static_cast<std::uint16_t>(diff[r.x] + r.d);
    }
    const int end = std::min(x1, n);
    rows.running_thirds(out + x0, diff + x0, end - x0);
    std::fill(diff + end, diff + x1 + 1, 0);
    return;
  }
  std::size_t p[3] = {0, 0, 0};
  auto head = [&](int i) { return p[i] < l[i]->size() ? (*l[i])[p[i]].x : kNone; };
  int x = x0;
  int sum = 0;
  for (;;) {
    for (int i = 0; i < 3; ++i) {
      for (; head(i) == x; ++p[i]) sum += (*l[i])[p[i]].d;
    }
    const int next = std::min({head(0), head(1), head(2)});
    if (next == kNone) break;
    if (sum != 0) std::memset(out + x, ThirdOf(static_cast<unsigned>(sum)), std::min(next, n) - x);
    x = next;
  }
}

// Runs the sub-lines of one direction in order: f(s, crossings, count) with
// the sorted, distinct crossings of sub-line s, or a count of 0 when the
// sub-line is empty (no crossings, or an odd number: a vertex met exactly, a
// lone segment). Only segments whose range has begun and not ended are
// tested (an active list in order of lo), which finds the same crossings as
// testing every segment. The active list stays in the order of the last
// crossings, so sorting the next ones is an insertion sort of an almost
// sorted list.
template <typename F>
void ForEachSubLine(Direction& d, std::vector<Edge>& active, std::vector<float>& cross, F&& f) {
  std::sort(d.edges.begin(), d.edges.end(),
            [](const Edge& a, const Edge& b) { return a.lo < b.lo; });
  active.clear();
  cross.resize(d.edges.size() + 1);
  float* c = cross.data();
  const float last = static_cast<float>(d.n - 1);
  std::size_t next = 0;
  const long long subs = 2LL * d.lines;
  for (long long s = 0; s < subs; ++s) {
    const float V = d.start + 0.5f * static_cast<float>(s);
    while (next < d.edges.size() && d.edges[next].lo <= V) active.push_back(d.edges[next++]);
    int nc = 0;
    for (const Edge& e : active) {
      if (e.hi < V) continue;
      active[nc] = e;
      c[nc++] = Crossing(e, V, d.base, last);
    }
    active.resize(nc);
    for (int i = 1; i < nc; ++i) {
      if (!(c[i] < c[i - 1])) continue;
      const float key = c[i];
      const Edge e = active[i];
      int j = i;
      for (; j > 0 && c[j - 1] > key; --j) {
        c[j] = c[j - 1];
        active[j] = active[j - 1];
      }
      c[j] = key;
      active[j] = e;
    }
    nc = Unique(c, nc);
    f(s, c, nc % 2 == 0 ? nc : 0);
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
  std::vector<Run> sub[3];
  std::vector<std::uint16_t> diff;
  std::vector<int> rowLo, rowHi, live, at, fill;
  std::vector<Step> steps;
  std::vector<std::uint32_t> byRow;
  std::vector<std::uint8_t> val;
};

}  // namespace

// Horizontal pass: row r (0 .. ny - 2) is the mean of sub-lines 2r, 2r + 1
// and 2r + 2, each kept as its steps along the row, and written as runs of
// constant value (memset) between the steps of the three.
//
// Vertical pass, swept by rows instead of walked by columns: each vertical
// sub-line's values down its column are kept as steps (value(y) minus
// value(y - 1), so four per span), the steps are sorted by row, and row y
// applies its steps to one byte per sub-line (a sub-line's value at a pixel
// is at most 255, so byte arithmetic modulo 256 is exact) and merges the
// column means of the whole row at once. A row is merged over the columns
// the horizontal pass wrote or a live span touches; elsewhere both are 0.
void ScanPolygonCoverageWith(const FillScanRows& rows, const LineSegment* segments, int count,
                             const ilTile& bounds, std::uint8_t* coverage) {
  if (!Usable(segments, count, bounds, coverage)) return;
  static thread_local Scratch scratch;
  Scratch& w = scratch;
  MakeDirections(segments, count, bounds, &w.h, &w.v);
  const int nx = bounds.nx, ny = bounds.ny;

  std::vector<int>&rowLo = w.rowLo, &rowHi = w.rowHi;
  rowLo.assign(static_cast<std::size_t>(ny), nx);
  rowHi.assign(static_cast<std::size_t>(ny), 0);
  w.diff.assign(static_cast<std::size_t>(nx) + 1, 0);
  int k = 0;
  ForEachSubLine(w.h, w.active, w.cross, [&](long long s, const float* c, int nc) {
    std::vector<Run>& steps = w.sub[s % 3];
    steps.resize(2 * static_cast<std::size_t>(nc));
    Run* out = steps.data();
    SpanSteps(c, nc, [&](int x, int d) { *out++ = {x, d}; });
    steps.resize(static_cast<std::size_t>(out - steps.data()));
    // The end of one span and the start of the next can share a pixel.
    for (std::size_t i = 1; i < steps.size(); ++i) {
      for (std::size_t j = i; j > 0 && steps[j].x < steps[j - 1].x; --j) {
        std::swap(steps[j], steps[j - 1]);
      }
    }
    if (++k < 3) return;
    // Sub-line s closes row r and opens row r + 1.
    k = 1;
    const int r = static_cast<int>(s / 2) - 1;
    const std::vector<Run>* const rowSteps[3] = {&w.sub[(s - 2) % 3], &w.sub[(s - 1) % 3], &steps};
    WriteRow(rows, rowSteps, coverage + static_cast<std::ptrdiff_t>(r) * nx, nx, w.diff.data(),
             &rowLo[r], &rowHi[r]);
  });

  // Steps of every vertical sub-line (the first `used` of `steps`, whose
  // size is only room), how many fall in each row, and per row how many
  // spans begin (+1) and end (-1 on the row after) there.
  std::vector<Step>& steps = w.steps;
  std::vector<int>&live = w.live, &at = w.at, &fill = w.fill;
  live.assign(static_cast<std::size_t>(ny) + 1, 0);
  at.assign(static_cast<std::size_t>(ny) + 1, 0);
  std::size_t used = 0;
  ForEachSubLine(w.v, w.active, w.cross, [&](long long sl, const float* c, int nc) {
    const auto s = static_cast<std::uint32_t>(sl);
    for (int p = 0; p < nc; p += 2) {
      ++live[static_cast<int>(c[p])];
      --live[static_cast<int>(c[p + 1]) + 1];
    }
    const std::size_t room = used + 2 * static_cast<std::size_t>(nc);
    if (steps.size() < room) steps.resize(std::max(room, 2 * steps.size()));
    Step* out = steps.data() + used;
    SpanSteps(c, nc, [&](int y, int delta) {
      if (y < ny) {
        ++at[y + 1];
        *out++ = {static_cast<std::uint32_t>(y), s << 8 | static_cast<std::uint8_t>(delta)};
      }
    });
    used = static_cast<std::size_t>(out - steps.data());
  });
  std::vector<std::uint32_t>& byRow = w.byRow;
  for (int y = 0; y < ny; ++y) at[y + 1] += at[y];
  byRow.resize(used);
  fill.assign(at.begin(), at.end() - 1);
  for (std::size_t e = 0; e < used; ++e) byRow[fill[steps[e].y]++] = steps[e].sd;
  // Sub-line s's value in this row in val[s]; column c (0 .. nx - 2) is the
  // mean of sub-lines 2c, 2c + 1 and 2c + 2.
  std::vector<std::uint8_t>& val = w.val;
  val.assign(2 * static_cast<std::size_t>(nx) + 2, 0);
  int spans = 0, sLo = 2 * nx, sHi = -1;
  for (int y = 0; y < ny; ++y) {
    spans += live[y];
    // A row's steps are in order of sub-line (sorting by row kept the order
    // they were made in).
    if (at[y] < at[y + 1]) {
      sLo = std::min(sLo, static_cast<int>(byRow[at[y]] >> 8));
      sHi = std::max(sHi, static_cast<int>(byRow[at[y + 1] - 1] >> 8));
    }
    for (int e = at[y]; e < at[y + 1]; ++e) {
      std::uint8_t& v = val[byRow[e] >> 8];
      v = static_cast<std::uint8_t>(v + byRow[e]);
    }
    int c0 = rowLo[y], c1 = rowHi[y];
    if (spans > 0) {
      c0 = std::min(c0, std::max(0, sLo / 2 - 1));
      c1 = std::max(c1, std::min(nx - 1, sHi / 2 + 1));
    } else {
      sLo = 2 * nx;
      sHi = -1;
    }
    c1 = std::min(c1, nx - 1);
    if (c0 < c1) {
      rows.merge_thirds(coverage + static_cast<std::ptrdiff_t>(y) * nx + c0, val.data() + 2 * c0,
                        c1 - c0);
    }
  }
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

void ScaleCoverage(std::uint8_t* coverage, std::size_t n, float opacity) {
  if (coverage == nullptr || !(opacity < 0.997f)) return;
  const long k = std::clamp(std::lround(opacity * 256.0f), 0L, 256L);
  for (std::size_t i = 0; i < n; ++i) {
    coverage[i] = static_cast<std::uint8_t>((coverage[i] * k) >> 8);
  }
}

const FillScanRows* FillScanRowsFor(SimdLevel level) {
  switch (level) {
    case SimdLevel::kScalar:
      return &kScalar;
    case SimdLevel::kSse2:
      return platform::HasSSE2() ? &kSse2 : nullptr;
    case SimdLevel::kAvx2:
      return platform::HasAVX2() ? &kAvx2 : nullptr;
  }
  return nullptr;
}

const FillScanRows& ActiveFillScanRows() {
  static const FillScanRows* const chosen = [] {
    const SimdLevel best = BestSimdLevel();
    const FillScanRows* r = FillScanRowsFor(ParseSimdLevel(std::getenv("BRENMARK_SIMD"), best));
    return r != nullptr ? r : FillScanRowsFor(best);
  }();
  return *chosen;
}

}  // namespace brenmark::shapes
