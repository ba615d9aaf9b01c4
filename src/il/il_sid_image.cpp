// ilSIDImage: seed-image interface, bounds and resource identifiers.
#include <brenmark/il_image.h>

namespace {
// Process-wide identifier counter, incremented before use (first id is 1).
unsigned gLastResourceId = 0;
}  // namespace

ilSIDImage::ilSIDImage() : resourceId_(++gLastResourceId) {}
ilSIDImage::~ilSIDImage() = default;

bool ilSIDImage::derivesFrom(int classId) const {
  return classId == ilSIDImageClassId || ilImage::derivesFrom(classId);
}

const char* ilSIDImage::getClassName(int level) const {
  return level == 0 ? "ilSIDImage" : ilImage::getClassName(level - 1);
}

const char* ilSIDImage::getDefaultDescription() const {
  return "SID Image";
}

int ilSIDImage::getClassId() const {
  return ilSIDImageClassId;
}

ilStatus ilSIDImage::SetSeedImage(ilImage* seed) {
  return setInput(seed, 0);
}

ilStatus ilSIDImage::MergeChangesIntoSeed() {
  return ilOkay;
}

ilStatus ilSIDImage::CollapseSeed() {
  ilImage* seed = GetSeedImage();
  if (seed == nullptr) return ilOkay;
  const ilStatus st =
      copyTile3D(0, 0, 0, getXsize(), getYsize(), getZsize(), seed, 0, 0, 0, nullptr, 1);
  if (st != ilOkay) return st;
  return SetSeedImage(nullptr);
}

ilImage* ilSIDImage::GetSeedImage() {
  return getInput(0);
}

const ilTile& ilSIDImage::getBounds() {
  dataBounds_ = ilTile(0, 0, 0, getXsize(), getYsize(), getZsize());
  return dataBounds_;
}

ilSIDImage* ilSIDImage::asSidImage(ilImage* img) {
  return dynamic_cast<ilSIDImage*>(img);
}
