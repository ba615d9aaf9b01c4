// Operating-system services the engine needs, behind one small interface:
// atomic counts, temporary files (with a fault-injection seam for tests),
// process priority, processor features and debugger output.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace brenmark::platform {

// Interlocked counts: return the value after the change.
inline long InterlockedIncrement(std::atomic<long>& v) { return v.fetch_add(1) + 1; }
inline long InterlockedDecrement(std::atomic<long>& v) { return v.fetch_sub(1) - 1; }

// Directory for swap files: SID_TEMP_DIR, else TMP, else TMPDIR, else /tmp.
// Variables that are set but empty are skipped.
std::string TempDirectory();

// Creates a new file named <dir>/<prefix>XXXXXX exclusively (never opens a
// file another process made) for reading and writing. Returns the descriptor
// and stores the path, or returns -1 and leaves path empty.
int CreateTempFile(const std::string& dir, const char* prefix, std::string* path);

// Removes a file; true when it is gone afterwards.
bool RemoveFile(const std::string& path);

// Positioned file I/O that retries short transfers and EINTR. Returns true
// only when all n bytes moved. Both pass through the fault seam below.
bool WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t n);
bool ReadAt(int fd, std::uint64_t offset, void* data, std::size_t n);
void CloseFile(int fd);

// Fault seam for tests: the next `count` writes (reads) fail as if the disk
// refused them. A negative count makes every call fail until reset with 0.
void InjectWriteFailures(int count);
void InjectReadFailures(int count);

// Raises the priority of this process as far as the system allows; best
// effort, never fails visibly.
void RaiseProcessPriority();

// Processor features, asked once.
bool HasMMX();
bool HasSSE2();
bool HasSSE41();
bool HasAVX2();

// Debugger output (stderr here).
void DebugOutput(const char* text);

}  // namespace brenmark::platform
