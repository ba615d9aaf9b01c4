// Property tests with fixed seeds: every SIMD kernel this processor runs must
// produce the scalar kernel's output bit for bit, on random rows of every
// length around the vector widths, unaligned, for every write mask, dither
// phase and strength. (The block switch runs the same code at every level
// and hands the rows to these kernels; its choices are pinned in the block
// tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "paintops/blend_kernels.h"

namespace brenmark {
namespace {

constexpr std::uint8_t kDithers[] = {0, 1, 0x3F, 0x80, 0xC0, 0xFF};

std::vector<int> RowLengths() {
  std::vector<int> n;
  for (int i = 0; i <= 67; ++i) n.push_back(i);
  for (int i : {127, 128, 129, 200, 256, 301}) n.push_back(i);
  return n;
}

// Pixels drawn from the values the fast paths single out (alpha 0 and 255,
// all zero, all ones, premultiplied colours) mixed with arbitrary words.
class PixelSource {
 public:
  explicit PixelSource(std::uint32_t seed) : rng_(seed) {}

  std::uint32_t Pixel() {
    switch (Below(8)) {
      case 0:
        return 0;
      case 1:
        return 0xFFFFFFFFu;
      case 2:
        return 0xFF000000u | (Word() & 0x00FFFFFFu);
      case 3:
        return Word() & 0x00FFFFFFu;
      case 4:
      case 5: {
        const std::uint32_t a = Below(256);
        std::uint32_t p = a << 24;
        for (int c = 0; c < 3; ++c) p |= (Below(256) * a / 255) << (8 * c);
        return p;
      }
      default:
        return Word();
    }
  }

  std::uint8_t Byte() {
    switch (Below(4)) {
      case 0:
        return 0;
      case 1:
        return 255;
      default:
        return static_cast<std::uint8_t>(Below(256));
    }
  }

  // Runs of equal pixels let the all-transparent and all-opaque shortcuts fire.
  template <typename T>
  void Fill(std::vector<T>& v) {
    for (std::size_t i = 0; i < v.size();) {
      const std::size_t run = Below(3) == 0 ? 1 + Below(12) : 1;
      const T p = sizeof(T) == 1 ? static_cast<T>(Byte()) : static_cast<T>(Pixel());
      for (std::size_t k = 0; k < run && i < v.size(); ++k, ++i) v[i] = p;
    }
  }

  std::uint32_t Word() { return static_cast<std::uint32_t>(rng_()); }
  std::uint32_t Below(std::uint32_t n) { return Word() % n; }

