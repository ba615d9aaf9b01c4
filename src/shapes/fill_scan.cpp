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
#include "shapes/fill_scan_rows.h"

namespace brenmark::shapes {

namespace {

// n bytes of `value` from p: the short runs of a cell row, without a call.
inline void FillBytes(std::uint8_t* p, int n, std::uint8_t value) {
#if defined(__SSE2__)
  if (n >= 16) {
    const __m128i v = _mm_set1_epi8(static_cast<char>(value));
    // Whole steps, then the last 16 bytes (overlapping the step before).
    for (int k = 0; k + 16 < n; k += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + n - 16), v);
    return;
  }
#endif
  std::memset(p, value, static_cast<std::size_t>(n));
}

}  // namespace

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

void SpanPixels(std::uint8_t* d, int x0, int n, int, const SpanRow& r) {
  const SpanLines &e = r.even, &o = r.odd;
  for (int x = x0; x < x0 + n; ++x) {
    unsigned h = 0;
    for (int k = 0; k < 3; ++k) h += SpanValueAt(r.i[k], r.j[k], r.first[k], r.last[k], x);
    const unsigned v = SpanValueAt(e.i[x], e.j[x], e.first[x], e.last[x], r.y) +
                       SpanValueAt(o.i[x], o.j[x], o.first[x], o.last[x], r.y) +
                       SpanValueAt(e.i[x + 1], e.j[x + 1], e.first[x + 1], e.last[x + 1], r.y);
    d[x] = HalfSum(ThirdOf(h), ThirdOf(v));
  }
}

