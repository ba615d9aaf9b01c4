// ilQVMemoryImg: the engine's in-memory image (image plane, update image, page
// views, stamp and convolution images) with fast tile paths and the view
// scaling and rotation machinery; the free scaling helpers built on it.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_memory_img.h>

#include <cstdint>
#include <vector>

// Class identifier answered by ilQVMemoryImg::getClassId().
constexpr int ilQVMemoryImgClassId = ilFirstUserClassId + 10;

// Scale modes (minify and magnify): which filter a transfer samples with.
// One-byte images use bilinear where bicubic is asked for.
enum ilQVScaleMode : unsigned {
  ilQVScaleNearest = 0,
  ilQVScaleBilinear = 1,
  ilQVScaleBicubic = 2,
};

// ilQVMemoryImg: one contiguous block of pixels (owned, or the caller's memory
// through the wrapping constructor or setDataPtr, which the image never frees)
// plus a view transform for transfers into other pixel buffers.
//
// View transform. A transfer maps an image point p to the destination buffer
// point d = S * p - offset without rotation, and d = R * S * (p - c) + c -
// offset with one, where S = diag(sx, sy), R the rotation by the stored angle
// (counter-clockwise in a y-up space: (x, y) -> (x cos - y sin, x sin +
// y cos)) and c the rotation centre. Rows of the destination buffer are in
// this image's own coordinate space: buffer row 0 holds d.y = 0.
//
// Sampling without rotation goes through one cached table per axis
// (destination index -> source coordinate in 1/256 pixel, built once per
// factor and filter modes and reused for every row); the filters work
// row-wise on those tables. Colour scale and offset are one byte per channel
// with channel 0 in the lowest byte, matched to the pixel's bytes by bit
// position (byte 0 is the first byte of the pixel in memory).
//
// Instances are counted (MemoryImgCount); with the debug selector at 8111
// each construction and destruction prints the count.
class BRENMARK_API ilQVMemoryImg : public ilMemoryImg {
 public:
  // No storage and no attributes yet.
  ilQVMemoryImg();
  // Owned, zeroed block; lower-left coordinate space, ABGR colour model, a
  // zero fill.
  ilQVMemoryImg(const ilSize& size, ilType type, ilOrder order = ilInterleaved);
  // Wraps `data` (not owned); attributes as the sized form.
  ilQVMemoryImg(void* data, const ilSize& size, ilType type, ilOrder order = ilInterleaved);
  // A copy of `other`'s data box with its attributes (see ilMemoryImg).
  explicit ilQVMemoryImg(ilImage* other);
  ~ilQVMemoryImg() override;

  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  const char* getDefaultDescription() const override;
  int getClassId() const override;

