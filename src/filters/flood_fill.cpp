// FloodFill and FloodFillOperation: the scanline region search over paged
// images. Each popped seed fills the run of inside pixels around it (the
// span), then seeds the runs of unfilled inside pixels in the rows above
// and below that lie under the span. Rows are walked a page row at a time
// through the accessors, the four-channel inside test by the SIMD span scan.
#include "brenmark/flood_fill.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "brenmark/smart_image.h"
#include "filters/flood_rows.h"
#include "imagestore/page_table.h"

namespace {

constexpr int kPage = PagePixelAccessor::kPageSize;

int FloorToPage(int v) {
  return v & ~(kPage - 1);
}

// The inside test of the same-image search, the tolerance-0 case being one
// word compare.
template <bool Exact>
struct InsideTest {
  std::uint32_t seed;
  int tol;
  bool operator()(const std::uint8_t* p) const {
    if constexpr (Exact) {
      std::uint32_t v;
      std::memcpy(&v, p, 4);
      return v == seed;
    } else {
      std::uint8_t s[4];
      std::memcpy(s, &seed, 4);
      return brenmark::flood::Inside4(p, s, tol);
    }
  }
};

// Runs of inside (or outside) pixels from p on, of at most n. Most runs of
// a maze or a ragged edge are a few pixels, so the first eight are tested
// here and only longer runs pay for the call into the span scan.
constexpr int kInlinePixels = 8;

template <bool Exact>
int RunInsideRight(const InsideTest<Exact>& in, const std::uint8_t* p, int n) {
  const int m = std::min(n, kInlinePixels);
  for (int k = 0; k < m; ++k) {
    if (!in(p + 4 * k)) return k;
  }
  if (m == n) return n;
  return m + brenmark::flood::ActiveFloodRows().inside_right(p + 4 * m, n - m, in.seed, in.tol);
}

template <bool Exact>
int RunInsideLeft(const InsideTest<Exact>& in, const std::uint8_t* p, int n) {
  const int m = std::min(n, kInlinePixels);
  for (int k = 0; k < m; ++k) {
    if (!in(p - 4 * k)) return k;
  }
  if (m == n) return n;
  return m + brenmark::flood::ActiveFloodRows().inside_left(p - 4 * m, n - m, in.seed, in.tol);
}

template <bool Exact>
int RunOutsideRight(const InsideTest<Exact>& in, const std::uint8_t* p, int n) {
  const int m = std::min(n, kInlinePixels);
  for (int k = 0; k < m; ++k) {
    if (in(p + 4 * k)) return k;
  }
  if (m == n) return n;
  return m + brenmark::flood::ActiveFloodRows().outside_right(p + 4 * m, n - m, in.seed, in.tol);
}

}  // namespace

// ---- FloodFill: the row scans in terms of IsInside and SetPixel.

int FloodFill::ScanRight(int x, int y) {
  while (x < xmax_ && IsInside(x + 1, y)) ++x;
  return x;
}

int FloodFill::ScanLeft(int x, int y) {
  while (x > xmin_ && IsInside(x - 1, y)) --x;
  return x;
}

int FloodFill::NextInside(int x, int y, int xEnd) {
  for (++x; x <= xEnd; ++x) {
    if (IsInside(x, y)) return x;
  }
  return xEnd + 1;
}

void FloodFill::SetSpan(int x1, int x2, int y) {
  for (int x = x1; x <= x2; ++x) SetPixel(x, y);
}

// ---- FloodFillOperation

int FloodFillOperation::ToleranceByte(float tolerance) {
  if (!(tolerance > 0.0f)) return 0;  // also NaN
  if (tolerance >= 1.0f) return 255;
  return static_cast<int>(std::lround(tolerance * 255.0f));
}

FloodFillOperation::FloodFillOperation(int x, int y, float tolerance, const PaintColor& colour,
                                       PagePixelAccessor* accessor, bool oneChannel)
    : FloodFillOperation(x, y, 0, 0, tolerance, colour, accessor, accessor, oneChannel,
                         oneChannel) {}

