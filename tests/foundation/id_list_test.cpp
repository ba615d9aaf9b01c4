// Kind-identifier lists and the type tests built on them.
#include "brenmark/id_list.h"

#include <gtest/gtest.h>

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
  EXPECT_TRUE(mask.CheckID("ShapeParms"));
  EXPECT_TRUE(mask.CheckID("ShapeImageParms"));
  EXPECT_FALSE(mask.CheckID("ShapeMask"));
  EXPECT_FALSE(mask.CheckID(nullptr));
}

TEST(IdList, ResolvePtrTestsTheChainAndByCurrIDTheExactType) {
  ShapeMaskParms mask;
  ShapeImageParms image;
  ShapeParms* as_mask = &mask;
  ShapeParms* as_image = &image;
  EXPECT_EQ(ShapeImageParms::ResolvePtr(as_mask), &mask);
  EXPECT_EQ(ShapeMaskParms::ResolvePtr(as_mask), &mask);
  EXPECT_EQ(ShapeParms::ResolvePtr(as_mask), as_mask);
  EXPECT_EQ(ShapeMaskParms::ResolvePtr(as_image), nullptr);
  EXPECT_EQ(ShapeImageParms::ResolvePtr(static_cast<ShapeParms*>(nullptr)), nullptr);
  const ShapeParms* constant = &mask;
  EXPECT_EQ(ShapeImageParms::ResolvePtr(constant), &mask);
  // By the current identifier only the exact type resolves.
  ShapeParms* p = &mask;
  EXPECT_EQ(ShapeMaskParms::ResolvePtrByCurrID(p), &mask);
  EXPECT_EQ(ShapeImageParms::ResolvePtrByCurrID(p), nullptr);
  EXPECT_EQ(ShapeParms::ResolvePtrByCurrID(static_cast<ShapeParms*>(nullptr)), nullptr);
  // The current identifier is what construction was given, not the chain.
  ShapeImageParms renamed("Custom");
  EXPECT_EQ(ShapeImageParms::ResolvePtrByCurrID(&renamed), nullptr);
  EXPECT_EQ(ShapeImageParms::ResolvePtr(&renamed), &renamed);
}

TEST(IdList, EmptyListChecksNothingLongIdentifiersAreCut) {
  IdList ids_empty("Lonely");
  EXPECT_EQ(ids_empty.GetIDList(), nullptr);
  EXPECT_FALSE(ids_empty.CheckID("Lonely"));
  EXPECT_FALSE(ids_empty.CheckID(""));
  IdList unnamed(nullptr);
  EXPECT_STREQ(unnamed.GetCurrID(), "");
  const std::string long_name(300, 'x');
  IdList ids(long_name.c_str());
  ids.SetID(long_name.c_str());
  EXPECT_EQ(std::string(ids.GetCurrID()), std::string(127, 'x'));
  EXPECT_TRUE(ids.CheckID(std::string(127, 'x').c_str()));
  EXPECT_FALSE(ids.CheckID(long_name.c_str()));
}

TEST(IdList, CopyOwnsItsListAssignmentCopiesOnlyTheCurrentIdentifier) {
  auto* original = new ShapeMaskParms;
  ShapeMaskParms copy(*original);
  delete original;  // the copy's list must not depend on the original's
  EXPECT_STREQ(copy.GetCurrID(), "ShapeMaskParms");
  EXPECT_TRUE(copy.CheckID("ShapeImageParms"));

  IdList target("Target");
  target.SetID("TargetKind");
  IdList source("Source");
  source.SetID("SourceKind");
  target = source;
  EXPECT_STREQ(target.GetCurrID(), "Source");
  EXPECT_TRUE(target.CheckID("TargetKind"));
  EXPECT_FALSE(target.CheckID("SourceKind"));
}