  // Fast paths (no configuration or the image's own, z 0, depth 1, one- or
  // four-byte pixels where it matters); everything else goes to ilMemoryImg.
  ilStatus getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx, int by,
                        int bz, int bnx, int bny, int bnz, const ilConfig* cfg = nullptr) override;
  ilStatus copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx, int sy,
                       int sz, const ilConfig* cfg = nullptr, int flags = 1) override;
  ilStatus fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                      const ilConfig* cfg = nullptr, const ilTile* exclude = nullptr) override;
  // The base locks; every page handed out successfully gets origin and
  // channel 0 (the block is one page).
  ilStatus lockPageSet(ilLockRequest* requests, int mode, int count) override;

  // Virtual operations added here, in slot order.
  //
  // Scales the source rectangle (x, y, w, h), image pixels, into `dst`, a
  // dstW x dstH buffer of this image's pixels, so that source point (x, y)
  // lands at (dstX, dstY) (without rotation; with rotation the rotated
  // rectangle's bounding box starts there). The stored offset is not used.
  virtual ilStatus getScaleTile(float x, float y, float w, float h, void* dst, int dstW, int dstH,
                                int dstX, int dstY);
  // As above with the destination placed by the view transform: source point
  // p lands at S * p - offset (or its rotated form).
  //  - a null dst answers ilInvalid; factors that are not positive and
  //    finite answer ilInvalid and write nothing;
  //  - a factor above 4096 without rotation clears the buffer from the
  //    destination start to its far corner instead of scaling;
  //  - factors of exactly 1 without rotation or colour change copy;
  //  - the colour scale and offset are applied to the written pixels of
  //    four-byte images.
  virtual ilStatus getScaleTile(float x, float y, float w, float h, void* dst, int dstW, int dstH);
  // Rotated, scaled transfer of the canvas into a view buffer (dstW x dstH,
  // four-byte or one-byte pixels) with bilinear filtering: image point p lands
  // at R * S * (p - c) + c - (viewX, viewY). With rotateAll every buffer pixel
  // is written, otherwise those in the bounding box of the rotated source
  // rectangle (x, y, w, h). Buffer pixels whose source lies outside the image
  // get the image's fill. Colour scale and offset apply as in getScaleTile.
  // A null dst answers ilInvalid; an empty source or buffer does nothing.
  virtual ilStatus getCanvasRotateScaleTile(float x, float y, float w, float h, void* dst, int dstW,
                                            int dstH, int viewX, int viewY, bool rotateAll);

  // View transform.
  void SetScaleFactors(float sx, float sy);
  void GetScaleFactors(float& sx, float& sy) const;
  // Degrees are reduced into [0, 360); below 0.001 the rotation is dropped
  // (stored as 0, scale-only).
  void SetScaleAndRotation(float sx, float sy, float degrees, float cx, float cy);
  void SetOffset(float x, float y);
  void GetOffset(float& x, float& y) const;
  float GetRotation() const { return degrees_; }
  void GetRotationCenter(float& cx, float& cy) const;
  bool IsScaleOnly() const { return scaleOnly_; }

  // Each value clamped to [0, 1], times 255, truncated; s0/o0 in the lowest
  // byte.
  void SetRGBAScaleAndOffset(float s0, float s1, float s2, float s3, float o0, float o1, float o2,
                             float o3);
  void SetRGBAScaleAndOffset(unsigned scale, unsigned offset);
  void GetRGBAScaleAndOffset(unsigned& scale, unsigned& offset) const;

  void SetMinifyScaleMode(unsigned mode);
  unsigned GetMinifyScaleMode() const { return minifyMode_; }
  void SetMagnifyScaleMode(unsigned mode);
  unsigned GetMagnifyScaleMode() const { return magnifyMode_; }

  // Bounding box (origin and size, whole pixels covering it) of the rectangle
  // (x, y, w, h) under R * S * (p - c) + c.
  void getTargetSizeAndOffset(int x, int y, int w, int h, int& outW, int& outH, int& outX,
                              int& outY);

  // Every row reversed in place / rows swapped top to bottom.
  void HorizontalFlip();
  void VerticalFlip();

  // One-byte image: reduces the region (image bounds when null) to the edges
  // between values below `threshold` and values at or above it (255 on an
  // edge, 0 elsewhere). outBounds (when given) receives the box of the marked
  // pixels, or an empty tile (0, 0, 0, 0, 0, 1) when there are none.
  void MarchingAntsPreProcess(unsigned char threshold, ilTile* region, ilTile* outBounds);
  // Four-byte image: for the region (image bounds when null), a pixel whose
  // edge byte (`edges`, one byte per pixel of this image's size) is non-zero
  // becomes opaque black 0xFF000000 when (x + phase + r) mod 8 < 4 and opaque
  // white 0xFFFFFFFF otherwise, r counting rows from 1 at the region's first;
  // every other pixel of the region becomes 0.
  void MarchingAntsApply(const unsigned char* edges, unsigned phase, ilTile* region);

  // Live instances of this class (and its derivations).
  static int MemoryImgCount();

  // Per-axis sampling table, cached between transfers (see the class
  // comment). Entries are source coordinates in 1/256 pixel for destination
  // indices first..first + entries.size() - 1.
  struct AxisTable {
    float factor = 1.0f;
    unsigned minifyMode = 0;
    unsigned magnifyMode = 0;
    int limit = -1;               // source extent (pixels) the entries are clamped to
    int first = 0;                // first destination index
    float s0 = 0.0f, s1 = -1.0f;  // source range the table was built for
    std::vector<std::int32_t> entries;
  };

 private:
  void construct_();
  // Both getScaleTile forms: `placed` puts source point (x, y) at (dstX,
  // dstY), otherwise the offset places the destination.
  ilStatus transfer_(float x, float y, float w, float h, void* dst, int dstW, int dstH, bool placed,
                     int dstX, int dstY);
  // Rotating transfer into the buffer rectangle `box`: buffer point d shows
  // image point S^-1 R^-1 (d + t - c) + c.
  ilStatus rotateInto_(std::uint8_t* dst, int dstW, int dstH, double tx, double ty,
                       const ilTile& box, unsigned filter);
  // Bounds of the rectangle's corners under R * S * (p - c) + c.
  void rotatedBounds_(double x, double y, double w, double h, double& minX, double& minY,
                      double& maxX, double& maxY) const;
  ilStatus fillTile3D_(int x, int y, int nx, int ny, const void* pixel, const ilTile* exclude);
  // Source rectangle cut to the image; false when nothing is left.
  bool clipToImage(float& x, float& y, float& w, float& h);
  bool clipToImage(int& x, int& y, int& nx, int& ny);
  // Destination rectangle of the (clipped) source rectangle in scaled
  // coordinates: origin = factor times origin rounded half away from zero,
  // extent = ceil(factor * extent), cut to what the buffer holds from buffer
  // position (bx, by).
  void calculateDestRect(float x, float y, float w, float h, int bx, int by, int dstW, int dstH,
                         int& jx, int& jy, int& nw, int& nh) const;
  // Filter of a transfer: the magnify mode when either factor exceeds 1, else
  // the minify mode; bicubic becomes bilinear for one-byte pixels; anything
  // but bilinear and bicubic, or pixels other than one or four bytes, is
  // nearest.
  unsigned chooseFilter_(bool interpolatable, int pixelBytes) const;
  // Colour scale and offset over a rectangle of a four-byte buffer, unless
  // they leave pixels unchanged.
  void applyColour_(std::uint8_t* dst, int dstW, const ilTile& box) const;
  // A new factor drops the axis's cached table.
  static void setFactor_(AxisTable& table, float f);

  AxisTable xAxis_;
  AxisTable yAxis_;
  float offsetX_ = 0.0f, offsetY_ = 0.0f;
  float centerX_ = 0.0f, centerY_ = 0.0f;
  float degrees_ = 0.0f;
  double cos_ = 1.0, sin_ = 0.0;
  unsigned minifyMode_ = ilQVScaleBilinear;
  unsigned magnifyMode_ = ilQVScaleBilinear;
  unsigned colourScale_ = 0xFFFFFFFFu;
  unsigned colourOffset_ = 0;
  bool scaleOnly_ = true;
  // Working memory of the kernels, kept between transfers.
  std::vector<std::int32_t> scratchIdx_;
  std::vector<std::uint16_t> scratchFrac_;
  std::vector<std::uint32_t> scratchWeights_;
  std::vector<std::uint8_t> scratchRows_;
};

