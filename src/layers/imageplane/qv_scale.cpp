// ilQVMemoryImg view transfers: scaling through the axis tables (nearest,
// bilinear, bicubic), rotation, the colour filter, bounding boxes, and the
// free helpers over plain pixel blocks.
#include <brenmark/qv_memory_img.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "layers/imageplane/axis_table.h"
#include "layers/imageplane/rotate_rows.h"
#include "layers/imageplane/scale_rows.h"

using namespace brenmark::imageplane;

namespace {

// Factors above this clear the destination instead of scaling.
constexpr float kMaxScaleFactor = 4096.0f;

struct Plane {
  const std::uint8_t* data;
  std::ptrdiff_t stride;  // bytes per source row
  int w, h, bytes;
};

const std::uint8_t* Row(const Plane& p, int y) {
  return p.data + y * p.stride;
}

// Horizontally filtered source rows, keyed by source row, so that a row
// shared by several destination rows (magnification) is filtered once.
class RowCache {
 public:
  RowCache(std::vector<std::uint8_t>& memory, int slots, std::size_t rowBytes) : slots_(slots) {
    memory.resize(rowBytes * static_cast<std::size_t>(slots));
    for (int i = 0; i < slots; ++i) {
      buf_[i] = memory.data() + rowBytes * static_cast<std::size_t>(i);
      key_[i] = -1;
    }
  }

  // The filtered row `row`; `keep` lists the rows the caller still holds
  // (never evicted). There are more slots than rows a caller holds.
  template <class Filter>
  const std::uint8_t* get(int row, const int* keep, int nkeep, Filter&& filter) {
    for (int i = 0; i < slots_; ++i) {
      if (key_[i] == row) return buf_[i];
    }
    int victim = 0;
    for (int i = 0; i < slots_; ++i) {
      if (std::find(keep, keep + nkeep, key_[i]) == keep + nkeep) {
        victim = i;
        break;
      }
    }
    filter(row, buf_[victim]);
    key_[victim] = row;
    return buf_[victim];
  }

