// ILStampImg: the image of one dab, generated on demand from the shared dab
// tables, and the dab geometry it is built on (the quantised ellipse every
// dab image of a stamp shares).
#pragma once
#include <brenmark/export.h>

#include <brenmark/observable.h>
#include <brenmark/qv_memory_img.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class Stamp;

namespace brenmark::brush {
struct ProfileTable;
struct StampTableRow;
}  // namespace brenmark::brush

// Class identifier answered by ILStampImg::getClassId().
constexpr int ILStampImgClassId = ilFirstUserClassId + 20;

// The dab's ellipse after quantisation: radii to quarter pixels up to 64
// (whole pixels above, and whenever the placement transform is not the
// identity), angle to 3 degrees, shear to 0.1. K maps the unit circle onto
// the dab: image point p = K q for |q| = 1, so row 0 of K spans x and row 1
// spans y.
struct BRENMARK_API StampGeometry {
  float rx = 0.0f, ry = 0.0f;
  float angle = 0.0f;  // degrees, counter-clockwise (minus the stamp's angle)
  float shear = 0.0f;
  float k[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // k00, k01, k10, k11
  int originX = 0, originY = 0;           // centre pixel: ceil of the row lengths
  int width = 1, height = 1;              // 2 * origin + 1
  // K cannot be inverted (a radius rounded to 0, aspect 0): the dab is empty.
  bool singular = true;
  // K = diag(r, r) with a centre pixel within the distance tables: the dab
  // is generated from them by look-ups alone.
  bool untransformed = false;
};

// Radii beyond this (possible only through the placement transform) are
// limited to it, so no dab image exceeds about 1850 pixels a side.
inline constexpr float kMaxStampKeyRadius = 512.0f;

// The geometry of a stamp's dabs.
BRENMARK_API StampGeometry ComputeStampGeometry(const Stamp& stamp);
// Whether a dab of this geometry is generated from the distance tables with
// a radius table of `tableSize` entries: the geometry is an untransformed
// circle and the radius table describes that circle to within one pixel (a
// placement transform that scales the dab leaves the table describing the
// unscaled radius; such dabs take the matrix walk). Depends on the cache key
// alone, so equal keys always choose the same generator.
BRENMARK_API bool StampTablesServe(const StampGeometry& g, int tableSize);
// A stamp angle as the geometry uses it: the nearest multiple of 3 degrees,
// halves away from zero (4.4 -> 3, 4.6 -> 6, -4.6 -> -6).
BRENMARK_API float QuantizeStampAngle(float degrees);
// The sub-pixel phase (0..3) of a placement fraction in [0, 1): quarter
// pixels while the radius is at most 64, else 0.
BRENMARK_API int StampPhase(float radius, float fraction);

// ILStampImg: a one-page memory image (8-bit, colour model ABGR, lower-left
// space) of the dab of its stamp at one sub-pixel phase, with the colour
// source's channel count. Width and height come from the geometry.
//
// Pixels are generated lazily: a change notice from the stamp only marks what
// is stale (radius: radius and coverage tables; profile: profile table and
// geometry; opacity: coverage table; colour: colour table and channel count;
// aspect, angle, transform: geometry; a whole-stamp change: everything), and
// the next read (tile read, page lock, Update) regenerates. The generator is
// chosen from the quantised geometry alone, so two stamps with equal
// geometry, profile, opacity level, radius table, phase and sources give
// identical pixels whichever was made first.
//
// Coverage is 12-bit (0..4080) plus a noise byte (0..15) from the shared
// noise cursor, shifted right by 4; it then scales the colour: a 1 x 1
// colour source through a table (row a = colour * a / 255), an image colour
// per pixel from the block (0, 0, width, height) of its image. A mask source
// scales the 12-bit coverage by its first channel (x m >> 8) first.
//
// Without a colour image the stamp image reports ilInvalid (18) from every
// read and draws nothing.
//
// Ownership: holds a reference on its stamp and observes it. Images count
// references as every il image does.
class BRENMARK_API ILStampImg : public ilQVMemoryImg, public Observer {
 public:
  // Entries of the coverage table: the 1024 distance steps plus room for
  // the far corners of the distance tables, all 0.
  static constexpr int kCoverageEntries = 1454;

  explicit ILStampImg(Stamp* stamp);
  ~ILStampImg() override;

  bool derivesFrom(int classId) const override;
  const char* getClassName(int level = 0) const override;
  const char* getDefaultDescription() const override;
  int getClassId() const override;
  // Recomputes the geometry and channel count (size) when they are stale.
  void reset() override;
  // Reads regenerate stale pixels first.
  ilStatus getSubTile3D(int x, int y, int z, int nx, int ny, int nz, void* buf, int bx, int by,
                        int bz, int bnx, int bny, int bnz, const ilConfig* cfg = nullptr) override;
  ilStatus lockPageSet(ilLockRequest* requests, int mode, int count) override;

  // Sub-pixel phase, 0..3 each; a change makes the pixels stale.
  void SetPhase(int px, int py);
  int PhaseX() const { return phaseX_; }
  int PhaseY() const { return phaseY_; }
  Stamp* GetStamp() const { return stamp_; }
  // Brings geometry, tables and pixels up to date: ilOkay, or ilInvalid
  // when the colour source has no image (the pixels are then all 0).
  ilStatus Update();
  const StampGeometry& Geometry();
  // How many times the pixels were generated.
  int Generations() const { return generations_; }
  // With false, each generation lets go of the radius, coverage and colour
  // tables it was made from (about 5 kB, more than a small dab's pixels)
  // and builds them again if the pixels must be generated again: for
  // images kept in numbers for their pixels, as the dab-image cache keeps
  // them.
  void KeepTablesBetweenGenerations(bool keep) { keepTables_ = keep; }

  void update(Observable* changed) override;
  void disconnect(Observable* dying) override;

 private:
  struct Sources;
  void Layout_();
  ilStatus Generate_();
  void Tables_();
  void ColourTable_(Sources& src);
  // 12-bit coverage of one row (before mask and noise).
  void CoverageRowFromTables_(int row, std::uint16_t* out) const;
  void CoverageRowFromMatrix_(int row, std::uint16_t* out) const;
  // The distance-table row of dab row `row` (noise from `noise` on).
  brenmark::brush::StampTableRow TableRow_(int row, const std::uint8_t* noise) const;

  Stamp* stamp_;
  StampGeometry geom_;
  int phaseX_ = 0, phaseY_ = 0;
  int channels_ = 1;
  // Every generation writes every pixel, so the block is never cleared
  // ahead of it.
  std::unique_ptr<std::uint8_t[]> pixels_;
  std::size_t pixelBytes_ = 0;
  // The radius table and the coverage table built on it (about 5 kB), made
  // on the first generation.
  struct Tables;
  std::unique_ptr<Tables> tables_;
  int tableSize_ = 0;
  bool keepTables_ = true;
  std::shared_ptr<const brenmark::brush::ProfileTable> profile_;
  int level_ = 0;
  std::vector<std::uint8_t> colourTable_;  // 256 rows x channels, when the colour is 1 x 1
  bool layoutStale_ = true;
  bool radiusStale_ = true;
  bool profileStale_ = true;
  bool opacityStale_ = true;
  bool colourStale_ = true;
  bool pixelsStale_ = true;
  ilStatus status_ = ilOkay;
  int generations_ = 0;
};
