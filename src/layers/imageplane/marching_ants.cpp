// Marching ants: reducing a one-byte image to the outline of a threshold, and
// painting the crawling black and white dashes along such an outline.
#include <brenmark/qv_memory_img.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

ilTile Region(ilQVMemoryImg& img, const ilTile* region) {
  const ilTile bounds(0, 0, 0, img.getXsize(), img.getYsize(), 1);
  return region != nullptr ? ilTile(bounds, *region) : bounds;
}

}  // namespace

void ilQVMemoryImg::MarchingAntsPreProcess(unsigned char threshold, ilTile* region,
                                           ilTile* outBounds) {
  const ilTile none(0, 0, 0, 0, 0, 1);
  if (outBounds != nullptr) *outBounds = none;
  auto* data = static_cast<std::uint8_t*>(getDataPtr());
  if (data == nullptr || getPixelBytes() != 1) return;
  const ilTile r = Region(*this, region);
  if (r.empty()) return;
  const std::ptrdiff_t stride = getXsize();
  const auto side = [threshold](std::uint8_t v) { return v >= threshold; };
  std::uint8_t* first = data + r.y * stride + r.x;

  // 1. 255 is reserved for edge marks.
  for (int y = 0; y < r.ny; ++y)
    std::replace(first + y * stride, first + y * stride + r.nx, 255, 254);

  // 2. Rows: a pixel on the other side of the threshold from its left
  //    neighbour is marked. The neighbour's value is the one before this pass
  //    (a mark must not spread along the row).
  for (int y = 0; y < r.ny; ++y) {
    std::uint8_t* row = first + y * stride;
    bool prev = side(row[0]);
    for (int x = 1; x < r.nx; ++x) {
      const bool cur = side(row[x]);
      if (cur != prev) row[x] = 255;
      prev = cur;
    }
  }

  // 3. Columns, over the values the row pass left: the same against the pixel
  //    in the row before (as it was before this pass).
  std::vector<std::uint8_t> above(first, first + r.nx);
  for (int y = 1; y < r.ny; ++y) {
    std::uint8_t* row = first + y * stride;
    for (int x = 0; x < r.nx; ++x) {
      const std::uint8_t v = row[x];
      if (side(v) != side(above[static_cast<std::size_t>(x)])) row[x] = 255;
      above[static_cast<std::size_t>(x)] = v;
    }
  }

  // 4. Only the marks stay; 5. their bounding box.
  int minX = r.nx, minY = r.ny, maxX = -1, maxY = -1;
  for (int y = 0; y < r.ny; ++y) {
    std::uint8_t* row = first + y * stride;
    for (int x = 0; x < r.nx; ++x) {
      if (row[x] != 255) {
        row[x] = 0;
        continue;
      }
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
  }
  if (outBounds != nullptr && maxX >= 0) {
    *outBounds = ilTile(r.x + minX, r.y + minY, 0, maxX - minX + 1, maxY - minY + 1, 1);
  }
}

void ilQVMemoryImg::MarchingAntsApply(const unsigned char* edges, unsigned phase, ilTile* region) {
  auto* data = static_cast<std::uint8_t*>(getDataPtr());
  if (data == nullptr || edges == nullptr || getPixelBytes() != 4) return;
  const ilTile r = Region(*this, region);
  if (r.empty()) return;
  const std::ptrdiff_t width = getXsize();
  constexpr std::uint32_t kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu, kClear = 0;
  for (int y = 0; y < r.ny; ++y) {
    // Unsigned arithmetic: phase counts down through zero and wraps, and 2^32
    // is a multiple of 8, so the dash pattern stays continuous.
    const unsigned rowPhase = phase + static_cast<unsigned>(y) + 1u;
    const unsigned char* e = edges + (r.y + y) * width + r.x;
    std::uint8_t* out = data + ((r.y + y) * width + r.x) * 4;
    for (int x = 0; x < r.nx; ++x) {
      std::uint32_t v = kClear;
      if (e[x] != 0) v = ((static_cast<unsigned>(r.x + x) + rowPhase) & 7u) < 4u ? kBlack : kWhite;
      std::memcpy(out + 4 * x, &v, 4);
    }
  }
}
