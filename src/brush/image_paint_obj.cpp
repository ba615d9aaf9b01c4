// Paint objects: the plain image holder, the sparse holder, the envelope
// with a swappable inner object, and the window onto another paint object.
#include <brenmark/image_paint_obj.h>

#include <algorithm>
#include <vector>

#include <brenmark/il.h>
#include <brenmark/qv_sub_img.h>

// ---- ImagePaintObj.

ImagePaintObj::ImagePaintObj(const char* /*name*/, ilImage* image) {
  if (image != nullptr) image->ref();
  image_ = image;
}

ImagePaintObj::ImagePaintObj(const ImagePaintObj& other)
    : Resource(other), Observable(other), changed_(other.changed_), image_(other.image_) {
  if (image_ != nullptr) image_->ref();
}

ImagePaintObj::~ImagePaintObj() {
  ilImage* img = image_;
  image_ = nullptr;
  if (img != nullptr) img->unref();
}

ilImage* ImagePaintObj::image() const {
  return image_;
}

void ImagePaintObj::image_modified(int notify) {
  changed(1);
  if (notify != 0) this->notify();
}

void ImagePaintObj::bounds(ilTile& out) const {
  ilImage* img = image();
  out = img != nullptr ? ilTile(0, 0, 0, img->getXsize(), img->getYsize(), img->getZsize())
                       : ilTile();
}

ImagePaintObj* ImagePaintObj::ipo() {
  return this;
}

void ImagePaintObj::changed(int value) {
  changed_ = value;
}

int ImagePaintObj::changed() const {
  return changed_;
}

void ImagePaintObj::set_image(ilImage* img) {
  if (img == image_) return;
  if (img != nullptr) img->ref();
  ilImage* old = image_;
  image_ = img;
  if (old != nullptr) old->unref();
  notify();
}

// ---- SparseImagePaintObj.

SparseImagePaintObj::SparseImagePaintObj(const char* name, Resource* companion)
    : ImagePaintObj(name, nullptr), companion_(companion) {
  Resource::ref(companion_);
}

SparseImagePaintObj::~SparseImagePaintObj() {
  Resource::unref(companion_);
}

// ---- EnvelopeImagePaintObj.

EnvelopeImagePaintObj::EnvelopeImagePaintObj(const char* name, ImagePaintObj* inner)
    : ImagePaintObj(name, nullptr) {
  SetInner(inner, 0);
}

EnvelopeImagePaintObj::~EnvelopeImagePaintObj() {
  ImagePaintObj* inner = inner_;
  inner_ = nullptr;
  if (inner != nullptr) {
    inner->detach(this);
    inner->unref();
  }
}

ilImage* EnvelopeImagePaintObj::image() const {
  return inner_ != nullptr ? inner_->image() : nullptr;
}

void EnvelopeImagePaintObj::bounds(ilTile& out) const {
  if (inner_ != nullptr) {
    inner_->bounds(out);
  } else {
    out = ilTile();
  }
}

void EnvelopeImagePaintObj::changed(int value) {
  ImagePaintObj::changed(value);
  if (inner_ != nullptr) inner_->changed(value);
}

int EnvelopeImagePaintObj::changed() const {
  return ImagePaintObj::changed() | (inner_ != nullptr ? inner_->changed() : 0);
}

bool EnvelopeImagePaintObj::SetInner(ImagePaintObj* inner, int notify) {
  if (inner == inner_) return true;
  // An envelope inside its own chain would make every query recurse forever.
  for (ImagePaintObj* p = inner; p != nullptr;) {
    if (p == this) return false;
    auto* env = dynamic_cast<EnvelopeImagePaintObj*>(p);
    p = env != nullptr ? env->inner_ : nullptr;
  }
  ilImage* oldImg = inner_ != nullptr ? inner_->image() : nullptr;
  ilImage* newImg = inner != nullptr ? inner->image() : nullptr;
  if (oldImg != nullptr && oldImg != newImg) {
    // Snapshot first: each setInput takes the consumer off oldImg's list.
    std::vector<ilImage*> consumers;
    for (int i = 0; i < oldImg->getNumOutputs(); ++i) {
      auto* img = dynamic_cast<ilImage*>(oldImg->getOutput(i));
      if (img != nullptr && img != newImg) consumers.push_back(img);
    }
    for (ilImage* img : consumers) img->setInput(newImg, 0);
  }
  if (inner != nullptr) {
    inner->ref();
    inner->attach(this);
  }
  ImagePaintObj* old = inner_;
  inner_ = inner;
  if (old != nullptr) {
    old->detach(this);
    old->unref();
  }
  if (notify != 0) this->notify();
  return true;
}

