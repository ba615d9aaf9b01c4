// PaintManager: methods that resolve a stack (a handle, -2 for the current
// stack, or the stack holding a layer) and forward to it, answering the
// failure value when there is no such stack.
#include <optional>

#include "brenmark/paint_manager.h"
#include "brenmark/shape.h"
#include "manager/command_undo.h"
#include "manager/undo_switch.h"

namespace {

void* const kNone = reinterpret_cast<void*>(-1);

}  // namespace

int PaintManager::GetLayerCount(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetLayerCount() : 0;
}

int PaintManager::GetCurrentLayer(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetCurrentLayer() : -1;
}

void PaintManager::PrepareToSetCurrentLayer(int index, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->PrepareToSetCurrentLayer(index);
}

const char* PaintManager::GetLayerName(int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetLayerName(index) : nullptr;
}

void PaintManager::SetLayerName(const char* name, int index, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetLayerName(name, index);
}

float PaintManager::GetLayerOpacity(int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetLayerOpacity(index) : 0.0f;
}

void PaintManager::SetLayerOpacity(int index, float opacity, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetLayerOpacity(index, opacity);
}

void PaintManager::SetAllLayerActive(bool on, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetAllLayerActive(on);
}

void PaintManager::SetLayerActive(int index, bool on, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetLayerActive(index, on);
}

bool PaintManager::isLayerActive(int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->isLayerActive(index);
}

bool PaintManager::isLayerMask(int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->isLayerMask(index);
}

float PaintManager::GetCurrentLayerOpacity() const {
  return GetLayerOpacity(-2, -2);
}

void PaintManager::SetCurrentLayerOpacity(float opacity) {
  SetLayerOpacity(-2, opacity, -2);
}

bool PaintManager::isCurrentLayerActive() const {
  return isLayerActive(-2, -2);
}

void PaintManager::SetCurrentLayerActive(bool on) {
  SetLayerActive(-2, on, -2);
}

void PaintManager::SetLayerStackTransform(const LayerStackTransform& t, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetTransform(t);
}

LayerStackTransform PaintManager::GetLayerStackTransform(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetTransform() : LayerStackTransform();
}

void PaintManager::SetLayerStackOffset(int x, int y, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetLayerStackOffset(x, y);
}

void PaintManager::GetLayerStackOffset(int& x, int& y, int h) const {
  x = y = 0;
  if (LayerStack* s = GetLayerStack(h)) s->GetLayerStackOffset(x, y);
}

void PaintManager::SetLayerStackInFront(bool on, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetInFront(on);
}

bool PaintManager::isLayerStackInFront(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->isInFront();
}

void PaintManager::SetBackgroundColor(const PaintColor& c, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetBackgroundColor(c);
}

PaintColor PaintManager::GetBackgroundColor(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetBackgroundColor() : PaintColor();
}

ilTile PaintManager::GetCanvasBounds(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetCanvasBounds() : ilTile();
}

void PaintManager::GetLayerBounds(int& x, int& y, int& nx, int& ny, bool shrink, int index, int h,
                                  bool withOffset, bool shapes) const {
  x = y = nx = ny = 0;
  if (LayerStack* s = GetLayerStack(h)) {
    s->GetLayerBounds(x, y, nx, ny, shrink, index, withOffset, shapes);
  }
}

ilTile PaintManager::GetLayerStackBndInLayerCoord(void* layer) const {
  LayerStack* s = GetLayerStackFromLayerHandle(layer);
  return s ? s->GetLayerStackBndInLayerCoord(layer) : ilTile();
}

void PaintManager::ScreenToCurrentLayerCoords(float& x, float& y, int index, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->ScreenToCurrentLayerCoords(x, y, index);
}

void PaintManager::CurrentLayerToScreenCoords(float& x, float& y, int index, int h) const {
  if (LayerStack* s = GetLayerStack(h)) s->CurrentLayerToScreenCoords(x, y, index);
}

