// PaintManager: the facade through which the application drives the engine.
// It owns the table of layer stacks, the current stack, the brush state and
// the application's callback record; the one instance is the global
// `Brenmark`. Also declares the exported plain functions.
#pragma once
#include <brenmark/export.h>

#include <brenmark/brush_parameters.h>
#include <brenmark/callbacks.h>
#include <brenmark/il.h>
#include <brenmark/layer_stack.h>
#include <brenmark/layer_stack_transform.h>
#include <brenmark/paint_color.h>
#include <brenmark/view_values.h>

class ConvolutionKernel;
class ImageBlender;
class ilQVMemoryImg;
class Layer;
class PntUndoStroke;
class Shape;
class Stamp;
class StampStrokeImpl;
class Stroke;
class TpressureFilter;
class Interpolate2D;
namespace brenmark {
class CommandUndo;
}

// Where strokes and previews paint: 3 and 4 direct them into the current
// layer's stencil, every other value into its colour image.
enum ApplicationMethod : int {
  kApplyPaint = 0,
  kApplyStencilAdd = 3,
  kApplyStencilSubtract = 4,
};

// Handles: a layer-stack handle is a slot number 0..511; -2 names the
// current stack and -1 none. Layer handles and indices are those of
// LayerStack.
//
// Commands that change layers run in a frame: end the current stack's proxy
// (for pixel commands), resolve the handle (an unknown handle does nothing
// and returns the failure value), switch a blur or sharpen brush off, record
// undo (unless SID_UNDO_DISABLE is "1"), resolve again (recording may have
// put a copy of the stack into the slot), forward, and switch the brush back.
//
// Ownership: the manager holds one reference on the stack in each occupied
// slot. Copying a manager copies every field, the table included, without
// touching reference counts.
class BRENMARK_API PaintManager {
 public:
  static constexpr int kMaxLayerStacks = 512;

  // Every fifth stroke point checks the timer-driven display update.
  static const int CheckInterval;
  // Range of the timer-driven update interval, in the host's timer units,
  // and the radii at which its ends apply.
  static const int MinUpdateInterval;
  static const int MaxUpdateInterval;
  static const float MinUpdateIntRadius;
  static const float MaxUpdateIntRadius;
  // Raw pressure range the process-wide pressure filter was built for.
  static unsigned short minPressure;
  static unsigned short maxPressure;
  static TpressureFilter* PressFilter;

  PaintManager();
  ~PaintManager();
  PaintManager(const PaintManager&) = default;
  PaintManager& operator=(const PaintManager&) = default;

  // ---- Setup.
  // Copies the whole record; must precede AddLayerStack.
  void SetCallbacks(const BrenmarkCallbacks& callbacks);
  BrenmarkCallbacks* CB() { return &callbacks_; }
  const BrenmarkCallbacks* CB() const { return &callbacks_; }
  // One-time warm-up; later calls do nothing.
  void InitPaintManager();
  bool IsInitialized() const { return initialised_; }
  void prepareBrenmark() {}
  void rememberStoredHandle(int) {}
  bool store() { return true; }
  bool setSIDLayerStack_sr(void*) { return false; }
  int remapRetrievedHandle(int) { return -1; }
  void SetScaleFilter(int magnify, int minify);
  void GetScaleFilter(int& magnify, int& minify) const;

