// The page table's connections to its image: the seed that supplies
// untouched pages and the bounds kept by the owning image.
#include <brenmark/il.h>
#include <brenmark/smart_image.h>

#include "imagestore/page_table.h"

namespace {

// The seed's fill as a packed page value: its first byte for one channel,
// its 32-bit word otherwise.
unsigned PackedFill(ilImage* seed, int channels) {
  ilPixel fill(ilUChar, channels == 1 ? 1 : 4);
  seed->getFill(fill);
  unsigned v = 0;
  __builtin_memcpy(&v, fill.elems(), channels == 1 ? 1 : 4);
  return v;
}

}  // namespace

void SmartImage::SetSeed(ilImage* seed) {
  if (seed == nullptr) return;
  const int channels = seed->getCsize() == 1 ? 1 : 4;
  fill_ = PackedFill(seed, channels);
  pixel_size_ = static_cast<std::uint8_t>(channels);
  pixel_shift_ = channels == 1 ? 0 : 2;
  ReplaceDefaultPage(fill_, channels);
}

void SmartImage::SetSeed(ilImage* seed, Coordinate& offset) {
  offset_ = offset;
  SetSeed(seed);
}

ilImage* SmartImage::GetSeed() const {
  return parent_ != nullptr ? parent_->GetSeed() : nullptr;
}

ilImage* SmartImage::SeedForPage(int ox, int oy) const {
  if (parent_ == nullptr) return nullptr;
  ilImage* seed = parent_->GetSeed();
  if (seed == nullptr) return nullptr;
  const ilTile page(ox, oy, 0, kPageSize, kPageSize, 1);
  const ilTile& seedBounds = parent_->SeedBounds();
  return ilTile(page, seedBounds).empty() ? nullptr : seed;
}

void SmartImage::AddToBounds_(const ilTile& tile) {
  if (parent_ != nullptr) {
    parent_->AddToBounds_(tile);
  } else {
    ExpandBounds(tile.x, tile.y, tile.nx, tile.ny);
  }
}
