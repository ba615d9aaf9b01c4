// The painter's dab renderers (colour image and separable coverage) and the
// stamp services through which the painter holds and draws stamps.
#include "brush/stamp_impl.h"

#include <algorithm>
#include <cmath>

#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/masking_paint_ops.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/soft_paint_ops.h>
#include <brenmark/stamp.h>
#include <brenmark/stamp_cache.h>
#include <brenmark/stamp_image.h>

#include "brush/profile_tables.h"

namespace {

// Placement points beyond this are refused: their pixel coordinates would
// not fit the engine's integer rectangles.
constexpr float kLargestPlacement = 1.0e9f;
constexpr int kColourSide = 512;

ilImage* ImageOf(const ImagePaintObj* obj) {
  return obj != nullptr ? obj->image() : nullptr;
}

// The one-channel full-coverage colour every separable renderer gives its
// private stamp copy: one shared object, so that the cache entries of all
// painters agree on it and never regenerate for a colour swap.
ImagePaintObj* CoverageColour() {
  static ImagePaintObj* colour = [] {
    const unsigned char full = 255;
    auto* obj = new ImagePaintObj("dab coverage", new ilConstImg(ilPixel(ilUChar, 1, &full)));
    obj->ref();
    return obj;
  }();
  return colour;
}

class BrushStampServices : public StampServices {
 public:
  void Reference(Stamp* s) override { s->ref(); }
  void Release(Stamp* s) override { s->unref(); }
  int Kind(const Stamp* s) override { return s->GetKind(); }
  bool HighQuality(const Stamp* s) override { return s->IsHighQuality(); }
  bool Is16Bit(const Stamp* s) override { return s->Is16Bit(); }
  float Opacity16(const Stamp* s) override { return s->CurrentOpacity16(); }
  void ResetPlacement(Stamp* s) override { s->SetTransform(1.0f, 0.0f, 0.0f, 1.0f); }
  void EmptyStampCache() override {
    StampImageCache::Shared().Empty();
    brenmark::brush::EmptyProfileTableCache();
  }
  StampImpl* MakeImpl(StampImplKind kind, SoftPaintOps* painter) override {
    if (painter == nullptr) return nullptr;
    if (kind == StampImplKind::kSeparable) return new SepILStampImpl(painter);
    return new ILStampImpl(painter);
  }
};

// The bytes of a constant 8-bit colour image of `channels` channels: its
// fill, which is what reading its one pixel gives, without the generic read
// (the colour is fetched for every dab).
bool ConstantBytes(ilImage* img, int channels, ilPixel& out) {
  if (img->getClassId() != ilConstImgClassId) return false;
  const ilPixel& fill = img->getFill();
  if (fill.getDataType() != ilUChar || fill.nc() != channels) return false;
  out = fill;
  return true;
}

// How far a dab reaches from its centre: the larger half-side of its image
// plus the pixel the placement rounds by.
float StampReach(const Stamp* stamp) {
  const StampGeometry g = ComputeStampGeometry(*stamp);
  return static_cast<float>(std::max(g.originX, g.originY) + 1);
}

}  // namespace

namespace brenmark::brush {

void InstallStampServices() {
  // Never destroyed: painters may release stamps from static destructors.
  static BrushStampServices* const services = [] {
    MaskingPaintOps::SetStampReachQuery(&StampReach);
    return new BrushStampServices();
  }();
  if (GetStampServices() == nullptr) SetStampServices(services);
}

}  // namespace brenmark::brush

// ---- ILStampImpl.

ILStampImpl::ILStampImpl(SoftPaintOps* painter) : painter_(painter) {}

ILStampImpl::~ILStampImpl() {
  DropPrivate_();
  Observe(stamp_, nullptr);
}

