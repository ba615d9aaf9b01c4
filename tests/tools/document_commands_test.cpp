// save and open: a canvas saved as an OpenRaster document comes back as a
// new canvas that shows the same picture; a document that cannot be read
// changes nothing.
#include "tool_fixture.h"

#if BRENMARK_HAVE_OPENRASTER
namespace brenmark::tool::test {
namespace {

// 130 x 129: one column and one row past the first page.
TEST_F(ToolTest, SavedCanvasOpensAsTheSamePicture) {
  Run("canvas 130 129\nbackground #F4EBD9\nadd-layer Paper\nfill Paper 0 0 130 129 #20406080\n"
      "add-layer Ink\nfill Ink 120 120 10 9 #30609080\nadd-mask\nfill current 0 0 4 4 #FFFFFF\n"
      "offset Ink 3 -2\nselect-rect 100 100 30 29\nsave " +
      F("a.ora") + "\nopen " + F("a.ora") + "\nexport-canvas " + F("opened.png") +
      "\nuse-canvas 0\nexport-canvas " + F("saved.png") + "\n");
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 2);
  EXPECT_EQ(FileBytes(Path("opened.png")), FileBytes(Path("saved.png")));
  EXPECT_EQ(warnings.str(), "");
  const std::string missing = Path("missing.ora");
  EXPECT_EQ(Refused("open " + F("missing.ora")),
            "open: cannot open '" + missing + "': No such file or directory");
  EXPECT_EQ(Brenmark.GetLayerStackCount(), 2);
}

}  // namespace
}  // namespace brenmark::tool::test
#endif
