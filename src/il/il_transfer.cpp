// Pixel transfer engine: per call the work is sorted into one of three row
// kernels (plain row copy, same-type element copy, converting copy) or a fill,
// chosen once; the loops themselves make no indirect calls per pixel except
// the converting kernel, which runs once per channel and row.
#include "il/il_transfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace brenmark::il {
namespace {

// Element types by index: u8, i8, u16, i16, u32, i32, f32, f64.
int typeIndex(ilType t) {
  switch (t) {
    case ilUChar:
      return 0;
    case ilChar:
      return 1;
    case ilUShort:
      return 2;
    case ilShort:
      return 3;
    case ilULong:
      return 4;
    case ilLong:
      return 5;
    case ilFloat:
      return 6;
    case ilDouble:
      return 7;
    default:
      return -1;
  }
}

template <class T>
double load(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<double>(v);
}

// Integer targets: clamp to the range, truncate toward zero, NaN -> 0.
template <class T>
T fromDouble(double v) {
  if constexpr (std::is_floating_point_v<T>) {
    return static_cast<T>(v);
  } else {
    if (std::isnan(v)) return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::lowest());
    constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (v <= lo) return std::numeric_limits<T>::lowest();
    if (v >= hi) return std::numeric_limits<T>::max();
    return static_cast<T>(v);
  }
}

template <class T>
void store(std::uint8_t* p, double v) {
  T t = fromDouble<T>(v);
  std::memcpy(p, &t, sizeof t);
}

using LoadFn = double (*)(const std::uint8_t*);
using StoreFn = void (*)(std::uint8_t*, double);

constexpr LoadFn kLoad[8] = {load<std::uint8_t>, load<std::int8_t>,   load<std::uint16_t>,
                             load<std::int16_t>, load<std::uint32_t>, load<std::int32_t>,
                             load<float>,        load<double>};
constexpr StoreFn kStore[8] = {store<std::uint8_t>, store<std::int8_t>,   store<std::uint16_t>,
                               store<std::int16_t>, store<std::uint32_t>, store<std::int32_t>,
                               store<float>,        store<double>};

// One run of n elements from s (stride ss) to d (stride ds), types S -> D.
template <class S, class D>
void convertRun(std::uint8_t* d, std::ptrdiff_t ds, const std::uint8_t* s, std::ptrdiff_t ss,
                int n) {
  for (int i = 0; i < n; ++i, d += ds, s += ss) {
    S v;
    std::memcpy(&v, s, sizeof v);
    D out = fromDouble<D>(static_cast<double>(v));
    std::memcpy(d, &out, sizeof out);
  }
}

using RunFn = void (*)(std::uint8_t*, std::ptrdiff_t, const std::uint8_t*, std::ptrdiff_t, int);

template <class S>
RunFn convertFor(int dstIndex) {
  switch (dstIndex) {
    case 0:
      return convertRun<S, std::uint8_t>;
    case 1:
      return convertRun<S, std::int8_t>;
    case 2:
      return convertRun<S, std::uint16_t>;
    case 3:
      return convertRun<S, std::int16_t>;
    case 4:
      return convertRun<S, std::uint32_t>;
    case 5:
      return convertRun<S, std::int32_t>;
    case 6:
      return convertRun<S, float>;
    default:
      return convertRun<S, double>;
  }
}

RunFn convertFn(int srcIndex, int dstIndex) {
  switch (srcIndex) {
    case 0:
      return convertFor<std::uint8_t>(dstIndex);
    case 1:
      return convertFor<std::int8_t>(dstIndex);
    case 2:
      return convertFor<std::uint16_t>(dstIndex);
    case 3:
      return convertFor<std::int16_t>(dstIndex);
    case 4:
      return convertFor<std::uint32_t>(dstIndex);
    case 5:
      return convertFor<std::int32_t>(dstIndex);
    case 6:
      return convertFor<float>(dstIndex);
    default:
      return convertFor<double>(dstIndex);
  }
}

// Same-type run: element copies of ES bytes.
template <int ES>
void copyRun(std::uint8_t* d, std::ptrdiff_t ds, const std::uint8_t* s, std::ptrdiff_t ss, int n) {
  if (ds == ES && ss == ES) {
    std::memmove(d, s, static_cast<std::size_t>(n) * ES);
    return;
  }
  for (int i = 0; i < n; ++i, d += ds, s += ss) std::memcpy(d, s, ES);
}

RunFn copyFn(int es) {
  switch (es) {
    case 1:
      return copyRun<1>;
    case 2:
      return copyRun<2>;
    case 4:
      return copyRun<4>;
    default:
      return copyRun<8>;
  }
}

