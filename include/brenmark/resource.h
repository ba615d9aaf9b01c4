// Resource: the reference-counted base of the engine's long-lived objects,
// with a process-wide mode that defers their destruction.
#pragma once
#include <brenmark/export.h>

// Ownership: a resource starts with a count of 0. Every holder takes a
// reference with ref() and gives it back with unref(); the unref() that
// brings the count to 0 calls cleanup() and deletes the object, so
// resources must be created with new. A resource nobody referenced is
// deleted by its first unref().
//
// Deferral: while Resource::defer(1) is in effect, unref_deferred() that
// reaches 0 still calls cleanup() at once but parks the object in a
// process-wide list; flush() (or leaving the mode) deletes the parked
// objects in the order they were parked.
//
// Copying: a copy is a new resource (count 0, its own identifier); assigning
// leaves the count and identifier of the target alone. Counts and the
// deferral state are not synchronised: use them on the application thread.
class BRENMARK_API Resource {
 public:
  Resource();
  Resource(const Resource&);
  Resource& operator=(const Resource&) { return *this; }
  virtual ~Resource();

  virtual void ref();
  virtual void unref();
  virtual void unref_deferred();
  // Releases what a derived class holds; runs once the count reaches 0,
  // before the object is deleted (or parked). Nothing here.
  virtual void cleanup();
  virtual void Reference();
  virtual void Unreference();
  // Process-wide unique, never reused; the first resource gets 1.
  virtual unsigned int ResourceID() const;

  // Null-tolerant forms of the virtual operations.
  static void ref(const Resource* r);
  static void unref(const Resource* r);
  static void unref_deferred(const Resource* r);

  // Sets the deferral mode and returns the previous one; a change of mode
  // flushes the parked resources first.
  static int defer(int on);
  // Deletes every parked resource, oldest first, with deferral off while it
  // runs. A resource that was referenced again after being parked is left
  // alive for its new holder.
  static void flush();

  int RefCount() const { return count_; }

 private:
  int count_ = 0;
  unsigned int id_;
};