void ILStampImpl::Observe(Stamp*& slot, Stamp* stamp) {
  if (slot == stamp) return;
  if (stamp != nullptr) {
    stamp->ref();
    stamp->attach(this);
  }
  Stamp* old = slot;
  slot = stamp;
  if (old != nullptr) {
    old->detach(this);
    old->unref();
  }
}

void ILStampImpl::set_stamp(Stamp* stamp) {
  if (stamp == stamp_) return;
  DropPrivate_();
  Observe(stamp_, stamp);
}

void ILStampImpl::update(Observable* changed) {
  if (stamp_ != nullptr && changed == static_cast<Observable*>(stamp_)) privateStale_ = true;
}

void ILStampImpl::disconnect(Observable* dying) {
  // Stamps are referenced while observed; a dying one is only forgotten.
  if (stamp_ != nullptr && dying == static_cast<Observable*>(stamp_)) {
    stamp_ = nullptr;
    DropPrivate_();
  }
}

void ILStampImpl::DropPrivate_() {
  private_.reset();
  if (view_ != nullptr) view_->unref();
  view_ = nullptr;
  privateStale_ = true;
}

int ILStampImpl::begin_stamps() {
  if (painter_ != nullptr) painter_->get_scale(scaleX_, scaleY_);
  scaleIsOne_ = scaleX_ == 1.0f && scaleY_ == 1.0f ? 1 : 0;
  return 0;
}

void ILStampImpl::Report(const ilTile& place, ilTile& touched) const {
  touched = place;
  if (scaleIsOne_ != 0) return;
  touched.x = static_cast<int>(std::floor(static_cast<float>(place.x) * scaleX_));
  touched.y = static_cast<int>(std::floor(static_cast<float>(place.y) * scaleY_));
  touched.nx = static_cast<int>(std::ceil(static_cast<float>(place.nx) * scaleX_));
  touched.ny = static_cast<int>(std::ceil(static_cast<float>(place.ny) * scaleY_));
}

namespace {

bool Placeable(float x, float y) {
  return std::fabs(x) < kLargestPlacement && std::fabs(y) < kLargestPlacement;  // NaN fails
}

ilTile Placement(const StampGeometry& g, float x, float y) {
  return ilTile(static_cast<int>(std::floor(x)) - g.originX,
                static_cast<int>(std::floor(y)) - g.originY, 0, g.width, g.height, 1);
}

}  // namespace

ILStampImg* ILStampImpl::DabImage(Stamp* stamp, float x, float y, ilTile& place) {
  if (stamp == nullptr || !Placeable(x, y)) return nullptr;
  if (stamp == stamp_ && stamp->GetKind() == Stamp::kImageKind) return PrivateImage_(x, y, place);
  StampCacheEntry* entry =
      StampImageCache::Shared().Lookup(*stamp, x - std::floor(x), y - std::floor(y));
  ILStampImg* img = entry->image();
  if (img->Update() != ilOkay) return nullptr;
  place = Placement(img->Geometry(), x, y);
  return img;
}

ILStampImg* ILStampImpl::PrivateImage_(float x, float y, ilTile& place) {
  const float fx = x - std::floor(x), fy = y - std::floor(y);
  const int px = StampPhase(stamp_->GetRadius(), fx);
  const int py = StampPhase(stamp_->GetRadius(), fy);
  if (private_ == nullptr) {
    private_ = std::make_unique<StampCacheEntry>(*stamp_, px, py);
  } else if (privateStale_) {
    private_->stamp()->CopyFrom(*stamp_);
  }
  privateStale_ = false;
  Stamp* copy = private_->stamp();
  ILStampImg* img = private_->image();
  img->SetPhase(px, py);
  place = Placement(img->Geometry(), x, y);
  // The colour is the stamp's colour image under the dab, displaced by the
  // offset: a window re-pointed for every dab.
  int ox, oy;
  stamp_->GetOffset(ox, oy);
  ImagePaintObj* source = stamp_->GetColorSource();
  if (source == nullptr) return nullptr;
  if (view_ == nullptr) {
    view_ =
        new SubImagePaintObj("dab colour", source, place.x + ox, place.y + oy, place.nx, place.ny);
    view_->ref();
  } else {
    view_->SetWindow(source, place.x + ox, place.y + oy, place.nx, place.ny);
  }
  copy->SetColorSource(view_);
  if (img->Update() != ilOkay) return nullptr;
  return img;
}

