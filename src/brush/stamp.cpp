// Stamp: settings with their clamps, change announcements and batching,
// opacity in 8-bit and 16-bit brushing, and the paint objects it observes.
#include <brenmark/stamp.h>

#include <algorithm>
#include <cmath>

#include <brenmark/brush_profile.h>
#include <brenmark/generic_function.h>
#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>

#include "brush/stamp_impl.h"

namespace {

bool g_brush16 = false;

float Clamp01(float v) {
  return std::clamp(v, 0.0f, 1.0f);
}

float StampRadius(float r) {
  if (!(r > 0.0f)) return Stamp::kMinRadius;
  return std::min(r, Stamp::kMaxRadius);
}

// A paint object over a constant four-channel 8-bit image of the colour.
ImagePaintObj* ConstantColor(float r, float g, float b, float a) {
  const float in[4] = {r, g, b, a};
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) {
    const float c = std::isnan(in[i]) ? 0.0f : Clamp01(in[i]);
    bytes[i] = static_cast<unsigned char>(c * 255.0f);
  }
  return new ImagePaintObj("stamp colour", new ilConstImg(ilPixel(ilUChar, 4, bytes)));
}

GenericFunction* StandardProfile() {
  return BrushProfile::NewProfileFunction(0, 0.0f);
}

}  // namespace

void Stamp::SetBrush16Bit(bool on) {
  g_brush16 = on;
}

bool Stamp::Brush16Bit() {
  return g_brush16;
}

Stamp::Stamp() {
  brenmark::brush::InstallStampServices();
  profile_ = StandardProfile();
  Resource::ref(profile_);
  ReplaceSource(colorSource_, ConstantColor(0.0f, 0.0f, 0.0f, 1.0f));
  Reevaluate16Bit();
  lastChange_ = 0;
}

Stamp::Stamp(const Stamp& other) : Resource(other), Observable(other), Observer(other) {
  brenmark::brush::InstallStampServices();
  CopySettings(other);
  AdoptSources(other);
}

// Every plain setting; sources, observers and the batch state are the
// callers' business.
void Stamp::CopySettings(const Stamp& other) {
  radius_ = other.radius_;
  quality_ = other.quality_;
  kind_ = other.kind_;
  highQuality_ = other.highQuality_;
  noise_ = other.noise_;
  aspect_ = other.aspect_;
  angle_ = other.angle_;
  std::copy(other.transform_, other.transform_ + 4, transform_);
  offsetX_ = other.offsetX_;
  offsetY_ = other.offsetY_;
  opacity_ = other.opacity_;
  opacity16_ = other.opacity16_;
  use16_ = other.use16_;
}

Stamp::Stamp(float radius, ImagePaintObj* colorSource, int kind, GenericFunction* profile,
             ImagePaintObj* paintSource, float opacity, int quality, float aspect, float angle,
             bool highQuality, bool noise) {
  brenmark::brush::InstallStampServices();
  radius_ = std::isnan(radius) ? kMinRadius : std::clamp(radius, 0.0f, kMaxRadius);
  kind_ = kind;
  profile_ = profile;
  Resource::ref(profile_);
  ReplaceSource(colorSource_, colorSource);
  ReplaceSource(paintSource_, paintSource);
  opacity_ = std::isnan(opacity) ? 1.0f : Clamp01(opacity);
  quality_ = quality;
  aspect_ = std::isnan(aspect) ? 1.0f : std::clamp(aspect, -1.0f, 1.0f);
  angle_ = std::isfinite(angle) ? angle : 0.0f;
  highQuality_ = highQuality;
  noise_ = noise;
  Reevaluate16Bit();
  lastChange_ = 0;
}

Stamp::~Stamp() {
  ReplaceSource(colorSource_, nullptr);
  ReplaceSource(maskSource_, nullptr);
  ReplaceSource(paintSource_, nullptr);
  Resource::unref(profile_);
  profile_ = nullptr;
}

// ---- Announcements.

void Stamp::Announce(int code) {
  if (batchDepth_ > 0) {
    ++pending_;
    return;
  }
  lastChange_ = code;
  notify();
}

void Stamp::BeginChange() {
  ++batchDepth_;
}

void Stamp::EndChange() {
  --batchDepth_;
  if (batchDepth_ < 0) {
    batchDepth_ = 0;  // an end without a begin announces nothing
    return;
  }
  if (batchDepth_ > 0) return;
  pending_ = 0;
  Announce(kEverything);
}

void Stamp::update(Observable* changed) {
  if (changed == nullptr) return;
  // The same object may fill several slots; each slot announces.
  if (colorSource_ != nullptr && changed == static_cast<Observable*>(colorSource_))
    Announce(kColorChanged);
  if (maskSource_ != nullptr && changed == static_cast<Observable*>(maskSource_))
    Announce(kMaskChanged);
  if (paintSource_ != nullptr && changed == static_cast<Observable*>(paintSource_))
    Announce(kPaintSourceChanged);
}

void Stamp::disconnect(Observable* dying) {
  // The stamp holds references on its paint objects, so none dies while
  // held; forget a dying one all the same rather than keep a dangling slot.
  for (ImagePaintObj** slot : {&colorSource_, &maskSource_, &paintSource_}) {
    if (*slot != nullptr && dying == static_cast<Observable*>(*slot)) *slot = nullptr;
  }
}

// ---- Paint objects.

