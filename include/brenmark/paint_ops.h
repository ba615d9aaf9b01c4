// PaintOps: the painter through which every pixel write of the engine goes
// (dabs, rectangle reads, writes, fills and copies), with the modified and
// damage bookkeeping that tells the layer stack what to redraw; the blend
// factor codes and the dab point types it takes.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il.h>
#include <brenmark/observable.h>
#include <brenmark/resource.h>

class ilSmartImage;
class Layer;
class Stamp;

// A plain pair of coordinates.
template <typename T>
struct ilXYstruct {
  T x = T();
  T y = T();
};

// A point object over a coordinate pair (dab centres, texture offsets).
template <typename S, typename T>
struct ilXYobj : S {
  ilXYobj() = default;
  ilXYobj(T x_, T y_) {
    this->x = x_;
    this->y = y_;
  }
};

// An abstract source of points: next() hands out one point per call and
// answers false once the source is exhausted (the point is then untouched).
template <typename T, typename P>
class XYStream {
 public:
  virtual ~XYStream() = default;
  virtual bool next(P& point) = 0;
};

using PaintPoint = ilXYobj<ilXYstruct<float>, float>;
using PaintPointStream = XYStream<float, PaintPoint>;

// Blend factor codes. The pair (source, destination) is the blend function:
// result = satadd(source * source factor, destination * destination factor),
// factors in 256ths of the 8-bit alphas a (source, or the coverage) and A
// (destination). (BlendOne, BlendZero) replaces; (BlendOne,
// BlendOneMinusSrcAlpha) composites premultiplied source over destination.
enum BlendFactor : int {
  BlendZero = 0,
  BlendOne = 1,
  BlendSrcAlpha = 6,
  BlendOneMinusSrcAlpha = 7,
  BlendDstAlpha = 8,
  BlendOneMinusDstAlpha = 9,
};

// Which modified rectangle tile_modified() answers.
enum ModifySince : int {
  SinceLastCall = 0,  // written since the previous SinceLastCall query; reading clears it
  SinceReset = 1,     // written since reset_tile_modified()
};

// PaintOps is an envelope around a letter: the object callers hold forwards
// every virtual operation to its implementation (`rep`, in practice a
// SoftPaintOps) and answers −1, 0 or null itself when it has none. The state
// of an envelope with a letter lives in the letter, except the application
// mode and the blend opacity; retarget() swaps the letter for one on another
// image and carries the state listed there across.
//
// Ownership: a Resource (count starts at 0, the last unref deletes). The
// target image is not referenced: whoever binds a painter to an image keeps
// the image alive for the painter's life. An owned letter dies with the
// envelope, when set_rep_ replaces it, or through retarget; transform()
// hands it out to the caller instead.
//
// Rectangles: the modified rectangles are in target pixels; damage() takes
// caller units, which the scale (target pixels per caller unit) converts.
// Results of int operations: 0 success, −1 failure, unless said otherwise.
class BRENMARK_API PaintOps : public Resource {
 public:
  enum ProxyQualityHint : int { ProxyQualityDefault = 0 };

  // With makeLetter non-zero the painter gets a SoftPaintOps letter on the
  // same target, owned; otherwise it is its own implementation and keeps its
  // own writable flags.
  PaintOps(ilImage* target, short makeLetter);
  ~PaintOps() override;
  PaintOps(const PaintOps&) = delete;
  PaintOps& operator=(const PaintOps&) = delete;

  // ---- Virtual operations, in slot order.
  // Hands the letter to the caller (who then owns it) and forgets it.
  virtual PaintOps* transform();
  virtual int set_writable(int r, int g, int b, int a);
  virtual int set_writable(const int* flags);
  virtual int set_stamp(Stamp* stamp);
  virtual int draw_stamps(PaintPointStream& points, float (*pressure)());
  virtual int draw_stamps(const PaintPoint* points, int count, float (*pressure)());
  // Puts the stamp's placement back to identity and empties the shared
  // dab-image cache.
  virtual void reset();
  // Mode 0 paints (blend (1, 7)), anything else erases (blend (0, 7)). Not
  // forwarded: the mode is kept by the object called. The layer is unused.
  virtual void set_application_mode(int mode, Layer* layer);
  virtual int blend_func(BlendFactor src, BlendFactor dst);
  virtual int rect_read(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg);
  virtual int rect_write(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg);
  virtual int rect_copy(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY,
                        const ilConfig* cfg, float zoomX, float zoomY);
  virtual int image_proxy(ilImage* img, int dx, int dy, float angle, ProxyQualityHint hint);
  virtual int grid_warp_image_proxy(ilImage* img, int dx, int dy, float angle,
                                    ProxyQualityHint hint);
  virtual ilImage* target_img() const;
  virtual ilTile getUnMaskedBounds();
  virtual int keep_read_valid(int keep);
  virtual int is_read_valid() const;
  virtual int get_blend_func(BlendFactor& src, BlendFactor& dst);
  virtual int connect_stamps() const;
  virtual int connect_stamps(int a, int b, int c);
  virtual void BeginOperation();
  virtual void EndOperation();
  virtual void BeginStroke();
  virtual void EndStroke();
  virtual ilImage* dst_copy_img() const;
  virtual void dst_copy_img(ilImage* img);
  virtual void SetMaskBlend(bool on);
  virtual bool IsMaskBlend();
  virtual ilSIDImage* GetMaskedTargetImg(const ilTile& tile);
  virtual const int* get_writable() const;
  virtual const int* get_writable(int& numChannels) const;
  virtual void set_scale(float sx, float sy);
  virtual void get_scale(float& sx, float& sy);
  virtual Stamp* get_stamp() const;
  // Rebinds the painter to `img`. With both flags set (and an image) only
  // the target pointer changes; otherwise a new SoftPaintOps letter replaces
  // the old one, taking over its writable flags, stamp, blend function,
  // marker and mask-blend settings, scale, brush clipping rectangle,
  // modified and damage rectangles, and (with keepLowBits, when the channel
  // counts agree) its low-order-bit image. Not forwarded.
  virtual void retarget(ilImage* img, bool keepLowBits, bool keepLetter);
  virtual ilImage* src_alpha_img() const;
  virtual void src_alpha_img(ilImage* img);
  virtual int rect_fill(int x, int y, int nx, int ny, void* pixel, const ilConfig* cfg);
  virtual bool IsMarkerBlend();
  virtual void SetMarkerBlend(bool on);
  virtual float MarkerWetness();
  virtual void SetMarkerWetness(float wetness);
  // Channel scale and offset applied after replace-copies; each value is
  // clamped to [0, 1]; the packed forms hold value * 255 truncated, first
  // value in bits 0-7.
  virtual void SetScaleAndOffset(float s0, float s1, float s2, float s3, float o0, float o1,
                                 float o2, float o3);
  virtual ilSmartImage* GetLowOrderBitImage();
  virtual void SetLowOrderBitImage(ilSmartImage* img);

