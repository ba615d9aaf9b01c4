// Layer: identity, naming, attributes, offsets, pivot and the shape list of
// one layer.
#include "brenmark/layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "brenmark/paint_ops.h"
#include "brenmark/shape.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "manager/debug_selector.h"
#include "platform/diagnostics.h"

namespace li = brenmark::layer_images;

namespace {

// Identifiers and name numbers come from one counter: the n-th layer built
// from images (from 0) has identifier n and is named Layer-n or Mask-n.
std::intptr_t g_layer_counter = 0;

constexpr unsigned kThumbnailBackground = 0xFFA1A1A1u;
constexpr unsigned kMaskColor = 0xFF0000FFu;
constexpr int kMaxThumbnailSide = 256;

int ClampThumbnailSide(int v) {
  return v < 1 ? 1 : (v > kMaxThumbnailSide ? kMaxThumbnailSide : v);
}

}  // namespace

void Layer::InitFields() {
  thumbnailBackground_.Set(kThumbnailBackground);
  maskColor_.Set(kMaskColor);
  name_[0] = '\0';
}

Layer::Layer(ilImage* color, ilImage* stencil, bool isMask, bool isGeometry)
    : isMask_(isMask), isGeometry_(isGeometry) {
  InitFields();
  id_ = g_layer_counter++;
  color_ = color;
  if (color_) {
    color_->ref();
    if (!li::IsSmart(color_)) brenmark::platform::Diagnostic("Color Img must be a smart image!\n");
  }
  stencil_ = stencil;
  if (stencil_) {
    stencil_->ref();
    if (!li::IsSmart(stencil_)) brenmark::platform::Diagnostic("Stencil must be a smart image!\n");
  } else {
    MakeBlankStencil();
  }
  NameFromCounter();
}

Layer::Layer(Layer* source) {
  InitFields();
  if (source->InProxy()) source->EndProxy();
  color_ = source->color_;
  if (color_) color_->ref();
  stencil_ = source->stencil_;
  if (stencil_) stencil_->ref();
  bounds_ = source->bounds_;
  thumbnailBackground_ = source->thumbnailBackground_;
  thumbnailWidth_ = source->thumbnailWidth_;
  thumbnailHeight_ = source->thumbnailHeight_;
  thumbnailDirty_ = source->thumbnailDirty_;
  opacity_ = source->opacity_;
  maskDisplayOpacity_ = source->maskDisplayOpacity_;
  offsetX_ = source->offsetX_;
  offsetY_ = source->offsetY_;
  layerStackOffsetX_ = source->layerStackOffsetX_;
  layerStackOffsetY_ = source->layerStackOffsetY_;
  pivot_ = source->pivot_;
  active_ = source->active_;
  maskActive_ = source->maskActive_;
  isMask_ = source->isMask_;
  maskColor_ = source->maskColor_;
  std::memcpy(name_, source->name_, sizeof name_);
  id_ = source->id_;
  isGeometry_ = source->isGeometry_;
  for (Shape* s = source->bottomShape_; s; s = s->GetNext()) {
    Shape* copy = new Shape(s);
    copy->SetNext(nullptr);
    copy->SetPrev(nullptr);
    AddShape(copy, kTopShapeIndex);
  }
  geometryImageChanged_ = source->geometryImageChanged_;
  shapesChanged_ = source->shapesChanged_;
  painter_ = source->painter_;
  if (painter_) painter_->ref();
  copiedFrom_ = source;
}

// Only the members are built; the layer has no identity until the record's
// contents would give it one, so its handle reads as none.
Layer::Layer(SIDLayer_sr*)
    : proxyParameters_(0, 1, nullptr, nullptr), thumbnailBackground_(), maskColor_() {
  name_[0] = '\0';
  id_ = -1;
}

Layer::~Layer() {
  EndProxy();
  ReleaseStencilledImage();
  Shape* s = bottomShape_;
  while (s) {
    Shape* next = s->GetNext();
    s->SetNext(nullptr);
    s->SetPrev(nullptr);
    s->SetOwnerLayer(nullptr);
    s->unref();
    s = next;
  }
  bottomShape_ = topShape_ = nullptr;
  shapeCount_ = 0;
  if (painter_) painter_->unref();
  if (color_) color_->unref();
  if (stencil_) stencil_->unref();
  if (thumbnail_) thumbnail_->unref();
}

std::intptr_t Layer::LastLayerID() {
  return g_layer_counter - 1;
}

void Layer::NameFromCounter() {
  std::snprintf(name_, sizeof name_, isMask_ ? "Mask-%ld" : "Layer-%ld", static_cast<long>(id_));
}

Layer* Layer::MaskOwner() {
  if (!isMask_) return this;
  for (Layer* l = previous_; l; l = l->previous_) {
    if (!l->isMask_) return l;
  }
  return this;
}

