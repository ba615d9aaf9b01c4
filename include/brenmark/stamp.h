// Stamp: the description of one dab of the brush (radius, profile, opacity,
// aspect, angle, placement transform, colour source and flags), with change
// announcements that let dab images and renderers recompute only what a
// change touches.
#pragma once
#include <brenmark/export.h>

#include <brenmark/observable.h>
#include <brenmark/resource.h>

class GenericFunction;
class ImagePaintObj;

// Ownership: a stamp is a Resource (count 0 when made; the brush, a painter
// while the stamp is set, and each dab-image cache entry hold references).
// It holds one reference on its profile and on each of its three paint
// objects, and observes the paint objects; replacing one references the new
// object before releasing the old. A copy references the same profile and
// paint objects and observes them itself; it starts with no observers of its
// own, no batch and last change 0.
//
// Change announcements: a setter that changes something announces its change
// code (ChangeCode below). Announcing outside a batch stores the code as the
// last change and notifies the observers, who read LastChange() to decide
// what to recompute; inside a BeginChange()/EndChange() batch the change is
// only counted, and the outermost EndChange() announces kEverything once.
//
// Values from outside are clamped (radius to (0, 255], opacities to [0, 1],
// aspect to [-1, 1]); NaN arguments and non-finite angles and transforms are
// refused and change nothing.
class BRENMARK_API Stamp : public Resource, public Observable, public Observer {
 public:
  enum ChangeCode : int {
    kRadiusChanged = 1,
    kProfileChanged = 2,
    kColorChanged = 3,
    kMaskChanged = 4,
    kPaintSourceChanged = 5,
    kQualityChanged = 6,
    kKindChanged = 7,
    kOpacityChanged = 8,
    kAspectChanged = 9,
    kAngleChanged = 10,
    kTransformChanged = 11,
    kOffsetChanged = 12,
    kEverything = 13,
  };
  // Kinds: the dab's colour comes from the colour source (kColorKind) or from
  // the image under the dab, displaced by the offset (kImageKind: clone and
  // smear brushes).
  static constexpr int kColorKind = 0;
  static constexpr int kImageKind = 2;
  static constexpr float kMaxRadius = 255.0f;
  static constexpr float kMinRadius = 0.01f;

  // Radius 5, the standard polynomial profile, opaque black colour, opacity
  // 1, aspect 1, angle 0, identity transform, high quality, no noise,
  // quality word 40; 16-bit mode as the process-wide switch says.
  Stamp();
  Stamp(const Stamp& other);
  // Explicit values: radius clamped to [0, 255], opacity to [0, 1] and
  // aspect to [-1, 1]; identity transform; then 16-bit mode is re-evaluated.
  // A null colour source gives the stamp no colour (its dabs draw nothing).
  Stamp(float radius, ImagePaintObj* colorSource, int kind, GenericFunction* profile,
        ImagePaintObj* paintSource, float opacity, int quality, float aspect, float angle,
        bool highQuality, bool noise);
  Stamp& operator=(const Stamp&) = delete;
  ~Stamp() override;

  // ---- Virtual operations after the Resource slots.
  virtual void BeginChange();
  // Ends a batch; the outermost end announces kEverything. An end without a
  // begin announces nothing and leaves the depth at 0.
  virtual void EndChange();

