// ilSmartImage: construction, identity, seeds and dependents, reset and
// fill, and the bounds (growth, forced bounds, page and pixel shrinking).
#include <brenmark/smart_image.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <typeinfo>

#include "imagestore/page.h"
#include "imagestore/page_cache.h"
#include "imagestore/page_table.h"
#include "imagestore/smart_image_p.h"
#include "imagestore/store_hooks.h"

using brenmark::imagestore::kSignatureDead;
using brenmark::imagestore::kSignatureValid;
using brenmark::imagestore::RaiseStoreFault;
using brenmark::imagestore::RepeatedStoreMessage;
using brenmark::imagestore::SmartImageCache;
using brenmark::imagestore::StoreMessage;

namespace brenmark::imagestore {

ilTile EmptyBounds() {
  return ilTile(0, 0, 0, 0, 0, 1);
}

ilTile Normalized(const ilTile& t) {
  if (t.nx < 1 || t.ny < 1) return EmptyBounds();
  return ilTile(t.x, t.y, 0, t.nx, t.ny, 1);
}

bool ContainsXY(const ilTile& a, const ilTile& b) {
  return b.x >= a.x && b.y >= a.y && b.x + b.nx <= a.x + a.nx && b.y + b.ny <= a.y + a.ny;
}

ilTile IntersectXY(const ilTile& a, const ilTile& b) {
  const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.nx, b.x + b.nx), y1 = std::min(a.y + a.ny, b.y + b.ny);
  if (x1 <= x0 || y1 <= y0) return EmptyBounds();
  return ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1);
}

unsigned PackPixel(const ilPixel& pixel, int channels) {
  const ilPixel p = (pixel.getDataType() == ilUChar && pixel.nc() == channels)
                        ? pixel
                        : pixel.converted(ilUChar, channels);
  unsigned v = 0;
  std::memcpy(&v, p.elems(), static_cast<std::size_t>(channels == 1 ? 1 : 4));
  return v;
}

ilPixel UnpackPixel(unsigned value, int channels) {
  return ilPixel(ilUChar, channels, &value);
}

ilSmartImage* AsSmart(ilImage* img) {
  return ilSmartImage::IsSmartImage(img) ? dynamic_cast<ilSmartImage*>(img) : nullptr;
}

}  // namespace brenmark::imagestore

using brenmark::imagestore::AsSmart;
using brenmark::imagestore::ContainsXY;
using brenmark::imagestore::EmptyBounds;
using brenmark::imagestore::IntersectXY;
using brenmark::imagestore::Normalized;
using brenmark::imagestore::PackPixel;
using brenmark::imagestore::UnpackPixel;

