// The plain C interface: handle tables over the engine's one paint manager
// and a reference host, argument checks before anything changes, and every
// exception caught at the boundary.
#include <brenmark/brenmark.h>
#include <brenmark/brenmark_c.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/undo_list.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#if BRENMARK_C_OPENRASTER
#include <brenmark/openraster.h>
#endif

#include "host/install.h"
#include "host/reference_host.h"

namespace {

// As the tool: the host keeps each canvas's view in memory, so canvases are
// bounded per side and in total.
constexpr int kMaxCanvasSide = 4096;
constexpr std::int64_t kPixelBudget = std::int64_t{64} << 20;
constexpr int kMaxImportSide = 16384;
constexpr double kMaxPosition = 1e6;
constexpr std::size_t kMaxSamples = 1000000;
constexpr std::size_t kMaxNameBytes = 127;

struct Engine {
  bm_engine id = 0;
  std::unique_ptr<brenmark::host::ReferenceHost> host;
  std::string lastError;
  bm_brush brush{};
};

struct Canvas {
  bm_engine engine = 0;
  int slot = -1;  // the paint manager's layer-stack handle
  int width = 0;
  int height = 0;
};

// Handles are never reused: engines and canvases draw from one counter, so
// a stale or foreign number never names something that exists.
struct Tables {
  std::uint64_t nextId = 1;
  std::unique_ptr<Engine> engine;  // the running one, if any
  std::map<bm_canvas, Canvas> canvases;
};

// Never destroyed: a host torn down at exit could outlive the engine's
// globals in another translation unit.
Tables& T() {
  static Tables* tables = new Tables;
  return *tables;
}

// Records `text` as the running engine's last error and returns `status`.
int Fail(int status, const std::string& text) {
  try {
    if (T().engine) T().engine->lastError = text;
  } catch (...) {
  }
  return status;
}

template <class F>
int Guard(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(BM_ERR_NO_MEMORY, "out of memory");
  } catch (const std::exception& e) {
    return Fail(BM_ERR_INTERNAL, std::string("internal failure: ") + e.what());
  } catch (...) {
    return Fail(BM_ERR_INTERNAL, "internal failure");
  }
}

int Null(const char* what) {
  return Fail(BM_ERR_NULL_POINTER, std::string(what) + " is null");
}

Engine* FindEngine(bm_engine id) {
  Engine* e = T().engine.get();
  return e && e->id == id ? e : nullptr;
}

int NoEngine(bm_engine id) {
  return Fail(BM_ERR_INVALID_HANDLE,
              "engine " + std::to_string(id) + " is not running (stopped, or never started)");
}

int FindCanvas(bm_canvas id, Canvas*& out) {
  auto it = T().canvases.find(id);
  if (it == T().canvases.end() || !FindEngine(it->second.engine) ||
      !Brenmark.GetLayerStack(it->second.slot)) {
    return Fail(BM_ERR_INVALID_HANDLE,
                "canvas " + std::to_string(id) + " does not exist (deleted, or never made)");
  }
  out = &it->second;
  return BM_OK;
}

// The problem, when a new canvas of width x height would break the limits.
int CheckNewCanvas(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxCanvasSide || height > kMaxCanvasSide) {
    return Fail(BM_ERR_INVALID_ARGUMENT, "a canvas is 1..4096 pixels a side, not " +
                                             std::to_string(width) + " x " +
                                             std::to_string(height));
  }
  std::int64_t used = 0;
  for (const auto& [id, c] : T().canvases) used += std::int64_t{c.width} * c.height;
  if (used + std::int64_t{width} * height > kPixelBudget) {
    return Fail(BM_ERR_LIMIT, "the canvases would hold more than 67108864 pixels together");
  }
  if (Brenmark.GetLayerStackCount() >= PaintManager::kMaxLayerStacks) {
    return Fail(BM_ERR_LIMIT, "all 512 canvases are in use");
  }
  return BM_OK;
}

bm_canvas Register(bm_engine engine, int slot, int width, int height) {
  const bm_canvas id = T().nextId++;
  T().canvases[id] = Canvas{engine, slot, width, height};
  return id;
}

