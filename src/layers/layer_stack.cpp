// LayerStack: construction, copying and destruction, linking layers into and
// out of the list, and the index and handle lookups.
#include "brenmark/layer_stack.h"

#include "brenmark/paint_manager.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"

namespace li = brenmark::layer_images;

namespace {

void* const kNoLayer = reinterpret_cast<void*>(-1);
void* const kCurrentLayer = reinterpret_cast<void*>(-2);

}  // namespace

void LayerStack::Init() {
  window_ = 0;
  transform_.reset();
  displayUpdate_ = false;
  stencilTarget_ = false;
  imagePlane_ = nullptr;
  imagePlanePainter_ = nullptr;
  planeOffsetX_ = planeOffsetY_ = 0;
  planeCanvas_ = ilTile();
  updateImage_ = nullptr;
  updateImagePainter_ = nullptr;
  updateImageBlender_ = nullptr;
  updateBufferGeneration_ = 0;
  blendImage_ = nullptr;
  size_ = ilTile();
  clipToSize_ = true;
  resolutionX_ = resolutionY_ = 100;
  offsetX_ = offsetY_ = 0;
  updateRegion_ = ilTile();
  background_ = PaintColor();
  layerCount_ = 0;
  bottom_ = top_ = selectionMask_ = nullptr;
  drawStyle_ = kSMDrawTinted;
  useSelectionMask_ = true;
  pendingCurrent_ = -1;
  current_ = nullptr;
  currentPainter_ = plainPainter_ = nullptr;
  maskingPainter_ = nullptr;
  brushPreviewRegion_ = brushClipRect_ = ilTile();
  inUpdate_ = redrawPending_ = false;
  belowComposite_ = aboveComposite_ = maskComposite_ = nullptr;
  maskCompositeActive_ = false;
  inFront_ = inProxy_ = inProxyRotate_ = false;
  selectionImage_ = nullptr;
  selectionPainter_ = nullptr;
  selectionChanged_ = true;
  selectionDefaultOpacity_ = maskDefaultOpacity_ = 0.5f;
  selectionDefaultColor_ = PaintColor(0.7245f, 0.4274f, 0.396f, 1.0f);
  maskDefaultColor_ = PaintColor(1.0f, 0.0f, 0.0f, 1.0f);
  proxyCount_ = 0;
  proxyIndices_ = nullptr;
  antsTimer_ = 0;
}

LayerStack::LayerStack(const ViewerParms& parms, int handle) {
  Init();
  drawStyle_ = Brenmark.GetSelectionMaskDrawStyle();
  BrenmarkCallbacks* cb = Brenmark.CB();
  window_ = cb->CreateStackWindow(handle, parms);
  cb->StackConstructed(window_);
  announced_ = true;
  background_.Set(cb->GetBackgroundColor());
  BuildImagePlane();
  Notify();
  ClearSelectionMask();
  StartMATimer();
}

LayerStack::LayerStack(LayerStack* source) {
  Init();
  source->CheckProxyState();
  window_ = source->window_;
  Brenmark.CB()->StackConstructed(window_);
  announced_ = true;
  transform_ = source->transform_;
  displayUpdate_ = source->displayUpdate_;
  stencilTarget_ = source->stencilTarget_;
  clipToSize_ = source->clipToSize_;
  resolutionX_ = source->resolutionX_;
  resolutionY_ = source->resolutionY_;
  offsetX_ = source->offsetX_;
  offsetY_ = source->offsetY_;
  background_ = source->background_;
  drawStyle_ = source->drawStyle_;
  useSelectionMask_ = source->useSelectionMask_;
  inFront_ = source->inFront_;
  selectionChanged_ = source->selectionChanged_;
  selectionDefaultOpacity_ = source->selectionDefaultOpacity_;
  maskDefaultOpacity_ = source->maskDefaultOpacity_;
  selectionDefaultColor_ = source->selectionDefaultColor_;
  maskDefaultColor_ = source->maskDefaultColor_;
  AdoptCachedImages(source);
  BuildImagePlane();
  // The plane follows the view; the canvas keeps the size the source was
  // given, which may differ from the view's.
  size_ = source->size_;
  for (Layer* l = source->bottom_; l; l = l->GetNext()) {
    Layer* copy = new Layer(l);
    copy->ref();
    AddLayerToStack(copy, false, layerCount_);
  }
  if (source->selectionMask_) {
    selectionMask_ = new Layer(source->selectionMask_);
    selectionMask_->ref();
  }
  current_ = GetLayerFromIndex(source->GetIndexFromLayer(source->current_));
  TakeOverMATimer(source);
}

// A shell for a stored record: nothing is read, requested or announced.
LayerStack::LayerStack(SIDLayerStack_sr*, const ViewerParms&) {
  Init();
}

