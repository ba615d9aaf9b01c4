// ilQVMemoryImg: construction, counting, the fast tile paths, flips and the
// view-transform settings.
#include <brenmark/il_tile_compose.h>
#include <brenmark/qv_memory_img.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "manager/debug_selector.h"
#include "platform/diagnostics.h"

namespace {

// Debug selector value that prints the image-plane counts.
constexpr int kDebugImagePlane = 8111;

int gMemoryImgCount = 0;

void CountCreated() {
  ++gMemoryImgCount;
  if (brenmark::DebugSelectorIs(kDebugImagePlane)) {
    brenmark::platform::Diagnostic("Creating ilQVMemoryImg, Count = %d\n", gMemoryImgCount);
  }
}

// Clamps to [0, 1] (NaN gives 0), times 255, truncated.
unsigned ChannelByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v > 1.0f) v = 1.0f;
  return static_cast<unsigned>(v * 255.0f);
}

void FillRow4(std::uint8_t* p, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) std::memcpy(p + 4 * i, &v, 4);
}

}  // namespace

ilQVMemoryImg::ilQVMemoryImg() {
  CountCreated();
}

ilQVMemoryImg::ilQVMemoryImg(const ilSize& size, ilType type, ilOrder order)
    : ilMemoryImg(size, type, order) {
  construct_();
}

ilQVMemoryImg::ilQVMemoryImg(void* data, const ilSize& size, ilType type, ilOrder order)
    : ilMemoryImg(data, size, type, order) {
  construct_();
}

ilQVMemoryImg::ilQVMemoryImg(ilImage* other) : ilMemoryImg(other) {
  CountCreated();
}

ilQVMemoryImg::~ilQVMemoryImg() {
  --gMemoryImgCount;
  if (brenmark::DebugSelectorIs(kDebugImagePlane)) {
    brenmark::platform::Diagnostic("Destroying ilQVMemoryImg, Count = %d\n", gMemoryImgCount);
  }
}

void ilQVMemoryImg::construct_() {
  setCoordSpace(ilLowerLeft);
  setColorModel(ilABGR);
  setFill(ilPixel(getDataType(), getCsize()));
  CountCreated();
}

int ilQVMemoryImg::MemoryImgCount() {
  return gMemoryImgCount;
}

bool ilQVMemoryImg::derivesFrom(int classId) const {
  return classId == ilQVMemoryImgClassId || ilMemoryImg::derivesFrom(classId);
}

const char* ilQVMemoryImg::getClassName(int level) const {
  return level == 0 ? "ilQVMemoryImg" : ilMemoryImg::getClassName(level - 1);
}

const char* ilQVMemoryImg::getDefaultDescription() const {
  return "QV Memory";
}

int ilQVMemoryImg::getClassId() const {
  return ilQVMemoryImgClassId;
}

// ---- fast tile paths ------------------------------------------------------

ilStatus ilQVMemoryImg::getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                                     int by, int bz, int bnx, int bny, int bnz,
                                     const ilConfig* cfg) {
  auto* data = static_cast<std::uint8_t*>(getDataPtr());
  const ilSize s = getSize();
  const bool rowsContiguous = getOrder() == ilInterleaved || s.c == 1;
  if (data != nullptr && buf != nullptr && z == 0 && nz == 1 && rowsContiguous &&
      isNativeConfig(cfg) && ilTile(0, 0, 0, s.x, s.y, 1).contains(ilTile(x, y, 0, nx, ny, 1)) &&
      ilTile(bx, by, bz, bnx, bny, bnz).contains(ilTile(x, y, 0, nx, ny, 1))) {
    if (nx < 1 || ny < 1) return setStatus(ilOkay);
    const std::size_t pb = static_cast<std::size_t>(getPixelBytes());
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(s.x) * pb;
    const std::ptrdiff_t bufRow = static_cast<std::ptrdiff_t>(bnx) * pb;
    auto* out = static_cast<std::uint8_t*>(buf) +
                (static_cast<std::ptrdiff_t>(-bz) * bny + (y - by)) * bufRow +
                static_cast<std::ptrdiff_t>(x - bx) * pb;
    const std::uint8_t* in = data + y * rowBytes + static_cast<std::ptrdiff_t>(x) * pb;
    for (int r = 0; r < ny; ++r, in += rowBytes, out += bufRow) {
      std::memcpy(out, in, static_cast<std::size_t>(nx) * pb);
    }
    return setStatus(ilOkay);
  }
  return ilMemoryImg::getSubTile3D(x, y, z, nx, ny, nz, buf, bx, by, bz, bnx, bny, bnz, cfg);
}

