// Opening OpenRaster documents: the archive and stack.xml checked and read
// into an OpenRasterDocument, then made into a new canvas through the
// engine's public interface.
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/smart_image.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>

#include "ora_internal.h"

namespace brenmark {

OpenRasterDocument::OpenRasterDocument() : data_(std::make_unique<Data>()) {}
OpenRasterDocument::~OpenRasterDocument() = default;
OpenRasterDocument::OpenRasterDocument(OpenRasterDocument&&) noexcept = default;
OpenRasterDocument& OpenRasterDocument::operator=(OpenRasterDocument&&) noexcept = default;
int OpenRasterDocument::Width() const {
  return data_ ? data_->width : 0;
}
int OpenRasterDocument::Height() const {
  return data_ ? data_->height : 0;
}
int OpenRasterDocument::LayerCount() const {
  return data_ ? static_cast<int>(data_->layers.size()) : 0;
}

}  // namespace brenmark

namespace brenmark::ora {

namespace {

bool ParseInt(const char* text, long low, long high, int& out) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (errno || !end || *end || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseFloat(const char* text, float& out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (!end || *end || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool ParseHex(const char* text, int count, std::uint8_t* out) {
  if (!text || std::strlen(text) != static_cast<std::size_t>(count) * 2) return false;
  for (int i = 0; i < count; ++i) {
    unsigned v = 0;
    for (int k = 0; k < 2; ++k) {
      const char c = text[i * 2 + k];
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (d < 0) return false;
      v = v * 16 + static_cast<unsigned>(d);
    }
    out[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

class Reader {
 public:
  Reader(ZipReader& zip, const OpenRasterLimits& limits, OpenRasterDocument::Data& doc,
         OpenRasterResult& result)
      : zip_(zip), limits_(limits), doc_(doc), result_(result) {}

  std::string Run();

 private:
  // The value of Brenmark's attribute `name` (null when absent, and always
  // for documents that do not declare Brenmark's namespace).
  const char* Own(pugi::xml_node node, const char* name) const {
    if (prefix_.empty()) return nullptr;
    pugi::xml_attribute a = node.attribute((prefix_ + name).c_str());
    return a ? a.value() : nullptr;
  }
  bool OwnFlag(pugi::xml_node node, const char* name, bool otherwise) const {
    const char* v = Own(node, name);
    return v ? std::strcmp(v, "true") == 0 : otherwise;
  }
  std::string Png(const std::string& src, int channels, Pixels& out);
  std::string Walk(pugi::xml_node stack, int x, int y, float opacity, bool visible, int depth);
  std::string ReadLayer(pugi::xml_node node, int x, int y, float opacity, bool visible);
  std::string ReadSelection(pugi::xml_node image);
  void Warn(const std::string& text) {
    for (const std::string& w : result_.warnings) {
      if (w == text) return;
    }
    result_.warnings.push_back(text);
  }

  ZipReader& zip_;
  const OpenRasterLimits& limits_;
  OpenRasterDocument::Data& doc_;
  OpenRasterResult& result_;
  std::string prefix_;
  int layerElements_ = 0;
  std::vector<LayerData> topFirst_;
};

std::string Reader::Png(const std::string& src, int channels, Pixels& out) {
  std::vector<std::uint8_t> bytes;
  if (std::string problem = zip_.Read(src, bytes); !problem.empty()) return problem;
  if (std::string problem = DecodePng(bytes, channels, zip_, limits_.maxSide, out);
      !problem.empty()) {
    return "entry '" + src + "': " + problem;
  }
  return "";
}

std::string Reader::ReadLayer(pugi::xml_node node, int x, int y, float opacity, bool visible) {
  if (++layerElements_ > limits_.maxLayers) {
    return "the document has more than " + std::to_string(limits_.maxLayers) + " layers";
  }
  LayerData l;
  l.name = node.attribute("name").value();
  const std::string label = "layer '" + l.name + "'";
  const char* src = node.attribute("src").value();
  if (!*src) return label + " names no image (src)";
  int lx = 0, ly = 0;
  if (node.attribute("x") &&
      !ParseInt(node.attribute("x").value(), -kMaxPosition, kMaxPosition, lx)) {
    return label + ": x is not a position the engine can hold";
  }
  if (node.attribute("y") &&
      !ParseInt(node.attribute("y").value(), -kMaxPosition, kMaxPosition, ly)) {
    return label + ": y is not a position the engine can hold";
  }
  lx += x;
  ly += y;
  if (lx < -kMaxPosition || lx > kMaxPosition || ly < -kMaxPosition || ly > kMaxPosition) {
    return label + " lies beyond what the engine can hold";
  }
  float o = 1.0f;
  if (node.attribute("opacity") && !ParseFloat(node.attribute("opacity").value(), o)) {
    Warn(label + ": opacity '" + node.attribute("opacity").value() + "' read as 1");
    o = 1.0f;
  }
  l.opacity = std::clamp(o, 0.0f, 1.0f) * opacity;
  l.visible = visible && std::strcmp(node.attribute("visibility").value(), "hidden") != 0;
  l.selected = std::strcmp(node.attribute("selected").value(), "true") == 0;
  const char* op = node.attribute("composite-op").value();
  if (*op && std::strcmp(op, "svg:src-over") != 0) {
    Warn(label + ": composite operation '" + op + "' is shown as normal");
  }
  const char* kind = Own(node, "kind");
  if (kind && std::strcmp(kind, "background") == 0) {
    doc_.hasBackground = true;  // the colour itself is an attribute of the image
    return "";
  }
  l.mask = kind && std::strcmp(kind, "mask") == 0;
  if (l.mask) {
    l.visible = OwnFlag(node, "visible", true);
    l.maskActive = OwnFlag(node, "mask-active", true);
  }
  l.empty = OwnFlag(node, "empty", false);
  const int channels = l.mask ? 1 : 4;
  if (const char* fill = Own(node, "fill"); fill && !ParseHex(fill, channels, l.fill)) {
    return label + ": bad fill '" + fill + "'";
  }
  if (const char* v = Own(node, "offset-x"); v && !ParseFloat(v, l.offsetX)) {
    return label + ": bad offset-x";
  }
  if (const char* v = Own(node, "offset-y"); v && !ParseFloat(v, l.offsetY)) {
    return label + ": bad offset-y";
  }
  if (std::fabs(l.offsetX) > kMaxPosition || std::fabs(l.offsetY) > kMaxPosition) {
    return label + ": an offset beyond what the engine can hold";
  }
  const char* colourSrc = Own(node, "colour-src");
  const char* stencilSrc = Own(node, "stencil-src");
  if (std::string problem = Png(colourSrc && stencilSrc ? colourSrc : src, channels, l.pixels);
      !problem.empty()) {
    return label + ": " + problem;
  }
  if (colourSrc && stencilSrc) {
    if (std::string problem = Png(stencilSrc, 1, l.stencil); !problem.empty()) {
      return label + ": " + problem;
    }
    if (l.stencil.width != l.pixels.width || l.stencil.height != l.pixels.height) {
      return label + ": the stencil's size differs from the layer's";
    }
    int fill = 255;
    if (const char* v = Own(node, "stencil-fill"); v && !ParseInt(v, 0, 255, fill)) {
      return label + ": bad stencil-fill";
    }
    l.stencilFill = static_cast<std::uint8_t>(fill);
    l.hasStencil = true;
  }
  l.x = lx;
  l.y = doc_.height - ly - l.pixels.height;  // y upwards from the bottom
  topFirst_.push_back(std::move(l));
  return "";
}

std::string Reader::Walk(pugi::xml_node stack, int x, int y, float opacity, bool visible,
                         int depth) {
  for (pugi::xml_node child : stack.children()) {
    const std::string tag = child.name();
    if (tag == "layer") {
      if (std::string problem = ReadLayer(child, x, y, opacity, visible); !problem.empty()) {
        return problem;
      }
    } else if (tag == "stack") {
      if (depth >= 64) return "stacks are nested more than 64 deep";
      Warn("nested stacks were flattened into one list of layers");
      int sx = 0, sy = 0;
      float so = 1.0f;
      ParseInt(child.attribute("x").value(), -kMaxPosition, kMaxPosition, sx);
      ParseInt(child.attribute("y").value(), -kMaxPosition, kMaxPosition, sy);
      if (!ParseFloat(child.attribute("opacity").value(), so)) so = 1.0f;
      const bool shown = std::strcmp(child.attribute("visibility").value(), "hidden") != 0;
      if (std::string problem = Walk(child, x + sx, y + sy, opacity * std::clamp(so, 0.0f, 1.0f),
                                     visible && shown, depth + 1);
          !problem.empty()) {
        return problem;
      }
    } else if (tag == "text" || tag == "filter") {
      Warn("<" + tag + "> elements are not read");
    }
  }
  return "";
}

std::string Reader::ReadSelection(pugi::xml_node image) {
  const char* src = Own(image, "selection");
  if (!src) return "";
  SelectionData& s = doc_.selection;
  if (std::string problem = Png(src, 1, s.pixels); !problem.empty()) {
    return "the selection: " + problem;
  }
  int x = 0, y = 0, fill = 0;
  if (!ParseInt(Own(image, "selection-x"), -kMaxPosition, kMaxPosition, x) ||
      !ParseInt(Own(image, "selection-y"), -kMaxPosition, kMaxPosition, y)) {
    return "the selection has no position the engine can hold";
  }
  if (const char* v = Own(image, "selection-fill"); v && !ParseInt(v, 0, 255, fill)) {
    return "the selection has a bad fill";
  }
  s.present = true;
  s.x = x;
  s.y = doc_.height - y - s.pixels.height;
  s.fill = static_cast<std::uint8_t>(fill);
  s.active = OwnFlag(image, "selection-active", true);
  return "";
}

std::string Reader::Run() {
  std::string first;
  if (std::string problem = zip_.FirstEntry(first); !problem.empty()) return problem;
  if (zip_.Has("mimetype")) {
    std::vector<std::uint8_t> mime;
    if (std::string problem = zip_.Read("mimetype", mime); !problem.empty()) return problem;
    if (std::string(mime.begin(), mime.end()) != "image/openraster") {
      return "not an OpenRaster document (its mimetype is not image/openraster)";
    }
    if (first != "mimetype") Warn("the mimetype entry is not the first in the archive");
  } else {
    Warn("the archive has no mimetype entry");
  }
  if (!zip_.Has("stack.xml")) return "not an OpenRaster document (no stack.xml)";
  std::vector<std::uint8_t> text;
  if (std::string problem = zip_.Read("stack.xml", text); !problem.empty()) return problem;
  pugi::xml_document xml;
  const pugi::xml_parse_result parsed =
      xml.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    return std::string("stack.xml is not well-formed XML (") + parsed.description() + ")";
  }
  pugi::xml_node image = xml.child("image");
  if (!image) return "stack.xml has no <image> element";
  for (pugi::xml_attribute a : image.attributes()) {
    const std::string name = a.name();
    if (name.rfind("xmlns:", 0) == 0 && std::strcmp(a.value(), kNamespace) == 0) {
      prefix_ = name.substr(6) + ":";
    }
  }
  if (!ParseInt(image.attribute("w").value(), 1, limits_.maxSide, doc_.width) ||
      !ParseInt(image.attribute("h").value(), 1, limits_.maxSide, doc_.height)) {
    return "the image size (w " + std::string(image.attribute("w").value()) + ", h " +
           image.attribute("h").value() + ") is missing or beyond " +
           std::to_string(limits_.maxSide) + " x " + std::to_string(limits_.maxSide);
  }
  if (std::string problem = zip_.Charge(std::uint64_t(doc_.width) * doc_.height * 4);
      !problem.empty()) {
    return problem;
  }
  pugi::xml_node stack = image.child("stack");
  if (!stack) return "stack.xml has no <stack> element";
  if (std::string problem = Walk(stack, 0, 0, 1.0f, true, 0); !problem.empty()) return problem;
  if (const char* bg = Own(image, "background")) {
    float c[4];
    char* end = const_cast<char*>(bg);
    for (float& v : c) {
      v = std::strtof(end, &end);
      if (!std::isfinite(v)) v = 0.0f;
    }
    std::copy(c, c + 4, doc_.background);
    doc_.hasBackground = true;
  }
  if (std::string problem = ReadSelection(image); !problem.empty()) return problem;
  doc_.layers.assign(std::make_move_iterator(topFirst_.rbegin()),
                     std::make_move_iterator(topFirst_.rend()));
  return "";
}

// Copies `p` (rows top first, straight) into `image` with its top-left
// pixel at image coordinates (x, y + height - 1), premultiplying colour.
bool WritePixels(ilImage* image, const Pixels& p, int x, int y) {
  std::vector<std::uint8_t> row(p.RowBytes());
  for (int r = 0; r < p.height; ++r) {
    std::memcpy(row.data(), p.Row(r), row.size());
    if (p.channels == 4) {
      for (std::size_t i = 0; i < row.size(); i += 4) {
        for (int c = 0; c < 3; ++c) row[i + c] = Premultiply(row[i + c], row[i + 3]);
      }
    }
    if (image->setTile(x, y + p.height - 1 - r, p.width, 1, row.data()) != ilOkay) return false;
  }
  return true;
}

// A new smart image of `channels` bytes filled with `fill`, holding `p`
// at (x, y); referenced once.
ilSmartImage* MakeImage(const Pixels* p, int channels, const std::uint8_t* fill, int x, int y) {
  ilSmartImage* image = new ilSmartImage(ilPixel(ilUChar, channels, fill));
  image->ref();
  if (p && !WritePixels(image, *p, x, y)) {
    image->unref();
    return nullptr;
  }
  return image;
}

OpenRasterResult Read(const void* bytes, std::size_t size, OpenRasterDocument& out,
                      const OpenRasterLimits& limits) {
  OpenRasterResult result;
  ZipReader zip;
  OpenRasterDocument doc;
  result.message = zip.Open(bytes, size, limits);
  if (result.message.empty()) {
    Reader reader(zip, limits, *doc.data(), result);
    result.message = reader.Run();
  }
  result.ok = result.message.empty();
  if (result.ok) out = std::move(doc);
  return result;
}

}  // namespace

}  // namespace brenmark::ora

namespace brenmark {

OpenRasterResult ReadOpenRasterMemory(const void* bytes, std::size_t size, OpenRasterDocument& out,
                                      const OpenRasterLimits& limits) {
  return ora::Read(bytes, size, out, limits);
}

OpenRasterResult ReadOpenRaster(const std::string& path, OpenRasterDocument& out,
                                const OpenRasterLimits& limits) {
  std::vector<std::uint8_t> bytes;
  if (std::string problem = ora::ReadWholeFile(path, limits.maxTotalBytes, bytes);
      !problem.empty()) {
    OpenRasterResult result;
    result.message = problem;
    return result;
  }
  OpenRasterResult result = ora::Read(bytes.data(), bytes.size(), out, limits);
  if (!result.ok) result.message = "'" + path + "': " + result.message;
  return result;
}

OpenRasterResult CreateCanvas(const OpenRasterDocument& document, const ViewerParms& parms) {
  OpenRasterResult result;
  const OpenRasterDocument::Data* doc = document.data();
  if (!doc || doc->width < 1 || doc->height < 1) {
    result.message = "the document has not been read";
    return result;
  }
  if (Brenmark.GetLayerStackCount() >= PaintManager::kMaxLayerStacks) {
    result.message =
        "all " + std::to_string(PaintManager::kMaxLayerStacks) + " canvases are in use";
    return result;
  }
  // Images first: a failure leaves no canvas behind.
  struct Built {
    ilSmartImage* colour = nullptr;
    ilSmartImage* stencil = nullptr;
  };
  std::vector<Built> built;
  auto release = [&built]() {
    for (Built& b : built) {
      if (b.colour) b.colour->unref();
      if (b.stencil) b.stencil->unref();
    }
  };
  for (const ora::LayerData& l : doc->layers) {
    const int ox = static_cast<int>(l.offsetX), oy = static_cast<int>(l.offsetY);
    const int channels = l.mask ? 1 : 4;
    Built b;
    b.colour = ora::MakeImage(l.empty ? nullptr : &l.pixels, channels, l.fill, l.x - ox, l.y - oy);
    if (b.colour && l.hasStencil) {
      b.stencil = ora::MakeImage(&l.stencil, 1, &l.stencilFill, l.x - ox, l.y - oy);
    }
    built.push_back(b);
    if (!b.colour || (l.hasStencil && !b.stencil)) {
      release();
      result.message = "the engine refused the pixels of layer '" + l.name + "'";
      return result;
    }
  }
  const int h = Brenmark.AddLayerStack(parms);
  LayerStack* stack = h >= 0 ? Brenmark.GetLayerStack(h) : nullptr;
  if (!stack) {
    release();
    result.message = "the engine refused a canvas";
    return result;
  }
  const ilTile size = stack->GetSize();
  if (size.nx != doc->width || size.ny != doc->height) {
    result.warnings.push_back("the canvas is " + std::to_string(size.nx) + " x " +
                              std::to_string(size.ny) + " pixels, the document " +
                              std::to_string(doc->width) + " x " + std::to_string(doc->height));
  }
  // Documents of other applications show transparency where nothing is
  // painted; Brenmark's carry their background colour.
  const float* bg = doc->background;
  stack->SetBackgroundColor(doc->hasBackground ? PaintColor(bg[0], bg[1], bg[2], bg[3])
                                               : PaintColor(0.0f, 0.0f, 0.0f, 0.0f));
  const int shift = size.ny - doc->height;  // keeps the top-left corners together
  int selected = 0;
  for (std::size_t i = 0; i < doc->layers.size(); ++i) {
    const ora::LayerData& l = doc->layers[i];
    const int ox = static_cast<int>(l.offsetX), oy = static_cast<int>(l.offsetY);
    void* handle = Brenmark.AddLayer(built[i].colour, built[i].stencil, l.mask, true, false, h,
                                     false, ox, oy + shift, -2, false);
    Layer* layer = stack->GetLayerFromHandle(handle);
    if (!layer) {
      release();
      Brenmark.DeleteLayerStack(h);
      result.message = "the engine refused layer '" + l.name + "'";
      return result;
    }
    const int index = stack->GetIndexFromLayer(layer);
    if (l.offsetX != static_cast<float>(ox) || l.offsetY != static_cast<float>(oy)) {
      layer->SetOffset(l.offsetX, l.offsetY + static_cast<float>(shift));
    }
    if (!l.name.empty()) stack->SetLayerName(l.name.c_str(), index);
    stack->SetLayerOpacity(index, l.opacity);
    stack->SetLayerActive(index, l.visible);
    if (l.mask && !l.maskActive) stack->SetMaskActive(false, index);
    if (l.selected) selected = index;
  }
  release();
  const ora::SelectionData& s = doc->selection;
  Layer* selection = stack->GetSelectionMask();
  if (s.present && selection && selection->GetImage()) {
    ilImage* image = selection->GetImage();
    int ox = 0, oy = 0;
    selection->GetOffset(ox, oy);
    image->setFill(ilPixel(ilUChar, 1, &s.fill));
    ora::WritePixels(image, s.pixels, s.x - ox, s.y - oy + shift);
    stack->SetMaskActive(s.active, stack->GetLayerCount() + 1);
  }
  if (selected > 0) stack->SetCurrentLayer(selected, true);
  stack->RedrawEntireCanvas(true, true);
  result.ok = true;
  result.canvas = h;
  return result;
}

OpenRasterResult OpenOpenRasterMemory(const void* bytes, std::size_t size, const ViewerParms& parms,
                                      const OpenRasterLimits& limits) {
  OpenRasterDocument doc;
  OpenRasterResult read = ReadOpenRasterMemory(bytes, size, doc, limits);
  if (!read.ok) return read;
  OpenRasterResult made = CreateCanvas(doc, parms);
  read.warnings.insert(read.warnings.end(), made.warnings.begin(), made.warnings.end());
  made.warnings = std::move(read.warnings);
  return made;
}

OpenRasterResult OpenOpenRaster(const std::string& path, const ViewerParms& parms,
                                const OpenRasterLimits& limits) {
  OpenRasterDocument doc;
  OpenRasterResult read = ReadOpenRaster(path, doc, limits);
  if (!read.ok) return read;
  OpenRasterResult made = CreateCanvas(doc, parms);
  read.warnings.insert(read.warnings.end(), made.warnings.begin(), made.warnings.end());
  made.warnings = std::move(read.warnings);
  if (!made.ok) made.message = "'" + path + "': " + made.message;
  return made;
}

}  // namespace brenmark
