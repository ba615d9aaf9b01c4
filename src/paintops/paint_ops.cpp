// The painter envelope: forwarding to the letter, the operation and stroke
// counters, and retargeting.
#include "brenmark/paint_ops.h"

#include "brenmark/smart_image.h"
#include "brenmark/soft_paint_ops.h"
#include "imagestore/store_hooks.h"
#include "paintops/soft_paint_ops_stamp.h"

int PaintOps::OperationCount_ = 0;
int PaintOps::StrokeCount_ = 0;
Observable PaintOps::OperationObservable_;
PaintOps* PaintOps::installed_fast_painter_ = nullptr;
PaintOps* PaintOps::our_fast_painter_ = nullptr;

namespace {

bool ProbeOperation() {
  return PaintOps::InOperation() != 0;
}

}  // namespace

PaintOps::PaintOps() = default;

PaintOps::PaintOps(ilImage* target, short makeLetter) : target_(target) {
  if (makeLetter != 0) {
    set_rep_(make_letter_(target), 1);
  } else {
    writable_ = new int[4]{1, 1, 1, 1};
  }
}

PaintOps::~PaintOps() {
  if (installed_fast_painter_ == this) installed_fast_painter_ = nullptr;
  brushClip_ = ilTile(0, 0, 0, 0, 0, 0);
  set_rep_(nullptr, 0);
  delete[] writable_;
  writable_ = nullptr;
}

PaintOps* PaintOps::make_letter_(ilImage* img) const {
  return new SoftPaintOps(img);
}

void PaintOps::set_rep_(PaintOps* letter, int owns) {
  if (rep_ != nullptr && ownsRep_ != 0 && rep_ != letter) delete rep_;
  rep_ = letter;
  ownsRep_ = letter != nullptr ? owns : 0;
}

PaintOps* PaintOps::transform() {
  PaintOps* letter = rep_;
  rep_ = nullptr;
  ownsRep_ = 0;
  return letter;
}

// ---- Forwarding virtual operations.

int PaintOps::set_writable(int r, int g, int b, int a) {
  return rep_ != nullptr ? rep_->set_writable(r, g, b, a) : -1;
}

int PaintOps::set_writable(const int* flags) {
  return rep_ != nullptr ? rep_->set_writable(flags) : -1;
}

int PaintOps::set_stamp(Stamp* stamp) {
  return rep_ != nullptr ? rep_->set_stamp(stamp) : -1;
}

int PaintOps::draw_stamps(PaintPointStream& points, float (*pressure)()) {
  return rep_ != nullptr ? rep_->draw_stamps(points, pressure) : -1;
}

int PaintOps::draw_stamps(const PaintPoint* points, int count, float (*pressure)()) {
  return rep_ != nullptr ? rep_->draw_stamps(points, count, pressure) : -1;
}

void PaintOps::reset() {
  if (rep_ != nullptr) {
    rep_->reset();
    return;
  }
  if (StampServices* services = brenmark::GetStampServices()) services->EmptyStampCache();
}

void PaintOps::set_application_mode(int mode, Layer* /*layer*/) {
  applicationMode_ = mode;
  blend_func(mode == 0 ? BlendOne : BlendZero, BlendOneMinusSrcAlpha);
}

int PaintOps::blend_func(BlendFactor src, BlendFactor dst) {
  return rep_ != nullptr ? rep_->blend_func(src, dst) : -1;
}

int PaintOps::rect_read(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) {
  return rep_ != nullptr ? rep_->rect_read(x, y, nx, ny, buf, cfg) : -1;
}

int PaintOps::rect_write(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) {
  return rep_ != nullptr ? rep_->rect_write(x, y, nx, ny, buf, cfg) : -1;
}

int PaintOps::rect_copy(int x, int y, int nx, int ny, ilImage* src, int srcX, int srcY,
                        const ilConfig* cfg, float zoomX, float zoomY) {
  return rep_ != nullptr ? rep_->rect_copy(x, y, nx, ny, src, srcX, srcY, cfg, zoomX, zoomY) : -1;
}

int PaintOps::image_proxy(ilImage* img, int dx, int dy, float angle, ProxyQualityHint hint) {
  return rep_ != nullptr ? rep_->image_proxy(img, dx, dy, angle, hint) : -1;
}

int PaintOps::grid_warp_image_proxy(ilImage* img, int dx, int dy, float angle,
                                    ProxyQualityHint hint) {
  return rep_ != nullptr ? rep_->grid_warp_image_proxy(img, dx, dy, angle, hint) : -1;
}

