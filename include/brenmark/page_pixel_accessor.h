// PagePixelAccessor: direct addressing of the pixels of a smart image
// through a ring of locked pages, so that the region search of a flood
// fill costs a pointer computation per pixel instead of a page lookup.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il.h>

#include <cstddef>
#include <cstdint>

class ilSmartImage;

// Keeps up to 32 pages of one smart image locked (for writing unless made
// read-only) and hands out pointers into them. A request outside the cached
// pages reuses the slot just before the current one, so a scan that walks
// across pages and comes back finds its recent pages still locked.
//
// Ownership: the accessor holds one reference on the image and every cached
// page stays locked (pinned in memory, not swapped) until Release() or the
// destructor; pointers it handed out are valid only until the slot they
// came from is reloaded or released. Not copyable.
class BRENMARK_API PagePixelAccessor {
 public:
  static constexpr int kSlots = 32;
  static constexpr int kPageSize = 128;

  // (dx, dy) is subtracted from every requested point. A null image gives
  // an accessor whose every request answers null.
  PagePixelAccessor(ilSmartImage* image, int dx, int dy, bool writable = true);
  ~PagePixelAccessor();
  PagePixelAccessor(const PagePixelAccessor&) = delete;
  PagePixelAccessor& operator=(const PagePixelAccessor&) = delete;

  // The first byte of pixel (x, y), or null when the page cannot be locked
  // (outside the page store's plane, or out of memory).
  // A point in the current page is answered inline, without a call.
  std::uint8_t* Pixel(int x, int y) {
    x -= dx_;
    y -= dy_;
    const Slot& s = *current_;
    const auto u = static_cast<unsigned>(x - s.originX), v = static_cast<unsigned>(y - s.originY);
    if (s.data && u < kPageSize && v < kPageSize) {
      lastX_ = x;
      lastY_ = y;
      return s.data + ((static_cast<std::size_t>(v) * kPageSize + u) << s.shift);
    }
    return PixelElsewhere(x, y);
  }
  // Pixel() for a point of the current page, else null without a lookup.
  const std::uint8_t* PixelIfCurrent(int x, int y) const {
    const Slot& s = *current_;
    const auto u = static_cast<unsigned>(x - dx_ - s.originX);
    const auto v = static_cast<unsigned>(y - dy_ - s.originY);
    if (!s.data || u >= kPageSize || v >= kPageSize) return nullptr;
    return s.data + ((static_cast<std::size_t>(v) * kPageSize + u) << s.shift);
  }
  // The same, and in `run` how many pixels of the page row follow from
  // (x, y) to the right (forward) or precede it to the left (backward),
  // (x, y) included: at least 1 when the answer is not null.
  std::uint8_t* PixelRunRight(int x, int y, int& run) {
    std::uint8_t* p = Pixel(x, y);
    run = p ? kPageSize - (x - dx_ - current_->originX) : 0;
    return p;
  }
  std::uint8_t* PixelRunLeft(int x, int y, int& run) {
    std::uint8_t* p = Pixel(x, y);
    run = p ? x - dx_ - current_->originX + 1 : 0;
    return p;
  }

  // Unlocks every cached page; the accessor stays usable.
  void Release();

  ilSmartImage* Image() const { return image_; }
  // The origin subtracted from every request.
  int OriginX() const { return dx_; }
  int OriginY() const { return dy_; }
  int Channels() const { return channels_; }
  // Bytes per pixel as a shift: 2 for four channels, 0 for one.
  int Shift() const { return shift_; }
  // Page loads since construction (how often the ring missed).
  int Loads() const { return loads_; }

 private:
  struct Slot {
    std::uint8_t* data = nullptr;
    int originX = 0;
    int originY = 0;
    ilSmartImage* image = nullptr;
    ilLockRequest request;
    int channels = 0;
    int shift = 0;
  };

  // Makes the slot holding the page of image point (x, y) current; false
  // when the page cannot be had.
  bool Select(int x, int y);
  // Pixel() for a point (origin already subtracted) outside the current page.
  std::uint8_t* PixelElsewhere(int x, int y);
  bool Load(Slot& slot, int x, int y);
  void Unload(Slot& slot);

  // Entry of the page index for the page at origin (ox, oy): neighbouring
  // pages of a row, and of three page rows, take different entries.
  static int PageHash(int ox, int oy) {
    return (ox / kPageSize + oy / kPageSize * 37) & (kIndexSize - 1);
  }
  static constexpr int kIndexSize = 64;

  Slot slots_[kSlots];
  // Slot holding a page, by PageHash; -1 for none.
  std::int8_t byPage_[kIndexSize];
  ilSmartImage* image_ = nullptr;
  int dx_ = 0;
  int dy_ = 0;
  int lastX_ = 0;
  int lastY_ = 0;
  Slot* current_ = nullptr;
  int currentIndex_ = 0;
  int channels_ = 0;
  int shift_ = 0;
  bool writable_ = true;
  int loads_ = 0;
};
