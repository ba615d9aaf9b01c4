// Script commands that report: the layer structure of canvases, and where a
// file the script wrote lies.
#include <brenmark/paint_manager.h>

#include <filesystem>

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
  registry.Add({
      .name = "print-path",
      .group = "Output",
      .params = {PathParam("file")},
      .summary = "Prints the absolute path of a file, which must exist: tells the reader where "
                 "a picture the script has just exported went.",
      .example = "print-path sky.png",
      .handler = [&session](const Arguments& a) -> std::string {
        namespace fs = std::filesystem;
        const std::string& file = a.Text("file");
        std::error_code ec;
        if (!fs::is_regular_file(file, ec)) return "there is no file '" + Printable(file) + "'";
        const fs::path path = fs::absolute(file, ec);
        if (ec) return "cannot tell where '" + Printable(file) + "' is: " + ec.message();
        session.Out() << path.lexically_normal().string() << "\n";
        return "";
      },
  });
}

}  // namespace brenmark::tool
