// Non-template parts of the generic tile operations: attribute snapshots,
// caller layouts, channel maps and coordinate-space mapping.
#include "il/il_tile_ops.h"

#include <memory>
#include <new>

namespace brenmark::il {

ilStatus infoOf(ilImage* img, ImageInfo* info) {
  img->upToDate();
  info->type = img->getDataType();
  info->order = img->getOrder();
  info->nc = img->getCsize();
  info->space = img->getCoordSpace();
  info->size = img->getSize();
  info->pageSize =
      ilSize(img->getPageSizeX(), img->getPageSizeY(), img->getPageSizeZ(), img->getPageSizeC());
  if (!transferableType(info->type)) return ilUnsupportedType;
  if (info->nc < 1 || info->nc > kIlMaxChannels) return ilInvalid;
  const ilPixel& fill = img->getFill();
  info->fill = (fill.getDataType() == info->type && fill.nc() == info->nc)
                   ? fill
                   : fill.converted(info->type, info->nc);
  info->dataBox = img->getDataBox();
  return ilOkay;
}

ilStatus callerLayout(const ImageInfo& info, const ilConfig* cfg, CallerLayout* out) {
  out->type = info.type;
  out->order = info.order;
  out->nc = info.nc;
  out->space = info.space;
  if (cfg != nullptr) {
    if (cfg->type != ilAnyType && cfg->type != 0) out->type = cfg->type;
    if (cfg->order != ilAnyOrder && cfg->order != 0) out->order = cfg->order;
    if (cfg->nchans > 0) out->nc = cfg->nchans;
    if (cfg->coordSpace != ilSpaceDefault) out->space = cfg->coordSpace;
  }
  if (!transferableType(out->type)) return ilUnsupportedType;
  if (out->order != ilInterleaved && out->order != ilSequential && out->order != ilSeparate)
    return ilInvalid;
  if (out->nc < 1 || out->nc > kIlMaxChannels) return ilInvalid;
  return ilOkay;
}

void readMap(const ImageInfo& info, const ilConfig* cfg, int callerChannels, int* map) {
  for (int j = 0; j < callerChannels; ++j) {
    const int m = cfg != nullptr ? cfg->imageChannel(j) : j;
    map[j] = m < 0 ? kSkip : (m >= info.nc ? kZero : m);
  }
}

void writeMap(const ImageInfo& info, const ilConfig* cfg, int callerChannels, int* map) {
  for (int k = 0; k < info.nc; ++k) map[k] = kSkip;
  for (int j = 0; j < callerChannels; ++j) {
    const int m = cfg != nullptr ? cfg->imageChannel(j) : j;
    if (m >= 0 && m < info.nc) map[m] = j;
  }
}

ilStatus mapToImage(const ImageInfo& info, ilCoordSpace from, ilTile* t) {
  if (from == ilSpaceDefault || from == info.space) return ilOkay;
  bool fx = false, fy = false;
  const ilStatus st = spaceFlips(from, info.space, &fx, &fy);
  if (st != ilOkay) return st;
  if (fx) t->x = info.size.x - t->x - t->nx;
  if (fy) t->y = info.size.y - t->y - t->ny;
  return ilOkay;
}

ilStatus makeFrame(const ImageInfo& info, const CallerLayout& layout, const void* buf,
                   const ilTile& btile, Frame* frame) {
  if (!makeDense(&frame->block, buf, layout.type, layout.order, layout.nc, btile.nx, btile.ny,
                 btile.nz))
    return ilInvalid;
  frame->tile = btile;
  if (layout.space == info.space) return ilOkay;
  bool fx = false, fy = false;
  const ilStatus st = spaceFlips(layout.space, info.space, &fx, &fy);
  if (st != ilOkay) return st;
  // A mirrored axis: the buffer's last column (row) is the image-space first.
  if (fx) {
    frame->block.flipX(btile.nx);
    frame->tile.x = info.size.x - btile.x - btile.nx;
  }
  if (fy) {
    frame->block.flipY(btile.ny);
    frame->tile.y = info.size.y - btile.y - btile.ny;
  }
  return ilOkay;
}

ilStatus resolveRequest(const ImageInfo& info, const ilTile& req, const void* buf,
                        const ilTile& btile, const ilConfig* cfg, Request* out) {
  out->tile = ilTile();
  if (buf == nullptr) return ilInvalid;
  if (req.empty()) return ilOkay;
  if (!btile.contains(req)) return ilInvalid;
  ilStatus st = callerLayout(info, cfg, &out->layout);
  if (st == ilOkay) st = makeFrame(info, out->layout, buf, btile, &out->frame);
  ilTile r = req;
  if (st == ilOkay) st = mapToImage(info, out->layout.space, &r);
  if (st == ilOkay) out->tile = r;
  return st;
}

ilConfig copyReadConfig(const ImageInfo& dst, const ilConfig* cfg) {
  int list[kIlMaxChannels];
  const int listed = cfg != nullptr ? (cfg->nchans > 0 ? cfg->nchans : dst.nc) : dst.nc;
  for (int j = 0; j < dst.nc; ++j) {
    if (cfg == nullptr)
      list[j] = j;
    else
      list[j] = j < listed ? cfg->imageChannel(j) : -1;
  }
  return ilConfig(dst.type, dst.order, dst.nc, list, 0, dst.space, ilModelDefault);
}

ilStatus copySelf(ilImage* img, const ImageInfo& info, const ilTile& region, int ox, int oy, int oz,
                  const ilConfig& rcfg) {
  const std::size_t bytes = denseBytes(info.type, info.nc, region.nx, region.ny, region.nz);
  if (bytes == 0) return ilFailed;
  std::unique_ptr<std::uint8_t[]> tmp(new (std::nothrow) std::uint8_t[bytes]);
  if (!tmp) return ilFailed;
  const ilTile& r = region;
  // Current pixels first, so channels the map skips keep their values.
  ilStatus st = img->getSubTile3D(r.x, r.y, r.z, r.nx, r.ny, r.nz, tmp.get(), r.x, r.y, r.z, r.nx,
                                  r.ny, r.nz, nullptr);
  if (st != ilOkay) return st;
  st = img->getSubTile3D(r.x + ox, r.y + oy, r.z + oz, r.nx, r.ny, r.nz, tmp.get(), r.x + ox,
                         r.y + oy, r.z + oz, r.nx, r.ny, r.nz, &rcfg);
  if (st != ilOkay) return st;
  return img->setSubTile3D(r.x, r.y, r.z, r.nx, r.ny, r.nz, tmp.get(), r.x, r.y, r.z, r.nx, r.ny,
                           r.nz, nullptr);
}

}  // namespace brenmark::il
