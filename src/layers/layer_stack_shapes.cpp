// LayerStack: shape-list operations on the layers of the stack.
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/shape.h"
#include "layers/tile_math.h"

using brenmark::Moved;

namespace {

void* const kNoShape = reinterpret_cast<void*>(-1);

}  // namespace

void* LayerStack::AddShape(Shape* shape, int position, int index) {
  Layer* l = GetLayerFromIndex(index);
  if (!l) return kNoShape;
  void* handle = l->AddShape(shape, position);
  if (handle != kNoShape) Notify();
  return handle;
}

bool LayerStack::RemoveShape(Shape* shape, int index) {
  Layer* l = GetLayerFromIndex(index);
  if (!l || !l->RemoveShape(shape)) return false;
  Notify();
  return true;
}

Shape* LayerStack::GetShapeFromHandle(void* handle) const {
  for (Layer* l = bottom_; l; l = l->GetNext()) {
    if (Shape* s = l->GetShapeFromHandle(handle)) return s;
  }
  return nullptr;
}

void LayerStack::GetShapeIndexFromHandle(void* handle, int& layerIndex, int& shapeIndex) const {
  int i = 1;
  for (Layer* l = bottom_; l; l = l->GetNext(), ++i) {
    int s = l->GetShapeIndexFromHandle(handle);
    if (s != -1) {
      layerIndex = i;
      shapeIndex = s;
      return;
    }
  }
  layerIndex = -1;
  shapeIndex = -1;
}

Shape* LayerStack::GetShapeFromIndex(int shapeIndex, int layerIndex) const {
  Layer* l = GetLayerFromIndex(layerIndex);
  return l ? l->GetShapeFromIndex(shapeIndex) : nullptr;
}

void* LayerStack::GetShapeHandleFromIndex(int shapeIndex, int layerIndex) const {
  Layer* l = GetLayerFromIndex(layerIndex);
  return l ? l->GetShapeHandleFromIndex(shapeIndex) : kNoShape;
}

int LayerStack::GetNumShapes(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l ? l->GetNumShapes() : 0;
}

Shape* LayerStack::GetTopShape(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l ? l->GetTopShape() : nullptr;
}

Shape* LayerStack::GetBottomShape(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l ? l->GetBottomShape() : nullptr;
}

void LayerStack::SetShapeActive(void* handle, bool on, bool) {
  if (Shape* s = GetShapeFromHandle(handle)) s->SetActive(on);
}

bool LayerStack::isShapeActive(void* handle) const {
  Shape* s = GetShapeFromHandle(handle);
  return s && s->IsActive();
}

// Moves a shape to just below the target shape (just above it with `after`);
// the target index counts the shapes before the move, and 2147483647 means
// the end of the list.
bool LayerStack::MoveShape(int shapeIndex, int layerIndex, int targetShapeIndex,
                           int targetLayerIndex, bool after) {
  if (shapeIndex == -1 || layerIndex == -1 || targetShapeIndex == -1 || targetLayerIndex == -1) {
    return false;
  }
  Layer* from = GetLayerFromIndex(layerIndex);
  Layer* to = GetLayerFromIndex(targetLayerIndex);
  if (!from || !to) return false;
  Shape* shape = from->GetShapeFromIndex(shapeIndex);
  if (!shape) return false;
  int fromIndex = GetIndexFromLayer(from);
  int toIndex = GetIndexFromLayer(to);
  int sourcePosition = from->GetShapeIndexFromHandle(shape->GetHandle());

  // The anchor is the shape the moved one is inserted directly above, as an
  // index into the target list once the shape has left its own list.
  int anchor;
  if (targetShapeIndex == Layer::kTopShapeIndex) {
    anchor = Layer::kTopShapeIndex;
  } else {
    int target = targetShapeIndex == Layer::kBottomShapeIndex ? 1 : targetShapeIndex;
    if (from == to && sourcePosition < target) --target;
    anchor = after ? target : target - 1;
  }

  shape->ref();
  from->RemoveShape(shape);
  if (anchor != Layer::kTopShapeIndex && anchor > to->GetNumShapes()) {
    anchor = Layer::kTopShapeIndex;
  }
  to->AddShape(shape, anchor);
  shape->unref();

  int cur = GetIndexFromLayer(current_);
  if (from == to) {
    DamageRegion(
        ilTile(Moved(to->getLayerBounds(true), to->getXOffset(), to->getYOffset()), size_));
    if (toIndex < cur)
      RebuildBelowComposite();
    else if (toIndex > cur)
      RebuildAboveComposite();
    ForceUpdate();
  } else {
    RedrawEntireCanvas(fromIndex < cur || toIndex<cur, fromIndex> cur || toIndex > cur);
  }
  return true;
}
