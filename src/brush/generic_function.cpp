// The radial profile functions: polynomial, solid, spline and linear.
#include <brenmark/generic_function.h>

#include <algorithm>

namespace {

int ClampCount(int count, int most) {
  return std::clamp(count, 0, most);
}

}  // namespace

// ---- GenericFunction.

GenericFunction::~GenericFunction() = default;

int GenericFunction::NextClassIdentifier() {
  static int counter = 0;
  return ++counter;
}

float GenericFunction::value(float x) const {
  return evaluate(x);
}

bool GenericFunction::isNotEqual(const GenericFunction* other) const {
  return !isEqual(other);
}

bool GenericFunction::differs(const GenericFunction* other) const {
  return !isEqual(other);
}

// ---- Poly1D.

int Poly1D::ClassId() {
  static const int id = NextClassIdentifier();
  return id;
}

Poly1D::Poly1D(const float* coefficients, int count) : GenericFunction(ClassId()) {
  const int n = coefficients != nullptr ? ClampCount(count, kMaxCoefficients) : 0;
  std::copy(coefficients, coefficients + n, c_);
  for (int i = kMaxCoefficients - 1; i >= 0; --i) {
    if (c_[i] != 0.0f) {
      degree_ = i;
      break;
    }
  }
}

// f(x) = ((c_d x + c_(d-1)) x + ... + c_1) x + c0, all in float.
float Poly1D::evaluate(float x) const {
  if (x == 0.0f || degree_ < 1) return c_[0];
  float r = c_[degree_];
  for (int i = degree_ - 1; i >= 1; --i) r = r * x + c_[i];
  return r * x + c_[0];
}

GenericFunction* Poly1D::copy() const {
  return new Poly1D(*this);
}

bool Poly1D::isEqual(const GenericFunction* other) const {
  if (other == nullptr || other->ClassIdentifier() != ClassIdentifier()) return false;
  const auto* o = static_cast<const Poly1D*>(other);
  return std::equal(c_, c_ + kMaxCoefficients, o->c_);
}

// ---- SolidProfile.

int SolidProfile::ClassId() {
  static const int id = NextClassIdentifier();
  return id;
}

SolidProfile::SolidProfile(float hardness) : GenericFunction(ClassId()), h_(hardness) {
  const float rim = 1.0f - h_;
  k_ = h_ == 1.0f ? 0.0f : 1.0f / (rim * rim);
}

// f(x) = 1 for x <= h, else 1 - k (x - h)^2.
float SolidProfile::evaluate(float x) const {
  if (x <= h_) return 1.0f;
  const float d = x - h_;
  return 1.0f - k_ * d * d;
}

GenericFunction* SolidProfile::copy() const {
  return new SolidProfile(*this);
}

bool SolidProfile::isEqual(const GenericFunction* other) const {
  if (other == nullptr || other->ClassIdentifier() != ClassIdentifier()) return false;
  return static_cast<const SolidProfile*>(other)->h_ == h_;
}

float SolidProfile::hardness() const {
  return h_;
}

// ---- Point profiles.

PointProfile::PointProfile(int classId, const float* xy, int count)
    : GenericFunction(classId), n_(xy != nullptr ? ClampCount(count, kMaxPoints) : 0) {
  for (int i = 0; i < n_; ++i) {
    x_[i] = xy[2 * i];
    y_[i] = xy[2 * i + 1];
  }
}

bool PointProfile::samePoints(const PointProfile& o) const {
  return n_ == o.n_ && std::equal(x_, x_ + n_, o.x_) && std::equal(y_, y_ + n_, o.y_);
}

// ---- SplineProfile.

int SplineProfile::ClassId() {
  static const int id = NextClassIdentifier();
  return id;
}

SplineProfile::SplineProfile(const float* xy, int count) : PointProfile(ClassId(), xy, count) {
  // C(n, i) by the row recurrence C(n, i) = C(n, i - 1) (n - i + 1) / i, exact
  // in 64 bits for n <= 31 (the largest, C(31, 15), is about 3e8).
  long long b = 1;
  for (int i = 0; i < n_; ++i) {
    binomial_[i] = static_cast<float>(b);
    b = b * (n_ - i) / (i + 1);
  }
}

// f(x) = sum over i < n of C(n, i) x^i (1 - x)^(n - i) y_i, in float.
float SplineProfile::evaluate(float x) const {
  const float u = 1.0f - x;
  float sum = 0.0f;
  float xi = 1.0f;  // x^i
  for (int i = 0; i < n_; ++i) {
    float ui = 1.0f;  // (1 - x)^(n - i)
    for (int j = i; j < n_; ++j) ui *= u;
    sum += binomial_[i] * xi * ui * y_[i];
    xi *= x;
  }
  return sum;
}

GenericFunction* SplineProfile::copy() const {
  return new SplineProfile(*this);
}

bool SplineProfile::isEqual(const GenericFunction* other) const {
  if (other == nullptr || other->ClassIdentifier() != ClassIdentifier()) return false;
  return samePoints(*static_cast<const SplineProfile*>(other));
}

// ---- LinearProfile.

int LinearProfile::ClassId() {
  static const int id = NextClassIdentifier();
  return id;
}

LinearProfile::LinearProfile(const float* xy, int count) : PointProfile(ClassId(), xy, count) {}

// On the first segment [x_i, x_(i+1)] holding x:
// f(x) = y_i + (x - x_i) (y_(i+1) - y_i) / (x_(i+1) - x_i).
float LinearProfile::evaluate(float x) const {
  if (n_ == 0) return 0.0f;
  for (int i = 0; i + 1 < n_; ++i) {
    if (x_[i] <= x && x <= x_[i + 1]) {
      const float w = x_[i + 1] - x_[i];
      if (w == 0.0f) return y_[i];
      return y_[i] + (x - x_[i]) * (y_[i + 1] - y_[i]) / w;
    }
  }
  return y_[n_ - 1];
}

GenericFunction* LinearProfile::copy() const {
  return new LinearProfile(*this);
}

bool LinearProfile::isEqual(const GenericFunction* other) const {
  if (other == nullptr || other->ClassIdentifier() != ClassIdentifier()) return false;
  return samePoints(*static_cast<const LinearProfile*>(other));
}
