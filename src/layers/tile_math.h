// Rectangle arithmetic on ilTile used by the layer stack: unions for damage
// and bounds, offsets, growth.
#pragma once

#include <algorithm>

#include "brenmark/il.h"

namespace brenmark {

// Per-axis union: an axis whose extent is below 1 in one operand takes the
// other operand's range; otherwise it spans from the smaller start to the
// larger end. So a damage rectangle of zero width leaves the x range alone.
inline ilTile UnionTile(const ilTile& a, const ilTile& b) {
  auto axis = [](int as, int an, int bs, int bn, int& s, int& n) {
    if (an < 1) {
      s = bs;
      n = bn;
    } else if (bn < 1) {
      s = as;
      n = an;
    } else {
      s = std::min(as, bs);
      n = std::max(as + an, bs + bn) - s;
    }
  };
  ilTile r;
  axis(a.x, a.nx, b.x, b.nx, r.x, r.nx);
  axis(a.y, a.ny, b.y, b.ny, r.y, r.ny);
  axis(a.z, a.nz, b.z, b.nz, r.z, r.nz);
  return r;
}

// Union of the covered areas: an empty operand contributes nothing.
inline ilTile BoundsUnion(const ilTile& a, const ilTile& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return UnionTile(a, b);
}

inline ilTile Moved(ilTile t, int dx, int dy) {
  t.x += dx;
  t.y += dy;
  return t;
}

}  // namespace brenmark
