// LayerStack: the cached composites of the layers below and above the
// current layer, and the composition of the update region into a target
// (the image plane, or a fresh image for the whole canvas).
//
// Everything here is four-channel premultiplied. A composite is a paged
// image whose untouched pages stay solid, so a canvas-sized composite costs
// memory only where layers have content.
#include "brenmark/image_blender.h"
#include "brenmark/layer_stack.h"
#include "brenmark/masking_paint_ops.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "imagestore/page.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

#include <vector>

namespace li = brenmark::layer_images;
using brenmark::Moved;

namespace {

constexpr float kInvisible = 0.002f;

bool Visible(const Layer* l) {
  return l && l->isActive() && l->GetOpacity() > kInvisible;
}

bool FillIsZero(ilImage* image) {
  if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(image)) return smart->GetFillValue() == 0;
  const ilPixel fill = image->getFill();
  for (int c = 0; c < li::Channels(image); ++c) {
    if (fill.getElem(c) != 0.0) return false;
  }
  return true;
}

ilSmartImage* NewComposite(unsigned fill) {
  ilSmartImage* image = new ilSmartImage(ilPixel(ilUChar, 4, &fill));
  image->ref();
  return image;
}

// A composite to build into: the existing one with its fill reset and its
// content cleared to it (its pages go back to solid, their memory to the
// page cache for the rebuild), or a new one.
void Reset(ilSmartImage** image, unsigned fill) {
  if (!*image) {
    *image = NewComposite(fill);
    return;
  }
  const ilPixel pixel(ilUChar, 4, &fill);
  (*image)->setFill(pixel);
  const ilTile b = (*image)->getRealBounds();
  if (b.nx > 0 && b.ny > 0) (*image)->fillTileValue(b.x, b.y, b.nx, b.ny, pixel);
}

void Release(ilSmartImage** image) {
  if (*image) (*image)->unref();
  *image = nullptr;
}

// A finished composite: null when nothing went into it, else shrunk to what
// it holds.
void Finish(ilSmartImage** image, bool contributed) {
  if (!contributed)
    Release(image);
  else
    (*image)->ForceShrinkAttempt(false);
}

}  // namespace

// The blends of one composition, run cell by cell: every step of the list
// is applied to one 128 x 128 cell before the next cell starts, so the cell
// of each target stays in cache while the layers stream through it, instead
// of every layer walking the whole target in turn. Steps may write different
// targets; a step that reads another step's target must come after it.
//
// The sources and painters are held until the plan is done. Reading a paged
// image through page locks widens its bounds to whole pages; showing a
// layer must not change what the layer reports as its content, so the
// layers' images get their bounds back at the end.
class LayerStack::CompositionPlan {
 public:
  // The lists of the last plan done are taken over, so that a display
  // update costs no allocation; a plan made while another runs (a composite
  // built for it) starts with room for the usual plan (a base, the current
  // layer, the layers above).
  CompositionPlan() : lists_(std::move(Spare())) {
    Spare() = Lists{};
    lists_.steps.reserve(kUsualSteps);
    lists_.held.reserve(kUsualSteps);
    lists_.kept.reserve(kUsualSteps);
  }
  CompositionPlan(const CompositionPlan&) = delete;
  CompositionPlan& operator=(const CompositionPlan&) = delete;
  ~CompositionPlan() {
    for (PaintOps* painter : painters_) painter->unref();
    for (ilImage* image : held_) image->unref();
    for (const Kept& k : kept_) {
      if (k.image->getRealBounds() != k.bounds) k.image->SetBounds_(k.bounds, 1);
    }
    steps_.clear();
    painters_.clear();
    held_.clear();
    kept_.clear();
    scanned_.clear();
    if (Spare().steps.capacity() < steps_.capacity()) Spare() = std::move(lists_);
  }

  // A painter of the plan's own on `target`.
  PaintOps* PainterOn(ilImage* target) {
    auto* painter = new PaintOps(target, 1);
    painter->ref();
    painters_.push_back(painter);
    return painter;
  }

