// LayerStack structure operations: add, delete, clear, duplicate, move and
// merge layers, and delete masks.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"
#include "platform/diagnostics.h"

namespace li = brenmark::layer_images;
using brenmark::BoundsUnion;
using brenmark::Moved;

namespace {

void* const kNoLayer = reinterpret_cast<void*>(-1);

// The current layer followed, for an image layer, by the run of masks
// directly above it: what moves together.
std::vector<Layer*> GroupOf(Layer* layer) {
  std::vector<Layer*> group{layer};
  if (!layer->isMask()) {
    for (Layer* l = layer->GetNext(); l && l->isMask(); l = l->GetNext()) group.push_back(l);
  }
  return group;
}

}  // namespace

int LayerStack::AddLayer(Layer* layer, int position, bool update) {
  if (!layer) return -1;
  if (isSelectionMaskCurrent()) SetCurrentLayer(layerCount_, false);
  layer->ref();
  AddLayerToStack(layer, true, position);
  current_ = layer;
  PrepareCurrentPainter();
  UpdateBrushClippingRect();
  if (update) {
    RebuildAboveComposite();
    RebuildBelowComposite();
  }
  ClearLowOrderBitImage();
  if (layer->isMask()) {
    layer->SetMaskColor(maskDefaultColor_);
    layer->SetMaskDisplayOpacity(maskDefaultOpacity_);
  }
  DamageRegion(size_);
  Notify();
  return GetIndexFromLayer(current_);
}

int LayerStack::AddLayer(ilImage* color, ilImage* stencil, bool isMask, bool, bool isGeometry,
                         int position, bool update) {
  CheckProxyState();
  pendingCurrent_ = -1;
  ilImage* image;
  if (!color) {
    image = li::MakeEmpty(isMask ? 1 : 4);
  } else {
    image = li::CopyOf(color);
    isMask = li::Channels(color) == 1;
  }
  ilImage* stencilImage = stencil ? li::BasedOn(stencil) : nullptr;
  int index = AddLayer(new Layer(image, stencilImage, isMask, isGeometry), position, update);
  if (update) {
    UpdateImagePlaneBits();
    ResetUpdateRegion();
    Brenmark.CB()->LayersChanged();
  }
  return index;
}

// The only list member is emptied rather than removed, so a stack never
// loses its last layer this way; it keeps its identifier and name.
void LayerStack::DeleteLayer(Layer* layer) {
  pendingCurrent_ = -1;
  if (layerCount_ == 1 && layer == bottom_) {
    layer->ClearStencil();
    ilImage* image = layer->GetImage();
    li::FillBounds(image, 0.0);
    li::SetFillAll(image, 0.0);
    layer->ShrinkBounds(false, false);
  } else {
    RemoveLayerFromStack(layer);
    layer->unref();
    // The painters may have targeted the layer's images.
    PrepareCurrentPainter();
  }
  ClearLowOrderBitImage();
}

void LayerStack::DeleteCurrentLayer(void* handle, bool redraw) {
  CheckProxyState();
  Layer* layer = GetLayerFromHandle(handle);
  // The selection mask lives outside the list and is never deleted.
  if (!layer || layer == selectionMask_) return;
  if (!layer->isMask()) {
    while (layer->GetNext() && layer->GetNext()->isMask()) DeleteLayer(layer->GetNext());
  }
  DeleteLayer(layer);
  // What protects the (possibly new) current layer has changed.
  RebuildMaskComposite();
  if (redraw)
    RedrawEntireCanvas(true, true);
  else
    redrawPending_ = true;
  Notify();
}

