// ilMemoryImg (pixels in one block of memory, owned or wrapped) and ilConstImg
// (one value everywhere).
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_image.h>
#include <brenmark/il_page.h>

#include <cstddef>
#include <cstdint>
#include <memory>

// ilMemoryImg: an image whose pixels lie in one contiguous block in the
// image's own order and coordinate space: interleaved pixels, rows of xsize
// pixels, slices of ysize rows (sequential: each row holds one run per
// channel; separate: one plane per channel). The whole image is one page.
//
// Memory: the sized constructor allocates a zeroed block that the image owns
// and frees; the wrapping constructor and setDataPtr use the caller's block,
// which the image never frees and which must outlive it (or be replaced).
// While the image owns its block, attribute changes that alter the block's
// size give it a new zeroed block on the next reset.
//
// Tile reads, writes, fills and copies work directly on the block (memcpy
// per row when the layouts agree), without page locks.
class BRENMARK_API ilMemoryImg : public ilSIDImage {
 public:
  ilMemoryImg();
  ilMemoryImg(const ilSize& size, ilType type, ilOrder order = ilInterleaved);
  ilMemoryImg(void* data, const ilSize& size, ilType type, ilOrder order = ilInterleaved);
  // A copy of `other`'s data box with its type, order, colour model,
  // coordinate space and fill, in memory this image owns.
  explicit ilMemoryImg(ilImage* other);
  ~ilMemoryImg() override;

  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  void reset() override;
  const char* getDefaultDescription() const override;
  int getClassId() const override;
  ilStatus getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx, int by,
                        int bz, int bnx, int bny, int bnz, const ilConfig* cfg = nullptr) override;
  ilStatus setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf, int bx,
                        int by, int bz, int bnx, int bny, int bnz,
                        const ilConfig* cfg = nullptr) override;
  ilStatus copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx, int sy,
                       int sz, const ilConfig* cfg = nullptr, int flags = 1) override;
  ilStatus fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                      const ilConfig* cfg = nullptr, const ilTile* exclude = nullptr) override;
  bool hasPages() const override;
  // The one page is the whole block, origin (0, 0, 0).
  ilStatus lockPageSet(ilLockRequest* requests, int mode, int count) override;
  ilStatus unlockPageSet(ilLockRequest* requests, int count) override;

  void* getDataPtr();
  // Wraps `data` (not owned); an owned block is freed first.
  void setDataPtr(void* data);
  bool ownsData() const { return owned_ != nullptr; }
  // Bytes of the whole block for the current attributes.
  std::size_t getDataSize();
  // Bytes from one row to the next (interleaved: xsize * pixel bytes).
  std::ptrdiff_t getRowBytes();
  // Address of pixel (x, y, z) (channel element nc - 1 for interleaved, the
  // first plane for the other orders); null outside the data box.
  void* getPixelPtr(int x, int y, int z = 0);

 private:
  void allocate_();
  void* data_ = nullptr;
  std::uint8_t* owned_ = nullptr;
  std::size_t ownedBytes_ = 0;
  // The page object of the last unlock, handed to the next lock: a painter
  // locks a dab image's page for every dab.
  std::unique_ptr<ilPage> sparePage_;
};

// ilConstImg: every pixel, everywhere (no data box), reads as the one value,
// which is also the image's fill. setFill replaces the value and adopts its
// type and channel count. Writes are refused (ilNotWritable). Its size and
// page size are 1 x 1 x 1; a read lock of its one page gives that one pixel.
class BRENMARK_API ilConstImg : public ilImage {
 public:
  ilConstImg();
  explicit ilConstImg(const ilPixel& value);
  ~ilConstImg() override;

  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  const char* getDefaultDescription() const override;
  int getClassId() const override;
  ilStatus setFill(const ilPixel& value) override;
  ilStatus getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx, int by,
                        int bz, int bnx, int bny, int bnz, const ilConfig* cfg = nullptr) override;
  ilStatus setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf, int bx,
                        int by, int bz, int bnx, int bny, int bnz,
                        const ilConfig* cfg = nullptr) override;
  ilStatus copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx, int sy,
                       int sz, const ilConfig* cfg = nullptr, int flags = 1) override;
  ilStatus fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                      const ilConfig* cfg = nullptr, const ilTile* exclude = nullptr) override;
  bool hasPages() const override;
  ilStatus lockPageSet(ilLockRequest* requests, int mode, int count) override;
  ilStatus unlockPageSet(ilLockRequest* requests, int count) override;

  const ilPixel& getValue() { return getFill(); }
};
