// Saving a canvas as an OpenRaster document: stack.xml, one PNG per layer
// (the layer's bounds only), the composed canvas and its thumbnail, plus
// what only Brenmark reads back (under brenmark/ and in its namespace).
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/paint_ops.h>
#include <brenmark/qv_memory_img.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>
#include <sstream>

#include "ora_internal.h"

namespace brenmark::ora {

namespace {

constexpr int kThumbnailSide = 256;

std::string FloatText(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

std::string HexBytes(const std::uint8_t* bytes, int count) {
  std::string text;
  char pair[3];
  for (int i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    text += pair;
  }
  return text;
}

bool Empty(const ilTile& t) {
  return t.nx < 1 || t.ny < 1;
}

ilTile Union(const ilTile& a, const ilTile& b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  const int x1 = std::max(a.x + a.nx, b.x + b.nx), y1 = std::max(a.y + a.ny, b.y + b.ny);
  return ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1);
}

// The fill of an image as `channels` bytes.
void FillBytes(ilImage* image, int channels, std::uint8_t* out) {
  const ilPixel fill = image->getFill().converted(ilUChar, channels);
  std::memcpy(out, fill.elems(), static_cast<std::size_t>(channels));
}

// Reads `r` (image coordinates, y upwards) of `image` as rows top first.
std::string ReadImage(ilImage* image, const ilTile& r, int channels, Pixels& out) {
  out.width = r.nx;
  out.height = r.ny;
  out.channels = channels;
  out.bytes.assign(out.RowBytes() * static_cast<std::size_t>(r.ny), 0);
  for (int row = 0; row < r.ny; ++row) {
    if (image->getTile(r.x, r.y + r.ny - 1 - row, r.nx, 1, out.Row(row)) != ilOkay) {
      return "the engine could not read a layer's pixels";
    }
  }
  return "";
}

void UnpremultiplyAll(Pixels& p) {
  for (std::size_t i = 0; i + 3 < p.bytes.size(); i += 4) {
    const std::uint8_t a = p.bytes[i + 3];
    for (int c = 0; c < 3; ++c) p.bytes[i + c] = Unpremultiply(p.bytes[i + c], a);
  }
}

// The canvas composed as the engine composes it for the view: the
// background colour, then every visible layer that is not a mask, through
// its stencil and at its opacity. Rows top first, premultiplied.
std::string Compose(LayerStack* stack, int width, int height, Pixels& out) {
  ilQVMemoryImg* target = new ilQVMemoryImg(ilSize(width, height, 1, 4), ilUChar);
  target->ref();
  PaintOps* painter = new PaintOps(target, 1);
  painter->ref();
  unsigned background = 0;
  stack->GetBackgroundColor().Get(background);
  painter->blend_func(BlendOne, BlendZero);
  painter->rect_fill(0, 0, width, height, &background, nullptr);
  painter->blend_func(BlendOne, BlendOneMinusSrcAlpha);
  const ilTile canvas(0, 0, 0, width, height, 1);
  for (int i = 1; i <= stack->GetLayerCount(); ++i) {
    Layer* layer = stack->GetLayerFromIndex(i);
    if (!layer || layer->isMask() || !layer->isActive() || layer->GetOpacity() <= 0.002f ||
        !layer->GetImage()) {
      continue;
    }
    int ox = 0, oy = 0;
    layer->GetOffset(ox, oy);
    std::uint8_t fill[4];
    FillBytes(layer->GetImage(), 4, fill);
    const bool clear = !fill[0] && !fill[1] && !fill[2] && !fill[3];
    ilTile area = canvas;
    if (clear) {
      const ilTile b = layer->getLayerBounds(true);
      if (Empty(b)) continue;
      area = ilTile(b.x + ox, b.y + oy, 0, b.nx, b.ny, 1);
    }
    ilSIDImage* source = layer->GetStencilledImage(nullptr, true, false);
    if (source) {
      painter->rect_copy(area.x, area.y, area.nx, area.ny, source, area.x - ox, area.y - oy,
                         nullptr, 1.0f, 1.0f);
    }
  }
  painter->unref();
  const std::string problem = ReadImage(target, canvas, 4, out);
  target->unref();
  return problem;
}

// At most kThumbnailSide on the long side: each thumbnail pixel averages
// the premultiplied canvas pixels of its box.
Pixels Thumbnail(const Pixels& full) {
  const int longSide = std::max(full.width, full.height);
  if (longSide <= kThumbnailSide) return full;
  Pixels t;
  t.channels = 4;
  t.width = std::max(1, static_cast<int>(std::int64_t{full.width} * kThumbnailSide / longSide));
  t.height = std::max(1, static_cast<int>(std::int64_t{full.height} * kThumbnailSide / longSide));
  t.bytes.assign(t.RowBytes() * static_cast<std::size_t>(t.height), 0);
  for (int ty = 0; ty < t.height; ++ty) {
    const int y0 = static_cast<int>(std::int64_t{ty} * full.height / t.height);
    const int y1 =
        std::max(y0 + 1, static_cast<int>(std::int64_t{ty + 1} * full.height / t.height));
    for (int tx = 0; tx < t.width; ++tx) {
      const int x0 = static_cast<int>(std::int64_t{tx} * full.width / t.width);
      const int x1 =
          std::max(x0 + 1, static_cast<int>(std::int64_t{tx + 1} * full.width / t.width));
      std::uint64_t sum[4] = {0, 0, 0, 0};
      for (int y = y0; y < y1; ++y) {
        const std::uint8_t* p = full.Row(y) + static_cast<std::size_t>(x0) * 4;
        for (int x = x0; x < x1; ++x, p += 4) {
          for (int c = 0; c < 4; ++c) sum[c] += p[c];
        }
      }
      const std::uint64_t n = static_cast<std::uint64_t>(x1 - x0) * (y1 - y0);
      std::uint8_t* q = t.Row(ty) + static_cast<std::size_t>(tx) * 4;
      for (int c = 0; c < 4; ++c) q[c] = static_cast<std::uint8_t>((sum[c] + n / 2) / n);
    }
  }
  return t;
}

class Writer {
 public:
  Writer(LayerStack* stack, OpenRasterResult& result) : stack_(stack), result_(result) {}

