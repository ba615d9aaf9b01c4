// ConvolutionKernel: generation of the unsharp-mask coefficients, their
// fixed-point copy, value semantics and the printed form.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "brenmark/convolution.h"

namespace {

constexpr float kDefaultSharpness = 0.5f;
constexpr float kDefaultRadius = 1.5f;
constexpr float kDefaultSigma = 1.0f / 3.0f;
constexpr float kMinSigma = 0.00001f;
// Radii beyond this would ask for kernels of gigabytes; a blur that wide is
// past any use on a canvas.
constexpr float kMaxRadius = 1000.0f;
// Fixed coefficients are v x 2048 and must fit a short.
constexpr float kFixedLimit = 32767.0f / 2048.0f;

float ClampRadius(float r) {
  if (!(r > 0.0f)) return 0.0f;  // negative or NaN
  return r > kMaxRadius ? kMaxRadius : r;
}
float ClampSigma(float s) {
  return s >= kMinSigma ? s : kMinSigma;
}

}  // namespace

ConvolutionKernel::ConvolutionKernel()
    : ConvolutionKernel(kDefaultSharpness, kDefaultRadius, kDefaultSigma) {}

ConvolutionKernel::ConvolutionKernel(float sharpness, float radius, float sigma)
    : sharpness_(sharpness), radius_(ClampRadius(radius)), sigma_(ClampSigma(sigma)) {
  Generate();
}

ConvolutionKernel::ConvolutionKernel(const float* values, int size) {
  setKernel(values, size);
}

ConvolutionKernel::ConvolutionKernel(const ConvolutionKernel& other)
    : generated_(other.generated_),
      sharpness_(other.sharpness_),
      radius_(other.radius_),
      sigma_(other.sigma_) {
  copyValues_(other.kernel_, static_cast<int>(other.size_));
}

ConvolutionKernel& ConvolutionKernel::operator=(const ConvolutionKernel& other) {
  if (this != &other) {
    generated_ = other.generated_;
    sharpness_ = other.sharpness_;
    radius_ = other.radius_;
    sigma_ = other.sigma_;
    copyValues_(other.kernel_, static_cast<int>(other.size_));
  }
  return *this;
}

ConvolutionKernel::~ConvolutionKernel() {
  delete[] kernel_;
  delete[] fixed_;
}

// A null block or a size below 1 leaves the 1 x 1 identity.
void ConvolutionKernel::copyValues_(const float* values, int size) {
  delete[] kernel_;
  kernel_ = nullptr;
  if (values == nullptr || size < 1) {
    size_ = 1;
    kernel_ = new float[1]{1.0f};
  } else {
    size_ = static_cast<unsigned>(size);
    const std::size_t n = std::size_t{size_} * size_;
    kernel_ = new float[n];
    std::memcpy(kernel_, values, n * sizeof(float));
  }
  makeFixed();
}

void ConvolutionKernel::setSharpness(float sharpness) {
  sharpness_ = sharpness;
  Generate();
}

void ConvolutionKernel::setRadius(float radius) {
  radius_ = ClampRadius(radius);
  Generate();
}

void ConvolutionKernel::setSigma(float sigma) {
  sigma_ = ClampSigma(sigma);
  Generate();
}

void ConvolutionKernel::setKernel(const float* values, int size) {
  sharpness_ = kDefaultSharpness;
  radius_ = kDefaultRadius;
  sigma_ = kDefaultSigma;
  generated_ = false;
  copyValues_(values, size);
}

void ConvolutionKernel::getKernel(float* out) const {
  if (out != nullptr && kernel_ != nullptr) {
    std::memcpy(out, kernel_, std::size_t{size_} * size_ * sizeof(float));
  }
}

bool ConvolutionKernel::isBlurType() const {
  const std::size_t n = std::size_t{size_} * size_;
  for (std::size_t i = 0; i < n; ++i) {
    if (kernel_[i] < 0.0f) return false;
  }
  return true;
}

// coefficient(i, j) = g(i, j) x (-sharpness / S), plus 1 + sharpness at the
// centre, with g = exp((i^2 + j^2) c), c = -0.5 / (radius sigma)^2 and S the
// float sum of g over the square.
void ConvolutionKernel::Generate() {
  const unsigned n = 2 * static_cast<unsigned>(std::trunc(radius_)) + 1;
  if (n != size_ || kernel_ == nullptr) {
    delete[] kernel_;
    size_ = n;
    kernel_ = new float[std::size_t{n} * n];
  }
  const int h = static_cast<int>(n / 2);
  const std::size_t count = std::size_t{n} * n;
  if (sharpness_ != 0.0f && radius_ != 0.0f) {
    const float s = radius_ * sigma_;
    const float c = -0.5f / (s * s);
    float sum = 0.0f;
    for (int i = -h; i <= h; ++i) {
      for (int j = -h; j <= h; ++j) {
        const float g = std::exp(static_cast<float>(i * i + j * j) * c);
        kernel_[(i + h) * n + (j + h)] = g;
        sum += g;
      }
    }
    const float scale = -sharpness_ / sum;
    for (std::size_t k = 0; k < count; ++k) kernel_[k] *= scale;
    kernel_[h * n + h] += 1.0f + sharpness_;
  } else {
    for (std::size_t k = 0; k < count; ++k) kernel_[k] = 0.0f;
    kernel_[h * n + h] = 1.0f;
  }
  makeFixed();
  generated_ = true;
}

// Each coefficient to the nearest 1/2048 (halves away from zero). A float
// kernel summing to 1 within one unit gets a fixed kernel summing to
// exactly 2048, the centre taking up the difference, so that flat areas
// keep their value.
void ConvolutionKernel::makeFixed() {
  delete[] fixed_;
  fixed_ = nullptr;
  if (kernel_ == nullptr) return;
  const std::size_t n = std::size_t{size_} * size_;
  double floatSum = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const float v = kernel_[k];
    if (!(v > -kFixedLimit && v < kFixedLimit)) return;
    floatSum += v;
  }
  fixed_ = new short[n];
  long fixedSum = 0;
  for (std::size_t k = 0; k < n; ++k) {
    fixed_[k] = static_cast<short>(std::lround(static_cast<double>(kernel_[k]) * 2048.0));
    fixedSum += fixed_[k];
  }
  if (std::fabs(floatSum * 2048.0 - 2048.0) < 1.0) {
    const std::size_t centre = n / 2;
    const long adjusted = fixed_[centre] + (2048 - fixedSum);
    if (adjusted >= -32767 && adjusted <= 32767) fixed_[centre] = static_cast<short>(adjusted);
  }
}

void ConvolutionKernel::Print() const {
  std::printf("Sharpness = %f, radius = %f, sigma = %f, Size = %dx%d\n", sharpness_, radius_,
              sigma_, static_cast<int>(size_), static_cast<int>(size_));
  for (unsigned i = 0; i < size_; ++i) {
    for (unsigned j = 0; j < size_; ++j) {
      const float v = kernel_[i * size_ + j];
      std::printf(v < 0.5f ? " %f" : "  %f", v);
    }
    std::printf("\n");
  }
  std::printf("\n");
}
