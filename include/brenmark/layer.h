// Layer: one member of a layer stack's list (image, mask or geometry layer):
// identity, name, kind, activity, opacity, list links, offsets, pivot and
// its list of shapes.
#pragma once
#include <brenmark/export.h>

#include <cstdint>

#include <brenmark/il.h>
#include <brenmark/layer_stack_transform.h>
#include <brenmark/observable.h>
#include <brenmark/paint_color.h>
#include <brenmark/resource.h>
#include <brenmark/stored_records.h>
#include <brenmark/view_values.h>

class PaintOps;
class Shape;
class ilSmartImage;

// Resampling filters of layer transforms (the scale modes of ilQVMemoryImg).
enum FilterMethod : int { kFilterNearest = 0, kFilterBilinear = 1, kFilterBicubic = 2 };

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
//
// Pixels: the colour image (4 channels, or 1 for a mask) and the stencil (1
// channel, 255 = full coverage) are smart images in layer coordinates; the
// integer offset (the float offset truncated toward zero) places layer
// pixel (u, v) at canvas (u + x offset, v + y offset). Opacities of 0.998
// and above count as fully opaque.
class BRENMARK_API Layer : public Resource, public Observable {
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
  // An empty shell for a stored record: no identifier (its handle reads as
  // none), name, images or painter. Nothing is read from the record. Give it
  // images before it joins a stack.
  explicit Layer(SIDLayer_sr* record);
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
  // Replaces the colour image (the layer references the new one).
  void SetImage(ilImage* image);
  // Takes a one-channel image (or null) as the stencil; a multi-channel
  // image is ignored. A null stencil is replaced by a blank one.
  void SetStencil(ilImage* stencil);
  // The layer's own painter on its colour image, made on first use (the
  // layer holds one reference) and rebound whenever the image changed.
  PaintOps* GetPainter();
  // Composites img over the colour image at img's own bounds; false for
  // null.
  bool ApplyImage(ilSIDImage* img);
  // For a geometry layer with `shapes`, the bounds of its shapes; otherwise
  // the colour image's bounds, or an empty tile without a colour image.
  ilTile getLayerBounds(bool shapes) const;
  // Gives both images a chance to drop unused area at their edges (fast:
  // whole pages only).
  void ShrinkBounds(bool fast, bool flag);
  // Makes the stencil blank: full coverage everywhere (fill 255, no stored
  // pixels). Creates the stencil when there is none.
  void MakeBlankStencil();
  void ClearStencil() { MakeBlankStencil(); }
  // Hides the whole layer: the stencil reads 0 over (-4096, -4096) to
  // (4095, 4095).
  void FillStencil();
  void StartStencilling();

  // ---- Opacity and stencil applied to pixels.
  // The layer as it composites: the colour image itself for an opaque image
  // layer without stencil content (after rendering its shapes), otherwise
  // the shared stencilled image built over `area` (the colour image's bounds
  // when null): masks in their mask colour, times the opacity, the mask
  // display opacity and the stencil. The shared image stays valid until the
  // next stencilled image of any layer is built.
  ilSIDImage* GetStencilledImage(ilTile* area, bool force, bool b);
  // Always builds the shared stencilled image, with `stencil` standing in
  // for the layer's own.
  ilSIDImage* GetStencilledImage(ilTile* area, ilImage* stencil);
  // Applies this layer's opacity and stencil (and mask colour) to the
  // painter's target over `area`.
  void DoStencil(ilTile* area, PaintOps* painter);
  // Bakes the opacity into the pixels; the opacity becomes 1.
  void CollapseOpacity();
  // Bakes the stencil into the pixels; the stencil becomes blank.
  void CollapseStencil();
  // Mirrors the colour image within its bounds (the stencil is baked first).
  void Flip(bool horizontal, bool vertical);
  // Masks only: every value v becomes 255 - v, the fill included.
  void InvertMask();
  // A mask whose fill is 255 (protected wherever nothing is painted).
  bool isMaskInverted() const;
  // The run of masks directly above this layer (starting with this layer
  // when fromSelf) combined into one new one-channel image over the canvas
  // rectangle `area`; null when no mask contributes or the result is empty.
  // The caller receives it unreferenced.
  ilSmartImage* MakeMaskImage(ilTile area, bool fromSelf);

