// Paint objects: reference-counted, observable holders of the image a stamp
// paints with (the brush colour, the layer's own image, a processed copy of
// it, or a moving window onto another paint object).
#pragma once
#include <brenmark/export.h>

#include <brenmark/observable.h>
#include <brenmark/resource.h>

class ilImage;
class ilQVSubImg;
struct ilTile;

// Ownership: a paint object is a Resource and holds one reference on its
// image; replacing the image references the new one before releasing the
// old, and the destructor releases it (without notifying: observers learn of
// the end through Observable's disconnect()). A copy holds its own reference
// on the same image and starts without observers.
//
// Change notices: setting a different image notifies the observers;
// image_modified() marks the object changed and notifies on request. The
// changed mark is a plain value the stamp reads and clears.
class BRENMARK_API ImagePaintObj : public Resource, public Observable {
 public:
  // The name is accepted for the callers' sake and not kept. The image may
  // be null.
  ImagePaintObj(const char* name, ilImage* image);
  ImagePaintObj(const ImagePaintObj& other);
  ImagePaintObj& operator=(const ImagePaintObj&) = delete;
  ~ImagePaintObj() override;

  // ---- Virtual operations after the Resource slots, in slot order.
  virtual ilImage* image() const;
  // The image's pixels changed: marks the object changed, and notifies the
  // observers when `notify` is non-zero.
  virtual void image_modified(int notify);
  // (0, 0, 0, width, height, depth) of the image; all zero without one.
  virtual void bounds(ilTile& out) const;
  // This object as a paint object.
  virtual ImagePaintObj* ipo();
  virtual void changed(int value);
  virtual int changed() const;

 protected:
  // When `img` differs from the current image: references it, releases the
  // old one, stores it and notifies the observers.
  virtual void set_image(ilImage* img);

 private:
  int changed_ = 0;
  ilImage* image_ = nullptr;
};

// A paint object that starts without an image and holds one reference on a
// companion object for as long as it lives. The painting code does not use
// the companion.
class BRENMARK_API SparseImagePaintObj : public ImagePaintObj {
 public:
  SparseImagePaintObj(const char* name, Resource* companion);
  SparseImagePaintObj(const SparseImagePaintObj&) = delete;
  SparseImagePaintObj& operator=(const SparseImagePaintObj&) = delete;
  ~SparseImagePaintObj() override;

  Resource* companion() const { return companion_; }

 private:
  Resource* companion_;
};

// A paint object that stands for an inner one, which can be swapped while
// consumers keep using the envelope. Holds a reference on the inner object
// and observes it; each notice from the inner object is passed on once to
// the envelope's observers.
//
// Swapping the inner object moves the image graph along: every image that
// reads the old inner image as its input is rewired to the new inner image
// (except the new image itself), so views built on the envelope's image
// follow the swap.
class BRENMARK_API EnvelopeImagePaintObj : public ImagePaintObj, public Observer {
 public:
  EnvelopeImagePaintObj(const char* name, ImagePaintObj* inner);
  EnvelopeImagePaintObj(const EnvelopeImagePaintObj&) = delete;
  EnvelopeImagePaintObj& operator=(const EnvelopeImagePaintObj&) = delete;
  ~EnvelopeImagePaintObj() override;

  // The inner object's image (null without inner object).
  ilImage* image() const override;
  void bounds(ilTile& out) const override;
  // Sets the value on the envelope and on the inner object.
  void changed(int value) override;
  // The envelope's value OR (bitwise) the inner object's.
  int changed() const override;

  // Replaces the inner object (null allowed) and, with `notify`, notifies
  // the observers. The same object again changes nothing. An object that
  // already wraps this envelope (directly or through other envelopes) is
  // refused: the answer is false and nothing changes.
  bool SetInner(ImagePaintObj* inner, int notify);
  ImagePaintObj* GetInner() const { return inner_; }

  // Observer.
  void update(Observable* from) override;
  void disconnect(Observable* dying) override;

 private:
  ImagePaintObj* inner_ = nullptr;
};

// A window onto another paint object's image: the image of this object is
// one ilQVSubImg, made at the first window and re-pointed afterwards, so
// whoever holds the image keeps a valid object across moves. Holds a
// reference on the source paint object (the sub-image reads the source's
// image, which the source keeps alive).
//
// Windows are flat: the origin is (x, y, 0); a negative extent counts as 0.
// A window request is ignored while the source (or its image) is missing. Every window set and
// every move notifies the observers once, after the sub-image is configured.
class BRENMARK_API SubImagePaintObj : public ImagePaintObj {
 public:
  // Window (x, y, nx, ny) with the source's channel count.
  SubImagePaintObj(const char* name, ImagePaintObj* source, int x, int y, int nx, int ny);
  SubImagePaintObj(const char* name, ImagePaintObj* source, int x, int y, int z, int nx, int ny,
                   int channels);
  // The source's whole image.
  SubImagePaintObj(const char* name, ImagePaintObj* source);
  SubImagePaintObj(const char* name, ImagePaintObj* source, int z, int channels);
  SubImagePaintObj(const SubImagePaintObj&) = delete;
  SubImagePaintObj& operator=(const SubImagePaintObj&) = delete;
  ~SubImagePaintObj() override;

  // The window (x, y) of size (nx, ny) onto the source's image, showing
  // `channels` channels in the source's data type and order. `z` is
  // accepted and unused (windows are flat).
  void SetWindow(ImagePaintObj* source, int x, int y, int z, int nx, int ny, int channels);
  void SetWindow(ImagePaintObj* source, int x, int y, int nx, int ny);
  // The window covering the source's whole image.
  void SetFullView(ImagePaintObj* source, int z, int channels);
  // Moves and resizes the current window; nothing without one.
  void Move(int x, int y, int nx, int ny);

  // The base behaviour, then marks the sub-image's data altered so that its
  // readers re-evaluate.
  void image_modified(int notify) override;

  ImagePaintObj* source() const { return source_; }

 private:
  ImagePaintObj* source_ = nullptr;
  ilQVSubImg* sub_ = nullptr;  // this object's image once a window was set
};
