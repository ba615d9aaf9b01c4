// The painter envelope: what it answers without a letter, forwarding,
// retargeting, the operation and stroke counters, the fast painter, the
// modified and damage rectangles with scale; and dabs through its stamp seam
// with a stand-in for the brush subsystem: choosing and switching the
// renderer, the dab runs of both draw_stamps forms, and the low-order-bit
// image that 16-bit and marker stamps bring with them.
#include <brenmark/observable.h>
#include <brenmark/paint_ops.h>
#include <brenmark/soft_paint_ops.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "painter_images.h"
#include "painter_stamps.h"

namespace {

using namespace painter_test;

// Reaches the protected bookkeeping helpers and the letter.
class Envelope : public PaintOps {
 public:
  using PaintOps::add_tile;
  using PaintOps::PaintOps;
  using PaintOps::tile_was_modified;
  using PaintOps::update_tile;
  PaintOps* letter() const { return get_rep_(); }
};

class CountingObserver : public Observer {
 public:
  void update(Observable*) override { ++updates; }
  int updates = 0;
};

TEST(PainterEnvelope, WithoutALetterOperationsDeclineAndQueriesAnswerDefaults) {
  Held<ilMemoryImg> target(Memory4(4, 4, 0));
  PaintOps own(target.get(), 0);
  Held<ilMemoryImg> src(Memory4(1, 1, 0));
  std::uint32_t px = 0;
  BlendFactor s, d;
  // Declined: -1 from every operation; 0 from the queries.
  EXPECT_EQ((std::array{
                own.set_writable(1, 1, 1, 1), own.set_stamp(nullptr), own.draw_stamp(1, 1, nullptr),
                own.blend_func(BlendOne, BlendZero), own.rect_read(0, 0, 1, 1, &px, nullptr),
                own.rect_write(0, 0, 1, 1, &px, nullptr), own.rect_fill(0, 0, 1, 1, &px, nullptr),
                own.rect_copy(0, 0, 1, 1, src.get(), 0, 0, nullptr, 1, 1),
                own.connect_stamps(1, 2, 3), own.get_blend_func(s, d)}),
            (std::array{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}));
  EXPECT_EQ((std::array{own.connect_stamps(), own.keep_read_valid(1), own.is_read_valid()}),
            (std::array{0, 0, 0}));
  EXPECT_EQ(own.target_img(), target.get());
  EXPECT_EQ(own.GetMaskedTargetImg(ilTile()), target.get());
  EXPECT_EQ(own.getUnMaskedBounds(), ilTile(0, 0, 0, 4, 4, 1));
  EXPECT_EQ(own.transform(), nullptr);
}

// Mode 0 paints (1, 7), any other erases (0, 7); unknown codes are refused.
TEST(PainterEnvelope, ApplicationModeChoosesPaintOrEraseAndUnknownCodesAreRefused) {
  Canvas c(1, 1, 0);
  PaintOps& painter = c.painter;
  BlendFactor s, d;
  const auto pair = [&] {
    painter.get_blend_func(s, d);
    return std::pair{s, d};
  };
  painter.set_application_mode(0, nullptr);
  EXPECT_EQ(pair(), std::pair(BlendOne, BlendOneMinusSrcAlpha));
  painter.set_application_mode(3, nullptr);
  EXPECT_EQ(pair(), std::pair(BlendZero, BlendOneMinusSrcAlpha));
  EXPECT_EQ(painter.GetApplicationMode(), 3);
  EXPECT_EQ(painter.blend_func(static_cast<BlendFactor>(3), BlendOne), -1);
  EXPECT_EQ(pair(), std::pair(BlendZero, BlendOneMinusSrcAlpha));
}

TEST(PainterEnvelope, OperationObserversHearOnlyAnUnderflowStrokesStopAtZero) {
  CountingObserver observer;
  PaintOps::GetOperationObservable()->attach(&observer);
  Held<ilMemoryImg> target(Memory4(1, 1, 0));
  PaintOps painter(target.get(), 1);
  ASSERT_EQ(PaintOps::InOperation(), 0);
  // The envelope counts once and its letter once more.
  painter.BeginOperation();
  EXPECT_EQ(PaintOps::InOperation(), 2);
  painter.EndOperation();
  EXPECT_EQ((std::tuple{PaintOps::InOperation(), observer.updates}), (std::tuple{0, 0}));
  painter.EndOperation();
  EXPECT_EQ((std::tuple{PaintOps::InOperation(), observer.updates}), (std::tuple{0, 1}));

  PaintOps own(target.get(), 0);
  own.BeginOperation();
  own.EndOperation();
  EXPECT_EQ(observer.updates, 1);
  own.EndOperation();
  EXPECT_EQ((std::tuple{observer.updates, PaintOps::InOperation()}), (std::tuple{2, 0}));
  PaintOps::GetOperationObservable()->detach(&observer);
  // The stroke count is not forwarded and stops at zero.
  painter.BeginStroke();
  EXPECT_EQ(PaintOps::InStroke(), 1);
  painter.EndStroke();
  painter.EndStroke();
  EXPECT_EQ(PaintOps::InStroke(), 0);
}

TEST(PainterEnvelope, RetargetCarriesTheListedStateToANewLetter) {
  Held<ilSmartImage> first(new ilSmartImage(Pixel4(0)));
  Held<ilSmartImage> second(new ilSmartImage(Pixel4(0)));
  Envelope painter(first.get(), 1);
  PaintOps* old = painter.letter();
  painter.set_scale(2, 2);
  std::uint32_t px = 0xFFFFFFFFu;
  ASSERT_EQ(painter.rect_fill(0, 0, 1, 1, &px, nullptr), 0);
  painter.set_writable(1, 0, 1, 1);
  painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
  painter.SetMarkerBlend(true);
  painter.SetMarkerWetness(0.8f);
  painter.SetMaskBlend(true);
  painter.SetBrushClippingRect(ilTile(1, 2, 0, 3, 4, 1));
  painter.damage(ilTile(0, 0, 0, 5, 5, 1));
  painter.SetBlendOpacity(0.25f);

  painter.retarget(second.get(), false, false);
  EXPECT_NE(painter.letter(), old);
  EXPECT_EQ(painter.target_img(), second.get());
  const int* flags = painter.get_writable();
  EXPECT_EQ((std::array{flags[0], flags[1], flags[2], flags[3]}), (std::array{1, 0, 1, 1}));
  BlendFactor s, d;
  painter.get_blend_func(s, d);
  EXPECT_EQ(std::pair(s, d), std::pair(BlendSrcAlpha, BlendOneMinusSrcAlpha));
  EXPECT_TRUE(painter.IsMarkerBlend() && painter.IsMaskBlend());
  float sx, sy;
  painter.get_scale(sx, sy);
  EXPECT_EQ((std::array{sx, painter.MarkerWetness(), painter.GetBlendOpacity()}),
            (std::array{2.0f, 0.8f, 0.25f}));
  EXPECT_EQ(painter.GetBrushClippingRect(), ilTile(1, 2, 0, 3, 4, 1));
  EXPECT_EQ(painter.GetDamaged(), ilTile(0, 0, 0, 10, 10, 1));
  EXPECT_EQ(Modified(painter), ilTile(0, 0, 0, 2, 2, 1));

  // A one-channel image: flags for channels it lacks are 1.
  Held<ilSmartImage> mask(new ilSmartImage(Pixel1(0)));
  painter.set_writable(0, 0, 0, 0);
  painter.retarget(mask.get(), false, false);
  flags = painter.get_writable();
  EXPECT_EQ((std::array{flags[0], flags[1], flags[2], flags[3]}), (std::array{0, 1, 1, 1}));
}

TEST(PainterEnvelope, RetargetKeepsOrDropsTheLowOrderBits) {
  Held<ilSmartImage> a(new ilSmartImage(Pixel4(0)));
  Held<ilSmartImage> b(new ilSmartImage(Pixel4(0)));
  Held<ilSmartImage> mask(new ilSmartImage(Pixel1(0)));
  Held<ilSmartImage> low(new ilSmartImage(Pixel4(0x7F7F7F7Fu)));
  Envelope painter(a.get(), 1);
  painter.SetLowOrderBitImage(low.get());
  ASSERT_EQ(painter.GetLowOrderBitImage(), low.get());
  EXPECT_EQ(low->getRefCount(), 2);
  // Attaching the same image again takes no second reference.
  painter.SetLowOrderBitImage(low.get());
  EXPECT_EQ(low->getRefCount(), 2);

  // Both flags: same letter, new target, low bits kept.
  PaintOps* letter = painter.letter();
  painter.retarget(b.get(), true, true);
  EXPECT_EQ(painter.letter(), letter);
  EXPECT_EQ(painter.target_img(), b.get());
  EXPECT_EQ(painter.GetLowOrderBitImage(), low.get());

  // A new letter carries them when the channel count agrees.
  painter.retarget(a.get(), true, false);
  EXPECT_NE(painter.letter(), letter);
  EXPECT_EQ(painter.GetLowOrderBitImage(), low.get());
  EXPECT_EQ(low->getRefCount(), 2);

  painter.retarget(mask.get(), true, false);
  EXPECT_EQ(painter.GetLowOrderBitImage(), nullptr);
  EXPECT_EQ(low->getRefCount(), 1);

  // An image of another channel count is not attached at all.
  painter.SetLowOrderBitImage(low.get());
  EXPECT_EQ(painter.GetLowOrderBitImage(), nullptr);
  EXPECT_EQ(low->getRefCount(), 1);

  // Without an image both flags count as false: a letter on nothing.
  painter.retarget(nullptr, true, true);
  EXPECT_EQ(painter.target_img(), nullptr);
  std::uint32_t px = 0;
  EXPECT_EQ(painter.rect_fill(0, 0, 1, 1, &px, nullptr), -1);
}

TEST(PainterEnvelope, FastPainterIsOursUntilOneIsInstalled) {
  ASSERT_FALSE(PaintOps::fast_painter_installed());
  PaintOps* ours = PaintOps::fast_painter();
  ASSERT_NE(ours, nullptr);
  EXPECT_EQ(PaintOps::fast_painter(), ours);
  EXPECT_EQ(ours->target_img()->getSize(), ilSize(512, 512, 1, 4));
  {
    Held<ilMemoryImg> target(Memory4(2, 2, 0));
    PaintOps mine(target.get(), 1);
    PaintOps::fast_painter(&mine);
    EXPECT_TRUE(PaintOps::fast_painter_installed());
    EXPECT_EQ(PaintOps::fast_painter(), &mine);
  }
  // Destroying the installed painter uninstalled it; a new own one is made.
  EXPECT_FALSE(PaintOps::fast_painter_installed());
  PaintOps* again = PaintOps::fast_painter();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->target_img()->getXsize(), 512);
}

