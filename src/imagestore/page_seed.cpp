// Pages and their seeds: sharing a paged seed's page, copying a non-paged
// seed's pixels on first use, and writing pages back into a seed.
#include <brenmark/il.h>
#include <brenmark/smart_image.h>

#include "imagestore/page.h"
#include "imagestore/page_cache.h"
#include "imagestore/page_table.h"
#include "imagestore/smart_image_p.h"

using brenmark::imagestore::kSignatureDead;
using brenmark::imagestore::kSignatureValid;
using brenmark::imagestore::RaiseStoreFault;
using brenmark::imagestore::SmartImageCache;

namespace {

// The page's memory as the library sees it: unsigned bytes, interleaved,
// lower-left (rows bottom-up, as the page stores them).
ilConfig PageConfig(int channels) {
  return ilConfig(ilUChar, ilInterleaved, channels, nullptr, 0, ilLowerLeft, ilModelDefault);
}

}  // namespace

void SmartImgPage::SetSeed(ilImage* seed, int ox, int oy) {
  UnRef(kReleaseSetSeed);
  if (seed == nullptr) {
    RaiseStoreFault();
    return;
  }
  if (ilSmartImage* smart = brenmark::imagestore::AsSmart(seed)) {
    SetSmartSeed(smart, ox, oy);
    return;
  }
  body_ = brenmark::imagestore::NewPageBody(seed->getCsize() == 1 ? 1 : 4);
  body_->ref_count = 1;
  body_->state = kPageSeedRef;
  body_->seed = new SeedRecord{kSignatureValid, seed, ox, oy};
}

void SmartImgPage::SetSmartSeed(ilSmartImage* seed, int ox, int oy) {
  UnRef(kReleaseSetSmartSeed);
  if (!SmartImage::IsPageOrigin(ox, oy)) RaiseStoreFault();
  if (seed == nullptr || seed->GetSmartImage() == nullptr) {
    RaiseStoreFault();
    return;
  }
  SmartImgPage* source = seed->GetSmartImage()->FindPageFromOrigin(ox, oy, 1);
  Reference(source);
}

void SmartImgPage::CopyFromSeed() {
  PageData* p = body_;
  if (p == nullptr || p->state != kPageSeedRef) return;
  SeedRecord* record = p->seed;
  p->seed = nullptr;
  SmartImageCache::Instance()->AllocatePageMemory(p);
  if (record != nullptr && record->signature == kSignatureValid && record->seed != nullptr) {
    const ilConfig cfg = PageConfig(p->pixel_size);
    if (record->seed->getTile(record->x, record->y, kPageSize, kPageSize, p->data, &cfg) !=
        ilOkay) {
      // Unreadable seed pixels read as transparent rather than as garbage.
      __builtin_memset(p->data, 0, std::size_t{kPagePixels} << p->size_shift);
    }
  } else {
    __builtin_memset(p->data, 0, std::size_t{kPagePixels} << p->size_shift);
    RaiseStoreFault();
  }
  if (record != nullptr) {
    record->signature = kSignatureDead;
    delete record;
  }
  MarkForScan();
}

bool SmartImgPage::CopyToSeed(ilImage* target, int x, int y, ilConfig* cfg) {
  if (body_ == nullptr || target == nullptr || !Realize(0)) return false;
  const ilConfig own = PageConfig(body_->pixel_size);
  const ilConfig* use = cfg != nullptr ? cfg : &own;
  if (body_->state == kPageValidInMem) {
    return target->setTile(x, y, kPageSize, kPageSize, body_->data, use) == ilOkay;
  }
  const std::uint32_t fill = body_->fill;  // little-endian: byte 0 is the 1-byte fill
  return target->fillTile(x, y, kPageSize, kPageSize, &fill, use, nullptr) == ilOkay;
}
