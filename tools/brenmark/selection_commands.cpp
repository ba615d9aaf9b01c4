// Script commands on the canvas's selection: choosing the selected area
// from rectangles, mask layers and grey PNGs, clearing what is selected,
// and exporting the selection as the view shows it (tinted overlay or
// marching ants).
//
// The engine keeps the selection as a mask: 255 protects a pixel and 0
// leaves it open to painting and clearing. Here "selected" means open, so
// selecting a rectangle opens it and subtracting one protects it again.
#include <brenmark/brenmark.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/smart_image.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "layer_access.h"
#include "layer_target.h"
#include "pixel_convert.h"
#include "png_io.h"
#include "session.h"

namespace brenmark::tool {

namespace {

enum class RectOp { kReplace, kAdd, kSubtract };
enum class WholeOp { kAll, kNone, kInvert };

std::string Canvas(Session& s, LayerStack*& stack, int& h) {
  if (std::string p = s.CurrentCanvas(h); !p.empty()) return p;
  stack = Brenmark.GetLayerStack(h);
  if (!stack || !stack->GetSelectionMask())
    return "canvas " + std::to_string(h) + " has no selection";
  return "";
}

// The rectangle cut to the canvas: beyond it a selection changes nothing
// that shows, and an unbounded one would cost pages without end.
std::string CanvasRect(const Arguments& a, int h, ilTile& r) {
  const ilTile want(static_cast<int>(a.Integer("x")), static_cast<int>(a.Integer("y")), 0,
                    static_cast<int>(a.Integer("width")), static_cast<int>(a.Integer("height")), 1);
  const ilTile canvas = Brenmark.GetCanvasBounds(h);
  r = ilTile(want, canvas);
  if (r.nx > 0 && r.ny > 0) return "";
  return "the rectangle (" + std::to_string(want.x) + "," + std::to_string(want.y) + " " +
         std::to_string(want.nx) + "x" + std::to_string(want.ny) + ") lies outside canvas " +
         std::to_string(h) + " (" + std::to_string(canvas.nx) + " x " + std::to_string(canvas.ny) +
         ")";
}

std::string SelectRect(Session& s, const Arguments& a, RectOp op) {
  LayerStack* stack = nullptr;
  int h = -1;
  if (std::string p = Canvas(s, stack, h); !p.empty()) return p;
  ilTile r;
  if (std::string p = CanvasRect(a, h, r); !p.empty()) return p;
  switch (op) {
    case RectOp::kReplace:
      Brenmark.ClearSelectionMask(r, h);
      break;
    case RectOp::kAdd:
      Brenmark.SubtractFromSelection(r, h);
      break;
    case RectOp::kSubtract:
      Brenmark.AddToSelection(r, h);
      break;
  }
  return "";
}

std::string SelectWhole(Session& s, WholeOp op) {
  LayerStack* stack = nullptr;
  int h = -1;
  if (std::string p = Canvas(s, stack, h); !p.empty()) return p;
  switch (op) {
    case WholeOp::kAll:
      Brenmark.ClearSelectionMask(h);
      break;
    case WholeOp::kNone:
      Brenmark.FillSelectionMask(h);
      break;
    case WholeOp::kInvert:
      Brenmark.InvertMaskLayer(stack->GetLayerCount() + 1, h);
      break;
  }
  return "";
}

// A mask layer selects where it is painted (255): adding it opens the
// selection there, subtracting it protects there.
std::string SelectLayer(Session& s, const Arguments& a, bool add) {
  Target t;
  if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
  if (!s.IsMask(t.index, t.h)) return LayerWord(t.index) + " is not a mask";
  void* handle = Brenmark.GetLayerHandle(t.index, t.h);
  if (add)
    Brenmark.SubtractFromSelection(handle, t.h);
  else
    Brenmark.AddToSelection(handle, t.h);
  return "";
}

// White in the PNG selects, black leaves unselected; everything beyond the
// image is unselected.
std::string SelectFromPng(Session& s, const Arguments& a) {
  LayerStack* stack = nullptr;
  int h = -1;
  if (std::string p = Canvas(s, stack, h); !p.empty()) return p;
  ImagePixels pixels;
  if (std::string p = ReadPng(a.Text("file"), PngPixels::kGrey, pixels, s.GetProgress());
      !p.empty()) {
    return p;
  }
  std::uint8_t zero = 0;
  auto* image = new ilSmartImage(ilPixel(ilUChar, 1, &zero));
  image->ref();
  const int x = static_cast<int>(a.Integer("x")), y = static_cast<int>(a.Integer("y"));
  const bool ok = image->setTile(x, y, pixels.width, pixels.height, pixels.bytes.data()) == ilOkay;
  if (ok) Brenmark.ClearSelectionMask(image, h);
  image->unref();
  return ok ? "" : "the engine could not take the image";
}

std::string ClearSelected(Session& s) {
  LayerStack* stack = nullptr;
  int h = -1;
  if (std::string p = Canvas(s, stack, h); !p.empty()) return p;
  const int index = stack->GetCurrentLayer();
  if (index < 1 || index > stack->GetLayerCount()) return "the canvas has no current layer";
  if (s.IsShape(index, h)) {
    return LayerWord(index) + " is a shape layer; its pixels are drawn from its shapes";
  }
  Brenmark.ClearLayerImageBySelMask(Brenmark.GetLayerHandle(index, h));
  return "";
}

// The ants image is screen sized and the view's pixels sit at its origin,
// rows bottom first like the composed picture, so the ants overlay the
// picture pixel for pixel.
std::string Ants(LayerStack* stack, ImagePixels& picture) {
  const SMDrawStyle was = stack->GetSelectionMaskDrawStyle();
  stack->SetSelectionMaskDrawStyle(kSMDrawMarchingAnts);
  stack->DoMarchingAntsImg();
  ilQVMemoryImg* ants = stack->GetSelMaskUpdateImage();
  std::string problem;
  if (!ants || !ants->getDataPtr() || ants->getXsize() < picture.width ||
      ants->getYsize() < picture.height) {
    problem = "the screen is smaller than the canvas's view; no ants to show";
  } else {
    const auto* a = static_cast<const std::uint8_t*>(ants->getDataPtr());
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        const std::uint8_t* ant = a + 4 * (static_cast<std::size_t>(y) * ants->getXsize() + x);
        if (ant[3] == 0) continue;
        std::memcpy(&picture.bytes[4 * (static_cast<std::size_t>(y) * picture.width + x)], ant, 4);
      }
    }
  }
  stack->SetSelectionMaskDrawStyle(was);
  return problem;
}

