// PaintManager: flood fill and magic wand. The Do commands run as previews
// in an edit proxy over the one layer they change, so the application can
// try again with other settings; the Done commands fill directly.
#include "brenmark/flood_fill.h"
#include "brenmark/paint_manager.h"
#include "manager/command_undo.h"
#include "manager/undo_switch.h"

namespace {

constexpr const char* kNoFloodFillLayer =
    "No image layer present. Please create a new Image Layer before using Floodfill.";
constexpr const char* kNoMagicWandLayer =
    "There is no image layer in the window. This happens when magic wand is done before an image "
    "layer has been created.";

void ShowMessage(PaintManager& pm, const char* text) {
  if (pm.CB()->ShowMessage) pm.CB()->ShowMessage(text);
}

// The preview proxy over the layer at `index` of stack h: begun on the first
// call (after the layer was recorded for undo), reverted to its start on
// later ones. The stack, or null when the slot holds none any more.
LayerStack* StartPreview(PaintManager& pm, int h, int index, const ProxyParameters& params) {
  LayerStack* stack = pm.GetLayerStack(h);
  if (!stack) return nullptr;
  if (stack->InProxy()) {
    stack->RevertProxy();
    return stack;
  }
  if (index < 1) return stack;  // no such layer: the fill does nothing
  if (brenmark::UndoEnabled()) {
    brenmark::CommandUndo record(pm, brenmark::UndoRecordKind::kLayerStroke, h, index);
    record.Commit();
    stack = pm.GetLayerStack(h);
    if (!stack) return nullptr;
  }
  stack->ResetUpdateRegion();
  int indices[1] = {index};
  stack->BeginProxy(params, 1, indices);
  return stack;
}

}  // namespace

void PaintManager::DoFloodFill(int x, int y, float tolerance, PaintColor& colour, void* layer,
                               int h) {
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) {
    ShowMessage(*this, kNoFloodFillLayer);
    return;
  }
  const ProxyParameters params(ProxyParameters::kEditScope, ProxyParameters::kLayerImages,
                               callbacks_.FloodFillProxyApply, callbacks_.FloodFillProxyAccept);
  if (!StartPreview(*this, h, stack->GetLayerIndex(layer), params)) return;
  FloodFillDone(x, y, tolerance, colour, layer, h);
}

void PaintManager::DoMagicWand(int x, int y, float tolerance, PaintColor& colour, bool replace,
                               void* layer, int h) {
  LayerStack* stack = LayerStackFromHandle(h);
  if (!stack) {
    ShowMessage(*this, kNoMagicWandLayer);
    return;
  }
  const ProxyParameters params(ProxyParameters::kEditScope, ProxyParameters::kLayerImages,
                               callbacks_.MagicWandProxyApply, callbacks_.MagicWandProxyAccept);
  const int selection = stack->GetSelectionMask() ? stack->GetLayerCount() + 1 : -1;
  if (!StartPreview(*this, h, selection, params)) return;
  MagicWandDone(x, y, tolerance, colour, replace, layer, h);
}

void PaintManager::FloodFillDone(int x, int y, float tolerance, PaintColor& colour, void* layer,
                                 int h) {
  if (LayerStack* stack = LayerStackFromHandle(h)) {
    stack->FloodFillDone(x, y, tolerance, colour, layer);
  }
}

void PaintManager::MagicWandDone(int x, int y, float tolerance, PaintColor& colour, bool replace,
                                 void* layer, int h) {
  if (LayerStack* stack = LayerStackFromHandle(h)) {
    stack->MagicWandDone(x, y, tolerance, colour, replace, layer);
  }
}