bool Stamp::ReplaceSource(ImagePaintObj*& slot, ImagePaintObj* source) {
  if (slot == source) return false;
  ImagePaintObj* old = slot;
  if (source != nullptr) {
    source->ref();
    source->attach(this);
  }
  slot = source;
  if (old != nullptr) {
    // Attached once per slot it fills: detach one occurrence.
    old->detach(this);
    old->unref();
  }
  return true;
}

void Stamp::AdoptSources(const Stamp& other) {
  if (profile_ != other.profile_) {
    Resource::ref(other.profile_);
    Resource::unref(profile_);
    profile_ = other.profile_;
  }
  ReplaceSource(colorSource_, other.colorSource_);
  ReplaceSource(maskSource_, other.maskSource_);
  ReplaceSource(paintSource_, other.paintSource_);
}

// ---- Setters.

void Stamp::SetRadius(float radius) {
  const float r = StampRadius(radius);
  if (r != radius_) {
    radius_ = r;
    Announce(kRadiusChanged);
  }
  Reevaluate16Bit();
}

void Stamp::SetProfile(GenericFunction* profile) {
  if (profile == profile_) return;
  Resource::ref(profile);
  Resource::unref(profile_);
  profile_ = profile;
  Announce(kProfileChanged);
}

void Stamp::SetColorSource(ImagePaintObj* source) {
  if (ReplaceSource(colorSource_, source)) Announce(kColorChanged);
}

void Stamp::SetMaskSource(ImagePaintObj* source) {
  if (ReplaceSource(maskSource_, source)) Announce(kMaskChanged);
}

void Stamp::SetPaintSource(ImagePaintObj* source) {
  if (ReplaceSource(paintSource_, source)) Announce(kPaintSourceChanged);
}

void Stamp::SetQuality(int quality) {
  if (quality == quality_) return;
  quality_ = quality;
  Announce(kQualityChanged);
}

void Stamp::SetKind(int kind) {
  if (kind == kind_) return;
  kind_ = kind;
  Announce(kKindChanged);
}

void Stamp::SetAspect(float aspect) {
  if (std::isnan(aspect)) return;
  const float a = std::clamp(aspect, -1.0f, 1.0f);
  if (a == aspect_) return;
  aspect_ = a;
  Announce(kAspectChanged);
}

void Stamp::SetAngle(float degrees) {
  if (!std::isfinite(degrees) || degrees == angle_) return;
  angle_ = degrees;
  Announce(kAngleChanged);
}

void Stamp::SetTransform(float m00, float m01, float m10, float m11) {
  const float m[4] = {m00, m01, m10, m11};
  for (float v : m)
    if (!std::isfinite(v)) return;
  std::copy(m, m + 4, transform_);
  Announce(kTransformChanged);
}

void Stamp::GetTransform(float& m00, float& m01, float& m10, float& m11) const {
  m00 = transform_[0];
  m01 = transform_[1];
  m10 = transform_[2];
  m11 = transform_[3];
}

bool Stamp::HasIdentityTransform() const {
  return transform_[0] == 1.0f && transform_[1] == 0.0f && transform_[2] == 0.0f &&
         transform_[3] == 1.0f;
}

void Stamp::SetOffset(int x, int y) {
  if (x == offsetX_ && y == offsetY_) return;
  offsetX_ = x;
  offsetY_ = y;
  Announce(kOffsetChanged);
}

void Stamp::GetOffset(int& x, int& y) const {
  x = offsetX_;
  y = offsetY_;
}

void Stamp::SetOpacity(float opacity) {
  if (std::isnan(opacity)) return;
  const float o = Clamp01(opacity);
  bool changed = false;
  if (g_brush16) {
    changed = opacity16_ != o || opacity_ != 1.0f || !use16_;
    opacity16_ = o;
    opacity_ = 1.0f;
    use16_ = true;
  } else {
    changed = opacity_ != o;
    opacity_ = o;
  }
  if (changed) Announce(kOpacityChanged);
}

void Stamp::SetOpacities(float opacity, float opacity16, bool use16) {
  if (std::isnan(opacity) || std::isnan(opacity16)) return;
  const float o = Clamp01(opacity);
  const float o16 = Clamp01(opacity16);
  if (o == opacity_ && o16 == opacity16_ && use16 == use16_) return;
  opacity_ = o;
  opacity16_ = o16;
  use16_ = use16;
  Announce(kOpacityChanged);
}

void Stamp::Reevaluate16Bit() {
  if (!g_brush16 && use16_) {
    const bool changed = opacity_ != opacity16_;
    opacity_ = opacity16_;
    opacity16_ = 0.0f;
    use16_ = false;
    if (changed) Announce(kOpacityChanged);
  } else if (g_brush16 && !use16_) {
    opacity16_ = opacity_;
    opacity_ = 1.0f;
    use16_ = true;
    Announce(kOpacityChanged);
  }
}

void Stamp::SetColor(float r, float g, float b, float a) {
  if (ReplaceSource(colorSource_, ConstantColor(r, g, b, a))) Announce(kColorChanged);
}

void Stamp::SetMaskColor(float r, float g, float b, float a) {
  if (ReplaceSource(maskSource_, ConstantColor(r, g, b, a))) Announce(kMaskChanged);
}

void Stamp::CopyFrom(const Stamp& other) {
  if (&other == this) return;
  CopySettings(other);
  AdoptSources(other);
  // Re-evaluation may announce an opacity change; the whole-stamp notice
  // below covers it, so it is batched away.
  const int pending = pending_;
  ++batchDepth_;
  Reevaluate16Bit();
  --batchDepth_;
  pending_ = pending;
  Announce(kEverything);
}
