// Page bodies and handles: lifetime, states, Realize and copy-on-write,
// fills and pixel access.
#include "imagestore/page.h"

#include <cstdio>
#include <cstring>

#include "imagestore/page_cache.h"
#include "imagestore/store_hooks.h"

using brenmark::imagestore::kSignatureDead;
using brenmark::imagestore::kSignatureValid;
using brenmark::imagestore::PageIsUniform;
using brenmark::imagestore::RaiseStoreFault;
using brenmark::imagestore::SmartImageCache;
using brenmark::imagestore::StoreFault;
using brenmark::imagestore::StoreMessage;

std::uint32_t SmartImgPage::AccessTimer_ = 0;

namespace brenmark::imagestore {
namespace {

// Destroyed bodies are held back from reuse for a while, so a stale handle
// that reaches one soon after still reads a marked body (signature
// 0xDEADBEEF, release tag in the last-access field) that CheckValid can
// report, instead of memory given back to the allocator.
constexpr int kQuarantine = 64;
PageData* g_dead[kQuarantine] = {};
int g_dead_next = 0;

void ResetBody(PageData* p, int pixelSize) {
  std::memset(static_cast<void*>(p), 0, sizeof *p);
  p->signature = kSignatureValid;
  p->state = kPageInvalid;
  p->pixel_size = static_cast<std::uint8_t>(pixelSize == 1 ? 1 : (pixelSize == 0 ? 0 : 4));
  p->size_shift = pixelSize == 1 || pixelSize == 0 ? 0 : 2;
  p->seed_clean = 1;
  p->scanned = 1;
  p->lock = StoreLock{};
  p->list = PageList::kNone;
}

// Gives back whatever storage the body holds (memory, swap slot, seed record).
void ReleaseStorage(PageData* p) {
  if (p->seed != nullptr) {
    p->seed->signature = kSignatureDead;
    delete p->seed;
    p->seed = nullptr;
  }
  if (p->state == kPageValidInMem || p->state == kPageSwapped) {
    SmartImageCache* cache = SmartImageCache::Instance();
    if (p->list == PageList::kRetained) cache->RemoveFromRetainedList(p);
    cache->ReleasePageMemory(p);
  }
  SmartImageCache::Instance()->RemoveFromScanList(p);
}

unsigned MaskFill(unsigned value, int pixelSize) {
  return pixelSize == 1 ? value & 0xFFu : value;
}

}  // namespace

PageData* NewPageBody(int pixelSize) {
  PageData* p = new PageData;
  ResetBody(p, pixelSize);
  return p;
}

void DestroyPageBody(PageData* p, int releaseTag) {
  ForgetPageSource(p);
  for (PageData* c = p->copies; c != nullptr;) {
    PageData* next = c->copy_next;
    c->source = nullptr;
    c->copy_next = c->copy_prev = nullptr;
    c = next;
  }
  p->copies = nullptr;
  p->state = kPageReleased;
  p->last_access = static_cast<std::uint32_t>(releaseTag);
  p->signature = kSignatureDead;
  PageData*& slot = g_dead[g_dead_next];
  delete slot;
  slot = p;
  g_dead_next = (g_dead_next + 1) % kQuarantine;
}

void SetPageSource(PageData* copy, PageData* source) {
  ForgetPageSource(copy);
  if (source == nullptr) return;
  copy->source = source;
  copy->copy_prev = nullptr;
  copy->copy_next = source->copies;
  if (source->copies != nullptr) source->copies->copy_prev = copy;
  source->copies = copy;
}

void ForgetPageSource(PageData* copy) {
  PageData* s = copy->source;
  if (s == nullptr) return;
  if (copy->copy_prev != nullptr)
    copy->copy_prev->copy_next = copy->copy_next;
  else
    s->copies = copy->copy_next;
  if (copy->copy_next != nullptr) copy->copy_next->copy_prev = copy->copy_prev;
  copy->source = nullptr;
  copy->copy_next = copy->copy_prev = nullptr;
}

}  // namespace brenmark::imagestore

