// The window's canvas: display update into window pixels, view transform,
// brush strokes from pointer positions.
#include "view_canvas.h"

#include <brenmark/brenmark.h>
#include <brenmark/il_pixel.h>
#include <brenmark/layer_stack.h>
#include <brenmark/layer_stack_transform.h>
#include <brenmark/paint_manager.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/store_stats.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brenmark::view {

namespace {

// What the window shows where the turned or shrunk canvas does not reach:
// opaque dark grey, bytes R, G, B, A.
constexpr std::uint32_t kBackdrop = 0xFF303030u;
// Cells of the redraw of a turned view: the display transfers a turned
// region only when its bounding box lies inside the view, so the canvas is
// redrawn in pieces whose boxes do (all of them at zoom 0.5 or less).
constexpr int kRedrawCell = 32;

}  // namespace

double SpeedPressure(double previous, double distance, double milliseconds) {
  const double speed = distance / std::max(milliseconds, 1.0);
  const double target = std::clamp(1.0 - speed / 4.0, 0.25, 1.0);
  return (previous + target) / 2.0;
}

ViewCanvas::ViewCanvas(brenmark::host::ReferenceHost& host, int windowWidth, int windowHeight)
    : host_(host),
      width_(windowWidth),
      height_(windowHeight),
      pixels_(static_cast<std::size_t>(windowWidth) * windowHeight, kBackdrop) {
  host_.SetScreenSize(width_, height_);
  // Shown updates land in pixels_ and the region is consumed by the pull;
  // the engine's timed update during a stroke drives the refresh.
  host_.PullUpdatesFrom(Brenmark, true);
  host_.RefreshOnTimedUpdate(Brenmark);
}

bool ViewCanvas::Attach() {
  const int h = PntCurrentLayerStack();
  LayerStack* stack = h >= 0 ? Brenmark.GetLayerStack(h) : nullptr;
  if (!stack) return false;
  if (window_ && window_ != stack->GetWindow()) host_.AttachWindowPixels(window_, nullptr, 0, 0);
  handle_ = h;
  window_ = stack->GetWindow();
  host_.SetTransparentBackdrop(window_, false);
  host_.AttachWindowPixels(window_, pixels_.data(), width_, height_);
  SetView(zoom_, degrees_, panX_, panY_);
  return true;
}

std::vector<ViewCanvas::Rect> ViewCanvas::TakeDamage() {
  std::vector<Rect> rects;
  const std::vector<brenmark::host::ShownRect> shown = host_.TakeShownRects(window_);
  if (wholeWindowDamaged_) {
    wholeWindowDamaged_ = false;
    rects.push_back({0, 0, width_, height_});
    return rects;
  }
  for (const auto& s : shown) rects.push_back({s.x, height_ - s.y - s.ny, s.nx, s.ny});
  return rects;
}

void ViewCanvas::SetView(double zoom, double degrees, int panX, int panY) {
  zoom_ = std::clamp(zoom, 0.125, 8.0);
  degrees_ = std::fmod(degrees, 360.0);
  panX_ = panX;
  panY_ = panY;
  LayerStack* stack = Brenmark.GetLayerStack(handle_);
  if (!stack) return;
  const ilTile size = stack->GetSize();
  const float z = static_cast<float>(zoom_);
  const float cx = size.nx / 2.0f, cy = size.ny / 2.0f;
  // Canvas point p shows at R * z * (p - c) + z * c - offset: the canvas
  // centre c sits at the window centre, moved by the pan (window y runs
  // down, the engine's up).
  LayerStackTransform t(std::round(z * cx - width_ / 2.0f) - panX_,
                        std::round(z * cy - height_ / 2.0f) + panY_, z, z, cx, cy,
                        static_cast<float>(degrees_));
  t.SetScaleOffset((1.0f - z) * cx, (1.0f - z) * cy);
  stack->SetTransform(t);
  Redraw();
}

void ViewCanvas::Redraw() {
  LayerStack* stack = Brenmark.GetLayerStack(handle_);
  if (!stack) return;
  // Compose the whole image plane (and the composites around the current
  // layer) without showing it, then show it through the update image.
  stack->SetDisplayUpdate(false);
  stack->RedrawEntireCanvas(true, true);
  stack->SetDisplayUpdate(true);
  // A turned view reads the plane's fill beyond the canvas.
  if (ilQVMemoryImg* plane = stack->GetImagePlane()) {
    const std::uint8_t backdrop[4] = {kBackdrop & 0xFF, (kBackdrop >> 8) & 0xFF,
                                      (kBackdrop >> 16) & 0xFF, kBackdrop >> 24};
    plane->setFill(ilPixel(ilUChar, 4, backdrop));
  }
  // Where the display transfers nothing (a turned cell leaving the view)
  // the shared update image keeps what it had: make that the backdrop.
  if (ilQVMemoryImg* image = stack->GetUpdateImage(); image && image->getDataPtr()) {
    std::fill_n(static_cast<std::uint32_t*>(image->getDataPtr()),
                static_cast<std::size_t>(image->getXsize()) * image->getYsize(), kBackdrop);
  }
  std::fill(pixels_.begin(), pixels_.end(), kBackdrop);
  const ilTile size = stack->GetSize();
  const int cell = degrees_ == 0 ? std::max(size.nx, size.ny) : kRedrawCell;
  for (int y = 0; y < size.ny; y += cell) {
    for (int x = 0; x < size.nx; x += cell) {
      stack->DamageRegion(
          ilTile(x, y, 0, std::min(cell, size.nx - x), std::min(cell, size.ny - y), 1));
      stack->ForceUpdate();
    }
  }
  wholeWindowDamaged_ = true;
}