namespace {

constexpr int kMax = SmartImage::kMaxCoord;

int FloorPage(int v) {
  return v & ~(kPageSize - 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and identity

ilSmartImage::ilSmartImage(const ilPixel& fill) : signature_(kSignatureValid), table_(nullptr) {
  CommonInit(nullptr);
  InitFromFill(fill);
}

ilSmartImage::ilSmartImage(ilImage* seed, int x, int y, int /*unused1*/, int /*unused2*/)
    : signature_(kSignatureValid), table_(nullptr) {
  if (x != 0 || y != 0) RaiseStoreFault();
  CommonInit(seed);
  if (seed == nullptr) InitFromFill(ilPixel(ilUChar, 4));
}

ilSmartImage::ilSmartImage(int /*count*/, void** /*data*/)
    : signature_(kSignatureValid), table_(nullptr) {
  CommonInit(nullptr);
  InitFromFill(ilPixel(ilUChar, 4));
}

void ilSmartImage::CommonInit(ilImage* seed) {
  SmartImageCache::Instance()->AddSmartImage();
  signature_ = kSignatureValid;
  setStatus(ilOkay);
  table_ = new SmartImage();
  table_->SetParent(this);
  realBounds_ = EmptyBounds();
  lastBounds_ = EmptyBounds();
  forcedEnabled_ = 0;
  checkAlphaOnCopy_ = 0;
  alphaAccumulator_ = 1;
  setImageType(kImageType);
  setOrder(ilInterleaved);
  setCoordSpace(ilLowerLeft);
  setDataType(ilUChar);
  if (seed == nullptr) return;

  if (ilImage::setInput(seed, 0) != ilOkay) {
    // A seed that depends on this image would make a cycle: refuse it.
    RaiseStoreFault();
    InitFromFill(ilPixel(ilUChar, seed->getCsize() == 1 ? 1 : 4));
    return;
  }
  if (seed->getDataType() == ilBit) setStatus(ilInvalid);
  channels_ = seed->getCsize() == 1 ? 1 : 4;
  setColorModel(channels_ == 1 ? ilGreyMinBlack : ilABGR);
  setPageSize(kPageSize, kPageSize, 1, channels_);
  table_->SetSeed(seed);
  fillValue_ = table_->GetFill();
  setSize(ilSize(1, 1, 1, channels_));
  ilImage::setFill(UnpackPixel(fillValue_, channels_));

  ilSmartImage* smart = AsSmart(seed);
  if (smart != nullptr) {
    smart->ref();
    realBounds_ = Normalized(smart->getRealBounds());
    smart->AddDependency(this);
  } else {
    realBounds_ = Normalized(ilTile(0, 0, 0, seed->getXsize(), seed->getYsize(), 1));
  }
  seedBounds_ = realBounds_;
  if (smart != nullptr) {
    forcedBounds_ = smart->forcedBounds_;
    forcedEnabled_ = smart->forcedEnabled_;
    if (forcedEnabled_) realBounds_ = Normalized(forcedBounds_);
  } else {
    forcedBounds_ = realBounds_;
    forcedEnabled_ = 0;
  }
  table_->SetBounds(realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 1);
  int bx, by, bw, bh;
  table_->GetBounds(bx, by, bw, bh);
  realBounds_ = Normalized(ilTile(bx, by, 0, bw, bh, 1));
  if (smart == nullptr && !realBounds_.empty()) {
    // Copy the whole seed now; it is never consulted again.
    PageIterator pages(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 1, 0);
    while (pages.GetNext() != nullptr) {
    }
  }
  UpdateLibrarySize();
  table_->SetFill(fillValue_);
}

void ilSmartImage::InitFromFill(const ilPixel& fill) {
  channels_ = fill.nc() == 1 ? 1 : 4;
  const ilPixel f = fill.empty() ? ilPixel(ilUChar, channels_) : fill;
  fillValue_ = PackPixel(f, channels_);
  setDataType(ilUChar);
  setColorModel(channels_ == 1 ? ilGreyMinBlack : ilABGR);
  setPageSize(kPageSize, kPageSize, 1, channels_);
  setSize(ilSize(1, 1, 1, channels_));
  ilImage::setFill(UnpackPixel(fillValue_, channels_));
  table_->SetPixelSize(channels_);
  table_->SetFill(fillValue_);
  UpdateLibrarySize();
}

ilSmartImage::~ilSmartImage() {
  dying_ = true;
  for (int i = static_cast<int>(dependents_.size()) - 1; i >= 0; --i) {
    if (dependents_[static_cast<std::size_t>(i)] != nullptr) {
      BreakDependency(dependents_[static_cast<std::size_t>(i)]);
    }
  }
  DetachFromSeed(true);
  // Locks nobody released: unpin their pages so the bodies can go.
  for (LockedPage& l : locked_) {
    SmartImgPage page = SmartImgPage::Wrap(static_cast<PageData*>(l.body));
    while (page.GetLockCount() > 0) page.DecrementLockCount();
    page.ReleaseRetain();
    delete l.page;
  }
  locked_.clear();
  signature_ = kSignatureDead;
  SmartImageCache::Instance()->RemoveSmartImage();
  delete table_;
  table_ = nullptr;
}

bool ilSmartImage::derivesFrom(int classId) const {
  return classId == kClassId || ilSIDImage::derivesFrom(classId);
}

const char* ilSmartImage::getClassName(int level) const {
  return level == 0 ? "ilSmartImage" : ilSIDImage::getClassName(level - 1);
}

const char* ilSmartImage::getDefaultDescription() const {
  return "ilSmartImage";
}

int ilSmartImage::getClassId() const {
  return kClassId;
}

ilSmartImage* ilSmartImage::As_ilSmartImage(ilImage* img) {
  if (img == nullptr || img->getImageType() != kImageType) return nullptr;
  // The class itself (all the engine makes) without the search of a cast;
  // every paint and composition step asks this of its images.
  if (typeid(*img) == typeid(ilSmartImage)) return static_cast<ilSmartImage*>(img);
  return dynamic_cast<ilSmartImage*>(img);
}

bool ilSmartImage::IsSmartImage(ilImage* img) {
  if (img == nullptr) return false;
  if (SmartImageCache::Instance()->UseOldImageId()) {
    const char* name = img->getClassName(0);
    return name != nullptr && std::strcmp(name, "ilSmartImage") == 0;
  }
  return img->getImageType() == kImageType;
}

bool ilSmartImage::IsValid() const {
  return signature_ == kSignatureValid && table_ != nullptr && table_->IsValid();
}

bool ilSmartImage::CheckValid() const {
  if (IsValid()) return true;
  StoreMessage("SID: ERROR: Invalid ilSmartImage\n");
  return false;
}

SmartImgPage* ilSmartImage::FindPageFromOrigin(int x, int y, int create) {
  return table_->FindPageFromOrigin(x, y, create);
}

void ilSmartImage::UpdateLibrarySize() {
  const int x = std::max(1, realBounds_.x + realBounds_.nx);
  const int y = std::max(1, realBounds_.y + realBounds_.ny);
  const int z = std::max(1, realBounds_.z + realBounds_.nz);
  setSize(ilSize(x, y, z, channels_));
}

// ---------------------------------------------------------------------------
// Seeds and dependents

ilImage* ilSmartImage::GetSeedImage() {
  return GetSeed();
}

ilStatus ilSmartImage::SetSeedImage(ilImage* seed) {
  ilImage* old = GetSeed();
  if (seed == old) return ilOkay;
  ilSmartImage* newSmart = AsSmart(seed);
  if (seed != nullptr && ilImage::setInput(seed, 0) != ilOkay) return setStatus(ilInvalid);
  if (newSmart != nullptr) {
    newSmart->ref();
    newSmart->AddDependency(this);
  }
  ilSmartImage* oldSmart = AsSmart(old);
  if (oldSmart != nullptr) {
    oldSmart->RemoveDependency(this);
    if (!oldSmart->dying_) oldSmart->unref();
  }
  if (seed == nullptr) ilImage::setInput(nullptr, 0);
  return ilOkay;
}

void ilSmartImage::DetachFromSeed(bool dropReference) {
  ilSmartImage* smart = AsSmart(GetSeed());
  if (smart == nullptr) return;
  smart->RemoveDependency(this);
  ilImage::setInput(nullptr, 0);
  if (dropReference && !smart->dying_) smart->unref();
}

void ilSmartImage::AddDependency(ilSmartImage* dependent) {
  for (ilSmartImage*& slot : dependents_) {
    if (slot == nullptr) {
      slot = dependent;
      return;
    }
  }
  dependents_.push_back(dependent);
}

void ilSmartImage::RemoveDependency(ilSmartImage* dependent) {
  for (ilSmartImage*& slot : dependents_) {
    if (slot == dependent) slot = nullptr;
  }
}

int ilSmartImage::DependentCount() const {
  return static_cast<int>(std::count_if(dependents_.begin(), dependents_.end(),
                                        [](const ilSmartImage* d) { return d != nullptr; }));
}

void ilSmartImage::BreakDependency(ilSmartImage* dependent) {
  // The dependent takes its own references on every page it still shares,
  // then moves on to this image's seed. This image is going away, so the
  // dependent's reference on it is simply dropped with it.
  dependent->GetSeedImagePages();
  dependent->SetSeedImage(GetSeedImage());
  RemoveDependency(dependent);
}

void ilSmartImage::GetSeedImagePages() {
  UpdateBounds();
  if (realBounds_.empty()) return;
  PageIterator pages(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 1, 0);
  while (pages.GetNext() != nullptr) {
  }
}

void ilSmartImage::ReferenceSeedPages(const ilTile* tile) {
  const ilTile bounds = getBounds();
  const ilTile t = tile != nullptr ? Normalized(*tile) : bounds;
  const ilTile inside = IntersectXY(t, bounds);
  if (!inside.empty()) {
    PageIterator pages(table_, inside.x, inside.y, inside.nx, inside.ny, 1, 0);
    while (SmartImgPage* page = pages.GetNext()) page->Realize(0);
  }
  // Pin the rest of the tile to the fill, so that no later lookup takes a
  // page from the seed as it will be then.
  if (!t.empty() && !ContainsXY(bounds, t))
    FillRegion_(t, fillValue_, inside.empty() ? nullptr : &inside);
}

ilStatus ilSmartImage::MergeChangesIntoSeed() {
  return merge_into_seed();
}

ilStatus ilSmartImage::merge_into_seed() {
  ilImage* seed = GetSeed();
  if (seed == nullptr) return ilOkay;
  if (seed == this) {
    RaiseStoreFault();
    return setStatus(ilInvalid);
  }
  UpdateBounds();
  ilSmartImage* smart = AsSmart(seed);
  const ilConfig pageCfg(ilUChar, ilInterleaved, channels_, nullptr, 0, ilLowerLeft);
  ilStatus st = ilOkay;
  if (!realBounds_.empty()) {
    PageIterator pages(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 0, 0);
    int ox, oy;
    while (SmartImgPage* page = pages.GetNext(ox, oy)) {
      if (!page->SeedDirty()) continue;
      if (smart != nullptr && smart->channels_ == channels_) {
        smart->FindPageFromOrigin(ox, oy, 1)->Reference(page);
      } else {
        if (smart == nullptr) {
          StoreMessage("SID: ERROR: Mergeing with non-smart seed %d, %d, (%s)\n", ox, oy,
                       seed->getClassName(0));
        }
        ilConfig cfg = pageCfg;
        if (!page->CopyToSeed(seed, ox, oy, &cfg)) st = ilFailed;
      }
    }
  }
  // What lies outside this image's bounds is its fill.
  ilTile seedArea = smart != nullptr ? smart->getBounds()
                                     : ilTile(0, 0, 0, seed->getXsize(), seed->getYsize(), 1);
  if (!seedArea.empty()) {
    seed->fillTile(seedArea.x, seedArea.y, seedArea.nx, seedArea.ny, &fillValue_, &pageCfg,
                   realBounds_.empty() ? nullptr : &realBounds_);
  }
  if (smart != nullptr && !realBounds_.empty()) smart->AddToBounds_(realBounds_);
  return setStatus(st);
}

// ---------------------------------------------------------------------------
// reset and fill

void ilSmartImage::reset() {
  table_->SetFill(fillValue_);
  if (shrinkPending_) {
    shrinkPending_ = 0;
    ShrinkBounds_();
  }
  if (realBounds_ != lastBounds_) {
    realBounds_.nz = 1;
    lastBounds_ = realBounds_;
  }
  if (forcedEnabled_) realBounds_ = Normalized(forcedBounds_);
  table_->SetBounds(realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 1);
  UpdateLibrarySize();
  setStatus(ilOkay);
}

ilStatus ilSmartImage::setFill(const ilPixel& fill) {
  if (!CheckValid()) return setStatus(ilInvalid);
  fillValue_ = PackPixel(fill.empty() ? ilPixel(ilUChar, channels_) : fill, channels_);
  table_->SetFill(fillValue_);
  ilImage::setFill(UnpackPixel(fillValue_, channels_));
  if (!realBounds_.empty()) FillCoverOutsideBounds(fillValue_);
  return ilOkay;
}

void ilSmartImage::FillCoverOutsideBounds(unsigned value) {
  // The pages that hold the bounds: from the bounds' corner rounded down to
  // the page grid to its far edges rounded up.
  const int x0 = FloorPage(realBounds_.x), y0 = FloorPage(realBounds_.y);
  const int x1 = FloorPage(realBounds_.x + realBounds_.nx + kPageSize - 1);
  const int y1 = FloorPage(realBounds_.y + realBounds_.ny + kPageSize - 1);
  const ilTile cover(x0, y0, 0, x1 - x0, y1 - y0, 1);
  FillRegion_(cover, value, &realBounds_);
}

// ---------------------------------------------------------------------------
// Bounds

const ilTile& ilSmartImage::getBounds() {
  UpdateBounds();
  lastBounds_ = forcedEnabled_ ? forcedBounds_ : realBounds_;
  return lastBounds_;
}

const ilTile& ilSmartImage::getRealBounds() {
  UpdateBounds();
  return realBounds_;
}

void ilSmartImage::UpdateBounds() {
  if (forcedEnabled_) ApplyForcedBounds(realBounds_);
  int x, y, w, h;
  table_->GetBounds(x, y, w, h);
  realBounds_ = Normalized(ilTile(x, y, 0, w, h, 1));
}

void ilSmartImage::SetBounds_(const ilTile& tile, int keepPages) {
  const ilTile t = Normalized(tile);
  if (t != realBounds_) {
    realBounds_ = forcedEnabled_ ? Normalized(forcedBounds_) : t;
    setAltered(ilSizeAltered);
  }
  table_->SetBounds(realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, keepPages);
  int x, y, w, h;
  table_->GetBounds(x, y, w, h);
  realBounds_ = Normalized(ilTile(x, y, 0, w, h, 1));
}

void ilSmartImage::AddToBounds_(const ilTile& tile) {
  if (tile.nx < 1 || tile.ny < 1) return;
  ilTile b = realBounds_;
  if (b.nx < 1) {
    b.x = tile.x;
    b.nx = tile.nx;
  } else {
    const int x0 = std::min(b.x, tile.x), x1 = std::max(b.x + b.nx, tile.x + tile.nx);
    b.x = x0;
    b.nx = x1 - x0;
  }
  if (b.ny < 1) {
    b.y = tile.y;
    b.ny = tile.ny;
  } else {
    const int y0 = std::min(b.y, tile.y), y1 = std::max(b.y + b.ny, tile.y + tile.ny);
    b.y = y0;
    b.ny = y1 - y0;
  }
  SetBounds_(b, 1);
}

void ilSmartImage::ApplyForcedBounds(const ilTile& tile) {
  if (!forcedEnabled_ || ContainsXY(forcedBounds_, tile)) return;
  realBounds_ = Normalized(forcedBounds_);
  table_->SetBounds(realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 0);
}

void ilSmartImage::ExpandBounds(int margin) {
  UpdateBounds();
  if (realBounds_.empty()) return;
  const int x0 = FloorPage(realBounds_.x - margin), y0 = FloorPage(realBounds_.y - margin);
  const int x1 = FloorPage(realBounds_.x + realBounds_.nx + margin + kPageSize - 1);
  const int y1 = FloorPage(realBounds_.y + realBounds_.ny + margin + kPageSize - 1);
  SetBounds_(ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1), 1);
}

void ilSmartImage::ClipToBounds(ilTile& tile) {
  UpdateBounds();
  const ilTile c = IntersectXY(tile, realBounds_);
  tile.x = c.x;
  tile.y = c.y;
  tile.nx = c.nx;
  tile.ny = c.ny;
}

void ilSmartImage::TryToShrinkBounds_() {
  shrinkPending_ = 1;
  setAltered(ilSizeAltered);
}

void ilSmartImage::ShrinkBounds_() {
  if ((channels_ == 1 && fillValue_ != 0) || forcedEnabled_) return;
  int bx, by, bw, bh;
  table_->GetBounds(bx, by, bw, bh);
  realBounds_ = Normalized(ilTile(bx, by, 0, bw, bh, 1));
  if (realBounds_.empty()) return;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool any = false;
  {
    PageIterator pages(table_, realBounds_.x, realBounds_.y, realBounds_.nx, realBounds_.ny, 0, 0);
    int ox, oy;
    while (SmartImgPage* page = pages.GetNext(ox, oy)) {
      page->WalkPage(nullptr);
      if (page->IsSolidFilled(fillValue_)) continue;
      if (!any) {
        x0 = ox;
        y0 = oy;
        x1 = ox + kPageSize;
        y1 = oy + kPageSize;
        any = true;
      } else {
        x0 = std::min(x0, ox);
        y0 = std::min(y0, oy);
        x1 = std::max(x1, ox + kPageSize);
        y1 = std::max(y1, oy + kPageSize);
      }
    }
  }
  const ilTile nb =
      any ? IntersectXY(realBounds_, ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1)) : EmptyBounds();
  SetBounds_(nb, 1);
}

void ilSmartImage::ScanPagesIn(const ilTile& area) {
  if ((channels_ == 1 && fillValue_ != 0) || forcedEnabled_ || area.nx <= 0 || area.ny <= 0) return;
  PageIterator pages(table_, area.x, area.y, area.nx, area.ny, 0, 0);
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    if (ox < area.x || oy < area.y || ox + kPageSize > area.x + area.nx ||
        oy + kPageSize > area.y + area.ny) {
      continue;
    }
    page->WalkPage(nullptr);
  }
}

