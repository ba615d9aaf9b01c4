// LayerStack: the pixel work of the structure operations (merging,
// duplicating and clearing through the mask composite), the mask-layer
// operations, and layer images handed to and taken from the application.
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;
using brenmark::BoundsUnion;
using brenmark::Moved;

// ---- Structure operations.

void LayerStack::CollapseLayerStencil(Layer* layer) {
  layer->CollapseStencil();
}

void LayerStack::CollapseLayerOpacity(Layer* layer) {
  layer->CollapseOpacity();
}

// The source's effective pixels (a mask's own values) composited over the
// target's colour image, each at its canvas position. A painter of its own
// keeps any protection of the current layer out of the merge.
void LayerStack::CompositeLayerInto(Layer* source, Layer* target) {
  ilImage* into = target->GetImage();
  ilImage* pixels =
      source->isMask() ? source->GetImage() : source->GetStencilledImage(nullptr, false, true);
  if (!into || !pixels) return;
  const ilTile b = li::Bounds(pixels);
  if (b.empty()) return;
  const int dx = source->getXOffset() - target->getXOffset();
  const int dy = source->getYOffset() - target->getYOffset();
  li::TempPainter painter(into);
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  painter->rect_copy(b.x + dx, b.y + dy, b.nx, b.ny, pixels, b.x, b.y, nullptr, 1.0f, 1.0f);
  painter->blend_func(BlendOne, BlendZero);
}

// The duplicate of a protected layer holds what the protection leaves
// paintable: each pixel times (256 - m) / 256, m the mask composite over it.
ilImage* LayerStack::MaskedImageForDuplicate(Layer* layer) {
  ilImage* color = layer->GetImage();
  if (!maskComposite_ || !color) return nullptr;
  ilImage* copy = li::CopyOf(color);
  copy->ref();
  {
    li::TempPainter painter(copy);
    painter->blend_func(BlendZero, BlendOneMinusSrcAlpha);
    const ilTile u = BoundsUnion(li::Bounds(maskComposite_), size_);
    painter->rect_copy(u.x - layer->getXOffset(), u.y - layer->getYOffset(), u.nx, u.ny,
                       maskComposite_, u.x, u.y, nullptr, 1.0f, 1.0f);
  }
  li::Shrink(copy, false, false);
  return copy;
}

// Clearing a protected layer erases only the paintable part: each pixel
// times m / 256.
bool LayerStack::ClearThroughMaskComposite(Layer* layer) {
  ilImage* color = layer->GetImage();
  if (!color || !maskComposite_ || li::Bounds(maskComposite_).empty()) return false;
  li::TempPainter painter(color);
  painter->blend_func(BlendZero, BlendSrcAlpha);
  const ilTile u = BoundsUnion(li::Bounds(maskComposite_), size_);
  painter->rect_copy(u.x - layer->getXOffset(), u.y - layer->getYOffset(), u.nx, u.ny,
                     maskComposite_, u.x, u.y, nullptr, 1.0f, 1.0f);
  return true;
}

// ---- Mask layers.

bool LayerStack::isMaskActive(int index) const {
  Layer* l = GetLayerFromIndex(index);
  return l && l->isMaskActive();
}

void LayerStack::SetMaskActive(bool on, int index) {
  Layer* l = GetLayerFromIndex(index);
  if (!l || l->isMaskActive() == on) return;
  l->SetMaskActive(on);
  RebuildMaskComposite();
  if (l == selectionMask_) {
    RebuildAboveComposite();
    DamageRegion(size_);
    UpdateImagePlaneBits();
    ResetUpdateRegion();
    Brenmark.CB()->LayersChanged();
  }
}

void LayerStack::HideAllPaint(int index) {
  if (Layer* l = GetLayerFromIndex(index)) l->FillStencil();
}

void LayerStack::ShowAllPaint(int index) {
  if (Layer* l = GetLayerFromIndex(index)) l->ClearStencil();
}

void LayerStack::EraseHiddenPaint(int index) {
  if (Layer* l = GetLayerFromIndex(index)) l->CollapseStencil();
}

// ---- Layer images for the application.

bool LayerStack::ApplyImageToLayer(ilSIDImage* img, void* handle) {
  Layer* l = GetLayerFromHandle(handle);
  return l && l->ApplyImage(img);
}

namespace {

// A smart image seeded from `source` that keeps the pixels `source` has
// now: its pages are referenced at once, so later writes to `source` do not
// show through.
ilSmartImage* SnapshotOf(ilImage* source) {
  auto* copy = new ilSmartImage(source, 0, 0, 0, -1);
  copy->ReferenceSeedPages(nullptr);
  return copy;
}

}  // namespace

