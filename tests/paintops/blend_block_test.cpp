// The block switch: which case runs for which settings, and the edge cases
// a painter relies on (constant sources, write masks, coverage 0, mask blend,
// zoomed copies).
#include "paintops/blend_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "paintops/blend_rows.h"

namespace brenmark {
namespace {

using Px = std::vector<std::uint32_t>;

// A w x h four-channel block over one buffer, with optional coverage.
struct Fixture4 {
  int w;
  int h;
  std::vector<std::uint32_t> dst;
  std::vector<std::uint32_t> src;
  std::vector<std::uint8_t> cov;
  std::vector<std::uint32_t> low;

  Fixture4(int width, int height, std::uint32_t d, std::uint32_t s)
      : w(width),
        h(height),
        dst(static_cast<std::size_t>(width) * height, d),
        src(static_cast<std::size_t>(width) * height, s),
        cov(static_cast<std::size_t>(width) * height, 255),
        low(static_cast<std::size_t>(width) * height, 0x7F7F7F7Fu) {}

  BlendRows Rows(bool constant, bool coverage, bool with_low = false) {
    BlendRows r;
    r.width = w;
    r.height = h;
    r.dst = dst.data();
    r.dst_stride = w * 4;
    r.src = src.data();
    r.src_stride = constant ? 0 : w * 4;
    r.src_constant = constant;
    if (coverage) {
      r.cov = cov.data();
      r.cov_stride = w;
    }
    if (with_low) {
      r.low = low.data();
      r.low_stride = w * 4;
    }
    return r;
  }
};

// One row of `width` pixels over caller buffers.
BlendRows Row(void* dst, const void* src, int width, bool constant = false,
              const std::uint8_t* cov = nullptr) {
  BlendRows r;
  r.width = width;
  r.height = 1;
  r.dst = dst;
  r.src = src;
  r.src_constant = constant;
  r.cov = cov;
  return r;
}

BlendSetup Pair(int sf, int df) {
  BlendSetup st;
  st.src_factor = sf;
  st.dst_factor = df;
  return st;
}

// Uniform four-channel blocks (every destination pixel d, every source
// pixel s, coverage 255 where given): the case the switch takes and the
// pixel every destination ends with.
TEST(BlendBlock, CaseAndPixelsForEachSetting) {
  using enum BlendCase;
  const std::uint32_t kNoAlpha = 0xFFFFFF00u;  // bits 0-7 locked
  const struct {
    const char* what;
    int sf, df;
    std::uint32_t d, s;
    bool constant, coverage;
    BlendCase chosen;
    std::uint32_t want;
    std::uint32_t mask = ~0u, scale = ~0u, offset = 0;  // write mask, packed scale and offset
  } cases[] = {
      {"opaque constant over", 1, 7, 0x80402010u, 0xFF336699u, true, false, kFill, 0xFF336699u},
      {"transparent constant over", 1, 7, 0x80402010u, 0u, true, false, kNothing, 0x80402010u},
      {"premultiplied over", 1, 7, 0x80402010u, 0x40102030u, false, false, kOver, 0xA040383Cu},
      // A partial write mask skips the fast cases; bits 0-7 kept.
      {"over, bits 0-7 locked", 1, 7, 0x80402010u, 0x40102030u, false, false, kGeneral, 0xA0403810u,
       kNoAlpha, ~0u, 0},
      // The general lerp truncates each product: 255 at coverage 255 gives 254.
      {"brush, bits 0-7 locked", 6, 7, 0x10203040u, 0xFF0000FFu, true, true, kGeneral, 0xFE000040u,
       kNoAlpha, ~0u, 0},
      // (8, 0): destination alpha 255 takes the source as it is.
      {"(8, 0) opaque destination", 8, 0, 0xFF000000u, 0x4511233Bu, true, false, kDstAlpha,
       0x4511233Bu},
      {"(8, 0)", 8, 0, 0xA0432917u, 0x4511233Bu, true, false, kDstAlpha, 0x2B0A1524u},
      // (0, 6): a constant alpha of 255 is left to the general blend (255/256).
      {"(0, 6) constant 255", 0, 6, 0xA0432917u, 0xFF000000u, true, false, kGeneral, 0x9F422816u},
      {"(0, 6) constant 0", 0, 6, 0xA0432917u, 0x00123456u, true, false, kFill, 0u},
      // (0, 6) per pixel multiplies channel by channel; all-ones keeps.
      {"(0, 6) per pixel", 0, 6, 0xA0432917u, 0x80FF40C0u, false, false, kMultiply, 0x50420A11u},
      {"(0, 6) all ones", 0, 6, 0xA0432917u, 0xFFFFFFFFu, false, false, kMultiply, 0xA0432917u},
      // Scale bytes (bit 0 up) 0xFF, 0x40, 0xFF, 0x7F and 0x10 on bits 16-23
      // follow the fast copy; a constant replace is a general blend without them.
      {"scaled copy", 1, 0, 0u, 0x80FF4020u, false, false, kCopy, 0x3FFF1020u, ~0u, 0x7FFF40FFu,
       0x00100000u},
      {"scaled constant replace", 1, 0, 0u, 0x80FF4020u, true, false, kGeneral, 0x80FF4020u, ~0u,
       0x7FFF40FFu, 0x00100000u},
      {"no such factor", 2, 0, 0x12345678u, ~0u, false, false, kNothing, 0x12345678u},
  };
  for (const auto& c : cases) {
    Fixture4 f(3, 2, c.d, c.s);
    BlendSetup st = Pair(c.sf, c.df);
    st.write_mask = c.mask;
    st.packed_scale = c.scale;
    st.packed_offset = c.offset;
    const BlendOutcome out = BlendBlock(st, f.Rows(c.constant, c.coverage));
    EXPECT_EQ(out.chosen, c.chosen) << c.what;
    EXPECT_EQ(out.used_dither, c.coverage) << c.what;  // only the brush dithers
    for (std::uint32_t p : f.dst) ASSERT_EQ(p, c.want) << c.what;
  }
  // An empty block and a three-channel destination write nothing.
  Fixture4 f(2, 1, 0x12345678u, 0xFFFFFFFFu);
  BlendRows r = f.Rows(false, false);
  r.width = 0;
  EXPECT_EQ(BlendBlock(Pair(1, 0), r).chosen, BlendCase::kNothing);
  BlendSetup st = Pair(1, 0);
  st.dst_channels = 3;
  EXPECT_EQ(BlendBlock(st, f.Rows(false, false)).chosen, BlendCase::kNothing);
  EXPECT_EQ(f.dst[0], 0x12345678u);
}

TEST(BlendBlock, BrushBlendTakesTheFirstSourcePixelAsColour) {
  // Single-colour stamps: every pixel gets the first source pixel's colour
  // at its own coverage.
  Fixture4 f(4, 1, 0u, 0x11111111u);
  f.src[0] = 0xFF0000FFu;
  f.cov = {128, 0, 255, 64};
  BlendSetup st = Pair(6, 7);
  const BlendOutcome out = BlendBlock(st, f.Rows(false, true));
  EXPECT_EQ(out.chosen, BlendCase::kBrush);
  EXPECT_TRUE(out.used_dither);
  // Coverage 255: (255 * 255) >> 8 = 254.
  EXPECT_EQ(f.dst, (Px{0x7F00007Fu, 0u, 0xFE0000FEu, 0x3F00003Fu}));

  // Per-pixel stamps when single colour is off.
  Fixture4 p(2, 1, 0u, 0xFF0000FFu);
  p.src[1] = 0xFFFF0000u;
  st.single_color = false;
  BlendBlock(st, p.Rows(false, true));
  EXPECT_EQ(p.dst, (Px{0xFE0000FEu, 0xFEFE0000u}));
}

TEST(BlendBlock, SixteenBitBrushAndMarkerNeedTheirLowOrderRows) {
  BlendSetup st = Pair(6, 7);
  st.stamp16 = true;
  st.opacity16 = Opacity16(1.0f);
  Fixture4 f(3, 1, 0u, 0xFF0000FFu);
  // Its pixels and low bits are pinned on the row.
  EXPECT_EQ(BlendBlock(st, f.Rows(true, true, true)).chosen, BlendCase::kBrush16);

  // Without them the 16-bit brush falls back to the 8-bit one.
  Fixture4 g(3, 1, 0u, 0xFF0000FFu);
  EXPECT_EQ(BlendBlock(st, g.Rows(true, true, false)).chosen, BlendCase::kBrush);
  // The marker writes nothing at all without them.
  st.stamp16 = false;
  st.marker = true;
  st.marker_k = MarkerStrength(0.5f);
  Fixture4 m(3, 2, 0x80402010u, 0xFF2080C0u);
  EXPECT_EQ(BlendBlock(st, m.Rows(true, true, false)).chosen, BlendCase::kNothing);
  EXPECT_EQ(m.dst, Px(6, 0x80402010u));
  const BlendOutcome out = BlendBlock(st, m.Rows(true, true, true));
  EXPECT_EQ(out.chosen, BlendCase::kMarker);
  EXPECT_TRUE(out.used_dither);
  EXPECT_EQ(m.dst, Px(6, 0x913C291Du));
}

TEST(BlendBlock, OneChannelSourceScalesFourChannels) {
  std::vector<std::uint32_t> dst(3, 0xA0432917u);
  const std::uint8_t m[3] = {0x40, 0, 255};
  BlendRows r = Row(dst.data(), m, 3);
  BlendSetup st = Pair(0, 7);
  st.src_channels = 1;
  EXPECT_EQ(BlendBlock(st, r).chosen, BlendCase::kEraseByRow);
  EXPECT_EQ(dst, (Px{0x78321E11u, 0xA0432917u, 0u}));

  dst.assign(3, 0xA0432917u);
  r.src = m + 2;  // constant 255
  r.src_constant = true;
  st.dst_factor = 6;
  EXPECT_EQ(BlendBlock(st, r).chosen, BlendCase::kNothing);
  EXPECT_EQ(dst[0], 0xA0432917u);
}

TEST(BlendBlock, OneChannelBlocks) {
  std::vector<std::uint8_t> dst(4, 0xA3);
  const std::uint8_t cov[4] = {0x93, 0, 0x93, 0x93};
  const std::uint32_t colour = 0x4511233Bu;
  BlendSetup st = Pair(6, 7);
  st.dst_channels = 1;
  EXPECT_EQ(BlendBlock(st, Row(dst.data(), &colour, 4, true, cov)).chosen, BlendCase::kBrush);
  EXPECT_EQ((std::tuple{dst[0], dst[1]}), (std::tuple{109, 0xA3}));

  // (0, 6) with a constant 255 keeps the destination.
  const std::uint8_t full = 255;
  std::vector<std::uint8_t> keep(2, 0xA3);
  const BlendRows k = Row(keep.data(), &full, 2, true);
  BlendSetup ks = Pair(0, 6);
  ks.dst_channels = 1;
  ks.src_channels = 1;
  EXPECT_EQ(BlendBlock(ks, k).chosen, BlendCase::kNothing);
  EXPECT_EQ(keep[0], 0xA3);
  // (1, 7) with a constant 255 fills.
  ks.src_factor = 1;
  ks.dst_factor = 7;
  EXPECT_EQ((std::tuple{BlendBlock(ks, k).chosen, keep[1]}), (std::tuple{BlendCase::kFill, 255}));
}

TEST(BlendBlock, MaskBlendRevealsTheCopyAndRefusesBadParameters) {
  std::vector<std::uint32_t> dst(3, 0x20406080u);
  const std::vector<std::uint32_t> copy(3, 0xFF102030u);
  const std::uint8_t m[3] = {0x40, 0, 255};
  BlendRows r = Row(dst.data(), m, 3);
  r.dst_copy = copy.data();
  BlendSetup st = Pair(1, 0);
  st.src_channels = 1;
  st.mask_blend = true;
  st.write_mask = 0xFFFFFF00u;  // still honoured
  EXPECT_EQ(BlendBlock(st, r).chosen, BlendCase::kMaskBlend);
  EXPECT_EQ(dst, (Px{0x57345080u, 0x20406080u, 0xFF102080u}));

  // Without the copy: the message, then the ordinary (1, 0) blend.
  dst.assign(3, 0x20406080u);
  r.dst_copy = nullptr;
  st.write_mask = ~0u;
  testing::internal::CaptureStderr();
  const BlendOutcome out = BlendBlock(st, r);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "SID:Invalid parms for mask blend\n");
  EXPECT_EQ((std::tuple{out.chosen, dst[0]}), (std::tuple{BlendCase::kGeneral, 0x40000000u}));
}

TEST(ZoomedCopy, ColumnMapRoundsHalvesAwayFromZero) {
  // 4 x 4 source at (0, 0), zoom 2, destination 8 wide at 0: columns take
  // 0, 1, 1, 2, 2, 3, 3 and column 7 (source 4) is outside.
  std::vector<int> map(8, -99);
  const ZoomRun run = MapZoomedSpan(0, 0, 8, 2.0, 0, 0, 4, map.data());
  EXPECT_EQ((std::tuple{run.offset, run.count}), (std::tuple{0, 7}));
  EXPECT_EQ(map, (std::vector<int>{0, 1, 1, 2, 2, 3, 3, -99}));

  // Negative columns round away from zero too: -1.5 -> -2, -0.5 -> -1.
  std::vector<int> neg(3);
  const ZoomRun n = MapZoomedSpan(0, -3, 3, 2.0, 0, -5, 5, neg.data());
  EXPECT_EQ(n.count, 3);
  EXPECT_EQ(neg, (std::vector<int>{-2, -1, -1}));

  // A page starting inside the span; a source that begins at column 2.
  std::vector<int> part(4, -99);
  const ZoomRun p = MapZoomedSpan(0, 2, 4, 2.0, 0, 2, 4, part.data());
  EXPECT_EQ(p.offset, 1);  // column 2 -> 1, outside
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(part, (std::vector<int>{-99, 2, 2, 3}));

  EXPECT_EQ(MapZoomedSpan(0, 0, 8, 0.0, 0, 0, 4, map.data()).count, 0);
}

}  // namespace
}  // namespace brenmark