FloodFillOperation::FloodFillOperation(int x, int y, int dx, int dy, float tolerance,
                                       const PaintColor& colour, PagePixelAccessor* source,
                                       PagePixelAccessor* destination, bool sourceOneChannel,
                                       bool destinationOneChannel)
    : minX_(x),
      minY_(y),
      maxX_(x),
      maxY_(y),
      dx_(dx),
      dy_(dy),
      tolerance_(ToleranceByte(tolerance)),
      source_(source),
      destination_(destination),
      sourceOneChannel_(sourceOneChannel),
      destinationOneChannel_(destinationOneChannel) {
  colour.Get(fillColour_);
  // The images decide the pixel widths: a flag that disagrees would make
  // four-byte reads in one-byte pages.
  if (source_ && source_->Image()) sourceOneChannel_ = source_->Channels() == 1;
  if (destination_ && destination_->Image()) {
    destinationOneChannel_ = destination_->Channels() == 1;
  }
  if (const std::uint8_t* p = source_ ? source_->Pixel(x, y) : nullptr) {
    if (sourceOneChannel_) {
      seedValue_ = *p;
    } else {
      std::memcpy(&seedValue_, p, 4);
    }
    seedValid_ = true;
  }
  if (source_ == destination_ && dx_ == 0 && dy_ == 0 && !sourceOneChannel_) {
    std::uint8_t seed[4], colour[4];
    std::memcpy(seed, &seedValue_, 4);
    std::memcpy(colour, &fillColour_, 4);
    sameImage_ = !brenmark::flood::Inside4(colour, seed, tolerance_);
  }
}

void FloodFillOperation::GetExtent(int& minX, int& minY, int& maxX, int& maxY) const {
  minX = minX_;
  minY = minY_;
  maxX = maxX_;
  maxY = maxY_;
}

ilTile FloodFillOperation::ExtentTile() const {
  return ilTile(minX_, minY_, 0, maxX_ - minX_ + 1, maxY_ - minY_ + 1, 1);
}

bool FloodFillOperation::InsideByte(const std::uint8_t* s) const {
  const int d = *s - static_cast<int>(seedValue_ & 0xFF);
  return d <= tolerance_ && -d <= tolerance_;
}

inline bool FloodFillOperation::Unfilled(const std::uint8_t* d) const {
  if (destinationOneChannel_) return *d != (fillColour_ >> 24);
  std::uint32_t v;
  std::memcpy(&v, d, 4);
  return v != fillColour_;
}

bool FloodFillOperation::IsInside(int x, int y) {
  const std::uint8_t* s = source_ ? source_->Pixel(x, y) : nullptr;
  if (!s) return false;
  if (sourceOneChannel_) return InsideByte(s);
  std::uint8_t seed[4];
  std::memcpy(seed, &seedValue_, 4);
  return brenmark::flood::Inside4(s, seed, tolerance_);
}

// A pixel whose destination cannot be had counts as filled: it is never
// seeded, so every seed ends as a written pixel and the search ends.
bool FloodFillOperation::IsFilled(int x, int y) {
  const std::uint8_t* d = destination_ ? destination_->Pixel(x + dx_, y + dy_) : nullptr;
  return !d || !Unfilled(d);
}

void FloodFillOperation::SetPixel(int x, int y) {
  std::uint8_t* d = destination_ ? destination_->Pixel(x + dx_, y + dy_) : nullptr;
  if (!d) return;
  if (destinationOneChannel_) {
    *d = static_cast<std::uint8_t>(fillColour_ >> 24);
  } else {
    std::memcpy(d, &fillColour_, 4);
  }
}

int FloodFillOperation::InsideRunRight(int x, int y, int xEnd) {
  const auto& rows = brenmark::flood::ActiveFloodRows();
  int count = 0;
  while (x <= xEnd) {
    int run = 0;
    const std::uint8_t* s = source_->PixelRunRight(x, y, run);
    if (!s) break;
    const int n = std::min(run, xEnd - x + 1);
    int k = 0;
    if (sourceOneChannel_) {
      while (k < n && InsideByte(s + k)) ++k;
    } else {
      k = rows.inside_right(s, n, seedValue_, tolerance_);
    }
    count += k;
    if (k < n) break;
    x += n;
  }
  return count;
}

