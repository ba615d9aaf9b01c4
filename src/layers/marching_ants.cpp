// LayerStack: the marching ants. A one-shot application timer (members 8
// and 9) drives animation steps; each step brings the screen-space outline
// of the selection up to date (only when the selection, the view transform
// or the current stack changed) and paints the crawling dashes along it.
#include <cstdint>
#include <cstring>

#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/smart_image.h"
#include "layers/layer_images.h"
#include "layers/marching_ants_p.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;
using brenmark::Moved;

namespace {

constexpr int kAntsInterval = 100;
constexpr unsigned char kOutlineThreshold = 128;

void Release(ilQVMemoryImg*& image) {
  if (image) image->unref();
  image = nullptr;
}

// A new image of its own memory, every byte 0.
ilQVMemoryImg* Blank(int w, int h, int channels) {
  auto* image = new ilQVMemoryImg(ilSize(w, h, channels), ilUChar);
  image->ref();
  if (void* p = image->getDataPtr())
    std::memset(p, 0, static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * channels);
  return image;
}

void Clear(ilQVMemoryImg* image) {
  if (!image || !image->getDataPtr()) return;
  std::memset(
      image->getDataPtr(), 0,
      static_cast<std::size_t>(image->getXsize()) * image->getYsize() * image->getPixelBytes());
}

}  // namespace

LayerStack::AntsState::~AntsState() {
  Release(outline);
  Release(ants);
}

void LayerStack::DeleteAntsState(AntsState* state) {
  delete state;
}

LayerStack::AntsState& LayerStack::Ants() {
  if (!ants_) ants_.reset(new AntsState);
  return *ants_;
}

ilTile brenmark::ants::Outline(ilQVMemoryImg& image, unsigned char threshold, ilTile* clip) {
  ilTile bounds(0, 0, 0, 0, 0, 1);
  image.MarchingAntsPreProcess(threshold, clip, &bounds);
  if (bounds.nx <= 0 || bounds.ny <= 0) bounds = ilTile(0, 0, 0, 1, 1, 1);
  return bounds;
}

std::uint32_t brenmark::ants::Signature(ilImage* selection) {
  ilSIDImage* sid = ilSIDImage::asSidImage(selection);
  if (!sid) return 0;
  const ilTile b = li::Bounds(selection);
  return sid->ResourceID() ^ static_cast<std::uint32_t>(b.x) ^ static_cast<std::uint32_t>(b.y) ^
         static_cast<std::uint32_t>(b.nx) ^ static_cast<std::uint32_t>(b.ny);
}

// ---- Timer.

void LayerStack::StartMATimer() {
  if (drawStyle_ != kSMDrawMarchingAnts || antsTimer_ != 0 || !selectionMask_) return;
  antsTimer_ = Brenmark.CB()->StartTimer(kAntsInterval, &LayerStack::AntsTimerProc, this);
}

void LayerStack::StopMATimer() {
  if (antsTimer_ == 0) return;
  Brenmark.CB()->StopTimer(antsTimer_);
  antsTimer_ = 0;
}

void LayerStack::TakeOverMATimer(LayerStack* source) {
  if (!source || source->antsTimer_ == 0) return;
  source->StopMATimer();
  StartMATimer();
}

// One-shot: stopped on entry and armed again on the way out, so a step that
// takes longer than the interval never queues another behind it.
void LayerStack::AntsTimerProc(int, void* context) {
  auto* stack = static_cast<LayerStack*>(context);
  stack->StopMATimer();
  if (Brenmark.GetCurrentLayerStackPtr_Private_() == stack && !Brenmark.InBrushStroke() &&
      !Brenmark.CB()->HoldMarchingAnts()) {
    stack->DoMarchingAntsImg();
  }
  stack->StartMATimer();
}

// ---- Style.

void LayerStack::SetSelectionMaskDrawStyle(SMDrawStyle style) {
  if (style == drawStyle_) return;
  drawStyle_ = style;
  if (style == kSMDrawMarchingAnts) {
    StartMATimer();
  } else {
    StopMATimer();
    if (ants_) Clear(ants_->ants);
  }
  DamageRegion(size_);
  RebuildAboveComposite();
  UpdateImagePlaneBits();
  Brenmark.CB()->LayersChanged();
}

// ---- Steps.

void LayerStack::DoMarchingAntsImg() {
  if (drawStyle_ != kSMDrawMarchingAnts || Brenmark.InBrushStroke()) return;
  const LayerStackTransform view(reinterpret_cast<void*>(static_cast<std::intptr_t>(ViewOf())));
  if (!(view == transform_)) SetTransform(view);
  ReProcessSelectionMask();
  AntsState& a = Ants();
  if (a.outlineBounds.nx > 0 && a.outlineBounds.ny > 0 && !isSelectionMaskCurrent() && a.ants &&
      a.outline) {
    a.ants->MarchingAntsApply(static_cast<const unsigned char*>(a.outline->getDataPtr()), a.phase,
                              &a.outlineBounds);
    --a.phase;
    Brenmark.CB()->MarchingAntsChanged(window_);
  }
}

