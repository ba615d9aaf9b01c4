// ilConvolutionImg: the four-box blur, the fixed-point and the float kernel
// paths over the image's own pixel block; the progress hook of tiled blurs.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "brenmark/convolution.h"
#include "filters/convolution_progress.h"
#include "filters/convolution_rows.h"

namespace {

using brenmark::conv::BoxRadii;

ConvolutionProgressFn gProgress = nullptr;
void* gProgressUser = nullptr;

// Radii of the four boxes for a half-width h0: about a quarter, a half,
// two thirds and all of it, so that the summed boxes approach a Gaussian.
BoxRadii FourBoxRadii(int h0) {
  return BoxRadii{{(h0 * 65 + 128) >> 8, (h0 * 122 + 128) >> 8, (h0 * 176 + 128) >> 8, h0}};
}

// W(x): how many (sample, box) pairs lie inside a line of n samples around
// x.
std::vector<std::uint32_t> LineWeights(int n, const BoxRadii& radii) {
  std::vector<std::uint32_t> w(static_cast<std::size_t>(n));
  for (int x = 0; x < n; ++x) {
    std::uint32_t total = 0;
    for (int r : radii.r)
      total += static_cast<std::uint32_t>(std::min(n - 1, x + r) - std::max(0, x - r) + 1);
    w[static_cast<std::size_t>(x)] = total;
  }
  return w;
}

// The four-box blur of a w x h image whose rows come from read(y, dst) (row
// y into dst, w * c bytes), in order from the top, each once; output row y
// goes where out(y) points, rows in order. Source row y is read before
// output row y is asked for, so the output may overwrite the source in place.
template <typename Read, typename Out>
void FourBoxRows(int w, int h, int c, int h0, Read&& read, Out&& out) {
  const BoxRadii radii = FourBoxRadii(h0);
  const int r3 = radii.r[3];
  const std::vector<std::uint32_t> wx = LineWeights(w, radii), wy = LineWeights(h, radii);
  const bool exact = *std::max_element(wx.begin(), wx.end()) <= brenmark::conv::kMaxExactWeight &&
                     *std::max_element(wy.begin(), wy.end()) <= brenmark::conv::kMaxExactWeight;
  std::vector<std::uint32_t> rx(wx.size()), ry(wy.size());
  if (exact) {
    std::transform(wx.begin(), wx.end(), rx.begin(), brenmark::conv::Reciprocal);
    std::transform(wy.begin(), wy.end(), ry.begin(), brenmark::conv::Reciprocal);
  }
  const brenmark::conv::ConvKernels& k = brenmark::conv::ActiveConvKernels();
  const std::size_t rowBytes = static_cast<std::size_t>(w) * c;

  // The column step of output row y reads the row results y - r3 - 1 to
  // y + r3; they live in a ring of 2 r3 + 3 rows (one spare, as rows are
  // made two at a time), made just ahead of the step that first needs them,
  // so the pixels can be overwritten in place: row results are made from
  // rows at or below the next row the column steps write.
  const int ring = 2 * r3 + 3;
  std::vector<std::uint8_t> rows(rowBytes * ring);
  auto slot = [&](int y) { return rows.data() + static_cast<std::size_t>(y % ring) * rowBytes; };
  // Rows are read through zero-padded lines.
  const std::size_t lead = static_cast<std::size_t>(2 * r3 + 1) * c;
  const std::size_t padBytes = lead + rowBytes + static_cast<std::size_t>(r3) * c;
  std::vector<std::uint8_t> padA(padBytes, 0), padB(padBytes, 0);
  auto makeRows = [&](int y, bool pair) {
    read(y, padA.data() + lead);
    if (pair) read(y + 1, padB.data() + lead);
    std::uint8_t* outA = slot(y);
    std::uint8_t* outB = pair ? slot(y + 1) : nullptr;
    const std::uint8_t* a = padA.data() + lead;
    const std::uint8_t* b = pair ? padB.data() + lead : nullptr;
    if (c == 1) {
      brenmark::conv::rows::BoxRow1(a, outA, w, radii, exact ? rx.data() : nullptr, wx.data());
      if (pair) {
        brenmark::conv::rows::BoxRow1(b, outB, w, radii, exact ? rx.data() : nullptr, wx.data());
      }
    } else if (exact) {
      k.box_rows4(a, b, outA, outB, w, radii, rx.data());
    } else {
      brenmark::conv::rows::BoxRow4Divide(a, outA, w, radii, wx.data());
      if (pair) brenmark::conv::rows::BoxRow4Divide(b, outB, w, radii, wx.data());
    }
  };

  // Columns: a running total per byte, rows outside the image read as zero.
  std::vector<std::int32_t> total(rowBytes, 0);
  const std::vector<std::uint8_t> zero(rowBytes, 0);
  auto row = [&](int y) { return y >= 0 && y < h ? slot(y) : zero.data(); };
  const int n = static_cast<int>(rowBytes);
  int made = 0;  // rows whose results exist
  for (int y = -r3; y < h; ++y) {
    while (made < h && made <= y + r3) {
      const bool pair = made + 1 < h;
      makeRows(made, pair);
      made += pair ? 2 : 1;
    }
    const std::uint8_t* add[4];
    const std::uint8_t* sub[4];
    for (int i = 0; i < 4; ++i) {
      add[i] = row(y + radii.r[i]);
      sub[i] = row(y - 1 - radii.r[i]);
    }
    std::uint8_t* dst = y >= 0 ? out(y) : nullptr;
    const std::size_t yi = static_cast<std::size_t>(std::max(y, 0));
    if (exact) {
      k.box_column(total.data(), add, sub, n, dst, ry[yi]);
    } else {
      brenmark::conv::rows::BoxColumnDivide(total.data(), add, sub, n, dst, wy[yi]);
    }
  }
}

void FourBox(std::uint8_t* data, int w, int h, int c, int h0) {
  const std::size_t rowBytes = static_cast<std::size_t>(w) * c;
  FourBoxRows(
      w, h, c, h0,
      [&](int y, std::uint8_t* dst) { std::memcpy(dst, data + y * rowBytes, rowBytes); },
      [&](int y) { return data + y * rowBytes; });
}

// True when the kernel is the same upside down and mirrored left to right.
bool Symmetric(const short* k, int n) {
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const short v = k[i * n + j];
      if (v != k[(n - 1 - i) * n + j] || v != k[i * n + (n - 1 - j)]) return false;
    }
  }
  return true;
}

