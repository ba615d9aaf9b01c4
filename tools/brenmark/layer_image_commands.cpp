// Script commands on what a layer shows rather than the pixels it holds:
// inverting masks and switching them on and off, hiding and showing a
// layer's paint through its stencil, moving a layer by an offset, and
// exporting a layer's effective image (stencil, masks, optionally the
// background and the selection) as the engine composes it.
#include <brenmark/brenmark.h>
#include <brenmark/layer_stack.h>
#include <brenmark/layer_stack_transform.h>
#include <brenmark/paint_manager.h>
#include <brenmark/smart_image.h>

#include <cstdint>
#include <string>

#include "layer_access.h"
#include "layer_target.h"
#include "pixel_convert.h"
#include "png_io.h"
#include "session.h"

namespace brenmark::tool {

namespace {

// The engine quietly ignores mask operations on other layers; the tool
// says so instead of reporting success for a line that did nothing.
std::string ResolveMask(Session& s, const Arguments& a, Target& t) {
  if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
  if (!s.IsMask(t.index, t.h)) return LayerWord(t.index) + " is not a mask";
  return "";
}

// Lets the display and the canvas's cached composites follow a change of
// the layer's effective pixels.
void ShownPixelsChanged(int h, int index) {
  PixelLayer l;
  if (!FindPixelLayer(h, index, l).empty()) return;
  const ilTile r = ContentBounds(l);
  if (!r.empty()) PixelsChanged(l, r);
}

std::string InvertMask(Session& s, const Arguments& a) {
  Target t;
  if (std::string p = ResolveMask(s, a, t); !p.empty()) return p;
  Brenmark.InvertMaskLayer(t.index, t.h);
  return "";
}

std::string MaskActive(Session& s, const Arguments& a) {
  Target t;
  if (std::string p = ResolveMask(s, a, t); !p.empty()) return p;
  Brenmark.SetMaskActive(a.Choice("state") == 0, t.index, t.h);
  ShownPixelsChanged(t.h, t.index);
  return "";
}

enum class StencilOp { kHide, kShow, kErase };

std::string Stencil(Session& s, const Arguments& a, StencilOp op) {
  Target t;
  if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
  if (s.IsShape(t.index, t.h)) {
    return LayerWord(t.index) + " is a shape layer; its pixels are drawn from its shapes";
  }
  switch (op) {
    case StencilOp::kHide:
      Brenmark.HideAllPaint(t.index, t.h);
      break;
    case StencilOp::kShow:
      Brenmark.ShowAllPaint(t.index, t.h);
      break;
    case StencilOp::kErase:
      Brenmark.EraseHiddenPaint(t.index, t.h);
      break;
  }
  ShownPixelsChanged(t.h, t.index);
  return "";
}

// Moves a layer by (dx, dy). The engine keeps a layer within reach of the
// canvas; when it holds the layer back the tool says where it ended up.
std::string Offset(Session& s, const Arguments& a) {
  Target t;
  if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
  if (s.IsShape(t.index, t.h)) {
    return LayerWord(t.index) + " is a shape layer; move its shapes instead";
  }
  int x = 0, y = 0;
  Brenmark.GetCurrentLayerOffset(x, y, t.index, t.h);
  // Both terms are within a million of zero, so the sums cannot overflow.
  const std::int64_t wantX = std::int64_t{x} + a.Integer("dx");
  const std::int64_t wantY = std::int64_t{y} + a.Integer("dy");
  Brenmark.SetCurrentLayerOffset(LayerStackTransform(), static_cast<int>(wantX),
                                 static_cast<int>(wantY), t.index, t.h, true);
  Brenmark.GetCurrentLayerOffset(x, y, t.index, t.h);
  if (x != wantX || y != wantY) {
    s.Warn(LayerWord(t.index) + " was kept near the canvas: its offset is " + std::to_string(x) +
           "," + std::to_string(y));
  }
  return "";
}

// One reference to an engine image, released when the scope ends.
class ImageRef {
 public:
  explicit ImageRef(ilSmartImage* image) : image_(image) {}
  ~ImageRef() {
    if (image_) image_->unref();
  }
  ImageRef(const ImageRef&) = delete;
  ImageRef& operator=(const ImageRef&) = delete;
  ilSmartImage* get() const { return image_; }

