// The pixels of a canvas's layers as the pixel commands reach them through
// the engine's public interface: finding a layer's colour image and offset,
// reading rectangles of it, filling and pasting through the layer's own
// painter, adding an image as a new layer, rendering it through the image
// plane's scaling, and telling the canvas what changed.
//
// Rectangles are in canvas pixels: x to the right and y upwards from the
// canvas's bottom-left corner, the engine's own (lower-left) space. A layer
// pixel (u, v) lies at canvas pixel (u + offset x, v + offset y). Pixel
// buffers hold the bottom row first and, for image layers, premultiplied
// R, G, B, A.
#pragma once

#include <brenmark/il.h>

#include <cstdint>
#include <string>

#include "png_io.h"
#include "progress.h"

class Layer;

namespace brenmark::tool {

struct PixelLayer {
  int h = -1;
  int index = 0;
  Layer* layer = nullptr;
  ilImage* image = nullptr;  // the colour image
  int channels = 0;          // 4, or 1 for a mask
  int offsetX = 0;
  int offsetY = 0;
  bool shape = false;  // a shape layer: its pixels are drawn from its shapes
};

// The layer at `index` of canvas `h`, or the problem.
std::string FindPixelLayer(int h, int index, PixelLayer& out);

// Where the layer holds pixels, in canvas pixels (empty when nowhere).
ilTile ContentBounds(const PixelLayer& l);

// Copies the canvas rectangle `r` of the layer into `out`. Outside what the
// layer holds, pixels read as its fill (transparent). The problem, or empty.
std::string ReadRect(const PixelLayer& l, const ilTile& r, ImagePixels& out, Progress* progress);

// The blend function of a painter as a pair of BlendFactor codes.
struct BlendPair {
  int src = 1;
  int dst = 0;
};

// Fills the canvas rectangle `r` with one pixel (premultiplied R, G, B, A,
// or one grey byte for a mask) under `blend`. False when the engine refused.
bool FillRect(const PixelLayer& l, const ilTile& r, const std::uint8_t* pixel, BlendPair blend);

// Blends `pixels` (the layer's channel count, premultiplied) onto the layer
// with its bottom-left corner at canvas (x, y). False when the engine refused
// the blend function or the copy; nothing is written then.
bool PasteImage(const PixelLayer& l, int x, int y, const ImagePixels& pixels, BlendPair blend);

// Adds `pixels` (four channels premultiplied, or one channel for a mask) to
// canvas `h` as a new layer above the current one, its bottom-left corner at
// canvas (x, y), and makes it current. Its index, or 0 when the engine
// refused.
int AddImageLayer(int h, const ImagePixels& pixels, int x, int y);

// Renders the layer's pixels over canvas rectangle `r` as the image plane
// shows them: scaled by `zoom` and rotated by `degrees` (counter-clockwise as
// the picture is seen), sampled with `filter`
// (an ilQVScaleMode). `out` receives the bounding box of the result; pixels
// the turned picture does not cover are transparent. The problem, or empty.
std::string RenderView(const PixelLayer& l, const ilTile& r, float zoom, float degrees,
                       unsigned filter, ImagePixels& out, Progress* progress);

// Scales and turns `source` (rows bottom first) as RenderView does; `what`
// names it in messages.
std::string ScaleForView(const ImagePixels& source, float zoom, float degrees, unsigned filter,
                         ImagePixels& out, Progress* progress, const std::string& what);
// The whole of canvas `h` as its view shows it, composed by the engine's
// display path (every layer's visibility, opacity and stencil, the
// background, and with `masks` the masks above the current layer as the view
// shows them), then scaled and turned as RenderView does. Four channels,
// premultiplied. The problem, or empty.
std::string RenderCanvas(int h, bool masks, float zoom, float degrees, unsigned filter,
                         ImagePixels& out, Progress* progress);
// Tells canvas `l.h` that the layer's pixels changed over canvas rectangle
// `r`, so that its display and cached composites follow.
void PixelsChanged(const PixelLayer& l, const ilTile& r);

}  // namespace brenmark::tool