void PaintManager::SetCurrentLayerOffset(const LayerStackTransform& t, float x, float y, int index,
                                         int h, bool update) {
  if (LayerStack* s = GetLayerStack(h)) s->SetCurrentLayerOffset(t, x, y, index, update);
}

void PaintManager::SetCurrentLayerOffset(const LayerStackTransform& t, int x, int y, int index,
                                         int h, bool update) {
  if (LayerStack* s = GetLayerStack(h)) s->SetCurrentLayerOffset(t, x, y, index, update);
}

void PaintManager::GetCurrentLayerOffset(int& x, int& y, int index, int h) const {
  x = y = 0;
  if (LayerStack* s = GetLayerStack(h)) s->GetCurrentLayerOffset(x, y, index);
}

void PaintManager::GetCurrentLayerOffset(float& x, float& y, int index, int h) const {
  x = y = 0.0f;
  if (LayerStack* s = GetLayerStack(h)) s->GetCurrentLayerOffset(x, y, index);
}

void PaintManager::SetCurrentLayerPivot(const LayerPivot& p, int index, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetCurrentLayerPivot(p, index);
}

void PaintManager::GetCurrentLayerPivot(LayerPivot& p, int index, int h) const {
  p = LayerPivot();
  if (LayerStack* s = GetLayerStack(h)) s->GetCurrentLayerPivot(p, index);
}

ilImage* PaintManager::GetCurrentLayerImage(int h) const {
  LayerStack* s = GetLayerStack(h);
  Layer* l = s ? s->GetCurrentLayerPtr() : nullptr;
  return l ? l->GetImage() : nullptr;
}

// A layer counts as a geometry layer for the application when it holds at
// least one shape.
bool PaintManager::isGeometryLayer(int index, int h) const {
  return GetNumShapes(index, h) > 0;
}

bool PaintManager::isGeometryLayer(void* layer) const {
  int index, h;
  GetLayerFromHandle(layer, index, h);
  return index != -1 && isGeometryLayer(index, h);
}

void* PaintManager::AddShape(Shape* shape, int position, int index, int h) {
  LayerStack* s = GetLayerStack(h);
  return s ? s->AddShape(shape, position, index) : kNone;
}

bool PaintManager::RemoveShape(Shape* shape, int index, int h) {
  LayerStack* s = GetLayerStack(h);
  return s && s->RemoveShape(shape, index);
}

Shape* PaintManager::GetTopShape(int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetTopShape(index) : nullptr;
}

Shape* PaintManager::GetBottomShape(int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetBottomShape(index) : nullptr;
}

Shape* PaintManager::GetShapeFromIndex(int shapeIndex, int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetShapeFromIndex(shapeIndex, index) : nullptr;
}

void* PaintManager::GetShapeHandleFromIndex(int shapeIndex, int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetShapeHandleFromIndex(shapeIndex, index) : kNone;
}

int PaintManager::GetNumShapes(int index, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetNumShapes(index) : 0;
}

Shape* PaintManager::GetShapeFromHandle(void* shape, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetShapeFromHandle(shape) : nullptr;
}

void PaintManager::GetShapeIndexesFromHandle(void* shape, int& layerIndex, int& shapeIndex,
                                             int h) const {
  layerIndex = shapeIndex = -1;
  if (LayerStack* s = GetLayerStack(h)) s->GetShapeIndexFromHandle(shape, layerIndex, shapeIndex);
}

void PaintManager::SetShapeActive(void* shape, bool on, bool unused, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetShapeActive(shape, on, unused);
}

bool PaintManager::isShapeActive(void* shape, int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->isShapeActive(shape);
}

const char* PaintManager::GetShapeName(void* shape, int h) const {
  Shape* s = GetShapeFromHandle(shape, h);
  return s ? s->GetShapeName() : nullptr;
}

void PaintManager::SetShapeName(void* shape, const char* name, int h) {
  if (Shape* s = GetShapeFromHandle(shape, h)) s->SetShapeName(name);
}