void ViewCanvas::BeginStroke(double x, double y, double pressure, double milliseconds) {
  if (inStroke_) EndStroke();
  const int index = Brenmark.GetCurrentLayer(handle_);
  if (index < 1 || Brenmark.GetLayerCount(handle_) < 1) return;
  Brenmark.SetCurrentLayerStack(handle_);
  // The brush as `brenmark`'s brush command sets it, so a recorded stroke
  // replays to the same pixels.
  StrokeParameters sp;
  sp.spacing = 1;
  sp.spacingJitter = 0;
  sp.markerBlend = false;
  sp.interpolation = 0;
  Brenmark.SetStrokeParameters(sp);
  BrushParameters b;
  b.color = PaintColor(brush_.r, brush_.g, brush_.b, static_cast<unsigned char>(255));
  b.profile.index = brush_.hardness;
  b.radius1 = b.radius2 = static_cast<float>(brush_.radius);
  b.opacity1 = b.opacity2 = 1.0f;
  Brenmark.SetBrushParameters(b, true);
  Brenmark.SetBlurBrush(false);
  Brenmark.SetSharpenBrush(false);
  // The eraser hides paint through the layer's stencil.
  Brenmark.SetPaintApplication(brush_.eraser ? kApplyStencilSubtract : kApplyPaint);
  Brenmark.BeginBrushStroke();
  if (!Brenmark.InBrushStroke()) {
    Brenmark.SetPaintApplication(kApplyPaint);
    return;
  }
  inStroke_ = true;
  samples_.clear();
  startMs_ = milliseconds;
  AddPoint(x, y, pressure < 0 ? 1.0 : pressure, milliseconds);
}

void ViewCanvas::StrokeTo(double x, double y, double pressure, double milliseconds) {
  if (!inStroke_) return;
  if (pressure < 0) {
    pressure =
        SpeedPressure(lastPressure_, std::hypot(x - lastX_, y - lastY_), milliseconds - lastMs_);
  }
  AddPoint(x, y, pressure, milliseconds);
}

void ViewCanvas::AddPoint(double x, double y, double pressure, double milliseconds) {
  lastX_ = x;
  lastY_ = y;
  lastMs_ = milliseconds;
  lastPressure_ = pressure;
  // Window pixel (x, y) from the top is screen pixel (x, height - 1 - y).
  const brenmark::tool::PenSample s{
      (milliseconds - startMs_) / 1000.0, x, height_ - 1 - y, pressure, 0, 0};
  samples_.push_back(s);
  Brenmark.AddStrokePoint(static_cast<float>(s.x), static_cast<float>(s.y),
                          static_cast<float>(brush_.radius * pressure),
                          static_cast<float>(pressure), 1.0f, 0.0f, false, false);
}

void ViewCanvas::EndStroke() {
  if (!inStroke_) return;
  inStroke_ = false;
  Brenmark.EndBrushStroke();
  Brenmark.SetPaintApplication(kApplyPaint);
}

bool ViewCanvas::ColourAt(int x, int y, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  const std::uint32_t p = pixels_[static_cast<std::size_t>(height_ - 1 - y) * width_ + x];
  const unsigned a = p >> 24;
  if (a == 0) return false;
  // The view shows premultiplied pixels; straight colour for the brush.
  auto straight = [a](unsigned c) {
    return static_cast<std::uint8_t>(std::min(255u, (c * 255 + a / 2) / a));
  };
  r = straight(p & 0xFF);
  g = straight((p >> 8) & 0xFF);
  b = straight((p >> 16) & 0xFF);
  return true;
}

std::string ViewCanvas::Status() const {
  const int count = Brenmark.GetLayerCount(handle_);
  const int current = Brenmark.GetCurrentLayer(handle_);
  const char* name =
      current >= 1 && current <= count ? Brenmark.GetLayerName(current, handle_) : nullptr;
  const SmartImageCacheStatistics stats = GetSmartImageCacheStatistics();
  char text[512];
  std::snprintf(text, sizeof text,
                "%s %.1f px, hardness %d, #%02X%02X%02X | layer %d/%d %s | cache %.1f of %.1f MiB "
                "| zoom %.0f%%, %.0f deg",
                brush_.eraser ? "eraser" : "brush", brush_.radius, brush_.hardness, brush_.r,
                brush_.g, brush_.b, current, count, name ? name : "",
                stats.bytesInMemory / 1048576.0, stats.budgetBytes / 1048576.0, zoom_ * 100,
                degrees_);
  return text;
}

int ViewCanvas::RunTimers() {
  host_.RunDueTimers();
  return host_.MillisecondsToNextTimer();
}

}  // namespace brenmark::view
