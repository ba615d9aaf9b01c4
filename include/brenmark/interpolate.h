// Path interpolators: they turn the pen samples of a stroke into points
// spaced along a path (straight segments, a smoothed path, or an application
// curve), each with the fraction of the current segment it lies at.
#pragma once
#include <brenmark/export.h>

#include <vector>

#include <brenmark/paint_ops.h>
#include <brenmark/resource.h>

struct ag_curve;

// The interface every stroke painter walks. A segment runs from where the
// previous samples left the path to the newest sample; the walk asks either
// for the next point a distance further along, or for the end of the segment.
// Both answer false when the path has nothing more until another sample is
// added. `t`, when not null, receives the fraction of the current segment
// (0 at its start, 1 at the new sample) at the point handed out.
//
// Ownership: a Resource (count 0 when made; the stroke painter that walks it
// holds a reference, the last release deletes it).
class BRENMARK_API Interpolate2D : public Resource {
 public:
  // ---- Virtual operations after the Resource slots, in slot order.
  virtual void AddPoint(const PaintPoint& p) = 0;
  virtual bool EndOfSegment(PaintPoint& out, float* t) = 0;
  virtual bool NextAtDistance(float d, PaintPoint& out, float* t) = 0;
  // Unit direction of travel of the current segment; false when there is none.
  virtual bool Direction(float& dx, float& dy) = 0;
};

// Straight segments between the samples. The first call after the second
// sample hands out the first sample itself (t = 0); later calls step along
// the current segment.
//
// Carry: with it, the part of a segment left over after its last point
// counts towards the next segment, so the spacing runs on across joints (a
// segment of 10 walked in steps of 3 leaves 1, and the next segment's first
// point lies 2 after the joint). Without it each segment starts afresh from
// the last point handed out. The walk keeps double precision so that long
// segments still end after length / d steps.
class BRENMARK_API FltInterpolate2D : public Interpolate2D {
 public:
  explicit FltInterpolate2D(int carry);

  // Non-finite points are ignored.
  void AddPoint(const PaintPoint& p) override;
  bool EndOfSegment(PaintPoint& out, float* t) override;
  // A distance that is not positive gives no point.
  bool NextAtDistance(float d, PaintPoint& out, float* t) override;
  bool Direction(float& dx, float& dy) override;

  int PointCount() const { return count_; }
  bool HasCarry() const { return carry_ != 0; }
  // Path length still ahead of the cursor in the current segment.
  double Remaining() const { return remaining_; }

 private:
  bool TakeFirstPoint(PaintPoint& out, float* t);

  int carry_;
  int count_ = 0;
  bool firstPending_ = false;
  double firstX_ = 0, firstY_ = 0;
  double endX_ = 0, endY_ = 0;        // the newest sample
  double cursorX_ = 0, cursorY_ = 0;  // the last point handed out (or its carried stand-in)
  double dirX_ = 0, dirY_ = 0;
  double length_ = 0;
  double remaining_ = 0;
  double carried_ = 0;
};

// A smoothed path: each sample drives two damped second-order filters (x and
// y) that each produce n sub-points, and the sub-points are walked as
// straight segments by an inner interpolator. For a filter with position q,
// velocity w and acceleration c before a sample p, k = 1 / a and
// T = n (n + 1) / 2, each of the n steps does
//   acc += ((1 - b) ((p - q) k + w) - w - n c) / T;  vel += acc;  pos += vel
// and queues pos. The first sample only places the filters. Fractions of the
// inner walk map back to the sample segment as ((i - 1) + t) / n for the
// i-th sub-point of the newest sample (never below 0).
//
// Ownership: holds one reference on the inner interpolator.
class BRENMARK_API SmoothInterpolate2D : public Interpolate2D {
 public:
  // The paint manager's smoothing: a = 0.9, b = 0.921, n = 6.
  static constexpr float kDefaultA = 0.9f;
  static constexpr float kDefaultB = 0.921f;
  static constexpr int kDefaultSteps = 6;

  // Over a new FltInterpolate2D with carry. An a that is not positive gives
  // k = 1; n is kept within [1, 64].
  SmoothInterpolate2D(float a, float b, int n);
  // Over the given inner interpolator (a null one gives a new carry one).
  SmoothInterpolate2D(float a, float b, int n, Interpolate2D* inner);
  ~SmoothInterpolate2D() override;

  // Non-finite points are ignored.
  void AddPoint(const PaintPoint& p) override;
  bool EndOfSegment(PaintPoint& out, float* t) override;
  bool NextAtDistance(float d, PaintPoint& out, float* t) override;
  bool Direction(float& dx, float& dy) override;

  Interpolate2D* Inner() const { return inner_; }
  // Sub-points not yet handed to the inner interpolator.
  int QueuedCount() const { return static_cast<int>(queue_.size() - read_); }

 private:
  struct Filter {
    float pos = 0, vel = 0, acc = 0;
  };
  // Runs the n steps of one filter towards p, writing the positions.
  void Drive(Filter& f, float p, float* out) const;
  template <class Ask>
  bool Walk(float* t, Ask ask);

  float k_;
  float b_;
  int n_;
  Interpolate2D* inner_;
  bool started_ = false;
  Filter fx_, fy_;
  std::vector<PaintPoint> queue_;
  size_t read_ = 0;        // next queued sub-point to feed
  size_t batchStart_ = 0;  // queue position of the newest sample's first sub-point
  long lastFed_ = -1;      // queue position of the sub-point fed last
};

// Walks an application curve instead of the pen path: every sample is
// projected onto the curve and the segment runs along the curve's parameter
// (arc length) from where the walk stands to the projection; on a closed
// curve a jump of more than half the length goes the short way round. Points
// within 0.1 in x and y of one of the last three handed out are passed over,
// so a pen that doubles back does not pile dabs on the same spot.
//
// Uses the host's curve services (callback members 44-50 of the paint
// manager's record); without them, or for a curve the host cannot copy, the
// interpolator hands out nothing.
//
// Ownership: keeps its own copy of the curve (member 46) and releases it
// with member 44 when destroyed; the caller's curve is not kept.
class BRENMARK_API CurveInterpolate2D : public Interpolate2D {
 public:
  explicit CurveInterpolate2D(ag_curve* curve);
  ~CurveInterpolate2D() override;

  void AddPoint(const PaintPoint& p) override;
  bool EndOfSegment(PaintPoint& out, float* t) override;
  bool NextAtDistance(float d, PaintPoint& out, float* t) override;
  bool Direction(float& dx, float& dy) override;

  bool IsClosed() const { return closed_; }
  double Length() const { return length_; }
  // Curve parameter of the walk, in [0, length].
  double Parameter() const { return cur_; }

 private:
  // Moves the walk to `to` (within the current segment), keeps it in
  // [0, length] and evaluates the curve there; false when the point is one
  // of the recent ones.
  bool StepTo(double to, PaintPoint& out);

  ag_curve* curve_ = nullptr;
  bool closed_ = false;
  double length_ = 0;
  int count_ = 0;
  double cur_ = 0;
  // The segment, unwrapped: on a closed curve either end may lie beyond
  // [0, length] by up to one length.
  double segStart_ = 0, segEnd_ = 0;
  PaintPoint recent_[3];
  int recentNext_ = 0;
};
