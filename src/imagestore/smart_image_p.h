// Helpers shared by the ilSmartImage implementation files.
#pragma once

#include <brenmark/il.h>

class ilSmartImage;

namespace brenmark::imagestore {

// (0, 0, 0, 0, 0, 1): the bounds of an image that holds nothing.
ilTile EmptyBounds();
// The tile on the image plane (z 0, depth 1); empty tiles become EmptyBounds().
ilTile Normalized(const ilTile& t);
// Containment and intersection on the x and y axes only.
bool ContainsXY(const ilTile& a, const ilTile& b);
ilTile IntersectXY(const ilTile& a, const ilTile& b);
// A pixel as the packed page value (one byte, or the 32-bit word) and back.
unsigned PackPixel(const ilPixel& pixel, int channels);
ilPixel UnpackPixel(unsigned value, int channels);
// `img` as a smart image by the process's identity test, or null.
ilSmartImage* AsSmart(ilImage* img);

}  // namespace brenmark::imagestore