 private:
  ilSmartImage* image_;
};

std::string ExportComposite(Session& s, const Arguments& a) {
  Target t;
  if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
  const int given = a.Has("x") + a.Has("y") + a.Has("width") + a.Has("height");
  if (given != 0 && given != 4) return "give all of <x>, <y>, <width> and <height>, or none";
  LayerStack* stack = Brenmark.GetLayerStack(t.h);
  int ox = 0, oy = 0;
  ImageRef image(stack
                     ? stack->GetLayerImage(ox, oy, Brenmark.GetLayerHandle(t.index, t.h),
                                            a.Choice("background") == 1, a.Choice("selection") == 1)
                     : nullptr);
  if (!image.get()) return "the engine gave no image of " + LayerWord(t.index);
  // The image's pixel (u, v) lies at canvas pixel (u + ox, v + oy).
  ilTile r;
  if (given == 4) {
    r = ilTile(static_cast<int>(a.Integer("x")), static_cast<int>(a.Integer("y")), 0,
               static_cast<int>(a.Integer("width")), static_cast<int>(a.Integer("height")), 1);
  } else {
    const ilTile b = image.get()->getBounds();
    if (b.empty()) return LayerWord(t.index) + " shows no pixels; give a rectangle to export";
    if (b.nx > kMaxImageSide || b.ny > kMaxImageSide) {
      return LayerWord(t.index) + " shows " + std::to_string(b.nx) + " x " + std::to_string(b.ny) +
             " pixels; give a rectangle of at most " + std::to_string(kMaxImageSide) + " x " +
             std::to_string(kMaxImageSide);
    }
    r = ilTile(b.x + ox, b.y + oy, 0, b.nx, b.ny, 1);
  }
  ImagePixels pixels;
  const int channels = image.get()->getCsize() == 1 ? 1 : 4;
  if (!pixels.Allocate(r.nx, r.ny, channels)) {
    return "not enough memory for " + std::to_string(r.nx) + " x " + std::to_string(r.ny) +
           " pixels";
  }
  if (image.get()->getTile(r.x - ox, r.y - oy, r.nx, r.ny, pixels.bytes.data()) != ilOkay) {
    return "the engine could not read the image of " + LayerWord(t.index);
  }
  // Pixels the page store failed to read back are wrong: never write them.
  if (std::string p = s.CheckStore(); !p.empty()) return p;
  if (channels == 4) UnpremultiplyPixels(pixels.bytes.data(), pixels.PixelCount());
  return WritePng(a.Text("file"), pixels, s.GetProgress());
}

Handler Bound(Session& s, std::string (*fn)(Session&, const Arguments&)) {
  return [&s, fn](const Arguments& a) { return fn(s, a); };
}

ParamSpec Coordinate(std::string name, std::string fallback = "") {
  return IntegerParam(std::move(name), -kMaxCoordinate, kMaxCoordinate, std::move(fallback));
}

}  // namespace

void RegisterLayerImageCommands(CommandRegistry& registry, Session& session) {
  const std::string group = "What layers show: masks, stencils, offsets and composites";

  registry.Add({
      .name = "invert-mask",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Inverts a mask layer: each value v becomes 255 - v, also where the mask holds "
                 "no pixels.",
      .example = "invert-mask Fade",
      .handler = Bound(session, InvertMask),
  });
  registry.Add({
      .name = "mask-active",
      .group = group,
      .params = {LayerParam("layer"), ChoiceParam("state", {"on", "off"})},
      .summary = "Switches a mask layer on or off; a mask that is off protects nothing. Other "
                 "layers are refused.",
      .example = "mask-active Fade off",
      .handler = Bound(session, MaskActive),
  });
  registry.Add({
      .name = "hide-paint",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Hides all of a layer's paint behind its stencil; the pixels are kept and come "
                 "back with show-paint.",
      .example = "hide-paint Sky",
      .handler = Bound(
          session, [](Session& s, const Arguments& a) { return Stencil(s, a, StencilOp::kHide); }),
  });
  registry.Add({
      .name = "show-paint",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Clears a layer's stencil, showing all its paint again.",
      .example = "show-paint Sky",
      .handler = Bound(
          session, [](Session& s, const Arguments& a) { return Stencil(s, a, StencilOp::kShow); }),
  });
  registry.Add({
      .name = "erase-hidden-paint",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Bakes a layer's stencil into its pixels: paint the stencil hides is erased for "
                 "good, and the stencil is cleared.",
      .example = "erase-hidden-paint Sky",
      .handler = Bound(
          session, [](Session& s, const Arguments& a) { return Stencil(s, a, StencilOp::kErase); }),
  });
  registry.Add({
      .name = "offset",
      .group = group,
      .params = {LayerParam("layer"), Coordinate("dx"), Coordinate("dy")},
      .summary = "Moves a layer (not a shape layer) by dx pixels right and dy pixels up. The "
                 "engine keeps a layer within one canvas size of the canvas; when it holds the "
                 "layer back, a warning on standard error gives the offset it keeps.",
      .example = "offset Sky 10 -5",
      .handler = Bound(session, Offset),
  });
  registry.Add({
      .name = "export-composite",
      .group = group,
      .params = {LayerParam("layer"), PathParam("file"),
                 ChoiceParam("background", {"no", "yes"}, "no"),
                 ChoiceParam("selection", {"no", "yes"}, "no"), Coordinate("x", "-"),
                 Coordinate("y", "-"), IntegerParam("width", 1, kMaxImageSide, "-"),
                 IntegerParam("height", 1, kMaxImageSide, "-")},
      .summary = "Writes what a layer shows to a PNG file: its pixels through its stencil (and, "
                 "for the current layer, its masks), over the canvas background with "
                 "background=yes (where the layer holds pixels), cut to the selection with "
                 "selection=yes. The given canvas rectangle, or all the layer shows. Image "
                 "layers give 8-bit RGBA with straight alpha, masks 8-bit grey.",
      .example = "export-composite Sky sky.png background=yes",
      .handler = Bound(session, ExportComposite),
  });
}

}  // namespace brenmark::tool
