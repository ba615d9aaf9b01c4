// Process-wide state of the paged image store.
#include "imagestore/store_state.h"

#include <cstdlib>

namespace brenmark::imagestore {
namespace {

int g_fault = 0;

}  // namespace

int StoreFault() {
  return g_fault;
}

void RaiseStoreFault() {
  g_fault = 1;
}

bool StoreChecking() {
  static const bool on = std::getenv("NORVANE_QV_SMARTIMAGE_CHECKING") != nullptr;
  return on;
}

}  // namespace brenmark::imagestore
