// The fast painter: a process-wide painter for quick off-screen work, either
// one the application installs or a 512 x 512 four-channel one of our own.
#include "brenmark/paint_ops.h"
#include "brenmark/qv_memory_img.h"

namespace {

// The image under our own fast painter; it lives exactly as long as that
// painter.
ilImage* g_our_fast_image = nullptr;

}  // namespace

PaintOps* PaintOps::fast_painter() {
  if (installed_fast_painter_ != nullptr) return installed_fast_painter_;
  if (our_fast_painter_ == nullptr) {
    auto* img = new ilQVMemoryImg(ilSize(512, 512, 1, 4), ilUChar);
    img->setColorModel(ilABGR);
    img->ref();
    g_our_fast_image = img;
    our_fast_painter_ = new PaintOps(img, 1);
    our_fast_painter_->ref();
  }
  return our_fast_painter_;
}

void PaintOps::fast_painter(PaintOps* painter) {
  installed_fast_painter_ = painter;
  if (painter == nullptr || our_fast_painter_ == nullptr || painter == our_fast_painter_) return;
  PaintOps* own = our_fast_painter_;
  our_fast_painter_ = nullptr;
  own->unref();
  g_our_fast_image->unref();
  g_our_fast_image = nullptr;
}

bool PaintOps::fast_painter_installed() {
  return installed_fast_painter_ != nullptr;
}