  // ---- Layer-stack registry.
  // Takes the lowest free slot, builds a stack there and makes it current;
  // -1 when all 512 slots are taken.
  int AddLayerStack(const ViewerParms& parms);
  void DeleteLayerStack(int h);
  void ReplaceLayerStack(LayerStack* stack, int h);
  void SetCurrentLayerStack(int h);
  int GetCurrentLayerStack() const { return currentLayerStackHandle_; }
  LayerStack* GetLayerStack(int h) const;
  bool ValidLayerStackHandle(int h) const { return GetLayerStack(h) != nullptr; }
  bool CheckLayerStackHandle(int h) const { return isValidLayerStackHandle(h); }
  int GetLayerStackHandle(const LayerStack* stack) const;
  int GetLayerStackCount() const { return layerStackCount_; }
  void ResetLayerStackIterator() { layerStackIteratorPos_ = 0; }
  int NextLayerStack();
  // Resolves a layer handle to its index and stack handle (index -1 when no
  // stack knows the layer).
  void GetLayerFromHandle(void* layer, int& index, int& lsHandle) const;
  void* GetLayerHandle(int index, int h) const;
  ViewerParms& GetCurrentViewerParms();
  void SetCurrentViewerParms(const ViewerParms& parms);
  bool GetViewerParms(int h, ViewerParms& parms) const;
  void SetLayerStackSize(const ilTile& size, bool clip);
  ilTile GetLayerStackSize() const;
  void ForceUpdate();
  void RedrawCanvasDueToGeometryChange();
  void UpdateImagePlaneBits(bool below, bool above);
  void SetSelectionMaskDrawStyle(SMDrawStyle style);
  SMDrawStyle GetSelectionMaskDrawStyle() const { return drawStyle_; }
  void ToggleSelectionMaskDrawStyle();
  void OverrideDisplayFilter(bool on);
  bool isDisplayFilterOverrided() const { return displayFilterOverridden_; }
  void* GetCurrentLayerStackPtr_Private_() const { return currentLayerStack_; }

  // ---- Layer commands (recorded for undo).
  void* AddLayer(ilImage* color, ilImage* stencil, bool isMask, bool unused, bool recordUndo, int h,
                 bool isGeometry, int xOffset, int yOffset, int position, bool update);
  void DeleteCurrentLayer(int h);
  void ClearCurrentLayer(int h);
  void DuplicateCurrentLayer(bool unused, int h);
  void MoveCurrentLayer(int index);
  void MoveCurrentlayer(int, int) {}
  void DeleteAllMasks(int h);
  void InvertMaskLayer(int index, int h);
  // Stencil commands on the layer at the index (-2 the current layer).
  void HideAllPaint(int index, int h);
  void ShowAllPaint(int index, int h);
  void EraseHiddenPaint(int index, int h);
  void SetMaskActive(bool on, int index, int h);
  bool isMaskActive(int index, int h) const;
  void MergeLayerWithBelow(void* layer);
  void MergeAllLayers(int h);
  void MergeVisibleLayers(int h);
  bool MoveShape(void* shape, void* target, bool after);
  bool MoveShapeToShapeLayer(void* shape, void* layer);
  void SetCurrentLayer(int index, int h);
  void* UpLayer();
  void* DownLayer();
  // A new geometry layer above the current layer; its index, -1 without a
  // stack.
  int CreateShapeLayer(int h, bool isMask);