  // A geometry layer renders its shapes while it is read, which may change
  // its bounds for real; it is left alone.
  void KeepBounds(Layer* layer) {
    if (layer->isGeometry()) return;
    for (ilImage* image : {layer->GetImage(), layer->GetStencil()}) {
      if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(image))
        kept_.push_back({smart, smart->getRealBounds()});
    }
  }

  // Blends `source`, read at the destination minus (dx, dy), into `dest`.
  void Copy(PaintOps* painter, ilImage* source, int dx, int dy, const ilTile& dest, BlendFactor s,
            BlendFactor d) {
    if (!source || dest.nx <= 0 || dest.ny <= 0) return;
    source->ref();
    held_.push_back(source);
    steps_.push_back({painter, source, 0, dx, dy, dest, s, d});
  }

  // `image` (a composite the plan builds) has the pages of each cell
  // scanned as soon as the cell is done, while they are still in cache.
  void ScanAsBuilt(ilSmartImage* image) { scanned_.push_back(image); }

  void Fill(PaintOps* painter, unsigned colour, const ilTile& dest) {
    if (dest.nx <= 0 || dest.ny <= 0) return;
    steps_.push_back({painter, nullptr, colour, 0, 0, dest, BlendOne, BlendZero});
  }

  void Run(const ilTile& extent) {
    if (steps_.empty() || extent.nx <= 0 || extent.ny <= 0) return;
    const int x1 = extent.x + extent.nx, y1 = extent.y + extent.ny;
    for (int cy = FloorToCell(extent.y); cy < y1; cy += kCell) {
      for (int cx = FloorToCell(extent.x); cx < x1; cx += kCell) {
        const ilTile cell(ilTile(cx, cy, 0, kCell, kCell, 1), extent);
        for (std::size_t i = 0; i < steps_.size(); ++i) {
          Step& step = steps_[i];
          const ilTile t(cell, step.dest);
          if (t.nx <= 0 || t.ny <= 0) continue;
          if (FillUnderOpaque(i, t)) {
            // The next step covers this fill with opaque pixels: it is
            // skipped, and the copy over it becomes a plain copy.
            Step& next = steps_[++i];
            next.painter->blend_func(BlendOne, BlendZero);
            next.painter->rect_copy(t.x, t.y, t.nx, t.ny, next.source, t.x - next.dx, t.y - next.dy,
                                    nullptr, 1.0f, 1.0f);
            continue;
          }
          step.painter->blend_func(step.srcFactor, step.dstFactor);
          if (step.source) {
            step.painter->rect_copy(t.x, t.y, t.nx, t.ny, step.source, t.x - step.dx, t.y - step.dy,
                                    nullptr, 1.0f, 1.0f);
          } else {
            step.painter->rect_fill(t.x, t.y, t.nx, t.ny, &step.colour, nullptr);
          }
        }
        for (ilSmartImage* image : scanned_) image->ScanPagesIn(cell);
      }
    }
    for (Step& step : steps_) step.painter->blend_func(BlendOne, BlendZero);
  }

 private:
  static constexpr int kCell = 128;
  static constexpr std::size_t kUsualSteps = 4;
  static int FloorToCell(int v) {
    return v >= 0 ? v / kCell * kCell : -((-v + kCell - 1) / kCell) * kCell;
  }

  // Whether step i fills `t` (its part of a cell) and step i + 1 draws
  // over that same part with the same painter from four-channel pixels that
  // are all opaque. Over an opaque pixel the destination does not show
  // (out = s + d x 0), so the fill would be written only to be overwritten:
  // skipping it saves a pass over the target, which for a view bigger than
  // the cache is its slowest part. The alpha scan of a page is kept with
  // the page until it is written again, so the test costs a read of the
  // page the copy reads next, and nothing on the next update.
  bool FillUnderOpaque(std::size_t i, const ilTile& t) const {
    if (i + 1 >= steps_.size()) return false;
    const Step& fill = steps_[i];
    const Step& over = steps_[i + 1];
    if (fill.source || fill.srcFactor != BlendOne || fill.dstFactor != BlendZero) return false;
    if (!over.source || over.painter != fill.painter || over.srcFactor != BlendOne ||
        over.dstFactor != BlendOneMinusSrcAlpha) {
      return false;
    }
    if (ilTile(t, over.dest) != t) return false;
    ilSmartImage* smart = ilSmartImage::As_ilSmartImage(over.source);
    if (!smart || li::Channels(smart) != 4) return false;
    return smart->TestTransparency(Moved(t, -over.dx, -over.dy), 1) == kTransOpaque;
  }

  struct Step {
    PaintOps* painter;
    ilImage* source;  // null: a fill with `colour`
    unsigned colour;
    int dx, dy;
    ilTile dest;
    BlendFactor srcFactor, dstFactor;
  };
  struct Kept {
    ilSmartImage* image;
    ilTile bounds;
  };
  struct Lists {
    std::vector<Step> steps;
    std::vector<PaintOps*> painters;
    std::vector<ilImage*> held;
    std::vector<Kept> kept;
    std::vector<ilSmartImage*> scanned;
  };
  static Lists& Spare() {
    static Lists spare;
    return spare;
  }
  Lists lists_;
  std::vector<Step>& steps_ = lists_.steps;
  std::vector<PaintOps*>& painters_ = lists_.painters;
  std::vector<ilImage*>& held_ = lists_.held;
  std::vector<Kept>& kept_ = lists_.kept;
  std::vector<ilSmartImage*>& scanned_ = lists_.scanned;
};