int ILStampImpl::draw_stamp(float x, float y, ilTile& touched) {
  if (stamp_ == nullptr || painter_ == nullptr) return -1;
  ilTile place;
  ILStampImg* img = DabImage(stamp_, x, y, place);
  if (img == nullptr) return -1;
  img->ref();  // the next lookup may evict its entry
  const int rc =
      painter_->rect_copy(place.x, place.y, place.nx, place.ny, img, 0, 0, nullptr, 1.0f, 1.0f);
  img->unref();
  if (rc == 0) Report(place, touched);
  return rc;
}

// ---- SepILStampImpl.

SepILStampImpl::SepILStampImpl(SoftPaintOps* painter) : ILStampImpl(painter) {}

SepILStampImpl::~SepILStampImpl() {
  Observe(user_, nullptr);
  if (copy_ != nullptr) copy_->unref();
  if (working_ != nullptr) working_->unref();
}

void SepILStampImpl::set_stamp(Stamp* stamp) {
  if (stamp == user_) return;
  Observe(user_, stamp);
  if (user_ == nullptr) return;
  if (copy_ == nullptr) {
    copy_ = new Stamp(*user_);
    copy_->ref();
  }
  SyncCopy_();
}

void SepILStampImpl::SyncCopy_() {
  copy_->CopyFrom(*user_);
  copy_->SetColorSource(CoverageColour());
  copy_->SetKind(Stamp::kColorKind);
}

void SepILStampImpl::update(Observable* changed) {
  if (user_ == nullptr || changed != static_cast<Observable*>(user_)) return;
  const Stamp& u = *user_;
  switch (u.LastChange()) {
    case Stamp::kRadiusChanged:
      copy_->SetRadius(u.GetRadius());
      copy_->SetOpacities(u.GetOpacity(), u.GetOpacity16(), u.Is16Bit());
      break;
    case Stamp::kProfileChanged:
      copy_->SetProfile(u.GetProfile());
      break;
    case Stamp::kOpacityChanged:
      copy_->SetOpacities(u.GetOpacity(), u.GetOpacity16(), u.Is16Bit());
      break;
    case Stamp::kAspectChanged:
      copy_->SetAspect(u.GetAspect());
      break;
    case Stamp::kAngleChanged:
      copy_->SetAngle(u.GetAngle());
      break;
    case Stamp::kTransformChanged: {
      float m[4];
      u.GetTransform(m[0], m[1], m[2], m[3]);
      copy_->SetTransform(m[0], m[1], m[2], m[3]);
      break;
    }
    case Stamp::kMaskChanged:
      copy_->SetMaskSource(u.GetMaskSource());
      break;
    case Stamp::kPaintSourceChanged:
      copy_->SetPaintSource(u.GetPaintSource());
      break;
    case Stamp::kEverything:
      SyncCopy_();
      break;
    default:
      break;  // colour and kind are read at every dab; quality, offset unused
  }
}

void SepILStampImpl::disconnect(Observable* dying) {
  if (user_ != nullptr && dying == static_cast<Observable*>(user_)) user_ = nullptr;
}