 private:
  std::mt19937 rng_;
};

std::vector<const BlendKernels*> SimdTables() {
  std::vector<const BlendKernels*> out;
  for (SimdLevel level : {SimdLevel::kSse2, SimdLevel::kAvx2}) {
    if (const BlendKernels* k = KernelsFor(level)) out.push_back(k);
  }
  return out;
}

::testing::AssertionResult SameRow(const std::vector<std::uint32_t>& want,
                                   const std::vector<std::uint32_t>& got, const std::string& what) {
  const auto [w, g] = std::mismatch(want.begin(), want.end(), got.begin());
  if (w == want.end()) return ::testing::AssertionSuccess();
  char values[64];
  std::snprintf(values, sizeof values, "scalar 0x%08X, simd 0x%08X", *w, *g);
  return ::testing::AssertionFailure()
         << what << ": first difference at pixel " << (w - want.begin()) << " of " << want.size()
         << ", " << values;
}

// Runs `op` on a scalar copy and a SIMD copy of the same random rows, offset
// by `shift` pixels (and coverage bytes) so vector loads are unaligned.
struct RowCase {
  std::vector<std::uint32_t> d, s, low;
  std::vector<std::uint8_t> m;
};

RowCase MakeRow(PixelSource& src, int n) {
  RowCase c{std::vector<std::uint32_t>(n + 3), std::vector<std::uint32_t>(n + 3),
            std::vector<std::uint32_t>(n + 3), std::vector<std::uint8_t>(n + 7)};
  for (auto* v : {&c.d, &c.s, &c.low}) src.Fill(*v);
  src.Fill(c.m);
  return c;
}

TEST(SimdEquivalence, KernelsMatchScalarOnRandomRows) {
  const BlendKernels& ref = *KernelsFor(SimdLevel::kScalar);
  const std::uint32_t masks[] = {0xFFFFFFFFu, 0xFFFFFF00u, 0x00FFFFFFu, 0xFFFF00FFu};
  for (const BlendKernels* simd : SimdTables()) {
    PixelSource rnd(0xB1E4D + static_cast<std::uint32_t>(simd->level));
    for (int n : RowLengths()) {
      for (int rep = 0; rep < 4; ++rep) {
        const RowCase base = MakeRow(rnd, n);
        const int shift = rep % 3;
        const int mshift = (rep * 3) % 7;
        const std::string tag =
            std::string(simd->name) + " n=" + std::to_string(n) + " shift=" + std::to_string(shift);
        auto check = [&](const char* name, auto&& op) {
          RowCase a = base;
          RowCase b = base;
          op(ref, a.d.data() + shift, a.s.data() + shift, a.low.data() + shift,
             a.m.data() + mshift);
          op(*simd, b.d.data() + shift, b.s.data() + shift, b.low.data() + shift,
             b.m.data() + mshift);
          EXPECT_TRUE(SameRow(a.d, b.d, tag + " " + name + " dst"));
          EXPECT_TRUE(SameRow(a.low, b.low, tag + " " + name + " low"));
        };
        const std::uint32_t konst = rnd.Pixel();
        const std::uint8_t dither = kDithers[rnd.Below(6)];
        const int k16 = (n * 4 + rep) * 37 % 256;  // every opacity over the run
        const std::uint32_t factor = rnd.Below(257);
        const std::uint32_t mask = masks[rnd.Below(4)];
        using K = const BlendKernels&;
        using P = std::uint32_t*;
        using B = std::uint8_t*;
        check("copy_masked", [&](K k, P d, P s, P, B) { k.copy_masked(d, s, n, mask); });
        check("over", [&](K k, P d, P s, P, B) { k.over(d, s, n); });
        check("over_const", [&](K k, P d, P, P, B) { k.over_const(d, konst, n); });
        check("brush_const", [&](K k, P d, P, P, B m) { k.brush_const(d, konst, m, n, dither); });
        check("brush", [&](K k, P d, P s, P, B m) { k.brush(d, s, m, n, dither); });
        check("brush16_const",
              [&](K k, P d, P, P l, B m) { k.brush16_const(d, l, konst, m, n, k16, dither); });
        check("erase_by_row", [&](K k, P d, P, P, B m) { k.erase_by_row(d, m, n); });
        check("keep_by_row", [&](K k, P d, P, P, B m) { k.keep_by_row(d, m, n); });
        check("multiply", [&](K k, P d, P s, P, B) { k.multiply(d, s, n); });
        check("scale_const", [&](K k, P d, P, P, B) { k.scale_const(d, factor, n); });
      }
    }
  }
}

TEST(SimdDispatch, LevelsParseAndScalarIsAlwaysThere) {
  EXPECT_EQ(ParseSimdLevel("scalar", SimdLevel::kAvx2), SimdLevel::kScalar);
  EXPECT_EQ(ParseSimdLevel("SSE2", SimdLevel::kScalar), SimdLevel::kSse2);
  EXPECT_EQ(ParseSimdLevel("avx2", SimdLevel::kScalar), SimdLevel::kAvx2);
  EXPECT_EQ(ParseSimdLevel("avx512", SimdLevel::kSse2), SimdLevel::kSse2);
  EXPECT_EQ(ParseSimdLevel(nullptr, SimdLevel::kSse2), SimdLevel::kSse2);
  ASSERT_NE(KernelsFor(SimdLevel::kScalar), nullptr);
  EXPECT_NE(KernelsFor(BestSimdLevel()), nullptr);
  EXPECT_NE(ActiveKernels().name, nullptr);
}

// The level is chosen once per process, so each forced level runs in a
// freshly started child process.
TEST(SimdDispatchDeathTest, EnvironmentForcesTheLevel) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    const char* value;
    SimdLevel level;
  } cases[] = {{"scalar", SimdLevel::kScalar},
               {"sse2", SimdLevel::kSse2},
               {"no-such-level", BestSimdLevel()}};
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          setenv("BRENMARK_SIMD", c.value, 1);
          std::exit(static_cast<int>(ActiveKernels().level));
        },
        testing::ExitedWithCode(static_cast<int>(c.level)), "")
        << c.value;
  }
}

}  // namespace
}  // namespace brenmark