namespace {

// A layer composited over the canvas rectangle: a layer whose fill is
// transparent contributes its bounds only, any other the whole canvas.
}  // namespace

void LayerStack::Contribute(CompositionPlan& plan, PaintOps* painter, Layer* layer,
                            const ilTile& canvasRect, bool ontoClear) {
  ilImage* image = layer->GetImage();
  if (!image) return;
  const int ox = layer->getXOffset(), oy = layer->getYOffset();
  const ilTile canvas = Moved(canvasRect, -ox, -oy);
  ilTile area = canvas;
  if (FillIsZero(image)) area = ilTile(layer->getLayerBounds(true), canvas);
  if (area.nx > 0 && area.ny > 0) {
    area.z = 0;
    area.nz = 1;
    plan.KeepBounds(layer);
    ilSIDImage* source = layer->GetStencilledImage(&area, false, true);
    // Over a transparent destination the source comes through unchanged,
    // so a plain copy gives the same pixels in one read less.
    plan.Copy(painter, source, ox, oy, Moved(area, ox, oy), BlendOne,
              ontoClear ? BlendZero : BlendOneMinusSrcAlpha);
  }
  if (layer->isGeometry()) layer->ClearGeometryImgIsChanged();
}

bool LayerStack::IsTransparentBackdrop() const {
  return inFront_ && Brenmark.CB()->WantsTransparentBackdrop(ViewOf());
}

unsigned LayerStack::BaseColor() const {
  if (IsTransparentBackdrop()) return 0;
  unsigned packed = 0;
  background_.Get(packed);
  return packed;
}

// The layers below the current one over the base colour. False (and a null
// composite) when none contributes.
bool LayerStack::PlanBelow(ilSmartImage** below, CompositionPlan& plan) {
  if (!current_ || current_ == bottom_) {
    Release(below);
    return false;
  }
  unsigned base = BaseColor();
  Reset(below, base);
  PaintOps* painter = plan.PainterOn(*below);
  plan.ScanAsBuilt(*below);
  painter->blend_func(BlendOne, BlendZero);
  if (!size_.empty()) painter->rect_fill(size_.x, size_.y, size_.nx, size_.ny, &base, nullptr);
  bool contributed = false;
  for (Layer* l = bottom_; l && l != current_; l = l->GetNext()) {
    if (l->isGeometry()) l->ClearGeometryImgIsChanged();
    if (!Visible(l) || l->isMask()) continue;
    Contribute(plan, painter, l, size_, base == 0 && !contributed);
    contributed = true;
  }
  return contributed;
}

void LayerStack::MakeBelow(ilSmartImage** below) {
  bool contributed = false;
  {
    CompositionPlan plan;
    contributed = PlanBelow(below, plan);
    plan.Run(size_);
  }
  if (*below) Finish(below, contributed);
}

void LayerStack::UpdateMaskCompositeActive() {
  maskCompositeActive_ = selectionMask_ && selectionMask_->isMaskActive() &&
                         !selectionMask_->getLayerBounds(true).empty() &&
                         current_ != selectionMask_;
}

