// ImageBlender: blend function by name over a painter on the target.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "brenmark/image_blender.h"
#include "brenmark/qv_memory_img.h"

namespace {

std::uint32_t Px(ilQVMemoryImg& img, int x, int y) {
  std::uint32_t v;
  std::memcpy(&v, img.getPixelPtr(x, y), 4);
  return v;
}

TEST(ImageBlender, CopiesAndFillsWithTheChosenFunction) {
  ilQVMemoryImg target(ilSize(4, 1, 1, 4), ilUChar);
  ilQVMemoryImg src(ilSize(4, 1, 1, 4), ilUChar);
  const std::uint32_t half = 0x80402010u, opaque = 0xFF102030u;
  src.fillTile(0, 0, 2, 1, &half);  // pixels 2 and 3 stay transparent
  auto* blender = new ImageBlender(&target);
  blender->ref();
  EXPECT_EQ(blender->GetTargetImage(), &target);
  EXPECT_EQ(blender->GetBlendFunc(), ImageBlender::kBlendReplace);
  // Replace: a plain copy, placed by the destination rectangle.
  ASSERT_EQ(blender->copyTile(1, 0, 3, 1, &src, 0, 0), 0);
  EXPECT_EQ(Px(target, 0, 0), 0u);
  EXPECT_EQ(Px(target, 1, 0), half);
  EXPECT_EQ(Px(target, 2, 0), half);
  EXPECT_EQ(Px(target, 3, 0), 0u);
  // Under: beneath a transparent destination the new pixels show as they are.
  blender->SetBlendFunc(ImageBlender::kBlendUnder);
  std::uint32_t fill = opaque;
  ASSERT_EQ(blender->fillTile(3, 0, 1, 1, &fill), 0);
  EXPECT_EQ(Px(target, 3, 0), opaque);
  // Over: transparent source pixels leave the destination alone.
  blender->SetBlendFunc(ImageBlender::kBlendOver);
  ASSERT_EQ(blender->copyTile(0, 0, 4, 1, &src, 1, 0), 0);
  EXPECT_EQ(Px(target, 1, 0), half);
  EXPECT_EQ(Px(target, 2, 0), half);
  EXPECT_EQ(Px(target, 3, 0), opaque);
  // An unknown function falls back to replace.
  blender->SetBlendFunc(static_cast<ImageBlender::BlendFunc>(7));
  EXPECT_EQ(blender->GetBlendFunc(), ImageBlender::kBlendReplace);
  blender->unref();
}

}  // namespace
