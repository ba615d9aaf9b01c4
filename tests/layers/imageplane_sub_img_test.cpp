// ilQVSubImg: a window onto another image, with its own channel layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "brenmark/qv_memory_img.h"
#include "brenmark/qv_sub_img.h"

namespace {

// w x h four-channel image, pixel (x, y) = 0xA0000000 | y << 8 | x.
std::unique_ptr<ilQVMemoryImg> Numbered(int w, int h) {
  auto img = std::make_unique<ilQVMemoryImg>(ilSize(w, h, 1, 4), ilUChar);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = 0xA0000000u | static_cast<std::uint32_t>(y << 8 | x);
      std::memcpy(img->getPixelPtr(x, y), &v, 4);
    }
  }
  return img;
}

std::uint32_t Px(ilQVMemoryImg& img, int x, int y) {
  std::uint32_t v;
  std::memcpy(&v, img.getPixelPtr(x, y), 4);
  return v;
}

// The view covers the input beyond its origin, reads past the input as the
// input's fill, and writes and copies land at the origin.
TEST(QVSubImg, ReadsAndWritesThroughTheOrigin) {
  auto in = Numbered(6, 4);
  const std::uint32_t fill = 0x01020304u;
  in->setFill(ilPixel(ilUChar, 4, &fill));
  ilQVSubImg view(in.get(), 2, 1);
  EXPECT_EQ(view.getSize(), ilSize(4, 3, 1, 4));
  std::uint32_t buf[4] = {};
  using Px4 = std::vector<std::uint32_t>;
  ASSERT_EQ(view.getTile(0, 0, 2, 2, buf), ilOkay);
  EXPECT_EQ(Px4(buf, buf + 4), (Px4{0xA0000102u, 0xA0000103u, 0xA0000202u, 0xA0000203u}));
  ASSERT_EQ(view.getTile(3, 2, 2, 2, buf), ilOkay);
  EXPECT_EQ(Px4(buf, buf + 4), (Px4{0xA0000305u, fill, fill, fill}));

  const std::uint32_t w[2] = {7, 8};
  ASSERT_EQ(view.setTile(1, 2, 2, 1, w), ilOkay);
  EXPECT_EQ(Px(*in, 3, 3), 7u);
  EXPECT_EQ(Px(*in, 4, 3), 8u);

  auto src = Numbered(3, 3);
  ASSERT_EQ(view.copyTile(0, 0, 1, 1, src.get(), 2, 2), ilOkay);
  EXPECT_EQ(Px(*in, 2, 1), 0xA0000202u);
}

TEST(QVSubImg, ItsChannelConfigurationSelectsInputChannels) {
  auto in = Numbered(4, 4);
  // One channel, the input's channel 3 (the lowest byte: x).
  const int list[1] = {3};
  const ilConfig cfg(ilUChar, ilInterleaved, 1, list);
  ilQVSubImg view(in.get(), 1, 1, 0, ilSize(2, 2, 1, 1), &cfg);
  EXPECT_EQ(view.getCsize(), 1);
  std::uint8_t px[4] = {};
  ASSERT_EQ(view.getTile(0, 0, 2, 2, px), ilOkay);
  EXPECT_EQ(px[0], 1);
  EXPECT_EQ(px[1], 2);
  EXPECT_EQ(px[2], 1);
  // The caller asks for view channel 0 twice and a channel the view lacks
  // (channel i of a pixel is memory element 2 - i here).
  const int twice[3] = {0, 0, 5};
  const ilConfig caller(ilUChar, ilInterleaved, 3, twice);
  std::uint8_t three[3] = {9, 9, 9};
  ASSERT_EQ(view.getTile(1, 1, 1, 1, three, &caller), ilOkay);
  EXPECT_EQ(three[2], 2);
  EXPECT_EQ(three[1], 2);
  EXPECT_EQ(three[0], 0);
  // Writes reach only the chosen input channel.
  const std::uint8_t v = 0x55;
  ASSERT_EQ(view.setTile(0, 0, 1, 1, &v), ilOkay);
  EXPECT_EQ(Px(*in, 1, 1), 0xA0000155u);
}

TEST(QVSubImg, ACallerSpaceKeepsTheBufferInItsOrientation) {
  auto in = Numbered(4, 4);  // lower-left
  ilQVSubImg view(in.get(), 1, 1, 0, ilSize(2, 2, 1, 4));
  const ilConfig upperLeft(ilUChar, ilInterleaved, 4, nullptr, 0, ilUpperLeft);
  std::uint32_t buf[4] = {};
  ASSERT_EQ(view.getTile(0, 0, 2, 2, buf, &upperLeft), ilOkay);
  // Upper-left row 0 of the view is its top row: input row 2.
  EXPECT_EQ(std::vector<std::uint32_t>(buf, buf + 4),
            (std::vector<std::uint32_t>{0xA0000201u, 0xA0000202u, 0xA0000101u, 0xA0000102u}));
}

TEST(QVSubImg, WithoutAnInputEveryTransferIsInvalid) {
  std::uint32_t buf[1] = {};
  ilQVSubImg orphan(nullptr, 0, 0, 0, ilSize(2, 2, 1, 4));
  EXPECT_EQ(orphan.getTile(0, 0, 1, 1, buf), ilInvalid);
  EXPECT_EQ(orphan.setTile(0, 0, 1, 1, buf), ilInvalid);
  auto src = Numbered(2, 2);
  EXPECT_EQ(orphan.copyTile(0, 0, 1, 1, src.get(), 0, 0), ilInvalid);
  // An input that goes away leaves the view without one.
  auto in = std::make_unique<ilQVMemoryImg>(ilSize(2, 2, 1, 4), ilUChar);
  ilQVSubImg view(in.get(), 0, 0);
  EXPECT_EQ(view.getTile(0, 0, 1, 1, buf), ilOkay);
  in.reset();
  EXPECT_EQ(view.getTile(0, 0, 1, 1, buf), ilInvalid);
}

TEST(QVSubImg, RepointingFollowsTheNewInputAndOrigin) {
  auto a = Numbered(4, 4), b = Numbered(8, 8);
  ilQVSubImg view(a.get(), 0, 0);
  view.setInput(b.get());
  view.setOrigin(5, 6);
  EXPECT_EQ(view.getSize(), ilSize(3, 2, 1, 4));
  view.setViewSize(1, 1);
  view.setInput(a.get());
  view.setOrigin(1, 2);
  EXPECT_EQ(view.getSize(), ilSize(1, 1, 1, 4));
  std::uint32_t px = 0;
  ASSERT_EQ(view.getTile(0, 0, 1, 1, &px), ilOkay);
  EXPECT_EQ(px, 0xA0000201u);
}

}  // namespace
