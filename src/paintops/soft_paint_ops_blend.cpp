// The software painter's page walk: a blend locks the target's pages one by
// one and blends into their memory the rows of the source pages that cover
// them (or the source's fill where no source page does), with the coverage,
// low-order-bit and destination-copy rows that run alongside.
//
// Cells. The walk visits the destination rectangle in cells that lie inside
// one page of every image written or read at destination positions (target,
// low-order bits, destination copy). All paged images of the engine use the
// same 128 x 128 grid, so a cell is normally one target page; a memory image
// (one page) under 128-pixel low-order pages gives 128-pixel cells.
//
// Source pages locked during one blend are kept until its end: neighbouring
// destination pages need them again when the source is not page-aligned with
// the target.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "brenmark/smart_image.h"
#include "brenmark/soft_paint_ops.h"
#include "imagestore/page.h"
#include "imagestore/page_table.h"
#include "paintops/blend_block.h"
#include "paintops/blend_rows.h"
#include "paintops/dither.h"
#include "paintops/soft_paint_ops_stamp.h"

namespace brenmark {
namespace {

constexpr int kStandardPage = 128;

// Origin of the page holding v on a grid of `size`: v rounded down, also for
// negative v. The standard page size takes the bit-mask shortcut (same
// result: two's complement rounds towards minus infinity under the mask).
int PageOrigin(int v, int size) {
  if (size == kStandardPage) return v & ~(kStandardPage - 1);
  const int q = v / size;
  return (v % size != 0 && v < 0) ? (q - 1) * size : q * size;
}

struct PageGrid {
  int x = kStandardPage;
  int y = kStandardPage;
};

// The page size the image's lockPageSet works with (images without a page
// size of their own are served in standard pages).
PageGrid GridOf(ilImage* img) {
  PageGrid g;
  const int px = img->getPageSizeX();
  const int py = img->getPageSizeY();
  g.x = px > 0 ? px : kStandardPage;
  g.y = py > 0 ? py : kStandardPage;
  return g;
}

int PixelBytes(ilImage* img) {
  return img->getCsize() == 1 ? 1 : 4;
}

ilTile Intersect(const ilTile& a, const ilTile& b) {
  const int x0 = std::max(a.x, b.x);
  const int y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.nx, b.x + b.nx);
  const int y1 = std::min(a.y + a.ny, b.y + b.ny);
  if (x1 <= x0 || y1 <= y0) return ilTile(0, 0, 0, 0, 0, 1);
  return ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1);
}

// One locked page (lock_image_page_ / unlock_image_page_). Unlocks itself.
class PageLock {
 public:
  PageLock() = default;
  PageLock(const PageLock&) = delete;
  PageLock& operator=(const PageLock&) = delete;
  ~PageLock() { Unlock(); }

  // Locks the page holding (x, y) with `mode`.
  ilStatus Lock(ilImage* img, const PageGrid& grid, int bpp, int x, int y, int mode) {
    Unlock();
    request_.init(PageOrigin(x, grid.x), PageOrigin(y, grid.y));
    const ilStatus st = img->lockPageSet(&request_, mode, 1);
    if (st != ilOkay || request_.page == nullptr) {
      if (request_.page != nullptr) img->unlockPageSet(&request_, 1);
      return st != ilOkay ? st : ilFailed;
    }
    img_ = img;
    bpp_ = bpp;
    stride_ = static_cast<std::ptrdiff_t>(grid.x) * bpp;
    base_ = static_cast<std::uint8_t*>(request_.page->getData());
    pageX_ = request_.page->x;
    pageY_ = request_.page->y;
    return ilOkay;
  }

  void Unlock() {
    if (img_ == nullptr) return;
    img_->unlockPageSet(&request_, 1);
    img_ = nullptr;
  }

  bool locked() const { return img_ != nullptr; }
  bool holds(int originX, int originY) const {
    return request_.x == originX && request_.y == originY;
  }
  std::uint8_t* At(int x, int y) const {
    return base_ + static_cast<std::ptrdiff_t>(y - pageY_) * stride_ +
           static_cast<std::ptrdiff_t>(x - pageX_) * bpp_;
  }
  std::ptrdiff_t stride() const { return stride_; }