void ilSmartImage::ForceShrinkAttempt(bool force) {
  if (forcedEnabled_) return;
  if (channels_ == 1 && fillValue_ != 0 && !force) return;
  UpdateBounds();
  for (;;) {
    const ilTile before = realBounds_;
    ShrinkBounds_();
    while (PixelShrinkTop_()) {
    }
    while (PixelShrinkRight_()) {
    }
    while (PixelShrinkBottom_()) {
    }
    while (PixelShrinkLeft_()) {
    }
    if (realBounds_ == before) break;
  }
  if (realBounds_.empty()) realBounds_ = EmptyBounds();
  SetBounds_(realBounds_, 1);
  UpdateLibrarySize();
  setAltered(ilSizeAltered);
}

bool ilSmartImage::PixelShrinkTop_() {
  if (realBounds_.empty() || !IsPixelRowSolid_(realBounds_.y + realBounds_.ny - 1)) return false;
  ilTile b = realBounds_;
  --b.ny;
  SetBounds_(b, 1);
  return true;
}

bool ilSmartImage::PixelShrinkBottom_() {
  if (realBounds_.empty() || !IsPixelRowSolid_(realBounds_.y)) return false;
  ilTile b = realBounds_;
  ++b.y;
  --b.ny;
  SetBounds_(b, 1);
  return true;
}

