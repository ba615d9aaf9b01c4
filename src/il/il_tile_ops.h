// The generic tile operations (read, write, fill, copy) written once over a
// "walker" that hands out the image's pixel memory piece by piece: the whole
// block of a memory image at once, or one locked page at a time.
#pragma once

#include <brenmark/il_image.h>

#include "il/il_transfer.h"

namespace brenmark::il {

// An image's attributes, taken once per operation (after resetCheck).
struct ImageInfo {
  ilType type = ilAnyType;
  ilOrder order = ilInterleaved;
  int nc = 0;
  ilCoordSpace space = ilUpperLeft;
  ilSize size;
  ilSize pageSize;
  ilPixel fill;    // in the image's type and channel count
  ilTile dataBox;  // where the image holds pixels; elsewhere it reads as fill
};
ilStatus infoOf(ilImage* img, ImageInfo* info);

// The layout of the caller's pixels: a configuration's fields with the
// image's own values filled in where it leaves them open.
struct CallerLayout {
  ilType type;
  ilOrder order;
  int nc;
  ilCoordSpace space;
};
ilStatus callerLayout(const ImageInfo& info, const ilConfig* cfg, CallerLayout* out);

// Read map: caller channel j takes image channel map[j] (kZero past the
// image's channels, kSkip for negative entries).
void readMap(const ImageInfo& info, const ilConfig* cfg, int callerChannels, int* map);
// Write map: image channel k takes caller channel map[k] (kSkip when none).
void writeMap(const ImageInfo& info, const ilConfig* cfg, int callerChannels, int* map);

// Maps a tile from space `from` (ilSpaceDefault: the image's own) into the
// image's own space.
ilStatus mapToImage(const ImageInfo& info, ilCoordSpace from, ilTile* t);

// The caller's buffer seen from the image's space: block.at(p - tile) is the
// buffer pixel of image-space point p.
struct Frame {
  Block block;
  ilTile tile;
};
ilStatus makeFrame(const ImageInfo& info, const CallerLayout& layout, const void* buf,
                   const ilTile& btile, Frame* frame);

// A caller's request for `req` out of (or into) its buffer `buf` covering
// `btile`: the caller's layout, the frame over the buffer and the request in
// the image's own space. ilInvalid without a buffer or when the buffer does
// not hold the request; ilOkay with an empty tile when there is nothing to
// move.
struct Request {
  CallerLayout layout;
  Frame frame;
  ilTile tile;
};
ilStatus resolveRequest(const ImageInfo& info, const ilTile& req, const void* buf,
                        const ilTile& btile, const ilConfig* cfg, Request* out);

// Walker over a memory image: one chunk, the whole region.
struct MemoryWalker {
  Block data;  // dense block of the data box
  void* mem;
  ilTile box;
  template <class Fn>
  ilStatus walk(const ilTile& region, bool /*write*/, Fn&& fn) const {
    return fn(region, data.at(region.x - box.x, region.y - box.y, region.z - box.z), mem, box);
  }
};

// Walker over an image's pages through lockPageSet / unlockPageSet.
struct PageWalker {
  ilImage* img;
  const ImageInfo* info;
  template <class Fn>
  ilStatus walk(const ilTile& region, bool write, Fn&& fn) const {
    const int px = info->pageSize.x > 0 ? info->pageSize.x : 128;
    const int py = info->pageSize.y > 0 ? info->pageSize.y : 128;
    const int pz = info->pageSize.z > 0 ? info->pageSize.z : 1;
    const int x1 = region.x + region.nx, y1 = region.y + region.ny, z1 = region.z + region.nz;
    for (int z0 = floorDiv(region.z, pz) * pz; z0 < z1; z0 += pz) {
      for (int y0 = floorDiv(region.y, py) * py; y0 < y1; y0 += py) {
        for (int x0 = floorDiv(region.x, px) * px; x0 < x1; x0 += px) {
          const ilTile chunk(region, ilTile(x0, y0, z0, px, py, pz));
          if (chunk.empty()) continue;
          ilLockRequest req;
          req.init(chunk.x, chunk.y, chunk.z);
          ilStatus st = img->lockPageSet(&req, write ? ilLockWrite : ilLockRead, 1);
          ilPage* page = req.page;
          if (st == ilOkay && page == nullptr) st = ilFailed;
          if (st == ilOkay) {
            const ilTile pageTile(page->x, page->y, page->z, px, py, pz);
            Block pb;
            if (!pageTile.contains(chunk) ||
                !makeDense(&pb, page->getData(), info->type, info->order, info->nc, px, py, pz))
              st = ilFailed;
            else
              st =
                  fn(chunk, pb.at(chunk.x - pageTile.x, chunk.y - pageTile.y, chunk.z - pageTile.z),
                     page->getData(), pageTile);
          }
          if (page != nullptr) img->unlockPageSet(&req, 1);
          if (st != ilOkay) return st;
        }
      }
    }
    return ilOkay;
  }
};

// Walker for images without storage: never called (their data box is empty).
struct NullWalker {
  template <class Fn>
  ilStatus walk(const ilTile&, bool, Fn&&) const {
    return ilNotWritable;
  }
};

template <class Walker>
ilStatus readOp(const ImageInfo& info, const Walker& walker, const ilTile& req, void* buf,
                const ilTile& btile, const ilConfig* cfg) {
  Request q;
  ilStatus st = resolveRequest(info, req, buf, btile, cfg, &q);
  if (st != ilOkay || q.tile.empty()) return st;
  const Frame& frame = q.frame;
  const ilTile& r = q.tile;
  const CallerLayout& layout = q.layout;
  int map[kIlMaxChannels];
  readMap(info, cfg, layout.nc, map);

  ilTile outside[6];
  const int n = subtractTile(r, info.dataBox, outside);
  if (n > 0) {
    Block fill;
    if (!makeConstant(&fill, info.fill.elems(), info.type, info.nc)) return ilUnsupportedType;
    for (int i = 0; i < n; ++i) {
      const ilTile& p = outside[i];
      st = transfer(frame.block.at(p.x - frame.tile.x, p.y - frame.tile.y, p.z - frame.tile.z),
                    fill, p.nx, p.ny, p.nz, map);
      if (st != ilOkay) return st;
    }
  }
  const ilTile inside(r, info.dataBox);
  if (inside.empty()) return ilOkay;
  return walker.walk(inside, false, [&](const ilTile& c, const Block& img, void*, const ilTile&) {
    return transfer(frame.block.at(c.x - frame.tile.x, c.y - frame.tile.y, c.z - frame.tile.z), img,
                    c.nx, c.ny, c.nz, map);
  });
}

template <class Walker>
ilStatus writeOp(const ImageInfo& info, const Walker& walker, const ilTile& req, const void* buf,
                 const ilTile& btile, const ilConfig* cfg) {
  Request q;
  ilStatus st = resolveRequest(info, req, buf, btile, cfg, &q);
  if (st != ilOkay || q.tile.empty()) return st;
  const Frame& frame = q.frame;
  const ilTile& r = q.tile;
  const CallerLayout& layout = q.layout;
  int map[kIlMaxChannels];
  writeMap(info, cfg, layout.nc, map);
  const ilTile region(r, info.dataBox);
  if (region.empty()) return ilOkay;
  return walker.walk(region, true, [&](const ilTile& c, const Block& img, void*, const ilTile&) {
    return transfer(img, frame.block.at(c.x - frame.tile.x, c.y - frame.tile.y, c.z - frame.tile.z),
                    c.nx, c.ny, c.nz, map);
  });
}

template <class Walker>
ilStatus fillOp(const ImageInfo& info, const Walker& walker, const ilTile& req, const void* pixel,
                const ilConfig* cfg, const ilTile* exclude) {
  if (pixel == nullptr) return ilInvalid;
  if (req.empty()) return ilOkay;
  CallerLayout layout;
  ilStatus st = callerLayout(info, cfg, &layout);
  if (st != ilOkay) return st;
  Block value;
  if (!makeConstant(&value, pixel, layout.type, layout.nc)) return ilUnsupportedType;
  ilTile r = req;
  if ((st = mapToImage(info, layout.space, &r)) != ilOkay) return st;
  int map[kIlMaxChannels];
  writeMap(info, cfg, layout.nc, map);
  const ilTile region(r, info.dataBox);
  ilTile pieces[6];
  int n = 0;
  if (exclude != nullptr) {
    ilTile ex = *exclude;
    if ((st = mapToImage(info, layout.space, &ex)) != ilOkay) return st;
    n = subtractTile(region, ex, pieces);
  } else if (!region.empty()) {
    pieces[n++] = region;
  }
  for (int i = 0; i < n; ++i) {
    st = walker.walk(pieces[i], true, [&](const ilTile& c, const Block& img, void*, const ilTile&) {
      return transfer(img, value, c.nx, c.ny, c.nz, map);
    });
    if (st != ilOkay) return st;
  }
  return ilOkay;
}

// The read configuration through which a copy asks the source for pixels laid
// out exactly as the destination's memory (see ilImage::copyTileCfg).
ilConfig copyReadConfig(const ImageInfo& dst, const ilConfig* cfg);
// A copy whose source is the destination itself: staged through a scratch
// block so overlapping rectangles copy as if the source were read first.
ilStatus copySelf(ilImage* img, const ImageInfo& info, const ilTile& region, int ox, int oy, int oz,
                  const ilConfig& rcfg);

// Copy of `dst` tile `req` from `src` at (sx, sy, sz): the source writes
// straight into the destination's memory through its own getSubTile3D.
template <class Walker>
ilStatus copyOp(ilImage* dstImg, const ImageInfo& info, const Walker& walker, const ilTile& req,
                ilImage* src, int sx, int sy, int sz, const ilConfig* cfg) {
  if (src == nullptr) return ilInvalid;
  if (req.empty()) return ilOkay;
  const ilCoordSpace named = cfg != nullptr ? cfg->coordSpace : ilSpaceDefault;
  ilTile d = req;
  ilStatus st = mapToImage(info, named, &d);
  if (st != ilOkay) return st;
  // The source rectangle, expressed in the destination's orientation.
  ilTile s(sx, sy, sz, req.nx, req.ny, req.nz);
  if ((st = src->mapTile(s, named, info.space)) != ilOkay) return st;
  const int ox = s.x - d.x, oy = s.y - d.y, oz = s.z - d.z;
  const ilConfig rcfg = copyReadConfig(info, cfg);
  const ilTile region(d, info.dataBox);
  if (region.empty()) return ilOkay;
  if (src == dstImg) return copySelf(dstImg, info, region, ox, oy, oz, rcfg);
  return walker.walk(region, true, [&](const ilTile& c, const Block&, void* mem, const ilTile& pt) {
    return src->getSubTile3D(c.x + ox, c.y + oy, c.z + oz, c.nx, c.ny, c.nz, mem, pt.x + ox,
                             pt.y + oy, pt.z + oz, pt.nx, pt.ny, pt.nz, &rcfg);
  });
}

}  // namespace brenmark::il