std::string ExportSelection(Session& s, const Arguments& a) {
  LayerStack* stack = nullptr;
  int h = -1;
  if (std::string p = Canvas(s, stack, h); !p.empty()) return p;
  if (stack->isSelectionMaskCurrent()) return "the selection is the current layer; it shows as is";
  const bool ants = a.Choice("style") == 1;
  ImagePixels pixels;
  if (std::string p = RenderCanvas(h, !ants, 1.0f, 0.0f, 0, pixels, s.GetProgress()); !p.empty())
    return p;
  if (ants) {
    if (std::string p = Ants(stack, pixels); !p.empty()) return p;
  }
  if (std::string p = s.CheckStore(); !p.empty()) return p;
  UnpremultiplyPixels(pixels.bytes.data(), pixels.PixelCount());
  return WritePng(a.Text("file"), pixels, s.GetProgress());
}

Handler Bound(Session& s, std::string (*fn)(Session&, const Arguments&)) {
  return [&s, fn](const Arguments& a) { return fn(s, a); };
}

std::vector<ParamSpec> RectParams() {
  return {IntegerParam("x", -kMaxCoordinate, kMaxCoordinate),
          IntegerParam("y", -kMaxCoordinate, kMaxCoordinate),
          IntegerParam("width", 1, kMaxCoordinate), IntegerParam("height", 1, kMaxCoordinate)};
}

}  // namespace

