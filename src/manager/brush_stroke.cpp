// PaintManager: the brush stroke state machine (begin, points, end), the
// single-dab brush preview, and the stroke idle notice.
#include <cmath>
#include <vector>

#include "brenmark/brush_profile.h"
#include "brenmark/generic_function.h"
#include "brenmark/image_paint_obj.h"
#include "brenmark/interpolate.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/stamp.h"
#include "brenmark/stroke.h"
#include "manager/command_undo.h"
#include "manager/debug_selector.h"
#include "manager/undo_switch.h"
#include "platform/platform.h"

namespace {

constexpr int kStrokeMarkerSelector = 8001;
constexpr int kIdleInterval = 1030;
// Forced display update once the pending region exceeds this.
constexpr int kMaxPendingSide = 512;
constexpr long kMaxPendingArea = 0x40000;

int g_idleTimer = -1;
int g_markerX = -1;
int g_markerY = -1;
int g_pointCountdown = 5;

void StopIdleTimer() {
  if (g_idleTimer == -1) return;
  if (Brenmark.CB()->StopTimer) Brenmark.CB()->StopTimer(g_idleTimer);
  g_idleTimer = -1;
}

void OnStrokeIdle(int, void*) {
  StopIdleTimer();
  if (Brenmark.CB()->StrokeIdle) Brenmark.CB()->StrokeIdle();
}

void DrawMarker(PaintOps* painter) {
  if (!painter || g_markerX == -1) return;
  std::uint32_t red = 0xff0000ffu;
  painter->rect_fill(g_markerX - 1, g_markerY - 1, 3, 3, &red, nullptr);
}

// Radius at least one pixel, and radius x aspect too.
void ClampDab(float& radius, float& aspect) {
  if (!(radius >= 1.0f)) radius = 1.0f;
  if (aspect < 1.0f && aspect < 1.0f / radius) aspect = 1.0f / radius;
}

// The application's curve copied (member 52, else 46) with its points
// converted to current-layer coordinates; the caller's curve is untouched,
// so a curve used for several strokes is converted once per stroke.
ag_curve* LayerCopyOfCurve(ag_curve* curve) {
  const BrenmarkCallbacks* cb = Brenmark.CB();
  ag_curve* copy =
      cb->CopyCurve ? cb->CopyCurve(curve, 0) : (cb->CloneCurve ? cb->CloneCurve(curve) : nullptr);
  if (!copy) return nullptr;
  ag_spline* s = copy->splines;
  for (int i = 0; s && i < copy->splineCount; ++i, s = s->next) {
    for (int k = 0; k < s->pointCount; ++k) {
      Brenmark.ScreenToCurrentLayerCoords(s->points[2 * k], s->points[2 * k + 1], -2, -2);
    }
  }
  return copy;
}

}  // namespace

// Kind 0 straight, 1 smoothed, 2 along the curve (smoothed without one);
// an unknown kind paints straight rather than with no path at all.
Interpolate2D* PaintManager::NewStrokeInterpolator() {
  const int kind = strokeParameters_.interpolation;
  if (kind == 2 && strokeParameters_.curve) {
    ag_curve* copy = LayerCopyOfCurve(strokeParameters_.curve);
    if (copy) {
      Interpolate2D* interp = new CurveInterpolate2D(copy);
      if (callbacks_.ReleaseCurve) callbacks_.ReleaseCurve(&copy);
      return interp;
    }
  }
  if (kind == 1 || kind == 2) {
    return new SmoothInterpolate2D(SmoothInterpolate2D::kDefaultA, SmoothInterpolate2D::kDefaultB,
                                   SmoothInterpolate2D::kDefaultSteps);
  }
  return new FltInterpolate2D(1);
}

// Smear and clone paint from the layer itself (clone displaced by the
// rounded offset), the blur and sharpen brushes from the processed image,
// every other brush its colour.
void PaintManager::ChooseStrokeSource(PaintOps* painter) {
  Stamp* stamp = GetStamp();
  const BrushParameters& b = brushParameters_;
  if ((b.smear || b.clone) && painter->target_img()) {
    stamp->SetColorSource(new ImagePaintObj("Layer", painter->target_img()));
    stamp->SetKind(Stamp::kImageKind);
    if (b.smear) {
      stamp->SetOffset(0, 0);
    } else {
      stamp->SetOffset(static_cast<int>(b.cloneOffsetX + 0.5f),
                       static_cast<int>(b.cloneOffsetY + 0.5f));
    }
    StampStrokeImpl::SetSmear(b.smear);
    return;
  }
  StampStrokeImpl::SetSmear(false);
  stamp->SetOffset(0, 0);
  if (processedLayerImage_) {
    stamp->SetColorSource(new ImagePaintObj("Processed", processedLayerImage_));
    stamp->SetKind(Stamp::kImageKind);
    return;
  }
  SetColor(b.color, true);
  stamp->SetKind(Stamp::kColorKind);
}

