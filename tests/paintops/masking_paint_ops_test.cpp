// The masking painter: what empty masks of either fill protect, the
// put-back through a partial mask (once per write outside an operation,
// once at the end of an operation inside one), the masked view while an
// operation runs, both dab forms, and the unmasked bounds.
#include <brenmark/masking_paint_ops.h>
#include <brenmark/paint_ops.h>
#include <brenmark/smart_image.h>
#include <brenmark/soft_paint_ops.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "painter_images.h"
#include "paintops/soft_paint_ops_stamp.h"

namespace {

using namespace painter_test;

constexpr std::uint32_t kOld = 0xFF204060u;    // opaque, what the target holds
constexpr std::uint32_t kPaint = 0xFFC0A080u;  // opaque paint

std::uint32_t PixelAt(ilSmartImage* img, int x, int y) {
  return img->GetPixel(x, y);
}

// (earlier x m + painted x (256 - m)) >> 8 per channel.
std::uint32_t Mix(std::uint32_t earlier, std::uint32_t painted, unsigned m) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const unsigned e = (earlier >> shift) & 0xFF, p = (painted >> shift) & 0xFF;
    out |= ((e * m + p * (256 - m)) >> 8) << shift;
  }
  return out;
}

class MaskingPainter : public testing::Test {
 protected:
  MaskingPainter()
      : target_(new ilSmartImage(Pixel4(0))),
        mask0_(new ilSmartImage(Pixel1(0))),
        mask255_(new ilSmartImage(Pixel1(255))) {
    target_->fillTileValue(0, 0, 64, 64, Pixel4(kOld));
  }

  // A masking painter around a plain painter on the target, composite over.
  MaskingPaintOps* Wrap(ilImage* mask, int x = 0, int y = 0) {
    plain_ = new PaintOps(target_.get(), 1);
    plain_->ref();
    auto* m = new MaskingPaintOps(plain_, mask, x, y);
    m->ref();
    m->blend_func(BlendOne, BlendOneMinusSrcAlpha);
    return m;
  }
  void TearDown() override {
    if (plain_ != nullptr) plain_->unref();
  }

  int Fill(PaintOps* p, int x, int y, int nx, int ny, std::uint32_t v) {
    return p->rect_fill(x, y, nx, ny, &v, nullptr);
  }

  Held<ilSmartImage> target_;
  Held<ilSmartImage> mask0_;
  Held<ilSmartImage> mask255_;
  PaintOps* plain_ = nullptr;
};

TEST_F(MaskingPainter, EmptyMaskOfFillZeroProtectsNothingAndTakesNoSnapshot) {
  MaskingPaintOps* m = Wrap(mask0_.get());
  m->BeginOperation();
  EXPECT_EQ(Fill(m, 4, 4, 8, 8, kPaint), 0);
  // No snapshot: the masked view is the target itself.
  EXPECT_EQ(m->GetMaskedTargetImg(ilTile(0, 0, 0, 16, 16, 1)), target_.get());
  m->EndOperation();
  EXPECT_EQ(PixelAt(target_.get(), 4, 4), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 11, 11), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 12, 12), kOld);
  EXPECT_EQ(m->getUnMaskedBounds(), target_->getBounds());
  m->unref();
}

TEST_F(MaskingPainter, EmptyMaskOfFill255ProtectsEverythingAndSkipsEveryWrite) {
  MaskingPaintOps* m = Wrap(mask255_.get());
  EXPECT_TRUE(m->IsFullyProtected(ilTile(-500, -500, 0, 1000, 1000, 1)));
  EXPECT_EQ(Fill(m, 0, 0, 64, 64, kPaint), 0);  // skipped, reported as done
  std::uint32_t row[8];
  for (auto& v : row) v = kPaint;
  EXPECT_EQ(m->rect_write(0, 0, 8, 1, row, nullptr), 0);
  Held<ilMemoryImg> src(Memory4(8, 8, kPaint));
  EXPECT_EQ(m->rect_copy(0, 0, 8, 8, src.get(), 0, 0, nullptr, 1.0f, 1.0f), 0);
  for (int y = 0; y < 64; y += 7) {
    for (int x = 0; x < 64; x += 7) ASSERT_EQ(PixelAt(target_.get(), x, y), kOld) << x << "," << y;
  }
  EXPECT_TRUE(m->getUnMaskedBounds().empty());
  m->unref();
}

