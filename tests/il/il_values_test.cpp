// Value types of the image library layer: tiles, sizes, element sizes,
// pixels and configurations.
#include <brenmark/il.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <tuple>

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
  EXPECT_EQ((std::array{ilTile().empty(), ilTile(0, 0, 0, 5, 5, 0).empty(),
                        ilTile(0, 0, 0, -1, 5, 1).empty(), ilTile(-5, -5, 0, 1, 1, 1).empty()}),
            (std::array{true, true, true, false}));
  const ilTile box(0, 0, 0, 10, 10, 1);
  // The last: the empty set.
  EXPECT_EQ(
      (std::array{box.contains(ilTile(0, 0, 0, 10, 10, 1)), box.contains(ilTile(2, 3, 0, 4, 4, 1)),
                  box.contains(ilTile(8, 8, 0, 3, 2, 1)), box.contains(ilTile(-1, 0, 0, 2, 2, 1)),
                  ilTile().contains(ilTile(0, 0, 0, 1, 1, 1)),
                  box.contains(ilTile(50, 50, 0, 0, 0, 0))}),
      (std::array{true, true, false, false, false, true}));
}

TEST(IlDataSizeTest, BytesPerType) {
  EXPECT_EQ((std::array{ilDataSize(ilUChar, 4), ilDataSize(ilShort, 3), ilDataSize(ilULong, 2),
                        ilDataSize(ilFloat, 1), ilDataSize(ilDouble, 2), ilDataSize(ilBit, 9),
                        ilDataSize(ilAnyType, 4)}),
            (std::array{4, 6, 8, 4, 16, 2, 0}));
  EXPECT_EQ(ilSize(7, 8, 4), ilSize(7, 8, 1, 4));  // the three-argument size has depth one
  EXPECT_NE(ilSize(7, 8, 4), ilSize(7, 8, 2, 4));
}

TEST(IlPixelTest, ChannelZeroIsTheMostSignificantElement) {
  // Bytes R, G, B, A in memory: channel 0 is the alpha.
  const std::uint8_t bytes[4] = {0x11, 0x22, 0x33, 0xFF};
  ilPixel p(ilUChar, 4, bytes);
  EXPECT_EQ(p.nc(), 4);
  EXPECT_EQ((std::array{p.getElem(0), p.getElem(1), p.getElem(3)}),
            (std::array{255.0, 51.0, 17.0}));
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
  const struct {
    ilType type;
    double in, out;
  } cases[] = {{ilUChar, 300.7, 255},      {ilUChar, 12.9, 12}, {ilUChar, -4, 0},
               {ilUChar, std::nan(""), 0}, {ilShort, -7.9, -7}, {ilFloat, 0.25, 0.25}};
  for (const auto& c : cases) {
    ilPixel p(c.type, 1);
    p.setElem(c.in, 0);
    EXPECT_EQ(p.getElem(0), c.out) << c.type << " " << c.in;
    EXPECT_EQ(p.getElem(1), 0.0);  // no such channel
  }
}

TEST(IlPixelTest, ConvertedKeepsChannelIndicesAndZeroesMissingOnes) {
  ilPixel one(ilUChar, 1);
  one.setElem(200, 0);
  const ilPixel four = one.converted(ilUChar, 4);
  const std::uint8_t expect[4] = {0, 0, 0, 200};  // channel 0 is the last byte
  EXPECT_EQ(std::memcmp(four.elems(), expect, 4), 0);
  const ilPixel back = four.converted(ilFloat, 1);
  EXPECT_EQ((std::tuple{back.getDataType(), back.getElem(0)}), (std::tuple{ilFloat, 200.0}));
}

TEST(IlConfigTest, ChannelListAndOffset) {
  const int list[4] = {0, -1, 2, 0};
  const ilConfig c(ilUChar, ilInterleaved, 4, list);
  // 4 is beyond the list.
  EXPECT_EQ((std::array{c.imageChannel(0), c.imageChannel(1), c.imageChannel(2), c.imageChannel(3),
                        c.imageChannel(4)}),
            (std::array{0, -1, 2, 0, -1}));
  const ilConfig shifted(ilUChar, ilInterleaved, 1, nullptr, 3);
  EXPECT_EQ(shifted.imageChannel(0), 3);
  EXPECT_EQ(ilConfig().imageChannel(5), 5);  // identity without a list
  EXPECT_EQ(ilConfig(ilUChar, ilInterleaved, 4, list), c);
  EXPECT_NE(ilConfig(ilUChar, ilInterleaved, 4), c);
}

}  // namespace