  std::string Run(std::vector<std::uint8_t>& out);

 private:
  std::string AddPng(const std::string& name, const Pixels& pixels);
  std::string AddLayer(int index, pugi::xml_node stack);
  std::string AddSelection(pugi::xml_node image);
  // The ORA position (top-left corner, y downwards) of canvas rectangle r.
  int OraY(const ilTile& r) const { return height_ - (r.y + r.ny); }

  LayerStack* stack_;
  OpenRasterResult& result_;
  std::vector<Entry> entries_;
  int width_ = 0;
  int height_ = 0;
};

std::string Writer::AddPng(const std::string& name, const Pixels& pixels) {
  Entry e;
  e.name = name;
  e.store = true;  // already deflated
  if (std::string problem = EncodePng(pixels, e.bytes); !problem.empty()) return problem;
  entries_.push_back(std::move(e));
  return "";
}

std::string Writer::AddLayer(int index, pugi::xml_node stackNode) {
  Layer* layer = stack_->GetLayerFromIndex(index);
  ilImage* image = layer ? layer->GetImage() : nullptr;
  if (!image) return "layer " + std::to_string(index) + " has no pixels";
  const std::string name = layer->GetLayerName();
  if (layer->isGeometry()) {
    result_.warnings.push_back("layer '" + name + "' is a shape layer: saved as its pixels");
    layer->GetStencilledImage(nullptr, true, false);  // renders its shapes
  }
  const bool mask = layer->isMask() || image->getCsize() == 1;
  const int channels = mask ? 1 : 4;
  int ox = 0, oy = 0;
  float fx = 0, fy = 0;
  layer->GetOffset(ox, oy);
  layer->GetOffset(fx, fy);
  std::uint8_t fill[4] = {0, 0, 0, 0};
  FillBytes(image, channels, fill);
  const bool filled = fill[0] || fill[1] || fill[2] || fill[3];

  ilImage* stencil = layer->GetStencil();
  ilSIDImage* stencilSid = stencil ? ilSIDImage::asSidImage(stencil) : nullptr;
  std::uint8_t stencilFill = 255;
  ilTile stencilBounds;
  if (stencilSid) {
    FillBytes(stencilSid, 1, &stencilFill);
    stencilBounds = stencilSid->getBounds();
  }
  const bool hasStencil = !mask && stencilSid && (!Empty(stencilBounds) || stencilFill != 255);

  // The rectangle written, in layer coordinates: what holds pixels, and the
  // whole canvas where the fill shows.
  ilTile r = layer->getLayerBounds(false);
  if (hasStencil) r = Union(r, stencilBounds);
  if (filled || (hasStencil && stencilFill != 255)) {
    r = Union(r, ilTile(-ox, -oy, 0, width_, height_, 1));
  }
  const bool empty = Empty(r);
  if (empty) r = ilTile(-ox, -oy, 0, 1, 1, 1);
  if (r.nx > kMaxPosition || r.ny > kMaxPosition) {
    return "layer '" + name + "' is " + std::to_string(r.nx) + " x " + std::to_string(r.ny) +
           " pixels, more than a document may hold";
  }
  Pixels colour, cover;
  if (std::string problem = ReadImage(image, r, channels, colour); !problem.empty()) {
    return problem;
  }
  if (hasStencil) {
    if (std::string problem = ReadImage(stencil, r, 1, cover); !problem.empty()) return problem;
  }
  const std::string base = "data/layer" + std::to_string(index);
  pugi::xml_node node = stackNode.prepend_child("layer");  // stack.xml lists the top first
  node.append_attribute("name") = name.c_str();
  node.append_attribute("src") = (base + ".png").c_str();
  node.append_attribute("x") = r.x + ox;
  node.append_attribute("y") = OraY(ilTile(r.x + ox, r.y + oy, 0, r.nx, r.ny, 1));
  node.append_attribute("opacity") = FloatText(layer->GetOpacity()).c_str();
  // Masks protect pixels from paint; they are no part of the picture.
  node.append_attribute("visibility") = (layer->isActive() && !mask) ? "visible" : "hidden";
  node.append_attribute("composite-op") = "svg:src-over";
  if (stack_->GetCurrentLayerPtr() == layer) node.append_attribute("selected") = "true";
  node.append_attribute("brenmark:kind") = mask ? "mask" : "image";
  if (mask) {
    node.append_attribute("brenmark:visible") = layer->isActive() ? "true" : "false";
    node.append_attribute("brenmark:mask-active") = layer->isMaskActive() ? "true" : "false";
  }
  if (empty) node.append_attribute("brenmark:empty") = "true";
  if (filled) node.append_attribute("brenmark:fill") = HexBytes(fill, channels).c_str();
  if (fx != 0.0f || fy != 0.0f) {
    node.append_attribute("brenmark:offset-x") = FloatText(fx).c_str();
    node.append_attribute("brenmark:offset-y") = FloatText(fy).c_str();
  }
  if (!hasStencil) {
    if (!mask) UnpremultiplyAll(colour);
    return AddPng(base + ".png", colour);
  }
  // Other readers see the pixels through the stencil; Brenmark reads the
  // pixels and the stencil apart.
  Pixels shown = colour;
  for (std::size_t i = 0, p = 0; p < cover.bytes.size(); ++p, i += 4) {
    const unsigned s = cover.bytes[p];
    for (int c = 0; c < 4; ++c) {
      shown.bytes[i + c] = static_cast<std::uint8_t>((shown.bytes[i + c] * s + 127) / 255);
    }
  }
  UnpremultiplyAll(shown);
  UnpremultiplyAll(colour);
  node.append_attribute("brenmark:colour-src") =
      ("brenmark/layer" + std::to_string(index) + "-colour.png").c_str();
  node.append_attribute("brenmark:stencil-src") =
      ("brenmark/layer" + std::to_string(index) + "-stencil.png").c_str();
  node.append_attribute("brenmark:stencil-fill") = stencilFill;
  if (std::string problem = AddPng(base + ".png", shown); !problem.empty()) return problem;
  if (std::string problem =
          AddPng("brenmark/layer" + std::to_string(index) + "-colour.png", colour);
      !problem.empty()) {
    return problem;
  }
  return AddPng("brenmark/layer" + std::to_string(index) + "-stencil.png", cover);
}

std::string Writer::AddSelection(pugi::xml_node image) {
  Layer* selection = stack_->GetSelectionMask();
  ilImage* pixels = selection ? selection->GetImage() : nullptr;
  if (!pixels) return "";
  std::uint8_t fill = 0;
  FillBytes(pixels, 1, &fill);
  int ox = 0, oy = 0;
  selection->GetOffset(ox, oy);
  ilTile r = selection->getLayerBounds(false);
  const bool active = selection->isMaskActive();
  if (Empty(r) && fill == 0 && active) return "";  // open everywhere: the default
  if (Empty(r)) r = ilTile(-ox, -oy, 0, 1, 1, 1);
  Pixels grey;
  if (std::string problem = ReadImage(pixels, r, 1, grey); !problem.empty()) return problem;
  image.append_attribute("brenmark:selection") = "brenmark/selection.png";
  image.append_attribute("brenmark:selection-x") = r.x + ox;
  image.append_attribute("brenmark:selection-y") =
      OraY(ilTile(r.x + ox, r.y + oy, 0, r.nx, r.ny, 1));
  image.append_attribute("brenmark:selection-fill") = fill;
  image.append_attribute("brenmark:selection-active") = active ? "true" : "false";
  return AddPng("brenmark/selection.png", grey);
}

std::string Writer::Run(std::vector<std::uint8_t>& out) {
  const ilTile size = stack_->GetSize();
  width_ = size.nx;
  height_ = size.ny;
  if (width_ < 1 || height_ < 1) return "the canvas has no size";
  entries_.push_back({"mimetype", {}, true});
  const std::string mime = "image/openraster";
  entries_.back().bytes.assign(mime.begin(), mime.end());
  entries_.push_back({"stack.xml", {}, false});

  pugi::xml_document xml;
  pugi::xml_node decl = xml.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  pugi::xml_node image = xml.append_child("image");
  image.append_attribute("version") = "0.0.5";
  image.append_attribute("w") = width_;
  image.append_attribute("h") = height_;
  image.append_attribute("xmlns:brenmark") = kNamespace;
  float bg[4];
  stack_->GetBackgroundColor().Getf(bg[0], bg[1], bg[2], bg[3]);
  image.append_attribute("brenmark:background") =
      (FloatText(bg[0]) + " " + FloatText(bg[1]) + " " + FloatText(bg[2]) + " " + FloatText(bg[3]))
          .c_str();
  pugi::xml_node stackNode = image.append_child("stack");
  for (int i = 1; i <= stack_->GetLayerCount(); ++i) {
    if (std::string problem = AddLayer(i, stackNode); !problem.empty()) return problem;
  }
  // The background colour, for readers that know no such thing: an opaque
  // bottom layer of the canvas's size.
  unsigned packed = 0;
  stack_->GetBackgroundColor().Get(packed);
  if (packed >> 24) {
    Pixels solid;
    solid.width = width_;
    solid.height = height_;
    solid.channels = 4;
    solid.bytes.resize(solid.RowBytes() * static_cast<std::size_t>(height_));
    std::uint8_t px[4];
    std::memcpy(px, &packed, 4);
    for (int c = 0; c < 3; ++c) px[c] = Unpremultiply(px[c], px[3]);
    for (std::size_t i = 0; i < solid.bytes.size(); i += 4) std::memcpy(&solid.bytes[i], px, 4);
    pugi::xml_node node = stackNode.append_child("layer");
    node.append_attribute("name") = "Background";
    node.append_attribute("src") = "data/background.png";
    node.append_attribute("x") = 0;
    node.append_attribute("y") = 0;
    node.append_attribute("opacity") = "1";
    node.append_attribute("visibility") = "visible";
    node.append_attribute("composite-op") = "svg:src-over";
    node.append_attribute("brenmark:kind") = "background";
    if (std::string problem = AddPng("data/background.png", solid); !problem.empty()) {
      return problem;
    }
  }
  if (std::string problem = AddSelection(image); !problem.empty()) return problem;

  Pixels merged;
  if (std::string problem = Compose(stack_, width_, height_, merged); !problem.empty()) {
    return problem;
  }
  Pixels thumbnail = Thumbnail(merged);
  UnpremultiplyAll(merged);
  UnpremultiplyAll(thumbnail);
  if (std::string problem = AddPng("mergedimage.png", merged); !problem.empty()) return problem;
  if (std::string problem = AddPng("Thumbnails/thumbnail.png", thumbnail); !problem.empty()) {
    return problem;
  }
  std::ostringstream text;
  xml.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
  const std::string s = text.str();
  entries_[1].bytes.assign(s.begin(), s.end());
  return WriteZip(entries_, out);
}

LayerStack* ResolveCanvas(int canvas) {
  if (canvas == -2) canvas = Brenmark.GetCurrentLayerStack();
  return canvas >= 0 ? Brenmark.GetLayerStack(canvas) : nullptr;
}

}  // namespace

}  // namespace brenmark::ora

namespace brenmark {

OpenRasterResult SaveOpenRasterMemory(int canvas, std::vector<std::uint8_t>& out) {
  OpenRasterResult result;
  LayerStack* stack = ora::ResolveCanvas(canvas);
  if (!stack) {
    result.message = "there is no canvas " + std::to_string(canvas);
    return result;
  }
  std::vector<std::uint8_t> bytes;
  ora::Writer writer(stack, result);
  result.message = writer.Run(bytes);
  result.ok = result.message.empty();
  if (result.ok) out = std::move(bytes);
  return result;
}

OpenRasterResult SaveOpenRaster(int canvas, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  OpenRasterResult result = SaveOpenRasterMemory(canvas, bytes);
  if (!result.ok) return result;
  result.message = ora::WriteFileAtomically(path, bytes);
  result.ok = result.message.empty();
  return result;
}

}  // namespace brenmark