// ---- Rectangles.

TEST(PainterRectangles, AddTileMergesEachAxisOnItsOwn) {
  Held<ilMemoryImg> target(Memory4(1, 1, 0));
  Envelope painter(target.get(), 0);
  ilTile into(10, 10, 0, 5, 5, 1);
  painter.add_tile(into, ilTile(0, 2, 0, 0, 20, 1));
  EXPECT_EQ(into, ilTile(10, 2, 0, 5, 20, 1));
  painter.add_tile(into, ilTile(-3, 50, 0, 2, 0, 1));
  EXPECT_EQ(into, ilTile(-3, 2, 0, 18, 20, 1));
  ilTile empty(0, 0, 0, 0, 0, 1);
  painter.add_tile(empty, ilTile(7, 8, 0, 1, 2, 1));
  EXPECT_EQ(empty, ilTile(7, 8, 0, 1, 2, 1));
  ilTile dabs(0, 0, 0, 3, 3, 1);
  painter.update_tile(dabs, ilTile(5, -2, 0, 1, 1, 1));
  EXPECT_EQ(dabs, ilTile(0, -2, 0, 6, 5, 1));
}

TEST(PainterRectangles, SinceLastCallClearsOnReadAndSinceResetOnReset) {
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  Envelope painter(target.get(), 1);
  painter.tile_was_modified(ilTile(-5, -5, 0, 10, 10, 1));
  ilTile out;
  EXPECT_EQ(painter.tile_modified(out, SinceLastCall, 0, 0), 1);
  EXPECT_EQ(out, ilTile(-5, -5, 0, 10, 10, 1));  // a smart target is not clipped
  EXPECT_EQ(painter.tile_modified(out, SinceLastCall, 0, 0), 0);
  EXPECT_EQ(painter.tile_modified(out, SinceReset, 0, 0), 1);
  EXPECT_EQ(painter.tile_modified(out, SinceReset, 0, 0), 1);
  painter.tile_was_modified(ilTile(20, 20, 0, 1, 1, 1));
  ilTile acc(0, 0, 0, 1, 1, 1);
  painter.tile_modified(acc, SinceLastCall, 1, 0);
  EXPECT_EQ(acc, ilTile(0, 0, 0, 21, 21, 1));
  painter.reset_tile_modified();
  EXPECT_EQ(painter.tile_modified(out, SinceReset, 0, 0), 0);
}