bool ilSmartImage::PixelShrinkLeft_() {
  if (realBounds_.empty() || !IsPixelColumnSolid_(realBounds_.x)) return false;
  ilTile b = realBounds_;
  ++b.x;
  --b.nx;
  SetBounds_(b, 1);
  return true;
}

bool ilSmartImage::PixelShrinkRight_() {
  if (realBounds_.empty() || !IsPixelColumnSolid_(realBounds_.x + realBounds_.nx - 1)) {
    return false;
  }
  ilTile b = realBounds_;
  --b.nx;
  SetBounds_(b, 1);
  return true;
}

namespace {

// Whether the page-local run of pixels equals `fill`: a solid page by its
// value, an in-memory page pixel by pixel; any other state answers false.
bool RunIsFill(SmartImgPage* page, int x, int y, int dx, int dy, int n, unsigned fill) {
  if (page->IsSolidFilled()) return page->IsSolidFilled(fill);
  if (!page->IsInMemory()) return false;
  for (int i = 0; i < n; ++i, x += dx, y += dy) {
    if (page->GetPixel(x, y) != fill) return false;
  }
  return true;
}

}  // namespace

bool ilSmartImage::IsPixelRowSolid_(int y) {
  if (realBounds_.empty()) return true;
  const unsigned fill = channels_ == 1 ? fillValue_ & 0xFF : fillValue_;
  const int left = realBounds_.x, right = realBounds_.x + realBounds_.nx;
  PageIterator pages(table_, left, y, realBounds_.nx, 1, 0, 1);
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    const int x0 = std::max(left, ox), x1 = std::min(right, ox + kPageSize);
    if (!RunIsFill(page, x0 - ox, y - oy, 1, 0, x1 - x0, fill)) return false;
  }
  return true;
}

