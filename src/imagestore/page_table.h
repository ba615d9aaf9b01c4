// SmartImage: the page table of one paged image. It maps every page origin
// of the plane (-102400 ... 102400 on both axes) to a page handle, creates
// entries lazily in 2048 x 2048 clusters, shares one solid default page for
// every untouched entry, keeps the image's bounds and answers page lists for
// rectangles with resident pages first.
//
// Ownership: every non-null slot holds one reference on its page body; the
// table holds two references on the default page and one on the
// out-of-range page. Destroying the table (or pruning a slot) releases them.
#pragma once

#include <cstdint>

#include <brenmark/il_types.h>

#include "imagestore/page.h"
#include "imagestore/store_state.h"

class ilImage;
class ilSmartImage;

struct Coordinate {
  int x = 0;
  int y = 0;
};

struct Rectangle_ {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// One entry of a page list; the terminating entry has a null page.
struct PageListItem {
  int x;
  int y;
  SmartImgPage* page;  // the table's slot
  int locked;          // 1 while this list holds a lock on the page
};

class SmartImage;

// A 2048 x 2048 block of 16 x 16 page slots; a null slot has no entry yet.
class PageCluster {
 public:
  static constexpr int kSize = 2048;
  static constexpr int kPages = kSize / kPageSize;

  PageCluster() = default;
  PageCluster(int x, int y) : x_(x), y_(y) {}
  // References every page of `other`.
  PageCluster(const PageCluster& other);
  // Copies origin, links and handles as raw values (no references taken).
  PageCluster& operator=(const PageCluster& other);
  // Releases every slot (tag 1234007).
  ~PageCluster();

  static void FindOrigin(int x, int y, int& ox, int& oy) {
    ox = x & ~(kSize - 1);
    oy = y & ~(kSize - 1);
  }
  // The slot of page origin (px, py), which must lie in this cluster.
  SmartImgPage* FindPage(int px, int py);
  bool IsIn(int px, int py) const {
    return x_ <= px && px < x_ + kSize && y_ <= py && py < y_ + kSize;
  }
  int x() const { return x_; }
  int y() const { return y_; }
  static int w() { return kSize; }
  static int h() { return kSize; }
  int ux() const { return x_ + kSize; }
  int uy() const { return y_ + kSize; }
  PageCluster* GetNext() const { return next_; }
  PageCluster* GetPrev() const { return prev_; }
  void SetNext(PageCluster* c) { next_ = c; }
  void SetPrev(PageCluster* c) { prev_ = c; }
  // Keeps pages inside the bounds, fills the part of straddling pages
  // outside them with the table's fill, releases pages outside.
  void PrunePages(int x, int y, int w, int h, SmartImage* table);

 private:
  int x_ = 0;
  int y_ = 0;
  PageCluster* next_ = nullptr;
  PageCluster* prev_ = nullptr;
  SmartImgPage pages_[kPages][kPages];  // [column][row]
};

class SmartImage {
 public:
  static constexpr int kMaxCoord = 102400;

  SmartImage();
  // Both produce a fresh, empty table: nothing is copied.
  SmartImage(SmartImage& other);
  SmartImage(SmartImage& other, Coordinate& offset);
  SmartImage& operator=(const SmartImage&) = delete;
  ~SmartImage();

  void CommonInit(int pixelSize, ilSmartImage* parent);
  bool IsValid() const {
    return signature_[0] == brenmark::imagestore::kSignatureValid &&
           signature_[1] == brenmark::imagestore::kSignatureValid;
  }
  void MakeValid();
  void MakeInvalid();

  void SetParent(ilSmartImage* parent) { parent_ = parent; }
  ilSmartImage* GetParent() const { return parent_; }
  void SetPixelSize(int pixelSize);
  int GetPixelSize() const { return pixel_size_; }
  int GetPixelShift() const { return pixel_shift_; }
  unsigned GetFill() const { return fill_; }
  unsigned* GetFillPtr() { return &fill_; }
  void SetFill(unsigned value);
  SmartImgPage* GetDefaultPage() { return &default_page_; }
  const Coordinate& GetOffset() const { return offset_; }
  void ApplyOffset(int& x, int& y) const {
    x += offset_.x;
    y += offset_.y;
  }

