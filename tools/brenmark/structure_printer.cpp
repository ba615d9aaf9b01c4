// Printing the layer structure of canvases.
#include "structure_printer.h"

#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "script_syntax.h"

namespace brenmark::tool {

namespace {

const char* KindOf(const LayerStack& stack, int index, int h) {
  if (Brenmark.isLayerMask(index, h)) return "mask";
  const Layer* layer = stack.GetLayerFromIndex(index);
  return layer && layer->isGeometry() ? "shape" : "image";
}

void PrintRow(std::ostream& out, bool current, const char* index, const char* kind, bool active,
              float opacity, const std::string& name) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "  %c %4s  %-5s  %-6s  %7.2f  ", current ? '*' : ' ', index, kind,
                active ? "yes" : "no", static_cast<double>(opacity));
  out << buf << name << "\n";
}

std::string NameOf(int index, int h) {
  const char* name = Brenmark.GetLayerName(index, h);
  return QuoteWord(name ? name : "");
}

}  // namespace

void PrintCanvas(std::ostream& out, int h) {
  const LayerStack* stack = Brenmark.GetLayerStack(h);
  if (h < 0 || !stack) return;
  const int count = Brenmark.GetLayerCount(h);
  const ilTile size = Brenmark.GetCanvasBounds(h);
  out << "canvas " << h << (h == Brenmark.GetCurrentLayerStack() ? " (current)" : "") << ": "
      << size.nx << " x " << size.ny << ", " << count << (count == 1 ? " layer" : " layers")
      << ", bottom to top, * = current\n";
  out << "       #  kind   active  opacity  name\n";
  const bool selectionCurrent = Brenmark.isSelectionMaskCurrent(h);
  const int current = selectionCurrent ? -1 : Brenmark.GetCurrentLayer(h);
  int owner = 0;  // the image layer the masks that follow belong to
  for (int i = 1; i <= count; ++i) {
    std::string name = NameOf(i, h);
    const bool mask = Brenmark.isLayerMask(i, h);
    if (!mask) {
      owner = i;
    } else if (owner > 0) {
      name = "  " + name + " (mask of " + std::to_string(owner) + ")";
    }
    PrintRow(out, i == current, std::to_string(i).c_str(), KindOf(*stack, i, h),
             Brenmark.isLayerActive(i, h), Brenmark.GetLayerOpacity(i, h), name);
  }
  PrintRow(out, selectionCurrent, "sel", "mask", Brenmark.isLayerActive(count + 1, h),
           Brenmark.GetLayerOpacity(count + 1, h), NameOf(count + 1, h) + " (selection mask)");
}

void PrintAllCanvases(std::ostream& out) {
  bool any = false;
  for (int h = 0; h < PaintManager::kMaxLayerStacks; ++h) {
    if (!Brenmark.CheckLayerStackHandle(h)) continue;
    if (any) out << "\n";
    PrintCanvas(out, h);
    any = true;
  }
  if (!any) out << "no canvases\n";
}

}  // namespace brenmark::tool
