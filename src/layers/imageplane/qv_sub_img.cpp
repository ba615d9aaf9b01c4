// ilQVSubImg: a window onto another image.
#include <brenmark/qv_sub_img.h>

#include <algorithm>

ilQVSubImg::ilQVSubImg(ilImage* input, int x, int y, int z) : ox_(x), oy_(y), oz_(z) {
  setInput(input);
}

ilQVSubImg::ilQVSubImg(ilImage* input, int x, int y, int z, int channels)
    : ox_(x), oy_(y), oz_(z), channels_(std::max(channels, 0)) {
  setInput(input);
}

ilQVSubImg::ilQVSubImg(ilImage* input, int x, int y, int z, const ilSize& size, const ilConfig* cfg)
    : ox_(x), oy_(y), oz_(z), sizeGiven_(true) {
  if (cfg != nullptr) cfg_ = *cfg;
  setSize(size);
  setInput(input);
}

ilQVSubImg::~ilQVSubImg() = default;

bool ilQVSubImg::derivesFrom(int classId) const {
  return classId == ilQVSubImgClassId || ilImage::derivesFrom(classId);
}

const char* ilQVSubImg::getClassName(int level) const {
  return level == 0 ? "ilQVSubImg" : ilImage::getClassName(level - 1);
}

const char* ilQVSubImg::getDefaultDescription() const {
  return "QV SubImage";
}

int ilQVSubImg::getClassId() const {
  return ilQVSubImgClassId;
}

void ilQVSubImg::setOrigin(int x, int y, int z) {
  ox_ = x;
  oy_ = y;
  oz_ = z;
  setAltered(ilInputAltered);
}

void ilQVSubImg::getOrigin(int& x, int& y, int& z) const {
  x = ox_;
  y = oy_;
  z = oz_;
}

void ilQVSubImg::setViewSize(int nx, int ny) {
  sizeGiven_ = true;
  ilSize s = getSize();
  s.x = nx;
  s.y = ny;
  setSize(s);
}

void ilQVSubImg::setChannelConfig(const ilConfig* cfg) {
  if (cfg != nullptr) {
    cfg_ = *cfg;
  } else {
    cfg_.reset();
  }
  setAltered(ilTypeAltered | ilOrderAltered | ilSizeAltered);
}

int ilQVSubImg::inputChannel_(int k) const {
  return cfg_ ? cfg_->imageChannel(k) : k;
}

void ilQVSubImg::reset() {
  ilImage::reset();
  ilImage* in = getInput();
  if (in == nullptr) return;
  // A size set from outside since the last reset counts as given.
  if (!sizeGiven_ && derivedSize_.x > 0 && getSize() != derivedSize_) sizeGiven_ = true;
  const ilSize is = in->getSize();
  const bool cfgType = cfg_ && cfg_->type != ilAnyType;
  setDataType(cfgType ? cfg_->type : in->getDataType());
  setOrder(cfg_ && cfg_->order != ilAnyOrder ? cfg_->order : in->getOrder());
  setCoordSpace(cfg_ && cfg_->coordSpace != ilSpaceDefault ? cfg_->coordSpace
                                                           : in->getCoordSpace());
  setColorModel(cfg_ && cfg_->colorModel != ilModelDefault ? cfg_->colorModel
                                                           : in->getColorModel());
  int nc = is.c;
  if (cfg_ && cfg_->nchans > 0) {
    nc = cfg_->nchans;
  } else if (channels_ > 0) {
    nc = channels_;
  }
  ilSize s = getSize();
  if (!sizeGiven_) {
    s = ilSize(std::max(is.x - ox_, 0), std::max(is.y - oy_, 0), std::max(is.z - oz_, 0), nc);
    derivedSize_ = s;
  }
  s.c = nc;
  setSize(s);
  // The fill, channel by channel through the view's map.
  const ilPixel& inFill = in->getFill();
  ilPixel fill(getDataType(), nc);
  for (int k = 0; k < nc && !fill.empty(); ++k) {
    const int c = inputChannel_(k);
    fill.setElem(c >= 0 ? inFill.getElem(c) : 0.0, k);
  }
  setFill(fill);
}

ilStatus ilQVSubImg::toInput_(ilImage* in, ilTile& t, ilCoordSpace space) {
  const ilCoordSpace own = getCoordSpace();
  ilStatus st = mapTile(t, space, own);
  if (st != ilOkay) return st;
  t.x += ox_;
  t.y += oy_;
  t.z += oz_;
  // Each flip is applied once within the view's size and once within the
  // input's: together a shift, so the caller's buffer keeps its orientation.
  return in->mapTile(t, own, space);
}