Layer* Layer::GetNextActive(bool skipMasks) const {
  for (Layer* l = next_; l; l = l->next_) {
    if (l->active_ && !(skipMasks && l->isMask_)) return l;
  }
  return nullptr;
}

void Layer::SetLayerName(const char* name) {
  if (!name) name = "__NULL LAYER NAME__";
  std::strncpy(name_, name, kNameCapacity - 1);
  name_[kNameCapacity - 1] = '\0';
  notify();
}

void Layer::SetActive(bool on) {
  active_ = on;
  notify();
}

void Layer::SetMaskActive(bool on) {
  maskActive_ = on;
  notify();
}

void Layer::SetOpacity(float opacity) {
  opacity_ = opacity;
  notify();
}

ilTile Layer::getLayerBounds(bool shapes) const {
  if (isGeometry_ && shapes) {
    ilTile all;
    for (Shape* s = bottomShape_; s; s = s->GetNext()) {
      ilTile b;
      if (!s->GetShapeBound(b) || b.empty()) continue;
      if (all.empty()) {
        all = b;
        continue;
      }
      int x1 = std::max(all.x + all.nx, b.x + b.nx), y1 = std::max(all.y + all.ny, b.y + b.ny);
      all.x = std::min(all.x, b.x);
      all.y = std::min(all.y, b.y);
      all.nx = x1 - all.x;
      all.ny = y1 - all.y;
    }
    return all;
  }
  return li::Bounds(color_);
}

void Layer::ShrinkBounds(bool fast, bool flag) {
  if (li::IsSmart(color_)) li::Shrink(color_, fast, flag);
  if (li::IsSmart(stencil_)) li::Shrink(stencil_, fast, flag);
}

// A blank stencil keeps no pixels at all: with the fill at 255 every stored
// page is dropped, so the layer counts as having no stencil content and
// composites without a stencilled copy.
void Layer::MakeBlankStencil() {
  if (!stencil_) {
    stencil_ = li::MakeBlankStencil();
    stencil_->ref();
    return;
  }
  li::SetFillAll(stencil_, 255.0);
  if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(stencil_))
    smart->SetBounds_(ilTile(0, 0, 0, 0, 0, 1), 0);
  else
    li::FillBounds(stencil_, 255.0);
}

void Layer::StartStencilling() {
  if (!stencil_) MakeBlankStencil();
}

// While a proxy previews a transform, the offset being set is that of the
// transformed preview; the source position it implies (the same movement
// undone through the transform's scale about the pivot) is what the layer
// returns to when the proxy ends.
void Layer::SetOffset(const LayerStackTransform& t, float x, float y) {
  if (isGeometry_) return;
  offsetX_ = x;
  offsetY_ = y;
  if (inProxy_) {
    UpdatePivot();
    const float sx = t.GetXScale(), sy = t.GetYScale();
    if (sx != 0.0f) {
      proxySourceX_ = (x - pivot_.x - static_cast<float>(proxyOffsetX_)) / sx + pivot_.x;
    }
    if (sy != 0.0f) {
      proxySourceY_ = (y - pivot_.y - static_cast<float>(proxyOffsetY_)) / sy + pivot_.y;
    }
  }
  notify();
}

void Layer::SetOffset(const LayerStackTransform& t, int x, int y) {
  SetOffset(t, static_cast<float>(x), static_cast<float>(y));
}

void Layer::SetOffset(float x, float y) {
  SetOffset(LayerStackTransform(), x, y);
}

void Layer::GetOffset(int& x, int& y) const {
  x = getXOffset();
  y = getYOffset();
}

void Layer::GetOffset(float& x, float& y) const {
  x = isGeometry_ ? 0.0f : offsetX_;
  y = isGeometry_ ? 0.0f : offsetY_;
}

// The integer offset truncates toward zero: (-2.7, 3.9) places at (-2, 3).
int Layer::getXOffset() const {
  return isGeometry_ ? 0 : static_cast<int>(offsetX_);
}

int Layer::getYOffset() const {
  return isGeometry_ ? 0 : static_cast<int>(offsetY_);
}

void Layer::ApplyOffset(int& x, int& y) const {
  x += getXOffset();
  y += getYOffset();
}

void Layer::ApplyOffset(float& x, float& y) const {
  float ox, oy;
  GetOffset(ox, oy);
  x += ox;
  y += oy;
}

void Layer::ApplyInverseOffset(int& x, int& y) const {
  x -= getXOffset();
  y -= getYOffset();
}

void Layer::ApplyInverseOffset(float& x, float& y) const {
  float ox, oy;
  GetOffset(ox, oy);
  x -= ox;
  y -= oy;
}

void Layer::SetLayerStackOffset(int x, int y) {
  layerStackOffsetX_ = x;
  layerStackOffsetY_ = y;
}

void Layer::GetLayerStackOffset(int& x, int& y) const {
  x = layerStackOffsetX_;
  y = layerStackOffsetY_;
}