ilSmartImage* LayerStack::GetLayerImage(int& x, int& y, void* handle, bool withBackground,
                                        bool applySelection) {
  Layer* layer = GetLayerFromHandle(handle);
  if (!layer || !layer->GetImage()) return nullptr;
  ilImage* source;
  if (layer->isMask()) {
    source = layer->GetImage();
    // A geometry mask's pixels are rendered from its shapes first.
    if (layer->isGeometry()) layer->GetStencilledImage(nullptr, true, false);
  } else {
    source = layer->GetStencilledImage(nullptr, true, false);
  }
  const int lx = layer->getXOffset(), ly = layer->getYOffset();
  const int channels = source->getCsize() == 1 ? 1 : 4;
  ilSmartImage* result = nullptr;

  if (layer == selectionMask_) {
    if (!layer->isMaskInverted()) {
      result = SnapshotOf(source);
      result->ForceShrinkAttempt(false);
      x = lx;
      y = ly;
    } else {
      result = new ilSmartImage(source->getFill());
      const ilTile b = li::Bounds(source);
      if (!b.empty()) result->copyTile(b.x + lx, b.y + ly, b.nx, b.ny, source, b.x, b.y);
      result->SetBounds_(size_, 0);
      x = y = 0;
    }
    result->ref();
    return result;
  }

  Layer* sel = selectionMask_;
  if (applySelection && sel && sel->isMaskActive() && !sel->getLayerBounds(true).empty()) {
    // Everything here is in canvas coordinates: the selection is moved by
    // its own offset, the layer's pixels by the layer's.
    result = li::MakeSmart(channels, 0.0);
    sel->ShrinkBounds(false, false);
    ilImage* selImage = sel->GetImage();
    const int sx = sel->getXOffset(), sy = sel->getYOffset();
    const ilTile s = Moved(sel->getLayerBounds(true), sx, sy);
    if (sx != 0 || sy != 0) {
      ilSmartImage* moved = new ilSmartImage(selImage->getFill());
      moved->copyTile(s.x, s.y, s.nx, s.ny, selImage, s.x - sx, s.y - sy);
      selImage = moved;
    }
    selImage->ref();
    const ilTile u = BoundsUnion(s, Moved(li::Bounds(source), lx, ly));
    {
      li::TempPainter painter(result);
      painter->blend_func(BlendOne, BlendZero);
      painter->rect_copy(0, 0, u.nx, u.ny, source, u.x - lx, u.y - ly, nullptr, 1.0f, 1.0f);
      painter->blend_func(BlendZero, BlendOneMinusSrcAlpha);
      painter->rect_copy(0, 0, u.nx, u.ny, selImage, u.x, u.y, nullptr, 1.0f, 1.0f);
    }
    x = u.x;
    y = u.y;
    if (sel->isMaskInverted()) {
      // Outside the selection's pixels everything is masked: only the
      // open area can hold the layer's pixels.
      ilSmartImage* open = li::MakeSmart(channels, 0.0);
      open->ref();
      {
        li::UniformBytes all(0xFF);
        li::TempPainter painter(open);
        painter->rect_fill(0, 0, u.nx, u.ny, all.bytes, nullptr);
        painter->blend_func(BlendZero, BlendOneMinusSrcAlpha);
        painter->rect_copy(0, 0, u.nx, u.ny, selImage, u.x, u.y, nullptr, 1.0f, 1.0f);
      }
      open->ForceShrinkAttempt(false);
      result->SetBounds_(open->getBounds(), 0);
      open->unref();
    }
    selImage->unref();
  } else {
    result = SnapshotOf(source);
    // The mask composite is the current layer's protection; it says nothing
    // about any other layer.
    if (layer == current_ && maskComposite_ && !li::Bounds(maskComposite_).empty()) {
      const ilTile u =
          BoundsUnion(BoundsUnion(li::Bounds(source), li::Bounds(maskComposite_)), size_);
      li::TempPainter painter(result);
      painter->blend_func(BlendZero, BlendOneMinusSrcAlpha);
      painter->rect_copy(u.x, u.y, u.nx, u.ny, maskComposite_, u.x + lx, u.y + ly, nullptr, 1.0f,
                         1.0f);
    }
    x = lx;
    y = ly;
    result->ForceShrinkAttempt(false);
  }

  if (withBackground && !layer->isMask()) {
    // The background goes under the pixels: d + (bg x (256 - A)) >> 8.
    const ilTile b = result->getBounds();
    if (!b.empty()) {
      unsigned packed = 0;
      background_.Get(packed);
      li::TempPainter painter(result);
      painter->blend_func(BlendOneMinusDstAlpha, BlendOne);
      painter->rect_fill(b.x, b.y, b.nx, b.ny, &packed, nullptr);
    }
    result->ForceShrinkAttempt(false);
  }
  result->ref();
  return result;
}
