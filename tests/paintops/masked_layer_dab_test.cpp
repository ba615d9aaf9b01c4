// Real dabs through the painter of a layer with a mask: the masking painter
// wraps a painter that wraps the software painter, and the brush clipping
// rectangle, the modified rectangles and the damage must reach the innermost
// one.
#include <brenmark/masking_paint_ops.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>

#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"
#include "painter_images.h"
#include "painter_stamps.h"
#include "paintops/dither.h"

namespace brenmark::testing {
namespace {

// The next blend dithers with bit-reverse(low).
void PinDither(std::uint8_t low) {
  while ((BlendDither::Counter() & 0xFF) != low || BlendDither::Used()) {
    BlendDither::MarkUsed();
    BlendDither::BeginBlend();
  }
}

class MaskedLayerDab : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StampImageCache::Shared().Empty();
    stamp_->ref();
    stamp_->SetColor(0.8f, 0.4f, 0.2f, 1.0f);
    stamp_->SetRadius(9.5f);
  }
  void TearDown() override {
    stamp_->unref();
    StampImageCache::Shared().Empty();
    EngineTest::TearDown();
  }
  Stamp* stamp_ = new Stamp();
};

TEST_F(MaskedLayerDab, BrushClipModifiedAndDamageReachTheInnermostPainter) {
  LayerStack* s = Stack(NewStack());
  s->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  auto* maskImg = new ilSmartImage(PixelOf(0, 1));
  maskImg->ref();
  s->AddLayer(maskImg, nullptr, true, true, false, -2, true);
  maskImg->unref();
  // Protection beyond the reach of the largest dab from the strokes below:
  // the mask is live, but nothing under the dabs is captured or put back.
  Paint(s->GetLayerFromIndex(2)->GetImage(), 0, 0, 4, 4, 255);
  s->SetCurrentLayer(1, true);
  PaintOps* painter = s->GetCurrentLayerPainter();
  ASSERT_NE(dynamic_cast<MaskingPaintOps*>(painter), nullptr);
  ilImage* image = s->GetLayerFromIndex(1)->GetImage();

  // The clip's right edge runs through a page seam; x = 128 lies on it and
  // is drawn, 129.5 and the dab below the clip are not.
  const ilTile clip(20, 440, 0, 108, 200, 1);
  painter->SetBrushClippingRect(clip);
  EXPECT_EQ(painter->GetBrushClippingRect(), clip);
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  ASSERT_EQ(painter->set_stamp(stamp_), 1);
  painter->reset_tile_modified();
  const std::vector<PaintPoint> points = {
      {60.0f, 480.0f}, {128.0f, 555.3f}, {129.5f, 500.0f}, {60.0f, 439.0f}, {40.0f, 620.0f}};
  painter_test::PointList stream(points);
  PinDither(0x01);
  ASSERT_EQ(painter->draw_stamps(stream, nullptr), 0);

  // The same dabs, only those inside the clip, on a plain painter.
  auto* ref = new ilSmartImage(PixelOf(0, 4));
  ref->ref();
  {
    PaintOps plain(ref, 1);
    plain.blend_func(BlendOne, BlendOneMinusSrcAlpha);
    ASSERT_EQ(plain.set_stamp(stamp_), 1);
    painter_test::PointList inside({points[0], points[1], points[4]});
    PinDither(0x01);
    ASSERT_EQ(plain.draw_stamps(inside, nullptr), 0);
    EXPECT_EQ(painter_test::Modified(plain), ilTile(29, 469, 0, 109, 161, 1));
    EXPECT_EQ(painter_test::Modified(*painter), painter_test::Modified(plain));
  }
  int mismatches = 0, painted = 0;
  for (int y = 428; y < 684; ++y) {
    for (int x = 0; x < 160; ++x) {
      const unsigned got = Px(image, x, y);
      painted += got != 0;
      if (got != Px(ref, x, y) && ++mismatches < 4) ADD_FAILURE() << x << "," << y;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(painted, 600);
  // The centres of the dabs right of the clip and below it.
  EXPECT_TRUE(PixelsAre(image, {{129, 500, 0u}, {60, 439, 0u}}));
  ref->unref();

  // Damage announced to the masking painter is what it reports back.
  painter->reset_damage();
  painter->damage(ilTile(7, 9, 0, 30, 40, 1));
  ilTile damaged;
  EXPECT_EQ(painter->damaged(damaged, 0, 0), 1);
  EXPECT_EQ(damaged, ilTile(7, 9, 0, 30, 40, 1));
  EXPECT_EQ(painter->GetDamaged(), ilTile(7, 9, 0, 30, 40, 1));
}

}  // namespace
}  // namespace brenmark::testing
