// Script commands on the pixels of layers: fill rectangles, import and
// export PNG files, export a layer as the image plane shows it, flip
// layers and paste images under a chosen blend function.
#include <brenmark/layer.h>
#include <brenmark/paint_manager.h>
#include <brenmark/paint_ops.h>
#include <brenmark/qv_memory_img.h>

#include <cstdint>
#include <string>
#include <vector>

#include "layer_access.h"
#include "layer_target.h"
#include "pixel_convert.h"
#include "png_io.h"
#include "session.h"

namespace brenmark::tool {

namespace {

// The blend factor codes a painter takes (see BlendFactor), as script words.
const BlendFactor kBlendFactors[] = {BlendZero,     BlendOne,
                                     BlendSrcAlpha, BlendOneMinusSrcAlpha,
                                     BlendDstAlpha, BlendOneMinusDstAlpha};

std::vector<std::string> BlendFactorWords() {
  std::vector<std::string> words;
  for (BlendFactor f : kBlendFactors) words.push_back(std::to_string(static_cast<int>(f)));
  return words;
}

// The filters of the image plane, in the order of the <filter> choices.
const unsigned kFilters[] = {ilQVScaleNearest, ilQVScaleBilinear, ilQVScaleBicubic};

std::string RectText(const ilTile& r) {
  return std::to_string(r.nx) + " x " + std::to_string(r.ny) + " at " + std::to_string(r.x) + "," +
         std::to_string(r.y);
}

// The layer of the command's <layer> argument in the current canvas.
std::string ResolvePixelLayer(Session& s, const Arguments& a, PixelLayer& l) {
  int h = -1, index = 0;
  if (std::string p = s.CurrentCanvas(h); !p.empty()) return p;
  if (std::string p = s.ResolveLayer(a.Layer("layer"), h, index); !p.empty()) return p;
  return FindPixelLayer(h, index, l);
}

std::string CheckPaintable(const PixelLayer& l) {
  if (!l.shape) return "";
  return LayerWord(l.index) + " is a shape layer; its pixels are drawn from its shapes";
}

std::string CheckInsideCanvas(const PixelLayer& l, const ilTile& r, const std::string& what) {
  const ilTile canvas = Brenmark.GetCanvasBounds(l.h);
  if (canvas.contains(r)) return "";
  return what + " (" + RectText(r) + ") reaches outside canvas " + std::to_string(l.h) + " (" +
         std::to_string(canvas.nx) + " x " + std::to_string(canvas.ny) + ")";
}

// The canvas rectangle an export covers: the one given (when the command
// takes one), or where the layer holds pixels.
std::string ExportArea(const PixelLayer& l, const Arguments* a, ilTile& r) {
  const int given = a ? a->Has("x") + a->Has("y") + a->Has("width") + a->Has("height") : 0;
  if (given == 4) {
    r = ilTile(static_cast<int>(a->Integer("x")), static_cast<int>(a->Integer("y")), 0,
               static_cast<int>(a->Integer("width")), static_cast<int>(a->Integer("height")), 1);
    return "";
  }
  if (given != 0) return "give all of <x>, <y>, <width> and <height>, or none";
  r = ContentBounds(l);
  if (r.empty()) return LayerWord(l.index) + " holds no pixels; give a rectangle to export";
  if (r.nx > kMaxImageSide || r.ny > kMaxImageSide) {
    return LayerWord(l.index) + " holds " + std::to_string(r.nx) + " x " + std::to_string(r.ny) +
           " pixels; give a rectangle of at most " + std::to_string(kMaxImageSide) + " x " +
           std::to_string(kMaxImageSide);
  }
  return "";
}

// Decodes a PNG for a layer of `channels` channels, premultiplied.
std::string DecodeFor(Session& s, const std::string& path, int channels, ImagePixels& pixels) {
  const PngPixels want = channels == 1 ? PngPixels::kGrey : PngPixels::kRgba;
  if (std::string p = ReadPng(path, want, pixels, s.GetProgress()); !p.empty()) return p;
  if (channels == 4) PremultiplyPixels(pixels.bytes.data(), pixels.PixelCount());
  return "";
}

// Writes layer pixels (premultiplied) as a PNG of straight colour.
std::string Encode(Session& s, const std::string& path, ImagePixels& pixels) {
  // Pixels the page store failed to read back are wrong: never write them.
  if (std::string p = s.CheckStore(); !p.empty()) return p;
  if (pixels.channels == 4) UnpremultiplyPixels(pixels.bytes.data(), pixels.PixelCount());
  return WritePng(path, pixels, s.GetProgress());
}

std::string Fill(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = ResolvePixelLayer(s, a, l); !p.empty()) return p;
  if (std::string p = CheckPaintable(l); !p.empty()) return p;
  const ilTile r(static_cast<int>(a.Integer("x")), static_cast<int>(a.Integer("y")), 0,
                 static_cast<int>(a.Integer("width")), static_cast<int>(a.Integer("height")), 1);
  if (std::string p = CheckInsideCanvas(l, r, "the rectangle"); !p.empty()) return p;
  const Rgba& c = a.Colour("colour");
  std::uint8_t pixel[4] = {MaskLevel(c), 0, 0, 0};
  if (l.channels == 4) {
    pixel[0] = Premultiply(c.r, c.a);
    pixel[1] = Premultiply(c.g, c.a);
    pixel[2] = Premultiply(c.b, c.a);
    pixel[3] = c.a;
  }
  const BlendPair blend = a.Choice("mode") == 0 ? BlendPair{BlendOne, BlendZero}
                                                : BlendPair{BlendOne, BlendOneMinusSrcAlpha};
  if (!FillRect(l, r, pixel, blend)) return "the engine could not fill " + LayerWord(l.index);
  PixelsChanged(l, r);
  return "";
}

std::string Import(Session& s, const Arguments& a, bool mask) {
  int h = -1;
  if (std::string p = s.CurrentCanvas(h); !p.empty()) return p;
  const bool named = a.Has("name");
  if (named) {
    if (std::string p = s.CheckNameFree(a.Text("name"), h, 0); !p.empty()) return p;
  }
  ImagePixels pixels;
  if (std::string p = DecodeFor(s, a.Text("file"), mask ? 1 : 4, pixels); !p.empty()) return p;
  const int index =
      AddImageLayer(h, pixels, static_cast<int>(a.Integer("x")), static_cast<int>(a.Integer("y")));
  if (index < 1) return "the engine did not add a layer";
  if (named) Brenmark.SetLayerName(a.Text("name").c_str(), index, h);
  return "";
}

std::string Export(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = ResolvePixelLayer(s, a, l); !p.empty()) return p;
  ilTile r;
  if (std::string p = ExportArea(l, &a, r); !p.empty()) return p;
  ImagePixels pixels;
  if (std::string p = ReadRect(l, r, pixels, s.GetProgress()); !p.empty()) return p;
  return Encode(s, a.Text("file"), pixels);
}

