// The masking painter: capture of the pixels under a write as copy-on-write
// page references, the write itself through the wrapped painter, and the
// put-back through the mask with the software painter's mask blend.
#include "brenmark/masking_paint_ops.h"

#include "brenmark/smart_image.h"
#include "paintops/soft_paint_ops_stamp.h"

namespace {

// The largest stamp radius is 255; its dab image reaches one pixel further.
constexpr float kLargestStampReach = 256.0f;
constexpr int kPage = 128;

MaskingPaintOps::StampReachQuery g_reach_query = nullptr;

const ilTile kEmpty(0, 0, 0, 0, 0, 1);

ilTile Moved(ilTile t, int dx, int dy) {
  t.x += dx;
  t.y += dy;
  return t;
}

bool Meets(const ilTile& a, const ilTile& b) {
  return !ilTile(ilTile(a.x, a.y, 0, a.nx, a.ny, 1), ilTile(b.x, b.y, 0, b.nx, b.ny, 1)).empty();
}

ilTile Intersect(const ilTile& a, const ilTile& b) {
  ilTile r(ilTile(a.x, a.y, 0, a.nx, a.ny, 1), ilTile(b.x, b.y, 0, b.nx, b.ny, 1));
  return r.empty() ? kEmpty : r;
}

// t widened outward to the 128-pixel page grid (origin rounded down, far
// edges rounded up; the bit mask rounds negative values down as well).
ilTile ToPageGrid(const ilTile& t) {
  const int x0 = t.x & ~(kPage - 1);
  const int y0 = t.y & ~(kPage - 1);
  const int x1 = (t.x + t.nx + kPage - 1) & ~(kPage - 1);
  const int y1 = (t.y + t.ny + kPage - 1) & ~(kPage - 1);
  return ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1);
}

// A stream of one point: a single dab keeps the stream path's brush
// clipping test.
class OnePoint : public PaintPointStream {
 public:
  explicit OnePoint(const PaintPoint& p) : p_(p) {}
  bool next(PaintPoint& out) override {
    if (done_) return false;
    out = p_;
    done_ = true;
    return true;
  }

 private:
  PaintPoint p_;
  bool done_ = false;
};

}  // namespace

MaskingPaintOps::MaskingPaintOps(ilImage* target, ilImage* mask, int offsetX, int offsetY)
    : PaintOps(target, 1) {
  SetMask(mask, offsetX, offsetY);
}

MaskingPaintOps::MaskingPaintOps(PaintOps* painter, ilImage* mask, int offsetX, int offsetY) {
  SetPainter(painter);
  SetMask(mask, offsetX, offsetY);
}

MaskingPaintOps::~MaskingPaintOps() {
  if (inOperation_) EndOperation();
  EndSnapshot();
  TakeStamp(nullptr);
  if (mask_ != nullptr) mask_->unref();
  mask_ = nullptr;
  if (scratchPainter_ != nullptr) scratchPainter_->unref();
  if (scratch_ != nullptr) scratch_->unref();
  scratchPainter_ = nullptr;
  scratch_ = nullptr;
  if (wrapped_ != nullptr) {
    set_rep_(nullptr, 0);
    wrapped_->unref();
    wrapped_ = nullptr;
  }
}

void MaskingPaintOps::SetStampReachQuery(StampReachQuery query) {
  g_reach_query = query;
}

float MaskingPaintOps::StampReach(const Stamp* stamp) {
  if (stamp != nullptr && g_reach_query != nullptr) return g_reach_query(stamp);
  return kLargestStampReach;
}

void MaskingPaintOps::TakeStamp(Stamp* stamp) {
  if (stamp == stamp_) return;
  StampServices* services = brenmark::GetStampServices();
  if (services == nullptr) {
    stamp_ = nullptr;
    return;
  }
  if (stamp != nullptr) services->Reference(stamp);
  if (stamp_ != nullptr) services->Release(stamp_);
  stamp_ = stamp;
}

void MaskingPaintOps::SetPainter(PaintOps* painter) {
  if (painter == wrapped_ || painter == this) return;
  if (painter != nullptr) painter->ref();
  set_rep_(painter, 0);
  if (wrapped_ != nullptr) wrapped_->unref();
  wrapped_ = painter;
  TakeStamp(painter != nullptr ? painter->get_stamp() : nullptr);
}

void MaskingPaintOps::SetMask(ilImage* mask, int offsetX, int offsetY) {
  maskX_ = offsetX;
  maskY_ = offsetY;
  // The protection of a running operation must stay what it captured for.
  if (mask == nullptr || inOperation_) return;
  mask->ref();
  if (mask_ != nullptr) mask_->unref();
  mask_ = mask;
  if (mask != lastShrunkMask_) {
    if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(mask)) smart->ForceShrinkAttempt(false);
    lastShrunkMask_ = mask;
  }
}

int MaskingPaintOps::set_stamp(Stamp* stamp) {
  TakeStamp(stamp);
  return PaintOps::set_stamp(stamp);
}

