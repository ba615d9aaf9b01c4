// Parsing BRENMARK_SIMD and the processor's best level.
#include "platform/simd_level.h"

#include <cctype>

namespace brenmark {
namespace {

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != *b) return false;
  }
  return *a == '\0' && *b == '\0';
}

}  // namespace

SimdLevel BestSimdLevel() {
  if (platform::HasAVX2()) return SimdLevel::kAvx2;
  return SimdLevel::kSse2;  // part of every x86-64 processor
}

SimdLevel ParseSimdLevel(const char* text, SimdLevel fallback) {
  if (text == nullptr) return fallback;
  if (EqualsNoCase(text, "scalar")) return SimdLevel::kScalar;
  if (EqualsNoCase(text, "sse2")) return SimdLevel::kSse2;
  if (EqualsNoCase(text, "avx2")) return SimdLevel::kAvx2;
  return fallback;
}

}  // namespace brenmark
