// LayerStack: one canvas. An ordered list of layers (bottom to top), a
// separate selection-mask layer, the current layer, and the state of the
// window that shows the canvas.
#pragma once
#include <brenmark/export.h>

#include <memory>

#include <brenmark/il.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack_transform.h>
#include <brenmark/paint_color.h>
#include <brenmark/resource.h>
#include <brenmark/stored_records.h>
#include <brenmark/view_values.h>

class ConvolutionKernel;
class ilQVMemoryImg;
class ilSmartImage;
class ImageBlender;
class MaskingPaintOps;
class PaintOps;
class Shape;

// How the selection mask is shown: a tinted overlay or marching ants.
enum SMDrawStyle : int { kSMDrawTinted = 0, kSMDrawMarchingAnts = 1 };

// Indices: 1-based from the bottom; index count + 1 names the selection
// mask; -2 names the current layer. Handles: a layer's identifier carried in
// a void*; (void*)-2 names the current layer and (void*)-1 means none.
//
// Invariants: the list is doubly linked, the bottom layer has no previous
// and the top layer no next, and the count equals the number of members.
// The selection-mask layer is never in the list. The current layer is a list
// member, the selection mask, or null in an empty stack. Mask layers sit
// directly above the image layer they belong to.
//
// Ownership: a stack is a Resource; the paint manager holds one reference
// per table slot and undo records may hold more. The stack holds one
// reference on every layer of its list and on the selection-mask layer.
class BRENMARK_API LayerStack : public Resource {
 public:
  // Asks the application for the stack's window, takes the background colour
  // and the view size from it, and creates the selection mask. The stack
  // starts with no layers.
  LayerStack(const ViewerParms& parms, int handle);
  // A copy showing in the source's window: every layer is copied with
  // Layer(Layer*) (sharing its images), in the same order, and the copy's
  // current layer has the source's current index.
  explicit LayerStack(LayerStack* source);
  // An empty shell for a stored record: initial values only, no window, no
  // image plane, no selection mask, no callbacks; nothing is read.
  LayerStack(SIDLayerStack_sr* record, const ViewerParms& parms);
  ~LayerStack() override;

  LayerStack(const LayerStack&) = delete;
  LayerStack& operator=(const LayerStack&) = delete;

  // ---- Structure.
  // Links a built layer in above the layer at `position` (-2: the current
  // layer) without splitting an image layer from its masks, makes it current
  // and returns its index.
  int AddLayer(Layer* layer, int position, bool update);
  // Builds a layer from copies of the given images (an empty image when
  // color is null; a 1-channel colour image makes a mask) and adds it.
  int AddLayer(ilImage* color, ilImage* stencil, bool isMask, bool unused, bool isGeometry,
               int position, bool update);
  // Deletes the layer (and, for an image layer, its masks). The only layer
  // of a stack is emptied instead of removed.
  void DeleteCurrentLayer(void* layer, bool redraw);
  void ClearCurrentLayer();
  void DuplicateCurrentLayer(bool unused);
  // Moves the current layer (with its masks) to just below the layer now at
  // `index`; an index above the count moves it to the top.
  void MoveCurrentLayer(int index);
  // The same into another stack (the current layer and its masks leave this
  // stack and join `target` just below its layer at `index`).
  void MoveCurrentlayer(LayerStack* target, int index);
  void MergeLayers(void* upper, void* lower, bool unused);
  void MergeAllLayers(bool visibleOnly);
  void DeleteAllMasks();
  int GetLayerCount() const { return layerCount_; }

  // ---- Current layer.
  int GetCurrentLayer() const;
  void SetCurrentLayer(int index, bool full);
  void PrepareToSetCurrentLayer(int index);
  void SetCurrentMasksActive();
  Layer* GetCurrentLayerPtr() const { return current_; }
  void* GetCurrentLayerHandle() const;
  bool isCurrentLayerActive() const;
  void SetCurrentLayerActive(int unused, bool on);
  Layer* GetNextActiveLayerFromBottom() const;

