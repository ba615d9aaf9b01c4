// LayerStack: editing the selection mask (whole-mask, rectangle and image
// operations, copies to and from layers), its open bounds, and clearing the
// current layer where the selection leaves it open.
//
// Selection values: 255 protects, 0 leaves open. The selection image's fill
// is its value wherever it holds no pixels, so an edit that changes what
// lies outside the image's bounds must change the fill as well.
#include <cmath>
#include <string>

#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"
#include "platform/diagnostics.h"

namespace li = brenmark::layer_images;
using brenmark::BoundsUnion;
using brenmark::Moved;

namespace {

// Half away from zero, as every float-to-pixel placement in the engine.
int RoundHalfAway(float v) {
  return static_cast<int>(v < 0 ? -std::floor(-v + 0.5f) : std::floor(v + 0.5f));
}

int FillOf(ilImage* image) {
  return image ? static_cast<int>(image->getFill().getElem(0)) : 0;
}

// What one selection value becomes under the painter's blend with a uniform
// source value m: the blending engine is asked, on a one-pixel image, so the
// fill follows exactly the arithmetic the pixels went through.
int BlendedValue(int s, int m, BlendFactor src, BlendFactor dst) {
  ilSmartImage* one = li::MakeSmart(1, static_cast<double>(s));
  one->ref();
  {
    li::TempPainter painter(one);
    painter->blend_func(src, dst);
    li::UniformBytes value(static_cast<unsigned char>(m));
    painter->rect_fill(0, 0, 1, 1, value.bytes, nullptr);
  }
  unsigned char out = 0;
  one->getTile(0, 0, 1, 1, &out);
  one->unref();
  return out;
}

// The parts of `a` outside `hole` (at most four rectangles).
int Outside(const ilTile& a, const ilTile& hole, ilTile out[4]) {
  const ilTile h(a, hole);
  if (h.nx <= 0 || h.ny <= 0) {
    out[0] = a;
    return 1;
  }
  int n = 0;
  auto add = [&](int x, int y, int nx, int ny) {
    if (nx > 0 && ny > 0) out[n++] = ilTile(x, y, 0, nx, ny, 1);
  };
  add(a.x, a.y, a.nx, h.y - a.y);                         // below
  add(a.x, h.y + h.ny, a.nx, a.y + a.ny - (h.y + h.ny));  // above
  add(a.x, h.y, h.x - a.x, h.ny);                         // left
  add(h.x + h.nx, h.y, a.x + a.nx - (h.x + h.nx), h.ny);  // right
  return n;
}

}  // namespace

// ---- The common ending of every selection edit.

// The mask composite and the display take a selection without pixels for
// one that protects nothing. One that protects through its fill alone is
// given the fill's pixels over the canvas, so it holds what it protects.
void LayerStack::SelectionEdited() {
  if (selectionMask_) {
    ilImage* image = selectionMask_->GetImage();
    const int f = FillOf(image);
    const ilTile canvas =
        Moved(size_, -selectionMask_->getXOffset(), -selectionMask_->getYOffset());
    if (f != 0 && li::Bounds(image).empty() && !canvas.empty()) {
      li::SetFillAll(image, 0.0);
      li::TempPainter painter(image);
      painter->blend_func(BlendOne, BlendZero);
      li::UniformBytes value(static_cast<unsigned char>(f));
      painter->rect_fill(canvas.x, canvas.y, canvas.nx, canvas.ny, value.bytes, nullptr);
      li::SetFillAll(image, f);
    }
  }
  if (useSelectionMask_) RebuildMaskComposite();
  selectionChanged_ = true;
}

// ---- Whole mask, tiles and images.

void LayerStack::FillSelectionMask() {
  if (selectionMask_) {
    ilImage* image = selectionMask_->GetImage();
    li::FillBounds(image, 255.0);
    li::SetFillAll(image, 255.0);
  }
  SelectionEdited();
}

void LayerStack::ClearSelectionMask(const ilTile& t) {
  FillSelectionMask();
  SubtractFromSelection(t);
}

void LayerStack::FillSelectionMask(const ilTile& t) {
  ClearSelectionMask();
  AddToSelection(t);
}

void LayerStack::ClearSelectionMask(ilSIDImage* img) {
  FillSelectionMask();
  SubtractFromSelection(img, 0.0f, 0.0f);
}

void LayerStack::FillSelectionMask(ilSIDImage* img) {
  ClearSelectionMask();
  AddToSelection(img, 0.0f, 0.0f);
}

void LayerStack::AddToSelection(const ilTile& t) {
  SetSelectionRect(t, 255);
}

void LayerStack::SubtractFromSelection(const ilTile& t) {
  SetSelectionRect(t, 0);
}

