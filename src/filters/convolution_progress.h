// The progress hook of tiled layer blurs, for the layer code.
#pragma once

namespace brenmark::conv {

// Calls the handler set by SetConvolutionProgressHandler, if any.
void ReportProgress(int done, int total);

}  // namespace brenmark::conv