void SpanRowCells(const RowCell* cells, int count, const RowLayout& l, const SpanRow& row) {
  for (const RowCell* cell = cells; cell < cells + count; ++cell) {
    std::uint8_t* const p = cell->p;
    const int a = cell->a, b = cell->b;
    if (l.zl > l.zr || b <= l.zl || a > l.zr) {
      FillBytes(p + a, b - a, 0);
      continue;
    }
    if (a >= l.gl && b - 1 <= l.gr) {
      FillBytes(p + a, b - a, 255);
      continue;
    }
    auto fill = [&](int from, int to, std::uint8_t value) {
      from = std::max(from, a);
      to = std::min(to, b);
      if (from < to) FillBytes(p + from, to - from, value);
    };
    auto compute = [&](int from, int to) {
      from = std::max(from, a);
      to = std::min(to, b);
      if (from < to) SpanPixels(p, from, to - from, b, row);
    };
    // The computed parts first: what they write past their end, the parts
    // after them write over.
    if (l.gl <= l.gr) {
      compute(l.zl, l.gl);
      compute(l.gr + 1, l.zr + 1);
      fill(l.gl, l.gr + 1, 255);
    } else {
      compute(l.zl, l.zr + 1);
    }
    fill(a, l.zl, 0);
    fill(l.zr + 1, b, 0);
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
  // Once a run has started: the edges in order of the sub-line they are
  // entered on, sub-line s's at order[enter[s] .. enter[s + 1]); `first`
  // is room for each edge's sub-line.
  std::vector<int> enter, first;
  std::vector<Edge> order;
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

// Runs the sub-lines of one direction in order: f(s, crossings, count) with
// the sorted, distinct crossings of sub-line s, or a count of 0 when the
// sub-line is empty (no crossings, or an odd number: a vertex met exactly, a
// lone segment). Only segments whose range has begun and not ended are
// tested (an active list, each segment entered on the first sub-line at or
// past its lo and dropped on the first one past its end), which finds the
// same crossings, each by the same formula, as testing every segment. The
// active list stays in the order of the last crossings, so sorting the next
// ones is an insertion sort of an almost sorted list, and a list that needs
// no move and has no equal neighbours is known to be distinct.
//
// Where a run through the sub-lines of one direction stands.
struct SubLines {
  Direction* d;
  Edge* a;
  float* c;
  int na;
  long long s, subs;
  float last;
  float ends;                               // no active segment ends before this
  std::uint64_t* crossingCycles = nullptr;  // when timed: cycles spent on crossings
};

// Sub-line s of a direction lies at v = start + 0.5f * s, the value every
// test against a segment's range uses.
inline float SubLineAt(float start, long long s) {
  return start + 0.5f * static_cast<float>(s);
}

// The first sub-line s below `subs` whose v is at or past lo, or subs when
// there is none. v grows with s (rounding keeps the order, though equal
// values may repeat), so the estimate from (lo - start) * 2 only needs
// walking to the exact answer; an infinite lo gives 0 or subs.
long long FirstSubLine(float lo, float start, long long subs) {
  const float f = (lo - start) * 2.0f;
  long long s = 0;
  if (f >= static_cast<float>(subs)) {
    s = subs;
  } else if (f > 0.0f) {
    s = static_cast<long long>(f);
    // The truncation is mostly one short, and whether it is varies from
    // edge to edge: stepped on without a branch.
    s += SubLineAt(start, s) < lo;
  }
  while (s > 0 && SubLineAt(start, s - 1) >= lo) --s;
  while (s < subs && SubLineAt(start, s) < lo) ++s;
  return s;
}

// Puts the edges in order of the sub-line that enters them (a counting
// sort), leaving out those no sub-line crosses: entered on none, or ended
// before the one that would enter them.
SubLines StartSubLines(Direction& d, std::vector<Edge>& active, std::vector<float>& cross) {
  const long long subs = 2LL * d.lines;
  std::vector<int>& enter = d.enter;
  enter.assign(static_cast<std::size_t>(subs) + 2, 0);
  d.order.resize(d.edges.size());
  // Each edge's sub-line (subs: none), counted into enter[s + 2]; then the
  // running count; then each edge placed through enter[s + 1], which leaves
  // sub-line s's edges at [enter[s], enter[s + 1]).
  std::vector<int>& first = d.first;
  first.resize(d.edges.size());
  for (std::size_t i = 0; i < d.edges.size(); ++i) {
    const Edge& e = d.edges[i];
    long long s = FirstSubLine(e.lo, d.start, subs);
    if (s < subs && e.hi < SubLineAt(d.start, s)) s = subs;
    first[i] = static_cast<int>(s);
    if (s < subs) ++enter[static_cast<std::size_t>(s) + 2];
  }
  int sum = 0;
  for (std::size_t s = 2; s < enter.size(); ++s) {
    sum += enter[s];
    enter[s] = sum;
  }
  for (std::size_t i = 0; i < d.edges.size(); ++i) {
    if (first[i] < subs) d.order[enter[static_cast<std::size_t>(first[i]) + 1]++] = d.edges[i];
  }
  active.resize(d.edges.size() + 1);
  cross.resize(d.edges.size() + 1);
  return {&d,
          active.data(),
          cross.data(),
          0,
          0,
          subs,
          static_cast<float>(d.n - 1),
          std::numeric_limits<float>::infinity()};
}

// Goes on up to (not including) sub-line `until`; kTimed adds the cycles
// spent on crossings to *l.crossingCycles.
template <bool kTimed, typename F>
void RunSubLinesFor(SubLines& l, long long until, F& f) {
  const Direction& d = *l.d;
  Edge* const a = l.a;
  float* const c = l.c;
  const Edge* const edges = d.order.data();
  const int* const enter = d.enter.data();
  const float start = d.start, base = d.base, last = l.last;
  const long long stop = std::min(until, l.subs);
  int na = l.na;
  float ends = l.ends;
  for (long long s = l.s; s < stop; ++s) {
    const float V = SubLineAt(start, s);
    for (int e = enter[s], ee = enter[s + 1]; e < ee; ++e) {
      ends = std::min(ends, edges[e].hi);
      a[na++] = edges[e];
    }
    if (ends < V) {
      // Segments have ended: dropped, keeping the order of the others.
      int kept = 0;
      ends = std::numeric_limits<float>::infinity();
      for (int i = 0; i < na; ++i) {
        if (a[i].hi < V) continue;
        ends = std::min(ends, a[i].hi);
        a[kept++] = a[i];
      }
      na = kept;
    }
    std::uint64_t t0 = 0;
    if constexpr (kTimed) t0 = platform::CycleCount();
    int nu;
    if (na == 2) {
      // The common case of a convex shape: one span.
      float c0 = Crossing(a[0], V, base, last), c1 = Crossing(a[1], V, base, last);
      if (c1 < c0) {
        std::swap(c0, c1);
        std::swap(a[0], a[1]);
      }
      c[0] = c0;
      c[1] = c1;
      nu = c0 != c1 ? 2 : 1;
    } else {
      const int nc = na;
      for (int i = 0; i < nc; ++i) c[i] = Crossing(a[i], V, base, last);
      // Mostly in order already and all distinct: then no crossing moves and
      // none is dropped.
      bool distinct = true;
      for (int i = 1; i < nc; ++i) {
        if (c[i] > c[i - 1]) continue;
        distinct = false;
        if (!(c[i] < c[i - 1])) continue;
        const float key = c[i];
        const Edge e = a[i];
        int j = i;
        for (; j > 0 && c[j - 1] > key; --j) {
          c[j] = c[j - 1];
          a[j] = a[j - 1];
        }
        c[j] = key;
        a[j] = e;
      }
      nu = distinct ? nc : Unique(c, nc);
    }
    if constexpr (kTimed) *l.crossingCycles += platform::CycleCount() - t0;
    f(s, static_cast<const float*>(c), nu % 2 == 0 ? nu : 0);
  }
  l.s = std::max(l.s, stop);
  l.na = na;
  l.ends = ends;
}

template <typename F>
void RunSubLines(SubLines& l, long long until, F&& f) {
  if (l.crossingCycles) {
    RunSubLinesFor<true>(l, until, f);
  } else {
    RunSubLinesFor<false>(l, until, f);
  }
}

template <typename F>
void ForEachSubLine(Direction& d, std::vector<Edge>& active, std::vector<float>& cross,
                    std::uint64_t* crossingCycles, F&& f) {
  SubLines l = StartSubLines(d, active, cross);
  l.crossingCycles = crossingCycles;
  RunSubLines(l, l.subs, f);
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

// Bounds of the cells along one axis: the bounds [0, n) from image
// coordinate `origin` cut at the multiples of the page size; cell k spans
// [edges[k], edges[k + 1]).
void CellEdges(int origin, int n, std::vector<int>* edges) {
  edges->clear();
  edges->push_back(0);
  const int first = ((origin >> 7) + 1) * 128 - origin;  // the next page start
  for (long long e = first; e < n; e += 128) edges->push_back(static_cast<int>(e));
  edges->push_back(n);
}

// The spans of a run of sub-lines that have at most one each: the two
// crossings as found (a < 0: none), and then as their values along the
// line. Room for eight empty sub-lines past the end, for kernels that read
// whole vectors.
struct SpanArrays {
  std::vector<float> a, b;
  std::vector<int> i, j, first, last;
  void Reset(std::size_t n) {
    a.resize(n);
    b.resize(n);
    for (std::vector<int>* v : {&i, &j, &first, &last}) v->resize(n + 8);
    for (std::size_t k = n; k < n + 8; ++k) {
      i[k] = j[k] = kNoSpan;
      first[k] = last[k] = 0;
    }
  }
  // Sub-line `at` spans c[0] .. c[1] (nc == 2) or is empty (nc == 0).
  void Record(std::size_t at, const float* c, int nc) {
    a[at] = nc == 2 ? c[0] : -1.0f;
    b[at] = nc == 2 ? c[1] : -1.0f;
  }
  // The values of the n sub-lines recorded, by the span helpers' formulas:
  // four at a time in SSE2 lanes, which compute them the same way.
  void Convert(std::size_t n) {
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128 one = _mm_set1_ps(1.0f), scale = _mm_set1_ps(255.0f), zero = _mm_setzero_ps();
    const __m128i none = _mm_set1_epi32(kNoSpan);
    auto pick = [](__m128i mask, __m128i x, __m128i y) {
      return _mm_or_si128(_mm_and_si128(mask, x), _mm_andnot_si128(mask, y));
    };
    auto store = [](std::vector<int>& v, std::size_t at, __m128i x) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(v.data() + at), x);
    };
    for (; k + 4 <= n; k += 4) {
      const __m128 va = _mm_loadu_ps(a.data() + k), vb = _mm_loadu_ps(b.data() + k);
      const __m128i vi = _mm_cvttps_epi32(va), vj = _mm_cvttps_epi32(vb);
      const __m128i start =
          _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(one, _mm_sub_ps(va, _mm_cvtepi32_ps(vi))), scale));
      const __m128i inner = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(vb, va), scale));
      const __m128i end = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(vb, _mm_cvtepi32_ps(vj)), scale));
      const __m128i empty = _mm_castps_si128(_mm_cmplt_ps(va, zero));
      store(i, k, pick(empty, none, vi));
      store(j, k, pick(empty, none, vj));
      store(first, k, _mm_andnot_si128(empty, pick(_mm_cmpeq_epi32(vi, vj), inner, start)));
      store(last, k, _mm_andnot_si128(empty, end));
    }