void LayerStack::ClearCurrentLayer() {
  Layer* layer = current_;
  if (!layer || layer->isGeometry()) return;
  CheckProxyState();
  CollapseLayerStencil(layer);
  layer->ShrinkBounds(false, false);
  ClearLowOrderBitImage();
  ilImage* image = layer->GetImage();
  if (isSelectionMaskUsed()) {
    ClearLayerImageBySelMask(layer->GetLayerID());
  } else if (!ClearThroughMaskComposite(layer)) {
    li::ClearBounds(image, currentPainter_);
  }
  li::SetFillAll(image, 0.0);
  layer->ShrinkBounds(true, false);
  DamageRegion(size_);
  ForceUpdate();
  Brenmark.CB()->LayersChanged();
  ResetUpdateRegion();
}

bool LayerStack::IsLayerNameUnique(const char* name) const {
  for (Layer* l = bottom_; l; l = l->GetNext()) {
    if (std::strcmp(l->GetLayerName(), name) == 0) return false;
  }
  return true;
}

void LayerStack::DuplicateCurrentLayer(bool) {
  CheckProxyState();
  Layer* source = current_;
  if (!source || source == selectionMask_) return;
  CropLayerToBrushClippingRect(source->GetLayerID());
  int offsetX, offsetY;
  source->GetOffset(offsetX, offsetY);
  float opacity = source->GetOpacity();
  LayerPivot pivot = source->GetPivot();

  // "<name>-<n>" with the smallest n that no list layer uses. The base is
  // shortened so that the whole name fits the 127 characters a layer keeps;
  // otherwise the stored (cut) name could repeat an existing one.
  char name[Layer::kNameCapacity];
  const char* base = source->GetLayerName();
  int baseLength = static_cast<int>(std::strlen(base));
  for (int n = 1;; ++n) {
    char suffix[16];
    int suffixLength = std::snprintf(suffix, sizeof suffix, "-%d", n);
    int keep = std::min(baseLength, Layer::kNameCapacity - 1 - suffixLength);
    std::snprintf(name, sizeof name, "%.*s%s", keep, base, suffix);
    if (IsLayerNameUnique(name)) break;
  }

  ilImage* image = source->GetImage();
  ilImage* masked = MaskedImageForDuplicate(source);
  if (masked) image = masked;
  AddLayer(image, source->GetStencil(), source->isMask(), true, source->isGeometry(), -2, false);
  if (masked) masked->unref();

  Layer* copy = current_;
  copy->SetLayerName(name);
  copy->SetOffset(static_cast<float>(offsetX), static_cast<float>(offsetY));
  copy->SetOpacity(opacity);
  copy->SetPivot(pivot);

  ilTile damage(Moved(copy->getLayerBounds(true), copy->getXOffset(), copy->getYOffset()), size_);
  DamageRegion(damage);
  RebuildAboveComposite();
  RebuildBelowComposite();
  UpdateImagePlaneBits();
  ResetUpdateRegion();
  Brenmark.CB()->LayersChanged();
}

// The index names the layer (counted before the move) that the moved group
// ends up directly below; above the count means the top, and a mask never
// goes to the bottom.
void LayerStack::MoveCurrentLayer(int index) {
  CheckProxyState();
  Layer* moving = current_;
  if (!moving || moving == selectionMask_) return;
  bool toTop = index > layerCount_;
  if (toTop) index = layerCount_;
  if (index < 1) index = 1;
  if (index == 1 && moving->isMask()) index = 2;
  if (ListIndexOf(moving) == index) return;

  Layer* target = GetLayerFromIndex(index);
  std::vector<Layer*> group = GroupOf(moving);
  // Placing the group below one of its own members is no move at all.
  if (!toTop && std::find(group.begin(), group.end(), target) != group.end()) return;

  for (Layer* l : group) RemoveLayerFromStack(l);
  Layer* insertion = toTop ? top_ : (target ? target->GetPrev() : nullptr);
  for (Layer* l : group) {
    current_ = insertion;
    AddLayerToStack(l, false, -2);
    insertion = l;
  }
  current_ = moving;
  RebuildAboveComposite();
  RebuildBelowComposite();
  RedrawEntireCanvas(false, false);
}

