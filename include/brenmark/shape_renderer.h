// Shape renderers: turn a shape's curve into a cached one-channel coverage
// mask (the shape mask) and paint the shape's texture through it. The fill
// renderer scan-converts the host's polygon of the curve; the stroke
// renderer stamps the brush along the curve's splines.
#pragma once
#include <brenmark/export.h>

#include <brenmark/callbacks.h>
#include <brenmark/il_types.h>

#include <cstdint>
#include <vector>

class ilImage;
class ilQVMemoryImg;
class ilSIDImage;
class ilSmartImage;
class PaintOps;
class ShapeParms;

// Ownership: a shape owns its two renderers. A renderer holds one reference
// on its mask; a renderer copied from another (Init) shares the source's
// mask until its own next rebuild, which makes a new mask object. Masks are
// rebuilt only while the renderer is marked mask-dirty, so painting an
// unchanged shape again reuses the mask.
class BRENMARK_API ShapeRenderer {
 public:
  // Renderers made and not yet destroyed.
  static int Count;
  // Largest curve coordinate with bounds: far inside the integer range, so
  // the grown edges and extents cannot overflow.
  static constexpr double kMaxCorner = 1 << 28;

  ShapeRenderer();
  virtual ~ShapeRenderer();
  ShapeRenderer(const ShapeRenderer&) = delete;
  ShapeRenderer& operator=(const ShapeRenderer&) = delete;

  // Bounds the rendered curve can reach; empty for a curve without points.
  virtual ilTile GetCrvBounds(ShapeParms* parms, ag_curve* curve) = 0;
  // Rebuilds the mask when mask-dirty (cropped to the parameters' image
  // bounds when they are in use), then paints through it. Nothing unless
  // curve, painter and parameters are all given.
  virtual void Render(ag_curve* curve, PaintOps* painter, ShapeParms* parms);

  void SetMaskDirty() { maskDirty_ = true; }
  void SetParmsDirty() { parmsDirty_ = true; }
  bool IsMaskDirty() const { return maskDirty_; }
  bool IsParmsDirty() const { return parmsDirty_; }

  ilSmartImage* ShapeMask() const { return mask_; }

 protected:
  virtual void RenderShapeMask(ag_curve* curve, ShapeParms* parms) = 0;
  virtual void RenderShape(PaintOps* painter, ShapeParms* parms) = 0;

  // Both flags and the mask (shared) from `from`; cleared for null.
  void Init(ShapeRenderer* from);
  void ClearMaskDirty() { maskDirty_ = false; }
  void ClearParmsDirty() { parmsDirty_ = false; }
  ilSmartImage* GetShapeMask() const { return mask_; }
  // Null is ignored; otherwise the old mask is released for the new one.
  void SetShapeMask(ilSmartImage* mask);
  // A new empty one-channel mask (fill 0) installed with SetShapeMask.
  ilSmartImage* NewShapeMask();

  // Clears the mask to its fill value outside b.
  void CropMaskToBound(const ilTile& b);
  // Paints the texture, scaled by the mask's coverage, over the mask's
  // bounds source-over with the painter; a one-channel target takes the
  // texture's luminance.
  void ApplyMaskToImage(ilSmartImage* mask, ilSIDImage* texture, PaintOps* painter);
  // Paints the mask's texture through `painter` and clears parameters dirty.
  void PaintThroughMask(PaintOps* painter, ilSmartImage* texture);
  // The curve's corners (callback 51) grown by `near` before and `far`
  // after, each edge truncated; empty without corners or for corners
  // beyond kMaxCorner.
  static ilTile GrownCurveBounds(ag_curve* curve, float near, float far);
  // A new one-channel image of img's luminance (count 0); null for null.
  static ilQVMemoryImg* ConvertRGBToLuminance(ilQVMemoryImg* img);

 private:
  bool maskDirty_ = false;
  bool parmsDirty_ = false;
  ilSmartImage* mask_ = nullptr;
};

// out = (R*77 + G*151 + B*28) >> 8 per packed pixel (R the lowest byte,
// alpha ignored); white gives 255.
BRENMARK_API void ConvertRGBAtoLuminance(const unsigned int* pixels, unsigned char* out, int count);

// Fill: the host tessellates the curve into line segments (callback 56);
// their coverage at half-pixel sub-lines in both directions, averaged,
// scaled by the fill opacity, becomes the mask.
class BRENMARK_API ShapeFillRenderer : public ShapeRenderer {
 public:
  ShapeFillRenderer() = default;
  // Flags and mask of the source; segments are not copied.
  explicit ShapeFillRenderer(ShapeFillRenderer* from);

  // The curve's corners grown by 2 (3 at the far side), then as the host
  // adjusts them when tessellating.
  ilTile GetCrvBounds(ShapeParms* parms, ag_curve* curve) override;
  int SegmentCount() const { return static_cast<int>(segments_.size() / 4); }

 protected:
  void RenderShapeMask(ag_curve* curve, ShapeParms* parms) override;
  void RenderShape(PaintOps* painter, ShapeParms* parms) override;

 private:
  // Replaces the kept segments by the host's tessellation for bounds b.
  void CreateLinesFromCurve(ag_curve* curve, ilTile& b);
  bool FillMask(ilSmartImage* mask, const ilTile& b, float opacity);

  std::vector<float> segments_;  // x, y, dx, dy per segment
};

// Stroke: the brush of the parameters stamped along each spline of the
// curve (callback 57 gives its points) with the engine's stroke painter.
class BRENMARK_API ShapeStrokeRenderer : public ShapeRenderer {
 public:
  ShapeStrokeRenderer() = default;
  explicit ShapeStrokeRenderer(ShapeStrokeRenderer* from);

  // The curve's corners grown by 2 + r (4 + 2r at the far side), with
  // r = trunc(brush radius + 1).
  ilTile GetCrvBounds(ShapeParms* parms, ag_curve* curve) override;

 protected:
  void RenderShapeMask(ag_curve* curve, ShapeParms* parms) override;
  void RenderShape(PaintOps* painter, ShapeParms* parms) override;
};
