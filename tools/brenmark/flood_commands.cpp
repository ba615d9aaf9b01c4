// Script commands that fill by colour similarity: flood-fill paints the
// connected region around a point of the current layer, wand selects it.
// Both run the engine's preview (a proxy begun over the layer or the
// selection, which records it for undo), then end the preview and apply
// the same fill for good, as an application does when the user accepts.
#include <brenmark/layer.h>
#include <brenmark/paint_manager.h>

#include <cmath>
#include <string>

#include "layer_access.h"
#include "layer_target.h"
#include "pixel_convert.h"
#include "session.h"

namespace brenmark::tool {

namespace {

void* const kCurrentLayer = reinterpret_cast<void*>(-2);

// The current layer of the current canvas, which must hold pixels.
std::string CurrentPixelLayer(Session& s, PixelLayer& l) {
  int h = -1, index = 0;
  if (std::string p = s.CurrentCanvas(h); !p.empty()) return p;
  if (std::string p = s.ResolveLayer(LayerRef{}, h, index); !p.empty()) return p;
  if (std::string p = FindPixelLayer(h, index, l); !p.empty()) return p;
  if (l.shape) return LayerWord(index) + " is a shape layer; its pixels are drawn from its shapes";
  return "";
}

// The view point the engine reads as canvas pixel (x, y) of the layer, or
// the problem: the pixel must lie on the canvas, and the view's zoom must
// be able to name it with whole view pixels.
std::string ViewPoint(const PixelLayer& l, const Arguments& a, int& vx, int& vy) {
  const int x = static_cast<int>(a.Integer("x")), y = static_cast<int>(a.Integer("y"));
  const ilTile canvas = Brenmark.GetCanvasBounds(l.h);
  if (x < canvas.x || y < canvas.y || x >= canvas.x + canvas.nx || y >= canvas.y + canvas.ny) {
    return "the point " + std::to_string(x) + "," + std::to_string(y) + " lies outside canvas " +
           std::to_string(l.h) + " (" + std::to_string(canvas.nx) + " x " +
           std::to_string(canvas.ny) + ")";
  }
  const int u = x - l.offsetX, v = y - l.offsetY;
  float fx = static_cast<float>(u) + 0.5f, fy = static_cast<float>(v) + 0.5f;
  Brenmark.CurrentLayerToScreenCoords(fx, fy, l.index, l.h);
  vx = static_cast<int>(std::floor(fx));
  vy = static_cast<int>(std::floor(fy));
  float bx = static_cast<float>(vx), by = static_cast<float>(vy);
  Brenmark.ScreenToCurrentLayerCoords(bx, by, l.index, l.h);
  if (static_cast<int>(bx) != u || static_cast<int>(by) != v) {
    return "the view's zoom cannot point at pixel " + std::to_string(x) + "," + std::to_string(y);
  }
  return "";
}

std::string FloodFill(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = CurrentPixelLayer(s, l); !p.empty()) return p;
  int vx = 0, vy = 0;
  if (std::string p = ViewPoint(l, a, vx, vy); !p.empty()) return p;
  const Rgba& c = a.Colour("colour");
  // The layer keeps premultiplied colour; a mask takes the grey level as
  // the colour's alpha.
  PaintColor colour(Premultiply(c.r, c.a), Premultiply(c.g, c.a), Premultiply(c.b, c.a), c.a);
  if (l.channels == 1) {
    const std::uint8_t zero = 0;
    colour = PaintColor(zero, zero, zero, MaskLevel(c));
  }
  const auto tolerance = static_cast<float>(a.Number("tolerance"));
  if (Brenmark.InProxy(l.h)) Brenmark.EndProxy(l.h);
  Brenmark.DoFloodFill(vx, vy, tolerance, colour, kCurrentLayer, l.h);
  // The preview is shown; accept it: back to the state it started from
  // (kept by the undo record), then the same fill for good.
  if (Brenmark.InProxy(l.h)) {
    Brenmark.EndProxy(l.h);
    Brenmark.FloodFillDone(vx, vy, tolerance, colour, kCurrentLayer, l.h);
  }
  return "";
}

std::string Wand(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = CurrentPixelLayer(s, l); !p.empty()) return p;
  int vx = 0, vy = 0;
  if (std::string p = ViewPoint(l, a, vx, vy); !p.empty()) return p;
  if (ContentBounds(l).empty()) {
    s.Warn(LayerWord(l.index) + " holds no pixels; the selection is unchanged");
    return "";
  }
  PaintColor open(0.0f, 0.0f, 0.0f, 0.0f);  // alpha 0 opens the selection
  const auto tolerance = static_cast<float>(a.Number("tolerance"));
  const bool replace = a.Choice("mode") == 0;
  if (Brenmark.InProxy(l.h)) Brenmark.EndProxy(l.h);
  Brenmark.DoMagicWand(vx, vy, tolerance, open, replace, kCurrentLayer, l.h);
  if (Brenmark.InProxy(l.h)) {
    Brenmark.EndProxy(l.h);
    Brenmark.MagicWandDone(vx, vy, tolerance, open, replace, kCurrentLayer, l.h);
  }
  return "";
}

}  // namespace

void RegisterFloodCommands(CommandRegistry& registry, Session& session) {
  const std::string group =
      "Fill and select by colour (x, y count from the canvas's bottom-left corner, y upwards)";
  registry.Add({
      .name = "flood-fill",
      .group = group,
      .params = {IntegerParam("x", -kMaxCoordinate, kMaxCoordinate),
                 IntegerParam("y", -kMaxCoordinate, kMaxCoordinate), ColourParam("colour"),
                 NumberParam("tolerance", 0, 1)},
      .summary = "Fills the region of the current layer around the pixel x, y (on the canvas) "
                 "with a colour (straight; a mask takes its grey level): every pixel reached "
                 "through neighbours left, right, up and down whose four channels each lie "
                 "within tolerance x 255 of the picked pixel's. Pixels that already hold the "
                 "colour stop the spread. A region reaching 2 pixels beyond the layer's "
                 "painted area goes on over the whole plane. Recorded for undo.",
      .example = "flood-fill 120 80 #FFD000 0.1",
      .handler = [&session](const Arguments& a) { return FloodFill(session, a); },
  });
  registry.Add({
      .name = "wand",
      .group = group,
      .params = {IntegerParam("x", -kMaxCoordinate, kMaxCoordinate),
                 IntegerParam("y", -kMaxCoordinate, kMaxCoordinate), NumberParam("tolerance", 0, 1),
                 ChoiceParam("mode", {"replace", "add"}, "replace")},
      .summary = "Selects the region of the current layer around the pixel x, y that "
                 "flood-fill would fill, within the canvas. replace first deselects "
                 "everything; add keeps what is selected (the spread stops at selected "
                 "pixels). Recorded for undo.",
      .example = "wand 120 80 0.05 add",
      .handler = [&session](const Arguments& a) { return Wand(session, a); },
  });
}

}  // namespace brenmark::tool