ilStatus ilQVMemoryImg::copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src,
                                    int sx, int sy, int sz, const ilConfig* cfg, int flags) {
  void* data = getDataPtr();
  const ilSize s = getSize();
  if (data != nullptr && src != nullptr && src != this && z == 0 && nz == 1 && sz == 0 &&
      isNativeConfig(cfg) && (getOrder() == ilInterleaved || s.c == 1) && src->getCsize() == s.c &&
      src->getCoordSpace() == getCoordSpace()) {
    // The source reads straight into this image's block: the buffer tile is
    // the whole block seen from the source's coordinates.
    const ilTile d(ilTile(x, y, 0, nx, ny, 1), ilTile(0, 0, 0, s.x, s.y, 1));
    if (d.empty()) return setStatus(ilOkay);
    const int ox = sx - x, oy = sy - y;
    const bool sameLayout =
        src->getDataType() == getDataType() && (src->getOrder() == ilInterleaved || s.c == 1);
    const ilConfig mine(getDataType(), ilInterleaved, s.c);
    return setStatus(src->getSubTile3D(d.x + ox, d.y + oy, 0, d.nx, d.ny, 1, data, ox, oy, 0, s.x,
                                       s.y, 1, sameLayout ? nullptr : &mine));
  }
  return ilMemoryImg::copyTileCfg(x, y, z, nx, ny, nz, src, sx, sy, sz, cfg, flags);
}

ilStatus ilQVMemoryImg::fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                                   const ilConfig* cfg, const ilTile* exclude) {
  if (pixel != nullptr && z == 0 && nz == 1 && isNativeConfig(cfg) && getDataPtr() != nullptr &&
      (getOrder() == ilInterleaved || getCsize() == 1)) {
    const int pb = getPixelBytes();
    if (pb == 1 || pb == 4) return fillTile3D_(x, y, nx, ny, pixel, exclude);
  }
  return ilMemoryImg::fillTile3D(x, y, z, nx, ny, nz, pixel, cfg, exclude);
}

ilStatus ilQVMemoryImg::fillTile3D_(int x, int y, int nx, int ny, const void* pixel,
                                    const ilTile* exclude) {
  if (!clipToImage(x, y, nx, ny)) return setStatus(ilOkay);
  auto* data = static_cast<std::uint8_t*>(getDataPtr());
  const int pb = getPixelBytes();
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(getXsize()) * pb;
  std::uint32_t v4 = 0;
  if (pb == 4) std::memcpy(&v4, pixel, 4);
  const std::uint8_t v1 = *static_cast<const std::uint8_t*>(pixel);
  const ilTile a(x, y, 0, nx, ny, 1);
  const ilTile b = exclude != nullptr ? *exclude : ilTile();
  for (ilTileComposeIter piece(a, b, ilAOutB); piece.more();) {
    std::uint8_t* row = data + piece.y * rowBytes + static_cast<std::ptrdiff_t>(piece.x) * pb;
    for (int r = 0; r < piece.ny; ++r, row += rowBytes) {
      if (pb == 4) {
        FillRow4(row, v4, piece.nx);
      } else {
        std::memset(row, v1, static_cast<std::size_t>(piece.nx));
      }
    }
  }
  return setStatus(ilOkay);
}

bool ilQVMemoryImg::clipToImage(int& x, int& y, int& nx, int& ny) {
  const ilTile t(ilTile(x, y, 0, nx, ny, 1), ilTile(0, 0, 0, getXsize(), getYsize(), 1));
  x = t.x;
  y = t.y;
  nx = t.nx;
  ny = t.ny;
  return !t.empty();
}

bool ilQVMemoryImg::clipToImage(float& x, float& y, float& w, float& h) {
  const float x1 = std::min(x + w, static_cast<float>(getXsize()));
  const float y1 = std::min(y + h, static_cast<float>(getYsize()));
  x = std::max(x, 0.0f);
  y = std::max(y, 0.0f);
  w = x1 - x;
  h = y1 - y;
  return w > 0.0f && h > 0.0f;
}

ilStatus ilQVMemoryImg::lockPageSet(ilLockRequest* requests, int mode, int count) {
  const ilStatus st = ilMemoryImg::lockPageSet(requests, mode, count);
  for (int i = 0; requests != nullptr && i < count; ++i) {
    ilPage* page = requests[i].page;
    if (requests[i].status == ilOkay && page != nullptr) {
      page->x = page->y = page->z = page->c = 0;
    }
  }
  return st;
}

// ---- flips ------------------------------------------------------------------

