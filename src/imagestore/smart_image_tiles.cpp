// ilSmartImage tile operations (read, write, fill, copy) and page locks.
//
// Every operation walks the page list of its rectangle and moves pixels
// with the library's transfer engine between the caller's buffer and one
// page at a time. The fast paths that make paging cheap live here: a write
// covering a whole page does not read the old content back (Realize 2), a
// fill covering a whole page makes it solid without memory, and a copy
// between smart images whose offset is a multiple of 128 shares page
// bodies instead of copying pixels.
#include <brenmark/smart_image.h>

#include <brenmark/il_memory_img.h>

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "il/il_tile_ops.h"
#include "imagestore/page.h"
#include "imagestore/page_cache.h"
#include "imagestore/page_table.h"
#include "imagestore/row_copy.h"
#include "imagestore/smart_image_p.h"
#include "imagestore/store_hooks.h"

using brenmark::il::Block;
using brenmark::il::CallerLayout;
using brenmark::il::Frame;
using brenmark::il::ImageInfo;
using brenmark::imagestore::AsSmart;
using brenmark::imagestore::ContainsXY;
using brenmark::imagestore::IntersectXY;
using brenmark::imagestore::Normalized;

namespace {

namespace il = brenmark::il;

ilTile PageTile(int ox, int oy) {
  return ilTile(ox, oy, 0, kPageSize, kPageSize, 1);
}

bool IsWholePage(const ilTile& c, int ox, int oy) {
  return c.x == ox && c.y == oy && c.nx == kPageSize && c.ny == kPageSize;
}

// The page's pixels as a transfer block, positioned at image point (x, y).
bool PageBlock(SmartImgPage* page, int channels, int ox, int oy, int x, int y, Block* out) {
  Block b;
  if (!il::makeDense(&b, page->GetDataPtr(), ilUChar, ilInterleaved, channels, kPageSize, kPageSize,
                     1)) {
    return false;
  }
  *out = b.at(x - ox, y - oy, 0);
  return true;
}

// Holds a page at priority 255 while something else may allocate page
// memory (reading a source image), so the page cannot be chosen as victim.
class PinForTransfer {
 public:
  explicit PinForTransfer(SmartImgPage* page) : body_(page->Body()) {
    if (body_ != nullptr) {
      priority_ = body_->priority;
      body_->priority = 255;
    }
  }
  ~PinForTransfer() {
    if (body_ != nullptr) body_->priority = priority_;
  }
  PinForTransfer(const PinForTransfer&) = delete;
  PinForTransfer& operator=(const PinForTransfer&) = delete;

 private:
  PageData* body_;
  std::uint8_t priority_ = 0;
};

bool AllWritten(const int* map, int channels) {
  for (int k = 0; k < channels; ++k) {
    if (map[k] == il::kSkip) return false;
  }
  return true;
}

// Neighbouring pages of one page row, moved together row by row: the
// caller's buffer is then walked in long runs instead of one 128-pixel run
// per 4 KB memory page, which keeps the copy near memcpy speed. A group is
// at most 16 pages (1 MB), far below the smallest budget (8 MB), and its
// pages are pinned while it is moved.
constexpr int kGroupPages = 16;

struct GroupItem {
  SmartImgPage* page;
  int ox;
  int oy;
  ilTile c;               // the part of the request on this page
  bool usable;            // realized: in memory or solid
  std::uint8_t priority;  // saved while pinned
};

template <class Fn>
void ForEachGroup(PageIterator& pages, const ilTile& r, Fn&& fn) {
  GroupItem group[kGroupPages];
  int n = 0;
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    const ilTile c(r, PageTile(ox, oy));
    if (c.empty()) continue;
    if (n > 0 && (n == kGroupPages || oy != group[n - 1].oy || ox != group[n - 1].ox + kPageSize)) {
      fn(group, n);
      n = 0;
    }
    group[n++] = GroupItem{page, ox, oy, c, false, 0};
  }
  if (n > 0) fn(group, n);
}