std::string ExportView(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = ResolvePixelLayer(s, a, l); !p.empty()) return p;
  ilTile r;
  if (std::string p = ExportArea(l, nullptr, r); !p.empty()) return p;
  ImagePixels pixels;
  if (std::string p = RenderView(l, r, static_cast<float>(a.Number("zoom")),
                                 static_cast<float>(a.Number("angle")),
                                 kFilters[a.Choice("filter")], pixels, s.GetProgress());
      !p.empty()) {
    return p;
  }
  return Encode(s, a.Text("file"), pixels);
}

std::string ExportCanvas(Session& s, const Arguments& a) {
  const int h = Brenmark.GetCurrentLayerStack();
  if (h < 0) return "there is no current canvas";
  ImagePixels pixels;
  if (std::string p = RenderCanvas(h, a.Choice("masks") == 0, static_cast<float>(a.Number("zoom")),
                                   static_cast<float>(a.Number("angle")),
                                   kFilters[a.Choice("filter")], pixels, s.GetProgress());
      !p.empty()) {
    return p;
  }
  return Encode(s, a.Text("file"), pixels);
}

std::string Flip(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = ResolvePixelLayer(s, a, l); !p.empty()) return p;
  if (std::string p = CheckPaintable(l); !p.empty()) return p;
  const std::size_t direction = a.Choice("direction");
  const ilTile before = ContentBounds(l);
  // Through the paint manager: the flip is recorded for undo and ends a
  // running proxy; the layer then holds a new image.
  Brenmark.FlipImageLayer(direction != 1, direction != 0, l.layer->GetLayerID());
  if (std::string p = FindPixelLayer(l.h, l.index, l); !p.empty()) return p;
  const ilTile after = ContentBounds(l);
  if (!before.empty()) PixelsChanged(l, before);
  if (!after.empty() && after != before) PixelsChanged(l, after);
  return "";
}

