// The undo step of the paint manager's command frame: which record a layer
// command leaves, built from the state before the command and added to the
// undo list after it.
#pragma once

#include <brenmark/undo_list.h>

class LayerStack;
class PaintManager;

namespace brenmark {

enum class UndoRecordKind {
  kLayerStructure,      // the stack's layer structure, current index and layer
  kLayerStroke,         // one layer's colour image and stencil
  kStructureAndStroke,  // both, undone in one step (merges)
};

// One record a command asks for. The constructor captures the state before
// the command (a structure record will put a copy of the stack into the
// slot, which is why the frame resolves the handle again afterwards);
// Commit() adds the record to the undo list once the command ran. Callers
// build it only while the undo switch is on. A record that is never
// committed is dropped with the CommandUndo (what it swapped stays live).
//
// kLayerStroke of `layerIndex` (-2: the current layer, count + 1: the
// selection mask); the structure record keeps the current layer. Requests
// for a slot without a stack capture nothing.
class CommandUndo {
 public:
  CommandUndo(PaintManager& manager, UndoRecordKind kind, int stackHandle, int layerIndex);
  CommandUndo(const CommandUndo&) = delete;
  CommandUndo& operator=(const CommandUndo&) = delete;

  void Commit();

  // Records requested (constructed) and committed since the process began.
  static int Requested(UndoRecordKind kind);
  static int Committed(UndoRecordKind kind);

  // The record built (null when the slot held no stack).
  PntUndoOper* Record() const { return record_.get(); }

 private:
  UndoRecordKind kind_;
  bool committed_ = false;
  TsharedObjectPtr<PntUndoOper> record_;
};

// Removes from the undo list every record that refers to stack slot
// `stackHandle`, before the stack is released.
void FlushUndoRecordsOf(PaintManager& manager, int stackHandle, LayerStack* stack);

}  // namespace brenmark
