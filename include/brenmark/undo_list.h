// The undo list: a bounded history of snapshot records that undo and redo
// swap with the live state. The one list of the process is the global
// `PaintUndoList`; the paint manager's command frame and brush strokes fill
// it.
#pragma once
#include <brenmark/export.h>

#include <brenmark/id_list.h>
#include <brenmark/shared_object.h>

#include <list>

class Layer;
class LayerStack;
class PaintManager;
class ilImage;

// A record. Each class of the chain adds its kind identifier ("SidOper",
// "SidLS", ...) so a record answers to all of them; the current identifier
// is the most derived one. Records are shared objects held through
// TsharedObjectPtr and are never copied.
class BRENMARK_API PntUndoOper : public TsharedObject, public IdList {
 public:
  explicit PntUndoOper(const char* kind);
  PntUndoOper(const PntUndoOper&) = delete;
  PntUndoOper& operator=(const PntUndoOper&) = delete;
  ~PntUndoOper() override = default;

  virtual void Undo() = 0;
  virtual void Redo() = 0;
  // Called when the record leaves the list as the oldest or by a flush.
  virtual void Discard() {}
  virtual void DebugOut() {}
  // Whether this record, as a pattern, refers to the same thing as `other`
  // (non-null: yes).
  virtual PntUndoOper* Matches(PntUndoOper* other);
  // For each kind of this record that is other's current kind: other's
  // Matches(this) when non-null; else null.
  PntUndoOper* FindByKind(PntUndoOper* other);

  int Serial() const { return serial_; }
  bool Flag() const { return flag_; }
  void SetFlag(bool on) { flag_ = on; }

 private:
  int serial_;
  bool flag_ = false;
  bool spareFlag_ = false;
};

// A record of one layer stack slot: holds the stack (one reference).
class BRENMARK_API PntUndoLS : public PntUndoOper {
 public:
  PntUndoLS(PaintManager* pm, int handle, LayerStack* stack, const char* kind);
  ~PntUndoLS() override;
  void Undo() override {}
  void Redo() override {}
  // Other is a stack record of the same slot.
  PntUndoOper* Matches(PntUndoOper* other) override;

  int Handle() const { return handle_; }
  LayerStack* Stack() const { return stack_; }

 protected:
  PaintManager* pm_;
  int handle_;
  LayerStack* stack_;
};

// A record of one layer of a stack: holds the layer (one reference).
class BRENMARK_API PntUndoLayer : public PntUndoLS {
 public:
  PntUndoLayer(PaintManager* pm, int handle, int index, LayerStack* stack, Layer* layer,
               const char* kind);
  ~PntUndoLayer() override;
  // As PntUndoLS, and both layers exist with the same identifier.
  PntUndoOper* Matches(PntUndoOper* other) override;

  Layer* GetLayer() const { return layer_; }

 protected:
  int index_;
  Layer* layer_;
};

// The layer structure: keeps the stack as it was and puts a copy of it
// (sharing the layers' images) into the slot for the command to work on.
class BRENMARK_API PntUndoLayerStack : public PntUndoLayer {
 public:
  PntUndoLayerStack(PaintManager* pm, int handle, int index, LayerStack* stack, Layer* layer,
                    const char* kind);
  ~PntUndoLayerStack() override;
  void Undo() override;
  void Redo() override;

 private:
  void PutBack(LayerStack* stack);
  LayerStack* copy_ = nullptr;
};

// One layer's pixels: the layer goes on painting into new copy-on-write
// images seeded from its images, which stay as they were. Only the pages
// written later cost memory.
class BRENMARK_API PntUndoStroke : public PntUndoLayer {
 public:
  PntUndoStroke(PaintManager* pm, int handle, int index, LayerStack* stack, Layer* layer,
                ilImage* color, ilImage* stencil, const char* kind);
  ~PntUndoStroke() override;
  void Undo() override;
  void Redo() override;
  // The record's images absorb their seeds, so that the pixels from before
  // the record are no longer needed by anything the record leaves behind.
  void Discard() override;

  ilImage* Image() const { return color_; }
  ilImage* StencilImage() const { return stencil_; }

 private:
  void SwapIn(ilImage* color, ilImage* stencil, bool keep);
  void Refresh();
  ilImage* color_ = nullptr;
  ilImage* stencil_ = nullptr;
  float xOffset_ = 0;
  float yOffset_ = 0;
};

// Records undone and redone as one step: undo runs first to last, redo last
// to first.
class BRENMARK_API PntUndoCombo : public PntUndoOper {
 public:
  using Member = TsharedObjectPtr<PntUndoOper>;
  PntUndoCombo(PntUndoOper* r1, PntUndoOper* r2, PntUndoOper* r3, PntUndoOper* r4, PntUndoOper* r5,
               bool, bool, const char* kind);
  void Undo() override;
  void Redo() override;
  void Discard() override;
  PntUndoOper* Matches(PntUndoOper* other) override;
  const std::list<Member>& Members() const { return members_; }

 private:
  std::list<Member> members_;
};

class BRENMARK_API PntUndoList {
 public:
  using Record = TsharedObjectPtr<PntUndoOper>;
  using Records = std::list<Record>;

  explicit PntUndoList(int max);
  ~PntUndoList();
  PntUndoList(const PntUndoList&) = delete;
  PntUndoList& operator=(const PntUndoList&) = delete;

  // Drops the undone records, appends op and discards the oldest beyond the
  // bound. False (nothing changes) for a null op.
  bool AddUndoOperation(Record op);
  // Undo of the last applied record / redo of the first undone one; when
  // there is none, shows "You cannot undo any more actions.\n" (or "redo")
  // through the message-box callback and returns false.
  bool Undo();
  bool Redo();
  // Removes (and discards) every record that refers to what `pattern`
  // refers to, combos whose members do included; null removes every record.
  void FlushUndoList(PntUndoOper* pattern);
  void GarbageCollect();
  void SetDirty() { dirty_ = true; }
  bool IsDirty() const { return dirty_; }
  void ReviewUndoList(bool remove);
  // The first record after the oldest that `pattern` finds by kind.
  static PntUndoOper* SearchOper(Records* list, PntUndoOper* pattern);
  Records* GetUndoList() { return &records_; }
  int Count() const { return static_cast<int>(records_.size()); }
  // Records that can be undone (before the redo position) and redone.
  int UndoCount() const;
  int RedoCount() const;
  int MaxCount() const { return max_; }
  // The text of the last "cannot undo/redo" message (empty before any).
  const char* LastMessage() const { return lastMessage_; }

 protected:
  void Debug();

 private:
  void Remove(Records::iterator it);
  int max_;
  Records records_;
  bool dirty_ = false;
  Records::iterator redo_;
  const char* lastMessage_ = "";
};

// The undo list of the process (ten records).
extern BRENMARK_API PntUndoList PaintUndoList;