 private:
  int slots_;
  std::uint8_t* buf_[5];
  int key_[5];
};

// Nearest: the source pixel nearest to the table entry, (entry + 128) >> 8,
// on both axes. Columns come from the table like rows rather than from a
// running 16.16 position: a walk started at a clamped first entry lands half a
// pixel off, so two transfers meeting inside a row would disagree there.
void ScaleTilePoint(const Plane& src, const std::int32_t* ex, int nw, const std::int32_t* ey,
                    int nh, std::uint8_t* dst, std::ptrdiff_t dstStride,
                    std::vector<std::int32_t>& cols) {
  cols.resize(static_cast<std::size_t>(nw));
  for (int j = 0; j < nw; ++j)
    cols[static_cast<std::size_t>(j)] = std::min((ex[j] + 128) >> 8, src.w - 1);
  const ScaleRows& k = ActiveScaleRows();
  for (int r = 0; r < nh; ++r, dst += dstStride) {
    const int y = std::min((ey[r] + 128) >> 8, src.h - 1);
    const std::uint8_t* row = Row(src, y);
    if (src.bytes == 4) {
      k.gather4(row, cols.data(), nw, dst);
    } else if (src.bytes == 1) {
      k.gather1(row, cols.data(), nw, dst);
    } else {
      for (int j = 0; j < nw; ++j) {
        std::memcpy(
            dst + static_cast<std::ptrdiff_t>(j) * src.bytes,
            row + static_cast<std::ptrdiff_t>(cols[static_cast<std::size_t>(j)]) * src.bytes,
            static_cast<std::size_t>(src.bytes));
      }
    }
  }
}

// Bilinear: entry e gives pixels e >> 8 and the next one (held at the last),
// weighted by the fraction e & 255; x first, then y.
void ScaleTileBilinear(const Plane& src, const std::int32_t* ex, int nw, const std::int32_t* ey,
                       int nh, std::uint8_t* dst, std::ptrdiff_t dstStride,
                       std::vector<std::int32_t>& idx, std::vector<std::uint16_t>& frac,
                       std::vector<std::uint8_t>& rows) {
  idx.resize(static_cast<std::size_t>(nw) * 2);
  frac.resize(static_cast<std::size_t>(nw));
  std::int32_t* x0 = idx.data();
  std::int32_t* x1 = x0 + nw;
  std::uint16_t* fx = frac.data();
  for (int j = 0; j < nw; ++j) {
    x0[j] = ex[j] >> 8;
    x1[j] = std::min(x0[j] + 1, src.w - 1);
    fx[j] = static_cast<std::uint16_t>(ex[j] & 255);
  }
  const ScaleRows& k = ActiveScaleRows();
  const std::size_t rowBytes = static_cast<std::size_t>(nw) * static_cast<std::size_t>(src.bytes);
  RowCache cache(rows, 3, rowBytes);
  const auto filter = [&](int y, std::uint8_t* out) {
    if (src.bytes == 4) {
      k.bilinear_h4(Row(src, y), x0, x1, fx, nw, out);
    } else {
      k.bilinear_h1(Row(src, y), x0, x1, fx, nw, out);
    }
  };
  for (int r = 0; r < nh; ++r, dst += dstStride) {
    const int y0 = ey[r] >> 8;
    const int y1 = std::min(y0 + 1, src.h - 1);
    const int fy = ey[r] & 255;
    const int keep[2] = {y0, y1};
    const std::uint8_t* a = cache.get(y0, keep, 2, filter);
    if (fy == 0) {
      // Lerp256(a, b, 0) == a.
      std::memcpy(dst, a, rowBytes);
      continue;
    }
    const std::uint8_t* b = cache.get(y1, keep, 2, filter);
    k.lerp_rows(a, b, fy, static_cast<int>(rowBytes), dst);
  }
}

// Bicubic (four-byte pixels): the 4 x 4 neighbourhood around entry e >> 8
// (from one before to two after, clamped to the image), weighted per axis by
// the weight table at the fraction e & 255; x first, then y.
void ScaleTileBicubic(const Plane& src, const std::int32_t* ex, int nw, const std::int32_t* ey,
                      int nh, std::uint8_t* dst, std::ptrdiff_t dstStride,
                      std::vector<std::int32_t>& idx, std::vector<std::uint32_t>& wxs,
                      std::vector<std::uint8_t>& rows) {
  const std::uint32_t* weights = BicubicWeights();
  idx.resize(static_cast<std::size_t>(nw) * 4);
  wxs.resize(static_cast<std::size_t>(nw));
  std::int32_t* xi = idx.data();
  std::uint32_t* wx = wxs.data();
  for (int j = 0; j < nw; ++j) {
    const int x = ex[j] >> 8;
    for (int t = 0; t < 4; ++t) xi[4 * j + t] = std::clamp(x - 1 + t, 0, src.w - 1);
    wx[j] = weights[ex[j] & 255];
  }
  const ScaleRows& k = ActiveScaleRows();
  const std::size_t rowBytes = static_cast<std::size_t>(nw) * 4;
  RowCache cache(rows, 5, rowBytes);
  const auto filter = [&](int y, std::uint8_t* out) { k.bicubic_h4(Row(src, y), xi, wx, nw, out); };
  for (int r = 0; r < nh; ++r, dst += dstStride) {
    const int y = ey[r] >> 8;
    int ys[4];
    for (int t = 0; t < 4; ++t) ys[t] = std::clamp(y - 1 + t, 0, src.h - 1);
    const std::uint8_t* h[4];
    for (int t = 0; t < 4; ++t) h[t] = cache.get(ys[t], ys, 4, filter);
    k.cubic_rows(h[0], h[1], h[2], h[3], weights[ey[r] & 255], static_cast<int>(rowBytes), dst);
  }
}

// The whole pixels covering [minX, maxX] x [minY, maxY]. Corners that land a
// rounding error past a whole pixel (sin 90 degrees is not exactly 1) do not
// widen the box.
ilTile CoverBox(double minX, double minY, double maxX, double maxY) {
  constexpr double kSlack = 1e-6;
  const int x = static_cast<int>(std::floor(minX + kSlack));
  const int y = static_cast<int>(std::floor(minY + kSlack));
  return ilTile(x, y, 0, static_cast<int>(std::ceil(maxX - kSlack)) - x,
                static_cast<int>(std::ceil(maxY - kSlack)) - y, 1);
}

std::int64_t To1616(double v) {
  return static_cast<std::int64_t>(std::floor(v * 65536.0 + 0.5));
}

}  // namespace