TEST(PainterRectangles, DamageIsScaledInAndOutOutwards) {
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  PaintOps painter(target.get(), 1);
  EXPECT_EQ(painter.damaged(), 0);
  painter.set_scale(2, 2);
  painter.damage(ilTile(1, 1, 0, 3, 3, 1));
  EXPECT_EQ(painter.GetDamaged(), ilTile(2, 2, 0, 6, 6, 1));
  ilTile out;
  EXPECT_EQ(painter.damaged(out, 0, 1), 1);
  EXPECT_EQ(out, ilTile(1, 1, 0, 3, 3, 1));
  EXPECT_EQ(painter.damaged(), 1);  // reading does not clear
  painter.set_scale(0.5f, 0.5f);
  ilTile t(3, -3, 0, 3, 3, 1);
  painter.convert_to_target(t);
  EXPECT_EQ(t, ilTile(1, -2, 0, 2, 2, 1));
  painter.reset_damage();
  EXPECT_EQ(painter.damaged(), 0);
}

TEST(PainterRectangles, FixedSizeTargetsClipInTheirOwnUnits) {
  Held<ilMemoryImg> target(Memory4(10, 8, 0));
  Envelope painter(target.get(), 1);
  painter.set_scale(2, 2);
  // Writes are recorded in target pixels.
  std::uint32_t px = 0xFFFFFFFFu;
  ASSERT_EQ(painter.rect_fill(-1, 2, 4, 4, &px, nullptr), 0);
  EXPECT_EQ(Modified(painter), ilTile(0, 4, 0, 6, 4, 1));
  // In caller units the limits are the size over the scale: 5 x 4.
  ilTile out;
  EXPECT_EQ(painter.tile_modified(out, SinceReset, 0, 1), 1);
  EXPECT_EQ(out, ilTile(0, 2, 0, 3, 2, 1));
}

