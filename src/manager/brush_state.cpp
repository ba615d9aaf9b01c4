// PaintManager: the brush state between strokes: the stamp, brush and
// stroke parameters, the colour, the 16-bit decision, the spacing bias and
// the processed image of the blur and sharpen brushes.
#include <memory>
#include <new>

#include "brenmark/brush_profile.h"
#include "brenmark/convolution.h"
#include "brenmark/generic_function.h"
#include "brenmark/image_paint_obj.h"
#include "brenmark/layer.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "brenmark/stamp.h"

Stamp* PaintManager::GetStamp() {
  if (!stamp_) {
    stamp_ = new Stamp();
    stamp_->ref();
  }
  return stamp_;
}

// Marker blend paints a darker copy of the colour: the value (the largest
// channel) times 0.85 with hue and saturation kept, which is every channel
// times 0.85 (black, with no saturation to keep, stays black). Only the
// stamp's copy is darkened; the stored brush colour stays as given, so
// strokes after strokes do not darken it further.
void PaintManager::SetColor(PaintColor c, bool force) {
  if (inBrushStroke_) return;
  float r, g, b, a;
  c.Getf(r, g, b, a);
  if (strokeParameters_.markerBlend) {
    r *= 0.85f;
    g *= 0.85f;
    b *= 0.85f;
  }
  if (force || !(c == brushParameters_.color)) GetStamp()->SetColor(r * a, g * a, b * a, a);
  brushParameters_.color = c;
}

namespace {

void GiveProfile(Stamp* stamp, int index, float size) {
  GenericFunction* f = BrushProfile::NewProfileFunction(index, size);
  if (!f) return;
  Resource::ref(f);
  stamp->SetProfile(f);
  Resource::unref(f);
}

}  // namespace

void PaintManager::SetBrushParameters(const BrushParameters& b, bool force) {
  if (inBrushStroke_) return;
  SetColor(b.color, force);
  LayerStack* stack = currentLayerStack_;
  PaintOps* painter = stack ? stack->GetCurrentLayerPainter() : nullptr;
  if (force ||
      (strokeParameters_.markerBlend && b.markerWetness != brushParameters_.markerWetness)) {
    if (painter) painter->SetMarkerWetness(b.markerWetness);
  }
  Stamp* stamp = GetStamp();
  if (force || b.profile.index != brushParameters_.profile.index ||
      b.radius1 != brushParameters_.radius1 || b.radius2 != brushParameters_.radius2) {
    const float size = (b.radius1 + b.radius2) / 2.0f;
    GiveProfile(stamp, 0, size);
    GiveProfile(stamp, b.profile.index, size);
  }
  if ((force || b.PaintSource() != brushParameters_.PaintSource()) &&
      static_cast<Resource*>(stamp->GetPaintSource()) != b.PaintSource()) {
    stamp->SetPaintSource(static_cast<ImagePaintObj*>(b.PaintSource()));
    if (painter) {
      painter->set_stamp(nullptr);
      painter->set_stamp(stamp);
    }
  }
  const PaintColor kept = brushParameters_.color;
  brushParameters_ = b;
  brushParameters_.color = kept;
  UpdateUse16Bit();
}

void PaintManager::SetStrokeParameters(const StrokeParameters& p) {
  if (inBrushStroke_) return;
  if (currentLayerStack_) currentLayerStack_->setMarkerBlend(p.markerBlend);
  strokeParameters_ = p;
  UpdateUse16Bit();
}

void PaintManager::SetUse16Bit(bool on) {
  use16BitBrush_ = on;
  Stamp::SetBrush16Bit(on);
}

// 16-bit dabs only where 8-bit ones band visibly: large, faint, plain
// colour brushes.
void PaintManager::UpdateUse16Bit() {
  const BrushParameters& b = brushParameters_;
  SetUse16Bit(b.radius2 > 5.0f && b.opacity1 < 0.2f && !strokeParameters_.markerBlend && !b.smear &&
              !b.clone && !blurBrushOn_ && !sharpenBrushOn_);
}