void LayerStack::SetSelectionRect(const ilTile& t, unsigned char value) {
  if (selectionMask_ && t.nx > 0 && t.ny > 0) {
    li::TempPainter painter(selectionMask_->GetImage());
    painter->blend_func(BlendOne, BlendZero);
    li::UniformBytes bytes(value);
    painter->rect_fill(t.x, t.y, t.nx, t.ny, bytes.bytes, nullptr);
  }
  SelectionEdited();
}

// Inside the image's bounds the copy blends pixel by pixel; everywhere else
// the image reads as its fill f, so the selection's own pixels outside the
// copied rectangle take f under the same blend and the selection's fill
// becomes what its old fill turns into. Without this an inverted mask
// (fill 255) would add nothing outside its bounds.
void LayerStack::CombineIntoSelection(ilSIDImage* img, float x, float y, bool add) {
  if (!selectionMask_) ClearSelectionMask();
  if (img && selectionMask_) {
    ilImage* sel = selectionMask_->GetImage();
    const BlendFactor src = add ? BlendOne : BlendZero;
    const BlendFactor dst = BlendOneMinusSrcAlpha;
    const ilTile b = img->getBounds();
    const ilTile to = Moved(b, RoundHalfAway(x), RoundHalfAway(y));
    const int f = FillOf(img);
    const ilTile selBounds = li::Bounds(sel);
    li::TempPainter painter(sel);
    painter->blend_func(src, dst);
    if (b.nx > 0 && b.ny > 0) {
      painter->rect_copy(to.x, to.y, b.nx, b.ny, img, b.x, b.y, nullptr, 1.0f, 1.0f);
    }
    if (f != 0) {
      li::UniformBytes value(static_cast<unsigned char>(f));
      ilTile rest[4];
      const int n = selBounds.empty() ? 0 : Outside(selBounds, to, rest);
      for (int i = 0; i < n; ++i)
        painter->rect_fill(rest[i].x, rest[i].y, rest[i].nx, rest[i].ny, value.bytes, nullptr);
      li::SetFillAll(sel, BlendedValue(FillOf(sel), f, src, dst));
    }
  }
  SelectionEdited();
}

void LayerStack::AddToSelection(ilSIDImage* img, float x, float y) {
  CombineIntoSelection(img, x, y, true);
}

void LayerStack::SubtractFromSelection(ilSIDImage* img, float x, float y) {
  CombineIntoSelection(img, x, y, false);
}

void LayerStack::AddToSelection(Layer* l) {
  if (!l) return;
  CombineIntoSelection(ilSIDImage::asSidImage(l->GetImage()), static_cast<float>(l->getXOffset()),
                       static_cast<float>(l->getYOffset()), true);
}

void LayerStack::SubtractFromSelection(Layer* l) {
  if (!l) return;
  CombineIntoSelection(ilSIDImage::asSidImage(l->GetImage()), static_cast<float>(l->getXOffset()),
                       static_cast<float>(l->getYOffset()), false);
}

void LayerStack::AddToSelection(void* handle) {
  AddToSelection(GetLayerFromHandle(handle));
}

void LayerStack::SubtractFromSelection(void* handle) {
  SubtractFromSelection(GetLayerFromHandle(handle));
}

// ---- Copies.

void LayerStack::CopyToSelection(ilSIDImage* img, float x, float y) {
  PaintColor color = selectionDefaultColor_;
  float opacity = selectionDefaultOpacity_;
  std::string name = "Selection";
  const bool wasCurrent = selectionMask_ && current_ == selectionMask_;
  if (selectionMask_) {
    color = selectionMask_->GetMaskColor();
    opacity = selectionMask_->GetMaskDisplayOpacity();
    name = selectionMask_->GetLayerName();
    // The painters may write into the layer being replaced.
    if (wasCurrent) ReleasePainters();
    selectionMask_->unref();
    selectionMask_ = nullptr;
  }
  if (img && img->getCsize() == 1) {
    selectionMask_ = new Layer(new ilSmartImage(img, 0, 0, 0, -1), nullptr, true, false);
    selectionMask_->ref();
    selectionMask_->SetLayerName(name.c_str());
    selectionMask_->SetMaskColor(color);
    selectionMask_->SetMaskDisplayOpacity(opacity);
    selectionMask_->SetOffset(LayerStackTransform(), x, y);
    if (wasCurrent) current_ = selectionMask_;
    SelectionEdited();
  } else {
    ClearSelectionMask();
    if (wasCurrent) current_ = selectionMask_;
    brenmark::platform::DiagnosticText("Can't copy a 1 channel image to the selection mask\n");
  }
  if (wasCurrent) PrepareCurrentPainter();
}

// A mask's fill travels with it: an inverted mask copied over its bounds
// alone would leave the selection open everywhere else.
void LayerStack::CopyToSelection(Layer* l) {
  if (!l || !selectionMask_ || !l->isMask()) return;
  const ilTile b = l->getLayerBounds(true);
  if (b.empty()) return;
  ClearSelectionMask();
  ilImage* sel = selectionMask_->GetImage();
  sel->copyTile(b.x, b.y, b.nx, b.ny, l->GetImage(), b.x, b.y);
  li::SetFillAll(sel, FillOf(l->GetImage()));
  selectionMask_->SetOffset(LayerStackTransform(), l->getXOffset(), l->getYOffset());
  SelectionEdited();
}

