// Layer: the stencilled image (the layer as it composites), stencilling a
// painter's target, combining mask layers into one mask, and re-rendering
// a geometry layer's shapes.
#include "brenmark/layer.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/shape.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;
using brenmark::Moved;

namespace {

constexpr float kOpaque = 0.998f;
constexpr float kInvisible = 0.002f;

// One image shared by every layer: the latest stencilled image built.
ilSmartImage* g_stencilled = nullptr;

// What a layer's pixels become when composited, written through `painter`
// over `area` (the painter's target already holds `source` there, or
// `source` is copied in first):
//   masks:  mask colour x mask value (the one channel scales all four),
//   then    x opacity byte, x display factor byte, x stencil,
// each multiplication being (d x m) >> 8 per channel (blend (0, 6)).
struct StencilInputs {
  ilImage* source = nullptr;  // null: the target already holds the pixels
  ilImage* stencil = nullptr;
  float opacity = 1.0f;
  float displayFactor = 1.0f;
  bool isMask = false;
  PaintColor maskColor;
};

void Multiply(PaintOps* painter, const ilTile& a, float factor) {
  li::UniformBytes byte(li::OpacityByte(factor));
  painter->blend_func(BlendZero, BlendSrcAlpha);
  painter->rect_fill(a.x, a.y, a.nx, a.ny, byte.bytes, nullptr);
}

void ComposeStencilled(PaintOps* painter, const ilTile& area, const StencilInputs& in) {
  const ilTile a(area.x, area.y, 0, area.nx, area.ny, 1);
  if (a.empty()) return;
  painter->blend_func(BlendOne, BlendZero);
  if (in.source) {
    if (in.isMask) {
      unsigned packed = 0;
      in.maskColor.Get(packed);
      painter->rect_fill(a.x, a.y, a.nx, a.ny, &packed, nullptr);
      painter->blend_func(BlendZero, BlendSrcAlpha);
    }
    painter->rect_copy(a.x, a.y, a.nx, a.ny, in.source, a.x, a.y, nullptr, 1.0f, 1.0f);
  }
  if (in.opacity < kOpaque) Multiply(painter, a, in.opacity);
  if (in.displayFactor < kOpaque) Multiply(painter, a, in.displayFactor);
  if (in.stencil) {
    const ilTile s(li::Bounds(in.stencil), a);
    if (!s.empty()) {
      painter->blend_func(BlendZero, BlendSrcAlpha);
      painter->rect_copy(s.x, s.y, s.nx, s.ny, in.stencil, s.x, s.y, nullptr, 1.0f, 1.0f);
    }
  }
}

}  // namespace

ilSmartImage* Layer::StencilledImage() {
  return g_stencilled;
}

void Layer::ReleaseStencilledImage() {
  if (g_stencilled) g_stencilled->unref();
  g_stencilled = nullptr;
}

ilSIDImage* Layer::BuildStencilledImage(ilTile* area, ilImage* stencil) {
  ReleaseStencilledImage();
  g_stencilled = li::MakeSmart(4, 0.0);
  g_stencilled->ref();
  RenderShapes(false, true);
  StencilInputs in;
  in.source = color_;
  in.stencil = stencil;
  in.opacity = opacity_;
  in.displayFactor = isMask_ ? maskDisplayOpacity_ : 1.0f;
  in.isMask = isMask_;
  in.maskColor = maskColor_;
  if (color_) {
    li::TempPainter painter(g_stencilled);
    ComposeStencilled(painter.get(), area ? *area : li::Bounds(color_), in);
  }
  return g_stencilled;
}

ilSIDImage* Layer::GetStencilledImage(ilTile* area, bool force, bool b) {
  const bool stencilContent = stencil_ && !li::Bounds(stencil_).empty();
  if (opacity_ >= kOpaque && !isMask_ && !stencilContent) {
    ReleaseStencilledImage();
    RenderShapes(force, b);
    return ilSIDImage::asSidImage(color_);
  }
  return BuildStencilledImage(area, stencil_);
}

ilSIDImage* Layer::GetStencilledImage(ilTile* area, ilImage* stencil) {
  return BuildStencilledImage(area, stencil);
}