// Masks directly above the current layer join only when asked for, only up
// to the first layer that is not a mask, never over a current mask, and not
// while the selection protects. Needs a current layer.
bool LayerStack::PlanAbove(ilSmartImage** above, bool includeMasks, CompositionPlan& plan) {
  Reset(above, 0);
  PaintOps* painter = plan.PainterOn(*above);
  plan.ScanAsBuilt(*above);
  bool contributed = false;
  bool masksAllowed = includeMasks;
  const bool currentMayShowMasks = !current_->isMask() && (Visible(current_) || current_->isMask());
  Layer* first = current_ == selectionMask_ ? nullptr : current_->GetNext();
  for (Layer* l = first; l; l = l->GetNext()) {
    if (!l->isMask() || maskCompositeActive_) masksAllowed = false;
    if (!Visible(l)) continue;
    if (l->isMask() && !(masksAllowed && currentMayShowMasks)) continue;
    Contribute(plan, painter, l, size_, !contributed);
    contributed = true;
  }
  if (includeMasks && maskCompositeActive_ && Visible(selectionMask_) &&
      current_ != selectionMask_) {
    Contribute(plan, painter, selectionMask_, size_, !contributed);
    contributed = true;
  }
  return contributed;
}

void LayerStack::MakeAbove(ilSmartImage** above, bool includeMasks) {
  UpdateMaskCompositeActive();
  if (!current_) {
    RebuildMaskComposite();
    return;
  }
  bool contributed = false;
  {
    CompositionPlan plan;
    contributed = PlanAbove(above, includeMasks, plan);
    plan.Run(size_);
  }
  Finish(above, contributed);
  if (above == &aboveComposite_) aboveEmptyFor_ = contributed ? nullptr : current_;
  RebuildMaskComposite();
}

bool LayerStack::RedrawAllAtOnce() {
  if (displayUpdate_ || !imagePlanePainter_ || !current_ || planeOffsetX_ != 0 ||
      planeOffsetY_ != 0 || Brenmark.InBrushStroke() || Brenmark.InPreview()) {
    return false;
  }
  UpdateMaskCompositeActive();
  bool below = false, above = false;
  {
    CompositionPlan plan;
    below = PlanBelow(&belowComposite_, plan);
    above = PlanAbove(&aboveComposite_, true, plan);
    const ilTile region = GetUpdateRegion();
    MatchUpdateBuffersToScreen();
    // Each cell of the composites is built before the same cell of the
    // view reads it (the plane and the canvas share coordinates).
    PlanCompose(region, above ? aboveComposite_ : nullptr, below ? belowComposite_ : nullptr, true,
                imagePlanePainter_, plan);
    plan.Run(size_);
  }
  if (belowComposite_) Finish(&belowComposite_, below);
  Finish(&aboveComposite_, above);
  aboveEmptyFor_ = above ? nullptr : current_;
  RebuildMaskComposite();
  Brenmark.CB()->ImagePlaneRefreshed(ViewOf());
  ResetUpdateRegion();
  return true;
}

void LayerStack::RebuildBelowComposite() {
  MakeBelow(&belowComposite_);
}

void LayerStack::RebuildAboveComposite() {
  MakeAbove(&aboveComposite_, true);
}

void LayerStack::ReleaseCachedImages() {
  Release(&belowComposite_);
  Release(&aboveComposite_);
  aboveEmptyFor_ = nullptr;
}

// ---- Composition of the update region.

void LayerStack::ComposeInto(ilSmartImage** above, ilSmartImage** below, bool includeMasks,
                             PaintOps* target) {
  const ilTile region = GetUpdateRegion();
  if (region.nx <= 0 || region.ny <= 0 || !current_ || !target) return;
  MatchUpdateBuffersToScreen();
  // A cached above composite that was built and came out empty is not
  // missing: building it again would rebuild the mask composite and replace
  // the masking painter a caller may still hold.
  const bool knownEmpty = above == &aboveComposite_ && aboveEmptyFor_ == current_;
  if (!Brenmark.InBrushStroke() && !Brenmark.InPreview()) {
    if (!*above && !knownEmpty) MakeAbove(above, includeMasks);
    if (!*below) MakeBelow(below);
  }
  if (*above) (*above)->EnableForcedBounds(0);
  if (*below) (*below)->EnableForcedBounds(0);
  CompositionPlan plan;
  const ilTile dest = PlanCompose(region, *above, *below, includeMasks, target, plan);
  plan.Run(dest);
}

