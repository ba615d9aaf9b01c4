// The painter's rectangle bookkeeping: modified rectangles (target pixels),
// damage (announced in caller units), and their conversion by the scale.
#include <algorithm>
#include <cmath>

#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"

namespace {

// Products and quotients with the scale are taken in single precision, as
// the scale itself is: 10 * 0.1f is exactly 1 there, not a hair above.
int FloorToInt(float v) {
  return static_cast<int>(std::floor(v));
}

int CeilToInt(float v) {
  return static_cast<int>(std::ceil(v));
}

// One axis of add_tile: origin o and extent n of `into` grow to cover (to, tn).
void UniteAxis(int& o, int& n, int to, int tn) {
  const int right = std::max(o + n - 1, to + tn - 1);
  o = std::min(o, to);
  n = right - o + 1;
}

}  // namespace

void PaintOps::add_tile(ilTile& into, const ilTile& t) const {
  if (into.nx == 0) {
    into.x = t.x;
    into.nx = t.nx;
  } else if (t.nx > 0) {
    UniteAxis(into.x, into.nx, t.x, t.nx);
  }
  if (into.ny == 0) {
    into.y = t.y;
    into.ny = t.ny;
  } else if (t.ny > 0) {
    UniteAxis(into.y, into.ny, t.y, t.ny);
  }
}

void PaintOps::update_tile(ilTile& into, const ilTile& t) const {
  UniteAxis(into.x, into.nx, t.x, t.nx);
  UniteAxis(into.y, into.ny, t.y, t.ny);
}

void PaintOps::tile_was_modified(const ilTile& t) {
  if (rep_ != nullptr) {
    rep_->tile_was_modified(t);
    return;
  }
  add_tile(modifiedSinceQuery_, t);
  add_tile(modifiedSinceReset_, t);
}

void PaintOps::reset_tile_modified() {
  if (rep_ != nullptr) {
    rep_->reset_tile_modified();
    return;
  }
  modifiedSinceReset_.x = modifiedSinceReset_.y = 0;
  modifiedSinceReset_.nx = modifiedSinceReset_.ny = 0;
}

void PaintOps::unscale_tile_(ilTile& t) const {
  t.x = FloorToInt(static_cast<float>(t.x) / scaleX_);
  t.y = FloorToInt(static_cast<float>(t.y) / scaleY_);
  t.nx = CeilToInt(static_cast<float>(t.nx) / scaleX_);
  t.ny = CeilToInt(static_cast<float>(t.ny) / scaleY_);
}

void PaintOps::clip_tile(ilTile& t, int unscale) {
  // Paged images have no fixed size to clip to.
  if (target_ == nullptr || target_->getImageType() == ilSmartImage::kImageType) return;
  const int right = t.x + t.nx;
  const int bottom = t.y + t.ny;
  if (t.x < 0) t.x = 0;
  if (t.y < 0) t.y = 0;
  int limitX = target_->getXsize();
  int limitY = target_->getYsize();
  if (unscale != 0 && !unitScale_()) {
    limitX = FloorToInt(static_cast<float>(limitX) / scaleX_);
    limitY = FloorToInt(static_cast<float>(limitY) / scaleY_);
  }
  t.nx = std::min(right, limitX) - t.x;
  t.ny = std::min(bottom, limitY) - t.y;
}

int PaintOps::tile_modified(ilTile& out, ModifySince since, int accumulate, int unscale) {
  if (rep_ != nullptr) return rep_->tile_modified(out, since, accumulate, unscale);
  ilTile& source = since == SinceLastCall ? modifiedSinceQuery_ : modifiedSinceReset_;
  const int result = source.nx >= 1 && source.ny >= 1 ? 1 : 0;
  ilTile t = source;
  if (unscale != 0 && !unitScale_()) unscale_tile_(t);
  if (accumulate != 0) {
    add_tile(out, t);
  } else {
    out = t;
  }
  clip_tile(out, unscale);
  if (since == SinceLastCall) source.nx = source.ny = 0;
  return result;
}

void PaintOps::damage(const ilTile& t) {
  if (rep_ != nullptr) {
    rep_->damage(t);
    return;
  }
  if (unitScale_()) {
    add_tile(damage_, t);
    return;
  }
  ilTile scaled = t;
  convert_to_target(scaled);
  scaled.z = 0;
  scaled.nz = 1;
  add_tile(damage_, scaled);
}

int PaintOps::damaged() const {
  if (rep_ != nullptr) return rep_->damaged();
  return damage_.nx >= 1 && damage_.ny >= 1 ? 1 : 0;
}

int PaintOps::damaged(ilTile& out, int accumulate, int unscale) {
  if (rep_ != nullptr) return rep_->damaged(out, accumulate, unscale);
  ilTile t = damage_;
  if (unscale != 0 && !unitScale_()) unscale_tile_(t);
  if (accumulate != 0) {
    add_tile(out, t);
  } else {
    out = t;
  }
  clip_tile(out, unscale);
  return damaged();
}

ilTile PaintOps::GetDamaged() const {
  if (rep_ != nullptr) return rep_->GetDamaged();
  return damage_;
}

void PaintOps::reset_damage() {
  if (rep_ != nullptr) {
    rep_->reset_damage();
    return;
  }
  damage_.nx = damage_.ny = 0;
}

void PaintOps::convert_to_target(ilTile& t) const {
  if (rep_ != nullptr) {
    rep_->convert_to_target(t);
    return;
  }
  if (unitScale_()) return;
  t.x = FloorToInt(static_cast<float>(t.x) * scaleX_);
  t.y = FloorToInt(static_cast<float>(t.y) * scaleY_);
  t.nx = CeilToInt(static_cast<float>(t.nx) * scaleX_);
  t.ny = CeilToInt(static_cast<float>(t.ny) * scaleY_);
}
