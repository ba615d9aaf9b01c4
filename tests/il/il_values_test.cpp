// Value types of the image library layer: tiles, sizes, element sizes,
// pixels and configurations.
#include <brenmark/il.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

TEST(IlTileTest, IntersectionTakesLargerStartsAndSmallerEnds) {
  const struct {
    ilTile a, b, want;
  } cases[] = {
      {ilTile(0, 0, 0, 10, 10, 1), ilTile(4, -3, 0, 10, 5, 1), ilTile(4, 0, 0, 6, 2, 1)},
      {ilTile(4, -3, 0, 10, 5, 1), ilTile(0, 0, 0, 10, 10, 1), ilTile(4, 0, 0, 6, 2, 1)},
      // Huge extents do not overflow.
      {ilTile(2000000000, 0, 0, 2000000000, 1, 1), ilTile(2100000000, 0, 0, 10, 1, 1),
       ilTile(2100000000, 0, 0, 10, 1, 1)},
  };
  for (const auto& c : cases) EXPECT_EQ(ilTile(c.a, c.b), c.want);
  const ilTile touching(ilTile(0, 0, 0, 4, 4, 1), ilTile(4, 0, 0, 4, 4, 1));
  EXPECT_TRUE(touching.empty());
  EXPECT_EQ(touching.nx, 0);
}

TEST(IlTileTest, EmptyWhenAnyExtentBelowOneAndContainsOnlyWhollyInside) {
  EXPECT_TRUE(ilTile().empty());
  EXPECT_TRUE(ilTile(0, 0, 0, 5, 5, 0).empty());
  EXPECT_TRUE(ilTile(0, 0, 0, -1, 5, 1).empty());
  EXPECT_FALSE(ilTile(-5, -5, 0, 1, 1, 1).empty());
  const ilTile box(0, 0, 0, 10, 10, 1);
  EXPECT_TRUE(box.contains(ilTile(0, 0, 0, 10, 10, 1)));
  EXPECT_TRUE(box.contains(ilTile(2, 3, 0, 4, 4, 1)));
  EXPECT_FALSE(box.contains(ilTile(8, 8, 0, 3, 2, 1)));
  EXPECT_FALSE(box.contains(ilTile(-1, 0, 0, 2, 2, 1)));
  EXPECT_TRUE(box.contains(ilTile(50, 50, 0, 0, 0, 0)));  // the empty set
  EXPECT_FALSE(ilTile().contains(ilTile(0, 0, 0, 1, 1, 1)));
}

TEST(IlDataSizeTest, BytesPerType) {
  EXPECT_EQ(ilDataSize(ilUChar, 4), 4);
  EXPECT_EQ(ilDataSize(ilShort, 3), 6);
  EXPECT_EQ(ilDataSize(ilULong, 2), 8);
  EXPECT_EQ(ilDataSize(ilFloat, 1), 4);
  EXPECT_EQ(ilDataSize(ilDouble, 2), 16);
  EXPECT_EQ(ilDataSize(ilBit, 9), 2);
  EXPECT_EQ(ilDataSize(ilAnyType, 4), 0);
  EXPECT_EQ(ilSize(7, 8, 4), ilSize(7, 8, 1, 4));  // the three-argument size has depth one
  EXPECT_NE(ilSize(7, 8, 4), ilSize(7, 8, 2, 4));
}

TEST(IlPixelTest, ChannelZeroIsTheMostSignificantElement) {
  // Bytes R, G, B, A in memory: channel 0 is the alpha.
  const std::uint8_t bytes[4] = {0x11, 0x22, 0x33, 0xFF};
  ilPixel p(ilUChar, 4, bytes);
  EXPECT_EQ(p.nc(), 4);
  EXPECT_EQ(p.getElem(0), 255.0);
  EXPECT_EQ(p.getElem(1), 0x33);
  EXPECT_EQ(p.getElem(3), 0x11);
  EXPECT_EQ(std::memcmp(p.elems(), bytes, 4), 0);
  std::uint32_t word;
  std::memcpy(&word, p.elems(), 4);
  EXPECT_EQ(word, 0xFF332211u);
  // Equality compares type, channel count and bytes.
  EXPECT_EQ(ilPixel(ilUChar, 4, bytes), p);
  EXPECT_NE(ilPixel(ilUChar, 3, bytes), p);
  EXPECT_NE(ilPixel(ilUChar, 1, bytes), ilPixel(ilChar, 1, bytes));
  ilPixel b(ilUChar, 4, bytes);
  b.setElem(9, 2);
  EXPECT_NE(b, p);
}

TEST(IlPixelTest, SetElemClampsAndTruncates) {
  ilPixel p(ilUChar, 2);
  p.setElem(300.7, 0);
  p.setElem(12.9, 1);
  EXPECT_EQ(p.getElem(0), 255.0);
  EXPECT_EQ(p.getElem(1), 12.0);
  p.setElem(-4.0, 1);
  EXPECT_EQ(p.getElem(1), 0.0);
  p.setElem(std::nan(""), 0);
  EXPECT_EQ(p.getElem(0), 0.0);
  ilPixel s(ilShort, 1);
  s.setElem(-7.9, 0);
  EXPECT_EQ(s.getElem(0), -7.0);
  ilPixel f(ilFloat, 1);
  f.setElem(0.25, 0);
  EXPECT_EQ(f.getElem(0), 0.25);
  EXPECT_EQ(f.getElem(1), 0.0);  // no such channel
}

TEST(IlPixelTest, ConvertedKeepsChannelIndicesAndZeroesMissingOnes) {
  ilPixel one(ilUChar, 1);
  one.setElem(200, 0);
  const ilPixel four = one.converted(ilUChar, 4);
  const std::uint8_t expect[4] = {0, 0, 0, 200};  // channel 0 is the last byte
  EXPECT_EQ(std::memcmp(four.elems(), expect, 4), 0);
  const ilPixel back = four.converted(ilFloat, 1);
  EXPECT_EQ(back.getDataType(), ilFloat);
  EXPECT_EQ(back.getElem(0), 200.0);
  EXPECT_TRUE(ilPixel().empty());
  EXPECT_EQ(ilPixel().getDataType(), ilAnyType);
}

TEST(IlConfigTest, ChannelListAndOffset) {
  const int list[4] = {0, -1, 2, 0};
  const ilConfig c(ilUChar, ilInterleaved, 4, list);
  EXPECT_EQ(c.imageChannel(0), 0);
  EXPECT_EQ(c.imageChannel(1), -1);
  EXPECT_EQ(c.imageChannel(2), 2);
  EXPECT_EQ(c.imageChannel(3), 0);
  EXPECT_EQ(c.imageChannel(4), -1);  // beyond the list
  const ilConfig shifted(ilUChar, ilInterleaved, 1, nullptr, 3);
  EXPECT_EQ(shifted.imageChannel(0), 3);
  EXPECT_EQ(ilConfig().imageChannel(5), 5);  // identity without a list
  EXPECT_EQ(ilConfig(ilUChar, ilInterleaved, 4, list), c);
  EXPECT_NE(ilConfig(ilUChar, ilInterleaved, 4), c);
}

}  // namespace
