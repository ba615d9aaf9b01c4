// ilImage: attributes, reference count, input, and the generic tile
// operations over the image's pages.
#include <brenmark/il_image.h>

#include "il/il_tile_ops.h"

#include <cmath>
#include <cstring>

using brenmark::il::ImageInfo;

ilImage::ilImage() = default;
ilImage::~ilImage() = default;

bool ilImage::derivesFrom(int classId) const {
  return classId == ilImageClassId || ilLink::derivesFrom(classId);
}

const char* ilImage::getClassName(int level) const {
  return level == 0 ? "ilImage" : ilLink::getClassName(level - 1);
}

void ilImage::reset() {
  setStatus(ilOkay);
}

const char* ilImage::getDefaultDescription() const {
  return "Image";
}

int ilImage::getClassId() const {
  return ilImageClassId;
}

int ilImage::unref() {
  if (refCount_ > 0) --refCount_;
  if (refCount_ == 0) {
    delete this;
    return 0;
  }
  return refCount_;
}

// ---- attributes ----------------------------------------------------------

namespace {
ilPixel fitFill(const ilPixel& fill, ilType type, int nc) {
  if (type == ilAnyType || ilDataSize(type, 1) == 0) return fill;
  if (fill.getDataType() == type && fill.nc() == nc) return fill;
  return fill.converted(type, nc);
}
}  // namespace

void ilImage::setSize(const ilSize& size) {
  if (size == size_) return;
  const bool channels = size.c != size_.c;
  size_ = size;
  if (channels) fill_ = fitFill(fill_, type_, size_.c);
  setAltered(ilSizeAltered);
}

void ilImage::setCsize(int c) {
  ilSize s = size_;
  s.c = c;
  setSize(s);
}

void ilImage::setPageSize(int x, int y, int z, int c) {
  const ilSize p(x, y, z, c);
  if (p == page_) return;
  page_ = p;
  setAltered(ilPageSizeAltered);
}

void ilImage::setDataType(ilType type) {
  if (type == type_) return;
  type_ = type;
  fill_ = fitFill(fill_, type_, size_.c);
  setAltered(ilTypeAltered);
}

void ilImage::setOrder(ilOrder order) {
  if (order == order_) return;
  order_ = order;
  setAltered(ilOrderAltered);
}

void ilImage::setColorModel(ilColorModel model) {
  if (model == colorModel_) return;
  colorModel_ = model;
  setAltered(ilColorModelAltered);
}

void ilImage::setCoordSpace(ilCoordSpace space) {
  if (space == coordSpace_) return;
  coordSpace_ = space;
  setAltered(ilCoordSpaceAltered);
}

ilStatus ilImage::setFill(const ilPixel& fill) {
  fill_ = fitFill(fill, type_, size_.c);
  setAltered(ilFillAltered);
  return ilOkay;
}

void ilImage::getFill(ilPixel& out) {
  const ilPixel& fill = getFill();
  if (out.getDataType() == ilAnyType) {
    out = fill;
    return;
  }
  out = fill.converted(out.getDataType(), out.nc() > 0 ? out.nc() : fill.nc());
}

// ---- inputs --------------------------------------------------------------

ilStatus ilImage::setInput(ilImage* input, int index) {
  if (index != 0) return ilInvalid;
  // Refuse cycles: the input must not depend on this image.
  for (ilImage* p = input; p != nullptr; p = p->getInput(0))
    if (p == this) return ilInvalid;
  setLinkInput(input);
  setAltered(ilInputAltered);
  return ilOkay;
}

ilImage* ilImage::getInput(int index) const {
  return index == 0 ? static_cast<ilImage*>(linkInput()) : nullptr;
}

// ---- generic tile operations ---------------------------------------------

ilStatus ilImage::getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                               int by, int bz, int bnx, int bny, int bnz, const ilConfig* cfg) {
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  const ilTile req(x, y, z, nx, ny, nz), btile(bx, by, bz, bnx, bny, bnz);
  if (hasPages()) {
    const brenmark::il::PageWalker walker{this, &info};
    return setStatus(brenmark::il::readOp(info, walker, req, buf, btile, cfg));
  }
  // Without storage every pixel is the fill.
  info.dataBox = ilTile();
  return setStatus(brenmark::il::readOp(info, brenmark::il::NullWalker{}, req, buf, btile, cfg));
}

ilStatus ilImage::setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf, int bx,
                               int by, int bz, int bnx, int bny, int bnz, const ilConfig* cfg) {
  if (!hasPages()) return setStatus(ilNotWritable);
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  const brenmark::il::PageWalker walker{this, &info};
  return setStatus(brenmark::il::writeOp(info, walker, ilTile(x, y, z, nx, ny, nz), buf,
                                         ilTile(bx, by, bz, bnx, bny, bnz), cfg));
}

ilStatus ilImage::copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx,
                              int sy, int sz, const ilConfig* cfg, int /*flags*/) {
  if (!hasPages()) return setStatus(ilNotWritable);
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  const brenmark::il::PageWalker walker{this, &info};
  return setStatus(
      brenmark::il::copyOp(this, info, walker, ilTile(x, y, z, nx, ny, nz), src, sx, sy, sz, cfg));
}

