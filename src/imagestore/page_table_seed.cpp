// The page table's connections to its image: the seed that supplies
// untouched pages and the bounds kept by the owning image.
#include <algorithm>

#include <brenmark/il.h>
#include <brenmark/smart_image.h>

#include "imagestore/page_table.h"
#include "imagestore/smart_image_p.h"

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

const PageData* SmartImage::PeekPage(int ox, int oy) const {
  for (const PageCluster* c = &first_; c != nullptr; c = c->GetNext()) {
    if (c->IsIn(ox, oy)) return const_cast<PageCluster*>(c)->FindPage(ox, oy)->Body();
  }
  return nullptr;
}

namespace brenmark::imagestore {

bool ChangedSinceSeed(ilSmartImage* image, ilTile& area) {
  ilSmartImage* seed = image != nullptr ? AsSmart(image->GetSeed()) : nullptr;
  if (seed == nullptr) return false;
  SmartImage* own = image->GetSmartImage();
  SmartImage* theirs = seed->GetSmartImage();
  if (own == nullptr || theirs == nullptr || own->GetOffset().x != 0 || own->GetOffset().y != 0 ||
      own->GetFill() != theirs->GetFill() || own->GetPixelSize() != theirs->GetPixelSize()) {
    return false;
  }
  const PageData* ownFill = own->GetDefaultPage()->Body();
  const PageData* seedFill = theirs->GetDefaultPage()->Body();
  const ilTile a = Normalized(image->RealBounds());
  const ilTile b = Normalized(seed->RealBounds());
  const auto touches = [](const ilTile& t, int ox, int oy) {
    return !t.empty() && ox < t.x + t.nx && t.x < ox + kPageSize && oy < t.y + t.ny &&
           t.y < oy + kPageSize;
  };
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool any = false;
  const auto add = [&](int ox, int oy) {
    x0 = any ? std::min(x0, ox) : ox;
    y0 = any ? std::min(y0, oy) : oy;
    x1 = any ? std::max(x1, ox + kPageSize) : ox + kPageSize;
    y1 = any ? std::max(y1, oy + kPageSize) : oy + kPageSize;
    any = true;
  };
  for (const ilTile* r : {&a, &b}) {
    const ilTile& t = *r;
    if (t.empty()) continue;
    int px0, py0, px1, py1;
    SmartImage::FindPageOrigin(t.x, t.y, px0, py0);
    SmartImage::FindPageOrigin(t.x + t.nx - 1, t.y + t.ny - 1, px1, py1);
    for (int oy = py0; oy <= py1; oy += kPageSize) {
      for (int ox = px0; ox <= px1; ox += kPageSize) {
        const bool inA = touches(a, ox, oy), inB = touches(b, ox, oy);
        if (r == &b && inA) continue;  // seen with the image's own bounds
        const PageData* mine = own->PeekPage(ox, oy);
        const PageData* seeds = theirs->PeekPage(ox, oy);
        bool differs;
        if (inA && inB) {
          // A slot never made takes the seed's page when first looked up.
          differs = mine != nullptr && mine != seeds;
        } else if (inA) {
          // The seed shows its fill here; so does a slot never made.
          differs = mine != nullptr && mine != ownFill;
        } else {
          // The image shows its fill here.
          differs = seeds != seedFill;
        }
        if (differs) add(ox, oy);
      }
    }
  }
  area = any ? ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1) : EmptyBounds();
  return true;
}

}  // namespace brenmark::imagestore
