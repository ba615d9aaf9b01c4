// Brings the process-wide painting state back to where the library starts,
// so that a stroke painted twice in one process gives the same pixels: the
// blending engine's dither counter, the shared dab-image cache, the dab
// noise cursor and the stroke's random draws (spacing and angle jitter).
#pragma once

#include <brenmark/stamp_cache.h>
#include <brenmark/stroke.h>

#include "brush/stamp_tables.h"
#include "paintops/dither.h"

namespace brenmark::testing {

// The dab cache stays as it is when `keepDabCache` is set: a warm cache
// must give the same dabs as freshly built ones.
inline void ResetPaintState(bool keepDabCache = false) {
  BlendDither::Reset();
  if (!keepDabCache) StampImageCache::Shared().Empty();
  brush::NoiseCursor() = 0;
  StampStrokeImpl::SeedRandom(1);
}

}  // namespace brenmark::testing