void RegisterSelectionCommands(CommandRegistry& registry, Session& session) {
  const std::string group =
      "Selections: where painting and clearing act (x, y from the canvas's bottom-left corner, y "
      "upwards)";
  auto rect = [&session](RectOp op) {
    return [&session, op](const Arguments& a) { return SelectRect(session, a, op); };
  };
  auto whole = [&session](WholeOp op) {
    return [&session, op](const Arguments&) { return SelectWhole(session, op); };
  };
  registry.Add({
      .name = "select-rect",
      .group = group,
      .params = RectParams(),
      .summary = "Selects the rectangle (cut to the canvas) and nothing else.",
      .example = "select-rect 10 10 100 50",
      .handler = rect(RectOp::kReplace),
  });
  registry.Add({
      .name = "select-add-rect",
      .group = group,
      .params = RectParams(),
      .summary = "Adds the rectangle (cut to the canvas) to the selection.",
      .example = "select-add-rect 120 10 20 20",
      .handler = rect(RectOp::kAdd),
  });
  registry.Add({
      .name = "select-subtract-rect",
      .group = group,
      .params = RectParams(),
      .summary = "Takes the rectangle (cut to the canvas) out of the selection.",
      .example = "select-subtract-rect 20 20 10 10",
      .handler = rect(RectOp::kSubtract),
  });
  registry.Add({
      .name = "select-all",
      .group = group,
      .params = {},
      .summary = "Selects everything (a new canvas starts so).",
      .example = "select-all",
      .handler = whole(WholeOp::kAll),
  });
  registry.Add({
      .name = "select-none",
      .group = group,
      .params = {},
      .summary = "Selects nothing: painting and clear-selected change no pixel.",
      .example = "select-none",
      .handler = whole(WholeOp::kNone),
  });
  registry.Add({
      .name = "select-invert",
      .group = group,
      .params = {},
      .summary = "Inverts the selection: a value v becomes 255 x (256 - v) / 256, so fully "
                 "selected and unselected swap exactly.",
      .example = "select-invert",
      .handler = whole(WholeOp::kInvert),
  });
  registry.Add({
      .name = "select-add-layer",
      .group = group,
      .params = {LayerParam("layer")},
      .summary = "Adds what a mask layer covers to the selection, in proportion to the mask's "
                 "value (and its value beyond its pixels). Other layers are refused.",
      .example = "select-add-layer Fade",
      .handler = [&session](const Arguments& a) { return SelectLayer(session, a, true); },
  });
  registry.Add({
      .name = "select-subtract-layer",
      .group = group,
      .params = {LayerParam("layer")},
      .summary = "Takes what a mask layer covers out of the selection, in proportion to the "
                 "mask's value. Other layers are refused.",
      .example = "select-subtract-layer Fade",
      .handler = [&session](const Arguments& a) { return SelectLayer(session, a, false); },
  });
  registry.Add({
      .name = "select-from-png",
      .group = group,
      .params = {PathParam("file"), IntegerParam("x", -kMaxCoordinate, kMaxCoordinate, "0"),
                 IntegerParam("y", -kMaxCoordinate, kMaxCoordinate, "0")},
      .summary = "Selects from a grey PNG placed with its bottom-left corner at (x, y): white "
                 "selects, black does not, grey in between; beyond the image nothing is "
                 "selected.",
      .example = "select-from-png shape.png 10 10",
      .handler = Bound(session, SelectFromPng),
  });
  registry.Add({
      .name = "clear-selected",
      .group = group,
      .params = {},
      .summary = "Clears the current layer where it is selected (partly selected pixels in "
                 "proportion); with everything selected the whole layer.",
      .example = "clear-selected",
      .handler = [&session](const Arguments&) { return ClearSelected(session); },
  });
  registry.Add({
      .name = "export-selection",
      .group = group,
      .params = {PathParam("file"), ChoiceParam("style", {"overlay", "ants"}, "overlay")},
      .summary = "Writes the canvas as its view shows it with the selection: overlay tints what "
                 "is not selected in the selection's colour and opacity, ants draws the "
                 "marching ants along the selection's edge. 8-bit RGBA, straight alpha.",
      .example = "export-selection sel.png ants",
      .handler = Bound(session, ExportSelection),
  });
}

}  // namespace brenmark::tool
