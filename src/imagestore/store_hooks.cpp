// Defaults and storage for the paged store's upward hooks.
#include "imagestore/store_hooks.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace brenmark::imagestore {
namespace {

MemoryInfoSource g_memory;
WatermarkFunction g_watermark = nullptr;
void* g_watermark_context = nullptr;
OperationProbe g_probe = nullptr;

// Reads one "Name:   value kB" line of /proc/meminfo.
unsigned ReadMeminfo(const char* name) {
  std::FILE* f = std::fopen("/proc/meminfo", "r");
  if (f == nullptr) return 0;
  char line[256];
  unsigned long value = 0;
  const std::size_t n = std::strlen(name);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, name, n) == 0 && line[n] == ':') {
      std::sscanf(line + n + 1, "%lu", &value);
      break;
    }
  }
  std::fclose(f);
  return value > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<unsigned>(value);
}

}  // namespace

void SetMemoryInfoSource(const MemoryInfoSource& source) {
  g_memory = source;
}

unsigned TotalMemoryKB() {
  if (g_memory.total_kb != nullptr) return g_memory.total_kb(g_memory.context);
  return ReadMeminfo("MemTotal");
}

unsigned AvailableMemoryKB() {
  if (g_memory.available_kb != nullptr) return g_memory.available_kb(g_memory.context);
  // The budget is re-evaluated on every allocation that meets it; reading
  // the system's figure at most every 50 ms keeps that cheap.
  using Clock = std::chrono::steady_clock;
  static Clock::time_point last;
  static unsigned cached = 0;
  const Clock::time_point now = Clock::now();
  if (cached == 0 || now - last > std::chrono::milliseconds(50)) {
    cached = ReadMeminfo("MemAvailable");
    last = now;
  }
  return cached;
}

void SetWatermarkFunction(WatermarkFunction function, void* context) {
  g_watermark = function;
  g_watermark_context = context;
}

bool CallWatermark(void* pixels, int x, int y, int w, int h, int bounds_w, int bounds_h) {
  if (g_watermark == nullptr) return false;
  g_watermark(g_watermark_context, pixels, x, y, w, h, bounds_w, bounds_h);
  return true;
}

void SetOperationProbe(OperationProbe probe) {
  g_probe = probe;
}

bool InPaintOperation() {
  return g_probe != nullptr && g_probe();
}

}  // namespace brenmark::imagestore
