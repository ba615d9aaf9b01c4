// Scan conversion of the shape fill: crossings of the half-pixel sub-lines
// with the polygon's segments, spans summed three sub-lines to a row in both
// directions, and the run-time choice of the row kernels.
#include "shapes/fill_scan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "shapes/fill_scan_rows.h"

namespace brenmark::shapes {

namespace scalar {

void AddConst(std::uint16_t* acc, int n, std::uint16_t v) {
  for (int i = 0; i < n; ++i) acc[i] = static_cast<std::uint16_t>(acc[i] + v);
}

void Emit(std::uint8_t* out, std::uint16_t* acc, int n) {
  for (int i = 0; i < n; ++i) {
    out[i] = ThirdOf(acc[i]);
    acc[i] = 0;
  }
}

void MergeTransposed(std::uint8_t* d, std::ptrdiff_t ds, const std::uint8_t* t, std::ptrdiff_t ts,
                     int w, int h) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) d[y * ds + x] = HalfSum(d[y * ds + x], t[x * ts + y]);
  }
}

}  // namespace scalar

namespace {

constexpr FillScanRows kScalar = {SimdLevel::kScalar, "scalar", scalar::AddConst, scalar::Emit,
                                  scalar::MergeTransposed};
constexpr FillScanRows kSse2 = {SimdLevel::kSse2, "sse2", sse2::AddConst, sse2::Emit,
                                sse2::MergeTransposed};
constexpr FillScanRows kAvx2 = {SimdLevel::kAvx2, "avx2", avx2::AddConst, avx2::Emit,
                                sse2::MergeTransposed};

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

// Sorts ascending and keeps a value only when it differs from the last one
// kept; answers how many remain.
int SortUnique(float* c, int n) {
  if (n < 32) {
    for (int i = 1; i < n; ++i) {
      const float v = c[i];
      int j = i;
      for (; j > 0 && c[j - 1] > v; --j) c[j] = c[j - 1];
      c[j] = v;
    }
  } else {
    std::sort(c, c + n);
  }
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
  h->edges.reserve(count);
  v->edges.reserve(count);
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

// Adds the spans of one sub-line's crossings (an even number, at least 2)
// to acc and widens [lo, hi) to the pixels touched.
void AddSpans(const FillScanRows& rows, const float* c, int nc, std::uint16_t* acc, int* lo,
              int* hi) {
  for (int p = 0; p < nc; p += 2) {
    const float a = c[p], b = c[p + 1];
    const int i = static_cast<int>(a), j = static_cast<int>(b);
    if (i == j) {
      acc[i] = static_cast<std::uint16_t>(acc[i] + SpanInnerCoverage(a, b));
      continue;
    }
    acc[i] = static_cast<std::uint16_t>(acc[i] + SpanStartCoverage(a, i));
    rows.add_const(acc + i + 1, j - i - 1, 255);
    acc[j] = static_cast<std::uint16_t>(acc[j] + SpanEndCoverage(b, j));
  }
  *lo = std::min(*lo, static_cast<int>(c[0]));
  *hi = std::max(*hi, static_cast<int>(c[nc - 1]) + 1);
}

// Runs the sub-lines of one direction. Row r (0 .. lines - 2) is the sum of
// sub-lines 2r, 2r + 1 and 2r + 2; emit(r, acc, lo, hi) writes it, acc being
// zero outside [lo, hi), and must leave acc[lo, hi) zero. Only segments whose
// range has begun and not ended are tested (an active list in order of lo),
// which finds the same crossings as testing every segment.
template <typename EmitRow>
void ScanDirection(const FillScanRows& rows, Direction& d, EmitRow&& emit) {
  std::sort(d.edges.begin(), d.edges.end(),
            [](const Edge& a, const Edge& b) { return a.lo < b.lo; });
  std::vector<Edge> active;
  active.reserve(d.edges.size());
  std::vector<float> cross(d.edges.size() + 1);
  std::vector<std::uint16_t> acc(static_cast<std::size_t>(d.n), 0);
  const float last = static_cast<float>(d.n - 1);
  std::size_t next = 0;
  int lo = d.n, hi = 0, k = 0;
  const long long subs = 2LL * d.lines;
  for (long long s = 0; s < subs; ++s) {
    const float V = d.start + 0.5f * static_cast<float>(s);
    while (next < d.edges.size() && d.edges[next].lo <= V) active.push_back(d.edges[next++]);
    int nc = 0;
    for (std::size_t e = 0; e < active.size();) {
      if (active[e].hi < V) {
        active[e] = active.back();
        active.pop_back();
        continue;
      }
      cross[nc++] = Crossing(active[e], V, d.base, last);
      ++e;
    }
    nc = SortUnique(cross.data(), nc);
    // An odd count (a vertex met exactly, a lone segment) leaves the
    // sub-line empty: it adds nothing and carries nothing to the next row.
    const bool filled = nc > 0 && nc % 2 == 0;
    if (filled) AddSpans(rows, cross.data(), nc, acc.data(), &lo, &hi);
    if (++k < 3) continue;
    k = 1;
    if (lo < hi) emit(static_cast<int>(s / 2) - 1, acc.data(), lo, hi);
    lo = d.n;
    hi = 0;
    // This sub-line is also the first of the next row.
    if (filled) AddSpans(rows, cross.data(), nc, acc.data(), &lo, &hi);
  }
}

// Columns of the vertical pass gather in a strip of this many columns,
// stored column-major, before they are merged into the buffer's rows.
constexpr int kStrip = 64;

}  // namespace

void ScanPolygonCoverageWith(const FillScanRows& rows, const LineSegment* segments, int count,
                             const ilTile& bounds, std::uint8_t* coverage) {
  if (!Usable(segments, count, bounds, coverage)) return;
  Direction h, v;
  MakeDirections(segments, count, bounds, &h, &v);
  const std::ptrdiff_t nx = bounds.nx, ny = bounds.ny;

  ScanDirection(rows, h, [&](int r, std::uint16_t* acc, int lo, int hi) {
    rows.emit(coverage + r * nx + lo, acc + lo, hi - lo);
  });

  // Columns 0 .. nx - 2 are reached, in order; each strip is merged when the
  // scan passes it, so columns the polygon misses are halved too.
  std::vector<std::uint8_t> strip(static_cast<std::size_t>(kStrip * ny), 0);
  int c0 = 0;
  const int reached = bounds.nx - 1;
  auto flush = [&] {
    const int w = std::min(kStrip, reached - c0);
    rows.merge_transposed(coverage + c0, nx, strip.data(), ny, w, bounds.ny);
    std::memset(strip.data(), 0, strip.size());
    c0 += w;
  };
  ScanDirection(rows, v, [&](int c, std::uint16_t* acc, int lo, int hi) {
    while (c >= c0 + kStrip) flush();
    rows.emit(strip.data() + (c - c0) * ny + lo, acc + lo, hi - lo);
  });
  while (c0 < reached) flush();
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
