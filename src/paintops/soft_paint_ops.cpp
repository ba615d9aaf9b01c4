// The software painter: settings, stamps and dabs, and the rectangle entry
// points (read, write, fill, copy) that lead into the page-wise blend.
#include "brenmark/soft_paint_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "brenmark/qv_memory_img.h"
#include "brenmark/smart_image.h"
#include "paintops/blend_rows.h"
#include "paintops/soft_paint_ops_stamp.h"
#include "platform/diagnostics.h"

int SoftPaintOps::high_quality_stamp_ = 1;
int SoftPaintOps::SingleColorStamp_ = 1;

namespace brenmark {
namespace {

StampServices* g_stamp_services = nullptr;

}  // namespace

void SetStampServices(StampServices* services) {
  g_stamp_services = services;
}

StampServices* GetStampServices() {
  return g_stamp_services;
}

}  // namespace brenmark

namespace {

using brenmark::GetStampServices;

// Destination extent of caller units [v, v + n) at scale s: both edges
// rounded to the nearest target pixel, halves away from zero.
void ScaleSpan(int v, int n, float s, int& out, int& outN) {
  if (s == 1.0f) {
    out = v;
    outN = n;
    return;
  }
  out = static_cast<int>(std::lround(static_cast<float>(v) * s));
  outN = static_cast<int>(std::lround(static_cast<float>(v + n) * s)) - out;
}

bool IsConstantImage(ilImage* img) {
  return img->derivesFrom(ilConstImgClassId);
}

bool PackedFourChannel(ilImage* img) {
  return img->getDataType() == ilUChar && img->getCsize() == 4 && img->getOrder() == ilInterleaved;
}

// A straight copy of a paged image into a memory image of the view (a
// composite into the plane, at every display update) reads the source's
// rows right into the target's block, as the image library's copy ends up
// doing, without the two general set-ups on the way there: for the few
// hundred pixels a stroke's update moves they cost more than the rows.
// False when the pair does not qualify; the caller copies as usual.
bool CopyRowsIntoMemory(ilImage* target, ilImage* src, int x, int y, int nx, int ny, int srcX,
                        int srcY, ilStatus& status) {
  ilSmartImage* smart = ilSmartImage::As_ilSmartImage(src);
  if (smart == nullptr || !target->derivesFrom(ilQVMemoryImgClassId) ||
      !PackedFourChannel(target) || !PackedFourChannel(src) ||
      src->getCoordSpace() != target->getCoordSpace())
    return false;
  auto* data = static_cast<std::uint8_t*>(static_cast<ilMemoryImg*>(target)->getDataPtr());
  if (data == nullptr) return false;
  const int w = target->getXsize(), h = target->getYsize();
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + nx, w), y1 = std::min(y + ny, h);
  status = ilOkay;
  if (x1 <= x0 || y1 <= y0) return true;
  const std::ptrdiff_t stride = std::ptrdiff_t{w} * 4;
  status = smart->getNativeRows(x0 - x + srcX, y0 - y + srcY, x1 - x0, y1 - y0,
                                data + y0 * stride + std::ptrdiff_t{x0} * 4, stride);
  return true;
}

}  // namespace

SoftPaintOps::SoftPaintOps(ilImage* target) : PaintOps(target, 0) {
  make_writemask_();
}

SoftPaintOps::~SoftPaintOps() {
  // Implementations may observe the stamp: they go before it is released.
  delete sepImpl_;
  delete imageImpl_;
  sepImpl_ = imageImpl_ = stampImpl_ = nullptr;
  if (stamp_ != nullptr) {
    if (StampServices* services = GetStampServices()) services->Release(stamp_);
    stamp_ = nullptr;
  }
  if (lowBits_ != nullptr) lowBits_->unref();
  lowBits_ = nullptr;
}

// ---- Settings.

void SoftPaintOps::make_writemask_() {
  const int channels = target_ != nullptr && target_->getCsize() == 1 ? 1 : 4;
  writeMask_ = brenmark::MakeWriteMask(writable_, channels);
}