int CheckLayer(const Canvas& c, int index) {
  const int count = Brenmark.GetLayerCount(c.slot);
  if (index >= 1 && index <= count) return BM_OK;
  return Fail(BM_ERR_NO_SUCH_LAYER, "layer " + std::to_string(index) +
                                        " does not exist: the canvas has " + std::to_string(count) +
                                        (count == 1 ? " layer" : " layers"));
}

bool IsMask(const Canvas& c, int index) {
  return Brenmark.isLayerMask(index, c.slot);
}

// The layers an image layer moves with: itself and the masks directly above.
int GroupSize(const Canvas& c, int index) {
  if (IsMask(c, index)) return 1;
  const int count = Brenmark.GetLayerCount(c.slot);
  int size = 1;
  while (index + size <= count && IsMask(c, index + size)) ++size;
  return size;
}

void MakeCurrent(const Canvas& c, int index) {
  if (Brenmark.GetCurrentLayerStack() != c.slot) Brenmark.SetCurrentLayerStack(c.slot);
  if (Brenmark.GetCurrentLayer(c.slot) != index || Brenmark.isSelectionMaskCurrent(c.slot)) {
    Brenmark.SetCurrentLayer(index, c.slot);
  }
}

bool Unit(float v) {
  return std::isfinite(v) && v >= 0.0f && v <= 1.0f;
}

// c' = round(c * a / 255), the engine's premultiplied form.
std::uint8_t Premultiply(std::uint8_t c, std::uint8_t a) {
  return static_cast<std::uint8_t>((unsigned{c} * a + 127) / 255);
}

// c = round(c' * 255 / a), at most 255; 0 when a is 0.
std::uint8_t Unpremultiply(std::uint8_t c, std::uint8_t a) {
  if (a == 0) return 0;
  const unsigned v = (unsigned{c} * 510 + a) / (2u * a);
  return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// Copies an engine picture (rows bottom first; 4 bytes premultiplied, or 1
// grey byte) into the caller's buffer in the layout `flags` asks for.
void Deliver(const std::uint8_t* src, int width, int height, int channels, int flags,
             std::uint8_t* out) {
  const bool bottomUp = flags & BM_PIXELS_BOTTOM_UP;
  const bool premultiplied = flags & BM_PIXELS_PREMULTIPLIED;
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* s = src + std::size_t(row) * width * channels;
    std::uint8_t* d = out + std::size_t(bottomUp ? row : height - 1 - row) * width * 4;
    for (int x = 0; x < width; ++x, d += 4) {
      if (channels == 1) {
        d[0] = d[1] = d[2] = s[x];
        d[3] = 255;
        continue;
      }
      const std::uint8_t* p = s + std::size_t(x) * 4;
      const std::uint8_t a = p[3];
      for (int k = 0; k < 3; ++k) d[k] = premultiplied ? p[k] : Unpremultiply(p[k], a);
      d[3] = a;
    }
  }
}

int CheckPixelBuffer(const Canvas& c, const std::uint8_t* pixels, std::size_t size) {
  if (!pixels) return Null("the pixel buffer");
  const std::size_t need = std::size_t(c.width) * c.height * 4;
  if (size < need) {
    return Fail(BM_ERR_BUFFER_TOO_SMALL, "the buffer holds " + std::to_string(size) +
                                             " bytes; the canvas needs " + std::to_string(need));
  }
  return BM_OK;
}

int CheckFlags(int flags) {
  if ((flags & ~(BM_PIXELS_PREMULTIPLIED | BM_PIXELS_BOTTOM_UP)) == 0) return BM_OK;
  return Fail(BM_ERR_INVALID_ARGUMENT, "unknown pixel flags " + std::to_string(flags));
}

void ApplyBrush(const bm_brush& t) {
  StrokeParameters sp;
  sp.spacing = t.spacing;
  sp.interpolation = t.smooth ? 1 : 0;
  Brenmark.SetStrokeParameters(sp);
  BrushParameters b;
  b.color = PaintColor(t.color[0], t.color[1], t.color[2], t.color[3]);
  b.profile.index = t.profile;
  b.radius1 = b.radius2 = t.radius;
  b.opacity1 = b.opacity2 = t.opacity;
  Brenmark.SetBrushParameters(b, true);
  Brenmark.SetBlurBrush(false);
  Brenmark.SetSharpenBrush(false);
}

