// Tile reads, writes, fills and copies on memory and constant images:
// channel maps, fills with an excluded tile, reads outside the data,
// coordinate spaces, type conversion and the other orders. Random channel
// maps, channel counts, spaces and element types through the copy and read
// paths are checked pixel by pixel against the documented rule: destination
// channel j takes source channel map[j] (negative: kept), and channel c of
// an interleaved nc-channel pixel is element nc - 1 - c.
#include <brenmark/il.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(ilMemoryImg& img) {
  const auto* p = static_cast<const std::uint8_t*>(img.getDataPtr());
  return Bytes(p, p + img.getDataSize());
}

// Releases an image's reference at the end of a test.
struct Unref {
  void operator()(ilMemoryImg* img) const { img->unref(); }
};
using Ramp = std::unique_ptr<ilMemoryImg, Unref>;

// A w x h image of one channel whose pixel (x, y) is 10 * y + x.
Ramp rampImage(int w, int h, ilCoordSpace space = ilUpperLeft) {
  Ramp img(new ilMemoryImg(ilSize(w, h, 1), ilUChar));
  img->setCoordSpace(space);
  auto* p = static_cast<std::uint8_t*>(img->getDataPtr());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p[y * w + x] = static_cast<std::uint8_t>(10 * y + x);
  return img;
}

TEST(IlMemoryImgTest, WrappedMemoryIsUsedInPlaceAndNotOwned) {
  std::uint8_t block[4] = {1, 2, 3, 4};
  ilMemoryImg img(block, ilSize(2, 2, 1), ilUChar);
  EXPECT_FALSE(img.ownsData());
  const std::uint8_t v = 9;
  ASSERT_EQ(img.fillTile(1, 0, 1, 2, &v), ilOkay);
  EXPECT_EQ(Bytes(block, block + 4), Bytes({1, 9, 3, 9}));
  std::uint8_t other[4] = {5, 6, 7, 8};
  img.setDataPtr(other);
  std::uint8_t out = 0;
  img.getTile(0, 1, 1, 1, &out);
  EXPECT_EQ(out, 7);
}

TEST(IlMemoryImgTest, OutsideTheDataReadsAndCopiesGiveTheFillAndWritesAreDropped) {
  Ramp img = rampImage(3, 2);
  ilPixel fill(ilUChar, 1);
  fill.setElem(99, 0);
  img->setFill(fill);
  Bytes out(5 * 4, 0);
  ASSERT_EQ(img->getTile(-1, -1, 5, 4, out.data()), ilOkay);
  EXPECT_EQ(out, Bytes({99, 99, 99, 99, 99,  //
                        99, 0,  1,  2,  99,  //
                        99, 10, 11, 12, 99,  //
                        99, 99, 99, 99, 99}));
  // A copy reads the source's fill there too.
  ilMemoryImg dst(ilSize(5, 1, 1), ilUChar);
  ASSERT_EQ(dst.copyTile(0, 0, 5, 1, img.get(), -1, 1), ilOkay);
  EXPECT_EQ(bytesOf(dst), Bytes({99, 10, 11, 12, 99}));
  // Writes outside the data are dropped.
  const Bytes in = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ASSERT_EQ(img->setTile(-1, -1, 3, 3, in.data()), ilOkay);
  EXPECT_EQ(bytesOf(*img), Bytes({5, 6, 2, 8, 9, 12}));
}

