// SmartImageCache: the single, process-wide keeper of the page memory
// budget. It allocates and frees page blocks, keeps in-memory pages in
// least-recently-used order, scans freshly written pages to turn uniform
// ones solid, pages the least recently used pages out to two swap files
// when the budget is exceeded, and reads them back on demand.
//
// Invariants: every in-memory page is on exactly one of the small, big or
// retained lists; every swapped page is on the swapped list; a page is on
// the scan list exactly when its `scanned` byte is 0. Bytes in memory is
// the sum of the data sizes of all in-memory pages. A swap slot in use
// belongs to a swapped page, or to an in-memory page whose pixels equal the
// slot's (read back and not written since).
#pragma once

#include <cstddef>
#include <cstdint>

#include <brenmark/observable.h>

#include "imagestore/page.h"
#include "imagestore/store_state.h"
#include "imagestore/swap_file.h"

namespace brenmark::imagestore {

// A doubly linked list of page bodies through their list (or scan) links;
// additions go to the head, the tail is the least recently used.
struct PageChain {
  int count = 0;
  PageData* head = nullptr;
  PageData* tail = nullptr;
};

// An observer of nothing in particular: update and disconnect keep the
// do-nothing defaults.
class SmartImageCache : public Observer {
 public:
  static constexpr std::size_t kMB = std::size_t{1} << 20;
  static constexpr std::size_t kMinBudget = 8 * kMB;
  static constexpr std::size_t kCreationCap = 64 * kMB;
  // Most spare blocks kept of each size (a 2048 x 2048 four-channel layer
  // has 256 pages).
  static constexpr int kSpareSlots = 512;

  // The process's cache, created on first need (registers the exit routine).
  static SmartImageCache* Instance();
  // True once Instance() has created the cache.
  static bool Exists();

  // A cache that is not the process's: reads the total memory and the
  // environment as the process cache does, but owns no pages. Lets the
  // budget rules be exercised on their own.
  SmartImageCache();
  SmartImageCache(const SmartImageCache&) = delete;
  SmartImageCache& operator=(const SmartImageCache&) = delete;

  // Budget in megabytes for a machine of `totalMB` megabytes.
  static std::size_t BudgetMBForMemory(std::size_t totalMB);

  void SetCacheSize(std::size_t bytes);
  void AdjustCacheSize(bool allowShrink, bool aggressiveGrow);
  void IdleStep();
  void PrintStatistics() const;

  void AllocatePageMemory(PageData* page);
  void ReleasePageMemory(PageData* page);
  // Moves an in-memory page to its swap file (or makes it solid when
  // uniform). The caller frees or reuses the block. False, with the page
  // untouched in memory and on its list, when the write failed.
  bool PageOut(PageData* page);
  // Reads a swapped page back. The page keeps its slot as a clean copy
  // until it is written (DropCleanCopy), so a page that is only read pages
  // out again without a write. False, with the page still swapped and its
  // slot kept, when the read failed.
  bool PageIn(PageData* page);
  // Gives back the slot an in-memory page kept as its clean copy; every
  // write to a page's pixels comes through here first (MarkDirty).
  void DropCleanCopy(PageData* page);
  // Pages an in-memory page out and frees its block: one step of trimming.
  bool Evict(PageData* page);

  void AddToInMemList(PageData* page);
  void RemoveFromInMemList(PageData* page);
  void MoveToHeadOfInMemList(PageData* page);
  void AddToRetainedList(PageData* page);
  void RemoveFromRetainedList(PageData* page);
  void AddToScanList(PageData* page);
  void RemoveFromScanList(PageData* page);
  // Scans the newest page of the scan list; false when the list is empty.
  bool ScanHead();
  PageData* FindVictim(bool big);
  void CheckLists();

  void CountHit() { ++hits_; }
  void CountMiss() { ++misses_; }

  // Reads every swapped page back (latching the store first) and closes the
  // swap files that no longer hold slots.
  void PageEverythingIn();
  // The exit routine: latch the store, close and delete both swap files.
  void Shutdown();

  void AddSmartImage() { ++smart_images_; }
  void RemoveSmartImage() { --smart_images_; }
  int SmartImageCount() const { return smart_images_; }
  bool UseOldImageId() const { return use_old_image_id_; }

  std::uint32_t signature() const { return signature_; }
  std::size_t MaxBytes() const { return max_bytes_; }
  std::size_t BytesInMemory() const { return bytes_in_memory_; }
  std::size_t TotalMemoryMB() const { return total_mb_; }
  long long Hits() const { return hits_; }
  long long Misses() const { return misses_; }
  bool ScanPending() const { return scan_pending_; }
  int BigCount() const { return big_.count; }
  int SmallCount() const { return small_.count; }
  int RetainedCount() const { return retained_.count; }
  int SwappedCount() const { return swapped_.count; }
  int ScanCount() const { return scan_.count; }
  const SwapFile& BigSwapFile() const { return big_swap_; }
  const SwapFile& SmallSwapFile() const { return small_swap_; }

 private:
  PageChain& InMemChain(const PageData* page) { return page->size_shift ? big_ : small_; }
  void Link(PageChain& chain, PageData* page, PageList which);
  void Unlink(PageChain& chain, PageData* page);
  SwapFile& SwapFor(const PageData* page) { return page->size_shift ? big_swap_ : small_swap_; }
  // Takes a paged-out victim's block away from it.
  std::uint8_t* TakeBlock(PageData* victim);
  // Freed blocks kept for reuse: a block taken again soon after it was freed
  // is still mapped and warm in cache, where a fresh one faults in every
  // 4 KB. A copy-on-write fill of a whole layer frees and takes back
  // hundreds of blocks at once.
  std::uint8_t* TakeSpare(bool small);
  void KeepSpare(std::uint8_t* block, bool small);
  std::size_t SpareCap() const;
  void NoteRetainedAddition();

  std::uint32_t signature_;
  bool scan_pending_ = false;
  std::size_t max_bytes_ = 0;
  std::size_t bytes_in_memory_ = 0;
  long long hits_ = 0;
  long long misses_ = 0;
  PageChain scan_;
  PageChain big_;
  PageChain small_;
  PageChain retained_;
  PageChain swapped_;
  SwapFile big_swap_;
  SwapFile small_swap_;
  int smart_images_ = 0;
  // Spare blocks by size (0: small, 1: big), most recently freed last; their
  // bytes stay outside bytes in memory and below SpareCap().
  std::uint8_t* spare_[2][kSpareSlots] = {};
  int spare_count_[2] = {0, 0};
  std::size_t spare_bytes_ = 0;
  StoreLock lock_;
  std::size_t total_mb_ = 0;
  bool use_old_image_id_ = false;
  // Retained-list warning: armed until printed, re-armed below 256 pages.
  bool retained_warning_armed_ = true;
  int retained_unreported_ = 0;
};

}  // namespace brenmark::imagestore
