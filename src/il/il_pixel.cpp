// ilPixel: raw element storage with channel access by the packed-word rule
// (channel i is element nc - 1 - i).
#include <brenmark/il_pixel.h>

#include "il/il_transfer.h"

#include <cstring>

ilPixel::ilPixel(ilType type, int nc, const void* data) {
  if (nc < 0 || nc > kIlMaxChannels || ilDataSize(type, 1) == 0) return;
  type_ = type;
  nc_ = nc;
  if (data != nullptr) std::memcpy(bytes_, data, static_cast<std::size_t>(size()));
}

int ilPixel::size() const {
  return nc_ == 0 ? 0 : ilDataSize(type_, nc_);
}

double ilPixel::getElem(int i) const {
  if (i < 0 || i >= nc_ || !brenmark::il::transferableType(type_)) return 0.0;
  brenmark::il::Block src, dst;
  double out = 0.0;
  brenmark::il::makeConstant(&src, bytes_, type_, nc_);
  brenmark::il::makeConstant(&dst, &out, ilDouble, 1);
  const int map[1] = {i};
  brenmark::il::transfer(dst, src, 1, 1, 1, map);
  return out;
}

void ilPixel::setElem(double v, int i) {
  if (i < 0 || i >= nc_ || !brenmark::il::transferableType(type_)) return;
  brenmark::il::Block src, dst;
  brenmark::il::makeConstant(&src, &v, ilDouble, 1);
  brenmark::il::makeDense(&dst, bytes_, type_, ilInterleaved, nc_, 1, 1, 1);
  int map[kIlMaxChannels];
  for (int j = 0; j < nc_; ++j) map[j] = j == i ? 0 : brenmark::il::kSkip;
  brenmark::il::transfer(dst, src, 1, 1, 1, map);
}

ilPixel ilPixel::converted(ilType type, int nc) const {
  ilPixel out(type, nc);
  if (out.nc_ == 0 || !brenmark::il::transferableType(type)) return out;
  if (nc_ == 0 || !brenmark::il::transferableType(type_)) return out;  // zeros
  brenmark::il::Block src, dst;
  brenmark::il::makeConstant(&src, bytes_, type_, nc_);
  brenmark::il::makeDense(&dst, out.bytes_, type, ilInterleaved, nc, 1, 1, 1);
  int map[kIlMaxChannels];
  for (int j = 0; j < nc; ++j) map[j] = j < nc_ ? j : brenmark::il::kZero;
  brenmark::il::transfer(dst, src, 1, 1, 1, map);
  return out;
}

bool ilPixel::operator==(const ilPixel& o) const {
  return type_ == o.type_ && nc_ == o.nc_ &&
         std::memcmp(bytes_, o.bytes_, static_cast<std::size_t>(size())) == 0;
}
