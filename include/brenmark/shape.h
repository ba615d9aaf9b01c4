// Shape: one vector shape held by a geometry layer: its fill and stroke
// curves, its parameters and renderers, and its place in the layer's shape
// list (links, owner, handle, name, active flag).
#pragma once
#include <brenmark/export.h>

#include <brenmark/callbacks.h>
#include <brenmark/il_types.h>
#include <brenmark/resource.h>

class Layer;
class PaintOps;
class ShapeFillRenderer;
class ShapeParms;
class ShapeStrokeRenderer;

// Ownership: a shape is a Resource. The layer whose list holds it keeps one
// reference (taken by Layer::AddShape, dropped by Layer::RemoveShape or the
// layer's destructor); the owner pointer back to the layer is not counted.
//
// The handle comes from a process-wide counter incremented before use, so
// the first shape gets 1; a copy made with Shape(Shape*) keeps its source's
// handle, so handles stay valid in a copied layer stack.
//
// The shape owns both curves (released through callback 44 when replaced
// or destroyed) and both renderers, and holds one reference on its
// parameters. A copy gets copies of the curves (callback 52), renderers that
// share the source's masks until they next rebuild, and the same parameters.
//
// A shape without parameters reports clean flags, renders nothing and has
// no bounds.
class BRENMARK_API Shape : public Resource {
 public:
  static constexpr int kNameCapacity = 65;  // at most 64 characters and the terminator

  explicit Shape(Layer* owner, ag_curve* fill = nullptr, ag_curve* stroke = nullptr,
                 ShapeParms* parms = nullptr);
  // Same handle, links, parameters, active flag, owner and name as the
  // source; copied curves and renderers.
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

  ag_curve* GetFillCurve() const { return fill_; }
  ag_curve* GetStrokeCurve() const { return stroke_; }
  // Replace the curve (the old one is released); `dirty` marks the
  // parameters' mask dirty.
  void SetFillCurve(ag_curve* curve, bool dirty);
  void SetStrokeCurve(ag_curve* curve, bool dirty);

  ShapeParms* GetShapeParms() const { return parms_; }
  // New parameters; masks are rebuilt only when they render differently.
  void SetShapeParms(ShapeParms* parms);

  ShapeFillRenderer* GetFillRenderer() const { return fillRenderer_; }
  ShapeStrokeRenderer* GetStrokeRenderer() const { return strokeRenderer_; }

  // Dirty flags of the shape's parameters; false without parameters.
  bool IsParmsDirty() const;
  bool IsMaskDirty() const;
  void SetMaskDirty();
  void SetParmsDirty();

  // Renders an active shape with the painter: masks rebuilt where dirty (or
  // all with forceMask), clipped to the layer stack's area in the owner's
  // coordinates with useStackBounds; fill and stroke in stacking order.
  void Render(PaintOps* painter, bool forceMask, bool useStackBounds);
  // The same with the owner layer's painter.
  void Render(bool forceMask, bool useStackBounds);

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
  ag_curve* fill_ = nullptr;
  ag_curve* stroke_ = nullptr;
  ShapeParms* parms_ = nullptr;
  Layer* owner_;
  ShapeFillRenderer* fillRenderer_;
  ShapeStrokeRenderer* strokeRenderer_;
  char name_[kNameCapacity];
  ilTile fillBounds_;
  bool fillChanged_ = true;
  ilTile strokeBounds_;
  bool strokeChanged_ = true;
};