ilConfig ilQVSubImg::composeReadWrite_(ilImage* in, const ilConfig* cfg, ilCoordSpace space) {
  const int viewNc = getCsize();
  const int callerNc = cfg != nullptr && cfg->nchans > 0 ? cfg->nchans : viewNc;
  int list[kIlMaxChannels];
  for (int i = 0; i < callerNc && i < kIlMaxChannels; ++i) {
    const int k = cfg != nullptr ? cfg->imageChannel(i) : i;
    if (k < 0) {
      list[i] = -1;
    } else if (k >= viewNc) {
      list[i] = in->getCsize();  // a channel the input lacks: reads 0, writes nowhere
    } else {
      list[i] = inputChannel_(k);
    }
  }
  const ilType type = cfg != nullptr && cfg->type != ilAnyType ? cfg->type : getDataType();
  const ilOrder order = cfg != nullptr && cfg->order != ilAnyOrder ? cfg->order : getOrder();
  return ilConfig(type, order, callerNc, list, 0, space);
}

ilStatus ilQVSubImg::getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                                  int by, int bz, int bnx, int bny, int bnz, const ilConfig* cfg) {
  ilImage* in = getInput();
  if (in == nullptr) return setStatus(ilInvalid);
  upToDate();
  const ilCoordSpace space =
      cfg != nullptr && cfg->coordSpace != ilSpaceDefault ? cfg->coordSpace : getCoordSpace();
  ilTile t(x, y, z, nx, ny, nz), b(bx, by, bz, bnx, bny, bnz);
  ilStatus st = toInput_(in, t, space);
  if (st == ilOkay) st = toInput_(in, b, space);
  if (st != ilOkay) return setStatus(st);
  const ilConfig composed = composeReadWrite_(in, cfg, space);
  return setStatus(in->getSubTile3D(t.x, t.y, t.z, t.nx, t.ny, t.nz, buf, b.x, b.y, b.z, b.nx, b.ny,
                                    b.nz, &composed));
}

ilStatus ilQVSubImg::setSubTile3D(int x, int y, int z, int nx, int ny, int nz, const void* buf,
                                  int bx, int by, int bz, int bnx, int bny, int bnz,
                                  const ilConfig* cfg) {
  ilImage* in = getInput();
  if (in == nullptr) return setStatus(ilInvalid);
  upToDate();
  const ilCoordSpace space =
      cfg != nullptr && cfg->coordSpace != ilSpaceDefault ? cfg->coordSpace : getCoordSpace();
  ilTile t(x, y, z, nx, ny, nz), b(bx, by, bz, bnx, bny, bnz);
  ilStatus st = toInput_(in, t, space);
  if (st == ilOkay) st = toInput_(in, b, space);
  if (st != ilOkay) return setStatus(st);
  const ilConfig composed = composeReadWrite_(in, cfg, space);
  return setStatus(in->setSubTile3D(t.x, t.y, t.z, t.nx, t.ny, t.nz, buf, b.x, b.y, b.z, b.nx, b.ny,
                                    b.nz, &composed));
}

ilStatus ilQVSubImg::copyTileCfg(int x, int y, int z, int nx, int ny, int nz, ilImage* src, int sx,
                                 int sy, int sz, const ilConfig* cfg, int flags) {
  ilImage* in = getInput();
  if (in == nullptr) return setStatus(ilInvalid);
  upToDate();
  const ilCoordSpace space =
      cfg != nullptr && cfg->coordSpace != ilSpaceDefault ? cfg->coordSpace : getCoordSpace();
  ilTile t(x, y, z, nx, ny, nz);
  const ilStatus st = toInput_(in, t, space);
  if (st != ilOkay) return setStatus(st);
  // Copies map destination channels: input channel j (shown as view channel
  // i) takes the source channel the caller names for i; input channels the
  // view does not show are left alone.
  const int viewNc = getCsize();
  const int n = cfg != nullptr && cfg->nchans > 0 ? std::min(cfg->nchans, viewNc) : viewNc;
  int list[kIlMaxChannels];
  std::fill(list, list + kIlMaxChannels, -1);
  for (int i = 0; i < n; ++i) {
    const int j = inputChannel_(i);
    if (j >= 0 && j < kIlMaxChannels) list[j] = cfg != nullptr ? cfg->imageChannel(i) : i;
  }
  const int inNc = std::min(in->getCsize(), kIlMaxChannels);
  const ilType type = cfg != nullptr ? cfg->type : ilAnyType;
  const ilOrder order = cfg != nullptr ? cfg->order : ilAnyOrder;
  // Without a named space each rectangle stays in its own image's space.
  const bool named = cfg != nullptr && cfg->coordSpace != ilSpaceDefault;
  const ilCoordSpace copySpace = named || space != in->getCoordSpace() ? space : ilSpaceDefault;
  const ilConfig composed(type, order, inNc, list, 0, copySpace);
  return setStatus(
      in->copyTileCfg(t.x, t.y, t.z, t.nx, t.ny, t.nz, src, sx, sy, sz, &composed, flags));
}