using brenmark::imagestore::DestroyPageBody;
using brenmark::imagestore::MaskFill;
using brenmark::imagestore::NewPageBody;
using brenmark::imagestore::ReleaseStorage;

namespace {

// The copy-on-write copy of `src` (reference count 1, not yet held).
PageData* CopyBody(PageData* src) {
  SmartImageCache* cache = SmartImageCache::Instance();
  PageData* c = NewPageBody(src->pixel_size);
  c->ref_count = 1;
  c->last_access = 0;
  brenmark::imagestore::SetPageSource(c, src);
  // A painter may still be writing the source through a page lock; scanning
  // it then could turn half-written content solid.
  if (src->scanned == 0 && !brenmark::imagestore::InPaintOperation()) {
    SmartImgPage::Wrap(src).CheckForSolidIn(0, 0, kPageSize, kPageSize);
  }
  if (src->state != kPageValidInMem) {
    c->state = kPageSolid;
    c->fill = src->fill;
    return c;
  }
  // Pin the source while the copy's memory is found, so that this very
  // allocation cannot page it out.
  const std::uint8_t priority = src->priority;
  src->priority = 255;
  cache->AllocatePageMemory(c);
  src->priority = priority;
  if (priority < 255) cache->MoveToHeadOfInMemList(src);
  std::memcpy(c->data, src->data, std::size_t{kPagePixels} << src->size_shift);
  c->transparency = src->transparency;
  return c;
}

void FillBlock(PageData* p, unsigned value) {
  if (p->size_shift == 0) {
    std::memset(p->data, static_cast<int>(value & 0xFF), kPagePixels);
  } else if (value == 0) {
    std::memset(p->data, 0, kPagePixels * 4);
  } else {
    const std::uint32_t v = value;
    std::uint32_t row[kPageSize];
    for (std::uint32_t& w : row) w = v;
    for (int y = 0; y < kPageSize; ++y) std::memcpy(p->data + y * sizeof row, row, sizeof row);
  }
}

}  // namespace

SmartImgPage::SmartImgPage(const SmartImgPage& other) : body_(other.body_) {
  if (body_ != nullptr) ++body_->ref_count;
}

SmartImgPage::SmartImgPage(unsigned fill, int pixelSize) : body_(NewPageBody(pixelSize)) {
  body_->state = kPageSolid;
  body_->fill = MaskFill(fill, body_->pixel_size);
  body_->ref_count = 1;
}

SmartImgPage SmartImgPage::Wrap(PageData* body) {
  return SmartImgPage(body);
}

void SmartImgPage::Reference(SmartImgPage* other) {
  Reference(other ? other->body_ : nullptr);
}

void SmartImgPage::Reference(PageData* body) {
  if (body == nullptr || (body_ != nullptr && body->pixel_size != body_->pixel_size) ||
      IsTempSolid()) {
    RaiseStoreFault();
  }
  // Take the new reference first: re-referencing the body already held must
  // not destroy it in between.
  if (body != nullptr) ++body->ref_count;
  UnRef(kReleaseReference);
  body_ = body;
}

void SmartImgPage::Ref() {
  if (body_ != nullptr) ++body_->ref_count;
}

void SmartImgPage::UnRef(int releaseTag) {
  PageData* p = body_;
  if (p == nullptr) return;
  body_ = nullptr;
  if (p->signature != kSignatureValid) {
    SmartImgPage::Wrap(p).CheckValid();
    RaiseStoreFault();
    return;
  }
  --p->ref_count;
  if (p->ref_count < 1 && p->priority < 255) {
    SmartImageCache::Instance()->RemoveFromScanList(p);
    if (p->retain_count < 1) {
      ReleaseStorage(p);
      DestroyPageBody(p, releaseTag);
    }
  }
}

bool SmartImgPage::IsValid() const {
  return body_ != nullptr && body_->signature == kSignatureValid;
}

bool SmartImgPage::CheckValid() const {
  if (body_ == nullptr) return false;
  if (body_->signature != kSignatureValid) {
    StoreMessage("Quorvel: Invalid page -- Unrefed at %d (Sig - %8x)\n",
                 static_cast<int>(body_->last_access), body_->signature);
    return false;
  }
  return true;
}

