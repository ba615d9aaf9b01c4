// The exported plain functions: each is one call on Brenmark.
#include "brenmark/paint_manager.h"

extern "C" {

void PntInitializePaintManager() {
  Brenmark.InitPaintManager();
}

int PntCurrentLayerStack() {
  return Brenmark.GetCurrentLayerStack();
}

void PntSetCurrentLayerStack(int h) {
  Brenmark.SetCurrentLayerStack(h);
}

// A new image (or mask) layer above the current layer of stack h, recorded
// for undo, with the display updated.
void* PntNewLayer(int h, bool isMask) {
  return Brenmark.AddLayer(nullptr, nullptr, isMask, true, true, h, false, 0, 0, -2, true);
}

void PntDeleteCurrentLayer(int h) {
  Brenmark.DeleteCurrentLayer(h);
}

void PntClearCurrentLayer(int h) {
  Brenmark.ClearCurrentLayer(h);
}

void PntDuplicateCurrentLayer(int h) {
  Brenmark.DuplicateCurrentLayer(true, h);
}

void* PntUpLayer() {
  return Brenmark.UpLayer();
}

void* PntDownLayer() {
  return Brenmark.DownLayer();
}

void PntMergeVisibleLayer(int h) {
  Brenmark.MergeVisibleLayers(h);
}

void PntMergeLayerWithBelow(void* layer) {
  Brenmark.MergeLayerWithBelow(layer);
}

void PntMergeAllLayers(int h) {
  Brenmark.MergeAllLayers(h);
}

void PntInvertCurrentMaskLayer(int h) {
  Brenmark.InvertMaskLayer(-2, h);
}

}  // extern "C"
