// Iterators over the paint manager's layer stacks, a stack's layers, the
// masks of one image layer and the shapes of one layer.
#pragma once
#include <brenmark/export.h>

// All four are plain values that remember positions (slot numbers and
// indices), not pointers, so they survive a stack being replaced by its copy.
// Each starts at its first element on construction; Reset() starts over.

// The occupied slots of the paint manager's table in ascending order.
class BRENMARK_API LayerStackIterator {
 public:
  LayerStackIterator();
  void Reset();
  // The next occupied slot; -1 once as many slots as the paint manager had
  // stacks at Reset() were returned, or the table ends.
  int Next();
  int Count() const { return count_; }
  int CountRemaining() const { return remaining_; }

 private:
  int count_ = 0;
  int remaining_ = 0;
  int slot_ = 0;
};

// The layers of one stack, bottom up or top down, optionally without masks.
class BRENMARK_API LayerIterator {
 public:
  LayerIterator(int layerStack, bool skipMasks, bool fromTop);
  void Reset();
  // The handle of the layer at the position, then moves on; (void*)-1 at
  // the end.
  void* Next();
  void* Next(int& layerStack, int& index);
  int Count() const { return count_; }

  // The layer directly above (below) the given one, skipping masks when
  // asked; (void*)-1 when there is none.
  static void* GetNextLayer(void* layer, bool skipMasks);
  static void* GetPrevLayer(void* layer, bool skipMasks);

 private:
  int Skip(int index) const;

  int requestedStack_;
  int stack_ = -1;
  bool skipMasks_;
  bool fromTop_;
  int count_ = 0;
  int index_ = -1;
};

// The run of mask layers directly above one image layer.
class BRENMARK_API MaskIterator {
 public:
  MaskIterator(int layerStack, int imageIndex, bool fromTop);
  MaskIterator(void* imageLayer, bool fromTop);
  void Reset();
  // The mask's handle, then moves up (down with fromTop); (void*)-1 and
  // index -1 once a non-mask layer or the end is reached.
  void* Next();
  void* Next(int& layerStack, int& index);
  int Count() const { return count_; }

  // The nearest non-mask layer below the mask; (void*)-1 when there is none.
  static void* GetAssociateImageLayer(void* mask);

 private:
  int stack_;
  int imageIndex_;
  bool fromTop_;
  int count_ = 0;
  int index_ = -1;
};

// The shapes of one layer, bottom up (top down with fromTop).
class BRENMARK_API ShapeIterator {
 public:
  ShapeIterator(int layerStack, int index, bool fromTop);
  ShapeIterator(void* layer, bool fromTop);
  void Reset();
  // The shape's handle, then moves on; (void*)-1 at the end.
  void* Next();
  // Also reports the stack, the layer index and the shape index (-1 at the
  // end).
  void* Next(int& layerStack, int& layerIndex, int& shapeIndex);
  int Count() const { return count_; }

 private:
  int stack_;
  int layerIndex_;
  bool fromTop_;
  int count_ = 0;
  int shapeIndex_ = -1;
};
