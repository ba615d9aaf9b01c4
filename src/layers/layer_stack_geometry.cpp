// LayerStack: layer bounds, pivots and offsets, and the conversions between
// view (screen) coordinates and a layer's coordinates.
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "layers/tile_math.h"

using brenmark::BoundsUnion;
using brenmark::Moved;

void LayerStack::GetLayerBounds(int& x, int& y, int& nx, int& ny, bool shrink, int index,
                                bool withOffset, bool shapes) {
  x = y = nx = ny = 0;
  Layer* l = GetLayerFromIndex(index);
  if (!l) return;
  if (shrink) l->ShrinkBounds(false, false);
  ilTile b = l->getLayerBounds(shapes);
  x = b.x;
  y = b.y;
  nx = b.nx;
  ny = b.ny;
  if (withOffset) {
    x += l->getXOffset();
    y += l->getYOffset();
  }
}

// The application sees pivots in layer-stack coordinates; layers keep them
// without the stack's own offset.
void LayerStack::SetCurrentLayerPivot(LayerPivot p, int index) {
  Layer* l = GetLayerFromIndex(index);
  if (!l) return;
  p.x -= static_cast<float>(offsetX_);
  p.y -= static_cast<float>(offsetY_);
  l->SetPivot(p);
}

void LayerStack::GetCurrentLayerPivot(LayerPivot& p, int index) {
  Layer* l = GetLayerFromIndex(index);
  if (!l) {
    p = LayerPivot(0.0f, 0.0f, false);
    return;
  }
  p = l->GetPivot();
  p.x += static_cast<float>(offsetX_);
  p.y += static_cast<float>(offsetY_);
}

ilTile LayerStack::GetLayerStackBndInLayerCoord(void* handle) const {
  Layer* l = GetLayerFromHandle(handle);
  if (!l) return ilTile();
  return Moved(size_, -(l->getXOffset() + offsetX_), -(l->getYOffset() + offsetY_));
}

// Keeps the layer within reach of the canvas: its offset stays inside the
// union of its moved bounds and the canvas grown by the canvas size on every
// side.
void LayerStack::SetCurrentLayerOffset(const LayerStackTransform& t, float x, float y, int index,
                                       bool update) {
  Layer* l = GetLayerFromIndex(index);
  if (!l || l->isGeometry()) return;
  auto moved = [l] { return Moved(l->getLayerBounds(true), l->getXOffset(), l->getYOffset()); };
  ilTile grown(size_.x - size_.nx, size_.y - size_.ny, size_.z, 3 * size_.nx, 3 * size_.ny,
               size_.nz);
  ilTile allowed = BoundsUnion(moved(), grown);
  float lowX = static_cast<float>(allowed.x), highX = static_cast<float>(allowed.x + allowed.nx);
  float lowY = static_cast<float>(allowed.y), highY = static_cast<float>(allowed.y + allowed.ny);
  x = x < lowX ? lowX : (x > highX ? highX : x);
  y = y < lowY ? lowY : (y > highY ? highY : y);
  float oldX, oldY;
  l->GetOffset(oldX, oldY);
  if (x != oldX || y != oldY) {
    ilTile before = moved();
    l->SetOffset(t, x, y);
    ilTile after = moved();
    if (before != after) {
      DamageRegion(ilTile(BoundsUnion(before, after), size_));
      if (update) ForceUpdate();
    }
  }
  StopMATimer();
  StartMATimer();
}

void LayerStack::SetCurrentLayerOffset(const LayerStackTransform& t, int x, int y, int index,
                                       bool update) {
  SetCurrentLayerOffset(t, static_cast<float>(x), static_cast<float>(y), index, update);
}

void LayerStack::GetCurrentLayerOffset(int& x, int& y, int index) const {
  x = y = 0;
  if (Layer* l = GetLayerFromIndex(index)) l->GetOffset(x, y);
}

void LayerStack::GetCurrentLayerOffset(float& x, float& y, int index) const {
  x = y = 0.0f;
  if (Layer* l = GetLayerFromIndex(index)) l->GetOffset(x, y);
}

// Before mapping, the transform is refreshed from the view: the scale offset
// centres a zoomed canvas in the view, and the rotation centre comes from the
// application (scaled when the view's reported size changed between the two
// queries). The rotation angle itself is kept.
void LayerStack::ScreenToCurrentLayerCoords(float& x, float& y, int index) {
  BrenmarkCallbacks* cb = Brenmark.CB();
  int view = ViewOf();
  int w = 0, h = 0;
  cb->GetViewSize(view, &w, &h);
  transform_.SetScaleOffset((1.0f - transform_.GetXScale()) * static_cast<float>(w) / 2.0f,
                            (1.0f - transform_.GetYScale()) * static_cast<float>(h) / 2.0f);
  float px = 0.0f, py = 0.0f;
  cb->GetRotationCentre(view, &px, &py);
  int w2 = 0, h2 = 0;
  cb->GetViewSize(view, &w2, &h2);
  int fx = w2 > 0 ? w / w2 : 1;
  int fy = h2 > 0 ? h / h2 : 1;
  transform_.SetRotation(px * static_cast<float>(fx), py * static_cast<float>(fy),
                         transform_.GetDegree());
  transform_.InvXformCoords(x, y, LayerStackTransform::kScale, false);
  x -= static_cast<float>(offsetX_);
  y -= static_cast<float>(offsetY_);
  int lx, ly;
  GetCurrentLayerOffset(lx, ly, index);
  x -= static_cast<float>(lx);
  y -= static_cast<float>(ly);
}

void LayerStack::CurrentLayerToScreenCoords(float& x, float& y, int index) const {
  int lx, ly;
  GetCurrentLayerOffset(lx, ly, index);
  x += static_cast<float>(lx + offsetX_);
  y += static_cast<float>(ly + offsetY_);
  transform_.XformCoords(x, y, LayerStackTransform::kScale, false);
}