TEST_F(MaskingPainter, FullMaskSquareKeepsItsPixelsWhileTheRestIsPainted) {
  mask0_->fillTileValue(10, 10, 8, 8, Pixel1(255));
  MaskingPaintOps* m = Wrap(mask0_.get(), 3, -2);  // mask (u, v) guards target (u - 3, v + 2)
  EXPECT_EQ(Fill(m, 0, 0, 32, 32, kPaint), 0);
  EXPECT_EQ(PixelAt(target_.get(), 7, 12), kOld);
  EXPECT_EQ(PixelAt(target_.get(), 14, 19), kOld);
  EXPECT_EQ(PixelAt(target_.get(), 15, 19), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 10, 10), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 6, 12), kPaint);
  m->unref();
}

TEST_F(MaskingPainter, PartialMaskPutsBackOncePerWriteOutsideAnOperation) {
  mask0_->fillTileValue(0, 0, 16, 16, Pixel1(128));
  MaskingPaintOps* m = Wrap(mask0_.get());
  Fill(m, 0, 0, 8, 8, kPaint);
  const std::uint32_t once = Mix(kOld, kPaint, 128);
  EXPECT_EQ(PixelAt(target_.get(), 3, 3), once);
  Fill(m, 0, 0, 8, 8, kPaint);  // a second write is protected again
  EXPECT_EQ(PixelAt(target_.get(), 3, 3), Mix(once, kPaint, 128));
  EXPECT_EQ(PixelAt(target_.get(), 20, 3), kOld);
  m->unref();
}

TEST_F(MaskingPainter, PartialMaskPutsBackOnceAtTheEndOfAnOperation) {
  mask0_->fillTileValue(0, 0, 16, 16, Pixel1(128));
  MaskingPaintOps* m = Wrap(mask0_.get());
  const int before = PaintOps::InOperation();
  m->BeginOperation();
  Fill(m, 0, 0, 8, 8, kPaint);
  Fill(m, 4, 4, 8, 8, 0xFF102030u);
  Fill(m, 4, 4, 8, 8, kPaint);
  Fill(m, 20, 20, 4, 4, kPaint);  // outside the mask: painted as is
  // Meanwhile the target holds the paint and the masked view the result.
  EXPECT_EQ(PixelAt(target_.get(), 5, 5), kPaint);
  std::uint32_t seen = 0;
  EXPECT_EQ(m->rect_read(5, 5, 1, 1, &seen, nullptr), 0);
  EXPECT_EQ(seen, Mix(kOld, kPaint, 128));
  m->EndOperation();
  EXPECT_EQ(PaintOps::InOperation(), before);
  EXPECT_EQ(PixelAt(target_.get(), 5, 5), Mix(kOld, kPaint, 128));
  EXPECT_EQ(PixelAt(target_.get(), 1, 1), Mix(kOld, kPaint, 128));
  EXPECT_EQ(PixelAt(target_.get(), 11, 11), Mix(kOld, kPaint, 128));
  EXPECT_EQ(PixelAt(target_.get(), 13, 13), kOld);
  EXPECT_EQ(PixelAt(target_.get(), 21, 21), kPaint);
  // After the operation nothing is pending: reads see the target again.
  EXPECT_EQ(m->GetMaskedTargetImg(ilTile(0, 0, 0, 4, 4, 1)), target_.get());
  m->unref();
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

TEST_F(MaskingPainter, UnmaskedBoundsOfAFill255MaskAreWithinItsPaintableArea) {
  Held<ilSmartImage> open(new ilSmartImage(Pixel1(255)));
  open->fillTileValue(10, 10, 50, 50, Pixel1(0));
  target_->fillTileValue(0, 0, 200, 200, Pixel4(kOld));
  MaskingPaintOps* m = Wrap(open.get());
  const ilTile b = m->getUnMaskedBounds();
  EXPECT_TRUE(ilTile(10, 10, 0, 50, 50, 1).contains(b));
  EXPECT_FALSE(b.empty());
  // A write outside that area is skipped; one inside lands.
  EXPECT_TRUE(m->IsFullyProtected(ilTile(100, 100, 0, 10, 10, 1)));
  Fill(m, 0, 0, 200, 200, kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 5, 5), kOld);
  EXPECT_EQ(PixelAt(target_.get(), 30, 30), kPaint);
  m->unref();
}

// ---- Dabs, with a stand-in for the brush subsystem: every dab replaces
// the 3 x 3 pixels around its centre with the paint.

struct DabStamp {
  int refs = 0;
};

class PaintingImpl : public StampImpl {
 public:
  explicit PaintingImpl(SoftPaintOps* p) : painter(p) {}
  int draw_stamp(float x, float y, ilTile& touched) override {
    const int cx = static_cast<int>(std::floor(x + 0.375f)),
              cy = static_cast<int>(std::floor(y + 0.375f));
    touched = ilTile(cx - 1, cy - 1, 0, 3, 3, 1);
    painter->target_img()->fillTileValue(cx - 1, cy - 1, 3, 3, Pixel4(kPaint));
    ++dabs;
    return 0;
  }
  bool has_stamp() const override { return stamp != nullptr; }
  bool uses_stamp(const Stamp* s) const override { return s == stamp; }
  void set_stamp(Stamp* s) override { stamp = s; }
  SoftPaintOps* painter;
  Stamp* stamp = nullptr;
  int dabs = 0;
};

