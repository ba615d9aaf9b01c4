// One 128 x 128 page of a paged image: the shared body `PageData` and the
// handle `SmartImgPage` through which everything else reaches it.
//
// Ownership and copy-on-write. A body is shared by every handle (and table
// slot) that references it; its reference count is the number of holders.
// The copy constructor takes a reference; `operator=` copies the pointer
// only and the destructor releases nothing: holders that own a reference
// release it explicitly with `UnRef(tag)` (page clusters and page tables do
// this when they are destroyed). A body with more than one holder is never
// written: `Realize` with a write mode first gives the writer its own copy.
// A retained body (priority 255, pinned by a page-set lock) survives its
// last reference until `DontRetain` lets it go.
//
// Memory and swap slots of a body belong to the page cache; the page asks
// the cache for them and gives them back.
#pragma once

#include <cstdint>

#include "imagestore/store_state.h"

class ilImage;
class ilSmartImage;
struct ilConfig;
struct ilTile;

namespace brenmark::imagestore {
struct SwapSlot;
}

// Transparency class of a page or region.
enum SmartImgTrans {
  kTransMixed = 0,   // alpha varies, or not known without a scan
  kTransClear = 1,   // every alpha 0
  kTransOpaque = 2,  // every alpha 255
  kTransNone = 3,    // a region that contained no page (region queries only)
};

enum SmartImgPageState {
  kPageInvalid = 0,
  kPageValidInMem = 1,
  kPageSwapped = 2,
  kPageSolid = 3,
  kPageSeedRef = 6,
  kPageFreed = 7,
  kPageUnrealized = 8,
  kPageReleased = 9,
};

// Release tags: stored in a body's last-access field when a handle lets go
// of its last reference, so a stale handle can report where that happened.
enum SmartImgReleaseTag {
  kReleaseReference = 1234001,
  kReleaseMakeFilled = 1234002,
  kReleaseRealizeOverwrite = 1234005,
  kReleaseCopyOnWrite = 1234006,
  kReleaseCluster = 1234007,
  kReleaseTableDefault = 1234008,
  kReleaseTableDefault2 = 1234009,
  kReleaseTableOutOfRange = 1234010,
  kReleaseOutOfRangeReplaced = 1234011,
  kReleasePrune = 1234012,
  kReleaseSetSmartSeed = 1234097,
  kReleaseSetSeed = 1234099,
  kReleaseSetPriority = -1,
};

// Pixels still to be copied from a non-paged seed image.
struct SeedRecord {
  std::uint32_t signature;
  ilImage* seed;
  int x;
  int y;
};

// Which cache list a body is linked into (private bookkeeping of the cache).
enum class PageList : std::uint8_t { kNone, kSmall, kBig, kRetained, kSwapped };

struct PageData {
  std::uint32_t signature;
  std::uint8_t* data;  // pixels while kPageValidInMem, else null
  SeedRecord* seed;    // while kPageSeedRef
  std::uint32_t fill;  // while kPageSolid (low byte only for 1-byte pages)
  // While kPageSwapped; also while kPageValidInMem after a page-in until the
  // first write, as a clean copy of the pixels.
  brenmark::imagestore::SwapSlot* slot;
  PageData* list_next;
  PageData* list_prev;
  PageData* scan_next;
  PageData* scan_prev;
  PageData* source;  // body this one was copied from (duplicate tests)
  std::int32_t lock_count;
  std::int32_t ref_count;
  std::uint32_t last_access;  // access stamp; the release tag once destroyed
  std::int16_t retain_count;
  std::int32_t state;
  std::uint8_t priority;  // 0..254 ordinary, 255 retained
  std::uint8_t pixel_size;
  std::uint8_t size_shift;
  std::uint8_t seed_clean;
  std::uint8_t scanned;  // 1 off the scan list, 0 on it, 255 temporary solid
  std::int32_t transparency;
  brenmark::imagestore::StoreLock lock;

  // Private bookkeeping. `list` names the cache list the body is on. The copy
  // links let a body tell the bodies copied from it that it is going away,
  // so no `source` pointer outlives its target.
  PageList list;
  PageData* copies;
  PageData* copy_next;
  PageData* copy_prev;
};

inline constexpr int kPageSize = 128;
inline constexpr int kPagePixels = kPageSize * kPageSize;

class SmartImgPage {
 public:
  SmartImgPage() = default;
  SmartImgPage(const SmartImgPage& other);
  SmartImgPage(unsigned fill, int pixelSize);
  SmartImgPage& operator=(const SmartImgPage& other) = default;
  ~SmartImgPage() = default;

  // A handle over `body` that takes no reference (for the cache and tables).
  static SmartImgPage Wrap(PageData* body);
  PageData* Body() const { return body_; }

  void MakeNull() { body_ = nullptr; }
  bool IsNull() const { return body_ == nullptr; }
  void Reference(SmartImgPage* other);
  void Reference(PageData* body);
  void Ref();
  void UnRef(int releaseTag);
  int GetRefCnt() const { return body_ ? body_->ref_count : 0; }

  bool IsValid() const;
  bool CheckValid() const;
  void MakeValid();