// ---- Dabs through the stamp seam.

class PainterStamp : public testing::Test {
 protected:
  void SetUp() override { brenmark::SetStampServices(&services); }
  void TearDown() override { brenmark::SetStampServices(nullptr); }

  FakeImpl* Current() const { return services.made.empty() ? nullptr : services.made.back(); }

  FakeServices services;
};

TEST_F(PainterStamp, TheStampChoosesItsRendererAndBothAreKept) {
  FakeStamp colour;
  FakeStamp image;
  image.kind = 2;
  FakeStamp fine;
  fine.highQuality = true;
  {
    Held<ilMemoryImg> target(Memory4(8, 8, 0));
    PaintOps painter(target.get(), 1);
    EXPECT_EQ(painter.set_stamp(AsStamp(&colour)), 1);
    ASSERT_EQ(services.made.size(), 1u);
    FakeImpl* plain = services.made[0];
    EXPECT_EQ(plain->kind, StampImplKind::kImage);
    EXPECT_EQ(painter.get_stamp(), AsStamp(&colour));
    EXPECT_EQ(colour.refs, 1);

    EXPECT_EQ(painter.set_stamp(AsStamp(&image)), 1);
    ASSERT_EQ(services.made.size(), 2u);
    FakeImpl* separable = services.made[1];
    EXPECT_EQ(separable->kind, StampImplKind::kSeparable);
    EXPECT_EQ(plain->stamp, nullptr);  // the one left behind lets go
    EXPECT_EQ(colour.refs, 0);

    EXPECT_EQ(painter.set_stamp(AsStamp(&fine)), 1);
    EXPECT_EQ(services.made.size(), 2u);  // reused
    EXPECT_EQ(separable->stamp, AsStamp(&fine));
    EXPECT_EQ(painter.set_stamp(AsStamp(&colour)), 1);
    EXPECT_EQ(services.made.size(), 2u);
    EXPECT_EQ(plain->stamp, AsStamp(&colour));
    EXPECT_EQ(separable->stamp, nullptr);

    painter.reset();
    EXPECT_EQ((std::tuple{colour.resets, services.cacheEmptied}), (std::tuple{1, 1}));

    EXPECT_EQ(painter.set_stamp(nullptr), 0);
    EXPECT_EQ(plain->stamp, nullptr);
    EXPECT_EQ(painter.draw_stamp(1, 1, nullptr), -1);
    painter.reset();
    EXPECT_EQ(services.cacheEmptied, 2);
    EXPECT_EQ(painter.set_stamp(AsStamp(&fine)), 1);
  }
  EXPECT_EQ((std::tuple{colour.refs, image.refs, fine.refs}), (std::tuple{0, 0, 0}));
}

