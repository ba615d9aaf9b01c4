// Flood fill and magic wand: the scanline search of the connected region of
// similar colour around a seed pixel, read from one page accessor and
// written to another.
#pragma once
#include <brenmark/export.h>

#include <brenmark/il.h>
#include <brenmark/page_pixel_accessor.h>
#include <brenmark/paint_color.h>

#include <cstdint>
#include <vector>

// A region search over a clip box (xmin, ymin) .. (xmax, ymax), inclusive.
// The derived class says what is inside the region and how a pixel is
// filled; the base offers row scans built on those two.
class BRENMARK_API FloodFill {
 public:
  FloodFill() = default;
  virtual ~FloodFill() = default;
  FloodFill(const FloodFill&) = delete;
  FloodFill& operator=(const FloodFill&) = delete;

  // Fills the region of the seed (x, y) within the clip box.
  virtual void Fill(int x, int y, int xmin, int ymin, int xmax, int ymax, bool checkBorder) = 0;
  virtual bool IsInside(int x, int y) = 0;
  // The last x' >= x such that every column x + 1 .. x' of row y is
  // inside, stopping at xmax (ScanLeft: towards xmin).
  virtual int ScanRight(int x, int y);
  virtual int ScanLeft(int x, int y);
  // The first x' > x that is inside, or xEnd + 1 when none up to xEnd is.
  virtual int NextInside(int x, int y, int xEnd);
  virtual void SetPixel(int x, int y) = 0;
  // SetPixel for x1 .. x2.
  virtual void SetSpan(int x1, int x2, int y);

 protected:
  int xmin_ = 0, ymin_ = 0, xmax_ = -1, ymax_ = -1;
};

// One fill: pixels are tested in `source` against the seed pixel's value
// within a tolerance, and the region is written with one colour into
// `destination` at an offset (the same accessor for a flood fill; the layer
// and the selection for the magic wand).
//
// Inside: a four-channel pixel is inside when each of its four bytes lies
// within the tolerance of the seed's byte; a one-channel pixel when its
// value does. Filled: the destination pixel already holds the fill colour
// (the whole word, or its alpha byte in a one-channel destination). Filled
// pixels are never seeded, so a colour already present in the region
// blocks the spread through it.
//
// Pixel widths follow the accessors' images (the one-channel flags of the
// constructors are checked against them and lose when they disagree), so a
// read never runs past a page. An operation lives for one Fill; the
// accessors must outlive it.
class BRENMARK_API FloodFillOperation : public FloodFill {
 public:
  // Flood fill: source and destination are `accessor`, offset 0.
  FloodFillOperation(int x, int y, float tolerance, const PaintColor& colour,
                     PagePixelAccessor* accessor, bool oneChannel);
  // Magic wand: (x + dx, y + dy) of the destination receives source pixel
  // (x, y).
  FloodFillOperation(int x, int y, int dx, int dy, float tolerance, const PaintColor& colour,
                     PagePixelAccessor* source, PagePixelAccessor* destination,
                     bool sourceOneChannel, bool destinationOneChannel);
  ~FloodFillOperation() override = default;

  // Nothing happens unless the seed lies in the clip box (and in the page
  // store's plane). With checkBorder, a region that touches the clip box
  // is taken to go on beyond it, where every pixel reads as the
  // destination's fill value (as around a layer's painted bounds): the
  // pages around the clip box are filled with the colour outside it, the
  // colour becomes the destination's fill value and ReachedBorder() says
  // so. The destination's pages are unlocked for that.
  void Fill(int x, int y, int xmin, int ymin, int xmax, int ymax, bool checkBorder) override;
  bool IsInside(int x, int y) override;
  void SetPixel(int x, int y) override;

  // round(tolerance x 255), half away from zero, kept in 0 .. 255 (NaN: 0).
  static int ToleranceByte(float tolerance);

  bool ReachedBorder() const { return reachedBorder_; }
  // The bounding box of the filled spans (the seed point before Fill).
  void GetExtent(int& minX, int& minY, int& maxX, int& maxY) const;
  // The same as a tile (width maxX - minX + 1).
  ilTile ExtentTile() const;
  std::uint32_t SeedValue() const { return seedValue_; }
  int Tolerance() const { return tolerance_; }
  std::uint32_t FillColour() const { return fillColour_; }
  // Spans filled and the largest number of pending seeds of the last Fill.
  long Spans() const { return spans_; }
  std::size_t PeakSeeds() const { return peakSeeds_; }

 private:
  struct Seed {
    int x, y;
  };

  bool IsFilled(int x, int y);
  bool Unfilled(const std::uint8_t* d) const;
  bool InsideByte(const std::uint8_t* s) const;
  // Inside pixels of row y from x on, walking right up to xmax (left: down
  // to xmin).
  int InsideRunRight(int x, int y, int xEnd);
  int InsideRunLeft(int x, int y, int xEnd);
  void WriteSpan(int x1, int x2, int y);
  // Pushes the last pixel of every run of unfilled inside pixels of row r
  // between left and right.
  void SeedRow(int r, int left, int right);
  // A run of inside pixels [left, right] of row y pending a fill, found
  // from the span [parentLeft, parentRight] of row y - dir; an open end may
  // go on beyond the range it was found in.
  struct Run {
    int left, right, y, dir, parentLeft, parentRight;
    bool openLeft, openRight;
  };
  template <bool Exact>
  void PushRuns(int r, int a, int b, int dir, int left, int right);
  // The same for a range [a, b] within one page row, q pointing at pixel a.
  template <bool Exact>
  void PushRunsInPage(const std::uint8_t* q, int r, int a, int b, int dir, int left, int right,
                      bool aheadInPage);
  // The search from (x, y) when source and destination are one image
  // (Exact: tolerance 0), and in any other case.
  template <bool Exact>
  void FillSameImage(int x, int y);
  void FillAnyImages(int x, int y);
  void FillBeyondClipBox();

  int minX_, minY_, maxX_, maxY_;
  std::uint32_t seedValue_ = 0;
  int dx_ = 0, dy_ = 0;
  int tolerance_ = 0;
  std::uint32_t fillColour_ = 0;
  PagePixelAccessor* source_ = nullptr;
  PagePixelAccessor* destination_ = nullptr;
  int right_ = 0, left_ = 0;
  bool sourceOneChannel_ = false;
  bool destinationOneChannel_ = false;
  bool reachedBorder_ = false;
  bool seedValid_ = false;
  // Source and destination are one four-channel image at offset 0 and the
  // colour is not inside: the fast row scan applies.
  bool sameImage_ = false;
  std::vector<Seed> seeds_;  // last in, first out
  std::vector<Run> runs_;    // the same for the same-image search
  long spans_ = 0;
  std::size_t peakSeeds_ = 0;
};