ilStatus ilImage::fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                             const ilConfig* cfg, const ilTile* exclude) {
  if (!hasPages()) return setStatus(ilNotWritable);
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  const brenmark::il::PageWalker walker{this, &info};
  return setStatus(
      brenmark::il::fillOp(info, walker, ilTile(x, y, z, nx, ny, nz), pixel, cfg, exclude));
}

ilStatus ilImage::seekTile3D(int, int, int, int, int, int) {
  return upToDate();
}

ilStatus ilImage::lockTile3D(int, int, int, int, int, int) {
  return upToDate();
}

ilStatus ilImage::evalXY(int x, int y, int z, ilPixel& out) {
  out = ilPixel(getDataType(), getCsize());
  if (out.nc() == 0) return setStatus(ilUnsupportedType);
  return getSubTile3D(x, y, z, 1, 1, 1, out.elems(), x, y, z, 1, 1, 1, nullptr);
}

ilStatus ilImage::evalUV(float u, float v, int z, ilPixel& out) {
  const int w = getXsize(), h = getYsize();
  const auto pick = [](float t, int n) {
    if (!(t > 0.0f) || n <= 0) return 0;
    const int i = static_cast<int>(std::floor(static_cast<double>(t) * n));
    return i >= n ? n - 1 : i;
  };
  return evalXY(pick(u, w), pick(v, h), z, out);
}

bool ilImage::hasPages() const {
  return false;
}

ilStatus ilImage::lockPageSet(ilLockRequest* requests, int mode, int count) {
  if (requests == nullptr || count < 0) return setStatus(ilInvalid);
  ilStatus result = ilOkay;
  // A class with native pages must lock them itself; emulating them here would
  // recurse through the page-based getSubTile3D.
  const bool usable = !hasPages();
  ImageInfo info;
  ilStatus st = usable ? brenmark::il::infoOf(this, &info) : ilFailed;
  const int px = info.pageSize.x > 0 ? info.pageSize.x : 128;
  const int py = info.pageSize.y > 0 ? info.pageSize.y : 128;
  const int pz = info.pageSize.z > 0 ? info.pageSize.z : 1;
  for (int i = 0; i < count; ++i) {
    ilLockRequest& r = requests[i];
    r.page = nullptr;
    r.status = st;
    if (st == ilOkay) {
      const int x0 = brenmark::il::floorDiv(r.x, px) * px;
      const int y0 = brenmark::il::floorDiv(r.y, py) * py;
      const int z0 = brenmark::il::floorDiv(r.z, pz) * pz;
      const std::size_t bytes = brenmark::il::denseBytes(info.type, info.nc, px, py, pz);
      ilPage* page =
          bytes == 0 ? nullptr
                     : ilPage::makeScratch(x0, y0, z0, info.nc, bytes, (mode & ilLockWrite) != 0);
      if (page == nullptr) {
        r.status = ilFailed;
      } else {
        r.status =
            getSubTile3D(x0, y0, z0, px, py, pz, page->getData(), x0, y0, z0, px, py, pz, nullptr);
        if (r.status == ilOkay)
          r.page = page;
        else
          delete page;
      }
    }
    if (r.status != ilOkay && result == ilOkay) result = r.status;
  }
  return setStatus(result);
}

ilStatus ilImage::unlockPageSet(ilLockRequest* requests, int count) {
  if (requests == nullptr || count < 0) return setStatus(ilInvalid);
  ilStatus result = ilOkay;
  const int px = getPageSizeX() > 0 ? getPageSizeX() : 128;
  const int py = getPageSizeY() > 0 ? getPageSizeY() : 128;
  const int pz = getPageSizeZ() > 0 ? getPageSizeZ() : 1;
  for (int i = 0; i < count; ++i) {
    ilPage* page = requests[i].page;
    if (page == nullptr) continue;
    if (page->isScratch() && page->writeBack()) {
      const ilStatus st = setSubTile3D(page->x, page->y, page->z, px, py, pz, page->getData(),
                                       page->x, page->y, page->z, px, py, pz, nullptr);
      if (st != ilOkay && result == ilOkay) result = st;
    }
    delete page;
    requests[i].page = nullptr;
  }
  return setStatus(result);
}

ilStatus ilImage::hwEval(void*) {
  return ilFailed;
}

// ---- entry points --------------------------------------------------------

ilStatus ilImage::getTile(int x, int y, int nx, int ny, void* buf, const ilConfig* cfg) {
  return getSubTile3D(x, y, 0, nx, ny, 1, buf, x, y, 0, nx, ny, 1, cfg);
}

ilStatus ilImage::getTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf,
                            const ilConfig* cfg) {
  return getSubTile3D(x, y, z, nx, ny, nz, buf, x, y, z, nx, ny, nz, cfg);
}

ilStatus ilImage::getSubTile(int x, int y, int nx, int ny, void* buf, int bx, int by, int bnx,
                             int bny, const ilConfig* cfg) {
  return getSubTile3D(x, y, 0, nx, ny, 1, buf, bx, by, 0, bnx, bny, 1, cfg);
}

