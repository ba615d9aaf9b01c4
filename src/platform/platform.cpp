// POSIX implementation of the platform services.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace brenmark::platform {
namespace {

std::atomic<int> g_write_failures{0};
std::atomic<int> g_read_failures{0};
std::atomic<int> g_short_reads{0};

// Consumes one injected failure; negative counts never run out.
bool TakeFailure(std::atomic<int>& counter) {
  int n = counter.load();
  while (n != 0) {
    if (n < 0) return true;
    if (counter.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}

// Why `dir` cannot take new files, or null when it looks usable.
const char* DirectoryProblem(const std::string& dir) {
  struct stat st;
  if (dir.empty() || stat(dir.c_str(), &st) != 0) return "no such directory";
  if (!S_ISDIR(st.st_mode)) return "not a directory";
  if (access(dir.c_str(), W_OK | X_OK) != 0) return "not writable";
  return nullptr;
}

}  // namespace

std::string TempDirectory() {
  return TempDirectories().front();
}

std::vector<std::string> TempDirectories() {
  std::vector<std::string> dirs;
  for (const char* var : {"SID_TEMP_DIR", "TMP", "TMPDIR"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != '\0') dirs.emplace_back(v);
  }
  dirs.emplace_back("/tmp");
  for (std::size_t i = 1; i < dirs.size();) {
    bool seen = false;
    for (std::size_t j = 0; j < i; ++j) seen = seen || dirs[j] == dirs[i];
    if (seen)
      dirs.erase(dirs.begin() + static_cast<std::ptrdiff_t>(i));
    else
      ++i;
  }
  return dirs;
}

int CreateTempFile(const std::string& dir, const char* prefix, std::string* path,
                   std::string* problem) {
  path->clear();
  if (const char* why = DirectoryProblem(dir)) {
    if (problem != nullptr) *problem = why;
    return -1;
  }
  std::string pattern = dir;
  if (pattern.back() != '/') pattern += '/';
  pattern += prefix;
  pattern += "XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  // mkstemp creates with O_CREAT | O_EXCL and mode 0600.
  int fd = mkstemp(buf.data());
  if (fd < 0) {
    if (problem != nullptr)
      *problem = std::string("cannot create a file there: ") + std::strerror(errno);
    return -1;
  }
  *path = buf.data();
  return fd;
}

bool RemoveFile(const std::string& path) {
  if (path.empty()) return false;
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t n) {
  if (TakeFailure(g_write_failures)) {
    errno = EIO;
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = pwrite(fd, p, n, static_cast<off_t>(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
    offset += static_cast<std::uint64_t>(w);
  }
  return true;
}

bool ReadAt(int fd, std::uint64_t offset, void* data, std::size_t n) {
  if (TakeFailure(g_read_failures)) {
    errno = EIO;
    return false;
  }
  // A simulated cut: the file ends halfway through this transfer.
  const bool cut = TakeFailure(g_short_reads);
  std::size_t end_after = cut ? n / 2 : n;
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r =
        end_after > 0 ? pread(fd, p, std::min(n, end_after), static_cast<off_t>(offset)) : 0;
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) {
      errno = 0;  // the end of the file came first
      return false;
    }
    end_after -= static_cast<std::size_t>(r);
    p += r;
    n -= static_cast<std::size_t>(r);
    offset += static_cast<std::uint64_t>(r);
  }
  return true;
}

void CloseFile(int fd) {
  if (fd >= 0) close(fd);
}

bool TruncateFile(int fd, std::uint64_t size) {
  while (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void InjectWriteFailures(int count) {
  g_write_failures.store(count);
}
void InjectReadFailures(int count) {
  g_read_failures.store(count);
}
void InjectShortReads(int count) {
  g_short_reads.store(count);
}

void RaiseProcessPriority() {
  // Lowering the nice value needs privileges; without them this is a no-op.
  int current = getpriority(PRIO_PROCESS, 0);
  if (current > -5) (void)setpriority(PRIO_PROCESS, 0, -5);
}

bool HasMMX() {
  return __builtin_cpu_supports("mmx");
}
bool HasSSE2() {
  return __builtin_cpu_supports("sse2");
}
bool HasSSE41() {
  return __builtin_cpu_supports("sse4.1");
}
bool HasAVX2() {
  return __builtin_cpu_supports("avx2");
}

void DebugOutput(const char* text) {
  if (text != nullptr) std::fputs(text, stderr);
}

std::uint64_t CycleCount() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<std::uint64_t>(ns) * 17 / 10;
#endif
}

}  // namespace brenmark::platform
