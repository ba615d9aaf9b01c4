// Property tests with fixed seeds: every SIMD level this processor runs must
// produce the scalar reference's output bit for bit, on random rows of every
// length around the vector widths, for every blend pair, channel combination,
// write mask and dither phase.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "paintops/blend_block.h"
#include "paintops/blend_kernels.h"
#include "paintops/blend_rows.h"

namespace brenmark {
namespace {

constexpr int kCodes[6] = {0, 1, 6, 7, 8, 9};
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

template <typename T>
::testing::AssertionResult SameRow(const std::vector<T>& want, const std::vector<T>& got,
                                   const std::string& what) {
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (want[i] != got[i]) {
      char values[64];
      std::snprintf(values, sizeof values, "scalar 0x%08X, simd 0x%08X",
                    static_cast<unsigned>(want[i]), static_cast<unsigned>(got[i]));
      return ::testing::AssertionFailure() << what << ": first difference at pixel " << i << " of "
                                           << want.size() << ", " << values;
    }
  }
  return ::testing::AssertionSuccess();
}

// Runs `op` on a scalar copy and a SIMD copy of the same random rows, offset
// by `shift` pixels (and coverage bytes) so vector loads are unaligned.
struct RowCase {
  std::vector<std::uint32_t> d, s, low;
  std::vector<std::uint8_t> m;
};

RowCase MakeRow(PixelSource& src, int n) {
  RowCase c;
  c.d.resize(n + 3);
  c.s.resize(n + 3);
  c.low.resize(n + 3);
  c.m.resize(n + 7);
  src.Fill(c.d);
  src.Fill(c.s);
  src.Fill(c.low);
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

// A block of random rows for BlendBlock, in byte buffers of either layout.
struct Block {
  int w = 0, h = 0;
  std::vector<std::uint32_t> dst, src, low, copy;
  std::vector<std::uint8_t> cov;
};

BlendRows RowsOf(Block& b, const BlendSetup& st, bool constant, bool coverage, bool low,
                 bool copy) {
  BlendRows r;
  r.width = b.w;
  r.height = b.h;
  r.dst = b.dst.data();
  r.dst_stride = std::ptrdiff_t{b.w} * st.dst_channels + 4;  // padded rows
  r.src = b.src.data();
  r.src_stride = constant ? 0 : std::ptrdiff_t{b.w} * st.src_channels + 8;
  r.src_constant = constant;
  if (coverage) {
    r.cov = b.cov.data() + 1;
    r.cov_stride = b.w + 3;
  }
  if (low) {
    r.low = b.low.data();
    r.low_stride = r.dst_stride;
  }
  if (copy) {
    r.dst_copy = b.copy.data();
    r.dst_copy_stride = r.dst_stride;
  }
  return r;
}

Block MakeBlock(PixelSource& rnd, int w, int h) {
  Block b;
  b.w = w;
  b.h = h;
  const std::size_t words = static_cast<std::size_t>(h) * (w + 4) + 8;
  b.dst.resize(words);
  b.src.resize(words + static_cast<std::size_t>(h) * 2);
  b.low.resize(words);
  b.copy.resize(words);
  b.cov.resize(static_cast<std::size_t>(h) * (w + 3) + 8);
  rnd.Fill(b.dst);
  rnd.Fill(b.src);
  rnd.Fill(b.low);
  rnd.Fill(b.copy);
  rnd.Fill(b.cov);
  return b;
}

TEST(SimdEquivalence, BlocksMatchScalarForEveryPairAndChannelCombination) {
  const BlendKernels& ref = *KernelsFor(SimdLevel::kScalar);
  const int combos[4][2] = {{4, 4}, {4, 1}, {1, 4}, {1, 1}};
  for (const BlendKernels* simd : SimdTables()) {
    PixelSource rnd(0x5EED);
    for (const auto& combo : combos) {
      for (int sf : kCodes) {
        for (int df : kCodes) {
          for (int variant = 0; variant < 24; ++variant) {
            BlendSetup st;
            st.dst_channels = combo[0];
            st.src_channels = combo[1];
            st.src_factor = sf;
            st.dst_factor = df;
            const bool constant = variant & 1;
            const bool coverage = variant & 2;
            st.write_mask = (variant & 4) ? (combo[0] == 4 ? 0xFFFFFF00u : 0x00FFFFFFu) : ~0u;
            st.dither = kDithers[variant % 6];
            st.single_color = variant % 3 == 0;
            st.stamp16 = variant % 5 == 1;
            st.opacity16 = static_cast<int>(rnd.Below(256));
            st.marker = variant % 7 == 3;
            st.marker_k = MarkerStrength(static_cast<float>(rnd.Below(101)) / 100.0f);
            if (variant % 8 == 5) {
              st.packed_scale = rnd.Word();
              st.packed_offset = rnd.Word() & 0x3F3F3F3Fu;
            }
            const int w = 1 + static_cast<int>(rnd.Below(67));
            const int h = 1 + static_cast<int>(rnd.Below(3));
            Block a = MakeBlock(rnd, w, h);
            Block b = a;
            const bool low = variant % 4 != 2;
            const BlendOutcome ra =
                BlendBlock(st, RowsOf(a, st, constant, coverage, low, false), ref);
            const BlendOutcome rb =
                BlendBlock(st, RowsOf(b, st, constant, coverage, low, false), *simd);
            const std::string tag = std::string(simd->name) + " " + std::to_string(combo[0]) + "/" +
                                    std::to_string(combo[1]) + " (" + std::to_string(sf) + ", " +
                                    std::to_string(df) + ") variant " + std::to_string(variant) +
                                    " w " + std::to_string(w);
            EXPECT_EQ(ra.chosen, rb.chosen) << tag;
            EXPECT_EQ(ra.used_dither, rb.used_dither) << tag;
            ASSERT_TRUE(SameRow(a.dst, b.dst, tag));
            ASSERT_TRUE(SameRow(a.low, b.low, tag + " low"));
          }
        }
      }
    }
  }
}

TEST(SimdEquivalence, SpanBlocksMatchScalar) {
  const BlendKernels& ref = *KernelsFor(SimdLevel::kScalar);
  for (const BlendKernels* simd : SimdTables()) {
    PixelSource rnd(4242);
    for (int trial = 0; trial < 200; ++trial) {
      BlendSetup st;
      st.src_factor = trial % 2 ? 6 : 1;
      st.dst_factor = 7;
      st.dither = kDithers[trial % 6];
      st.single_color = trial % 4 == 0;
      const bool coverage = trial % 3 != 0;
      const int w = 1 + static_cast<int>(rnd.Below(300));
      const int h = 1 + static_cast<int>(rnd.Below(3));
      Block a = MakeBlock(rnd, w, h);
      Block b = a;
      std::vector<int> cols(w);
      std::vector<int> row_map(h);
      for (int& c : cols) c = static_cast<int>(rnd.Below(w));
      for (int& r : row_map) r = static_cast<int>(rnd.Below(h));
      BlendSpanBlock(st, RowsOf(a, st, false, coverage, false, false), cols.data(), row_map.data(),
                     ref);
      BlendSpanBlock(st, RowsOf(b, st, false, coverage, false, false), cols.data(), row_map.data(),
                     *simd);
      ASSERT_TRUE(
          SameRow(a.dst, b.dst, std::string(simd->name) + " trial " + std::to_string(trial)));
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