int FloodFillOperation::InsideRunLeft(int x, int y, int xEnd) {
  const auto& rows = brenmark::flood::ActiveFloodRows();
  int count = 0;
  while (x >= xEnd) {
    int run = 0;
    const std::uint8_t* s = source_->PixelRunLeft(x, y, run);
    if (!s) break;
    const int n = std::min(run, x - xEnd + 1);
    int k = 0;
    if (sourceOneChannel_) {
      while (k < n && InsideByte(s - k)) ++k;
    } else {
      k = rows.inside_left(s, n, seedValue_, tolerance_);
    }
    count += k;
    if (k < n) break;
    x -= n;
  }
  return count;
}

void FloodFillOperation::WriteSpan(int x1, int x2, int y) {
  const auto alpha = static_cast<std::uint8_t>(fillColour_ >> 24);
  for (int x = x1; x <= x2;) {
    int run = 0;
    std::uint8_t* d = destination_->PixelRunRight(x + dx_, y + dy_, run);
    const int n = std::min(run, x2 - x + 1);
    if (!d) {
      ++x;
      continue;
    }
    if (destinationOneChannel_) {
      std::memset(d, alpha, static_cast<std::size_t>(n));
    } else {
      for (int k = 0; k < n; ++k) std::memcpy(d + 4 * k, &fillColour_, 4);
    }
    x += n;
  }
}

void FloodFillOperation::SeedRow(int r, int left, int right) {
  bool inRun = false;
  int x = left;
  std::uint8_t seed[4];
  std::memcpy(seed, &seedValue_, 4);
  const int sw = sourceOneChannel_ ? 1 : 4;
  const int dw = destinationOneChannel_ ? 1 : 4;
  while (x <= right) {
    // One page row of both images at a time: the source pointer's slot is
    // current while the destination is looked up, so a reload for the
    // destination goes to another slot and both pointers stay valid.
    int sRun = 0, dRun = 0;
    const std::uint8_t* s = source_->PixelRunRight(x, r, sRun);
    const std::uint8_t* d = s ? destination_->PixelRunRight(x + dx_, r + dy_, dRun) : nullptr;
    if (!s || !d) {
      if (inRun) seeds_.push_back({x - 1, r});
      inRun = false;
      ++x;
      continue;
    }
    const int n = std::min({sRun, dRun, right - x + 1});
    for (int k = 0; k < n; ++k) {
      const std::uint8_t* sp = s + sw * k;
      const bool open =
          Unfilled(d + dw * k) &&
          (sourceOneChannel_ ? InsideByte(sp) : brenmark::flood::Inside4(sp, seed, tolerance_));
      if (inRun && !open) seeds_.push_back({x + k - 1, r});
      inRun = open;
    }
    x += n;
  }
  if (inRun) seeds_.push_back({right, r});
  peakSeeds_ = std::max(peakSeeds_, seeds_.size());
}

// Four channels read and written in place with a colour outside the
// tolerance: a filled pixel is never inside, so "unfilled and inside" is
// "inside", every maximal run of inside pixels in a row is filled whole or
// not at all, and the region is the 4-connected set of inside pixels around
// the seed. The search keeps runs instead of points: a pending run is
// known inside, so its pixels are not tested again, and a run that finds
// its first pixel filled was taken whole by another span. A run that ended
// inside the scanned range ended at a pixel that was not inside, and pixels
// only ever leave the inside (by being filled): it grows only at an end
// that met the end of the range. The row a span
// was seeded from is scanned only beyond the parent span, which is filled.