std::string BrushProblem(const bm_brush& b) {
  for (int k = 0; k < 4; ++k) {
    if (!Unit(b.color[k])) return "brush colour channels must lie in 0..1";
  }
  if (!std::isfinite(b.radius) || b.radius < 0.5f || b.radius > 255.0f) {
    return "brush radius must lie in 0.5..255";
  }
  if (!Unit(b.opacity)) return "brush opacity must lie in 0..1";
  if (b.profile < 0 || b.profile >= BrushProfile::kStandardCount) {
    return "brush profile must be 0..7";
  }
  if (!std::isfinite(b.spacing) || b.spacing < 0.1f || b.spacing > 10.0f) {
    return "brush spacing must lie in 0.1..10";
  }
  if (b.smooth != 0 && b.smooth != 1) return "brush smooth must be 0 or 1";
  return "";
}

}  // namespace

extern "C" {

const char* bm_status_message(int status) {
  switch (status) {
    case BM_OK:
      return "success";
    case BM_ERR_NULL_POINTER:
      return "a required pointer is null";
    case BM_ERR_INVALID_HANDLE:
      return "no such engine or canvas (stopped, deleted or never made)";
    case BM_ERR_INVALID_ARGUMENT:
      return "an argument is out of range";
    case BM_ERR_NO_SUCH_LAYER:
      return "the canvas has no layer at that index";
    case BM_ERR_BUFFER_TOO_SMALL:
      return "the buffer is too small";
    case BM_ERR_ENGINE_RUNNING:
      return "an engine is already running";
    case BM_ERR_LIMIT:
      return "too many canvases or pixels";
    case BM_ERR_NOTHING_TO_UNDO:
      return "nothing to undo";
    case BM_ERR_NOTHING_TO_REDO:
      return "nothing to redo";
    case BM_ERR_REFUSED:
      return "the engine refused the request";
    case BM_ERR_NO_MEMORY:
      return "out of memory";
    case BM_ERR_FILE:
      return "a file could not be read or written";
    case BM_ERR_INTERNAL:
      return "internal failure";
    case BM_ERR_UNSUPPORTED:
      return "this build of the library leaves the feature out";
    default:
      return "unknown status";
  }
}

const char* bm_last_error(bm_engine engine) {
  const Engine* e = FindEngine(engine);
  return e ? e->lastError.c_str() : "no such engine";
}

int bm_engine_start(bm_engine* engine) {
  return Guard([&]() -> int {
    if (!engine) return Null("engine");
    if (T().engine) {
      return Fail(BM_ERR_ENGINE_RUNNING, "engine " + std::to_string(T().engine->id) +
                                             " is running; stop it before starting another");
    }
    auto e = std::make_unique<Engine>();
    e->host = std::make_unique<brenmark::host::ReferenceHost>();
    bm_brush_init(&e->brush);
    e->id = T().nextId++;
    brenmark::host::InstallIntoBrenmark(*e->host);
    PntInitializePaintManager();
    *engine = e->id;
    T().engine = std::move(e);
    return BM_OK;
  });
}

int bm_engine_stop(bm_engine engine) {
  return Guard([&]() -> int {
    if (!FindEngine(engine)) return NoEngine(engine);
    for (auto it = T().canvases.begin(); it != T().canvases.end();) {
      if (it->second.engine == engine) {
        if (Brenmark.GetLayerStack(it->second.slot)) Brenmark.DeleteLayerStack(it->second.slot);
        it = T().canvases.erase(it);
      } else {
        ++it;
      }
    }
    PaintUndoList.FlushUndoList(nullptr);
    T().engine.reset();
    return BM_OK;
  });
}

int bm_canvas_create(bm_engine engine, int width, int height, bm_canvas* canvas) {
  return Guard([&]() -> int {
    Engine* e = FindEngine(engine);
    if (!e) return NoEngine(engine);
    if (!canvas) return Null("canvas");
    if (int s = CheckNewCanvas(width, height)) return s;
    e->host->SetDefaultViewSize(width, height);
    const int slot = Brenmark.AddLayerStack(ViewerParms{});
    if (slot < 0) return Fail(BM_ERR_REFUSED, "the engine refused a canvas");
    *canvas = Register(engine, slot, width, height);
    return BM_OK;
  });
}

int bm_canvas_delete(bm_canvas canvas) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    Brenmark.DeleteLayerStack(c->slot);
    T().canvases.erase(canvas);
    return BM_OK;
  });
}