void Pin(GroupItem& item) {
  PageData* body = item.page->Body();
  item.priority = body->priority;
  body->priority = 255;
}

void UnpinAll(GroupItem* group, int n) {
  for (int i = n - 1; i >= 0; --i) {
    if (group[i].usable) group[i].page->Body()->priority = group[i].priority;
  }
}

// Stores `count` copies of a packed pixel of `size` bytes.
void FillRun(std::uint8_t* dst, unsigned value, int count, int size) {
  if (size == 1) {
    std::memset(dst, static_cast<int>(value & 0xFF), static_cast<std::size_t>(count));
    return;
  }
  for (int i = 0; i < count; ++i) std::memcpy(dst + 4 * i, &value, 4);
}

}  // namespace

// ---------------------------------------------------------------------------
// Reads

ilStatus ilSmartImage::getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                                    int by, int bz, int bnx, int bny, int bnz,
                                    const ilConfig* cfg) {
  const brenmark::imagestore::MessageBatch batch;
  if (!CheckValid() || buf == nullptr) return setStatus(ilInvalid);
  ImageInfo info;
  il::Request q;
  ilStatus st = il::infoOf(this, &info);
  if (st == ilOkay) {
    st = il::resolveRequest(info, ilTile(x, y, z, nx, ny, nz), buf,
                            ilTile(bx, by, bz, bnx, bny, bnz), cfg, &q);
  }
  if (st != ilOkay || q.tile.empty()) return setStatus(st);
  const CallerLayout& layout = q.layout;
  const Frame& frame = q.frame;
  ilTile r = q.tile;
  if (r.z > 0 || r.z + r.nz <= 0) return setStatus(ilOkay);  // only slice 0 exists
  if (!ClipToRange(r.x, r.y, r.nx, r.ny)) return setStatus(ilOkay);
  int map[kIlMaxChannels];
  il::readMap(info, cfg, layout.nc, map);
  ApplyForcedBounds(r);

  if (isNativeConfig(cfg)) {
    // Same layout and space: rows move with plain copies.
    return getNativeRows(
        r.x, r.y, r.nx, r.ny,
        frame.block.at(r.x - frame.tile.x, r.y - frame.tile.y, -frame.tile.z).origin,
        frame.block.rowStride);
  }
  st = ilOkay;
  PageIterator pages(table_, r.x, r.y, r.nx, r.ny, 0, 1);
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    const ilTile c(r, PageTile(ox, oy));
    if (c.empty()) continue;
    const Block dst = frame.block.at(c.x - frame.tile.x, c.y - frame.tile.y, -frame.tile.z);
    if (!page->IsInMemory() && !page->IsSolidFilled() && !page->Realize(0)) st = ilFailed;
    Block src;
    unsigned fill = fillValue_;
    if (page->IsInMemory()) {
      if (!PageBlock(page, channels_, ox, oy, c.x, c.y, &src)) return setStatus(ilFailed);
    } else {
      if (page->IsSolidFilled()) fill = page->GetFillValue();
      il::makeConstant(&src, &fill, ilUChar, channels_);
    }
    const ilStatus t = il::transfer(dst, src, c.nx, c.ny, 1, map);
    if (t != ilOkay) return setStatus(t);
  }
  return setStatus(st);
}

