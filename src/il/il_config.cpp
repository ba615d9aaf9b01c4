// ilConfig: caller layouts with their channel map materialised.
#include <brenmark/il_config.h>

ilConfig::ilConfig(ilType type_, ilOrder order_, int nchans_, const int* list, int offset,
                   ilCoordSpace space, ilColorModel model)
    : type(type_),
      order(order_),
      nchans(nchans_ < 0 ? 0 : (nchans_ > kIlMaxChannels ? kIlMaxChannels : nchans_)),
      coordSpace(space),
      colorModel(model) {
  setChanList(list, nchans, offset);
}

void ilConfig::setChanList(const int* list, int n, int offset) {
  if (n < 0) n = 0;
  if (n > kIlMaxChannels) n = kIlMaxChannels;
  chanOffset = offset;
  for (int i = 0; i < kIlMaxChannels; ++i) {
    int v = i;
    if (list != nullptr && n > 0) v = i < n ? list[i] : -1;
    chanList[i] = v < 0 ? -1 : v + offset;
  }
}

int ilConfig::imageChannel(int i) const {
  if (i < 0 || i >= kIlMaxChannels) return -1;
  return chanList[i] < 0 ? -1 : chanList[i];
}

bool ilConfig::operator==(const ilConfig& o) const {
  if (type != o.type || order != o.order || nchans != o.nchans || chanOffset != o.chanOffset ||
      coordSpace != o.coordSpace || colorModel != o.colorModel)
    return false;
  for (int i = 0; i < kIlMaxChannels; ++i)
    if (chanList[i] != o.chanList[i]) return false;
  return true;
}
