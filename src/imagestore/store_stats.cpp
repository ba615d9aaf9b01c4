// The page cache's statistics as a plain public snapshot.
#include "brenmark/store_stats.h"

#include "imagestore/page_cache.h"

using brenmark::imagestore::SmartImageCache;

SmartImageCacheStatistics GetSmartImageCacheStatistics() {
  SmartImageCacheStatistics s;
  if (!SmartImageCache::Exists()) return s;
  const SmartImageCache& c = *SmartImageCache::Instance();
  s.exists = true;
  s.budgetBytes = static_cast<std::int64_t>(c.MaxBytes());
  s.bytesInMemory = static_cast<std::int64_t>(c.BytesInMemory());
  s.totalMemoryMB = static_cast<std::int64_t>(c.TotalMemoryMB());
  s.hits = c.Hits();
  s.misses = c.Misses();
  s.bigPagesInMemory = c.BigCount();
  s.smallPagesInMemory = c.SmallCount();
  s.retainedPages = c.RetainedCount();
  s.swappedPages = c.SwappedCount();
  s.pagesToScan = c.ScanCount();
  s.swapSlotsInUse = c.BigSwapFile().SlotsInUse() + c.SmallSwapFile().SlotsInUse();
  s.smartImages = c.SmartImageCount();
  return s;
}
