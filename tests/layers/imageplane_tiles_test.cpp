// ilQVMemoryImg tile paths, fills with exclusion, flips, marching ants and
// instance counting; ilQVSubImg views; ImageBlender; ilTileComposeIter and
// ilTileUnion.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "brenmark/il_tile_compose.h"
#include "brenmark/image_blender.h"
#include "brenmark/paint_manager.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/qv_sub_img.h"
#include "host/reference_host.h"
#include "layers/layer_image_helpers.h"

namespace {

using brenmark::testing::PixelsAt;
using brenmark::testing::Probe;

std::vector<ilTile> Pieces(const ilTile& a, const ilTile& b) {
  std::vector<ilTile> out;
  for (ilTileComposeIter it(a, b, ilAOutB); it.more();) out.push_back(it);
  return out;
}

std::uint32_t Px(ilQVMemoryImg& img, int x, int y) {
  std::uint32_t v;
  std::memcpy(&v, img.getPixelPtr(x, y), 4);
  return v;
}

::testing::AssertionResult PixelsAre(ilQVMemoryImg& img, std::initializer_list<Probe> probes) {
  return PixelsAt([&img](int x, int y) { return Px(img, x, y); }, probes);
}

std::uint8_t Px1(ilQVMemoryImg& img, int x, int y) {
  return *static_cast<std::uint8_t*>(img.getPixelPtr(x, y));
}

// A w x h four-channel image whose pixel (x, y) is 0xAA000000 | y << 8 | x.
std::unique_ptr<ilQVMemoryImg> Numbered(int w, int h) {
  auto img = std::make_unique<ilQVMemoryImg>(ilSize(w, h, 1, 4), ilUChar);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v =
          0xAA000000u | static_cast<std::uint32_t>(y) << 8 | static_cast<std::uint32_t>(x);
      std::memcpy(img->getPixelPtr(x, y), &v, 4);
    }
  }
  return img;
}

std::string Rows1(ilQVMemoryImg& img) {
  std::string out;
  for (int y = 0; y < img.getYsize(); ++y) {
    for (int x = 0; x < img.getXsize(); ++x) {
      out += std::to_string(Px1(img, x, y));
      out += x + 1 < img.getXsize() ? " " : "\n";
    }
  }
  return out;
}

