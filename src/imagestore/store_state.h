// Process-wide state of the paged image store: the fault latch, the
// diagnostic switches read from the environment, and the disabled
// reader/writer lock hooks shared by pages, page tables and the cache.
#pragma once

#include <cstdint>

namespace brenmark::imagestore {

// Signature words of the store's long-lived records.
inline constexpr std::uint32_t kSignatureValid = 0xF00DFACE;
inline constexpr std::uint32_t kSignatureDead = 0xDEADBEEF;

// The store fault latch. Any failed consistency check (or an unrecoverable
// swap-file error) sets it; it is also set at process exit. Once set,
// consistency checks are skipped and the cache stops paging out. Nothing
// clears it.
int StoreFault();
void RaiseStoreFault();

// NORVANE_QV_SMARTIMAGE_CHECKING: list checks after every list operation and
// poisoned page blocks. Read once, on first use.
bool StoreChecking();

// The reader/writer lock record carried by pages, tables and the cache. The
// process-wide switch that would enable the hooks is off, so every hook is a
// no-op and the counts stay 0; the record keeps the documented layout.
struct StoreLock {
  int owner = -1;
  std::int16_t readers = 0;
  std::int16_t writers = 0;

  void ReadLock(int /*owner*/, int /*site*/) {}
  void WriteLock(int /*owner*/, int /*site*/) {}
  void UnLock() {}
  void UnReadLock() {}
  bool IsReadLocked() const { return readers > 0; }
  bool IsWriteLocked() const { return writers > 0; }
};

}  // namespace brenmark::imagestore
