// The mask-active switch reaches the layer through the facade; inverting
// the current mask is checked by the undo tests (the command and its exact
// undo) and the layer mask tests (the values).
#include "layers/engine_fixture.h"

namespace {

using brenmark::testing::EngineTest;

using MaskCommands = EngineTest;

TEST_F(MaskCommands, MaskActiveFlagGoesThroughTheFacade) {
  const int h = NewStack();
  PntNewLayer(h, false);
  PntNewLayer(h, true);
  EXPECT_TRUE(Brenmark.isMaskActive(2, h));
  Brenmark.SetMaskActive(false, 2, h);
  EXPECT_FALSE(Brenmark.isMaskActive(2, h));
  EXPECT_FALSE(Brenmark.isMaskActive(7, h));    // no such layer
  EXPECT_FALSE(Brenmark.isMaskActive(2, 300));  // no such stack
}

}  // namespace