bool ilSmartImage::IsPixelColumnSolid_(int x) {
  if (realBounds_.empty()) return true;
  const unsigned fill = channels_ == 1 ? fillValue_ & 0xFF : fillValue_;
  const int bottom = realBounds_.y, top = realBounds_.y + realBounds_.ny;
  PageIterator pages(table_, x, bottom, 1, realBounds_.ny, 0, 1);
  int ox, oy;
  while (SmartImgPage* page = pages.GetNext(ox, oy)) {
    const int y0 = std::max(bottom, oy), y1 = std::min(top, oy + kPageSize);
    if (!RunIsFill(page, x - ox, y0 - oy, 0, 1, y1 - y0, fill)) return false;
  }
  return true;
}

void ilSmartImage::SetForcedBounds(const ilTile& tile) {
  if (tile.nx == 0 || tile.ny == 0) {
    StoreMessage("SID: Warning: SmartImage: Someone is SETTING Empty Forced Bounds! Ignoring.\n");
    return;
  }
  forcedBounds_ = ilTile(tile.x, tile.y, 0, tile.nx, tile.ny, 1);
  setFill(ilPixel(ilUChar, channels_));
}

void ilSmartImage::EnableForcedBounds(int on) {
  forcedEnabled_ = on != 0 ? 1 : 0;
  setAltered(ilSizeAltered);
}

