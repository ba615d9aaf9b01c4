// ilLink, ilImage and ilSIDImage: the image classes every image of the engine
// derives from, with tile reads, writes, fills, copies and page locks.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_config.h>
#include <brenmark/il_page.h>
#include <brenmark/il_pixel.h>
#include <brenmark/il_types.h>

#include <vector>

// ilLink: a node of the image graph. It owns nothing but its links: at most
// one input (not referenced; the holder of the graph keeps inputs alive) and
// the list of links that use it as input. Destroying a link detaches it from
// both sides, so no link is left pointing at a dead one.
//
// Altered bits: an attribute change calls setAltered(bits); the bits also
// reach every dependent through alterAction. Before answering a query an image
// calls resetCheck(), which brings the input up to date first and then, when
// bits are pending, runs reset() once and clears them.
class BRENMARK_API ilLink {
 public:
  ilLink() = default;
  ilLink(const ilLink&) = delete;
  ilLink& operator=(const ilLink&) = delete;

  // Virtual operations in slot order.
  virtual bool derivesFrom(int classId) const;
  // level 0 names this object's class, level 1 its base, and so on; past the
  // root the answer is null.
  virtual const char* getClassName(int level = 0) const;
  virtual ~ilLink();
  // Recomputes derived state after attribute changes; sets the status.
  virtual void reset();
  // `changed` (an input, directly or further up) was altered with `bits`; the
  // default marks this link altered with the same bits.
  virtual void alterAction(ilLink* changed, unsigned bits);

  ilStatus resetCheck();
  // resetCheck() answered in place when nothing is pending, as it nearly
  // always is; the attribute queries ask it on every call.
  ilStatus upToDate() {
    return inReset_ || (altered_ == 0 && !inputStale_) ? status_ : resetCheck();
  }
  void setAltered(unsigned bits = ilAllAltered);
  unsigned getAltered() const { return altered_; }

  ilStatus getStatus() const { return status_; }
  // Stores and answers `s` (so `return setStatus(s);` reads naturally).
  ilStatus setStatus(ilStatus s) { return status_ = s; }

  // The links that use this one as their input, in the order they attached.
  int getNumOutputs() const { return static_cast<int>(outputs_.size()); }
  ilLink* getOutput(int i) const {
    return i >= 0 && i < getNumOutputs() ? outputs_[static_cast<std::size_t>(i)] : nullptr;
  }

 protected:
  ilLink* linkInput() const { return input_; }
  void setLinkInput(ilLink* input);
  int numOutputs() const { return static_cast<int>(outputs_.size()); }

 private:
  void MarkOutputsStale();

  ilLink* input_ = nullptr;
  std::vector<ilLink*> outputs_;
  unsigned altered_ = 0;
  bool inReset_ = false;
  bool inputStale_ = false;  // an input was altered while this link reset
  ilStatus status_ = ilOkay;
};

// ilImage: attributes, reference count, one input and the tile interface.
//
// Reference counting: the count starts at 0; every holder calls ref() and
// later unref(); the unref() that brings the count to 0 deletes the image, and
// so does the first unref() of an image nobody referenced. Images are not
// copyable.
//
// Tile interface. The public entry points (getTile, setTile, getSubTile,
// fillTile, copyTile and their 3D forms) funnel into the four virtuals
// getSubTile3D, setSubTile3D, fillTile3D and copyTileCfg, so a derived image
// overrides those four and every caller gets its behaviour. The base versions
// are generic: they walk the image's pages through lockPageSet/unlockPageSet
// (a class answering hasPages() true must implement both natively) and move
// rows with memcpy when the layouts agree. Pixels outside the image's data box
// (0, 0, 0, xsize, ysize, zsize) read as the fill value; writes there are
// dropped. An image without pages reads as its fill everywhere and refuses
// writes (ilNotWritable).
//
// Rectangles are in the image's own coordinate space unless the configuration
// names another one; then they are mapped (flipped within the image's size)
// and the buffer rows and columns follow the caller's space.
class BRENMARK_API ilImage : public ilLink {
 public:
  ilImage();
  ~ilImage() override;

  // ilLink slots.
  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  void reset() override;

