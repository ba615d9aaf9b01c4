// Operating-system services the engine needs, behind one small interface:
// atomic counts, temporary files (with a fault-injection seam for tests),
// process priority, processor features and debugger output.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brenmark::platform {

// Interlocked counts: return the value after the change.
inline long InterlockedIncrement(std::atomic<long>& v) {
  return v.fetch_add(1) + 1;
}
inline long InterlockedDecrement(std::atomic<long>& v) {
  return v.fetch_sub(1) - 1;
}

// Directory for swap files: SID_TEMP_DIR, else TMP, else TMPDIR, else /tmp.
// Variables that are set but empty are skipped.
std::string TempDirectory();
// Every candidate in that order (set variables, then /tmp), without repeats.
std::vector<std::string> TempDirectories();

// Creates a new file named <dir>/<prefix>XXXXXX exclusively (never opens a
// file another process made) for reading and writing. Returns the descriptor
// and stores the path, or returns -1, leaves path empty and, when `problem`
// is given, says why ("no such directory", "not a directory", "not
// writable", or the system's reason the file could not be made).
int CreateTempFile(const std::string& dir, const char* prefix, std::string* path,
                   std::string* problem = nullptr);

// Removes a file; true when it is gone afterwards.
bool RemoveFile(const std::string& path);

// Positioned file I/O that retries short transfers and EINTR. Returns true
// only when all n bytes moved; a read that meets the end of the file first
// fails with errno 0. Both pass through the fault seam below.
bool WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t n);
bool ReadAt(int fd, std::uint64_t offset, void* data, std::size_t n);
void CloseFile(int fd);
// Cuts a file down (or extends it with zeros) to `size` bytes; false with
// errno set when the system refused.
bool TruncateFile(int fd, std::uint64_t size);

// Fault seam for tests: the next `count` writes (reads) fail as if the disk
// refused them. A negative count makes every call fail until reset with 0.
void InjectWriteFailures(int count);
void InjectReadFailures(int count);
// The next `count` reads (negative: every read until reset with 0) meet the
// end of the file halfway, as if the file had been cut short underneath:
// half the bytes arrive, then the read fails with errno 0.
void InjectShortReads(int count);

// Raises the priority of this process as far as the system allows; best
// effort, never fails visibly.
void RaiseProcessPriority();

// Processor features, asked once.
bool HasMMX();
bool HasSSE2();
bool HasSSE41();
bool HasAVX2();

// The processor's time-stamp counter, for timing diagnostics; where there
// is none, a steady clock counted at 1.7 GHz.
std::uint64_t CycleCount();

// Debugger output (stderr here).
void DebugOutput(const char* text);

}  // namespace brenmark::platform
