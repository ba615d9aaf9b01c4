// ConvolutionKernel and ilConvolutionImg: kernel generation and its edge
// cases, the fixed and float paths, the four-box blur, and the SIMD rows
// against their scalar references. Sharpening and blurring layers through
// the paint manager: the tiled blur against one blur of the whole layer and
// against the image filter itself, blur-type kernels growing the layer, and
// the calls that must do nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "brenmark/convolution.h"
#include "filters/convolution_rows.h"
#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Convolved(const Bytes& in, int w, int h, int c, const ConvolutionKernel& k) {
  ilConvolutionImg img(ilSize(w, h, c), ilUChar);
  std::memcpy(img.getDataPtr(), in.data(), in.size());
  EXPECT_EQ(img.Convolve(k), ilOkay);
  const auto* p = static_cast<const std::uint8_t*>(img.getDataPtr());
  return Bytes(p, p + in.size());
}

Bytes Random(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<std::uint8_t>(rng());
  return b;
}

// The sum of the kernel's taps (the fixed ones when asked).
float Sum(const ConvolutionKernel& k, bool fixed = false) {
  float s = 0.0f;
  for (unsigned i = 0; i < k.GetSize() * k.GetSize(); ++i)
    s += fixed ? k.getFixedKernel()[i] : k.getKernel()[i];
  return s;
}

const float kBox[9] = {1.f / 9, 1.f / 9, 1.f / 9, 1.f / 9, 1.f / 9,
                       1.f / 9, 1.f / 9, 1.f / 9, 1.f / 9};

TEST(ConvolutionKernel, GeneratedKernelsHaveTheirSizeSumAndStoredParameters) {
  struct Case {
    float sharpness, radius, sigma;
    unsigned size;
    float storedRadius, storedSigma;
    bool negatives;
  };
  const Case cases[] = {
      {0.5f, 1.5f, 1.0f / 3, 3, 1.5f, 1.0f / 3, true},
      {-1.0f, 3.0f, 1.0f / 3, 7, 3.0f, 1.0f / 3, false},
      {0.5f, -2.0f, 1.0f / 3, 1, 0.0f, 1.0f / 3, false},
      {0.5f, 1.5f, 0.0f, 3, 1.5f, 0.00001f, false},
      {5.0f, 3.9f, 1.0f / 3, 7, 3.9f, 1.0f / 3, true},
      {0.0f, 2.0f, 1.0f / 3, 5, 2.0f, 1.0f / 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sharpness << " " << c.radius << " " << c.sigma);
    const ConvolutionKernel k(c.sharpness, c.radius, c.sigma);
    EXPECT_EQ((std::tuple{k.GetSize(), k.isGenerated(), !k.isBlurType()}),
              (std::tuple{c.size, true, c.negatives}));
    EXPECT_FLOAT_EQ(k.getRadius(), c.storedRadius);
    EXPECT_FLOAT_EQ(k.getSigma(), c.storedSigma);
    EXPECT_NEAR(Sum(k), 1.0f, 1e-5f);
    ASSERT_NE(k.getFixedKernel(), nullptr);
    EXPECT_EQ(Sum(k, true), 2048);
  }
}

TEST(ConvolutionKernel, DefaultSharpenCoefficients) {
  const ConvolutionKernel k;
  const float* v = k.getKernel();
  EXPECT_NEAR(v[4], 1.1903f, 1e-4f);
  for (int i : {1, 3, 5, 7}) EXPECT_NEAR(v[i], -0.0419f, 1e-4f);
  for (int i : {0, 2, 6, 8}) EXPECT_NEAR(v[i], -0.0057f, 1e-4f);
  EXPECT_EQ(k.getFixedKernel()[1], -86);  // -0.0419 x 2048 = -85.9, rounded
}

TEST(ConvolutionKernel, ValuesCopiesAndSetters) {
  ConvolutionKernel k(kBox, 3);
  EXPECT_FALSE(k.isGenerated());
  EXPECT_EQ(Sum(k, true), 2048);  // 228 each rounded, the centre takes up the excess
  ConvolutionKernel copy(k);
  EXPECT_NE(copy.getKernel(), k.getKernel());
  EXPECT_EQ(std::memcmp(copy.getFixedKernel(), k.getFixedKernel(), 9 * sizeof(short)), 0);
  k.setRadius(-3.0f);  // generated again: one tap of 1
  copy = k;
  float out[1] = {0};
  copy.getKernel(out);
  EXPECT_EQ((std::tuple{copy.GetSize(), copy.isGenerated(), out[0]}), (std::tuple{1u, true, 1.0f}));
  const float big[9] = {0, 0, 0, -7.5f, 16.0f, -7.5f, 0, 0, 0};
  EXPECT_EQ(ConvolutionKernel(big, 3).getFixedKernel(), nullptr);
}