#endif
    for (; k < n; ++k) {
      if (a[k] < 0.0f) {
        i[k] = j[k] = kNoSpan;
        first[k] = last[k] = 0;
        continue;
      }
      const int si = static_cast<int>(a[k]), sj = static_cast<int>(b[k]);
      i[k] = si;
      j[k] = sj;
      first[k] = si == sj ? SpanInnerCoverage(a[k], b[k]) : SpanStartCoverage(a[k], si);
      last[k] = SpanEndCoverage(b[k], sj);
    }
  }
  SpanLines Lines() const {
    return {i.data(), j.data(), first.data(), last.data()};
  }
};

// Where a sub-line's value is above 0 ([lo, hi]) and where it is 255
// ([fullLo, fullHi]); empty ranges have lo > hi. Only a span starting on a
// pixel edge is 255 at its first pixel, and none is 255 at its last.
struct SpanReach {
  int lo, hi, fullLo, fullHi;
};
inline SpanReach ReachOf(int i, int j, int first, int last) {
  // (Without branches: how spans end varies from sub-line to sub-line. An
  // empty sub-line, i = j = kNoSpan, comes out with lo > hi and fullLo >
  // fullHi.)
  constexpr int kNone = std::numeric_limits<int>::max();
  const bool one = i == j;
  return {first > 0 ? i : i + 1, one ? (first > 0 ? i : -1) : (last > 0 ? j : j - 1),
          one ? kNone : (first == 255 ? i : i + 1), one ? -1 : j - 1};
}

