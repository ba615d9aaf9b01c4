// ILStampImg: lazy tables and pixels of one dab image. Coverage comes from
// the distance tables (untransformed dabs: look-ups only) or from a walk
// through the inverse of the geometry matrix (everything else); mask, noise
// and colour follow per row.
#include <brenmark/stamp_image.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <brenmark/generic_function.h>
#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/stamp.h>

#include "brush/profile_tables.h"
#include "brush/stamp_rows.h"
#include "brush/stamp_tables.h"

namespace {

using namespace brenmark::brush;

// The matrix walk scales the unit circle to this many profile steps: the
// float written 0x447F3FE0.
constexpr float kWalkScale = 1020.998f;

ilImage* ImageOf(ImagePaintObj* obj) {
  return obj != nullptr ? obj->image() : nullptr;
}

// Reads block (0, 0, w, h) of `img` as `channels` 8-bit channels per pixel,
// rows in lower-left order like the dab image.
bool ReadBlock(ilImage* img, int w, int h, int channels, std::vector<std::uint8_t>& out) {
  out.assign(static_cast<std::size_t>(w) * h * channels, 0);
  const ilConfig cfg(ilUChar, ilInterleaved, channels, nullptr, 0, ilLowerLeft);
  return img->getTile(0, 0, w, h, out.data(), &cfg) == ilOkay;
}

bool IsOneByOne(ilImage* img) {
  return img->getXsize() == 1 && img->getYsize() == 1;
}

}  // namespace

// The images a generation reads, fetched once per generation.
struct ILStampImg::Sources {
  ilImage* colour = nullptr;
  ilImage* mask = nullptr;
};

ILStampImg::ILStampImg(Stamp* stamp)
    : ilQVMemoryImg(nullptr, ilSize(1, 1, 1, 1), ilUChar), stamp_(stamp) {
  stamp_->ref();
  stamp_->attach(this);
  Layout_();
}

ILStampImg::~ILStampImg() {
  if (stamp_ != nullptr) {
    stamp_->detach(this);
    stamp_->unref();
  }
  setDataPtr(nullptr);
}

bool ILStampImg::derivesFrom(int classId) const {
  return classId == ILStampImgClassId || ilQVMemoryImg::derivesFrom(classId);
}

const char* ILStampImg::getClassName(int level) const {
  return level == 0 ? "ILStampImg" : ilQVMemoryImg::getClassName(level - 1);
}

const char* ILStampImg::getDefaultDescription() const {
  return "IL Stamp";
}

int ILStampImg::getClassId() const {
  return ILStampImgClassId;
}

void ILStampImg::reset() {
  if (layoutStale_) Layout_();
  ilQVMemoryImg::reset();
}

ilStatus ILStampImg::getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx,
                                  int by, int bz, int bnx, int bny, int bnz, const ilConfig* cfg) {
  if (Update() != ilOkay) return setStatus(ilInvalid);
  return ilQVMemoryImg::getSubTile3D(x, y, z, nx, ny, nz, buf, bx, by, bz, bnx, bny, bnz, cfg);
}

ilStatus ILStampImg::lockPageSet(ilLockRequest* requests, int mode, int count) {
  if (Update() != ilOkay) {
    for (int i = 0; requests != nullptr && i < count; ++i) {
      requests[i].page = nullptr;
      requests[i].status = ilInvalid;
    }
    return setStatus(ilInvalid);
  }
  return ilQVMemoryImg::lockPageSet(requests, mode, count);
}

void ILStampImg::SetPhase(int px, int py) {
  px &= 3;
  py &= 3;
  if (px == phaseX_ && py == phaseY_) return;
  phaseX_ = px;
  phaseY_ = py;
  pixelsStale_ = true;
}

const StampGeometry& ILStampImg::Geometry() {
  upToDate();
  if (layoutStale_) Layout_();
  return geom_;
}

void ILStampImg::update(Observable* changed) {
  if (changed != static_cast<Observable*>(stamp_)) return;
  switch (stamp_->LastChange()) {
    case Stamp::kRadiusChanged:
      radiusStale_ = layoutStale_ = true;
      break;
    case Stamp::kProfileChanged:
      profileStale_ = layoutStale_ = true;
      break;
    case Stamp::kColorChanged:
      colourStale_ = layoutStale_ = true;
      break;
    case Stamp::kOpacityChanged:
      opacityStale_ = true;
      break;
    case Stamp::kAspectChanged:
    case Stamp::kAngleChanged:
    case Stamp::kTransformChanged:
      layoutStale_ = true;
      break;
    case Stamp::kMaskChanged:
    case Stamp::kPaintSourceChanged:
      break;
    case Stamp::kEverything:
      radiusStale_ = profileStale_ = colourStale_ = opacityStale_ = layoutStale_ = true;
      break;
    default:
      return;  // quality, kind, offset: no pixel depends on them
  }
  pixelsStale_ = true;
  if (layoutStale_) setAltered(ilDataAltered);
}

void ILStampImg::disconnect(Observable* dying) {
  // The image holds a reference on its stamp, which therefore outlives it;
  // a stamp dying anyway leaves an image that keeps its last pixels.
  if (dying == static_cast<Observable*>(stamp_)) stamp_ = nullptr;
}