TEST_F(PainterStamp, WithoutServicesNoStampIsTaken) {
  brenmark::SetStampServices(nullptr);
  FakeStamp colour;
  Held<ilMemoryImg> target(Memory4(8, 8, 0));
  PaintOps painter(target.get(), 1);
  EXPECT_EQ(painter.set_stamp(AsStamp(&colour)), 0);
  EXPECT_EQ(painter.get_stamp(), nullptr);
  EXPECT_EQ((std::tuple{colour.refs, painter.draw_stamp(1, 1, nullptr)}), (std::tuple{0, -1}));
}

TEST_F(PainterStamp, ADabRunPlacesEachDabRecordsTheirUnionAndEndsAtAFailure) {
  FakeStamp colour;
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  PaintOps painter(target.get(), 1);
  painter.set_stamp(AsStamp(&colour));
  FakeImpl* impl = Current();
  const PaintPoint points[3] = {{10, 10}, {20.5f, 5}, {-4, 30}};
  EXPECT_EQ(painter.draw_stamps(points, 3, nullptr), 0);
  ASSERT_EQ(impl->dabs.size(), 3u);
  EXPECT_FLOAT_EQ(impl->dabs[0].x, 9.625f);
  EXPECT_FLOAT_EQ(impl->dabs[1].x, 20.125f);
  EXPECT_FLOAT_EQ(impl->dabs[2].y, 29.625f);
  EXPECT_EQ(std::pair(impl->begins, impl->ends), std::pair(1, 1));
  EXPECT_EQ(Modified(painter), ilTile(-5, 4, 0, 27, 28, 1));
  EXPECT_EQ(painter.draw_stamps(points, 0, nullptr), 0);
  EXPECT_EQ(impl->begins, 1);

  // A failing dab ends the run and keeps what was drawn.
  impl->failAt = 4;
  painter.reset_tile_modified();
  const PaintPoint more[3] = {{10, 10}, {40, 40}, {50, 50}};
  EXPECT_EQ(painter.draw_stamps(more, 3, nullptr), 7);
  EXPECT_EQ((std::tuple{impl->dabs.size(), impl->ends}), (std::tuple{4u, 2}));
  EXPECT_EQ(Modified(painter), ilTile(9, 9, 0, 3, 3, 1));
  // A run that cannot begin draws nothing and still ends.
  impl->beginResult = 3;
  EXPECT_EQ(painter.draw_stamps(more, 1, nullptr), 3);
  EXPECT_EQ((std::tuple{impl->dabs.size(), impl->ends}), (std::tuple{4u, 3}));
}

