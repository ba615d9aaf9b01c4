// Gap-buffer pointer list.
#include "brenmark/pointer_list.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/diagnostics.h"

namespace brenmark {
namespace {

// Slots are sized as 32-bit words when choosing a size class, whatever the
// pointer width, so capacities do not depend on the platform.
constexpr std::int64_t kSlotBytes = 4;
constexpr int kSizeClasses = 21;  // 2^(k+6) - 16 bytes for k = 0..20

[[noreturn]] void IndexOutOfRange(int i) {
  brenmark::platform::Diagnostic("internal error: list index %d out of range\n", i);
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace

int PointerListCapacity(int n) {
  const std::int64_t bytes = static_cast<std::int64_t>(n) * kSlotBytes;
  for (int k = 0; k < kSizeClasses; ++k) {
    const std::int64_t size_class = (std::int64_t{1} << (k + 6)) - 16;
    if (size_class > bytes) return static_cast<int>(size_class / kSlotBytes);
  }
  return n;
}

}  // namespace brenmark

PointerList::PointerList(int capacity) {
  if (capacity < 1) return;
  const int slots = brenmark::PointerListCapacity(capacity);
  slots_ = new (std::nothrow) void*[slots];
  if (slots_) capacity_ = slots;
}

PointerList::~PointerList() {
  delete[] slots_;
}

PointerList::PointerList(PointerList&& other) noexcept
    : slots_(other.slots_), capacity_(other.capacity_), count_(other.count_), gap_(other.gap_) {
  other.slots_ = nullptr;
  other.capacity_ = other.count_ = other.gap_ = 0;
}

PointerList& PointerList::operator=(PointerList&& other) noexcept {
  if (this != &other) {
    delete[] slots_;
    slots_ = other.slots_;
    capacity_ = other.capacity_;
    count_ = other.count_;
    gap_ = other.gap_;
    other.slots_ = nullptr;
    other.capacity_ = other.count_ = other.gap_ = 0;
  }
  return *this;
}

void PointerList::MoveGap(int i) {
  const int gap_len = GapLength();
  if (i < gap_) {
    // Elements [i, gap) move up to sit just below the top part.
    std::memmove(slots_ + i + gap_len, slots_ + i, sizeof(void*) * (gap_ - i));
  } else if (i > gap_) {
    // Elements after the gap, up to logical i, move down to close it.
    std::memmove(slots_ + gap_, slots_ + gap_ + gap_len, sizeof(void*) * (i - gap_));
  }
  gap_ = i;
}

void PointerList::Grow() {
  if (count_ == INT_MAX) return;
  std::int64_t want = brenmark::PointerListCapacity(count_ + 1);
  // Past the largest size class, growing by one slot per insertion would
  // make appends quadratic: grow by half instead.
  if (want <= count_ + 1) want = std::int64_t{count_} + count_ / 2 + 1;
  if (want > INT_MAX) want = INT_MAX;
  const int new_capacity = static_cast<int>(want);
  void** block = new (std::nothrow) void*[new_capacity];
  if (!block) return;
  const int tail = count_ - gap_;
  if (slots_) {
    std::memcpy(block, slots_, sizeof(void*) * gap_);
    std::memcpy(block + new_capacity - tail, slots_ + capacity_ - tail, sizeof(void*) * tail);
  }
  delete[] slots_;
  slots_ = block;
  capacity_ = new_capacity;
}

bool PointerList::Insert(int i, void* p) {
  if (i < 0 || i > count_) return false;
  if (count_ == capacity_) {
    Grow();
    if (count_ == capacity_) return false;  // out of memory
  }
  MoveGap(i);
  slots_[gap_++] = p;
  ++count_;
  return true;
}

bool PointerList::Remove(int i) {
  if (i < 0 || i >= count_) return false;
  MoveGap(i);
  --count_;  // the element just past the gap joins it
  return true;
}

bool PointerList::RemoveFirst(void* p) {
  return Remove(IndexOf(p));
}

void PointerList::Clear() {
  count_ = 0;
  gap_ = 0;
}

int PointerList::IndexOf(const void* p) const {
  for (int i = 0; i < gap_; ++i) {
    if (slots_[i] == p) return i;
  }
  const int gap_len = GapLength();
  for (int i = gap_; i < count_; ++i) {
    if (slots_[i + gap_len] == p) return i;
  }
  return -1;
}

void* PointerList::Get(int i) const {
  if (i < 0 || i >= count_) brenmark::IndexOutOfRange(i);
  return slots_[Slot(i)];
}

void PointerList::CopyTo(void** out) const {
  if (count_ == 0) return;
  std::memcpy(out, slots_, sizeof(void*) * gap_);
  std::memcpy(out + gap_, slots_ + gap_ + GapLength(), sizeof(void*) * (count_ - gap_));
}