TEST(ConvolutionKernel, PrintsParametersAndRows) {
  const float v[4] = {0.25f, -0.5f, 1.0f, 0.5f};
  testing::internal::CaptureStdout();
  ConvolutionKernel(v, 2).Print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Sharpness = 0.500000, radius = 1.500000, sigma = 0.333333, Size = 2x2\n"
            " 0.250000 -0.500000\n"
            "  1.000000  0.500000\n"
            "\n");
}

// Identity kernels, and kernels summing to 1 over flat areas, change nothing.
TEST(ConvolutionImg, IdentitiesAndFlatAreasAreUnchanged) {
  // 16-bit saturating sums gave 31 here in one tap order and 255 in another.
  const float steep[9] = {0, 0, 0, 15.9f, -7.45f, -7.45f, 0, 0, 0};
  const float steepReversed[9] = {0, 0, 0, -7.45f, -7.45f, 15.9f, 0, 0, 0};
  struct Case {
    ConvolutionKernel kernel;
    bool random;  // a random image; otherwise flat `value`
    int value;
  };
  const Case cases[] = {
      {ConvolutionKernel(0.5f, 0.0f, 1.0f / 3), true, 0},
      {ConvolutionKernel(0.0f, 3.0f, 1.0f / 3), true, 0},
      {ConvolutionKernel(-1.0f, 0.0f, 1.0f / 3), true, 0},
      {ConvolutionKernel(5.0f, 1.5f, 1.0f / 3), false, 100},
      {ConvolutionKernel(0.5f, 3.0f, 1.0f / 3), false, 100},
      {ConvolutionKernel(kBox, 3), false, 255},
      {ConvolutionKernel(steep, 3), false, 255},
      {ConvolutionKernel(steepReversed, 3), false, 255},
      {ConvolutionKernel(-1.0f, 12.0f, 1.0f / 3), false, 77},
  };
  for (int c : {1, 4})
    for (const Case& t : cases) {
      SCOPED_TRACE(testing::Message() << "channels " << c << " size " << t.kernel.GetSize()
                                      << " sharpness " << t.kernel.getSharpness());
      const int w = 37, h = 19;
      const Bytes in =
          t.random ? Random(std::size_t{w} * h * c, 7) : Bytes(std::size_t{w} * h * c, t.value);
      EXPECT_EQ(Convolved(in, w, h, c, t.kernel), in);
    }
}

// The four-box blur of random images against its definition: per line, the
// weighted mean over the samples inside the line (weight = how many radii
// reach), truncated, rows first. h0 = 3 has radii 1, 1, 2 and 3.
TEST(ConvolutionImg, FourBoxMatchesItsDefinition) {
  auto line = [](const std::vector<int>& v, int h0) {
    const int r[4] = {(h0 * 65 + 128) >> 8, (h0 * 122 + 128) >> 8, (h0 * 176 + 128) >> 8, h0};
    std::vector<int> out(v.size());
    for (int x = 0; x < int(v.size()); ++x) {
      int sum = 0, weight = 0;
      for (int p = 0; p < int(v.size()); ++p) {
        int k = 0;
        for (int ri : r) k += std::abs(x - p) <= ri;
        sum += k * v[p];
        weight += k;
      }
      out[x] = sum / weight;
    }
    return out;
  };
  const int w = 33, h = 21;
  for (int c : {1, 4})
    for (int h0 : {1, 2, 3, 4, 9}) {
      // One pass of `line` over every row (or column) of every channel.
      auto pass = [&](const std::vector<int>& from, bool rows) {
        std::vector<int> out(from.size());
        for (int j = 0; j < (rows ? h : w); ++j)
          for (int ch = 0; ch < c; ++ch) {
            auto at = [&](int i) { return (rows ? j * w + i : i * w + j) * c + ch; };
            std::vector<int> v(rows ? w : h);
            for (int i = 0; i < int(v.size()); ++i) v[i] = from[at(i)];
            const std::vector<int> o = line(v, h0);
            for (int i = 0; i < int(v.size()); ++i) out[at(i)] = o[i];
          }
        return out;
      };
      const Bytes in = Random(std::size_t(w) * h * c, h0 * 10 + c);
      const std::vector<int> both = pass(pass(std::vector<int>(in.begin(), in.end()), true), false);
      EXPECT_EQ(Convolved(in, w, h, c, ConvolutionKernel(-1.0f, float(h0), 1.0f / 3)),
                Bytes(both.begin(), both.end()))
          << c << " channels, h0 " << h0;
    }
}

