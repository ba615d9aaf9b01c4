// PointerList: an ordered sequence of pointers kept in a gap buffer.
#pragma once
#include <brenmark/export.h>

namespace brenmark {
// Capacity, in slots, that a list needs to hold `n` elements: the first
// allocation size class (2^(k+6) - 16 bytes, k = 0..20) larger than n slots,
// counted in 4-byte slots so capacities are the same on every word size
// (5 -> 12, 13 -> 28, 29 -> 60). Past the largest class the answer is n.
BRENMARK_API int PointerListCapacity(int n);
}  // namespace brenmark

// Elements before the gap occupy slots [0, gap); the rest occupy the top of
// the block, so logical index i lives in slot i when i < gap and in slot
// i + capacity - count otherwise. Inserting or removing moves the gap to the
// index first, so runs of edits at one place cost O(1) each.
//
// The list owns its block, not the pointees. It cannot be copied (no two
// lists share a block); it can be moved.
class BRENMARK_API PointerList {
 public:
  // A requested capacity below 1 allocates nothing; otherwise the block gets
  // PointerListCapacity(capacity) slots.
  explicit PointerList(int capacity = 0);
  ~PointerList();
  PointerList(const PointerList&) = delete;
  PointerList& operator=(const PointerList&) = delete;
  PointerList(PointerList&& other) noexcept;
  PointerList& operator=(PointerList&& other) noexcept;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }

  // Inserts p before index i (0 <= i <= Count()); false, and nothing
  // inserted, for any other index. Grows the block first when it is full.
  bool Insert(int i, void* p);
  bool Append(void* p) { return Insert(count_, p); }

  // Removes the element at i (0 <= i < Count()); false for any other index.
  bool Remove(int i);
  // Removes the first element equal to p; false when there is none.
  bool RemoveFirst(void* p);
  // Drops every element; the block stays.
  void Clear();

  // Index of the first element equal to p, or -1.
  int IndexOf(const void* p) const;

  // Element access. An index outside [0, Count()) is a programming error:
  // it prints "internal error: list index <i> out of range" to stderr and
  // ends the process.
  void* Get(int i) const;
  void* operator[](int i) const { return Get(i); }

  // Copies the elements, in order, to out[0 .. Count()).
  void CopyTo(void** out) const;

 private:
  int GapLength() const { return capacity_ - count_; }
  int Slot(int i) const { return i < gap_ ? i : i + GapLength(); }
  void MoveGap(int i);
  void Grow();

  void** slots_ = nullptr;
  int capacity_ = 0;
  int count_ = 0;
  int gap_ = 0;
};