int SoftPaintOps::set_writable(int r, int g, int b, int a) {
  if (target_ != nullptr && target_->getCsize() == 1) {
    writable_[0] = r;
  } else {
    writable_[0] = r;
    writable_[1] = g;
    writable_[2] = b;
    writable_[3] = a;
  }
  make_writemask_();
  return 0;
}

int SoftPaintOps::set_writable(const int* flags) {
  if (flags == nullptr) return -1;
  int channels = target_ != nullptr ? target_->getCsize() : 4;
  if (channels > 4 || channels < 1) channels = 4;
  for (int i = 0; i < channels; ++i) writable_[i] = flags[i];
  make_writemask_();
  return 0;
}

int SoftPaintOps::blend_func(BlendFactor src, BlendFactor dst) {
  if (!brenmark::IsBlendFactorCode(src) || !brenmark::IsBlendFactorCode(dst)) return -1;
  srcFactor_ = src;
  dstFactor_ = dst;
  return 0;
}

int SoftPaintOps::get_blend_func(BlendFactor& src, BlendFactor& dst) {
  src = static_cast<BlendFactor>(srcFactor_);
  dst = static_cast<BlendFactor>(dstFactor_);
  return 0;
}

void SoftPaintOps::BeginOperation() {
  PaintOps::BeginOperation();
  AllocateLowOrderBits();
}

ilImage* SoftPaintOps::dst_copy_img() const {
  return dstCopy_;
}

void SoftPaintOps::dst_copy_img(ilImage* img) {
  dstCopy_ = ilSmartImage::As_ilSmartImage(img);
}

void SoftPaintOps::MarkerInfoCopy(PaintOps* to) {
  if (to == nullptr) return;
  to->SetMarkerBlend(markerBlend_);
  to->SetMarkerWetness(markerWetness_);
}

int SoftPaintOps::keep_read_valid(int keep) {
  int result = 0;
  if (keep == 0) {
    if (readValidCount_ > 0) --readValidCount_;
    result = 1;
  } else if (scaleX_ == 1.0f && scaleY_ == 1.0f) {
    ++readValidCount_;
    result = 1;
  }
  if (readValidCount_ > 9) {
    brenmark::platform::Diagnostic(
        "Warning: SoftPaintOps::keep_read_valid() has %d outstanding TRUE calls\n",
        readValidCount_);
  }
  return result;
}

int SoftPaintOps::is_read_valid() const {
  return scaleX_ == 1.0f && scaleY_ == 1.0f ? 1 : 0;
}

int SoftPaintOps::high_quality_stamp() {
  return high_quality_stamp_;
}

void SoftPaintOps::high_quality_stamp(int /*on*/) {
  high_quality_stamp_ = 1;
}

void SoftPaintOps::SingleColorStamp(int on) {
  SingleColorStamp_ = on;
}

int SoftPaintOps::GetSingleColorStamp() {
  return SingleColorStamp_;
}

// ---- Low-order bits.

void SoftPaintOps::SetLowOrderBitImage(ilSmartImage* img) {
  // Attaching the image already held must not take a second reference.
  if (img == lowBits_) return;
  if (lowBits_ != nullptr) lowBits_->unref();
  lowBits_ = nullptr;
  if (img != nullptr && target_ != nullptr && img->getCsize() == target_->getCsize()) {
    img->ref();
    lowBits_ = img;
  }
}

void SoftPaintOps::AllocateLowOrderBits() {
  if (target_ == nullptr || stamp_ == nullptr) return;
  StampServices* services = GetStampServices();
  const bool wanted = markerBlend_ || (services != nullptr && services->Is16Bit(stamp_));
  if (lowBits_ == nullptr && wanted) {
    const int channels = target_->getCsize() == 1 ? 1 : 4;
    ilPixel fill(ilUChar, channels);
    // Unpainted low bits sit in the middle of their range.
    for (int c = 0; c < channels; ++c) fill.setElem(0x7F, c);
    lowBits_ = new ilSmartImage(fill);
    lowBits_->ref();
  } else if (lowBits_ != nullptr && !wanted) {
    lowBits_->unref();
    lowBits_ = nullptr;
  }
}