 private:
  ilImage* img_ = nullptr;
  ilLockRequest request_;
  std::uint8_t* base_ = nullptr;
  std::ptrdiff_t stride_ = 0;
  int bpp_ = 4;
  int pageX_ = 0;
  int pageY_ = 0;
};

// Everything one blend call needs, fixed before the walk starts.
struct Walk {
  BlendSetup setup;
  ilImage* target = nullptr;
  PageGrid targetGrid;
  int targetBpp = 4;

  ilImage* src = nullptr;
  ilSmartImage* srcSmart = nullptr;  // the source when it is paged
  PageGrid srcGrid;
  int srcBpp = 4;
  bool constant = false;    // the source is one value everywhere
  ilTile srcRect;           // where the source has pixels (source coordinates)
  std::uint32_t fill4 = 0;  // the source's fill, packed
  std::uint8_t fill1 = 0;

  int x = 0, y = 0;        // destination origin of the call
  int srcX = 0, srcY = 0;  // source origin of the call

  ilImage* alpha = nullptr;  // coverage: pixel (u, v) covers source (u + srcX, v + srcY)
  PageGrid alphaGrid;
  bool alphaLockable = false;
  ilTile alphaBox;

  ilImage* low = nullptr;
  PageGrid lowGrid;
  ilImage* copy = nullptr;
  PageGrid copyGrid;

  // With the whole call's coverage on one page (a plain memory coverage
  // image, a dab image) that page is locked once and read in place.
  PageLock covPage;

  std::vector<std::uint8_t> covBuf;
  // Source pages held: the first kInlineSources in place (a dab or an
  // update region seldom reads more), the rest on the heap.
  static constexpr int kInlineSources = 8;
  std::array<PageLock, kInlineSources> inlineSources;
  int inlineUsed = 0;
  std::vector<std::unique_ptr<PageLock>> moreSources;
  std::vector<int> colMap, rowMap, relCols, relRows;
  bool usedDither = false;

  const void* ConstPixel() const {
    return setup.src_channels == 4 ? static_cast<const void*>(&fill4) : &fill1;
  }
};

// The next page edge after v on the destination-side grids.
int NextEdgeX(const Walk& w, int v) {
  int edge = PageOrigin(v, w.targetGrid.x) + w.targetGrid.x;
  if (w.low != nullptr) edge = std::min(edge, PageOrigin(v, w.lowGrid.x) + w.lowGrid.x);
  if (w.copy != nullptr) edge = std::min(edge, PageOrigin(v, w.copyGrid.x) + w.copyGrid.x);
  return edge;
}

int NextEdgeY(const Walk& w, int v) {
  int edge = PageOrigin(v, w.targetGrid.y) + w.targetGrid.y;
  if (w.low != nullptr) edge = std::min(edge, PageOrigin(v, w.lowGrid.y) + w.lowGrid.y);
  if (w.copy != nullptr) edge = std::min(edge, PageOrigin(v, w.copyGrid.y) + w.copyGrid.y);
  return edge;
}

// The source page at origin (ox, oy) if this call holds it, latest first.
PageLock* HeldSource(Walk& w, int ox, int oy) {
  for (auto it = w.moreSources.rbegin(); it != w.moreSources.rend(); ++it) {
    if ((*it)->holds(ox, oy)) return it->get();
  }
  for (int i = w.inlineUsed - 1; i >= 0; --i) {
    PageLock& held = w.inlineSources[static_cast<std::size_t>(i)];
    if (held.holds(ox, oy)) return &held;
  }
  return nullptr;
}

