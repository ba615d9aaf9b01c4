// The dither counter: advance rule, skipped counters, bit-reversed values.
#include "paintops/dither.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "paintops/fixed_point.h"

namespace brenmark {
namespace {

// The counter skips values whose low six bits are zero, so once started no
// dithered blend uses one of the four smallest biases (their reversed low
// bytes are 0..3), and consecutive blends never share a bias. The advance
// rule itself is checked through the painter.
TEST(Dither, CounterSkipsValuesWhoseLowSixBitsAreZero) {
  std::uint32_t c = 0;
  std::uint8_t previous = fixed::ReverseByte(c);
  EXPECT_EQ(previous, 0);  // the first dithered blend truncates
  for (int i = 1; i <= 1000; ++i) {
    c = NextDitherCounter(c);
    if (i == 64 || i == 127) {
      EXPECT_EQ(c, i == 64 ? 65u : 129u);  // 64 and 128 skipped
    }
    ASSERT_NE(c & 0x3Fu, 0u) << c;
    const std::uint8_t v = fixed::ReverseByte(c);
    ASSERT_NE(v, previous);
    ASSERT_GE(v, 4) << "counter " << c;
    previous = v;
  }
}

}  // namespace
}  // namespace brenmark