void LayerStack::MoveCurrentlayer(LayerStack* target, int index) {
  brenmark::platform::Diagnostic("moving a layer to a new stack\n");
  if (!target || target == this) {
    MoveCurrentLayer(index);
    return;
  }
  Layer* moving = current_;
  if (!moving || moving == selectionMask_) return;

  std::vector<Layer*> group = GroupOf(moving);
  for (Layer* l : group) RemoveLayerFromStack(l);
  if (layerCount_ == 0) {
    AddLayer(nullptr, nullptr, false, true, false, -2, true);
    current_ = bottom_;
  }

  bool onTop = index > target->layerCount_;
  if (onTop) index = target->layerCount_;
  if (index < 1) index = 1;
  Layer* at = target->layerCount_ > 0 ? target->GetLayerFromIndex(index) : nullptr;
  target->current_ = (at && !onTop) ? at->GetPrev() : at;
  for (Layer* l : group) {
    target->AddLayerToStack(l, false, -2);
    target->current_ = l;
  }

  PrepareCurrentPainter();
  RebuildAboveComposite();
  RebuildBelowComposite();
  RedrawEntireCanvas(false, false);
}

void LayerStack::MergeLayers(void* upperHandle, void* lowerHandle, bool) {
  CheckProxyState();
  if (upperHandle == kNoLayer || lowerHandle == kNoLayer) return;
  Layer* upper = GetLayerFromHandle(upperHandle);
  Layer* lower = GetLayerFromHandle(lowerHandle);
  if (!lower) return;
  current_ = lower;
  lower->SetActive(true);
  PrepareCurrentPainter();
  if (!upper || upper == lower || upper->isGeometry() || lower->isGeometry() ||
      upper == selectionMask_ || lower == selectionMask_) {
    return;
  }
  CollapseLayerStencil(lower);
  CollapseLayerOpacity(lower);
  CropLayerToBrushClippingRect(lower->GetLayerID());
  CropLayerToBrushClippingRect(upper->GetLayerID());
  CompositeLayerInto(upper, lower);
  if (!upper->isMask()) {
    // The upper layer's masks go with it (the lower layer itself excepted,
    // should it be one of them).
    Layer* l = upper->GetNext();
    while (l && l->isMask()) {
      Layer* next = l->GetNext();
      if (l != lower) DeleteLayer(l);
      l = next;
    }
  }
  RemoveLayerFromStack(upper);
  upper->unref();
  current_ = lower;
  lower->SetActive(true);
  PrepareCurrentPainter();
  DamageRegion(size_);
  RebuildAboveComposite();
  RebuildBelowComposite();
  UpdateImagePlaneBits();
  Brenmark.CB()->LayersChanged();
  Notify();
}

void LayerStack::MergeAllLayers(bool visibleOnly) {
  CheckProxyState();
  PrepareCurrentPainter();
  Layer* base = visibleOnly ? GetNextActiveLayerFromBottom() : bottom_;
  if (!base) return;
  current_ = base;
  CollapseLayerStencil(base);
  CollapseLayerOpacity(base);
  if (!visibleOnly) {
    while (base != top_) {
      Layer* l = base->GetNext();
      if (!l->isMask()) CompositeLayerInto(l, base);
      RemoveLayerFromStack(l);
      l->unref();
    }
  } else {
    while (Layer* l = base->GetNextActive(true)) {
      CompositeLayerInto(l, base);
      RemoveLayerFromStack(l);
      l->unref();
    }
  }
  RebuildBelowComposite();
  RebuildAboveComposite();
  base->SetActive(true);
  Notify();
  UpdateImagePlaneBits();
  Brenmark.CB()->LayersChanged();
}

void LayerStack::DeleteAllMasks() {
  CheckProxyState();
  if (bottom_ && !bottom_->isMask()) {
    for (Layer* l = bottom_; l; l = l->GetNext()) {
      if (l->isMask()) continue;
      while (l->GetNext() && l->GetNext()->isMask()) DeleteLayer(l->GetNext());
    }
  }
  SetCurrentLayer(0, true);
  Notify();
}