void zeroRun(std::uint8_t* d, std::ptrdiff_t ds, int es, int n) {
  if (ds == es) {
    std::memset(d, 0, static_cast<std::size_t>(n) * es);
    return;
  }
  for (int i = 0; i < n; ++i, d += ds) std::memset(d, 0, es);
}

// Turns negative strides of a block that is only written with one value into
// positive ones (the order of writes does not matter for a fill).
Block normalisedForFill(const Block& b, int nx, int ny, int nz) {
  Block n = b;
  if (n.pixelStride < 0) n.flipX(nx);
  if (n.rowStride < 0) n.flipY(ny);
  if (n.sliceStride < 0) {
    n.origin += (nz - 1) * n.sliceStride;
    n.sliceStride = -n.sliceStride;
  }
  return n;
}

// Writes nx*ny*nz pixels of dst with vals (element j at vals + j * es) in
// the channels marked active.
void fillBlock(const Block& blk, int nx, int ny, int nz, const std::uint8_t* vals,
               const bool* active) {
  const Block b = normalisedForFill(blk, nx, ny, nz);
  const int es = b.es;
  const int pixBytes = es * b.nc;
  bool all = true;
  for (int j = 0; j < b.nc; ++j) all = all && active[j];

  if (all && b.pixelStride == pixBytes) {
    // Whole pixels: build one row, then copy it to every other row.
    std::uint8_t pattern[kIlMaxChannels * 8];
    for (int j = 0; j < b.nc; ++j) std::memcpy(pattern + b.chanOff[j], vals + j * es, es);
    const std::size_t rowBytes = static_cast<std::size_t>(nx) * pixBytes;
    std::uint8_t* first = b.origin;
    bool uniformBytes = true;
    for (int k = 1; k < pixBytes; ++k) uniformBytes = uniformBytes && pattern[k] == pattern[0];
    if (uniformBytes) {
      std::memset(first, pattern[0], rowBytes);
    } else {
      std::memcpy(first, pattern, pixBytes);
      std::size_t done = pixBytes;
      while (done < rowBytes) {
        std::size_t n = std::min(done, rowBytes - done);
        std::memcpy(first + done, first, n);
        done += n;
      }
    }
    for (int z = 0; z < nz; ++z) {
      for (int y = 0; y < ny; ++y) {
        std::uint8_t* row = b.origin + z * b.sliceStride + y * b.rowStride;
        if (row != first) std::memcpy(row, first, rowBytes);
      }
    }
    return;
  }

  int act[kIlMaxChannels];
  int na = 0;
  for (int j = 0; j < b.nc; ++j)
    if (active[j]) act[na++] = j;
  if (na == 0) return;
  for (int z = 0; z < nz; ++z) {
    for (int y = 0; y < ny; ++y) {
      std::uint8_t* row = b.origin + z * b.sliceStride + y * b.rowStride;
      for (int k = 0; k < na; ++k) {
        const int j = act[k];
        std::uint8_t* d = row + b.chanOff[j];
        if (es == 1) {
          const std::uint8_t v = vals[j];
          for (int x = 0; x < nx; ++x, d += b.pixelStride) *d = v;
        } else {
          for (int x = 0; x < nx; ++x, d += b.pixelStride) std::memcpy(d, vals + j * es, es);
        }
      }
    }
  }
}

ilStatus fillFromConstant(const Block& dst, const Block& src, int nx, int ny, int nz,
                          const int* map) {
  std::uint8_t vals[kIlMaxChannels * 8] = {};
  bool active[kIlMaxChannels] = {};
  const int si = typeIndex(src.type);
  const int di = typeIndex(dst.type);
  for (int j = 0; j < dst.nc; ++j) {
    const int m = map[j];
    if (m == kSkip) continue;
    active[j] = true;
    if (m == kZero) continue;  // vals are zero
    const std::uint8_t* s = src.origin + src.chanOff[m];
    if (si == di)
      std::memcpy(vals + j * dst.es, s, dst.es);
    else
      kStore[di](vals + j * dst.es, kLoad[si](s));
  }
  fillBlock(dst, nx, ny, nz, vals, active);
  return ilOkay;
}

// Recognises the byte-pixel copies that can run on whole 32-bit pixels: a
// four-channel source in the same layout whose written channels keep their
// index, or a one-channel source feeding any of the four channels. Sets the
// byte mask (in memory order) of the channels written.
bool maskedWordCopy(const Block& dst, const Block& src, const int* map, std::uint32_t* mask) {
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  const bool four = src.nc == 4 && src.pixelStride == 4;
  const bool one = src.nc == 1 && src.pixelStride == 1;
  if (!four && !one) return false;
  for (int j = 0; j < 4; ++j) {
    const int m = map[j];
    if (m == kSkip) continue;
    if (m < 0 || dst.chanOff[j] < 0 || dst.chanOff[j] > 3) return false;
    if (four && (m != j || src.chanOff[j] != dst.chanOff[j])) return false;
    bytes[dst.chanOff[j]] = 0xFF;
  }
  std::memcpy(mask, bytes, 4);
  return true;
}

}  // namespace