int bm_canvas_size(bm_canvas canvas, int* width, int* height, size_t* bytes) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!width || !height || !bytes) return Null(!width ? "width" : !height ? "height" : "bytes");
    *width = c->width;
    *height = c->height;
    *bytes = std::size_t(c->width) * c->height * 4;
    return BM_OK;
  });
}

int bm_canvas_set_background(bm_canvas canvas, const float rgba[4]) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!rgba) return Null("the colour");
    for (int k = 0; k < 4; ++k) {
      if (!Unit(rgba[k])) return Fail(BM_ERR_INVALID_ARGUMENT, "colour channels must lie in 0..1");
    }
    const float a = rgba[3];
    Brenmark.SetBackgroundColor(PaintColor(rgba[0] * a, rgba[1] * a, rgba[2] * a, a), c->slot);
    return BM_OK;
  });
}

int bm_layer_count(bm_canvas canvas, int* count) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!count) return Null("count");
    *count = Brenmark.GetLayerCount(c->slot);
    return BM_OK;
  });
}

int bm_layer_add(bm_canvas canvas, int is_mask, int* index) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!index) return Null("index");
    if (is_mask != 0 && is_mask != 1)
      return Fail(BM_ERR_INVALID_ARGUMENT, "is_mask must be 0 or 1");
    void* handle = PntNewLayer(c->slot, is_mask == 1);
    int at = -1, owner = -1;
    if (handle != reinterpret_cast<void*>(-1)) Brenmark.GetLayerFromHandle(handle, at, owner);
    if (at < 1 || owner != c->slot) return Fail(BM_ERR_REFUSED, "the engine did not add a layer");
    *index = at;
    return BM_OK;
  });
}

int bm_layer_delete(bm_canvas canvas, int index) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckLayer(*c, index)) return s;
    MakeCurrent(*c, index);
    PntDeleteCurrentLayer(c->slot);
    return BM_OK;
  });
}

int bm_layer_select(bm_canvas canvas, int index) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckLayer(*c, index)) return s;
    MakeCurrent(*c, index);
    return BM_OK;
  });
}

int bm_layer_current(bm_canvas canvas, int* index) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!index) return Null("index");
    const int at = Brenmark.GetCurrentLayer(c->slot);
    *index = at >= 1 && at <= Brenmark.GetLayerCount(c->slot) ? at : 0;
    return BM_OK;
  });
}

int bm_layer_move(bm_canvas canvas, int from, int to) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckLayer(*c, from)) return s;
    if (int s = CheckLayer(*c, to)) return s;
    if (from == to) return BM_OK;
    const int count = Brenmark.GetLayerCount(c->slot);
    int engineIndex = 0;  // the layer that ends up directly above the moved ones
    if (IsMask(*c, from)) {
      if (to == 1) return Fail(BM_ERR_INVALID_ARGUMENT, "a mask cannot be the bottom layer");
      engineIndex = to < from ? to : to + 1;
    } else {
      const int group = GroupSize(*c, from);
      if (to > from && to < from + group) {
        return Fail(BM_ERR_INVALID_ARGUMENT,
                    "layer " + std::to_string(to) + " is a mask of layer " + std::to_string(from));
      }
      // A mask's place, for an image layer, is that of the layer it belongs to.
      int owner = to;
      while (owner > 1 && IsMask(*c, owner)) --owner;
      if (!IsMask(*c, owner)) to = owner;
      if (to == from) return BM_OK;
      engineIndex = to < from ? to : to + GroupSize(*c, to);
    }
    MakeCurrent(*c, from);
    Brenmark.MoveCurrentLayer(engineIndex > count ? count + 1 : engineIndex);
    return BM_OK;
  });
}