std::string Paste(Session& s, const Arguments& a) {
  PixelLayer l;
  if (std::string p = ResolvePixelLayer(s, a, l); !p.empty()) return p;
  if (std::string p = CheckPaintable(l); !p.empty()) return p;
  const std::string& path = a.Text("file");
  ImagePixels pixels;
  if (std::string p = DecodeFor(s, path, l.channels, pixels); !p.empty()) return p;
  const ilTile r(static_cast<int>(a.Integer("x")), static_cast<int>(a.Integer("y")), 0,
                 pixels.width, pixels.height, 1);
  if (std::string p = CheckInsideCanvas(l, r, "'" + Printable(path) + "'"); !p.empty()) return p;
  const BlendPair blend{static_cast<int>(kBlendFactors[a.Choice("src")]),
                        static_cast<int>(kBlendFactors[a.Choice("dst")])};
  if (!PasteImage(l, r.x, r.y, pixels, blend)) {
    return "the engine could not paste onto " + LayerWord(l.index) + " with blend (" +
           std::to_string(blend.src) + ", " + std::to_string(blend.dst) + ")";
  }
  PixelsChanged(l, r);
  return "";
}

Handler Bound(Session& s, std::string (*fn)(Session&, const Arguments&)) {
  return [&s, fn](const Arguments& a) { return fn(s, a); };
}

ParamSpec Coordinate(std::string name, std::string fallback = "") {
  return IntegerParam(std::move(name), -kMaxCoordinate, kMaxCoordinate, std::move(fallback));
}

ParamSpec Extent(std::string name, std::string fallback = "") {
  return IntegerParam(std::move(name), 1, kMaxImageSide, std::move(fallback));
}

}  // namespace

