// One block of the blending engine: the rows of one destination page that a
// source page (or one constant source pixel) covers, with the optional
// coverage, low-order-bit and destination-copy rows. The painter locks the
// pages and calls BlendBlock (unzoomed) or BlendSpanBlock (nearest-neighbour
// resampling) once per block; the row function is chosen once per block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "paintops/blend_kernels.h"

namespace brenmark {

// What stays fixed for a blend call: the painter's settings.
struct BlendSetup {
  int src_factor = 1;  // BlendFactorCode
  int dst_factor = 0;
  std::uint32_t write_mask = 0xFFFFFFFFu;  // MakeWriteMask, less the channels a config drops
  int dst_channels = 4;                    // 4 or 1
  int src_channels = 4;                    // 4 or 1
  std::uint8_t dither = 0;                 // BlendDither::Value() of this call
  bool single_color = true;                // SingleColorStamp_: first source pixel is the colour
  bool stamp16 = false;                    // the stamp paints 15-bit channels
  int opacity16 = 255;                     // Opacity16(stamp opacity), 0..255
  bool marker = false;                     // wet marker mode
  int marker_k = 0;                        // MarkerStrength(wetness)
  bool mask_blend = false;                 // reveal the destination copy through the source
  std::uint32_t packed_scale = 0xFFFFFFFFu;
  std::uint32_t packed_offset = 0;
};

// The rows of one block. Strides are in bytes. Pointers that are null mean
// the block has no such rows.
struct BlendRows {
  int width = 0;
  int height = 0;
  void* dst = nullptr;
  std::ptrdiff_t dst_stride = 0;
  const void* src = nullptr;  // with src_constant, one pixel
  std::ptrdiff_t src_stride = 0;
  bool src_constant = false;
  const std::uint8_t* cov = nullptr;  // coverage, pixel for pixel with the source
  std::ptrdiff_t cov_stride = 0;
  void* low = nullptr;  // low-order bits, destination layout
  std::ptrdiff_t low_stride = 0;
  const void* dst_copy = nullptr;  // saved destination, destination layout
  std::ptrdiff_t dst_copy_stride = 0;
};

// Which case of the block switch ran.
enum class BlendCase : int {
  kNothing,     // empty block, or a case that writes nothing (constant no-op)
  kFill,        // the rows became a constant fill
  kCopy,        // (1, 0) copy of the source rows
  kOver,        // (1, 7) premultiplied over
  kUnder,       // (9, 1)
  kDstAlpha,    // (8, 0) with a constant source
  kScale,       // a constant factor on the destination
  kMultiply,    // (0, 6) channel by channel
  kEraseByRow,  // (0, 7), one-channel source
  kKeepByRow,   // (0, 6), one-channel source
  kBrush,       // (6, 7) through coverage, 8 bits
  kBrush16,     // (6, 7) through coverage, 15 bits with the low-order rows
  kMarker,      // wet marker
  kMaskBlend,   // destination copy revealed through the source
  kGeneral,     // the general blend
};

struct BlendOutcome {
  BlendCase chosen = BlendCase::kNothing;
  bool used_dither = false;  // the caller marks BlendDither used
};

// Blends one block with the active kernels (or the given ones). A mask-blend
// setup without destination-copy rows or with a four-channel source prints
// "SID:Invalid parms for mask blend\n" and blends normally.
BlendOutcome BlendBlock(const BlendSetup& setup, const BlendRows& rows);
BlendOutcome BlendBlock(const BlendSetup& setup, const BlendRows& rows,
                        const BlendKernels& kernels);

// The span form for resampling: destination pixel (i, j) reads source (and
// coverage) pixel (col_map[i], row_map[j]) relative to rows.src (rows.cov);
// low-order and destination-copy rows stay in destination layout. The maps
// hold rows.width and rows.height entries, all inside the source.
BlendOutcome BlendSpanBlock(const BlendSetup& setup, const BlendRows& rows, const int* col_map,
                            const int* row_map);
BlendOutcome BlendSpanBlock(const BlendSetup& setup, const BlendRows& rows, const int* col_map,
                            const int* row_map, const BlendKernels& kernels);

// Nearest-neighbour map of a zoomed copy. Destination column d (d in
// [first, first + n)) reads source column round((d - origin) / zoom + src_origin),
// rounding halves away from zero; map[i] receives the column of d = first + i.
// Only columns whose source lies in [src_lo, src_end) are written; they form
// one run, returned as its offset into map and its length (0 when none).
struct ZoomRun {
  int offset = 0;
  int count = 0;
};
ZoomRun MapZoomedSpan(int origin, int first, int n, double zoom, int src_origin, int src_lo,
                      int src_end, int* map);

}  // namespace brenmark
