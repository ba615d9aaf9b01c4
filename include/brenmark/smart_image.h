// ilSmartImage: the paged, sparse, copy-on-write image class of every layer
// image, mask and selection.
//
// To the image library it is an ordinary image (tile reads, writes, fills,
// copies and page locks). Inside it is a page table of 128 x 128 pages over
// the plane -102400 ... 102400: untouched pages cost nothing, uniform pages
// are solid (a fill value, no memory), pages are shared copy-on-write with a
// seed image and between images, and page memory is bounded by one
// process-wide budget that pages the least recently used pages out to swap
// files. Coordinates are signed; y grows upwards (lower-left space).
//
// Pixels: one byte (one channel: masks, selections) or one 32-bit word (four
// channels, premultiplied, alpha in the top byte; bytes R, G, B, A).
//
// Ownership: images follow the library's ref()/unref(). A smart image seeded
// by another smart image holds one reference on its seed and is listed as
// the seed's dependent; destroying a seed that still has dependents first
// gives each of them its own references to the pages it shares.
//
// Making one:
//   ilPixel fill(ilUChar, 4);                 // four channels, transparent
//   ilSmartImage* layer = new ilSmartImage(fill);
//   ilSmartImage* mask = new ilSmartImage(ilPixel(ilUChar, 1));
//   ilSmartImage* copy = new ilSmartImage(seed, 0, 0, 0, -1);  // seeded
//   ilSmartImage::As_ilSmartImage(img)        // null unless a smart image
#pragma once
#include <brenmark/export.h>

#include <brenmark/il.h>

#include <cstdint>
#include <memory>
#include <vector>

class SmartImage;
class SmartImgPage;

class BRENMARK_API ilSmartImage : public ilSIDImage {
 public:
  static constexpr int kImageType = 100;
  static constexpr int kClassId = ilFirstUserClassId + 2;
  // Stored-form sizes: header and per-page record.
  static constexpr int kFileHeaderSize = 72;
  static constexpr int kFilePageRecordSize = 16;

  // An empty image; fill value, data type and channel count come from the
  // pixel (1 channel, or 4 for any other count).
  explicit ilSmartImage(const ilPixel& fill);
  // An image seeded by `seed`: a smart seed shares its pages until either
  // image writes them; any other seed is copied page by page now. x and y
  // must be 0; the last two integers are not used. A null seed gives an
  // empty four-channel image filled with 0.
  ilSmartImage(ilImage* seed, int x, int y, int unused1, int unused2);
  // Construction from saved data: the stored records carry nothing, so this
  // is an empty four-channel image filled with 0.
  ilSmartImage(int count, void** data);
  ~ilSmartImage() override;

