// Timing ours and a peer alike, for every bench that compares the two.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>

namespace brenmark::bench {

// The calling thread's CPU time in seconds. Both sides run on this thread
// (a peer that threads is held to this one thread), and CPU time leaves out the
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

// Runs ours and the peer once per iteration, alternating which goes first
// so that neither always inherits the other's cache state; each
// iteration's (manual) time is ours. Adds to the two totals.
template <typename Ours, typename Peer>
void SideBySide(benchmark::State& state, Ours&& ours, Peer&& peer, double* tOurs, double* tPeer) {
  bool oursFirst = true;
  for (auto _ : state) {
    state.SetIterationTime(TimeBoth(oursFirst, ours, peer, tOurs, tPeer));
    oursFirst = !oursFirst;
  }
}

// Both sides' rates for `pixels` per iteration and ratio = peer time / our
// time (above 1: we are faster).
inline void ReportPixelRates(benchmark::State& state, double tOurs, double tPeer, double pixels,
                             const char* peerKey = "peer_Mpx_s") {
  const double px = pixels * static_cast<double>(state.iterations());
  state.counters["ours_Mpx_s"] = px / tOurs / 1e6;
  state.counters[peerKey] = px / tPeer / 1e6;
  state.counters["ratio"] = tPeer / tOurs;
  state.SetItemsProcessed(static_cast<std::int64_t>(px));
}

}  // namespace brenmark::bench
