// The dab-image cache's budget bounds the memory its entries really take,
// not only their pixels: a pressure stroke of small dabs makes a new entry
// at nearly every dab, and each entry carries an image object and a stamp
// copy far larger than a small dab's pixels.
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>
#include <brenmark/stamp_image.h>

#include <gtest/gtest.h>

namespace {

TEST(StampCacheBudget, SmallDabsCountTheirImageObjectsAgainstTheBudget) {
  StampImageCache& cache = StampImageCache::Shared();
  cache.Empty();
  Stamp* stamp = new Stamp();
  stamp->ref();
  // Radii 0.5 .. 4 in small steps, four phases each: about 1,400 distinct
  // dabs of at most 9 x 9 pixels.
  std::size_t data = 0;
  int lookups = 0;
  for (float r = 0.5f; r <= 4.0f; r += 0.01f) {
    stamp->SetRadius(r);
    for (float f : {0.0f, 0.25f, 0.5f, 0.75f}) {
      StampCacheEntry* e = cache.Lookup(*stamp, f, f);
      ASSERT_EQ(e->image()->Update(), ilOkay);
      data = e->image()->getDataSize();
      ASSERT_GE(e->bytes, data + sizeof(ILStampImg) + sizeof(Stamp) + sizeof(StampCacheEntry));
      ASSERT_LE(cache.Bytes(), cache.Budget());
      ++lookups;
    }
  }
  EXPECT_LE(data, 9u * 9u * 4u);  // the last dab: radius 4
  EXPECT_GT(lookups, 1000);
  // What the entries hold at least stays within the budget.
  const std::size_t perEntry = sizeof(ILStampImg) + sizeof(Stamp) + sizeof(StampCacheEntry);
  EXPECT_LE(static_cast<std::size_t>(cache.Count()) * perEntry, cache.Budget());
  EXPECT_GT(cache.Count(), 100);  // still a working cache
  cache.Empty();
  stamp->unref();
}

}  // namespace