ilStatus ilSmartImage::getNativeRows(int x, int y, int nx, int ny, std::uint8_t* buf,
                                     std::ptrdiff_t stride) {
  const brenmark::imagestore::MessageBatch batch;
  if (!CheckValid() || buf == nullptr) return setStatus(ilInvalid);
  upToDate();
  ilTile r(x, y, 0, nx, ny, 1);
  if (r.empty() || !ClipToRange(r.x, r.y, r.nx, r.ny)) return setStatus(ilOkay);
  ApplyForcedBounds(r);
  const int ps = channels_;
  const bool stream = std::size_t(r.nx) * std::size_t(r.ny) * std::size_t(ps) >=
                      brenmark::imagestore::kStreamingBytes;
  ilStatus st = ilOkay;
  PageIterator pages(table_, r.x, r.y, r.nx, r.ny, 0, 1);
  ForEachGroup(pages, r, [&](GroupItem* group, int n) {
    for (int i = 0; i < n; ++i) {
      SmartImgPage* page = group[i].page;
      group[i].usable = page->IsInMemory() || page->IsSolidFilled() || page->Realize(0);
      if (!group[i].usable) st = ilFailed;
      if (group[i].usable) Pin(group[i]);
    }
    auto copyRow = [&](const GroupItem& g, int row, std::uint8_t* out) {
      if (g.page->IsInMemory()) {
        brenmark::imagestore::CopyRow(
            out, g.page->GetDataPtr() + (((row - g.oy) * kPageSize + (g.c.x - g.ox)) * ps),
            static_cast<std::size_t>(g.c.nx * ps), stream);
      } else {
        FillRun(out, g.page->IsSolidFilled() ? g.page->GetFillValue() : fillValue_, g.c.nx, ps);
      }
    };
    // A large read takes each page in turn (its block is read front to
    // back) and streams into the caller's buffer; a small one goes row by
    // row across the group.
    const ilTile& c0 = group[0].c;
    std::uint8_t* first = buf + (c0.y - y) * stride + std::ptrdiff_t{c0.x - x} * ps;
    if (stream) {
      for (int i = 0; i < n; ++i) {
        std::uint8_t* out = first + std::ptrdiff_t{group[i].c.x - c0.x} * ps;
        for (int row = c0.y; row < c0.y + c0.ny; ++row, out += stride) copyRow(group[i], row, out);
      }
    } else {
      for (int row = c0.y; row < c0.y + c0.ny; ++row, first += stride) {
        std::uint8_t* out = first;
        for (int i = 0; i < n; ++i) {
          copyRow(group[i], row, out);
          out += group[i].c.nx * ps;
        }
      }
    }
    UnpinAll(group, n);
  });
  brenmark::imagestore::FinishStreaming(stream);
  return setStatus(st);
}

ilStatus ilSmartImage::seekTile3D(int x, int y, int z, int nx, int ny, int nz) {
  upToDate();
  return ilSIDImage::seekTile3D(x, y, z, nx, ny, nz);
}

bool ilSmartImage::hasPages() const {
  return true;
}

// ---------------------------------------------------------------------------
// Writes

