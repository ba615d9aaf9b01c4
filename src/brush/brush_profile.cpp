// BrushProfile: profile function records, the standard profiles and the
// factory that makes their functions.
#include <brenmark/brush_profile.h>

#include <algorithm>
#include <cmath>

#include <brenmark/generic_function.h>

using ProfFunc = BrushProfile::ProfFunc;

namespace {

// Values one record of the kind holds: pairs for the point kinds.
int ValuesPerItem(ProfFunc::ProfType type) {
  return type == ProfFunc::Spline || type == ProfFunc::Linear ? 2 : 1;
}

const ProfFunc* StandardProfiles() {
  static const struct Table {
    ProfFunc records[BrushProfile::kStandardCount];
    Table() { BrushProfile::initializeProfileFunctions(records); }
  } table;
  return table.records;
}

}  // namespace

ProfFunc::ProfFunc(int count, ProfType type, const float* values)
    : count(std::clamp(count, 0, kValueCount / ValuesPerItem(type))), type(type) {
  if (values != nullptr)
    std::copy(values, values + this->count * ValuesPerItem(type), this->values);
}

bool ProfFunc::operator==(const ProfFunc& other) const {
  return count == other.count && type == other.type && SameCoeffs(other);
}

bool ProfFunc::SameCoeffs(const ProfFunc& other) const {
  return std::equal(values, values + kValueCount, other.values);
}

bool BrushProfile::operator==(const BrushProfile& other) const {
  return index == other.index && func == other.func;
}

void BrushProfile::initializeProfileFunctions(ProfFunc* table) {
  static const float kPoly[] = {1.0f, 0.0f, 1.42525f, -7.01f, 4.587f};
  static const float kSpline[] = {0.0f, 1.0f,      0.2f, 0.786628f, 0.4f, 0.382893f,
                                  0.6f, 0.115325f, 0.8f, 0.021494f, 1.0f, 0.002479f};
  static const float kSolid[] = {0.9f, 0.95f, 0.99f};
  static const float kLinear5[] = {0.0f,      1.0f,     0.115306f, 0.88608f, 0.181868f, 0.49504f,
                                   0.3f,      1.0f,     0.381546f, 0.50336f, 0.498026f, 0.73632f,
                                   0.614506f, 0.50336f, 0.681066f, 0.8528f,  0.797546f, 0.50336f,
                                   0.897386f, 0.75296f, 1.0f,      0.0f};
  static const float kLinear6[] = {0.0f,      0.0416f,  0.115306f, 0.88608f, 0.198508f, 0.0f,
                                   0.3f,      1.0f,     0.398186f, 0.0f,     0.498026f, 0.73632f,
                                   0.614506f, 0.0416f,  0.681066f, 0.8528f,  0.814186f, 0.0f,
                                   0.897386f, 0.75296f, 1.0f,      0.0f};
  static const float kLinear7[] = {0.0f, 0.0f, 0.1f, 1.0f, 0.2f, 0.0f, 0.3f, 1.0f,
                                   0.4f, 0.0f, 0.5f, 1.0f, 0.6f, 0.0f, 0.7f, 1.0f,
                                   0.8f, 0.0f, 0.9f, 1.0f, 1.0f, 0.0f};
  table[0] = ProfFunc(5, ProfFunc::Polynomial, kPoly);
  table[1] = ProfFunc(6, ProfFunc::Spline, kSpline);
  for (int i = 0; i < 3; ++i) table[2 + i] = ProfFunc(1, ProfFunc::Solid, &kSolid[i]);
  table[5] = ProfFunc(11, ProfFunc::Linear, kLinear5);
  table[6] = ProfFunc(11, ProfFunc::Linear, kLinear6);
  table[7] = ProfFunc(11, ProfFunc::Linear, kLinear7);
}

GenericFunction* BrushProfile::NewProfileFunction(int index, float size) {
  if (index < 0 || index >= kStandardCount) return nullptr;
  return NewFunction(StandardProfiles()[index], size);
}

GenericFunction* BrushProfile::NewFunction(const ProfFunc& func, float size) {
  if (func.count < 0) return nullptr;
  switch (func.type) {
    case ProfFunc::Polynomial:
      if (func.count >= 9) return nullptr;
      return new Poly1D(func.values, func.count);
    case ProfFunc::Solid: {
      if (func.count >= 2) return nullptr;
      const float h0 = func.values[0];
      const double s = std::isfinite(size) && size > 0.0f ? size : 0.0;
      // h0 is compared as the float it is, so a hardness entered as 0.98
      // stays on the softening side.
      const double k = h0 <= 0.98f ? s / 255.0 * 6.0 + 2.0 : 8.0;
      const float factor = static_cast<float>(s / (255.0 * k) + 1.0 - 1.0 / k);
      return new SolidProfile(static_cast<float>(static_cast<double>(h0) * factor));
    }
    case ProfFunc::Spline:
      if (func.count >= 32) return nullptr;
      return new SplineProfile(func.values, func.count);
    case ProfFunc::Linear:
      if (func.count >= 32) return nullptr;
      return new LinearProfile(func.values, func.count);
  }
  return nullptr;
}
