// Layer pixels through the engine's public interface.
#include "layer_access.h"

#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/paint_ops.h>
#include <brenmark/qv_memory_img.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "script_syntax.h"

namespace brenmark::tool {

namespace {

// Rows read per getTile call: two page rows, so that progress can show.
constexpr int kRowsPerRead = 256;

// A painter's blend function, set for the length of a scope and then put
// back, so the commands leave the layer's painter as they found it.
class ScopedBlend {
 public:
  ScopedBlend(PaintOps* painter, BlendPair blend) : painter_(painter) {
    hadOld_ = painter_->get_blend_func(oldSrc_, oldDst_) == 0;
    ok_ = painter_->blend_func(static_cast<BlendFactor>(blend.src),
                               static_cast<BlendFactor>(blend.dst)) == 0;
  }
  ~ScopedBlend() {
    if (hadOld_) painter_->blend_func(oldSrc_, oldDst_);
  }
  ScopedBlend(const ScopedBlend&) = delete;
  ScopedBlend& operator=(const ScopedBlend&) = delete;
  bool ok() const { return ok_; }

 private:
  PaintOps* painter_;
  BlendFactor oldSrc_ = BlendOne;
  BlendFactor oldDst_ = BlendZero;
  bool hadOld_ = false;
  bool ok_ = false;
};

// An ilMemoryImg over `pixels` in the engine's layout: lower-left rows,
// ABGR (or grey for one channel), a transparent fill. The image only wraps
// the memory; it never frees it.
class WrappedPixels {
 public:
  explicit WrappedPixels(const ImagePixels& pixels)
      : image_(const_cast<std::uint8_t*>(pixels.bytes.data()),
               ilSize(pixels.width, pixels.height, 1, pixels.channels), ilUChar) {
    image_.setCoordSpace(ilLowerLeft);
    image_.setColorModel(pixels.channels == 4 ? ilABGR : ilGreyMinBlack);
    image_.setFill(ilPixel(ilUChar, pixels.channels));
  }
  ilMemoryImg* get() { return &image_; }

