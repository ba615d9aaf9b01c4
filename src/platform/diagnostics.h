// Diagnostics: the engine's warnings, error notes and debug dumps. They go to
// the process's standard error, never to standard output, so a program that
// embeds the engine keeps its own output clean.
#pragma once

namespace brenmark::platform {

// Writes `text` unchanged to standard error.
void DiagnosticText(const char* text);
// Formats like printf and writes the result to standard error.
void Diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace brenmark::platform
