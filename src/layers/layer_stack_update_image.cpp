// LayerStack: the update region in screen pixels and the update image the
// application pulls when it refreshes the view itself, over the
// process-wide update buffers.
#include <cmath>
#include <cstdint>
#include <vector>

#include "brenmark/image_blender.h"
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"
#include "layers/tile_math.h"

using brenmark::Moved;

namespace {

// Two screen-sized buffers shared by every stack: the first carries the
// update image, the second the selection's ants image. Each allocation gets
// a new generation number; an update image wrapping an older generation is
// rebuilt before its next use.
struct UpdateBuffers {
  std::vector<std::uint32_t> image;
  std::vector<std::uint32_t> ants;
  int width = 0;
  int height = 0;
  unsigned generation = 0;
};

UpdateBuffers& Buffers() {
  static UpdateBuffers buffers;
  return buffers;
}

int RoundHalfAway(double v) {
  return static_cast<int>(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5));
}

ilTile Clipped(const ilTile& t, int w, int h) {
  ilTile r(t, ilTile(0, 0, 0, w, h, 1));
  if (r.nx <= 0 || r.ny <= 0) return ilTile(0, 0, 0, 0, 0, 0);
  return r;
}

// Bounding box in screen pixels of a canvas rectangle under the stack's
// view transform with rotation: the rotated, scaled rectangle centred on the
// transformed centre.
ilTile RotatedBox(const LayerStackTransform& t, const ilTile& r) {
  float cx = r.x + r.nx * 0.5f, cy = r.y + r.ny * 0.5f;
  t.XformCoords(cx, cy);
  int w = 0, h = 0, ox = 0, oy = 0;
  SIDGetTargetSizeAndOffset(0, 0, r.nx, r.ny, t.GetXScale(), t.GetYScale(), t.GetDegree(),
                            r.nx * 0.5f, r.ny * 0.5f, w, h, ox, oy);
  return ilTile(RoundHalfAway(cx - w * 0.5), RoundHalfAway(cy - h * 0.5), 0, w, h, 1);
}

}  // namespace

void LayerStack::MatchUpdateBuffersToScreen() {
  int w = 0, h = 0;
  Brenmark.CB()->GetScreenSize(&w, &h);
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  UpdateBuffers& b = Buffers();
  if (w == b.width && h == b.height && b.generation != 0) return;
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<std::uint32_t>().swap(b.image);
  std::vector<std::uint32_t>().swap(b.ants);
  b.image.assign(n, 0);
  b.ants.assign(n, 0);
  b.width = w;
  b.height = h;
  ++b.generation;
}

const ilTile& LayerStack::GetUpdateRegion() {
  if (PaintOps* painter = GetCurrentLayerPainter()) {
    ilTile modified(0, 0, 0, 0, 0, 1);
    if (painter->tile_modified(modified, SinceReset, 0, 0) && current_) {
      DamageRegion(Moved(modified, current_->getXOffset(), current_->getYOffset()));
    }
  }
  updateRegion_.z = 0;
  updateRegion_.nz = 1;
  if (imagePlane_) {
    updateRegion_ = ilTile(updateRegion_, size_);
    if (updateRegion_.nx < 0) updateRegion_.nx = 0;
    if (updateRegion_.ny < 0) updateRegion_.ny = 0;
  }
  return updateRegion_;
}

void LayerStack::ResetUpdateRegion() {
  if (currentPainter_) currentPainter_->reset_tile_modified();
  updateRegion_ = ilTile(0, 0, 0, 0, 0, 0);
}

void LayerStack::EndUpdate() {
  ResetUpdateRegion();
  inUpdate_ = false;
}

ilTile LayerStack::GetScrnUpdateRegion() {
  MatchUpdateBuffersToScreen();
  ilTile r = Moved(GetUpdateRegion(), offsetX_, offsetY_);
  if (r.nx <= 0 || r.ny <= 0) return ilTile(0, 0, 0, 0, 0, 0);
  if (transform_.GetDegree() == 0.0f)
    transform_.XformTile(r);
  else
    r = RotatedBox(transform_, r);
  return Clipped(r, Buffers().width, Buffers().height);
}