  bool IsInMemory() const { return body_ && body_->state == kPageValidInMem; }
  bool IsSwapped() const { return body_ && body_->state == kPageSwapped; }
  bool IsSolidFilled() const { return body_ == nullptr || body_->state == kPageSolid; }
  bool IsSolidFilled(unsigned value) const;
  bool IsSolidFilled(const ilTile& tile) const;
  bool IsSolidFilledIn(int x, int y, int w, int h) const;
  bool IsTempSolid() const { return body_ && body_->scanned > 254; }
  void MarkTempSolid();
  bool SeedDirty() const { return body_ && body_->seed_clean == 0; }
  unsigned GetFillValue() const;
  void SetFillValue(unsigned value);
  unsigned* GetFillValuePtr() const;
  std::uint8_t* GetDataPtr() const { return body_ ? body_->data : nullptr; }
  std::uint64_t GetFileOffset() const;
  int GetPixelSize() const { return body_ ? body_->pixel_size : 0; }
  void SetPixelSize(int pixelSize);
  int GetDataSize() const { return body_ ? kPagePixels << body_->size_shift : 0; }
  static int GetWidth() { return kPageSize; }
  static int GetHeight() { return kPageSize; }
  static int GetNumPixels() { return kPagePixels; }
  unsigned GetLastAccessTime() const { return body_ ? body_->last_access : 0; }
  SmartImgTrans GetTransparency() const;
  void SetTransparency(SmartImgTrans trans);

  int GetPriority() const { return body_ ? body_->priority : 0; }
  void SetPriority(int priority);
  void IncrementPriority();
  void DecrementPriority();
  void IncrementLockCount();
  void DecrementLockCount();
  int GetLockCount() const { return body_ ? body_->lock_count : 0; }
  int GetRetainCount() const { return body_ ? body_->retain_count : 0; }
  void ForceRetain();
  void DontRetain();
  // Page-set unlock: like DontRetain, but reports a retain count going
  // below zero instead of ignoring it.
  void ReleaseRetain();

  // Brings the page into the form the caller needs: 0 read, 1 write keeping
  // the content, 2 overwrite (memory needed, old content not), 3 clear.
  // False when the page could not be made usable (message printed, latch
  // set); the page is then left as it was.
  bool Realize(int mode);
  void UnRealize();
  void Touch();
  void MarkDirty();
  void MarkForScan();
  void MakeFilled(unsigned fill, int pixelSize);
  void MakeInMemFromSolid();
  void FillPage(unsigned value);
  void DrawHorizLine(int x0, int x1, int y, unsigned value);

  unsigned GetPixel(int x, int y) {
    if (body_ && body_->state == kPageValidInMem) {
      const int i = GetPixelOffset(x, y);
      if (body_->pixel_size == 1) return body_->data[i];
      std::uint32_t v;
      __builtin_memcpy(&v, body_->data + 4 * i, 4);
      return v;
    }
    return SlowGetPixel_(x, y);
  }
  void SetPixel(unsigned value, int x, int y) {
    if (body_ && body_->state == kPageValidInMem) {
      const int i = GetPixelOffset(x, y);
      if (body_->pixel_size == 1) {
        body_->data[i] = static_cast<std::uint8_t>(value);
      } else {
        const std::uint32_t v = value;
        __builtin_memcpy(body_->data + 4 * i, &v, 4);
      }
      MarkDirty();
      MarkForScan();
      return;
    }
    SlowSetPixel_(value, x, y);
  }
  unsigned SlowGetPixel_(int x, int y);
  void SlowSetPixel_(unsigned value, int x, int y);
  static int GetPixelOffset(int x, int y) { return y * kPageSize + x; }
  static void ClipToPage(int& x, int& y, int& w, int& h);
  static void FindOrigin(int x, int y, int& ox, int& oy) {
    ox = x & ~(kPageSize - 1);
    oy = y & ~(kPageSize - 1);
  }

  // Seeds.
  void SetSeed(ilImage* seed, int ox, int oy);
  void SetSmartSeed(ilSmartImage* seed, int ox, int oy);
  void CopyFromSeed();
  // False when the page's pixels could not be read (nothing is written) or
  // the target refused them.
  bool CopyToSeed(ilImage* target, int x, int y, ilConfig* cfg);

  // Scans. Tiles are page-local; null (or the whole page) means the page.
  int CheckForSolid(const ilTile* tile);
  int CheckForSolidIn(int x, int y, int w, int h);
  int WalkPage(const ilTile* tile);
  SmartImgTrans TestTransparency(const ilTile* tile);
  SmartImgTrans TestTransparencyIn(int x, int y, int w, int h);
  SmartImgTrans IsTransparent(const ilTile* tile, int force);
  SmartImgTrans IsTransparentIn(int x, int y, int w, int h, int force);
  int CheckAlpha();
  void ForceAlphaValid(int mode);
  bool SolidFillDuplicate() const;
  bool InMemDuplicate() const;
  void MergeWithPotentialDuplicate();
  PageData* GetSourcePage() const { return body_ ? body_->source : nullptr; }

  void AddToInMemList();
  void RemoveFromInMemList();

  static std::uint32_t AccessTimer_;

 private:
  explicit SmartImgPage(PageData* body) : body_(body) {}

  PageData* body_ = nullptr;
};

namespace brenmark::imagestore {

// Body primitives shared by the page, the cache and the page table.
PageData* NewPageBody(int pixelSize);
// Marks the body destroyed and gives its storage back; see page.cpp for how
// recently destroyed bodies stay readable for stale-handle reports.
void DestroyPageBody(PageData* body, int releaseTag);
// Whether every pixel of the page-local rectangle equals its first pixel;
// the rectangle must lie inside the page.
bool PageIsUniform(const PageData* body, int x, int y, int w, int h);
// The whole page as solid with its first pixel: memory goes back to the cache.
void MakeSolidFromUniform(PageData* body);
void SetPageSource(PageData* copy, PageData* source);
void ForgetPageSource(PageData* copy);

}  // namespace brenmark::imagestore
