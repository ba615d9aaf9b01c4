// Shape: one vector shape held by a geometry layer, as a member of that
// layer's shape list (links, owner, handle, name, active flag).
#pragma once
#include <brenmark/export.h>

#include <brenmark/resource.h>

class Layer;
struct ilTile;

// Ownership: a shape is a Resource. The layer whose list holds it keeps one
// reference (taken by Layer::AddShape, dropped by Layer::RemoveShape or the
// layer's destructor); the owner pointer back to the layer is not counted.
//
// The handle comes from a process-wide counter incremented before use, so
// the first shape gets 1; a copy made with Shape(Shape*) keeps its source's
// handle, so handles stay valid in a copied layer stack.
//
// This is the list-side of a shape. Curves, parameters and rendering belong
// to the shape model and are not part of this class yet: a shape without
// parameters reports clean flags and no bounds.
class BRENMARK_API Shape : public Resource {
 public:
  static constexpr int kNameCapacity = 65;  // at most 64 characters and the terminator

  explicit Shape(Layer* owner);
  // Same handle, links, active flag, owner and name as the source.
  explicit Shape(Shape* source);
  ~Shape() override;

  Shape(const Shape&) = delete;
  Shape& operator=(const Shape&) = delete;

  void* GetHandle() const;
  int GetHandleValue() const { return handle_; }

  bool IsActive() const { return active_; }
  void SetActive(bool on) { active_ = on; }

  Layer* GetOwnerLayer() const { return owner_; }
  void SetOwnerLayer(Layer* owner) { owner_ = owner; }

  const char* GetShapeName() const { return name_; }
  // Copies at most 64 characters; null is ignored.
  void SetShapeName(const char* name);

  Shape* GetNext() const { return next_; }
  void SetNext(Shape* s) { next_ = s; }
  Shape* GetPrev() const { return prev_; }
  void SetPrev(Shape* s) { prev_ = s; }

  // Dirty flags of the shape's parameters; false without parameters.
  bool IsParmsDirty() const { return false; }
  bool IsMaskDirty() const { return false; }
  // Bounds of the rendered shape; false when the shape neither fills nor
  // strokes (a shape without parameters does neither).
  bool GetShapeBound(ilTile& out);

  // Prints the shape's list entry when the debug selector is 8214.
  void debug() const;

  // The last handle handed out (0 before the first shape).
  static int HandleCounter();

 private:
  Shape* next_ = nullptr;
  Shape* prev_ = nullptr;
  int handle_;
  bool active_ = true;
  Layer* owner_;
  char name_[kNameCapacity];
};