  // The default page takes the seed's channel count and fill pixel.
  void SetSeed(ilImage* seed);
  void SetSeed(ilImage* seed, Coordinate& offset);
  ilImage* GetSeed() const;

  static void FindPageOrigin(int x, int y, int& ox, int& oy) {
    SmartImgPage::FindOrigin(x, y, ox, oy);
  }
  static bool IsPageOrigin(int x, int y) {
    return (x & (kPageSize - 1)) == 0 && (y & (kPageSize - 1)) == 0;
  }
  SmartImgPage* FindPage(int x, int y, int create) {
    int ox, oy;
    FindPageOrigin(x, y, ox, oy);
    return FindPageFromOrigin(ox, oy, create);
  }
  SmartImgPage* FindPageFromOrigin(int ox, int oy, int create);

  void GetBounds(int& x, int& y, int& w, int& h) const {
    x = bounds_.x;
    y = bounds_.y;
    w = bounds_.width;
    h = bounds_.height;
  }
  void SetBounds(int x, int y, int w, int h, int keepPages);
  void ExpandBounds(int x, int y, int w, int h);
  void AddToBounds_(const ilTile& tile);

  unsigned GetPixel(int x, int y);
  void SetPixel(int x, int y, unsigned value);
  unsigned GetAdjacentPixel(int dx, int dy, int advance);
  int PixelScan(int x, int y, int step, unsigned value, unsigned mask);

  static int GetPageListSize(const Rectangle_& rect) {
    return ((rect.width + 256) >> 7) * ((rect.height + 256) >> 7) + 1;
  }
  void GetPageList(const Rectangle_& rect, PageListItem* items, int& count, int write, int sort);

  void Lock() {}
  void UnLock() {}
  void RemoveFromClusterList(PageCluster* cluster);
  bool InLastPage(int x, int y) const {
    return last_page_ != nullptr && x >= last_x_ && x < last_x_ + kPageSize && y >= last_y_ &&
           y < last_y_ + kPageSize;
  }

  // Introspection for the store's own checks.
  const PageCluster* FirstCluster() const { return &first_; }
  const PageCluster* LastCluster() const { return last_cluster_; }
  int ClusterCount() const;
  SmartImgPage* GetOutOfRangePage() { return &out_of_range_; }

 private:
  // The seed that supplies the page at (ox, oy), or null.
  ilImage* SeedForPage(int ox, int oy) const;
  bool PageTouchesBounds(int ox, int oy) const;
  void ReplaceDefaultPage(unsigned fill, int pixelSize);
  // Gives back the table's two references on the default page.
  void ReleaseDefaultPage();

  std::uint32_t signature_[2] = {0, 0};
  Coordinate offset_;
  Rectangle_ bounds_;
  unsigned fill_ = 0xFFFFFFFFu;
  SmartImgPage default_page_;
  SmartImgPage out_of_range_;
  PageCluster* last_cluster_ = nullptr;
  int last_x_ = 0;
  int last_y_ = 0;
  SmartImgPage* last_page_ = nullptr;
  PageCluster first_;
  int last_pixel_x_ = 0;
  int last_pixel_y_ = 0;
  std::uint8_t pixel_size_ = 4;
  std::uint8_t pixel_shift_ = 2;
  ilSmartImage* parent_ = nullptr;
};

// Walks the pages of a rectangle (row by row, or resident first when
// sorted), releasing each page's list lock as it moves on.
class PageIterator {
 public:
  PageIterator(SmartImage* table, int x, int y, int w, int h, int write, int sort);
  PageIterator(const PageIterator&) = delete;
  PageIterator& operator=(const PageIterator&) = delete;
  ~PageIterator();

  SmartImgPage* GetNext(int& ox, int& oy);
  SmartImgPage* GetNext();
  bool More() const { return index_ < count_; }
  void Reset() { index_ = 0; }
  int Count() const { return count_; }

 private:
  void Unlock(PageListItem& item);

  // A small rectangle (a dab, an update region) spans a few pages: their
  // list lives in the iterator, larger ones on the heap.
  static constexpr int kInlineItems = 10;
  PageListItem inline_[kInlineItems + 1];
  PageListItem* items_ = nullptr;
  int count_ = 0;
  int index_ = 0;
  int write_ = 0;
};
