// Shape: identity, list links and naming of a vector shape.
#include "brenmark/shape.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "brenmark/il.h"
#include "brenmark/paint_manager.h"
#include "manager/debug_selector.h"
#include "platform/diagnostics.h"

namespace {

int g_shape_handle_counter = 0;  // incremented before use: the first shape gets 1

}  // namespace

Shape::Shape(Layer* owner) : handle_(++g_shape_handle_counter), owner_(owner) {
  std::snprintf(name_, sizeof name_, "Shape-%d", handle_);
}

Shape::Shape(Shape* source)
    : next_(source->next_),
      prev_(source->prev_),
      handle_(source->handle_),
      active_(source->active_),
      owner_(source->owner_) {
  std::memcpy(name_, source->name_, sizeof name_);
}

Shape::~Shape() {
  next_ = nullptr;
  prev_ = nullptr;
}

void* Shape::GetHandle() const {
  return reinterpret_cast<void*>(static_cast<std::intptr_t>(handle_));
}

void Shape::SetShapeName(const char* name) {
  if (!name) return;
  std::strncpy(name_, name, kNameCapacity - 1);
  name_[kNameCapacity - 1] = '\0';
}

bool Shape::GetShapeBound(ilTile& out) {
  out = ilTile();
  return false;
}

void Shape::debug() const {
  if (!brenmark::DebugSelectorIs(brenmark::kDebugStructure)) return;
  brenmark::platform::Diagnostic("\tShape[%x][%s] handle[%x] active[%d] next[%x] prev[%x]\n",
                                 brenmark::DebugWord(this), name_, static_cast<unsigned>(handle_),
                                 active_ ? 1 : 0, brenmark::DebugWord(next_),
                                 brenmark::DebugWord(prev_));
}

int Shape::HandleCounter() {
  return g_shape_handle_counter;
}
