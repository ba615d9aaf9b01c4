// The two dab renderers the painter draws stamps through, and the stamp
// services that hand them to it.
#pragma once

#include <brenmark/il_types.h>
#include <brenmark/observable.h>

#include <memory>

#include "paintops/soft_paint_ops_stamp.h"

class ILStampImg;
class ilImage;
class ilPixel;
class ilQVMemoryImg;
class SoftPaintOps;
class Stamp;
class StampCacheEntry;
class SubImagePaintObj;

namespace brenmark::brush {

// Installs the brush subsystem's stamp services for the painters, unless
// some are installed already. Every Stamp constructor calls it, so the
// services are in place before a stamp can reach a painter.
void InstallStampServices();

}  // namespace brenmark::brush

// Renders a premultiplied colour image of each dab and copies it onto the
// painter's target with the painter's blend function (a brush stroke sets
// (1, 7), premultiplied over).
//
// Dab images come from the shared cache; an image stamp (kind 2) instead
// keeps a private entry, re-phased for every dab, whose colour source is a
// window onto the stamp's colour image at the dab (displaced by the stamp's
// offset).
//
// Ownership: the painter owns the renderer. The renderer holds a reference
// on its stamp and observes it while set.
class ILStampImpl : public StampImpl, public Observer {
 public:
  explicit ILStampImpl(SoftPaintOps* painter);
  ~ILStampImpl() override;

  int draw_stamp(float x, float y, ilTile& touched) override;
  // Notes the painter's scale for the rectangles the dabs report.
  int begin_stamps() override;
  bool has_stamp() const override { return stamp_ != nullptr; }
  bool uses_stamp(const Stamp* stamp) const override { return stamp != nullptr && stamp == stamp_; }
  void set_stamp(Stamp* stamp) override;

  void update(Observable* changed) override;
  void disconnect(Observable* dying) override;

 protected:
  // The dab image of `stamp` for a dab at placement point (x, y), brought up
  // to date, and its placement rectangle (left, top, width, height); null
  // when the image has no pixels to give (no colour image).
  ILStampImg* DabImage(Stamp* stamp, float x, float y, ilTile& place);
  // The touched rectangle of a dab placed at `place`, in caller units when
  // the painter is scaled.
  void Report(const ilTile& place, ilTile& touched) const;
  void Observe(Stamp*& slot, Stamp* stamp);

  SoftPaintOps* painter_;
  int scaleIsOne_ = 1;
  float scaleX_ = 1.0f, scaleY_ = 1.0f;

 private:
  ILStampImg* PrivateImage_(float x, float y, ilTile& place);
  void DropPrivate_();

  Stamp* stamp_ = nullptr;
  std::unique_ptr<StampCacheEntry> private_;  // image stamps
  bool privateStale_ = true;
  SubImagePaintObj* view_ = nullptr;  // referenced
};

// Renders one-channel coverage of each dab (from a private copy of the
// stamp whose colour is a constant one-channel 255 and whose kind is 0) and
// blends the stamp's colour through it: the brush blend with coverage and
// dither (or its 16-bit or marker form) when the painter's source factor is
// 1.
//
// The colour: a 1 x 1 colour as a 512 x 512 image repeating it, with the
// painter's single-colour switch on; an image stamp's colour copied from the
// image under the dab (displaced by the offset) into a working image of at
// least 512 x 512; any other colour image read from its origin.
class SepILStampImpl : public ILStampImpl {
 public:
  explicit SepILStampImpl(SoftPaintOps* painter);
  ~SepILStampImpl() override;

  int draw_stamp(float x, float y, ilTile& touched) override;
  bool has_stamp() const override { return user_ != nullptr; }
  bool uses_stamp(const Stamp* stamp) const override { return stamp != nullptr && stamp == user_; }
  void set_stamp(Stamp* stamp) override;

  void update(Observable* changed) override;
  void disconnect(Observable* dying) override;

 private:
  // Copies the user's stamp into the private copy with coverage colour and
  // kind 0.
  void SyncCopy_();
  // The image the colour is blended from, and where in it the dab starts.
  ilImage* ColourSource_(const ilTile& place, int& srcX, int& srcY, bool& single);
  ilQVMemoryImg* Working_(int channels, int w, int h);
  static ilQVMemoryImg* RepeatedColour(int channels, const ilPixel& value);

  Stamp* user_ = nullptr;
  Stamp* copy_ = nullptr;
  ilQVMemoryImg* working_ = nullptr;  // image colours under the dab
};
