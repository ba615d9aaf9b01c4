// What the brush benches share: timing ours and the peer back to back, and
// libmypaint's fixed tiled surface with its dab function wrapped to count.
#pragma once

#include <time.h>

#include <cstdint>

#if BRENMARK_HAVE_MYPAINT
#include <omp.h>

extern "C" {
#include <mypaint-brush.h>
#include <mypaint-fixed-tiled-surface.h>
}
#endif

namespace brenmark::bench {

// The calling thread's CPU time in seconds. Both sides run on this thread
// (the peer's OpenMP team is this thread alone), and CPU time leaves out the
// time other processes take the core away, which on the shared build
// machine would otherwise land on whichever side happened to be running.
inline double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Times ours and the peer back to back in the given order (thread CPU
// time); adds to the totals and answers our time.
template <typename Ours, typename Peer>
double TimeBoth(bool oursFirst, Ours&& ours, Peer&& peer, double* tOurs, double* tPeer) {
  const double t0 = ThreadSeconds();
  if (oursFirst) {
    ours();
  } else {
    peer();
  }
  const double t1 = ThreadSeconds();
  if (oursFirst) {
    peer();
  } else {
    ours();
  }
  const double t2 = ThreadSeconds();
  const double a = oursFirst ? t1 - t0 : t2 - t1;
  const double b = oursFirst ? t2 - t1 : t1 - t0;
  *tOurs += a;
  *tPeer += b;
  return a;
}

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
