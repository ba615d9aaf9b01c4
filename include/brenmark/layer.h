// Layer: one member of a layer stack's list (image, mask or geometry layer):
// identity, name, kind, activity, opacity, list links, offsets, pivot and
// its list of shapes.
#pragma once

#include <cstdint>

#include <brenmark/il.h>
#include <brenmark/layer_stack_transform.h>
#include <brenmark/observable.h>
#include <brenmark/paint_color.h>
#include <brenmark/resource.h>
#include <brenmark/view_values.h>

class PaintOps;
class Shape;

// Ownership: a layer is a Resource. The layer stack whose list holds it keeps
// one reference; undo records may hold more. A layer holds one reference on
// its colour image and one on its stencil (both smart images), one on each
// shape of its list, and one on its painter once it has one.
//
// Identity: every layer built from images takes the next value of one
// process-wide counter (starting at 0) as its identifier and names itself
// from the same number ("Layer-%d" or "Mask-%d"). A copy made with
// Layer(Layer*) keeps its source's identifier and name, so layer handles stay
// valid when a stack is replaced by its copy. The handle of a layer is its
// identifier carried in a void*.
//
// Changing the name, opacity, active flag or mask-active flag calls notify().
class Layer : public Resource, public Observable {
 public:
  static constexpr int kNameCapacity = 128;  // at most 127 characters and the terminator
  static constexpr int kTopShapeIndex = 2147483647;
  static constexpr int kBottomShapeIndex = -3;

  // Stores and references both images; a stencil-less layer gets a blank
  // stencil. Images that are not smart images are reported and used anyway.
  Layer(ilImage* color, ilImage* stencil, bool isMask, bool isGeometry);
  // Shares the source's images (one more reference each), copies its
  // attributes, name, identifier and shapes; the list links stay empty and
  // the source is remembered as the copied-from layer.
  explicit Layer(Layer* source);
  ~Layer() override;

  // A member-wise copy would release the images twice; use Layer(Layer*).
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  // ---- Identity and list links.
  void* GetLayerID() const { return reinterpret_cast<void*>(id_); }
  // The last identifier handed out (-1 before the first layer).
  static std::intptr_t LastLayerID();
  Layer* GetNext() const { return next_; }
  Layer* GetPrev() const { return previous_; }
  void SetNext(Layer* l) { next_ = l; }
  void SetPrev(Layer* l) { previous_ = l; }
  Layer* GetCopiedFrom() const { return copiedFrom_; }
  // The nearest non-mask layer below a mask (a mask with none is its own
  // owner); a non-mask layer owns itself.
  Layer* MaskOwner();
  // The next layer above this one that is active (and not a mask when
  // skipMasks); null when there is none.
  Layer* GetNextActive(bool skipMasks) const;

  // ---- Name, kind and flags.
  const char* GetLayerName() const { return name_; }
  // Copies at most 127 characters; null stores "__NULL LAYER NAME__".
  void SetLayerName(const char* name);
  bool isMask() const { return isMask_; }
  void SetMask(bool on) { isMask_ = on; }
  bool isGeometry() const { return isGeometry_; }
  bool isActive() const { return active_; }
  void SetActive(bool on);
  bool isMaskActive() const { return maskActive_; }
  void SetMaskActive(bool on);
  float GetOpacity() const { return opacity_; }
  void SetOpacity(float opacity);
  PaintColor GetMaskColor() const { return maskColor_; }
  void SetMaskColor(const PaintColor& c) { maskColor_ = c; }
  float GetMaskDisplayOpacity() const { return maskDisplayOpacity_; }
  void SetMaskDisplayOpacity(float o) { maskDisplayOpacity_ = o; }

  // ---- Images and bounds.
  ilImage* GetImage() const { return color_; }
  ilImage* GetStencil() const { return stencil_; }
  // The layer's own painter; none exists until the painting subsystem
  // builds one.
  PaintOps* GetPainter() const { return painter_; }
  // For a geometry layer with `shapes`, the bounds of its shapes; otherwise
  // the colour image's bounds, or an empty tile without a colour image.
  ilTile getLayerBounds(bool shapes) const;
  // Gives both images a chance to drop unused area at their edges.
  void ShrinkBounds(bool fast, bool flag);
  // Makes the stencil blank: full coverage everywhere (fill 255, its bounds
  // filled with 255). Creates the stencil when there is none.
  void MakeBlankStencil();
  void ClearStencil() { MakeBlankStencil(); }
  void StartStencilling();

