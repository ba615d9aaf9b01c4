// ilConstImg: one value everywhere; the value is the image's fill.
#include <brenmark/il_memory_img.h>

#include "il/il_tile_ops.h"

#include <new>

using brenmark::il::ImageInfo;

ilConstImg::ilConstImg() {
  setSize(ilSize(1, 1, 1, 1));
  setPageSize(1, 1, 1, 1);
}

ilConstImg::ilConstImg(const ilPixel& value) : ilConstImg() {
  ilConstImg::setFill(value);
}

ilConstImg::~ilConstImg() = default;

bool ilConstImg::derivesFrom(int classId) const {
  return classId == ilConstImgClassId || ilImage::derivesFrom(classId);
}

const char* ilConstImg::getClassName(int level) const {
  return level == 0 ? "ilConstImg" : ilImage::getClassName(level - 1);
}

const char* ilConstImg::getDefaultDescription() const {
  return "Constant Image";
}

int ilConstImg::getClassId() const {
  return ilConstImgClassId;
}

ilStatus ilConstImg::setFill(const ilPixel& value) {
  if (value.nc() == 0) return setStatus(ilInvalid);
  // The layout follows the value; the fill is then stored unconverted.
  setDataType(value.getDataType());
  setSize(ilSize(1, 1, 1, value.nc()));
  setPageSize(1, 1, 1, value.nc());
  return setStatus(ilImage::setFill(value));
}

ilStatus ilConstImg::getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                                  int by, int bz, int bnx, int bny, int bnz, const ilConfig* cfg) {
  ImageInfo info;
  ilStatus st = brenmark::il::infoOf(this, &info);
  if (st != ilOkay) return setStatus(st);
  info.dataBox = ilTile();  // everything reads as the value
  return setStatus(brenmark::il::readOp(info, brenmark::il::NullWalker{},
                                        ilTile(x, y, z, nx, ny, nz), buf,
                                        ilTile(bx, by, bz, bnx, bny, bnz), cfg));
}

ilStatus ilConstImg::setSubTile3D(int, int, int, int, int, int, const void*, int, int, int, int,
                                  int, int, const ilConfig*) {
  return setStatus(ilNotWritable);
}

ilStatus ilConstImg::copyTileCfg(int, int, int, int, int, int, ilImage*, int, int, int,
                                 const ilConfig*, int) {
  return setStatus(ilNotWritable);
}

ilStatus ilConstImg::fillTile3D(int, int, int, int, int, int, const void*, const ilConfig*,
                                const ilTile*) {
  return setStatus(ilNotWritable);
}

bool ilConstImg::hasPages() const {
  return true;
}

ilStatus ilConstImg::lockPageSet(ilLockRequest* requests, int mode, int count) {
  if (requests == nullptr || count < 0) return setStatus(ilInvalid);
  upToDate();
  ilStatus result = ilOkay;
  for (int i = 0; i < count; ++i) {
    ilLockRequest& r = requests[i];
    r.page = nullptr;
    if ((mode & ilLockWrite) != 0) {
      r.status = ilNotWritable;
    } else {
      // Every one-pixel page holds the value.
      r.page = new (std::nothrow)
          ilPage(r.x, r.y, r.z, getCsize(), const_cast<void*>(getFill().elems()));
      r.status = r.page != nullptr ? ilOkay : ilFailed;
    }
    if (r.status != ilOkay && result == ilOkay) result = r.status;
  }
  return setStatus(result);
}

ilStatus ilConstImg::unlockPageSet(ilLockRequest* requests, int count) {
  if (requests == nullptr || count < 0) return setStatus(ilInvalid);
  for (int i = 0; i < count; ++i) {
    delete requests[i].page;
    requests[i].page = nullptr;
  }
  return setStatus(ilOkay);
}