// The source rows y - h0 .. y + h0 of output row y while the kernel paths
// write their output rows in place, top to bottom: a row above y has been
// overwritten, so Keep(y) saves each row before its output replaces it, in
// a ring of the last h0 + 1 originals.
class SourceRows {
 public:
  SourceRows(std::uint8_t* data, std::size_t rowBytes, int h0)
      : data_(data), rowBytes_(rowBytes), h0_(h0), ring_(rowBytes * (h0 + 1)) {}
  const std::uint8_t* Row(int r, int y) const {
    if (r >= h0_ && r < y)
      return ring_.data() + static_cast<std::size_t>(r % (h0_ + 1)) * rowBytes_;
    return data_ + static_cast<std::size_t>(r) * rowBytes_;
  }
  void Keep(int y) {
    std::memcpy(ring_.data() + static_cast<std::size_t>(y % (h0_ + 1)) * rowBytes_,
                data_ + static_cast<std::size_t>(y) * rowBytes_, rowBytes_);
  }

 private:
  std::uint8_t* data_;
  std::size_t rowBytes_;
  int h0_;
  std::vector<std::uint8_t> ring_;
};

// The fixed path for symmetric kernels: each of the (h0 + 1)^2 distinct
// coefficients multiplies the sum of its (up to four) source bytes once. The
// sum is the same integer as the unfolded one.
void FixedSymmetric(std::uint8_t* data, int w, int h, int c, const short* fixed, int size,
                    const brenmark::conv::ConvKernels& kern) {
  const int h0 = size / 2;
  const std::size_t rowBytes = static_cast<std::size_t>(w) * c;
  SourceRows src(data, rowBytes, h0);
  std::vector<std::int16_t> k(static_cast<std::size_t>(h0 + 1) * (h0 + 1));
  for (int i = 0; i <= h0; ++i) {
    for (int d = 0; d <= h0; ++d) k[i * (h0 + 1) + d] = fixed[i * size + h0 + d];
  }
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(size));
  const int m = (w - 2 * h0) * c;
  for (int y = h0; y < h - h0; ++y) {
    // Row y itself is read from its kept copy: the output overwrites it.
    src.Keep(y);
    for (int i = 0; i < size; ++i) rows[static_cast<std::size_t>(i)] = src.Row(y - h0 + i, y + 1);
    kern.fixed_sym_row(data + y * rowBytes + static_cast<std::size_t>(h0) * c, rows.data(),
                       k.data(), h0, c, m);
  }
}

// The interior (at least h0 from every edge): sum of b x k per channel,
// exact in 32 bits (the caller checked that 255 x sum |k| fits), rounded
// once.
void FixedKernel(std::uint8_t* data, int w, int h, int c, const short* fixed, int size) {
  const brenmark::conv::ConvKernels& kern = brenmark::conv::ActiveConvKernels();
  if (kern.fixed_sym_row != nullptr && Symmetric(fixed, size)) {
    FixedSymmetric(data, w, h, c, fixed, size, kern);
    return;
  }
  const int h0 = size / 2;
  const std::size_t rowBytes = static_cast<std::size_t>(w) * c;
  SourceRows src(data, rowBytes, h0);
  struct Tap {
    int row;
    std::size_t offset;
    std::int16_t k;
  };
  std::vector<Tap> taps;
  for (int i = 0; i < size; ++i) {
    for (int j = 0; j < size; ++j) {
      const short k = fixed[i * size + j];
      if (k != 0) taps.push_back({i, static_cast<std::size_t>(j) * c, k});
    }
  }
  const int n = (w - 2 * h0) * c;
  std::vector<std::int32_t> acc(static_cast<std::size_t>(n));
  for (int y = h0; y < h - h0; ++y) {
    std::fill(acc.begin(), acc.end(), 0);
    auto at = [&](const Tap& t) { return src.Row(y - h0 + t.row, y) + t.offset; };
    std::size_t t = 0;
    for (; t + 1 < taps.size(); t += 2) {
      kern.mac_row2(acc.data(), at(taps[t]), taps[t].k, at(taps[t + 1]), taps[t + 1].k, n);
    }
    if (t < taps.size()) kern.mac_row2(acc.data(), at(taps[t]), taps[t].k, at(taps[t]), 0, n);
    src.Keep(y);
    kern.fixed_out(data + y * rowBytes + static_cast<std::size_t>(h0) * c, acc.data(), n);
  }
}

