// The engine side of the tool: the reference host the engine calls back
// into, where command output goes, and the lookups every command shares
// (the current canvas, resolving a layer reference to an index). Lookups
// only read engine state, so a command can check all its arguments before
// it changes anything.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "command_registry.h"
#include "host/reference_host.h"
#include "progress.h"

namespace brenmark::tool {

class Session {
 public:
  // The host keeps every canvas's view in memory (four bytes a pixel): a
  // canvas side of 4096 is 64 MiB, and the canvases alive at once may cover
  // at most 64 Mi pixels (67108864), 256 MiB of views.
  static constexpr int kMaxCanvasSide = 4096;
  static constexpr std::int64_t kDefaultPixelBudget = std::int64_t{64} << 20;

  // Commands print to `out`; they reach the application side through
  // `host`.
  Session(brenmark::host::ReferenceHost& host, std::ostream& out,
          std::int64_t pixelBudget = kDefaultPixelBudget)
      : host_(host), out_(out), pixelBudget_(pixelBudget) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Installs the host into the engine's paint manager and initialises the
  // engine; call once before running commands.
  void Start();

  brenmark::host::ReferenceHost& Host() { return host_; }
  std::ostream& Out() { return out_; }
  // Where long work (decoding and encoding big images) shows how far it has
  // come; null (the default) shows nothing.
  void SetProgress(Progress* progress) { progress_ = progress; }
  Progress* GetProgress() const { return progress_; }

  // Warnings (a command that did less than it was asked, without failing)
  // go to `warnings` (standard error by default), after the place set with
  // SetLocation ("paint.bms:3") when there is one.
  void SetWarnings(std::ostream* warnings) { warnings_ = warnings; }
  void SetLocation(std::string where) { location_ = std::move(where); }
  // The folder of the script being run ("" for standard input: the current
  // folder). Files a script reads by a relative name (pen samples) are
  // taken from there, so a script and its data travel together; files it
  // writes go to the current folder.
  void SetScriptFolder(std::string folder) { scriptFolder_ = std::move(folder); }
  std::string ScriptRelative(const std::string& path) const;
  void Warn(const std::string& text);

  // The problem when the page store reported an error ("SID: Error ..."
  // through the host's messages) since the last call: pixels it could not
  // read back would come out wrong, so the command that met it must fail
  // and write nothing. Empty when all is well.
  std::string CheckStore();

  // The current canvas's handle in `h`, or the problem.
  std::string CurrentCanvas(int& h) const;
  // `h` names an existing canvas, or the problem.
  std::string CheckCanvas(int h) const;
  // The problem when a new canvas of width x height would take the canvases
  // over the pixel budget.
  std::string CheckPixelBudget(std::int64_t width, std::int64_t height) const;
  // The index (1 = bottom) of the layer `ref` names in canvas `h`, or the
  // problem. The selection mask is never a valid answer.
  std::string ResolveLayer(const LayerRef& ref, int h, int& index) const;
  // The problem when `name` is already taken in canvas `h` by a layer other
  // than `except` (an index; 0 for none).
  std::string CheckNameFree(const std::string& name, int h, int except) const;
  // The layer at `index` is a mask / a shape (geometry) layer.
  bool IsMask(int index, int h) const;
  bool IsShape(int index, int h) const;
  // The layers a layer moves with: itself and, for an image layer, the run
  // of masks directly above it.
  int GroupSize(int index, int h) const;
  // Makes the layer at `index` current unless it already is.
  void MakeCurrent(int index, int h);

 private:
  brenmark::host::ReferenceHost& host_;
  std::ostream& out_;
  std::int64_t pixelBudget_;
  Progress* progress_ = nullptr;
  std::ostream* warnings_ = nullptr;
  std::string location_;
  std::string scriptFolder_;
  std::size_t messagesSeen_ = 0;  // host messages already checked
};

// The command groups, each adding its commands to the table.
void RegisterBrushCommands(CommandRegistry& registry, Session& session);
void RegisterCanvasCommands(CommandRegistry& registry, Session& session);
// Save and open OpenRaster documents (nothing without the OpenRaster library).
void RegisterDocumentCommands(CommandRegistry& registry, Session& session);
void RegisterFilterCommands(CommandRegistry& registry, Session& session);
void RegisterFloodCommands(CommandRegistry& registry, Session& session);
void RegisterLayerCommands(CommandRegistry& registry, Session& session);
void RegisterLayerImageCommands(CommandRegistry& registry, Session& session);
void RegisterOutputCommands(CommandRegistry& registry, Session& session);
void RegisterPixelCommands(CommandRegistry& registry, Session& session);
void RegisterSelectionCommands(CommandRegistry& registry, Session& session);
void RegisterShapeCommands(CommandRegistry& registry, Session& session);
void RegisterTransformCommands(CommandRegistry& registry, Session& session);
void RegisterUndoCommands(CommandRegistry& registry, Session& session);

// All commands the tool knows, in help order. Every handler is followed by
// Session::CheckStore(): a command during which the page store failed
// fails, whatever it did.
void RegisterAllCommands(CommandRegistry& registry, Session& session);

}  // namespace brenmark::tool
