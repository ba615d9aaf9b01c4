// The layer a command's <layer> argument names, shared by the layer commands.
#pragma once

#include <string>

#include "session.h"

namespace brenmark::tool {

// How far from the canvas a position, a layer offset or a rectangle may be
// given.
inline constexpr int kMaxCoordinate = 1000000;

// "layer N", as messages name layers.
inline std::string LayerWord(int index) {
  return "layer " + std::to_string(index);
}

// Canvas and layer of a command's <layer> argument.
struct Target {
  int h = -1;
  int index = 0;
};

// Resolves the current canvas and the <layer> argument; an empty string on
// success, else the problem to report.
inline std::string ResolveTarget(Session& s, const Arguments& a, Target& t) {
  if (std::string problem = s.CurrentCanvas(t.h); !problem.empty()) return problem;
  return s.ResolveLayer(a.Layer("layer"), t.h, t.index);
}

}  // namespace brenmark::tool