  // ---- Forwarding to the stack (h = -2: the current stack).
  int GetLayerCount(int h) const;
  int GetCurrentLayer(int h) const;
  void PrepareToSetCurrentLayer(int index, int h);
  const char* GetLayerName(int index, int h) const;
  void SetLayerName(const char* name, int index, int h);
  float GetLayerOpacity(int index, int h) const;
  void SetLayerOpacity(int index, float opacity, int h);
  void SetAllLayerActive(bool on, int h);
  void SetLayerActive(int index, bool on, int h);
  bool isLayerActive(int index, int h) const;
  bool isLayerMask(int index, int h) const;
  float GetCurrentLayerOpacity() const;
  void SetCurrentLayerOpacity(float opacity);
  bool isCurrentLayerActive() const;
  void SetCurrentLayerActive(bool on);
  void SetLayerStackTransform(const LayerStackTransform& t, int h);
  LayerStackTransform GetLayerStackTransform(int h) const;
  void SetLayerStackOffset(int x, int y, int h);
  void GetLayerStackOffset(int& x, int& y, int h) const;
  void SetLayerStackInFront(bool on, int h);
  bool isLayerStackInFront(int h) const;
  void SetBackgroundColor(const PaintColor& c, int h);
  PaintColor GetBackgroundColor(int h) const;
  ilTile GetCanvasBounds(int h) const;
  void GetLayerBounds(int& x, int& y, int& nx, int& ny, bool shrink, int index, int h,
                      bool withOffset, bool shapes) const;
  ilTile GetLayerStackBndInLayerCoord(void* layer) const;
  void ScreenToCurrentLayerCoords(float& x, float& y, int index, int h);
  void CurrentLayerToScreenCoords(float& x, float& y, int index, int h) const;
  void SetCurrentLayerOffset(const LayerStackTransform& t, float x, float y, int index, int h,
                             bool update);
  void SetCurrentLayerOffset(const LayerStackTransform& t, int x, int y, int index, int h,
                             bool update);
  void GetCurrentLayerOffset(int& x, int& y, int index, int h) const;
  void GetCurrentLayerOffset(float& x, float& y, int index, int h) const;
  void SetCurrentLayerPivot(const LayerPivot& p, int index, int h);
  void GetCurrentLayerPivot(LayerPivot& p, int index, int h) const;
  ilImage* GetCurrentLayerImage(int h) const;
  bool isGeometryLayer(int index, int h) const;
  bool isGeometryLayer(void* layer) const;
  void* AddShape(Shape* shape, int position, int index, int h);
  bool RemoveShape(Shape* shape, int index, int h);
  Shape* GetTopShape(int index, int h) const;
  Shape* GetBottomShape(int index, int h) const;
  Shape* GetShapeFromIndex(int shapeIndex, int index, int h) const;
  void* GetShapeHandleFromIndex(int shapeIndex, int index, int h) const;
  int GetNumShapes(int index, int h) const;
  Shape* GetShapeFromHandle(void* shape, int h) const;
  void GetShapeIndexesFromHandle(void* shape, int& layerIndex, int& shapeIndex, int h) const;
  void SetShapeActive(void* shape, bool on, bool unused, int h);
  bool isShapeActive(void* shape, int h) const;
  const char* GetShapeName(void* shape, int h) const;
  void SetShapeName(void* shape, const char* name, int h);
  float GetShapeOpacity(void*, int) const { return 1.0f; }
  void SetShapeOpacity(void*, float, int) {}
  void DamageRegion(const ilTile& t, int h);
  void SetDisplayUpdate(bool on, int h);
  bool GetDisplayUpdate(int h) const;
  // The display of stack h (see LayerStack): the screen update region, the
  // update image and its blender, the update bracket and a resized view.
  ilTile GetUpdateRegion(int h);
  ilQVMemoryImg* GetUpdateImage(int h);
  ImageBlender* GetUpdateImageBlender(int h);
  void BeginScreenUpdate(int h);
  void EndScreenUpdate(int h);
  void NotifyImagePlaneResize(int h);
  // The current stack composed whole into a new image of its view's size
  // (the caller receives one reference); null without a current stack.
  ilQVMemoryImg* GetCompositeImage();
  void SetSelectionMaskCurrent(int h);
  bool isSelectionMaskCurrent(int h) const;
  void UseSelectionMask(bool on, int h);
  bool isSelectionMaskUsed(int h) const;
  void* GetSelectionMaskHandle(int h) const;
  bool InProxy(int h) const;
  void EndProxy(int h);
  void ForceOutProxy(int h);
  // Proxies, transforms and flips of stack h (see LayerStack).
  void BeginProxy(const ProxyParameters& p, int count, int* indices, int h);
  void RevertProxy(int h);
  void ProxyXFormLayers(const LayerStackTransform& t, FilterMethod minify, FilterMethod magnify,
                        int h);
  void XFormImageLayers(const LayerStackTransform& t, int count, int* indices, FilterMethod minify,
                        FilterMethod magnify, int h);
  void ProxyRotateCanvas(const LayerStackTransform& t, int h);
  void BeginProxyRotateCanvas(int h);
  void EndProxyRotateCanvas(bool accept, int h);
  bool InProxyRotateCanvas(int h) const;
  // A pixel command of the frame on the stack holding the layer ((void*)-2:
  // the current layer of the current stack), recording that layer for undo.
  void FlipImageLayer(bool horizontal, bool vertical, void* layer);