// As FixedKernel in floating point (double sums), rounded to nearest.
void FloatKernel(std::uint8_t* data, int w, int h, int c, const float* kernel, int size) {
  const int h0 = size / 2;
  const std::size_t rowBytes = static_cast<std::size_t>(w) * c;
  SourceRows src(data, rowBytes, h0);
  std::vector<std::uint8_t> out(rowBytes);
  for (int y = h0; y < h - h0; ++y) {
    std::memcpy(out.data(), src.Row(y, y), rowBytes);
    for (int x = h0; x < w - h0; ++x) {
      for (int ch = 0; ch < c; ++ch) {
        double sum = 0.0;
        for (int i = 0; i < size; ++i) {
          const std::uint8_t* s = src.Row(y - h0 + i, y) + (x - h0) * c + ch;
          for (int j = 0; j < size; ++j) {
            sum += static_cast<double>(kernel[i * size + j]) * s[j * c];
          }
        }
        const double v = sum + 0.5;
        out[static_cast<std::size_t>(x) * c + ch] =
            static_cast<std::uint8_t>(v <= 0.0 ? 0 : (v >= 255.0 ? 255 : static_cast<int>(v)));
      }
    }
    src.Keep(y);
    std::memcpy(data + y * rowBytes, out.data(), rowBytes);
  }
}

// The fixed path needs every sum of products to fit 32 bits.
bool FixedSumsFit(const short* fixed, int size) {
  long long total = 0;
  for (int i = 0; i < size * size; ++i) total += std::llabs(fixed[i]);
  return total * 255 <= INT_MAX;
}

}  // namespace

namespace brenmark::conv {

void ReportProgress(int done, int total) {
  if (gProgress != nullptr) gProgress(done, total, gProgressUser);
}

void FourBoxStream(int w, int h, int c, int h0, const RowReader& read, const RowSink& out) {
  if (w < 1 || h < 1 || (c != 1 && c != 4)) return;
  FourBoxRows(w, h, c, h0, read, out);
}

}  // namespace brenmark::conv

void SetConvolutionProgressHandler(ConvolutionProgressFn fn, void* user) {
  gProgress = fn;
  gProgressUser = user;
}

ilConvolutionImg::ilConvolutionImg(const ilSize& size, ilType type, ilOrder order)
    : ilQVMemoryImg(size, type, order) {}

bool ilConvolutionImg::derivesFrom(int classId) const {
  return classId == ilConvolutionImgClassId || ilQVMemoryImg::derivesFrom(classId);
}

const char* ilConvolutionImg::getClassName(int level) const {
  return level == 0 ? "ilConvolutionImg" : ilQVMemoryImg::getClassName(level - 1);
}

const char* ilConvolutionImg::getDefaultDescription() const {
  return "Convolution Image";
}

int ilConvolutionImg::getClassId() const {
  return ilConvolutionImgClassId;
}

ilStatus ilConvolutionImg::Convolve(const ConvolutionKernel& kernel) {
  const int c = getCsize();
  if (getDataType() != ilUChar || getOrder() != ilInterleaved || (c != 1 && c != 4) ||
      getSize().z != 1) {
    return setStatus(ilUnsupportedType);
  }
  const int w = getXsize(), h = getYsize();
  auto* data = static_cast<std::uint8_t*>(getDataPtr());
  if (data == nullptr) return setStatus(ilNotWritable);
  if (w < 1 || h < 1) return setStatus(ilOkay);
  const int size = static_cast<int>(kernel.GetSize());
  if (kernel.getSharpness() == -1.0f) {
    FourBox(data, w, h, c, size / 2);
  } else if (kernel.getFixedKernel() != nullptr && size >= 3 && size % 2 == 1 &&
             FixedSumsFit(kernel.getFixedKernel(), size)) {
    if (w >= size && h >= size) FixedKernel(data, w, h, c, kernel.getFixedKernel(), size);
  } else if (kernel.getKernel() != nullptr) {
    if (w >= size && h >= size) FloatKernel(data, w, h, c, kernel.getKernel(), size);
  }
  return setStatus(ilOkay);
}
