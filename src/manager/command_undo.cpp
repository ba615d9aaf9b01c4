// The undo step of the command frame: builds the record a command asks for
// and hands it to the undo list.
#include "manager/command_undo.h"

#include "brenmark/layer.h"
#include "brenmark/layer_stack.h"
#include "brenmark/paint_manager.h"
#include "brenmark/undo_list.h"

namespace brenmark {

namespace {

constexpr int kKinds = 3;
int g_requested[kKinds] = {};
int g_committed[kKinds] = {};

int Slot(UndoRecordKind kind) {
  return static_cast<int>(kind);
}

PntUndoOper* StrokeRecord(PaintManager& pm, int h, LayerStack* stack, int layerIndex) {
  Layer* layer = stack->GetLayerFromIndex(layerIndex);
  if (!layer) return nullptr;
  return new PntUndoStroke(&pm, h, stack->GetIndexFromLayer(layer), stack, layer, layer->GetImage(),
                           layer->GetStencil(), "SidStroke");
}

PntUndoOper* StructureRecord(PaintManager& pm, int h, LayerStack* stack) {
  return new PntUndoLayerStack(&pm, h, stack->GetCurrentLayer(), stack, stack->GetCurrentLayerPtr(),
                               "SidLayerStack");
}

}  // namespace

CommandUndo::CommandUndo(PaintManager& manager, UndoRecordKind kind, int stackHandle,
                         int layerIndex)
    : kind_(kind) {
  ++g_requested[Slot(kind_)];
  // A command recorded while a stroke runs ends the stroke first, so the
  // stroke's record comes before the command's and holds all of its dabs.
  if (manager.InBrushStroke()) manager.EndBrushStroke();
  const int h = stackHandle == -2 ? manager.GetCurrentLayerStack() : stackHandle;
  LayerStack* stack = manager.GetLayerStack(h);
  if (!stack) return;
  switch (kind_) {
    case UndoRecordKind::kLayerStructure:
      record_ = StructureRecord(manager, h, stack);
      break;
    case UndoRecordKind::kLayerStroke:
      record_ = StrokeRecord(manager, h, stack, layerIndex);
      break;
    case UndoRecordKind::kStructureAndStroke: {
      // The stroke record first, on the stack as it is; then the structure
      // record, whose copy takes over the layer's new images.
      TsharedObjectPtr<PntUndoOper> stroke(StrokeRecord(manager, h, stack, layerIndex));
      TsharedObjectPtr<PntUndoOper> structure(StructureRecord(manager, h, stack));
      record_ = new PntUndoCombo(structure.get(), stroke.get(), nullptr, nullptr, nullptr, false,
                                 false, nullptr);
      break;
    }
  }
}

void CommandUndo::Commit() {
  if (committed_) return;
  committed_ = true;
  ++g_committed[Slot(kind_)];
  if (record_) PaintUndoList.AddUndoOperation(record_);
}

int CommandUndo::Requested(UndoRecordKind kind) {
  return g_requested[Slot(kind)];
}

int CommandUndo::Committed(UndoRecordKind kind) {
  return g_committed[Slot(kind)];
}

void FlushUndoRecordsOf(PaintManager& manager, int stackHandle, LayerStack* stack) {
  PntUndoLS pattern(&manager, stackHandle, stack, "SidLS");
  PaintUndoList.FlushUndoList(&pattern);
}

}  // namespace brenmark