// Runs the sub-lines of `l` into `record` while each has at most one span;
// false (and stopped) at the first with more.
template <typename F>
bool RunOneSpanLines(SubLines& l, F&& record) {
  bool one = true;
  auto f = [&](long long s, const float* c, int nc) {
    if (nc > 2) {
      one = false;
    } else {
      record(s, c, nc);
    }
  };
  for (long long until = 256; one && l.s < l.subs; until += 256) RunSubLines(l, until, f);
  return one;
}

// Where v[] is least when it only falls and then only rises (a valley;
// `valley` false: greatest when it only rises and then only falls), else -1.
int Turn(const int* v, int n, bool valley) {
  auto before = [&](int a, int b) { return valley ? a < b : a > b; };
  int c = 0;
  while (c + 1 < n && !before(v[c], v[c + 1])) ++c;
  const int m = c;
  while (c + 1 < n && !before(v[c + 1], v[c])) ++c;
  return c + 1 == n ? m : -1;
}

// With columns c (0 .. n - 1) each holding the rows from[c] .. to[c], the
// least (lo) and greatest (hi) column holding each row (lo > hi: none).
// True when the columns holding a row are all those from lo to hi: when
// from[] is a valley and to[] a hill, the columns a row has reached and
// those it has not passed are two runs, the one growing and the other
// shrinking as the row moves down. Otherwise each row is settled once by
// the first column from either side that holds it (`next` skips the rows
// already settled), and the columns between may not all hold it.
bool RowHulls(const int* from, const int* to, int n, int rows, std::vector<int>& next, int* lo,
              int* hi) {
  std::fill(lo, lo + rows, std::numeric_limits<int>::max());
  std::fill(hi, hi + rows, -1);
  if (n <= 0) return true;
  const int m = Turn(from, n, true), top = Turn(to, n, false);
  if (m >= 0 && top >= 0) {
    int fa = m, fb = m, ta = 0, tb = n - 1;
    for (int r = std::max(from[m], 0); r <= std::min(to[top], rows - 1); ++r) {
      while (fa > 0 && from[fa - 1] <= r) --fa;
      while (fb < n - 1 && from[fb + 1] <= r) ++fb;
      while (to[ta] < r) ++ta;
      while (to[tb] < r) --tb;
      const int a = std::max(fa, ta), b = std::min(fb, tb);
      if (a <= b) {
        lo[r] = a;
        hi[r] = b;
      }
    }
    return true;
  }
  auto find = [&](int r) {
    while (next[r] != r) {
      next[r] = next[next[r]];
      r = next[r];
    }
    return r;
  };
  for (int pass = 0; pass < 2; ++pass) {
    int* const out = pass == 0 ? lo : hi;
    next.resize(static_cast<std::size_t>(rows) + 1);
    for (int r = 0; r <= rows; ++r) next[r] = r;
    for (int k = 0; k < n; ++k) {
      const int c = pass == 0 ? k : n - 1 - k;
      const int start = std::max(from[c], 0), end = std::min(to[c], rows - 1);
      if (start > end) continue;
      for (int r = find(start); r <= end; r = find(r + 1)) {
        out[r] = c;
        next[r] = r + 1;
      }
    }
  }
  return false;
}

