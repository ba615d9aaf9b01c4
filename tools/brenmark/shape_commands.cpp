// Script commands that add vector shapes to a shape layer: rectangles,
// ellipses, polygons and smooth splines, filled and/or stroked, each given
// its own parameters with solid-colour textures. The layer's pixels are
// redrawn from its shapes right away, so export and the canvas show them.
#include <brenmark/image_generator.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/shape.h>
#include <brenmark/shape_parms.h>
#include <brenmark/undo_list.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/shape_curves.h"
#include "layer_access.h"
#include "layer_target.h"
#include "pixel_convert.h"
#include "script_syntax.h"
#include "session.h"

namespace brenmark::tool {

namespace {

using host::CurvePoint;

// Shapes may reach this far beyond the canvas (the fill's coverage buffer
// covers the shape's whole box).
constexpr int kShapeMargin = 256;
constexpr double kMaxBrushRadius = 255;

// The curves of a new shape: the outline to fill (closed) and the path to
// stroke. Both owned until handed to the shape.
struct Curves {
  ag_curve* fill = nullptr;
  ag_curve* stroke = nullptr;
  void Release() {
    host::ReleaseCurve(&fill);
    host::ReleaseCurve(&stroke);
  }
};

// The current layer of the current canvas, which must be a shape layer.
std::string CurrentShapeLayer(Session& s, PixelLayer& l) {
  int h = -1, index = 0;
  if (std::string p = s.CurrentCanvas(h); !p.empty()) return p;
  if (std::string p = s.ResolveLayer(LayerRef{}, h, index); !p.empty()) return p;
  if (std::string p = FindPixelLayer(h, index, l); !p.empty()) return p;
  if (!l.shape) return LayerWord(index) + " is not a shape layer (add one with add-shape-layer)";
  return "";
}

// Every point must lie within the margin around the canvas.
std::string CheckPoints(const PixelLayer& l, const std::vector<CurvePoint>& pts) {
  const ilTile c = Brenmark.GetCanvasBounds(l.h);
  for (const CurvePoint& p : pts) {
    if (p.x < c.x - kShapeMargin || p.y < c.y - kShapeMargin || p.x > c.x + c.nx + kShapeMargin ||
        p.y > c.y + c.ny + kShapeMargin) {
      return "the point " + std::to_string(static_cast<long>(p.x)) + "," +
             std::to_string(static_cast<long>(p.y)) + " lies more than " +
             std::to_string(kShapeMargin) + " pixels outside canvas " + std::to_string(l.h) + " (" +
             std::to_string(c.nx) + " x " + std::to_string(c.ny) + ")";
    }
  }
  return "";
}

// "x,y,x,y,..." into points; the problem or empty.
std::string ParsePoints(const std::string& text, std::size_t least, std::vector<CurvePoint>& out) {
  std::vector<double> values;
  const char* p = text.c_str();
  while (*p) {
    if (*p == ',') {
      ++p;
      continue;
    }
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v) || (*end && *end != ',')) {
      return "points must be numbers separated by commas, x and y in turn: '" + Printable(text) +
             "'";
    }
    values.push_back(v);
    p = end;
  }
  if (values.size() % 2 != 0)
    return "points need an x and a y each; got " + std::to_string(values.size()) + " numbers";
  if (values.size() / 2 < least) {
    return "at least " + std::to_string(least) + " points are needed; got " +
           std::to_string(values.size() / 2);
  }
  for (std::size_t i = 0; i < values.size(); i += 2) {
    out.push_back({static_cast<float>(values[i]), static_cast<float>(values[i + 1])});
  }
  return "";
}

ilPixel TexturePixel(const Rgba& c) {
  const unsigned char bytes[4] = {Premultiply(c.r, c.a), Premultiply(c.g, c.a),
                                  Premultiply(c.b, c.a), c.a};
  return ilPixel(ilUChar, 4, bytes);
}

void SetSolid(ImageGntrController* controller, const Rgba& c) {
  if (auto* solid = ImageGeneratorSolid::ResolvePtr(controller->GetGenerator())) {
    solid->SetColor(TexturePixel(c));
  }
}

// The fill, stroke and brush options shared by every shape command; at
// least one of fill and stroke must be given.
std::string CheckPaint(const Arguments& a) {
  if (!a.Has("fill") && !a.Has("stroke"))
    return "give fill=<colour>, stroke=<colour> or both; the shape would draw nothing";
  return "";
}