  // ---- Selection commands and queries (stack_forwarding.cpp). The whole-
  // mask and image edits record the selection layer for undo; clearing by
  // the selection records the cleared layer; the rest forward.
  void ClearSelectionMask(int h);
  void ClearSelectionMask(const ilTile& t, int h);
  void ClearSelectionMask(ilSIDImage* img, int h);
  void FillSelectionMask(int h);
  void FillSelectionMask(const ilTile& t, int h);
  void FillSelectionMask(ilSIDImage* img, int h);
  void AddToSelection(ilSIDImage* img, float x, float y, int h);
  void SubtractFromSelection(ilSIDImage* img, float x, float y, int h);
  void CopyToSelection(ilSIDImage* img, float x, float y, int h);
  void CopyFromSelection(ilSIDImage* img, int h);
  void AddToSelection(const ilTile& t, int h);
  void SubtractFromSelection(const ilTile& t, int h);
  void AddToSelection(void* layer, int h);
  void SubtractFromSelection(void* layer, int h);
  void CopyToSelection(void* layer, int h);
  void CopyFromSelection(void* layer, int h);
  // Clears the current layer of the stack holding `layer` ((void*)-2: the
  // current stack) where the selection leaves it open.
  void ClearLayerImageBySelMask(void* layer);
  void SetSelectionMaskActive(bool on, int h);
  bool isSelectionMaskActive(int h) const;
  void GetSelectionMaskBnd(bool& empty, ilTile& bounds, int h);
  ilTile GetSelMaskUpdateRegion(int h) const;
  ilQVMemoryImg* GetSelMaskUpdateImage(int h) const;
  void DrawMarchingAnts(int h);

  // ---- Convolution (convolution_commands.cpp).
  // Keeps a copy of `kernel` as the current one (the old one is deleted).
  void SetCurrentConvolution(const ConvolutionKernel& kernel);
  // The current kernel, null until one is set.
  ConvolutionKernel* GetCurrentConvolution() const { return convolution_; }
  // Pixel commands of the frame on the stack holding the layer ((void*)-2:
  // the current layer of stack h), recording that layer for undo.
  void ConvolveLayer(void* layer);
  void SharpenOrBlurDone(ConvolutionKernel kernel, void* layer, int h);

  // ---- Flood fill and magic wand (flood_commands.cpp). (x, y) is a view
  // point, tolerance in [0, 1]; layer a layer handle ((void*)-2: the
  // current layer) of stack h (-2: the current stack).
  // Previews: the first call records the layer (the selection mask for the
  // wand) for undo and begins an edit proxy over it with callbacks 39 and
  // 40 (41 and 42); later calls while the proxy is active revert it first,
  // so each preview starts from the state at proxy start. Ending the proxy
  // puts that state back and asks the application. A stack handle that
  // does not resolve shows a message through callback 38.
  void DoFloodFill(int x, int y, float tolerance, PaintColor& colour, void* layer, int h);
  void DoMagicWand(int x, int y, float tolerance, PaintColor& colour, bool replace, void* layer,
                   int h);
  // The fills themselves (LayerStack::FloodFillDone, MagicWandDone) on stack
  // h; nothing when h does not resolve.
  void FloodFillDone(int x, int y, float tolerance, PaintColor& colour, void* layer, int h);
  void MagicWandDone(int x, int y, float tolerance, PaintColor& colour, bool replace, void* layer,
                     int h);

  // ---- Brush state used by the command frame.
  void SetBlurBrush(bool on);
  void SetSharpenBrush(bool on);
  bool isBlurBrush() const { return blurBrushOn_; }
  bool isSharpenBrush() const { return sharpenBrushOn_; }
  void ClearProcessedLayerImage();
  ilImage* GetProcessedLayerImage() const { return processedLayerImage_; }
  void SetPaintApplication(ApplicationMethod m) { paintApplication_ = m; }
  ApplicationMethod GetPaintApplication() const { return paintApplication_; }
  bool InBrushStroke() const { return inBrushStroke_; }
  bool InPreview() const { return inPreview_; }
  void BeginOperation() { inOperation_ = true; }
  void EndOperation(bool) { inOperation_ = false; }
  void CancelOperation() { inOperation_ = false; }
  bool InOperation() const { return inOperation_; }
  const StrokeParameters& GetStrokeParameters() const { return strokeParameters_; }

