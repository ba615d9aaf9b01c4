// PaintManager: the global instance, construction, setup, the brush flags the
// command frame switches, and the structure dump.
#include "brenmark/paint_manager.h"

#include <cstdio>

#include "brenmark/interpolate.h"
#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"
#include "brenmark/stroke.h"

#include "foundation/view_origin_query.h"
#include "imagestore/store_hooks.h"
#include "manager/debug_selector.h"
#include "platform/diagnostics.h"
#include "platform/platform.h"

PaintManager Brenmark;

const int PaintManager::CheckInterval = 5;
const int PaintManager::MinUpdateInterval = 10;
const int PaintManager::MaxUpdateInterval = 100;
const float PaintManager::MinUpdateIntRadius = 5.0f;
const float PaintManager::MaxUpdateIntRadius = 96.0f;
unsigned short PaintManager::minPressure = 0;
unsigned short PaintManager::maxPressure = 0;
TpressureFilter* PaintManager::PressFilter = nullptr;

namespace brenmark {

bool DebugSelectorIs(int value) {
  const BrenmarkCallbacks* cb = Brenmark.CB();
  return cb->GetDebugSelector && cb->GetDebugSelector() == value;
}

}  // namespace brenmark

namespace {

// View transforms built from an application view ask through member 2.
void QueryViewOrigin(void* appView, int* originX, int* originY, float* scaleX, float* scaleY) {
  Brenmark.CB()->GetViewOriginAndScale(appView, originX, originY, scaleX, scaleY);
}

// The page cache sizes its budget from the host's memory figures (members
// 10 and 11, in kilobytes), lets the host mark pages (member 58) and hands
// the store's messages to the host (member 38).
unsigned HostTotalMemoryKB(void*) {
  return Brenmark.CB()->GetTotalMemoryKB();
}
unsigned HostAvailableMemoryKB(void*) {
  return Brenmark.CB()->GetAvailableMemoryKB();
}
void HostWatermark(void*, void* pixels, int x, int y, int w, int h, int bounds_w, int bounds_h) {
  Brenmark.CB()->ApplyWatermark(pixels, x, y, w, h, bounds_w, bounds_h);
}
void HostMessage(void*, const char* text) {
  Brenmark.CB()->ShowMessage(text);
}

}  // namespace

// The brush parameters and the stamp join with the brush subsystem; until
// then strokes have nothing to paint with.
PaintManager::PaintManager() = default;

PaintManager::~PaintManager() {
  pendingStrokeUndo_ = nullptr;
}

void PaintManager::SetCallbacks(const BrenmarkCallbacks& callbacks) {
  callbacks_ = callbacks;
  brenmark::SetViewOriginQuery(&QueryViewOrigin);
  // Members the host left empty keep the store's own defaults.
  brenmark::imagestore::MemoryInfoSource memory;
  if (callbacks_.GetTotalMemoryKB) memory.total_kb = &HostTotalMemoryKB;
  if (callbacks_.GetAvailableMemoryKB) memory.available_kb = &HostAvailableMemoryKB;
  brenmark::imagestore::SetMemoryInfoSource(memory);
  brenmark::imagestore::SetWatermarkFunction(callbacks_.ApplyWatermark ? &HostWatermark : nullptr,
                                             nullptr);
  brenmark::imagestore::SetMessageFunction(callbacks_.ShowMessage ? &HostMessage : nullptr,
                                           nullptr);
}

void PaintManager::InitPaintManager() {
  if (initialised_) return;
  if (brenmark::platform::HasMMX()) RunWarmUpStroke();
  stroke_ = nullptr;
  strokePainter_ = nullptr;
  magnifyFilter_ = 1;
  minifyFilter_ = 1;
  initialised_ = true;
}

// One short off-screen stroke builds every lazily made table of the brush
// chain (distance and square-root tables, profile rows, the dab images of
// three radii and opacities) before the first real stroke, so that stroke
// does not stall on them. It paints with the brush's own stamp into a scratch
// image that is released with its pages at the end; what stays are the
// tables, the dab-image cache entries and the advanced dither counter.
void PaintManager::RunWarmUpStroke() {
  struct WarmUpPoint {
    float x, y, radius, opacity;
  };
  static constexpr WarmUpPoint kPoints[] = {
      {5.0f, 5.0f, 1.0f, 0.01f}, {50.0f, 50.0f, 5.0f, 0.1f}, {100.0f, 100.0f, 3.0f, 1.0f}};
  const unsigned char none[4] = {0, 0, 0, 0};
  auto* image = new ilSmartImage(ilPixel(ilUChar, 4, none));
  image->ref();
  auto* painter = new PaintOps(image, 1);
  Resource::ref(painter);
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  auto* stroke = new Stroke();
  stroke->SetLocks(false, false, false, false);
  auto* interp =
      new SmoothInterpolate2D(SmoothInterpolate2D::kDefaultA, SmoothInterpolate2D::kDefaultB,
                              SmoothInterpolate2D::kDefaultSteps);
  auto* strokePainter = new StampStrokeImpl(stroke, painter, GetStamp(), interp, 1.0);
  painter->keep_read_valid(1);
  strokePainter->PaintStep();
  stroke->MarkStart();
  painter->BeginStroke();
  for (const WarmUpPoint& p : kPoints) {
    stroke->AddPoint(p.x, p.y, p.radius, p.opacity, 1.0f, 0.0f);
    strokePainter->PaintStep();
  }
  delete strokePainter;
  stroke->MarkEnd();
  painter->EndStroke();
  painter->keep_read_valid(0);
  painter->blend_func(BlendOne, BlendZero);
  Resource::unref(painter);
  image->unref();
  delete stroke;
  displayFilterOverridden_ = false;
}

void PaintManager::SetScaleFilter(int magnify, int minify) {
  magnifyFilter_ = magnify;
  minifyFilter_ = minify;
}

void PaintManager::GetScaleFilter(int& magnify, int& minify) const {
  magnify = magnifyFilter_;
  minify = minifyFilter_;
}

// Switching the blur brush on clears the sharpen brush and the reverse; the
// processed image is dropped and, for a brush that is on, rebuilt from the
// current layer.
void PaintManager::SetBlurBrush(bool on) {
  if (on == blurBrushOn_ && !(on && !processedLayerImage_)) return;
  blurBrushOn_ = on;
  sharpenBrushOn_ = false;
  ClearProcessedLayerImage();
  if (on) BuildProcessedLayerImage(false);
}

void PaintManager::SetSharpenBrush(bool on) {
  if (on == sharpenBrushOn_ && !(on && !processedLayerImage_)) return;
  sharpenBrushOn_ = on;
  blurBrushOn_ = false;
  ClearProcessedLayerImage();
  if (on) BuildProcessedLayerImage(true);
}

void PaintManager::ClearProcessedLayerImage() {
  if (processedLayerImage_) processedLayerImage_->unref();
  processedLayerImage_ = nullptr;
}

void PaintManager::debug() const {
  if (!brenmark::DebugSelectorIs(brenmark::kDebugStructure)) return;
  brenmark::platform::Diagnostic("========== PaintManager [begin] ==========\n");
  for (int i = 0; i < kMaxLayerStacks; ++i) {
    if (!layerStacks_[i]) continue;
    brenmark::platform::Diagnostic("===== LayerStack [%d] =====\n", i);
    layerStacks_[i]->debug();
  }
  brenmark::platform::Diagnostic("========== PaintManager [end] ===========\n");
}