void ILStampImg::Layout_() {
  layoutStale_ = false;
  if (stamp_ == nullptr) return;
  geom_ = ComputeStampGeometry(*stamp_);
  ilImage* colour = ImageOf(stamp_->GetColorSource());
  int channels = colour != nullptr ? colour->getCsize() : 1;
  channels = std::clamp(channels, 1, kIlMaxChannels);
  const std::size_t bytes = static_cast<std::size_t>(geom_.width) * geom_.height * channels;
  if (bytes != pixelBytes_) {
    pixels_.reset(new std::uint8_t[bytes]);
    pixelBytes_ = bytes;
  }
  channels_ = channels;
  setSize(ilSize(geom_.width, geom_.height, 1, channels));
  setPageSize(geom_.width, geom_.height, 1, channels);
  setDataPtr(pixels_.get());
  const ilPixel& fill = ilImage::getFill();
  if (fill.nc() != channels || fill.getDataType() != ilUChar) setFill(ilPixel(ilUChar, channels));
  pixelsStale_ = true;
}

ilStatus ILStampImg::Update() {
  upToDate();
  if (layoutStale_) Layout_();
  if (!pixelsStale_) return status_;
  status_ = Generate_();
  if (!keepTables_) {
    // Built again from the stamp if the pixels go stale.
    tables_.reset();
    std::vector<std::uint8_t>().swap(colourTable_);
    colourStale_ = true;
  }
  return status_;
}

struct ILStampImg::Tables {
  std::uint16_t radius[kRadiusTableEntries];
  std::uint16_t coverage[kCoverageEntries];
};

void ILStampImg::Tables_() {
  if (tables_ == nullptr) {
    // Not cleared: both tables are written whole before they are read.
    tables_.reset(new Tables);
    radiusStale_ = true;
  }
  const bool rebuild = radiusStale_ || profileStale_ || opacityStale_;
  if (radiusStale_) {
    float r = stamp_->GetRadius();
    tableSize_ = BuildRadiusTable(r, tables_->radius);
    radiusStale_ = false;
  }
  if (profileStale_) {
    GenericFunction* f = stamp_->GetProfile();
    profile_ = f != nullptr ? ProfileTableCache::Shared().Lookup(*f) : nullptr;
    profileStale_ = false;
  }
  if (opacityStale_) {
    level_ = OpacityLevel(stamp_->GetOpacity());
    opacityStale_ = false;
  }
  if (!rebuild) return;
  // Entry i = profile row[level][radius table[i]]; the entries beyond the
  // 1024 distance steps stay 0 (outside the brush).
  std::uint16_t* const coverage = tables_->coverage;
  std::fill(coverage, coverage + kCoverageEntries, std::uint16_t{0});
  if (profile_ == nullptr) return;
  const std::uint16_t* row = profile_->row(level_);
  for (int i = 0; i < kRadiusTableEntries; ++i) coverage[i] = row[tables_->radius[i]];
}

void ILStampImg::ColourTable_(Sources& src) {
  colourStale_ = false;
  colourTable_.clear();
  if (src.colour == nullptr || !IsOneByOne(src.colour)) return;
  std::uint8_t colour[kIlMaxChannels] = {};
  const ilConfig cfg(ilUChar, ilInterleaved, channels_);
  if (src.colour->getTile(0, 0, 1, 1, colour, &cfg) != ilOkay) return;
  // Row a, channel k = trunc(colour_k * a / 255).
  colourTable_.assign(static_cast<std::size_t>(256) * channels_, 0);
  for (int a = 0; a < 256; ++a)
    for (int k = 0; k < channels_; ++k)
      colourTable_[static_cast<std::size_t>(a) * channels_ + k] =
          static_cast<std::uint8_t>(colour[k] * a / 255);
}

void ILStampImg::CoverageRowFromTables_(int row, std::uint16_t* out) const {
  StampRows().coverage_from_tables(TableRow_(row, nullptr), out);
}

StampTableRow ILStampImg::TableRow_(int row, const std::uint8_t* noise) const {
  const DistanceTables& d = DistanceTables::Get();
  const int first = kDistanceCentre - geom_.originX;
  const int tableRow = first + row;
  const std::uint8_t* delta = d.DeltaRow(phaseX_, phaseY_, tableRow);
  return StampTableRow{d.BaseRow(tableRow) + first, delta != nullptr ? delta + first : nullptr,
                       tables_->coverage, noise, geom_.width};
}