TEST_F(PainterStamp, StreamDabsStayInsideTheClipIncludingItsFarEdges) {
  FakeStamp colour;
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  PaintOps painter(target.get(), 1);
  painter.set_stamp(AsStamp(&colour));
  painter.SetBrushClippingRect(ilTile(0, 0, 0, 10, 10, 1));
  FakeImpl* impl = Current();

  PointList outside({{-0.5f, 2}, {10.01f, 5}, {3, 10.5f}});
  EXPECT_EQ(painter.draw_stamps(outside, nullptr), 0);
  EXPECT_EQ(std::pair(impl->begins, impl->ends), std::pair(0, 0));
  EXPECT_EQ(Modified(painter), std::nullopt);

  PointList edge({{20, 20}, {10, 5}, {0, 10}, {11, 0}});
  EXPECT_EQ(painter.draw_stamps(edge, nullptr), 0);
  ASSERT_EQ(impl->dabs.size(), 2u);
  EXPECT_FLOAT_EQ(impl->dabs[0].x, 9.625f);
  EXPECT_FLOAT_EQ(impl->dabs[1].y, 9.625f);
  EXPECT_EQ(std::pair(impl->begins, impl->ends), std::pair(1, 1));
  EXPECT_EQ(Modified(painter), ilTile(-1, 4, 0, 13, 8, 1));

  // The first failing dab stops the stream there.
  impl->failAt = 3;
  PointList more({{1, 1}, {2, 2}, {3, 3}});
  EXPECT_EQ(painter.draw_stamps(more, nullptr), 7);
  EXPECT_EQ((std::tuple{impl->dabs.size(), more.at}), (std::tuple{3u, 2u}));
}

TEST_F(PainterStamp, LowOrderBitsExistWhileA16BitOrMarkerStampIsSet) {
  FakeStamp plain;
  FakeStamp deep;
  deep.sixteen = true;
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  PaintOps painter(target.get(), 1);
  painter.set_stamp(AsStamp(&deep));
  EXPECT_EQ(painter.GetLowOrderBitImage(), nullptr);
  painter.BeginOperation();
  ilSmartImage* low = painter.GetLowOrderBitImage();
  ASSERT_NE(low, nullptr);
  EXPECT_EQ(low->GetChannels(), 4);
  // Unpainted low bits sit in the middle of their range.
  EXPECT_EQ(low->GetPixel(-5000, 77), 0x7F7F7F7Fu);
  painter.EndOperation();

  painter.set_stamp(AsStamp(&plain));
  painter.draw_stamps(nullptr, 0, nullptr);
  EXPECT_EQ(painter.GetLowOrderBitImage(), nullptr);
  painter.SetMarkerBlend(true);
  painter.draw_stamps(nullptr, 0, nullptr);
  EXPECT_NE(painter.GetLowOrderBitImage(), nullptr);

  Held<ilSmartImage> mask(new ilSmartImage(Pixel1(0)));
  PaintOps maskPainter(mask.get(), 1);
  maskPainter.set_stamp(AsStamp(&deep));
  maskPainter.draw_stamps(nullptr, 0, nullptr);
  ASSERT_NE(maskPainter.GetLowOrderBitImage(), nullptr);
  EXPECT_EQ(maskPainter.GetLowOrderBitImage()->GetChannels(), 1);
  EXPECT_EQ(maskPainter.GetLowOrderBitImage()->GetPixel(3, 3), 0x7Fu);
}

// The 16-bit brush blend of one channel: 8 high bits d, 7 low bits l.
void Brush16(unsigned s, unsigned a, unsigned k, unsigned dither, unsigned& d, unsigned& l) {
  const unsigned f = (a * k) >> 1;
  const unsigned cur = (d << 7) | l;
  unsigned v = ((cur * (32767 - f)) >> 16) << 2;
  v = std::min(65535u, v + (dither >> 6));
  v = std::min(65535u, v + ((((s << 7) * f) >> 16) << 2));
  d = std::min(255u, v >> 8);
  l = (v & 0xFFu) >> 1;
}