ilStatus ilSmartImage::setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf,
                                    int bx, int by, int bz, int bnx, int bny, int bnz,
                                    const ilConfig* cfg) {
  const brenmark::imagestore::MessageBatch batch;
  if (!CheckValid() || buf == nullptr) return setStatus(ilInvalid);
  ImageInfo info;
  il::Request q;
  ilStatus st = il::infoOf(this, &info);
  if (st == ilOkay) {
    st = il::resolveRequest(info, ilTile(x, y, z, nx, ny, nz), buf,
                            ilTile(bx, by, bz, bnx, bny, bnz), cfg, &q);
  }
  if (st != ilOkay || q.tile.empty()) return setStatus(st);
  const CallerLayout& layout = q.layout;
  const Frame& frame = q.frame;
  ilTile r = q.tile;
  if (r.z > 0 || r.z + r.nz <= 0) return setStatus(ilOkay);
  if (!ClipToRange(r.x, r.y, r.nx, r.ny)) return setStatus(ilOkay);
  int map[kIlMaxChannels];
  il::writeMap(info, cfg, layout.nc, map);
  const bool allWritten = AllWritten(map, channels_);

  st = ilOkay;
  {
    PageIterator pages(table_, r.x, r.y, r.nx, r.ny, 1, 1);
    if (isNativeConfig(cfg)) {
      // Rows move across the group; a large write streams into the pages.
      const int ps = channels_;
      const std::ptrdiff_t stride = frame.block.rowStride;
      const bool stream = std::size_t(r.nx) * std::size_t(r.ny) * std::size_t(ps) >=
                          brenmark::imagestore::kStreamingBytes;
      ForEachGroup(pages, r, [&](GroupItem* group, int n) {
        for (int i = 0; i < n; ++i) {
          GroupItem& g = group[i];
          // A write over the whole page needs memory but not the old pixels.
          const int mode = IsWholePage(g.c, g.ox, g.oy) ? 2 : 1;
          g.usable = g.page->Realize(mode) && g.page->IsInMemory();
          if (g.usable)
            Pin(g);
          else
            st = ilFailed;
        }
        const ilTile& c0 = group[0].c;
        const std::uint8_t* row =
            frame.block.at(c0.x - frame.tile.x, c0.y - frame.tile.y, -frame.tile.z).origin;
        for (int y = c0.y; y < c0.y + c0.ny; ++y, row += stride) {
          const std::uint8_t* in = row;
          for (int i = 0; i < n; ++i) {
            const GroupItem& g = group[i];
            if (g.usable) {
              brenmark::imagestore::CopyRow(
                  g.page->GetDataPtr() + (((y - g.oy) * kPageSize + (g.c.x - g.ox)) * ps), in,
                  static_cast<std::size_t>(g.c.nx * ps), stream);
            }
            in += g.c.nx * ps;
          }
        }
        UnpinAll(group, n);
        for (int i = 0; i < n; ++i) {
          if (!group[i].usable) continue;
          group[i].page->MergeWithPotentialDuplicate();
          if (checkAlphaOnCopy_) NoteAlpha(group[i].page->CheckAlpha());
        }
      });
      brenmark::imagestore::FinishStreaming(stream);
    } else {
      int ox, oy;
      while (SmartImgPage* page = pages.GetNext(ox, oy)) {
        const ilTile c(r, PageTile(ox, oy));
        if (c.empty()) continue;
        // A write over the whole page needs memory but not the old pixels.
        const int mode = IsWholePage(c, ox, oy) && allWritten ? 2 : 1;
        Block dst;
        if (!page->Realize(mode) || !page->IsInMemory() ||
            !PageBlock(page, channels_, ox, oy, c.x, c.y, &dst)) {
          st = ilFailed;
          continue;
        }
        const Block src = frame.block.at(c.x - frame.tile.x, c.y - frame.tile.y, -frame.tile.z);
        const ilStatus t = il::transfer(dst, src, c.nx, c.ny, 1, map);
        if (t != ilOkay) st = t;
        page->MergeWithPotentialDuplicate();
        if (checkAlphaOnCopy_) NoteAlpha(page->CheckAlpha());
      }
    }
  }
  AddToBounds_(r);
  ApplyForcedBounds(r);
  return setStatus(st);
}

// ---------------------------------------------------------------------------
// Fills

int ilSmartImage::FillRegion_(const ilTile& region, unsigned value, const ilTile* exclude) {
  const ilTile r = Normalized(region);
  if (r.empty() || (exclude != nullptr && ContainsXY(*exclude, r))) return 0;
  int map[kIlMaxChannels];
  for (int k = 0; k < channels_; ++k) map[k] = k;
  Block constant;
  il::makeConstant(&constant, &value, ilUChar, channels_);
  int visited = 0;
  bool failed = false;
  PageIterator pages(table_, r.x, r.y, r.nx, r.ny, 1, 0);
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    const ilTile c(r, PageTile(ox, oy));
    if (c.empty()) continue;
    ++visited;
    if (page->IsSolidFilled(value)) continue;  // already that value everywhere
    const bool touchesExclude = exclude != nullptr && !IntersectXY(*exclude, c).empty();
    if (IsWholePage(c, ox, oy) && !touchesExclude) {
      page->Realize(3);
      page->FillPage(value);
      continue;
    }
    // A page whose old pixels cannot be read back keeps them all.
    if (!page->Realize(1) || !page->IsInMemory()) {
      failed = true;
      continue;
    }
    ilTile pieces[6];
    int n = 0;
    if (exclude != nullptr) {
      n = il::subtractTile(c, ilTile(exclude->x, exclude->y, 0, exclude->nx, exclude->ny, 1),
                           pieces);
    } else {
      pieces[n++] = c;
    }
    for (int i = 0; i < n; ++i) {
      Block dst;
      if (PageBlock(page, channels_, ox, oy, pieces[i].x, pieces[i].y, &dst)) {
        il::transfer(dst, constant, pieces[i].nx, pieces[i].ny, 1, map);
      }
    }
  }
  return failed ? -1 : visited;
}

