// Copying from a plain memory image writes its pixels as one dense buffer;
// the result must equal a pixel-by-pixel copy wherever the rectangle falls.
#include <brenmark/il_memory_img.h>
#include <brenmark/smart_image.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::uint32_t Pixel(int x, int y) {
  return 0xFF000000u | (y & 0xFFF) << 12 | (x & 0xFFF);
}

TEST(MemorySourceCopy, UnalignedCopyAcrossPagesMatchesEveryPixel) {
  const int w = 300, h = 200;
  ilMemoryImg* src = new ilMemoryImg(ilSize(w, h, 1, 4), ilUChar);
  src->ref();
  std::uint32_t zero = 0;
  ilSmartImage* dst = new ilSmartImage(ilPixel(ilUChar, 4, &zero));
  dst->ref();
  src->setCoordSpace(dst->getCoordSpace());
  std::vector<std::uint32_t> px(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px[y * w + x] = Pixel(x, y);
  ASSERT_EQ(src->setTile(0, 0, w, h, px.data()), ilOkay);

  // Destination (-70, 45) takes source (17, 9): crosses page borders both ways.
  ASSERT_EQ(dst->copyTile(-70, 45, 250, 150, src, 17, 9), ilOkay);
  std::vector<std::uint32_t> back(250 * 150);
  ASSERT_EQ(dst->getTile(-70, 45, 250, 150, back.data()), ilOkay);
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < 250; ++x) {
      ASSERT_EQ(back[y * 250 + x], Pixel(x + 17, y + 9)) << "at " << x << "," << y;
    }
  }
  std::uint32_t outside = 1;
  dst->getTile(-71, 45, 1, 1, &outside);
  EXPECT_EQ(outside, 0u);
  const ilTile& b = dst->getBounds();
  EXPECT_LE(b.x, -70);
  EXPECT_GE(b.x + b.nx, 180);

  // A source rectangle reaching past the memory image reads its fill there.
  ASSERT_EQ(dst->copyTile(0, 0, 20, 1, src, w - 10, 0), ilOkay);
  std::uint32_t row[20];
  dst->getTile(0, 0, 20, 1, row);
  EXPECT_EQ(row[9], Pixel(w - 1, 0));
  EXPECT_EQ(row[10], 0u);
  dst->unref();
  src->unref();
}

}  // namespace