// A source page, from the ones this call already holds or newly locked.
PageLock* SourcePage(Walk& w, int sx, int sy, ilStatus& status) {
  const int ox = PageOrigin(sx, w.srcGrid.x);
  const int oy = PageOrigin(sy, w.srcGrid.y);
  if (PageLock* held = HeldSource(w, ox, oy)) return held;
  PageLock* page = nullptr;
  if (w.inlineUsed < Walk::kInlineSources) {
    page = &w.inlineSources[static_cast<std::size_t>(w.inlineUsed)];
  } else {
    w.moreSources.push_back(std::make_unique<PageLock>());
    page = w.moreSources.back().get();
  }
  status = page->Lock(w.src, w.srcGrid, w.srcBpp, sx, sy, ilLockRead);
  if (status != ilOkay) {
    if (w.inlineUsed >= Walk::kInlineSources) w.moreSources.pop_back();
    return nullptr;
  }
  if (w.inlineUsed < Walk::kInlineSources) ++w.inlineUsed;
  return page;
}

// A solid page of a paged source reads as its fill: such a block is blended
// from a constant instead of a locked page. A read lock would give the page
// 64 KB of memory filled with that value, which the store later scans back
// to solid: for the composites' and layers' solid pages that every display
// update reads, most of the cost of the update. The image sees what a read
// lock does to it (bounds grown to the page, the page's slot made, forced
// bounds applied as at the unlock); the page keeps no memory. A page this
// call already holds in memory is read from there.
bool SolidSourcePage(Walk& w, int sx, int sy, std::uint32_t& value) {
  if (w.srcSmart == nullptr || w.srcGrid.x != kStandardPage || w.srcGrid.y != kStandardPage)
    return false;
  const int ox = PageOrigin(sx, kStandardPage);
  const int oy = PageOrigin(sy, kStandardPage);
  if (HeldSource(w, ox, oy) != nullptr) return false;
  if (!w.srcSmart->IsValid()) return false;
  const ilTile pageTile(ox, oy, 0, kStandardPage, kStandardPage, 1);
  w.srcSmart->AddToBounds_(pageTile);
  SmartImgPage* page = w.srcSmart->FindPageFromOrigin(ox, oy, 1);
  if (page == nullptr || page == w.srcSmart->GetSmartImage()->GetOutOfRangePage() ||
      page->IsNull() || page->Body()->state != kPageSolid) {
    return false;
  }
  value = page->GetFillValue();
  w.srcSmart->ApplyForcedBounds(pageTile);
  return true;
}

// Coverage rows for coverage pixels (u, v) .. (u + nu - 1, v + nv - 1)
// (get_src_alpha_): in place on the page the whole call's coverage lies
// on, or on the block's own page when one page holds its rows, else read
// into the call's buffer. Rows a wide page holds far apart are fetched ahead
// by BlendBlock.
ilStatus Coverage(Walk& w, int u, int v, int nu, int nv, PageLock& lock, const std::uint8_t*& rows,
                  std::ptrdiff_t& stride) {
  if (w.covPage.locked()) {
    rows = w.covPage.At(u, v);
    stride = w.covPage.stride();
    return ilOkay;
  }
  const ilTile want(u, v, 0, nu, nv, 1);
  if (w.alphaLockable && w.alphaBox.contains(want) &&
      PageOrigin(u, w.alphaGrid.x) == PageOrigin(u + nu - 1, w.alphaGrid.x) &&
      PageOrigin(v, w.alphaGrid.y) == PageOrigin(v + nv - 1, w.alphaGrid.y) &&
      lock.Lock(w.alpha, w.alphaGrid, 1, u, v, ilLockRead) == ilOkay) {
    rows = lock.At(u, v);
    stride = lock.stride();
    return ilOkay;
  }
  const std::size_t bytes = static_cast<std::size_t>(nu) * static_cast<std::size_t>(nv);
  if (w.covBuf.size() < bytes) w.covBuf.resize(bytes);
  const ilConfig channel0(ilUChar, ilInterleaved, 1);
  const ilStatus st = w.alpha->getTile(u, v, nu, nv, w.covBuf.data(), &channel0);
  if (st != ilOkay) return st;
  rows = w.covBuf.data();
  stride = nu;
  return ilOkay;
}

