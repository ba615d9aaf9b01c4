// The undo step of the command frame. Until the undo list exists the records
// are only counted, so the frame's gating can be observed.
#include "manager/command_undo.h"

namespace brenmark {

namespace {

constexpr int kKinds = 3;
int g_requested[kKinds] = {};
int g_committed[kKinds] = {};

int Slot(UndoRecordKind kind) {
  return static_cast<int>(kind);
}

}  // namespace

CommandUndo::CommandUndo(PaintManager&, UndoRecordKind kind, int, int) : kind_(kind) {
  ++g_requested[Slot(kind_)];
}

void CommandUndo::Commit() {
  if (committed_) return;
  committed_ = true;
  ++g_committed[Slot(kind_)];
}

int CommandUndo::Requested(UndoRecordKind kind) {
  return g_requested[Slot(kind)];
}

int CommandUndo::Committed(UndoRecordKind kind) {
  return g_committed[Slot(kind)];
}

void FlushUndoRecordsOf(PaintManager&, int, LayerStack*) {}

}  // namespace brenmark
