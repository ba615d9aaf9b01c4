// Shape parameters: what a shape's fill and stroke look like (opacities,
// texture offsets, the stroke's brush, stacking, clipping to the canvas),
// with the two dirty flags that decide how much of a shape is re-rendered,
// and the image-generator and mask-inversion variants.
#pragma once
#include <brenmark/export.h>

#include <brenmark/brush_parameters.h>
#include <brenmark/id_list.h>
#include <brenmark/il_types.h>
#include <brenmark/image_generator.h>
#include <brenmark/paint_ops.h>
#include <brenmark/resource.h>

class ilSIDImage;
class ilSmartImage;

// Dirty flags: "parameters dirty" means the shape must be repainted from its
// cached masks; "mask dirty" means the masks themselves must be rebuilt (and
// implies parameters dirty). A setter marks only what its value affects and
// nothing when the value does not change. Shape::Render clears both.
//
// Ownership: a Resource (count 0 when made); each shape using the record
// holds one reference.
class BRENMARK_API ShapeParms : public Resource, public IdList {
 public:
  using Offset = ilXYobj<ilXYstruct<float>, float>;

  ShapeParms();
  explicit ShapeParms(const char* name);
  ~ShapeParms() override = default;

  // Whether rendering with `other` instead of this record gives different
  // masks; false for null. Stamp spacing, fill on top and the image bounds
  // are not compared.
  virtual bool ShapeIsDifferent(const ShapeParms* other) const;
  // The texture painted through the fill or stroke mask, at least w x h;
  // the record keeps the reference.
  virtual ilSmartImage* GetFillTexture(int w, int h) = 0;
  virtual ilSmartImage* GetStrokeTexture(int w, int h) = 0;
  virtual bool IsParmsDirty() const { return parmsDirty_; }
  virtual bool IsMaskDirty() const { return maskDirty_; }
  // A hook run on every freshly rendered mask; nothing here.
  virtual void PostProcessShapeMask(ilSmartImage* mask);

  void SetFillTextureOffset(const Offset& o);
  void SetStrokeTextureOffset(const Offset& o);
  void SetFillOpacity(float v);
  void SetStrokeOpacity(float v);
  void SetStampAspect(float v);
  void SetStampRotation(float v);
  void SetStampSpacing(float v);
  void DoFill(bool on);
  void DoStroke(bool on);
  void SetUseImageBnd(bool on);
  // Compares x, y, nx and ny; stores the whole tile.
  void SetImageBnd(const ilTile& t);
  // Mask dirty when the brush shape differs; the record is always copied.
  void SetBrushParms(const BrushParameters& b);
  // Stacking changes the painting order only: parameters dirty.
  void SetFillOnTop(bool on);

  Offset GetFillTextureOffset() const { return fillOffset_; }
  Offset GetStrokeTextureOffset() const { return strokeOffset_; }
  float GetFillOpacity() const { return fillOpacity_; }
  float GetStrokeOpacity() const { return strokeOpacity_; }
  float GetStampAspect() const { return stampAspect_; }
  float GetStampRotation() const { return stampRotation_; }
  float GetStampSpacing() const { return stampSpacing_; }
  bool Filling() const { return filling_; }
  bool Strokeing() const { return stroking_; }
  BrushParameters GetBrushParameters() const { return brush_; }
  const BrushParameters& Brush() const { return brush_; }
  bool IsFillOnTop() const { return fillOnTop_; }
  ilTile GetImageBnd() const { return imageBounds_; }
  bool GetUseImageBnd() const { return useImageBounds_; }

  void SetMaskDirty() {
    maskDirty_ = true;
    parmsDirty_ = true;
  }
  void SetParmsDirty() { parmsDirty_ = true; }
  void ResetMaskDirty() { maskDirty_ = false; }
  void ResetParmsDirty() { parmsDirty_ = false; }

  BRENMARK_ID_LIST_RESOLVERS(ShapeParms, ShapeParms, "ShapeParms")

 protected:
  virtual void Initialize();

 private:
  Offset fillOffset_;
  float fillOpacity_ = 1.0f;
  Offset strokeOffset_;
  float strokeOpacity_ = 1.0f;
  float stampAspect_ = 1.0f;
  float stampRotation_ = 0.0f;
  float stampSpacing_ = 1.0f;
  BrushParameters brush_;
  bool fillOnTop_ = false;
  bool filling_ = true;
  bool stroking_ = true;
  bool useImageBounds_ = false;
  ilTile imageBounds_;
  bool parmsDirty_ = true;
  bool maskDirty_ = true;
};

// Parameters whose fill and stroke textures come from image generators
// (solid colour unless changed).
class BRENMARK_API ShapeImageParms : public ShapeParms {
 public:
  ShapeImageParms();
  explicit ShapeImageParms(const char* name);
  ~ShapeImageParms() override;

  ImageGntrController* GetFillImgGrtCtlr() { return &fill_; }
  ImageGntrController* GetStrokeImgGrtCtlr() { return &stroke_; }

  ilSmartImage* GetFillTexture(int w, int h) override { return fill_.GetImage(w, h); }
  ilSmartImage* GetStrokeTexture(int w, int h) override { return stroke_.GetImage(w, h); }
  // Also dirty while either generator's image is.
  bool IsParmsDirty() const override;
  bool ShapeIsDifferent(const ShapeParms* other) const override;

  BRENMARK_ID_LIST_RESOLVERS(ShapeImageParms, ShapeParms, "ShapeImageParms")

 protected:
  void Initialize() override;

 private:
  ImageGntrController fill_;
  ImageGntrController stroke_;
};

// Parameters of shapes on a geometry mask layer: masks may be inverted.
class BRENMARK_API ShapeMaskParms : public ShapeImageParms {
 public:
  ShapeMaskParms();
  explicit ShapeMaskParms(const char* name);

  bool GetInverse() const { return inverse_; }
  void SetInverse(bool on);

  // Inverts the mask when the inverse flag is set, and grows a smart
  // image's bounds to cover what the inversion filled.
  void PostProcessShapeMask(ilSmartImage* mask) override;

  // Every byte v of img's bounds, grown outward to whole 128-pixel pages,
  // becomes 255 - v (by the inversion blend), and the fill value swaps
  // between 0 and 255.
  static void InvertImage(ilSIDImage* img);

  BRENMARK_ID_LIST_RESOLVERS(ShapeMaskParms, ShapeParms, "ShapeMaskParms")

 private:
  bool inverse_ = false;
};
