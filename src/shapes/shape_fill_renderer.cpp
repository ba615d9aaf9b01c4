// Fill renderer: the host's polygon of the curve, scan-converted into the
// shape mask with partial coverage at the edges.
#include <cstdint>
#include <vector>

#include "brenmark/il.h"
#include "brenmark/paint_manager.h"
#include "brenmark/shape_parms.h"
#include "brenmark/shape_renderer.h"
#include "brenmark/smart_image.h"
#include "shapes/fill_mask.h"

namespace {

// A fill whose box holds more pixels than this is left undrawn (1 GiB of
// coverage; a host that widens the tile without bound cannot exhaust the
// process).
constexpr std::size_t kMaxCoverageBytes = std::size_t{1} << 30;

}  // namespace

static_assert(sizeof(brenmark::shapes::LineSegment) == 4 * sizeof(float),
              "segments are handed to the scan as packed float quadruples");

ShapeFillRenderer::ShapeFillRenderer(ShapeFillRenderer* from) {
  Init(from);
}

ilTile ShapeFillRenderer::GetCrvBounds(ShapeParms*, ag_curve* curve) {
  ilTile t = GrownCurveBounds(curve, 2.0f, 3.0f);
  BrenmarkCallbacks* cb = Brenmark.CB();
  // The host may widen the tile for its polygon; the segments themselves
  // are not needed here.
  if (curve && cb->TessellateCurve) {
    int count = 0;
    delete[] cb->TessellateCurve(curve, &t, &count);
  }
  return t;
}

void ShapeFillRenderer::CreateLinesFromCurve(ag_curve* curve, ilTile& b) {
  segments_.clear();
  BrenmarkCallbacks* cb = Brenmark.CB();
  if (!curve || !cb->TessellateCurve) return;
  int count = 0;
  float* segs = cb->TessellateCurve(curve, &b, &count);
  if (segs && count > 0) segments_.assign(segs, segs + 4 * static_cast<std::size_t>(count));
  delete[] segs;
}

void ShapeFillRenderer::RenderShapeMask(ag_curve* curve, ShapeParms* parms) {
  if (!IsMaskDirty() || !parms) return;
  ilTile b = GetCrvBounds(parms, curve);
  CreateLinesFromCurve(curve, b);
  ilSmartImage* mask = NewShapeMask();
  if (parms->Filling()) {
    if (!b.empty() && !FillMask(mask, b, parms->GetFillOpacity())) return;  // stays dirty
    parms->PostProcessShapeMask(mask);
    mask->ForceShrinkAttempt(false);
  }
  ClearMaskDirty();
}

// Coverage of the kept segments over b, scaled by the opacity, into the
// mask; false when a page of the mask cannot be had.
bool ShapeFillRenderer::FillMask(ilSmartImage* mask, const ilTile& b, float opacity) {
  const std::size_t n = static_cast<std::size_t>(b.nx) * static_cast<std::size_t>(b.ny);
  if (n > kMaxCoverageBytes) return false;
  return brenmark::shapes::FillCoverageMask(
      mask, reinterpret_cast<const brenmark::shapes::LineSegment*>(segments_.data()),
      SegmentCount(), b, opacity);
}

void ShapeFillRenderer::RenderShape(PaintOps* painter, ShapeParms* parms) {
  ilSmartImage* mask = GetShapeMask();
  if (!painter || !mask) return;
  mask->ForceShrinkAttempt(false);
  const ilTile b = mask->getBounds();
  PaintThroughMask(painter, parms->GetFillTexture(b.nx, b.ny));
}
