// Tile algebra helpers: ilTileComposeIter walks the pieces of one box minus
// another, ilTileUnion is the per-axis hull of two boxes.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_types.h>

// Composition operators of ilTileComposeIter. Only "A out B" (the parts of A
// that lie outside B) is defined; any other value yields no pieces.
enum ilCompose : int {
  ilAOutB = 6,
};

// Iterator over the pieces of a composition of two boxes. The current piece is
// the iterator itself (its ilTile fields); more() computes the next piece and
// answers whether there was one:
//
//   for (ilTileComposeIter it(a, b, ilAOutB); it.more();) use(it);
//
// For A out B the pieces are disjoint, their union is A minus B, and they come
// in this order, each only when not empty: the slab of A below B in z, above B
// in z, below B in y, above B in y, below B in x, above B in x. Each slab is
// cut off a working copy of A; the walk ends as soon as that copy is empty on
// any axis. An empty A has no pieces; with an empty B, A is the only piece.
class BRENMARK_API ilTileComposeIter : public ilTile {
 public:
  ilTileComposeIter(const ilTile& a, const ilTile& b, ilCompose op);

  bool more();

 private:
  // Half-open ranges [lo, hi) per axis (0 x, 1 y, 2 z).
  int aLo_[3], aHi_[3];
  int bLo_[3], bHi_[3];
  bool aEmpty_;
  bool bEmpty_;
  int step_ = 0;
};

// Per-axis hull of two boxes: on each axis an operand whose extent is below 1
// contributes nothing (the other operand's range is taken, as it is);
// otherwise the range runs from the smaller start to the larger end. So a
// zero-width rectangle never drags the hull's x range towards its origin.
class BRENMARK_API ilTileUnion : public ilTile {
 public:
  ilTileUnion(const ilTile& a, const ilTile& b);
};
