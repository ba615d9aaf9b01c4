// The sub-lines of the fill scan: a polygon's segments as each scan
// direction sees them, and a run through one direction's sub-lines that
// gives the crossings of each in order (fill_scan.cpp, fill_scan_spans.cpp).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "brenmark/il_types.h"
#include "platform/platform.h"
#include "shapes/fill_scan.h"

namespace brenmark::shapes {

// A segment as one scan direction sees it: the sub-lines run across (at a
// fixed v), the crossings are found along (u). For the horizontal scan
// u = x and v = y; for the vertical one the other way round.
struct Edge {
  float u, v, du;
  float r;       // 1 / dv, computed as 1.0 / dv
  float lo, hi;  // the closed range of v the segment spans
};

// False for segments no sub-line crosses: |dv| not above 1e-6, or NaN ends.
inline bool MakeEdge(float u, float v, float du, float dv, Edge* e) {
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
inline int Unique(float* c, int n) {
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

inline void MakeDirections(const LineSegment* segs, int count, const ilTile& b, Direction* h,
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
inline long long FirstSubLine(float lo, float start, long long subs) {
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
inline SubLines StartSubLines(Direction& d, std::vector<Edge>& active, std::vector<float>& cross) {
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

// Bounds of the cells along one axis: the bounds [0, n) from image
// coordinate `origin` cut at the multiples of the page size; cell k spans
// [edges[k], edges[k + 1]).
inline void CellEdges(int origin, int n, std::vector<int>* edges) {
  edges->clear();
  edges->push_back(0);
  const int first = ((origin >> 7) + 1) * 128 - origin;  // the next page start
  for (long long e = first; e < n; e += 128) edges->push_back(static_cast<int>(e));
  edges->push_back(n);
}

class CoverageCells;
struct FillScanRows;

// The scan of a shape none of whose sub-lines, in either direction, has
// more than one span, into `out` (fill_scan_spans.cpp), with the
// directions made and `active` and `cross` as room for a run. False,
// having handed over nothing, when a sub-line has more than one span; else
// *ok is false when a cell could not be stored.
bool ScanOneSpanShape(const FillScanRows& rows, const ilTile& bounds, Direction& h, Direction& v,
                      std::vector<Edge>& active, std::vector<float>& cross, CoverageCells& out,
                      ScanCycles* cycles, bool* ok);

}  // namespace brenmark::shapes
