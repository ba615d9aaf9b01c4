// The page cache: budget, least-recently-used lists, scans, page-out and
// page-in.
#include "imagestore/page_cache.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imagestore/store_hooks.h"
#include "platform/diagnostics.h"

namespace brenmark::imagestore {
namespace {

constexpr std::size_t kSmallBlock = kPagePixels;
constexpr std::size_t kBigBlock = kPagePixels * 4;

SmartImageCache* g_cache = nullptr;

void ExitRoutine() {
  if (g_cache != nullptr) g_cache->Shutdown();
}

std::size_t BlockSize(const PageData* page) {
  return std::size_t{kPagePixels} << page->size_shift;
}

// Marker values at the four corner pixels of a fresh block: a page whose
// content was never written shows them.
void MarkCorners(PageData* page) {
  static constexpr int kCorner[4] = {0, 127, 16256, 16383};
  for (int i = 0; i < 4; ++i) {
    if (page->size_shift == 0) {
      page->data[kCorner[i]] = static_cast<std::uint8_t>(0x11 * (i + 1));
    } else {
      const std::uint32_t v = 0x11111111u * static_cast<std::uint32_t>(i + 1);
      std::memcpy(page->data + 4 * kCorner[i], &v, 4);
    }
  }
}

void FillWords(std::uint8_t* data, std::size_t bytes, std::uint32_t word) {
  for (std::size_t i = 0; i < bytes; i += 4) std::memcpy(data + i, &word, 4);
}

}  // namespace

SmartImageCache* SmartImageCache::Instance() {
  if (g_cache == nullptr) {
    g_cache = new SmartImageCache();
    std::atexit(ExitRoutine);
  }
  return g_cache;
}

bool SmartImageCache::Exists() {
  return g_cache != nullptr;
}

SmartImageCache::SmartImageCache()
    : signature_(kSignatureValid), big_swap_(kBigBlock), small_swap_(kSmallBlock) {
  total_mb_ = TotalMemoryKB() / 1024;
  max_bytes_ = std::min(BudgetMBForMemory(total_mb_) * kMB, kCreationCap);
  if (StoreChecking()) StoreMessage("SID: SmartImage checking is enabled.\n");
  if (std::getenv("NORVANE_QV_USE_OLD_IMAGEID") != nullptr) {
    use_old_image_id_ = true;
    StoreMessage("\nSID: Using Old ImageID method. Performance may be degraded.\n");
    StoreMessage("Quorvel: to use the new method, unsetenv NORVANE_QV_USE_OLD_IMAGEID\n\n");
  }
}

std::size_t SmartImageCache::BudgetMBForMemory(std::size_t m) {
  if (m < 64) return 12;
  if (m < 96) return m - 48;
  if (m < 128) return m - 64;
  if (m < 192) return m - 80;
  if (m < 256) return m - 96;
  if (m < 384) return m - 128;
  if (m < 768) return m - 192;
  return m - 256;
}

void SmartImageCache::SetCacheSize(std::size_t requested) {
  if (StoreFault() != 0) return;
  max_bytes_ = std::max(std::min(requested, BudgetMBForMemory(total_mb_) * kMB), kMinBudget);
  // A smaller budget keeps fewer spares: big ones go first.
  while (spare_bytes_ > SpareCap()) {
    const bool small = spare_count_[1] == 0;
    std::free(TakeSpare(small));
  }
  while (bytes_in_memory_ > max_bytes_ && ScanHead()) {
  }
  // Trim: big pages go three to one before small ones.
  while (max_bytes_ <= bytes_in_memory_) {
    bool progressed = false;
    for (int i = 0; i < 3 && max_bytes_ <= bytes_in_memory_; ++i) {
      PageData* victim = FindVictim(true);
      if (victim == nullptr || !Evict(victim)) break;
      progressed = true;
    }
    if (max_bytes_ <= bytes_in_memory_) {
      PageData* victim = FindVictim(false);
      if (victim != nullptr && Evict(victim)) progressed = true;
    }
    if (!progressed || StoreFault() != 0) break;
  }
}

void SmartImageCache::AdjustCacheSize(bool allowShrink, bool aggressiveGrow) {
  const long long available_mb = AvailableMemoryKB() / 1024;
  const long long mb = static_cast<long long>(kMB);
  long long budget = static_cast<long long>(max_bytes_);
  if (allowShrink && available_mb < 32) {
    budget = std::min(budget - 16 * mb, static_cast<long long>(bytes_in_memory_));
    budget = std::max(budget, 24 * mb);
  } else if (available_mb > 40) {
    const long long grow = aggressiveGrow ? std::min(available_mb - 34, 16LL) : available_mb - 40;
    budget += grow * mb;
  }
  // An unchanged budget that memory does not exceed leaves nothing to trim:
  // the allocation that asked then pages a victim out and takes over its
  // block, instead of freeing one block here and allocating another.
  if (static_cast<std::size_t>(budget) == max_bytes_ && bytes_in_memory_ <= max_bytes_) return;
  SetCacheSize(static_cast<std::size_t>(budget));
}

void SmartImageCache::IdleStep() {
  if (StoreFault() != 0) return;
  ScanHead();
  if (scan_.count == 0) {
    scan_pending_ = false;
    AdjustCacheSize(true, false);
  } else {
    scan_pending_ = true;
  }
}

void SmartImageCache::PrintStatistics() const {
  brenmark::platform::Diagnostic("Maximum Cache Size: %lld, Hits: %lld, Misses: %lld.\n",
                                 static_cast<long long>(max_bytes_), hits_, misses_);
  brenmark::platform::Diagnostic(
      "In Memory Pages -- Big: %d, Small: %d, Locked: %d, Total Bytes %lld\n", big_.count,
      small_.count, retained_.count, static_cast<long long>(bytes_in_memory_));
  brenmark::platform::Diagnostic("Dirty Pages on scan list: %d\n", scan_.count);
}

void SmartImageCache::AllocatePageMemory(PageData* page) {
  const bool small = page->size_shift == 0;
  const std::size_t size = BlockSize(page);
  const bool evictable =
      StoreFault() == 0 && (small ? big_.count + small_.count > 0 : big_.count > 0);
  while (bytes_in_memory_ > max_bytes_ - max_bytes_ / 4 && ScanHead()) {
  }
  if (bytes_in_memory_ >= max_bytes_) AdjustCacheSize(false, true);

  std::uint8_t* block = nullptr;
  if (bytes_in_memory_ >= max_bytes_ && evictable) {
    PageData* victim = FindVictim(!small);
    if (victim != nullptr && StoreFault() == 0 && PageOut(victim)) {
      block = TakeBlock(victim);  // same size: bytes in memory unchanged
    } else if (small) {
      victim = StoreFault() == 0 ? FindVictim(true) : nullptr;
      if (victim != nullptr && PageOut(victim)) {
        std::uint8_t* big = TakeBlock(victim);
        block = static_cast<std::uint8_t*>(std::realloc(big, kSmallBlock));
        if (block == nullptr) block = big;  // shrinking in place cannot really fail
        bytes_in_memory_ -= kBigBlock - kSmallBlock;
      } else {
        StoreMessage("SID: Allocated Small Page when it shouldn't be necessary\n");
      }
    } else {
      StoreMessage("SID: Allocated Big Page when it shouldn't be necessary (%d)\n", big_.count);
    }
  }
  if (block == nullptr) {
    block = TakeSpare(small);
    if (block == nullptr) block = static_cast<std::uint8_t*>(std::malloc(size));
    if (block == nullptr) {
      StoreMessage("SID: Error: out of memory for a page\n");
      std::abort();
    }
    bytes_in_memory_ += size;
    page->data = block;
    MarkCorners(page);
  }
  page->data = block;
  page->state = kPageValidInMem;
  AddToInMemList(page);
  if (StoreChecking()) {
    if (small)
      std::memset(block, 0x35, size);
    else
      FillWords(block, size, 0xFF10FF10u);
  }
}

void SmartImageCache::ReleasePageMemory(PageData* page) {
  if (page->state == kPageValidInMem) {
    if (page->list == PageList::kRetained) {
      RaiseStoreFault();  // a pinned page keeps its memory
      return;
    }
    DropCleanCopy(page);
    RemoveFromInMemList(page);
    RemoveFromScanList(page);
    const std::size_t size = BlockSize(page);
    if (StoreChecking()) {
      if (page->size_shift == 0)
        std::memset(page->data, 0xA5, size);
      else
        FillWords(page->data, size, 0xFF1010FFu);
    }
    KeepSpare(page->data, page->size_shift == 0);
    page->data = nullptr;
    bytes_in_memory_ -= size;
  } else if (page->state == kPageSwapped) {
    SwapFor(page).FreeSlot(page->slot);
    page->slot = nullptr;
    Unlink(swapped_, page);
  }
  page->state = kPageFreed;
  CheckLists();
}

bool SmartImageCache::PageOut(PageData* page) {
  if (page->state != kPageValidInMem || page->data == nullptr) {
    RaiseStoreFault();
    return false;
  }
  if (PageIsUniform(page, 0, 0, kPageSize, kPageSize)) {
    DropCleanCopy(page);
    std::uint32_t fill = page->data[0];
    if (page->size_shift != 0) std::memcpy(&fill, page->data, 4);
    RemoveFromInMemList(page);
    RemoveFromScanList(page);
    page->state = kPageSolid;
    page->fill = fill;
    CheckLists();
    return true;
  }
  SwapSlot* slot = page->slot;  // a clean copy: read back and not written since
  if (slot == nullptr) {
    SwapFile& file = SwapFor(page);
    slot = file.AllocSlot();
    if (!file.Write(slot, page->data)) {
      // Nothing was moved: the page keeps its memory and its place. The
      // store latches so that it stops relying on the swap file.
      file.FreeSlot(slot);
      RaiseStoreFault();
      return false;
    }
  }
  RemoveFromInMemList(page);
  RemoveFromScanList(page);
  page->state = kPageSwapped;
  page->slot = slot;
  Link(swapped_, page, PageList::kSwapped);
  CheckLists();
  return true;
}

bool SmartImageCache::PageIn(PageData* page) {
  if (page->state != kPageSwapped || page->slot == nullptr) {
    RaiseStoreFault();
    return false;
  }
  SwapSlot* slot = page->slot;
  SwapFile& file = SwapFor(page);
  Unlink(swapped_, page);
  page->slot = nullptr;
  AllocatePageMemory(page);
  if (!file.Read(slot, page->data)) {
    // Keep the page swapped with its slot, so a later access can try again.
    RemoveFromInMemList(page);
    std::free(page->data);
    page->data = nullptr;
    bytes_in_memory_ -= BlockSize(page);
    page->state = kPageSwapped;
    page->slot = slot;
    Link(swapped_, page, PageList::kSwapped);
    RaiseStoreFault();
    CheckLists();
    return false;
  }
  // The slot stays with the page as a clean copy until the page is written,
  // so paging it out again costs no write.
  page->slot = slot;
  CheckLists();
  return true;
}

void SmartImageCache::DropCleanCopy(PageData* page) {
  if (page->slot == nullptr || page->state != kPageValidInMem) return;
  SwapFor(page).FreeSlot(page->slot);
  page->slot = nullptr;
}

bool SmartImageCache::Evict(PageData* page) {
  if (page->state != kPageValidInMem || page->priority == 255) return false;
  if (!PageOut(page)) return false;
  std::free(TakeBlock(page));
  bytes_in_memory_ -= BlockSize(page);
  return true;
}

// A quarter of the budget at most, and never more than 32 MB: the spares
// are memory the budget does not count.
std::size_t SmartImageCache::SpareCap() const {
  return std::min(max_bytes_ / 4, 32 * kMB);
}

std::uint8_t* SmartImageCache::TakeSpare(bool small) {
  int& n = spare_count_[small ? 0 : 1];
  if (n == 0) return nullptr;
  std::uint8_t* block = spare_[small ? 0 : 1][--n];
  spare_bytes_ -= small ? kSmallBlock : kBigBlock;
  return block;
}

void SmartImageCache::KeepSpare(std::uint8_t* block, bool small) {
  const std::size_t size = small ? kSmallBlock : kBigBlock;
  int& n = spare_count_[small ? 0 : 1];
  if (n == kSpareSlots || spare_bytes_ + size > SpareCap()) {
    std::free(block);
    return;
  }
  spare_[small ? 0 : 1][n++] = block;
  spare_bytes_ += size;
}

std::uint8_t* SmartImageCache::TakeBlock(PageData* victim) {
  std::uint8_t* block = victim->data;
  victim->data = nullptr;
  return block;
}

void SmartImageCache::Link(PageChain& chain, PageData* page, PageList which) {
  page->list_prev = nullptr;
  page->list_next = chain.head;
  if (chain.head != nullptr)
    chain.head->list_prev = page;
  else
    chain.tail = page;
  chain.head = page;
  ++chain.count;
  page->list = which;
}

void SmartImageCache::Unlink(PageChain& chain, PageData* page) {
  if (page->list_prev != nullptr)
    page->list_prev->list_next = page->list_next;
  else
    chain.head = page->list_next;
  if (page->list_next != nullptr)
    page->list_next->list_prev = page->list_prev;
  else
    chain.tail = page->list_prev;
  page->list_next = page->list_prev = nullptr;
  --chain.count;
  page->list = PageList::kNone;
}

void SmartImageCache::AddToInMemList(PageData* page) {
  if (page->list != PageList::kNone) return;
  Link(InMemChain(page), page, page->size_shift ? PageList::kBig : PageList::kSmall);
  CheckLists();
}

void SmartImageCache::RemoveFromInMemList(PageData* page) {
  if (page->list != PageList::kSmall && page->list != PageList::kBig) return;
  Unlink(InMemChain(page), page);
  CheckLists();
}

void SmartImageCache::MoveToHeadOfInMemList(PageData* page) {
  if (page->list != PageList::kSmall && page->list != PageList::kBig) return;
  PageChain& chain = InMemChain(page);
  if (chain.head == page) return;
  Unlink(chain, page);
  Link(chain, page, page->size_shift ? PageList::kBig : PageList::kSmall);
}

void SmartImageCache::AddToRetainedList(PageData* page) {
  if (page->list == PageList::kRetained) return;
  if (page->list != PageList::kNone) RemoveFromInMemList(page);
  Link(retained_, page, PageList::kRetained);
  NoteRetainedAddition();
  CheckLists();
}

void SmartImageCache::RemoveFromRetainedList(PageData* page) {
  if (page->list != PageList::kRetained) return;
  Unlink(retained_, page);
  if (retained_.count < 256) {
    retained_warning_armed_ = true;
    retained_unreported_ = 0;
  }
  CheckLists();
}

void SmartImageCache::NoteRetainedAddition() {
  if (retained_.count <= 512) return;
  if (retained_warning_armed_) {
    StoreMessage("SID: WARNING -- SmartImage Locked list count = %4d, %3d\n", retained_.count,
                 retained_unreported_);
    retained_warning_armed_ = false;
    retained_unreported_ = 0;
  } else if (++retained_unreported_ >= 257) {
    StoreMessage("SID: WARNING -- SmartImage Locked list count = %4d, %3d\n", retained_.count,
                 retained_unreported_);
    retained_unreported_ = 0;
  }
}

void SmartImageCache::AddToScanList(PageData* page) {
  if (page->scanned == 0) return;
  page->scan_prev = nullptr;
  page->scan_next = scan_.head;
  if (scan_.head != nullptr)
    scan_.head->scan_prev = page;
  else
    scan_.tail = page;
  scan_.head = page;
  ++scan_.count;
  page->scanned = 0;
  scan_pending_ = true;
}

void SmartImageCache::RemoveFromScanList(PageData* page) {
  if (page->scanned != 0) return;
  if (page->scan_prev != nullptr)
    page->scan_prev->scan_next = page->scan_next;
  else
    scan_.head = page->scan_next;
  if (page->scan_next != nullptr)
    page->scan_next->scan_prev = page->scan_prev;
  else
    scan_.tail = page->scan_prev;
  page->scan_next = page->scan_prev = nullptr;
  --scan_.count;
  page->scanned = 1;
}

bool SmartImageCache::ScanHead() {
  if (scan_.head == nullptr) return false;
  SmartImgPage::Wrap(scan_.head).CheckForSolidIn(0, 0, kPageSize, kPageSize);
  return true;
}

PageData* SmartImageCache::FindVictim(bool big) {
  for (PageData* p = (big ? big_ : small_).tail; p != nullptr; p = p->list_prev) {
    if (p->state == kPageValidInMem && p->signature == kSignatureValid && p->data != nullptr &&
        p->priority < 255 && !p->lock.IsReadLocked() && !p->lock.IsWriteLocked()) {
      return p;
    }
  }
  return nullptr;
}

void SmartImageCache::CheckLists() {
  if (!StoreChecking() || StoreFault() != 0) return;
  auto length = [](PageData* head, bool scan) {
    int n = 0;
    for (PageData* p = head; p != nullptr; p = scan ? p->scan_next : p->list_next) ++n;
    return n;
  };
  auto slots = [](SwapSlot* head) {
    int n = 0;
    for (SwapSlot* s = head; s != nullptr; s = s->next) ++n;
    return n;
  };
  if (length(big_.head, false) != big_.count || length(small_.head, false) != small_.count ||
      length(retained_.head, false) != retained_.count ||
      length(swapped_.head, false) != swapped_.count || length(scan_.head, true) != scan_.count ||
      slots(big_swap_.UsedHead()) != big_swap_.SlotsInUse() ||
      slots(small_swap_.UsedHead()) != small_swap_.SlotsInUse()) {
    RaiseStoreFault();
  }
}

void SmartImageCache::PageEverythingIn() {
  RaiseStoreFault();
  while (swapped_.head != nullptr) {
    if (!PageIn(swapped_.head)) break;
  }
  for (PageChain* chain : {&big_, &small_, &retained_}) {
    for (PageData* p = chain->head; p != nullptr; p = p->list_next) DropCleanCopy(p);
  }
  big_swap_.CloseIfUnused();
  small_swap_.CloseIfUnused();
}

void SmartImageCache::Shutdown() {
  RaiseStoreFault();
  big_swap_.Close();
  small_swap_.Close();
}

}  // namespace brenmark::imagestore
