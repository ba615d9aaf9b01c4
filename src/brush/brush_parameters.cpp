// BrushParameters: copying with references on the paint sources, and the
// comparison that decides whether a brush needs new dab images.
#include <brenmark/brush_parameters.h>

#include <brenmark/resource.h>

BrushParameters::BrushParameters(const BrushParameters& other)
    : color(other.color),
      profile(other.profile),
      paintSource_(other.paintSource_),
      secondPaintSource_(other.secondPaintSource_),
      cloneOffsetX(other.cloneOffsetX),
      cloneOffsetY(other.cloneOffsetY),
      clone(other.clone),
      smear(other.smear),
      radius1(other.radius1),
      radius2(other.radius2),
      opacity1(other.opacity1),
      opacity2(other.opacity2),
      markerWetness(other.markerWetness) {
  Resource::ref(paintSource_);
  Resource::ref(secondPaintSource_);
}

BrushParameters& BrushParameters::operator=(const BrushParameters& other) {
  // The setters reference before they release, so self-assignment is safe.
  SetPaintSource(other.paintSource_);
  SetSecondPaintSource(other.secondPaintSource_);
  color = other.color;
  profile = other.profile;
  cloneOffsetX = other.cloneOffsetX;
  cloneOffsetY = other.cloneOffsetY;
  clone = other.clone;
  smear = other.smear;
  radius1 = other.radius1;
  radius2 = other.radius2;
  opacity1 = other.opacity1;
  opacity2 = other.opacity2;
  markerWetness = other.markerWetness;
  return *this;
}

BrushParameters::~BrushParameters() {
  SetPaintSource(nullptr);
  SetSecondPaintSource(nullptr);
}

namespace {

void Replace(Resource*& slot, Resource* source) {
  if (slot == source) return;
  Resource::ref(source);
  Resource* old = slot;
  slot = source;
  Resource::unref(old);
}

}  // namespace

void BrushParameters::SetPaintSource(Resource* source) {
  Replace(paintSource_, source);
}

void BrushParameters::SetSecondPaintSource(Resource* source) {
  Replace(secondPaintSource_, source);
}

bool BrushParameters::BrushShapeIsDifferent(const BrushParameters& other) const {
  const bool same = cloneOffsetX == other.cloneOffsetX && cloneOffsetY == other.cloneOffsetY &&
                    smear == other.smear && clone == other.clone && radius1 == other.radius1 &&
                    radius2 == other.radius2 && profile == other.profile;
  return !same;
}