int MaskingPaintOps::connect_stamps(int a, int b, int c) {
  lastValid_ = false;
  return PaintOps::connect_stamps(a, b, c);
}

// ---- Mask geometry.

int MaskingPaintOps::MaskFill() const {
  if (mask_ == nullptr) return 0;
  return static_cast<int>(mask_->getFill().getElem(0));
}

ilTile MaskingPaintOps::MaskBounds() const {
  if (mask_ == nullptr) return kEmpty;
  if (ilSIDImage* sid = ilSIDImage::asSidImage(mask_)) return sid->getBounds();
  return mask_->getDataBox();
}

bool MaskingPaintOps::IsFullyProtected(const ilTile& t) const {
  if (mask_ == nullptr || MaskFill() != 255) return false;
  return !Meets(Moved(t, maskX_, maskY_), MaskBounds());
}

bool MaskingPaintOps::ProtectedPart(ilTile& t) const {
  if (mask_ == nullptr || t.nx < 1 || t.ny < 1) return false;
  const ilTile bounds = MaskBounds();
  if (bounds.empty()) return false;
  if (MaskFill() == 0) t = Intersect(t, Moved(bounds, -maskX_, -maskY_));
  return !t.empty();
}

// ---- Capture and put-back.

void MaskingPaintOps::Capture(const ilTile& rect) {
  ilTile t = rect;
  if (!ProtectedPart(t)) return;
  if (!snapshotActive_) {
    snapshot_ = new ilSmartImage(target_img(), 0, 0, 0, -1);
    snapshot_->ref();
    snapshot_->ReferenceSeedPages(&t);
    snapshotRect_ = t;
    snapshotActive_ = true;
    return;
  }
  snapshot_->ReferenceSeedPages(&t);
  add_tile(snapshotRect_, t);
}

// (earlier * m + painted * (256 - m)) >> 8 per channel, m the mask value
// over the target pixel; m = 0 keeps the painted pixel, 255 the earlier.
void MaskingPaintOps::PutBack(PaintOps* painter, const ilTile& rect) {
  ilTile t = rect;
  if (painter == nullptr || snapshot_ == nullptr || !ProtectedPart(t)) return;
  BlendFactor src = BlendOne, dst = BlendZero;
  const bool hadBlend = painter->get_blend_func(src, dst) == 0;
  painter->dst_copy_img(snapshot_);
  painter->SetMaskBlend(true);
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  painter->rect_copy(t.x, t.y, t.nx, t.ny, mask_, t.x + maskX_, t.y + maskY_, nullptr, 1.0f, 1.0f);
  painter->SetMaskBlend(false);
  // The snapshot is about to go; the painter must not keep pointing at it.
  painter->dst_copy_img(nullptr);
  if (hadBlend) painter->blend_func(src, dst);
}

void MaskingPaintOps::EndSnapshot() {
  if (!snapshotActive_) return;
  PutBack(get_rep_(), snapshotRect_);
  snapshot_->unref();
  snapshot_ = nullptr;
  dirty_ = kEmpty;
  snapshotRect_ = kEmpty;
  snapshotActive_ = false;
}

void MaskingPaintOps::Settle() {
  if (!inOperation_) EndSnapshot();
}

// ---- Masked writes.

int MaskingPaintOps::rect_write(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) {
  const ilTile t(x, y, 0, nx, ny, 1);
  if (IsFullyProtected(t)) return 0;
  Capture(t);
  const int result = PaintOps::rect_write(x, y, nx, ny, buf, cfg);
  Settle();
  return result;
}

int MaskingPaintOps::rect_fill(int x, int y, int nx, int ny, void* pixel, const ilConfig* cfg) {
  const ilTile t(x, y, 0, nx, ny, 1);
  if (IsFullyProtected(t)) return 0;
  Capture(t);
  const int result = PaintOps::rect_fill(x, y, nx, ny, pixel, cfg);
  Settle();
  return result;
}

int MaskingPaintOps::rect_copy(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY,
                               const ilConfig* cfg, float zoomX, float zoomY) {
  const ilTile t(x, y, 0, nx, ny, 1);
  if (IsFullyProtected(t)) return 0;
  Capture(t);
  const int result = PaintOps::rect_copy(x, y, nx, ny, src, srcX, srcY, cfg, zoomX, zoomY);
  Settle();
  return result;
}

// left = trunc(x - r) - 1, width = trunc(x + r) - left + 2; likewise y.
ilTile MaskingPaintOps::DabRect(float x, float y, float radius) const {
  const int left = static_cast<int>(x - radius) - 1;
  const int bottom = static_cast<int>(y - radius) - 1;
  return ilTile(left, bottom, 0, static_cast<int>(x + radius) - left + 2,
                static_cast<int>(y + radius) - bottom + 2, 1);
}

