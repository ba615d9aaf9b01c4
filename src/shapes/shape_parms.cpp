// Shape parameters: setters with their dirty-flag rules, the comparison
// that decides whether masks must be rebuilt, and mask inversion.
#include "brenmark/shape_parms.h"

#include "brenmark/il.h"
#include "brenmark/smart_image.h"
#include "manager/debug_selector.h"

namespace {

// Selector under which freshly rendered masks are shrunk before inversion.
constexpr int kShapeMaskSelector = 8220;
constexpr int kPage = 128;

bool OffsetDiffers(const ShapeParms::Offset& a, const ShapeParms::Offset& b) {
  return a.x != b.x || a.y != b.y;
}

int FloorToPage(int v) {
  return v >= 0 ? v / kPage * kPage : -((-v + kPage - 1) / kPage) * kPage;
}

}  // namespace

// ---- ShapeParms

ShapeParms::ShapeParms() : ShapeParms("ShapeParms") {}

ShapeParms::ShapeParms(const char* name) : IdList(name) {
  SetID("ShapeParms");
  ShapeParms::Initialize();
}

void ShapeParms::Initialize() {
  fillOffset_ = Offset(0.0f, 0.0f);
  fillOpacity_ = 1.0f;
  strokeOffset_ = Offset(0.0f, 0.0f);
  strokeOpacity_ = 1.0f;
  stampAspect_ = 1.0f;
  stampRotation_ = 0.0f;
  stampSpacing_ = 1.0f;
  brush_ = BrushParameters();
  brush_.profile.index = 4;
  brush_.radius1 = brush_.radius2 = 4.0f;
  brush_.opacity1 = brush_.opacity2 = 1.0f;
  fillOnTop_ = false;
  filling_ = true;
  stroking_ = true;
  useImageBounds_ = false;
  imageBounds_ = ilTile();
  parmsDirty_ = true;
  maskDirty_ = true;
}

void ShapeParms::PostProcessShapeMask(ilSmartImage*) {}

#define BRENMARK_MASK_SETTER(Name, field, Type) \
  void ShapeParms::Name(Type v) {               \
    if (field == v) return;                     \
    field = v;                                  \
    SetMaskDirty();                             \
  }
BRENMARK_MASK_SETTER(SetFillOpacity, fillOpacity_, float)
BRENMARK_MASK_SETTER(SetStrokeOpacity, strokeOpacity_, float)
BRENMARK_MASK_SETTER(SetStampAspect, stampAspect_, float)
BRENMARK_MASK_SETTER(SetStampRotation, stampRotation_, float)
BRENMARK_MASK_SETTER(SetStampSpacing, stampSpacing_, float)
BRENMARK_MASK_SETTER(DoFill, filling_, bool)
BRENMARK_MASK_SETTER(DoStroke, stroking_, bool)
BRENMARK_MASK_SETTER(SetUseImageBnd, useImageBounds_, bool)
#undef BRENMARK_MASK_SETTER

void ShapeParms::SetFillTextureOffset(const Offset& o) {
  if (!OffsetDiffers(o, fillOffset_)) return;
  fillOffset_ = o;
  SetMaskDirty();
}

void ShapeParms::SetStrokeTextureOffset(const Offset& o) {
  if (!OffsetDiffers(o, strokeOffset_)) return;
  strokeOffset_ = o;
  SetMaskDirty();
}

void ShapeParms::SetImageBnd(const ilTile& t) {
  const bool differs = t.x != imageBounds_.x || t.y != imageBounds_.y || t.nx != imageBounds_.nx ||
                       t.ny != imageBounds_.ny;
  imageBounds_ = t;
  if (differs) SetMaskDirty();
}

void ShapeParms::SetBrushParms(const BrushParameters& b) {
  if (brush_.BrushShapeIsDifferent(b)) SetMaskDirty();
  brush_ = b;
}

void ShapeParms::SetFillOnTop(bool on) {
  if (fillOnTop_ == on) return;
  fillOnTop_ = on;
  SetParmsDirty();
}

