// ilSmartImage pixel access, content queries (transparency, is_filled),
// alpha validity, the stored-form size and the host's watermark pass.
#include <brenmark/smart_image.h>

#include <cstdio>
#include <cstring>

#include "imagestore/page.h"
#include "imagestore/page_table.h"
#include "imagestore/smart_image_p.h"
#include "imagestore/store_hooks.h"

using brenmark::imagestore::IntersectXY;
using brenmark::imagestore::Normalized;

namespace {

ilTile PageTile(int ox, int oy) {
  return ilTile(ox, oy, 0, kPageSize, kPageSize, 1);
}

SmartImgTrans ClassOf(unsigned value, int channels) {
  const unsigned alpha = channels == 1 ? value & 0xFF : value >> 24;
  return alpha == 0 ? kTransClear : (alpha == 255 ? kTransOpaque : kTransMixed);
}

}  // namespace

// ---------------------------------------------------------------------------
// Pixels

unsigned ilSmartImage::GetPixel(int x, int y) {
  return table_->GetPixel(x, y);
}

void ilSmartImage::SetPixel(int x, int y, unsigned value) {
  table_->SetPixel(x, y, value);
}

void ilSmartImage::SetPixelExp(int x, int y, unsigned value) {
  AddToBounds_(ilTile(x, y, 0, 1, 1, 1));
  table_->SetPixel(x, y, value);
}

unsigned ilSmartImage::GetAdjacentPixel(int dx, int dy, int advance) {
  return table_->GetAdjacentPixel(dx, dy, advance);
}

int ilSmartImage::PixelScan(int x, int y, int step, unsigned value, unsigned mask) {
  return table_->PixelScan(x, y, step, value, mask);
}

void ilSmartImage::SetSpan(int x0, int x1, int y, unsigned value) {
  if (x0 > x1) std::swap(x0, x1);
  fillTile(x0, y, x1 - x0 + 1, 1, &value);
}

// ---------------------------------------------------------------------------
// Transparency and uniformity

int ilSmartImage::TestTransparency(int force) {
  UpdateBounds();
  return TestTransparency(realBounds_, force);
}

int ilSmartImage::TestTransparency(const ilTile& tile, int force) {
  const ilTile t = Normalized(tile);
  if (t.empty()) return kTransNone;
  int result = kTransNone;
  PageIterator pages(table_, t.x, t.y, t.nx, t.ny, 0, 0);
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    const ilTile c(t, PageTile(ox, oy));
    const int cls = page->IsTransparentIn(c.x - ox, c.y - oy, c.nx, c.ny, force);
    if (result == kTransNone)
      result = cls;
    else if (cls != result)
      return kTransMixed;
  }
  return result;
}

int ilSmartImage::TestPageTransparency(int x, int y, int force) {
  return table_->FindPage(x, y, 0)->IsTransparent(nullptr, force);
}

int ilSmartImage::TestFillTransparency() {
  return ClassOf(fillValue_, channels_);
}

bool ilSmartImage::is_filled(ilPixel& value, int scan) {
  UpdateBounds();
  if (realBounds_.empty()) {
    value = brenmark::imagestore::UnpackPixel(fillValue_, channels_);
    return true;
  }
  return is_filled(realBounds_, value, scan);
}

bool ilSmartImage::is_filled(const ilTile& tile, ilPixel& value, int scan) {
  const ilTile t = Normalized(tile);
  bool have = false;
  unsigned first = fillValue_;
  if (!t.empty()) {
    PageIterator pages(table_, t.x, t.y, t.nx, t.ny, 0, 0);
    int ox, oy;
    while (SmartImgPage* page = pages.GetNext(ox, oy)) {
      if (scan) page->WalkPage(nullptr);
      const ilTile c(t, PageTile(ox, oy));
      const bool part = c.nx != kPageSize || c.ny != kPageSize;
      unsigned v;
      if (page->IsSolidFilled()) {
        v = page->GetFillValue();
      } else if (scan && part && page->IsSolidFilledIn(c.x - ox, c.y - oy, c.nx, c.ny)) {
        v = page->GetPixel(c.x - ox, c.y - oy);
      } else {
        return false;
      }
      if (!have) {
        first = v;
        have = true;
      } else if (v != first) {
        return false;
      }
    }
  }
  value = brenmark::imagestore::UnpackPixel(first, channels_);
  return true;
}

// ---------------------------------------------------------------------------
// Alpha validity

