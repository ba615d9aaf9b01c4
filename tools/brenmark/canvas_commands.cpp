// Script commands on canvases (layer stacks): create, choose, delete, and
// the background colour.
#include <brenmark/brenmark.h>
#include <brenmark/paint_color.h>
#include <brenmark/paint_manager.h>

#include "pixel_convert.h"
#include "session.h"

namespace brenmark::tool {

namespace {

constexpr double kLastSlot = PaintManager::kMaxLayerStacks - 1;

}  // namespace

void RegisterCanvasCommands(CommandRegistry& registry, Session& session) {
  const std::string group =
      "Canvases (numbered from 0 in order of creation, reusing freed numbers)";

  registry.Add({
      .name = "canvas",
      .group = group,
      .params = {IntegerParam("width", 1, Session::kMaxCanvasSide, "256"),
                 IntegerParam("height", 1, Session::kMaxCanvasSide, "256")},
      .summary = "Creates a canvas of the given size in pixels (at most 4096 x 4096, and all "
                 "canvases together at most 67108864 pixels), with no layers yet, and makes it "
                 "the current canvas. Layer commands act on the current canvas.",
      .example = "canvas 640 480",
      .handler = [&session](const Arguments& a) -> std::string {
        if (Brenmark.GetLayerStackCount() >= PaintManager::kMaxLayerStacks) {
          return "all " + std::to_string(PaintManager::kMaxLayerStacks) + " canvases are in use";
        }
        const std::int64_t width = a.Integer("width"), height = a.Integer("height");
        if (std::string problem = session.CheckPixelBudget(width, height); !problem.empty()) {
          return problem;
        }
        session.Host().SetDefaultViewSize(static_cast<int>(width), static_cast<int>(height));
        if (Brenmark.AddLayerStack(ViewerParms{}) < 0) return "the engine refused a canvas";
        return "";
      },
  });

  registry.Add({
      .name = "use-canvas",
      .group = group,
      .params = {IntegerParam("canvas", 0, kLastSlot)},
      .summary = "Makes an existing canvas the current one.",
      .example = "use-canvas 0",
      .handler = [&session](const Arguments& a) -> std::string {
        const int h = static_cast<int>(a.Integer("canvas"));
        if (std::string problem = session.CheckCanvas(h); !problem.empty()) return problem;
        PntSetCurrentLayerStack(h);
        return "";
      },
  });

  registry.Add({
      .name = "background",
      .group = group,
      .params = {ColourParam("colour")},
      .summary = "Sets the current canvas's background colour, which shows under its layers: in "
                 "the canvas's composite and in export-composite with background=yes. Straight "
                 "alpha like every colour (the canvas keeps it premultiplied); a new canvas "
                 "starts white.",
      .example = "background #F4EBD9",
      .handler = [&session](const Arguments& a) -> std::string {
        int h = -1;
        if (std::string problem = session.CurrentCanvas(h); !problem.empty()) return problem;
        const Rgba& c = a.Colour("colour");
        Brenmark.SetBackgroundColor(
            PaintColor(Premultiply(c.r, c.a), Premultiply(c.g, c.a), Premultiply(c.b, c.a), c.a),
            h);
        return "";
      },
  });

  registry.Add({
      .name = "delete-canvas",
      .group = group,
      .params = {IntegerParam("canvas", 0, kLastSlot)},
      .summary = "Deletes a canvas and its layers. Deleting the current canvas leaves no canvas "
                 "current until 'use-canvas' or 'canvas'.",
      .example = "delete-canvas 1",
      .handler = [&session](const Arguments& a) -> std::string {
        const int h = static_cast<int>(a.Integer("canvas"));
        if (std::string problem = session.CheckCanvas(h); !problem.empty()) return problem;
        Brenmark.DeleteLayerStack(h);
        return "";
      },
  });
}

}  // namespace brenmark::tool