LayerPivot Layer::GetPivot() {
  if (!pivot_.valid) ResetPivot();
  return pivot_;
}

void Layer::ResetPivot() {
  ShrinkBounds(false, false);
  ilTile b = getLayerBounds(true);
  pivot_ = LayerPivot(static_cast<float>(b.x) + offsetX_ + static_cast<float>(b.nx / 2),
                      static_cast<float>(b.y) + offsetY_ + static_cast<float>(b.ny / 2), false);
}

void Layer::SetThumbnailSize(int width, int height) {
  thumbnailWidth_ = ClampThumbnailSide(width);
  thumbnailHeight_ = ClampThumbnailSide(height);
  thumbnailDirty_ = true;
}

void Layer::GetThumbnailSize(int& width, int& height) const {
  width = thumbnailWidth_;
  height = thumbnailHeight_;
}

void Layer::SetThumbnailBackground(const PaintColor& c) {
  thumbnailBackground_ = c;
  thumbnailDirty_ = true;
}

ilSIDImage* Layer::GetThumbnailImage() {
  if (thumbnailDirty_) RebuildThumbnailImage();
  return thumbnail_;
}

void* Layer::AddShape(Shape* shape, int position) {
  if (!shape) return reinterpret_cast<void*>(-1);
  Shape* anchor = GetShapeFromIndex(position);
  if (!anchor || !bottomShape_) {
    shape->SetPrev(nullptr);
    shape->SetNext(bottomShape_);
    if (bottomShape_)
      bottomShape_->SetPrev(shape);
    else
      topShape_ = shape;
    bottomShape_ = shape;
  } else if (anchor == topShape_) {
    shape->SetPrev(topShape_);
    shape->SetNext(nullptr);
    topShape_->SetNext(shape);
    topShape_ = shape;
  } else {
    shape->SetPrev(anchor);
    shape->SetNext(anchor->GetNext());
    anchor->GetNext()->SetPrev(shape);
    anchor->SetNext(shape);
  }
  shape->SetOwnerLayer(this);
  ++shapeCount_;
  shapesChanged_ = true;
  shape->ref();
  return shape->GetHandle();
}

bool Layer::RemoveShape(Shape* shape) {
  // Membership is checked by walking the list, so a shape of another layer
  // can never be unlinked from (or released by) this one.
  Shape* s = bottomShape_;
  while (s && s != shape) s = s->GetNext();
  shapesChanged_ = true;
  if (!s) return false;
  if (shape->GetPrev())
    shape->GetPrev()->SetNext(shape->GetNext());
  else
    bottomShape_ = shape->GetNext();
  if (shape->GetNext())
    shape->GetNext()->SetPrev(shape->GetPrev());
  else
    topShape_ = shape->GetPrev();
  shape->SetNext(nullptr);
  shape->SetPrev(nullptr);
  shape->SetOwnerLayer(nullptr);
  --shapeCount_;
  shape->unref();
  return true;
}

Shape* Layer::GetShapeFromHandle(void* handle) const {
  for (Shape* s = bottomShape_; s; s = s->GetNext()) {
    if (s->GetHandle() == handle) return s;
  }
  return nullptr;
}

int Layer::GetShapeIndexFromHandle(void* handle) const {
  int i = 1;
  for (Shape* s = bottomShape_; s; s = s->GetNext(), ++i) {
    if (s->GetHandle() == handle) return i;
  }
  return -1;
}

Shape* Layer::GetShapeFromIndex(int index) const {
  if (index == kBottomShapeIndex) return bottomShape_;
  if (index == kTopShapeIndex) return topShape_;
  if (index < 1 || index > shapeCount_) return nullptr;
  Shape* s = bottomShape_;
  for (int i = 1; s && i < index; ++i) s = s->GetNext();
  return s;
}

void* Layer::GetShapeHandleFromIndex(int index) const {
  Shape* s = GetShapeFromIndex(index);
  return s ? s->GetHandle() : reinterpret_cast<void*>(-1);
}

bool Layer::ShapeChanged() const {
  if (!isGeometry_) return false;
  if (shapesChanged_) return true;
  for (Shape* s = bottomShape_; s; s = s->GetNext()) {
    if (s->IsActive() && s->IsParmsDirty()) return true;
  }
  return false;
}

void Layer::debug() const {
  if (!brenmark::DebugSelectorIs(brenmark::kDebugStructure)) return;
  brenmark::platform::Diagnostic(
      "Layer[%s] active[%d] isGeometry[%d] numShape[%d] topShape[%x] bottomShape[%x]\n", name_,
      active_ ? 1 : 0, isGeometry_ ? 1 : 0, shapeCount_, brenmark::DebugWord(topShape_),
      brenmark::DebugWord(bottomShape_));
  for (Shape* s = bottomShape_; s; s = s->GetNext()) s->debug();
}
