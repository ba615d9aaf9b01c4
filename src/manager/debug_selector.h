// The application's debug selector (callback 27) and helpers for the debug
// dumps of the paint manager, layer stacks, layers and shapes.
#pragma once

#include <cstdint>

namespace brenmark {

// Selector value that enables the structure dumps (paint manager, layer
// stacks, layers, shapes).
inline constexpr int kDebugStructure = 8214;

// True when callback 27 of the paint manager's record answers `value`.
bool DebugSelectorIs(int value);

// A pointer as the dumps print it: its low 32 bits as one hexadecimal word.
inline unsigned DebugWord(const void* p) {
  return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace brenmark
