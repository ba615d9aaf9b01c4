// Fill renderer: the host's polygon of the curve, scan-converted into the
// shape mask with partial coverage at the edges.
#include <cstdint>
#include <vector>

#include "brenmark/il.h"
#include "brenmark/paint_manager.h"
#include "brenmark/shape_parms.h"
#include "brenmark/shape_renderer.h"
#include "brenmark/smart_image.h"
#include "platform/diagnostics.h"
#include "shapes/fill_mask.h"
#include "shapes/shape_timing.h"

namespace {

namespace shapes = brenmark::shapes;

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
  const shapes::StageTimer timer;
  int count = 0;
  float* segs = cb->TessellateCurve(curve, &b, &count);
  if (segs && count > 0) segments_.assign(segs, segs + 4 * static_cast<std::size_t>(count));
  delete[] segs;
  if (timer.On()) {
    brenmark::platform::Diagnostic("SID: Tesselation performance -- Segments = %d time: %f\n",
                                   SegmentCount(), shapes::Seconds(timer.Cycles()));
  }
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
  const shapes::StageTimer timer;
  shapes::ScanCycles scan;
  const bool ok =
      shapes::FillCoverageMask(mask, reinterpret_cast<const shapes::LineSegment*>(segments_.data()),
                               SegmentCount(), b, opacity, timer.On() ? &scan : nullptr);
  if (timer.On()) {
    const std::uint64_t total = timer.Cycles();
    const std::uint64_t sorting = shapes::CrossingCyclesTotal() += scan.crossings;
    brenmark::platform::Diagnostic(
        "SID: Rendering Shape FillMask -- rect = %d * %d, Cycles/Pix: %f, times: %f (%f, %f) "
        "(%f)\n",
        b.nx, b.ny, shapes::PerPixel(total, b), shapes::Seconds(total),
        shapes::Seconds(scan.horizontal), shapes::Seconds(scan.vertical), shapes::Seconds(sorting));
  }
  return ok;
}

void ShapeFillRenderer::RenderShape(PaintOps* painter, ShapeParms* parms) {
  ilSmartImage* mask = GetShapeMask();
  if (!painter || !mask) return;
  mask->ForceShrinkAttempt(false);
  const ilTile b = mask->getBounds();
  const shapes::StageTimer timer;
  PaintThroughMask(painter, parms->GetFillTexture(b.nx, b.ny));
  if (timer.On()) {
    const std::uint64_t cycles = timer.Cycles();
    brenmark::platform::Diagnostic(
        "SID: Applying Fill Performance -- rect = %d * %d, Cycles/Pixel: %f, time: %f\n", b.nx,
        b.ny, shapes::PerPixel(cycles, b), shapes::Seconds(cycles));
  }
}
