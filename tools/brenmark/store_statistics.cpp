// Printing the page cache's statistics.
#include "store_statistics.h"

#include <ostream>

namespace brenmark::tool {

void PrintStoreStatistics(std::ostream& out, const SmartImageCacheStatistics& s) {
  if (!s.exists) {
    out << "page cache: not in use yet\n";
    return;
  }
  out << "page cache:\n"
      << "  budget bytes: " << s.budgetBytes << "\n"
      << "  bytes in memory: " << s.bytesInMemory << "\n"
      << "  big pages in memory: " << s.bigPagesInMemory << "\n"
      << "  small pages in memory: " << s.smallPagesInMemory << "\n"
      << "  retained pages: " << s.retainedPages << "\n"
      << "  swapped pages: " << s.swappedPages << "\n"
      << "  swap slots in use: " << s.swapSlotsInUse << "\n"
      << "  pages to scan: " << s.pagesToScan << "\n"
      << "  hits: " << s.hits << "\n"
      << "  misses: " << s.misses << "\n"
      << "  smart images: " << s.smartImages << "\n";
}

}  // namespace brenmark::tool
