// Value types of the image library layer: element types, pixel orders, colour
// models, coordinate spaces, status codes, the ilTile box and ilSize extents.
#pragma once
#include <brenmark/export.h>

#include <cstddef>

// Largest channel count a pixel, a configuration or an image may have.
constexpr int kIlMaxChannels = 16;

// Element type of a channel. The values are bit flags so that sets of types
// can be expressed; ilAnyType marks an empty holder (see ilImage::getFill).
enum ilType : int {
  ilBit = 1,
  ilUChar = 2,
  ilChar = 4,
  ilUShort = 8,
  ilShort = 16,
  ilULong = 32,  // 32-bit unsigned
  ilLong = 64,   // 32-bit signed
  ilFloat = 128,
  ilDouble = 256,
  ilAnyType = 511,
};

// Arrangement of channels in memory. Interleaved pixels hold all channels of
// one pixel together; sequential rows hold one run per channel; separate
// images hold one plane per channel.
enum ilOrder : int {
  ilInterleaved = 1,
  ilSequential = 2,
  ilSeparate = 4,
  ilAnyOrder = 7,
};

// Interpretation of the channels. ilABGR is the engine's four-channel colour
// pixel: channel 0 (alpha) in the top byte of a little-endian 32-bit word, so
// the bytes in memory run R, G, B, A. 0 means "not specified" (the image's own
// model when used in a configuration).
enum ilColorModel : int {
  ilModelDefault = 0,
  ilGreyMinWhite = 1,
  ilGreyMinBlack = 2,
  ilRGB = 3,
  ilColorIndex = 4,
  ilRGBA = 5,
  ilHSV = 6,
  ilCMY = 7,
  ilCMYK = 8,
  ilBGR = 9,
  ilABGR = 10,
  ilMultiSpectral = 11,
};

// Where coordinate (0, 0) lies and which axis varies fastest in memory.
// Memory row 0 of an image is its coordinate row 0 in its own space: an
// ilLowerLeft image stores its bottom row first. 0 means "not specified" (the
// image's own space when used in a configuration).
enum ilCoordSpace : int {
  ilSpaceDefault = 0,
  ilUpperLeft = 1,   // X fastest
  ilUpperRight = 2,  // X fastest
  ilLowerRight = 3,  // X fastest
  ilLowerLeft = 4,   // X fastest; y grows upwards
  ilLeftUpper = 5,   // Y fastest
  ilRightUpper = 6,  // Y fastest
  ilRightLower = 7,  // Y fastest
  ilLeftLower = 8,   // Y fastest
};

// Result of every image-library operation. Zero is success.
enum ilStatus : int {
  ilOkay = 0,
  ilUnsupportedSpace = 8,  // transfer would need a transposition (X-fastest <-> Y-fastest)
  ilUnsupportedType = 9,   // bit-typed or unknown element type in a transfer
  ilNotWritable = 12,      // the image has no writable storage (constant or storage-less image)
  ilFailed = 14,           // the operation failed (a page lock was refused, memory ran out)
  ilInvalid = 18,          // missing or invalid argument, buffer or input image
};

// Page lock modes of ilImage::lockPageSet (bit flags).
constexpr int ilLockRead = 0x100;
constexpr int ilLockWrite = 0x200;

// Bits passed to ilLink::setAltered: which attribute changed.
enum ilAlteredBits : unsigned {
  ilSizeAltered = 1u << 0,
  ilTypeAltered = 1u << 1,
  ilOrderAltered = 1u << 2,
  ilColorModelAltered = 1u << 3,
  ilCoordSpaceAltered = 1u << 4,
  ilFillAltered = 1u << 5,
  ilPageSizeAltered = 1u << 6,
  ilInputAltered = 1u << 7,
  ilDataAltered = 1u << 8,  // contents changed in a way readers must re-evaluate
  ilAllAltered = 0xFFFFu,
};

// Class identifiers answered by getClassId() and tested by derivesFrom().
// Classes outside this layer choose identifiers from ilFirstUserClassId up.
enum ilClassId : int {
  ilLinkClassId = 1,
  ilImageClassId = 2,
  ilSIDImageClassId = 3,
  ilMemoryImgClassId = 4,
  ilConstImgClassId = 5,
  ilFirstUserClassId = 100,
};

// Bytes taken by `count` elements of `type` (bits round up to whole bytes).
// Unknown types and ilAnyType answer 0.
BRENMARK_API int ilDataSize(ilType type, int count = 1);

// Integer box: origin (x, y, z) and extents (nx, ny, nz). A box with an
// extent below 1 on any axis is empty. Fields are accessed directly.
struct BRENMARK_API ilTile {
  int x = 0, y = 0, z = 0;
  int nx = 0, ny = 0, nz = 0;

  ilTile() = default;
  ilTile(int x_, int y_, int z_, int nx_, int ny_, int nz_)
      : x(x_), y(y_), z(z_), nx(nx_), ny(ny_), nz(nz_) {}
  // Intersection of a and b: per axis the larger start and the smaller end;
  // an axis without overlap gets extent 0 (the result is then empty).
  ilTile(const ilTile& a, const ilTile& b);

  bool empty() const { return nx < 1 || ny < 1 || nz < 1; }
  // True when t lies wholly inside this box. An empty t is contained in
  // every box; a non-empty t is never contained in an empty box.
  bool contains(const ilTile& t) const;

  bool operator==(const ilTile& o) const {
    return x == o.x && y == o.y && z == o.z && nx == o.nx && ny == o.ny && nz == o.nz;
  }
  bool operator!=(const ilTile& o) const { return !(*this == o); }
};

// Image extents: x, y, z pixels and c channels.
struct BRENMARK_API ilSize {
  int x = 0, y = 0, z = 1, c = 1;

  ilSize() = default;
  ilSize(int x_, int y_, int z_, int c_) : x(x_), y(y_), z(z_), c(c_) {}
  ilSize(int x_, int y_, int c_) : x(x_), y(y_), z(1), c(c_) {}

  bool operator==(const ilSize& o) const { return x == o.x && y == o.y && z == o.z && c == o.c; }
  bool operator!=(const ilSize& o) const { return !(*this == o); }
};