int bm_layer_set_name(bm_canvas canvas, int index, const char* name) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckLayer(*c, index)) return s;
    if (!name) return Null("name");
    const std::size_t n = std::strlen(name);
    if (n > kMaxNameBytes)
      return Fail(BM_ERR_INVALID_ARGUMENT, "a layer name is at most 127 bytes");
    for (std::size_t i = 0; i < n; ++i) {
      if (static_cast<unsigned char>(name[i]) < 0x20 || name[i] == 0x7f) {
        return Fail(BM_ERR_INVALID_ARGUMENT, "a layer name holds no control characters");
      }
    }
    Brenmark.SetLayerName(name, index, c->slot);
    return BM_OK;
  });
}

int bm_layer_set_opacity(bm_canvas canvas, int index, float opacity) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckLayer(*c, index)) return s;
    if (!Unit(opacity)) return Fail(BM_ERR_INVALID_ARGUMENT, "layer opacity must lie in 0..1");
    Brenmark.SetLayerOpacity(index, opacity, c->slot);
    return BM_OK;
  });
}

int bm_layer_set_visible(bm_canvas canvas, int index, int visible) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckLayer(*c, index)) return s;
    if (visible != 0 && visible != 1)
      return Fail(BM_ERR_INVALID_ARGUMENT, "visible must be 0 or 1");
    Brenmark.SetLayerActive(index, visible == 1, c->slot);
    return BM_OK;
  });
}

int bm_brush_init(bm_brush* brush) {
  if (!brush) return Null("brush");
  *brush = bm_brush{};
  brush->color[3] = 1.0f;
  brush->radius = 4.0f;
  brush->opacity = 1.0f;
  brush->spacing = 1.0f;
  return BM_OK;
}

int bm_set_brush(bm_engine engine, const bm_brush* brush) {
  return Guard([&]() -> int {
    Engine* e = FindEngine(engine);
    if (!e) return NoEngine(engine);
    if (!brush) return Null("brush");
    if (std::string problem = BrushProblem(*brush); !problem.empty()) {
      return Fail(BM_ERR_INVALID_ARGUMENT, problem);
    }
    e->brush = *brush;
    return BM_OK;
  });
}

int bm_paint_stroke(bm_canvas canvas, const bm_sample* samples, size_t count) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!samples) return Null("samples");
    if (count < 1 || count > kMaxSamples) {
      return Fail(BM_ERR_INVALID_ARGUMENT, "a stroke has 1..1000000 samples");
    }
    for (std::size_t i = 0; i < count; ++i) {
      const bm_sample& p = samples[i];
      const std::string at = "sample " + std::to_string(i) + ": ";
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > kMaxPosition ||
          std::fabs(p.y) > kMaxPosition) {
        return Fail(BM_ERR_INVALID_ARGUMENT, at + "position beyond +-1000000");
      }
      if (!Unit(p.pressure)) return Fail(BM_ERR_INVALID_ARGUMENT, at + "pressure outside 0..1");
    }
    const int index = Brenmark.GetCurrentLayer(c->slot);
    if (index < 1 || index > Brenmark.GetLayerCount(c->slot)) {
      return Fail(BM_ERR_NO_SUCH_LAYER, "the canvas has no current layer to paint on");
    }
    if (Brenmark.isGeometryLayer(index, c->slot)) {
      return Fail(BM_ERR_REFUSED, "the current layer is a shape layer");
    }
    const bm_brush& b = T().engine->brush;
    if (Brenmark.GetCurrentLayerStack() != c->slot) Brenmark.SetCurrentLayerStack(c->slot);
    ApplyBrush(b);
    Brenmark.BeginBrushStroke();
    if (!Brenmark.InBrushStroke()) return Fail(BM_ERR_REFUSED, "the stroke could not begin");
    // The engine's first sample only starts a stroke: a lone sample is
    // given twice, so that it leaves its dab.
    for (std::size_t i = 0; i < (count == 1 ? 2 : count); ++i) {
      const bm_sample& p = samples[count == 1 ? 0 : i];
      Brenmark.AddStrokePoint(p.x, p.y, b.radius * p.pressure, b.opacity * p.pressure, 1.0f, 0.0f,
                              false, false);
    }
    Brenmark.EndBrushStroke();
    return BM_OK;
  });
}