// Pushes the runs of inside pixels of row r within [a, b], found a page row
// at a time, as children of the span [left, right] in row r - dir.
template <bool Exact>
void FloodFillOperation::PushRuns(int r, int a, int b, int dir, int left, int right) {
  const InsideTest<Exact> in{seedValue_, tolerance_};
  bool inRun = false;
  int start = 0;
  const bool aheadInPage =
      static_cast<unsigned>(((r - source_->OriginY()) & (kPage - 1)) + dir) < kPage;
  for (int x = a; x <= b;) {
    int run = 0;
    const std::uint8_t* p = source_->PixelRunRight(x, r, run);
    if (!p) {
      if (inRun) runs_.push_back({start, x - 1, r, dir, left, right, start == a, false});
      inRun = false;
      ++x;
      continue;
    }
    const int n = std::min(run, b - x + 1);
    for (int k = 0; k < n;) {
      if (inRun) {
        k += RunInsideRight(in, p + 4 * k, n - k);
        if (k < n) {
          runs_.push_back({start, x + k - 1, r, dir, left, right, start == a, false});
          inRun = false;
        }
      } else {
        k += RunOutsideRight(in, p + 4 * k, n - k);
        if (k < n) {
          inRun = true;
          start = x + k;
          // This run's own row ahead, wanted when it is taken.
          if (aheadInPage) __builtin_prefetch(p + 4 * k + dir * (4 * kPage));
        }
      }
    }
    x += n;
  }
  if (inRun) runs_.push_back({start, b, r, dir, left, right, start == a, true});
}

// Most ranges of a narrow region lie within one page row: no page lookup,
// the pixels walked through the pointer.
template <bool Exact>
inline __attribute__((always_inline)) void FloodFillOperation::PushRunsInPage(
    const std::uint8_t* q, int r, int a, int b, int dir, int left, int right, bool aheadInPage) {
  const InsideTest<Exact> in{seedValue_, tolerance_};
  const int n = b - a + 1;
  int k = RunOutsideRight(in, q, n);
  while (k < n) {
    const int start = k;
    if (aheadInPage) __builtin_prefetch(q + 4 * k + dir * (4 * kPage));
    k += RunInsideRight(in, q + 4 * k, n - k);
    runs_.push_back({a + start, a + k - 1, r, dir, left, right, start == 0, k == n});
    if (k == n) break;
    ++k;  // pixel k is not inside
    k += RunOutsideRight(in, q + 4 * k, n - k);
  }
}