// The update region composed into `target`: the below composite (or the
// base colour), the current layer over it, the above composite over that.
// Answers the destination rectangle.
ilTile LayerStack::PlanCompose(const ilTile& region, ilSmartImage* above, ilSmartImage* below,
                               bool includeMasks, PaintOps* target, CompositionPlan& plan) {
  const ilTile dest = Moved(region, planeOffsetX_, planeOffsetY_);
  const bool transparent = IsTransparentBackdrop();
  if (transparent) plan.Fill(target, 0, dest);
  if (!below) {
    unsigned base = 0;
    if (!transparent) background_.Get(base);
    plan.Fill(target, base, dest);
  } else {
    plan.Copy(target, below, planeOffsetX_, planeOffsetY_, dest, BlendOne, BlendZero);
  }
  if (Visible(current_)) {
    const int ox = current_->getXOffset(), oy = current_->getYOffset();
    ilTile area = Moved(region, -ox, -oy);
    area.z = 0;
    area.nz = 1;
    plan.KeepBounds(current_);
    plan.Copy(target, CurrentLayerSource(area, includeMasks), ox + planeOffsetX_,
              oy + planeOffsetY_, dest, BlendOne, BlendOneMinusSrcAlpha);
  }
  if (above)
    plan.Copy(target, above, planeOffsetX_, planeOffsetY_, dest, BlendOne, BlendOneMinusSrcAlpha);
  return dest;
}

// The current layer as it composites over `area` (layer coordinates). While
// a protected paint operation is running, what the masks let through is
// shown instead of the layer image the painter writes behind them.
ilImage* LayerStack::CurrentLayerSource(const ilTile& area, bool includeMasks) {
  ilSIDImage* source = nullptr;
  if (includeMasks && maskComposite_ && PaintOps::InOperation() && maskingPainter_ &&
      currentPainter_ == maskingPainter_) {
    ilSIDImage* masked = maskingPainter_->GetMaskedTargetImg(area);
    if (masked && stencilTarget_) {
      source = current_->GetStencilledImage(const_cast<ilTile*>(&area), masked);
    } else if (masked) {
      if (!blendImage_) blendImage_ = NewComposite(0);
      li::TempPainter blend(blendImage_);
      blend->blend_func(BlendOne, BlendZero);
      if (li::Channels(masked) == 1) {
        unsigned colour = 0;
        current_->GetMaskColor().Get(colour);
        blend->rect_fill(area.x, area.y, area.nx, area.ny, &colour, nullptr);
        blend->blend_func(BlendZero, BlendSrcAlpha);
      }
      blend->rect_copy(area.x, area.y, area.nx, area.ny, masked, area.x, area.y, nullptr, 1.0f,
                       1.0f);
      ilTile a = area;
      current_->DoStencil(&a, blend.get());
      source = blendImage_;
    }
  }
  if (!source) source = current_->GetStencilledImage(const_cast<ilTile*>(&area), false, true);
  if (current_->isGeometry()) current_->ClearGeometryImgIsChanged();
  return source;
}

void LayerStack::UpdateImagePlaneBits() {
  const ilTile region = GetUpdateRegion();
  if (region.nx <= 0 || region.ny <= 0 || !current_ || !imagePlanePainter_) return;
  ComposeInto(&aboveComposite_, &belowComposite_, true, imagePlanePainter_);
  Brenmark.CB()->ImagePlaneRefreshed(ViewOf());
}

// Fresh composites for the whole canvas, composed without a transparent
// backdrop into an image of the view's size; the cached ones stay as they
// are.
ilQVMemoryImg* LayerStack::GetUpdateImagePlaneBits(bool includeMasks) {
  PrepareCurrentPainter();
  const bool wasInFront = inFront_;
  inFront_ = false;
  ilSmartImage* below = nullptr;
  ilSmartImage* above = nullptr;
  MakeBelow(&below);
  MakeAbove(&above, includeMasks);
  DamageRegion(size_);
  int w = 0, h = 0;
  Brenmark.CB()->GetViewSize(ViewOf(), &w, &h);
  auto* image = new ilQVMemoryImg(ilSize(w > 0 ? w : 0, h > 0 ? h : 0, 4), ilUChar, ilInterleaved);
  image->ref();
  if (w > 0 && h > 0) {
    PaintOps* painter = new PaintOps(image, 1);
    painter->ref();
    ComposeInto(&above, &below, includeMasks, painter);
    painter->unref();
  }
  inFront_ = wasInFront;
  Release(&below);
  Release(&above);
  DamageRegion(size_);
  ForceUpdate();
  return image;
}