// The destination-side rows of a block at destination (bx, by).
void DestinationRows(BlendRows& r, int bx, int by, const PageLock& target, const PageLock& low,
                     const PageLock& copy) {
  r.dst = target.At(bx, by);
  r.dst_stride = target.stride();
  if (low.locked()) {
    r.low = low.At(bx, by);
    r.low_stride = low.stride();
  }
  if (copy.locked()) {
    r.dst_copy = copy.At(bx, by);
    r.dst_copy_stride = copy.stride();
  }
}

// One unzoomed block: destination rectangle b, source rows at `src` (or the
// constant pixel).
ilStatus Block(Walk& w, const ilTile& b, const PageLock& target, const PageLock& low,
               const PageLock& copy, const void* src, std::ptrdiff_t srcStride, bool constant) {
  BlendRows r;
  r.width = b.nx;
  r.height = b.ny;
  DestinationRows(r, b.x, b.y, target, low, copy);
  r.src = src;
  r.src_stride = srcStride;
  r.src_constant = constant;
  PageLock alphaLock;
  if (w.alpha != nullptr) {
    const ilStatus st =
        Coverage(w, b.x - w.x, b.y - w.y, b.nx, b.ny, alphaLock, r.cov, r.cov_stride);
    if (st != ilOkay) return st;
  }
  if (BlendBlock(w.setup, r).used_dither) w.usedDither = true;
  return ilOkay;
}

// One resampled block: destination rectangle b whose columns and rows read
// source columns cols[0..b.nx) and rows rows[0..b.ny) (monotonic), all on
// `page` (null for a constant source).
ilStatus SpanBlock(Walk& w, const ilTile& b, const int* cols, const int* rows, const PageLock* page,
                   const PageLock& target, const PageLock& low, const PageLock& copy) {
  const int c0 = std::min(cols[0], cols[b.nx - 1]);
  const int c1 = std::max(cols[0], cols[b.nx - 1]);
  const int r0 = std::min(rows[0], rows[b.ny - 1]);
  const int r1 = std::max(rows[0], rows[b.ny - 1]);
  for (int i = 0; i < b.nx; ++i) w.relCols[i] = cols[i] - c0;
  for (int j = 0; j < b.ny; ++j) w.relRows[j] = rows[j] - r0;
  BlendRows r;
  r.width = b.nx;
  r.height = b.ny;
  DestinationRows(r, b.x, b.y, target, low, copy);
  if (page != nullptr) {
    r.src = page->At(c0, r0);
    r.src_stride = page->stride();
  } else {
    r.src = w.ConstPixel();
    r.src_constant = true;
  }
  PageLock alphaLock;
  if (w.alpha != nullptr) {
    const ilStatus st = Coverage(w, c0 - w.srcX, r0 - w.srcY, c1 - c0 + 1, r1 - r0 + 1, alphaLock,
                                 r.cov, r.cov_stride);
    if (st != ilOkay) return st;
  }
  if (BlendSpanBlock(w.setup, r, w.relCols.data(), w.relRows.data()).used_dither)
    w.usedDither = true;
  return ilOkay;
}

// Locks the destination-side pages of a cell.
ilStatus LockCell(Walk& w, const ilTile& c, PageLock& target, PageLock& low, PageLock& copy) {
  ilStatus st = target.Lock(w.target, w.targetGrid, w.targetBpp, c.x, c.y, ilLockWrite);
  if (st == ilOkay && w.low != nullptr)
    st = low.Lock(w.low, w.lowGrid, w.targetBpp, c.x, c.y, ilLockWrite);
  if (st == ilOkay && w.copy != nullptr)
    st = copy.Lock(w.copy, w.copyGrid, w.targetBpp, c.x, c.y, ilLockRead);
  return st;
}