ilStatus ilSmartImage::fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                                  const ilConfig* cfg, const ilTile* exclude) {
  const brenmark::imagestore::MessageBatch batch;
  if (!CheckValid() || pixel == nullptr) return setStatus(ilInvalid);
  const ilTile req(x, y, z, nx, ny, nz);
  if (req.empty()) return setStatus(ilOkay);
  ImageInfo info;
  ilStatus st = il::infoOf(this, &info);
  CallerLayout layout;
  if (st == ilOkay) st = il::callerLayout(info, cfg, &layout);
  Block value;
  if (st == ilOkay && !il::makeConstant(&value, pixel, layout.type, layout.nc)) {
    st = ilUnsupportedType;
  }
  ilTile r = req;
  if (st == ilOkay) st = il::mapToImage(info, layout.space, &r);
  ilTile ex;
  if (st == ilOkay && exclude != nullptr) {
    ex = *exclude;
    st = il::mapToImage(info, layout.space, &ex);
  }
  if (st != ilOkay) return setStatus(st);
  if (exclude != nullptr && ContainsXY(ex, r)) return setStatus(ilOkay);
  if (r.z > 0 || r.z + r.nz <= 0) return setStatus(ilOkay);
  if (!ClipToRange(r.x, r.y, r.nx, r.ny)) return setStatus(ilOkay);
  r = Normalized(r);
  int map[kIlMaxChannels];
  il::writeMap(info, cfg, layout.nc, map);
  const bool allMapped = AllWritten(map, channels_);

  int visited = 0;
  if (allMapped) {
    ilPixel converted;
    st = toImagePixel(pixel, cfg, converted);
    if (st != ilOkay) return setStatus(st);
    visited = FillRegion_(r, brenmark::imagestore::PackPixel(converted, channels_),
                          exclude != nullptr ? &ex : nullptr);
    if (visited < 0) {
      st = ilFailed;
      visited = 1;  // other pages may have changed all the same
    }
  } else {
    // Some channels keep their values: every page needs its pixels.
    PageIterator pages(table_, r.x, r.y, r.nx, r.ny, 1, 0);
    int ox, oy;
    while (SmartImgPage* page = pages.GetNext(ox, oy)) {
      const ilTile c(r, PageTile(ox, oy));
      if (c.empty()) continue;
      ++visited;
      if (!page->Realize(1) || !page->IsInMemory()) {
        st = ilFailed;
        continue;
      }
      ilTile pieces[6];
      const int n = exclude != nullptr ? il::subtractTile(c, Normalized(ex), pieces) : 1;
      if (exclude == nullptr) pieces[0] = c;
      for (int i = 0; i < n; ++i) {
        Block dst;
        if (PageBlock(page, channels_, ox, oy, pieces[i].x, pieces[i].y, &dst)) {
          il::transfer(dst, value, pieces[i].nx, pieces[i].ny, 1, map);
        }
      }
    }
  }
  if (checkAlphaOnCopy_ && visited > 0) {
    PageIterator pages(table_, r.x, r.y, r.nx, r.ny, 0, 0);
    while (SmartImgPage* page = pages.GetNext()) NoteAlpha(page->CheckAlpha());
  }
  if (st == ilOkay && visited > 0) {
    UpdateBounds();
    if (exclude != nullptr && ContainsXY(r, realBounds_)) {
      SetBounds_(IntersectXY(ex, realBounds_), 1);
    } else {
      TryToShrinkBounds_();
    }
  }
  AddToBounds_(r);
  ApplyForcedBounds(r);
  return setStatus(st);
}

// ---------------------------------------------------------------------------
// Copies

