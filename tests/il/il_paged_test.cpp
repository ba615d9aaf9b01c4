// The generic tile operations of the base image class, run over an image
// with small native pages and over an image without storage.
#include <brenmark/il.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A one-channel image of 10 x 7 stored in 4 x 4 pages, created on first lock.
// It implements only the page locks; every tile operation is the library's.
class SmallPagedImage : public ilSIDImage {
 public:
  explicit SmallPagedImage(bool unbounded = false) {
    setUnboundedData(unbounded);
    setSize(ilSize(10, 7, 1));
    setDataType(ilUChar);
    setPageSize(4, 4, 1, 1);
  }
  bool hasPages() const override { return true; }
  ilStatus lockPageSet(ilLockRequest* r, int mode, int count) override {
    for (int i = 0; i < count; ++i) {
      const int x0 = (r[i].x >= 0 ? r[i].x : r[i].x - 3) / 4 * 4;
      const int y0 = (r[i].y >= 0 ? r[i].y : r[i].y - 3) / 4 * 4;
      auto& page = pages_[{x0, y0}];
      if (!page) page = std::make_unique<Bytes>(16, 0);
      r[i].page = new ilPage(x0, y0, 0, 1, page->data());
      r[i].status = ilOkay;
      ++locks;
      if (mode & ilLockWrite) ++writeLocks;
    }
    return ilOkay;
  }
  ilStatus unlockPageSet(ilLockRequest* r, int count) override {
    for (int i = 0; i < count; ++i) {
      delete r[i].page;
      r[i].page = nullptr;
      ++unlocks;
    }
    return ilOkay;
  }
  std::uint8_t at(int x, int y) {
    const int x0 = (x >= 0 ? x : x - 3) / 4 * 4, y0 = (y >= 0 ? y : y - 3) / 4 * 4;
    auto it = pages_.find({x0, y0});
    return it == pages_.end() ? 0 : (*it->second)[(y - y0) * 4 + (x - x0)];
  }
  int pageCount() const { return static_cast<int>(pages_.size()); }
  int locks = 0, unlocks = 0, writeLocks = 0;

 private:
  std::map<std::pair<int, int>, std::unique_ptr<Bytes>> pages_;
};

// No storage: answers v = x + 16 * y for any tile read in its own layout.
class PatternImage : public ilImage {
 public:
  PatternImage() {
    setSize(ilSize(16, 16, 1));
    setDataType(ilUChar);
    setPageSize(8, 8, 1, 1);
  }
  ilStatus getSubTile3D(int x, int y, int, int nx, int ny, int, void* buf, int bx, int by, int,
                        int bnx, int, int, const ilConfig* cfg) override {
    if (!isNativeConfig(cfg)) return ilInvalid;
    auto* out = static_cast<std::uint8_t*>(buf);
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i)
        out[(y + j - by) * bnx + (x + i - bx)] = static_cast<std::uint8_t>(x + i + 16 * (y + j));
    return ilOkay;
  }
};

TEST(IlPagedImageTest, WriteAndReadAcrossPages) {
  SmallPagedImage img;
  Bytes in(6 * 5);
  for (int i = 0; i < 30; ++i) in[i] = static_cast<std::uint8_t>(100 + i);
  ASSERT_EQ(img.setTile(2, 1, 6, 5, in.data()), ilOkay);
  EXPECT_EQ(img.pageCount(), 4);
  EXPECT_EQ((std::array{img.at(2, 1), img.at(7, 5), img.at(4, 4)}),
            (std::array<std::uint8_t, 3>{100, 129, 100 + 3 * 6 + 2}));
  Bytes out(30, 0);
  ASSERT_EQ(img.getTile(2, 1, 6, 5, out.data()), ilOkay);
  EXPECT_EQ((std::tuple{out, img.locks}), (std::tuple{in, img.unlocks}));
}

