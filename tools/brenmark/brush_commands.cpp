// Script commands that paint brush strokes through the paint manager: the
// brush settings, strokes given inline, and pen-sample files replayed.
#include <brenmark/brenmark.h>
#include <brenmark/paint_manager.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "pen_samples.h"
#include "session.h"

namespace brenmark::tool {

namespace {

enum Mode { kPaint, kSmear, kClone, kBlur, kSharpen };

// The tool's brush between commands; every stroke hands all of it to the
// engine.
struct ToolBrush {
  Rgba colour{0, 0, 0, 255};
  double radius = 4, opacity = 1, aspect = 1, angle = 0, spacing = 1, jitter = 0;
  int profile = 0;
  bool marker = false, smooth = false;
  Mode mode = kPaint;
  double offsetX = 0, offsetY = 0;
};

// Pressure scales the radius and the opacity; tilt turns the dab to the
// tilt's direction and flattens it by the cosine of the tilt (at most 60
// degrees counted).
struct StrokePoint {
  float x, y, radius, opacity, aspect, angle;
};

StrokePoint PointOf(const ToolBrush& b, const PenSample& s) {
  StrokePoint p{static_cast<float>(s.x),
                static_cast<float>(s.y),
                static_cast<float>(b.radius * s.pressure),
                static_cast<float>(b.opacity * s.pressure),
                static_cast<float>(b.aspect),
                static_cast<float>(b.angle)};
  const double tilt = std::hypot(s.tiltX, s.tiltY);
  if (tilt > 0) {
    constexpr double kDeg = 3.14159265358979323846 / 180.0;
    p.aspect = static_cast<float>(b.aspect * std::cos(std::fmin(tilt, 60.0) * kDeg));
    p.angle = static_cast<float>(b.angle + std::atan2(s.tiltY, s.tiltX) / kDeg);
  }
  return p;
}

void ApplyBrush(const ToolBrush& t) {
  StrokeParameters sp;
  sp.spacing = static_cast<float>(t.spacing);
  sp.spacingJitter = static_cast<float>(t.jitter);
  sp.markerBlend = t.marker;
  sp.interpolation = t.smooth ? 1 : 0;
  Brenmark.SetStrokeParameters(sp);
  BrushParameters b;
  b.color = PaintColor(t.colour.r, t.colour.g, t.colour.b, t.colour.a);
  b.profile.index = t.profile;
  b.radius1 = b.radius2 = static_cast<float>(t.radius);
  b.opacity1 = b.opacity2 = static_cast<float>(t.opacity);
  b.smear = t.mode == kSmear;
  b.clone = t.mode == kClone;
  b.cloneOffsetX = static_cast<float>(t.offsetX);
  b.cloneOffsetY = static_cast<float>(t.offsetY);
  Brenmark.SetBrushParameters(b, true);
  // The processed image is taken from the layer as it is now.
  Brenmark.SetBlurBrush(false);
  Brenmark.SetSharpenBrush(false);
  if (t.mode == kBlur) Brenmark.SetBlurBrush(true);
  if (t.mode == kSharpen) Brenmark.SetSharpenBrush(true);
}

// Paints the samples as one stroke on the current layer of the current
// canvas.
std::string Paint(Session& s, const ToolBrush& brush, const std::vector<PenSample>& samples) {
  int h = -1;
  if (std::string p = s.CurrentCanvas(h); !p.empty()) return p;
  const int index = Brenmark.GetCurrentLayer(h);
  if (index < 1 || Brenmark.GetLayerCount(h) < 1) return "the canvas has no layer to paint on";
  if (s.IsShape(index, h)) return "the current layer is a shape layer; its pixels come from shapes";
  Brenmark.SetCurrentLayerStack(h);
  ApplyBrush(brush);
  Brenmark.BeginBrushStroke();
  if (!Brenmark.InBrushStroke()) {
    Brenmark.SetBlurBrush(false);
    Brenmark.SetSharpenBrush(false);
    return "the stroke could not begin";
  }
  Progress* progress = s.GetProgress();
  if (progress) progress->Start();
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const StrokePoint p = PointOf(brush, samples[i]);
    Brenmark.AddStrokePoint(p.x, p.y, p.radius, p.opacity, p.aspect, p.angle, false, false);
    if (progress && i % 256 == 0) progress->Update("stroke", double(i) / double(samples.size()));
  }
  Brenmark.EndBrushStroke();
  if (progress) progress->Clear();
  Brenmark.SetBlurBrush(false);
  Brenmark.SetSharpenBrush(false);
  return "";
}

std::string InlineStroke(Session& s, const ToolBrush& brush, const std::string& text) {
  std::istringstream in(text);
  std::vector<double> v;
  for (std::string w; in >> w;) {
    char* end = nullptr;
    const double d = std::strtod(w.c_str(), &end);
    if (end != w.c_str() + w.size() || !std::isfinite(d)) {
      std::string message = "'";
      message += Printable(w.substr(0, 40));
      message += "' is not a number";
      return message;
    }
    v.push_back(d);
  }
  if (v.empty() || v.size() % 3 != 0) return "give the points as x y pressure triples";
  std::vector<PenSample> samples;
  for (std::size_t i = 0; i < v.size(); i += 3) {
    const PenSample p{0, v[i], v[i + 1], v[i + 2], 0, 0};
    const std::string at = "point " + std::to_string(i / 3 + 1) + ": ";
    if (std::fabs(p.x) > 1e6 || std::fabs(p.y) > 1e6) return at + "position beyond +-1000000";
    if (p.pressure < 0 || p.pressure > 1) return at + "pressure outside 0..1";
    samples.push_back(p);
  }
  return Paint(s, brush, samples);
}

std::string Replay(Session& s, const ToolBrush& brush, const std::string& name) {
  const std::string path = s.ScriptRelative(name);
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open '" + Printable(path) + "'";
  std::vector<PenSample> samples;
  if (std::string p = ReadPenSamples(in, path, samples); !p.empty()) return p;
  return Paint(s, brush, samples);
}

std::string SetBrush(ToolBrush& b, const Arguments& a) {
  ToolBrush n = b;
  if (a.Has("colour")) n.colour = a.Colour("colour");
  if (a.Has("radius")) n.radius = a.Number("radius");
  if (a.Has("opacity")) n.opacity = a.Number("opacity");
  if (a.Has("profile")) n.profile = static_cast<int>(a.Integer("profile"));
  if (a.Has("aspect")) n.aspect = a.Number("aspect");
  if (a.Has("angle")) n.angle = a.Number("angle");
  if (a.Has("spacing")) n.spacing = a.Number("spacing");
  if (a.Has("jitter")) n.jitter = a.Number("jitter");
  if (a.Has("marker")) n.marker = a.Choice("marker") == 0;
  if (a.Has("path")) n.smooth = a.Choice("path") == 1;
  if (a.Has("mode")) n.mode = static_cast<Mode>(a.Choice("mode"));
  if (a.Has("offset-x")) n.offsetX = a.Number("offset-x");
  if (a.Has("offset-y")) n.offsetY = a.Number("offset-y");
  b = n;
  return "";
}

}  // namespace