void ilQVMemoryImg::HorizontalFlip() {
  auto* data = static_cast<std::uint8_t*>(getDataPtr());
  const ilSize s = getSize();
  if (data == nullptr || (getOrder() != ilInterleaved && s.c != 1)) return;
  const int pb = getPixelBytes();
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(s.x) * pb;
  const std::ptrdiff_t rows = static_cast<std::ptrdiff_t>(s.y) * s.z;
  std::uint8_t tmp[kIlMaxChannels * 8];
  for (std::ptrdiff_t r = 0; r < rows; ++r) {
    std::uint8_t* row = data + r * rowBytes;
    if (pb == 1) {
      std::reverse(row, row + s.x);
      continue;
    }
    for (int i = 0, j = s.x - 1; i < j; ++i, --j) {
      std::uint8_t* a = row + static_cast<std::ptrdiff_t>(i) * pb;
      std::uint8_t* b = row + static_cast<std::ptrdiff_t>(j) * pb;
      std::memcpy(tmp, a, static_cast<std::size_t>(pb));
      std::memcpy(a, b, static_cast<std::size_t>(pb));
      std::memcpy(b, tmp, static_cast<std::size_t>(pb));
    }
  }
}

void ilQVMemoryImg::VerticalFlip() {
  auto* data = static_cast<std::uint8_t*>(getDataPtr());
  const ilSize s = getSize();
  if (data == nullptr || s.x < 1 || s.y < 2 || (getOrder() != ilInterleaved && s.c != 1)) return;
  const std::ptrdiff_t rowBytes = getRowBytes();
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(rowBytes));
  for (int z = 0; z < s.z; ++z) {
    std::uint8_t* slice = data + static_cast<std::ptrdiff_t>(z) * s.y * rowBytes;
    for (int top = 0, bottom = s.y - 1; top < bottom; ++top, --bottom) {
      std::uint8_t* a = slice + top * rowBytes;
      std::uint8_t* b = slice + bottom * rowBytes;
      std::memcpy(scratch.data(), a, scratch.size());
      std::memcpy(a, b, scratch.size());
      std::memcpy(b, scratch.data(), scratch.size());
    }
  }
}

// ---- view transform settings ----------------------------------------------

void ilQVMemoryImg::setFactor_(AxisTable& table, float f) {
  if (table.factor == f) return;
  table = AxisTable();
  table.factor = f;
}

void ilQVMemoryImg::SetScaleFactors(float sx, float sy) {
  setFactor_(xAxis_, sx);
  setFactor_(yAxis_, sy);
}

void ilQVMemoryImg::GetScaleFactors(float& sx, float& sy) const {
  sx = xAxis_.factor;
  sy = yAxis_.factor;
}

void ilQVMemoryImg::SetScaleAndRotation(float sx, float sy, float degrees, float cx, float cy) {
  // fmod is the exact result of repeated +-360 and cannot spin on huge values.
  double d = std::isfinite(degrees) ? std::fmod(static_cast<double>(degrees), 360.0) : 0.0;
  if (d < 0.0) d += 360.0;
  float deg = static_cast<float>(d);
  if (deg >= 360.0f) deg = 0.0f;
  SetScaleFactors(sx, sy);
  if (deg >= 0.001f) {
    degrees_ = deg;
    scaleOnly_ = false;
  } else {
    degrees_ = 0.0f;
    scaleOnly_ = true;
  }
  const double rad = degrees_ / 360.0 * 2.0 * 3.14159265358979323846;
  cos_ = std::cos(rad);
  sin_ = std::sin(rad);
  centerX_ = cx;
  centerY_ = cy;
}

void ilQVMemoryImg::GetRotationCenter(float& cx, float& cy) const {
  cx = centerX_;
  cy = centerY_;
}

void ilQVMemoryImg::SetOffset(float x, float y) {
  offsetX_ = x;
  offsetY_ = y;
}

void ilQVMemoryImg::GetOffset(float& x, float& y) const {
  x = offsetX_;
  y = offsetY_;
}

void ilQVMemoryImg::SetRGBAScaleAndOffset(float s0, float s1, float s2, float s3, float o0,
                                          float o1, float o2, float o3) {
  colourScale_ =
      ChannelByte(s0) | ChannelByte(s1) << 8 | ChannelByte(s2) << 16 | ChannelByte(s3) << 24;
  colourOffset_ =
      ChannelByte(o0) | ChannelByte(o1) << 8 | ChannelByte(o2) << 16 | ChannelByte(o3) << 24;
}

void ilQVMemoryImg::SetRGBAScaleAndOffset(unsigned scale, unsigned offset) {
  colourScale_ = scale;
  colourOffset_ = offset;
}

void ilQVMemoryImg::GetRGBAScaleAndOffset(unsigned& scale, unsigned& offset) const {
  scale = colourScale_;
  offset = colourOffset_;
}

void ilQVMemoryImg::SetMinifyScaleMode(unsigned mode) {
  minifyMode_ = mode;
}

void ilQVMemoryImg::SetMagnifyScaleMode(unsigned mode) {
  magnifyMode_ = mode;
}