// Records layer `l` for undo, as the engine records its own layer
// commands: a snapshot of the layer's pixels, then a copy of the canvas's
// structure (which holds the shape lists). The canvas then continues as the
// copy, so `l` is looked up again. Nothing is recorded when
// SID_UNDO_DISABLE=1 turns undo off.
void RecordForUndo(PixelLayer& l) {
  const char* off = std::getenv("SID_UNDO_DISABLE");
  LayerStack* stack = Brenmark.GetLayerStack(l.h);
  if ((off && std::string(off) == "1") || !stack) return;
  TsharedObjectPtr<PntUndoOper> pixels(new PntUndoStroke(&Brenmark, l.h, l.index, stack, l.layer,
                                                         l.layer->GetImage(), l.layer->GetStencil(),
                                                         "SidStroke"));
  TsharedObjectPtr<PntUndoOper> structure(
      new PntUndoLayerStack(&Brenmark, l.h, stack->GetCurrentLayer(), stack,
                            stack->GetCurrentLayerPtr(), "SidLayerStack"));
  PaintUndoList.AddUndoOperation(new PntUndoCombo(structure.get(), pixels.get(), nullptr, nullptr,
                                                  nullptr, false, false, nullptr));
  FindPixelLayer(l.h, l.index, l);
}

// Adds the shape made of `curves` to the current layer `l` and redraws the
// layer, as one undoable step. Takes the curves.
void AddShape(PixelLayer l, const Arguments& a, Curves curves) {
  RecordForUndo(l);
  ShapeImageParms* parms =
      l.channels == 1 ? static_cast<ShapeImageParms*>(new ShapeMaskParms()) : new ShapeImageParms();
  parms->DoFill(a.Has("fill"));
  parms->DoStroke(a.Has("stroke"));
  if (a.Has("fill")) SetSolid(parms->GetFillImgGrtCtlr(), a.Colour("fill"));
  if (a.Has("stroke")) SetSolid(parms->GetStrokeImgGrtCtlr(), a.Colour("stroke"));
  parms->SetFillOpacity(static_cast<float>(a.Number("fill-opacity")));
  parms->SetStrokeOpacity(static_cast<float>(a.Number("stroke-opacity")));
  BrushParameters brush = parms->GetBrushParameters();
  brush.radius1 = brush.radius2 = static_cast<float>(a.Number("radius"));
  parms->SetBrushParms(brush);
  auto* shape = new Shape(l.layer, curves.fill, curves.stroke, parms);
  if (a.Has("name")) shape->SetShapeName(a.Text("name").c_str());
  Brenmark.AddShape(shape, Layer::kTopShapeIndex, l.index, l.h);
  // The layer draws its shapes into its image when it is next composed;
  // draw them now so its pixels can be read, then refresh the view.
  l.layer->GetStencilledImage(nullptr, false, false);
  if (LayerStack* stack = Brenmark.GetLayerStack(l.h)) stack->RedrawEntireCanvas(true, true);
}

CurvePoint InLayer(const PixelLayer& l, double x, double y) {
  return {static_cast<float>(x - l.offsetX), static_cast<float>(y - l.offsetY)};
}

std::string ShapeRect(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = CurrentShapeLayer(s, l); !p.empty()) return p;
  if (std::string p = CheckPaint(a); !p.empty()) return p;
  const double x = a.Number("x"), y = a.Number("y"), w = a.Number("width"), h = a.Number("height");
  if (std::string p = CheckPoints(l, {InLayer(l, x, y), InLayer(l, x + w, y + h)}); !p.empty())
    return p;
  const CurvePoint o = InLayer(l, x, y);
  Curves c{host::MakeRectangleCurve(o.x, o.y, static_cast<float>(w), static_cast<float>(h)),
           host::MakeRectangleCurve(o.x, o.y, static_cast<float>(w), static_cast<float>(h))};
  AddShape(l, a, c);
  return "";
}

std::string ShapeEllipse(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = CurrentShapeLayer(s, l); !p.empty()) return p;
  if (std::string p = CheckPaint(a); !p.empty()) return p;
  const double cx = a.Number("cx"), cy = a.Number("cy"), rx = a.Number("rx"), ry = a.Number("ry");
  if (std::string p = CheckPoints(l, {InLayer(l, cx - rx, cy - ry), InLayer(l, cx + rx, cy + ry)});
      !p.empty()) {
    return p;
  }
  const CurvePoint c0 = InLayer(l, cx, cy);
  const auto frx = static_cast<float>(rx), fry = static_cast<float>(ry);
  AddShape(
      l, a,
      {host::MakeEllipseCurve(c0.x, c0.y, frx, fry), host::MakeEllipseCurve(c0.x, c0.y, frx, fry)});
  return "";
}

// Polygons and splines: the points in layer coordinates, or the problem.
std::string PathPoints(Session& s, const Arguments& a, std::size_t least, PixelLayer& l,
                       std::vector<CurvePoint>& pts) {
  if (std::string p = CurrentShapeLayer(s, l); !p.empty()) return p;
  if (std::string p = CheckPaint(a); !p.empty()) return p;
  if (std::string p = ParsePoints(a.Text("points"), least, pts); !p.empty()) return p;
  for (CurvePoint& p : pts) p = InLayer(l, p.x, p.y);
  return CheckPoints(l, pts);
}

