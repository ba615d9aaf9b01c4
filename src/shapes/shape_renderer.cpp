// Shape renderers: the shared mask cache, painting through a mask,
// luminance for one-channel targets, and the stroke renderer.
#include "brenmark/shape_renderer.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "brenmark/brush_profile.h"
#include "brenmark/il.h"
#include "brenmark/interpolate.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/shape_parms.h"
#include "brenmark/smart_image.h"
#include "brenmark/stamp.h"
#include "brenmark/stroke.h"
#include "manager/debug_selector.h"
#include "platform/diagnostics.h"
#include "shapes/shape_timing.h"

namespace {

// Selector under which renderers report their making, end and rendering.
constexpr int kRendererSelector = 8110;

// The area a stroke may reach when the shape is not clipped to the canvas.
const ilTile kUnclippedStroke(-4096, -4096, 0, 8192, 8192, 1);

// Owns one reference on a Resource-counted painter for a scope.
struct PainterRef {
  explicit PainterRef(ilImage* target) : p(new PaintOps(target, 1)) { p->ref(); }
  ~PainterRef() { p->unref(); }
  PainterRef(const PainterRef&) = delete;
  PainterRef& operator=(const PainterRef&) = delete;
  PaintOps* operator->() const { return p; }
  PaintOps* p;
};

}  // namespace

int ShapeRenderer::Count = 0;

// ---- Base

ilTile ShapeRenderer::GrownCurveBounds(ag_curve* curve, float near, float far) {
  BrenmarkCallbacks* cb = Brenmark.CB();
  double** corners = curve && cb->GetCurveBounds ? cb->GetCurveBounds(curve) : nullptr;
  if (!corners || !corners[0] || !corners[1]) return ilTile();
  // Corners beyond the integer range (or not numbers) have no tile.
  for (double v : {corners[0][0], corners[0][1], corners[1][0], corners[1][1]}) {
    if (!(std::fabs(v) <= kMaxCorner)) return ilTile();
  }
  const auto x0 = static_cast<float>(corners[0][0]), y0 = static_cast<float>(corners[0][1]);
  const auto x1 = static_cast<float>(corners[1][0]), y1 = static_cast<float>(corners[1][1]);
  ilTile t;
  t.x = static_cast<int>(x0 - near);
  t.y = static_cast<int>(y0 - near);
  t.z = 0;
  t.nx = static_cast<int>(x1 + far) - t.x + 1;
  t.ny = static_cast<int>(y1 + far) - t.y + 1;
  t.nz = 1;
  return t;
}

ShapeRenderer::ShapeRenderer() {
  ++Count;
  if (brenmark::DebugSelectorIs(kRendererSelector))
    brenmark::platform::Diagnostic("Creating shape Renderer - count = %d\n", Count);
}

ShapeRenderer::~ShapeRenderer() {
  if (mask_) mask_->unref();
  --Count;
  if (brenmark::DebugSelectorIs(kRendererSelector))
    brenmark::platform::Diagnostic("Destroying shape Renderer - count = %d\n", Count);
}

void ShapeRenderer::Init(ShapeRenderer* from) {
  if (!from) {
    maskDirty_ = parmsDirty_ = false;
    if (mask_) mask_->unref();
    mask_ = nullptr;
    return;
  }
  maskDirty_ = from->maskDirty_;
  parmsDirty_ = from->parmsDirty_;
  SetShapeMask(from->mask_);
}

void ShapeRenderer::SetShapeMask(ilSmartImage* mask) {
  if (!mask || mask == mask_) return;
  mask->ref();
  if (mask_) mask_->unref();
  mask_ = mask;
}

ilSmartImage* ShapeRenderer::NewShapeMask() {
  auto* mask = new ilSmartImage(ilPixel(ilUChar, 1));
  SetShapeMask(mask);
  return mask;
}

void ShapeRenderer::Render(ag_curve* curve, PaintOps* painter, ShapeParms* parms) {
  if (!curve || !painter || !parms) return;
  if (brenmark::DebugSelectorIs(kRendererSelector)) {
    brenmark::platform::Diagnostic("Rendering Shape %x -- MaskDirty=%d\n",
                                   brenmark::DebugWord(this), maskDirty_ ? 1 : 0);
  }
  if (maskDirty_) {
    RenderShapeMask(curve, parms);
    if (parms->GetUseImageBnd()) CropMaskToBound(parms->GetImageBnd());
  }
  RenderShape(painter, parms);
}

