// Kind-identifier lists.
#include "brenmark/id_list.h"

#include <new>

namespace {

// Copies at most size - 1 bytes and always terminates.
void CopyId(char* dst, const char* src, int size) {
  int n = 0;
  if (src) {
    while (n < size - 1 && src[n] != '\0') {
      dst[n] = src[n];
      ++n;
    }
  }
  dst[n] = '\0';
}

}  // namespace

IdList::IdList(const char* name) {
  CopyId(curr_, name, kIdSize);
}

IdList::IdList(const IdList& other) {
  std::memcpy(curr_, other.curr_, kIdSize);
  for (const Entry* e = other.first_; e; e = e->next) SetID(e->id);
}

IdList& IdList::operator=(const IdList& other) {
  if (this != &other) std::memcpy(curr_, other.curr_, kIdSize);
  return *this;
}

IdList::~IdList() {
  Clear();
}

void IdList::Clear() {
  Entry* e = first_;
  while (e) {
    Entry* next = e->next;
    delete e;
    e = next;
  }
  first_ = last_ = nullptr;
}

void IdList::SetID(const char* id) {
  if (!id) return;
  Entry* e = new (std::nothrow) Entry;
  if (!e) return;
  CopyId(e->id, id, kIdSize);
  e->prev = last_;
  e->next = nullptr;
  if (last_) {
    last_->next = e;
  } else {
    first_ = e;
  }
  last_ = e;
}

bool IdList::CheckID(const char* id) const {
  if (!id) return false;
  for (const Entry* e = first_; e; e = e->next) {
    if (std::strcmp(e->id, id) == 0) return true;
  }
  return false;
}