void SmartImgPage::MakeValid() {
  if (body_ == nullptr) return;
  ReleaseStorage(body_);
  brenmark::imagestore::ForgetPageSource(body_);
  PageData* copies = body_->copies;
  brenmark::imagestore::ResetBody(body_, 0);
  body_->copies = copies;
}

bool SmartImgPage::IsSolidFilled(unsigned value) const {
  if (body_ == nullptr) return value == 0;
  return body_->state == kPageSolid && body_->fill == MaskFill(value, body_->pixel_size);
}

void SmartImgPage::MarkTempSolid() {
  if (body_ != nullptr) body_->scanned = 255;
}

unsigned SmartImgPage::GetFillValue() const {
  return body_ != nullptr && body_->state == kPageSolid ? body_->fill : 0;
}

void SmartImgPage::SetFillValue(unsigned value) {
  if (body_ != nullptr && body_->state == kPageSolid) {
    body_->fill = MaskFill(value, body_->pixel_size);
    body_->transparency = 0;
  }
}

unsigned* SmartImgPage::GetFillValuePtr() const {
  return body_ ? &body_->fill : nullptr;
}

std::uint64_t SmartImgPage::GetFileOffset() const {
  return body_ && body_->state == kPageSwapped && body_->slot ? body_->slot->offset : 0;
}

void SmartImgPage::SetPixelSize(int pixelSize) {
  if (body_ == nullptr) return;
  body_->pixel_size = static_cast<std::uint8_t>(pixelSize == 1 ? 1 : 4);
  body_->size_shift = pixelSize == 1 ? 0 : 2;
}

SmartImgTrans SmartImgPage::GetTransparency() const {
  return body_ ? static_cast<SmartImgTrans>(body_->transparency) : kTransClear;
}

void SmartImgPage::SetTransparency(SmartImgTrans trans) {
  if (body_ != nullptr) body_->transparency = trans;
}

void SmartImgPage::SetPriority(int priority) {
  if (body_ == nullptr) return;
  body_->priority = static_cast<std::uint8_t>(priority);
  if (body_->ref_count < 1) {
    ++body_->ref_count;  // UnRef takes it back and releases
    UnRef(kReleaseSetPriority);
  }
}

void SmartImgPage::IncrementPriority() {
  if (body_ != nullptr && body_->priority < 254) ++body_->priority;
}

void SmartImgPage::DecrementPriority() {
  if (body_ != nullptr && body_->priority > 0) --body_->priority;
}

void SmartImgPage::IncrementLockCount() {
  if (body_ != nullptr) ++body_->lock_count;
}

void SmartImgPage::DecrementLockCount() {
  if (body_ != nullptr && body_->lock_count > 0) --body_->lock_count;
}

void SmartImgPage::ForceRetain() {
  PageData* p = body_;
  if (p == nullptr || p->priority == 255) return;
  p->priority = 255;
  if (p->retain_count == 0 && p->state == kPageValidInMem) {
    SmartImageCache* cache = SmartImageCache::Instance();
    cache->RemoveFromScanList(p);
    cache->AddToRetainedList(p);
  }
  ++p->retain_count;
}

void SmartImgPage::DontRetain() {
  if (body_ == nullptr || body_->priority != 255) return;
  ReleaseRetain();
}

void SmartImgPage::ReleaseRetain() {
  PageData* p = body_;
  if (p == nullptr) return;
  --p->retain_count;
  if (p->retain_count < 0) {
    StoreMessage("SID: SmartImage:Negative Reader Count hit\n");
    p->retain_count = 0;
    return;
  }
  if (p->retain_count > 0) return;
  SmartImageCache* cache = SmartImageCache::Instance();
  p->priority = 0;
  if (p->list == PageList::kRetained) cache->RemoveFromRetainedList(p);
  if (p->state == kPageValidInMem) {
    if (IsTempSolid()) {
      // Locked for reading only: the content is still the fill.
      const std::uint32_t fill = p->fill;
      cache->ReleasePageMemory(p);
      p->state = kPageSolid;
      p->fill = fill;
      p->scanned = 1;
    } else {
      cache->AddToInMemList(p);
      if (p->scanned == 1) cache->AddToScanList(p);
    }
  }
  if (p->ref_count < 1) {
    ++p->ref_count;
    UnRef(kReleaseReference);
  }
}

