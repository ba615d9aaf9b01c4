// Sharpening and blurring layers through the paint manager: the tiled blur
// against one blur of the whole layer and against the image filter itself,
// blur-type kernels growing the layer, and the calls that must do nothing.
#include <array>
#include <cstring>
#include <vector>

#include "brenmark/convolution.h"
#include "layers/engine_fixture.h"
#include "layers/layer_image_helpers.h"

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