// The scan of a shape none of whose sub-lines, in either direction, has more
// than one span (a convex shape, an ellipse, a circle), straight from the
// spans: in a row, the row pass is 0 outside its sub-lines' spans and 255
// inside all three, and the same holds for a column in the column pass.
// Where both passes are 0, or both 255, so is their mean; only the pixels
// between are computed. False, having handed over nothing, when a sub-line
// has more than one span.
struct OneSpanScratch {
  SpanArrays h, even, odd;
  std::vector<int> from, to, full0, full1, next, p0, p1, q0, q1, count, cellState, written;
  std::vector<RowLayout> layout;
  std::vector<std::uint8_t*> mem;
  std::vector<std::ptrdiff_t> stride;
  std::vector<RowCell> rowCells;
};

bool ScanOneSpanShape(const FillScanRows& rows, const ilTile& bounds, Scratch& w,
                      CoverageCells& out, ScanCycles* cycles, bool* ok) {
  static thread_local OneSpanScratch scratch;
  OneSpanScratch& o = scratch;
  const int nx = bounds.nx, ny = bounds.ny;
  std::uint64_t* const crossingCycles = cycles ? &cycles->crossings : nullptr;
  const std::uint64_t t0 = cycles ? platform::CycleCount() : 0;
  o.h.Reset(2 * static_cast<std::size_t>(ny));
  SubLines hl = StartSubLines(w.h, w.active, w.cross);
  hl.crossingCycles = crossingCycles;
  const bool hOne = RunOneSpanLines(hl, [&](long long s, const float* c, int nc) {
    o.h.Record(static_cast<std::size_t>(s), c, nc);
  });
  if (hOne) o.h.Convert(2 * static_cast<std::size_t>(ny));
  // (A pass given up on is counted too: its crossings are.)
  const std::uint64_t t1 = cycles ? platform::CycleCount() : 0;
  if (cycles) cycles->horizontal += t1 - t0;
  if (!hOne) return false;
  o.even.Reset(static_cast<std::size_t>(nx));
  o.odd.Reset(static_cast<std::size_t>(nx));
  SubLines vl = StartSubLines(w.v, w.active, w.cross);
  vl.crossingCycles = crossingCycles;
  const bool vOne = RunOneSpanLines(vl, [&](long long s, const float* c, int nc) {
    (s % 2 ? o.odd : o.even).Record(static_cast<std::size_t>(s / 2), c, nc);
  });
  if (!vOne) {
    if (cycles) cycles->vertical += platform::CycleCount() - t1;
    return false;
  }
  o.even.Convert(static_cast<std::size_t>(nx));
  o.odd.Convert(static_cast<std::size_t>(nx));
  // Columns 0 .. nx - 2 (the last is never reached): the rows where the
  // column pass may be above 0, and those where it is 255.
  const int cols = nx - 1;
  o.from.resize(cols > 0 ? cols : 1);
  o.to.resize(o.from.size());
  o.full0.resize(o.from.size());
  o.full1.resize(o.from.size());
  for (int c = 0; c < cols; ++c) {
    const SpanArrays* lines[3] = {&o.even, &o.odd, &o.even};
    int lo = std::numeric_limits<int>::max(), hi = -1, fullLo = 0;
    int fullHi = std::numeric_limits<int>::max();
    for (int k = 0; k < 3; ++k) {
      const SpanArrays& l = *lines[k];
      const std::size_t t = static_cast<std::size_t>(c) + (k == 2);
      const SpanReach reach = ReachOf(l.i[t], l.j[t], l.first[t], l.last[t]);
      lo = std::min(lo, reach.lo);
      hi = std::max(hi, reach.hi);
      fullLo = std::max(fullLo, reach.fullLo);
      fullHi = std::min(fullHi, reach.fullHi);
    }
    o.from[c] = lo;
    o.to[c] = hi;
    o.full0[c] = fullLo;
    o.full1[c] = fullHi;
  }
  // Per row, the columns the column pass may be above 0 in lie within
  // [p0, p1]; it is 255 in [q0, q1] where those columns are all it is 255
  // in (else q0 > q1).
  const auto rowsN = static_cast<std::size_t>(ny);
  o.p0.resize(rowsN);
  o.p1.resize(rowsN);
  o.q0.resize(rowsN);
  o.q1.resize(rowsN);
  RowHulls(o.from.data(), o.to.data(), cols, ny, o.next, o.p0.data(), o.p1.data());
  if (!RowHulls(o.full0.data(), o.full1.data(), cols, ny, o.next, o.q0.data(), o.q1.data())) {
    // Keep [q0, q1] only where every column between is 255 in the row.
    o.count.assign(rowsN + 1, 0);
    for (int c = 0; c < cols; ++c) {
      const int a = std::max(o.full0[c], 0), b = std::min(o.full1[c], ny - 1);
      if (a > b) continue;
      ++o.count[a];
      --o.count[b + 1];
    }
    for (int r = 0, n = 0; r < ny; ++r) {
      n += o.count[r];
      if (o.q0[r] <= o.q1[r] && n != o.q1[r] - o.q0[r] + 1) {
        o.q0[r] = std::numeric_limits<int>::max();
        o.q1[r] = -1;
      }
    }
  }
  if (cycles) cycles->vertical += platform::CycleCount() - t1;

  SpanRow row;
  row.even = o.even.Lines();
  row.odd = o.odd.Lines();
  // Row r's three sub-lines into `row` (none for the last row, which no
  // sub-line closes).
  auto load = [&](int r) {
    row.y = r;
    for (int k = 0; k < 3; ++k) {
      const std::size_t s = 2 * static_cast<std::size_t>(r) + k;
      const bool has = r < ny - 1;
      row.i[k] = has ? o.h.i[s] : kNoSpan;
      row.j[k] = has ? o.h.j[s] : kNoSpan;
      row.first[k] = has ? o.h.first[s] : 0;
      row.last[k] = has ? o.h.last[s] : 0;
    }
  };
  // The layout of row r, from its sub-lines in `row`.
  auto lay = [&](int r) {
    int lo = std::numeric_limits<int>::max(), hi = -1, fullLo = 0;
    int fullHi = std::numeric_limits<int>::max();
    for (int k = 0; k < 3; ++k) {
      const SpanReach reach = ReachOf(row.i[k], row.j[k], row.first[k], row.last[k]);
      lo = std::min(lo, reach.lo);
      hi = std::max(hi, reach.hi);
      fullLo = std::max(fullLo, reach.fullLo);
      fullHi = std::min(fullHi, reach.fullHi);
    }
    RowLayout l;
    l.zl = std::min(lo, o.p0[r]);
    l.zr = std::min(std::max(hi, o.p1[r]), nx - 2);
    l.gl = std::max(fullLo, o.q0[r]);
    l.gr = std::min(fullHi, o.q1[r]);
    return l;
  };

  std::vector<int>&cx = w.cellX, &cy = w.cellY;
  CellEdges(bounds.x, nx, &cx);
  CellEdges(bounds.y, ny, &cy);
  const int cells = static_cast<int>(cx.size()) - 1;
  const int cellOrigin = bounds.x >> 7;
  o.cellState.resize(cells);
  o.mem.resize(cells);
  o.stride.resize(cells);
  o.layout.resize(128);
  for (std::size_t band = 0; band + 1 < cy.size(); ++band) {
    const int y0 = cy[band], y1 = cy[band + 1];
    // A cell is 255 when it lies in [gl, gr] in every row of the band, and
    // 0 when no row's [zl, zr] reaches into it (touched[c] counts the rows
    // whose [zl, zr] reach cells up to c, less those they stop before).
    int gl = 0, gr = nx;
    std::fill(o.cellState.begin(), o.cellState.end(), 0);
    for (int r = y0; r < y1; ++r) {
      load(r);
      const RowLayout l = lay(r);
      o.layout[r - y0] = l;
      gl = std::max(gl, l.gl);
      gr = std::min(gr, l.gl <= l.gr ? l.gr : -1);
      if (l.zl > l.zr) continue;
      ++o.cellState[((bounds.x + l.zl) >> 7) - cellOrigin];
      const int after = ((bounds.x + l.zr) >> 7) - cellOrigin + 1;
      if (after < cells) --o.cellState[after];
    }
    for (int c = 0, touched = 0; c < cells; ++c) {
      touched += o.cellState[c];
      const bool full = cx[c] >= gl && cx[c + 1] - 1 <= gr;
      o.cellState[c] = full ? 255 : touched == 0 ? 0 : -2;
    }
    o.written.clear();
    for (int c = 0; c < cells; ++c) {
      const ilTile cell(bounds.x + cx[c], bounds.y + y0, 0, cx[c + 1] - cx[c], y1 - y0, 1);
      o.mem[c] = nullptr;
      if (o.cellState[c] >= 0) {
        if (!out.Solid(cell, static_cast<std::uint8_t>(o.cellState[c]))) *ok = false;
        continue;
      }
      o.mem[c] = out.Rows(cell, &o.stride[c]);
      if (o.mem[c] == nullptr) {
        *ok = false;
      } else {
        o.written.push_back(c);
      }
    }
    o.rowCells.clear();
    for (const int c : o.written) o.rowCells.push_back({o.mem[c] - cx[c], cx[c], cx[c + 1]});
    for (int r = y0; r < y1; ++r) {
      load(r);
      rows.span_row(o.rowCells.data(), static_cast<int>(o.rowCells.size()), o.layout[r - y0], row);
      for (std::size_t k = 0; k < o.rowCells.size(); ++k) o.rowCells[k].p += o.stride[o.written[k]];
    }
    out.BandDone();
  }
  return true;
}

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
  if (ScanOneSpanShape(rows, bounds, w, out, cycles, &oneSpanOk)) return oneSpanOk;
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
