// Exact pixels at chosen places: one assertion over a list of probes that
// names every pixel that misses, shared by the picture tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

namespace brenmark::test_probes {

// A place (x, y) and the packed value expected there.
struct Probe {
  int x, y;
  std::uint32_t v;
};

// Checks every probe against what `get(x, y)` reads.
template <typename Get>
::testing::AssertionResult PixelsAt(const Get& get, std::initializer_list<Probe> probes) {
  ::testing::AssertionResult r = ::testing::AssertionSuccess();
  bool ok = true;
  for (const Probe& p : probes) {
    const std::uint32_t got = get(p.x, p.y);
    if (got == p.v) continue;
    if (ok) r = ::testing::AssertionFailure();
    ok = false;
    r << "(" << p.x << ", " << p.y << "): 0x" << std::hex << got << " not 0x" << p.v << std::dec
      << "; ";
  }
  return r;
}

}  // namespace brenmark::test_probes