int bm_undo(bm_engine engine) {
  return Guard([&]() -> int {
    if (!FindEngine(engine)) return NoEngine(engine);
    if (PaintUndoList.UndoCount() < 1) return Fail(BM_ERR_NOTHING_TO_UNDO, "nothing to undo");
    if (!PaintUndoList.Undo()) return Fail(BM_ERR_REFUSED, "the engine could not undo");
    return BM_OK;
  });
}

int bm_redo(bm_engine engine) {
  return Guard([&]() -> int {
    if (!FindEngine(engine)) return NoEngine(engine);
    if (PaintUndoList.RedoCount() < 1) return Fail(BM_ERR_NOTHING_TO_REDO, "nothing to redo");
    if (!PaintUndoList.Redo()) return Fail(BM_ERR_REFUSED, "the engine could not redo");
    return BM_OK;
  });
}

int bm_undo_counts(bm_engine engine, int* undo_steps, int* redo_steps) {
  return Guard([&]() -> int {
    if (!FindEngine(engine)) return NoEngine(engine);
    if (!undo_steps || !redo_steps) return Null(!undo_steps ? "undo_steps" : "redo_steps");
    *undo_steps = PaintUndoList.UndoCount();
    *redo_steps = PaintUndoList.RedoCount();
    return BM_OK;
  });
}

int bm_layer_read(bm_canvas canvas, int index, int flags, uint8_t* pixels, size_t size) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckLayer(*c, index)) return s;
    if (int s = CheckFlags(flags)) return s;
    if (int s = CheckPixelBuffer(*c, pixels, size)) return s;
    LayerStack* stack = Brenmark.GetLayerStack(c->slot);
    Layer* layer = stack->GetLayerFromIndex(index);
    ilImage* image = layer ? layer->GetImage() : nullptr;
    if (!image) return Fail(BM_ERR_REFUSED, "layer " + std::to_string(index) + " has no pixels");
    const int channels = image->getCsize() == 1 ? 1 : 4;
    int ox = 0, oy = 0;
    Brenmark.GetCurrentLayerOffset(ox, oy, index, c->slot);
    std::vector<std::uint8_t> rows(std::size_t(c->width) * c->height * channels);
    if (image->getTile(-ox, -oy, c->width, c->height, rows.data()) != ilOkay) {
      return Fail(BM_ERR_REFUSED, "the engine could not read layer " + std::to_string(index));
    }
    Deliver(rows.data(), c->width, c->height, channels, flags, pixels);
    return BM_OK;
  });
}

int bm_canvas_read(bm_canvas canvas, int flags, uint8_t* pixels, size_t size) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (int s = CheckFlags(flags)) return s;
    if (int s = CheckPixelBuffer(*c, pixels, size)) return s;
    ilQVMemoryImg* composite = Brenmark.GetLayerStack(c->slot)->GetUpdateImagePlaneBits(false);
    const bool fits = composite && composite->getDataPtr() && composite->getXsize() == c->width &&
                      composite->getYsize() == c->height;
    if (fits) {
      Deliver(static_cast<const std::uint8_t*>(composite->getDataPtr()), c->width, c->height, 4,
              flags, pixels);
    }
    if (composite) composite->unref();
    if (!fits) return Fail(BM_ERR_REFUSED, "the engine could not compose the canvas");
    return BM_OK;
  });
}

