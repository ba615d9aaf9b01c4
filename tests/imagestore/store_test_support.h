// Shared helpers for the paged-store tests: a fixed host memory report, a
// budget guard, distinct page content with checksums, and a fresh-process
// runner for tests that latch the store or end the process. Also brings the
// headers every store test uses.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <brenmark/smart_image.h>

#include "imagestore/page_cache.h"
#include "imagestore/store_hooks.h"

namespace store_test {

using brenmark::imagestore::SmartImageCache;

// The host reports 4 GB of memory and 36 MB available: between the shrink
// (32 MB) and grow (40 MB) thresholds, so budgets set by a test stay put.
constexpr unsigned kTotalKB = 4u * 1024 * 1024;
constexpr unsigned kAvailableKB = 36u * 1024;
inline void InstallFixedMemoryReport() {
  brenmark::imagestore::MemoryInfoSource source;
  source.total_kb = [](void*) { return kTotalKB; };
  source.available_kb = [](void*) { return kAvailableKB; };
  brenmark::imagestore::SetMemoryInfoSource(source);
}
// Installed before any test runs, so the process cache is created with it.
[[maybe_unused]] inline const bool g_memory_report_installed = [] {
  InstallFixedMemoryReport();
  return true;
}();

inline SmartImageCache* Cache() {
  InstallFixedMemoryReport();
  return SmartImageCache::Instance();
}

// Sets the budget for one scope and restores 64 MB afterwards.
class ScopedBudget {
 public:
  explicit ScopedBudget(std::size_t bytes) { Cache()->SetCacheSize(bytes); }
  ~ScopedBudget() { Cache()->SetCacheSize(64 * SmartImageCache::kMB); }
};

// `n` words of a non-uniform pattern unique to `id`; cheap enough for
// hundreds of MB.
inline std::vector<std::uint32_t> Pattern(std::uint32_t id, int n) {
  std::vector<std::uint32_t> words(static_cast<std::size_t>(n));
  std::uint32_t v = id * 0x9E3779B1u + 0x7F4A7C15u;
  for (std::uint32_t& w : words) {
    v ^= v << 13;
    v ^= v >> 17;
    v ^= v << 5;
    w = v;
  }
  return words;
}

// FNV-1a over 64-bit words (`bytes` is a multiple of 8).
inline std::uint64_t Checksum(const void* data, std::size_t bytes) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t i = 0; i < bytes; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * 1099511628211ull;
  }
  return h;
}

// What `f` prints to stderr.
template <typename F>
std::string Stderr(F&& f) {
  testing::internal::CaptureStderr();
  f();
  return testing::internal::GetCapturedStderr();
}

// A smart image held for one scope: the caller's reference goes at its end.
struct Img {
  explicit Img(ilSmartImage* i) : img(i) { img->ref(); }
  explicit Img(std::uint32_t fill = 0, int channels = 4)
      : Img(new ilSmartImage(ilPixel(ilUChar, channels, &fill))) {}
  Img(const Img&) = delete;
  Img& operator=(const Img&) = delete;
  ~Img() {
    if (img != nullptr) img->unref();
  }
  ilSmartImage* operator->() const { return img; }
  operator ilSmartImage*() const { return img; }
  ilSmartImage* img;
};

// Fills a rectangle with one four-byte value.
inline ilStatus Fill(ilSmartImage* img, int x, int y, int w, int h, std::uint32_t v) {
  return img->fillTile(x, y, w, h, &v);
}

}  // namespace store_test

// The body of a test that must run in a process of its own: it answers
// through its exit code (0 passes) and prints what went wrong to stderr.
#define RUN_IN_FRESH_PROCESS(...)                   \
  do {                                              \
    GTEST_FLAG_SET(death_test_style, "threadsafe"); \
    EXPECT_EXIT(                                    \
        {                                           \
          const int code = (__VA_ARGS__)();         \
          std::fflush(stdout);                      \
          std::exit(code);                          \
        },                                          \
        testing::ExitedWithCode(0), "");            \
  } while (0)
