// Diagnostics to standard error.
#include "platform/diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace brenmark::platform {

void DiagnosticText(const char* text) {
  if (text != nullptr) std::fputs(text, stderr);
}

void Diagnostic(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

}  // namespace brenmark::platform
