// Paint objects: image ownership, bounds, change notices, the envelope's
// inner swap and the sub-image window.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include <brenmark/il.h>
#include <brenmark/image_paint_obj.h>
#include <brenmark/qv_sub_img.h>

#include "brush/brush_fixture.h"

namespace {

using brush_test::Px;

class Counter : public Observer {
 public:
  void update(Observable*) override { ++updates; }
  int updates = 0;
};

// A referenced 4-channel image whose pixel (x, y) has the bytes (x, y, x + y,
// 255 - x) in memory; the last byte is channel 0.
ilMemoryImg* Ramp(int w, int h) {
  auto* img = new ilMemoryImg(ilSize(w, h, 1, 4), ilUChar);
  auto* p = static_cast<std::uint8_t*>(img->getDataPtr());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, p += 4) {
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(x + y);
      p[3] = static_cast<std::uint8_t>(255 - x);
    }
  img->ref();
  return img;
}

// The bounds the object reports.
ilTile Bounds(ImagePaintObj& obj) {
  ilTile t(9, 9, 9, 9, 9, 9);
  obj.bounds(t);
  return t;
}

// Exposes the protected image setter.
class Settable : public ImagePaintObj {
 public:
  using ImagePaintObj::ImagePaintObj;
  using ImagePaintObj::set_image;
};

TEST(ImagePaintObj, HoldsItsImageReportsBoundsAndNotifies) {
  ilMemoryImg* img = Ramp(64, 32);
  {
    Settable none("none", nullptr);
    EXPECT_EQ(Bounds(none), ilTile());
    auto* obj = new Settable("ramp", img);
    obj->ref();
    EXPECT_EQ(Bounds(*obj), ilTile(0, 0, 0, 64, 32, 1));
    Settable copy(*obj);
    EXPECT_TRUE(copy.image() == img && img->getRefCount() == 3);

    Counter seen;
    obj->attach(&seen);
    obj->set_image(img);  // the same image: no notice
    obj->image_modified(0);
    EXPECT_TRUE(obj->changed() == 1 && seen.updates == 0);
    obj->image_modified(1);
    EXPECT_EQ(seen.updates, 1);
    obj->set_image(nullptr);
    EXPECT_EQ(seen.updates, 2);
    EXPECT_EQ(img->getRefCount(), 2);
    obj->detach(&seen);
    SparseImagePaintObj sparse("sparse", obj);  // starts empty, holds its companion
    EXPECT_EQ(sparse.image(), nullptr);
    obj->unref();
    EXPECT_EQ(obj->RefCount(), 1);
  }
  EXPECT_EQ(img->getRefCount(), 1);  // the sparse object released its companion
  img->unref();
}

