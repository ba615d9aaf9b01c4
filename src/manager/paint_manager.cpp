// PaintManager: the global instance, construction, setup, the brush flags the
// command frame switches, and the structure dump.
#include "brenmark/paint_manager.h"

#include <cstdio>

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
// chain before the first real stroke. It needs the painter, stamp and stroke
// code; until they are part of the engine there is nothing to warm up.
void PaintManager::RunWarmUpStroke() {}

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
