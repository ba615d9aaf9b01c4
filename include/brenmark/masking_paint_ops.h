// MaskingPaintOps: the painter that protects part of its target with a
// one-channel mask. Every write goes through to the wrapped painter; the
// pixels as they were before are then put back wherever the mask is set.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il.h>
#include <brenmark/paint_ops.h>

class ilSmartImage;
class Stamp;

// Mask values: 0 paintable, 255 protected, values between put the earlier
// pixel back in proportion ((earlier * m + painted * (256 - m)) >> 8). Mask
// pixel (u, v) protects target pixel (u - offset x, v - offset y). The
// mask's fill (its value outside its stored pages) decides what lies beyond
// its bounds: with fill 0 only the mask's bounds can protect, with fill 255
// everything outside them is protected.
//
// Capture and put-back: before a write the target pages under the written
// rectangle are captured as copy-on-write references into a snapshot image
// seeded from the target (no pixels move); after it the snapshot is mixed
// back through the mask with the painter's mask blend. Inside an operation
// (BeginOperation .. EndOperation, a brush stroke) the put-back waits for
// the end of the operation, so that everything painted meanwhile
// accumulates normally and the protection is applied once; rect_read and
// GetMaskedTargetImg show the protected result meanwhile.
//
// Ownership: a Resource. It holds one reference on the wrapped painter (not
// owned as a letter: the wrapper never deletes it), on the mask, on its
// stamp (through the stamp services) and on the snapshot and scratch image
// while they exist. The target is not referenced (see PaintOps).
class BRENMARK_API MaskingPaintOps : public PaintOps {
 public:
  // A masking painter with its own software painter on `target`.
  MaskingPaintOps(ilImage* target, ilImage* mask, int offsetX, int offsetY);
  // A masking painter around `painter`.
  MaskingPaintOps(PaintOps* painter, ilImage* mask, int offsetX, int offsetY);
  ~MaskingPaintOps() override;

  int set_stamp(Stamp* stamp) override;
  // Forwards and forgets the last dab position.
  int connect_stamps(int a, int b, int c) override;
  using PaintOps::connect_stamps;
  int draw_stamps(PaintPointStream& points, float (*pressure)()) override;
  int draw_stamps(const PaintPoint* points, int count, float (*pressure)()) override;
  int rect_read(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) override;
  int rect_write(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) override;
  int rect_copy(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY, const ilConfig* cfg,
                float zoomX, float zoomY) override;
  int rect_fill(int x, int y, int nx, int ny, void* pixel, const ilConfig* cfg) override;
  // With no capture pending, the target; otherwise a scratch image holding
  // `tile` of the target with the protection applied.
  ilSIDImage* GetMaskedTargetImg(const ilTile& tile) override;
  // The target's bounds, cut to the mask's bounds when the mask's fill
  // protects everything outside them.
  ilTile getUnMaskedBounds() override;
  void BeginOperation() override;
  void EndOperation() override;

  // ---- Appended slots.
  // Wraps `painter` instead (and takes its stamp).
  virtual void SetPainter(PaintOps* painter);
  // Stores the offset; a non-null mask replaces the current one unless an
  // operation is in progress.
  virtual void SetMask(ilImage* mask, int offsetX, int offsetY);

  ilImage* GetMask() const { return mask_; }
  void GetMaskOffset(int& x, int& y) const {
    x = maskX_;
    y = maskY_;
  }
  // A write to the target pixels `t` would change nothing.
  bool IsFullyProtected(const ilTile& t) const;

  // How far a dab of `stamp` reaches from its centre, in target pixels. The
  // brush subsystem installs the query; without one every dab is assumed to
  // reach as far as the largest stamp can (which only costs capture work).
  using StampReachQuery = float (*)(const Stamp* stamp);
  static void SetStampReachQuery(StampReachQuery query);
  static float StampReach(const Stamp* stamp);

 private:
  void TakeStamp(Stamp* stamp);
  int MaskFill() const;
  ilTile MaskBounds() const;
  // Cuts t to where a fill-0 mask can protect (unchanged for other fills);
  // false when nothing is left or nothing protects.
  bool ProtectedPart(ilTile& t) const;
  void Capture(const ilTile& t);
  void PutBack(PaintOps* painter, const ilTile& t);
  void EndSnapshot();
  // After a masked write: put back now, or at the end of the operation.
  void Settle();
  ilTile DabRect(float x, float y, float radius) const;

  ilSmartImage* scratch_ = nullptr;
  PaintOps* scratchPainter_ = nullptr;
  ilSmartImage* snapshot_ = nullptr;
  ilImage* mask_ = nullptr;
  ilImage* lastShrunkMask_ = nullptr;
  int maskX_ = 0;
  int maskY_ = 0;
  Stamp* stamp_ = nullptr;
  PaintOps* wrapped_ = nullptr;
  ilTile dirty_{0, 0, 0, 0, 0, 1};
  float lastX_ = 0.0f;
  float lastY_ = 0.0f;
  float lastRadius_ = 0.997f;
  bool lastValid_ = false;
  bool snapshotActive_ = false;
  bool inOperation_ = false;
  ilTile snapshotRect_{0, 0, 0, 0, 0, 1};
};
