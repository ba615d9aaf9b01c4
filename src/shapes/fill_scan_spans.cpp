// The fill scan of shapes whose sub-lines have at most one span each, in
// both directions (a circle, an ellipse, a convex polygon): pixels straight
// from the spans, computed only where the two passes are not both 0 or
// both 255.
#include <algorithm>
#include <cstdint>
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
  WriteRowCells(cells, count, l, FillBytes,
                [&](std::uint8_t* d, int x0, int n, int room) { SpanPixels(d, x0, n, room, row); });
}

}  // namespace scalar

namespace {

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

// The spans of a run of sub-lines that have at most one each: the two
// crossings as found (a < 0: none), and then as their values along the
// line. Room for eight empty sub-lines past the end, for kernels that read
// whole vectors.
struct SpanArrays {
  std::vector<float> a, b;
  std::vector<int> i, j, first, last;
  std::vector<int> lo, hi, fullLo, fullHi;  // each sub-line's SpanReach
  void Reset(std::size_t n) {
    a.resize(n);
    b.resize(n);
    for (std::vector<int>* v : {&lo, &hi, &fullLo, &fullHi}) v->resize(n);
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
      const __m128i ii = pick(empty, none, vi), jj = pick(empty, none, vj);
      store(i, k, ii);
      store(j, k, jj);
      const __m128i ff = _mm_andnot_si128(empty, pick(_mm_cmpeq_epi32(vi, vj), inner, start));
      const __m128i ll = _mm_andnot_si128(empty, end);
      store(first, k, ff);
      store(last, k, ll);
      // ReachOf in the lanes.
      const __m128i once = _mm_cmpeq_epi32(ii, jj), unit = _mm_set1_epi32(1);
      const __m128i firstIn = _mm_cmpgt_epi32(ff, _mm_setzero_si128());
      const __m128i lastIn = _mm_cmpgt_epi32(ll, _mm_setzero_si128());
      const __m128i firstFull = _mm_cmpeq_epi32(ff, _mm_set1_epi32(255));
      const __m128i iNext = _mm_add_epi32(ii, unit), jPrev = _mm_sub_epi32(jj, unit);
      const __m128i minus = _mm_set1_epi32(-1);
      store(lo, k, pick(firstIn, ii, iNext));
      store(hi, k, pick(once, pick(firstIn, ii, minus), pick(lastIn, jj, jPrev)));
      store(
          fullLo, k,
          pick(once, _mm_set1_epi32(std::numeric_limits<int>::max()), pick(firstFull, ii, iNext)));
      store(fullHi, k, pick(once, minus, jPrev));
    }
#endif
    for (; k < n; ++k) {
      if (a[k] < 0.0f) {
        i[k] = j[k] = kNoSpan;
        first[k] = last[k] = 0;
      } else {
        const int si = static_cast<int>(a[k]), sj = static_cast<int>(b[k]);
        i[k] = si;
        j[k] = sj;
        first[k] = si == sj ? SpanInnerCoverage(a[k], b[k]) : SpanStartCoverage(a[k], si);
        last[k] = SpanEndCoverage(b[k], sj);
      }
      const SpanReach r = ReachOf(i[k], j[k], first[k], last[k]);
      lo[k] = r.lo;
      hi[k] = r.hi;
      fullLo[k] = r.fullLo;
      fullHi[k] = r.fullHi;
    }
  }
  SpanLines Lines() const {
    return {i.data(), j.data(), first.data(), last.data()};
  }
};

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

// Working memory of the one-span scan, kept per thread between calls.
struct OneSpanScratch {
  SpanArrays h, even, odd;
  std::vector<int> from, to, full0, full1, next, p0, p1, q0, q1, count, cellX, cellY, cellState;
  std::vector<RowLayout> layout;
  std::vector<RowCell> rowCells;
  std::vector<std::ptrdiff_t> stride;
};

}  // namespace

