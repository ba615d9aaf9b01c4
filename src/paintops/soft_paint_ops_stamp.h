// The painter's seam to the brush subsystem: the dab renderer interface a
// SoftPaintOps draws stamps through, and the stamp services the brush
// subsystem installs so the painter can hold, inspect and render stamps
// without depending on the brush classes.
#pragma once

#include <brenmark/il_types.h>

class SoftPaintOps;
class Stamp;

// A dab renderer bound to one painter. The painter owns the implementations
// it makes (deleting one is its destruction) and tells the current one which
// stamp to render; an implementation observing a stamp must stop when it is
// given another (or null).
class StampImpl {
 public:
  virtual ~StampImpl() = default;
  // Draws one dab whose placement point is (x, y) (the painter has already
  // moved the dab centre by −0.375 on both axes) and reports the rectangle it
  // touched, in target pixels. 0 on success.
  virtual int draw_stamp(float x, float y, ilTile& touched) = 0;
  // Brackets a run of dabs; begin answers 0 when the run may start.
  virtual int begin_stamps() { return 0; }
  virtual void end_stamps() {}
  virtual bool has_stamp() const = 0;
  virtual bool uses_stamp(const Stamp* stamp) const = 0;
  virtual void set_stamp(Stamp* stamp) = 0;
};

// Which renderer a stamp needs.
enum class StampImplKind : int {
  kImage = 0,      // renders a premultiplied colour image of the dab
  kSeparable = 1,  // renders coverage and blends a separate colour through it
};

// What the painter needs to know about, and do with, a stamp. One instance
// serves the process; the brush subsystem installs it before the first stamp
// reaches a painter and keeps it alive while painters exist.
class StampServices {
 public:
  virtual ~StampServices() = default;
  // The painter's reference on a stamp.
  virtual void Reference(Stamp* stamp) = 0;
  virtual void Release(Stamp* stamp) = 0;
  // 0 colour stamp, 2 image stamp (colour from the image under the dab).
  virtual int Kind(const Stamp* stamp) = 0;
  virtual bool HighQuality(const Stamp* stamp) = 0;
  // 16-bit painting: channels of 15 bits, the low 7 in the low-order-bit
  // image; the opacity is applied by the blend (0..1).
  virtual bool Is16Bit(const Stamp* stamp) = 0;
  virtual float Opacity16(const Stamp* stamp) = 0;
  // Sets the stamp's placement transform back to identity and announces it.
  virtual void ResetPlacement(Stamp* stamp) = 0;
  // Empties the shared dab-image cache.
  virtual void EmptyStampCache() = 0;
  // A new renderer of the kind, bound to the painter (null when none can be
  // made); the painter deletes it.
  virtual StampImpl* MakeImpl(StampImplKind kind, SoftPaintOps* painter) = 0;
};

namespace brenmark {

// Installs the process's stamp services (null uninstalls) and answers them.
void SetStampServices(StampServices* services);
StampServices* GetStampServices();

}  // namespace brenmark
