// A stand-in for the brush subsystem at the painter's stamp seam: stamps are
// plain records, renderers record their dabs and, given a colour, paint each
// dab through the painter as a plain fill in the painter's blend.
#pragma once

#include <brenmark/paint_ops.h>
#include <brenmark/soft_paint_ops.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "paintops/soft_paint_ops_stamp.h"

namespace painter_test {

// What the painter sees of a stamp; passed around as a Stamp*.
struct FakeStamp {
  int kind = 0;
  bool highQuality = false;
  bool sixteen = false;
  float opacity16 = 1.0f;
  int refs = 0;
  int resets = 0;
};

inline FakeStamp* Of(const Stamp* s) {
  return reinterpret_cast<FakeStamp*>(const_cast<Stamp*>(s));
}
inline Stamp* AsStamp(FakeStamp* s) {
  return reinterpret_cast<Stamp*>(s);
}

struct Dab {
  float x, y;
};

// How a renderer paints: nothing (record only), or the square of the given
// radius around the point each dab was asked for, in `colour`.
struct DabLook {
  int radius = 1;
  const std::uint32_t* colour = nullptr;
};

class FakeImpl : public StampImpl {
 public:
  FakeImpl(StampImplKind k, SoftPaintOps* p, DabLook l) : kind(k), painter(p), look(l) {}
  int draw_stamp(float x, float y, ilTile& touched) override {
    if (static_cast<int>(dabs.size()) == failAt) return 7;
    dabs.push_back({x, y});
    // The painter moved the point by -0.375; the square is centred on it.
    const int r = look.radius;
    touched = ilTile(static_cast<int>(std::floor(x + 0.375f)) - r,
                     static_cast<int>(std::floor(y + 0.375f)) - r, 0, 2 * r + 1, 2 * r + 1, 1);
    if (look.colour == nullptr) return 0;
    std::uint32_t c = *look.colour;
    return painter->rect_fill(touched.x, touched.y, touched.nx, touched.ny, &c, nullptr);
  }
  int begin_stamps() override {
    ++begins;
    return beginResult;
  }
  void end_stamps() override { ++ends; }
  bool has_stamp() const override { return stamp != nullptr; }
  bool uses_stamp(const Stamp* s) const override { return stamp == s; }
  void set_stamp(Stamp* s) override { stamp = s; }

  StampImplKind kind;
  SoftPaintOps* painter;
  DabLook look;
  Stamp* stamp = nullptr;
  std::vector<Dab> dabs;
  int failAt = -1;
  int beginResult = 0;
  int begins = 0;
  int ends = 0;
};

class FakeServices : public StampServices {
 public:
  void Reference(Stamp* s) override { ++Of(s)->refs; }
  void Release(Stamp* s) override { --Of(s)->refs; }
  int Kind(const Stamp* s) override { return Of(s)->kind; }
  bool HighQuality(const Stamp* s) override { return Of(s)->highQuality; }
  bool Is16Bit(const Stamp* s) override { return Of(s)->sixteen; }
  float Opacity16(const Stamp* s) override { return Of(s)->opacity16; }
  void ResetPlacement(Stamp* s) override { ++Of(s)->resets; }
  void EmptyStampCache() override { ++cacheEmptied; }
  StampImpl* MakeImpl(StampImplKind kind, SoftPaintOps* painter) override {
    made.push_back(new FakeImpl(kind, painter, look));
    return made.back();
  }

  DabLook look;                 // given to every renderer made from now on
  std::vector<FakeImpl*> made;  // owned by the painters
  int cacheEmptied = 0;
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

}  // namespace painter_test
