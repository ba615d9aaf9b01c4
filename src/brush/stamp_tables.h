// Tables every dab image shares: the fast square root, the sixteen
// sub-pixel distance tables and the dither noise with its running cursor.
// Built once, on first use, and kept for the life of the process.
#pragma once

#include <cstdint>

namespace brenmark::brush {

// ---- Fast square root.
// 4096 mantissas: index = (exponent parity) << 11 | top 11 mantissa bits.
// The root keeps the halved exponent and takes its 23-bit mantissa from the
// table, so it is exact for squares whose mantissa fits in 11 bits (every
// integer square below 2^12) and within 2^-12 relative elsewhere. 0 (and
// anything not positive) gives 0.
float FastSqrt(float v);

// ---- Distance tables.
// Table (px, py), px, py in 0..3, is 512 x 512: entry (row, col) =
// trunc(d * (2 / 511) * 1023 + 0.5) limited to 1024, with d the fast square
// root of ((col - 255) - px / 4)^2 + ((row - 255) - py / 4)^2. So the centre
// (255 + px / 4, 255 + py / 4) is 0 and 1023 steps span 255.5 pixels.
// Phase (0, 0) is kept as 16-bit values, the other fifteen as 8-bit
// differences from it plus 128 (a shift of at most 3/4 pixel moves a
// distance by at most 4 steps).
inline constexpr int kDistanceSide = 512;
inline constexpr int kDistanceCentre = 255;
inline constexpr int kDistanceOutside = 1024;

class DistanceTables {
 public:
  static const DistanceTables& Get();

  // Row `row` of phase (0, 0).
  const std::uint16_t* BaseRow(int row) const { return base_ + row * kDistanceSide; }
  // Row `row` of the differences of phase (px, py); null for (0, 0).
  const std::uint8_t* DeltaRow(int px, int py, int row) const {
    const int p = px * 4 + py;
    return p == 0 ? nullptr : deltas_[p - 1] + row * kDistanceSide;
  }
  int At(int px, int py, int row, int col) const;

 private:
  DistanceTables();
  std::uint16_t* base_;
  std::uint8_t* deltas_[15];
};

// ---- Noise.
// 1507 bytes of rand() & 15 and 1507 zero bytes; dab generators read one
// byte per pixel at a cursor that runs on across dabs and strokes. At the
// start of every row a cursor above 996 steps back by 997, so a row of up to
// 511 pixels stays inside the table; wider rows step back in the middle.
inline constexpr int kNoiseBytes = 1507;
inline constexpr int kNoiseRowLimit = 996;
inline constexpr int kNoiseStepBack = 997;

const std::uint8_t* NoiseTable(bool noisy);
int& NoiseCursor();

}  // namespace brenmark::brush