// ---- scaling ----------------------------------------------------------------

ilStatus ilQVMemoryImg::getScaleTile(float x, float y, float w, float h, void* dst, int dstW,
                                     int dstH, int dstX, int dstY) {
  return transfer_(x, y, w, h, dst, dstW, dstH, true, dstX, dstY);
}

ilStatus ilQVMemoryImg::getScaleTile(float x, float y, float w, float h, void* dst, int dstW,
                                     int dstH) {
  return transfer_(x, y, w, h, dst, dstW, dstH, false, 0, 0);
}

unsigned ilQVMemoryImg::chooseFilter_(bool interpolatable, int pixelBytes) const {
  const float sx = xAxis_.factor, sy = yAxis_.factor;
  unsigned mode = (sx > 1.0f || sy > 1.0f) ? magnifyMode_ : minifyMode_;
  if (IsNearestMode(mode) || !interpolatable) return ilQVScaleNearest;
  if (mode == ilQVScaleBicubic && pixelBytes == 1) mode = ilQVScaleBilinear;
  return mode;
}

void ilQVMemoryImg::calculateDestRect(float x, float y, float w, float h, int bx, int by, int dstW,
                                      int dstH, int& jx, int& jy, int& nw, int& nh) const {
  const double sx = xAxis_.factor, sy = yAxis_.factor;
  jx = RoundHalfAway(sx * x);
  jy = RoundHalfAway(sy * y);
  nw = static_cast<int>(std::min<double>(std::ceil(sx * w), dstW - bx));
  nh = static_cast<int>(std::min<double>(std::ceil(sy * h), dstH - by));
}

void ilQVMemoryImg::applyColour_(std::uint8_t* dst, int dstW, const ilTile& box) const {
  // Identity scale with no colour offset leaves every pixel as it is; the
  // offset of the top byte alone does not count.
  if (colourScale_ == 0xFFFFFFFFu && (colourOffset_ & 0x00FFFFFFu) == 0) return;
  const ScaleRows& k = ActiveScaleRows();
  for (int r = 0; r < box.ny; ++r) {
    std::uint8_t* row = dst + (static_cast<std::ptrdiff_t>(box.y + r) * dstW + box.x) * 4;
    k.colour_scale4(row, box.nx, colourScale_, colourOffset_);
  }
}

