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
// The page-aligned rectangle of the pages where `image` may differ from its
// paged seed: pages written since the seed was set, and pages that lie
// inside the bounds of only one of the two. Empty when none; false when it
// cannot tell (no paged seed, an offset from it, another fill or channel
// count). Reads no pixels and creates no page.
bool ChangedSinceSeed(ilSmartImage* image, ilTile& area);

}  // namespace brenmark::imagestore
