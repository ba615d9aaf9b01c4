// ilDataSize and the ilTile box operations.
#include <brenmark/il_types.h>

#include <algorithm>

int ilDataSize(ilType type, int count) {
  if (count <= 0) return 0;
  switch (type) {
    case ilBit:
      return (count + 7) / 8;
    case ilUChar:
    case ilChar:
      return count;
    case ilUShort:
    case ilShort:
      return 2 * count;
    case ilULong:
    case ilLong:
    case ilFloat:
      return 4 * count;
    case ilDouble:
      return 8 * count;
    default:
      return 0;
  }
}

namespace {

// Overlap of [a0, a0 + an) and [b0, b0 + bn) in 64 bits (no overflow for any
// int inputs); the extent is 0 when they do not overlap.
void overlap(int a0, int an, int b0, int bn, int* o0, int* on) {
  const long long s = std::max<long long>(a0, b0);
  const long long e = std::min<long long>(1LL * a0 + an, 1LL * b0 + bn);
  *o0 = static_cast<int>(s);
  *on = e > s ? static_cast<int>(e - s) : 0;
}

bool inside(int t0, int tn, int b0, int bn) {
  return t0 >= b0 && 1LL * t0 + tn <= 1LL * b0 + bn;
}

}  // namespace

ilTile::ilTile(const ilTile& a, const ilTile& b) {
  overlap(a.x, a.nx, b.x, b.nx, &x, &nx);
  overlap(a.y, a.ny, b.y, b.ny, &y, &ny);
  overlap(a.z, a.nz, b.z, b.nz, &z, &nz);
}

bool ilTile::contains(const ilTile& t) const {
  if (t.empty()) return true;
  if (empty()) return false;
  return inside(t.x, t.nx, x, nx) && inside(t.y, t.ny, y, ny) && inside(t.z, t.nz, z, nz);
}
