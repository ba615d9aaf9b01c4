// The bounded undo list and the process's one instance.
#include "brenmark/undo_list.h"
#include "brenmark/paint_manager.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

PntUndoList PaintUndoList(10);

namespace {

constexpr const char* kNothingToUndo = "You cannot undo any more actions.\n";
constexpr const char* kNothingToRedo = "You cannot redo any more actions.\n";

void ShowMessage(const char* text) {
  char message[256];
  std::snprintf(message, sizeof message, "%s", text);
  int answer = 0;
  if (Brenmark.CB()->ShowMessageBox) Brenmark.CB()->ShowMessageBox(-1, -1, 16, &answer, message);
}

// Whether `pattern` refers to what r refers to: for a combo, what any of its
// members refers to.
bool RefersTo(PntUndoOper* pattern, PntUndoOper* r) {
  if (!r) return false;
  if (pattern->Matches(r)) return true;
  if (!r->CheckID("SidCombo") || std::strcmp(r->GetCurrID(), "SidCombo") != 0) return false;
  for (const PntUndoCombo::Member& m : static_cast<PntUndoCombo*>(r)->Members()) {
    if (RefersTo(pattern, m.get())) return true;
  }
  return false;
}

}  // namespace

PntUndoList::PntUndoList(int max) : max_(max), redo_(records_.end()) {}

PntUndoList::~PntUndoList() {
  records_.clear();
}

void PntUndoList::Remove(Records::iterator it) {
  if (it == redo_) ++redo_;
  records_.erase(it);
}

bool PntUndoList::AddUndoOperation(Record op) {
  if (!op) return false;
  records_.erase(redo_, records_.end());
  records_.push_back(std::move(op));
  if (static_cast<int>(records_.size()) > max_) {
    Record oldest = records_.front();
    records_.pop_front();
    oldest->Discard();
  }
  redo_ = records_.end();
  return true;
}

bool PntUndoList::Undo() {
  if (records_.empty() || redo_ == records_.begin()) {
    lastMessage_ = kNothingToUndo;
    ShowMessage(kNothingToUndo);
    return false;
  }
  --redo_;
  Record keep = *redo_;
  keep->Undo();
  return true;
}

bool PntUndoList::Redo() {
  if (records_.empty() || redo_ == records_.end()) {
    lastMessage_ = kNothingToRedo;
    ShowMessage(kNothingToRedo);
    return false;
  }
  Record keep = *redo_;
  ++redo_;
  keep->Redo();
  return true;
}

void PntUndoList::FlushUndoList(PntUndoOper* pattern) {
  if (records_.empty()) return;
  if (!pattern) {
    records_.clear();
    redo_ = records_.end();
    return;
  }
  for (auto it = records_.begin(); it != records_.end();) {
    auto next = std::next(it);
    if (RefersTo(pattern, it->get())) {
      Record r = *it;
      Remove(it);
      r->Discard();
    }
    it = next;
  }
}

void PntUndoList::GarbageCollect() {
  if (dirty_) FlushUndoList(nullptr);
  dirty_ = false;
}

void PntUndoList::ReviewUndoList(bool remove) {
  if (!remove) return;
  for (auto it = records_.begin(); it != records_.end();) {
    auto next = std::next(it);
    if (*it && (*it)->Flag()) Remove(it);
    it = next;
  }
}

PntUndoOper* PntUndoList::SearchOper(Records* list, PntUndoOper* pattern) {
  if (!list || !pattern || list->empty()) return nullptr;
  for (auto it = std::next(list->begin()); it != list->end(); ++it) {
    if (PntUndoOper* found = pattern->FindByKind(it->get())) return found;
  }
  return nullptr;
}

int PntUndoList::UndoCount() const {
  return static_cast<int>(std::distance(records_.begin(), Records::const_iterator(redo_)));
}

int PntUndoList::RedoCount() const {
  return Count() - UndoCount();
}

void PntUndoList::Debug() {
  int i = 0;
  char line[32];
  for (Record& r : records_) {
    std::snprintf(line, sizeof line, "Iter:%d\n", i++);
    brenmark::platform::DebugOutput(line);
    r->DebugOut();
  }
}

void PaintManager::UndoListGarbageCollect() {
  PaintUndoList.GarbageCollect();
}

void PaintManager::UndoListSetDirty() {
  PaintUndoList.SetDirty();
}
