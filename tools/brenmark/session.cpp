// Shared lookups of the engine commands.
#include "session.h"

#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/qv_memory_img.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <vector>

#include "host/install.h"

namespace brenmark::tool {

namespace {

std::string CanvasName(int h) {
  return "canvas " + std::to_string(h);
}

std::string LayerCount(int n) {
  return n == 1 ? "1 layer" : std::to_string(n) + " layers";
}

// "SID: Error ..." or "SID: ERROR ...", the page store's reports of a
// failure, at `start` of a message.
bool IsStoreError(const std::string& m, std::size_t start) {
  if (start == std::string::npos || m.compare(start, 5, "SID: ") != 0) return false;
  const std::string word = m.substr(start + 5, 5);
  if (word.size() != 5) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if ((word[i] | 0x20) != "error"[i]) return false;
  }
  return true;
}

}  // namespace

void Session::Start() {
  brenmark::host::InstallIntoBrenmark(host_);
  // A canvas whose display is pulled shows the engine's update image.
  host_.PullUpdatesFrom(Brenmark);
  PntInitializePaintManager();
  messagesSeen_ = host_.Messages().size();
}

std::string Session::ScriptRelative(const std::string& path) const {
  if (scriptFolder_.empty() || path.empty() || path[0] == '/') return path;
  return (std::filesystem::path(scriptFolder_) / path).string();
}

void Session::Warn(const std::string& text) {
  std::ostream& to = warnings_ ? *warnings_ : std::cerr;
  if (progress_) progress_->Clear();
  if (!location_.empty()) to << location_ << ": ";
  to << "warning: " << text << "\n";
}

std::string Session::CheckStore() {
  const std::vector<std::string>& messages = host_.Messages();
  std::string problem;
  for (; messagesSeen_ < messages.size(); ++messagesSeen_) {
    const std::string& m = messages[messagesSeen_];
    const std::size_t start = m.find_first_not_of("\n ");
    if (!problem.empty() || !IsStoreError(m, start)) continue;
    if (m.find("could not read") != std::string::npos) {
      problem =
          "the page store could not read image data back from its swap file; results would be "
          "wrong";
    } else {
      std::string text = m.substr(start);
      while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
      problem = "the page store failed (" + Excerpt(text, 200) + ")";
    }
  }
  return problem;
}

std::string Session::CurrentCanvas(int& h) const {
  h = PntCurrentLayerStack();
  if (h >= 0) return "";
  if (Brenmark.GetLayerStackCount() == 0)
    return "there is no canvas yet (create one with 'canvas')";
  return "there is no current canvas (choose one with 'use-canvas')";
}

std::string Session::CheckCanvas(int h) const {
  if (Brenmark.CheckLayerStackHandle(h)) return "";
  return "there is no " + CanvasName(h);
}

std::string Session::CheckPixelBudget(std::int64_t width, std::int64_t height) const {
  std::int64_t used = 0;
  for (int h = 0; h < PaintManager::kMaxLayerStacks; ++h) {
    if (!Brenmark.CheckLayerStackHandle(h)) continue;
    const ilTile size = Brenmark.GetCanvasBounds(h);
    used += std::int64_t{size.nx} * size.ny;
  }
  if (used + width * height <= pixelBudget_) return "";
  return "the canvases would cover more than " + std::to_string(pixelBudget_) +
         " pixels at once (they cover " + std::to_string(used) +
         " now); delete one with 'delete-canvas' first";
}

std::string Session::ResolveLayer(const LayerRef& ref, int h, int& index) const {
  const int count = Brenmark.GetLayerCount(h);
  if (count < 1) return CanvasName(h) + " has no layers (add one with 'add-layer')";
  switch (ref.kind) {
    case LayerRef::Kind::kCurrent:
      index = Brenmark.GetCurrentLayer(h);
      if (Brenmark.isSelectionMaskCurrent(h) || index > count) {
        return "the selection mask is current, not a layer (choose one with 'select-layer')";
      }
      if (index < 1) return CanvasName(h) + " has no current layer";
      return "";
    case LayerRef::Kind::kTop:
      index = count;
      return "";
    case LayerRef::Kind::kBottom:
      index = 1;
      return "";
    case LayerRef::Kind::kIndex:
      if (ref.index > count) {
        return "there is no layer " + std::to_string(ref.index) + " in " + CanvasName(h) +
               " (it has " + LayerCount(count) + ")";
      }
      index = static_cast<int>(ref.index);
      return "";
    case LayerRef::Kind::kName: {
      int matches = 0;
      for (int i = 1; i <= count; ++i) {
        const char* name = Brenmark.GetLayerName(i, h);
        if (name && ref.name == name) {
          if (matches == 0) index = i;
          ++matches;
        }
      }
      if (matches == 1) return "";
      if (matches == 0) {
        return "there is no layer named " + QuoteWord(Excerpt(ref.name)) + " in " + CanvasName(h);
      }
      return std::to_string(matches) + " layers are named " + QuoteWord(Excerpt(ref.name)) +
             " in " + CanvasName(h) + "; use an index";
    }
  }
  return "bad layer reference";
}

std::string Session::CheckNameFree(const std::string& name, int h, int except) const {
  const int count = Brenmark.GetLayerCount(h);
  for (int i = 1; i <= count; ++i) {
    const char* other = Brenmark.GetLayerName(i, h);
    if (i != except && other && name == other) {
      return "layer " + std::to_string(i) + " is already named " + QuoteWord(Printable(name));
    }
  }
  return "";
}

bool Session::IsMask(int index, int h) const {
  return Brenmark.isLayerMask(index, h);
}

bool Session::IsShape(int index, int h) const {
  const LayerStack* stack = Brenmark.GetLayerStack(h);
  const Layer* layer = stack ? stack->GetLayerFromIndex(index) : nullptr;
  return layer && layer->isGeometry();
}

int Session::GroupSize(int index, int h) const {
  if (IsMask(index, h)) return 1;
  const int count = Brenmark.GetLayerCount(h);
  int size = 1;
  while (index + size <= count && IsMask(index + size, h)) ++size;
  return size;
}

void Session::MakeCurrent(int index, int h) {
  if (Brenmark.GetCurrentLayer(h) != index || Brenmark.isSelectionMaskCurrent(h)) {
    Brenmark.SetCurrentLayer(index, h);
  }
}

void RegisterAllCommands(CommandRegistry& registry, Session& session) {
  CommandRegistry plain;
  RegisterCanvasCommands(plain, session);
  RegisterLayerCommands(plain, session);
  RegisterLayerImageCommands(plain, session);
  RegisterPixelCommands(plain, session);
  RegisterFilterCommands(plain, session);
  RegisterSelectionCommands(plain, session);
  RegisterFloodCommands(plain, session);
  RegisterShapeCommands(plain, session);
  RegisterTransformCommands(plain, session);
  RegisterBrushCommands(plain, session);
  RegisterOutputCommands(plain, session);
  RegisterUndoCommands(plain, session);
  RegisterDocumentCommands(plain, session);
  for (CommandSpec spec : plain.Commands()) {
    spec.handler = [&session, handler = std::move(spec.handler)](const Arguments& a) {
      std::string problem;
      {
        // One command is one operation for the store's repeated warnings.
        StoreMessageGroup group;
        problem = handler(a);
      }
      // The store's report explains a failed read better than the command.
      std::string store = session.CheckStore();
      return store.empty() ? problem : store;
    };
    registry.Add(std::move(spec));
  }
}

}  // namespace brenmark::tool