TEST(EnvelopeImagePaintObj, PassesInnerNoticesAndCombinesChangedMarks) {
  ilMemoryImg* img = Ramp(64, 32);
  auto* inner = new Settable("inner", img);
  auto* env = new EnvelopeImagePaintObj("env", inner);
  env->ref();
  EXPECT_TRUE(inner->RefCount() == 1 && env->image() == img);
  EXPECT_EQ(Bounds(*env), ilTile(0, 0, 0, 64, 32, 1));

  Counter seen;
  env->attach(&seen);
  inner->image_modified(1);
  inner->image_modified(1);
  EXPECT_EQ(seen.updates, 2);  // once per inner notice

  struct Case {
    int own, inner, combined;
  } cases[] = {{0, 0, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
  for (const Case& c : cases) {
    env->changed(0);
    env->ImagePaintObj::changed(c.own);
    inner->changed(c.inner);
    EXPECT_EQ(env->changed(), c.combined) << c.own << " " << c.inner;
  }
  env->changed(0);
  EXPECT_EQ(inner->changed(), 0);  // set on both

  // The envelope cannot be put inside itself.
  auto* outer = new EnvelopeImagePaintObj("outer", env);
  outer->ref();
  EXPECT_FALSE(env->SetInner(outer, 1));
  EXPECT_FALSE(env->SetInner(env, 1));
  EXPECT_EQ(env->GetInner(), inner);
  EXPECT_EQ(seen.updates, 2);
  outer->unref();

  EXPECT_TRUE(env->SetInner(nullptr, 1));  // releases the inner object
  EXPECT_TRUE(seen.updates == 3 && env->image() == nullptr);
  EXPECT_EQ(img->getRefCount(), 1);
  env->detach(&seen);
  env->unref();
  img->unref();
}

TEST(EnvelopeImagePaintObj, SwappingTheInnerObjectRewiresConsumers) {
  ilMemoryImg* a = Ramp(64, 32);
  ilMemoryImg* b = Ramp(16, 16);
  auto* view = new ilQVSubImg(b, 0, 0, 0);  // reads b; becomes the new inner image
  view->ref();
  auto* reader = new ilQVSubImg(a, 2, 3, 0);  // a consumer of the old inner image
  auto* second = new ilQVSubImg(a, 0, 0, 0);
  auto* env = new EnvelopeImagePaintObj("env", new Settable("a", a));
  env->ref();
  Counter seen;
  env->attach(&seen);

  EXPECT_TRUE(env->SetInner(new Settable("b", b), 0));
  EXPECT_EQ(seen.updates, 0);
  EXPECT_EQ(reader->getInput(), b);
  EXPECT_EQ(second->getInput(), b);
  EXPECT_EQ(a->getNumOutputs(), 0);
  EXPECT_EQ(Px(reader, 0, 0), Px(b, 2, 3));

  // The new inner image itself reads the old one: it keeps its input.
  EXPECT_TRUE(env->SetInner(new Settable("view", view), 1));
  EXPECT_EQ(seen.updates, 1);
  EXPECT_EQ(view->getInput(), b);
  EXPECT_EQ(reader->getInput(), view);

  env->detach(&seen);
  env->unref();
  delete reader;
  delete second;
  view->unref();
  EXPECT_EQ((std::array{a->getRefCount(), b->getRefCount()}), (std::array{1, 1}));
  a->unref();
  b->unref();
}

TEST(SubImagePaintObj, WindowsReadTheSourceAndKeepTheirImageObject) {
  ilMemoryImg* img = Ramp(64, 32);
  auto* src = new Settable("src", img);
  src->ref();
  {
    SubImagePaintObj whole("whole", src), alpha("alpha", src, 0, 1);
    EXPECT_EQ(whole.image()->getSize(), ilSize(64, 32, 1, 4));
    EXPECT_EQ(alpha.image()->getSize(), ilSize(64, 32, 1, 1));
    EXPECT_EQ(Bounds(alpha), ilTile(0, 0, 0, 64, 32, 1));
    EXPECT_EQ(src->RefCount(), 3);
  }
  auto* win = new SubImagePaintObj("win", src, 8, 4, 16, 8);
  win->ref();
  EXPECT_EQ(src->RefCount(), 2);
  ilImage* view = win->image();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->getSize(), ilSize(16, 8, 1, 4));
  EXPECT_EQ(Px(view, 0, 0), Px(img, 8, 4));
  EXPECT_EQ(Px(view, 15, 7), Px(img, 23, 11));

  Counter seen;
  win->attach(&seen);
  view->ref();  // an outside holder of the window's image
  win->Move(40, 20, 24, 12);
  EXPECT_TRUE(win->image() == view && seen.updates == 1);
  EXPECT_EQ(view->getSize(), ilSize(24, 12, 1, 4));
  EXPECT_EQ(Px(view, 23, 11), Px(img, 63, 31));  // the source's last pixel

  // Another source, one channel: same image object, re-pointed.
  ilMemoryImg* other = Ramp(20, 20);
  auto* src2 = new Settable("src2", other);
  win->SetWindow(src2, 5, 6, 0, 10, 10, 1);
  EXPECT_TRUE(win->image() == view && seen.updates == 2);
  EXPECT_EQ(view->getInput(), other);
  EXPECT_EQ(view->getSize(), ilSize(10, 10, 1, 1));
  std::uint8_t one = 0;
  EXPECT_EQ(view->getTile(9, 9, 1, 1, &one), ilOkay);
  EXPECT_EQ(one, 255 - 14);                                    // channel 0 of (14, 15)
  EXPECT_TRUE(src->RefCount() == 1 && src2->RefCount() == 1);  // the first source went

  // A source without image changes nothing.
  Settable empty("empty", nullptr);
  win->SetWindow(&empty, 0, 0, 4, 4);
  EXPECT_EQ(view->getInput(), other);
  view->resetCheck();
  win->image_modified(1);
  EXPECT_NE(view->getAltered() & ilDataAltered, 0u);
  EXPECT_EQ(win->changed(), 1);
  EXPECT_EQ(seen.updates, 3);

  win->detach(&seen);
  win->unref();
  EXPECT_EQ(view->getRefCount(), 1);
  view->unref();
  src->unref();
  EXPECT_EQ((std::array{img->getRefCount(), other->getRefCount()}), (std::array{1, 1}));
  img->unref();
  other->unref();
}

}  // namespace
