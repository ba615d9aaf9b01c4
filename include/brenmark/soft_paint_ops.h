// SoftPaintOps: the software blending engine behind every PaintOps envelope.
// It reads, writes, fills and blends rectangles into the target image page by
// page, on the target's locked page memory.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il.h>
#include <brenmark/paint_ops.h>

class StampImpl;

// The letter of every painter. Blending: a blend function (source and
// destination BlendFactor), a per-channel write mask, an optional coverage
// image (`src_alpha_img`, 8-bit, whose pixel (u, v) covers source pixel
// (u + srcX, v + srcY) of a rect_copy), 16-bit painting through a second
// image that holds the low-order bits, a wet marker mode and a mask-blend
// mode that reveals a saved copy of the destination (`dst_copy_img`).
//
// Ownership: holds a reference on its stamp and on its low-order-bit image;
// owns the two stamp implementations it creates; does not hold the target,
// the coverage image or the destination copy (their setters' callers keep
// them alive while they are attached).
//
// Dabs: set_stamp() picks a stamp implementation (a separable one for image
// stamps and high-quality stamps, else the image one) through the stamp
// services the brush subsystem installs (paintops/soft_paint_ops_stamp.h);
// without them a painter takes no stamp and draw_stamps() answers −1.
class BRENMARK_API SoftPaintOps : public PaintOps {
 public:
  explicit SoftPaintOps(ilImage* target);
  ~SoftPaintOps() override;

  int set_writable(int r, int g, int b, int a) override;
  int set_writable(const int* flags) override;
  int set_stamp(Stamp* stamp) override;
  int draw_stamps(PaintPointStream& points, float (*pressure)()) override;
  int draw_stamps(const PaintPoint* points, int count, float (*pressure)()) override;
  void reset() override;
  // Only the six BlendFactor codes are accepted; anything else answers −1
  // and leaves the function as it was.
  int blend_func(BlendFactor src, BlendFactor dst) override;
  int rect_read(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) override;
  int rect_write(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) override;
  int rect_copy(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY, const ilConfig* cfg,
                float zoomX, float zoomY) override;
  int image_proxy(ilImage* img, int dx, int dy, float angle, ProxyQualityHint hint) override;
  int grid_warp_image_proxy(ilImage* img, int dx, int dy, float angle,
                            ProxyQualityHint hint) override;
  int keep_read_valid(int keep) override;
  int is_read_valid() const override;
  int get_blend_func(BlendFactor& src, BlendFactor& dst) override;
  void BeginOperation() override;
  ilImage* dst_copy_img() const override;
  // Keeps the image only when it is a smart image (null otherwise).
  void dst_copy_img(ilImage* img) override;
  void SetMaskBlend(bool on) override { maskBlend_ = on; }
  bool IsMaskBlend() override { return maskBlend_; }
  Stamp* get_stamp() const override { return stamp_; }
  ilImage* src_alpha_img() const override { return srcAlpha_; }
  void src_alpha_img(ilImage* img) override { srcAlpha_ = img; }
  int rect_fill(int x, int y, int nx, int ny, void* pixel, const ilConfig* cfg) override;
  bool IsMarkerBlend() override { return markerBlend_; }
  void SetMarkerBlend(bool on) override { markerBlend_ = on; }
  float MarkerWetness() override { return markerWetness_; }
  void SetMarkerWetness(float wetness) override { markerWetness_ = wetness; }
  ilSmartImage* GetLowOrderBitImage() override { return lowBits_; }
  // Attaches (and references) `img` when its channel count is the target's;
  // any other image leaves the painter without one.
  void SetLowOrderBitImage(ilSmartImage* img) override;

  // Appended slot. Makes the low-order-bit image (a smart image of the
  // target's channel count whose unpainted pixels read 0x7F in every channel)
  // while a stamp is set that paints 16-bit or marker blend is on, and drops
  // it when a stamp is set that needs neither.
  virtual void AllocateLowOrderBits();

  // The write mask: packed-pixel bits that may change.
  unsigned GetWriteMask() const { return writeMask_; }

  // Process-wide switches. high_quality_stamp() is always 1 (setting it
  // keeps it 1); SingleColorStamp(1) tells the brush blend that the first
  // source pixel is the colour of the whole dab.
  static int high_quality_stamp();
  static void high_quality_stamp(int on);
  static void SingleColorStamp(int on);
  static int GetSingleColorStamp();

 protected:
  void MarkerInfoCopy(PaintOps* to) override;

 private:
  bool is_func_(int src, int dst) const { return srcFactor_ == src && dstFactor_ == dst; }
  void make_writemask_();
  int blend_in_place_(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY, unsigned mask,
                      float zoomX, float zoomY);

  StampImpl* stampImpl_ = nullptr;
  Stamp* stamp_ = nullptr;
  StampImpl* sepImpl_ = nullptr;
  StampImpl* imageImpl_ = nullptr;
  int srcFactor_ = BlendOne;
  int dstFactor_ = BlendZero;
  unsigned writeMask_ = 0xFFFFFFFFu;
  int readValidCount_ = 0;
  ilImage* srcAlpha_ = nullptr;
  ilConstImg constImg_;
  bool markerBlend_ = false;
  float markerWetness_ = 0.5f;
  ilSmartImage* lowBits_ = nullptr;
  ilSmartImage* dstCopy_ = nullptr;
  bool maskBlend_ = false;

  static int high_quality_stamp_;
  static int SingleColorStamp_;
};
