// Script commands on OpenRaster documents (.ora): saving the current canvas
// and opening a document as a new canvas. Present when the tool is built
// with the OpenRaster library; without it they are not in the table.
#include "session.h"

#if BRENMARK_HAVE_OPENRASTER
#include <brenmark/brenmark.h>
#include <brenmark/openraster.h>
#include <brenmark/paint_manager.h>

#include "png_io.h"
#include "script_syntax.h"
#endif

namespace brenmark::tool {

#if BRENMARK_HAVE_OPENRASTER
namespace {

void PassOnWarnings(Session& session, const std::vector<std::string>& warnings) {
  for (const std::string& w : warnings) session.Warn(w);
}

}  // namespace

void RegisterDocumentCommands(CommandRegistry& registry, Session& session) {
  const std::string group = "Documents (OpenRaster)";
  registry.Add({
      .name = "save",
      .group = group,
      .params = {PathParam("file")},
      .summary = "Saves the current canvas as an OpenRaster document (.ora) that other painting "
                 "programs open: every layer as a PNG over its bounds, the composed picture and "
                 "a thumbnail. Masks are saved hidden, stencils applied to their layer and the "
                 "background colour as a bottom layer, so others show what Brenmark shows; "
                 "Brenmark's own state (masks, stencils, offsets, the selection, the background) "
                 "comes back whole with 'open'. The file is replaced only by a complete new one.",
      .example = "save landscape.ora",
      .handler = [&session](const Arguments& a) -> std::string {
        int h = -1;
        if (std::string problem = session.CurrentCanvas(h); !problem.empty()) return problem;
        const std::string& file = a.Text("file");
        const OpenRasterResult r = SaveOpenRaster(h, file);
        if (!r.ok) return "cannot save '" + Printable(file) + "': " + r.message;
        PassOnWarnings(session, r.warnings);
        return "";
      },
  });
  registry.Add({
      .name = "open",
      .group = group,
      .params = {PathParam("file")},
      .summary = "Opens an OpenRaster document as a new canvas of its size (at most 4096 x 4096) "
                 "and makes it current. Nested stacks are flattened and unknown composite "
                 "operations shown as normal, with a warning; a damaged document, a missing "
                 "layer image or sizes beyond the limits are refused and nothing is made.",
      .example = "open landscape.ora",
      .handler = [&session](const Arguments& a) -> std::string {
        if (Brenmark.GetLayerStackCount() >= PaintManager::kMaxLayerStacks) {
          return "all " + std::to_string(PaintManager::kMaxLayerStacks) + " canvases are in use";
        }
        const std::string& file = a.Text("file");
        OpenRasterLimits limits;
        limits.maxSide = kMaxImageSide;
        OpenRasterDocument document;
        OpenRasterResult r = ReadOpenRaster(file, document, limits);
        if (!r.ok) return "cannot open " + r.message;
        if (document.Width() > Session::kMaxCanvasSide ||
            document.Height() > Session::kMaxCanvasSide) {
          return "cannot open '" + Printable(file) + "': its canvas is " +
                 std::to_string(document.Width()) + " x " + std::to_string(document.Height()) +
                 " pixels; a canvas may be at most " + std::to_string(Session::kMaxCanvasSide) +
                 " x " + std::to_string(Session::kMaxCanvasSide);
        }
        if (std::string problem = session.CheckPixelBudget(document.Width(), document.Height());
            !problem.empty()) {
          return problem;
        }
        session.Host().SetDefaultViewSize(document.Width(), document.Height());
        OpenRasterResult made = CreateCanvas(document);
        if (!made.ok) return "cannot open '" + Printable(file) + "': " + made.message;
        PassOnWarnings(session, r.warnings);
        PassOnWarnings(session, made.warnings);
        return "";
      },
  });
}
#else
void RegisterDocumentCommands(CommandRegistry&, Session&) {}
#endif

}  // namespace brenmark::tool