// In a row, the row pass is 0 outside its three sub-lines' spans and 255
// inside all three, and the same holds for a column in the column pass.
// Where both passes are 0, or both 255, so is their mean: a row is written
// as runs of those, and only the pixels between are computed.
bool ScanOneSpanShape(const FillScanRows& rows, const ilTile& bounds, Direction& h, Direction& v,
                      std::vector<Edge>& active, std::vector<float>& cross, CoverageCells& out,
                      ScanCycles* cycles, bool* ok) {
  static thread_local OneSpanScratch scratch;
  OneSpanScratch& o = scratch;
  const int nx = bounds.nx, ny = bounds.ny;
  std::uint64_t* const crossingCycles = cycles ? &cycles->crossings : nullptr;
  const std::uint64_t t0 = cycles ? platform::CycleCount() : 0;
  o.h.Reset(2 * static_cast<std::size_t>(ny));
  SubLines hl = StartSubLines(h, active, cross);
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
  SubLines vl = StartSubLines(v, active, cross);
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
  {
    const SpanArrays &e = o.even, &d = o.odd;
    int c = 0;
#if defined(__SSE2__)
    // Four columns at a time; SSE2 has no 32-bit min and max, so they pick.
    auto load = [](const std::vector<int>& v, int at) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(v.data() + at));
    };
    auto least = [](__m128i x, __m128i y) {
      const __m128i more = _mm_cmpgt_epi32(x, y);
      return _mm_or_si128(_mm_and_si128(more, y), _mm_andnot_si128(more, x));
    };
    auto most = [](__m128i x, __m128i y) {
      const __m128i more = _mm_cmpgt_epi32(x, y);
      return _mm_or_si128(_mm_and_si128(more, x), _mm_andnot_si128(more, y));
    };
    auto put = [](std::vector<int>& v, int at, __m128i x) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(v.data() + at), x);
    };
    for (; c + 4 <= cols; c += 4) {
      put(o.from, c, least(least(load(e.lo, c), load(d.lo, c)), load(e.lo, c + 1)));
      put(o.to, c, most(most(load(e.hi, c), load(d.hi, c)), load(e.hi, c + 1)));
      put(o.full0, c, most(most(load(e.fullLo, c), load(d.fullLo, c)), load(e.fullLo, c + 1)));
      put(o.full1, c, least(least(load(e.fullHi, c), load(d.fullHi, c)), load(e.fullHi, c + 1)));
    }
#endif
    for (; c < cols; ++c) {
      o.from[c] = std::min({e.lo[c], d.lo[c], e.lo[c + 1]});
      o.to[c] = std::max({e.hi[c], d.hi[c], e.hi[c + 1]});
      o.full0[c] = std::max({e.fullLo[c], d.fullLo[c], e.fullLo[c + 1]});
      o.full1[c] = std::min({e.fullHi[c], d.fullHi[c], e.fullHi[c + 1]});
    }
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
  // The layout of row r.
  auto lay = [&](int r) {
    int lo = std::numeric_limits<int>::max(), hi = -1, fullLo = 0;
    int fullHi = std::numeric_limits<int>::max();
    for (std::size_t s = 2 * static_cast<std::size_t>(r), k = 0; k < 3 && r < ny - 1; ++k) {
      lo = std::min(lo, o.h.lo[s + k]);
      hi = std::max(hi, o.h.hi[s + k]);
      fullLo = std::max(fullLo, o.h.fullLo[s + k]);
      fullHi = std::min(fullHi, o.h.fullHi[s + k]);
    }
    RowLayout l;
    l.zl = std::min(lo, o.p0[r]);
    l.zr = std::min(std::max(hi, o.p1[r]), nx - 2);  // (the last column stays 0)
    l.gl = std::max(fullLo, o.q0[r]);
    l.gr = std::min(fullHi, o.q1[r]);
    return l;
  };

  std::vector<int>&cx = o.cellX, &cy = o.cellY;
  CellEdges(bounds.x, nx, &cx);
  CellEdges(bounds.y, ny, &cy);
  const int cells = static_cast<int>(cx.size()) - 1;
  const int cellOrigin = bounds.x >> 7;
  o.cellState.resize(cells);
  o.layout.resize(128);
  for (std::size_t band = 0; band + 1 < cy.size(); ++band) {
    const int y0 = cy[band], y1 = cy[band + 1];
    // A cell is 255 when it lies in [gl, gr] in every row of the band, and
    // 0 when no row's [zl, zr] reaches into it (touched[c] counts the rows
    // whose [zl, zr] reach cells up to c, less those they stop before).
    int gl = 0, gr = nx;
    std::fill(o.cellState.begin(), o.cellState.end(), 0);
    for (int r = y0; r < y1; ++r) {
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
    o.rowCells.clear();
    o.stride.clear();
    for (int c = 0; c < cells; ++c) {
      const ilTile cell(bounds.x + cx[c], bounds.y + y0, 0, cx[c + 1] - cx[c], y1 - y0, 1);
      if (o.cellState[c] >= 0) {
        if (!out.Solid(cell, static_cast<std::uint8_t>(o.cellState[c]))) *ok = false;
        continue;
      }
      std::ptrdiff_t stride;
      std::uint8_t* const mem = out.Rows(cell, &stride);
      if (mem == nullptr) {
        *ok = false;
        continue;
      }
      o.rowCells.push_back({mem - cx[c], cx[c], cx[c + 1]});
      o.stride.push_back(stride);
    }
    for (int r = y0; r < y1; ++r) {
      load(r);
      rows.span_row(o.rowCells.data(), static_cast<int>(o.rowCells.size()), o.layout[r - y0], row);
      for (std::size_t k = 0; k < o.rowCells.size(); ++k) o.rowCells[k].p += o.stride[k];
    }
    out.BandDone();
  }
  return true;
}

}  // namespace brenmark::shapes