// The 16-bit brush keeps 8 high bits in the target and 7 low ones in the
// low-order image: on a paged target, and on a memory target (one page) whose
// low-order bits come in 128-pixel pages, so the walk splits its rows there.
TEST_F(PainterStamp, SixteenBitBrushCarriesTheLowOrderBits) {
  const struct {
    bool paged;
    std::uint32_t bg, colour;
    float opacity;
    unsigned k;  // round(opacity * 255)
    int x0, nx;
  } cases[] = {{true, 0, 0xFFFFFFFFu, 1.0f, 255, -1, 2},
               {false, 0x80808080u, 0xFF000000u, 0.5f, 128, 0, 300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paged ? "paged" : "memory");
    FakeStamp deep;
    deep.sixteen = true;
    deep.opacity16 = c.opacity;
    ilSmartImage* smart = c.paged ? new ilSmartImage(Pixel4(c.bg)) : nullptr;
    Held<ilImage> target(smart ? static_cast<ilImage*>(smart) : Memory4(300, 2, c.bg));
    Held<ilMemoryImg> coverage(Memory1(300, 2, 200));
    Set1(coverage.get(), 0, 0, 255);
    PaintOps painter(target.get(), 1);
    painter.set_stamp(AsStamp(&deep));
    painter.BeginOperation();
    painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
    painter.src_alpha_img(coverage.get());
    std::uint32_t colour = c.colour;
    const unsigned dither = NextBlendDither();
    ASSERT_EQ(painter.rect_fill(c.x0, 0, c.nx, 2, &colour, nullptr), 0);
    painter.EndOperation();
    for (int u : {0, 1, 127, 128, 255, 256, 299}) {
      for (int v = 0; u < c.nx && v < 2; ++v) {
        std::uint32_t high = 0, low = 0;
        for (int shift = 0; shift < 32; shift += 8) {
          unsigned d = (c.bg >> shift) & 0xFFu, l = 0x7F;
          Brush16((c.colour >> shift) & 0xFFu, Get1(coverage.get(), u, v), c.k, dither, d, l);
          high |= d << shift;
          low |= l << shift;
        }
        const int x = c.x0 + u;
        ASSERT_EQ(
            smart ? smart->GetPixel(x, v) : Get4(static_cast<ilMemoryImg*>(target.get()), x, v),
            high)
            << u;
        ASSERT_EQ(painter.GetLowOrderBitImage()->GetPixel(x, v), low) << u;
      }
    }
    // Full coverage at opacity 1 moves about 99% of the way in one dab.
    if (smart) {
      EXPECT_EQ(smart->GetPixel(-1, 0) >> 24, 253u);
    }
  }
}

TEST_F(PainterStamp, MarkerBlendWritesOnlyWithLowOrderBits) {
  Held<ilSmartImage> target(new ilSmartImage(Pixel4(0)));
  Held<ilMemoryImg> coverage(Memory1(1, 1, 255));
  PaintOps painter(target.get(), 1);
  painter.SetMarkerBlend(true);
  painter.SetMarkerWetness(1.0f);
  painter.blend_func(BlendSrcAlpha, BlendOneMinusSrcAlpha);
  painter.src_alpha_img(coverage.get());
  std::uint32_t red = 0xFF0000FFu;
  ASSERT_EQ(painter.rect_fill(0, 0, 1, 1, &red, nullptr), 0);
  EXPECT_EQ(target->GetPixel(0, 0), 0u);  // no stamp, no low bits: nothing

  Held<ilSmartImage> low(new ilSmartImage(Pixel4(0)));
  painter.SetLowOrderBitImage(low.get());
  ASSERT_EQ(painter.rect_fill(0, 0, 1, 1, &red, nullptr), 0);
  // k = 64 at full wetness: w = 255 * 64 of 65535 moves alpha and red up
  // by about a quarter, green and blue stay 0.
  EXPECT_EQ(target->GetPixel(0, 0), 0x3F00003Fu);
}

}  // namespace
