// GenericFunction and its four radial profile kinds: polynomial, solid,
// spline (Bernstein form) and piecewise linear. A profile maps x in [0, 1],
// the distance from the dab centre to its rim, to a coverage in [0, 1].
#pragma once
#include <brenmark/export.h>

#include <brenmark/resource.h>

// Ownership: a function is a Resource (count 0 when made; each holder takes
// a reference, the last release deletes it). copy() hands out a new function
// with its own count of 0, so a holder that keeps a copy must reference it.
//
// Class identity: every concrete class draws one identifier from a
// process-wide counter the first time an object of it is made, and all its
// objects carry that identifier; equality starts by comparing it, so two
// functions of different classes never compare equal.
class BRENMARK_API GenericFunction : public Resource {
 public:
  ~GenericFunction() override;

  // ---- Virtual operations after the Resource slots, in slot order.
  // f(x): calls evaluate().
  virtual float value(float x) const;
  virtual float evaluate(float x) const = 0;
  // A new function of the same class with the same data (count 0).
  virtual GenericFunction* copy() const = 0;
  // True only for a function of the same class with equal data; false for null.
  virtual bool isEqual(const GenericFunction* other) const = 0;
  virtual bool isNotEqual(const GenericFunction* other) const;
  // The same answer as isNotEqual(), kept as a separate entry point.
  virtual bool differs(const GenericFunction* other) const;

  int ClassIdentifier() const { return classId_; }

 protected:
  explicit GenericFunction(int classId) : classId_(classId) {}
  GenericFunction(const GenericFunction&) = default;
  GenericFunction& operator=(const GenericFunction&) = default;
  // The next identifier of the process-wide class counter (the first is 1).
  static int NextClassIdentifier();

 private:
  int classId_;
};

// c0 + c1 x + ... + c7 x^7 in single precision, evaluated by Horner's rule
// over the coefficients up to the degree (the index of the highest non-zero
// one, -1 when all are 0). f(0) is c0 exactly.
class BRENMARK_API Poly1D : public GenericFunction {
 public:
  static constexpr int kMaxCoefficients = 8;

  // Takes the first `count` coefficients (count clamped to 0..8; null gives
  // none); the rest are 0.
  Poly1D(const float* coefficients, int count);

  float evaluate(float x) const override;
  GenericFunction* copy() const override;
  // Compares all eight coefficients.
  bool isEqual(const GenericFunction* other) const override;

  int degree() const { return degree_; }
  float coefficient(int i) const { return i >= 0 && i < kMaxCoefficients ? c_[i] : 0.0f; }
  static int ClassId();

 private:
  float c_[kMaxCoefficients] = {};
  int degree_ = -1;
};

// A hard disc with a quadratic rim: 1 for x <= h, else 1 - k (x - h)^2 with
// k = 1 / (1 - h)^2, which reaches 0 at x = 1. A hardness of 1 has k = 0, so
// the whole disc is 1.
class BRENMARK_API SolidProfile : public GenericFunction {
 public:
  explicit SolidProfile(float hardness);

  float evaluate(float x) const override;
  GenericFunction* copy() const override;
  // Compares the hardness.
  bool isEqual(const GenericFunction* other) const override;
  virtual float hardness() const;

  float rimFactor() const { return k_; }
  static int ClassId();

 private:
  float h_;
  float k_;
};

// Points (x_i, y_i), at most 31 of them. Shared by the two point-list
// profiles; equality compares the count and every point.
class BRENMARK_API PointProfile : public GenericFunction {
 public:
  static constexpr int kMaxPoints = 31;

  int pointCount() const { return n_; }
  float pointX(int i) const { return i >= 0 && i < n_ ? x_[i] : 0.0f; }
  float pointY(int i) const { return i >= 0 && i < n_ ? y_[i] : 0.0f; }

 protected:
  // `xy` holds `count` (x, y) pairs in order (count clamped to 0..31).
  PointProfile(int classId, const float* xy, int count);
  bool samePoints(const PointProfile& other) const;

  int n_ = 0;
  float x_[kMaxPoints] = {};
  float y_[kMaxPoints] = {};
};

// Bernstein form of degree n over the n y values with an implied last
// control value of 0:
//   f(x) = sum over i < n of C(n, i) x^i (1 - x)^(n - i) y_i
// so f(0) = y_0 and f(1) = 0. The x values are kept but not used.
// Without points f is 0.
class BRENMARK_API SplineProfile : public PointProfile {
 public:
  SplineProfile(const float* xy, int count);

  float evaluate(float x) const override;
  GenericFunction* copy() const override;
  bool isEqual(const GenericFunction* other) const override;
  static int ClassId();

 private:
  float binomial_[kMaxPoints] = {};  // C(n, i)
};

// Linear interpolation between the points: the first segment with
// x_i <= x <= x_(i+1) gives the value; an x no segment holds (below the
// first point, beyond the last) gives the last point's y. A segment of zero
// width gives its left y. Without points f is 0.
class BRENMARK_API LinearProfile : public PointProfile {
 public:
  LinearProfile(const float* xy, int count);

  float evaluate(float x) const override;
  GenericFunction* copy() const override;
  bool isEqual(const GenericFunction* other) const override;
  static int ClassId();
};