void SmartImgPage::Touch() {
  PageData* p = body_;
  if (p == nullptr) return;
  // The counter moves first and the body takes the new value, so a body
  // stamped by the latest touch equals the counter: touching it again costs
  // nothing, and a fresh body (stamp 0) always differs. 0 is never a stamp.
  if (p->last_access != AccessTimer_ || AccessTimer_ == 0) {
    if (++AccessTimer_ == 0) ++AccessTimer_;
    p->last_access = AccessTimer_;
  }
  if (p->state == kPageValidInMem && p->priority < 255) {
    SmartImageCache::Instance()->MoveToHeadOfInMemList(p);
  }
}

void SmartImgPage::MarkDirty() {
  if (body_ == nullptr) return;
  body_->transparency = 0;
  body_->seed_clean = 0;
  // The swap file's copy of the pixels is about to be out of date.
  if (body_->slot != nullptr) SmartImageCache::Instance()->DropCleanCopy(body_);
  // Written content is no longer the fill a read lock borrowed it from.
  if (body_->scanned == 255) body_->scanned = 1;
}

void SmartImgPage::MarkForScan() {
  PageData* p = body_;
  if (p == nullptr) return;
  p->transparency = 0;
  if (p->state == kPageValidInMem && p->scanned == 1 && p->priority < 255) {
    SmartImageCache::Instance()->AddToScanList(p);
  }
}

bool SmartImgPage::Realize(int mode) {
  PageData* p = body_;
  if (p == nullptr) {
    RaiseStoreFault();
    return false;
  }
  if (p->signature != kSignatureValid) {
    CheckValid();
    RaiseStoreFault();
    return false;
  }
  SmartImageCache* cache = SmartImageCache::Instance();
  // An overwrite does not need the seed's pixels.
  if (p->state == kPageSeedRef && !(mode >= 2 && p->priority < 255)) CopyFromSeed();

  bool done = false;
  if (mode >= 2 && p->priority < 255) {
    if (p->ref_count == 1 && p->state == kPageValidInMem) {
      cache->CountHit();
      Touch();
    } else {
      if (p->ref_count != 1) {
        PageData* fresh = NewPageBody(p->pixel_size);
        fresh->ref_count = 1;
        UnRef(kReleaseRealizeOverwrite);
        body_ = p = fresh;
      } else if (p->state == kPageValidInMem || p->state == kPageSwapped) {
        cache->ReleasePageMemory(p);
      } else if (p->seed != nullptr) {
        ReleaseStorage(p);
      }
      p->fill = 0;
      p->state = kPageSolid;
      p->transparency = 0;
      if (mode == 2) cache->AllocatePageMemory(p);
      cache->CountHit();
    }
    done = true;
  }

  if (!done) {
    switch (p->state) {
      case kPageValidInMem:
        cache->CountHit();
        Touch();
        break;
      case kPageSwapped:
        if (!cache->PageIn(p)) return false;
        cache->CountMiss();
        Touch();
        break;
      case kPageSolid:
        if (mode >= 1 && p->ref_count == 1) MakeInMemFromSolid();
        break;
      case kPageInvalid:
        StoreMessage("\nSID: Error: Invalid page\n");
        RaiseStoreFault();
        return false;
      case kPageFreed:
        StoreMessage("\nSID: Error: Freed page\n");
        RaiseStoreFault();
        return false;
      case kPageUnrealized:
        StoreMessage("\nSID: Error: Unrealized page\n");
        RaiseStoreFault();
        return false;
      case kPageReleased:
        StoreMessage("\nSID: Error: Attempting to realize a zero refcount page!\n");
        RaiseStoreFault();
        return false;
      default:
        RaiseStoreFault();
        return false;
    }
    if (mode >= 1 && p->ref_count >= 2) {
      Touch();
      PageData* copy = CopyBody(p);
      UnRef(kReleaseCopyOnWrite);
      body_ = p = copy;
      if (p->state == kPageSolid) MakeInMemFromSolid();
    }
  }

  if (mode != 0) {
    MarkDirty();
    MarkForScan();
  }
  const bool usable = p->state == kPageValidInMem || p->state == kPageSolid;
  if (!usable) RaiseStoreFault();
  cache->CheckLists();
  return usable;
}