ilStatus ilImage::setTile(int x, int y, int nx, int ny, const void* buf, const ilConfig* cfg) {
  return setSubTile3D(x, y, 0, nx, ny, 1, buf, x, y, 0, nx, ny, 1, cfg);
}

ilStatus ilImage::setTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf,
                            const ilConfig* cfg) {
  return setSubTile3D(x, y, z, nx, ny, nz, buf, x, y, z, nx, ny, nz, cfg);
}

ilStatus ilImage::setSubTile(int x, int y, int nx, int ny, const void* buf, int bx, int by, int bnx,
                             int bny, const ilConfig* cfg) {
  return setSubTile3D(x, y, 0, nx, ny, 1, buf, bx, by, 0, bnx, bny, 1, cfg);
}

ilStatus ilImage::fillTile(int x, int y, int nx, int ny, const void* pixel, const ilConfig* cfg,
                           const ilTile* exclude) {
  return fillTile3D(x, y, 0, nx, ny, 1, pixel, cfg, exclude);
}

ilStatus ilImage::fillTileValue(int x, int y, int nx, int ny, const ilPixel& pixel,
                                const ilTile* exclude) {
  const ilPixel value = pixel.converted(getDataType(), getCsize());
  if (value.nc() == 0) return setStatus(ilUnsupportedType);
  return fillTile3D(x, y, 0, nx, ny, 1, value.elems(), nullptr, exclude);
}

ilStatus ilImage::copyTile(int x, int y, int nx, int ny, ilImage* src, int sx, int sy,
                           const ilConfig* cfg, int flags) {
  return copyTileCfg(x, y, 0, nx, ny, 1, src, sx, sy, 0, cfg, flags);
}

ilStatus ilImage::copyTile3D(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx,
                             int sy, int sz, const ilConfig* cfg, int flags) {
  return copyTileCfg(x, y, z, nx, ny, nz, src, sx, sy, sz, cfg, flags);
}

// ---- helpers -------------------------------------------------------------

ilStatus ilImage::mapTile(ilTile& tile, ilCoordSpace from, ilCoordSpace to) {
  return mapTile(tile.x, tile.y, tile.z, tile.nx, tile.ny, tile.nz, from, to);
}

ilStatus ilImage::mapTile(int& x, int& y, int& /*z*/, int nx, int ny, int /*nz*/, ilCoordSpace from,
                          ilCoordSpace to) {
  const ilCoordSpace own = getCoordSpace();
  if (from == ilSpaceDefault) from = own;
  if (to == ilSpaceDefault) to = own;
  if (from == to) return ilOkay;
  bool fx = false, fy = false;
  const ilStatus st = brenmark::il::spaceFlips(from, to, &fx, &fy);
  if (st != ilOkay) return st;
  if (fx) x = getXsize() - x - nx;
  if (fy) y = getYsize() - y - ny;
  return ilOkay;
}

ilTile ilImage::getDataBox() {
  upToDate();
  constexpr int kLow = -(1 << 30);
  constexpr int kExtent = 0x7FFFFFFF;
  if (unbounded_) return ilTile(kLow, kLow, kLow, kExtent, kExtent, kExtent);
  return ilTile(0, 0, 0, size_.x, size_.y, size_.z);
}

bool ilImage::isNativeConfig(const ilConfig* cfg) {
  if (cfg == nullptr) return true;
  upToDate();
  if (cfg->type != ilAnyType && cfg->type != 0 && cfg->type != type_) return false;
  if (cfg->order != ilAnyOrder && cfg->order != 0 && cfg->order != order_) return false;
  if (cfg->nchans != 0 && cfg->nchans != size_.c) return false;
  if (cfg->coordSpace != ilSpaceDefault && cfg->coordSpace != coordSpace_) return false;
  for (int i = 0; i < size_.c && i < kIlMaxChannels; ++i)
    if (cfg->imageChannel(i) != i) return false;
  return true;
}

ilStatus ilImage::toImagePixel(const void* pixel, const ilConfig* cfg, ilPixel& out,
                               unsigned* written) {
  if (written != nullptr) *written = 0;
  if (pixel == nullptr) return ilInvalid;
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return st;
  brenmark::il::CallerLayout layout;
  if ((st = brenmark::il::callerLayout(info, cfg, &layout)) != ilOkay) return st;
  brenmark::il::Block src, dst;
  out = ilPixel(info.type, info.nc);
  if (!brenmark::il::makeConstant(&src, pixel, layout.type, layout.nc) ||
      !brenmark::il::makeDense(&dst, out.elems(), info.type, ilInterleaved, info.nc, 1, 1, 1))
    return ilUnsupportedType;
  int map[kIlMaxChannels];
  brenmark::il::writeMap(info, cfg, layout.nc, map);
  if (written != nullptr)
    for (int k = 0; k < info.nc; ++k)
      if (map[k] != brenmark::il::kSkip) *written |= 1u << k;
  return brenmark::il::transfer(dst, src, 1, 1, 1, map);
}
