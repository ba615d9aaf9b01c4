// The engine side of brenmark-view, free of any windowing library: one
// canvas shown in window pixels through the engine's display update (image
// plane, update image, timer-driven refresh), the view transform, the brush
// and the strokes the pointer paints. The SDL glue only moves events in and
// the rectangles this reports out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/reference_host.h"
#include "pen_samples.h"

namespace brenmark::view {

// Pressure synthesised from pointer speed where the device reports none:
// target = clamp(1 - speed / 4, 0.25, 1) with speed in window pixels per
// millisecond since the previous event, and the pressure used is the mean of
// that target and the previous pressure (a stroke starts at 1), so a fast
// flick thins the line over a few samples instead of at once.
double SpeedPressure(double previous, double distance, double milliseconds);

struct ViewBrush {
  std::uint8_t r = 0, g = 0, b = 0;
  double radius = 8;
  int hardness = 0;  // the engine's profile 0 (soft) to 7 (hard)
  bool eraser = false;
};

class ViewCanvas {
 public:
  ViewCanvas(brenmark::host::ReferenceHost& host, int windowWidth, int windowHeight);
  ViewCanvas(const ViewCanvas&) = delete;
  ViewCanvas& operator=(const ViewCanvas&) = delete;

  // Shows the current canvas of the paint manager (call again after a
  // command that may have replaced it); false when there is none.
  bool Attach();
  int Handle() const { return handle_; }

  // Window pixels, row by row, bottom row first (the engine's screen), and
  // the rectangles rewritten since the last call, in window rows counted
  // from the top.
  const std::vector<std::uint32_t>& Pixels() const { return pixels_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  struct Rect {
    int x, y, w, h;
  };
  std::vector<Rect> TakeDamage();

  // The view transform: zoom (0.125 to 8), rotation in degrees about the
  // canvas centre, and a pan in window pixels. Redraws the canvas.
  void SetView(double zoom, double degrees, int panX, int panY);
  double Zoom() const { return zoom_; }
  double Degrees() const { return degrees_; }
  int PanX() const { return panX_; }
  int PanY() const { return panY_; }
  // Recomposes the whole canvas into the window through the display update
  // (after undo, a new layer, a new view).
  void Redraw();
  // Hands the whole window to the window system again (it lost what it
  // showed); the pixels are current, nothing is composed.
  void Reshow() { wholeWindowDamaged_ = true; }

  ViewBrush& Brush() { return brush_; }
  // Strokes at window positions (x right, y down from the top-left pixel).
  // A negative pressure asks for one synthesised from speed.
  void BeginStroke(double x, double y, double pressure, double milliseconds);
  void StrokeTo(double x, double y, double pressure, double milliseconds);
  void EndStroke();
  bool InStroke() const { return inStroke_; }
  // The samples fed to AddStrokePoint during the last stroke, in the
  // engine's screen pixels (y up): a pen-sample file of them replays the
  // stroke exactly with `brenmark`'s replay at zoom 1, no rotation.
  const std::vector<brenmark::tool::PenSample>& LastStroke() const { return samples_; }

  // The shown colour under a window position (straight, opaque where the
  // view is); false outside the window.
  bool ColourAt(int x, int y, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const;
  // "brush 8 px, hardness 0 | layer 2/3 Layer-2 | cache 3.1 of 64.0 MiB | zoom 100%, 0 deg"
  std::string Status() const;
  // Runs due engine timers; the wait until the next one (-1: none).
  int RunTimers();

 private:
  void AddPoint(double x, double y, double pressure, double milliseconds);

  brenmark::host::ReferenceHost& host_;
  int width_, height_;
  std::vector<std::uint32_t> pixels_;
  int handle_ = -1;
  int window_ = 0;
  double zoom_ = 1, degrees_ = 0;
  int panX_ = 0, panY_ = 0;
  ViewBrush brush_;
  bool inStroke_ = false;
  double lastX_ = 0, lastY_ = 0, lastMs_ = 0, lastPressure_ = 1, startMs_ = 0;
  std::vector<brenmark::tool::PenSample> samples_;
  bool wholeWindowDamaged_ = false;
};

}  // namespace brenmark::view