  // Virtual operations added here, in slot order.
  virtual const char* getDefaultDescription() const;
  virtual int getClassId() const;
  // Stores the fill converted to the image's type and channel count (channel
  // i takes channel i, missing channels 0); an image whose type is still
  // ilAnyType adopts the pixel's type and channel count.
  virtual ilStatus setFill(const ilPixel& fill);
  // Reads tile (x..nz) into `buf`, which holds the buffer tile (bx..bnz)
  // densely in the configuration's layout; the tile must lie inside the
  // buffer tile. Buffer pixels outside the tile, and channels the map skips,
  // are left as they were.
  virtual ilStatus getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                                int by, int bz, int bnx, int bny, int bnz,
                                const ilConfig* cfg = nullptr);
  // Writes tile (x..nz) from `buf` laid out as the buffer tile (bx..bnz).
  virtual ilStatus setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf,
                                int bx, int by, int bz, int bnx, int bny, int bnz,
                                const ilConfig* cfg = nullptr);
  // Copies tile (x..nz) of this image from `src` at (sx, sy, sz); source
  // pixels outside the source's data read as its fill. Without a
  // configuration the two rectangles are each in their own image's space and
  // a source with fewer channels gives 0 in the channels it lacks. `flags` is
  // accepted for call compatibility; only 1 is defined.
  virtual ilStatus copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx,
                               int sy, int sz, const ilConfig* cfg = nullptr, int flags = 1);
  // Fills tile (x..nz) with `pixel` (one pixel in the configuration's type and
  // channel count, elements in memory order; the image's own layout when cfg
  // is null). Pixels inside `exclude` (same space as the tile) are untouched.
  virtual ilStatus fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                              const ilConfig* cfg = nullptr, const ilTile* exclude = nullptr);
  // Hint that the tile is about to be read; the base brings the image up to
  // date and answers its status.
  virtual ilStatus seekTile3D(int x, int y, int z, int nx, int ny, int nz);
  // Hint that the tile will be accessed repeatedly; nothing to pin here.
  virtual ilStatus lockTile3D(int x, int y, int z, int nx, int ny, int nz);
  // One pixel at (x, y, z) in the image's type and channel count.
  virtual ilStatus evalXY(int x, int y, int z, ilPixel& out);
  // One pixel at normalised (u, v) in [0, 1) of the image's extent (nearest).
  virtual ilStatus evalUV(float u, float v, int z, ilPixel& out);
  virtual bool hasPages() const;
  // Locks the page holding each request's pixel (mode ilLockRead or
  // ilLockWrite) and stores it in the request. The base serves images without
  // native pages with a private copy read through getSubTile3D and, for write
  // locks, stored back through setSubTile3D on unlock. Answers ilOkay when
  // every request got its page, else the first failure.
  virtual ilStatus lockPageSet(ilLockRequest* requests, int mode, int count);
  // Releases the pages of the requests; each page is deleted and nulled.
  virtual ilStatus unlockPageSet(ilLockRequest* requests, int count);
  // No hardware evaluation path: answers ilFailed.
  virtual ilStatus hwEval(void* context);

  // Reference count.
  int ref() { return ++refCount_; }
  int unref();
  int getRefCount() const { return refCount_; }

  // Attributes. Queries bring the image up to date first (upToDate).
  int getXsize() { return (upToDate(), size_.x); }
  int getYsize() { return (upToDate(), size_.y); }
  int getZsize() { return (upToDate(), size_.z); }
  int getCsize() { return (upToDate(), size_.c); }
  ilSize getSize() { return (upToDate(), size_); }
  int getPageSizeX() { return (upToDate(), page_.x); }
  int getPageSizeY() { return (upToDate(), page_.y); }
  int getPageSizeZ() { return (upToDate(), page_.z); }
  int getPageSizeC() { return (upToDate(), page_.c); }
  ilType getDataType() { return (upToDate(), type_); }
  ilOrder getOrder() { return (upToDate(), order_); }
  ilColorModel getColorModel() { return (upToDate(), colorModel_); }
  ilCoordSpace getCoordSpace() { return (upToDate(), coordSpace_); }
  int getImageType() const { return imageType_; }
  // Bytes of one pixel (all channels) in the image's type.
  int getPixelBytes() { return ilDataSize(getDataType(), getCsize()); }

  void setSize(const ilSize& size);
  void setCsize(int c);
  void setPageSize(int x, int y, int z = 1, int c = 0);
  void setDataType(ilType type);
  void setOrder(ilOrder order);
  void setColorModel(ilColorModel model);
  void setCoordSpace(ilCoordSpace space);
  void setImageType(int type) { imageType_ = type; }

  // The fill value (in the image's type and channel count).
  const ilPixel& getFill() { return (upToDate(), fill_); }
  // Into a holder: an ilAnyType holder receives the fill as it is; a typed
  // holder receives it converted to its type (and channel count, when set).
  void getFill(ilPixel& out);

  // One input image (not referenced). Index 0 only.
  ilStatus setInput(ilImage* input, int index = 0);
  ilImage* getInput(int index = 0) const;
  int getNumInputs() const { return linkInput() ? 1 : 0; }

  // Tile entry points (2D forms work at z 0 with depth 1).
  ilStatus getTile(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg = nullptr);
  ilStatus getTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf,
                     const ilConfig* cfg = nullptr);
  ilStatus getSubTile(int x, int y, int nx, int ny, void* buf, int bx, int by, int bnx, int bny,
                      const ilConfig* cfg = nullptr);
  ilStatus setTile(int x, int y, int nx, int ny, const void* buf, const ilConfig* cfg = nullptr);
  ilStatus setTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf,
                     const ilConfig* cfg = nullptr);
  ilStatus setSubTile(int x, int y, int nx, int ny, const void* buf, int bx, int by, int bnx,
                      int bny, const ilConfig* cfg = nullptr);
  ilStatus fillTile(int x, int y, int nx, int ny, const void* pixel, const ilConfig* cfg = nullptr,
                    const ilTile* exclude = nullptr);
  // Fill with an ilPixel of any type and channel count (converted as by
  // setFill).
  ilStatus fillTileValue(int x, int y, int nx, int ny, const ilPixel& pixel,
                         const ilTile* exclude = nullptr);
  ilStatus copyTile(int x, int y, int nx, int ny, ilImage* src, int sx, int sy,
                    const ilConfig* cfg = nullptr, int flags = 1);
  ilStatus copyTile3D(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx, int sy,
                      int sz, const ilConfig* cfg = nullptr, int flags = 1);

  // Maps a tile between two coordinate spaces of this image (flips within the
  // image's size; ilSpaceDefault names the image's own space). Answers
  // ilUnsupportedSpace when the spaces differ in which axis varies fastest.
  ilStatus mapTile(ilTile& tile, ilCoordSpace from, ilCoordSpace to);
  ilStatus mapTile(int& x, int& y, int& z, int nx, int ny, int nz, ilCoordSpace from,
                   ilCoordSpace to);

  // Where the image holds pixels: (0, 0, 0, xsize, ysize, zsize), or the
  // whole coordinate plane (about +-2^30) for images declared unbounded.
  // Outside it reads give the fill and writes are dropped.
  ilTile getDataBox();

  // True when `cfg` is null or describes exactly the image's own layout
  // (type, order, channel count, identity map, space), so it can be ignored.
  bool isNativeConfig(const ilConfig* cfg);
  // Converts one pixel given in `cfg`'s layout (the image's own when null)
  // into the image's layout, as a fill would write it. `written` receives
  // bit c for every image channel the pixel writes (channels without a bit
  // keep their old value). Answers ilOkay or a failure for unusable layouts.
  ilStatus toImagePixel(const void* pixel, const ilConfig* cfg, ilPixel& out,
                        unsigned* written = nullptr);

 protected:
  // A paged image over an unbounded plane (pages at negative coordinates,
  // size only a hint) declares so, and the generic tile operations then pass
  // every rectangle to its pages instead of clipping it to the size.
  void setUnboundedData(bool on) { unbounded_ = on; }

 private:
  int refCount_ = 0;
  bool unbounded_ = false;
  ilSize size_{0, 0, 1, 1};
  ilSize page_{0, 0, 1, 1};
  ilType type_ = ilAnyType;
  ilOrder order_ = ilInterleaved;
  ilColorModel colorModel_ = ilModelDefault;
  ilCoordSpace coordSpace_ = ilUpperLeft;
  int imageType_ = 0;
  ilPixel fill_;
};

// ilSIDImage: the base of the engine's own image classes. It adds the seed
// image interface (the seed is the image's input 0) and a bounds query, and
// gives each image a process-unique resource identifier (never reused, the
// first image created gets 1).
class BRENMARK_API ilSIDImage : public ilImage {
 public:
  ilSIDImage();
  ~ilSIDImage() override;

  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  const char* getDefaultDescription() const override;
  int getClassId() const override;

  // Virtual operations added here, in slot order.
  // Makes `seed` input 0 (null removes the input).
  virtual ilStatus SetSeedImage(ilImage* seed);
  // Nothing to merge for an image that keeps no record of changes.
  virtual ilStatus MergeChangesIntoSeed();
  // Copies the seed's data box into this image and drops the seed.
  virtual ilStatus CollapseSeed();
  virtual ilImage* GetSeedImage();
  // The region that holds content: here the data box (0, 0, 0, xsize, ysize,
  // zsize). The reference stays valid until the next call.
  virtual const ilTile& getBounds();

  unsigned ResourceID() const { return resourceId_; }
  // `img` as an ilSIDImage, or null when it is none (or null).
  static ilSIDImage* asSidImage(ilImage* img);

 private:
  ilTile dataBounds_;
  unsigned resourceId_;
};