bool ShapeParms::ShapeIsDifferent(const ShapeParms* o) const {
  if (!o) return false;
  if (filling_ != o->filling_ || stroking_ != o->stroking_) return true;
  if (filling_ && (fillOpacity_ != o->fillOpacity_ || OffsetDiffers(fillOffset_, o->fillOffset_))) {
    return true;
  }
  if (stroking_ &&
      (strokeOpacity_ != o->strokeOpacity_ || OffsetDiffers(strokeOffset_, o->strokeOffset_) ||
       stampAspect_ != o->stampAspect_ || stampRotation_ != o->stampRotation_ ||
       brush_.BrushShapeIsDifferent(o->brush_))) {
    return true;
  }
  return false;
}

// ---- ShapeImageParms

ShapeImageParms::ShapeImageParms() : ShapeImageParms("ShapeImageParms") {}

ShapeImageParms::ShapeImageParms(const char* name) : ShapeParms(name) {
  SetID("ShapeImageParms");
  ShapeImageParms::Initialize();
}

ShapeImageParms::~ShapeImageParms() {
  fill_.ClearAll();
  stroke_.ClearAll();
}

void ShapeImageParms::Initialize() {
  ShapeParms::Initialize();
  fill_.SetGeneratorType(ImageGeneratorSolid::kTypeName);
  stroke_.SetGeneratorType(ImageGeneratorSolid::kTypeName);
}

bool ShapeImageParms::IsParmsDirty() const {
  return fill_.GetImageDirty() || stroke_.GetImageDirty() || ShapeParms::IsParmsDirty();
}

bool ShapeImageParms::ShapeIsDifferent(const ShapeParms* other) const {
  return other && ShapeParms::ShapeIsDifferent(other);
}

// ---- ShapeMaskParms

ShapeMaskParms::ShapeMaskParms() : ShapeMaskParms("ShapeMaskParms") {}

ShapeMaskParms::ShapeMaskParms(const char* name) : ShapeImageParms(name) {
  SetID("ShapeMaskParms");
}

void ShapeMaskParms::SetInverse(bool on) {
  if (inverse_ == on) return;
  inverse_ = on;
  SetMaskDirty();
}

void ShapeMaskParms::PostProcessShapeMask(ilSmartImage* mask) {
  if (!mask) return;
  if (brenmark::DebugSelectorIs(kShapeMaskSelector)) mask->ForceShrinkAttempt(false);
  if (!inverse_) return;
  InvertImage(mask);
  // The inverted mask covers everything outside the shape; its bounds reach
  // over the area the shape is clipped to, so painting through it covers
  // that area.
  if (!GetImageBnd().empty()) mask->AddToBounds_(GetImageBnd());
}

void ShapeMaskParms::InvertImage(ilSIDImage* img) {
  if (!img) return;
  ilSmartImage* smart = ilSmartImage::As_ilSmartImage(img);
  const bool shrink = smart && brenmark::DebugSelectorIs(kShapeMaskSelector);
  if (shrink) smart->ForceShrinkAttempt(false);
  const ilTile b = img->getBounds();
  if (!b.empty()) {
    // Whole pages, so that no page keeps an un-inverted part outside the
    // bounds that the flipped fill value would then expose.
    const int x0 = FloorToPage(b.x), y0 = FloorToPage(b.y);
    const int x1 = FloorToPage(b.x + b.nx + kPage - 1), y1 = FloorToPage(b.y + b.ny + kPage - 1);
    PaintOps* painter = new PaintOps(img, 1);
    painter->ref();
    painter->blend_func(BlendOneMinusDstAlpha, BlendZero);
    unsigned char all[4] = {255, 255, 255, 255};
    painter->rect_fill(x0, y0, x1 - x0, y1 - y0, all, nullptr);
    painter->unref();
    if (smart) smart->AddToBounds_(ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1));
  }
  ilPixel fill = img->getFill();
  fill.setElem(fill.getElem(0) == 0.0 ? 255.0 : 0.0, 0);
  img->setFill(fill);
  if (shrink) smart->ForceShrinkAttempt(false);
}
