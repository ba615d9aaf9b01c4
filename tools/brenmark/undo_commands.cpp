// Script commands on the engine's undo list: undo and redo.
#include <brenmark/brenmark.h>
#include <brenmark/undo_list.h>

#include <string>

#include "session.h"

namespace brenmark::tool {

namespace {

// Up to `steps` undos or redos. Running out is not an error (as in an
// editor, the key simply does nothing more): the engine's message becomes a
// warning on standard error and the script goes on.
std::string Step(Session& s, const Arguments& a, bool undo) {
  const std::int64_t steps = a.Integer("steps");
  for (std::int64_t i = 0; i < steps; ++i) {
    if (undo ? PaintUndoList.Undo() : PaintUndoList.Redo()) continue;
    std::string message = PaintUndoList.LastMessage();
    while (!message.empty() && message.back() == '\n') message.pop_back();
    s.Warn(message);
    break;
  }
  return "";
}

}  // namespace

void RegisterUndoCommands(CommandRegistry& registry, Session& session) {
  const std::string group = "Undo (the last 10 recorded changes, of all canvases together)";
  const std::string nothingLeft =
      " Recorded are strokes, shapes, layers added, deleted, duplicated, moved, merged and "
      "cleared, mask and "
      "hidden-paint changes, blur and sharpen; fill, import and paste write pixels directly and "
      "are not recorded. Deleting a canvas forgets its changes. With nothing left to undo, the "
      "engine's message (\"You cannot undo any more actions.\") is printed on standard error "
      "as a warning and the script goes on: it is not an error.";
  registry.Add({
      .name = "undo",
      .group = group,
      .params = {IntegerParam("steps", 1, 10, "1")},
      .summary =
          "Takes back the most recent recorded changes, one per step, newest first." + nothingLeft,
      .example = "undo 2",
      .handler = [&session](const Arguments& a) { return Step(session, a, true); },
  });
  registry.Add({
      .name = "redo",
      .group = group,
      .params = {IntegerParam("steps", 1, 10, "1")},
      .summary = "Makes again the changes undo took back, oldest first. A new recorded change "
                 "drops what could be redone. With nothing left to redo, the engine's message "
                 "(\"You cannot redo any more actions.\") is a warning on standard error, not "
                 "an error.",
      .example = "redo",
      .handler = [&session](const Arguments& a) { return Step(session, a, false); },
  });
}

}  // namespace brenmark::tool