template <bool Exact>
void FloodFillOperation::FillSameImage(int x, int y) {
  const InsideTest<Exact> in{seedValue_, tolerance_};
  PagePixelAccessor& a = *source_;
  runs_.clear();
  // The seed has no parent: both rows are scanned whole.
  runs_.push_back({x, x, y, 1, x + 1, x, true, true});
  std::size_t peak = 1;
  long spans = 0;
  int minX = minX_, maxX = maxX_, minY = minY_, maxY = maxY_;
  while (!runs_.empty()) {
    // Field by field: a run is mostly popped right after it was pushed, and
    // a wide load over the narrower stores that wrote it waits for them to
    // retire instead of taking their data.
    const Run& top = runs_.back();
    Run s;
    s.left = top.left;
    s.right = top.right;
    s.y = top.y;
    s.dir = top.dir;
    s.parentLeft = top.parentLeft;
    s.parentRight = top.parentRight;
    s.openLeft = top.openLeft;
    s.openRight = top.openRight;
    runs_.pop_back();
    int run = 0;
    std::uint8_t* p = a.PixelRunRight(s.left, s.y, run);
    if (!p) continue;
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if (v == fillColour_) continue;
    // The row ahead is the one pixel data not yet in cache, and down a
    // narrow corridor the next runs' rows ahead follow it: four rows are
    // asked for now while this span is found and written. A prefetch never
    // faults, so the rows are not checked against the page: near its edge
    // a request is only wasted.
    const int row = (s.y - a.OriginY()) & (kPage - 1);
    const std::ptrdiff_t step = s.dir * std::ptrdiff_t{4 * kPage};
    __builtin_prefetch(p + step);
    __builtin_prefetch(p + 2 * step);
    __builtin_prefetch(p + 3 * step);
    __builtin_prefetch(p + 4 * step);
    // The run below on the stack is next unless this span has children:
    // after a dead end it was pushed long ago and its rows have left the
    // cache. Asked for now, within the current page only.
    if (!runs_.empty()) {
      const Run& next = runs_.back();
      if (const std::uint8_t* q = a.PixelIfCurrent(next.left, next.y)) {
        __builtin_prefetch(q);
        __builtin_prefetch(q + next.dir * std::ptrdiff_t{4 * kPage});
      }
    }
    // The span's own page row first, through p (no lookup); only a run
    // that meets the page's edge goes on through the accessor.
    const int before = kPage - run;  // pixels of the page row left of s.left
    int right = s.right, left = s.left;
    bool moreRight = s.openRight && right < xmax_;
    if (moreRight && right - s.left + 1 < run) {
      const int off = right - s.left + 1;
      const int n = std::min(run - off, xmax_ - right);
      const int k = RunInsideRight(in, p + 4 * off, n);
      right += k;
      moreRight = k == n && right < xmax_;
    }
    bool moreLeft = s.openLeft && left > xmin_;
    if (moreLeft && before > 0) {
      const int n = std::min(before, left - xmin_);
      const int k = RunInsideLeft(in, p - 4, n);
      left -= k;
      moreLeft = k == n && left > xmin_;
    }
    while (moreRight) {
      const std::uint8_t* q = a.PixelRunRight(right + 1, s.y, run);
      if (!q) break;
      const int n = std::min(run, xmax_ - right);
      const int k = RunInsideRight(in, q, n);
      right += k;
      moreRight = k == n && right < xmax_;
    }
    while (moreLeft) {
      const std::uint8_t* q = a.PixelRunLeft(left - 1, s.y, run);
      if (!q) break;
      const int n = std::min(run, left - xmin_);
      const int k = RunInsideLeft(in, q, n);
      left -= k;
      moreLeft = k == n && left > xmin_;
    }
    // Most spans of a narrow region lie in the page of their first pixel,
    // whose pointer is still at hand: at most one page was looked up on
    // each side, into other slots.
    const bool inPage = s.left - left <= before && right - s.left < kPage - before;
    std::uint8_t* d = inPage ? p - 4 * (s.left - left) : nullptr;
    if (inPage) {
      // The colour in a register: through d it would be reloaded per pixel.
      const std::uint32_t colour = fillColour_;
      for (int i = 0; i <= right - left; ++i) std::memcpy(d + 4 * i, &colour, 4);
    } else {
      WriteSpan(left, right, s.y);
    }
    ++spans;
    minX = std::min(minX, left);
    maxX = std::max(maxX, right);
    minY = std::min(minY, s.y);
    maxY = std::max(maxY, s.y);
    // Onward: the whole span. Back towards the parent: the parts of the
    // span beyond the parent's (all of it for the seed, whose parent is
    // empty).
    const int ahead = s.y + s.dir, back = s.y - s.dir;
    // Rows of the span's page: through the span's pointer, a row apart. A
    // row ahead in the next page is looked up, and the lookup may reload
    // this page's slot: the row behind is then looked up as well.
    const bool aheadIn = inPage && static_cast<unsigned>(row + s.dir) < kPage;
    const bool backIn = aheadIn && static_cast<unsigned>(row - s.dir) < kPage;
    if (aheadIn && ahead <= ymax_ && ahead >= ymin_) {
      PushRunsInPage<Exact>(d + step, ahead, left, right, s.dir, left, right,
                            static_cast<unsigned>(row + 2 * s.dir) < kPage);
    } else if (ahead >= ymin_ && ahead <= ymax_) {
      PushRuns<Exact>(ahead, left, right, s.dir, left, right);
    }
    if (backIn && back >= ymin_ && back <= ymax_) {
      // The row behind was just read for this span's parent: no prefetch.
      if (s.parentLeft > s.parentRight) {
        PushRunsInPage<Exact>(d - step, back, left, right, -s.dir, left, right, false);
      } else {
        if (left < s.parentLeft) {
          PushRunsInPage<Exact>(d - step, back, left, std::min(right, s.parentLeft - 1), -s.dir,
                                left, right, false);
        }
        if (right > s.parentRight) {
          const int from = std::max(left, s.parentRight + 1);
          PushRunsInPage<Exact>(d - step + 4 * (from - left), back, from, right, -s.dir, left,
                                right, false);
        }
      }
    } else if (back >= ymin_ && back <= ymax_) {
      if (s.parentLeft > s.parentRight) {
        PushRuns<Exact>(back, left, right, -s.dir, left, right);
      } else {
        if (left < s.parentLeft) {
          PushRuns<Exact>(back, left, std::min(right, s.parentLeft - 1), -s.dir, left, right);
        }
        if (right > s.parentRight) {
          PushRuns<Exact>(back, std::max(left, s.parentRight + 1), right, -s.dir, left, right);
        }
      }
    }
    peak = std::max(peak, runs_.size());
  }
  peakSeeds_ = std::max(peakSeeds_, peak);
  spans_ += spans;
  minX_ = minX;
  maxX_ = maxX;
  minY_ = minY;
  maxY_ = maxY;
}

