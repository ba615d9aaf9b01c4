// LayerStack: sharpening and blurring a layer with the current convolution
// kernel, in blocks of four pages or streamed down the layer in rows of tiles.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "brenmark/convolution.h"
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "filters/convolution_progress.h"
#include "layers/layer_images.h"
#include "layers/tile_math.h"

namespace li = brenmark::layer_images;

namespace {

constexpr int kTile = 128;
// The side of the blocks a large layer is convolved in: four pages.
constexpr int kBlock = 4 * kTile;

ilTile Grown(const ilTile& t, int by) {
  return ilTile(t.x - by, t.y - by, t.z, t.nx + 2 * by, t.ny + 2 * by, t.nz);
}

int FloorTo(int v, int step) {
  return v >= 0 ? v / step * step : -((-v + step - 1) / step) * step;
}

// Convolves r, read from `source` with a margin of the kernel size K, and
// writes it through `painter` with the replacing blend.
void ConvolveRect(PaintOps* painter, ilImage* source, const ilTile& r,
                  const ConvolutionKernel& kernel) {
  const int k = static_cast<int>(kernel.GetSize());
  const ilTile e = Grown(r, k);
  const int channels = li::Channels(source);
  if (channels != 1 && channels != 4) return;
  std::unique_ptr<ilConvolutionImg> img(
      new (std::nothrow) ilConvolutionImg(ilSize(e.nx, e.ny, channels), ilUChar));
  if (!img || img->getDataPtr() == nullptr) return;
  img->copyTile(0, 0, e.nx, e.ny, source, e.x, e.y);
  if (img->Convolve(kernel) != ilOkay) return;
  painter->blend_func(BlendOne, BlendZero);
  painter->rect_copy(r.x, r.y, r.nx, r.ny, img.get(), k, k, nullptr, 1.0f, 1.0f);
}

// The host's busy indicator around a long computation.
class Busy {
 public:
  Busy() { Set(true); }
  ~Busy() { Set(false); }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  static void Set(bool on) {
    if (Brenmark.CB()->SetBusy) Brenmark.CB()->SetBusy(on);
  }
};

}  // namespace

void LayerStack::ConvolveLayer(void* handle) {
  Layer* layer = GetLayerFromHandle(handle);
  const ConvolutionKernel* kernel = Brenmark.GetCurrentConvolution();
  if (!layer || layer->isGeometry() || !kernel) return;
  CropLayerToBrushClippingRect(handle);
  layer->ShrinkBounds(false, false);
  PaintOps* painter = GetCurrentLayerPainter();
  if (!painter) return;
  painter->SetLowOrderBitImage(nullptr);
  const ilTile r = painter->getUnMaskedBounds();
  if (r.empty()) return;
  // The part of the layer the result covers: r when sharpening; a blur
  // spreads pixels beyond r, and is written over r grown by K (the four-box
  // blur) or by K - K / 2 (a kernel without negative coefficients).
  const int k = static_cast<int>(kernel->GetSize());
  ilTile out = r;
  if (kernel->getSharpness() == -1.0f) {
    out = Grown(r, k);
  } else if (kernel->isBlurType()) {
    out = Grown(r, k - k / 2);
  }
  // A large layer is convolved a block at a time, each block read with a
  // margin of K from a copy-on-write snapshot of the layer as it was, so no
  // block sees the ones written before it and the result equals that of one
  // piece: every pixel written has its whole window inside its block's
  // margin, and beyond the reach every result is the fill. One piece of a
  // 10000-pixel layer would be 400 MB of plain memory outside the page
  // cache's budget; a block is at most (512 + 2K) squared pixels.
  ilImage* image = layer->GetImage();
  if (!image) return;
  auto* source = new ilSmartImage(image, 0, 0, 0, -1);
  source->ref();
  const int x0 = FloorTo(out.x, kTile), y0 = FloorTo(out.y, kTile);
  for (int y = y0; y < out.y + out.ny; y += kBlock) {
    for (int x = x0; x < out.x + out.nx; x += kBlock) {
      const ilTile block(ilTile(x, y, 0, kBlock, kBlock, 1), out);
      if (!block.empty()) ConvolveRect(painter, source, block, *kernel);
    }
  }
  source->unref();
}

void LayerStack::ConvolveLayerByTile(void*, ilTile tile, ilSmartImage* source) {
  const ConvolutionKernel* kernel = Brenmark.GetCurrentConvolution();
  if (!source || !kernel || tile.empty()) return;
  PaintOps* painter = GetCurrentLayerPainter();
  if (!painter) return;
  ConvolveRect(painter, source, tile, *kernel);
}

