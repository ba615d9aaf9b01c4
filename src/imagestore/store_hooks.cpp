// Defaults and storage for the paged store's upward hooks.
#include "imagestore/store_hooks.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/diagnostics.h"

namespace brenmark::imagestore {
namespace {

MemoryInfoSource g_memory;
WatermarkFunction g_watermark = nullptr;
void* g_watermark_context = nullptr;
OperationProbe g_probe = nullptr;
MessageFunction g_message = nullptr;
void* g_message_context = nullptr;
int g_batch_depth = 0;
std::vector<std::pair<std::string, int>> g_held;  // text, times; in first-seen order

std::string Format(const char* format, std::va_list args) {
  std::va_list again;
  va_copy(again, args);
  char small[256];
  const int n = std::vsnprintf(small, sizeof small, format, args);
  std::string text;
  if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
    text.assign(small, static_cast<std::size_t>(n));
  } else if (n > 0) {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<std::size_t>(n));
  }
  va_end(again);
  return text;
}

void Emit(const std::string& text) {
  brenmark::platform::DiagnosticText(text.c_str());
  if (g_message == nullptr) return;
  const std::size_t first = text.find_first_not_of('\n');
  if (first == std::string::npos) return;
  const std::size_t last = text.find_last_not_of('\n');
  g_message(g_message_context, text.substr(first, last - first + 1).c_str());
}

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

void SetMessageFunction(MessageFunction function, void* context) {
  g_message = function;
  g_message_context = context;
}

void StoreMessage(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Emit(text);
}

void RepeatedStoreMessage(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = Format(format, args);
  va_end(args);
  if (g_batch_depth == 0) {
    Emit(text);
    return;
  }
  for (auto& [held, times] : g_held) {
    if (held == text) {
      ++times;
      return;
    }
  }
  g_held.emplace_back(std::move(text), 1);
}

MessageBatch::MessageBatch() {
  ++g_batch_depth;
}

MessageBatch::~MessageBatch() {
  if (--g_batch_depth > 0) return;
  // Emitting may run host code that starts another batch: report a list of
  // our own.
  std::vector<std::pair<std::string, int>> held;
  held.swap(g_held);
  for (auto& [text, times] : held) {
    if (times > 1) {
      const std::size_t end = text.find_last_not_of('\n') + 1;
      text.insert(end, " (" + std::to_string(times) + " times)");
    }
    Emit(text);
  }
}

}  // namespace brenmark::imagestore
