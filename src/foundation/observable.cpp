// Observer lists and notification.
#include "brenmark/observable.h"

#include "brenmark/pointer_list.h"

#include <memory>
#include <new>

Observer::~Observer() = default;
void Observer::update(Observable*) {}
void Observer::disconnect(Observable*) {}

Observable::~Observable() {
  // Detach the list first so that observers calling detach() from
  // disconnect() find nothing to edit.
  PointerList* list = observers_;
  observers_ = nullptr;
  if (!list) return;
  for (int i = 0; i < list->Count(); ++i) static_cast<Observer*>(list->Get(i))->disconnect(this);
  delete list;
}

void Observable::attach(Observer* o) {
  if (!observers_) observers_ = new (std::nothrow) PointerList(5);
  if (observers_) observers_->Append(o);
}

void Observable::detach(Observer* o) {
  if (observers_) observers_->RemoveFirst(o);
}

void Observable::notify() {
  if (!observers_ || observers_->Count() == 0) return;
  // Updates may attach and detach, so walk a snapshot and re-check each
  // observer against the live list before calling it. Most observables
  // have a handful of observers: keep those off the heap.
  constexpr int kInline = 16;
  void* inline_snapshot[kInline];
  std::unique_ptr<void*[]> heap_snapshot;
  const int n = observers_->Count();
  void** snapshot = inline_snapshot;
  if (n > kInline) {
    heap_snapshot.reset(new (std::nothrow) void*[n]);
    if (!heap_snapshot) return;
    snapshot = heap_snapshot.get();
  }
  observers_->CopyTo(snapshot);
  for (int i = 0; i < n; ++i) {
    if (observers_ && observers_->IndexOf(snapshot[i]) >= 0) {
      static_cast<Observer*>(snapshot[i])->update(this);
    }
  }
}