  // ---- Offsets (geometry layers always report (0, 0) and ignore changes).
  void SetOffset(const LayerStackTransform& t, float x, float y);
  void SetOffset(const LayerStackTransform& t, int x, int y);
  void SetOffset(float x, float y);
  void GetOffset(int& x, int& y) const;
  void GetOffset(float& x, float& y) const;
  int getXOffset() const;
  int getYOffset() const;
  void SetLayerStackOffset(int x, int y);
  void GetLayerStackOffset(int& x, int& y) const;

  // ---- Pivot. A pivot whose flag is clear is recomputed as the centre of
  // the layer's bounds each time it is asked.
  LayerPivot GetPivot();
  void SetPivot(const LayerPivot& p) { pivot_ = p; }
  void ResetPivot();
  void UpdatePivot() { GetPivot(); }

  // ---- Proxy state (a proxy is never begun on a layer yet).
  bool InProxy() const { return inProxy_; }
  void EndProxy();

  // ---- Thumbnail settings.
  void SetThumbnailSize(int width, int height);
  void GetThumbnailSize(int& width, int& height) const;
  void SetThumbnailBackground(const PaintColor& c);
  PaintColor GetThumbnailBackground() const { return thumbnailBackground_; }
  ilSIDImage* GetThumbnailImage();
  void RebuildThumbnailImage() {}

  // ---- Shapes, bottom (index 1) to top. Index -3 names the bottom shape,
  // 2147483647 the top shape.
  void* AddShape(Shape* shape, int position);
  bool RemoveShape(Shape* shape);
  Shape* GetShapeFromHandle(void* handle) const;
  int GetShapeIndexFromHandle(void* handle) const;
  Shape* GetShapeFromIndex(int index) const;
  void* GetShapeHandleFromIndex(int index) const;
  int GetNumShapes() const { return shapeCount_; }
  Shape* GetTopShape() const { return topShape_; }
  Shape* GetBottomShape() const { return bottomShape_; }
  bool ShapeChanged() const;
  bool IsGeometryImgChanged() const { return isGeometry_ && geometryImageChanged_; }
  void ClearGeometryImgIsChanged() { geometryImageChanged_ = false; }

  // Prints the layer and its shapes when the debug selector is 8214.
  void debug() const;

 private:
  void InitFields();
  void NameFromCounter();

  Layer* next_ = nullptr;
  Layer* previous_ = nullptr;
  Layer* copiedFrom_ = nullptr;
  ilImage* color_ = nullptr;
  ilImage* stencil_ = nullptr;
  // Proxy images: what previews are computed from, and the layer's own
  // images while working images stand in for them.
  ilImage* proxySource_ = nullptr;
  ilImage* proxySourceStencil_ = nullptr;
  ilImage* baseColor_ = nullptr;
  ilImage* baseStencil_ = nullptr;
  bool inProxy_ = false;
  ProxyParameters proxyParameters_{};
  ilTile bounds_;
  ilSIDImage* thumbnail_ = nullptr;
  PaintColor thumbnailBackground_;
  int thumbnailWidth_ = 32;
  int thumbnailHeight_ = 32;
  bool thumbnailDirty_ = true;
  float opacity_ = 1.0f;
  float maskDisplayOpacity_ = 0.5f;
  float offsetX_ = 0.0f;
  float offsetY_ = 0.0f;
  float proxySourceX_ = 0.0f;  // the offset at proxy start
  float proxySourceY_ = 0.0f;
  int layerStackOffsetX_ = 0;
  int layerStackOffsetY_ = 0;
  int proxyOffsetX_ = 0;  // origin shift of the last proxy resampling
  int proxyOffsetY_ = 0;
  LayerPivot pivot_{};
  bool active_ = true;
  bool maskActive_ = true;
  bool isMask_ = false;
  PaintColor maskColor_;
  char name_[kNameCapacity];
  std::intptr_t id_ = 0;
  bool isGeometry_ = false;
  int shapeCount_ = 0;
  Shape* topShape_ = nullptr;
  Shape* bottomShape_ = nullptr;
  PaintOps* painter_ = nullptr;
  bool geometryImageChanged_ = false;
  bool shapesChanged_ = false;
};