// ---- Stamps and dabs.

int SoftPaintOps::set_stamp(Stamp* stamp) {
  StampServices* services = GetStampServices();
  // Without services a stamp could be neither held nor drawn.
  if (stamp != nullptr && services == nullptr) return 0;
  if (stamp != nullptr) services->Reference(stamp);
  if (stamp_ != nullptr && services != nullptr) services->Release(stamp_);
  stamp_ = stamp;
  if (stamp == nullptr) {
    if (stampImpl_ != nullptr) stampImpl_->set_stamp(nullptr);
    stampImpl_ = nullptr;
    return 0;
  }
  const bool separable =
      services->Kind(stamp) == 2 || (services->HighQuality(stamp) && high_quality_stamp() != 0);
  StampImpl*& chosen = separable ? sepImpl_ : imageImpl_;
  if (chosen == nullptr)
    chosen =
        services->MakeImpl(separable ? StampImplKind::kSeparable : StampImplKind::kImage, this);
  if (chosen == nullptr) {
    if (stampImpl_ != nullptr) stampImpl_->set_stamp(nullptr);
    stampImpl_ = nullptr;
    return 0;
  }
  chosen->set_stamp(stamp);
  if (chosen != stampImpl_) {
    if (stampImpl_ != nullptr) stampImpl_->set_stamp(nullptr);
    stampImpl_ = chosen;
  }
  return stampImpl_->has_stamp() ? 1 : 0;
}

namespace {

// Dab placement point of a centre: the renderers' sub-pixel grid is offset
// by three eighths of a pixel.
constexpr float kDabOffset = 0.375f;

}  // namespace

int SoftPaintOps::draw_stamps(const PaintPoint* points, int count, float (* /*pressure*/)()) {
  AllocateLowOrderBits();
  if (stampImpl_ == nullptr) return -1;
  if (count <= 0 || points == nullptr) return 0;
  ilTile all(0, 0, 0, 0, 0, 1);
  int result = stampImpl_->begin_stamps();
  if (result == 0) {
    result = stampImpl_->draw_stamp(points[0].x - kDabOffset, points[0].y - kDabOffset, all);
    if (result != 0) all = ilTile(0, 0, 0, 0, 0, 1);
    for (int i = 1; i < count && result == 0; ++i) {
      ilTile t;
      result = stampImpl_->draw_stamp(points[i].x - kDabOffset, points[i].y - kDabOffset, t);
      if (result == 0) update_tile(all, t);
    }
  }
  stampImpl_->end_stamps();
  tile_was_modified(all);
  return result;
}

int SoftPaintOps::draw_stamps(PaintPointStream& points, float (* /*pressure*/)()) {
  AllocateLowOrderBits();
  if (stampImpl_ == nullptr) return -1;
  const ilTile clip = GetBrushClippingRect();
  const float left = static_cast<float>(clip.x);
  const float right = static_cast<float>(clip.x + clip.nx);
  const float bottom = static_cast<float>(clip.y);
  const float top = static_cast<float>(clip.y + clip.ny);
  ilTile all(0, 0, 0, 0, 0, 1);
  bool began = false;
  int result = 0;
  PaintPoint p;
  while (result == 0 && points.next(p)) {
    if (!(left <= p.x && p.x <= right && bottom <= p.y && p.y <= top)) continue;
    ilTile t;
    if (!began) {
      began = true;
      result = stampImpl_->begin_stamps();
      if (result != 0) break;
      result = stampImpl_->draw_stamp(p.x - kDabOffset, p.y - kDabOffset, t);
      if (result == 0) all = t;
    } else {
      result = stampImpl_->draw_stamp(p.x - kDabOffset, p.y - kDabOffset, t);
      if (result == 0) update_tile(all, t);
    }
  }
  if (began) stampImpl_->end_stamps();
  tile_was_modified(all);
  return result;
}

void SoftPaintOps::reset() {
  StampServices* services = GetStampServices();
  if (services == nullptr) return;
  if (stamp_ != nullptr) services->ResetPlacement(stamp_);
  services->EmptyStampCache();
}

// ---- Rectangles.

