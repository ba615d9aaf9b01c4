// The shape fill's mask: the scan's coverage stored straight into the pages
// of a one-channel paged image.
#pragma once

#include "shapes/fill_scan.h"

class ilSmartImage;

namespace brenmark::shapes {

// The coverage of the polygon over `bounds`, scaled by `opacity` as
// ScaleCoverage does, into `mask` (a fresh one-channel image whose pixels
// are all 0), whose bounds then take in `bounds`. Cells of one value go in
// as a fill (a whole page of it: a solid page without memory; 0: nothing),
// the others are written in place into their pages. False when a page could
// not be had (the mask then holds what could be stored).
bool FillCoverageMask(ilSmartImage* mask, const LineSegment* segments, int count,
                      const ilTile& bounds, float opacity, ScanCycles* cycles = nullptr);

}  // namespace brenmark::shapes