LayerStack::~LayerStack() {
  CheckProxyState();
  StopMATimer();
  // The painters may still have a protected operation to finish on a layer
  // image; they go while the layers are alive.
  ReleasePainters();
  Layer* l = bottom_;
  while (l) {
    Layer* next = l->GetNext();
    l->SetNext(nullptr);
    l->SetPrev(nullptr);
    l->unref();
    l = next;
  }
  bottom_ = top_ = current_ = nullptr;
  layerCount_ = 0;
  if (announced_) Brenmark.CB()->StackDestroying(window_);
  ReleaseImagePlane();
  ReleaseUpdateImage();
  ReleaseCachedImages();
  if (blendImage_) blendImage_->unref();
  if (selectionMask_) selectionMask_->unref();
  selectionMask_ = nullptr;
  delete[] proxyIndices_;
  Init();
}

int LayerStack::ViewOf() const {
  return Brenmark.CB()->GetViewOfWindow(window_);
}

void LayerStack::Notify() const {
  Brenmark.CB()->LayerStackChanged();
}

// Links `layer` in. The anchor is the current layer (position -2) or the
// layer at the index; the new layer goes directly above it, except that with
// groupMasks an image layer never lands between an image layer and its
// masks. An anchor outside the list (the selection mask) counts as the top.
void LayerStack::AddLayerToStack(Layer* layer, bool groupMasks, int position) {
  Layer* anchor = position == -2 ? current_ : GetLayerFromIndex(position);
  if (anchor && ListIndexOf(anchor) < 0) anchor = top_;
  if (!anchor || !bottom_) {
    layer->SetPrev(nullptr);
    layer->SetNext(bottom_);
    if (bottom_)
      bottom_->SetPrev(layer);
    else
      top_ = layer;
    bottom_ = layer;
  } else {
    if (anchor != top_ && groupMasks && li::Channels(layer->GetImage()) == 4 &&
        li::Channels(anchor->GetNext()->GetImage()) == 1) {
      while (anchor->GetNext() && li::Channels(anchor->GetNext()->GetImage()) == 1) {
        anchor = anchor->GetNext();
      }
    }
    if (anchor == top_) {
      layer->SetPrev(top_);
      layer->SetNext(nullptr);
      top_->SetNext(layer);
      top_ = layer;
    } else {
      layer->SetPrev(anchor);
      layer->SetNext(anchor->GetNext());
      anchor->GetNext()->SetPrev(layer);
      anchor->SetNext(layer);
    }
  }
  ++layerCount_;
}

// Unlinks without touching reference counts; a current layer hands the
// currency to the layer below it, or above it at the bottom.
void LayerStack::RemoveLayerFromStack(Layer* layer) {
  if (layer == current_) current_ = layer->GetPrev() ? layer->GetPrev() : layer->GetNext();
  bool linked = layer->GetPrev() || layer->GetNext() || layer == bottom_ || layer == top_;
  if (layer->GetPrev()) layer->GetPrev()->SetNext(layer->GetNext());
  if (layer->GetNext()) layer->GetNext()->SetPrev(layer->GetPrev());
  if (layer == bottom_) bottom_ = layer->GetNext();
  if (layer == top_) top_ = layer->GetPrev();
  if (linked) --layerCount_;
  layer->SetNext(nullptr);
  layer->SetPrev(nullptr);
}

int LayerStack::ListIndexOf(const Layer* layer) const {
  int i = 1;
  for (Layer* l = bottom_; l; l = l->GetNext(), ++i) {
    if (l == layer) return i;
  }
  return -1;
}

Layer* LayerStack::ListLayerWithId(void* handle) const {
  for (Layer* l = bottom_; l; l = l->GetNext()) {
    if (l->GetLayerID() == handle) return l;
  }
  return nullptr;
}

Layer* LayerStack::GetLayerFromIndex(int index) const {
  if (index == -2) return current_;
  if (index == layerCount_ + 1) return selectionMask_;
  if (index < 1 || index > layerCount_) return nullptr;
  Layer* l = bottom_;
  for (int i = 1; l && i < index; ++i) l = l->GetNext();
  return l;
}

int LayerStack::GetIndexFromLayer(const Layer* layer) const {
  if (!layer) return -1;
  if (layer == selectionMask_) return layerCount_ + 1;
  return ListIndexOf(layer);
}

void* LayerStack::GetLayerHandle(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l ? l->GetLayerID() : kNoLayer;
}

int LayerStack::GetLayerIndex(void* handle) const {
  if (handle == kNoLayer) return -1;
  if (handle == kCurrentLayer) return current_ ? ListIndexOf(current_) : -1;
  int i = 1;
  for (Layer* l = bottom_; l; l = l->GetNext(), ++i) {
    if (l->GetLayerID() == handle) return i;
  }
  if (selectionMask_ && selectionMask_->GetLayerID() == handle) return layerCount_ + 1;
  return -1;
}

Layer* LayerStack::GetLayerFromHandle(void* handle) const {
  if (handle == kCurrentLayer) return current_;
  if (selectionMask_ && selectionMask_->GetLayerID() == handle) return selectionMask_;
  return ListLayerWithId(handle);
}

void* LayerStack::GetCurrentLayerHandle() const {
  return current_ ? current_->GetLayerID() : kNoLayer;
}

void* LayerStack::GetSelectionMaskHandle() const {
  return selectionMask_ ? selectionMask_->GetLayerID() : kNoLayer;
}
