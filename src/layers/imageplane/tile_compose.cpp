// ilTileComposeIter (A out B, slab by slab) and ilTileUnion.
#include <algorithm>

#include <brenmark/il_tile_compose.h>

namespace {

void Ranges(const ilTile& t, int* lo, int* hi) {
  lo[0] = t.x;
  hi[0] = t.x + t.nx;
  lo[1] = t.y;
  hi[1] = t.y + t.ny;
  lo[2] = t.z;
  hi[2] = t.z + t.nz;
}

}  // namespace

ilTileComposeIter::ilTileComposeIter(const ilTile& a, const ilTile& b, ilCompose op)
    : ilTile(), aEmpty_(a.empty() || op != ilAOutB), bEmpty_(b.empty()) {
  Ranges(a, aLo_, aHi_);
  Ranges(b, bLo_, bHi_);
}

bool ilTileComposeIter::more() {
  if (aEmpty_) return false;
  if (bEmpty_) {
    if (step_++ != 0) return false;
    *static_cast<ilTile*>(this) =
        ilTile(aLo_[0], aLo_[1], aLo_[2], aHi_[0] - aLo_[0], aHi_[1] - aLo_[1], aHi_[2] - aLo_[2]);
    return true;
  }
  // Steps 0..5: z below, z above, y below, y above, x below, x above. A slab
  // spans the working copy on every other axis; cutting it off shrinks the
  // working copy on its own axis.
  while (step_ < 6) {
    for (int axis = 0; axis < 3; ++axis) {
      if (aHi_[axis] <= aLo_[axis]) {
        aEmpty_ = true;
        return false;
      }
    }
    const int axis = 2 - step_ / 2;
    const bool below = step_ % 2 == 0;
    ++step_;
    int lo[3] = {aLo_[0], aLo_[1], aLo_[2]};
    int hi[3] = {aHi_[0], aHi_[1], aHi_[2]};
    if (below) {
      if (aLo_[axis] >= bLo_[axis]) continue;
      hi[axis] = std::min(aHi_[axis], bLo_[axis]);
      aLo_[axis] = hi[axis];
    } else {
      if (aHi_[axis] <= bHi_[axis]) continue;
      lo[axis] = std::max(aLo_[axis], bHi_[axis]);
      aHi_[axis] = lo[axis];
    }
    *static_cast<ilTile*>(this) =
        ilTile(lo[0], lo[1], lo[2], hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
    return true;
  }
  return false;
}

namespace {

void UnionAxis(int a, int na, int b, int nb, int& out, int& nout) {
  if (na < 1) {
    out = b;
    nout = nb;
  } else if (nb < 1) {
    out = a;
    nout = na;
  } else {
    out = std::min(a, b);
    nout = std::max(a + na, b + nb) - out;
  }
}

}  // namespace

ilTileUnion::ilTileUnion(const ilTile& a, const ilTile& b) : ilTile() {
  UnionAxis(a.x, a.nx, b.x, b.nx, x, nx);
  UnionAxis(a.y, a.ny, b.y, b.ny, y, ny);
  UnionAxis(a.z, a.nz, b.z, b.nz, z, nz);
}