void RegisterBrushCommands(CommandRegistry& registry, Session& session) {
  auto brush = std::make_shared<ToolBrush>();
  const std::string group = "Brush strokes";
  registry.Add({
      .name = "brush",
      .group = group,
      .params = {ColourParam("colour", "-"), NumberParam("radius", 0.5, 255, "-"),
                 NumberParam("opacity", 0, 1, "-"), IntegerParam("profile", 0, 7, "-"),
                 NumberParam("aspect", 0.01, 1, "-"), NumberParam("angle", -360, 360, "-"),
                 NumberParam("spacing", 0.1, 10, "-"), NumberParam("jitter", 0, 1, "-"),
                 ChoiceParam("marker", {"on", "off"}, "-"),
                 ChoiceParam("path", {"straight", "smooth"}, "-"),
                 ChoiceParam("mode", {"paint", "smear", "clone", "blur", "sharpen"}, "-"),
                 NumberParam("offset-x", -1e5, 1e5, "-"), NumberParam("offset-y", -1e5, 1e5, "-")},
      .summary = "Changes the brush for the strokes that follow; settings not given stay. "
                 "Radius in pixels, opacity 0 to 1, profile one of the eight standard falloffs "
                 "(0 soft to 7), aspect (the dab's height over its width) and angle in degrees, "
                 "spacing multiplies the dab distance (0.1 to 10), jitter varies it at random. "
                 "Marker paints wet, darker dabs. Path straight joins the samples by lines, "
                 "smooth lets the path lag and round corners. Mode smear drags the layer's "
                 "pixels, clone copies them from offset-x, offset-y away, blur and sharpen "
                 "paint a blurred or sharpened copy of the layer. The first brush is black, "
                 "radius 4, opaque, straight.",
      .example = "brush #c03020 radius=12 opacity=0.5",
      .handler = [brush](const Arguments& a) { return SetBrush(*brush, a); },
  });
  ParamSpec points = TextParam("points", kMaxLineLength);
  points.rest = true;
  registry.Add({
      .name = "stroke",
      .group = group,
      .params = {points},
      .summary = "Paints one stroke on the current layer through the points, given as "
                 "x y pressure triples in view pixels, pressure 0 to 1. Pressure p paints "
                 "with radius times p (at least one pixel) and opacity times p.",
      .example = "stroke 10 20 1 80 20 0.5",
      .handler =
          [&session, brush](const Arguments& a) {
            return InlineStroke(session, *brush, a.Text("points"));
          },
  });
  registry.Add({
      .name = "replay",
      .group = group,
      .params = {PathParam("file")},
      .summary = "Paints one stroke from a pen-sample file: one sample a line, "
                 "t x y pressure [tilt-x tilt-y] (time not decreasing, view pixels, pressure 0 "
                 "to 1, tilts in degrees -90 to 90); '#' starts a comment line. Pressure maps as "
                 "for stroke; a tilt turns the dab towards it and flattens it by the cosine of "
                 "the tilt (at most 60 degrees). A relative file name is taken from the "
                 "script's folder (the examples folder for the built-in demo). A bad file is "
                 "reported with its line and paints nothing; long replays show progress on a "
                 "terminal.",
      .example = "replay signature.pen",
      .handler = [&session,
                  brush](const Arguments& a) { return Replay(session, *brush, a.Text("file")); },
  });
}

}  // namespace brenmark::tool
