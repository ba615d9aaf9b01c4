// ilPage and ilLockRequest: direct access to an image's page memory through
// ilImage::lockPageSet / unlockPageSet.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_types.h>

#include <cstdint>
#include <memory>

// One locked page. (x, y, z) is the page origin in the image's own coordinate
// space, c the channel count, getData() the first byte of the page's pixels.
// The memory holds one page of the image's page size (getPageSizeX/Y/Z) in the
// image's order and element type: rows of getPageSizeX() pixels, row 0 at the
// page origin. Pages are created by lockPageSet and deleted by unlockPageSet.
class BRENMARK_API ilPage {
 public:
  int x = 0, y = 0, z = 0, c = 0;

  ilPage(int x_, int y_, int z_, int c_, void* data) : x(x_), y(y_), z(z_), c(c_), data_(data) {}
  ilPage(const ilPage&) = delete;
  ilPage& operator=(const ilPage&) = delete;
  ~ilPage() = default;

  void* getData() const { return data_; }
  void setData(void* data) { data_ = data; }

  // A page whose memory is a private copy (for images without native pages):
  // the page owns `bytes` of scratch memory; writeBack says whether unlocking
  // must store it back into the image.
  static ilPage* makeScratch(int x, int y, int z, int c, std::size_t bytes, bool writeBack);
  bool isScratch() const { return scratch_ != nullptr; }
  bool writeBack() const { return writeBack_; }

 private:
  void* data_ = nullptr;
  std::unique_ptr<std::uint8_t[]> scratch_;
  bool writeBack_ = false;
};

// One entry of a lockPageSet call: the caller names a pixel (x, y, z) and
// channel c of the wanted page with init(); the image answers the page (or
// null) and the request's status (ilOkay when the page is locked).
struct BRENMARK_API ilLockRequest {
  int x = 0, y = 0, z = 0, c = 0;
  ilStatus status = ilOkay;
  ilPage* page = nullptr;

  void init(int x_, int y_, int z_ = 0, int c_ = 0) {
    x = x_;
    y = y_;
    z = z_;
    c = c_;
    status = ilOkay;
    page = nullptr;
  }
  ilPage* getPage() const { return page; }
};
