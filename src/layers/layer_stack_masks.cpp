// LayerStack: the display colours and opacities of the selection and the
// mask layers, and inverting a mask layer.
#include "brenmark/layer_stack.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;
using brenmark::Moved;

// ---- Default display colours and opacities.

void LayerStack::SetSelectionDefaultDisplayColor(const PaintColor& c) {
  selectionDefaultColor_ = c;
  if (!selectionMask_ || !selectionMask_->isActive()) return;
  selectionMask_->SetMaskColor(c);
  RedrawEntireCanvas(false, true);
}

void LayerStack::SetSelectionDefaultDisplayOpacity(float opacity) {
  selectionDefaultOpacity_ = opacity;
  if (!selectionMask_ || !selectionMask_->isActive()) return;
  selectionMask_->SetMaskDisplayOpacity(opacity);
  RedrawEntireCanvas(false, true);
}

void LayerStack::SetMaskDefaultDisplayColor(const PaintColor& c) {
  maskDefaultColor_ = c;
  bool any = false;
  for (Layer* l = bottom_; l; l = l->GetNext()) {
    if (!l->isMask()) continue;
    l->SetMaskColor(c);
    any = true;
  }
  if (any) RedrawEntireCanvas(false, true);
}

void LayerStack::SetMaskDefaultDisplayOpacity(float opacity) {
  maskDefaultOpacity_ = opacity;
  bool any = false;
  for (Layer* l = bottom_; l; l = l->GetNext()) {
    if (!l->isMask()) continue;
    l->SetMaskDisplayOpacity(opacity);
    any = true;
  }
  if (any) RedrawEntireCanvas(false, true);
}

// ---- One layer's display values (no redraw: the caller decides).

void LayerStack::SetMaskLayerDisplayColor(const PaintColor& c, int index) {
  if (Layer* l = GetLayerFromIndex(index)) l->SetMaskColor(c);
}

void LayerStack::SetMaskLayerDisplayOpacity(float opacity, int index) {
  if (Layer* l = GetLayerFromIndex(index)) l->SetMaskDisplayOpacity(opacity);
}

PaintColor LayerStack::GetMaskLayerDisplayColor(int index) const {
  const Layer* l = GetLayerFromIndex(index);
  return l ? l->GetMaskColor() : PaintColor(0.5f, 0.0f, 0.0f, 0.5f);
}

float LayerStack::GetMaskLayerDisplayOpacity(int index) const {
  const Layer* l = GetLayerFromIndex(index);
  return l ? l->GetMaskDisplayOpacity() : 0.5f;
}

// ---- Inversion.

// After the inversion the canvas outside the image's bounds is written with
// the new fill (the bounds themselves excluded), so every page the canvas
// reaches agrees with the fill whatever it held before.
void LayerStack::InvertMaskLayer(int index) {
  Layer* l = GetLayerFromIndex(index);
  if (!l || !l->isMask()) return;
  l->InvertMask();
  ilImage* image = l->GetImage();
  if (image) {
    const ilTile b = li::Bounds(image);
    const ilTile canvas = Moved(size_, -l->getXOffset(), -l->getYOffset());
    if (!canvas.empty()) {
      image->fillTileValue(canvas.x, canvas.y, canvas.nx, canvas.ny, image->getFill(),
                           b.empty() ? nullptr : &b);
      if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(image)) {
        if (b.empty())
          smart->SetBounds_(ilTile(0, 0, 0, 0, 0, 1), 0);
        else
          smart->SetBounds_(b, 0);
      }
    }
  }
  if (l == selectionMask_) SelectionEdited();
  if (l != current_) RebuildAboveComposite();
  DamageRegion(size_);
  ForceUpdate();
}