void PaintManager::DamageRegion(const ilTile& t, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->DamageRegion(t);
}

void PaintManager::SetDisplayUpdate(bool on, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetDisplayUpdate(on);
}

bool PaintManager::GetDisplayUpdate(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->GetDisplayUpdate();
}

ilTile PaintManager::GetUpdateRegion(int h) {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetScrnUpdateRegion() : ilTile();
}

ilQVMemoryImg* PaintManager::GetUpdateImage(int h) {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetUpdateImage() : nullptr;
}

ImageBlender* PaintManager::GetUpdateImageBlender(int h) {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetUpdateImageBlender() : nullptr;
}

void PaintManager::BeginScreenUpdate(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->BeginUpdate();
}

void PaintManager::EndScreenUpdate(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->EndUpdate();
}

void PaintManager::NotifyImagePlaneResize(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->NotifyImagePlaneResize();
}

ilQVMemoryImg* PaintManager::GetCompositeImage() {
  LayerStack* s = GetLayerStack(-2);
  return s ? s->GetCompositeImage() : nullptr;
}

void PaintManager::SetSelectionMaskCurrent(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->SetSelectionMaskCurrent();
}

bool PaintManager::isSelectionMaskCurrent(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->isSelectionMaskCurrent();
}

void PaintManager::UseSelectionMask(bool on, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->UseSelectionMask(on);
}

bool PaintManager::isSelectionMaskUsed(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->isSelectionMaskUsed();
}

void* PaintManager::GetSelectionMaskHandle(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s ? s->GetSelectionMaskHandle() : kNone;
}

bool PaintManager::InProxy(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->InProxy();
}

void PaintManager::EndProxy(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->EndProxy();
}

void PaintManager::ForceOutProxy(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->ForceOutProxy();
}

void PaintManager::BeginProxy(const ProxyParameters& p, int count, int* indices, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->BeginProxy(p, count, indices);
}

void PaintManager::RevertProxy(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->RevertProxy();
}

void PaintManager::ProxyXFormLayers(const LayerStackTransform& t, FilterMethod minify,
                                    FilterMethod magnify, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->ProxyXFormLayers(t, minify, magnify);
}

void PaintManager::XFormImageLayers(const LayerStackTransform& t, int count, int* indices,
                                    FilterMethod minify, FilterMethod magnify, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->XFormImageLayers(t, count, indices, minify, magnify);
}

void PaintManager::ProxyRotateCanvas(const LayerStackTransform& t, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->ProxyRotateCanvas(t);
}

void PaintManager::BeginProxyRotateCanvas(int h) {
  if (LayerStack* s = GetLayerStack(h)) s->BeginProxyRotateCanvas();
}

void PaintManager::EndProxyRotateCanvas(bool accept, int h) {
  if (LayerStack* s = GetLayerStack(h)) s->EndProxyRotateCanvas(accept);
}

bool PaintManager::InProxyRotateCanvas(int h) const {
  LayerStack* s = GetLayerStack(h);
  return s && s->InProxyRotateCanvas();
}

void PaintManager::FlipImageLayer(bool horizontal, bool vertical, void* layer) {
  int index = -1, lsHandle = -1;
  if (layer == reinterpret_cast<void*>(-2)) {
    LayerStack* current = GetLayerStack(-2);
    if (!current) return;
    lsHandle = GetLayerStackHandle(current);
    index = current->GetCurrentLayer();
  } else {
    GetLayerFromHandle(layer, index, lsHandle);
  }
  if (index == -1 || !GetLayerStack(lsHandle)) return;
  std::optional<brenmark::CommandUndo> record;
  if (brenmark::UndoEnabled())
    record.emplace(*this, brenmark::UndoRecordKind::kLayerStroke, lsHandle, index);
  if (LayerStack* s = GetLayerStack(lsHandle)) s->FlipImageLayer(horizontal, vertical, layer);
  if (record) record->Commit();
}
