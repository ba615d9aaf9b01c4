// Fixtures of the paint manager tests: the undo switch set for one scope,
// and a canvas of one layer with a straight-stroke brush.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "layers/engine_fixture.h"
#include "manager/paint_state.h"
#include "manager/undo_switch.h"

namespace brenmark::testing {

// Sets SID_UNDO_DISABLE (or removes it) and makes the switch read it again;
// puts the previous state back at the end of the scope.
class UndoSwitchScope {
 public:
  explicit UndoSwitchScope(const char* value) {
    if (const char* old = std::getenv("SID_UNDO_DISABLE")) saved_ = old;
    Set(value);
  }
  ~UndoSwitchScope() { Set(saved_ ? saved_->c_str() : nullptr); }

 private:
  static void Set(const char* value) {
    if (value)
      setenv("SID_UNDO_DISABLE", value, 1);
    else
      unsetenv("SID_UNDO_DISABLE");
    RereadUndoSwitch();
  }
  std::optional<std::string> saved_;
};

// A canvas with one image layer, undo on, strokes without smoothing and an
// opaque red brush of radius 4, painting from the library's starting state
// (so pixels are exact whatever strokes the process painted before).
class StrokeTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    PaintUndoList.FlushUndoList(nullptr);
    PntNewLayer(NewStack(), false);
    StrokeParameters straight;
    straight.interpolation = 0;
    Brenmark.SetStrokeParameters(straight);
    Brush(PaintColor(1.0f, 0.0f, 0.0f, 1.0f), 4.0f, 1.0f);
    ResetPaintState();
  }
  void TearDown() override {
    if (Brenmark.InBrushStroke()) Brenmark.EndBrushStroke();
    Brenmark.SetBlurBrush(false);
    EngineTest::TearDown();
    PaintUndoList.FlushUndoList(nullptr);
  }
  static void Brush(PaintColor c, float radius, float opacity, bool smear = false) {
    BrushParameters b;
    b.color = c;
    b.radius1 = b.radius2 = radius;
    b.opacity1 = b.opacity2 = opacity;
    b.smear = smear;
    Brenmark.SetBrushParameters(b, true);
  }
  // A stroke along row y from x0 to x1 at full pressure; left running when
  // `end` is false.
  static void Line(float x0, float y, float x1, bool end = true) {
    Brenmark.BeginBrushStroke();
    Brenmark.AddStrokePoint(x0, y, 4.0f, 1.0f, 1.0f, 0.0f, false, false);
    Brenmark.AddStrokePoint(x1, y, 4.0f, 1.0f, 1.0f, 0.0f, false, false);
    if (end) Brenmark.EndBrushStroke();
  }
  // Memory bytes R, G, B, A of a pixel of `layer` (the current one when null).
  std::uint32_t Pixel(int x, int y, Layer* layer = nullptr) {
    std::uint32_t v = 0;
    (layer ? layer : Stack()->GetCurrentLayerPtr())->GetImage()->getTile(x, y, 1, 1, &v);
    return v;
  }

  UndoSwitchScope undoOn_{"0"};
};

}  // namespace brenmark::testing