// ---- The update image.

void LayerStack::ReleaseUpdateImage() {
  if (updateImageBlender_) updateImageBlender_->unref();
  if (updateImagePainter_) updateImagePainter_->unref();
  if (updateImage_) updateImage_->unref();
  updateImageBlender_ = nullptr;
  updateImagePainter_ = nullptr;
  updateImage_ = nullptr;
  updateBufferGeneration_ = 0;
}

void LayerStack::PrepareUpdateImage() {
  MatchUpdateBuffersToScreen();
  UpdateBuffers& b = Buffers();
  if (updateImage_ && updateBufferGeneration_ == b.generation) return;
  ReleaseUpdateImage();
  updateImage_ = new ilQVMemoryImg(b.image.data(), ilSize(b.width, b.height, 4), ilUChar);
  updateImage_->ref();
  updateImagePainter_ = new PaintOps(updateImage_, 1);
  updateImagePainter_->ref();
  updateImageBlender_ = new ImageBlender(updateImage_);
  updateImageBlender_->ref();
  updateBufferGeneration_ = b.generation;
}

PaintOps* LayerStack::GetUpdateImagePainter() {
  PrepareUpdateImage();
  return updateImagePainter_;
}

ImageBlender* LayerStack::GetUpdateImageBlender() {
  PrepareUpdateImage();
  return updateImageBlender_;
}

ilQVMemoryImg* LayerStack::GetUpdateImage() {
  BrenmarkCallbacks* cb = Brenmark.CB();
  const int view = ViewOf();
  cb->UpdateImageRequested(view, 0);
  PrepareUpdateImage();
  const ilTile canvasRegion = GetUpdateRegion();
  if (canvasRegion.nx <= 0 || canvasRegion.ny <= 0 || !current_ || !imagePlane_) {
    return updateImage_;
  }
  UpdateImagePlaneBits();
  const ilTile region = Moved(canvasRegion, planeOffsetX_, planeOffsetY_);
  const float xs = transform_.GetXScale(), ys = transform_.GetYScale();
  const float degrees = transform_.GetDegree();
  float f[8] = {1, 1, 1, 1, 0, 0, 0, 0};
  cb->GetDisplayFilter(view, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
  imagePlane_->SetRGBAScaleAndOffset(f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
  int magnify = 0, minify = 0;
  if (!Brenmark.isDisplayFilterOverrided() && xs != 0.0f && ys != 0.0f) {
    Brenmark.GetScaleFilter(magnify, minify);
    if (magnify == 2) magnify = 1;
    if (minify == 2) minify = 1;
  }
  imagePlane_->SetMagnifyScaleMode(static_cast<unsigned>(magnify));
  imagePlane_->SetMinifyScaleMode(static_cast<unsigned>(minify));
  imagePlane_->SetScaleAndRotation(xs, ys, degrees, transform_.GetXCenter(),
                                   transform_.GetYCenter());
  const UpdateBuffers& b = Buffers();
  void* dst = updateImage_->getDataPtr();
  if (imagePlane_->IsScaleOnly()) {
    imagePlane_->SetOffset(transform_.GetXOffset(), transform_.GetYOffset());
    imagePlane_->getScaleTile(region.x, region.y, region.nx, region.ny, dst, b.width, b.height);
    imagePlane_->SetOffset(0.0f, 0.0f);
  } else {
    int vw = 0, vh = 0;
    cb->GetViewSize(view, &vw, &vh);
    const ilTile view_(0, 0, 0, vw, vh, 1);
    const ilTile box = RotatedBox(transform_, Moved(canvasRegion, offsetX_, offsetY_));
    const bool originInside = region.x >= 0 && region.y >= 0 && region.x < vw && region.y < vh;
    if (originInside && view_.contains(box)) {
      imagePlane_->getCanvasRotateScaleTile(
          region.x, region.y, region.nx, region.ny, dst, b.width, b.height,
          RoundHalfAway(transform_.GetXOffset() + transform_.GetXScaleOffset()),
          RoundHalfAway(transform_.GetYOffset() + transform_.GetYScaleOffset()), false);
    }
  }
  return updateImage_;
}
