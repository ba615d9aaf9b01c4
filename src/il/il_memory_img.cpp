// ilMemoryImg: one block of pixels, owned or wrapped; tile operations run
// directly on the block.
#include <brenmark/il_memory_img.h>

#include "il/il_tile_ops.h"

#include <cstring>
#include <new>

using brenmark::il::ImageInfo;

namespace {

// The memory walker over the image's block; false when there is no block.
// The block bounds the data whatever the image declares.
bool memoryWalker(void* data, ImageInfo& info, brenmark::il::MemoryWalker* w) {
  info.dataBox = ilTile(0, 0, 0, info.size.x, info.size.y, info.size.z);
  if (data == nullptr) return false;
  if (!brenmark::il::makeDense(&w->data, data, info.type, info.order, info.nc, info.size.x,
                               info.size.y, info.size.z))
    return false;
  w->mem = data;
  w->box = info.dataBox;
  return true;
}

}  // namespace

ilMemoryImg::ilMemoryImg() = default;

ilMemoryImg::ilMemoryImg(const ilSize& size, ilType type, ilOrder order) {
  setSize(size);
  setDataType(type);
  setOrder(order);
  setPageSize(size.x, size.y, size.z, size.c);
  allocate_();
}

ilMemoryImg::ilMemoryImg(void* data, const ilSize& size, ilType type, ilOrder order) {
  setSize(size);
  setDataType(type);
  setOrder(order);
  setPageSize(size.x, size.y, size.z, size.c);
  data_ = data;
}

ilMemoryImg::ilMemoryImg(ilImage* other) {
  if (other == nullptr) return;
  const ilSize size = other->getSize();
  setSize(size);
  setDataType(other->getDataType());
  setOrder(other->getOrder());
  setColorModel(other->getColorModel());
  setCoordSpace(other->getCoordSpace());
  setPageSize(size.x, size.y, size.z, size.c);
  ilImage::setFill(other->getFill());
  allocate_();
  if (data_ != nullptr)
    setStatus(copyTile3D(0, 0, 0, size.x, size.y, size.z, other, 0, 0, 0, nullptr, 1));
}

ilMemoryImg::~ilMemoryImg() {
  delete[] owned_;
}

bool ilMemoryImg::derivesFrom(int classId) const {
  return classId == ilMemoryImgClassId || ilSIDImage::derivesFrom(classId);
}

const char* ilMemoryImg::getClassName(int level) const {
  return level == 0 ? "ilMemoryImg" : ilSIDImage::getClassName(level - 1);
}

const char* ilMemoryImg::getDefaultDescription() const {
  return "Memory Image";
}

int ilMemoryImg::getClassId() const {
  return ilMemoryImgClassId;
}

void ilMemoryImg::reset() {
  ilSIDImage::reset();
  const ilSize s = getSize();
  setPageSize(s.x, s.y, s.z, s.c);
  if (owned_ != nullptr &&
      brenmark::il::denseBytes(getDataType(), s.c, s.x, s.y, s.z) != ownedBytes_)
    allocate_();
}

void ilMemoryImg::allocate_() {
  delete[] owned_;
  owned_ = nullptr;
  ownedBytes_ = 0;
  data_ = nullptr;
  const ilSize s = getSize();
  const std::size_t bytes = brenmark::il::denseBytes(getDataType(), s.c, s.x, s.y, s.z);
  if (bytes == 0) {
    if (s.x > 0 && s.y > 0 && s.z > 0) setStatus(ilFailed);
    return;
  }
  owned_ = new (std::nothrow) std::uint8_t[bytes];
  if (owned_ == nullptr) {
    setStatus(ilFailed);
    return;
  }
  std::memset(owned_, 0, bytes);
  ownedBytes_ = bytes;
  data_ = owned_;
}

void* ilMemoryImg::getDataPtr() {
  upToDate();
  return data_;
}

void ilMemoryImg::setDataPtr(void* data) {
  if (owned_ != nullptr && data != owned_) {
    delete[] owned_;
    owned_ = nullptr;
    ownedBytes_ = 0;
  }
  data_ = data;
  setAltered(ilDataAltered);
}

std::size_t ilMemoryImg::getDataSize() {
  const ilSize s = getSize();
  return brenmark::il::denseBytes(getDataType(), s.c, s.x, s.y, s.z);
}