  // ---- Lookup.
  Layer* GetLayerFromIndex(int index) const;
  int GetIndexFromLayer(const Layer* layer) const;
  void* GetLayerHandle(int index) const;
  int GetLayerIndex(void* handle) const;
  Layer* GetLayerFromHandle(void* handle) const;

  // ---- Layer attributes by index (an index naming no layer does nothing).
  const char* GetLayerName(int index) const;
  void SetLayerName(const char* name, int index);
  float GetLayerOpacity(int index) const;
  void SetLayerOpacity(int index, float opacity);
  bool isLayerActive(int index) const;
  void SetLayerActive(int index, bool on);
  // Every layer but the current one (and the selection mask unless current)
  // takes the value; the current layer is always made active.
  void SetAllLayerActive(bool on);
  bool isLayerMask(int index) const;
  // True when no list layer is named `name`.
  bool IsLayerNameUnique(const char* name) const;

  // ---- Mask layers.
  bool isMaskActive(int index) const;
  // When the value changes: sets the layer's mask-active flag and rebuilds
  // the mask composite (for the selection mask also the display).
  void SetMaskActive(bool on, int index);
  // Inverts the mask layer at the index (its fill too) and shows it.
  void InvertMaskLayer(int index);
  // Hide every pixel of the layer through its stencil, show them all again,
  // or bake the stencil into the pixels (erasing what it hides).
  void HideAllPaint(int index);
  void ShowAllPaint(int index);
  void EraseHiddenPaint(int index);

  // ---- Selection mask.
  Layer* GetSelectionMask() const { return selectionMask_; }
  void* GetSelectionMaskHandle() const;
  bool isSelectionMaskCurrent() const { return current_ && current_ == selectionMask_; }
  void SetSelectionMaskCurrent();
  void UseSelectionMask(bool on) { useSelectionMask_ = on; }
  bool isSelectionMaskUsed() const { return useSelectionMask_; }
  // Creates the selection mask when there is none ("Selection", open
  // everywhere); otherwise opens it everywhere.
  void ClearSelectionMask();
  // Clears the current layer where the selection leaves it open (the handle
  // only gates the call: nothing for a missing or geometry layer).
  void ClearLayerImageBySelMask(void* layer);
  SMDrawStyle GetSelectionMaskDrawStyle() const { return drawStyle_; }
  PaintColor GetSelectionDefaultDisplayColor() const { return selectionDefaultColor_; }
  float GetSelectionDefaultDisplayOpacity() const { return selectionDefaultOpacity_; }
  PaintColor GetMaskDefaultDisplayColor() const { return maskDefaultColor_; }
  float GetMaskDefaultDisplayOpacity() const { return maskDefaultOpacity_; }

  // ---- Stack state.
  int GetWindow() const { return window_; }
  void SetTransform(const LayerStackTransform& t) { transform_ = t; }
  const LayerStackTransform& GetTransform() const { return transform_; }
  void SetSize(const ilTile& size, bool clip);
  const ilTile& GetSize() const { return size_; }
  ilTile GetCanvasBounds();
  bool GetClipToSize() const { return clipToSize_; }
  void SetResolution(int x, int y);
  void GetResolution(int& x, int& y) const;
  void SetLayerStackOffset(int x, int y);
  void GetLayerStackOffset(int& x, int& y) const;
  void SetBackgroundColor(const PaintColor& c);
  PaintColor GetBackgroundColor() const { return background_; }
  ViewerParms& GetViewerParms() const;
  void SetViewerParms(const ViewerParms& parms) const;
  void SetInFront(bool on);
  bool isInFront() const { return inFront_; }
  void SetDisplayUpdate(bool on) { displayUpdate_ = on; }
  bool GetDisplayUpdate() const { return displayUpdate_; }
  // Tells the application that the stack's state changed.
  void Notify() const;
  void InitializeObservable() {}
  void setMarkerBlend(bool on);
  void setMarkerWetness(float wetness);
  // Prints the stack and its layers when the debug selector is 8214.
  void debug() const;

