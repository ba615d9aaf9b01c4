// TsharedObject and TsharedObjectPtr: shared ownership with an atomic count,
// for objects (the undo records) that may be held from more than one place.
#pragma once
#include <brenmark/export.h>

#include <atomic>
#include <type_traits>

template <class T>
class TsharedObjectPtr;

// The count starts at 0 and is changed only by TsharedObjectPtr, with
// interlocked increments and decrements. The object is deleted (it must come
// from new) when the last pointer lets go. A copy of a shared object is a new
// object with a count of its own.
class BRENMARK_API TsharedObject {
 public:
  TsharedObject() = default;
  TsharedObject(const TsharedObject&) {}
  TsharedObject& operator=(const TsharedObject&) { return *this; }
  virtual ~TsharedObject() = default;

  long SharedCount() const { return count_.load(); }

 private:
  template <class T>
  friend class TsharedObjectPtr;
  static void Acquire(TsharedObject* p);
  static void Release(TsharedObject* p);

  std::atomic<long> count_{0};
};

// Holds one counted reference to a T (a TsharedObject), or null.
template <class T>
class TsharedObjectPtr {
 public:
  TsharedObjectPtr() = default;
  TsharedObjectPtr(T* p) : p_(p) { Take(p_); }
  TsharedObjectPtr(const TsharedObjectPtr& o) : p_(o.p_) { Take(p_); }
  TsharedObjectPtr(TsharedObjectPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TsharedObjectPtr(const TsharedObjectPtr<U>& o) : p_(o.get()) {
    Take(p_);
  }
  ~TsharedObjectPtr() { Drop(p_); }

  // The new object is taken before the old one is let go, so assigning an
  // object that only the old one kept alive is safe.
  TsharedObjectPtr& operator=(T* p) {
    if (p != p_) {
      Take(p);
      T* old = p_;
      p_ = p;
      Drop(old);
    }
    return *this;
  }
  TsharedObjectPtr& operator=(const TsharedObjectPtr& o) { return *this = o.p_; }
  TsharedObjectPtr& operator=(TsharedObjectPtr&& o) noexcept {
    if (this != &o) {
      T* old = p_;
      p_ = o.p_;
      o.p_ = nullptr;
      Drop(old);
    }
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(const TsharedObjectPtr& o) const { return p_ == o.p_; }
  bool operator==(const T* p) const { return p_ == p; }

 private:
  static void Take(T* p) {
    static_assert(std::is_base_of_v<TsharedObject, T>, "T must derive from TsharedObject");
    if (p) TsharedObject::Acquire(p);
  }
  static void Drop(T* p) {
    if (p) TsharedObject::Release(p);
  }

  T* p_ = nullptr;
};
