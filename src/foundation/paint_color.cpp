// Colour conversions.
#include "brenmark/paint_color.h"

namespace {

constexpr float kByteToUnit = 0.003921569f;

// Below 0, and NaN, give 0; above 1 gives 1.
float ClampUnit(float v) {
  if (!(v >= 0.0f)) return 0.0f;
  return v > 1.0f ? 1.0f : v;
}

// Components are in [0, 1], so the product lies in [0, 255].
unsigned char UnitToByte(float v) {
  return static_cast<unsigned char>(v * 255.0);
}

}  // namespace

PaintColor::PaintColor(int packed) {
  Set(static_cast<unsigned int>(packed));
}

PaintColor::PaintColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  Set(r, g, b, a);
}

PaintColor::PaintColor(float r, float g, float b, float a) {
  Set(r, g, b, a);
}

// A one-channel byte pixel is a mask value in 255ths, the same scale as the
// colour bytes; taking the raw value as the alpha would make every value
// above 0 opaque.
PaintColor::PaintColor(const ilPixel& pixel) {
  if (pixel.nc() == 1) {
    float alpha = static_cast<float>(pixel.getElem(0));
    if (pixel.getDataType() == ilUChar) alpha *= kByteToUnit;
    Set(0.0f, 0.0f, 0.0f, alpha);
    return;
  }
  // The pixel's storage is always at least four bytes; channels a smaller
  // pixel lacks read as 0.
  const unsigned char* bytes = static_cast<const unsigned char*>(pixel.elems());
  Set(bytes[0], bytes[1], bytes[2], bytes[3]);
}

void PaintColor::Set(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  Set(r * kByteToUnit, g * kByteToUnit, b * kByteToUnit, a * kByteToUnit);
}

void PaintColor::Set(unsigned int packed) {
  Set(static_cast<unsigned char>(packed), static_cast<unsigned char>(packed >> 8),
      static_cast<unsigned char>(packed >> 16), static_cast<unsigned char>(packed >> 24));
}

void PaintColor::Set(float r, float g, float b, float a) {
  r_ = ClampUnit(r);
  g_ = ClampUnit(g);
  b_ = ClampUnit(b);
  a_ = ClampUnit(a);
}

void PaintColor::Get(unsigned char& r, unsigned char& g, unsigned char& b, unsigned char& a) const {
  r = UnitToByte(r_);
  g = UnitToByte(g_);
  b = UnitToByte(b_);
  a = UnitToByte(a_);
}

void PaintColor::Get(unsigned int& packed) const {
  unsigned char r, g, b, a;
  Get(r, g, b, a);
  packed = static_cast<unsigned int>(r) | static_cast<unsigned int>(g) << 8 |
           static_cast<unsigned int>(b) << 16 | static_cast<unsigned int>(a) << 24;
}

void PaintColor::Getf(float& r, float& g, float& b, float& a) const {
  r = r_;
  g = g_;
  b = b_;
  a = a_;
}

void PaintColor::Get(SIDColor_sr& record) const {
  record.r = r_;
  record.g = g_;
  record.b = b_;
  record.a = a_;
}

ilPixel PaintColor::GetilPixel() const {
  unsigned char bytes[4];
  Get(bytes[0], bytes[1], bytes[2], bytes[3]);
  return ilPixel(ilUChar, 4, bytes);
}

void PaintColor::ForcePremult() {
  const float limit = a_ + 0.002f;
  if (r_ > limit || g_ > limit || b_ > limit) {
    r_ *= a_;
    g_ *= a_;
    b_ *= a_;
  }
}

bool PaintColor::operator==(const PaintColor& o) const {
  return r_ == o.r_ && g_ == o.g_ && b_ == o.b_ && a_ == o.a_;
}