void PaintManager::BeginBrushStroke() {
  LayerStack* stack = currentLayerStack_;
  if (!stack || inBrushStroke_) return;
  if (stack->InProxy()) stack->EndProxy();
  brenmark::platform::RaiseProcessPriority();
  StopIdleTimer();
  g_markerX = g_markerY = -1;
  stack->TargetStencil(paintApplication_ == kApplyStencilAdd ||
                       paintApplication_ == kApplyStencilSubtract);
  PaintOps* painter = stack->GetCurrentLayerPainter();
  stack->GetCanvasBounds();
  UpdateUse16Bit();
  if (!painter) return;
  Stamp* stamp = GetStamp();
  painter->set_stamp(nullptr);
  painter->set_stamp(stamp);
  if (brenmark::UndoEnabled()) {
    strokeUndo_ = new brenmark::CommandUndo(*this, brenmark::UndoRecordKind::kLayerStroke,
                                            currentLayerStackHandle_, stack->GetCurrentLayer());
  }
  painter = stack->GetCurrentLayerPainter();
  ChooseStrokeSource(painter);
  Interpolate2D* interp = NewStrokeInterpolator();
  // Every stroke starts from the brush's own dab, not from where the last
  // stroke or preview left the stamp.
  if (brushParameters_.radius2 > 0.0f) stamp->SetRadius(brushParameters_.radius2);
  stamp->SetAspect(1.0f);
  stamp->SetAngle(0.0f);
  stamp->SetOpacity(strokeParameters_.initialOpacity);
  painter->reset_tile_modified();
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  stroke_ = new Stroke();
  stroke_->SetLocks(false, false, false, false);
  if (!(strokeParameters_.spacing >= 0.1f)) strokeParameters_.spacing = 0.1f;
  StampStrokeImpl::SetStrokeSettings(strokeParameters_.spacingJitter, strokeParameters_.angleJitter,
                                     strokeParameters_.followDirection);
  const double spacing = strokeParameters_.spacing * GetSpacingBias(brushParameters_.radius2);
  if (strokeParameters_.timedDabs) {
    auto* timed = new TimerStampStrokeImpl(stroke_, painter, stamp, interp, spacing);
    timed->SetDabInterval(strokeParameters_.timedDabInterval);
    strokePainter_ = timed;
  } else {
    strokePainter_ = new StampStrokeImpl(stroke_, painter, stamp, interp, spacing);
  }
  painter->keep_read_valid(1);
  if (painter->is_read_valid()) strokePainter_->PaintStep();
  stroke_->MarkStart();
  painter->BeginStroke();
  // Update interval: the radius clamped to [5, 96] mapped onto [10, 100],
  // rounded, times the factor.
  float r = strokeParameters_.updateRadius;
  if (!(r >= MinUpdateIntRadius)) r = MinUpdateIntRadius;
  if (r > MaxUpdateIntRadius) r = MaxUpdateIntRadius;
  const float mapped = MinUpdateInterval + (r - MinUpdateIntRadius) /
                                               (MaxUpdateIntRadius - MinUpdateIntRadius) *
                                               (MaxUpdateInterval - MinUpdateInterval);
  const int interval = static_cast<int>(std::lround(mapped) * strokeParameters_.updateFactor);
  stack->BeginTimerBasedUpdate(interval);
  stack->CheckTimerBasedUpdate();
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  painter->SetMarkerBlend(strokeParameters_.markerBlend);
  inBrushStroke_ = true;
}

void PaintManager::AddStrokePoint(float x, float y, float radius, float opacity, float aspect,
                                  float angle, bool, bool) {
  LayerStack* stack = currentLayerStack_;
  if (!inBrushStroke_ || !stack) return;
  ClampDab(radius, aspect);
  ScreenToCurrentLayerCoords(x, y, -2, -2);
  GetStamp()->SetOpacity(opacity);
  stroke_->AddPoint(x, y, radius, opacity, aspect, angle);
  strokePainter_->PaintStep();
  const ilTile& u = stack->GetUpdateRegion();
  if (static_cast<long>(u.nx) * u.ny > kMaxPendingArea || u.nx > kMaxPendingSide ||
      u.ny > kMaxPendingSide) {
    stack->ForceUpdate();
  }
  if (brenmark::DebugSelectorIs(kStrokeMarkerSelector)) {
    DrawMarker(stack->GetCurrentLayerPainter());
    g_markerX = static_cast<int>(x);
    g_markerY = static_cast<int>(y);
  }
  if (--g_pointCountdown <= 0) {
    stack->CheckTimerBasedUpdate();
    g_pointCountdown = CheckInterval;
  }
}

