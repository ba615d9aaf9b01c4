// What the brush benches share: libmypaint's fixed tiled surface with its
// dab function wrapped to count, and the timing of both sides.
#pragma once

#include <cstdint>

#include "../bench_timing.h"

#if BRENMARK_HAVE_MYPAINT
#include <omp.h>

extern "C" {
#include <mypaint-brush.h>
#include <mypaint-fixed-tiled-surface.h>
}
#endif

namespace brenmark::bench {

#if BRENMARK_HAVE_MYPAINT

// The peer's fixed tiled surface of width x height with its dab function
// wrapped to count. The peer renders its tiles with OpenMP; it runs on one
// thread here, as ours does. One surface lives at a time.
struct PeerSurface {
  PeerSurface(int width, int height) {
    omp_set_num_threads(1);
    fixed = mypaint_fixed_tiled_surface_new(width, height);
    surface = mypaint_fixed_tiled_surface_interface(fixed);
    drawDab = surface->draw_dab;
    surface->draw_dab = &Count;
    current = this;
  }
  ~PeerSurface() {
    current = nullptr;
    mypaint_surface_unref(surface);
  }
  PeerSurface(const PeerSurface&) = delete;
  PeerSurface& operator=(const PeerSurface&) = delete;

  static int Count(MyPaintSurface* s, float x, float y, float radius, float r, float g, float b,
                   float opaque, float hardness, float eraser, float aspect, float angle,
                   float lockAlpha, float colorize) {
    ++current->dabs;
    return current->drawDab(s, x, y, radius, r, g, b, opaque, hardness, eraser, aspect, angle,
                            lockAlpha, colorize);
  }

  MyPaintFixedTiledSurface* fixed;
  MyPaintSurface* surface;
  MyPaintSurfaceDrawDabFunction drawDab;
  std::int64_t dabs = 0;
  static inline PeerSurface* current = nullptr;
};

#endif  // BRENMARK_HAVE_MYPAINT

}  // namespace brenmark::bench
