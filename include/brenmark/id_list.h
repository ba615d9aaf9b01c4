// IdList: the kind identifiers of an object, backing type-testing down-casts.
#pragma once
#include <brenmark/export.h>

#include <cstring>

// Every constructor in a hierarchy deriving from IdList appends its class's
// identifier with SetID(), so an object answers CheckID() for every class of
// its chain; the identifier given at construction names the most-derived
// type (GetCurrID()). Identifiers are at most 127 characters; longer ones
// are cut to that length.
//
// The list belongs to the object. Copying: a copy gets the current
// identifier and its own copy of the list; assigning copies only the current
// identifier and keeps the target's list (its class chain is its own).
// Not polymorphic: never delete a derived object through an IdList pointer.
class BRENMARK_API IdList {
 public:
  static constexpr int kIdSize = 128;  // identifier bytes, terminator included

  // One listed identifier; entries run first to last in SetID() order.
  struct Entry {
    Entry* prev;
    Entry* next;
    char id[kIdSize];
  };

  // A null name gives an empty current identifier.
  explicit IdList(const char* name);
  IdList(const IdList& other);
  IdList& operator=(const IdList& other);
  ~IdList();

  // Appends a copy of id (ignored when null).
  void SetID(const char* id);
  // True when id equals one of the listed identifiers; false for null.
  bool CheckID(const char* id) const;
  const char* GetCurrID() const { return curr_; }
  // The first entry of the list, or null when the list is empty.
  const Entry* GetIDList() const { return first_; }

 private:
  void Clear();

  Entry* first_ = nullptr;
  Entry* last_ = nullptr;
  char curr_[kIdSize];
};

namespace brenmark {

// p as a T when it is not null and lists `id` (membership in T's chain).
template <class T, class P>
T* ResolveIdListPtr(P* p, const char* id) {
  return (p != nullptr && p->CheckID(id)) ? static_cast<T*>(p) : nullptr;
}

// p as a T only when its most-derived identifier is exactly `id`.
template <class T, class P>
T* ResolveIdListPtrByCurrID(P* p, const char* id) {
  return (p != nullptr && std::strcmp(p->GetCurrID(), id) == 0) ? static_cast<T*>(p) : nullptr;
}

}  // namespace brenmark

// Declares the static type tests of an IdList-derived class inside its body:
//   class ShapeMaskParms : public ShapeImageParms {
//    public:
//     BRENMARK_ID_LIST_RESOLVERS(ShapeMaskParms, ShapeParms, "ShapeMaskParms")
//   };
// gives ShapeMaskParms::ResolvePtr(ShapeParms*) and ResolvePtrByCurrID (and
// const forms). Root is the class the pointers are declared as.
#define BRENMARK_ID_LIST_RESOLVERS(Class, Root, id)                  \
  static Class* ResolvePtr(Root* p) {                                \
    return ::brenmark::ResolveIdListPtr<Class>(p, id);               \
  }                                                                  \
  static const Class* ResolvePtr(const Root* p) {                    \
    return ::brenmark::ResolveIdListPtr<const Class>(p, id);         \
  }                                                                  \
  static Class* ResolvePtrByCurrID(Root* p) {                        \
    return ::brenmark::ResolveIdListPtrByCurrID<Class>(p, id);       \
  }                                                                  \
  static const Class* ResolvePtrByCurrID(const Root* p) {            \
    return ::brenmark::ResolveIdListPtrByCurrID<const Class>(p, id); \
  }
