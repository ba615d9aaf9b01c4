// POSIX implementation of the platform services.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brenmark::platform {
namespace {

std::atomic<int> g_write_failures{0};
std::atomic<int> g_read_failures{0};

// Consumes one injected failure; negative counts never run out.
bool TakeFailure(std::atomic<int>& counter) {
  int n = counter.load();
  while (n != 0) {
    if (n < 0) return true;
    if (counter.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}

bool IsDirectory(const char* path) {
  struct stat st;
  return path != nullptr && *path != '\0' && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string TempDirectory() {
  for (const char* var : {"SID_TEMP_DIR", "TMP", "TMPDIR"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != '\0') return v;
  }
  return "/tmp";
}

int CreateTempFile(const std::string& dir, const char* prefix, std::string* path) {
  path->clear();
  if (!IsDirectory(dir.c_str())) return -1;
  std::string pattern = dir;
  if (pattern.back() != '/') pattern += '/';
  pattern += prefix;
  pattern += "XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  // mkstemp creates with O_CREAT | O_EXCL and mode 0600.
  int fd = mkstemp(buf.data());
  if (fd < 0) return -1;
  *path = buf.data();
  return fd;
}

bool RemoveFile(const std::string& path) {
  if (path.empty()) return false;
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t n) {
  if (TakeFailure(g_write_failures)) return false;
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
  if (TakeFailure(g_read_failures)) return false;
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = pread(fd, p, n, static_cast<off_t>(offset));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;  // past the end: the slot was never written
    p += r;
    n -= static_cast<std::size_t>(r);
    offset += static_cast<std::uint64_t>(r);
  }
  return true;
}

void CloseFile(int fd) {
  if (fd >= 0) close(fd);
}

void InjectWriteFailures(int count) { g_write_failures.store(count); }
void InjectReadFailures(int count) { g_read_failures.store(count); }

void RaiseProcessPriority() {
  // Lowering the nice value needs privileges; without them this is a no-op.
  int current = getpriority(PRIO_PROCESS, 0);
  if (current > -5) (void)setpriority(PRIO_PROCESS, 0, -5);
}

bool HasMMX() { return __builtin_cpu_supports("mmx"); }
bool HasSSE2() { return __builtin_cpu_supports("sse2"); }
bool HasSSE41() { return __builtin_cpu_supports("sse4.1"); }
bool HasAVX2() { return __builtin_cpu_supports("avx2"); }

void DebugOutput(const char* text) {
  if (text != nullptr) std::fputs(text, stderr);
}

}  // namespace brenmark::platform