// Scales a w x h block of `bytesPerPixel`-byte pixels (1 or 4), rows packed,
// rectangle (x, y, sw, sh) of it, into a dstW x dstH buffer with factors sx,
// sy and the destination placed at S * p - (offX, offY); filters and colour
// identity as an ilQVMemoryImg's defaults (bilinear).
BRENMARK_API ilStatus SIDScaleImage(const void* src, int w, int h, int bytesPerPixel, float x,
                                    float y, float sw, float sh, void* dst, int dstW, int dstH,
                                    float sx, float sy, float offX, float offY);
// The same with rotation (degrees about (cx, cy)), filters and colour scale
// and offset words.
BRENMARK_API ilStatus SIDScaleImage(const void* src, int w, int h, int bytesPerPixel, float x,
                                    float y, float sw, float sh, void* dst, int dstW, int dstH,
                                    float sx, float sy, float offX, float offY, float degrees,
                                    float cx, float cy, unsigned minifyMode, unsigned magnifyMode,
                                    unsigned colourScale, unsigned colourOffset);

// Bounding box of the rectangle (x, y, w, h) scaled by (sx, sy) and rotated
// by `degrees` about (cx, cy), as ilQVMemoryImg::getTargetSizeAndOffset.
BRENMARK_API void SIDGetTargetSizeAndOffset(int x, int y, int w, int h, float sx, float sy,
                                            float degrees, float cx, float cy, int& outW, int& outH,
                                            int& outX, int& outY);

// Prints a description of `img` (colour model, coordinate space, type,
// order, sizes, page size, minimum/maximum, fill) and of `tile` to standard
// output, one labelled line each.
BRENMARK_API void ilPrintImageDescription(ilImage* img, const ilTile& tile);
