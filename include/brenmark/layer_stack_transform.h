// LayerStackTransform: the view transform of a layer stack (offsets, scales,
// rotation about a centre) and its mappings between layer-stack and screen
// coordinates.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_types.h>

// A plain value: copying copies every field. Fields 7-12 (inverse scales and
// the rotation's sines and cosines) are derived by RegenMatrix(), which every
// setter of the scales, centre-with-rotation or degree calls; SetOffset,
// SetPivot and SetScaleOffset store without regenerating.
class BRENMARK_API LayerStackTransform {
 public:
  // Whether a mapping applies the scale: always, never, or only while the
  // view is zoomed out (x scale < 1). The engine itself always uses kScale.
  enum ScaleStrategy { kScale = 0, kNoScale = 1, kScaleWhenZoomedOut = 2 };

  LayerStackTransform();
  LayerStackTransform(float xOffset, float yOffset, float xScale, float yScale, float xCenter,
                      float yCenter, float degree);
  // Asks the application for the view's origin and scale (when the handle is
  // not null and the application answers): offsets = -origin, a scale of 0
  // reads as 1. Otherwise the identity.
  explicit LayerStackTransform(void* appView);

  void reset();
  void RegenMatrix();

  void SetOffset(float x, float y);
  void SetScale(float x, float y);
  void SetScaleAndOffset(float x, float y, float s);
  void SetScaleAndOffset(float x, float y, float sx, float sy);
  void SetRotation(float cx, float cy, float degree);
  void SetPivot(float x, float y);
  void SetScaleOffset(float x, float y);

  float GetXOffset() const { return xOffset_; }
  float GetYOffset() const { return yOffset_; }
  float GetScale() const { return xScale_; }
  float GetXScale() const { return xScale_; }
  float GetYScale() const { return yScale_; }
  float GetInvXScale() const { return invXScale_; }
  float GetInvYScale() const { return invYScale_; }
  float GetXCenter() const { return xCenter_; }
  float GetYCenter() const { return yCenter_; }
  float GetDegree() const { return degree_; }
  float GetXScaleOffset() const { return xScaleOffset_; }
  float GetYScaleOffset() const { return yScaleOffset_; }
  void GetScaleAndOffset(float& x, float& y, float& sx, float& sy) const;
  void GetRotation(float& cx, float& cy, float& degree) const;
  void GetPivot(float& x, float& y) const;

  bool ZoomedOut() const { return xScale_ < 1.0f; }
  bool ZoomedIn() const { return xScale_ > 1.0f; }
  bool Zoomed() const { return xScale_ != 1.0f || yScale_ != 1.0f; }

  // Offsets, scales, centre and degree compare exactly; the derived fields
  // and the scale offsets take no part.
  bool operator==(const LayerStackTransform& o) const;

  // Layer-stack to screen coordinates, and back.
  void XformCoords(float& x, float& y, ScaleStrategy strategy = kScale,
                   bool ignoreRotation = false) const;
  void InvXformCoords(float& x, float& y, ScaleStrategy strategy = kScale,
                      bool ignoreRotation = false) const;
  // Tile forms: scale and offset only (no centre, no rotation, the flag is
  // ignored); x, y, nx, ny are rounded to the nearest integer, halves away
  // from zero, saturating at the int range. z and nz are untouched.
  void XformTile(ilTile& tile, ScaleStrategy strategy = kScale, bool ignoreRotation = false) const;
  void InvXformTile(ilTile& tile, ScaleStrategy strategy = kScale,
                    bool ignoreRotation = false) const;

 private:
  bool AppliesScale(ScaleStrategy strategy) const;

  float xOffset_, yOffset_;
  float xScale_, yScale_;
  float xCenter_, yCenter_;
  float degree_;
  float invXScale_, invYScale_;
  float sin_, cos_;
  float invSin_, invCos_;  // sin(-theta), cos(-theta)
  float xScaleOffset_, yScaleOffset_;
};