void RegisterPixelCommands(CommandRegistry& registry, Session& session) {
  const std::string group =
      "Pixels of layers (x, y count from the canvas's bottom-left corner, y upwards)";

  registry.Add({
      .name = "fill",
      .group = group,
      .params = {LayerParam("layer"), Coordinate("x"), Coordinate("y"), Extent("width"),
                 Extent("height"), ColourParam("colour"),
                 ChoiceParam("mode", {"replace", "over"}, "replace")},
      .summary = "Fills a rectangle of a layer, which must lie inside the canvas, with a colour: "
                 "#RRGGBB, #RRGGBBAA or r,g,b,a (0 to 255, straight alpha; the layer stores it "
                 "premultiplied). replace writes the colour; over composites it over what is "
                 "there. On a mask the colour gives one grey level, (r + g + b) / 3 times the "
                 "alpha.",
      .example = "fill Sky 0 0 64 32 #4080FF",
      .handler = Bound(session, Fill),
  });
  registry.Add({
      .name = "import",
      .group = group,
      .params = {PathParam("file"), Coordinate("x", "0"), Coordinate("y", "0"),
                 TextParam("name", Layer::kNameCapacity - 1, "-")},
      .summary = "Adds a PNG file (at most 16384 x 16384) as a new image layer above the current "
                 "layer, its bottom-left corner at x, y, and makes it current. Grey and palette "
                 "images become RGBA, 16-bit channels are rounded to 8 bits.",
      .example = "import photo.png 0 0 Photo",
      .handler = Bound(session, [](Session& s, const Arguments& a) { return Import(s, a, false); }),
  });
  registry.Add({
      .name = "import-mask",
      .group = group,
      .params = {PathParam("file"), Coordinate("x", "0"), Coordinate("y", "0"),
                 TextParam("name", Layer::kNameCapacity - 1, "-")},
      .summary = "Adds a greyscale PNG file without alpha as a new mask layer above the current "
                 "layer (it belongs to the nearest image layer below), its grey levels the "
                 "mask's values, and makes it current.",
      .example = "import-mask fade.png",
      .handler = Bound(session, [](Session& s, const Arguments& a) { return Import(s, a, true); }),
  });
  registry.Add({
      .name = "export",
      .group = group,
      .params = {LayerParam("layer"), PathParam("file"), Coordinate("x", "-"), Coordinate("y", "-"),
                 Extent("width", "-"), Extent("height", "-")},
      .summary = "Writes a layer's own pixels (without opacity, stencil or masks) to a PNG file: "
                 "the given rectangle, or all the layer holds. Image layers give 8-bit RGBA with "
                 "straight alpha (fully transparent pixels as 0,0,0,0), masks 8-bit grey.",
      .example = "export Sky sky.png",
      .handler = Bound(session, Export),
  });
  registry.Add({
      .name = "export-view",
      .group = group,
      .params = {LayerParam("layer"), PathParam("file"), NumberParam("zoom", 1.0 / 64, 64, "1"),
                 NumberParam("angle", -360, 360, "0"),
                 ChoiceParam("filter", {"nearest", "bilinear", "bicubic"}, "bilinear")},
      .summary = "Writes all a layer holds to a PNG file as the view shows it: scaled by zoom, "
                 "turned by angle degrees counter-clockwise, sampled with the "
                 "filter (a mask uses bilinear for bicubic). The file is the bounding box of the "
                 "result, transparent where the turned picture does not reach.",
      .example = "export-view Sky sky-view.png 2 30 bicubic",
      .handler = Bound(session, ExportView),
  });
  registry.Add({
      .name = "export-canvas",
      .group = group,
      .params = {PathParam("file"), NumberParam("zoom", 1.0 / 64, 64, "1"),
                 NumberParam("angle", -360, 360, "0"),
                 ChoiceParam("filter", {"nearest", "bilinear", "bicubic"}, "bilinear"),
                 ChoiceParam("masks", {"shown", "hidden"}, "shown")},
      .summary = "Writes the whole current canvas to a PNG file as its view shows it, composed "
                 "by the engine's display: the background, then every visible layer (hidden "
                 "layers and those of opacity 0.002 or less left out) through its opacity and "
                 "stencil; masks show in their colour when current, and directly above the "
                 "current layer unless masks=hidden. Then scaled by zoom and turned by angle "
                 "degrees counter-clockwise as export-view does (the file is the bounding box, "
                 "transparent where the turned picture does not reach).",
      .example = "export-canvas shown.png 0.5 90",
      .handler = Bound(session, ExportCanvas),
  });
  registry.Add({
      .name = "flip",
      .group = group,
      .params = {LayerParam("layer"), ChoiceParam("direction", {"horizontal", "vertical", "both"})},
      .summary = "Mirrors a layer's pixels within the rectangle they cover: horizontal swaps left "
                 "and right, vertical top and bottom. The stencil is baked into the pixels first.",
      .example = "flip Sky horizontal",
      .handler = Bound(session, Flip),
  });
  registry.Add({
      .name = "paste",
      .group = group,
      .params = {LayerParam("layer"), PathParam("file"), Coordinate("x", "0"), Coordinate("y", "0"),
                 ChoiceParam("src", BlendFactorWords(), "1"),
                 ChoiceParam("dst", BlendFactorWords(), "7")},
      .summary = "Blends a PNG file onto a layer (a greyscale PNG without alpha onto a mask), "
                 "its bottom-left corner at x, y; it must lie inside the canvas. The result is "
                 "source x src + layer x dst, with the factor codes 0 zero, 1 one, 6 source "
                 "alpha, 7 one minus source alpha, 8 layer alpha, 9 one minus layer alpha: 1 7 "
                 "composites over, 1 0 replaces.",
      .example = "paste Sky stamp.png 10 20 1 7",
      .handler = Bound(session, Paste),
  });
}

}  // namespace brenmark::tool