// Kernels with coefficients of 16 or more run in floating point, rounded.
TEST(ConvolutionImg, FloatPathForLargeCoefficients) {
  const float v[9] = {0, 0, 0, -7.5f, 16.0f, -7.5f, 0, 0, 0};
  const Bytes in = {10, 12, 13, 30, 10, 12, 13, 30, 10, 12, 13, 30};  // 4 x 3, one channel
  const Bytes out = Convolved(in, 4, 3, 1, ConvolutionKernel(v, 3));
  // (x, y) = (1, 1): 16 x 12 - 7.5 x (10 + 13) = 19.5 -> 20; (2, 1): 208 - 315 -> 0.
  EXPECT_EQ(out[5], 20);
  EXPECT_EQ(out[6], 0);
  EXPECT_EQ(out[4], 10);  // border kept
}

// Every four-box division is exact: t * recip >> 32 == t / w.
TEST(ConvolutionRows, ReciprocalDividesExactly) {
  for (std::uint32_t w = 4; w <= brenmark::conv::kMaxExactWeight; ++w) {
    const std::uint32_t m = brenmark::conv::Reciprocal(w);
    for (std::uint32_t q = 0; q <= 255; ++q) {
      for (std::uint32_t t : {q * w, q * w + w - 1}) {
        if (t > 255 * w) continue;
        ASSERT_EQ(brenmark::conv::DivideByWeight(t, m), t / w) << t << " / " << w;
      }
    }
  }
}

// Every SIMD level's rows equal the scalar references, over lengths that
// cover the vector tails.
TEST(ConvolutionRows, SimdRowsMatchScalar) {
  using namespace brenmark;
  const conv::ConvKernels* ref = conv::ConvKernelsFor(SimdLevel::kScalar);
  for (SimdLevel level : {SimdLevel::kSse2, SimdLevel::kAvx2}) {
    const conv::ConvKernels* k = conv::ConvKernelsFor(level);
    if (k == nullptr) continue;
    SCOPED_TRACE(k->name);
    for (int n : {1, 3, 15, 16, 17, 31, 33, 64, 131}) {
      for (int h0 : {0, 1, 3, 10, 60}) {  // 60: weights past 16-bit sums
        const conv::BoxRadii radii{
            {(h0 * 65 + 128) >> 8, (h0 * 122 + 128) >> 8, (h0 * 176 + 128) >> 8, h0}};
        const int pad = 2 * h0 + 1;
        // Random rows with zero padding, and their true weights.
        Bytes a = Random(std::size_t(pad + n + h0) * 4, n + h0), b = Random(a.size(), n + h0 + 99);
        for (Bytes* row : {&a, &b}) {
          std::fill(row->begin(), row->begin() + pad * 4, 0);
          std::fill(row->end() - h0 * 4, row->end(), 0);
        }
        std::vector<std::uint32_t> recip(n);
        for (int x = 0; x < n; ++x) {
          int w = 0;
          for (int r : radii.r) w += std::min(n - 1, x + r) - std::max(0, x - r) + 1;
          recip[x] = conv::Reciprocal(w);
        }
        std::vector<Bytes> out[2];
        for (const conv::ConvKernels* kk : {ref, k}) {
          Bytes oa(n * 4), ob(n * 4);
          kk->box_rows4(a.data() + pad * 4, b.data() + pad * 4, oa.data(), ob.data(), n, radii,
                        recip.data());
          out[kk == k] = {oa, ob};
        }
        EXPECT_EQ(out[1], out[0]) << n << " " << h0;
      }
      std::vector<Bytes> rows;
      for (int i = 0; i < 8; ++i) rows.push_back(Random(n, 1000 + i * 7 + n));
      const std::uint8_t* add[4] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
      const std::uint8_t* sub[4] = {rows[4].data(), rows[5].data(), rows[6].data(), rows[7].data()};
      // Column sums (2040: room for the subtractions), a two-row multiply-add
      // and its fixed-point output.
      auto run = [&](const conv::ConvKernels* kk) {
        std::vector<std::int32_t> sums(n, 2040), acc(n, -5000);
        Bytes column(n), fixed(n);
        kk->box_column(sums.data(), add, sub, n, column.data(), conv::Reciprocal(16));
        kk->mac_row2(acc.data(), rows[0].data(), 32767, rows[1].data(), -32768, n);
        kk->fixed_out(fixed.data(), acc.data(), n);
        return std::tuple{sums, column, acc, fixed};
      };
      EXPECT_EQ(run(k), run(ref)) << n;
    }
  }
}

