// PaintColor: an RGBA colour of four unit floats, with the packed 32-bit
// form of four-channel pixels (r in bits 0-7 ... a in bits 24-31, so the
// bytes run R, G, B, A in memory).
#pragma once
#include <brenmark/export.h>

#include <brenmark/il_pixel.h>

// The stored colour record: four floats, r, g, b, a.
struct BRENMARK_API SIDColor_sr {
  float r, g, b, a;
};

// A plain value; straight (not premultiplied) unless ForcePremult() was
// applied. Every setter clamps each component to [0, 1]; NaN becomes 0.
//
// Bytes and unit floats both have four-argument forms; plain int arguments
// are refused at compile time because PaintColor(1, 0, 0, 1) could mean
// either. Write 1.0f or a byte value of unsigned char type.
class BRENMARK_API PaintColor {
 public:
  PaintColor() = default;
  explicit PaintColor(int packed);
  PaintColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
  PaintColor(float r, float g, float b, float a);
  PaintColor(int, int, int, int) = delete;
  // A one-channel pixel is an alpha over black: unsigned char values count
  // in 255ths like the byte setter, other types are taken as unit values.
  // Any other pixel is read as the bytes R, G, B, A of the packed layout.
  explicit PaintColor(const ilPixel& pixel);

  // Each byte times 0.003921569 (the float nearest 1/255).
  void Set(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
  void Set(unsigned int packed);
  void Set(float r, float g, float b, float a);
  void Set(int, int, int, int) = delete;

  // Each byte is the component times 255 truncated (1.0 -> 255, 0.5 -> 127).
  void Get(unsigned char& r, unsigned char& g, unsigned char& b, unsigned char& a) const;
  void Get(unsigned int& packed) const;
  void Getf(float& r, float& g, float& b, float& a) const;
  void Get(SIDColor_sr& record) const;
  // An unsigned char, four-channel pixel holding the packed bytes.
  ilPixel GetilPixel() const;

  // Treats the colour as straight and premultiplies it when some colour
  // component exceeds alpha by more than 0.002; otherwise it is taken to be
  // premultiplied already and left alone.
  void ForcePremult();

  bool operator==(const PaintColor& o) const;

 private:
  float r_ = 0.0f, g_ = 0.0f, b_ = 0.0f, a_ = 0.0f;
};
