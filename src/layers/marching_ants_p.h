// The marching ants' state of one layer stack and the outline step they
// share with their tests.
#pragma once

#include <cstdint>

#include "brenmark/layer_stack.h"
#include "brenmark/qv_memory_img.h"

// Everything the ants keep between animation steps. Created on first use;
// the stack owns it and releases both images with it.
struct LayerStack::AntsState {
  AntsState() = default;
  ~AntsState();
  AntsState(const AntsState&) = delete;
  AntsState& operator=(const AntsState&) = delete;

  // The selection drawn in screen space, then reduced to its outline.
  ilQVMemoryImg* outline = nullptr;
  // The animated dashes, four channels, screen sized.
  ilQVMemoryImg* ants = nullptr;
  ilTile outlineBounds = ilTile(0, 0, 0, 0, 0, 1);
  // What the outline was last built from: the selection's signature, the
  // stack transform and the paint manager's current stack.
  std::uint32_t signature = 0;
  LayerStackTransform transform;
  int stack = 0;
  // Decremented once per step; 2^32 is a multiple of 8, so wrapping keeps
  // the dash pattern continuous.
  std::uint32_t phase = 0x7FFFFFFF;
};

namespace brenmark::ants {

// Reduces the one-byte image to the edges of `threshold` (see
// ilQVMemoryImg::MarchingAntsPreProcess) and answers the box of the marked
// pixels, or the 1 x 1 tile at the origin when nothing is marked.
ilTile Outline(ilQVMemoryImg& image, unsigned char threshold, ilTile* clip);

// The selection's identity for the rebuild check: the image's resource
// identifier XOR its bounds' x, y, nx and ny.
std::uint32_t Signature(ilImage* selection);

}  // namespace brenmark::ants
