// BrushProfile: a brush's radial falloff as the application describes it
// (a standard profile index and a profile function record), the eight
// standard profiles, and the factory that turns a standard profile into a
// GenericFunction for a brush size.
#pragma once
#include <brenmark/export.h>

class GenericFunction;

// A plain value (260 bytes): copying copies everything.
class BRENMARK_API BrushProfile {
 public:
  static constexpr int kStandardCount = 8;

  // A profile function record (256 bytes): the kind, how many coefficients
  // (polynomial, solid) or points (spline, linear) it has, and the values,
  // points stored as (x, y) pairs in order. Unused entries are 0.
  class ProfFunc {
   public:
    enum ProfType : int { Polynomial = 0, Solid = 1, Spline = 2, Linear = 3 };
    static constexpr int kValueCount = 62;
    static constexpr int kMaxPoints = kValueCount / 2;

    ProfFunc() = default;
    // Copies `count` values (count pairs for the point kinds) from `values`.
    // The count is clamped to what the record holds (0..62 values, 0..31
    // points; other kinds count single values) and stored clamped, so the
    // record never claims values it does not have. Null values copy nothing.
    ProfFunc(int count, ProfType type, const float* values);

    // Same count, type and values.
    bool operator==(const ProfFunc& other) const;
    bool operator!=(const ProfFunc& other) const { return !(*this == other); }
    // All 62 values equal.
    bool SameCoeffs(const ProfFunc& other) const;

    int count = 0;
    ProfType type = Polynomial;
    float values[kValueCount] = {};
  };

  BrushProfile() = default;
  BrushProfile(int index, const ProfFunc& func) : index(index), func(func) {}

  // Same index and equal records.
  bool operator==(const BrushProfile& other) const;
  bool operator!=(const BrushProfile& other) const { return !(*this == other); }

  // Writes the eight standard records into table[0..7].
  static void initializeProfileFunctions(ProfFunc* table);

  // The function of standard profile `index` (0..7) for a brush of `size`
  // pixels (the mean of the two brush radii), or null: for an index out of
  // range, a record of an unknown kind, a negative count, or more
  // coefficients (polynomial: 8, solid: 1) or points (31) than the kind
  // takes. The caller gets the function with a count of 0 and references it.
  //
  // A solid profile softens for small brushes: with h0 its hardness,
  //   k = size / 255 * 6 + 2 (h0 <= 0.98) or 8 (h0 > 0.98),
  //   h = h0 * (size / (255 k) + 1 - 1 / k)
  // in double precision with the factor rounded to float first; so size 0
  // halves h0 (k = 2) and size 255 keeps it. A negative or NaN size counts
  // as 0.
  static GenericFunction* NewProfileFunction(int index, float size);

  // The same for any record.
  static GenericFunction* NewFunction(const ProfFunc& func, float size);

  int index = 0;
  ProfFunc func;
};

static_assert(sizeof(BrushProfile::ProfFunc) == 256);
static_assert(sizeof(BrushProfile) == 260);