void ShapeRenderer::CropMaskToBound(const ilTile& b) {
  if (!mask_) return;
  mask_->ForceShrinkAttempt(false);
  const ilTile m = mask_->getBounds();
  ilTile keep;
  keep.x = std::max(m.x, b.x);
  keep.y = std::max(m.y, b.y);
  keep.nx = std::min(m.x + m.nx, b.x + b.nx) - keep.x;
  keep.ny = std::min(m.y + m.ny, b.y + b.ny) - keep.y;
  keep.z = 0;
  keep.nz = 1;
  if (keep.nx < 0) keep.nx = 0;
  if (keep.ny < 0) keep.ny = 0;
  const auto fill = static_cast<unsigned char>(mask_->GetFillValue());
  if (!m.empty()) mask_->fillTile(m.x, m.y, m.nx, m.ny, &fill, nullptr, &keep);
  mask_->ForceShrinkAttempt(false);
}

void ShapeRenderer::PaintThroughMask(PaintOps* painter, ilSmartImage* texture) {
  if (texture) ApplyMaskToImage(mask_, texture, painter);
  ClearParmsDirty();
}

void ShapeRenderer::ApplyMaskToImage(ilSmartImage* mask, ilSIDImage* texture, PaintOps* painter) {
  if (!mask || !texture || !painter || !painter->target_img()) return;
  const ilTile b = mask->getBounds();
  if (b.empty()) return;
  const int channels = texture->getCsize() == 1 ? 1 : 4;
  auto* covered = new ilQVMemoryImg(ilSize(b.nx, b.ny, channels), ilUChar);
  covered->ref();
  covered->copyTile(0, 0, b.nx, b.ny, texture, 0, 0);
  {
    // Texture bytes times coverage / 256.
    PainterRef scale(covered);
    scale->blend_func(BlendZero, BlendSrcAlpha);
    scale->rect_copy(0, 0, b.nx, b.ny, mask, b.x, b.y, nullptr, 1.0f, 1.0f);
  }
  if (painter->target_img()->getCsize() == 1 && channels == 4) {
    ilQVMemoryImg* grey = ConvertRGBToLuminance(covered);
    grey->ref();
    covered->unref();
    covered = grey;
  }
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  painter->rect_copy(b.x, b.y, b.nx, b.ny, covered, 0, 0, nullptr, 1.0f, 1.0f);
  painter->blend_func(BlendOne, BlendZero);
  covered->unref();
}

void ConvertRGBAtoLuminance(const unsigned int* pixels, unsigned char* out, int count) {
  // Weights 77, 151, 28 are 0.3, 0.59 and 0.11 of 256, rounded. The sum is
  // shifted once, so white gives (255 * 256) >> 8 = 255.
  for (int i = 0; i < count; ++i) {
    const unsigned p = pixels[i];
    const unsigned r = p & 0xFFu, g = (p >> 8) & 0xFFu, b = (p >> 16) & 0xFFu;
    out[i] = static_cast<unsigned char>((r * 77u + g * 151u + b * 28u) >> 8);
  }
}

ilQVMemoryImg* ShapeRenderer::ConvertRGBToLuminance(ilQVMemoryImg* img) {
  if (!img) return nullptr;
  const int w = img->getXsize(), h = img->getYsize();
  auto* grey = new ilQVMemoryImg(ilSize(w, h, 1), ilUChar);
  ilPixel fill(ilUChar, 1);
  const ilPixel& source = img->getFill();
  if (source.nc() == 4 && source.getDataType() == ilUChar) {
    unsigned packed = 0;
    std::memcpy(&packed, source.elems(), 4);
    unsigned char v = 0;
    ConvertRGBAtoLuminance(&packed, &v, 1);
    fill.setElem(v, 0);
  }
  grey->setFill(fill);
  if (img->getCsize() == 4 && w > 0) {
    for (int y = 0; y < h; ++y) {
      unsigned* row = static_cast<unsigned*>(img->getPixelPtr(0, y));
      ConvertRGBAtoLuminance(row, static_cast<unsigned char*>(grey->getPixelPtr(0, y)), w);
    }
  }
  return grey;
}

// ---- Stroke

ShapeStrokeRenderer::ShapeStrokeRenderer(ShapeStrokeRenderer* from) {
  Init(from);
}