  // ---- Pivot, bounds and offsets.
  void GetLayerBounds(int& x, int& y, int& nx, int& ny, bool shrink, int index, bool withOffset,
                      bool shapes);
  void SetCurrentLayerPivot(LayerPivot p, int index);
  void GetCurrentLayerPivot(LayerPivot& p, int index);
  ilTile GetLayerStackBndInLayerCoord(void* layer) const;
  void SetCurrentLayerOffset(const LayerStackTransform& t, float x, float y, int index,
                             bool update);
  void SetCurrentLayerOffset(const LayerStackTransform& t, int x, int y, int index, bool update);
  // ---- Layer pixels for the application.
  // Composites img over the layer's colour image; false without the layer.
  bool ApplyImageToLayer(ilSIDImage* img, void* layer);
  // A new smart image of the layer's effective pixels (stencil, opacity,
  // the current masks; with applySelection only the open part of the
  // selection; withBackground puts the background colour under an image
  // layer) and in (x, y) the canvas position of its origin. The caller
  // receives one reference; null (x, y untouched) without the layer.
  ilSmartImage* GetLayerImage(int& x, int& y, void* layer, bool withBackground,
                              bool applySelection);
  void GetCurrentLayerOffset(int& x, int& y, int index) const;
  void GetCurrentLayerOffset(float& x, float& y, int index) const;

  // ---- Convolution (layer_stack_convolve.cpp). The kernel is the paint
  // manager's current one (SharpenOrBlurDone makes its argument current).
  // Sharpening runs in one piece; a blur runs in 128-pixel tiles that all
  // read a frozen copy-on-write copy of the layer, so the tiles match one
  // blur of the whole layer. Missing or geometry layers and empty bounds do
  // nothing.
  void ConvolveLayer(void* layer);
  // Convolves `tile` (pixels read from `source`) and writes its interior
  // through the current layer's painter; nothing when source is null.
  void ConvolveLayerByTile(void* layer, ilTile tile, ilSmartImage* source);
  void SharpenOrBlurDone(ConvolutionKernel kernel, void* layer);

  // ---- Flood fill and magic wand (layer_stack_flood.cpp). (x, y) is a view
  // point; tolerance in [0, 1] (x 255 per byte). Missing or geometry layers
  // and images that are not smart images do nothing.
  // Fills the region of similar colour around the point of the layer with
  // the colour (premultiplied first), searched within the painted bounds
  // grown by 2; a region reaching that margin goes on beyond the painting
  // and the colour becomes the layer's fill value. A uniform layer is
  // filled whole. The region is searched in a copy-on-write snapshot and
  // copied back through the layer's painter.
  void FloodFillDone(int x, int y, float tolerance, PaintColor& colour, void* layer);
  // Writes the colour's alpha into the selection mask over the region of
  // the layer around the point within the canvas (alpha 0 selects); with
  // replace the selection is first masked everywhere. Nothing for a layer
  // with empty bounds.
  void MagicWandDone(int x, int y, float tolerance, PaintColor& colour, bool replace, void* layer);

  // ---- Coordinate conversions between the view and the layer at `index`.
  void ScreenToCurrentLayerCoords(float& x, float& y, int index);
  void CurrentLayerToScreenCoords(float& x, float& y, int index) const;

  // ---- Shapes of the layer at an index.
  void* AddShape(Shape* shape, int position, int index);
  bool RemoveShape(Shape* shape, int index);
  Shape* GetShapeFromHandle(void* handle) const;
  void GetShapeIndexFromHandle(void* handle, int& layerIndex, int& shapeIndex) const;
  Shape* GetShapeFromIndex(int shapeIndex, int layerIndex) const;
  void* GetShapeHandleFromIndex(int shapeIndex, int layerIndex) const;
  int GetNumShapes(int index) const;
  Shape* GetTopShape(int index) const;
  Shape* GetBottomShape(int index) const;
  void SetShapeActive(void* shape, bool on, bool unused);
  bool isShapeActive(void* shape) const;
  bool MoveShape(int shapeIndex, int layerIndex, int targetShapeIndex, int targetLayerIndex,
                 bool after);

