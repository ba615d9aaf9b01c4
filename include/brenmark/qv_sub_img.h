// ilQVSubImg: a window onto another image, optionally with its own channel
// configuration.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_image.h>

#include <optional>

// Class identifier answered by ilQVSubImg::getClassId().
constexpr int ilQVSubImgClassId = ilFirstUserClassId + 11;

// A view of the input image (input 0, not referenced: whoever builds the view
// keeps the input alive) from an origin inside it. Pixel (x, y, z) of the view
// is pixel (x, y, z) + origin of the input, both in the view's coordinate
// space; the view's channel k is the input channel its configuration names
// (the identity without one).
//
// Attributes: reset() copies the fill, type, order, channel count, colour
// model and coordinate space from the input, except where the view's
// configuration sets them; the size is the input's beyond the origin unless
// it was given (constructor, setViewSize or setSize).
//
// Tile reads, writes and copies go to the input with the rectangles moved by
// the origin and the view's channel map composed with the caller's. Without
// an input they answer ilInvalid. Fills are not supported (ilNotWritable).
class BRENMARK_API ilQVSubImg : public ilImage {
 public:
  ilQVSubImg(ilImage* input, int x, int y, int z = 0);
  // Shows `channels` channels of the input (its first ones).
  ilQVSubImg(ilImage* input, int x, int y, int z, int channels);
  // A view of the given size; `cfg` (copied) sets the view's layout.
  ilQVSubImg(ilImage* input, int x, int y, int z, const ilSize& size,
             const ilConfig* cfg = nullptr);
  ~ilQVSubImg() override;

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

  void setOrigin(int x, int y, int z = 0);
  void getOrigin(int& x, int& y, int& z) const;
  void setViewSize(int nx, int ny);
  // The view's layout: type, order, channel count and channel list, coordinate
  // space and colour model where set (null: all from the input).
  void setChannelConfig(const ilConfig* cfg);
  const ilConfig* getChannelConfig() const { return cfg_ ? &*cfg_ : nullptr; }

 private:
  // Input channel shown as view channel k (negative: none).
  int inputChannel_(int k) const;
  // Maps a rectangle of the view, given in `space`, to the same pixels of the
  // input expressed in `space` (the buffer keeps its orientation).
  ilStatus toInput_(ilImage* in, ilTile& t, ilCoordSpace space);
  ilConfig composeReadWrite_(ilImage* in, const ilConfig* cfg, ilCoordSpace space);

  int ox_, oy_, oz_;
  int channels_ = 0;  // 0: the input's count
  bool sizeGiven_ = false;
  ilSize derivedSize_;
  std::optional<ilConfig> cfg_;
};