void LayerStack::SharpenOrBlurDone(ConvolutionKernel kernel, void* handle) {
  Layer* layer = GetLayerFromHandle(handle);
  if (!layer || layer->isGeometry() || layer->getLayerBounds(true).empty()) return;
  SetDisplayUpdate(true);
  CropLayerToBrushClippingRect(handle);
  layer->ShrinkBounds(false, false);
  PaintOps* painter = GetCurrentLayerPainter();
  if (!painter) return;
  const ilTile r = painter->getUnMaskedBounds();
  if (r.empty()) return;
  Busy busy;
  Brenmark.SetCurrentConvolution(kernel);
  if (kernel.getSharpness() != -1.0f) {
    ConvolveLayer(handle);
    DamageRegion(r);
    UpdateImagePlaneBits();
    ForceUpdate();
    return;
  }
  ilImage* image = layer->GetImage();
  if (!image) return;
  const int channels = li::Channels(image);
  if (channels != 1 && channels != 4) return;
  painter->SetLowOrderBitImage(nullptr);
  painter->blend_func(BlendOne, BlendZero);
  const int k = static_cast<int>(kernel.GetSize());
  const ilTile g = Grown(r, k);
  // The blur reaches h0 = K / 2 beyond r; past that it would only write the
  // fill, so each tile is cut to that reach.
  const ilTile reach = Grown(r, k / 2);
  const int x0 = FloorTo(g.x, kTile), y0 = FloorTo(g.y, kTile);
  const int x1 = -FloorTo(-(g.x + g.nx), kTile);
  const int total = ((x1 - x0) / kTile) * ((-FloorTo(-(g.y + g.ny), kTile) - y0) / kTile);
  // The blur runs once down g (every pixel of the reach is at least K / 2 + 1
  // inside it, so it has its whole window, as in a tile of its own with a
  // margin of K). Source rows are read a page row at a time into `in`, a
  // frozen copy of that row of pages; a finished row of tiles is written
  // back in one piece, then shown tile by tile. The blur reads source row y
  // before it makes output row y, and a row of tiles goes back only when the
  // blur has moved past it, so every read sees unblurred pixels (the result
  // is that of any tile order) without a copy-on-write copy of the layer,
  // whose pages would all be copied as they are written back.
  const std::size_t rowBytes = static_cast<std::size_t>(g.nx) * channels;
  std::unique_ptr<std::uint8_t[]> in(new (std::nothrow) std::uint8_t[rowBytes * kTile]);
  std::unique_ptr<ilQVMemoryImg> band(new (std::nothrow)
                                          ilQVMemoryImg(ilSize(g.nx, kTile, channels), ilUChar));
  if (!in || !band || band->getDataPtr() == nullptr) return;
  auto* bandRows = static_cast<std::uint8_t*>(band->getDataPtr());
  int inY = 0, inN = 0;  // rows of the layer in `in`
  auto read = [&](int i, std::uint8_t* dst) {
    const int y = g.y + i;
    if (y < inY || y >= inY + inN) {
      inY = std::max(FloorTo(y, kTile), g.y);
      inN = std::min(FloorTo(y, kTile) + kTile, g.y + g.ny) - inY;
      image->getTile(g.x, inY, g.nx, inN, in.get());
    }
    std::memcpy(dst, in.get() + static_cast<std::size_t>(y - inY) * rowBytes, rowBytes);
  };
  int done = 0;
  int bandY = y0;  // the row of tiles being made
  auto finish = [&](int y) {
    const ilTile row(ilTile(x0, y, 0, x1 - x0, kTile, 1), reach);
    if (!row.empty()) {
      painter->rect_copy(row.x, row.y, row.nx, row.ny, band.get(), row.x - g.x, row.y - y, nullptr,
                         1.0f, 1.0f);
    }
    for (int x = x0; x < x1; x += kTile) {
      const ilTile tile(ilTile(x, y, 0, kTile, kTile, 1), reach);
      if (!tile.empty()) {
        // Only this tile is composed into the image plane; what the host
        // has not shown yet stays pending with it. Composing the whole
        // pending region at every tile would redo the rows already shown,
        // over and over, whenever the host shows updates later.
        const ilTile pending = GetUpdateRegion();
        ResetUpdateRegion();
        SetUpdateRegion(tile);
        UpdateImagePlaneBits();
        SetUpdateRegion(brenmark::UnionTile(pending, tile));
        ForceUpdate();
      }
      brenmark::conv::ReportProgress(++done, total);
    }
  };
  auto out = [&](int i) {
    const int y = g.y + i;
    if (y >= bandY + kTile) {
      finish(bandY);
      bandY = FloorTo(y, kTile);
    }
    return bandRows + static_cast<std::size_t>(y - bandY) * rowBytes;
  };
  brenmark::conv::FourBoxStream(g.nx, g.ny, channels, k / 2, read, out);
  finish(bandY);
}