ilStatus ilSmartImage::copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src,
                                   int sx, int sy, int sz, const ilConfig* cfg, int /*flags*/) {
  const brenmark::imagestore::MessageBatch batch;
  if (!CheckValid() || src == nullptr) return setStatus(ilInvalid);
  const ilTile req(x, y, z, nx, ny, nz);
  if (req.empty()) return setStatus(ilOkay);
  ImageInfo info;
  ilStatus st = il::infoOf(this, &info);
  const ilCoordSpace named = cfg != nullptr ? cfg->coordSpace : ilSpaceDefault;
  ilTile d = req;
  if (st == ilOkay) st = il::mapToImage(info, named, &d);
  // The source rectangle, in this image's orientation.
  ilTile s(sx, sy, sz, nx, ny, nz);
  if (st == ilOkay) st = src->mapTile(s, named, info.space);
  if (st != ilOkay) return setStatus(st);
  if (d.z > 0 || d.z + d.nz <= 0) return setStatus(ilOkay);
  int ox = s.x - d.x, oy = s.y - d.y;
  const int oz = s.z - d.z;
  if (!ClipToRange(d.x, d.y, d.nx, d.ny)) return setStatus(ilOkay);
  d = Normalized(d);
  const ilConfig rcfg = il::copyReadConfig(info, cfg);
  bool allWritten = true;
  for (int k = 0; k < channels_; ++k) allWritten = allWritten && rcfg.imageChannel(k) >= 0;

  if (src == this) {
    st = il::copySelf(this, info, d, ox, oy, oz, rcfg);
    return setStatus(st);
  }

  ilSmartImage* smart = AsSmart(src);
  // A plain memory image holding the whole source rectangle in this image's
  // own layout is one dense buffer: write it as setTile does (rows across
  // neighbouring pages, streaming stores) instead of reading page by page.
  if (smart == nullptr && cfg == nullptr && oz == 0 && typeid(*src) == typeid(ilMemoryImg)) {
    auto* mem = static_cast<ilMemoryImg*>(src);
    ImageInfo sinfo;
    const ilTile want(d.x + ox, d.y + oy, 0, d.nx, d.ny, 1);
    if (il::infoOf(mem, &sinfo) == ilOkay && sinfo.type == info.type && sinfo.nc == info.nc &&
        sinfo.order == ilInterleaved && sinfo.space == info.space && mem->getDataPtr() != nullptr &&
        mem->getRowBytes() ==
            static_cast<std::ptrdiff_t>(sinfo.size.x) * ilDataSize(sinfo.type, sinfo.nc) &&
        ilTile(0, 0, 0, sinfo.size.x, sinfo.size.y, 1).contains(want)) {
      return setSubTile3D(d.x, d.y, 0, d.nx, d.ny, 1, mem->getDataPtr(), -ox, -oy, 0, sinfo.size.x,
                          sinfo.size.y, 1, nullptr);
    }
  }
  const bool aligned = smart != nullptr && ((ox | oy) & (kPageSize - 1)) == 0 && oz == 0;
  const bool share = aligned && cfg == nullptr && smart->channels_ == channels_;
  st = ilOkay;
  {
    PageIterator pages(table_, d.x, d.y, d.nx, d.ny, 1, 1);
    int px, py;
    while (SmartImgPage* page = pages.GetNext(px, py)) {
      const ilTile c(d, PageTile(px, py));
      if (c.empty()) continue;
      const bool whole = IsWholePage(c, px, py);
      SmartImgPage* source = aligned ? smart->FindPageFromOrigin(px + ox, py + oy, 0) : nullptr;
      // Share the body, unless a page lock is writing into it right now.
      if (share && whole && source != nullptr && source->IsValid() &&
          source->GetRetainCount() == 0 && source->GetPixelSize() == page->GetPixelSize()) {
        if (source->Body() != page->Body()) page->Reference(source);
        if (checkAlphaOnCopy_) NoteAlpha(page->CheckAlpha());
        continue;
      }
      const SmartImgTrans before = page->GetTransparency();
      if (!page->Realize(whole && allWritten ? 2 : 1) || !page->IsInMemory()) {
        st = ilFailed;
        continue;
      }
      ilStatus t;
      {
        PinForTransfer pin(page);
        t = src->getSubTile3D(c.x + ox, c.y + oy, c.z + oz, c.nx, c.ny, 1, page->GetDataPtr(),
                              px + ox, py + oy, oz, kPageSize, kPageSize, 1, &rcfg);
      }
      if (t != ilOkay) st = t;
      // A copy between pages of one class keeps that class.
      if (source != nullptr && before != kTransMixed && source->GetTransparency() == before) {
        page->SetTransparency(before);
      }
      page->MergeWithPotentialDuplicate();
      if (checkAlphaOnCopy_) NoteAlpha(page->CheckAlpha());
    }
  }
  AddToBounds_(d);
  ApplyForcedBounds(d);
  return setStatus(st);
}