  // ---- Brush strokes (brush_stroke.cpp) and brush state (brush_state.cpp).
  // A stroke paints the pen samples given between Begin and End on the
  // current layer of the current stack; brush, stroke and colour settings
  // are ignored while it runs. The preview paints one dab for display only.
  void BeginBrushStroke();
  void AddStrokePoint(float x, float y, float radius, float opacity, float aspect, float angle,
                      bool unused1, bool unused2);
  void EndBrushStroke();
  void BrushPreviewPoint(float x, float y, float radius, float opacity, float aspect, float angle);
  void ClearBrushPreview();
  void SetStrokeParameters(const StrokeParameters& p);
  void SetBrushParameters(const BrushParameters& b, bool force);
  const BrushParameters& GetBrushParameters() const { return brushParameters_; }
  void SetColor(PaintColor c, bool force);
  double GetSpacingBias(float radius);
  int GetMaxStampRadius() const { return 255; }
  bool Use16BitBrush() const { return use16BitBrush_; }
  void SetBlurRadius(float radius);
  void SetSharpenRadius(float radius);
  void SetSharpness(float sharpness);
  // The brush's stamp (made on first use; the manager holds a reference).
  Stamp* GetStamp();
  // The samples of the running stroke, null outside a stroke.
  const Stroke* GetStroke() const { return stroke_; }
  // The process-wide pressure filter over raw pen pressures in [min, max].
  static void InitPressureFilter(unsigned short min, unsigned short max);
  static float PressureFilter(unsigned raw);
  // ---- Undo list (undo_list.h): GarbageCollect and SetDirty of
  // PaintUndoList.
  void UndoListGarbageCollect();
  void UndoListSetDirty();

  // Prints every stack's structure when the debug selector is 8214.
  void debug() const;

 private:
  LayerStack* LayerStackFromHandle(int& h) const;
  bool isValidLayerStackHandle(int h) const;
  LayerStack* GetLayerStackFromLayerHandle(void* layer) const;
  void* GetLayerHandleForMergeBelow(void* layer, int h) const;
  void BuildProcessedLayerImage(bool sharpen);
  void RunWarmUpStroke();
  void SetUse16Bit(bool on);
  void UpdateUse16Bit();
  Interpolate2D* NewStrokeInterpolator();
  void ChooseStrokeSource(PaintOps* painter);

  float sharpness_ = 5.0f;
  float sharpenRadius_ = 1.5f;
  float blurRadius_ = 3.0f;
  bool blurBrushOn_ = false;
  bool sharpenBrushOn_ = false;
  ilImage* processedLayerImage_ = nullptr;
  // The brush parameters (headed by the brush colour) take their place here
  // with the brush subsystem.
  StrokeParameters strokeParameters_;
  ApplicationMethod paintApplication_ = kApplyPaint;
  Stamp* stamp_ = nullptr;
  bool inOperation_ = false;
  bool inBrushStroke_ = false;
  bool inPreview_ = false;
  Stroke* stroke_ = nullptr;
  StampStrokeImpl* strokePainter_ = nullptr;
  LayerStack* currentLayerStack_ = nullptr;
  int currentLayerStackHandle_ = -1;
  int layerStackCount_ = 0;
  LayerStack* layerStacks_[kMaxLayerStacks] = {};
  int layerStackIteratorPos_ = 0;
  PntUndoStroke* pendingStrokeUndo_ = nullptr;
  bool initialised_ = false;
  int magnifyFilter_ = 0;
  int minifyFilter_ = 0;
  bool use16BitBrush_ = false;
  BrenmarkCallbacks callbacks_{};
  ConvolutionKernel* convolution_ = nullptr;
  SMDrawStyle drawStyle_ = kSMDrawTinted;
  bool displayFilterOverridden_ = false;
  // Brush stroke state.
  BrushParameters brushParameters_;
  brenmark::CommandUndo* strokeUndo_ = nullptr;
};

// The one paint manager of the process.
extern BRENMARK_API PaintManager Brenmark;

// The exported plain functions: one call each on Brenmark.
extern "C" {
BRENMARK_API void PntInitializePaintManager();
BRENMARK_API int PntCurrentLayerStack();
BRENMARK_API void PntSetCurrentLayerStack(int h);
BRENMARK_API void* PntNewLayer(int h, bool isMask);
BRENMARK_API void PntDeleteCurrentLayer(int h);
BRENMARK_API void PntClearCurrentLayer(int h);
BRENMARK_API void PntDuplicateCurrentLayer(int h);
BRENMARK_API void* PntUpLayer();
BRENMARK_API void* PntDownLayer();
BRENMARK_API void PntMergeVisibleLayer(int h);
BRENMARK_API void PntMergeLayerWithBelow(void* layer);
BRENMARK_API void PntMergeAllLayers(int h);
BRENMARK_API void PntInvertCurrentMaskLayer(int h);
}