void PaintManager::EndBrushStroke() {
  LayerStack* stack = currentLayerStack_;
  if (!inBrushStroke_) return;
  // The painter the stroke began with; deleting a stack ends its stroke
  // first, so it is alive.
  PaintOps* painter = strokePainter_->GetPainter();
  if (brenmark::DebugSelectorIs(kStrokeMarkerSelector)) DrawMarker(painter);
  g_markerX = g_markerY = -1;
  stroke_->MarkEnd();
  if (painter && painter->is_read_valid()) strokePainter_->PaintStep();
  if (painter) painter->EndOperation();
  if (stack) stack->CheckTimerBasedUpdate();
  delete strokePainter_;
  strokePainter_ = nullptr;
  if (painter) {
    painter->EndStroke();
    painter->keep_read_valid(0);
    painter->blend_func(BlendOne, BlendZero);
  }
  if (stack) {
    stack->EndTimerBasedUpdate();
    stack->ForceUpdate();
  }
  if (strokeUndo_) {
    strokeUndo_->Commit();
    delete strokeUndo_;
    strokeUndo_ = nullptr;
  }
  delete stroke_;
  stroke_ = nullptr;
  StopIdleTimer();
  if (callbacks_.StartTimer)
    g_idleTimer = callbacks_.StartTimer(kIdleInterval, &OnStrokeIdle, nullptr);
  inBrushStroke_ = false;
  if (stack) stack->TargetStencil(false);
}

// One dab shown where the brush would paint. The dab is painted into the
// layer, shown, and the pixels under it put back, so the view shows it
// until the region is redrawn while the layer keeps its pixels. Without a
// current painter, or during a stroke (whose pending damage the preview
// would take over), nothing happens.
void PaintManager::BrushPreviewPoint(float x, float y, float radius, float opacity, float aspect,
                                     float angle) {
  LayerStack* stack = currentLayerStack_;
  if (brushParameters_.smear || inBrushStroke_ || !stack) return;
  inPreview_ = true;
  ClampDab(radius, aspect);
  if (stack->InProxy()) stack->EndProxy();
  stack->TargetStencil(paintApplication_ == kApplyStencilAdd ||
                       paintApplication_ == kApplyStencilSubtract);
  PaintOps* painter = stack->GetCurrentLayerPainter();
  ilImage* target = painter ? painter->target_img() : nullptr;
  if (!target) {
    stack->TargetStencil(false);
    inPreview_ = false;
    return;
  }
  ScreenToCurrentLayerCoords(x, y, -2, -2);
  painter->set_stamp(nullptr);
  Stamp* stamp = GetStamp();
  const float size = (brushParameters_.radius1 + brushParameters_.radius2) / 2.0f;
  if (GenericFunction* f = BrushProfile::NewProfileFunction(brushParameters_.profile.index, size)) {
    Resource::ref(f);
    stamp->SetProfile(f);
    Resource::unref(f);
  }
  if (processedLayerImage_) {
    stamp->SetColorSource(new ImagePaintObj("Processed", processedLayerImage_));
    stamp->SetKind(Stamp::kImageKind);
  } else if (stamp->GetKind() != Stamp::kColorKind) {
    SetColor(brushParameters_.color, true);
    stamp->SetKind(Stamp::kColorKind);
  }
  StampStrokeImpl::SetSmear(false);
  stamp->SetOpacity(opacity);
  stamp->SetRadius(radius);
  stamp->SetAspect(aspect);
  stamp->SetAngle(angle);
  // The pixels the dab can reach, kept to be put back.
  const int reach = static_cast<int>(std::ceil(radius)) + 2;
  const int bx = static_cast<int>(std::floor(x)) - reach,
            by = static_cast<int>(std::floor(y)) - reach;
  const int side = 2 * reach + 1;
  std::vector<unsigned char> saved(static_cast<size_t>(side) * side * target->getPixelBytes());
  target->getTile(bx, by, side, side, saved.data());
  stack->ResetUpdateRegion();
  painter->set_stamp(stamp);
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  PaintPoint p(x, y);
  painter->draw_stamps(&p, 1, nullptr);
  ilTile u = stack->GetUpdateRegion();
  u.nx += 1;
  u.ny += 1;
  if (!stack->GetUpdateRegion().empty()) {
    stack->DamageBrushPreviewRegion();
    stack->SetBrushPreviewRegion(u);
  } else {
    stack->SetUpdateRegion(stack->GetBrushPreviewRegion());
  }
  stack->ForceUpdate();
  target->setTile(bx, by, side, side, saved.data());
  painter->reset_tile_modified();
  stack->TargetStencil(false);
  inPreview_ = false;
}

void PaintManager::ClearBrushPreview() {
  LayerStack* stack = currentLayerStack_;
  if (!stack) return;
  if (stack->InProxy()) stack->EndProxy();
  stack->GetCurrentLayerPainter();
  stack->DamageBrushPreviewRegion();
  stack->ResetBrushPreviewRegion();
  stack->ForceUpdate();
}
