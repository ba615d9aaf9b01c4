// Atomic reference counts of shared objects.
#include "brenmark/shared_object.h"

#include "platform/platform.h"

void TsharedObject::Acquire(TsharedObject* p) {
  brenmark::platform::InterlockedIncrement(p->count_);
}

// A count already at 0 means nobody else holds the object: delete it too.
void TsharedObject::Release(TsharedObject* p) {
  if (p->count_.load() != 0 && brenmark::platform::InterlockedDecrement(p->count_) != 0) return;
  delete p;
}