// Unzoomed cell: source pages where the source has pixels, its fill around
// them.
ilStatus BlendCell(Walk& w, const ilTile& c) {
  PageLock target, low, copy;
  ilStatus st = LockCell(w, c, target, low, copy);
  if (st != ilOkay) return st;
  const int ox = w.x - w.srcX;
  const int oy = w.y - w.srcY;
  const ilTile covered = w.constant ? ilTile(0, 0, 0, 0, 0, 1)
                                    : Intersect(c, ilTile(w.srcRect.x + ox, w.srcRect.y + oy, 0,
                                                          w.srcRect.nx, w.srcRect.ny, 1));
  if (!covered.empty()) {
    const int sx0 = covered.x - ox, sx1 = sx0 + covered.nx;
    const int sy0 = covered.y - oy, sy1 = sy0 + covered.ny;
    for (int sy = sy0; sy < sy1;) {
      const int syEnd = std::min(sy1, PageOrigin(sy, w.srcGrid.y) + w.srcGrid.y);
      for (int sx = sx0; sx < sx1;) {
        const int sxEnd = std::min(sx1, PageOrigin(sx, w.srcGrid.x) + w.srcGrid.x);
        const ilTile b(sx + ox, sy + oy, 0, sxEnd - sx, syEnd - sy, 1);
        std::uint32_t solid = 0;
        if (SolidSourcePage(w, sx, sy, solid)) {
          const std::uint8_t solid1 = static_cast<std::uint8_t>(solid);
          const void* pixel = w.srcBpp == 1 ? static_cast<const void*>(&solid1) : &solid;
          st = Block(w, b, target, low, copy, pixel, 0, true);
        } else {
          PageLock* page = SourcePage(w, sx, sy, st);
          if (page == nullptr) return st;
          st = Block(w, b, target, low, copy, page->At(sx, sy), page->stride(), false);
        }
        if (st != ilOkay) return st;
        sx = sxEnd;
      }
      sy = syEnd;
    }
  }
  // The rest of the cell reads the source's fill.
  ilTile bands[4];
  int n = 0;
  if (covered.empty()) {
    bands[n++] = c;
  } else {
    const int cr = c.x + c.nx, cb = c.y + c.ny;
    const int ir = covered.x + covered.nx, ib = covered.y + covered.ny;
    if (covered.y > c.y) bands[n++] = ilTile(c.x, c.y, 0, c.nx, covered.y - c.y, 1);
    if (ib < cb) bands[n++] = ilTile(c.x, ib, 0, c.nx, cb - ib, 1);
    if (covered.x > c.x) bands[n++] = ilTile(c.x, covered.y, 0, covered.x - c.x, covered.ny, 1);
    if (ir < cr) bands[n++] = ilTile(ir, covered.y, 0, cr - ir, covered.ny, 1);
  }
  for (int i = 0; i < n; ++i) {
    st = Block(w, bands[i], target, low, copy, w.ConstPixel(), 0, true);
    if (st != ilOkay) return st;
  }
  return ilOkay;
}

// Length of the run of map entries from `first` that stay on one source page
// (and within one standard page, which bounds the coverage read).
int GroupLength(const int* map, int first, int end, int pageSize) {
  const int page = PageOrigin(map[first], pageSize);
  const int standard = PageOrigin(map[first], kStandardPage);
  int i = first + 1;
  while (i < end && PageOrigin(map[i], pageSize) == page &&
         PageOrigin(map[i], kStandardPage) == standard)
    ++i;
  return i - first;
}

