// Iterators over layer stacks, layers, masks and shapes.
#include "brenmark/layer_iterators.h"

#include "brenmark/paint_manager.h"
#include "brenmark/shape.h"

namespace {

void* const kNone = reinterpret_cast<void*>(-1);

// The stack holding a layer handle and the layer itself, or nulls.
Layer* FindLayer(void* handle, int& stackHandle, int& index) {
  Brenmark.GetLayerFromHandle(handle, index, stackHandle);
  if (index == -1) return nullptr;
  LayerStack* stack = Brenmark.GetLayerStack(stackHandle);
  return stack ? stack->GetLayerFromIndex(index) : nullptr;
}

}  // namespace

// ---- LayerStackIterator

LayerStackIterator::LayerStackIterator() {
  Reset();
}

void LayerStackIterator::Reset() {
  count_ = remaining_ = Brenmark.GetLayerStackCount();
  slot_ = 0;
}

int LayerStackIterator::Next() {
  if (remaining_ <= 0) return -1;
  for (; slot_ < PaintManager::kMaxLayerStacks; ++slot_) {
    if (Brenmark.GetLayerStack(slot_)) {
      --remaining_;
      return slot_++;
    }
  }
  return -1;
}

// ---- LayerIterator

LayerIterator::LayerIterator(int layerStack, bool skipMasks, bool fromTop)
    : requestedStack_(layerStack), skipMasks_(skipMasks), fromTop_(fromTop) {
  Reset();
}

// Moves from `index` in the walking direction past masks when they are
// skipped; -1 once the list ends.
int LayerIterator::Skip(int index) const {
  LayerStack* stack = Brenmark.GetLayerStack(stack_);
  if (!stack) return -1;
  int step = fromTop_ ? -1 : 1;
  while (index >= 1 && index <= stack->GetLayerCount()) {
    if (!skipMasks_ || !stack->isLayerMask(index)) return index;
    index += step;
  }
  return -1;
}

void LayerIterator::Reset() {
  stack_ = requestedStack_ == -2 ? Brenmark.GetCurrentLayerStack() : requestedStack_;
  count_ = 0;
  index_ = -1;
  LayerStack* stack = Brenmark.GetLayerStack(stack_);
  if (!stack) return;
  int n = stack->GetLayerCount();
  for (int i = 1; i <= n; ++i) {
    if (!skipMasks_ || !stack->isLayerMask(i)) ++count_;
  }
  index_ = Skip(fromTop_ ? n : 1);
}

void* LayerIterator::Next() {
  int stack, index;
  return Next(stack, index);
}

void* LayerIterator::Next(int& layerStack, int& index) {
  layerStack = stack_;
  index = index_;
  LayerStack* stack = Brenmark.GetLayerStack(stack_);
  if (!stack || index_ == -1) {
    index = -1;
    return kNone;
  }
  void* handle = stack->GetLayerHandle(index_);
  index_ = Skip(index_ + (fromTop_ ? -1 : 1));
  return handle;
}

void* LayerIterator::GetNextLayer(void* layer, bool skipMasks) {
  int stack, index;
  Layer* l = FindLayer(layer, stack, index);
  if (!l) return kNone;
  for (l = l->GetNext(); l; l = l->GetNext()) {
    if (!skipMasks || !l->isMask()) return l->GetLayerID();
  }
  return kNone;
}

void* LayerIterator::GetPrevLayer(void* layer, bool skipMasks) {
  int stack, index;
  Layer* l = FindLayer(layer, stack, index);
  if (!l) return kNone;
  for (l = l->GetPrev(); l; l = l->GetPrev()) {
    if (!skipMasks || !l->isMask()) return l->GetLayerID();
  }
  return kNone;
}

// ---- MaskIterator

MaskIterator::MaskIterator(int layerStack, int imageIndex, bool fromTop)
    : stack_(layerStack == -2 ? Brenmark.GetCurrentLayerStack() : layerStack),
      imageIndex_(imageIndex),
      fromTop_(fromTop) {
  Reset();
}

MaskIterator::MaskIterator(void* imageLayer, bool fromTop) : fromTop_(fromTop) {
  Brenmark.GetLayerFromHandle(imageLayer, imageIndex_, stack_);
  Reset();
}

void MaskIterator::Reset() {
  count_ = 0;
  index_ = -1;
  LayerStack* stack = Brenmark.GetLayerStack(stack_);
  if (!stack) return;
  if (imageIndex_ == -2) imageIndex_ = stack->GetIndexFromLayer(stack->GetCurrentLayerPtr());
  if (imageIndex_ < 1 || imageIndex_ > stack->GetLayerCount()) return;
  for (int i = imageIndex_ + 1; i <= stack->GetLayerCount() && stack->isLayerMask(i); ++i) {
    ++count_;
  }
  if (count_ > 0) index_ = fromTop_ ? imageIndex_ + count_ : imageIndex_ + 1;
}

void* MaskIterator::Next() {
  int stack, index;
  return Next(stack, index);
}

void* MaskIterator::Next(int& layerStack, int& index) {
  layerStack = stack_;
  LayerStack* stack = Brenmark.GetLayerStack(stack_);
  if (!stack || index_ < 1 || index_ > stack->GetLayerCount() || !stack->isLayerMask(index_)) {
    index_ = -1;
    index = -1;
    return kNone;
  }
  index = index_;
  void* handle = stack->GetLayerHandle(index_);
  index_ += fromTop_ ? -1 : 1;
  return handle;
}

void* MaskIterator::GetAssociateImageLayer(void* mask) {
  int stack, index;
  Layer* l = FindLayer(mask, stack, index);
  if (!l) return kNone;
  for (l = l->GetPrev(); l; l = l->GetPrev()) {
    if (!l->isMask()) return l->GetLayerID();
  }
  return kNone;
}

// ---- ShapeIterator

ShapeIterator::ShapeIterator(int layerStack, int index, bool fromTop)
    : stack_(layerStack == -2 ? Brenmark.GetCurrentLayerStack() : layerStack),
      layerIndex_(index),
      fromTop_(fromTop) {
  Reset();
}

ShapeIterator::ShapeIterator(void* layer, bool fromTop) : fromTop_(fromTop) {
  Brenmark.GetLayerFromHandle(layer, layerIndex_, stack_);
  Reset();
}

void ShapeIterator::Reset() {
  count_ = 0;
  shapeIndex_ = -1;
  LayerStack* stack = Brenmark.GetLayerStack(stack_);
  if (!stack) return;
  if (layerIndex_ == -2) layerIndex_ = stack->GetIndexFromLayer(stack->GetCurrentLayerPtr());
  count_ = stack->GetNumShapes(layerIndex_);
  if (count_ > 0) shapeIndex_ = fromTop_ ? count_ : 1;
}

void* ShapeIterator::Next() {
  int stack, layer, shape;
  return Next(stack, layer, shape);
}

void* ShapeIterator::Next(int& layerStack, int& layerIndex, int& shapeIndex) {
  layerStack = stack_;
  layerIndex = layerIndex_;
  LayerStack* stack = Brenmark.GetLayerStack(stack_);
  if (!stack || shapeIndex_ < 1 || shapeIndex_ > stack->GetNumShapes(layerIndex_)) {
    shapeIndex_ = -1;
    shapeIndex = -1;
    return kNone;
  }
  shapeIndex = shapeIndex_;
  void* handle = stack->GetShapeHandleFromIndex(shapeIndex_, layerIndex_);
  shapeIndex_ += fromTop_ ? -1 : 1;
  return handle;
}