TEST(TileComposeIter, AOutBPeelsZThenYThenXSlabsAndOnlyNonEmptyPieces) {
  const ilTile a(3, 4, 0, 5, 6, 1);
  const struct {
    ilTile a, b;
    std::vector<ilTile> pieces;
  } cases[] = {
      {ilTile(0, 0, 0, 10, 10, 1),
       ilTile(2, 2, 0, 4, 4, 1),
       {ilTile(0, 0, 0, 10, 2, 1), ilTile(0, 6, 0, 10, 4, 1), ilTile(0, 2, 0, 2, 4, 1),
        ilTile(6, 2, 0, 4, 4, 1)}},
      // B touches A's left edge and spans its middle slice in z.
      {ilTile(0, 0, 0, 4, 4, 3),
       ilTile(-1, -1, 1, 3, 9, 1),
       {ilTile(0, 0, 0, 4, 4, 1), ilTile(0, 0, 2, 4, 4, 1), ilTile(2, 0, 1, 2, 4, 1)}},
      {ilTile(3, 4, 0, 0, 6, 1), ilTile(0, 0, 0, 2, 2, 1), {}},
      {a, ilTile(0, 0, 0, 0, 0, 0), {a}},
      {a, ilTile(20, 20, 0, 5, 5, 1), {a}},  // disjoint: the first slab is all of A
      {a, ilTile(0, 0, 0, 50, 50, 1), {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Pieces(c.a, c.b), c.pieces);
}

TEST(TileUnion, AxisWithoutExtentTakesTheOtherOperand) {
  EXPECT_EQ(ilTile(ilTileUnion(ilTile(5, 5, 0, 0, 3, 1), ilTile(1, 1, 0, 2, 2, 1))),
            ilTile(1, 1, 0, 2, 7, 1));
  EXPECT_EQ(ilTile(ilTileUnion(ilTile(0, 0, 0, 4, 4, 1), ilTile(9, 9, 0, 0, 0, 0))),
            ilTile(0, 0, 0, 4, 4, 1));
  EXPECT_EQ(ilTile(ilTileUnion(ilTile(-2, 3, 0, 4, 1, 1), ilTile(1, -5, 0, 6, 2, 1))),
            ilTile(-2, -5, 0, 9, 9, 1));
}

TEST(QVMemoryImgBasics, WrapsCallerMemoryAndCanBeRepointed) {
  std::uint8_t page1[8 * 8] = {}, page2[8 * 8] = {};
  page2[9] = 77;
  {
    ilQVMemoryImg view(page1, ilSize(8, 8, 1, 1), ilUChar);
    const std::uint8_t v = 5;
    view.fillTile(0, 0, 2, 1, &v);
    EXPECT_EQ(page1[1], 5);
    view.setDataPtr(page2);
    EXPECT_EQ(Px1(view, 1, 1), 77);
    EXPECT_FALSE(view.ownsData());
  }
  EXPECT_EQ(page1[0], 5);  // still the caller's, not freed
}

TEST(QVMemoryImgBasics, CountsInstancesAndPrintsThemForSelector8111) {
  brenmark::host::ReferenceHost host;
  Brenmark.SetCallbacks(host.Install());
  const int before = ilQVMemoryImg::MemoryImgCount();
  host.SetDebugSelector(8111);
  testing::internal::CaptureStderr();
  auto* a = new ilQVMemoryImg(ilSize(2, 2, 1, 1), ilUChar);
  auto* b = new ilQVMemoryImg();
  EXPECT_EQ(ilQVMemoryImg::MemoryImgCount(), before + 2);
  delete a;
  delete b;
  std::fflush(stderr);
  const std::string out = testing::internal::GetCapturedStderr();
  host.SetDebugSelector(0);
  EXPECT_EQ(ilQVMemoryImg::MemoryImgCount(), before);
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "Creating ilQVMemoryImg, Count = %d\nCreating ilQVMemoryImg, Count = %d\n"
                "Destroying ilQVMemoryImg, Count = %d\nDestroying ilQVMemoryImg, Count = %d\n",
                before + 1, before + 2, before + 1, before);
  EXPECT_EQ(out, expected);

  testing::internal::CaptureStderr();
  { ilQVMemoryImg quiet(ilSize(1, 1, 1, 1), ilUChar); }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(QVMemoryImgFill, ExclusionLeavesItsRectangleUntouchedOnEveryPath) {
  ilQVMemoryImg img(ilSize(8, 6, 1, 4), ilUChar);
  const std::uint32_t v = 0x11223344u;
  const ilTile exclude(2, 2, 0, 3, 2, 1);
  ASSERT_EQ(img.fillTile(-3, 1, 20, 4, &v, nullptr, &exclude), ilOkay);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inRect = y >= 1 && y < 5;
      const bool excluded = x >= 2 && x < 5 && y >= 2 && y < 4;
      EXPECT_EQ(Px(img, x, y), inRect && !excluded ? v : 0u) << x << "," << y;
    }
  }
  // One caller channel written into image channel 0 (the alpha, top byte).
  const int list[1] = {0};
  const ilConfig alphaOnly(ilUChar, ilInterleaved, 1, list);
  const std::uint8_t a = 0x80;
  ASSERT_EQ(img.fillTile(0, 0, 2, 1, &a, &alphaOnly), ilOkay);
  EXPECT_TRUE(PixelsAre(img, {{1, 0, 0x80000000u}, {2, 0, 0u}}));
  // One-byte pixels with the native configuration take the fast path.
  ilQVMemoryImg one(ilSize(5, 3, 1, 1), ilUChar);
  const std::uint8_t nine = 9;
  const ilConfig native(ilUChar, ilInterleaved, 1);
  const ilTile top(0, 0, 0, 5, 1, 1);
  ASSERT_EQ(one.fillTile(1, 0, 3, 3, &nine, &native, &top), ilOkay);
  EXPECT_EQ(Rows1(one), "0 0 0 0 0\n0 9 9 9 0\n0 9 9 9 0\n");
}

TEST(QVMemoryImgTiles, ReadIntoBufferTileKeepsTheRestOfTheBuffer) {
  std::unique_ptr<ilQVMemoryImg> img(Numbered(6, 4));
  std::vector<std::uint32_t> buf(5 * 4, 0xDEADBEEFu);
  // Tile (2, 1, 3 x 2) into a buffer covering (1, 0, 5 x 4).
  ASSERT_EQ(img->getSubTile3D(2, 1, 0, 3, 2, 1, buf.data(), 1, 0, 0, 5, 4, 1), ilOkay);
  for (int by = 0; by < 4; ++by) {
    for (int bx = 0; bx < 5; ++bx) {
      const int x = bx + 1, y = by;
      const bool read = x >= 2 && x < 5 && y >= 1 && y < 3;
      const std::uint32_t expect =
          read ? 0xAA000000u | static_cast<std::uint32_t>(y << 8 | x) : 0xDEADBEEFu;
      EXPECT_EQ(buf[static_cast<std::size_t>(by * 5 + bx)], expect) << bx << "," << by;
    }
  }
  // Partly outside the image: the outside reads as the fill.
  std::uint32_t edge[2] = {1, 1};
  ASSERT_EQ(img->getTile(5, 3, 2, 1, edge), ilOkay);
  EXPECT_EQ((std::tuple{edge[0], edge[1]}), (std::tuple{0xAA000305u, 0u}));
}