  // Library slots.
  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  void reset() override;
  const char* getDefaultDescription() const override;
  int getClassId() const override;
  ilStatus setFill(const ilPixel& fill) override;
  ilStatus getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx, int by,
                        int bz, int bnx, int bny, int bnz, const ilConfig* cfg = nullptr) override;
  // The pixels of rectangle (x, y, nx, ny) of slice 0 in the image's own
  // layout and space into rows of `stride` bytes from `buf` (the pixel at
  // (x, y) first): what getSubTile3D reads there, without its general set-up.
  ilStatus getNativeRows(int x, int y, int nx, int ny, std::uint8_t* buf, std::ptrdiff_t stride);
  ilStatus setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf, int bx,
                        int by, int bz, int bnx, int bny, int bnz,
                        const ilConfig* cfg = nullptr) override;
  ilStatus copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx, int sy,
                       int sz, const ilConfig* cfg = nullptr, int flags = 1) override;
  ilStatus fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                      const ilConfig* cfg = nullptr, const ilTile* exclude = nullptr) override;
  ilStatus seekTile3D(int x, int y, int z, int nx, int ny, int nz) override;
  bool hasPages() const override;
  // Pins each request's page in memory (creating it, and growing the bounds
  // to its tile) and hands out its memory; mode ilLockWrite or ilLockRead.
  ilStatus lockPageSet(ilLockRequest* requests, int mode, int count) override;
  ilStatus unlockPageSet(ilLockRequest* requests, int count) override;
  ilStatus SetSeedImage(ilImage* seed) override;
  ilStatus MergeChangesIntoSeed() override;
  ilImage* GetSeedImage() override;
  const ilTile& getBounds() override;

  // Identity.
  static ilSmartImage* As_ilSmartImage(ilImage* img);
  // The store's own test, chosen once per process: image type 100, or the
  // class name "ilSmartImage" when NORVANE_QV_USE_OLD_IMAGEID was set.
  static bool IsSmartImage(ilImage* img);
  bool IsValid() const;
  bool CheckValid() const;
  SmartImage* GetSmartImage() { return table_; }
  SmartImgPage* FindPageFromOrigin(int x, int y, int create);
  bool HaveSeed() const { return getNumInputs() == 1; }
  bool HasSeed() const { return HaveSeed(); }
  ilImage* GetSeed() const { return HaveSeed() ? getInput(0) : nullptr; }
  int GetChannels() const { return channels_; }
  // The fill as a packed value: one byte, or the 32-bit pixel word.
  unsigned GetFillValue() const { return fillValue_; }

  // Pixels (packed values). SetPixel leaves the bounds alone; SetPixelExp
  // adds the pixel to them first.
  unsigned GetPixel(int x, int y);
  void SetPixel(int x, int y, unsigned value);
  void SetPixelExp(int x, int y, unsigned value);
  unsigned GetAdjacentPixel(int dx, int dy, int advance);
  int PixelScan(int x, int y, int step, unsigned value, unsigned mask);
  void SetSpan(int x0, int x1, int y, unsigned value);

  // Bounds: the rectangle that holds content, (0, 0, 0, 0, 0, 1) when empty.
  const ilTile& getRealBounds();
  const ilTile& RealBounds() const { return realBounds_; }
  void UpdateBounds();
  void SetBounds_(const ilTile& tile, int keepPages);
  void AddToBounds_(const ilTile& tile);
  void ExpandBounds(int margin);
  void ClipToBounds(ilTile& tile);
  void TryToShrinkBounds_();
  void ShrinkBounds_();
  void ForceFastShrink() { ShrinkBounds_(); }
  void ForceShrinkAttempt(bool force);
  // Scans the pages lying wholly inside `area` now (solid detection and
  // transparency class), e.g. right after writing them while their pixels
  // are still in cache; a later shrink does not read them again.
  void ScanPagesIn(const ilTile& area);
  bool PixelShrinkTop_();
  bool PixelShrinkBottom_();
  bool PixelShrinkLeft_();
  bool PixelShrinkRight_();
  bool IsPixelRowSolid_(int y);
  bool IsPixelColumnSolid_(int x);
  void SetForcedBounds(const ilTile& tile);
  void GetForcedBounds(ilTile& tile) const { tile = forcedBounds_; }
  void EnableForcedBounds(int on);
  int IsForcedBounds() const { return forcedEnabled_; }
  void ApplyForcedBounds(const ilTile& tile);
  void force_in_img_(int& x, int& y, int& z, int& nx, int& ny, int& nz);
  void force_in_img_(int& x, int& y, int& nx, int& ny);
  void force_in_img_(ilTile& tile);

  // Content queries.
  bool is_filled(ilPixel& value, int scan);
  bool is_filled(const ilTile& tile, ilPixel& value, int scan);
  int TestTransparency(int force);
  int TestTransparency(const ilTile& tile, int force);
  int TestPageTransparency(int x, int y, int force);
  int TestFillTransparency();

  // Alpha validity of written pixels (four channels).
  void SetCheckAlphaOnCopy(int on);
  int GetCheckAlphaOnCopy() const { return checkAlphaOnCopy_; }
  void ForceAlphaValid();

  // Seeds and dependents.
  // Where the seed supplies pages (the real bounds when the seed was set).
  const ilTile& SeedBounds() const { return seedBounds_; }
  void ReferenceSeedPages(const ilTile* tile);
  void GetSeedImagePages();
  ilStatus merge_into_seed();
  int DependentCount() const;

  // Stored form.
  int GetImageFileSize();
  int GetImageFileSize(int& pages);
  int SaveImageToFile();
  static int SaveImageBegin(int size);
  static int SaveImageData(void* data, int size);
  static int SaveImageEnd(int handle);
  static bool ReadImageData(void* data, int size);

  // The host's watermark pass over every page inside the bounds of a
  // four-channel image.
  void ApplyWatermark();

 private:
  struct LockedPage {
    ilPage* page;
    void* body;
  };

  void CommonInit(ilImage* seed);
  void InitFromFill(const ilPixel& fill);
  void UpdateLibrarySize();
  void AddDependency(ilSmartImage* dependent);
  void RemoveDependency(ilSmartImage* dependent);
  void BreakDependency(ilSmartImage* dependent);
  void DetachFromSeed(bool dropReference);
  bool ClipToRange(int& x, int& y, int& nx, int& ny);
  void FillCoverOutsideBounds(unsigned value);
  void NoteAlpha(int checkAlphaAnswer);
  // Fills `region` (image space) with the packed value, leaving `exclude`
  // alone; bounds are not touched. Answers the number of pages visited, or
  // -1 when a page's old pixels could not be read (that page stays as it was).
  int FillRegion_(const ilTile& region, unsigned value, const ilTile* exclude);

  std::uint32_t signature_;
  SmartImage* table_;
  ilTile realBounds_{0, 0, 0, 0, 0, 1};
  ilTile lastBounds_{0, 0, 0, 0, 0, 1};
  ilTile seedBounds_{0, 0, 0, 0, 0, 1};
  ilConfig config_;
  ilPixel scratch_;
  int shrinkPending_ = 0;
  ilTile forcedBounds_{0, 0, 0, 0, 0, 1};
  int forcedEnabled_ = 0;
  int checkAlphaOnCopy_ = 0;
  int alphaAccumulator_ = 1;
  std::vector<ilSmartImage*> dependents_;
  std::vector<LockedPage> locked_;
  // The page object of the last unlock, handed to the next lock.
  std::unique_ptr<ilPage> sparePage_;
  unsigned fillValue_ = 0;
  int channels_ = 4;
  bool dying_ = false;  // set while the destructor detaches dependents
};