ilImage* PaintOps::target_img() const {
  return rep_ != nullptr ? rep_->target_img() : target_;
}

ilTile PaintOps::getUnMaskedBounds() {
  if (rep_ != nullptr) return rep_->getUnMaskedBounds();
  if (target_ == nullptr) return ilTile(0, 0, 0, 0, 0, 1);
  if (ilSIDImage* sid = ilSIDImage::asSidImage(target_)) return sid->getBounds();
  return target_->getDataBox();
}

int PaintOps::keep_read_valid(int keep) {
  return rep_ != nullptr ? rep_->keep_read_valid(keep) : 0;
}

int PaintOps::is_read_valid() const {
  return rep_ != nullptr ? rep_->is_read_valid() : 0;
}

int PaintOps::get_blend_func(BlendFactor& src, BlendFactor& dst) {
  return rep_ != nullptr ? rep_->get_blend_func(src, dst) : -1;
}

int PaintOps::connect_stamps() const {
  return rep_ != nullptr ? rep_->connect_stamps() : 0;
}

int PaintOps::connect_stamps(int a, int b, int c) {
  return rep_ != nullptr ? rep_->connect_stamps(a, b, c) : -1;
}

void PaintOps::BeginOperation() {
  static const bool probe_installed = [] {
    brenmark::imagestore::SetOperationProbe(&ProbeOperation);
    return true;
  }();
  (void)probe_installed;
  ++OperationCount_;
  if (rep_ != nullptr) rep_->BeginOperation();
}

void PaintOps::EndOperation() {
  --OperationCount_;
  if (rep_ != nullptr) {
    rep_->EndOperation();
    return;
  }
  // One end too many: the operation is over for everyone listening.
  if (OperationCount_ < 0) {
    OperationCount_ = 0;
    OperationObservable_.notify();
  }
}

void PaintOps::BeginStroke() {
  ++StrokeCount_;
}

void PaintOps::EndStroke() {
  if (StrokeCount_ > 0) --StrokeCount_;
}

ilImage* PaintOps::dst_copy_img() const {
  return rep_ != nullptr ? rep_->dst_copy_img() : nullptr;
}

void PaintOps::dst_copy_img(ilImage* img) {
  if (rep_ != nullptr) rep_->dst_copy_img(img);
}

void PaintOps::SetMaskBlend(bool on) {
  if (rep_ != nullptr) rep_->SetMaskBlend(on);
}

bool PaintOps::IsMaskBlend() {
  return rep_ != nullptr ? rep_->IsMaskBlend() : false;
}

ilSIDImage* PaintOps::GetMaskedTargetImg(const ilTile& tile) {
  if (rep_ != nullptr) return rep_->GetMaskedTargetImg(tile);
  return ilSIDImage::asSidImage(target_img());
}

const int* PaintOps::get_writable() const {
  return rep_ != nullptr ? rep_->get_writable() : writable_;
}

const int* PaintOps::get_writable(int& numChannels) const {
  if (rep_ != nullptr) return rep_->get_writable(numChannels);
  numChannels = target_ != nullptr ? target_->getCsize() : 0;
  return writable_;
}

void PaintOps::set_scale(float sx, float sy) {
  if (rep_ != nullptr) {
    rep_->set_scale(sx, sy);
    return;
  }
  scaleX_ = sx;
  scaleY_ = sy;
}

void PaintOps::get_scale(float& sx, float& sy) {
  if (rep_ != nullptr) {
    rep_->get_scale(sx, sy);
    return;
  }
  sx = scaleX_;
  sy = scaleY_;
}

Stamp* PaintOps::get_stamp() const {
  return rep_ != nullptr ? rep_->get_stamp() : nullptr;
}

ilImage* PaintOps::src_alpha_img() const {
  return rep_ != nullptr ? rep_->src_alpha_img() : nullptr;
}

void PaintOps::src_alpha_img(ilImage* img) {
  if (rep_ != nullptr) rep_->src_alpha_img(img);
}

int PaintOps::rect_fill(int x, int y, int nx, int ny, void* pixel, const ilConfig* cfg) {
  return rep_ != nullptr ? rep_->rect_fill(x, y, nx, ny, pixel, cfg) : -1;
}

bool PaintOps::IsMarkerBlend() {
  return rep_ != nullptr ? rep_->IsMarkerBlend() : false;
}

void PaintOps::SetMarkerBlend(bool on) {
  if (rep_ != nullptr) rep_->SetMarkerBlend(on);
}