TEST(QVMemoryImgTiles, CopyReadsTheSourceStraightIntoTheBlock) {
  std::unique_ptr<ilQVMemoryImg> src(Numbered(4, 4));
  ilQVMemoryImg dst(ilSize(5, 5, 1, 4), ilUChar);
  // Destination (3, 3) onwards from source (2, 2): the last row and column
  // of the copy fall outside the destination and are dropped.
  ASSERT_EQ(dst.copyTile(3, 3, 3, 3, src.get(), 2, 2), ilOkay);
  EXPECT_TRUE(PixelsAre(dst, {{3, 3, 0xAA000202u}, {4, 4, 0xAA000303u}, {2, 3, 0u}}));
  // Reading past the source gives its fill.
  ASSERT_EQ(dst.copyTile(0, 0, 2, 1, src.get(), 3, 0), ilOkay);
  EXPECT_TRUE(PixelsAre(dst, {{0, 0, 0xAA000003u}, {1, 0, 0u}}));
  // A one-channel source fills channel 0 and zeroes the others.
  ilQVMemoryImg mask(ilSize(2, 2, 1, 1), ilUChar);
  *static_cast<std::uint8_t*>(mask.getPixelPtr(1, 1)) = 0x7F;
  ASSERT_EQ(dst.copyTile(0, 0, 2, 2, &mask, 0, 0), ilOkay);
  EXPECT_EQ(Px(dst, 1, 1), 0x7F000000u);
}

TEST(QVMemoryImgTiles, LockedPagesHaveOriginAndChannelZero) {
  ilQVMemoryImg img(ilSize(4, 4, 1, 4), ilUChar);
  ilLockRequest req[2];
  req[0].init(3, 2);
  req[1].init(9, 9);
  EXPECT_NE(img.lockPageSet(req, ilLockRead, 2), ilOkay);
  ASSERT_NE(req[0].page, nullptr);
  EXPECT_EQ(req[0].status, ilOkay);
  EXPECT_EQ(req[0].page->x + req[0].page->y + req[0].page->z + req[0].page->c, 0);
  EXPECT_EQ(req[0].page->getData(), img.getDataPtr());
  EXPECT_EQ(req[1].page, nullptr);
  EXPECT_EQ(img.unlockPageSet(req, 2), ilOkay);
}

TEST(QVMemoryImgFlip, HorizontalReversesRowsVerticalSwapsThem) {
  std::unique_ptr<ilQVMemoryImg> img(Numbered(3, 3));
  img->HorizontalFlip();
  EXPECT_TRUE(PixelsAre(*img, {{0, 0, 0xAA000002u}, {1, 2, 0xAA000201u}, {2, 1, 0xAA000100u}}));
  img->VerticalFlip();
  EXPECT_TRUE(PixelsAre(*img, {{0, 0, 0xAA000202u}, {1, 1, 0xAA000101u}, {2, 2, 0xAA000000u}}));

  ilQVMemoryImg mask(ilSize(4, 2, 1, 1), ilUChar);
  const std::uint8_t ones = 1, twos = 2;
  mask.fillTile(0, 0, 1, 2, &ones);
  mask.fillTile(1, 1, 1, 1, &twos);
  mask.HorizontalFlip();
  EXPECT_EQ(Rows1(mask), "0 0 0 1\n0 0 2 1\n");
  mask.VerticalFlip();
  EXPECT_EQ(Rows1(mask), "0 0 2 1\n0 0 0 1\n");
}

// A 3 x 3 square of 200 (with one 255 inside) on 0, in a 6 x 5 image.
ilQVMemoryImg* Square() {
  auto* img = new ilQVMemoryImg(ilSize(6, 5, 1, 1), ilUChar);
  const std::uint8_t v = 200, top = 255;
  img->fillTile(1, 1, 3, 3, &v);
  img->fillTile(2, 2, 1, 1, &top);
  return img;
}

