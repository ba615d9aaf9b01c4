// Shape: identity, list links, curves, parameters and rendering of a vector
// shape.
#include "brenmark/shape.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "brenmark/il.h"
#include "brenmark/il_tile_compose.h"
#include "brenmark/layer.h"
#include "brenmark/paint_manager.h"
#include "brenmark/shape_parms.h"
#include "brenmark/shape_renderer.h"
#include "manager/debug_selector.h"
#include "platform/diagnostics.h"

namespace {

int g_shape_handle_counter = 0;  // incremented before use: the first shape gets 1

void ReleaseCurve(ag_curve*& curve) {
  if (!curve) return;
  BrenmarkCallbacks* cb = Brenmark.CB();
  if (cb->ReleaseCurve) cb->ReleaseCurve(&curve);
  curve = nullptr;
}

ag_curve* CopyCurve(ag_curve* curve) {
  BrenmarkCallbacks* cb = Brenmark.CB();
  return curve && cb->CopyCurve ? cb->CopyCurve(curve, 0) : nullptr;
}

}  // namespace

Shape::Shape(Layer* owner, ag_curve* fill, ag_curve* stroke, ShapeParms* parms)
    : handle_(++g_shape_handle_counter),
      fill_(fill),
      stroke_(stroke),
      parms_(parms),
      owner_(owner),
      fillRenderer_(new ShapeFillRenderer()),
      strokeRenderer_(new ShapeStrokeRenderer()) {
  Resource::ref(parms_);
  std::snprintf(name_, sizeof name_, "Shape-%d", handle_);
}

Shape::Shape(Shape* source)
    : next_(source->next_),
      prev_(source->prev_),
      handle_(source->handle_),
      active_(source->active_),
      fill_(CopyCurve(source->fill_)),
      stroke_(CopyCurve(source->stroke_)),
      parms_(source->parms_),
      owner_(source->owner_),
      fillRenderer_(new ShapeFillRenderer(source->fillRenderer_)),
      strokeRenderer_(new ShapeStrokeRenderer(source->strokeRenderer_)) {
  Resource::ref(parms_);
  std::memcpy(name_, source->name_, sizeof name_);
}

Shape::~Shape() {
  delete fillRenderer_;
  delete strokeRenderer_;
  next_ = nullptr;
  prev_ = nullptr;
  ReleaseCurve(fill_);
  ReleaseCurve(stroke_);
  Resource::unref(parms_);
}

void* Shape::GetHandle() const {
  return reinterpret_cast<void*>(static_cast<std::intptr_t>(handle_));
}

void Shape::SetShapeName(const char* name) {
  if (!name) return;
  std::strncpy(name_, name, kNameCapacity - 1);
  name_[kNameCapacity - 1] = '\0';
}

void Shape::SetFillCurve(ag_curve* curve, bool dirty) {
  if (curve != fill_) ReleaseCurve(fill_);
  fill_ = curve;
  if (dirty && parms_) parms_->SetMaskDirty();
  fillChanged_ = true;
}

void Shape::SetStrokeCurve(ag_curve* curve, bool dirty) {
  if (curve != stroke_) ReleaseCurve(stroke_);
  stroke_ = curve;
  if (dirty && parms_) parms_->SetMaskDirty();
  strokeChanged_ = true;
}

void Shape::SetShapeParms(ShapeParms* parms) {
  const bool changed = parms_ ? parms_->ShapeIsDifferent(parms) : false;
  Resource::ref(parms);
  Resource::unref(parms_);
  parms_ = parms;
  if (parms_) {
    if (changed) parms_->SetMaskDirty();
    parms_->SetParmsDirty();
  }
  if (changed) fillChanged_ = strokeChanged_ = true;
}

bool Shape::IsParmsDirty() const {
  return parms_ && parms_->IsParmsDirty();
}

bool Shape::IsMaskDirty() const {
  return parms_ && parms_->IsMaskDirty();
}

void Shape::SetMaskDirty() {
  if (parms_) parms_->SetMaskDirty();
}

void Shape::SetParmsDirty() {
  if (parms_) parms_->SetParmsDirty();
}

void Shape::Render(PaintOps* painter, bool forceMask, bool useStackBounds) {
  if (!active_) return;
  if (parms_) {
    if (parms_->IsMaskDirty() || forceMask) {
      fillRenderer_->SetMaskDirty();
      strokeRenderer_->SetMaskDirty();
    }
    if (parms_->IsParmsDirty()) {
      fillRenderer_->SetParmsDirty();
      strokeRenderer_->SetParmsDirty();
    }
    if (useStackBounds && owner_) {
      parms_->SetUseImageBnd(true);
      parms_->SetImageBnd(Brenmark.GetLayerStackBndInLayerCoord(owner_->GetLayerID()));
    } else {
      parms_->SetUseImageBnd(false);
    }
  }
  if (parms_ && parms_->IsFillOnTop()) {
    strokeRenderer_->Render(stroke_, painter, parms_);
    fillRenderer_->Render(fill_, painter, parms_);
  } else {
    fillRenderer_->Render(fill_, painter, parms_);
    strokeRenderer_->Render(stroke_, painter, parms_);
  }
  if (parms_) {
    parms_->ResetMaskDirty();
    parms_->ResetParmsDirty();
  }
}

void Shape::Render(bool forceMask, bool useStackBounds) {
  if (owner_) Render(owner_->GetPainter(), forceMask, useStackBounds);
}

bool Shape::GetShapeBound(ilTile& out) {
  out = ilTile();
  if (!parms_) return false;
  const bool fill = parms_->Filling(), stroke = parms_->Strokeing();
  if (fill && fillChanged_) {
    fillBounds_ = fillRenderer_->GetCrvBounds(parms_, fill_);
    fillChanged_ = false;
  }
  if (stroke && strokeChanged_) {
    strokeBounds_ = strokeRenderer_->GetCrvBounds(parms_, stroke_);
    strokeChanged_ = false;
  }
  if (!fill && !stroke) return false;
  if (fill && stroke)
    out = ilTileUnion(fillBounds_, strokeBounds_);
  else
    out = fill ? fillBounds_ : strokeBounds_;
  return true;
}

void Shape::debug() const {
  if (!brenmark::DebugSelectorIs(brenmark::kDebugStructure)) return;
  brenmark::platform::Diagnostic("\tShape[%x][%s] handle[%x] active[%d] next[%x] prev[%x]\n",
                                 brenmark::DebugWord(this), name_, static_cast<unsigned>(handle_),
                                 active_ ? 1 : 0, brenmark::DebugWord(next_),
                                 brenmark::DebugWord(prev_));
}

int Shape::HandleCounter() {
  return g_shape_handle_counter;
}
