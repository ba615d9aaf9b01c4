// The shape fill's mask written page by page: a uniform cell becomes a
// fill, the others are scanned straight into page memory, pinned while the
// band of pages they lie in is written.
#include "shapes/fill_mask.h"

#include <cstdint>
#include <vector>

#include "brenmark/smart_image.h"
#include "imagestore/page.h"
#include "imagestore/page_table.h"

namespace brenmark::shapes {

namespace {

class MaskCells final : public CoverageCells {
 public:
  MaskCells(ilSmartImage* mask, float opacity) : mask_(mask), opacity_(opacity) {}

  bool Solid(const ilTile& cell, std::uint8_t value) override {
    ScaleCoverage(&value, 1, opacity_);
    if (value == 0) return true;  // the mask's fill already
    if (IsWholePage(cell)) {
      SmartImgPage* page = mask_->FindPageFromOrigin(cell.x, cell.y, 1);
      if (page == mask_->GetSmartImage()->GetOutOfRangePage() || !page->Realize(3)) return false;
      page->FillPage(value);
      return true;
    }
    return mask_->fillTile(cell.x, cell.y, cell.nx, cell.ny, &value) == ilOkay;
  }

  std::uint8_t* Rows(const ilTile& cell, std::ptrdiff_t* stride) override {
    int ox, oy;
    SmartImgPage::FindOrigin(cell.x, cell.y, ox, oy);
    SmartImgPage* page = mask_->FindPageFromOrigin(ox, oy, 1);
    // A write over the whole page needs memory but not the old pixels.
    if (page == mask_->GetSmartImage()->GetOutOfRangePage() ||
        !page->Realize(IsWholePage(cell) ? 2 : 1) || !page->IsInMemory()) {
      return nullptr;
    }
    PageData* body = page->Body();
    pinned_.push_back({body, cell, body->priority});
    body->priority = 255;  // no other page's memory may take this one's
    *stride = kPageSize;
    return body->data + (cell.y - oy) * kPageSize + (cell.x - ox);
  }

  void BandDone() override {
    for (const Pinned& p : pinned_) {
      if (opacity_ < 0.997f) {
        std::uint8_t* row =
            p.body->data + (p.cell.y & (kPageSize - 1)) * kPageSize + (p.cell.x & (kPageSize - 1));
        for (int y = 0; y < p.cell.ny; ++y, row += kPageSize) {
          ScaleCoverage(row, static_cast<std::size_t>(p.cell.nx), opacity_);
        }
      }
      p.body->priority = p.priority;
      SmartImgPage::Wrap(p.body).MergeWithPotentialDuplicate();
    }
    pinned_.clear();
  }

 private:
  static bool IsWholePage(const ilTile& c) {
    return (c.x & (kPageSize - 1)) == 0 && (c.y & (kPageSize - 1)) == 0 && c.nx == kPageSize &&
           c.ny == kPageSize;
  }

  struct Pinned {
    PageData* body;
    ilTile cell;
    std::uint8_t priority;
  };
  ilSmartImage* mask_;
  float opacity_;
  std::vector<Pinned> pinned_;
};

}  // namespace

bool FillCoverageMask(ilSmartImage* mask, const LineSegment* segments, int count,
                      const ilTile& bounds, float opacity, ScanCycles* cycles) {
  if (mask == nullptr || bounds.empty()) return true;
  MaskCells cells(mask, opacity);
  const bool ok = ScanPolygonCoverageCells(segments, count, bounds, cells, cycles);
  mask->AddToBounds_(bounds);
  mask->ApplyForcedBounds(bounds);
  return ok;
}

}  // namespace brenmark::shapes