float PaintOps::MarkerWetness() {
  return rep_ != nullptr ? rep_->MarkerWetness() : 0.5f;
}

void PaintOps::SetMarkerWetness(float wetness) {
  if (rep_ != nullptr) rep_->SetMarkerWetness(wetness);
}

namespace {

float Clamp01(float v) {
  // NaN compares false both ways and becomes 0.
  if (v >= 1.0f) return 1.0f;
  return v > 0.0f ? v : 0.0f;
}

}  // namespace

void PaintOps::SetScaleAndOffset(float s0, float s1, float s2, float s3, float o0, float o1,
                                 float o2, float o3) {
  if (rep_ != nullptr) {
    rep_->SetScaleAndOffset(s0, s1, s2, s3, o0, o1, o2, o3);
    return;
  }
  const float scales[4] = {s0, s1, s2, s3};
  const float offsets[4] = {o0, o1, o2, o3};
  packedScale_ = 0;
  packedOffset_ = 0;
  for (int i = 0; i < 4; ++i) {
    channelScale_[i] = Clamp01(scales[i]);
    channelOffset_[i] = Clamp01(offsets[i]);
    packedScale_ |= static_cast<unsigned>(channelScale_[i] * 255.0f) << (8 * i);
    packedOffset_ |= static_cast<unsigned>(channelOffset_[i] * 255.0f) << (8 * i);
  }
}

ilSmartImage* PaintOps::GetLowOrderBitImage() {
  return rep_ != nullptr ? rep_->GetLowOrderBitImage() : nullptr;
}

void PaintOps::SetLowOrderBitImage(ilSmartImage* img) {
  if (rep_ != nullptr) rep_->SetLowOrderBitImage(img);
}

void PaintOps::MarkerInfoCopy(PaintOps* /*to*/) {}

// ---- Retargeting.

void PaintOps::retarget(ilImage* img, bool keepLowBits, bool keepLetter) {
  PaintOps* old = holder_();
  ilSmartImage* low = old->GetLowOrderBitImage();
  if (img == nullptr || target_ == nullptr) keepLowBits = keepLetter = false;
  if (low != nullptr && (!keepLowBits || img->getCsize() != low->getCsize())) {
    old->SetLowOrderBitImage(nullptr);
    low = nullptr;
  }
  if (keepLowBits && keepLetter) {
    for (PaintOps* p = this; p != nullptr; p = p->rep_) p->target_ = img;
    return;
  }

  if (low != nullptr) low->ref();
  PaintOps* letter = make_letter_(img);
  if (old->IsMarkerBlend()) old->MarkerInfoCopy(letter);

  const int channels = img != nullptr ? img->getCsize() : 0;
  if (const int* flags = old->get_writable()) {
    int copied[4];
    for (int i = 0; i < 4; ++i) copied[i] = i < channels ? flags[i] : 1;
    letter->set_writable(copied);
  }
  letter->set_stamp(old->get_stamp());
  BlendFactor src, dst;
  if (old->get_blend_func(src, dst) == 0) letter->blend_func(src, dst);
  letter->SetMarkerBlend(old->IsMarkerBlend());
  letter->SetMaskBlend(old->IsMaskBlend());
  float sx, sy;
  old->get_scale(sx, sy);
  letter->set_scale(sx, sy);
  letter->brushClip_ = old->brushClip_;
  // What was written and announced on the old target is still to be shown.
  letter->modifiedSinceQuery_ = old->modifiedSinceQuery_;
  letter->modifiedSinceReset_ = old->modifiedSinceReset_;
  letter->damage_ = old->damage_;
  if (low != nullptr) {
    letter->SetLowOrderBitImage(low);
    low->unref();
  }
  target_ = img;
  set_rep_(letter, 1);
}

// ---- Dabs.

int PaintOps::draw_stamp(float x, float y, float (*pressure)()) {
  const PaintPoint p(x, y);
  return draw_stamps(&p, 1, pressure);
}

int PaintOps::draw_stamp(const PaintPoint& p, float (*pressure)()) {
  return draw_stamps(&p, 1, pressure);
}

// ---- Brush clipping rectangle.

void PaintOps::SetBrushClippingRect(const ilTile& clip) {
  holder_()->brushClip_ = clip;
}

ilTile PaintOps::GetBrushClippingRect() const {
  return holder_()->brushClip_;
}

// ---- Process-wide state.

int PaintOps::InOperation() {
  return OperationCount_;
}

Observable* PaintOps::GetOperationObservable() {
  return &OperationObservable_;
}

int PaintOps::InStroke() {
  return StrokeCount_;
}
