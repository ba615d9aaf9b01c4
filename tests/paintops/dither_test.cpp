// The dither counter: advance rule, skipped counters, bit-reversed values.
#include "paintops/dither.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "paintops/fixed_point.h"

namespace brenmark {
namespace {

TEST(Dither, CounterSkipsValuesWhoseLowSixBitsAreZero) {
  std::vector<std::uint32_t> seen;
  std::uint32_t c = 0;
  for (int i = 0; i < 300; ++i) {
    c = NextDitherCounter(c);
    seen.push_back(c);
  }
  EXPECT_EQ(seen[0], 1u);
  EXPECT_EQ(seen[62], 63u);
  EXPECT_EQ(seen[63], 65u);  // 64 skipped
  EXPECT_EQ(seen[125], 127u);
  EXPECT_EQ(seen[126], 129u);  // 128 skipped
  for (std::uint32_t v : seen) EXPECT_NE(v & 0x3Fu, 0u) << v;
}

TEST(Dither, ConsecutiveDitheredBlendsUseDifferentBiases) {
  // Never four-smallest values once started: the skipped counters are the
  // ones whose reversed low byte is 0..3.
  std::uint32_t c = 0;
  std::uint8_t previous = fixed::ReverseByte(c);
  EXPECT_EQ(previous, 0);  // the first dithered blend truncates
  for (int i = 0; i < 1000; ++i) {
    c = NextDitherCounter(c);
    const std::uint8_t v = fixed::ReverseByte(c);
    EXPECT_NE(v, previous);
    EXPECT_GE(v, 4) << "counter " << c;
    previous = v;
  }
}

TEST(Dither, BlendAdvancesOnlyAfterAUse) {
  BlendDither::BeginBlend();  // settle any earlier use
  const std::uint32_t start = BlendDither::Counter();
  BlendDither::BeginBlend();
  EXPECT_EQ(BlendDither::Counter(), start);  // nothing used: no advance
  BlendDither::MarkUsed();
  EXPECT_TRUE(BlendDither::Used());
  EXPECT_EQ(BlendDither::Counter(), start);  // marking alone does not advance
  BlendDither::BeginBlend();
  EXPECT_EQ(BlendDither::Counter(), NextDitherCounter(start));
  EXPECT_FALSE(BlendDither::Used());
  EXPECT_EQ(BlendDither::Value(), fixed::ReverseByte(NextDitherCounter(start)));
}

}  // namespace
}  // namespace brenmark