 private:
  ilMemoryImg image_;
};

}  // namespace

std::string FindPixelLayer(int h, int index, PixelLayer& out) {
  LayerStack* stack = Brenmark.GetLayerStack(h);
  Layer* layer = stack ? stack->GetLayerFromIndex(index) : nullptr;
  ilImage* image = layer ? layer->GetImage() : nullptr;
  if (!image) return "layer " + std::to_string(index) + " has no pixels";
  out.h = h;
  out.index = index;
  out.layer = layer;
  out.image = image;
  out.channels = image->getCsize() == 1 ? 1 : 4;
  out.shape = layer->isGeometry();
  Brenmark.GetCurrentLayerOffset(out.offsetX, out.offsetY, index, h);
  return "";
}

ilTile ContentBounds(const PixelLayer& l) {
  int x = 0, y = 0, nx = 0, ny = 0;
  Brenmark.GetLayerBounds(x, y, nx, ny, false, l.index, l.h, true, false);
  return ilTile(x, y, 0, nx, ny, 1);
}

std::string ReadRect(const PixelLayer& l, const ilTile& r, ImagePixels& out, Progress* progress) {
  if (!out.Allocate(r.nx, r.ny, l.channels)) {
    return "not enough memory for " + std::to_string(r.nx) + " x " + std::to_string(r.ny) +
           " pixels";
  }
  const std::string label = "reading layer " + std::to_string(l.index);
  for (int row = 0; row < r.ny; row += kRowsPerRead) {
    const int rows = std::min(kRowsPerRead, r.ny - row);
    if (l.image->getTile(r.x - l.offsetX, r.y + row - l.offsetY, r.nx, rows, out.Row(row)) !=
        ilOkay) {
      return "the engine could not read layer " + std::to_string(l.index);
    }
    if (progress) progress->Update(label, static_cast<double>(row) / r.ny);
  }
  return "";
}

bool FillRect(const PixelLayer& l, const ilTile& r, const std::uint8_t* pixel, BlendPair blend) {
  PaintOps* painter = l.layer->GetPainter();
  if (!painter) return false;
  ScopedBlend scoped(painter, blend);
  if (!scoped.ok()) return false;
  // The painter takes a non-const pixel but only reads it.
  std::uint8_t copy[4] = {};
  std::copy(pixel, pixel + l.channels, copy);
  return painter->rect_fill(r.x - l.offsetX, r.y - l.offsetY, r.nx, r.ny, copy, nullptr) == 0;
}

bool PasteImage(const PixelLayer& l, int x, int y, const ImagePixels& pixels, BlendPair blend) {
  PaintOps* painter = l.layer->GetPainter();
  if (!painter) return false;
  ScopedBlend scoped(painter, blend);
  if (!scoped.ok()) return false;
  WrappedPixels source(pixels);
  return painter->rect_copy(x - l.offsetX, y - l.offsetY, pixels.width, pixels.height, source.get(),
                            0, 0, nullptr, 1.0f, 1.0f) == 0;
}

int AddImageLayer(int h, const ImagePixels& pixels, int x, int y) {
  WrappedPixels image(pixels);
  // The engine copies the image into a smart image of its own; a
  // one-channel image makes a mask.
  void* handle = Brenmark.AddLayer(image.get(), nullptr, pixels.channels == 1, true, true, h, false,
                                   x, y, -2, true);
  int index = -1, owner = -1;
  if (handle == reinterpret_cast<void*>(-1)) return 0;
  Brenmark.GetLayerFromHandle(handle, index, owner);
  return index > 0 && owner == h ? index : 0;
}

std::string ScaleForView(const ImagePixels& source, float zoom, float degrees, unsigned filter,
                         ImagePixels& out, Progress* progress, const std::string& what) {
  // The source's rows are y-up like the plane's, so the plane's rotation,
  // counter-clockwise in a y-up space, turns the picture counter-clockwise.
  // The result is cut to its bounding box, so the centre of the turn only
  // sets the sampling phase: turning about the corner pixel (0, 0) keeps
  // the edges on whole pixels for whole zooms and right angles.
  ilQVMemoryImg plane(const_cast<std::uint8_t*>(source.bytes.data()),
                      ilSize(source.width, source.height, 1, source.channels), ilUChar);
  plane.SetScaleAndRotation(zoom, zoom, degrees, 0.0f, 0.0f);
  plane.SetMinifyScaleMode(filter);
  plane.SetMagnifyScaleMode(filter);
  int width = 0, height = 0, x = 0, y = 0;
  plane.getTargetSizeAndOffset(0, 0, source.width, source.height, width, height, x, y);
  if (width < 1 || height < 1) return "the view would be empty";
  if (width > kMaxImageSide || height > kMaxImageSide) {
    return "the view would be " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; an image may be at most " + std::to_string(kMaxImageSide) + " x " +
           std::to_string(kMaxImageSide);
  }
  if (!out.Allocate(width, height, source.channels)) {
    return "not enough memory for " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels";
  }
  if (progress) progress->Update("scaling " + what);
  ilQVMemoryImg target(out.bytes.data(), ilSize(width, height, 1, source.channels), ilUChar);
  if (plane.getScaleTile(0.0f, 0.0f, static_cast<float>(source.width),
                         static_cast<float>(source.height), target.getDataPtr(), width, height, 0,
                         0) != ilOkay) {
    return "the engine could not scale " + what;
  }
  return "";
}

std::string RenderView(const PixelLayer& l, const ilTile& r, float zoom, float degrees,
                       unsigned filter, ImagePixels& out, Progress* progress) {
  ImagePixels source;
  if (std::string problem = ReadRect(l, r, source, progress); !problem.empty()) return problem;
  return ScaleForView(source, zoom, degrees, filter, out, progress,
                      "layer " + std::to_string(l.index));
}

std::string RenderCanvas(int h, bool masks, float zoom, float degrees, unsigned filter,
                         ImagePixels& out, Progress* progress) {
  LayerStack* stack = Brenmark.GetLayerStack(h);
  if (!stack) return "there is no current canvas";
  if (stack->GetLayerCount() == 0) return "the canvas has no layers to show";
  if (progress) progress->Update("composing the canvas");
  ilQVMemoryImg* composite = stack->GetUpdateImagePlaneBits(masks);
  ImagePixels source;
  std::string problem;
  const int width = composite ? composite->getXsize() : 0;
  const int height = composite ? composite->getYsize() : 0;
  if (width < 1 || height < 1 || !composite->getDataPtr()) {
    problem = "the canvas's view is empty";
  } else if (!source.Allocate(width, height, 4)) {
    problem = "not enough memory for " + std::to_string(width) + " x " + std::to_string(height) +
              " pixels";
  } else {
    std::memcpy(source.bytes.data(), composite->getDataPtr(), source.bytes.size());
  }
  if (composite) composite->unref();
  if (!problem.empty()) return problem;
  if (zoom == 1.0f && degrees == 0.0f) {
    out = std::move(source);
    return "";
  }
  return ScaleForView(source, zoom, degrees, filter, out, progress, "the canvas");
}

void PixelsChanged(const PixelLayer& l, const ilTile& r) {
  Brenmark.DamageRegion(r, l.h);
  // The canvas keeps composites of the layers below and above its current
  // layer (and of the current layer's masks): a change outside the current
  // layer must rebuild the one it falls into.
  const int current = Brenmark.GetCurrentLayer(l.h);
  const bool below = l.index < current;
  const bool above = l.index > current || l.channels == 1;
  if (Brenmark.GetCurrentLayerStack() != l.h) return;
  if (below || above) {
    Brenmark.UpdateImagePlaneBits(below, above);
  } else {
    Brenmark.ForceUpdate();
  }
}

}  // namespace brenmark::tool
