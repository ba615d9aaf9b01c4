// The shared dab-image cache: every distinct dab (profile, opacity level,
// radius table, sub-pixel phase, geometry, sources, noise) is generated once
// and reused by the dabs that follow, within a byte budget.
#pragma once
#include <brenmark/export.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <vector>

class GenericFunction;
class ILStampImg;
class ImagePaintObj;
class Stamp;

// What makes two dab images identical. The colour source is not part of a
// lookup: a hit hands its entry the current colour instead (regenerating it
// when the colour differs). The mask source is, because the mask shapes the
// coverage.
struct BRENMARK_API StampKey {
  const GenericFunction* profile = nullptr;
  const ImagePaintObj* colour = nullptr;  // always null in the cache's keys
  const ImagePaintObj* paint = nullptr;
  const ImagePaintObj* mask = nullptr;
  int level = 0;      // opacity level
  int tableSize = 0;  // radius table size
  int phaseX = 0, phaseY = 0;
  int channels = 0;  // of the colour image (0 without one)
  float k[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  bool noise = false;

  // The key of a stamp's dab at placement fractions (fx, fy).
  static StampKey Of(const Stamp& stamp, float fx, float fy);
  // Profiles compare by identity or by their equality.
  bool operator==(const StampKey& o) const;
  // h = level * 64 + table size * 16 + phase x * 4 + phase y + noise * 128
  //     + trunc(((k00 + k01 * 217) + k10 * 81) + k11 * 3)
  // (the matrix terms in single precision, the whole as an unsigned 32-bit
  // sum); the bucket is h & 255.
  unsigned Bucket() const;
};

// A dab image with its own copy of the stamp it was made from.
//
// Ownership: the entry holds a reference on its stamp copy and on the image
// (which holds one on the copy too); destroying the entry releases both.
class BRENMARK_API StampCacheEntry {
 public:
  // Copies `stamp` and builds the image at phase (px, py).
  StampCacheEntry(const Stamp& stamp, int px, int py);
  StampCacheEntry(const StampCacheEntry&) = delete;
  StampCacheEntry& operator=(const StampCacheEntry&) = delete;
  ~StampCacheEntry();

  Stamp* stamp() const { return stamp_; }
  ILStampImg* image() const { return image_; }
  StampKey key;
  // What the entry takes: its pixels, the entry, the stamp copy, the image
  // object (kept without the tables it generates from) and kEntryOverhead.
  std::size_t bytes = 0;

 private:
  Stamp* stamp_;
  ILStampImg* image_;
};

// Most recently used first, 256 hash buckets over the keys, and a byte
// budget (2 MB unless set): an entry counts all the memory it takes (see
// StampCacheEntry::bytes), so that small dabs, whose pixels are smaller
// than the image object around them, cannot pile up thousands of entries
// under a budget that sees only their pixels.
// A lookup that adds an entry evicts from the least recently used end while
// the byte count exceeds the budget, never the entry it returns, so one dab
// larger than the budget is still drawn (and goes with the next lookup).
//
// The entry a lookup returns stays valid until the next lookup, Empty() or
// SetBudget(); callers that keep an image longer take a reference on it.
class BRENMARK_API StampImageCache {
 public:
  static constexpr std::size_t kDefaultBudget = 2097152;
  // The stamp's observer list, the list node, the bucket slot and the
  // allocator's block headers.
  static constexpr std::size_t kEntryOverhead = 320;
  static constexpr int kBuckets = 256;

  StampImageCache() = default;
  StampImageCache(const StampImageCache&) = delete;
  StampImageCache& operator=(const StampImageCache&) = delete;
  ~StampImageCache();

  // The entry for `stamp`'s dab at placement fractions (fx, fy), found or
  // made, moved to the front.
  StampCacheEntry* Lookup(const Stamp& stamp, float fx, float fy);
  // Values <= 0 are ignored; a lower budget evicts at once.
  void SetBudget(long long bytes);
  std::size_t Budget() const { return budget_; }
  void Empty();

  int Count() const { return static_cast<int>(entries_.size()); }
  std::size_t Bytes() const { return bytes_; }
  long long Hits() const { return hits_; }
  long long Misses() const { return misses_; }

  // The cache the painters' stamp implementations share.
  static StampImageCache& Shared();

 private:
  using List = std::list<StampCacheEntry*>;
  void Evict_(std::size_t keep);
  void Remove_(List::iterator it);

  List entries_;  // most recently used first
  std::array<std::vector<List::iterator>, kBuckets> buckets_;
  std::size_t bytes_ = 0;
  std::size_t budget_ = kDefaultBudget;
  long long hits_ = 0;
  long long misses_ = 0;
};