// The target already holds the layer's pixels (a mask already coloured), so
// only the multiplications remain; the painter's blend function is kept.
void Layer::DoStencil(ilTile* area, PaintOps* painter) {
  if (!painter || !painter->target_img()) return;
  StencilInputs in;
  in.stencil = stencil_;
  in.opacity = opacity_;
  in.displayFactor = isMask_ ? maskDisplayOpacity_ : 1.0f;
  BlendFactor src = BlendOne, dst = BlendZero;
  const bool hadBlend = painter->get_blend_func(src, dst) == 0;
  ComposeStencilled(painter, area ? *area : li::Bounds(painter->target_img()), in);
  if (hadBlend) painter->blend_func(src, dst);
}

// m <- l + m x (255 - l) / 255 for the fills; inside the area the first
// contributing mask is copied and every later one composited over it
// (m <- t + m x (256 - t) / 256), each taken through its stencil and times
// its opacity.
ilSmartImage* Layer::MakeMaskImage(ilTile area, bool fromSelf) {
  if (isMask_ && !fromSelf) return nullptr;
  Layer* first = fromSelf ? this : next_;
  if (!first || !first->isMask_) return nullptr;

  // Nothing takes a reference on the result while it is built: it goes to
  // the caller as created, or is deleted by the one unref below.
  ilSmartImage* result = li::MakeSmart(1, 0.0);
  ilSmartImage* scratch = li::MakeSmart(1, 0.0);
  scratch->ref();
  bool contributed = false;
  {
    li::TempPainter out(result);
    li::TempPainter tmp(scratch);
    out->blend_func(BlendOne, BlendZero);
    tmp->blend_func(BlendOne, BlendZero);
    for (Layer* l = first; l && l->isMask_; l = l->next_) {
      if (!(l->opacity_ > kInvisible && l->maskActive_) || !l->color_) continue;
      if (l->isGeometry_) l->GetStencilledImage(nullptr, false, true);
      l->ShrinkBounds(false, false);

      const double m = l->color_->getFill().getElem(0);
      const double r = result->getFill().getElem(0);
      li::SetFillAll(result, li::CombinedMaskFill(m, r));

      const ilTile from = Moved(area, -l->getXOffset(), -l->getYOffset());
      const bool stencilContent = l->stencil_ && !li::Bounds(l->stencil_).empty();
      if (l->opacity_ < kOpaque || stencilContent) {
        tmp->blend_func(BlendOne, BlendZero);
        tmp->rect_copy(area.x, area.y, area.nx, area.ny, l->color_, from.x, from.y, nullptr, 1.0f,
                       1.0f);
        tmp->blend_func(BlendZero, BlendSrcAlpha);
        if (stencilContent) {
          tmp->rect_copy(area.x, area.y, area.nx, area.ny, l->stencil_, from.x, from.y, nullptr,
                         1.0f, 1.0f);
        }
        if (l->opacity_ < kOpaque) Multiply(tmp.get(), area, l->opacity_);
        out->rect_copy(area.x, area.y, area.nx, area.ny, scratch, area.x, area.y, nullptr, 1.0f,
                       1.0f);
      } else {
        out->rect_copy(area.x, area.y, area.nx, area.ny, l->color_, from.x, from.y, nullptr, 1.0f,
                       1.0f);
      }
      if (!contributed) out->blend_func(BlendOne, BlendOneMinusSrcAlpha);
      contributed = true;
    }
  }
  scratch->unref();
  result->ForceShrinkAttempt(false);
  if (!contributed || result->getBounds().empty()) {
    result->unref();
    return nullptr;
  }
  return result;
}

// Geometry layers hold the pixels their shapes render to: the image is
// cleared and every active shape painted into it from the bottom up. Shapes
// keep their masks, so only those whose parameters changed rebuild them.
void Layer::RenderShapes(bool force, bool b) {
  if (!isGeometry_ || !color_) return;
  if (!force && !ShapeChanged()) return;
  BrenmarkCallbacks* cb = Brenmark.CB();
  if (cb->SetBusy) cb->SetBusy(true);
  li::FillBounds(color_, 0.0);
  for (Shape* s = bottomShape_; s; s = s->GetNext()) {
    if (s->IsActive()) s->Render(force, b);
  }
  shapesChanged_ = false;
  geometryImageChanged_ = true;
  ShrinkBounds(false, false);
  if (cb->SetBusy) cb->SetBusy(false);
}
