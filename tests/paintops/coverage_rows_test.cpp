// Coverage read in place: a memory coverage image is locked once per call and
// its rows, a whole image width apart, are fetched ahead of the brush rows.
// The pixels must be those of coverage read page by page or gathered.
#include <brenmark/paint_ops.h>
#include <brenmark/soft_paint_ops.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "painter_images.h"
#include "paintops/blend_block.h"
#include "paintops/blend_rows.h"
#include "paintops/dither.h"

namespace {

using namespace painter_test;
using brenmark::BlendDither;

std::uint32_t DstAt(int x, int y) {
  return 0xFF000000u | static_cast<std::uint32_t>((x * 7 + y * 131) & 0xFFFFFF);
}
std::uint32_t SrcAt(int x, int y) {
  const std::uint32_t a = 0x40u + ((x * 5 + y * 3) & 0xBF);
  return a << 24 | (a * 3 / 4) << 16 | (a / 2) << 8 | ((x + y) % a);
}
// Runs of zero coverage, so that whole groups of eight are skipped too.
std::uint8_t CoverageAt(int u, int v) {
  return (u / 9 + v) % 4 == 3 ? 0 : static_cast<std::uint8_t>((u * 37 + v * 11 + 101) & 0xFF);
}

// The next blend dithers with bit-reverse(low).
void PinDither(std::uint8_t low) {
  while ((BlendDither::Counter() & 0xFF) != low || BlendDither::Used()) {
    BlendDither::MarkUsed();
    BlendDither::BeginBlend();
  }
}

struct Rect {
  int x, y, nx, ny;
};
// Target page seams at 128 and 256 inside, at and beside the edges; row
// tails of 1..7 pixels past the eight-pixel groups; heights below, at and
// past the fetch distance, and across two seams.
constexpr Rect kRects[] = {{0, 0, 256, 256},  {120, 5, 9, 1},     {125, 126, 131, 5},
                           {127, 250, 3, 6},  {1, 1, 255, 7},     {130, 3, 125, 13},
                           {-3, 120, 140, 9}, {200, 129, 57, 130}};

TEST(CoverageRows, MemoryAndPagedCoverageBrushTheSamePixels) {
  constexpr int kSide = 300;
  Held<ilMemoryImg> memory(Memory1(kSide, kSide, 0));
  Held<ilSmartImage> paged(new ilSmartImage(Pixel1(0)));
  Held<ilMemoryImg> src(Memory4(kSide, kSide, 0));
  for (int v = 0; v < kSide; ++v) {
    for (int u = 0; u < kSide; ++u) {
      Set1(memory.get(), u, v, CoverageAt(u, v));
      paged->SetPixelExp(u, v, CoverageAt(u, v));
      Set4(src.get(), u, v, SrcAt(u, v));
    }
  }
  std::vector<std::uint32_t> start(static_cast<std::size_t>(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) start[static_cast<std::size_t>(y) * kSide + x] = DstAt(x, y);
  std::uint32_t colour = 0xFF2060C0u;
  for (const Rect& r : kRects) {
    for (bool copy : {false, true}) {
      for (ilImage* coverage :
           {static_cast<ilImage*>(memory.get()), static_cast<ilImage*>(paged.get())}) {
        SCOPED_TRACE(testing::Message() << "rect " << r.x << "," << r.y << " " << r.nx << "x"
                                        << r.ny << (copy ? " copy" : " fill")
                                        << (coverage == paged.get() ? " paged" : " memory"));
        Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
        ASSERT_EQ(target->setTile(0, 0, kSide, kSide, start.data()), ilOkay);
        PaintOps painter(target.get(), 1);
        painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
        painter.src_alpha_img(coverage);
        PinDither(0x35);
        const std::uint8_t dither = NextBlendDither();
        SoftPaintOps::SingleColorStamp(copy ? 0 : 1);
        const int status =
            copy ? painter.rect_copy(r.x, r.y, r.nx, r.ny, src.get(), 0, 0, nullptr, 1, 1)
                 : painter.rect_fill(r.x, r.y, r.nx, r.ny, &colour, nullptr);
        SoftPaintOps::SingleColorStamp(1);
        painter.src_alpha_img(nullptr);
        ASSERT_EQ(status, 0);
        int painted = 0;
        for (int y = r.y - 2; y < r.y + r.ny + 2; ++y) {
          for (int x = r.x - 2; x < r.x + r.nx + 2; ++x) {
            const std::uint32_t d = x >= 0 && y >= 0 ? DstAt(x, y) : 0u;
            std::uint32_t want = d;
            if (x >= r.x && x < r.x + r.nx && y >= r.y && y < r.y + r.ny) {
              const int u = x - r.x, v = y - r.y;
              const std::uint8_t a = CoverageAt(u, v);
              if (a != 0) want = Brush(d, copy ? SrcAt(u, v) : colour, a, dither);
              painted += a != 0;
            }
            ASSERT_EQ(target->GetPixel(x, y), want) << "at " << x << ", " << y;
          }
        }
        EXPECT_GT(painted, r.nx * r.ny / 2);
      }
    }
  }
}

// The block rows themselves: coverage rows 300 bytes apart (fetched ahead)
// against the same coverage packed row after row, for every kernel level.
TEST(CoverageRows, StridedCoverageRowsMatchPackedOnesAtEveryLevel) {
  using namespace brenmark;
  constexpr int kStride = 300;
  std::vector<std::uint8_t> strided(kStride * 40);
  for (int v = 0; v < 40; ++v)
    for (int u = 0; u < kStride; ++u) strided[v * kStride + u] = CoverageAt(u, v);
  const std::uint32_t colour = 0xFF2060C0u;
  for (SimdLevel level : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2}) {
    const BlendKernels* k = KernelsFor(level);
    if (k == nullptr) continue;
    for (int width : {1, 7, 9, 31, 128, 131}) {
      for (int height : {1, 5, 6, 7, 40}) {
        SCOPED_TRACE(testing::Message()
                     << "level " << static_cast<int>(level) << " " << width << "x" << height);
        std::vector<std::uint8_t> packed(static_cast<std::size_t>(width) * height);
        for (int v = 0; v < height; ++v)
          for (int u = 0; u < width; ++u) packed[v * width + u] = strided[v * kStride + u];
        std::vector<std::uint32_t> a(static_cast<std::size_t>(width) * height), b;
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = DstAt(static_cast<int>(i), 3);
        const std::vector<std::uint32_t> before = a;
        b = a;
        BlendSetup st;
        st.src_factor = kFactorSrcAlpha;
        st.dst_factor = kFactorOneMinusSrcAlpha;
        st.dither = 0x5A;
        BlendRows r;
        r.width = width;
        r.height = height;
        r.src = &colour;
        r.src_constant = true;
        r.dst = a.data();
        r.dst_stride = width * 4;
        r.cov = strided.data();
        r.cov_stride = kStride;
        EXPECT_EQ(BlendBlock(st, r, *k).chosen, BlendCase::kBrush);
        r.dst = b.data();
        r.cov = packed.data();
        r.cov_stride = width;
        BlendBlock(st, r, *k);
        ASSERT_EQ(a, b);
        EXPECT_NE(a, before);
      }
    }
  }
}

}  // namespace