  // ---- Proxy state.
  bool InProxy() const { return inProxy_; }
  void EndProxy();
  void ForceOutProxy() { inProxy_ = false; }
  bool InProxyRotateCanvas() const { return inProxyRotate_; }

  // ---- Proxies and layer transforms (layer_stack_proxy.cpp).
  // Begins a proxy on the layers at `indices` (missing ones are skipped),
  // ending a running one first; the stack keeps a copy of the indices.
  void BeginProxy(const ProxyParameters& p, int count, int* indices);
  // Every proxied layer restarts from its base images; the proxy stays.
  void RevertProxy();
  // Previews t on every proxied layer and redraws; nothing outside a proxy.
  void ProxyXFormLayers(const LayerStackTransform& t, FilterMethod minify, FilterMethod magnify);
  // Transforms the layers at `indices` for good and redraws.
  void XFormImageLayers(const LayerStackTransform& t, int count, int* indices, FilterMethod minify,
                        FilterMethod magnify);
  void BeginProxyRotateCanvas() { inProxyRotate_ = true; }
  void EndProxyRotateCanvas(bool) { inProxyRotate_ = false; }
  void ProxyRotateCanvas(const LayerStackTransform&) {}
  // Mirrors the layer (nothing unless horizontal or vertical is set) and
  // redraws.
  void FlipImageLayer(bool horizontal, bool vertical, void* layer);

 private:
  // Points the current painter at the current layer's image (its stencil
  // while strokes paint the stencil).
  void RetargetProxyPainter();
  // Rebuilds the cached composites when a layer other than the current one
  // changed.
  void RefreshCompositesAfter(const int* indices, int count);
  ProxyParameters proxyParameters_{};

 public:
  // ---- Display.
  // The update region collects everything damaged since the last reset, in
  // canvas coordinates. GetUpdateRegion also takes in what the current
  // painter wrote since its last reset and clips to the canvas.
  void DamageRegion(const ilTile& t);
  const ilTile& GetUpdateRegion();
  void SetUpdateRegion(const ilTile& t) { updateRegion_ = t; }
  void ResetUpdateRegion();
  // The update region in screen pixels (stack offset, view scale and
  // rotation), clipped to the screen.
  ilTile GetScrnUpdateRegion();
  void BeginUpdate() { inUpdate_ = true; }
  void EndUpdate();
  bool InUpdate() const { return inUpdate_; }
  void SetBrushPreviewRegion(const ilTile& t) { brushPreviewRegion_ = t; }
  const ilTile& GetBrushPreviewRegion() const { return brushPreviewRegion_; }
  void ResetBrushPreviewRegion() { brushPreviewRegion_ = ilTile(); }
  void DamageBrushPreviewRegion() { DamageRegion(brushPreviewRegion_); }
  // Recomposes the update region into the image plane (the view's memory)
  // from the cached composites and tells the application.
  void UpdateImagePlaneBits();
  // Without display update: recompose and reset the region. With it: ask
  // the application to show the update image (the region stays).
  void ForceUpdate();
  void RedrawEntireCanvas(bool below, bool above);
  void RedrawCanvasDueToGeometryChange();
  bool IsRedrawPending() const { return redrawPending_; }
  // Rebuilds the image plane over the view's memory at the view's size and
  // redraws everything.
  void NotifyImagePlaneResize();
  ilQVMemoryImg* GetImagePlane() const { return imagePlane_; }
  // The whole canvas composed as the view shows it (without a transparent
  // backdrop) into a new image of the view's size; the caller receives one
  // reference. With includeMasks the masks above the current layer show.
  ilQVMemoryImg* GetCompositeImage() { return GetUpdateImagePlaneBits(false); }
  ilQVMemoryImg* GetUpdateImagePlaneBits(bool includeMasks);
  // The screen-sized update image (over the process-wide update buffer)
  // holding the update region as the view shows it: scaled, rotated and
  // display-filtered. Valid until the next call on any stack.
  ilQVMemoryImg* GetUpdateImage();
  PaintOps* GetUpdateImagePainter();
  ImageBlender* GetUpdateImageBlender();
  // Periodic display updates during a stroke, run by the application's
  // timer.
  void BeginTimerBasedUpdate(int interval);
  void EndTimerBasedUpdate();
  void CheckTimerBasedUpdate();
  // The cached composites of the layers below and above the current one
  // (null when nothing contributes).
  ilSmartImage* GetBelowComposite() const { return belowComposite_; }
  ilSmartImage* GetAboveComposite() const { return aboveComposite_; }