// Marker strokes lay dabs closer for small brushes, where gaps between the
// wet dabs would show: 0.3 below radius 8, rising linearly to 0.8 at 20 and
// to 1.0 at 40.
double PaintManager::GetSpacingBias(float r) {
  PaintOps* painter = currentLayerStack_ ? currentLayerStack_->GetCurrentLayerPainter() : nullptr;
  if (!painter || !painter->IsMarkerBlend()) return 1.0;
  if (r > 40.0f) return 1.0;
  if (r >= 20.0f) return 0.8 + 0.2 * (r - 20.0) / 20.0;
  if (r < 8.0f) return 0.3;
  return 0.3 + 0.5 * (r - 8.0) / 12.0;
}

void PaintManager::SetBlurRadius(float radius) {
  if (radius == blurRadius_) return;
  blurRadius_ = radius;
  if (blurBrushOn_) {
    SetBlurBrush(false);
    SetBlurBrush(true);
  }
}

void PaintManager::SetSharpenRadius(float radius) {
  if (radius == sharpenRadius_) return;
  sharpenRadius_ = radius;
  if (sharpenBrushOn_) {
    SetSharpenBrush(false);
    SetSharpenBrush(true);
  }
}

void PaintManager::SetSharpness(float sharpness) {
  if (sharpness == sharpness_) return;
  sharpness_ = sharpness;
  if (sharpenBrushOn_) {
    SetSharpenBrush(false);
    SetSharpenBrush(true);
  }
}

// The blurred or sharpened copy of the current layer, computed once when
// the brush is switched on: the layer's bounds grown by the kernel size are
// convolved and stored at the same place in a new smart image with the
// layer's fill. Without a smart-image layer the brush stays on with no
// processed image and the next switch-on tries again.
void PaintManager::BuildProcessedLayerImage(bool sharpen) {
  LayerStack* stack = currentLayerStack_;
  Layer* layer = stack ? stack->GetCurrentLayerPtr() : nullptr;
  ilSmartImage* src = layer ? ilSmartImage::As_ilSmartImage(layer->GetImage()) : nullptr;
  if (!src) return;
  if (callbacks_.SetBusy) callbacks_.SetBusy(true);
  src->ForceShrinkAttempt(false);
  ilPixel fill;
  src->getFill(fill);
  ilSmartImage* processed = new ilSmartImage(fill);
  processed->ref();
  const ConvolutionKernel kernel = sharpen
                                       ? ConvolutionKernel(sharpness_, sharpenRadius_, 1.0f / 3.0f)
                                       : ConvolutionKernel(-1.0f, blurRadius_, 1.0f / 3.0f);
  const ilTile bounds = src->getBounds();
  const int channels = src->getCsize();
  if (!bounds.empty() && (channels == 1 || channels == 4)) {
    const int k = static_cast<int>(kernel.GetSize());
    const ilTile e(bounds.x - k, bounds.y - k, bounds.z, bounds.nx + 2 * k, bounds.ny + 2 * k,
                   bounds.nz);
    std::unique_ptr<ilConvolutionImg> img(
        new (std::nothrow) ilConvolutionImg(ilSize(e.nx, e.ny, channels), ilUChar));
    if (img && img->getDataPtr()) {
      img->copyTile(0, 0, e.nx, e.ny, src, e.x, e.y);
      if (img->Convolve(kernel) == ilOkay)
        processed->copyTile(e.x, e.y, e.nx, e.ny, img.get(), 0, 0);
    }
  }
  processedLayerImage_ = processed;
  ImagePaintObj* obj = new ImagePaintObj("Processed", processed);
  Stamp* stamp = GetStamp();
  stamp->SetColorSource(obj);
  stamp->SetKind(Stamp::kImageKind);
  if (callbacks_.SetBusy) callbacks_.SetBusy(false);
}
