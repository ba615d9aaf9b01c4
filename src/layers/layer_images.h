// The one place where the layer code creates, copies and inspects layer
// images. Every layer image, stencil and mask is a paged smart image.
#pragma once

#include "brenmark/il.h"

namespace brenmark::layer_images {

// An empty image of `channels` (1 for masks, 4 otherwise) unsigned-char
// channels whose fill is all zeros. The caller receives it unreferenced.
ilImage* MakeEmpty(int channels);

// A new image with `source`'s fill holding a copy of `source`'s bounds,
// alpha made valid. Unreferenced.
ilImage* CopyOf(ilImage* source);

// A new image based on `stencil` (sharing its pixels until written).
// Unreferenced.
ilImage* BasedOn(ilImage* stencil);

// A blank stencil: one channel, fill 255 (full coverage). Unreferenced.
ilImage* MakeBlankStencil();

// True for the engine's own paged images.
bool IsSmart(ilImage* image);

// Channel count; 0 for null.
int Channels(ilImage* image);

// The region that holds content (an empty tile for null).
ilTile Bounds(ilImage* image);

// Sets the fill to `value` in every channel.
void SetFillAll(ilImage* image, double value);

// Writes `value` in every channel over the image's bounds.
void FillBounds(ilImage* image, double value);

// Gives the image a chance to drop unused area at its edges (fast: only
// whole solid pages).
void Shrink(ilImage* image, bool fast, bool flag);

}  // namespace brenmark::layer_images
