// Swap file slots and whole-slot transfers.
#include "imagestore/swap_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imagestore/store_state.h"
#include "platform/platform.h"

namespace brenmark::imagestore {
namespace {

namespace bp = brenmark::platform;

const char* ErrorText(int err) {
  return err != 0 ? std::strerror(err) : "unknown error";
}

void PushFront(SwapSlot*& head, SwapSlot* slot) {
  slot->prev = nullptr;
  slot->next = head;
  if (head != nullptr) head->prev = slot;
  head = slot;
}

void Unlink(SwapSlot*& head, SwapSlot* slot) {
  if (slot->prev != nullptr)
    slot->prev->next = slot->next;
  else
    head = slot->next;
  if (slot->next != nullptr) slot->next->prev = slot->prev;
  slot->next = slot->prev = nullptr;
}

}  // namespace

SwapFile::SwapFile(std::uint32_t slotSize) : signature_(kSignatureValid), slot_size_(slotSize) {}

SwapFile::~SwapFile() {
  Close();
  while (used_ != nullptr) {
    SwapSlot* s = used_;
    used_ = s->next;
    delete s;
  }
  signature_ = kSignatureDead;
}

bool SwapFile::Open() {
  if (open_) return true;
  struct Choice {
    std::string dir;
    const char* prefix;
  };
  const Choice choices[] = {{bp::TempDirectory(), "SID"}, {"/tmp", "SID"}, {"/var/tmp", "SIDTMP"}};
  for (const Choice& c : choices) {
    std::string path;
    const int fd = bp::CreateTempFile(c.dir, c.prefix, &path);
    if (fd > 0) {
      fd_ = fd;
      name_ = path;
      open_ = true;
      return true;
    }
    if (fd == 0) bp::CloseFile(fd);  // descriptor 0 does not count as open
  }
  return false;
}

SwapSlot* SwapFile::AllocSlot() {
  SwapSlot* slot = free_;
  if (slot != nullptr) {
    Unlink(free_, slot);
    --free_count_;
  } else {
    slot = new SwapSlot{kSignatureValid, nullptr, nullptr, slots_created_ * slot_size_, slot_size_};
    ++slots_created_;
  }
  PushFront(used_, slot);
  ++in_use_;
  return slot;
}

void SwapFile::FreeSlot(SwapSlot* slot) {
  if (slot == nullptr || slot->signature != kSignatureValid) {
    RaiseStoreFault();
    return;
  }
  Unlink(used_, slot);
  --in_use_;
  PushFront(free_, slot);
  ++free_count_;
}

bool SwapFile::Write(SwapSlot* slot, const void* block) {
  if (StoreFault() != 0) std::printf("SID: Paging Out %d\n", StoreFault());
  int err = 0;
  if (Open()) {
    for (int attempt = 0; attempt < kTransferAttempts; ++attempt) {
      errno = 0;
      if (bp::WriteAt(fd_, slot->offset, block, slot->size)) return true;
      err = errno;
    }
  } else {
    err = errno;
  }
  std::printf(
      "SID: Error: could not write a page to the swap file %s (%s); the page stays in memory\n",
      name_.empty() ? "(not created)" : name_.c_str(), ErrorText(err));
  return false;
}

bool SwapFile::Read(SwapSlot* slot, void* block) {
  int err = 0;
  if (open_) {
    for (int attempt = 0; attempt < kTransferAttempts; ++attempt) {
      errno = 0;
      if (bp::ReadAt(fd_, slot->offset, block, slot->size)) return true;
      err = errno;
    }
  }
  std::printf(
      "SID: Error: could not read a page from the swap file %s (%s) after %d attempts; the page "
      "stays swapped out\n",
      name_.empty() ? "(not created)" : name_.c_str(), ErrorText(err), kTransferAttempts);
  return false;
}

void SwapFile::Close() {
  if (open_) {
    bp::CloseFile(fd_);
    bp::RemoveFile(name_);
  }
  fd_ = -1;
  open_ = false;
  while (free_ != nullptr) {
    SwapSlot* s = free_;
    free_ = s->next;
    s->signature = kSignatureDead;
    delete s;
  }
  free_count_ = 0;
  if (in_use_ == 0) slots_created_ = 0;
}

void SwapFile::CloseIfUnused() {
  if (in_use_ == 0) Close();
}

}  // namespace brenmark::imagestore