// ---------------------------------------------------------------------------
// Page locks

ilStatus ilSmartImage::lockPageSet(ilLockRequest* requests, int mode, int count) {
  const brenmark::imagestore::MessageBatch batch;
  if (!CheckValid() || requests == nullptr || count < 0) return setStatus(ilInvalid);
  const bool write = (mode & ilLockWrite) != 0;
  ilStatus result = ilOkay;
  for (int i = 0; i < count; ++i) {
    ilLockRequest& r = requests[i];
    r.page = nullptr;
    int ox, oy;
    SmartImgPage::FindOrigin(r.x, r.y, ox, oy);
    AddToBounds_(PageTile(ox, oy));
    SmartImgPage* page = table_->FindPageFromOrigin(ox, oy, 1);
    if (page == table_->GetOutOfRangePage() || !page->Realize(write ? 1 : 0)) {
      r.status = ilFailed;
      if (result == ilOkay) result = ilFailed;
      continue;
    }
    page->IncrementLockCount();
    if (!write && page->IsSolidFilled()) {
      // Readers get memory; the page returns to solid when the last lock goes.
      const SmartImgTrans trans = page->GetTransparency();
      if (!page->IsTempSolid()) {
        page->MakeInMemFromSolid();
        page->SetTransparency(trans);
        page->MarkTempSolid();
      }
    }
    page->ForceRetain();
    if (sparePage_) {
      r.page = sparePage_.release();
      r.page->x = ox;
      r.page->y = oy;
      r.page->z = 0;
      r.page->c = channels_;
      r.page->setData(page->GetDataPtr());
    } else {
      r.page = new ilPage(ox, oy, 0, channels_, page->GetDataPtr());
    }
    r.status = ilOkay;
    locked_.push_back(LockedPage{r.page, page->Body()});
  }
  return setStatus(result);
}

ilStatus ilSmartImage::unlockPageSet(ilLockRequest* requests, int count) {
  if (!CheckValid() || requests == nullptr || count < 0) return setStatus(ilInvalid);
  for (int i = 0; i < count; ++i) {
    ilLockRequest& r = requests[i];
    if (r.page == nullptr) continue;
    auto it = std::find_if(locked_.begin(), locked_.end(),
                           [&r](const LockedPage& l) { return l.page == r.page; });
    const bool ours = it != locked_.end();
    if (ours) {
      // The body that was locked, even if the table slot moved on since.
      SmartImgPage page = SmartImgPage::Wrap(static_cast<PageData*>(it->body));
      locked_.erase(it);
      if (checkAlphaOnCopy_) NoteAlpha(page.CheckAlpha());
      page.MergeWithPotentialDuplicate();
      page.DecrementLockCount();
      if (page.GetLockCount() == 0) page.ReleaseRetain();
    }
    const ilTile tile = PageTile(r.page->x, r.page->y);
    if (ours && !sparePage_ && !r.page->isScratch()) {
      sparePage_.reset(r.page);
    } else {
      delete r.page;
    }
    r.page = nullptr;
    ApplyForcedBounds(tile);
  }
  return setStatus(ilOkay);
}