  // The shared stencilled image (null when none is built).
  static ilSmartImage* StencilledImage();
  // ---- Offsets (geometry layers always report (0, 0) and ignore changes).
  void SetOffset(const LayerStackTransform& t, float x, float y);
  void SetOffset(const LayerStackTransform& t, int x, int y);
  void SetOffset(float x, float y);
  void GetOffset(int& x, int& y) const;
  void GetOffset(float& x, float& y) const;
  int getXOffset() const;
  int getYOffset() const;
  void ApplyOffset(int& x, int& y) const;
  void ApplyOffset(float& x, float& y) const;
  void ApplyInverseOffset(int& x, int& y) const;
  void ApplyInverseOffset(float& x, float& y) const;
  // Moves the pixels to their canvas positions and sets the offset to
  // (0, 0); the picture does not move.
  void NormalizeLayerOffset();
  // Moves the colour image's bounds (and the stencil with it) to start at
  // (0, 0) and adds the old origin to the offset; the picture does not move.
  void ShrinkAndNormalizeLayerImages();
  void SetLayerStackOffset(int x, int y);
  void GetLayerStackOffset(int& x, int& y) const;

  // ---- Pivot. A pivot whose flag is clear is recomputed as the centre of
  // the layer's bounds each time it is asked.
  LayerPivot GetPivot();
  void SetPivot(const LayerPivot& p) { pivot_ = p; }
  void ResetPivot();
  void UpdatePivot() { GetPivot(); }

  // ---- Proxies and transforms (layer_proxy.cpp). While in a proxy the
  // layer shows and is painted through working images made from its base
  // images; ending the proxy drops them and gives the base images back.
  // Geometry layers never enter a proxy and are never transformed.
  //
  // A transform proxy (scope hint 0) first moves the base images so that
  // their content starts at the layer origin (the offset grows to match),
  // then works on in-memory images; an edit proxy works on copy-on-write
  // copies. Nothing happens for a layer already in a proxy.
  void BeginProxy(const ProxyParameters& p);
  bool InProxy() const { return inProxy_; }
  void EndProxy();
  // Ends the proxy and begins it again with the same parameters.
  void RevertProxy();
  // Preview of a transform proxy: the base picture scaled by t's scales and
  // rotated by its degree about the pivot, resampled with the given modes.
  // Every preview starts again from the base images.
  void ProxyXForm(LayerStackTransform t, FilterMethod minify, FilterMethod magnify);
  // The final transform: ends a proxy, then resamples the layer once,
  // magnifying bicubic and minifying bilinear whatever modes are passed,
  // and places the result at canvas positions (offset (0, 0)).
  void XForm(LayerStackTransform t, FilterMethod minify, FilterMethod magnify);

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

  // ---- Stored records: interface only. No record is produced (null),
  // stored (false) or read; disposing succeeds without touching the pointer.
  SIDLayer_sr* getSIDLayer_sr() { return nullptr; }
  static bool store(SIDLayer_sr*) { return false; }
  static bool dispose(SIDLayer_sr**) { return true; }
  static void connectImages(SIDLayer_sr*) {}

 private:
  void InitFields();
  void NameFromCounter();
  // Re-renders a geometry layer's shapes into its colour image when they
  // changed (or when forced).
  void RenderShapes(bool force, bool b);
  // Builds the shared stencilled image from this layer's pixels with
  // `stencil` as the stencil.
  ilSIDImage* BuildStencilledImage(ilTile* area, ilImage* stencil);
  static void ReleaseStencilledImage();

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