TEST(IlMemoryImgTest, SubTileReadLeavesTheRestOfTheBufferAlone) {
  Ramp img = rampImage(4, 4);
  Bytes buf(4 * 3, 0xEE);
  // Buffer covers (0, 1)-(3, 3); only (1, 2)-(2, 2) is read.
  ASSERT_EQ(img->getSubTile(1, 2, 2, 1, buf.data(), 0, 1, 4, 3), ilOkay);
  EXPECT_EQ(buf, Bytes({0xEE, 0xEE, 0xEE, 0xEE,  //
                        0xEE, 21, 22, 0xEE,      //
                        0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(img->getSubTile(3, 3, 2, 1, buf.data(), 0, 1, 4, 3), ilInvalid);  // outside buffer
  EXPECT_EQ(img->getTile(0, 0, 1, 1, nullptr), ilInvalid);
}

TEST(IlMemoryImgTest, ReadChannelMapSkipsNegativeEntriesAndFeedsOneChannelToFour) {
  ilMemoryImg img(ilSize(1, 1, 4), ilUChar);
  const std::uint8_t px[4] = {10, 20, 30, 40};  // channels 3, 2, 1, 0
  img.setTile(0, 0, 1, 1, px);
  const int alphaOnly[1] = {0}, spread[4] = {0, 0, 0, 0};
  const int holes[4] = {0, -1, 2, 7};  // 7: no such channel, reads 0
  const struct {
    ilConfig cfg;
    Bytes want;
  } cases[] = {{ilConfig(ilUChar, ilInterleaved, 1, alphaOnly), {40}},
               {ilConfig(ilUChar, ilInterleaved, 4, spread), {40, 40, 40, 40}},
               {ilConfig(ilUChar, ilInterleaved, 4, holes), {0, 20, 1, 40}}};
  for (const auto& c : cases) {
    Bytes out(c.want.size(), 1);
    ASSERT_EQ(img.getTile(0, 0, 1, 1, out.data(), &c.cfg), ilOkay);
    EXPECT_EQ(out, c.want);
  }
}

TEST(IlMemoryImgTest, WriteChannelMapWritesOnlyListedChannels) {
  ilMemoryImg img(ilSize(2, 1, 4), ilUChar);
  const std::uint8_t base[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  img.setTile(0, 0, 2, 1, base);
  const int toAlpha[1] = {0};
  const ilConfig c(ilUChar, ilInterleaved, 1, toAlpha);
  const std::uint8_t alphas[2] = {100, 200};
  ASSERT_EQ(img.setTile(0, 0, 2, 1, alphas, &c), ilOkay);
  EXPECT_EQ(bytesOf(img), Bytes({1, 2, 3, 100, 5, 6, 7, 200}));
}

TEST(IlMemoryImgTest, OverlappingCopyWithinOneImageReadsBeforeWriting) {
  Ramp img = rampImage(8, 1);
  ASSERT_EQ(img->copyTile(2, 0, 6, 1, img.get(), 0, 0), ilOkay);
  EXPECT_EQ(bytesOf(*img), Bytes({0, 1, 0, 1, 2, 3, 4, 5}));
  ASSERT_EQ(img->copyTile(0, 0, 6, 1, img.get(), 2, 0), ilOkay);
  EXPECT_EQ(bytesOf(*img), Bytes({0, 1, 2, 3, 4, 5, 4, 5}));
}

TEST(IlMemoryImgTest, FillLeavesTheExcludedTileUntouched) {
  ilMemoryImg img(ilSize(5, 4, 1), ilUChar);
  const std::uint8_t one = 1, nine = 9;
  img.fillTile(0, 0, 5, 4, &one);
  const ilTile hole(1, 1, 0, 2, 2, 1);
  ASSERT_EQ(img.fillTile(0, 0, 5, 4, &nine, nullptr, &hole), ilOkay);
  EXPECT_EQ(bytesOf(img), Bytes({9, 9, 9, 9, 9,  //
                                 9, 1, 1, 9, 9,  //
                                 9, 1, 1, 9, 9,  //
                                 9, 9, 9, 9, 9}));
  // An excluded tile covering the whole rectangle: nothing happens.
  const ilTile all(-1, -1, 0, 10, 10, 1);
  const std::uint8_t five = 5;
  img.fillTile(0, 0, 5, 4, &five, nullptr, &all);
  EXPECT_EQ(bytesOf(img)[0], 9);
}

TEST(IlMemoryImgTest, FillOfFourChannelsAndThroughAChannelMap) {
  ilMemoryImg img(ilSize(3, 2, 4), ilUChar);
  const std::uint8_t px[4] = {1, 2, 3, 4};
  ASSERT_EQ(img.fillTile(0, 0, 3, 2, px), ilOkay);
  const int toAlpha[1] = {0};
  const ilConfig c(ilUChar, ilInterleaved, 1, toAlpha);
  const std::uint8_t a = 77;
  ASSERT_EQ(img.fillTile(1, 1, 1, 1, &a, &c), ilOkay);
  ilPixel grey(ilFloat, 1);
  grey.setElem(200.0, 0);
  ASSERT_EQ(img.fillTileValue(0, 0, 1, 1, grey), ilOkay);
  EXPECT_EQ(bytesOf(img), Bytes({0, 0, 0, 200, 1, 2, 3, 4,  1, 2, 3, 4,  //
                                 1, 2, 3, 4,   1, 2, 3, 77, 1, 2, 3, 4}));
}

TEST(IlMemoryImgTest, LowerLeftConfigFlipsRowsOfAnUpperLeftImage) {
  Ramp img = rampImage(3, 3, ilUpperLeft);
  const ilConfig ll(ilAnyType, ilAnyOrder, 0, nullptr, 0, ilLowerLeft);
  Bytes out(6, 0);
  // Rows 0-1 from the bottom are image rows 2 and 1.
  ASSERT_EQ(img->getTile(0, 0, 3, 2, out.data(), &ll), ilOkay);
  EXPECT_EQ(out, Bytes({20, 21, 22, 10, 11, 12}));
  const ilConfig ur(ilAnyType, ilAnyOrder, 0, nullptr, 0, ilUpperRight);
  Bytes mirrored(2, 0);
  ASSERT_EQ(img->getTile(0, 0, 2, 1, mirrored.data(), &ur), ilOkay);
  EXPECT_EQ(mirrored, Bytes({2, 1}));
  const ilConfig lr(ilAnyType, ilAnyOrder, 0, nullptr, 0, ilLowerRight);
  std::uint8_t corner = 0;
  img->getTile(0, 0, 1, 1, &corner, &lr);
  EXPECT_EQ(corner, 22);
}

TEST(IlMemoryImgTest, WriteInAnotherSpaceLandsFlipped) {
  ilMemoryImg img(ilSize(2, 3, 1), ilUChar);
  img.setCoordSpace(ilLowerLeft);
  const ilConfig ul(ilAnyType, ilAnyOrder, 0, nullptr, 0, ilUpperLeft);
  const Bytes in = {1, 2, 3, 4};  // top two rows, top first
  ASSERT_EQ(img.setTile(0, 0, 2, 2, in.data(), &ul), ilOkay);
  // Memory row 0 is the bottom row in a lower-left image.
  EXPECT_EQ(bytesOf(img), Bytes({0, 0, 3, 4, 1, 2}));
  const ilTile ex(0, 0, 0, 2, 1, 1);  // the top row in upper-left terms
  const std::uint8_t v = 8;
  ASSERT_EQ(img.fillTile(0, 0, 2, 3, &v, &ul, &ex), ilOkay);
  EXPECT_EQ(bytesOf(img), Bytes({8, 8, 8, 8, 1, 2}));
}

TEST(IlMemoryImgTest, SpacesWithAnotherFastestAxisAreRefused) {
  Ramp img = rampImage(2, 2);
  const ilConfig yFast(ilAnyType, ilAnyOrder, 0, nullptr, 0, ilLeftUpper);
  std::uint8_t out[4];
  EXPECT_EQ(img->getTile(0, 0, 2, 2, out, &yFast), ilUnsupportedSpace);
  EXPECT_EQ(img->getStatus(), ilUnsupportedSpace);
  EXPECT_EQ(img->getTile(0, 0, 2, 2, out), ilOkay);  // the next operation records its own
  EXPECT_EQ(img->getStatus(), ilOkay);
}

TEST(IlMemoryImgTest, TypeConversionTruncatesAndClamps) {
  ilMemoryImg img(ilSize(4, 1, 1), ilUChar);
  const float in[4] = {12.9f, 300.0f, -3.0f, 255.0f};
  const ilConfig f(ilFloat);
  ASSERT_EQ(img.setTile(0, 0, 4, 1, in, &f), ilOkay);
  EXPECT_EQ(bytesOf(img), Bytes({12, 255, 0, 255}));
  std::array<float, 4> out{};
  img.getTile(0, 0, 4, 1, out.data(), &f);
  EXPECT_EQ(out, (std::array{12.0f, 255.0f, 0.0f, 255.0f}));
  const ilConfig s(ilShort);
  std::array<std::int16_t, 4> sh{};
  img.getTile(0, 0, 4, 1, sh.data(), &s);
  EXPECT_EQ(sh, (std::array<std::int16_t, 4>{12, 255, 0, 255}));
}

TEST(IlMemoryImgTest, SeparateAndSequentialOrdersRoundTrip) {
  const std::uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // two pixels of 4 channels
  ilMemoryImg planes(ilSize(2, 1, 4), ilUChar, ilSeparate);
  ASSERT_EQ(planes.setTile(0, 0, 2, 1, px, nullptr), ilOkay);  // buffer in the image's order
  const ilConfig inter(ilUChar, ilInterleaved);
  ASSERT_EQ(planes.setTile(0, 0, 2, 1, px, &inter), ilOkay);
  // Plane c holds channel c: channel 0 is the last byte of each pixel.
  EXPECT_EQ(bytesOf(planes), Bytes({4, 8, 3, 7, 2, 6, 1, 5}));
  std::uint8_t back[8] = {};
  planes.getTile(0, 0, 2, 1, back, &inter);
  EXPECT_EQ(Bytes(back, back + 8), Bytes(px, px + 8));
  ilMemoryImg runs(ilSize(2, 2, 2), ilUChar, ilSequential);
  ASSERT_EQ(runs.copyTile(0, 0, 2, 1, &planes, 0, 0), ilOkay);
  const Bytes got = bytesOf(runs);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), Bytes({4, 8, 3, 7}));
}

TEST(IlMemoryImgTest, CopyConstructorCopiesPixelsAndAttributes) {
  Ramp src = rampImage(3, 2, ilLowerLeft);
  ilPixel fill(ilUChar, 1);
  fill.setElem(5, 0);
  src->setFill(fill);
  ilMemoryImg copy(src.get());
  EXPECT_EQ((std::tuple{copy.getCoordSpace(), copy.getFill()}), (std::tuple{ilLowerLeft, fill}));
  EXPECT_EQ(bytesOf(copy), bytesOf(*src));
}

TEST(IlMemoryImgTest, PageLockGivesTheWholeBlock) {
  Ramp img = rampImage(3, 3);
  EXPECT_TRUE(img->hasPages());
  ilLockRequest r[2];
  r[0].init(2, 1);
  r[1].init(5, 5);  // outside
  EXPECT_EQ(img->lockPageSet(r, ilLockWrite, 2), ilInvalid);
  ASSERT_NE(r[0].page, nullptr);
  EXPECT_EQ(r[0].status, ilOkay);
  EXPECT_EQ(r[1].page, nullptr);
  EXPECT_EQ(r[0].page->getData(), img->getDataPtr());
  EXPECT_EQ((std::array{r[0].page->x, r[0].page->c}), (std::array{0, 1}));
  EXPECT_EQ(img->getPixelPtr(2, 1), static_cast<std::uint8_t*>(img->getDataPtr()) + 5);
  img->unlockPageSet(r, 2);
  EXPECT_EQ(r[0].page, nullptr);
  // The next lock gets the page object back with the whole block.
  r[1].init(2, 2);
  ASSERT_EQ(img->lockPageSet(&r[1], ilLockRead, 1), ilOkay);
  EXPECT_EQ(r[1].page->getData(), img->getDataPtr());
  EXPECT_EQ((std::array{r[1].page->x, r[1].page->y, r[1].page->c}), (std::array{0, 0, 1}));
  img->unlockPageSet(&r[1], 1);
}

TEST(IlConstImgTest, ReadsItsValueEverywhereAndRefusesWrites) {
  const std::uint8_t v[4] = {1, 2, 3, 255};
  ilConstImg c(ilPixel(ilUChar, 4, v));
  EXPECT_EQ(c.getCsize(), 4);
  std::uint8_t out[8] = {};
  ASSERT_EQ(c.getTile(-1000, 5000, 2, 1, out), ilOkay);
  EXPECT_EQ(Bytes(out, out + 8), Bytes({1, 2, 3, 255, 1, 2, 3, 255}));
  EXPECT_EQ(c.setTile(0, 0, 1, 1, v), ilNotWritable);
  EXPECT_EQ(c.fillTile(0, 0, 1, 1, v), ilNotWritable);
  ilPixel grey(ilUChar, 1);
  grey.setElem(128, 0);
  c.setFill(grey);
  EXPECT_EQ((std::tuple{c.getCsize(), c.getValue()}), (std::tuple{1, grey}));
}

TEST(IlConstImgTest, IsACopySourceAndLocksReadOnly) {
  const std::uint8_t v[4] = {9, 8, 7, 6};
  ilConstImg c(ilPixel(ilUChar, 4, v));
  ilMemoryImg dst(ilSize(2, 1, 4), ilUChar);
  ASSERT_EQ(dst.copyTile(0, 0, 2, 1, &c, 40, 40), ilOkay);
  EXPECT_EQ(bytesOf(dst), Bytes({9, 8, 7, 6, 9, 8, 7, 6}));
  ilLockRequest r;
  r.init(3, 4);
  ASSERT_EQ(c.lockPageSet(&r, ilLockRead, 1), ilOkay);
  EXPECT_EQ(std::memcmp(r.page->getData(), v, 4), 0);
  c.unlockPageSet(&r, 1);
  r.init(0, 0);
  EXPECT_EQ(c.lockPageSet(&r, ilLockWrite, 1), ilNotWritable);
  EXPECT_EQ(r.page, nullptr);
}

std::uint8_t byteAt(const std::vector<std::uint8_t>& img, int w, int nc, int x, int y, int c) {
  return img[(static_cast<std::size_t>(y) * w + x) * nc + (nc - 1 - c)];
}

TEST(IlChannelMapPropertyTest, CopiesFollowTheMapForRandomLayouts) {
  std::mt19937 rng(20240611);
  const int counts[2] = {1, 4};
  for (int round = 0; round < 300; ++round) {
    const int snc = counts[rng() % 2], dnc = counts[rng() % 2];
    const int w = 1 + static_cast<int>(rng() % 9), h = 1 + static_cast<int>(rng() % 5);
    ilMemoryImg src(ilSize(w, h, snc), ilUChar), dst(ilSize(w, h, dnc), ilUChar);
    const bool flip = rng() % 4 == 0;
    if (flip) src.setCoordSpace(ilLowerLeft);
    std::vector<std::uint8_t> s(static_cast<std::size_t>(w) * h * snc),
        d(static_cast<std::size_t>(w) * h * dnc);
    for (auto& v : s) v = static_cast<std::uint8_t>(rng());
    for (auto& v : d) v = static_cast<std::uint8_t>(rng());
    src.setTile(0, 0, w, h, s.data());
    dst.setTile(0, 0, w, h, d.data());

    int map[4];
    const bool withCfg = rng() % 5 != 0;
    for (int j = 0; j < dnc; ++j) {
      const int r = static_cast<int>(rng() % (snc + 1));
      map[j] = r == snc ? -1 : r;
      if (rng() % 3 == 0 && map[j] >= 0) map[j] = j < snc ? j : map[j];  // favour straight maps
    }
    const ilConfig cfg(ilUChar, ilInterleaved, dnc, map);
    ASSERT_EQ(dst.copyTile(0, 0, w, h, &src, 0, 0, withCfg ? &cfg : nullptr), ilOkay);

    const auto* out = static_cast<const std::uint8_t*>(dst.getDataPtr());
    for (int y = 0; y < h; ++y) {
      const int sy = flip ? h - 1 - y : y;  // the picture stays upright
      for (int x = 0; x < w; ++x) {
        for (int j = 0; j < dnc; ++j) {
          int m = withCfg ? map[j] : (j < snc ? j : -2);
          std::uint8_t want = byteAt(d, w, dnc, x, y, j);
          if (m >= 0) want = byteAt(s, w, snc, x, sy, m);
          if (m == -2) want = 0;
          ASSERT_EQ(out[(static_cast<std::size_t>(y) * w + x) * dnc + (dnc - 1 - j)], want)
              << "round " << round << " pixel " << x << "," << y << " channel " << j;
        }
      }
    }
  }
}

TEST(IlChannelMapPropertyTest, ConvertingReadsMatchTheByteReads) {
  std::mt19937 rng(7);
  ilMemoryImg img(ilSize(5, 3, 4), ilUChar);
  std::vector<std::uint8_t> px(5 * 3 * 4);
  for (auto& v : px) v = static_cast<std::uint8_t>(rng());
  img.setTile(0, 0, 5, 3, px.data());
  const int map[3] = {2, -1, 0};
  const ilConfig bytes(ilUChar, ilInterleaved, 3, map);
  const ilConfig shorts(ilUShort, ilInterleaved, 3, map);
  const ilConfig doubles(ilDouble, ilSeparate, 3, map);
  std::vector<std::uint8_t> b(5 * 3 * 3, 0);
  std::vector<std::uint16_t> u(5 * 3 * 3, 0);
  std::vector<double> f(5 * 3 * 3, 0.0);
  ASSERT_EQ(img.getTile(0, 0, 5, 3, b.data(), &bytes), ilOkay);
  ASSERT_EQ(img.getTile(0, 0, 5, 3, u.data(), &shorts), ilOkay);
  ASSERT_EQ(img.getTile(0, 0, 5, 3, f.data(), &doubles), ilOkay);
  for (int p = 0; p < 15; ++p) {
    for (int j = 0; j < 3; ++j) {
      const int e = 2 - j;  // element of channel j in an interleaved 3-channel pixel
      EXPECT_EQ(u[p * 3 + e], b[p * 3 + e]);
      EXPECT_EQ(f[j * 15 + p], static_cast<double>(b[p * 3 + e]));  // plane j
    }
  }
}

}  // namespace