ilTile ShapeStrokeRenderer::GetCrvBounds(ShapeParms* parms, ag_curve* curve) {
  if (!parms) return ilTile();
  const float r = static_cast<float>(static_cast<int>(parms->Brush().radius2 + 1.0f));
  return GrownCurveBounds(curve, 2.0f + r, 4.0f + 2.0f * r);
}

void ShapeStrokeRenderer::RenderShapeMask(ag_curve* curve, ShapeParms* parms) {
  if (!IsMaskDirty() || !parms) return;
  ilSmartImage* mask = NewShapeMask();
  BrenmarkCallbacks* cb = Brenmark.CB();
  const brenmark::shapes::StageTimer timer;
  int pointCount = 0;
  if (parms->Strokeing() && curve && cb->GetSplinePoints) {
    const BrushParameters& brush = parms->Brush();
    auto* stamp = new Stamp();
    stamp->ref();
    stamp->SetOpacity(parms->GetStrokeOpacity());
    stamp->SetRadius(brush.radius2);
    stamp->SetAspect(parms->GetStampAspect());
    stamp->SetAngle(parms->GetStampRotation());
    stamp->SetColor(1.0f, 1.0f, 1.0f, 1.0f);
    if (GenericFunction* f = BrushProfile::NewProfileFunction(brush.profile.index, brush.radius2)) {
      Resource::ref(f);
      stamp->SetProfile(f);
      Resource::unref(f);
    }
    auto* painter = new PaintOps(mask, 1);
    painter->ref();
    painter->set_stamp(nullptr);
    painter->set_stamp(stamp);
    painter->reset_tile_modified();
    painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
    painter->keep_read_valid(1);
    painter->SetBrushClippingRect(parms->GetUseImageBnd() ? parms->GetImageBnd()
                                                          : kUnclippedStroke);
    ag_spline* node = curve->splines;
    for (int done = 0; done < curve->splineCount && node; ++done, node = node->next) {
      int n = 0;
      std::unique_ptr<float[]> points(cb->GetSplinePoints(node, &n));
      if (points) pointCount += n;
      auto stroke = std::make_unique<Stroke>();
      stroke->SetLocks(true, true, true, true);  // positions only
      auto* interp = new FltInterpolate2D(1);
      interp->ref();
      auto* walker =
          new StampStrokeImpl(stroke.get(), painter, stamp, interp, parms->GetStampSpacing());
      stroke->MarkStart();
      painter->BeginStroke();
      for (int i = 0; points && i < n; ++i) {
        stroke->AddPoint(points[2 * i], points[2 * i + 1], brush.radius2, parms->GetStrokeOpacity(),
                         parms->GetStampAspect(), parms->GetStampRotation());
      }
      walker->PaintStep();
      // The first sample began the painter's operation; the stroke is over.
      if (stroke->Count() > 0) painter->EndOperation();
      painter->EndStroke();
      stroke->MarkEnd();
      delete walker;
      interp->unref();
    }
    painter->keep_read_valid(0);
    painter->unref();
    stamp->unref();
    // As for the fill, only a drawn stroke is post-processed: an inverted
    // empty mask would cover everything with the stroke's texture.
    parms->PostProcessShapeMask(mask);
    if (timer.On()) {
      brenmark::platform::Diagnostic(
          "SID: Rendering Stroke mask Performance -- Pts = %d, NumSplines = %d time: %f\n",
          pointCount, curve->splineCount, brenmark::shapes::Seconds(timer.Cycles()));
    }
  }
  mask->ForceShrinkAttempt(false);
  ClearMaskDirty();
}

void ShapeStrokeRenderer::RenderShape(PaintOps* painter, ShapeParms* parms) {
  ilSmartImage* mask = GetShapeMask();
  if (!painter || !mask) return;
  mask->ForceShrinkAttempt(false);
  const ilTile b = mask->getBounds();
  const brenmark::shapes::StageTimer timer;
  PaintThroughMask(painter, parms->GetStrokeTexture(b.nx, b.ny));
  if (timer.On()) {
    const std::uint64_t cycles = timer.Cycles();
    brenmark::platform::Diagnostic(
        "SID: Applying stroke performance -- rect = %d * %d, Cycles/Pixel: %f, time: %f\n", b.nx,
        b.ny, brenmark::shapes::PerPixel(cycles, b), brenmark::shapes::Seconds(cycles));
  }
}