void ilSmartImage::NoteAlpha(int checkAlphaAnswer) {
  // The accumulator stays 1 while every written page has valid alpha.
  if (checkAlphaAnswer != 0) alphaAccumulator_ = 0;
}

void ilSmartImage::SetCheckAlphaOnCopy(int on) {
  if (checkAlphaOnCopy_ && !on && alphaAccumulator_ == 0) ForceAlphaValid();
  checkAlphaOnCopy_ = on;
  alphaAccumulator_ = 1;
}

void ilSmartImage::ForceAlphaValid() {
  if (channels_ != 4) return;
  ForceFastShrink();
  UpdateBounds();
  if (realBounds_.empty()) return;
  int answers[4] = {0, 0, 0, 0};
  {
    PageIterator pages(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 0, 0);
    while (SmartImgPage* page = pages.GetNext()) {
      const int a = page->CheckAlpha();
      if (a >= 0 && a <= 3) ++answers[a];
    }
  }
  if (answers[1] + answers[2] + answers[3] == 0) return;
  int mode;
  if (answers[1] == 0 && answers[3] == 0)
    mode = 3;  // colours exceed real alpha: premultiply
  else if (answers[2] > 0)
    mode = 1;  // mixed faults: make opaque
  else
    mode = 2;  // small excess or no alpha: raise alpha
  PageIterator pages(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 1, 0);
  while (SmartImgPage* page = pages.GetNext()) page->ForceAlphaValid(mode);
}

// ---------------------------------------------------------------------------
// Stored form

int ilSmartImage::GetImageFileSize() {
  int pages = 0;
  return GetImageFileSize(pages);
}

int ilSmartImage::GetImageFileSize(int& pages) {
  ShrinkBounds_();
  UpdateBounds();
  pages = 0;
  int size = kFileHeaderSize;
  if (realBounds_.empty()) return size;
  PageIterator it(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 0, 0);
  while (SmartImgPage* page = it.GetNext()) {
    size += kFilePageRecordSize + (page->IsSolidFilled() ? 0 : channels_ * kPagePixels);
    ++pages;
  }
  return size;
}

int ilSmartImage::SaveImageToFile() {
  int pages = 0;
  const int size = GetImageFileSize(pages);
  // Header: bounds, channel count, fill value and page size.
  std::int32_t header[kFileHeaderSize / 4] = {realBounds_.x,  realBounds_.y,
                                              realBounds_.nx, realBounds_.ny,
                                              channels_,      static_cast<std::int32_t>(fillValue_),
                                              kPageSize,      kPageSize};
  const int handle = SaveImageBegin(size);
  if (handle == 0) return -1;
  if (SaveImageData(header, sizeof header) != 0) return -1;
  PageIterator it(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 0, 0);
  int ox, oy;
  bool complete = true;
  while (SmartImgPage* page = it.GetNext(ox, oy)) {
    // A page that cannot be read back makes the stored form incomplete.
    if (!page->IsSolidFilled() && !page->Realize(0)) {
      complete = false;
      break;
    }
    const bool solid = page->IsSolidFilled();
    std::int32_t record[4] = {
        solid ? 1 : 2,
        solid ? static_cast<std::int32_t>(page->GetFillValue()) : page->GetDataSize(), ox, oy};
    SaveImageData(record, sizeof record);
    if (!solid) SaveImageData(page->GetDataPtr(), page->GetDataSize());
  }
  const int end = SaveImageEnd(handle);
  return complete ? end : -1;
}

int ilSmartImage::SaveImageBegin(int /*size*/) {
  return 0;
}

int ilSmartImage::SaveImageData(void* /*data*/, int /*size*/) {
  return 0;
}

int ilSmartImage::SaveImageEnd(int /*handle*/) {
  return 0;
}

bool ilSmartImage::ReadImageData(void* data, int /*size*/) {
  return data != nullptr;
}

// ---------------------------------------------------------------------------
// Watermark

void ilSmartImage::ApplyWatermark() {
  if (channels_ != 4) return;
  UpdateBounds();
  if (realBounds_.empty()) return;
  PageIterator pages(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 1, 0);
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    if (!page->Realize(1) || !page->IsInMemory()) continue;
    brenmark::imagestore::CallWatermark(page->GetDataPtr(), ox, oy, kPageSize, kPageSize,
                                        realBounds_.nx, realBounds_.ny);
  }
}