// Resampled cell (nearest neighbour): only destination pixels whose source
// column and row lie where the source has pixels are written.
ilStatus BlendZoomedCell(Walk& w, const ilTile& c, float zx, float zy) {
  // A constant source has pixels everywhere.
  constexpr int kHuge = INT_MAX / 4;
  const int loX = w.constant ? -kHuge : w.srcRect.x;
  const int hiX = w.constant ? kHuge : w.srcRect.x + w.srcRect.nx;
  const int loY = w.constant ? -kHuge : w.srcRect.y;
  const int hiY = w.constant ? kHuge : w.srcRect.y + w.srcRect.ny;
  const ZoomRun cr = MapZoomedSpan(w.x, c.x, c.nx, zx, w.srcX, loX, hiX, w.colMap.data());
  const ZoomRun rr = MapZoomedSpan(w.y, c.y, c.ny, zy, w.srcY, loY, hiY, w.rowMap.data());
  if (cr.count == 0 || rr.count == 0) return ilOkay;

  PageLock target, low, copy;
  ilStatus st = LockCell(w, c, target, low, copy);
  if (st != ilOkay) return st;
  const int* cols = w.colMap.data() + cr.offset;
  const int* rows = w.rowMap.data() + rr.offset;
  const ilTile mapped(c.x + cr.offset, c.y + rr.offset, 0, cr.count, rr.count, 1);
  if (w.constant && w.alpha == nullptr)
    return Block(w, mapped, target, low, copy, w.ConstPixel(), 0, true);

  const int pageX = w.constant ? kStandardPage : w.srcGrid.x;
  const int pageY = w.constant ? kStandardPage : w.srcGrid.y;
  for (int j = 0; j < rr.count;) {
    const int nj = GroupLength(rows, j, rr.count, pageY);
    for (int i = 0; i < cr.count;) {
      const int ni = GroupLength(cols, i, cr.count, pageX);
      const PageLock* page = nullptr;
      if (!w.constant) {
        page = SourcePage(w, cols[i], rows[j], st);
        if (page == nullptr) return st;
      }
      const ilTile b(mapped.x + i, mapped.y + j, 0, ni, nj, 1);
      st = SpanBlock(w, b, cols + i, rows + j, page, target, low, copy);
      if (st != ilOkay) return st;
      i += ni;
    }
    j += nj;
  }
  return ilOkay;
}

void ReadFill(ilImage* img, Walk& w) {
  const ilPixel& fill = img->getFill();
  if (fill.getDataType() != ilUChar) return;
  const auto* bytes = static_cast<const std::uint8_t*>(fill.elems());
  if (fill.nc() == 4) {
    w.fill4 = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
              static_cast<std::uint32_t>(bytes[2]) << 16 |
              static_cast<std::uint32_t>(bytes[3]) << 24;
  } else if (fill.nc() >= 1) {
    w.fill1 = bytes[0];
  }
}

// The destination rectangle a target can take: a smart target only within
// its forced bounds (when it has them), a fixed-size one within its size.
ilTile ClipToTarget(ilImage* target, const ilTile& rect) {
  if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(target)) {
    if (!smart->IsForcedBounds()) return rect;
    ilTile forced;
    smart->GetForcedBounds(forced);
    return Intersect(rect, ilTile(forced.x, forced.y, 0, forced.nx, forced.ny, 1));
  }
  return Intersect(rect, ilTile(0, 0, 0, target->getXsize(), target->getYsize(), 1));
}

// Target, source and origins of a walk.
void BindImages(Walk& w, ilImage* target, ilImage* src, int x, int y, int srcX, int srcY) {
  w.target = target;
  w.targetGrid = GridOf(target);
  w.targetBpp = PixelBytes(target);
  w.src = src;
  w.srcGrid = GridOf(src);
  w.srcBpp = PixelBytes(src);
  w.constant = src->derivesFrom(ilConstImgClassId);
  if (!w.constant) {
    if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(src)) {
      w.srcSmart = smart;
      const ilTile& b = smart->getBounds();
      w.srcRect = ilTile(b.x, b.y, 0, b.nx, b.ny, 1);
    } else {
      w.srcRect = ilTile(0, 0, 0, src->getXsize(), src->getYsize(), 1);
    }
  }
  ReadFill(src, w);
  w.x = x;
  w.y = y;
  w.srcX = srcX;
  w.srcY = srcY;
  w.setup.dst_channels = target->getCsize() == 1 ? 1 : 4;
  w.setup.src_channels = src->getCsize() == 1 ? 1 : 4;
}

