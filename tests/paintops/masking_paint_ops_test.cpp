// The masking painter: what empty masks of either fill protect, the
// put-back through a partial mask (once per write outside an operation,
// once at the end of an operation inside one), the masked view while an
// operation runs, both dab forms, and the unmasked bounds.
#include <brenmark/masking_paint_ops.h>
#include <brenmark/paint_ops.h>
#include <brenmark/smart_image.h>
#include <brenmark/soft_paint_ops.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "painter_images.h"
#include "painter_stamps.h"

namespace {

using namespace painter_test;

constexpr std::uint32_t kOld = 0xFF204060u;    // opaque, what the target holds
constexpr std::uint32_t kPaint = 0xFFC0A080u;  // opaque paint

// A mask pattern in target coordinates around the page corner at (128, 128):
// unprotected, protected and three partial values.
unsigned CornerMask(int x, int y) {
  static const unsigned kValues[5] = {0, 255, 128, 64, 200};
  return kValues[(x * 3 + y) % 5];
}

// What a masked write of `painted` over `earlier` leaves under mask value m.
std::uint32_t Protected(std::uint32_t earlier, std::uint32_t painted, unsigned m) {
  return MaskMix(earlier, painted, m);
}

// Offsets of the mask against the target: its own page seam lands elsewhere.
constexpr int kMaskOffsets[][2] = {{0, 0}, {5, -3}, {-1, 2}, {3, -2}, {0, -9}};

class MaskingPainter : public testing::Test {
 protected:
  MaskingPainter()
      : target_(new ilSmartImage(Pixel4(0))),
        mask0_(new ilSmartImage(Pixel1(0))),
        mask255_(new ilSmartImage(Pixel1(255))) {
    target_->fillTileValue(0, 0, 64, 64, Pixel4(kOld));
  }

  // A mask of fill 0 holding CornerMask over target (112..143)^2, placed so
  // that mask (u, v) guards target (u - ox, v - oy).
  static ilSmartImage* CornerMaskAt(int ox, int oy) {
    auto* mask = new ilSmartImage(Pixel1(0));
    for (int y = 112; y < 144; ++y) {
      for (int x = 112; x < 144; ++x) mask->SetPixelExp(x + ox, y + oy, CornerMask(x, y));
    }
    return mask;
  }

  // A masking painter around a plain painter on the target (which it holds),
  // composite over.
  MaskingPaintOps* Wrap(ilImage* mask, int x = 0, int y = 0) {
    auto* m = new MaskingPaintOps(new PaintOps(target_.get(), 1), mask, x, y);
    m->ref();
    m->blend_func(BlendOne, BlendOneMinusSrcAlpha);
    return m;
  }

  int Fill(PaintOps* p, int x, int y, int nx, int ny, std::uint32_t v) {
    return p->rect_fill(x, y, nx, ny, &v, nullptr);
  }