void EnvelopeImagePaintObj::update(Observable* from) {
  if (from == inner_) notify();
}

void EnvelopeImagePaintObj::disconnect(Observable* dying) {
  // Only reached if the inner object is destroyed while referenced here,
  // which its owner must not do; forget it rather than keep a dead pointer.
  if (dying == inner_) inner_ = nullptr;
}

// ---- SubImagePaintObj.

SubImagePaintObj::SubImagePaintObj(const char* name, ImagePaintObj* source, int x, int y, int nx,
                                   int ny)
    : ImagePaintObj(name, nullptr) {
  SetWindow(source, x, y, nx, ny);
}

SubImagePaintObj::SubImagePaintObj(const char* name, ImagePaintObj* source, int x, int y, int z,
                                   int nx, int ny, int channels)
    : ImagePaintObj(name, nullptr) {
  SetWindow(source, x, y, z, nx, ny, channels);
}

SubImagePaintObj::SubImagePaintObj(const char* name, ImagePaintObj* source)
    : ImagePaintObj(name, nullptr) {
  ilImage* img = source != nullptr ? source->image() : nullptr;
  SetFullView(source, 0, img != nullptr ? img->getCsize() : 0);
}

SubImagePaintObj::SubImagePaintObj(const char* name, ImagePaintObj* source, int z, int channels)
    : ImagePaintObj(name, nullptr) {
  SetFullView(source, z, channels);
}

SubImagePaintObj::~SubImagePaintObj() {
  ImagePaintObj* source = source_;
  source_ = nullptr;
  Resource::unref(source);
}

void SubImagePaintObj::SetWindow(ImagePaintObj* source, int x, int y, int /*z*/, int nx, int ny,
                                 int channels) {
  if (source == nullptr || source == this) return;
  ilImage* src = source->image();
  if (src == nullptr) return;
  nx = std::max(nx, 0);
  ny = std::max(ny, 0);
  source->ref();
  const ilConfig cfg(src->getDataType(), src->getOrder(), channels);
  bool created = false;
  if (sub_ == nullptr) {
    sub_ = new ilQVSubImg(src, x, y, 0, ilSize(nx, ny, 1, channels), &cfg);
    created = true;
  } else {
    sub_->setInput(src, 0);
    sub_->setOrigin(x, y, 0);
    sub_->setViewSize(nx, ny);
    sub_->setChannelConfig(&cfg);
  }
  ImagePaintObj* old = source_;
  source_ = source;
  if (created) {
    set_image(sub_);  // references the sub-image and notifies
  } else {
    notify();
  }
  Resource::unref(old);
}

void SubImagePaintObj::SetWindow(ImagePaintObj* source, int x, int y, int nx, int ny) {
  ilImage* src = source != nullptr ? source->image() : nullptr;
  if (src == nullptr) return;
  SetWindow(source, x, y, 0, nx, ny, src->getCsize());
}

void SubImagePaintObj::SetFullView(ImagePaintObj* source, int z, int channels) {
  ilImage* src = source != nullptr ? source->image() : nullptr;
  if (src == nullptr) return;
  SetWindow(source, 0, 0, z, src->getXsize(), src->getYsize(), channels);
}

void SubImagePaintObj::Move(int x, int y, int nx, int ny) {
  if (sub_ == nullptr) return;
  sub_->setOrigin(x, y, 0);
  sub_->setViewSize(std::max(nx, 0), std::max(ny, 0));
  notify();
}

void SubImagePaintObj::image_modified(int notify) {
  ImagePaintObj::image_modified(notify);
  if (sub_ != nullptr) sub_->setAltered(ilDataAltered);
}