void LayerStack::ReProcessSelectionMask() {
  AntsState& a = Ants();
  if (isSelectionMaskCurrent() || !selectionMask_ || selectionMask_->getLayerBounds(true).empty()) {
    a.outlineBounds = ilTile(0, 0, 0, 0, 0, 1);
    return;
  }
  BrenmarkCallbacks* cb = Brenmark.CB();
  int w = 0, h = 0;
  cb->GetScreenSize(&w, &h);
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (!a.ants) a.ants = Blank(w, h, 4);
  if (!a.outline) a.outline = Blank(w, h, 1);
  ilImage* sel = selectionMask_->GetImage();
  const std::uint32_t signature = brenmark::ants::Signature(sel);
  const int current = Brenmark.GetCurrentLayerStack();
  if (!selectionChanged_ && signature == a.signature && transform_ == a.transform &&
      current == a.stack) {
    return;
  }
  selectionChanged_ = false;
  MatchUpdateBuffersToScreen();
  if (a.outline->getXsize() != w || a.outline->getYsize() != h) {
    Release(a.outline);
    Release(a.ants);
    a.outline = Blank(w, h, 1);
    a.ants = Blank(w, h, 4);
  }
  const int fill = static_cast<int>(sel->getFill().getElem(0));
  const std::size_t screenPixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  auto* outline = static_cast<unsigned char*>(a.outline->getDataPtr());
  if (outline) std::memset(outline, fill, screenPixels);
  Clear(a.ants);

  const ilTile canvas = Moved(selectionMask_->getLayerBounds(true), selectionMask_->getXOffset(),
                              selectionMask_->getYOffset());
  if (outline && !canvas.empty() && !cb->HoldMarchingAnts() && imagePlane_) {
    // The part of the selection the image plane shows, in plane pixels,
    // drawn to the screen as the update image draws the plane.
    const int pw = imagePlane_->getXsize(), ph = imagePlane_->getYsize();
    const ilTile r(Moved(canvas, planeOffsetX_, planeOffsetY_), ilTile(0, 0, 0, pw, ph, 1));
    if (r.nx > 0 && r.ny > 0) {
      auto* part = new ilQVMemoryImg(ilSize(pw, ph, 1), ilUChar);
      part->ref();
      std::memset(part->getDataPtr(), fill, static_cast<std::size_t>(pw) * ph);
      part->copyTile(r.x, r.y, r.nx, r.ny, sel, r.x - planeOffsetX_ - selectionMask_->getXOffset(),
                     r.y - planeOffsetY_ - selectionMask_->getYOffset());
      int magnify = 0, minify = 0;
      Brenmark.GetScaleFilter(magnify, minify);
      part->SetMagnifyScaleMode(static_cast<unsigned>(magnify));
      part->SetMinifyScaleMode(static_cast<unsigned>(minify));
      part->SetScaleAndRotation(transform_.GetXScale(), transform_.GetYScale(),
                                transform_.GetDegree(), transform_.GetXCenter(),
                                transform_.GetYCenter());
      if (part->IsScaleOnly()) {
        part->SetOffset(transform_.GetXOffset(), transform_.GetYOffset());
        part->getScaleTile(r.x, r.y, r.nx, r.ny, outline, w, h);
      } else {
        const float ox = transform_.GetXOffset() + transform_.GetXScaleOffset();
        const float oy = transform_.GetYOffset() + transform_.GetYScaleOffset();
        part->getCanvasRotateScaleTile(r.x, r.y, r.nx, r.ny, outline, w, h,
                                       static_cast<int>(ox < 0 ? ox - 0.5f : ox + 0.5f),
                                       static_cast<int>(oy < 0 ? oy - 0.5f : oy + 0.5f), false);
      }
      part->unref();
    }
  }
  a.outlineBounds = ilTile(0, 0, 0, 0, 0, 1);
  a.outlineBounds = brenmark::ants::Outline(*a.outline, kOutlineThreshold, nullptr);
  a.signature = signature;
  a.transform = transform_;
  a.stack = current;
}

void LayerStack::DrawMarchingAnts() {
  if (drawStyle_ != kSMDrawMarchingAnts || Brenmark.InBrushStroke() || !ants_) return;
  const LayerStackTransform view(reinterpret_cast<void*>(static_cast<std::intptr_t>(ViewOf())));
  const ilTile& b = ants_->outlineBounds;
  if (!(view == transform_) || b.nx <= 0 || b.ny <= 0 || isSelectionMaskCurrent()) return;
  Brenmark.CB()->DrawMarchingAnts(window_, 1);
}

// ---- What the application reads.

ilTile LayerStack::GetSelMaskBounds() const {
  if (!ants_ || !ants_->ants) return ilTile(0, 0, 0, 0, 0, 1);
  return ants_->outlineBounds;
}

ilQVMemoryImg* LayerStack::GetSelMaskUpdateImage() const {
  return ants_ ? ants_->ants : nullptr;
}

ilQVMemoryImg* LayerStack::GetSelMaskImg(int& x, int& y) const {
  x = y = 0;
  return GetSelMaskUpdateImage();
}

ilQVMemoryImg* LayerStack::GetSelMaskOutline() const {
  return ants_ ? ants_->outline : nullptr;
}

unsigned LayerStack::GetAntsPhase() const {
  return ants_ ? ants_->phase : 0x7FFFFFFFu;
}