  Held<ilSmartImage> target_;
  Held<ilSmartImage> mask0_;
  Held<ilSmartImage> mask255_;
};

TEST_F(MaskingPainter, EmptyMaskOfFillZeroProtectsNothingAndTakesNoSnapshot) {
  MaskingPaintOps* m = Wrap(mask0_.get());
  m->BeginOperation();
  EXPECT_EQ(Fill(m, 4, 4, 8, 8, kPaint), 0);
  // No snapshot: the masked view is the target itself.
  EXPECT_EQ(m->GetMaskedTargetImg(ilTile(0, 0, 0, 16, 16, 1)), target_.get());
  m->EndOperation();
  EXPECT_TRUE(PixelsAre(target_.get(), {{4, 4, kPaint}, {11, 11, kPaint}, {12, 12, kOld}}));
  EXPECT_EQ(m->getUnMaskedBounds(), target_->getBounds());
  m->unref();
}

// An empty mask of fill 255 protects everything and skips every write; with
// a paintable window its unmasked bounds lie within the window, and only
// writes there land.
TEST_F(MaskingPainter, Fill255MasksSkipWritesOutsideTheirPaintableArea) {
  MaskingPaintOps* m = Wrap(mask255_.get());
  EXPECT_TRUE(m->IsFullyProtected(ilTile(-500, -500, 0, 1000, 1000, 1)));
  EXPECT_EQ(Fill(m, 0, 0, 64, 64, kPaint), 0);  // skipped, reported as done
  std::uint32_t row[8];
  for (auto& v : row) v = kPaint;
  EXPECT_EQ(m->rect_write(0, 0, 8, 1, row, nullptr), 0);
  Held<ilMemoryImg> src(Memory4(8, 8, kPaint));
  EXPECT_EQ(m->rect_copy(0, 0, 8, 8, src.get(), 0, 0, nullptr, 1.0f, 1.0f), 0);
  for (int y = 0; y < 64; y += 7) {
    for (int x = 0; x < 64; x += 7) ASSERT_EQ(target_->GetPixel(x, y), kOld) << x << "," << y;
  }
  EXPECT_TRUE(m->getUnMaskedBounds().empty());
  m->unref();

  mask255_->fillTileValue(10, 10, 50, 50, Pixel1(0));
  target_->fillTileValue(0, 0, 200, 200, Pixel4(kOld));
  m = Wrap(mask255_.get());
  const ilTile b = m->getUnMaskedBounds();
  EXPECT_TRUE(ilTile(10, 10, 0, 50, 50, 1).contains(b));
  EXPECT_FALSE(b.empty());
  EXPECT_TRUE(m->IsFullyProtected(ilTile(100, 100, 0, 10, 10, 1)));
  Fill(m, 0, 0, 200, 200, kPaint);
  EXPECT_TRUE(PixelsAre(target_.get(), {{5, 5, kOld}, {30, 30, kPaint}}));
  m->unref();
}

// Writes across the target's page corner through an offset mask: every
// pixel mixes its earlier and painted values by the mask value at its own
// place, once per write outside an operation and once at the end of one.
TEST_F(MaskingPainter, WritesAcrossThePageCornerFollowAnOffsetMask) {
  enum Form { kFill, kCopy, kRows, kTwice, kInOperation };
  Held<ilMemoryImg> src(Memory4(16, 16, kPaint));
  std::vector<std::uint32_t> rows(16 * 16, kPaint);
  for (const auto& o : kMaskOffsets) {
    for (Form form : {kFill, kCopy, kRows, kTwice, kInOperation}) {
      SCOPED_TRACE(testing::Message() << "offset " << o[0] << ", " << o[1] << " form " << form);
      target_->fillTileValue(112, 112, 32, 32, Pixel4(kOld));
      Held<ilSmartImage> mask(CornerMaskAt(o[0], o[1]));
      MaskingPaintOps* m = Wrap(mask.get(), o[0], o[1]);
      const int operations = PaintOps::InOperation();
      switch (form) {
        case kFill:
          ASSERT_EQ(Fill(m, 120, 120, 16, 16, kPaint), 0);
          break;
        case kCopy:
          ASSERT_EQ(m->rect_copy(120, 120, 16, 16, src.get(), 0, 0, nullptr, 1, 1), 0);
          break;
        case kRows:
          ASSERT_EQ(m->rect_write(120, 120, 16, 16, rows.data(), nullptr), 0);
          break;
        case kTwice:
          Fill(m, 120, 120, 16, 16, kPaint);
          Fill(m, 120, 120, 16, 16, kPaint);
          break;
        case kInOperation: {
          m->BeginOperation();
          Fill(m, 120, 120, 16, 16, 0xFF102030u);
          Fill(m, 120, 120, 16, 16, kPaint);
          // Meanwhile the target holds the paint and the masked view the result.
          const int px = 120 + (CornerMask(120, 120) == 255 ? 0 : 1);
          EXPECT_EQ(target_->GetPixel(px, 120), kPaint);
          std::uint32_t seen = 0;
          EXPECT_EQ(m->rect_read(px, 120, 1, 1, &seen, nullptr), 0);
          EXPECT_EQ(seen, Protected(kOld, kPaint, CornerMask(px, 120)));
          m->EndOperation();
          EXPECT_EQ(PaintOps::InOperation(), operations);
          EXPECT_EQ(m->GetMaskedTargetImg(ilTile(120, 120, 0, 4, 4, 1)), target_.get());
          break;
        }
      }
      for (int y = 116; y < 140; ++y) {
        for (int x = 116; x < 140; ++x) {
          const bool in = x >= 120 && x < 136 && y >= 120 && y < 136;
          const std::uint32_t once = Protected(kOld, kPaint, CornerMask(x, y));
          const std::uint32_t want =
              form == kTwice ? Protected(once, kPaint, CornerMask(x, y)) : once;
          ASSERT_EQ(target_->GetPixel(x, y), in ? want : kOld) << x << ", " << y;
        }
      }
      m->unref();
    }
  }
}

TEST_F(MaskingPainter, TheMaskCannotChangeDuringAnOperation) {
  mask0_->fillTileValue(0, 0, 8, 8, Pixel1(255));
  MaskingPaintOps* m = Wrap(mask0_.get());
  m->BeginOperation();
  m->SetMask(mask255_.get(), 1, 1);
  EXPECT_EQ(m->GetMask(), mask0_.get());
  int x, y;
  m->GetMaskOffset(x, y);
  EXPECT_EQ(x, 1);
  m->EndOperation();
  m->SetMask(mask255_.get(), 0, 0);
  EXPECT_EQ(m->GetMask(), mask255_.get());
  m->unref();
}

// ---- Dabs, through the shared stand-in for the brush subsystem: every dab
// fills the 3 x 3 pixels around its point with the paint.

class MaskedDabs : public MaskingPainter {
 protected:
  void SetUp() override {
    services_.look = DabLook{1, &kPaint};
    brenmark::SetStampServices(&services_);
    MaskingPaintOps::SetStampReachQuery([](const Stamp*) { return 1.5f; });
  }
  void TearDown() override {
    MaskingPaintOps::SetStampReachQuery(nullptr);
    brenmark::SetStampServices(nullptr);
  }
  Stamp* stamp() { return AsStamp(&stamp_); }

