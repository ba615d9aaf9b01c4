// The process-wide undo switch: undo is off exactly when the environment
// variable SID_UNDO_DISABLE is "1". Read once, on first use, and kept.
#pragma once

namespace brenmark {

// Whether a value of SID_UNDO_DISABLE (null: the variable is absent)
// switches undo off.
bool UndoDisabledBy(const char* value);

// The switch, read from the environment on first use.
bool UndoEnabled();

// Forgets the cached switch so the next UndoEnabled() reads the environment
// again (for a host that changes the variable before its first command).
void RereadUndoSwitch();

}  // namespace brenmark