  // ---- Non-virtual members (forwarded to the letter when there is one).
  int draw_stamp(float x, float y, float (*pressure)());
  int draw_stamp(const PaintPoint& p, float (*pressure)());
  // The blend opacity is kept for callers; the blending does not read it.
  void SetBlendOpacity(float opacity) { blendOpacity_ = opacity; }
  float GetBlendOpacity() const { return blendOpacity_; }
  void SetBrushClippingRect(const ilTile& clip);
  ilTile GetBrushClippingRect() const;
  int GetApplicationMode() const { return applicationMode_; }

  void reset_tile_modified();
  // Answers 1 when the chosen rectangle is non-empty; see ModifySince. With
  // unscale it is divided into caller units, with accumulate merged into
  // `out`; the result is clipped to a fixed-size target.
  int tile_modified(ilTile& out, ModifySince since, int accumulate, int unscale);
  void damage(const ilTile& t);
  int damaged() const;
  int damaged(ilTile& out, int accumulate, int unscale);
  ilTile GetDamaged() const;
  void reset_damage();
  // Caller units to target pixels (outward: origin floored, extent ceiled).
  void convert_to_target(ilTile& t) const;

  // ---- Process-wide state.
  static int InOperation();
  static Observable* GetOperationObservable();
  static int InStroke();
  // The installed fast painter, else a 512 x 512 four-channel painter of
  // our own, made on first use.
  static PaintOps* fast_painter();
  static void fast_painter(PaintOps* painter);
  static bool fast_painter_installed();

 protected:
  // An envelope with no target, no writable flags and no letter.
  PaintOps();

  virtual void MarkerInfoCopy(PaintOps* to);

  // Adds t to both modified rectangles (every successful write does this).
  void tile_was_modified(const ilTile& t);
  // Union per axis; an axis whose extent is 0 in `into` takes t's, and an
  // axis whose extent is 0 in t leaves `into` alone.
  void add_tile(ilTile& into, const ilTile& t) const;
  // Union per axis, both taken as non-empty.
  void update_tile(ilTile& into, const ilTile& t) const;
  PaintOps* get_rep_() const { return rep_; }
  // Destroys an owned letter, then installs `letter`.
  void set_rep_(PaintOps* letter, int owns);

  // The painter's own fields (those of the letter are reached through it).
  ilImage* target_ = nullptr;
  int* writable_ = nullptr;  // four flags, own implementation only
  float scaleX_ = 1.0f;
  float scaleY_ = 1.0f;
  float channelScale_[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float channelOffset_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  unsigned packedScale_ = 0xFFFFFFFFu;
  unsigned packedOffset_ = 0;

 private:
  // The innermost letter: a masking painter's letter is itself an envelope,
  // and the state it forwards lives in that envelope's letter.
  PaintOps* holder_() {
    PaintOps* p = this;
    while (p->rep_ != nullptr) p = p->rep_;
    return p;
  }
  const PaintOps* holder_() const { return const_cast<PaintOps*>(this)->holder_(); }
  bool unitScale_() const { return scaleX_ == 1.0f && scaleY_ == 1.0f; }
  void clip_tile(ilTile& t, int unscale);
  void unscale_tile_(ilTile& t) const;
  PaintOps* make_letter_(ilImage* img) const;

  int applicationMode_ = 0;
  ilTile brushClip_{-2000, -2000, 0, 4000, 4000, 1};
  PaintOps* rep_ = nullptr;
  int ownsRep_ = 0;
  ilTile modifiedSinceQuery_{0, 0, 0, 0, 0, 1};
  ilTile modifiedSinceReset_{0, 0, 0, 0, 0, 1};
  ilTile damage_{0, 0, 0, 0, 0, 1};
  float blendOpacity_ = 0.0f;

  static int OperationCount_;
  static int StrokeCount_;
  static Observable OperationObservable_;
  static PaintOps* installed_fast_painter_;
  static PaintOps* our_fast_painter_;
};
