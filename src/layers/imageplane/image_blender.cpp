// ImageBlender: a blend function chosen by name over an owned painter.
#include <brenmark/image_blender.h>
#include <brenmark/paint_ops.h>

ImageBlender::ImageBlender(ilImage* target) : painter_(new PaintOps(target, 1)) {
  painter_->ref();
}

ImageBlender::~ImageBlender() {
  painter_->unref();
}

void ImageBlender::SetBlendFunc(BlendFunc func) {
  switch (func) {
    case kBlendOver:
      painter_->blend_func(BlendOne, BlendOneMinusSrcAlpha);
      break;
    case kBlendUnder:
      painter_->blend_func(BlendOneMinusDstAlpha, BlendOne);
      break;
    default:
      painter_->blend_func(BlendOne, BlendZero);
      break;
  }
}

ImageBlender::BlendFunc ImageBlender::GetBlendFunc() {
  BlendFactor src = BlendOne, dst = BlendZero;
  painter_->get_blend_func(src, dst);
  if (src == BlendOne && dst == BlendOneMinusSrcAlpha) return kBlendOver;
  if (src == BlendOneMinusDstAlpha && dst == BlendOne) return kBlendUnder;
  if (!(src == BlendOne && dst == BlendZero)) painter_->blend_func(BlendOne, BlendZero);
  return kBlendReplace;
}

int ImageBlender::copyTile(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY) {
  return painter_->rect_copy(x, y, nx, ny, src, srcX, srcY, nullptr, 1.0f, 1.0f);
}

int ImageBlender::fillTile(int x, int y, int nx, int ny, unsigned* pixel) {
  return painter_->rect_fill(x, y, nx, ny, pixel, nullptr);
}

ilImage* ImageBlender::GetTargetImage() {
  return painter_->target_img();
}
