// Script commands that report: the layer structure of canvases.
#include <brenmark/paint_manager.h>

#include "session.h"
#include "structure_printer.h"

namespace brenmark::tool {

void RegisterOutputCommands(CommandRegistry& registry, Session& session) {
  registry.Add({
      .name = "print",
      .group = "Output",
      .params = {IntegerParam("canvas", 0, PaintManager::kMaxLayerStacks - 1, "-")},
      .summary = "Prints the layer structure of one canvas, or of every canvas: its layers from "
                 "bottom (1) to top with index, kind (image, mask, shape), active flag, opacity "
                 "and name, masks indented under their image layer, the current layer marked "
                 "with *, and the selection mask last.",
      .example = "print",
      .handler = [&session](const Arguments& a) -> std::string {
        if (!a.Has("canvas")) {
          PrintAllCanvases(session.Out());
          return "";
        }
        const int h = static_cast<int>(a.Integer("canvas"));
        if (std::string problem = session.CheckCanvas(h); !problem.empty()) return problem;
        PrintCanvas(session.Out(), h);
        return "";
      },
  });
}

}  // namespace brenmark::tool
