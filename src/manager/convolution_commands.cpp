// PaintManager: the current convolution kernel and the convolution
// commands. Both are pixel commands of the frame (see layer_commands.cpp):
// they record the layer they change and leave a blur/sharpen brush alone.
#include "brenmark/convolution.h"
#include "brenmark/paint_manager.h"
#include "manager/command_undo.h"
#include "manager/undo_switch.h"

namespace {

void* const kCurrentLayer = reinterpret_cast<void*>(-2);

}  // namespace

void PaintManager::SetCurrentConvolution(const ConvolutionKernel& kernel) {
  ConvolutionKernel* copy = new ConvolutionKernel(kernel);
  delete convolution_;
  convolution_ = copy;
}

namespace {

// The stack holding `layer` ((void*)-2: the current layer of stack h), with
// the stack's handle and the layer's index; null when none holds it.
LayerStack* StackOfLayer(PaintManager& pm, void* layer, int h, int& index, int& lsHandle) {
  index = -1;
  if (layer == kCurrentLayer) {
    LayerStack* stack = pm.GetLayerStack(h);
    if (!stack) return nullptr;
    lsHandle = pm.GetLayerStackHandle(stack);
    index = stack->GetCurrentLayer();
  } else {
    pm.GetLayerFromHandle(layer, index, lsHandle);
  }
  return index == -1 ? nullptr : pm.GetLayerStack(lsHandle);
}

template <typename Op>
void LayerConvolution(PaintManager& pm, void* layer, int h, Op op) {
  if (pm.InProxy(-2)) pm.EndProxy(-2);
  int index = -1, lsHandle = -1;
  if (!StackOfLayer(pm, layer, h, index, lsHandle)) return;
  if (brenmark::UndoEnabled()) {
    brenmark::CommandUndo record(pm, brenmark::UndoRecordKind::kLayerStroke, lsHandle, index);
    record.Commit();
  }
  if (LayerStack* stack = pm.GetLayerStack(lsHandle)) op(*stack);
}

}  // namespace

void PaintManager::ConvolveLayer(void* layer) {
  LayerConvolution(*this, layer, -2, [&](LayerStack& s) { s.ConvolveLayer(layer); });
}

void PaintManager::SharpenOrBlurDone(ConvolutionKernel kernel, void* layer, int h) {
  LayerConvolution(*this, layer, h, [&](LayerStack& s) { s.SharpenOrBlurDone(kernel, layer); });
}