void ILStampImg::CoverageRowFromMatrix_(int row, std::uint16_t* out) const {
  const std::uint16_t* profile = profile_ != nullptr ? profile_->row(level_) : nullptr;
  const int w = geom_.width;
  if (profile == nullptr) {
    std::fill(out, out + w, std::uint16_t{0});
    return;
  }
  // (u, v) = 1020.998 K^-1 p, p the pixel relative to the phase-shifted
  // centre; walked along the row by adding the inverse's first column.
  const float* k = geom_.k;
  const float det = k[0] * k[3] - k[1] * k[2];
  const float s = kWalkScale / det;
  const float m00 = k[3] * s, m01 = -k[1] * s;
  const float m10 = -k[2] * s, m11 = k[0] * s;
  const float px = static_cast<float>(-(w / 2)) - static_cast<float>(phaseX_) * 0.25f;
  const float py = static_cast<float>(row - geom_.height / 2) - static_cast<float>(phaseY_) * 0.25f;
  float u = m00 * px + m01 * py;
  float v = m10 * px + m11 * py;
  constexpr float kLimit = kWalkScale * kWalkScale;
  for (int c = 0; c < w; ++c, u += m00, v += m10) {
    const float d2 = u * u + v * v;
    // Written so that NaN lands outside too.
    if (!(d2 < kLimit)) {
      out[c] = 0;
      continue;
    }
    out[c] = profile[static_cast<int>(FastSqrt(d2) + 0.5f)];
  }
}

ilStatus ILStampImg::Generate_() {
  pixelsStale_ = false;
  ++generations_;
  std::uint8_t* const block = pixels_.get();
  const auto clear = [&] { std::fill(block, block + pixelBytes_, std::uint8_t{0}); };
  if (stamp_ == nullptr) {
    clear();
    return ilInvalid;
  }
  Sources src;
  src.colour = ImageOf(stamp_->GetColorSource());
  src.mask = ImageOf(stamp_->GetMaskSource());
  if (src.colour == nullptr) {
    clear();
    return ilInvalid;
  }
  Tables_();
  if (colourStale_) ColourTable_(src);
  const int w = geom_.width, h = geom_.height, c = channels_;
  const bool constant = !colourTable_.empty();
  std::vector<std::uint8_t> colour, mask;
  if (!constant && !ReadBlock(src.colour, w, h, c, colour)) {
    clear();
    return ilInvalid;
  }
  if (src.mask != nullptr && !ReadBlock(src.mask, w, h, 1, mask)) mask.clear();
  if (geom_.singular) {
    clear();
    return ilOkay;
  }

  const std::uint8_t* noise = NoiseTable(stamp_->HasNoise());
  int& cursor = NoiseCursor();
  const StampRowFunctions& rows = StampRows();
  // The common dab: untransformed, constant colour, no mask: fused rows.
  const bool tables = StampTablesServe(geom_, tableSize_);
  const bool fused = tables && constant && mask.empty() && (c == 1 || c == 4);
  std::vector<std::uint16_t> cov(static_cast<std::size_t>(w));
  std::vector<std::uint8_t> covBytes(static_cast<std::size_t>(w));
  const bool abgr = c == 4 && src.colour->getColorModel() == ilABGR;
  std::uint32_t colour4[256];
  if (fused && c == 4) std::memcpy(colour4, colourTable_.data(), sizeof colour4);
  for (int r = 0; r < h; ++r) {
    if (cursor > kNoiseRowLimit) cursor -= kNoiseStepBack;
    std::uint8_t* out = block + static_cast<std::size_t>(r) * w * c;
    if (fused) {
      const StampTableRow job = TableRow_(r, noise + cursor);
      if (c == 4)
        rows.colour4_from_tables(job, colour4, reinterpret_cast<std::uint32_t*>(out));
      else
        rows.colour1_from_tables(job, colourTable_.data(), out);
      cursor += w;
      continue;
    }
    if (tables)
      CoverageRowFromTables_(r, cov.data());
    else
      CoverageRowFromMatrix_(r, cov.data());
    const std::uint8_t* m = mask.empty() ? nullptr : mask.data() + static_cast<std::size_t>(r) * w;
    for (int i = 0; i < w; ++i) {
      if (cursor >= kNoiseBytes) cursor -= kNoiseStepBack;  // rows wider than 511
      unsigned v = cov[i];
      if (m != nullptr) v = (v * m[i]) >> 8;
      covBytes[i] = static_cast<std::uint8_t>((v + noise[cursor++]) >> 4);
    }
    if (constant) {
      for (int i = 0; i < w; ++i)
        std::memcpy(out + i * c, colourTable_.data() + static_cast<std::size_t>(covBytes[i]) * c,
                    c);
      continue;
    }
    const std::uint8_t* in = colour.data() + static_cast<std::size_t>(r) * w * c;
    for (int i = 0; i < w; ++i) {
      const unsigned a = covBytes[i];
      const std::uint8_t* p = in + i * c;
      std::uint8_t* q = out + i * c;
      if (abgr) {
        // Channel 0, the alpha, is the top byte of the packed word.
        if (a == 0 || p[3] == 0) {
          std::memset(q, 0, 4);
          continue;
        }
        for (int k = 0; k < 3; ++k) q[k] = static_cast<std::uint8_t>((p[k] * a) >> 8);
        q[3] =
            p[3] == 255 ? static_cast<std::uint8_t>(a) : static_cast<std::uint8_t>((p[3] * a) >> 8);
      } else {
        for (int k = 0; k < c; ++k) q[k] = static_cast<std::uint8_t>((p[k] * a) >> 8);
      }
    }
  }
  return ilOkay;
}
