// Sharpen and blur: the square convolution kernel (an unsharp mask made from
// sharpness, radius and sigma, or any coefficients a caller gives) and the
// in-memory image that filters its own pixels with it.
#pragma once
#include <brenmark/export.h>

#include <brenmark/qv_memory_img.h>

// Class identifier answered by ilConvolutionImg::getClassId().
constexpr int ilConvolutionImgClassId = ilFirstUserClassId + 12;

// ConvolutionKernel: size x size float coefficients, row-major, plus a
// fixed-point copy (coefficients x 2048) when every coefficient lies
// strictly inside +-32767/2048.
//
// Generated kernels are identity + sharpness x (identity - G), G the
// normalised Gaussian of sigma x radius over a (2 trunc(radius) + 1)-square:
// sharpness -1 is a pure blur (which Convolve computes by a separable
// four-box approximation instead), 0 the identity, above 0 sharpening.
//
// The fixed kernel rounds each coefficient to the nearest 1/2048; when the
// float kernel sums to 1 (within one unit) the centre absorbs the rounding
// so that the fixed kernel sums to exactly 2048 and flat areas stay flat.
//
// Value semantics: copies own their coefficients.
class BRENMARK_API ConvolutionKernel {
 public:
  // (0.5, 1.5, 1/3).
  ConvolutionKernel();
  // Radius below 0 becomes 0, sigma below 0.00001 becomes 0.00001.
  ConvolutionKernel(float sharpness, float radius, float sigma);
  // A copy of size x size values; not generated, default parameters. A null
  // block or a size below 1 gives the 1 x 1 identity.
  ConvolutionKernel(const float* values, int size);
  ConvolutionKernel(const ConvolutionKernel& other);
  ConvolutionKernel& operator=(const ConvolutionKernel& other);
  ~ConvolutionKernel();

  // Each stores its value (clamped as the constructor does) and generates.
  void setSharpness(float sharpness);
  void setRadius(float radius);
  void setSigma(float sigma);
  // Replaces the coefficients by a copy (rules of the values constructor).
  void setKernel(const float* values, int size);

  float getSharpness() const { return sharpness_; }
  float getRadius() const { return radius_; }
  float getSigma() const { return sigma_; }
  bool isGenerated() const { return generated_; }
  unsigned GetSize() const { return size_; }
  const float* getKernel() const { return kernel_; }
  const short* getFixedKernel() const { return fixed_; }
  // Copies size x size values into `out` (when both exist).
  void getKernel(float* out) const;
  // True when no coefficient is negative: the kernel only spreads pixels.
  bool isBlurType() const;

  // The parameters line, then the coefficients row by row, on stdout.
  void Print() const;

  // Rebuilds the coefficients from sharpness, radius and sigma.
  void Generate();
  // Rebuilds the fixed-point copy from the coefficients.
  void makeFixed();

 private:
  void copyValues_(const float* values, int size);

  float* kernel_ = nullptr;
  short* fixed_ = nullptr;
  unsigned size_ = 0;
  bool generated_ = false;
  float sharpness_ = 0.5f;
  float radius_ = 1.5f;
  float sigma_ = 1.0f / 3.0f;
};

// ilConvolutionImg: an unsigned-char, interleaved in-memory image of 1 or 4
// channels that replaces its pixels by their convolution with a kernel.
//
// Sharpness -1 runs the four-box blur: every pixel, edges included, is the
// weighted mean of the pixels inside the image around it. Any other kernel
// computes only the pixels at least size / 2 from every edge (the border
// keeps its old values): callers give the image a margin of at least the
// kernel size around the pixels they need.
class BRENMARK_API ilConvolutionImg : public ilQVMemoryImg {
 public:
  ilConvolutionImg(const ilSize& size, ilType type, ilOrder order = ilInterleaved);

  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  const char* getDefaultDescription() const override;
  int getClassId() const override;

  // Filters the pixels in place. Images other than unsigned-char
  // interleaved with 1 or 4 channels are left alone (ilUnsupported).
  ilStatus Convolve(const ConvolutionKernel& kernel);
};

// Progress of a tiled layer blur: called after each tile with the tiles done
// and the total; null (the default) reports nothing. The library is
// single-threaded; the handler is process-wide.
using ConvolutionProgressFn = void (*)(int done, int total, void* user);
BRENMARK_API void SetConvolutionProgressHandler(ConvolutionProgressFn fn, void* user);
