// Shared helpers for the paged-store tests.
#include "imagestore/store_test_support.h"

namespace store_test {
namespace {

unsigned Total(void*) {
  return kTotalKB;
}
unsigned Available(void*) {
  return kAvailableKB;
}

// Installed before any test runs, so the process cache is created with it.
[[maybe_unused]] const bool g_installed = [] {
  InstallFixedMemoryReport();
  return true;
}();

}  // namespace

void InstallFixedMemoryReport() {
  brenmark::imagestore::MemoryInfoSource source;
  source.total_kb = Total;
  source.available_kb = Available;
  brenmark::imagestore::SetMemoryInfoSource(source);
}

}  // namespace store_test
