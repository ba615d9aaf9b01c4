// LayerStack: flood fill of a layer and the magic wand into the selection
// mask, both through the region search of flood_fill.h.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "brenmark/flood_fill.h"
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/smart_image.h"

namespace {

ilTile Union(const ilTile& a, const ilTile& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  const int x1 = std::max(a.x + a.nx, b.x + b.nx), y1 = std::max(a.y + a.ny, b.y + b.ny);
  return ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1);
}

ilTile Moved(const ilTile& t, int dx, int dy) {
  return ilTile(t.x + dx, t.y + dy, t.z, t.nx, t.ny, t.nz);
}

// A view point truncated toward zero and kept in [lo, hi]; a point that is
// no number takes lo.
int ClampedCoord(float v, int lo, int hi) {
  if (!(v >= static_cast<float>(lo))) return lo;
  if (v >= static_cast<float>(hi)) return hi;
  return std::clamp(static_cast<int>(v), lo, hi);
}

}  // namespace

void LayerStack::FloodFillDone(int x, int y, float tolerance, PaintColor& colour, void* handle) {
  Layer* layer = GetLayerFromHandle(handle);
  if (!layer || layer->isGeometry()) return;
  ilSmartImage* image = ilSmartImage::As_ilSmartImage(layer->GetImage());
  if (!image) return;
  // A layer other than the current one is written through its own painter:
  // the current painter would write into the current layer.
  PaintOps* painter = layer == current_ ? GetCurrentLayerPainter() : layer->GetPainter();
  if (!painter) return;
  PaintColor c = colour;
  c.ForcePremult();
  const bool oneChannel = image->GetChannels() == 1;
  unsigned packed = 0;
  c.Get(packed);
  std::uint8_t bytes[4];
  std::memcpy(bytes, &packed, 4);
  if (oneChannel) std::memset(bytes, static_cast<int>(packed >> 24), 4);
  image->ForceShrinkAttempt(false);
  const ilTile b = layer->getLayerBounds(true);
  int lx = 0, ly = 0;
  layer->GetOffset(lx, ly);
  const ilTile canvas = Moved(GetCanvasBounds(), -lx, -ly);

  if (b.empty()) {
    // Uniform: the whole plane is the region.
    painter->blend_func(BlendOne, BlendZero);
    if (!canvas.empty())
      painter->rect_fill(canvas.x, canvas.y, canvas.nx, canvas.ny, bytes, nullptr);
    image->setFill(ilPixel(ilUChar, oneChannel ? 1 : 4, bytes));
    RedrawEntireCanvas(false, false);
    Notify();
    return;
  }

  ilSmartImage* snapshot = new ilSmartImage(image, 0, 0, 0, -1);
  snapshot->ref();
  ilTile changed;
  bool reachedBorder = false;
  {
    PagePixelAccessor accessor(snapshot, 0, 0);
    SetDisplayUpdate(true);
    // Two pixels of the fill value all round the painted bounds: a region
    // reaching them goes on beyond the layer's content.
    const int xmin = b.x - 2, ymin = b.y - 2;
    const int xmax = b.x + b.nx + 1, ymax = b.y + b.ny + 1;
    float fx = static_cast<float>(x), fy = static_cast<float>(y);
    ScreenToCurrentLayerCoords(fx, fy, GetIndexFromLayer(layer));
    const int sx = ClampedCoord(fx, xmin, xmax), sy = ClampedCoord(fy, ymin, ymax);
    FloodFillOperation op(sx, sy, tolerance, c, &accessor, oneChannel);
    op.Fill(sx, sy, xmin, ymin, xmax, ymax, true);
    reachedBorder = op.ReachedBorder();
    int minX, minY, maxX, maxY;
    op.GetExtent(minX, minY, maxX, maxY);
    changed = ilTile(minX - 2, minY - 2, 0, maxX - minX + 5, maxY - minY + 5, 1);
    if (reachedBorder || GetTransform().GetXScale() > 2.0f) changed = Union(changed, canvas);
  }
  painter->blend_func(BlendOne, BlendZero);
  painter->rect_copy(changed.x, changed.y, changed.nx, changed.ny, snapshot, changed.x, changed.y,
                     nullptr, 1.0f, 1.0f);
  if (reachedBorder) {
    if (ilImage* target = painter->target_img()) {
      std::uint8_t fill[4];
      const unsigned f = snapshot->GetFillValue();
      std::memcpy(fill, &f, 4);
      target->setFill(ilPixel(ilUChar, snapshot->GetChannels(), fill));
    }
  }
  snapshot->unref();

  changed = Moved(changed, lx, ly);
  if (!reachedBorder) {
    DamageRegion(changed);
    DamageBrushPreviewRegion();  // the previous preview's area
    UpdateImagePlaneBits();
    ForceUpdate();
    SetBrushPreviewRegion(changed);
  } else {
    DamageRegion(GetCanvasBounds());
    UpdateImagePlaneBits();
    ForceUpdate();
    SetBrushPreviewRegion(GetCanvasBounds());
  }
}

void LayerStack::MagicWandDone(int x, int y, float tolerance, PaintColor& colour, bool replace,
                               void* handle) {
  Layer* layer = GetLayerFromHandle(handle);
  if (!layer || layer->isGeometry() || layer->getLayerBounds(true).empty()) return;
  ilSmartImage* image = ilSmartImage::As_ilSmartImage(layer->GetImage());
  ilSmartImage* selection =
      selectionMask_ ? ilSmartImage::As_ilSmartImage(selectionMask_->GetImage()) : nullptr;
  if (!image || !selection || selection->GetChannels() != 1) return;
  image->ForceShrinkAttempt(false);
  selection->ForceShrinkAttempt(false);
  if (replace) {
    // Everything masked; the region is opened below.
    const std::uint8_t masked = 255;
    const ilTile sb = selection->getBounds();
    if (!sb.empty()) selection->fillTile(sb.x, sb.y, sb.nx, sb.ny, &masked);
    selection->setFill(ilPixel(ilUChar, 1, &masked));
  }
  {
    // The layer is only read: a read lock leaves its pages shared.
    PagePixelAccessor source(image, 0, 0, false);
    PagePixelAccessor destination(selection, 0, 0);
    SetDisplayUpdate(true);
    int lx = 0, ly = 0, mx = 0, my = 0;
    layer->GetOffset(lx, ly);
    selectionMask_->GetOffset(mx, my);
    const ilTile canvas = GetCanvasBounds();
    const int xmin = canvas.x - lx, ymin = canvas.y - ly;
    const int xmax = canvas.x + canvas.nx - 1 - lx, ymax = canvas.y + canvas.ny - 1 - ly;
    float fx = static_cast<float>(x), fy = static_cast<float>(y);
    ScreenToCurrentLayerCoords(fx, fy, GetIndexFromLayer(layer));
    const int sx = ClampedCoord(fx, xmin, xmax), sy = ClampedCoord(fy, ymin, ymax);
    FloodFillOperation op(sx, sy, lx - mx, ly - my, tolerance, colour, &source, &destination,
                          image->GetChannels() == 1, true);
    op.Fill(sx, sy, xmin, ymin, xmax, ymax, false);
  }
  UseSelectionMask(true);
  RebuildMaskComposite();
  selectionChanged_ = true;
  RebuildAboveComposite();
  DamageRegion(GetCanvasBounds());
  UpdateImagePlaneBits();
  ForceUpdate();
  SetBrushPreviewRegion(GetCanvasBounds());
}
