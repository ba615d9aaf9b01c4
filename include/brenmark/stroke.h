// Strokes: the recorded pen samples of one brush stroke, and the stroke
// painters that space dabs along the interpolated path, ramp the stamp's
// radius, opacity, angle and aspect between samples, and (timed variant)
// keep dabbing while the pen rests.
#pragma once
#include <brenmark/export.h>

#include <cstdint>
#include <vector>

#include <brenmark/generic_function.h>
#include <brenmark/paint_ops.h>

class Interpolate2D;
class Stamp;

// One pen sample, 32 bytes. An attribute is valid only when its presence
// bit is set.
struct BRENMARK_API StrokeSample {
  float x;
  float y;
  float radius;
  float opacity;
  float aspect;
  float angle;
  int present;         // Stroke::Attribute bits
  std::int16_t state;  // Stroke::SampleState
  std::int16_t reserved;
};
static_assert(sizeof(StrokeSample) == 32);

// The samples of one stroke, in order. Samples stay until the stroke is
// destroyed; stroke painters remember how far they have read.
//
// Locks keep AddPoint from recording an attribute (shape outlines record
// positions only). The start mark makes the next sample the stroke's first
// (state 1); the end mark makes the last sample its last (state 2).
class BRENMARK_API Stroke {
 public:
  enum Attribute : int { kRadius = 1, kOpacity = 2, kAspect = 4, kAngle = 8 };
  enum SampleState : std::int16_t { kOrdinary = 0, kFirst = 1, kLast = 2 };
  static constexpr int kInitialRoom = 500;
  // Coordinates beyond this are refused: a segment longer than a few million
  // pixels would take millions of dab steps to walk.
  static constexpr float kCoordinateLimit = 1.0e6f;

  Stroke();

  // Appends a sample with the unlocked attributes and answers 1. A position
  // that is not finite or lies beyond kCoordinateLimit is refused (0, the
  // stroke unchanged); a non-finite attribute is recorded as absent.
  int AddPoint(const PaintPoint& p, float radius, float opacity, float aspect, float angle);
  int AddPoint(float x, float y, float radius, float opacity, float aspect, float angle);
  void MarkStart() { startPending_ = true; }
  // Marks the last sample as the stroke's end; nothing for an empty stroke.
  void MarkEnd();

  int Count() const { return static_cast<int>(samples_.size()); }
  // Precondition: 0 <= i < Count().
  const StrokeSample& operator[](int i) const { return samples_[static_cast<size_t>(i)]; }
  bool StartPending() const { return startPending_; }

  void SetLocks(bool radius, bool opacity, bool aspect, bool angle);
  void SetLock(Attribute a, bool locked);
  bool IsLocked(Attribute a) const;

 private:
  std::vector<StrokeSample> samples_;
  bool startPending_ = false;
  int locks_ = 0;  // Attribute bits
};

// Process-wide settings of the stroke painters, set by the paint manager
// when a stroke begins (the spacing scale also by every stamp stroke painter
// made).
struct BRENMARK_API StrokeSettings {
  float spacingJitter = 0.0f;    // > 0: each spacing varies by up to this fraction
  float angleJitter = 0.0f;      // > 0: each dab angle varies by up to this many degrees
  bool followDirection = false;  // turn each dab to the direction of travel
  double spacingScale = 1.0;     // multiplies the spacing percentage
  bool smear = false;            // the brush smears: offset the source against the motion
};

// A stroke painter: reads the stroke's samples and paints them with the
// painter. Holds neither the stroke nor the painter; both must outlive it.
class BRENMARK_API StrokeImpl {
 public:
  StrokeImpl(Stroke* stroke, PaintOps* painter) : stroke_(stroke), painter_(painter) {}
  virtual ~StrokeImpl() = default;
  StrokeImpl(const StrokeImpl&) = delete;
  StrokeImpl& operator=(const StrokeImpl&) = delete;

  // Processes every sample not yet processed; 0, or the result of the first
  // dab that failed (the samples after it wait for the next call).
  virtual int PaintStep() = 0;

  Stroke* GetStroke() const { return stroke_; }
  PaintOps* GetPainter() const { return painter_; }
  int NextIndex() const { return next_; }

 protected:
  Stroke* stroke_;
  PaintOps* painter_;
  int next_ = 0;
};

// Paints a stroke with a stamp: every sample extends the interpolator's
// path, and the painter pulls dab positions from this object (a point
// stream) spaced by the stamp's radius. Between two samples each attribute
// that changes is ramped linearly over the segment fraction t.
//
// Spacing: r = radius (times aspect squared when the aspect is below 1);
// percentage p = 75 up to r = 1.05 (where r is taken as 1.05), falling by
// 2.3746703 per pixel to 30 at r = 20 and 30 beyond; p is multiplied by the
// spacing scale, then halved below r = 4 and scaled by 0.5 + (r - 4) / 32
// up to r = 20; spacing = r p / 100, jittered by up to +-J spacing, and never
// below 0.125. A brush of radius 20 or more at scale 1 places dabs 0.3 r
// apart.
//
// Ownership: holds a reference on the stamp and the interpolator while it
// lives; gives the painter the stamp when made.
class BRENMARK_API StampStrokeImpl : public StrokeImpl, public PaintPointStream {
 public:
  static constexpr float kMinSpacing = 0.125f;