int MaskingPaintOps::draw_stamps(const PaintPoint* points, int count, float (*pressure)()) {
  if (points == nullptr || count <= 0) return PaintOps::draw_stamps(points, count, pressure);
  const float radius = StampReach(stamp_);
  float minX = points[0].x, maxX = points[0].x, minY = points[0].y, maxY = points[0].y;
  if (connect_stamps() != 0 && lastValid_) {
    minX = maxX = lastX_;
    minY = maxY = lastY_;
  }
  for (int i = 0; i < count; ++i) {
    minX = points[i].x < minX ? points[i].x : minX;
    maxX = points[i].x > maxX ? points[i].x : maxX;
    minY = points[i].y < minY ? points[i].y : minY;
    maxY = points[i].y > maxY ? points[i].y : maxY;
  }
  const ilTile low = DabRect(minX, minY, radius);
  const ilTile high = DabRect(maxX, maxY, radius);
  const ilTile rect(low.x, low.y, 0, high.x + high.nx - low.x, high.y + high.ny - low.y, 1);
  int result = 0;
  if (!IsFullyProtected(rect)) {
    Capture(rect);
    result = PaintOps::draw_stamps(points, count, pressure);
    Settle();
  }
  lastX_ = points[count - 1].x;
  lastY_ = points[count - 1].y;
  lastRadius_ = radius;
  lastValid_ = true;
  return result;
}

int MaskingPaintOps::draw_stamps(PaintPointStream& points, float (*pressure)()) {
  if (mask_ == nullptr) return PaintOps::draw_stamps(points, pressure);
  const float radius = StampReach(stamp_);
  int result = 0;
  PaintPoint p;
  while (result == 0 && points.next(p)) {
    const ilTile dab = DabRect(p.x, p.y, radius);
    ilTile area = dab;
    if (connect_stamps() != 0 && lastValid_) add_tile(area, DabRect(lastX_, lastY_, lastRadius_));
    add_tile(area, dirty_);
    area = ToPageGrid(area);
    // Only what the dirty rectangle does not hold yet needs capturing; the
    // area contains the dirty rectangle, so the rest is at most four bands.
    if (dirty_.empty()) {
      Capture(area);
    } else {
      const ilTile& d = dirty_;
      const int top = d.y + d.ny, areaTop = area.y + area.ny;
      const int right = d.x + d.nx, areaRight = area.x + area.nx;
      if (d.y > area.y) Capture(ilTile(area.x, area.y, 0, area.nx, d.y - area.y, 1));
      if (areaTop > top) Capture(ilTile(area.x, top, 0, area.nx, areaTop - top, 1));
      if (d.x > area.x) Capture(ilTile(area.x, d.y, 0, d.x - area.x, d.ny, 1));
      if (areaRight > right) Capture(ilTile(right, d.y, 0, areaRight - right, d.ny, 1));
    }
    if (!IsFullyProtected(dab)) {
      OnePoint one(p);
      result = PaintOps::draw_stamps(one, pressure);
    }
    dirty_ = area;
    lastX_ = p.x;
    lastY_ = p.y;
    lastRadius_ = radius;
    lastValid_ = true;
    if (!inOperation_) {
      EndSnapshot();
      dirty_ = kEmpty;
    }
  }
  return result;
}

// ---- Reading what the protection will leave.

ilSIDImage* MaskingPaintOps::GetMaskedTargetImg(const ilTile& tile) {
  ilImage* target = target_img();
  if (!snapshotActive_ || target == nullptr) return ilSIDImage::asSidImage(target);
  if (scratch_ == nullptr) {
    scratch_ = new ilSmartImage(target->getFill());
    scratch_->ref();
    scratchPainter_ = new PaintOps(scratch_, 1);
    scratchPainter_->ref();
    scratchPainter_->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  }
  if (tile.nx > 0 && tile.ny > 0) {
    scratch_->copyTile(tile.x, tile.y, tile.nx, tile.ny, target, tile.x, tile.y);
    PutBack(scratchPainter_, tile);
  }
  return scratch_;
}

int MaskingPaintOps::rect_read(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) {
  ilSIDImage* img = GetMaskedTargetImg(ilTile(x, y, 0, nx, ny, 1));
  if (img == nullptr) return PaintOps::rect_read(x, y, nx, ny, buf, cfg);
  if (buf == nullptr) return -1;
  return img->getTile(x, y, nx, ny, buf, cfg) == ilOkay ? 0 : -1;
}

ilTile MaskingPaintOps::getUnMaskedBounds() {
  const ilTile base = PaintOps::getUnMaskedBounds();
  if (mask_ == nullptr || MaskFill() != 255) return base;
  if (ilSmartImage* smart = ilSmartImage::As_ilSmartImage(mask_)) smart->ForceShrinkAttempt(false);
  return Intersect(base, Moved(MaskBounds(), -maskX_, -maskY_));
}

// ---- Operations.

void MaskingPaintOps::BeginOperation() {
  if (inOperation_) EndOperation();
  dirty_ = kEmpty;
  lastValid_ = false;
  Capture(dirty_);
  inOperation_ = true;
  PaintOps::BeginOperation();
}

void MaskingPaintOps::EndOperation() {
  PaintOps::EndOperation();
  if (!inOperation_) return;
  inOperation_ = false;
  EndSnapshot();
}