// The 512 x 512 repeat of a constant colour, one per channel count for the
// whole process: its pixels depend on the colour alone, and every dab takes
// it afresh just before blending from it. Painters are made per layer and
// stroke; a repeat of their own cost each a megabyte allocated and filled
// before its first dab, and filled again for every new colour object even
// of the same colour. Held for the life of the process.
ilQVMemoryImg* SepILStampImpl::RepeatedColour(int channels, const ilPixel& value) {
  // A plain array: nothing destroys it at exit, so the repeats stay reachable.
  static ilQVMemoryImg* repeats[kIlMaxChannels + 1] = {};
  if (channels < 1 || channels > kIlMaxChannels) return nullptr;
  ilQVMemoryImg*& repeat = repeats[channels];
  if (repeat == nullptr) {
    repeat = new ilQVMemoryImg(ilSize(kColourSide, kColourSide, 1, channels), ilUChar);
    repeat->ref();
  } else if (repeat->getFill() == value) {
    return repeat;
  }
  repeat->setFill(value);
  repeat->fillTile(0, 0, kColourSide, kColourSide, value.elems());
  return repeat;
}

ilQVMemoryImg* SepILStampImpl::Working_(int channels, int w, int h) {
  const int side = std::max({kColourSide, w, h});
  if (working_ == nullptr || working_->getCsize() != channels || working_->getXsize() < w ||
      working_->getYsize() < h) {
    if (working_ != nullptr) working_->unref();
    working_ = new ilQVMemoryImg(ilSize(side, side, 1, channels), ilUChar);
    working_->ref();
  }
  return working_;
}

ilImage* SepILStampImpl::ColourSource_(const ilTile& place, int& srcX, int& srcY, bool& single) {
  srcX = srcY = 0;
  single = false;
  ilImage* img = ImageOf(user_->GetColorSource());
  if (img == nullptr) return nullptr;
  const int channels = img->getCsize();
  if (user_->GetKind() == Stamp::kImageKind) {
    ilQVMemoryImg* work = Working_(channels, place.nx, place.ny);
    int ox, oy;
    user_->GetOffset(ox, oy);
    if (work->copyTile(0, 0, place.nx, place.ny, img, place.x + ox, place.y + oy) != ilOkay)
      return nullptr;
    return work;
  }
  if (img->getXsize() != 1 || img->getYsize() != 1) return img;
  // A 1 x 1 colour, repeated; its fill covers whatever lies beyond 512.
  ilPixel value(ilUChar, channels);
  if (!ConstantBytes(img, channels, value)) {
    const ilConfig cfg(ilUChar, ilInterleaved, channels);
    if (img->getTile(0, 0, 1, 1, value.elems(), &cfg) != ilOkay) return nullptr;
  }
  single = true;
  return RepeatedColour(channels, value);
}

int SepILStampImpl::draw_stamp(float x, float y, ilTile& touched) {
  if (user_ == nullptr || painter_ == nullptr) return -1;
  copy_->SetNoise(user_->HasNoise());
  ilTile place;
  ILStampImg* coverage = DabImage(copy_, x, y, place);
  if (coverage == nullptr) return -1;
  coverage->ref();  // colour sources below never touch the cache, but be safe
  int srcX = 0, srcY = 0;
  bool single = false;
  ilImage* colour = ColourSource_(place, srcX, srcY, single);
  int rc = -1;
  if (colour != nullptr) {
    const int wasSingle = SoftPaintOps::GetSingleColorStamp();
    SoftPaintOps::SingleColorStamp(single ? 1 : 0);
    BlendFactor src = BlendOne, dst = BlendZero;
    painter_->get_blend_func(src, dst);
    if (src == BlendOne) painter_->blend_func(BlendSrcAlpha, dst);
    ilImage* wasAlpha = painter_->src_alpha_img();
    painter_->src_alpha_img(coverage);
    rc = painter_->rect_copy(place.x, place.y, place.nx, place.ny, colour, srcX, srcY, nullptr,
                             1.0f, 1.0f);
    painter_->src_alpha_img(wasAlpha);
    painter_->blend_func(src, dst);
    SoftPaintOps::SingleColorStamp(wasSingle);
  }
  coverage->unref();
  if (rc == 0) Report(place, touched);
  return rc;
}