std::string ShapePolygon(Session& s, const Arguments& a) {
  PixelLayer l;
  std::vector<CurvePoint> pts;
  if (std::string p = PathPoints(s, a, 3, l, pts); !p.empty()) return p;
  AddShape(l, a, {host::MakePolylineCurve(pts, true), host::MakePolylineCurve(pts, true)});
  return "";
}

std::string ShapeSpline(Session& s, const Arguments& a) {
  PixelLayer l;
  std::vector<CurvePoint> pts;
  if (std::string p = PathPoints(s, a, 2, l, pts); !p.empty()) return p;
  const bool closed = a.Choice("closed") == 1;
  // The fill always closes the outline; the stroke follows the spline as
  // it is.
  AddShape(l, a, {host::MakeCubicSplineCurve(pts, true), host::MakeCubicSplineCurve(pts, closed)});
  return "";
}

std::vector<ParamSpec> WithPaint(std::vector<ParamSpec> params) {
  params.push_back(ColourParam("fill", "-"));
  params.push_back(ColourParam("stroke", "-"));
  params.push_back(NumberParam("fill-opacity", 0, 1, "1"));
  params.push_back(NumberParam("stroke-opacity", 0, 1, "1"));
  params.push_back(NumberParam("radius", 0.5, kMaxBrushRadius, "4"));
  params.push_back(TextParam("name", Shape::kNameCapacity - 1, "-"));
  return params;
}

// The point list, one word: x,y,x,y,...
ParamSpec Points() {
  return TextParam("points", 65536);
}

ParamSpec Coord(std::string name) {
  return NumberParam(std::move(name), -kMaxCoordinate, kMaxCoordinate);
}

ParamSpec Size(std::string name) {
  return NumberParam(std::move(name), 0.5, kMaxCoordinate);
}

}  // namespace

void RegisterShapeCommands(CommandRegistry& registry, Session& session) {
  const std::string group =
      "Vector shapes on the current shape layer (x, y from the canvas's bottom-left corner, y "
      "upwards; colours straight, premultiplied by the engine's textures)";
  const std::string paint =
      " Options: fill=<colour> fills the outline, stroke=<colour> strokes it with a round brush "
      "of radius (pixels, default 4); fill-opacity and stroke-opacity scale the coverage (0 to "
      "1); name=<text> names the shape. At least one of fill and stroke is needed. On a mask "
      "shape layer a colour gives its luminance. The shape may reach at most 256 pixels "
      "beyond the canvas.";
  registry.Add({
      .name = "shape-rect",
      .group = group,
      .params = WithPaint({Coord("x"), Coord("y"), Size("width"), Size("height")}),
      .summary = "Adds a rectangle with its corner at x, y." + paint,
      .example = "shape-rect 10 10 100 60 fill=#3060A0 stroke=#000000 radius=2",
      .handler = [&session](const Arguments& a) { return ShapeRect(session, a); },
  });
  registry.Add({
      .name = "shape-ellipse",
      .group = group,
      .params = WithPaint({Coord("cx"), Coord("cy"), Size("rx"), Size("ry")}),
      .summary = "Adds an ellipse of centre cx, cy and radii rx, ry." + paint,
      .example = "shape-ellipse 64 64 40 25 fill=#FFD000",
      .handler = [&session](const Arguments& a) { return ShapeEllipse(session, a); },
  });
  registry.Add({
      .name = "shape-polygon",
      .group = group,
      .params = WithPaint({Points()}),
      .summary = "Adds the closed polygon through three or more points, given as one word "
                 "x,y,x,y,... (a self-crossing outline fills even-odd)." +
                 paint,
      .example = "shape-polygon 10,10,90,10,50,80 fill=#FF0000 fill-opacity=0.5",
      .handler = [&session](const Arguments& a) { return ShapePolygon(session, a); },
  });
  registry.Add({
      .name = "shape-spline",
      .group = group,
      .params = WithPaint({Points(), ChoiceParam("closed", {"open", "closed"}, "open")}),
      .summary = "Adds the smooth curve (a Catmull-Rom spline) through two or more points, "
                 "given as one word x,y,x,y,...; closed joins the last point back to the "
                 "first. A fill fills the closed outline." +
                 paint,
      .example = "shape-spline 10,10,40,60,80,20,120,70 stroke=#000000 radius=3",
      .handler = [&session](const Arguments& a) { return ShapeSpline(session, a); },
  });
}

}  // namespace brenmark::tool