  // ---- Painters.
  // The painter brushes write through: the plain painter on the current
  // layer's colour image (its stencil while the stencil is targeted),
  // wrapped in a masking painter while the current layer's masks (or the
  // selection) protect part of it. Unchanged during a brush stroke.
  PaintOps* GetCurrentLayerPainter();
  // Directs painting into the current layer's stencil (true) or its colour
  // image; ignored during a brush stroke.
  void TargetStencil(bool on);
  bool isStencilTargeted() const { return stencilTarget_; }
  // The combined protection of the current layer's masks or of the
  // selection, in canvas coordinates (null when nothing protects).
  ilSmartImage* GetMaskComposite() const { return maskComposite_; }

  // ---- Stored records: interface only (no record, not stored, nothing
  // connected; disposing succeeds).
  SIDLayerStack_sr* getSIDLayerStack_sr() { return nullptr; }
  static bool store(SIDLayerStack_sr*) { return false; }
  static bool dispose(SIDLayerStack_sr**) { return true; }
  static void connectLayers(SIDLayerStack_sr*) {}

 protected:
  Layer* GetBottomLayer() const { return bottom_; }
  Layer* GetTopLayer() const { return top_; }
  void DeleteLayer(Layer* layer);

 private:
  void Init();
  int ViewOf() const;
  void AddLayerToStack(Layer* layer, bool groupMasks, int position);
  void RemoveLayerFromStack(Layer* layer);
  int ListIndexOf(const Layer* layer) const;
  Layer* ListLayerWithId(void* handle) const;
  void CheckProxyState();

  // Hooks into compositing, painting and the selection display. Each keeps
  // its place in the operations' order; see layer_stack_display.cpp.
  void BuildImagePlane();
  void ReleaseImagePlane();
  void PrepareCurrentPainter() { GetCurrentLayerPainter(); }
  void UpdateBrushClippingRect();
  void CropLayerToBrushClippingRect(void* layer);
  void RebuildAboveComposite();
  void RebuildBelowComposite();
  void RebuildMaskComposite();
  void ReleaseCachedImages();
  // Compositing (layer_stack_composite.cpp). A plan collects the blends of
  // one composition and runs them cell by cell.
  class CompositionPlan;
  friend class CompositionPlan;
  bool PlanBelow(ilSmartImage** below, CompositionPlan& plan);
  bool PlanAbove(ilSmartImage** above, bool includeMasks, CompositionPlan& plan);
  ilTile PlanCompose(const ilTile& region, ilSmartImage* above, ilSmartImage* below,
                     bool includeMasks, PaintOps* target, CompositionPlan& plan);
  // Both composites rebuilt and the whole view composed in one pass over
  // the cells; false when the view cannot be composed that way.
  bool RedrawAllAtOnce();
  // ontoClear: nothing went into the composite yet and its fill is
  // transparent, so the layer may be copied instead of composited over.
  static void Contribute(CompositionPlan& plan, PaintOps* painter, Layer* layer,
                         const ilTile& canvasRect, bool ontoClear);
  bool IsTransparentBackdrop() const;
  unsigned BaseColor() const;
  void MakeBelow(ilSmartImage** below);
  void MakeAbove(ilSmartImage** above, bool includeMasks);
  void UpdateMaskCompositeActive();
  void ComposeInto(ilSmartImage** above, ilSmartImage** below, bool includeMasks, PaintOps* target);
  ilImage* CurrentLayerSource(const ilTile& area, bool includeMasks);
  // The update image and its painter and blender over the shared buffer of
  // the current screen size (layer_stack_update_image.cpp).
  void PrepareUpdateImage();
  void ReleaseUpdateImage();
  // Sizes the process-wide update buffers to the screen (member 12);
  // a new size frees both and allocates them again.
  static void MatchUpdateBuffersToScreen();
  void AdoptCachedImages(LayerStack* source);
  void ClearLowOrderBitImage();
  void CollapseLayerStencil(Layer* layer);
  void CollapseLayerOpacity(Layer* layer);
  void CompositeLayerInto(Layer* source, Layer* target);
  ilImage* MaskedImageForDuplicate(Layer* layer);
  bool ClearThroughMaskComposite(Layer* layer);
  void ReleasePainters();
  // The canvas rectangle grown by 256 pixels on every side: where brushes
  // may reach.
  ilTile BrushReach() const;
  void StartMATimer();
  void StopMATimer();
  void TakeOverMATimer(LayerStack* source);