TEST(MarchingAnts, PreProcessLeavesTheThresholdEdgesAndTheirBounds) {
  std::unique_ptr<ilQVMemoryImg> img(Square());
  ilTile bounds(9, 9, 9, 9, 9, 9);
  img->MarchingAntsPreProcess(128, nullptr, &bounds);
  EXPECT_EQ(Rows1(*img),
            "0 0 0 0 0 0\n"
            "0 255 255 255 255 0\n"
            "0 255 0 0 255 0\n"
            "0 255 0 0 255 0\n"
            "0 255 255 255 255 0\n");
  EXPECT_EQ(bounds, ilTile(1, 1, 0, 4, 4, 1));
}

TEST(MarchingAnts, PreProcessRegionIsClippedAndAMarkDoesNotSpread) {
  ilQVMemoryImg img(ilSize(6, 2, 1, 1), ilUChar);
  const std::uint8_t hi = 200;
  img.fillTile(0, 0, 1, 2, &hi);  // one high column, then a run of lows
  ilTile region(0, 0, 0, 100, 1, 1);
  ilTile bounds;
  img.MarchingAntsPreProcess(128, &region, &bounds);
  EXPECT_EQ(Rows1(img), "0 255 0 0 0 0\n200 0 0 0 0 0\n");
  EXPECT_EQ(bounds, ilTile(1, 0, 0, 1, 1, 1));
  // No crossing: all zeros and an empty bounds.
  img.fillTile(0, 0, 6, 2, &hi);
  img.MarchingAntsPreProcess(128, nullptr, &bounds);
  EXPECT_EQ(Rows1(img), "0 0 0 0 0 0\n0 0 0 0 0 0\n");
  EXPECT_EQ(bounds, ilTile(0, 0, 0, 0, 0, 1));
}

TEST(MarchingAnts, ApplyDrawsFourOnFourOffDashesThatCrawlWithThePhase) {
  std::unique_ptr<ilQVMemoryImg> edges(Square());
  edges->MarchingAntsPreProcess(128, nullptr, nullptr);
  ilQVMemoryImg ants(ilSize(6, 5, 1, 4), ilUChar);
  const std::uint32_t junk = 0x12345678u;
  ants.fillTile(0, 0, 6, 5, &junk);
  const auto* e = static_cast<const unsigned char*>(edges->getDataPtr());
  constexpr std::uint32_t B = 0xFF000000u, W = 0xFFFFFFFFu;
  const auto row1 = [&] {
    return std::vector<std::uint32_t>{Px(ants, 0, 1), Px(ants, 1, 1), Px(ants, 2, 1),
                                      Px(ants, 3, 1), Px(ants, 4, 1), Px(ants, 5, 1)};
  };
  // Row 1 is the region's second row: (x + phase + 2) mod 8 < 4 is black.
  ants.MarchingAntsApply(e, 0, nullptr);
  EXPECT_EQ(row1(), (std::vector<std::uint32_t>{0, B, W, W, W, 0}));
  // (1, 4): 1 + 0 + 5 = 6, white.
  EXPECT_TRUE(PixelsAre(ants, {{0, 0, 0u}, {1, 4, W}}));
  ants.MarchingAntsApply(e, 1, nullptr);
  EXPECT_EQ(row1(), (std::vector<std::uint32_t>{0, W, W, W, W, 0}));
  // A phase counted down through zero continues the pattern.
  ants.MarchingAntsApply(e, 0u - 2u, nullptr);
  EXPECT_EQ(row1(), (std::vector<std::uint32_t>{0, B, B, B, W, 0}));
  // A region: rows count from its first row; pixels outside stay.
  ants.fillTile(0, 0, 6, 5, &junk);
  ilTile region(2, 1, 0, 2, 1, 1);
  ants.MarchingAntsApply(e, 0, &region);
  EXPECT_EQ(row1(), (std::vector<std::uint32_t>{junk, junk, B, W, junk, junk}));
}

TEST(ImageDescription, PrintsLabelledAttributes) {
  ilQVMemoryImg img(ilSize(3, 2, 1, 4), ilUChar);
  testing::internal::CaptureStderr();
  ilPrintImageDescription(&img, ilTile(1, 2, 0, 3, 4, 1));
  std::fflush(stderr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Color model:\t\tABGR\n"
            "Coordinate space:\tlower-left (X varies fastest)\n"
            "Data type:\t\tunsigned char\n"
            "Dimension order:\tinterleaved\n"
            "Dimensions (x,y,z,c):\t3, 2, 1, 4\n"
            "Page Size (x,y,z,c):\t3, 2, 1, 4\n"
            "Min/Max:\t\t0, 255\n"
            "Fill Value:\t\t0, 0, 0, 0\n"
            "Tile (x,y,z,nx,ny,nz):\t1, 2, 0, 3, 4, 1\n");
}