  // ---- Setters (announce their code when the value changes).
  // <= 0 (or NaN) gives 0.01, above 255 gives 255; then 16-bit mode is
  // re-evaluated.
  void SetRadius(float radius);
  void SetProfile(GenericFunction* profile);
  void SetColorSource(ImagePaintObj* source);
  void SetMaskSource(ImagePaintObj* source);
  void SetPaintSource(ImagePaintObj* source);
  void SetQuality(int quality);
  void SetKind(int kind);
  void SetAspect(float aspect);
  void SetAngle(float degrees);
  // Row-major 2 x 2 matrix; always announces kTransformChanged.
  void SetTransform(float m00, float m01, float m10, float m11);
  void SetOffset(int x, int y);
  // In 16-bit brushing the opacity goes to the 16-bit opacity (the dab
  // images then stay at full opacity and the blend applies it); otherwise it
  // is the opacity baked into the dab images.
  void SetOpacity(float opacity);
  void SetOpacities(float opacity, float opacity16, bool use16);
  // Replace the colour (mask) source with a new paint object over a
  // constant four-channel 8-bit image of the colour: each component clamped
  // to [0, 1], times 255, truncated, bytes R, G, B, A in memory. Announce
  // kColorChanged (kMaskChanged).
  void SetColor(float r, float g, float b, float a);
  void SetMaskColor(float r, float g, float b, float a);
  // Flags without a change code of their own: they announce nothing.
  void SetHighQuality(bool on) { highQuality_ = on; }
  void SetNoise(bool on) { noise_ = on; }

  // Copies every setting of `other` (not its observers or batch state),
  // re-evaluates 16-bit mode and announces kEverything.
  void CopyFrom(const Stamp& other);

  // ---- Accessors.
  float GetRadius() const { return radius_; }
  GenericFunction* GetProfile() const { return profile_; }
  ImagePaintObj* GetPaintSource() const { return paintSource_; }
  int GetQuality() const { return quality_; }
  ImagePaintObj* GetColorSource() const { return colorSource_; }
  ImagePaintObj* GetMaskSource() const { return maskSource_; }
  int GetKind() const { return kind_; }
  bool IsHighQuality() const { return highQuality_; }
  bool HasNoise() const { return noise_; }
  float GetAspect() const { return aspect_; }
  float GetAngle() const { return angle_; }
  void GetTransform(float& m00, float& m01, float& m10, float& m11) const;
  bool HasIdentityTransform() const;
  void GetOffset(int& x, int& y) const;
  float GetOpacity() const { return opacity_; }
  float GetOpacity16() const { return opacity16_; }
  bool Is16Bit() const { return use16_; }
  // The opacity the 16-bit blend applies: the 16-bit opacity while the
  // 16-bit flag is set, else the opacity.
  float CurrentOpacity16() const { return use16_ ? opacity16_ : opacity_; }
  int LastChange() const { return lastChange_; }
  int BatchDepth() const { return batchDepth_; }
  int PendingChanges() const { return pending_; }

  // Observer: a change of one of the paint objects is announced as
  // kColorChanged, kMaskChanged or kPaintSourceChanged.
  void update(Observable* changed) override;
  void disconnect(Observable* dying) override;

  // The process-wide 16-bit brush switch (the paint manager sets it). Stamps
  // follow it when their radius is set, when made and when copied into.
  static void SetBrush16Bit(bool on);
  static bool Brush16Bit();

 private:
  void Announce(int code);
  void Reevaluate16Bit();
  // Replaces a paint-object slot (reference and observation); false when
  // the object is the one already held.
  bool ReplaceSource(ImagePaintObj*& slot, ImagePaintObj* source);
  void CopySettings(const Stamp& other);
  void AdoptSources(const Stamp& other);

  float radius_ = 5.0f;
  GenericFunction* profile_ = nullptr;
  ImagePaintObj* paintSource_ = nullptr;
  int quality_ = 40;
  ImagePaintObj* colorSource_ = nullptr;
  ImagePaintObj* maskSource_ = nullptr;
  int kind_ = kColorKind;
  bool highQuality_ = true;
  bool noise_ = false;
  float aspect_ = 1.0f;
  float angle_ = 0.0f;
  float transform_[4] = {1.0f, 0.0f, 0.0f, 1.0f};
  int offsetX_ = 0;
  int offsetY_ = 0;
  int batchDepth_ = 0;
  int pending_ = 0;
  float opacity_ = 1.0f;
  float opacity16_ = 1.0f;
  bool use16_ = false;
  int lastChange_ = 0;
};