// Whole images through the active level equal the scalar rows' result.
TEST(ConvolutionImg, ImagesMatchAScalarReference) {
  // Direct two-dimensional reference of the fixed path.
  const ConvolutionKernel sharpen(3.0f, 2.5f, 0.5f);
  const int n = static_cast<int>(sharpen.GetSize()), h0 = n / 2, h = 23;
  for (int c : {1, 4})
    for (int w : {1, 17, 70, 300}) {  // 300: rows of more than one 512-byte block
      const Bytes in = Random(std::size_t(w) * h * c, w * c);
      const Bytes out = Convolved(in, w, h, c, sharpen);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          for (int ch = 0; ch < c; ++ch) {
            const std::size_t at = (std::size_t(y) * w + x) * c + ch;
            int expected = in[at];
            if (x >= h0 && x < w - h0 && y >= h0 && y < h - h0) {
              int acc = 0;
              for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                  acc += sharpen.getFixedKernel()[i * n + j] *
                         in[(std::size_t(y - h0 + i) * w + x - h0 + j) * c + ch];
              expected = brenmark::conv::FixedToByte(acc);
            }
            ASSERT_EQ(out[at], expected) << c << " " << w << " " << x << "," << y;
          }
    }
}

}  // namespace

namespace brenmark::testing {
namespace {

void* const kCurrent = reinterpret_cast<void*>(-2);

class LayerConvolve : public EngineTest {
 protected:
  // A new stack (made current) with one empty layer; its image.
  ilImage* EmptyLayer(int* handle = nullptr) {
    const int h = NewStack();
    if (handle) *handle = h;
    Stack(h)->AddLayer(nullptr, nullptr, false, true, false, -2, true);
    return LiveImage(h);
  }

  // The same with rectangles that cross the 128-pixel page seams.
  ilImage* PaintedLayer(int* handle = nullptr) {
    ilImage* img = EmptyLayer(handle);
    Paint(img, 100, 90, 200, 170, Pack(255, 40, 120, 200));
    Paint(img, 120, 120, 20, 150, Pack(200, 200, 10, 0));
    Paint(img, 250, 250, 3, 3, Pack(128, 0, 128, 64));
    return img;
  }

  // The current layer's image of stack h: a recorded filter leaves the layer
  // painting into a new image (the old one is kept for undo).
  ilImage* LiveImage(int h = -2) { return Stack(h)->GetCurrentLayerPtr()->GetImage(); }

  // The filter applied to the image's pixels in [x0, x1) x [y0, y1) with
  // everything outside that box read as transparent.
  static std::vector<unsigned> Filtered(ilImage* img, int x0, int y0, int x1, int y1,
                                        const ConvolutionKernel& k) {
    ilConvolutionImg f(ilSize(x1 - x0, y1 - y0, 4), ilUChar);
    f.copyTile(0, 0, x1 - x0, y1 - y0, img, x0, y0);
    f.Convolve(k);
    std::vector<unsigned> out(std::size_t(x1 - x0) * (y1 - y0));
    std::memcpy(out.data(), f.getDataPtr(), out.size() * 4);
    return out;
  }

