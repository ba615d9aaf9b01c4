// Observable and Observer: change notification between layers, paint
// objects, stamps and the page cache.
#pragma once
#include <brenmark/export.h>

class Observable;
class PointerList;

// Receives update() when an observable it is attached to changes and
// disconnect() when that observable is destroyed. Both do nothing here.
class BRENMARK_API Observer {
 public:
  virtual ~Observer();
  virtual void update(Observable* changed);
  virtual void disconnect(Observable* dying);
};

// Holds plain pointers to its observers, in attachment order; it owns the
// list, not the observers. An observer must detach itself (or be told of
// the observable's end through disconnect()) before it goes away.
//
// Copying: a copy starts with no observers (they attached to the original);
// assigning keeps the target's own observers.
class BRENMARK_API Observable {
 public:
  Observable() = default;
  Observable(const Observable&) {}
  Observable& operator=(const Observable&) { return *this; }
  // Tells every attached observer disconnect(this), in order.
  virtual ~Observable();

  // Appends o (duplicates allowed: a twice-attached observer is updated twice).
  virtual void attach(Observer* o);
  // Removes the first occurrence of o, if any.
  virtual void detach(Observer* o);
  // Calls update(this) on the observers attached when the notification
  // starts, in order, skipping any detached meanwhile by an earlier update;
  // observers attached during the notification wait for the next one.
  virtual void notify();

 private:
  PointerList* observers_ = nullptr;  // created by the first attach()
};
