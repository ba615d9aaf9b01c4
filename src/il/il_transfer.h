// Pixel transfer engine of the image library layer: strided blocks of pixels
// and the one routine that moves (and converts, and channel-maps) pixels
// between two blocks or fills a block from one constant pixel.
#pragma once

#include <brenmark/il_types.h>

#include <cstddef>
#include <cstdint>

namespace brenmark::il {

// Channel map entries besides a source channel index.
constexpr int kSkip = -1;  // the destination channel keeps its value
constexpr int kZero = -2;  // the destination channel becomes 0

// A 3D block of pixels in memory. Element (x, y, z, c) lies at
// origin + x * pixelStride + y * rowStride + z * sliceStride + chanOff[c].
// Strides may be negative (flipped views) or all zero (one constant pixel).
struct Block {
  std::uint8_t* origin = nullptr;
  std::ptrdiff_t pixelStride = 0;
  std::ptrdiff_t rowStride = 0;
  std::ptrdiff_t sliceStride = 0;
  ilType type = ilUChar;
  int es = 1;  // element size in bytes
  int nc = 0;
  std::ptrdiff_t chanOff[kIlMaxChannels] = {};

  Block at(int x, int y, int z) const {
    Block b = *this;
    b.origin += x * pixelStride + y * rowStride + z * sliceStride;
    return b;
  }
  bool isConstant() const { return pixelStride == 0 && rowStride == 0 && sliceStride == 0; }
  // Reverses the x (y) axis of an n-wide (n-high) block in place.
  void flipX(int n) {
    origin += (n - 1) * pixelStride;
    pixelStride = -pixelStride;
  }
  void flipY(int n) {
    origin += (n - 1) * rowStride;
    rowStride = -rowStride;
  }
};

// True for the element types the engine transfers (every type but bits).
bool transferableType(ilType type);

// Layout of a dense nx * ny * nz buffer of nc channels in `order` (see
// ilMemoryImg for the three orders). False for unusable layouts.
bool makeDense(Block* b, const void* data, ilType type, ilOrder order, int nc, int nx, int ny,
               int nz);
// One interleaved pixel repeated everywhere (all strides 0).
bool makeConstant(Block* b, const void* pixel, ilType type, int nc);
// Bytes of a dense nx * ny * nz buffer of nc channels (0 on overflow or
// unusable type).
std::size_t denseBytes(ilType type, int nc, int nx, int ny, int nz);

// Moves nx * ny * nz pixels from src to dst: destination channel j takes
// source channel map[j] (converted to dst's type), or 0 for kZero, or keeps
// its value for kSkip. map holds dst.nc entries, each below src.nc or
// negative. Overlapping blocks are allowed only when they are identical
// (same origin and strides). Integer conversions truncate toward zero and
// clamp; NaN becomes 0.
ilStatus transfer(const Block& dst, const Block& src, int nx, int ny, int nz, const int* map);

// The pieces of a that lie outside b, at most six, peeled in this order:
// below b in z, above in z, below in y, above in y, below in x, above in x.
// Answers the number of pieces written to out.
int subtractTile(const ilTile& a, const ilTile& b, ilTile out[6]);

// Flips that take coordinates in space `from` to space `to` (ilSpaceDefault
// is not accepted here). ilUnsupportedSpace when one space varies X fastest
// and the other Y fastest; ilInvalid for values outside 1..8.
ilStatus spaceFlips(ilCoordSpace from, ilCoordSpace to, bool* flipX, bool* flipY);

// Floor division for page-grid rounding of negative coordinates.
inline int floorDiv(int a, int b) {
  int q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

}  // namespace brenmark::il