ilStatus ilQVMemoryImg::transfer_(float x, float y, float w, float h, void* dstVoid, int dstW,
                                  int dstH, bool placed, int dstX, int dstY) {
  BicubicWeights();
  if (dstVoid == nullptr) return setStatus(ilInvalid);
  auto* dst = static_cast<std::uint8_t*>(dstVoid);
  const float sx = xAxis_.factor, sy = yAxis_.factor;
  if (!(sx > 0.0f) || !(sy > 0.0f) || !std::isfinite(sx) || !std::isfinite(sy)) {
    return setStatus(ilInvalid);
  }
  const ilSize size = getSize();
  const int pb = getPixelBytes();
  const auto* data = static_cast<const std::uint8_t*>(getDataPtr());
  if (data == nullptr || pb <= 0) return setStatus(ilInvalid);
  if (getOrder() != ilInterleaved && size.c != 1) return setStatus(ilUnsupportedType);
  const bool interpolatable = getDataType() == ilUChar && (size.c == 1 || size.c == 4);
  const Plane src{data, static_cast<std::ptrdiff_t>(size.x) * pb, size.x, size.y, pb};

  float x0 = x, y0 = y, w0 = w, h0 = h;
  if (!scaleOnly_) {
    if (!clipToImage(x0, y0, w0, h0) || dstW < 1 || dstH < 1) return setStatus(ilOkay);
    double minX, minY, maxX, maxY;
    rotatedBounds_(x0, y0, w0, h0, minX, minY, maxX, maxY);
    double tx = offsetX_, ty = offsetY_;
    if (placed) {
      double px, py, qx, qy;
      rotatedBounds_(x, y, w, h, px, py, qx, qy);
      const ilTile whole = CoverBox(px, py, qx, qy);
      tx = whole.x - dstX;
      ty = whole.y - dstY;
    }
    const ilTile box(CoverBox(minX - tx, minY - ty, maxX - tx, maxY - ty),
                     ilTile(0, 0, 0, dstW, dstH, 1));
    if (box.empty()) return setStatus(ilOkay);
    return rotateInto_(dst, dstW, dstH, tx, ty, box, chooseFilter_(interpolatable, pb));
  }

  // Scale only: clip to the image, then move a start left of or above the
  // buffer onto its edge (and the source start with it).
  if (!clipToImage(x0, y0, w0, h0)) return setStatus(ilOkay);
  float x1 = x0 + w0, y1 = y0 + h0;
  float dsx = placed ? dstX + sx * (x0 - x) : sx * x0 - offsetX_;
  float dsy = placed ? dstY + sy * (y0 - y) : sy * y0 - offsetY_;
  if (dsx < 0.0f) {
    x0 -= dsx / sx;
    dsx = 0.0f;
  }
  if (dsy < 0.0f) {
    y0 -= dsy / sy;
    dsy = 0.0f;
  }
  if (!(x1 > x0) || !(y1 > y0)) return setStatus(ilOkay);
  const int bx = static_cast<int>(dsx), by = static_cast<int>(dsy);
  if (sx > kMaxScaleFactor || sy > kMaxScaleFactor) {
    for (int r = by; r < dstH; ++r) {
      if (bx >= dstW) break;
      std::memset(dst + (static_cast<std::ptrdiff_t>(r) * dstW + bx) * pb, 0,
                  static_cast<std::size_t>(dstW - bx) * static_cast<std::size_t>(pb));
    }
    return setStatus(ilOkay);
  }
  if (bx >= dstW || by >= dstH) return setStatus(ilOkay);
  // What the buffer cannot hold is not sampled (keeps the tables small).
  x1 = std::min(x1, x0 + static_cast<float>(dstW - bx + 2) / sx);
  y1 = std::min(y1, y0 + static_cast<float>(dstH - by + 2) / sy);
  int jx, jy, nw, nh;
  calculateDestRect(x0, y0, x1 - x0, y1 - y0, bx, by, dstW, dstH, jx, jy, nw, nh);
  if (nw < 1 || nh < 1) return setStatus(ilOkay);
  const std::ptrdiff_t dstStride = static_cast<std::ptrdiff_t>(dstW) * pb;
  std::uint8_t* out = dst + by * dstStride + static_cast<std::ptrdiff_t>(bx) * pb;

  if (sx == 1.0f && sy == 1.0f && colourScale_ == 0xFFFFFFFFu && colourOffset_ == 0) {
    // Identity: a plain copy of what the image has there.
    const int cw = std::min(nw, size.x - jx), ch = std::min(nh, size.y - jy);
    for (int r = 0; r < ch; ++r) {
      std::memcpy(out + r * dstStride, Row(src, jy + r) + static_cast<std::ptrdiff_t>(jx) * pb,
                  static_cast<std::size_t>(cw) * static_cast<std::size_t>(pb));
    }
    return setStatus(ilOkay);
  }

  EnsureAxisTable(xAxis_, sx, minifyMode_, magnifyMode_, size.x, std::floor(x0), std::ceil(x1), jx,
                  jx + nw - 1);
  EnsureAxisTable(yAxis_, sy, minifyMode_, magnifyMode_, size.y, std::floor(y0), std::ceil(y1), jy,
                  jy + nh - 1);
  const std::int32_t* ex = xAxis_.entries.data() + (jx - xAxis_.first);
  const std::int32_t* ey = yAxis_.entries.data() + (jy - yAxis_.first);
  switch (chooseFilter_(interpolatable, pb)) {
    case ilQVScaleBilinear:
      ScaleTileBilinear(src, ex, nw, ey, nh, out, dstStride, scratchIdx_, scratchFrac_,
                        scratchRows_);
      break;
    case ilQVScaleBicubic:
      ScaleTileBicubic(src, ex, nw, ey, nh, out, dstStride, scratchIdx_, scratchWeights_,
                       scratchRows_);
      break;
    default:
      ScaleTilePoint(src, ex, nw, ey, nh, out, dstStride, scratchIdx_);
      break;
  }
  if (interpolatable && size.c == 4) applyColour_(dst, dstW, ilTile(bx, by, 0, nw, nh, 1));
  return setStatus(ilOkay);
}

