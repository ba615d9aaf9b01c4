// Step 3 and 6 of the command frame: a blur or sharpen brush paints from a
// processed copy of the current layer, so structural commands switch it off
// and on again afterwards, which rebuilds the copy from the new current layer.
// A stroke still running is ended first: its painter belongs to a layer the
// command may delete, merge away or move into an undo record, and a stroke
// keeps only what it painted into the layer it began on.
#pragma once

#include "brenmark/paint_manager.h"

namespace brenmark {

class BrushSuspension {
 public:
  explicit BrushSuspension(PaintManager& manager)
      : manager_(manager), blur_(manager.isBlurBrush()), sharpen_(manager.isSharpenBrush()) {
    if (manager_.InBrushStroke()) manager_.EndBrushStroke();
    if (blur_) manager_.SetBlurBrush(false);
    if (sharpen_) manager_.SetSharpenBrush(false);
  }
  ~BrushSuspension() {
    manager_.SetSharpenBrush(sharpen_);
    manager_.SetBlurBrush(blur_);
  }
  BrushSuspension(const BrushSuspension&) = delete;
  BrushSuspension& operator=(const BrushSuspension&) = delete;

 private:
  PaintManager& manager_;
  bool blur_;
  bool sharpen_;
};

}  // namespace brenmark