void LayerStack::CopyToSelection(void* handle) {
  CopyToSelection(GetLayerFromHandle(handle));
}

void LayerStack::CopyFromSelection(ilSIDImage* img) {
  if (!img || !selectionMask_) return;
  const ilTile b = selectionMask_->getLayerBounds(true);
  if (b.empty()) return;
  img->copyTile(b.x, b.y, b.nx, b.ny, selectionMask_->GetImage(), b.x, b.y);
}

// Only a mask can take the selection's one channel; a colour layer is left
// alone rather than given a one-channel image.
void LayerStack::CopyFromSelection(Layer* l) {
  if (!l || !selectionMask_ || !l->isMask() || l == selectionMask_) return;
  const ilTile b = selectionMask_->getLayerBounds(true);
  if (b.empty()) return;
  ilImage* sel = selectionMask_->GetImage();
  ilSmartImage* copy = li::MakeSmart(1, FillOf(sel));
  copy->copyTile(b.x, b.y, b.nx, b.ny, sel, b.x, b.y);
  l->SetImage(copy);
  l->SetOffset(LayerStackTransform(), selectionMask_->getXOffset(), selectionMask_->getYOffset());
}

void LayerStack::CopyFromSelection(void* handle) {
  CopyFromSelection(GetLayerFromHandle(handle));
}

// ---- Queries and switches.

// 255 - s over the selection's bounds, shrunk to where it is not 0: the
// open part. A one-channel image does the work of the four-channel one the
// arithmetic needs no more than.
void LayerStack::GetSelectionMaskBnd(bool& empty, ilTile& bounds) {
  empty = true;
  const int nz = bounds.nz;
  bounds = ilTile(0, 0, 0, 0, 0, nz);
  if (!selectionMask_) return;
  selectionMask_->ShrinkBounds(false, false);
  const ilTile b = selectionMask_->getLayerBounds(true);
  if (b.nx < 1 || b.ny < 1) return;
  empty = false;
  ilSmartImage* open = li::MakeSmart(1, 0.0);
  open->ref();
  {
    li::TempPainter painter(open);
    painter->blend_func(BlendOne, BlendZero);
    li::UniformBytes full(255);
    painter->rect_fill(0, 0, b.nx, b.ny, full.bytes, nullptr);
    painter->blend_func(BlendZero, BlendOneMinusSrcAlpha);
    painter->rect_copy(0, 0, b.nx, b.ny, selectionMask_->GetImage(), b.x, b.y, nullptr, 1.0f, 1.0f);
  }
  open->ForceShrinkAttempt(false);
  bounds = Moved(open->getBounds(), b.x + selectionMask_->getXOffset(),
                 b.y + selectionMask_->getYOffset());
  open->unref();
}

void LayerStack::SetSelectionMaskActive(bool on) {
  SetLayerActive(layerCount_ + 1, on);
}

bool LayerStack::isSelectionMaskActive() const {
  return selectionMask_ && selectionMask_->isMaskActive();
}

// ---- Clearing by the selection.

// The handle only gates the call; the current layer is cleared. Each pixel
// becomes p x s / 256, s the selection over it, so paint survives only
// where the selection protects. A selection that protects everything
// (no pixels, fill 255) leaves the layer as it is; one that holds nothing
// and protects nothing clears the whole layer.
void LayerStack::ClearLayerImageBySelMask(void* handle) {
  Layer* gate = GetLayerFromHandle(handle);
  if (!gate || gate->isGeometry() || !current_) return;
  CheckProxyState();
  current_->ClearStencil();
  PrepareCurrentPainter();
  ClearLowOrderBitImage();
  ilImage* image = current_->GetImage();
  const ilTile b = li::Bounds(image);
  const bool active = selectionMask_ && selectionMask_->isMaskActive();
  const ilTile selBounds = active ? selectionMask_->getLayerBounds(true) : ilTile();
  const int selFill = active ? FillOf(selectionMask_->GetImage()) : 0;
  if (!active || (selBounds.empty() && selFill == 0)) {
    li::ClearBounds(image, currentPainter_);
  } else if (image && !(selBounds.empty() && selFill == 255)) {
    const ilTile u = BoundsUnion(BoundsUnion(selBounds, size_), b);
    li::TempPainter painter(image);
    painter->blend_func(BlendZero, BlendSrcAlpha);
    painter->rect_copy(u.x, u.y, u.nx, u.ny, selectionMask_->GetImage(),
                       u.x + current_->getXOffset() - selectionMask_->getXOffset(),
                       u.y + current_->getYOffset() - selectionMask_->getYOffset(), nullptr, 1.0f,
                       1.0f);
  }
  DamageRegion(size_);
  ForceUpdate();
}
