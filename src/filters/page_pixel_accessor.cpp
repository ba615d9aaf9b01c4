// PagePixelAccessor: the ring of locked pages behind the flood fill's pixel
// tests and writes.
#include "brenmark/page_pixel_accessor.h"

#include <cstring>

#include "brenmark/smart_image.h"
#include "imagestore/page.h"
#include "imagestore/page_table.h"

namespace {

// Pages exist for -kMaxCoord <= v < kMaxCoord; asking for one beyond would
// only be refused by the page store after it grew the bounds.
bool InPlane(int x, int y) {
  return x >= -SmartImage::kMaxCoord && x < SmartImage::kMaxCoord && y >= -SmartImage::kMaxCoord &&
         y < SmartImage::kMaxCoord;
}

}  // namespace

PagePixelAccessor::PagePixelAccessor(ilSmartImage* image, int dx, int dy, bool writable)
    : image_(image), dx_(dx), dy_(dy), current_(&slots_[0]), writable_(writable) {
  std::memset(byPage_, -1, sizeof byPage_);
  if (!image_) return;
  image_->ref();
  channels_ = image_->GetChannels();
  shift_ = channels_ == 4 ? 2 : 0;
}

PagePixelAccessor::~PagePixelAccessor() {
  Release();
  if (image_) image_->unref();
}

void PagePixelAccessor::Release() {
  for (Slot& s : slots_) Unload(s);
}

void PagePixelAccessor::Unload(Slot& slot) {
  if (slot.data) {
    std::int8_t& entry = byPage_[PageHash(slot.originX, slot.originY)];
    if (entry == &slot - slots_) entry = -1;
  }
  if (slot.image && slot.request.page) slot.image->unlockPageSet(&slot.request, 1);
  slot.data = nullptr;
  slot.image = nullptr;
}

bool PagePixelAccessor::Load(Slot& slot, int x, int y) {
  Unload(slot);
  if (!image_ || !InPlane(x, y)) return false;
  int ox, oy;
  SmartImgPage::FindOrigin(x, y, ox, oy);
  slot.request.init(ox, oy);
  image_->lockPageSet(&slot.request, writable_ ? ilLockWrite : ilLockRead, 1);
  ++loads_;
  if (slot.request.status != ilOkay || !slot.request.page || !slot.request.page->getData()) {
    if (slot.request.page) image_->unlockPageSet(&slot.request, 1);
    return false;
  }
  slot.data = static_cast<std::uint8_t*>(slot.request.page->getData());
  slot.originX = ox;
  slot.originY = oy;
  slot.image = image_;
  slot.channels = channels_;
  slot.shift = shift_;
  return true;
}

bool PagePixelAccessor::Select(int x, int y) {
  lastX_ = x;
  lastY_ = y;
  auto holds = [x, y](const Slot& s) {
    return s.data && static_cast<unsigned>(x - s.originX) < kPageSize &&
           static_cast<unsigned>(y - s.originY) < kPageSize;
  };
  auto use = [this](int k) {
    currentIndex_ = k;
    current_ = &slots_[k];
  };
  if (holds(*current_)) return true;
  // The index finds a cached page in one step; a page whose entry another
  // page took is found by walking the ring, as it would be without one.
  std::int8_t& entry = byPage_[PageHash(x & ~(kPageSize - 1), y & ~(kPageSize - 1))];
  if (entry >= 0 && holds(slots_[entry])) {
    use(entry);
    return true;
  }
  for (int i = 1; i < kSlots; ++i) {
    const int k = (currentIndex_ + i) % kSlots;
    if (holds(slots_[k])) {
      use(k);
      return true;
    }
  }
  use((currentIndex_ + kSlots - 1) % kSlots);
  if (!Load(*current_, x, y)) return false;
  entry = static_cast<std::int8_t>(currentIndex_);
  return true;
}

std::uint8_t* PagePixelAccessor::PixelElsewhere(int x, int y) {
  if (!Select(x, y)) return nullptr;
  const Slot& s = *current_;
  return s.data +
         ((static_cast<std::size_t>(y - s.originY) * kPageSize + (x - s.originX)) << s.shift);
}