// Visits the cells of `dst`, blending each; stops at the first failure.
ilStatus RunWalk(Walk& w, const ilTile& dst, float zoomX, float zoomY) {
  const bool unzoomed = zoomX == 1.0f && zoomY == 1.0f;
  if (!unzoomed) {
    const int width = std::min(dst.nx, w.targetGrid.x);
    const int height = std::min(dst.ny, w.targetGrid.y);
    w.colMap.resize(width);
    w.relCols.resize(width);
    w.rowMap.resize(height);
    w.relRows.resize(height);
  }
  ilStatus status = ilOkay;
  const int x1 = dst.x + dst.nx;
  const int y1 = dst.y + dst.ny;
  for (int cy = dst.y; cy < y1 && status == ilOkay;) {
    const int cyEnd = std::min(y1, NextEdgeY(w, cy));
    for (int cx = dst.x; cx < x1 && status == ilOkay;) {
      const int cxEnd = std::min(x1, NextEdgeX(w, cx));
      const ilTile cell(cx, cy, 0, cxEnd - cx, cyEnd - cy, 1);
      status = unzoomed ? BlendCell(w, cell) : BlendZoomedCell(w, cell, zoomX, zoomY);
      cx = cxEnd;
    }
    cy = cyEnd;
  }
  for (int i = 0; i < w.inlineUsed; ++i) w.inlineSources[static_cast<std::size_t>(i)].Unlock();
  w.inlineUsed = 0;
  w.moreSources.clear();
  return status;
}

}  // namespace
}  // namespace brenmark

int SoftPaintOps::blend_in_place_(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY,
                                  unsigned mask, float zoomX, float zoomY) {
  using namespace brenmark;
  BlendDither::BeginBlend();
  const ilTile dst = ClipToTarget(target_, ilTile(x, y, 0, nx, ny, 1));
  if (dst.empty()) return 0;

  Walk w;
  BindImages(w, target_, src, x, y, srcX, srcY);
  const int channels = target_->getCsize();
  w.alpha = srcAlpha_;
  if (w.alpha != nullptr) {
    w.alphaGrid = GridOf(w.alpha);
    w.alphaLockable =
        w.alpha->hasPages() && w.alpha->getCsize() == 1 && w.alpha->getDataType() == ilUChar;
    w.alphaBox = w.alpha->getDataBox();
  }
  if (lowBits_ != nullptr && lowBits_->getCsize() == channels) {
    w.low = lowBits_;
    w.lowGrid = GridOf(lowBits_);
  }
  // The saved destination is read pixel for pixel with the target.
  if (maskBlend_ && dstCopy_ != nullptr && dstCopy_->getCsize() == channels) {
    w.copy = dstCopy_;
    w.copyGrid = GridOf(dstCopy_);
  }

  BlendSetup& s = w.setup;
  s.src_factor = srcFactor_;
  s.dst_factor = dstFactor_;
  s.write_mask = mask;
  s.dither = BlendDither::Value();
  s.single_color = SingleColorStamp_ != 0;
  if (StampServices* services = GetStampServices(); services != nullptr && stamp_ != nullptr) {
    s.stamp16 = services->Is16Bit(stamp_);
    s.opacity16 = Opacity16(services->Opacity16(stamp_));
  }
  s.marker = markerBlend_;
  s.marker_k = MarkerStrength(markerWetness_);
  s.mask_blend = maskBlend_;
  s.packed_scale = packedScale_;
  s.packed_offset = packedOffset_;

  // The coverage of the whole call on one page (a memory image, a dab
  // image): locked once, every block reads its rows in place.
  if (w.alpha != nullptr && w.alphaLockable && zoomX == 1.0f && zoomY == 1.0f) {
    const ilTile want(dst.x - x, dst.y - y, 0, dst.nx, dst.ny, 1);
    if (w.alphaBox.contains(want) &&
        PageOrigin(want.x, w.alphaGrid.x) == PageOrigin(want.x + want.nx - 1, w.alphaGrid.x) &&
        PageOrigin(want.y, w.alphaGrid.y) == PageOrigin(want.y + want.ny - 1, w.alphaGrid.y)) {
      // Should the lock fail, each block asks again and reports it.
      w.covPage.Lock(w.alpha, w.alphaGrid, 1, want.x, want.y, ilLockRead);
    }
  }
  const ilStatus status = RunWalk(w, dst, zoomX, zoomY);
  if (w.usedDither) BlendDither::MarkUsed();
  return status == ilOkay ? 0 : static_cast<int>(status);
}
