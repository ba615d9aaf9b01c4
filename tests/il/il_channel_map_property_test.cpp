// Random channel maps, channel counts, spaces and element types through the
// copy and read paths, checked pixel by pixel against the documented rule:
// destination channel j takes source channel map[j] (negative: kept), and
// channel c of an interleaved nc-channel pixel is element nc - 1 - c.
#include <brenmark/il.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

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