void FloodFillOperation::Fill(int x, int y, int xmin, int ymin, int xmax, int ymax,
                              bool checkBorder) {
  // Pages exist within the plane only; the clip box is cut to it.
  const int lo = -SmartImage::kMaxCoord, hi = SmartImage::kMaxCoord - 1;
  xmin_ = std::max(xmin, lo);
  ymin_ = std::max(ymin, lo);
  xmax_ = std::min(xmax, hi);
  ymax_ = std::min(ymax, hi);
  if (x < xmin_ || x > xmax_ || y < ymin_ || y > ymax_) return;
  if (!seedValid_ || !source_ || !destination_ || !destination_->Image()) return;
  minX_ = maxX_ = x;
  minY_ = maxY_ = y;
  if (sameImage_) {
    if (tolerance_ == 0) {
      FillSameImage<true>(x, y);
    } else {
      FillSameImage<false>(x, y);
    }
  } else {
    FillAnyImages(x, y);
  }
  if (checkBorder && (minX_ <= xmin_ || minY_ <= ymin_ || maxX_ >= xmax_ || maxY_ >= ymax_)) {
    reachedBorder_ = true;
    FillBeyondClipBox();
  }
}

void FloodFillOperation::FillAnyImages(int x, int y) {
  seeds_.clear();
  seeds_.push_back({x, y});
  bool first = true;
  while (!seeds_.empty()) {
    const Seed s = seeds_.back();
    seeds_.pop_back();
    // A seed filled since it was pushed had its span done by then. The
    // first one is filled even when it already holds the colour.
    if (!first && IsFilled(s.x, s.y)) continue;
    first = false;
    right_ = s.x + InsideRunRight(s.x + 1, s.y, xmax_);
    left_ = s.x - InsideRunLeft(s.x - 1, s.y, xmin_);
    WriteSpan(left_, right_, s.y);
    ++spans_;
    minX_ = std::min(minX_, left_);
    maxX_ = std::max(maxX_, right_);
    minY_ = std::min(minY_, s.y);
    maxY_ = std::max(maxY_, s.y);
    if (s.y + 1 <= ymax_) SeedRow(s.y + 1, left_, right_);
    if (s.y - 1 >= ymin_) SeedRow(s.y - 1, left_, right_);
  }
}

// The region touched the clip box, so it goes on through everything beyond
// it. The pages the fill locked reach past the clip box up to whole pages
// and hold the old fill there: those parts are filled with the colour, and
// the colour becomes the fill value for the rest of the plane.
void FloodFillOperation::FillBeyondClipBox() {
  destination_->Release();
  ilSmartImage* image = destination_->Image();
  const int ox = dx_ - destination_->OriginX(), oy = dy_ - destination_->OriginY();
  const ilTile clip(xmin_ + ox, ymin_ + oy, 0, xmax_ - xmin_ + 1, ymax_ - ymin_ + 1, 1);
  const int x0 = FloorToPage(clip.x), y0 = FloorToPage(clip.y);
  const int x1 = FloorToPage(clip.x + clip.nx - 1) + kPage;
  const int y1 = FloorToPage(clip.y + clip.ny - 1) + kPage;
  std::uint8_t bytes[4];
  std::memcpy(bytes, &fillColour_, 4);
  if (destinationOneChannel_) bytes[0] = static_cast<std::uint8_t>(fillColour_ >> 24);
  image->fillTile(x0, y0, x1 - x0, y1 - y0, bytes, nullptr, &clip);
  image->setFill(ilPixel(ilUChar, destinationOneChannel_ ? 1 : 4, bytes));
}
