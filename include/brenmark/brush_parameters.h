// BrushParameters: the brush record the application hands to the paint
// manager and shapes keep for their strokes.
#pragma once
#include <brenmark/export.h>

#include <brenmark/brush_profile.h>
#include <brenmark/paint_color.h>

class Resource;

// A value record, every field 0 (false, the default colour) when made.
//
// Ownership: the record holds one reference on each non-null paint source.
// The copy constructor and assignment copy every field and take their own
// references; the setters reference the new source before releasing the old
// one; the destructor releases both. So a source handed to a record made
// with count 0 dies with the last record that holds it.
class BRENMARK_API BrushParameters {
 public:
  BrushParameters() = default;
  BrushParameters(const BrushParameters& other);
  BrushParameters& operator=(const BrushParameters& other);
  ~BrushParameters();

  // False exactly when the clone offsets, the smear and clone flags, both
  // radii and the profiles are all equal: a brush that differs needs new
  // dab images.
  bool BrushShapeIsDifferent(const BrushParameters& other) const;

  Resource* PaintSource() const { return paintSource_; }
  Resource* SecondPaintSource() const { return secondPaintSource_; }
  void SetPaintSource(Resource* source);
  void SetSecondPaintSource(Resource* source);

  // Fields in record order.
  PaintColor color;
  BrushProfile profile;

 private:
  Resource* paintSource_ = nullptr;        // the stamp's third paint object
  Resource* secondPaintSource_ = nullptr;  // carried with the record

 public:
  // Source displacement of a clone brush, rounded (x + 0.5 truncated) when used.
  float cloneOffsetX = 0.0f;
  float cloneOffsetY = 0.0f;
  bool clone = false;    // paint from the layer's own image, displaced
  bool smear = false;    // paint from the layer's own image, in place
  float radius1 = 0.0f;  // averaged with radius2 for the profile's size
  float radius2 = 0.0f;  // brush radius in pixels
  float opacity1 = 0.0f;
  float opacity2 = 0.0f;
  float markerWetness = 0.0f;
};