int SoftPaintOps::rect_read(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) {
  if (target_ == nullptr || buf == nullptr) return -1;
  return target_->getTile(x, y, nx, ny, buf, cfg) == ilOkay ? 0 : -1;
}

int SoftPaintOps::rect_write(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) {
  if (target_ == nullptr || buf == nullptr) return -1;
  if (nx < 1 || ny < 1) return 0;
  const int channels = cfg != nullptr && cfg->nchans > 0 ? cfg->nchans : target_->getCsize();
  const ilType type = cfg != nullptr && cfg->type != ilAnyType ? cfg->type : target_->getDataType();
  const ilOrder order =
      cfg != nullptr && cfg->order != ilAnyOrder ? cfg->order : target_->getOrder();
  const ilCoordSpace space = cfg != nullptr && cfg->coordSpace != ilSpaceDefault
                                 ? cfg->coordSpace
                                 : target_->getCoordSpace();
  ilQVMemoryImg wrap(buf, ilSize(nx, ny, 1, channels), type, order);
  wrap.setCoordSpace(space);
  wrap.setColorModel(target_->getColorModel());
  if (cfg == nullptr) return rect_copy(x, y, nx, ny, &wrap, 0, 0, nullptr, 1.0f, 1.0f);

  // A write map says which image channel each buffer channel lands in; the
  // copy from the wrapped buffer needs the reverse: which buffer channel
  // each image channel takes.
  ilConfig copyCfg = *cfg;
  const int targetChannels = target_->getCsize();
  int inverse[kIlMaxChannels];
  for (int i = 0; i < kIlMaxChannels; ++i) inverse[i] = -1;
  for (int i = 0; i < channels && i < kIlMaxChannels; ++i) {
    const int ch = cfg->imageChannel(i);
    if (ch >= 0 && ch < kIlMaxChannels) inverse[ch] = i;
  }
  copyCfg.setChanList(inverse, targetChannels);
  copyCfg.nchans = targetChannels;
  return rect_copy(x, y, nx, ny, &wrap, 0, 0, &copyCfg, 1.0f, 1.0f);
}

int SoftPaintOps::rect_fill(int x, int y, int nx, int ny, void* pixel, const ilConfig* cfg) {
  if (nx < 1 || ny < 1) return 0;
  if (target_ == nullptr || pixel == nullptr) return -1;
  make_writemask_();
  if (cfg == nullptr && writeMask_ == 0xFFFFFFFFu && is_func_(BlendOne, BlendZero)) {
    int dx, dnx, dy, dny;
    ScaleSpan(x, nx, scaleX_, dx, dnx);
    ScaleSpan(y, ny, scaleY_, dy, dny);
    if (dnx < 1 || dny < 1) return 0;
    if (target_->fillTile(dx, dy, dnx, dny, pixel) != ilOkay) return -1;
    tile_was_modified(ilTile(dx, dy, 0, dnx, dny, 1));
    return 0;
  }
  const ilType type = cfg != nullptr && cfg->type != ilAnyType ? cfg->type : target_->getDataType();
  const int channels = cfg != nullptr && cfg->nchans > 0 ? cfg->nchans : target_->getCsize();
  const ilPixel value(type, channels, pixel);
  if (value.empty()) return -1;
  if (constImg_.getCoordSpace() != target_->getCoordSpace())
    constImg_.setCoordSpace(target_->getCoordSpace());
  if (value != constImg_.getFill() && constImg_.setFill(value) != ilOkay) return -1;
  return rect_copy(x, y, nx, ny, &constImg_, 0, 0, cfg, 1.0f, 1.0f);
}

int SoftPaintOps::image_proxy(ilImage*, int, int, float, ProxyQualityHint) {
  return 0;
}

int SoftPaintOps::grid_warp_image_proxy(ilImage* img, int dx, int dy, float, ProxyQualityHint) {
  if (img == nullptr) return -1;
  return rect_copy(-dx, -dy, img->getXsize(), img->getYsize(), img, 0, 0, nullptr, 1.0f, 1.0f);
}

