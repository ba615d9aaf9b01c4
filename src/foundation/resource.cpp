// Reference counting and deferred destruction of resources.
#include "brenmark/resource.h"

#include "brenmark/pointer_list.h"

#include <new>

namespace {

unsigned int g_last_resource_id = 0;
int g_defer = 0;
PointerList* g_deferred = nullptr;  // created on first use, never freed

unsigned int NextResourceId() {
  return ++g_last_resource_id;
}

}  // namespace

Resource::Resource() : id_(NextResourceId()) {}

Resource::Resource(const Resource&) : id_(NextResourceId()) {}

Resource::~Resource() = default;

void Resource::ref() {
  ++count_;
}

void Resource::unref() {
  if (count_ != 0) --count_;
  if (count_ == 0) {
    cleanup();
    delete this;
  }
}

void Resource::unref_deferred() {
  if (count_ != 0) --count_;
  if (count_ != 0) return;
  cleanup();
  if (!g_defer) {
    delete this;
    return;
  }
  if (!g_deferred) g_deferred = new (std::nothrow) PointerList(0);
  if (!g_deferred || !g_deferred->Append(this)) delete this;  // no room to park it
}

void Resource::cleanup() {}

void Resource::Reference() {
  ref();
}

void Resource::Unreference() {
  unref();
}

unsigned int Resource::ResourceID() const {
  return id_;
}

// The static forms take const pointers for the callers' convenience; the
// objects themselves are never const (they live on the heap).
void Resource::ref(const Resource* r) {
  if (r) const_cast<Resource*>(r)->ref();
}

void Resource::unref(const Resource* r) {
  if (r) const_cast<Resource*>(r)->unref();
}

void Resource::unref_deferred(const Resource* r) {
  if (r) const_cast<Resource*>(r)->unref_deferred();
}

int Resource::defer(int on) {
  const int previous = g_defer;
  if (on != previous) {
    flush();
    g_defer = on;
  }
  return previous;
}

void Resource::flush() {
  if (!g_deferred) return;
  const int saved = g_defer;
  g_defer = 0;
  // Take the oldest one at a time: a destructor may release further
  // resources, which (deferral being off) are deleted on the spot.
  while (g_deferred->Count() > 0) {
    Resource* r = static_cast<Resource*>(g_deferred->Get(0));
    g_deferred->Remove(0);
    if (r->count_ == 0) delete r;
  }
  g_defer = saved;
}