void SmartImgPage::UnRealize() {
  PageData* p = body_;
  if (p == nullptr) return;
  if (p->priority == 255 || p->retain_count > 0) {
    RaiseStoreFault();
    return;
  }
  ReleaseStorage(p);
  p->state = kPageUnrealized;
}

void SmartImgPage::MakeFilled(unsigned fill, int pixelSize) {
  UnRef(kReleaseMakeFilled);
  body_ = NewPageBody(pixelSize);
  body_->state = kPageSolid;
  body_->fill = MaskFill(fill, body_->pixel_size);
  body_->ref_count = 1;
}

void SmartImgPage::MakeInMemFromSolid() {
  PageData* p = body_;
  if (p == nullptr || p->state != kPageSolid) return;
  const std::uint32_t fill = p->fill;
  SmartImageCache::Instance()->AllocatePageMemory(p);
  FillBlock(p, fill);
}

void SmartImgPage::FillPage(unsigned value) {
  PageData* p = body_;
  if (p == nullptr) return;
  if (p->retain_count > 0) {
    // Pinned memory stays where the lock holder sees it.
    if (p->state == kPageValidInMem) {
      FillBlock(p, value);
      MarkDirty();
    }
    return;
  }
  if (p->ref_count > 1) {
    // Never change a body another holder still sees.
    MakeFilled(value, p->pixel_size);
  } else {
    if (p->state != kPageSolid) UnRealize();
    p->state = kPageSolid;
    p->fill = MaskFill(value, p->pixel_size);
  }
  MarkDirty();
}

void SmartImgPage::DrawHorizLine(int x0, int x1, int y, unsigned value) {
  if (body_ != nullptr && IsSolidFilled(value)) return;
  if (x0 > x1) {
    const int t = x0;
    x0 = x1;
    x1 = t;
  }
  if (y < 0 || y > kPageSize - 1 || x0 < 0 || x1 > kPageSize - 1) return;
  if (!Realize(1) || body_->state != kPageValidInMem) return;
  std::uint8_t* row = body_->data + (GetPixelOffset(x0, y) << body_->size_shift);
  if (body_->pixel_size == 1) {
    std::memset(row, static_cast<int>(value & 0xFF), static_cast<std::size_t>(x1 - x0 + 1));
  } else {
    const std::uint32_t v = value;
    for (int x = x0; x <= x1; ++x) std::memcpy(row + 4 * (x - x0), &v, 4);
  }
}

unsigned SmartImgPage::SlowGetPixel_(int x, int y) {
  if (body_ == nullptr || !Realize(0)) return 0;
  if (body_->state == kPageSolid) return body_->fill;
  return GetPixel(x, y);
}

void SmartImgPage::SlowSetPixel_(unsigned value, int x, int y) {
  if (body_ == nullptr || !Realize(1) || body_->state != kPageValidInMem) return;
  SetPixel(value, x, y);
}

void SmartImgPage::ClipToPage(int& x, int& y, int& w, int& h) {
  if (x < 0) {
    w += x;
    x = 0;
  }
  if (y < 0) {
    h += y;
    y = 0;
  }
  if (x + w > kPageSize) w = kPageSize - x;
  if (y + h > kPageSize) h = kPageSize - y;
}

void SmartImgPage::AddToInMemList() {
  if (body_ != nullptr && body_->state == kPageValidInMem && body_->priority < 255) {
    SmartImageCache::Instance()->AddToInMemList(body_);
  }
}

void SmartImgPage::RemoveFromInMemList() {
  if (body_ != nullptr) SmartImageCache::Instance()->RemoveFromInMemList(body_);
}