// ---- rotation ---------------------------------------------------------------

void ilQVMemoryImg::rotatedBounds_(double x, double y, double w, double h, double& minX,
                                   double& minY, double& maxX, double& maxY) const {
  const double sx = xAxis_.factor, sy = yAxis_.factor;
  const double cx = x, cy = y;
  const double px[4] = {cx, cx + w, cx, cx + w};
  const double py[4] = {cy, cy, cy + h, cy + h};
  minX = minY = HUGE_VAL;
  maxX = maxY = -HUGE_VAL;
  for (int i = 0; i < 4; ++i) {
    const double u = (px[i] - centerX_) * sx, v = (py[i] - centerY_) * sy;
    const double rx = u * cos_ - v * sin_ + centerX_;
    const double ry = u * sin_ + v * cos_ + centerY_;
    minX = std::min(minX, rx);
    maxX = std::max(maxX, rx);
    minY = std::min(minY, ry);
    maxY = std::max(maxY, ry);
  }
}

ilStatus ilQVMemoryImg::rotateInto_(std::uint8_t* dst, int dstW, int dstH, double tx, double ty,
                                    const ilTile& box, unsigned filter) {
  (void)dstH;
  const ilSize size = getSize();
  const int pb = getPixelBytes();
  const ilPixel& fill = getFill();
  std::uint8_t fillBytes[kIlMaxChannels * 8] = {};
  if (fill.size() == pb) std::memcpy(fillBytes, fill.elems(), static_cast<std::size_t>(pb));
  const RotateSource src{static_cast<const std::uint8_t*>(getDataPtr()),
                         static_cast<std::ptrdiff_t>(size.x) * pb, size.x, size.y, fillBytes};
  const double sx = xAxis_.factor, sy = yAxis_.factor;
  // Inverse of d = R S (p - c) + c - t at the centre of buffer pixel d.
  const double du = cos_ / sx, dv = -sin_ / sy;
  for (int r = 0; r < box.ny; ++r) {
    const double qx = box.x + 0.5 + tx - centerX_;
    const double qy = box.y + r + 0.5 + ty - centerY_;
    const double u = (qx * cos_ + qy * sin_) / sx + centerX_;
    const double v = (-qx * sin_ + qy * cos_) / sy + centerY_;
    const RotateWalk walk{To1616(u), To1616(v), To1616(du), To1616(dv)};
    std::uint8_t* out = dst + (static_cast<std::ptrdiff_t>(box.y + r) * dstW + box.x) * pb;
    switch (filter) {
      case ilQVScaleBilinear:
        if (pb == 4) {
          ActiveScaleRows().rotate_bilinear4(src, walk, box.nx, out);
        } else {
          RotateBilinearRow(src, pb, walk, box.nx, out);
        }
        break;
      case ilQVScaleBicubic:
        RotateBicubicRow4(src, walk, box.nx, out);
        break;
      default:
        RotateNearestRow(src, pb, walk, box.nx, out);
        break;
    }
  }
  if (getDataType() == ilUChar && size.c == 4) applyColour_(dst, dstW, box);
  return setStatus(ilOkay);
}