bool transferableType(ilType type) {
  return typeIndex(type) >= 0;
}

bool makeDense(Block* b, const void* data, ilType type, ilOrder order, int nc, int nx, int ny,
               int nz) {
  const int es = ilDataSize(type, 1);
  if (!transferableType(type) || nc < 1 || nc > kIlMaxChannels || nx < 0 || ny < 0 || nz < 0)
    return false;
  *b = Block{};
  b->origin = static_cast<std::uint8_t*>(const_cast<void*>(data));
  b->type = type;
  b->es = es;
  b->nc = nc;
  const std::ptrdiff_t e = es;
  switch (order) {
    case ilInterleaved:
      b->pixelStride = e * nc;
      b->rowStride = b->pixelStride * nx;
      b->sliceStride = b->rowStride * ny;
      for (int c = 0; c < nc; ++c) b->chanOff[c] = (nc - 1 - c) * e;
      return true;
    case ilSequential:
      b->pixelStride = e;
      b->rowStride = e * nx * nc;
      b->sliceStride = b->rowStride * ny;
      for (int c = 0; c < nc; ++c) b->chanOff[c] = c * e * nx;
      return true;
    case ilSeparate:
      b->pixelStride = e;
      b->rowStride = e * nx;
      b->sliceStride = b->rowStride * ny;
      for (int c = 0; c < nc; ++c) b->chanOff[c] = c * b->sliceStride * nz;
      return true;
    default:
      return false;
  }
}

bool makeConstant(Block* b, const void* pixel, ilType type, int nc) {
  if (!makeDense(b, pixel, type, ilInterleaved, nc, 1, 1, 1)) return false;
  b->pixelStride = b->rowStride = b->sliceStride = 0;
  return true;
}

std::size_t denseBytes(ilType type, int nc, int nx, int ny, int nz) {
  if (!transferableType(type) || nc < 0 || nx < 0 || ny < 0 || nz < 0) return 0;
  const unsigned long long n = 1ull * ilDataSize(type, 1) * nc * nx;
  const unsigned long long m = n * ny;
  if (ny != 0 && m / ny != n) return 0;
  const unsigned long long k = m * nz;
  if (nz != 0 && k / nz != m) return 0;
  if (k > static_cast<unsigned long long>(std::numeric_limits<std::ptrdiff_t>::max())) return 0;
  return static_cast<std::size_t>(k);
}

