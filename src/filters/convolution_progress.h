// The progress hook of tiled layer blurs and the streamed four-box blur, for
// the layer code.
#pragma once

#include <cstdint>
#include <functional>

namespace brenmark::conv {

// Calls the handler set by SetConvolutionProgressHandler, if any.
void ReportProgress(int done, int total);

// Source row y into dst (w * c bytes); where output row y goes.
using RowReader = std::function<void(int y, std::uint8_t* dst)>;
using RowSink = std::function<std::uint8_t*(int y)>;

// The four-box blur of half-width h0 (sharpness -1) of a w x h image of c
// channels (1 or 4), the same pixels ilConvolutionImg::Convolve makes, with
// the rows streamed: each source row is read once, top to bottom, a few rows
// ahead of the output row being made; output rows are asked for in order, so
// a caller can hand on a finished block of rows when out() moves past it.
void FourBoxStream(int w, int h, int c, int h0, const RowReader& read, const RowSink& out);

}  // namespace brenmark::conv
