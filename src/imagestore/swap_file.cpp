// Swap file slots and whole-slot transfers.
#include "imagestore/swap_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "imagestore/store_hooks.h"
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

// SID_TEMP_DIR names a directory that cannot take swap files: said once per
// process, then the next directory in line is used.
void WarnUnusableTempDir(const char* dir, const std::string& problem, const std::string& fallback) {
  static bool warned = false;
  if (warned) return;
  warned = true;
  if (fallback.empty()) {
    StoreMessage(
        "SID: Warning: SID_TEMP_DIR=%s cannot be used (%s); no other directory takes "
        "swap files either\n",
        dir, problem.c_str());
  } else {
    StoreMessage("SID: Warning: SID_TEMP_DIR=%s cannot be used (%s); swap files go to %s\n", dir,
                 problem.c_str(), fallback.c_str());
  }
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
  std::vector<Choice> choices;
  for (std::string& dir : bp::TempDirectories()) choices.push_back({std::move(dir), "SID"});
  choices.push_back({"/var/tmp", "SIDTMP"});
  const char* chosen = std::getenv("SID_TEMP_DIR");
  std::string chosenProblem;
  for (const Choice& c : choices) {
    std::string path, problem;
    const int fd = bp::CreateTempFile(c.dir, c.prefix, &path, &problem);
    if (fd > 0) {
      // The name goes at once: the file lives only as long as the
      // descriptor, so it vanishes however the process ends.
      bp::RemoveFile(path);
      fd_ = fd;
      name_ = path;
      open_ = true;
      if (!chosenProblem.empty()) WarnUnusableTempDir(chosen, chosenProblem, c.dir);
      return true;
    }
    if (fd == 0) {  // descriptor 0 does not count as open
      bp::CloseFile(fd);
      bp::RemoveFile(path);
      problem = "descriptor 0";
    }
    if (&c == &choices.front() && chosen != nullptr && *chosen != '\0') chosenProblem = problem;
  }
  if (!chosenProblem.empty()) WarnUnusableTempDir(chosen, chosenProblem, "");
  return false;
}

SwapSlot* SwapFile::AllocSlot() {
  SwapSlot* slot = nullptr;
  if (!free_.empty()) {
    slot = *free_.begin();
    free_.erase(free_.begin());
  } else {
    slot = new SwapSlot{kSignatureValid, nullptr, nullptr, slot_count_ * slot_size_, slot_size_};
    ++slot_count_;
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
  free_.insert(slot);
  if (slot->offset + slot_size_ == slot_count_ * slot_size_) TrimEnd();
}

void SwapFile::TrimEnd() {
  const std::uint64_t before = slot_count_;
  while (!free_.empty()) {
    auto last = std::prev(free_.end());
    SwapSlot* s = *last;
    if (s->offset + slot_size_ != slot_count_ * slot_size_) break;
    free_.erase(last);
    s->signature = kSignatureDead;
    delete s;
    --slot_count_;
  }
  // Each slot is dropped once per time it was made, so trimming costs no
  // more than growing did. A file the system would not cut keeps its tail:
  // those bytes are never read again, and the next write past the end
  // overwrites them.
  if (open_ && slot_count_ != before) bp::TruncateFile(fd_, slot_count_ * slot_size_);
}

bool SwapFile::Write(SwapSlot* slot, const void* block) {
  if (StoreFault() != 0) StoreMessage("SID: Paging Out %d\n", StoreFault());
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
  StoreMessage(
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
  StoreMessage(
      "SID: Error: could not read a page from the swap file %s (%s) after %d attempts; the page "
      "stays swapped out\n",
      name_.empty() ? "(not created)" : name_.c_str(),
      err != 0 ? ErrorText(err) : "the file ends before the page", kTransferAttempts);
  return false;
}

void SwapFile::Close() {
  // The name was removed when the file was made (and may belong to another
  // file by now): closing the descriptor deletes the file.
  if (open_) bp::CloseFile(fd_);
  fd_ = -1;
  open_ = false;
  for (SwapSlot* s : free_) {
    s->signature = kSignatureDead;
    delete s;
  }
  free_.clear();
  if (in_use_ == 0) slot_count_ = 0;
}

void SwapFile::CloseIfUnused() {
  if (in_use_ == 0) Close();
}

}  // namespace brenmark::imagestore