std::ptrdiff_t ilMemoryImg::getRowBytes() {
  brenmark::il::Block b;
  const ilSize s = getSize();
  if (!brenmark::il::makeDense(&b, nullptr, getDataType(), getOrder(), s.c, s.x, s.y, s.z))
    return 0;
  return b.rowStride;
}

void* ilMemoryImg::getPixelPtr(int x, int y, int z) {
  const ilSize s = getSize();
  if (data_ == nullptr || x < 0 || y < 0 || z < 0 || x >= s.x || y >= s.y || z >= s.z)
    return nullptr;
  brenmark::il::Block b;
  if (!brenmark::il::makeDense(&b, data_, getDataType(), getOrder(), s.c, s.x, s.y, s.z))
    return nullptr;
  return b.at(x, y, z).origin;
}

bool ilMemoryImg::hasPages() const {
  return true;
}

ilStatus ilMemoryImg::getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                                   int by, int bz, int bnx, int bny, int bnz, const ilConfig* cfg) {
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  brenmark::il::MemoryWalker walker;
  if (!memoryWalker(data_, info, &walker)) info.dataBox = ilTile();  // no block: all fill
  return setStatus(brenmark::il::readOp(info, walker, ilTile(x, y, z, nx, ny, nz), buf,
                                        ilTile(bx, by, bz, bnx, bny, bnz), cfg));
}

ilStatus ilMemoryImg::setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf,
                                   int bx, int by, int bz, int bnx, int bny, int bnz,
                                   const ilConfig* cfg) {
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  brenmark::il::MemoryWalker walker;
  if (!memoryWalker(data_, info, &walker)) return setStatus(ilNotWritable);
  return setStatus(brenmark::il::writeOp(info, walker, ilTile(x, y, z, nx, ny, nz), buf,
                                         ilTile(bx, by, bz, bnx, bny, bnz), cfg));
}

ilStatus ilMemoryImg::copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx,
                                  int sy, int sz, const ilConfig* cfg, int /*flags*/) {
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  brenmark::il::MemoryWalker walker;
  if (!memoryWalker(data_, info, &walker)) return setStatus(ilNotWritable);
  return setStatus(
      brenmark::il::copyOp(this, info, walker, ilTile(x, y, z, nx, ny, nz), src, sx, sy, sz, cfg));
}

ilStatus ilMemoryImg::fillTile3D(int x, int y, int z, int nx, int ny, int nz, const void* pixel,
                                 const ilConfig* cfg, const ilTile* exclude) {
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  brenmark::il::MemoryWalker walker;
  if (!memoryWalker(data_, info, &walker)) return setStatus(ilNotWritable);
  return setStatus(
      brenmark::il::fillOp(info, walker, ilTile(x, y, z, nx, ny, nz), pixel, cfg, exclude));
}

ilStatus ilMemoryImg::lockPageSet(ilLockRequest* requests, int /*mode*/, int count) {
  if (requests == nullptr || count < 0) return setStatus(ilInvalid);
  upToDate();
  const ilSize s = getSize();
  ilStatus result = ilOkay;
  for (int i = 0; i < count; ++i) {
    ilLockRequest& r = requests[i];
    r.page = nullptr;
    const bool inside = r.x >= 0 && r.y >= 0 && r.z >= 0 && r.x < s.x && r.y < s.y && r.z < s.z;
    if (data_ == nullptr || !inside) {
      r.status = data_ == nullptr ? ilNotWritable : ilInvalid;
    } else {
      if (sparePage_) {
        r.page = sparePage_.release();
        r.page->x = r.page->y = r.page->z = 0;
        r.page->c = s.c;
        r.page->setData(data_);
      } else {
        r.page = new (std::nothrow) ilPage(0, 0, 0, s.c, data_);
      }
      r.status = r.page != nullptr ? ilOkay : ilFailed;
    }
    if (r.status != ilOkay && result == ilOkay) result = r.status;
  }
  return setStatus(result);
}

ilStatus ilMemoryImg::unlockPageSet(ilLockRequest* requests, int count) {
  if (requests == nullptr || count < 0) return setStatus(ilInvalid);
  for (int i = 0; i < count; ++i) {
    ilPage* page = requests[i].page;
    requests[i].page = nullptr;
    if (page != nullptr && !sparePage_ && !page->isScratch()) {
      sparePage_.reset(page);
    } else {
      delete page;
    }
  }
  return setStatus(ilOkay);
}
