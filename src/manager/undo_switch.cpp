// The process-wide undo switch.
#include "manager/undo_switch.h"

#include <cstdlib>
#include <cstring>

namespace brenmark {

namespace {

bool g_undo_switch_unread = true;
bool g_undo_enabled = true;

}  // namespace

bool UndoDisabledBy(const char* value) {
  return value && std::strcmp(value, "1") == 0;
}

bool UndoEnabled() {
  if (g_undo_switch_unread) {
    g_undo_enabled = !UndoDisabledBy(std::getenv("SID_UNDO_DISABLE"));
    g_undo_switch_unread = false;
  }
  return g_undo_enabled;
}

void RereadUndoSwitch() {
  g_undo_switch_unread = true;
}

}  // namespace brenmark
