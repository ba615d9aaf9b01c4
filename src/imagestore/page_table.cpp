// Page clusters, the page table and page lists.
#include "imagestore/page_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imagestore/store_hooks.h"

using brenmark::imagestore::kSignatureDead;
using brenmark::imagestore::kSignatureValid;
using brenmark::imagestore::RaiseStoreFault;
using brenmark::imagestore::RepeatedStoreMessage;

namespace {

constexpr int kMax = SmartImage::kMaxCoord;

bool Intersects(int ax, int ay, int aw, int ah, int bx, int by, int bw, int bh) {
  return aw > 0 && ah > 0 && bw > 0 && bh > 0 && ax < bx + bw && bx < ax + aw && ay < by + bh &&
         by < ay + ah;
}

bool Contains(int ax, int ay, int aw, int ah, int bx, int by, int bw, int bh) {
  return bx >= ax && by >= ay && bx + bw <= ax + aw && by + bh <= ay + ah;
}

// Sets the part of an in-memory page outside the page-local rectangle
// (bx, by, bw, bh) to `fill`.
void FillOutside(SmartImgPage* page, int bx, int by, int bw, int bh, unsigned fill) {
  std::uint8_t* data = page->GetDataPtr();
  if (data == nullptr) return;
  const int shift = page->GetPixelSize() == 1 ? 0 : 2;
  auto fill_run = [&](int row, int x0, int x1) {
    if (x0 >= x1) return;
    std::uint8_t* p = data + ((row * kPageSize + x0) << shift);
    if (shift == 0) {
      std::memset(p, static_cast<int>(fill & 0xFF), static_cast<std::size_t>(x1 - x0));
    } else {
      const std::uint32_t v = fill;
      for (int x = x0; x < x1; ++x, p += 4) std::memcpy(p, &v, 4);
    }
  };
  const int x0 = std::clamp(bx, 0, kPageSize), x1 = std::clamp(bx + bw, 0, kPageSize);
  const int y0 = std::clamp(by, 0, kPageSize), y1 = std::clamp(by + bh, 0, kPageSize);
  for (int row = 0; row < kPageSize; ++row) {
    if (row < y0 || row >= y1 || x0 >= x1) {
      fill_run(row, 0, kPageSize);
    } else {
      fill_run(row, 0, x0);
      fill_run(row, x1, kPageSize);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// PageCluster

PageCluster::PageCluster(const PageCluster& other) : x_(other.x_), y_(other.y_) {
  for (int c = 0; c < kPages; ++c) {
    for (int r = 0; r < kPages; ++r) {
      pages_[c][r] = other.pages_[c][r];
      pages_[c][r].Ref();
    }
  }
}

PageCluster& PageCluster::operator=(const PageCluster& other) {
  x_ = other.x_;
  y_ = other.y_;
  next_ = other.next_;
  prev_ = other.prev_;
  for (int c = 0; c < kPages; ++c) {
    for (int r = 0; r < kPages; ++r) pages_[c][r] = other.pages_[c][r];
  }
  return *this;
}

PageCluster::~PageCluster() {
  for (auto& column : pages_) {
    for (SmartImgPage& page : column) page.UnRef(kReleaseCluster);
  }
}

SmartImgPage* PageCluster::FindPage(int px, int py) {
  SmartImgPage* slot = &pages_[(px - x_) / kPageSize][(py - y_) / kPageSize];
  if (!slot->IsNull() && !slot->IsValid()) {
    slot->CheckValid();
    RaiseStoreFault();
  }
  return slot;
}

void PageCluster::PrunePages(int x, int y, int w, int h, SmartImage* table) {
  for (int c = 0; c < kPages; ++c) {
    for (int r = 0; r < kPages; ++r) {
      SmartImgPage& slot = pages_[c][r];
      if (slot.IsNull()) continue;
      const int px = x_ + c * kPageSize, py = y_ + r * kPageSize;
      if (Contains(x, y, w, h, px, py, kPageSize, kPageSize)) continue;
      if (Intersects(x, y, w, h, px, py, kPageSize, kPageSize)) {
        if (slot.IsSolidFilled(table->GetFill())) continue;  // already the fill outside
        if (slot.Realize(1) && slot.IsInMemory()) {
          FillOutside(&slot, x - px, y - py, w, h, table->GetFill());
        }
      } else {
        slot.UnRef(kReleasePrune);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// SmartImage

SmartImage::SmartImage() {
  CommonInit(4, nullptr);
}

SmartImage::SmartImage(SmartImage& /*other*/) {
  CommonInit(4, nullptr);
}

SmartImage::SmartImage(SmartImage& /*other*/, Coordinate& /*offset*/) {
  CommonInit(4, nullptr);
}

SmartImage::~SmartImage() {
  for (PageCluster* c = first_.GetNext(); c != nullptr;) {
    PageCluster* next = c->GetNext();
    delete c;
    c = next;
  }
  first_.SetNext(nullptr);
  ReleaseDefaultPage();
  out_of_range_.UnRef(kReleaseTableOutOfRange);
  MakeInvalid();
  last_cluster_ = nullptr;
  last_page_ = nullptr;
}

void SmartImage::MakeValid() {
  signature_[0] = signature_[1] = kSignatureValid;
}

void SmartImage::MakeInvalid() {
  signature_[0] = signature_[1] = kSignatureDead;
}

void SmartImage::CommonInit(int pixelSize, ilSmartImage* parent) {
  MakeValid();
  offset_ = Coordinate{};
  bounds_ = Rectangle_{};
  fill_ = 0xFFFFFFFFu;
  last_cluster_ = nullptr;
  last_page_ = nullptr;
  pixel_size_ = static_cast<std::uint8_t>(pixelSize == 1 ? 1 : 4);
  pixel_shift_ = pixelSize == 1 ? 0 : 2;
  parent_ = parent;
  ReplaceDefaultPage(fill_, pixel_size_);
  out_of_range_.UnRef(kReleaseOutOfRangeReplaced);
}

void SmartImage::ReleaseDefaultPage() {
  if (default_page_.IsNull()) return;
  SmartImgPage second;
  second = default_page_;  // assignment: the pointer only, no reference
  second.UnRef(kReleaseTableDefault);
  default_page_.UnRef(kReleaseTableDefault2);
}

void SmartImage::ReplaceDefaultPage(unsigned fill, int pixelSize) {
  ReleaseDefaultPage();
  default_page_ = SmartImgPage(fill, pixelSize);
  default_page_.Ref();  // the table holds two references
  last_page_ = nullptr;
}

void SmartImage::SetPixelSize(int pixelSize) {
  pixel_size_ = static_cast<std::uint8_t>(pixelSize == 1 ? 1 : 4);
  pixel_shift_ = pixelSize == 1 ? 0 : 2;
  if (default_page_.GetPixelSize() != pixel_size_) ReplaceDefaultPage(fill_, pixel_size_);
}

void SmartImage::SetFill(unsigned value) {
  fill_ = value;
  default_page_.SetFillValue(value);
}

bool SmartImage::PageTouchesBounds(int ox, int oy) const {
  return Intersects(ox, oy, kPageSize, kPageSize, bounds_.x, bounds_.y, bounds_.width,
                    bounds_.height);
}

SmartImgPage* SmartImage::FindPageFromOrigin(int ox, int oy, int create) {
  if (!default_page_.IsValid()) RaiseStoreFault();
  const bool touches = PageTouchesBounds(ox, oy);
  if (!touches && !create) return &default_page_;
  if (ox < -kMax || ox > kMax || oy < -kMax || oy > kMax) {
    RepeatedStoreMessage("SID: Warning: Exceeding Max coord range of %d to %d\n", -kMax, kMax);
    out_of_range_.UnRef(kReleaseOutOfRangeReplaced);
    out_of_range_ = SmartImgPage(fill_, pixel_size_);
    return &out_of_range_;
  }
  if (last_page_ != nullptr && ox == last_x_ && oy == last_y_ && last_page_->IsValid()) {
    return last_page_;
  }
  ilImage* seed = touches ? SeedForPage(ox, oy) : nullptr;

  PageCluster* cluster = nullptr;
  if (first_.IsIn(ox, oy)) {
    cluster = &first_;
  } else if (last_cluster_ != nullptr && last_cluster_->IsIn(ox, oy)) {
    cluster = last_cluster_;
  } else {
    for (PageCluster* c = first_.GetNext(); c != nullptr; c = c->GetNext()) {
      if (c->IsIn(ox, oy)) {
        cluster = c;
        break;
      }
    }
    if (cluster == nullptr) {
      int cx, cy;
      PageCluster::FindOrigin(ox, oy, cx, cy);
      cluster = new PageCluster(cx, cy);
      cluster->SetPrev(&first_);
      cluster->SetNext(first_.GetNext());
      if (first_.GetNext() != nullptr) first_.GetNext()->SetPrev(cluster);
      first_.SetNext(cluster);
    }
    last_cluster_ = cluster;
  }

  SmartImgPage* slot = cluster->FindPage(ox, oy);
  if (slot->IsNull()) {
    if (seed != nullptr) {
      slot->SetSeed(seed, ox, oy);
      // A non-paged seed is read at once: the table never keeps a pointer
      // to an image it holds no reference on.
      if (slot->Body() != nullptr && slot->Body()->state == kPageSeedRef) slot->CopyFromSeed();
    } else {
      slot->Reference(&default_page_);
    }
  }
  last_x_ = ox;
  last_y_ = oy;
  last_page_ = slot;
  if (!slot->IsValid() || slot->Body()->state == kPageInvalid) RaiseStoreFault();
  return slot;
}

void SmartImage::SetBounds(int x, int y, int w, int h, int keepPages) {
  bool clipped = false;
  auto clamp_origin = [&clipped](int& v) {
    if (v < -kMax) {
      v = -kMax;
      clipped = true;
    } else if (v > kMax) {
      v = kMax;
      clipped = true;
    }
  };
  clamp_origin(x);
  clamp_origin(y);
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (w > kMax - x) {
    w = kMax - x;
    clipped = true;
  }
  if (h > kMax - y) {
    h = kMax - y;
    clipped = true;
  }
  if (clipped) RepeatedStoreMessage("SID: SmartImage had to clip an image op to fit +- %d\n", kMax);
  bounds_ = Rectangle_{x, y, w, h};
  if (keepPages) return;
  for (PageCluster* c = first_.GetNext(); c != nullptr;) {
    PageCluster* next = c->GetNext();
    if (Contains(x, y, w, h, c->x(), c->y(), PageCluster::kSize, PageCluster::kSize)) {
      // wholly inside: every page stays
    } else if (Intersects(x, y, w, h, c->x(), c->y(), PageCluster::kSize, PageCluster::kSize)) {
      c->PrunePages(x, y, w, h, this);
    } else {
      RemoveFromClusterList(c);
      delete c;
      last_cluster_ = nullptr;
    }
    c = next;
  }
  first_.PrunePages(x, y, w, h, this);
  last_page_ = nullptr;
}

void SmartImage::ExpandBounds(int x, int y, int w, int h) {
  const int x0 = std::min(bounds_.x, x), y0 = std::min(bounds_.y, y);
  const int x1 = std::max(bounds_.x + bounds_.width - 1, x + w - 1);
  const int y1 = std::max(bounds_.y + bounds_.height - 1, y + h - 1);
  bounds_ = Rectangle_{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

void SmartImage::RemoveFromClusterList(PageCluster* cluster) {
  if (cluster == nullptr || cluster == &first_) return;
  if (cluster->GetPrev() != nullptr) cluster->GetPrev()->SetNext(cluster->GetNext());
  if (cluster->GetNext() != nullptr) cluster->GetNext()->SetPrev(cluster->GetPrev());
  cluster->SetNext(nullptr);
  cluster->SetPrev(nullptr);
  if (cluster == last_cluster_) {
    last_cluster_ = nullptr;
    last_page_ = nullptr;
  }
  // The one-entry cache must not point into a cluster that goes away.
  if (last_page_ != nullptr && cluster->IsIn(last_x_, last_y_)) last_page_ = nullptr;
}

int SmartImage::ClusterCount() const {
  int n = 0;
  for (const PageCluster* c = &first_; c != nullptr; c = c->GetNext()) ++n;
  return n;
}

unsigned SmartImage::GetPixel(int x, int y) {
  last_pixel_x_ = x;
  last_pixel_y_ = y;
  SmartImgPage* page = InLastPage(x, y) ? last_page_ : FindPage(x, y, 0);
  if (!page->IsInMemory() && !page->IsSolidFilled()) page->Realize(0);
  if (page->IsInMemory()) return page->GetPixel(x & (kPageSize - 1), y & (kPageSize - 1));
  const unsigned fill = page->GetFillValue();
  return pixel_size_ == 1 ? fill & 0xFF : fill;
}

void SmartImage::SetPixel(int x, int y, unsigned value) {
  SmartImgPage* page = InLastPage(x, y) ? last_page_ : FindPage(x, y, 1);
  if (!(page->IsInMemory() && page->GetRefCnt() < 2)) {
    if (!page->Realize(1) || !page->IsInMemory()) return;
  } else {
    // Written in place: the cached transparency and any clean swap copy
    // no longer describe the page.
    page->MarkDirty();
  }
  std::uint8_t* data = page->GetDataPtr();
  const int i = SmartImgPage::GetPixelOffset(x & (kPageSize - 1), y & (kPageSize - 1));
  if (pixel_size_ == 1) {
    data[i] = static_cast<std::uint8_t>(value);
  } else {
    const std::uint32_t v = value;
    std::memcpy(data + 4 * i, &v, 4);
  }
}

unsigned SmartImage::GetAdjacentPixel(int dx, int dy, int advance) {
  const int x = last_pixel_x_, y = last_pixel_y_;
  const unsigned v = GetPixel(x + dx, y + dy);
  if (!advance) {
    last_pixel_x_ = x;
    last_pixel_y_ = y;
  }
  return v;
}

int SmartImage::PixelScan(int x, int y, int step, unsigned value, unsigned mask) {
  const int left = bounds_.x, right = bounds_.x + bounds_.width;
  while (x >= left && x < right) {
    if ((GetPixel(x, y) & mask) == value) return x;
    if (step == 0) return right;  // a zero step would never leave the range
    x += step;
  }
  return x;
}

namespace {

// Resident pages first, the most recently used first; other non-swapped
// pages next; swapped pages last in file order, so reads sweep the swap file
// forwards. A total order, so the sort is well defined.
int PageRank(const SmartImgPage* p) {
  if (p->IsInMemory()) return 0;
  if (p->IsSwapped()) return 2;
  return 1;
}

bool ListOrder(const PageListItem& a, const PageListItem& b) {
  const int ra = PageRank(a.page), rb = PageRank(b.page);
  if (ra != rb) return ra < rb;
  if (ra == 0) return a.page->GetLastAccessTime() > b.page->GetLastAccessTime();
  if (ra == 2) return a.page->GetFileOffset() < b.page->GetFileOffset();
  return false;
}

}  // namespace

void SmartImage::GetPageList(const Rectangle_& rect, PageListItem* items, int& count, int write,
                             int sort) {
  const int x = std::max(rect.x, -kMax), y = std::max(rect.y, -kMax);
  int px0, py0;
  FindPageOrigin(x, y, px0, py0);
  const int dx = x - px0, dy = y - py0;
  count = 0;
  bool resident = true;
  for (int py = py0, hrem = rect.height + dy; hrem > 0 && py < kMax;
       py += kPageSize, hrem -= kPageSize) {
    for (int px = px0, wrem = rect.width + dx; wrem > 0 && px < kMax;
         px += kPageSize, wrem -= kPageSize) {
      SmartImgPage* page = FindPageFromOrigin(px, py, write);
      int locked = 0;
      if (page != nullptr && page->Body() != nullptr) {
        if (write)
          page->Body()->lock.WriteLock(-1, 0);
        else
          page->Body()->lock.ReadLock(-1, 0);
        locked = 1;
        if (!page->IsInMemory() && (write || !page->IsSolidFilled())) resident = false;
      }
      items[count++] = PageListItem{px, py, page, locked};
    }
  }
  items[count] = PageListItem{0, 0, nullptr, 0};
  if (sort && count > 4 && !resident) std::stable_sort(items, items + count, ListOrder);
}

// ---------------------------------------------------------------------------
// PageIterator

PageIterator::PageIterator(SmartImage* table, int x, int y, int w, int h, int write, int sort)
    : write_(write) {
  if (w < 1 || h < 1 || table == nullptr) return;
  const Rectangle_ rect{x, y, w, h};
  const int size = SmartImage::GetPageListSize(rect);
  items_ = size <= kInlineItems ? inline_
                                : static_cast<PageListItem*>(std::calloc(
                                      static_cast<std::size_t>(size + 1), sizeof(PageListItem)));
  if (items_ == nullptr) return;
  table->GetPageList(rect, items_, count_, write, sort);
}

PageIterator::~PageIterator() {
  for (int i = 0; i < count_; ++i) Unlock(items_[i]);
  if (items_ != inline_) std::free(items_);
}

void PageIterator::Unlock(PageListItem& item) {
  if (!item.locked) return;
  if (item.page != nullptr && item.page->Body() != nullptr) {
    if (write_)
      item.page->Body()->lock.UnLock();
    else
      item.page->Body()->lock.UnReadLock();
  }
  item.locked = 0;
}

SmartImgPage* PageIterator::GetNext(int& ox, int& oy) {
  if (index_ > 0 && index_ <= count_) Unlock(items_[index_ - 1]);
  if (index_ >= count_) {
    ox = oy = 0;
    return nullptr;
  }
  PageListItem& item = items_[index_++];
  ox = item.x;
  oy = item.y;
  return item.page;
}

SmartImgPage* PageIterator::GetNext() {
  if (index_ >= count_) return nullptr;
  return items_[index_++].page;
}