  int window_ = 0;
  LayerStackTransform transform_;
  bool displayUpdate_ = false;
  bool stencilTarget_ = false;
  ilQVMemoryImg* imagePlane_ = nullptr;
  PaintOps* imagePlanePainter_ = nullptr;
  ilTile size_;
  bool clipToSize_ = true;
  int resolutionX_ = 100;
  int resolutionY_ = 100;
  int offsetX_ = 0;
  int offsetY_ = 0;
  ilTile updateRegion_;
  PaintColor background_;
  int layerCount_ = 0;
  Layer* bottom_ = nullptr;
  Layer* top_ = nullptr;
  Layer* selectionMask_ = nullptr;
  SMDrawStyle drawStyle_ = kSMDrawTinted;
  bool useSelectionMask_ = true;
  int pendingCurrent_ = -1;
  Layer* current_ = nullptr;
  // The current layer's painters: what brushes write through, the plain
  // painter on the layer image, and the masking painter around it.
  PaintOps* currentPainter_ = nullptr;
  PaintOps* plainPainter_ = nullptr;
  MaskingPaintOps* maskingPainter_ = nullptr;
  // Added to canvas coordinates to reach image-plane coordinates.
  int planeOffsetX_ = 0;
  int planeOffsetY_ = 0;
  ilTile planeCanvas_;
  ilQVMemoryImg* updateImage_ = nullptr;
  PaintOps* updateImagePainter_ = nullptr;
  ImageBlender* updateImageBlender_ = nullptr;
  // Which allocation of the shared update buffer the update image wraps.
  unsigned updateBufferGeneration_ = 0;
  ilSmartImage* blendImage_ = nullptr;
  ilTile brushPreviewRegion_;
  ilTile brushClipRect_;
  bool inUpdate_ = false;
  bool redrawPending_ = false;
  ilSmartImage* belowComposite_ = nullptr;
  ilSmartImage* aboveComposite_ = nullptr;
  // The current layer for which the cached above composite was built and
  // held nothing (null when it holds something or was released).
  const Layer* aboveEmptyFor_ = nullptr;
  ilSmartImage* maskComposite_ = nullptr;
  bool maskCompositeActive_ = false;
  bool inFront_ = false;
  bool inProxy_ = false;
  bool inProxyRotate_ = false;
  ilSmartImage* selectionImage_ = nullptr;
  PaintOps* selectionPainter_ = nullptr;
  bool selectionChanged_ = true;
  float selectionDefaultOpacity_ = 0.5f;
  float maskDefaultOpacity_ = 0.5f;
  PaintColor selectionDefaultColor_;
  PaintColor maskDefaultColor_;
  int proxyCount_ = 0;
  int* proxyIndices_ = nullptr;
  int antsTimer_ = 0;
  // The application was told about this stack's window (not so for a shell
  // built from a stored record).
  bool announced_ = false;