// ---- ilQVSubImg: a window onto another image, with its own channel layout.

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
  EXPECT_EQ(Px4(buf, buf + 4), (Px4{0xAA000102u, 0xAA000103u, 0xAA000202u, 0xAA000203u}));
  ASSERT_EQ(view.getTile(3, 2, 2, 2, buf), ilOkay);
  EXPECT_EQ(Px4(buf, buf + 4), (Px4{0xAA000305u, fill, fill, fill}));

  const std::uint32_t w[2] = {7, 8};
  ASSERT_EQ(view.setTile(1, 2, 2, 1, w), ilOkay);
  EXPECT_TRUE(PixelsAre(*in, {{3, 3, 7u}, {4, 3, 8u}}));

  auto src = Numbered(3, 3);
  ASSERT_EQ(view.copyTile(0, 0, 1, 1, src.get(), 2, 2), ilOkay);
  EXPECT_EQ(Px(*in, 2, 1), 0xAA000202u);
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
  EXPECT_EQ((std::tuple{px[0], px[1], px[2]}), (std::tuple{1, 2, 1}));
  // The caller asks for view channel 0 twice and a channel the view lacks
  // (channel i of a pixel is memory element 2 - i here).
  const int twice[3] = {0, 0, 5};
  const ilConfig caller(ilUChar, ilInterleaved, 3, twice);
  std::uint8_t three[3] = {9, 9, 9};
  ASSERT_EQ(view.getTile(1, 1, 1, 1, three, &caller), ilOkay);
  EXPECT_EQ((std::tuple{three[2], three[1], three[0]}), (std::tuple{2, 2, 0}));
  // Writes reach only the chosen input channel.
  const std::uint8_t v = 0x55;
  ASSERT_EQ(view.setTile(0, 0, 1, 1, &v), ilOkay);
  EXPECT_EQ(Px(*in, 1, 1), 0xAA000155u);
}

TEST(QVSubImg, ACallerSpaceKeepsTheBufferInItsOrientation) {
  auto in = Numbered(4, 4);  // lower-left
  ilQVSubImg view(in.get(), 1, 1, 0, ilSize(2, 2, 1, 4));
  const ilConfig upperLeft(ilUChar, ilInterleaved, 4, nullptr, 0, ilUpperLeft);
  std::uint32_t buf[4] = {};
  ASSERT_EQ(view.getTile(0, 0, 2, 2, buf, &upperLeft), ilOkay);
  // Upper-left row 0 of the view is its top row: input row 2.
  EXPECT_EQ(std::vector<std::uint32_t>(buf, buf + 4),
            (std::vector<std::uint32_t>{0xAA000201u, 0xAA000202u, 0xAA000101u, 0xAA000102u}));
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
  EXPECT_EQ(px, 0xAA000201u);
}

// ImageBlender: blend function by name over a painter on the target.
TEST(ImageBlender, CopiesAndFillsWithTheChosenFunction) {
  ilQVMemoryImg target(ilSize(4, 1, 1, 4), ilUChar);
  ilQVMemoryImg src(ilSize(4, 1, 1, 4), ilUChar);
  const std::uint32_t half = 0x80402010u, opaque = 0xFF102030u;
  src.fillTile(0, 0, 2, 1, &half);  // pixels 2 and 3 stay transparent
  auto* blender = new ImageBlender(&target);
  blender->ref();
  EXPECT_EQ(blender->GetBlendFunc(), ImageBlender::kBlendReplace);
  // Replace: a plain copy, placed by the destination rectangle.
  ASSERT_EQ(blender->copyTile(1, 0, 3, 1, &src, 0, 0), 0);
  EXPECT_TRUE(PixelsAre(target, {{0, 0, 0u}, {1, 0, half}, {2, 0, half}, {3, 0, 0u}}));
  // Under: beneath a transparent destination the new pixels show as they are.
  blender->SetBlendFunc(ImageBlender::kBlendUnder);
  std::uint32_t fill = opaque;
  ASSERT_EQ(blender->fillTile(3, 0, 1, 1, &fill), 0);
  EXPECT_EQ(Px(target, 3, 0), opaque);
  // Over: transparent source pixels leave the destination alone.
  blender->SetBlendFunc(ImageBlender::kBlendOver);
  ASSERT_EQ(blender->copyTile(0, 0, 4, 1, &src, 1, 0), 0);
  EXPECT_TRUE(PixelsAre(target, {{1, 0, half}, {2, 0, half}, {3, 0, opaque}}));
  // An unknown function falls back to replace.
  blender->SetBlendFunc(static_cast<ImageBlender::BlendFunc>(7));
  EXPECT_EQ(blender->GetBlendFunc(), ImageBlender::kBlendReplace);
  blender->unref();
}

}  // namespace