TEST(IlPagedImageTest, UnboundedImageKeepsPixelsAtNegativeCoordinates) {
  SmallPagedImage img(true);
  EXPECT_TRUE(img.getDataBox().contains(ilTile(-1000, -1000, 0, 5000, 5000, 1)));
  const Bytes in = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(img.setTile(-2, -1, 3, 2, in.data()), ilOkay);
  EXPECT_EQ((std::array{img.at(-2, -1), img.at(0, 0)}), (std::array<std::uint8_t, 2>{1, 6}));
  Bytes out(6, 0);
  ASSERT_EQ(img.getTile(-2, -1, 3, 2, out.data()), ilOkay);
  EXPECT_EQ((std::tuple{out, img.pageCount()}), (std::tuple{in, 4}));
}

TEST(IlPagedImageTest, FillWithExclusionTouchesOnlyPiecesOutsideIt) {
  SmallPagedImage img;
  const std::uint8_t v = 5;
  const ilTile ex(0, 0, 0, 8, 8, 1);  // covers four pages wholly
  ASSERT_EQ(img.fillTile(0, 0, 10, 7, &v, nullptr, &ex), ilOkay);
  EXPECT_EQ((std::array{img.at(7, 6), img.at(8, 0), img.at(9, 6)}),
            (std::array<std::uint8_t, 3>{0, 5, 5}));
  // Only the pages of columns 8-9 were locked for writing.
  EXPECT_EQ(img.writeLocks, 2);
}

TEST(IlPagedImageTest, CopyFromMemoryImageIntoPages) {
  ilMemoryImg src(ilSize(10, 7, 4), ilUChar);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) {
      const std::uint8_t px[4] = {0, 0, 0, static_cast<std::uint8_t>(x * 10 + y)};
      src.setTile(x, y, 1, 1, px);
    }
  SmallPagedImage img;
  ASSERT_EQ(img.copyTile(1, 1, 8, 5, &src, 0, 0), ilOkay);  // channel 0 of four
  EXPECT_EQ((std::array{img.at(1, 1), img.at(8, 5), img.at(4, 3), img.at(0, 0)}),
            (std::array<std::uint8_t, 4>{0, 74, 32, 0}));
  // Back again, with the page image as source.
  ilMemoryImg back(ilSize(8, 5, 1), ilUChar);
  ASSERT_EQ(back.copyTile(0, 0, 8, 5, &img, 1, 1), ilOkay);
  const auto* p = static_cast<const std::uint8_t*>(back.getDataPtr());
  EXPECT_EQ((std::array{p[0], p[4 * 8 + 7]}), (std::array<std::uint8_t, 2>{0, 74}));
}

TEST(IlPagedImageTest, ImageWithoutStorageIsLockedThroughAPrivateCopy) {
  PatternImage pat;
  EXPECT_FALSE(pat.hasPages());
  ilLockRequest r;
  r.init(9, 3);
  ASSERT_EQ(pat.lockPageSet(&r, ilLockRead, 1), ilOkay);
  ASSERT_NE(r.page, nullptr);
  EXPECT_EQ((std::array{r.page->x, r.page->y}), (std::array{8, 0}));
  const auto* d = static_cast<const std::uint8_t*>(r.page->getData());
  EXPECT_EQ((std::array{d[0], d[3 * 8 + 1]}), (std::array<std::uint8_t, 2>{8, 9 + 16 * 3}));
  pat.unlockPageSet(&r, 1);
  EXPECT_EQ(r.page, nullptr);
  EXPECT_EQ(pat.setTile(0, 0, 1, 1, d), ilNotWritable);
  // As a copy source.
  SmallPagedImage img;
  ASSERT_EQ(img.copyTile(0, 0, 10, 7, &pat, 3, 2), ilOkay);
  EXPECT_EQ((std::array{img.at(0, 0), img.at(9, 6)}),
            (std::array<std::uint8_t, 2>{3 + 32, 12 + 16 * 8}));
}

TEST(IlPagedImageTest, StorageLessBaseImageReadsItsFill) {
  ilImage plain;
  plain.setDataType(ilUChar);
  ilPixel fill(ilUChar, 1);
  fill.setElem(42, 0);
  plain.setFill(fill);
  std::uint8_t out[3] = {};
  ASSERT_EQ(plain.getTile(-5, 7, 3, 1, out), ilOkay);
  EXPECT_EQ(Bytes(out, out + 3), Bytes({42, 42, 42}));
  EXPECT_EQ(plain.fillTile(0, 0, 1, 1, out), ilNotWritable);
}

}  // namespace
