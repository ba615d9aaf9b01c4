// Grouping the page store's repeated warnings. A single read far outside the
// page table's range reports its clipping once; an application that makes
// many such calls for one user action (a tool's export read in strips, say)
// holds a group around them so the warning comes once for the action, with
// its count.
#pragma once
#include <brenmark/export.h>

// While at least one group exists, each distinct repeated warning of the
// store is held back; when the outermost group ends it is reported once,
// with " (N times)" when it came more than once. Groups nest. Messages that
// are not repetitions (errors) are never held back.
class BRENMARK_API StoreMessageGroup {
 public:
  StoreMessageGroup();
  ~StoreMessageGroup();
  StoreMessageGroup(const StoreMessageGroup&) = delete;
  StoreMessageGroup& operator=(const StoreMessageGroup&) = delete;
};