ilStatus transfer(const Block& dst, const Block& src, int nx, int ny, int nz, const int* map) {
  if (nx <= 0 || ny <= 0 || nz <= 0) return ilOkay;
  if (!transferableType(dst.type) || !transferableType(src.type)) return ilUnsupportedType;
  for (int j = 0; j < dst.nc; ++j)
    if (map[j] >= src.nc || map[j] < kZero) return ilInvalid;
  if (src.isConstant()) return fillFromConstant(dst, src, nx, ny, nz, map);

  const int pixBytes = dst.es * dst.nc;
  bool identity = dst.type == src.type && dst.nc == src.nc;
  for (int j = 0; identity && j < dst.nc; ++j)
    identity = map[j] == j && dst.chanOff[j] == src.chanOff[j];
  if (identity && dst.pixelStride == pixBytes && src.pixelStride == pixBytes) {
    // Same layout: one memmove per row.
    const std::size_t rowBytes = static_cast<std::size_t>(nx) * pixBytes;
    for (int z = 0; z < nz; ++z)
      for (int y = 0; y < ny; ++y)
        std::memmove(dst.origin + z * dst.sliceStride + y * dst.rowStride,
                     src.origin + z * src.sliceStride + y * src.rowStride, rowBytes);
    return ilOkay;
  }

  if (dst.type == src.type && dst.es == 1 && dst.nc == 4 && dst.pixelStride == 4) {
    std::uint32_t mask = 0;
    if (maskedWordCopy(dst, src, map, &mask)) {
      // Whole 32-bit pixels: out = (d & ~mask) | (s & mask); a one-channel
      // source is first spread to all four bytes.
      const bool spread = src.nc == 1;
      for (int z = 0; z < nz; ++z) {
        for (int y = 0; y < ny; ++y) {
          std::uint8_t* d = dst.origin + z * dst.sliceStride + y * dst.rowStride;
          const std::uint8_t* sp = src.origin + z * src.sliceStride + y * src.rowStride;
          for (int x = 0; x < nx; ++x, d += 4, sp += src.pixelStride) {
            std::uint32_t dv, sv;
            std::memcpy(&dv, d, 4);
            if (spread)
              sv = *sp * 0x01010101u;
            else
              std::memcpy(&sv, sp, 4);
            dv = (dv & ~mask) | (sv & mask);
            std::memcpy(d, &dv, 4);
          }
        }
      }
      return ilOkay;
    }
  }

  // Channel runs: each written destination channel is one run per row.
  struct Run {
    std::ptrdiff_t dOff, sOff;
    RunFn fn;  // null: write zeros
  };
  Run runs[kIlMaxChannels];
  int nr = 0;
  const bool sameType = dst.type == src.type;
  const RunFn conv =
      sameType ? copyFn(dst.es) : convertFn(typeIndex(src.type), typeIndex(dst.type));
  for (int j = 0; j < dst.nc; ++j) {
    const int m = map[j];
    if (m == kSkip) continue;
    runs[nr++] = Run{dst.chanOff[j], m == kZero ? 0 : src.chanOff[m], m == kZero ? nullptr : conv};
  }
  if (nr == 0) return ilOkay;

  if (sameType && dst.es == 1) {
    // Bytes: all channels of a pixel in one pass over the row.
    for (int z = 0; z < nz; ++z) {
      for (int y = 0; y < ny; ++y) {
        std::uint8_t* d = dst.origin + z * dst.sliceStride + y * dst.rowStride;
        const std::uint8_t* s = src.origin + z * src.sliceStride + y * src.rowStride;
        for (int x = 0; x < nx; ++x, d += dst.pixelStride, s += src.pixelStride)
          for (int k = 0; k < nr; ++k) d[runs[k].dOff] = runs[k].fn ? s[runs[k].sOff] : 0;
      }
    }
    return ilOkay;
  }

  for (int z = 0; z < nz; ++z) {
    for (int y = 0; y < ny; ++y) {
      std::uint8_t* d = dst.origin + z * dst.sliceStride + y * dst.rowStride;
      const std::uint8_t* s = src.origin + z * src.sliceStride + y * src.rowStride;
      for (int k = 0; k < nr; ++k) {
        if (runs[k].fn)
          runs[k].fn(d + runs[k].dOff, dst.pixelStride, s + runs[k].sOff, src.pixelStride, nx);
        else
          zeroRun(d + runs[k].dOff, dst.pixelStride, dst.es, nx);
      }
    }
  }
  return ilOkay;
}

int subtractTile(const ilTile& a, const ilTile& b, ilTile out[6]) {
  if (a.empty()) return 0;
  const ilTile common(a, b);
  if (common.empty()) {
    out[0] = a;
    return 1;
  }
  int n = 0;
  ilTile w = a;  // working copy, shrunk as slabs are peeled off
  // z below / above
  if (common.z > w.z) out[n++] = ilTile(w.x, w.y, w.z, w.nx, w.ny, common.z - w.z);
  if (common.z + common.nz < w.z + w.nz)
    out[n++] =
        ilTile(w.x, w.y, common.z + common.nz, w.nx, w.ny, w.z + w.nz - (common.z + common.nz));
  w.z = common.z;
  w.nz = common.nz;
  if (common.y > w.y) out[n++] = ilTile(w.x, w.y, w.z, w.nx, common.y - w.y, w.nz);
  if (common.y + common.ny < w.y + w.ny)
    out[n++] =
        ilTile(w.x, common.y + common.ny, w.z, w.nx, w.y + w.ny - (common.y + common.ny), w.nz);
  w.y = common.y;
  w.ny = common.ny;
  if (common.x > w.x) out[n++] = ilTile(w.x, w.y, w.z, common.x - w.x, w.ny, w.nz);
  if (common.x + common.nx < w.x + w.nx)
    out[n++] =
        ilTile(common.x + common.nx, w.y, w.z, w.x + w.nx - (common.x + common.nx), w.ny, w.nz);
  return n;
}

ilStatus spaceFlips(ilCoordSpace from, ilCoordSpace to, bool* flipX, bool* flipY) {
  if (from < 1 || from > 8 || to < 1 || to > 8) return ilInvalid;
  if ((from <= 4) != (to <= 4)) return ilUnsupportedSpace;
  // Per corner (upper-left, upper-right, lower-right, lower-left): x and y
  // mirrored relative to upper-left.
  static constexpr bool kMirrorX[4] = {false, true, true, false};
  static constexpr bool kMirrorY[4] = {false, false, true, true};
  const int a = (from - 1) % 4;
  const int b = (to - 1) % 4;
  *flipX = kMirrorX[a] != kMirrorX[b];
  *flipY = kMirrorY[a] != kMirrorY[b];
  return ilOkay;
}

}  // namespace brenmark::il
