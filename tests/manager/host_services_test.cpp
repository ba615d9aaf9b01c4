// The paint manager connects the page store to the host: memory figures for
// the page budget, the watermark pass over pages and the store's messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "brenmark/brenmark.h"
#include "host/reference_host.h"
#include "imagestore/store_hooks.h"

namespace {

TEST(HostServices, MemoryFiguresComeFromTheHost) {
  brenmark::host::ReferenceHost host;
  host.SetMemoryKB(123456u, 65432u);
  Brenmark.SetCallbacks(host.Install());
  EXPECT_EQ(brenmark::imagestore::TotalMemoryKB(), 123456u);
  EXPECT_EQ(brenmark::imagestore::AvailableMemoryKB(), 65432u);
  host.SetMemoryKB(100000u, 5000u);
  EXPECT_EQ(brenmark::imagestore::AvailableMemoryKB(), 5000u);
}

TEST(HostServices, WatermarkReachesEveryPageInsideTheBounds) {
  brenmark::host::ReferenceHost host;
  Brenmark.SetCallbacks(host.Install());
  int calls = 0;
  host.SetWatermarkHook([&](void* pixels, int x, int y, int w, int h, int bw, int bh) {
    ++calls;
    EXPECT_EQ((std::vector<int>{y, w, h, bw, bh}), (std::vector<int>{0, 128, 128, 200, 100}));
    // Mark the page's first pixel with its origin.
    const std::uint32_t mark = 0xFF000000u | static_cast<std::uint32_t>(x / 128 + 1);
    std::memcpy(pixels, &mark, 4);
  });
  std::uint32_t zero = 0;
  ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 4, &zero));
  img->ref();
  std::uint32_t grey = 0xFF808080u;
  ASSERT_EQ(img->fillTile(0, 0, 200, 100, &grey), ilOkay);
  img->ApplyWatermark();
  EXPECT_EQ(calls, 2);
  std::uint32_t px[3] = {};
  for (int i = 0; i < 3; ++i) img->getTile((i % 2) * 128 + i / 2, 0, 1, 1, &px[i]);
  EXPECT_EQ(std::vector<std::uint32_t>(px, px + 3),
            (std::vector<std::uint32_t>{0xFF000001u, 0xFF000002u, grey}));
  img->unref();
}

// A store message reaches stderr and the host's message member (without its
// line break), never stdout; a host without that member gets nothing.
TEST(HostServices, StoreMessagesReachTheHostAndStderr) {
  brenmark::host::ReferenceHost host;
  const std::string text = "SID: SmartImage had to clip an image op to fit +- 102400";
  ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 1));
  img->ref();
  std::vector<std::uint8_t> buf(256 * 256);
  for (bool withMember : {true, false}) {
    BrenmarkCallbacks record = host.Install();
    if (!withMember) record.ShowMessage = nullptr;
    Brenmark.SetCallbacks(record);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(img->getTile(102300, 0, 256, 256, buf.data()), ilOkay);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), text + "\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  EXPECT_EQ(host.Messages(), std::vector<std::string>{text});
  img->unref();
}

}  // namespace
