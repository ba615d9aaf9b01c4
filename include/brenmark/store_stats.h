// Statistics of the process-wide page cache, the keeper of the memory
// budget that the pages of every smart image share: a plain snapshot for
// tools and diagnostics.
#pragma once
#include <brenmark/export.h>

#include <cstdint>

struct BRENMARK_API SmartImageCacheStatistics {
  // False until the first page operation brought the cache into being; every
  // other field is then 0.
  bool exists = false;
  std::int64_t budgetBytes = 0;    // the memory budget of all page blocks
  std::int64_t bytesInMemory = 0;  // bytes of the page blocks held in memory now
  std::int64_t totalMemoryMB = 0;  // the machine's memory as the host reported it
  std::int64_t hits = 0;           // page accesses served from memory
  std::int64_t misses = 0;         // page accesses that read a page back from a swap file
  int bigPagesInMemory = 0;        // four-byte pages in memory
  int smallPagesInMemory = 0;      // one-byte pages in memory
  int retainedPages = 0;           // pinned pages, never paged out
  int swappedPages = 0;            // pages whose pixels are in a swap file
  int pagesToScan = 0;             // written since their last uniformity scan
  int swapSlotsInUse = 0;          // slots of both swap files holding pages
  int smartImages = 0;             // live smart images
};

// The statistics as they are now. Asking never creates the cache.
BRENMARK_API SmartImageCacheStatistics GetSmartImageCacheStatistics();