class Services : public StampServices {
 public:
  void Reference(Stamp* s) override { ++reinterpret_cast<DabStamp*>(s)->refs; }
  void Release(Stamp* s) override { --reinterpret_cast<DabStamp*>(s)->refs; }
  int Kind(const Stamp*) override { return 0; }
  bool HighQuality(const Stamp*) override { return false; }
  bool Is16Bit(const Stamp*) override { return false; }
  float Opacity16(const Stamp*) override { return 1.0f; }
  void ResetPlacement(Stamp*) override {}
  void EmptyStampCache() override {}
  StampImpl* MakeImpl(StampImplKind, SoftPaintOps* painter) override {
    impls.push_back(new PaintingImpl(painter));
    return impls.back();
  }
  std::vector<PaintingImpl*> impls;
};

class PointList : public PaintPointStream {
 public:
  explicit PointList(std::vector<PaintPoint> p) : points(std::move(p)) {}
  bool next(PaintPoint& out) override {
    if (at >= points.size()) return false;
    out = points[at++];
    return true;
  }
  std::vector<PaintPoint> points;
  std::size_t at = 0;
};

class MaskedDabs : public MaskingPainter {
 protected:
  void SetUp() override {
    brenmark::SetStampServices(&services_);
    MaskingPaintOps::SetStampReachQuery([](const Stamp*) { return 1.5f; });
  }
  void TearDown() override {
    MaskingPaintOps::SetStampReachQuery(nullptr);
    MaskingPainter::TearDown();
    brenmark::SetStampServices(nullptr);
  }
  Stamp* stamp() { return reinterpret_cast<Stamp*>(&stamp_); }

  Services services_;
  DabStamp stamp_;
};

TEST_F(MaskedDabs, AStrokeAcrossAHalfProtectedSquareIsPutBackOnceAtItsEnd) {
  mask0_->fillTileValue(8, 8, 16, 16, Pixel1(128));
  MaskingPaintOps* m = Wrap(mask0_.get());
  m->set_stamp(stamp());
  EXPECT_EQ(stamp_.refs, 2);  // the masking painter's and the software painter's
  std::vector<PaintPoint> pts;
  for (int x = 2; x <= 40; x += 2) pts.emplace_back(static_cast<float>(x), 16.0f);
  PointList stroke(pts);
  m->BeginOperation();
  EXPECT_EQ(m->draw_stamps(stroke, nullptr), 0);
  EXPECT_EQ(PixelAt(target_.get(), 16, 16), kPaint);  // dabs accumulate normally
  m->EndOperation();
  EXPECT_EQ(services_.impls.back()->dabs, 20);
  EXPECT_EQ(PixelAt(target_.get(), 16, 16), Mix(kOld, kPaint, 128));
  EXPECT_EQ(PixelAt(target_.get(), 10, 15), Mix(kOld, kPaint, 128));
  EXPECT_EQ(PixelAt(target_.get(), 4, 16), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 30, 17), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 16, 20), kOld);
  m->set_stamp(nullptr);
  m->unref();
  EXPECT_EQ(stamp_.refs, 0);
}

TEST_F(MaskedDabs, ArrayDabsPutBackPerCallAndFullyProtectedDabsAreSkipped) {
  mask255_->fillTileValue(0, 0, 20, 20, Pixel1(0));  // paintable only there
  MaskingPaintOps* m = Wrap(mask255_.get());
  m->set_stamp(stamp());
  const PaintPoint far[1] = {PaintPoint(40.0f, 40.0f)};
  EXPECT_EQ(m->draw_stamps(far, 1, nullptr), 0);
  EXPECT_EQ(services_.impls.back()->dabs, 0);  // never reached the painter
  EXPECT_EQ(PixelAt(target_.get(), 40, 40), kOld);
  const PaintPoint inside[2] = {PaintPoint(5.0f, 5.0f), PaintPoint(19.0f, 10.0f)};
  EXPECT_EQ(m->draw_stamps(inside, 2, nullptr), 0);
  EXPECT_EQ(services_.impls.back()->dabs, 2);
  EXPECT_EQ(PixelAt(target_.get(), 5, 5), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 19, 10), kPaint);
  EXPECT_EQ(PixelAt(target_.get(), 20, 10), kOld);  // past the open area: put back
  m->set_stamp(nullptr);
  m->unref();
}

}  // namespace
