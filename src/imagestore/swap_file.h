// One swap file: a headerless array of equal slots in the temporary
// directory, each holding one page's raw pixel block. A new slot is the
// lowest free one, so the file grows only when no freed slot is left, and
// live slots crowd towards the start; when the last slots of the file are
// free, their records go and the file is cut down to the highest slot in use
// (to nothing when none is). Its name leaves the directory as soon as the
// file is made, so the file disappears when it is closed or the process
// ends, however it ends.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace brenmark::imagestore {

// One slot of the file: on the used list, or in the free set of its file.
struct SwapSlot {
  std::uint32_t signature;
  SwapSlot* next;
  SwapSlot* prev;
  std::uint64_t offset;
  std::uint32_t size;
};

class SwapFile {
 public:
  // Bounded retries for one slot transfer: a failing disk is reported, it is
  // never waited on forever.
  static constexpr int kTransferAttempts = 4;

  explicit SwapFile(std::uint32_t slotSize);
  SwapFile(const SwapFile&) = delete;
  SwapFile& operator=(const SwapFile&) = delete;
  ~SwapFile();

  // Creates the file on first use, in the first directory that takes it:
  // SID_TEMP_DIR, TMP, TMPDIR, /tmp (prefix "SID"), then /var/tmp (prefix
  // "SIDTMP"); an unusable SID_TEMP_DIR is reported once per process. The
  // name is removed at once, so the file never outlives the process. Once
  // open, a no-op; while creation keeps failing, each use tries again. True
  // when the file is open.
  bool Open();
  SwapSlot* AllocSlot();
  void FreeSlot(SwapSlot* slot);
  // Whole-slot transfers; false (after the bounded retries, with a "SID:"
  // message) when the block could not be moved.
  bool Write(SwapSlot* slot, const void* block);
  bool Read(SwapSlot* slot, void* block);
  // Closes and deletes the file. Records of free slots are dropped; slots
  // still in use keep their records (their pages are then unreadable).
  void Close();
  void CloseIfUnused();

  std::uint32_t signature() const { return signature_; }
  bool IsOpen() const { return open_; }
  // The name the file was created under; it is removed from the directory
  // at once, so only the descriptor reaches the file.
  const std::string& Name() const { return name_; }
  int Descriptor() const { return fd_; }
  std::uint32_t SlotSize() const { return slot_size_; }
  int SlotsInUse() const { return in_use_; }
  int FreeSlots() const { return static_cast<int>(free_.size()); }
  // Slots the file holds (in use or free): its size in slots.
  std::uint64_t SlotCount() const { return slot_count_; }
  SwapSlot* UsedHead() const { return used_; }

 private:
  std::uint32_t signature_;
  int fd_ = -1;
  // Drops the free slots at the end of the file and cuts the file down.
  void TrimEnd();

  struct LowerOffset {
    bool operator()(const SwapSlot* a, const SwapSlot* b) const { return a->offset < b->offset; }
  };

  SwapSlot* used_ = nullptr;
  std::set<SwapSlot*, LowerOffset> free_;
  std::uint32_t slot_size_;
  int in_use_ = 0;
  bool open_ = false;
  std::uint64_t slot_count_ = 0;
  std::string name_;
};

}  // namespace brenmark::imagestore