void ilSmartImage::force_in_img_(int& x, int& y, int& z, int& nx, int& ny, int& nz) {
  if (!forcedEnabled_ || forcedBounds_.nx < 1 || forcedBounds_.ny < 1) return;
  const ilTile c = IntersectXY(ilTile(x, y, 0, nx, ny, 1), forcedBounds_);
  x = c.x;
  y = c.y;
  nx = c.nx;
  ny = c.ny;
  z = 0;
  nz = 1;
}

void ilSmartImage::force_in_img_(int& x, int& y, int& nx, int& ny) {
  int z = 0, nz = 1;
  force_in_img_(x, y, z, nx, ny, nz);
}

void ilSmartImage::force_in_img_(ilTile& tile) {
  force_in_img_(tile.x, tile.y, tile.z, tile.nx, tile.ny, tile.nz);
}

bool ilSmartImage::ClipToRange(int& x, int& y, int& nx, int& ny) {
  bool clipped = false;
  if (x < -kMax) {
    nx -= -kMax - x;
    x = -kMax;
    clipped = true;
  }
  if (y < -kMax) {
    ny -= -kMax - y;
    y = -kMax;
    clipped = true;
  }
  if (nx > 0 && x > kMax - nx) {
    nx = std::max(0, kMax - x);
    clipped = true;
  }
  if (ny > 0 && y > kMax - ny) {
    ny = std::max(0, kMax - y);
    clipped = true;
  }
  if (clipped) RepeatedStoreMessage("SID: SmartImage had to clip an image op to fit +- %d\n", kMax);
  return nx > 0 && ny > 0;
}
