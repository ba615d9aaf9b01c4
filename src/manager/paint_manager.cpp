// PaintManager: the global instance, construction, setup, the brush flags the
// command frame switches, and the structure dump.
#include "brenmark/paint_manager.h"

#include <cstdio>

#include "foundation/view_origin_query.h"
#include "manager/debug_selector.h"
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

// The blurred or sharpened copy of the current layer is computed by the
// convolution filters; without them the brush stays on with no processed
// image and the next switch-on tries again.
void PaintManager::BuildProcessedLayerImage(bool) {}

void PaintManager::debug() const {
  if (!brenmark::DebugSelectorIs(brenmark::kDebugStructure)) return;
  std::printf("========== PaintManager [begin] ==========\n");
  for (int i = 0; i < kMaxLayerStacks; ++i) {
    if (!layerStacks_[i]) continue;
    std::printf("===== LayerStack [%d] =====\n", i);
    layerStacks_[i]->debug();
  }
  std::printf("========== PaintManager [end] ===========\n");
}
