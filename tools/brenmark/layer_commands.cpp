// Script commands on the layers of the current canvas: add, name, select,
// reorder, duplicate, merge, delete, opacity and visibility.
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/paint_manager.h>

#include "layer_target.h"
#include "session.h"

namespace brenmark::tool {

namespace {

void* const kNoLayer = reinterpret_cast<void*>(-1);

ParamSpec NameParam(std::string fallback = "") {
  return TextParam("name", Layer::kNameCapacity - 1, std::move(fallback));
}

std::string AddLayerOfKind(Session& s, const Arguments& a, bool mask, bool shape) {
  int h = -1;
  if (std::string problem = s.CurrentCanvas(h); !problem.empty()) return problem;
  const bool named = a.Has("name");
  if (named) {
    if (std::string problem = s.CheckNameFree(a.Text("name"), h, 0); !problem.empty()) {
      return problem;
    }
  }
  int index = -1;
  if (shape) {
    index = Brenmark.CreateShapeLayer(h, mask);
  } else {
    int owner = -1;
    void* handle = PntNewLayer(h, mask);
    if (handle != kNoLayer) Brenmark.GetLayerFromHandle(handle, index, owner);
  }
  if (index < 1) return "the engine did not add a layer";
  if (named) Brenmark.SetLayerName(a.Text("name").c_str(), index, h);
  return "";
}

// Moves the layer at `from` into the place of the layer at `to`. An image
// layer moves with its masks and only between whole image layers (below
// `to` going down, above `to` and its masks going up), so that it never
// comes between another layer and its masks; the place of a mask is that of
// its image layer. A mask moves alone and may go anywhere but the bottom.
std::string MoveLayer(Session& s, int h, int from, int to) {
  if (from == to) return "";
  const int count = Brenmark.GetLayerCount(h);
  int engineIndex = 0;  // the layer that ends up directly above the moved ones
  if (s.IsMask(from, h)) {
    if (to == 1) return "a mask cannot be the bottom layer";
    engineIndex = to < from ? to : to + 1;
  } else {
    const int group = s.GroupSize(from, h);
    if (to > from && to < from + group) {
      return LayerWord(to) + " is a mask of " + LayerWord(from) + ", which it moves with";
    }
    // A mask's place, for an image layer, is the place of the layer the
    // mask belongs to (a mask with none below it stays where it is).
    int owner = to;
    while (owner > 1 && s.IsMask(owner, h)) --owner;
    if (!s.IsMask(owner, h)) to = owner;
    if (to == from) return "";
    engineIndex = to < from ? to : to + s.GroupSize(to, h);
  }
  s.MakeCurrent(from, h);
  Brenmark.MoveCurrentLayer(engineIndex > count ? count + 1 : engineIndex);
  return "";
}

std::string RaiseOrLower(Session& s, const Arguments& a, bool up) {
  Target t;
  if (std::string problem = ResolveTarget(s, a, t); !problem.empty()) return problem;
  const int count = Brenmark.GetLayerCount(t.h);
  if (s.IsMask(t.index, t.h)) {
    const int neighbour = up ? t.index + 1 : t.index - 1;
    if (neighbour < 1 || neighbour > count || !s.IsMask(neighbour, t.h)) {
      return LayerWord(t.index) + " is already the " + (up ? "top" : "lowest") +
             " mask of its layer";
    }
    return MoveLayer(s, t.h, t.index, neighbour);
  }
  if (up) {
    const int above = t.index + s.GroupSize(t.index, t.h);
    if (above > count) return LayerWord(t.index) + " is already at the top";
    return MoveLayer(s, t.h, t.index, above);
  }
  if (t.index == 1) return LayerWord(t.index) + " is already at the bottom";
  int below = t.index - 1;
  while (below > 1 && s.IsMask(below, t.h)) --below;
  return MoveLayer(s, t.h, t.index, below);
}

std::string MergeDown(Session& s, const Arguments& a) {
  Target t;
  if (std::string problem = ResolveTarget(s, a, t); !problem.empty()) return problem;
  int lower = t.index - 1;
  if (s.IsMask(t.index, t.h)) {
    if (lower < 1 || !s.IsMask(lower, t.h)) {
      return LayerWord(t.index) +
             " is the lowest mask of its layer; a mask merges into the mask below it";
    }
  } else {
    while (lower >= 1 && s.IsMask(lower, t.h)) --lower;
    if (lower < 1) return LayerWord(t.index) + " has no image layer below it to merge with";
  }
  if (s.IsShape(t.index, t.h) || s.IsShape(lower, t.h)) return "shape layers cannot be merged";
  PntMergeLayerWithBelow(Brenmark.GetLayerHandle(t.index, t.h));
  return "";
}

std::string MergeMany(Session& s, bool visibleOnly) {
  int h = -1;
  if (std::string problem = s.CurrentCanvas(h); !problem.empty()) return problem;
  if (Brenmark.GetLayerCount(h) < 1) return "canvas " + std::to_string(h) + " has no layers";
  if (visibleOnly) {
    PntMergeVisibleLayer(h);
  } else {
    PntMergeAllLayers(h);
  }
  return "";
}

Handler Bound(Session& s, std::string (*fn)(Session&, const Arguments&)) {
  return [&s, fn](const Arguments& a) { return fn(s, a); };
}

}  // namespace

void RegisterLayerCommands(CommandRegistry& registry, Session& session) {
  const std::string group = "Layers of the current canvas";

  registry.Add({
      .name = "add-layer",
      .group = group,
      .params = {NameParam("-")},
      .summary = "Adds an image layer above the current layer (above its masks, if it has any) "
                 "and makes it current. Without a name the engine names it Layer-<n>.",
      .example = "add-layer \"Blue sky\"",
      .handler =
          Bound(session,
                [](Session& s, const Arguments& a) { return AddLayerOfKind(s, a, false, false); }),
  });
  registry.Add({
      .name = "add-mask",
      .group = group,
      .params = {NameParam("-")},
      .summary = "Adds a mask layer above the current layer and makes it current; it belongs to "
                 "the nearest image layer below it. Without a name the engine names it Mask-<n>.",
      .example = "add-mask",
      .handler =
          Bound(session,
                [](Session& s, const Arguments& a) { return AddLayerOfKind(s, a, true, false); }),
  });
  registry.Add({
      .name = "add-shape-layer",
      .group = group,
      .params = {NameParam("-"), ChoiceParam("kind", {"image", "mask"}, "image")},
      .summary = "Adds an empty shape (geometry) layer above the current layer and makes it "
                 "current; a mask shape layer masks the image layer below it with the "
                 "luminance of its shapes.",
      .example = "add-shape-layer Outlines",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) {
                         return AddLayerOfKind(s, a, a.Choice("kind") == 1, true);
                       }),
  });
  registry.Add({
      .name = "rename",
      .group = group,
      .params = {LayerParam("layer"), NameParam()},
      .summary = "Renames a layer. Names are at most 127 bytes and unique within a canvas.",
      .example = "rename 2 \"Blue sky\"",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         const std::string& name = a.Text("name");
                         if (std::string p = s.CheckNameFree(name, t.h, t.index); !p.empty()) {
                           return p;
                         }
                         Brenmark.SetLayerName(name.c_str(), t.index, t.h);
                         return "";
                       }),
  });
  registry.Add({
      .name = "select-layer",
      .group = group,
      .params = {LayerParam("layer")},
      .summary = "Makes a layer the current layer.",
      .example = "select-layer Background",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         Brenmark.SetCurrentLayer(t.index, t.h);
                         return "";
                       }),
  });
  registry.Add({
      .name = "select-above",
      .group = group,
      .params = {},
      .summary = "Makes the layer above the current one current.",
      .example = "select-above",
      .handler = Bound(session,
                       [](Session& s, const Arguments&) -> std::string {
                         Target t;
                         if (std::string p = s.CurrentCanvas(t.h); !p.empty()) return p;
                         if (std::string p = s.ResolveLayer({}, t.h, t.index); !p.empty()) return p;
                         if (t.index >= Brenmark.GetLayerCount(t.h)) {
                           return LayerWord(t.index) + " is the top layer";
                         }
                         PntUpLayer();
                         return "";
                       }),
  });
  registry.Add({
      .name = "select-below",
      .group = group,
      .params = {},
      .summary = "Makes the layer below the current one current.",
      .example = "select-below",
      .handler = Bound(session,
                       [](Session& s, const Arguments&) -> std::string {
                         Target t;
                         if (std::string p = s.CurrentCanvas(t.h); !p.empty()) return p;
                         if (std::string p = s.ResolveLayer({}, t.h, t.index); !p.empty()) return p;
                         if (t.index <= 1) return LayerWord(t.index) + " is the bottom layer";
                         PntDownLayer();
                         return "";
                       }),
  });
  registry.Add({
      .name = "move-layer",
      .group = group,
      .params = {LayerParam("layer"), LayerParam("to")},
      .summary = "Moves a layer into the place of layer <to> and makes it current. An image layer "
                 "takes its masks along and moves past whole image layers with their masks (to a "
                 "mask means to its image layer); a mask moves alone, and never to the bottom.",
      .example = "move-layer Sky top",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         int to = 0;
                         if (std::string p = s.ResolveLayer(a.Layer("to"), t.h, to); !p.empty()) {
                           return p;
                         }
                         return MoveLayer(s, t.h, t.index, to);
                       }),
  });
  registry.Add({
      .name = "raise-layer",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Moves a layer one place up and makes it current: an image layer (with its "
                 "masks) above the next image layer and its masks, a mask above the next mask of "
                 "its layer.",
      .example = "raise-layer 1",
      .handler =
          Bound(session, [](Session& s, const Arguments& a) { return RaiseOrLower(s, a, true); }),
  });
  registry.Add({
      .name = "lower-layer",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Moves a layer one place down and makes it current (the reverse of "
                 "raise-layer).",
      .example = "lower-layer Sky",
      .handler =
          Bound(session, [](Session& s, const Arguments& a) { return RaiseOrLower(s, a, false); }),
  });
  registry.Add({
      .name = "duplicate-layer",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Copies a layer directly above itself and makes the copy current; the copy of "
                 "Sky is named Sky-1 (then Sky-2, ...).",
      .example = "duplicate-layer Sky",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         s.MakeCurrent(t.index, t.h);
                         PntDuplicateCurrentLayer(t.h);
                         return "";
                       }),
  });
  registry.Add({
      .name = "merge-down",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Merges a layer into the layer below it, which becomes current: an image layer "
                 "into the next image layer down (its own masks are dropped), a mask into the "
                 "mask below it.",
      .example = "merge-down Clouds",
      .handler = Bound(session, MergeDown),
  });
  registry.Add({
      .name = "merge-visible",
      .group = group,
      .params = {},
      .summary = "Merges every active image layer into the lowest active one; hidden layers and "
                 "masks stay.",
      .example = "merge-visible",
      .handler = Bound(session, [](Session& s, const Arguments&) { return MergeMany(s, true); }),
  });
  registry.Add({
      .name = "merge-all",
      .group = group,
      .params = {},
      .summary = "Merges all layers into the bottom layer; masks are dropped.",
      .example = "merge-all",
      .handler = Bound(session, [](Session& s, const Arguments&) { return MergeMany(s, false); }),
  });
  registry.Add({
      .name = "delete-layer",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Deletes a layer (an image layer together with its masks); the layer below "
                 "becomes current. The last layer of a canvas is emptied instead.",
      .example = "delete-layer 3",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         s.MakeCurrent(t.index, t.h);
                         PntDeleteCurrentLayer(t.h);
                         return "";
                       }),
  });
  registry.Add({
      .name = "opacity",
      .group = group,
      .params = {LayerParam("layer"), NumberParam("value", 0, 1)},
      .summary = "Sets a layer's opacity, from 0 (transparent) to 1 (opaque).",
      .example = "opacity Sky 0.5",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         Brenmark.SetLayerOpacity(t.index, static_cast<float>(a.Number("value")),
                                                  t.h);
                         return "";
                       }),
  });
  registry.Add({
      .name = "show-layer",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Makes a layer active: visible and part of the composite.",
      .example = "show-layer Sky",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         Brenmark.SetLayerActive(t.index, true, t.h);
                         return "";
                       }),
  });
  registry.Add({
      .name = "hide-layer",
      .group = group,
      .params = {LayerParam("layer", "current")},
      .summary = "Makes a layer inactive: hidden and left out of the composite.",
      .example = "hide-layer 2",
      .handler = Bound(session,
                       [](Session& s, const Arguments& a) -> std::string {
                         Target t;
                         if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
                         Brenmark.SetLayerActive(t.index, false, t.h);
                         return "";
                       }),
  });
}

}  // namespace brenmark::tool
