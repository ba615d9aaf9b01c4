// The shared dab-image cache: keys, buckets, most-recently-used order and the
// byte budget.
#include <brenmark/stamp_cache.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include <brenmark/generic_function.h>
#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_image.h>

#include "brush/profile_tables.h"

// ---- StampKey.

namespace {

// The geometry of the last stamp placement looked up: a stroke asks for the
// same radius, aspect, angle and transform dab after dab, and the geometry
// (trigonometry and rounding) is the costly part of a key. Inputs compare
// by their bits.
struct GeometryInputs {
  std::uint32_t bits[7] = {};
  bool operator==(const GeometryInputs& o) const { return std::equal(bits, bits + 7, o.bits); }
};

GeometryInputs InputsOf(const Stamp& stamp) {
  float v[7];
  v[0] = stamp.GetRadius();
  v[1] = stamp.GetAspect();
  v[2] = stamp.GetAngle();
  stamp.GetTransform(v[3], v[4], v[5], v[6]);
  GeometryInputs in;
  for (int i = 0; i < 7; ++i) in.bits[i] = std::bit_cast<std::uint32_t>(v[i]);
  return in;
}

const StampGeometry& GeometryOf(const Stamp& stamp) {
  static GeometryInputs last;
  static StampGeometry geometry;
  static bool valid = false;
  const GeometryInputs in = InputsOf(stamp);
  if (!valid || !(in == last)) {
    geometry = ComputeStampGeometry(stamp);
    last = in;
    valid = true;
  }
  return geometry;
}

}  // namespace

StampKey StampKey::Of(const Stamp& stamp, float fx, float fy) {
  StampKey key;
  key.profile = stamp.GetProfile();
  key.paint = stamp.GetPaintSource();
  key.mask = stamp.GetMaskSource();
  key.level = brenmark::brush::OpacityLevel(stamp.GetOpacity());
  key.tableSize = brenmark::brush::RadiusTableSize(stamp.GetRadius());
  key.phaseX = StampPhase(stamp.GetRadius(), fx);
  key.phaseY = StampPhase(stamp.GetRadius(), fy);
  ImagePaintObj* colour = stamp.GetColorSource();
  ilImage* img = colour != nullptr ? colour->image() : nullptr;
  key.channels = img != nullptr ? img->getCsize() : 0;
  const StampGeometry& g = GeometryOf(stamp);
  std::copy(g.k, g.k + 4, key.k);
  key.noise = stamp.HasNoise();
  return key;
}

// The fields that tell the entries of one bucket apart (opacity level and
// phase) are compared first; the profile, whose equality may be a call
// into the function, last.
bool StampKey::operator==(const StampKey& o) const {
  if (level != o.level || phaseX != o.phaseX || phaseY != o.phaseY || tableSize != o.tableSize ||
      noise != o.noise || channels != o.channels)
    return false;
  if (k[0] != o.k[0] || k[1] != o.k[1] || k[2] != o.k[2] || k[3] != o.k[3]) return false;
  if (colour != o.colour || paint != o.paint || mask != o.mask) return false;
  return profile == o.profile ||
         (profile != nullptr && o.profile != nullptr && profile->isEqual(o.profile));
}

unsigned StampKey::Bucket() const {
  const float sum = ((k[0] + k[1] * 217.0f) + k[2] * 81.0f) + k[3] * 3.0f;
  // Geometry radii are bounded, so the sum is far inside the int range.
  const auto matrix = static_cast<unsigned>(static_cast<int>(sum));
  const unsigned h = static_cast<unsigned>(level) * 64u + static_cast<unsigned>(tableSize) * 16u +
                     static_cast<unsigned>(phaseX) * 4u + static_cast<unsigned>(phaseY) +
                     (noise ? 128u : 0u) + matrix;
  return h & 255u;
}

// ---- StampCacheEntry.

namespace {

// The memory an entry takes with `dataBytes` of pixels: the pixels, the
// entry, its stamp copy, the image object (which lets go of the tables it
// generates from once its pixels are made) and kEntryOverhead for the
// stamp's observer list, the list node, the bucket slot and the
// allocator's block headers.
std::size_t Footprint(std::size_t dataBytes) {
  return dataBytes + sizeof(StampCacheEntry) + sizeof(Stamp) + sizeof(ILStampImg) +
         StampImageCache::kEntryOverhead;
}

}  // namespace

StampCacheEntry::StampCacheEntry(const Stamp& stamp, int px, int py)
    : stamp_(new Stamp(stamp)), image_(nullptr) {
  stamp_->ref();
  image_ = new ILStampImg(stamp_);
  image_->ref();
  image_->SetPhase(px, py);
  image_->KeepTablesBetweenGenerations(false);
  bytes = Footprint(image_->getDataSize());
}

StampCacheEntry::~StampCacheEntry() {
  image_->unref();
  stamp_->unref();
}

// ---- StampImageCache.

StampImageCache::~StampImageCache() {
  Empty();
}

StampImageCache& StampImageCache::Shared() {
  // Never destroyed: painters may draw from static destructors of their own.
  static StampImageCache* cache = new StampImageCache();
  return *cache;
}

StampCacheEntry* StampImageCache::Lookup(const Stamp& stamp, float fx, float fy) {
  const StampKey key = StampKey::Of(stamp, fx, fy);
  auto& bucket = buckets_[key.Bucket()];
  // A bucket holds the opacity levels four apart at one phase; a stroke
  // keeps to nearby levels, so a hit moves to the front of its bucket and
  // the next dab finds it without walking the others.
  for (auto pos = bucket.begin(); pos != bucket.end(); ++pos) {
    const List::iterator it = *pos;
    StampCacheEntry* e = *it;
    if (!(e->key == key)) continue;
    std::rotate(bucket.begin(), pos, pos + 1);
    ++hits_;
    if (e->stamp()->GetColorSource() != stamp.GetColorSource())
      e->stamp()->SetColorSource(stamp.GetColorSource());
    entries_.splice(entries_.begin(), entries_, it);
    return e;
  }
  ++misses_;
  auto* e = new StampCacheEntry(stamp, key.phaseX, key.phaseY);
  e->key = key;
  entries_.push_front(e);
  bucket.push_back(entries_.begin());
  bytes_ += e->bytes;
  Evict_(1);
  return e;
}

void StampImageCache::Remove_(List::iterator it) {
  StampCacheEntry* e = *it;
  auto& bucket = buckets_[e->key.Bucket()];
  bucket.erase(std::find(bucket.begin(), bucket.end(), it));
  bytes_ -= std::min(bytes_, e->bytes);
  entries_.erase(it);
  delete e;
}

void StampImageCache::Evict_(std::size_t keep) {
  while (bytes_ > budget_ && entries_.size() > keep) Remove_(std::prev(entries_.end()));
}

void StampImageCache::SetBudget(long long bytes) {
  if (bytes <= 0) return;
  budget_ = static_cast<std::size_t>(bytes);
  Evict_(0);
}

void StampImageCache::Empty() {
  while (!entries_.empty()) Remove_(std::prev(entries_.end()));
  bytes_ = 0;
}