int bm_layer_import(bm_canvas canvas, const uint8_t* pixels, int width, int height, size_t stride,
                    int x, int y, int flags, int* index) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!pixels) return Null("the pixel buffer");
    if (!index) return Null("index");
    if (int s = CheckFlags(flags)) return s;
    if (width < 1 || height < 1 || width > kMaxImportSide || height > kMaxImportSide) {
      return Fail(BM_ERR_INVALID_ARGUMENT, "an imported image is 1..16384 pixels a side");
    }
    if (std::abs(x) > kMaxPosition || std::abs(y) > kMaxPosition) {
      return Fail(BM_ERR_INVALID_ARGUMENT, "position beyond +-1000000");
    }
    const std::size_t packed = std::size_t(width) * 4;
    if (stride == 0) stride = packed;
    if (stride < packed) {
      return Fail(BM_ERR_INVALID_ARGUMENT, "a row stride of " + std::to_string(stride) +
                                               " bytes is less than the row's " +
                                               std::to_string(packed));
    }
    // The engine's layout: bottom row first, premultiplied.
    std::vector<std::uint8_t> bytes(packed * height);
    const bool bottomUp = flags & BM_PIXELS_BOTTOM_UP;
    for (int row = 0; row < height; ++row) {
      const std::uint8_t* s = pixels + stride * std::size_t(bottomUp ? row : height - 1 - row);
      std::uint8_t* d = bytes.data() + packed * row;
      std::memcpy(d, s, packed);
      if (flags & BM_PIXELS_PREMULTIPLIED) {
        for (int i = 0; i < width; ++i, d += 4) {
          for (int k = 0; k < 3; ++k) {
            if (d[k] > d[3]) {
              return Fail(BM_ERR_INVALID_ARGUMENT, "a premultiplied pixel has colour above alpha");
            }
          }
        }
        continue;
      }
      for (int i = 0; i < width; ++i, d += 4) {
        for (int k = 0; k < 3; ++k) d[k] = Premultiply(d[k], d[3]);
      }
    }
    // The engine copies the image into a smart image of its own.
    ilMemoryImg image(bytes.data(), ilSize(width, height, 1, 4), ilUChar);
    image.setCoordSpace(ilLowerLeft);
    image.setColorModel(ilABGR);
    image.setFill(ilPixel(ilUChar, 4));
    void* handle =
        Brenmark.AddLayer(&image, nullptr, false, true, true, c->slot, false, x, y, -2, true);
    int at = -1, owner = -1;
    if (handle != reinterpret_cast<void*>(-1)) Brenmark.GetLayerFromHandle(handle, at, owner);
    if (at < 1 || owner != c->slot) return Fail(BM_ERR_REFUSED, "the engine did not add the image");
    *index = at;
    return BM_OK;
  });
}

int bm_save_ora(bm_canvas canvas, const char* path) {
  return Guard([&]() -> int {
    Canvas* c = nullptr;
    if (int s = FindCanvas(canvas, c)) return s;
    if (!path) return Null("path");
#if BRENMARK_C_OPENRASTER
    const brenmark::OpenRasterResult r = brenmark::SaveOpenRaster(c->slot, path);
    if (!r) return Fail(BM_ERR_FILE, r.message);
    return BM_OK;
#else
    return Fail(BM_ERR_UNSUPPORTED, "this library was built without OpenRaster documents");
#endif
  });
}

int bm_open_ora(bm_engine engine, const char* path, bm_canvas* canvas) {
  return Guard([&]() -> int {
    Engine* e = FindEngine(engine);
    if (!e) return NoEngine(engine);
    if (!path) return Null("path");
    if (!canvas) return Null("canvas");
#if BRENMARK_C_OPENRASTER
    // The canvas takes its size from the view, so the document is read
    // first and the host's next view made to its size.
    brenmark::OpenRasterDocument document;
    brenmark::OpenRasterResult r = brenmark::ReadOpenRaster(path, document);
    if (!r) return Fail(BM_ERR_FILE, r.message);
    const int width = document.Width(), height = document.Height();
    if (int s = CheckNewCanvas(width, height)) return s;
    e->host->SetDefaultViewSize(width, height);
    r = brenmark::CreateCanvas(document);
    if (!r || !Brenmark.GetLayerStack(r.canvas)) return Fail(BM_ERR_REFUSED, r.message);
    *canvas = Register(engine, r.canvas, width, height);
    return BM_OK;
#else
    return Fail(BM_ERR_UNSUPPORTED, "this library was built without OpenRaster documents");
#endif
  });
}

}  // extern "C"