  static void Progress(int done, int total, void* user) {
    auto* calls = static_cast<std::vector<int>*>(user);
    calls->push_back(done);
    calls->push_back(total);
  }
};

// Blur radius 10 (with the progress calls), and 150, whose window spans more
// than a page row: the blur reads well ahead of the rows it writes back. A
// sharpening keeps to the old bounds (its negative taps clamp to 0 outside);
// its layer reaches past x = y = 512, where ConvolveLayer's blocks meet.
TEST_F(LayerConvolve, TiledFilterEqualsOneFilterOfTheWholeLayerAndTheImageFilter) {
  for (const float radius : {10.0f, 150.0f, 1.5f}) {
    SCOPED_TRACE(radius);
    const ConvolutionKernel blur(radius > 2 ? -1.0f : 0.5f, radius, 1.0f / 3);
    int ha = 0, hb = 0;
    if (radius < 2) host_.SetDefaultViewSize(640, 640);
    ilImage* a = PaintedLayer(&ha);
    ilImage* b = PaintedLayer(&hb);
    if (radius < 2) {
      for (ilImage* img : {a, b}) Paint(img, 490, 500, 40, 30, Pack(30, 250, 90, 255));
    }
    // The filter over a box wide enough that its edges do not matter.
    const int m = radius == 150 ? 250 : 0, side = 600 + 2 * m;
    const std::vector<unsigned> expected = Filtered(a, -m, -m, 600 + m, 600 + m, blur);

    std::vector<int> progress;
    SetConvolutionProgressHandler(&Progress, &progress);
    Brenmark.SharpenOrBlurDone(blur, kCurrent, ha);
    SetConvolutionProgressHandler(nullptr, nullptr);
    if (radius == 10) {
      // Bounds (100, 90)-(300, 260) grown by 21 and aligned: 0..384 x 0..384.
      ASSERT_EQ(progress.size(), 18u);
      EXPECT_EQ((std::array{progress[16], progress[17]}), (std::array{9, 9}));
      EXPECT_EQ(host_.BusyChanges(), (std::vector<bool>{true, false}));
    }

    Brenmark.SetCurrentLayerStack(hb);
    Brenmark.SetCurrentConvolution(blur);
    Brenmark.ConvolveLayer(kCurrent);
    a = LiveImage(ha);
    b = LiveImage(hb);

    for (int y = 0; y < 600; ++y) {
      for (int x = 0; x < 600; ++x) {
        ASSERT_EQ(Px(a, x, y), Px(b, x, y)) << x << "," << y;
        ASSERT_EQ(Px(a, x, y), expected[std::size_t(y + m) * side + x + m]) << x << "," << y;
      }
    }
    EXPECT_EQ(Px(a, 95, 150) != 0, blur.isBlurType());  // a blur reaches beyond the old bounds
  }
}

// The blur shows its result tile by tile into the view; a host that shows
// updates only later still gets the whole blurred area as pending, and the
// view then equals a full recomposite.
TEST_F(LayerConvolve, TiledBlurLeavesTheWholeAreaPendingAndTheViewComposed) {
  host_.SetDefaultViewSize(400, 300);
  int h = 0;
  PaintedLayer(&h);
  Brenmark.SharpenOrBlurDone(ConvolutionKernel(-1.0f, 10.0f, 1.0f / 3), kCurrent, h);
  // Bounds (100, 90)-(300, 270) grown by the blur's reach of 10.
  const ilTile pending = Stack(h)->GetUpdateRegion();
  EXPECT_EQ(std::vector<int>({pending.x, pending.y, pending.nx, pending.ny}),
            std::vector<int>({90, 80, 220, 200}));
  const int view = Brenmark.CB()->GetViewOfWindow(Stack(h)->GetWindow());
  const std::vector<std::uint32_t> shown(host_.ViewPixels(view),
                                         host_.ViewPixels(view) + 400 * 300);
  EXPECT_NE(shown[std::size_t(95) * 400 + 150], 0u);
  Stack(h)->RedrawEntireCanvas(true, true);
  for (int i = 0; i < 400 * 300; ++i) ASSERT_EQ(shown[i], host_.ViewPixels(view)[i]) << i;
}

// A blur-type kernel given as values grows the layer as the blur does.
TEST_F(LayerConvolve, BlurTypeKernelSpreadsBeyondTheOldBounds) {
  ilImage* img = EmptyLayer();
  Paint(img, 127, 127, 1, 1, 0x90909090u);
  const std::vector<float> box(9, 1.f / 9);
  Brenmark.SetCurrentConvolution(ConvolutionKernel(box.data(), 3));
  Brenmark.ConvolveLayer(kCurrent);
  img = LiveImage();
  for (int y = 125; y <= 129; ++y) {
    for (int x = 125; x <= 129; ++x) {
      const bool near = x >= 126 && x <= 128 && y >= 126 && y <= 128;
      EXPECT_EQ(Px(img, x, y), near ? 0x10101010u : 0u) << x << "," << y;
    }
  }
}

TEST_F(LayerConvolve, MissingEmptyAndGeometryLayersAreLeftAlone) {
  const ConvolutionKernel blur(-1.0f, 3.0f, 1.0f / 3);
  NewStack();
  Brenmark.SharpenOrBlurDone(blur, kCurrent, -2);  // no layer
  Brenmark.SharpenOrBlurDone(blur, reinterpret_cast<void*>(987654), -2);
  Stack()->AddLayer(nullptr, nullptr, false, true, false, -2, true);
  Brenmark.SharpenOrBlurDone(blur, kCurrent, -2);  // empty layer
  Stack()->AddLayer(nullptr, nullptr, false, true, true, -2, true);
  Brenmark.SharpenOrBlurDone(blur, kCurrent, -2);  // geometry layer
  EXPECT_TRUE(host_.BusyChanges().empty());
  EXPECT_TRUE(Stack()->GetLayerFromIndex(1)->getLayerBounds(true).empty());
}

}  // namespace
}  // namespace brenmark::testing
