// Script commands that filter a layer's pixels through the paint manager:
// blur and sharpen, over the whole layer or only inside a rectangle.
#include <brenmark/brenmark.h>
#include <brenmark/convolution.h>
#include <brenmark/layer.h>
#include <brenmark/paint_manager.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "layer_access.h"
#include "layer_target.h"
#include "session.h"

namespace brenmark::tool {

namespace {

void* const kCurrentLayer = reinterpret_cast<void*>(-2);

// Widest radii the commands accept: a blur costs the same at any radius; a
// sharpen kernel of radius r has (2r + 1)^2 taps per pixel.
constexpr double kMaxBlurRadius = 1000;
constexpr double kMaxSharpenRadius = 10;
constexpr double kMaxSharpenAmount = 100;

// Shows the tiled blur's progress on the tool's progress line.
struct ProgressScope {
  explicit ProgressScope(Progress* p) : progress(p) {
    if (progress) {
      progress->Start();
      SetConvolutionProgressHandler(&Report, progress);
    }
  }
  ~ProgressScope() {
    SetConvolutionProgressHandler(nullptr, nullptr);
    if (progress) progress->Clear();
  }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  static void Report(int done, int total, void* user) {
    static_cast<Progress*>(user)->Update("blur", total > 0 ? double(done) / total : -1.0);
  }
  Progress* progress;
};

ilTile Grown(const ilTile& t, int by) {
  return ilTile(t.x - by, t.y - by, 0, t.nx + 2 * by, t.ny + 2 * by, 1);
}

// Filters the layer with `kernel`; with a region, only the pixels inside it
// change: the layer is read before over everything the filter can reach
// and the pixels outside the region are put back afterwards.
std::string Filter(Session& s, const Arguments& a, const ConvolutionKernel& kernel) {
  Target t;
  if (std::string p = ResolveTarget(s, a, t); !p.empty()) return p;
  PixelLayer l;
  if (std::string p = FindPixelLayer(t.h, t.index, l); !p.empty()) return p;
  if (l.shape)
    return LayerWord(t.index) + " is a shape layer; its pixels are drawn from its shapes";
  const int given = a.Has("x") + a.Has("y") + a.Has("width") + a.Has("height");
  if (given != 0 && given != 4) return "give all of <x>, <y>, <width> and <height>, or none";
  const ilTile before = ContentBounds(l);
  if (before.empty()) return "";  // nothing to filter
  const int reach = static_cast<int>(kernel.GetSize());
  const ilTile area = Grown(before, reach);
  ImagePixels old;
  ilTile region;
  if (given == 4) {
    region = ilTile(static_cast<int>(a.Integer("x")), static_cast<int>(a.Integer("y")), 0,
                    static_cast<int>(a.Integer("width")), static_cast<int>(a.Integer("height")), 1);
    if (std::string p = ReadRect(l, area, old, s.GetProgress()); !p.empty()) return p;
  }
  s.MakeCurrent(t.index, t.h);
  {
    ProgressScope progress(s.GetProgress());
    Brenmark.SharpenOrBlurDone(kernel, kCurrentLayer, t.h);
  }
  // The command is recorded for undo: the layer now paints into a new image.
  if (std::string p = FindPixelLayer(t.h, t.index, l); !p.empty()) return p;
  if (given == 4) {
    ImagePixels now;
    if (std::string p = ReadRect(l, area, now, s.GetProgress()); !p.empty()) return p;
    const int c = now.channels;
    for (int y = 0; y < area.ny; ++y) {
      for (int x = 0; x < area.nx; ++x) {
        const int cx = area.x + x, cy = area.y + y;
        const bool inside = cx >= region.x && cx < region.x + region.nx && cy >= region.y &&
                            cy < region.y + region.ny;
        if (!inside) std::memcpy(now.Row(y) + x * c, old.Row(y) + x * c, c);
      }
    }
    if (!PasteImage(l, area.x, area.y, now, BlendPair{BlendOne, BlendZero})) {
      return "the engine could not put back the pixels outside the region of " + LayerWord(t.index);
    }
  }
  PixelsChanged(l, area);
  return "";
}

std::string Blur(Session& s, const Arguments& a) {
  return Filter(s, a, ConvolutionKernel(-1.0f, static_cast<float>(a.Number("radius")), 1.0f / 3));
}

std::string Sharpen(Session& s, const Arguments& a) {
  return Filter(s, a,
                ConvolutionKernel(static_cast<float>(a.Number("amount")),
                                  static_cast<float>(a.Number("radius")), 1.0f / 3));
}

std::vector<ParamSpec> RegionParams() {
  return {IntegerParam("x", -kMaxCoordinate, kMaxCoordinate, "-"),
          IntegerParam("y", -kMaxCoordinate, kMaxCoordinate, "-"),
          IntegerParam("width", 1, kMaxCoordinate, "-"),
          IntegerParam("height", 1, kMaxCoordinate, "-")};
}

}  // namespace

void RegisterFilterCommands(CommandRegistry& registry, Session& session) {
  const std::string group = "Filters (x, y count from the canvas's bottom-left corner, y upwards)";
  std::vector<ParamSpec> blurParams = {LayerParam("layer"),
                                       NumberParam("radius", 0, kMaxBlurRadius)};
  std::vector<ParamSpec> sharpenParams = {LayerParam("layer"),
                                          NumberParam("amount", 0, kMaxSharpenAmount),
                                          NumberParam("radius", 0, kMaxSharpenRadius)};
  for (ParamSpec& p : RegionParams()) {
    blurParams.push_back(p);
    sharpenParams.push_back(p);
  }
  registry.Add({
      .name = "blur",
      .group = group,
      .params = blurParams,
      .summary = "Blurs a layer by a Gaussian-like blur of the radius in pixels (0 to 1000; "
                 "whole pixels count, 0 changes nothing). The blur spreads paint up to the "
                 "radius beyond it. With a rectangle only the pixels inside it change. Large "
                 "layers show their progress on a terminal.",
      .example = "blur Sky 8",
      .handler = [&session](const Arguments& a) { return Blur(session, a); },
  });
  registry.Add({
      .name = "sharpen",
      .group = group,
      .params = sharpenParams,
      .summary = "Sharpens a layer by an unsharp mask: each pixel gains amount times its "
                 "difference from a Gaussian blur of the radius (0 to 10 pixels). Amount 0 or "
                 "radius below 1 changes nothing; 0.5 is gentle, 5 strong. With a rectangle "
                 "only the pixels inside it change.",
      .example = "sharpen Sky 0.5 1.5",
      .handler = [&session](const Arguments& a) { return Sharpen(session, a); },
  });
}

}  // namespace brenmark::tool