int SoftPaintOps::rect_copy(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY,
                            const ilConfig* cfg, float zoomX, float zoomY) {
  if (target_ == nullptr || src == nullptr) return -1;
  int dx, dnx, dy, dny;
  ScaleSpan(x, nx, scaleX_, dx, dnx);
  ScaleSpan(y, ny, scaleY_, dy, dny);
  if (dnx < 1 || dny < 1) return 0;

  bool identityMap = cfg != nullptr && cfg->nchans == 4;
  for (int i = 0; identityMap && i < 4; ++i) identityMap = cfg->imageChannel(i) == i;

  const bool unitScale = scaleX_ == 1.0f && scaleY_ == 1.0f;
  const bool unzoomed = zoomX == 1.0f && zoomY == 1.0f && unitScale;
  const float zx = unzoomed ? 1.0f : zoomX * scaleX_;
  const float zy = unzoomed ? 1.0f : zoomY * scaleY_;

  make_writemask_();
  const int targetChannels = target_->getCsize();
  ilStatus status = ilOkay;
  bool identityColour = true;
  for (int i = 0; i < 4; ++i)
    identityColour = identityColour && channelScale_[i] == 1.0f && channelOffset_[i] == 0.0f;
  if (is_func_(BlendOne, BlendZero) && unzoomed && identityColour) {
    // Straight copy: the image library moves the pixels (sharing pages
    // where it can); channels that are not writable are left out of the map.
    const ilConfig* use = cfg;
    ilConfig masked;
    if (writeMask_ != 0xFFFFFFFFu || identityMap) {
      if (cfg != nullptr) masked = *cfg;
      masked.type = ilUChar;
      const int n = targetChannels < kIlMaxChannels ? targetChannels : kIlMaxChannels;
      int list[kIlMaxChannels];
      for (int i = 0; i < n; ++i) {
        const bool writable = i >= 4 || writable_[i] != 0;
        list[i] = !writable ? -1 : (cfg != nullptr ? cfg->imageChannel(i) : i);
      }
      masked.setChanList(list, n);
      masked.nchans = n;
      use = &masked;
    }
    if (use != nullptr || !CopyRowsIntoMemory(target_, src, dx, dy, dnx, dny, srcX, srcY, status)) {
      status = target_->copyTile(dx, dy, dnx, dny, src, srcX, srcY, use);
    }
  } else if (is_func_(BlendZero, BlendOne)) {
    status = ilOkay;  // the destination stays as it is
  } else {
    const int srcChannels = src->getCsize();
    const bool constant = IsConstantImage(src);
    bool compatible = src->getDataType() == ilUChar && target_->getDataType() == ilUChar &&
                      (srcChannels == 4 || srcChannels == 1) &&
                      (targetChannels == 4 || targetChannels == 1) &&
                      (constant || src->getCoordSpace() == target_->getCoordSpace());
    // Pixels are addressed as packed words: four-channel images must hold
    // their channels together.
    if (compatible && !constant && src->getOrder() != target_->getOrder()) compatible = false;
    if (compatible && ((srcChannels == 4 && !constant && src->getOrder() != ilInterleaved) ||
                       (targetChannels == 4 && target_->getOrder() != ilInterleaved)))
      compatible = false;
    unsigned mask = writeMask_;
    if (compatible && cfg != nullptr) {
      for (int i = 0; i < cfg->nchans && compatible; ++i) {
        const int ch = cfg->imageChannel(i);
        if (ch < 0) {
          if (i < 4) mask &= ~(0xFFu << (8 * (3 - i)));
        } else if (ch != i) {
          compatible = false;
        }
      }
    }
    if (!compatible) {
      brenmark::platform::DiagnosticText(
          "SoftPaintOps::rect_copy unable to blend due to image format incompatibilities\n");
      return -1;
    }
    const int rc = blend_in_place_(dx, dy, dnx, dny, src, srcX, srcY, mask, zx, zy);
    status = rc == 0 ? ilOkay : ilFailed;
  }
  if (status != ilOkay) return -1;
  tile_was_modified(ilTile(dx, dy, 0, dnx, dny, 1));
  return 0;
}