  // A null interpolator gives a painter that draws no dabs.
  StampStrokeImpl(Stroke* stroke, PaintOps* painter, Stamp* stamp, Interpolate2D* interpolator,
                  double spacingScale);
  // Paints with its own copy of `stamp`.
  StampStrokeImpl(Stroke* stroke, PaintOps* painter, const Stamp& stamp,
                  Interpolate2D* interpolator, double spacingScale);
  // Walks straight segments with carry (shape outlines).
  StampStrokeImpl(Stroke* stroke, PaintOps* painter, Stamp* stamp, double spacingScale);
  // Disconnects the painter's dabs, gives the stamp back its base angle when
  // dabs were turned, and releases the stamp and the interpolator.
  ~StampStrokeImpl() override;

  int PaintStep() override;
  // The next dab position (the painter's draw_stamps pulls these).
  bool next(PaintPoint& point) override;

  Stamp* GetStamp() const { return stamp_; }
  Interpolate2D* GetInterpolator() const { return interp_; }
  float Spacing() const { return spacing_; }
  float BaseAngle() const { return baseAngle_; }

  // ---- Process-wide settings.
  static const StrokeSettings& Settings();
  static void SetStrokeSettings(float spacingJitter, float angleJitter, bool followDirection);
  static void SetSmear(bool on);
  static void SetSpacingScale(double scale);
  // The random draws of the stroke code: 15-bit values (0..32767) from one
  // process-wide linear congruential sequence, so a seeded stroke repeats.
  static int Random();
  static void SeedRandom(unsigned seed);

 protected:
  // The spacing for the stamp as it is now (the algorithm in the class
  // comment); draws the spacing jitter when it is on.
  void ComputeSpacing();
  int ProcessSample(int index);

 private:
  enum { kRadiusRamp, kOpacityRamp, kAngleRamp, kAspectRamp, kRampCount };

  void Init(Interpolate2D* interpolator);
  void ReadCurrent();
  // Sets the stamp's attribute from its ramp at t.
  void ApplyRamp(int which, float t);
  // Steps 4-8 of placing a dab: direction, jitter, smear offset. False when
  // the dab is to be skipped (no motion while following the direction).
  bool TurnDab(PaintPoint& p);

  Stamp* stamp_ = nullptr;
  Interpolate2D* interp_ = nullptr;
  int connect_ = 0;
  float current_[kRampCount] = {};
  bool changed_[kRampCount] = {};
  float* tPtr_ = nullptr;  // null while no attribute changes in the segment
  float t_ = 0.001f;
  float spacing_ = 0.0f;
  Poly1D ramps_[kRampCount] = {{nullptr, 0}, {nullptr, 0}, {nullptr, 0}, {nullptr, 0}};
  PaintPoint prev_;
  PaintPoint prev2_;
  float baseAngle_ = 0.0f;
  bool turned_ = false;  // some dab angle was set from direction or jitter
};

// A stamp stroke that keeps dabbing while the pen rests: once no sample has
// moved more than a pixel for the idle delay, a dab timer places one dab per
// tick near the resting point, wandering further the longer it rests.
// Timers are the host's (callback members 8 and 9); both stop when the pen
// moves again and when the painter is destroyed.
class BRENMARK_API TimerStampStrokeImpl : public StampStrokeImpl {
 public:
  static constexpr int kDefaultDabInterval = 10;
  static constexpr int kDefaultIdleDelay = 40;

  TimerStampStrokeImpl(Stroke* stroke, PaintOps* painter, Stamp* stamp, Interpolate2D* interpolator,
                       double spacingScale);
  ~TimerStampStrokeImpl() override;

  int PaintStep() override;

  // Setting either restarts its timer with the new value when it runs.
  void SetDabInterval(int interval);
  void SetIdleDelay(int delay);
  int DabInterval() const { return dabInterval_; }
  int IdleDelay() const { return idleDelay_; }
  int TimedDabCount() const { return timedDabs_; }
  int DabTimer() const { return dabTimer_; }    // -1 when not running
  int IdleTimer() const { return idleTimer_; }  // -1 when not running

 private:
  static void OnIdle(int timerId, void* context);
  static void OnDab(int timerId, void* context);
  void StopTimer(int& id);
  void StartTimer(int& id, int interval, void (*proc)(int, void*));

  int dabInterval_ = kDefaultDabInterval;
  int idleDelay_ = kDefaultIdleDelay;
  bool haveLast_ = false;
  PaintPoint last_;
  int timedDabs_ = 0;
  int dabTimer_ = -1;
  int idleTimer_ = -1;
};