ilStatus ilQVMemoryImg::getCanvasRotateScaleTile(float x, float y, float w, float h, void* dst,
                                                 int dstW, int dstH, int viewX, int viewY,
                                                 bool rotateAll) {
  if (dst == nullptr) return setStatus(ilInvalid);
  if (!(w > 0.0f) || !(h > 0.0f) || dstW < 1 || dstH < 1) return setStatus(ilOkay);
  const float sx = xAxis_.factor, sy = yAxis_.factor;
  if (!(sx > 0.0f) || !(sy > 0.0f) || !std::isfinite(sx) || !std::isfinite(sy)) {
    return setStatus(ilInvalid);
  }
  const ilSize size = getSize();
  if (getDataPtr() == nullptr || getDataType() != ilUChar || (size.c != 1 && size.c != 4)) {
    return setStatus(ilUnsupportedType);
  }
  const ilTile buffer(0, 0, 0, dstW, dstH, 1);
  ilTile box = buffer;
  if (!rotateAll) {
    double minX, minY, maxX, maxY;
    rotatedBounds_(x, y, w, h, minX, minY, maxX, maxY);
    box = ilTile(CoverBox(minX - viewX, minY - viewY, maxX - viewX, maxY - viewY), buffer);
    if (box.empty()) return setStatus(ilOkay);
  }
  return rotateInto_(static_cast<std::uint8_t*>(dst), dstW, dstH, viewX, viewY, box,
                     ilQVScaleBilinear);
}

void ilQVMemoryImg::getTargetSizeAndOffset(int x, int y, int w, int h, int& outW, int& outH,
                                           int& outX, int& outY) {
  double minX, minY, maxX, maxY;
  rotatedBounds_(x, y, w, h, minX, minY, maxX, maxY);
  const ilTile box = CoverBox(minX, minY, maxX, maxY);
  outX = box.x;
  outY = box.y;
  outW = box.nx;
  outH = box.ny;
}

// ---- free helpers -------------------------------------------------------------

ilStatus SIDScaleImage(const void* src, int w, int h, int bytesPerPixel, float x, float y, float sw,
                       float sh, void* dst, int dstW, int dstH, float sx, float sy, float offX,
                       float offY) {
  return SIDScaleImage(src, w, h, bytesPerPixel, x, y, sw, sh, dst, dstW, dstH, sx, sy, offX, offY,
                       0.0f, 0.0f, 0.0f, ilQVScaleBilinear, ilQVScaleBilinear, 0xFFFFFFFFu, 0);
}

ilStatus SIDScaleImage(const void* src, int w, int h, int bytesPerPixel, float x, float y, float sw,
                       float sh, void* dst, int dstW, int dstH, float sx, float sy, float offX,
                       float offY, float degrees, float cx, float cy, unsigned minifyMode,
                       unsigned magnifyMode, unsigned colourScale, unsigned colourOffset) {
  if (src == nullptr || dst == nullptr || w < 1 || h < 1 ||
      (bytesPerPixel != 1 && bytesPerPixel != 4)) {
    return ilInvalid;
  }
  // Read only: the wrapper never writes its block.
  ilQVMemoryImg img(const_cast<void*>(src), ilSize(w, h, 1, bytesPerPixel), ilUChar);
  img.SetScaleAndRotation(sx, sy, degrees, cx, cy);
  img.SetOffset(offX, offY);
  img.SetMinifyScaleMode(minifyMode);
  img.SetMagnifyScaleMode(magnifyMode);
  img.SetRGBAScaleAndOffset(colourScale, colourOffset);
  return img.getScaleTile(x, y, sw, sh, dst, dstW, dstH);
}

void SIDGetTargetSizeAndOffset(int x, int y, int w, int h, float sx, float sy, float degrees,
                               float cx, float cy, int& outW, int& outH, int& outX, int& outY) {
  ilQVMemoryImg img;
  img.SetScaleAndRotation(sx, sy, degrees, cx, cy);
  img.getTargetSizeAndOffset(x, y, w, h, outW, outH, outX, outY);
}
