// The page cache's statistics as the tool prints them for --stats.
#pragma once

#include <brenmark/store_stats.h>

#include <iosfwd>

namespace brenmark::tool {

// One "name: value" line per figure under a heading; a single line saying
// so when the cache does not exist yet.
void PrintStoreStatistics(std::ostream& out, const SmartImageCacheStatistics& s);

}  // namespace brenmark::tool