  // ---- Selection edits, display colours, mask layers and marching ants
  // (layer_stack_selection.cpp, layer_stack_masks.cpp, marching_ants.cpp).
  // Mask values: 255 protects, 0 leaves open; a mask's fill counts as its
  // value everywhere it holds no pixels. Every edit of the selection ends by
  // rebuilding the mask composite (while the selection is used) and marking
  // the selection changed for the ants.
 public:
  // Protects everything (fill 255); nothing without a selection.
  void FillSelectionMask();
  // Protected everywhere but open inside t / open everywhere but t.
  void ClearSelectionMask(const ilTile& t);
  void FillSelectionMask(const ilTile& t);
  // The same with an image's values (and its fill) in place of the tile.
  void ClearSelectionMask(ilSIDImage* img);
  void FillSelectionMask(ilSIDImage* img);
  // t in selection-image coordinates becomes 255 / 0.
  void AddToSelection(const ilTile& t);
  void SubtractFromSelection(const ilTile& t);
  // s <- m + s (256 - m) / 256 / s <- s (256 - m) / 256, m the image's value
  // moved by (x, y) rounded half away from zero; outside the image's bounds
  // m is its fill.
  void AddToSelection(ilSIDImage* img, float x, float y);
  void SubtractFromSelection(ilSIDImage* img, float x, float y);
  void AddToSelection(Layer* l);
  void SubtractFromSelection(Layer* l);
  void AddToSelection(void* handle);
  void SubtractFromSelection(void* handle);
  // A new selection seeded by a one-channel image (copy-on-write) at offset
  // (x, y); anything else leaves an open selection and a diagnostic.
  void CopyToSelection(ilSIDImage* img, float x, float y);
  void CopyToSelection(Layer* l);
  void CopyToSelection(void* handle);
  void CopyFromSelection(ilSIDImage* img);
  void CopyFromSelection(Layer* l);
  void CopyFromSelection(void* handle);
  // The canvas bounds of the open part of the selection; empty when the
  // selection holds no pixels.
  void GetSelectionMaskBnd(bool& empty, ilTile& bounds);
  void SetSelectionMaskActive(bool on);
  bool isSelectionMaskActive() const;
  void SetSelectionDefaultDisplayColor(const PaintColor& c);
  void SetSelectionDefaultDisplayOpacity(float opacity);
  void SetMaskDefaultDisplayColor(const PaintColor& c);
  void SetMaskDefaultDisplayOpacity(float opacity);
  void SetMaskLayerDisplayColor(const PaintColor& c, int index);
  void SetMaskLayerDisplayOpacity(float opacity, int index);
  PaintColor GetMaskLayerDisplayColor(int index) const;
  float GetMaskLayerDisplayOpacity(int index) const;
  void EnableMasking(bool) {}
  bool isMaskingEnabled() const { return true; }
  void CopyLayerToMask(int, int, int) {}
  void MergeAllMaskLayers(bool) {}
  // Style 1 runs the ants timer; style 0 stops it and clears the ants.
  void SetSelectionMaskDrawStyle(SMDrawStyle style);
  // One animation step: follow the view, rebuild the outline when needed,
  // draw the ants and tell the application (member 16).
  void DoMarchingAntsImg();
  // Redraws the screen-space outline of the selection unless nothing it
  // depends on changed since the last time.
  void ReProcessSelectionMask();
  // Asks the application to show the ants (member 15) when they are valid.
  void DrawMarchingAnts();
  // The outline's bounds in screen pixels (empty without an ants image).
  ilTile GetSelMaskBounds() const;
  ilTile GetSelMaskUpdateRegion() const { return GetSelMaskBounds(); }
  // The ants image: screen sized, four channels, transparent off the outline.
  ilQVMemoryImg* GetSelMaskUpdateImage() const;
  ilQVMemoryImg* GetSelMaskImg(int& x, int& y) const;
  // The screen-sized outline (255 on the outline, 0 elsewhere), or null.
  ilQVMemoryImg* GetSelMaskOutline() const;
  unsigned GetAntsPhase() const;

 private:
  struct AntsState;
  static void DeleteAntsState(AntsState* state);
  static void AntsTimerProc(int timerId, void* context);
  AntsState& Ants();
  void SelectionEdited();
  void CombineIntoSelection(ilSIDImage* img, float x, float y, bool add);
  // Sets every selection pixel of t to value (255 selects, 0 clears).
  void SetSelectionRect(const ilTile& t, unsigned char value);
  std::unique_ptr<AntsState, void (*)(AntsState*)> ants_{nullptr, &DeleteAntsState};
};
