// Reference counting, inputs and the altered-bits protocol of images.
#include <brenmark/il.h>

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace {

// Counts resets and reports its destruction.
class ProbeImage : public ilImage {
 public:
  explicit ProbeImage(bool* destroyed = nullptr) : destroyed_(destroyed) {}
  ~ProbeImage() override {
    if (destroyed_ != nullptr) *destroyed_ = true;
  }
  void reset() override {
    ++resets;
    ilImage::reset();
  }
  int resets = 0;

 private:
  bool* destroyed_;
};

TEST(IlRefCountTest, LastUnrefDestroysAndSoDoesUnrefOfAnUnreferencedImage) {
  bool destroyed = false;
  auto* img = new ProbeImage(&destroyed);
  EXPECT_EQ(img->getRefCount(), 0);
  const int one = img->ref(), two = img->ref();
  EXPECT_EQ((std::array{one, two, img->unref()}), (std::array{1, 2, 1}));
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(img->unref(), 0);
  EXPECT_TRUE(destroyed);
  destroyed = false;
  (new ProbeImage(&destroyed))->unref();
  EXPECT_TRUE(destroyed);
}

TEST(IlInputTest, OneInputIsSetReadAndRemovedAndCyclesAreRefused) {
  ilMemoryImg seed(ilSize(1, 1, 1), ilUChar);
  ilMemoryImg img(ilSize(1, 1, 1), ilUChar);
  EXPECT_EQ((std::tuple{img.setInput(&seed), img.getNumInputs()}), (std::tuple{ilOkay, 1}));
  EXPECT_EQ((std::array<ilImage*, 2>{img.getInput(), img.GetSeedImage()}),
            (std::array<ilImage*, 2>{&seed, &seed}));
  EXPECT_EQ(img.setInput(&seed, 1), ilInvalid);
  EXPECT_EQ(img.getInput(1), nullptr);
  img.setInput(nullptr);
  EXPECT_EQ(img.getNumInputs(), 0);
  // Cycles are refused.
  EXPECT_EQ(img.setInput(&img), ilInvalid);
  ASSERT_EQ(seed.setInput(&img), ilOkay);
  EXPECT_EQ((std::tuple{img.setInput(&seed), img.getNumInputs()}), (std::tuple{ilInvalid, 0}));
  seed.setInput(nullptr);
}

TEST(IlInputTest, DestroyedInputIsDroppedByItsDependent) {
  auto* seed = new ilMemoryImg(ilSize(1, 1, 1), ilUChar);
  seed->ref();
  ilMemoryImg img(ilSize(1, 1, 1), ilUChar);
  img.setInput(seed);
  seed->unref();
  EXPECT_EQ(img.getNumInputs(), 0);
  EXPECT_EQ(img.getInput(), nullptr);
  EXPECT_EQ(img.getXsize(), 1);  // resetCheck must not touch the dead input
}

TEST(IlAlteredTest, ResetRunsOnceAfterChangesWhenQueriedAlsoForAnInputsChange) {
  ProbeImage img;
  img.resetCheck();
  const int before = img.resets;
  img.setSize(ilSize(4, 4, 1));
  img.setColorModel(ilABGR);
  EXPECT_EQ(img.getAltered() & (ilSizeAltered | ilColorModelAltered),
            ilSizeAltered | ilColorModelAltered);
  EXPECT_EQ(img.resets, before);  // nothing yet
  EXPECT_EQ((std::tuple{img.getXsize(), img.resets}), (std::tuple{4, before + 1}));
  EXPECT_EQ(img.getAltered(), 0u);
  img.getYsize();
  EXPECT_EQ(img.resets, before + 1);
  // Changes of an input reach its dependents.
  ProbeImage seed;
  img.setInput(&seed);
  img.resetCheck();
  seed.setFill(ilPixel(ilUChar, 1));
  EXPECT_NE(img.getAltered() & ilFillAltered, 0u);
  img.getXsize();
  EXPECT_EQ(img.resets, before + 3);
  img.setInput(nullptr);
}

TEST(IlClassTest, NamesIdsAndDerivation) {
  ilMemoryImg mem;
  ilConstImg con;
  EXPECT_STREQ(mem.getClassName(), "ilMemoryImg");
  EXPECT_STREQ(mem.getClassName(1), "ilSIDImage");
  EXPECT_STREQ(mem.getClassName(3), "ilLink");
  EXPECT_EQ(mem.getClassName(4), nullptr);
  EXPECT_EQ((std::array{mem.derivesFrom(ilSIDImageClassId), mem.derivesFrom(ilLinkClassId),
                        con.derivesFrom(ilSIDImageClassId)}),
            (std::array{true, true, false}));
  EXPECT_EQ((std::array<ilSIDImage*, 3>{ilSIDImage::asSidImage(&mem), ilSIDImage::asSidImage(&con),
                                        ilSIDImage::asSidImage(nullptr)}),
            (std::array<ilSIDImage*, 3>{&mem, nullptr, nullptr}));
}

TEST(IlFillTest, FillFollowsTheImageLayout) {
  ilMemoryImg img(ilSize(1, 1, 4), ilUChar);
  EXPECT_EQ(img.getFill(), ilPixel(ilUChar, 4));  // zero by default
  ilPixel grey(ilDouble, 1);
  grey.setElem(12.5, 0);
  img.setFill(grey);
  const std::uint8_t expect[4] = {0, 0, 0, 12};
  EXPECT_EQ(img.getFill(), ilPixel(ilUChar, 4, expect));
  ilPixel holder;  // ilAnyType: takes the fill as it is
  img.getFill(holder);
  EXPECT_EQ(holder, img.getFill());
}

}  // namespace
