// Script commands that move, scale and rotate a layer through the paint
// manager: at once (one final resampling), or as a preview that exports show
// until it is committed or cancelled.
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/layer_stack_transform.h>
#include <brenmark/paint_manager.h>

#include <charconv>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "layer_access.h"
#include "layer_target.h"
#include "session.h"

namespace brenmark::tool {

namespace {

constexpr double kMaxScale = 100;
constexpr double kMaxDegrees = 3600;
// Widest and tallest a transformed layer may become.
constexpr double kMaxTransformedSide = 16384;

// What one transform line asks for.
struct Request {
  int dx = 0, dy = 0;
  double sx = 1, sy = 1, degrees = 0;
  FilterMethod filter = kFilterBilinear;
  bool preview = false;
};

bool ParseNumber(const std::string& word, double& out) {
  const char* end = word.data() + word.size();
  auto [ptr, ec] = std::from_chars(word.data(), end, out);
  return ec == std::errc() && ptr == end && std::isfinite(out);
}

// The steps after <layer>: move dx dy, scale sx [sy], rotate degrees,
// filter name, preview; each at most once, in any order.
std::string ParseSteps(const std::string& text, Request& r) {
  std::istringstream in(text);
  std::vector<std::string> w;
  for (std::string word; in >> word;) w.push_back(word);
  if (w.empty()) return "give at least one of move, scale and rotate";
  std::vector<std::string> seen;
  bool changes = false;
  for (std::size_t i = 0; i < w.size(); ++i) {
    const std::string& step = w[i];
    for (const std::string& s : seen) {
      if (s == step) return "'" + step + "' is given twice";
    }
    seen.push_back(step);
    double a = 0, b = 0;
    if (step == "move") {
      if (i + 2 >= w.size() || !ParseNumber(w[i + 1], a) || !ParseNumber(w[i + 2], b) ||
          a != std::floor(a) || b != std::floor(b) || std::fabs(a) > kMaxCoordinate ||
          std::fabs(b) > kMaxCoordinate) {
        return "move needs <dx> <dy>: whole pixels within " + std::to_string(kMaxCoordinate);
      }
      r.dx = static_cast<int>(a);
      r.dy = static_cast<int>(b);
      i += 2;
      changes = true;
    } else if (step == "scale") {
      if (i + 1 >= w.size() || !ParseNumber(w[i + 1], a) || !(a > 0) || a > kMaxScale)
        return "scale needs a factor above 0 and at most 100";
      r.sx = r.sy = a;
      ++i;
      if (i + 1 < w.size() && ParseNumber(w[i + 1], b)) {
        if (!(b > 0) || b > kMaxScale) return "scale needs a factor above 0 and at most 100";
        r.sy = b;
        ++i;
      }
      changes = true;
    } else if (step == "rotate") {
      if (i + 1 >= w.size() || !ParseNumber(w[i + 1], a) || std::fabs(a) > kMaxDegrees)
        return "rotate needs degrees between -3600 and 3600";
      r.degrees = a;
      ++i;
      changes = true;
    } else if (step == "filter") {
      const std::string name = i + 1 < w.size() ? w[i + 1] : "";
      if (name == "nearest") {
        r.filter = kFilterNearest;
      } else if (name == "bilinear") {
        r.filter = kFilterBilinear;
      } else if (name == "bicubic") {
        r.filter = kFilterBicubic;
      } else {
        return "filter must be nearest, bilinear or bicubic, got '" + name + "'";
      }
      ++i;
    } else if (step == "preview") {
      r.preview = true;
    } else {
      return "unknown step '" + step + "'; steps are move, scale, rotate, filter and preview";
    }
  }
  if (!changes) return "give at least one of move, scale and rotate";
  return "";
}

// The one running preview: the tool moves the layer before the proxy begins
// (proxies keep the offset they start from) and puts it back when the
// proxy ends without a commit, however it ends.
struct Preview {
  bool active = false;
  bool committing = false;
  int h = -1;
  int index = 0;
  void* layer = nullptr;
  float movedX = 0, movedY = 0;  // how far the layer was moved
  LayerPivot pivot;
  LayerStackTransform transform;
  FilterMethod filter = kFilterBilinear;
};
Preview g_preview;

Layer* PreviewLayer() {
  LayerStack* stack = Brenmark.GetLayerStack(g_preview.h);
  return stack ? stack->GetLayerFromHandle(g_preview.layer) : nullptr;
}

// Ending the proxy asks this before anything else: a preview ended by
// another command (or cancelled) is undone; a committed one is kept.
bool PreviewEnded(int, int*) {
  if (g_preview.active && !g_preview.committing) {
    // The proxy may have moved the layer's pixels to its origin (and the
    // offset with them), so the move is taken back rather than the old
    // offset restored.
    if (Layer* l = PreviewLayer()) {
      float x = 0, y = 0;
      l->GetOffset(x, y);
      l->SetOffset(x - g_preview.movedX, y - g_preview.movedY);
      l->SetPivot(g_preview.pivot);
    }
  }
  g_preview.active = false;
  return false;
}
void NothingToApply(int, int*) {}

bool PreviewRunning() {
  return g_preview.active && Brenmark.InProxy(g_preview.h);
}

// Moves the layer (the engine may keep it nearer the canvas; the tool then
// says where it ended up) and fixes its pivot at the moved centre of its
// picture: the transform scales and turns about that point.
void MoveAndPin(Session& s, const Target& t, Layer* l, const Request& r, float& oldX, float& oldY,
                LayerPivot& oldPivot) {
  l->GetOffset(oldX, oldY);
  oldPivot = l->GetPivot();
  int x = 0, y = 0;
  l->GetOffset(x, y);
  if (r.dx != 0 || r.dy != 0) {
    Brenmark.SetCurrentLayerOffset(LayerStackTransform(), oldX + static_cast<float>(r.dx),
                                   oldY + static_cast<float>(r.dy), t.index, t.h, false);
    int nx = 0, ny = 0;
    l->GetOffset(nx, ny);
    if (nx != x + r.dx || ny != y + r.dy) {
      s.Warn(LayerWord(t.index) + " was kept near the canvas: its offset is " + std::to_string(nx) +
             "," + std::to_string(ny));
    }
  }
  float nx = 0, ny = 0;
  l->GetOffset(nx, ny);
  l->SetPivot(LayerPivot(oldPivot.x + nx - oldX, oldPivot.y + ny - oldY, true));
}

void RestorePivot(Layer* l, const LayerPivot& p) {
  if (p.valid)
    l->SetPivot(p);
  else
    l->ResetPivot();
}

// Tells the display that the picture left `before` and now covers what the
// layer holds.
void Changed(int h, int index, const ilTile& before) {
  PixelLayer pl;
  if (!FindPixelLayer(h, index, pl).empty()) return;
  PixelsChanged(pl, before);
  const ilTile after = ContentBounds(pl);
  if (!after.empty() && after != before) PixelsChanged(pl, after);
}

std::string Transform(Session& s, const Arguments& a) {
  Target t;
  if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
  Request r;
  if (std::string p = ParseSteps(a.Has("steps") ? a.Text("steps") : "", r); !p.empty()) return p;
  PixelLayer pl;
  if (std::string p = FindPixelLayer(t.h, t.index, pl); !p.empty()) return p;
  if (pl.shape) return LayerWord(t.index) + " is a shape layer; transform its shapes instead";
  const ilTile b = ContentBounds(pl);
  if (b.empty()) return LayerWord(t.index) + " holds no pixels to transform";
  // The rotated box is never wider or taller than this.
  const double side = (b.nx + 4) * r.sx + (b.ny + 4) * r.sy;
  if (side > kMaxTransformedSide) {
    return LayerWord(t.index) + " would grow to about " + std::to_string(std::lround(side)) +
           " pixels across; at most " + std::to_string(std::lround(kMaxTransformedSide));
  }
  if (PreviewRunning()) Brenmark.EndProxy(g_preview.h);
  if (!FindPixelLayer(t.h, t.index, pl).empty() || !pl.layer) return "the layer went away";
  const LayerStackTransform transform(0, 0, static_cast<float>(r.sx), static_cast<float>(r.sy), 0,
                                      0, static_cast<float>(r.degrees));
  Layer* l = pl.layer;
  float oldX = 0, oldY = 0;
  LayerPivot oldPivot;
  MoveAndPin(s, t, l, r, oldX, oldY, oldPivot);
  int index = t.index;
  if (!r.preview) {
    Brenmark.XFormImageLayers(transform, 1, &index, r.filter, r.filter, t.h);
    RestorePivot(l, oldPivot);
  } else {
    float x = 0, y = 0;
    l->GetOffset(x, y);
    g_preview = Preview{true,     false,    t.h,      t.index,   l->GetLayerID(),
                        x - oldX, y - oldY, oldPivot, transform, r.filter};
    Brenmark.BeginProxy(ProxyParameters(0, 1, NothingToApply, PreviewEnded), 1, &index, t.h);
    Brenmark.ProxyXFormLayers(transform, r.filter, r.filter, t.h);
  }
  Changed(t.h, t.index, b);
  return "";
}

std::string EndPreview(Session& s, bool commit) {
  int h = -1;
  if (std::string p = s.CurrentCanvas(h); !p.empty()) return p;
  if (!PreviewRunning() || g_preview.h != h) {
    return "no transform preview is running on canvas " + std::to_string(h);
  }
  const Preview p = g_preview;
  g_preview.committing = commit;
  Brenmark.EndProxy(h);
  g_preview = Preview{};
  int index = p.index;
  PixelLayer pl;
  if (!FindPixelLayer(h, p.index, pl).empty()) return "";
  const ilTile before = ContentBounds(pl);
  if (commit) {
    Brenmark.XFormImageLayers(p.transform, 1, &index, p.filter, p.filter, h);
    RestorePivot(pl.layer, p.pivot);
  }
  Changed(h, p.index, before);
  return "";
}

}  // namespace

void RegisterTransformCommands(CommandRegistry& registry, Session& session) {
  const std::string group =
      "Transforming layers (x, y count from the canvas's bottom-left "
      "corner, y upwards; angles turn counter-clockwise)";
  ParamSpec steps = TextParam("steps", kMaxLineLength, "-");
  steps.rest = true;
  registry.Add({
      .name = "transform",
      .group = group,
      .params = {LayerParam("layer"), steps},
      .summary =
          "Moves, scales and rotates a layer. Steps, each at most once and in any order: move "
          "<dx> <dy> (whole pixels), scale <sx> [<sy>] (above 0, at most 100), rotate "
          "<degrees>, filter nearest|bilinear|bicubic, preview. Scaling and rotation turn "
          "about the centre of the layer's pixels (after the move). Without preview the "
          "layer is resampled once, bicubic where it grows and bilinear where it shrinks, "
          "whatever filter is named. With preview the layer shows the transform, drawn with "
          "the filter, until commit-transform applies it or cancel-transform (or any other "
          "command that changes the canvas's layers) puts the layer back; a new transform "
          "replaces a running preview. Transforms are not recorded for undo.",
      .example = "transform Sky move 10 -5 scale 1.5 rotate 30 preview",
      .handler = [&session](const Arguments& a) { return Transform(session, a); },
  });
  registry.Add({
      .name = "commit-transform",
      .group = group,
      .params = {},
      .summary = "Applies the running transform preview of the current canvas for good (one "
                 "final resampling, as transform without preview).",
      .example = "commit-transform",
      .handler = [&session](const Arguments&) { return EndPreview(session, true); },
  });
  registry.Add({
      .name = "cancel-transform",
      .group = group,
      .params = {},
      .summary = "Drops the running transform preview of the current canvas: the layer is as "
                 "it was before the transform.",
      .example = "cancel-transform",
      .handler = [&session](const Arguments&) { return EndPreview(session, false); },
  });
}

}  // namespace brenmark::tool