  FakeServices services_;
  FakeStamp stamp_;
};

// A stroke through the page corner at (128, 128) under an offset mask: the
// dabs accumulate on the target, and every protected pixel they touched is
// put back once, at the end of the stroke.
TEST_F(MaskedDabs, AStrokeThroughThePageCornerIsPutBackOnceAtItsEnd) {
  std::vector<PaintPoint> pts;
  for (int p = 118; p <= 138; p += 2)
    pts.emplace_back(static_cast<float>(p), static_cast<float>(p));
  for (const auto& o : kMaskOffsets) {
    SCOPED_TRACE(testing::Message() << "offset " << o[0] << ", " << o[1]);
    target_->fillTileValue(112, 112, 32, 32, Pixel4(kOld));
    Held<ilSmartImage> mask(CornerMaskAt(o[0], o[1]));
    MaskingPaintOps* m = Wrap(mask.get(), o[0], o[1]);
    m->set_stamp(stamp());
    EXPECT_EQ(stamp_.refs, 2);  // the masking painter's and the software painter's
    PointList stroke(pts);
    m->BeginOperation();
    EXPECT_EQ(m->draw_stamps(stroke, nullptr), 0);
    EXPECT_EQ(target_->GetPixel(128, 127), kPaint);  // protected (255), painted for now
    m->EndOperation();
    EXPECT_EQ(services_.made.back()->dabs.size(), pts.size());
    auto painted = [&](int x, int y) {
      for (const PaintPoint& p : pts) {
        if (std::abs(x - static_cast<int>(p.x)) <= 1 && std::abs(y - static_cast<int>(p.y)) <= 1)
          return true;
      }
      return false;
    };
    for (int y = 112; y < 144; ++y) {
      for (int x = 112; x < 144; ++x) {
        ASSERT_EQ(target_->GetPixel(x, y),
                  painted(x, y) ? Protected(kOld, kPaint, CornerMask(x, y)) : kOld)
            << x << ", " << y;
      }
    }
    m->set_stamp(nullptr);
    m->unref();
    EXPECT_EQ(stamp_.refs, 0);
  }
}

// The masking painter wraps an envelope around the software painter: the
// brush clip (far edges included), the modified rectangle and the damage
// must reach the innermost one and be read back from it.
TEST_F(MaskedDabs, BrushClipModifiedAndDamageReachTheInnermostPainter) {
  MaskingPaintOps* m = Wrap(mask0_.get());
  const ilTile clip(20, 40, 0, 108, 20, 1);
  m->SetBrushClippingRect(clip);
  EXPECT_EQ(m->GetBrushClippingRect(), clip);
  m->set_stamp(stamp());
  PointList stroke({{60, 50}, {128, 55}, {128.5f, 50}, {60, 39}});
  ASSERT_EQ(m->draw_stamps(stroke, nullptr), 0);
  EXPECT_EQ(services_.made.back()->dabs.size(), 2u);
  EXPECT_EQ(Modified(*m), ilTile(59, 49, 0, 71, 8, 1));
  EXPECT_TRUE(PixelsAre(target_.get(),
                        {{60, 50, kPaint}, {128, 55, kPaint}, {129, 50, 0}, {60, 39, kOld}}));
  m->damage(ilTile(7, 9, 0, 30, 40, 1));
  ilTile damaged;
  EXPECT_EQ(m->damaged(damaged, 0, 0), 1);
  EXPECT_EQ((std::pair{damaged, m->GetDamaged()}),
            (std::pair{ilTile(7, 9, 0, 30, 40, 1), ilTile(7, 9, 0, 30, 40, 1)}));
  m->set_stamp(nullptr);
  m->unref();
}

TEST_F(MaskedDabs, ArrayDabsPutBackPerCallAndFullyProtectedDabsAreSkipped) {
  mask255_->fillTileValue(0, 0, 20, 20, Pixel1(0));  // paintable only there
  MaskingPaintOps* m = Wrap(mask255_.get());
  m->set_stamp(stamp());
  const PaintPoint far[1] = {PaintPoint(40.0f, 40.0f)};
  EXPECT_EQ(m->draw_stamps(far, 1, nullptr), 0);
  EXPECT_EQ(services_.made.back()->dabs.size(), 0u);  // never reached the painter
  EXPECT_EQ(target_->GetPixel(40, 40), kOld);
  const PaintPoint inside[2] = {PaintPoint(5.0f, 5.0f), PaintPoint(19.0f, 10.0f)};
  EXPECT_EQ(m->draw_stamps(inside, 2, nullptr), 0);
  EXPECT_EQ(services_.made.back()->dabs.size(), 2u);
  // Past the open area (20, 10) is put back.
  EXPECT_TRUE(PixelsAre(target_.get(), {{5, 5, kPaint}, {19, 10, kPaint}, {20, 10, kOld}}));
  m->set_stamp(nullptr);
  m->unref();
}

}  // namespace
