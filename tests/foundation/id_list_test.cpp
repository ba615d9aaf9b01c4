// Kind-identifier lists and the type tests built on them.
#include "brenmark/id_list.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

// A three-level chain shaped like the shape parameter classes.
class ShapeParms : public IdList {
 public:
  ShapeParms() : ShapeParms("ShapeParms") {}
  explicit ShapeParms(const char* name) : IdList(name) { SetID("ShapeParms"); }
  virtual ~ShapeParms() = default;
  BRENMARK_ID_LIST_RESOLVERS(ShapeParms, ShapeParms, "ShapeParms")
};

class ShapeImageParms : public ShapeParms {
 public:
  explicit ShapeImageParms(const char* name = "ShapeImageParms") : ShapeParms(name) {
    SetID("ShapeImageParms");
  }
  BRENMARK_ID_LIST_RESOLVERS(ShapeImageParms, ShapeParms, "ShapeImageParms")
};

class ShapeMaskParms : public ShapeImageParms {
 public:
  explicit ShapeMaskParms(const char* name = "ShapeMaskParms") : ShapeImageParms(name) {
    SetID("ShapeMaskParms");
  }
  BRENMARK_ID_LIST_RESOLVERS(ShapeMaskParms, ShapeParms, "ShapeMaskParms")
};

std::vector<std::string> Listed(const IdList& ids) {
  std::vector<std::string> out;
  for (const IdList::Entry* e = ids.GetIDList(); e; e = e->next) out.push_back(e->id);
  return out;
}

}  // namespace

TEST(IdList, ListsEveryClassOfTheChainInConstructionOrder) {
  ShapeMaskParms mask;
  EXPECT_STREQ(mask.GetCurrID(), "ShapeMaskParms");
  EXPECT_EQ(Listed(mask),
            (std::vector<std::string>{"ShapeParms", "ShapeImageParms", "ShapeMaskParms"}));
  EXPECT_EQ((std::array{mask.CheckID("ShapeParms"), mask.CheckID("ShapeImageParms"),
                        mask.CheckID("ShapeMask"), mask.CheckID(nullptr)}),
            (std::array{true, true, false, false}));
}

TEST(IdList, ResolvePtrTestsTheChainAndByCurrIDTheExactType) {
  ShapeMaskParms mask;
  ShapeImageParms image;
  ShapeParms *as_mask = &mask, *as_image = &image, *none = nullptr;
  const ShapeParms* constant = &mask;
  using Ptrs = std::vector<const void*>;
  EXPECT_EQ((Ptrs{ShapeImageParms::ResolvePtr(as_mask), ShapeMaskParms::ResolvePtr(as_mask),
                  ShapeParms::ResolvePtr(as_mask), ShapeMaskParms::ResolvePtr(as_image),
                  ShapeImageParms::ResolvePtr(none), ShapeImageParms::ResolvePtr(constant)}),
            (Ptrs{&mask, &mask, &mask, nullptr, nullptr, &mask}));
  // By the current identifier only the exact type resolves.
  EXPECT_EQ(
      (Ptrs{ShapeMaskParms::ResolvePtrByCurrID(as_mask),
            ShapeImageParms::ResolvePtrByCurrID(as_mask), ShapeParms::ResolvePtrByCurrID(none)}),
      (Ptrs{&mask, nullptr, nullptr}));
  // The current identifier is what construction was given, not the chain.
  ShapeImageParms renamed("Custom");
  EXPECT_EQ(
      (Ptrs{ShapeImageParms::ResolvePtrByCurrID(&renamed), ShapeImageParms::ResolvePtr(&renamed)}),
      (Ptrs{nullptr, &renamed}));
}

TEST(IdList, EmptyListChecksNothingLongIdentifiersAreCut) {
  IdList ids_empty("Lonely");
  EXPECT_EQ(ids_empty.GetIDList(), nullptr);
  EXPECT_FALSE(ids_empty.CheckID("Lonely") || ids_empty.CheckID(""));
  IdList unnamed(nullptr);
  EXPECT_STREQ(unnamed.GetCurrID(), "");
  const std::string long_name(300, 'x');
  IdList ids(long_name.c_str());
  ids.SetID(long_name.c_str());
  EXPECT_EQ(std::string(ids.GetCurrID()), std::string(127, 'x'));
  EXPECT_TRUE(ids.CheckID(std::string(127, 'x').c_str()) && !ids.CheckID(long_name.c_str()));
}

TEST(IdList, CopyOwnsItsListAssignmentCopiesOnlyTheCurrentIdentifier) {
  auto* original = new ShapeMaskParms;
  ShapeMaskParms copy(*original);
  delete original;  // the copy's list must not depend on the original's
  EXPECT_TRUE(copy.CheckID("ShapeImageParms") && copy.GetCurrID() == std::string("ShapeMaskParms"));

  IdList target("Target");
  target.SetID("TargetKind");
  IdList source("Source");
  source.SetID("SourceKind");
  target = source;
  EXPECT_STREQ(target.GetCurrID(), "Source");
  EXPECT_TRUE(target.CheckID("TargetKind") && !target.CheckID("SourceKind"));
}
