// OpenRaster documents: a canvas of every kind of layer saved and opened
// again without loss, what other readers see in the file, documents of
// other applications read leniently, damaged and hostile ones refused
// before anything is made, and a failed save that leaves the old file.
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/openraster.h>
#include <brenmark/paint_manager.h>
#include <brenmark/qv_memory_img.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <zip.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "host/reference_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
// Wider and taller than two 128-pixel pages.
constexpr int kW = 300, kH = 260;

// ---- Archives and PNGs built by hand.
Bytes Zip(const std::vector<std::pair<std::string, std::string>>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_t* z = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  zip_source_keep(target);
  for (const auto& [name, data] : entries) {
    char* copy = static_cast<char*>(std::malloc(data.size() + 1));
    std::memcpy(copy, data.data(), data.size());
    const zip_int64_t i =
        zip_file_add(z, name.c_str(), zip_source_buffer(z, copy, data.size(), 1), 0);
    zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
  }
  zip_close(z);
  zip_stat_t st;
  zip_source_open(target);
  zip_source_stat(target, &st);
  Bytes out(st.size);
  zip_source_read(target, out.data(), st.size);
  zip_source_close(target);
  zip_source_free(target);
  return out;
}

std::string Entry(const Bytes& archive, const std::string& name) {
  zip_error_t error;
  zip_source_t* s = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
  zip_t* z = zip_open_from_source(s, ZIP_RDONLY, &error);
  zip_stat_t st;
  std::string out;
  if (z && zip_stat(z, name.c_str(), 0, &st) == 0) {
    out.resize(st.size);
    zip_file_t* f = zip_fopen(z, name.c_str(), 0);
    zip_fread(f, out.data(), st.size);
    zip_fclose(f);
  }
  if (z) zip_discard(z);
  return out;
}

// A PNG of the simplified API's `format` (rows top first).
std::string Png(int w, int h, png_uint_32 format, const void* pixels, const void* map = nullptr,
                int colours = 0) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = format;
  image.colormap_entries = colours;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, map);
  std::string out(size, '\0');
  png_image_write_to_memory(&image, out.data(), &size, 0, pixels, 0, map);
  out.resize(size);
  return out;
}

// The RGBA (straight) pixels of a PNG, rows top first.
Bytes Decode(const std::string& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Bytes out;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return out;
  image.format = PNG_FORMAT_RGBA;
  out.resize(PNG_IMAGE_SIZE(image));
  png_image_finish_read(&image, nullptr, out.data(), 0, nullptr);
  return out;
}

std::string Stack(const std::string& layers, const std::string& image = "w=\"4\" h=\"3\"") {
  return "<?xml version=\"1.0\"?><image " + image + "><stack>" + layers + "</stack></image>";
}

// A valid premultiplied pixel that differs from its neighbours.
std::uint32_t Pattern(int x, int y, unsigned seed) {
  const unsigned a = (x * 7u + y * 13u + seed) & 255u;
  const unsigned r = (x * 31u + seed) % (a + 1), g = (y * 17u) % (a + 1), b = (x ^ y) % (a + 1);
  return r | g << 8 | b << 16 | a << 24;
}

void Paint(ilImage* image, int x0, int y0, int w, int h, unsigned seed) {
  const int channels = image->getCsize();
  Bytes row(static_cast<std::size_t>(w) * channels);
  for (int y = y0; y < y0 + h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = Pattern(x0 + x, y, seed);
      if (channels == 1)
        row[x] = static_cast<std::uint8_t>(p >> 24);
      else
        std::memcpy(&row[x * 4], &p, 4);
    }
    image->setTile(x0, y, w, 1, row.data());
  }
}

Bytes Read(ilImage* image, const ilTile& r) {
  Bytes out(static_cast<std::size_t>(r.nx) * r.ny * image->getCsize());
  image->getTile(r.x, r.y, r.nx, r.ny, out.data());
  return out;
}

ilTile Grown(ilTile a, const ilTile& b) {
  const int x0 = std::min(a.x, b.x) - 2, y0 = std::min(a.y, b.y) - 2;
  const int x1 = std::max(a.x + a.nx, b.x + b.nx) + 2, y1 = std::max(a.y + a.ny, b.y + b.ny) + 2;
  return ilTile(x0, y0, 0, x1 - x0, y1 - y0, 1);
}

class OpenRaster : public ::testing::Test {
 protected:
  void SetUp() override {
    Brenmark.SetCallbacks(host_.Install());
    host_.SetDefaultViewSize(kW, kH);
    host_.SetBackgroundColor(0xFF305070u);
  }
  void TearDown() override {
    for (int h = 0; h < PaintManager::kMaxLayerStacks; ++h) {
      if (Brenmark.GetLayerStack(h)) Brenmark.DeleteLayerStack(h);
    }
  }

  // Every kind of state a canvas holds, across page seams and edges.
  LayerStack* Build() {
    LayerStack* s = Brenmark.GetLayerStack(Brenmark.AddLayerStack(ViewerParms{}));
    auto add = [s](bool mask, const char* name) {
      s->AddLayer(nullptr, nullptr, mask, true, false, s->GetLayerCount(), true);
      Layer* l = s->GetLayerFromIndex(s->GetLayerCount());
      l->SetLayerName(name);
      return l;
    };
    Paint(add(false, "Paper")->GetImage(), 0, 0, kW, kH, 1);
    Layer* ink = add(false, "Ink");
    Paint(ink->GetImage(), 100, 120, 150, 100, 2);
    Paint(ink->GetStencil(), 120, 110, 50, 140, 3);  // reaches past the colour
    ink->SetOffset(13.0f, -7.0f);
    ink->SetOpacity(0.5f);
    Layer* mask = add(true, "Ink mask");
    Paint(mask->GetImage(), -5, -5, 140, 140, 4);
    mask->SetOffset(2.5f, 3.25f);
    mask->SetMaskActive(false);
    Layer* hidden = add(false, "Flood");
    const std::uint8_t fill[4] = {10, 20, 30, 40};
    hidden->GetImage()->setFill(ilPixel(ilUChar, 4, fill));
    Paint(hidden->GetImage(), 250, 250, 60, 30, 5);  // the last pixels of the canvas and past them
    hidden->SetActive(false);
    Layer* inverted = add(true, "Inverted");
    inverted->InvertMask();
    add(false, "Empty");
    Paint(s->GetSelectionMask()->GetImage(), 250, 200, 60, 60, 6);
    s->SetBackgroundColor(PaintColor(0.25f, 0.5f, 0.125f, 1.0f));
    s->SetCurrentLayer(2, true);
    s->RedrawEntireCanvas(true, true);
    return s;
  }

  brenmark::host::ReferenceHost host_;
};

void ExpectSameLayers(LayerStack* a, LayerStack* b) {
  auto state = [](Layer* l) {
    float ox, oy;
    l->GetOffset(ox, oy);
    return std::tuple{l->isMask(), l->isActive(), l->isMaskActive(), l->GetOpacity(), ox, oy};
  };
  ASSERT_EQ(a->GetLayerCount(), b->GetLayerCount());
  for (int i = 1; i <= a->GetLayerCount() + 1; ++i) {  // count + 1: the selection
    SCOPED_TRACE(i);
    Layer* x = a->GetLayerFromIndex(i);
    Layer* y = b->GetLayerFromIndex(i);
    if (i <= a->GetLayerCount()) {
      EXPECT_STREQ(x->GetLayerName(), y->GetLayerName());
    }
    EXPECT_EQ(state(x), state(y));
    EXPECT_EQ(x->GetImage()->getFill(), y->GetImage()->getFill());
    const ilTile r = Grown(x->getLayerBounds(false), y->getLayerBounds(false));
    EXPECT_EQ(Read(x->GetImage(), r), Read(y->GetImage(), r));
    if (i <= a->GetLayerCount()) {
      EXPECT_EQ(x->GetStencil()->getFill(), y->GetStencil()->getFill());
      EXPECT_EQ(Read(x->GetStencil(), r), Read(y->GetStencil(), r));
    }
  }
  EXPECT_EQ(a->GetBackgroundColor(), b->GetBackgroundColor());
  EXPECT_EQ(a->GetCurrentLayer(), b->GetCurrentLayer());
}

Bytes Composite(LayerStack* s) {
  ilQVMemoryImg* c = s->GetCompositeImage();
  const auto* p = static_cast<const std::uint8_t*>(c->getDataPtr());
  Bytes out(p, p + std::size_t{4} * c->getXsize() * c->getYsize());
  c->unref();
  return out;
}

// A canvas of every kind of layer comes back unchanged, and other readers
// see the composed picture.
TEST_F(OpenRaster, RoundTripKeepsEveryLayerAndOtherReadersSeeTheComposite) {
  LayerStack* s = Build();
  Bytes saved;
  brenmark::OpenRasterResult r = brenmark::SaveOpenRasterMemory(-2, saved);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_TRUE(r.warnings.empty());
  r = brenmark::OpenOpenRasterMemory(saved.data(), saved.size());
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
  LayerStack* opened = Brenmark.GetLayerStack(r.canvas);
  ExpectSameLayers(s, opened);
  const Bytes shown = Composite(s);
  EXPECT_EQ(shown, Composite(opened));
  // Saving what was opened gives the same bytes.
  Bytes again;
  ASSERT_TRUE(brenmark::SaveOpenRasterMemory(r.canvas, again).ok);
  EXPECT_EQ(saved, again);
  // mimetype first, stored, with no extra field: at byte 30 of the file.
  ASSERT_GT(saved.size(), 54u);
  EXPECT_EQ(saved[8], 0);  // compression method: stored
  EXPECT_EQ(std::string(saved.begin() + 30, saved.begin() + 54), "mimetypeimage/openraster");
  // mergedimage.png is the engine's composite, straight, top row first.
  const Bytes merged = Decode(Entry(saved, "mergedimage.png"));
  ASSERT_EQ(merged.size(), shown.size());
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const std::uint8_t* m = &merged[(std::size_t{kH - 1u - y} * kW + x) * 4];
      const std::uint8_t* p = &shown[(std::size_t(y) * kW + x) * 4];
      ASSERT_EQ(m[3], p[3]) << x << "," << y;
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ((m[c] * p[3] + 127) / 255, p[c]) << x << "," << y << " channel " << c;
      }
    }
  }
  const Bytes thumb = Decode(Entry(saved, "Thumbnails/thumbnail.png"));
  EXPECT_EQ(thumb.size(), 256u * 221u * 4u);  // 300 x 260 at most 256 on the long side
  const std::string xml = Entry(saved, "stack.xml");
  for (const char* part :
       {"<image version=\"0.0.5\" w=\"300\" h=\"260\" xmlns:brenmark=\"urn:brenmark:openraster:1\"",
        "name=\"Ink mask\" src=\"data/layer3.png\" x=\"-3\" y=\"122\" opacity=\"1\" "
        "visibility=\"hidden\"",
        "name=\"Ink\" src=\"data/layer2.png\" x=\"113\" y=\"17\" opacity=\"0.5\" "
        "visibility=\"visible\" composite-op=\"svg:src-over\" selected=\"true\"",
        "brenmark:kind=\"background\"", "brenmark:selection-fill=\"0\""}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
  }
}

// Documents of one layer from a.png (given as its stack.xml layer element),
// with the top-left pixel the engine then holds, premultiplied.
TEST_F(OpenRaster, ReadsOtherDocumentsLeniently) {
  const std::uint8_t rgba[12 * 4] = {255, 0, 0, 255, 0, 255, 0, 128};
  const std::uint8_t grey[12] = {200, 100};
  const std::uint16_t deep[12 * 3] = {0x8080, 0xFFFF, 0};
  const std::uint8_t map[2 * 4] = {10, 20, 30, 255, 40, 50, 60, 102};
  const std::uint8_t indices[12] = {1, 0};
  const std::string a = Png(4, 3, PNG_FORMAT_RGBA, rgba), layer = "<layer src=\"a.png\"/>";
  const struct {
    const char* what;
    std::string layer, png;
    std::vector<std::uint8_t> topLeft;
    std::string warning = {};  // empty: none
  } cases[] = {
      {"no version, no mergedimage or thumbnail",
       "<layer name=\"A\" src=\"a.png\"/>",
       a,
       {255, 0, 0, 255}},
      {"unknown composite op",
       "<layer src=\"a.png\" composite-op=\"svg:multiply\"/>",
       a,
       {255, 0, 0, 255},
       "layer '': composite operation 'svg:multiply' is shown as normal"},
      {"nested stack, moved and faded",
       "<stack x=\"1\" opacity=\"0.5\">" + layer + "</stack>",
       a,
       {255, 0, 0, 255},
       "nested stacks were flattened into one list of layers"},
      {"grey", layer, Png(4, 3, PNG_FORMAT_GRAY, grey), {200, 200, 200, 255}},
      {"16 bits", layer, Png(4, 3, PNG_FORMAT_LINEAR_RGB, deep), {128, 255, 0, 255}},
      {"palette with transparency",
       layer,
       Png(4, 3, PNG_FORMAT_RGBA_COLORMAP, indices, map, 2),
       {16, 20, 24, 102}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes doc =
        Zip({{"mimetype", "image/openraster"}, {"stack.xml", Stack(c.layer)}, {"a.png", c.png}});
    host_.SetDefaultViewSize(4, 3);
    const brenmark::OpenRasterResult r = brenmark::OpenOpenRasterMemory(doc.data(), doc.size());
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.warnings, c.warning.empty() ? std::vector<std::string>{} : std::vector{c.warning});
    LayerStack* s = Brenmark.GetLayerStack(r.canvas);
    ASSERT_EQ(s->GetLayerCount(), 1);
    Layer* l = s->GetLayerFromIndex(1);
    int ox = 0, oy = 0;
    l->GetOffset(ox, oy);
    std::uint8_t p[4];
    const bool nested = std::strstr(c.what, "nested");
    l->GetImage()->getTile(nested ? 1 : 0, 2, 1, 1, p);  // the top-left pixel, y upwards
    EXPECT_EQ(std::vector<std::uint8_t>(p, p + 4), c.topLeft);
    EXPECT_EQ(ox, 0);
    EXPECT_EQ(s->GetLayerOpacity(1), nested ? 0.5f : 1.0f);
    Brenmark.DeleteLayerStack(r.canvas);
  }
}

TEST_F(OpenRaster, RefusesDamagedAndHostileDocumentsAndMakesNothing) {
  const std::uint8_t px[4] = {1, 2, 3, 4};
  const std::string one = Png(1, 1, PNG_FORMAT_RGBA, px);
  const std::string mime = "image/openraster";
  auto doc = [&](const std::string& xml, const std::string& png = "") {
    return Zip({{"mimetype", mime}, {"stack.xml", xml}, {"a.png", png.empty() ? one : png}});
  };
  Bytes damaged = doc(Stack("<layer src=\"a.png\"/>"));
  const std::size_t at = std::string(damaged.begin(), damaged.end()).find("IDAT");
  damaged[at + 6] ^= 0xFF;  // a byte of the stored PNG: the entry's CRC fails
  // A PNG header declaring 20000 x 20000 pixels.
  std::string huge = one;
  huge[16] = huge[20] = 0;
  huge[17] = huge[21] = 0;
  huge[18] = huge[22] = 0x4E;
  huge[19] = huge[23] = 0x20;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(&huge[12]), 17);
  for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  brenmark::OpenRasterLimits small;
  small.maxEntryBytes = 100;
  const struct {
    Bytes bytes;
    brenmark::OpenRasterLimits limits;
    const char* message;
  } cases[] = {
      {Bytes{'P', 'K', 'n', 'o'}, {}, "not an OpenRaster document (not a zip archive)"},
      {Zip({{"mimetype", "image/png"}}),
       {},
       "not an OpenRaster document (its mimetype is not "
       "image/openraster)"},
      {damaged, {}, "layer '': entry 'a.png' is damaged (CRC error)"},
      {doc(Stack("<layer name=\"A\" src=\"b.png\"/>")),
       {},
       "layer 'A': the archive has no entry 'b.png'"},
      {doc(Stack("<layer src=\"a.png\"/>", "w=\"16385\" h=\"2\"")),
       {},
       "the image size (w 16385, h 2) is missing or beyond 16384 x 16384"},
      {doc(Stack("<layer src=\"a.png\" x=\"70000\"/>")),
       {},
       "layer '': x is not a position the engine can hold"},
      {doc(Stack("<layer src=\"a.png\"/>") + std::string(100, ' ')), small,
       "entry 'stack.xml' declares 183 bytes; at most 100 are read"},
      {doc(Stack("<layer src=\"a.png\"/>"), huge),
       {},
       "layer '': entry 'a.png': a PNG of 20000 x 20000 pixels; at most 16384 on a side"},
      {doc(Stack("<layer src=\"a.png\" x=\"60000\" brenmark:offset-x=\"-30000\"/>",
                 "w=\"4\" h=\"3\" xmlns:brenmark=\"urn:brenmark:openraster:1\"")),
       {},
       "layer '' lies beyond what the engine can hold"},
      {doc("<image w=\"4\" h=\"3\"><stack>"),
       {},
       "stack.xml is not well-formed XML (Start-end tags mismatch)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const int before = Brenmark.GetLayerStackCount();
    const brenmark::OpenRasterResult r =
        brenmark::OpenOpenRasterMemory(c.bytes.data(), c.bytes.size(), {}, c.limits);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(r.canvas, -1);
    EXPECT_EQ(Brenmark.GetLayerStackCount(), before);
  }
}

TEST_F(OpenRaster, FailedSaveLeavesTheOldFile) {
  const std::filesystem::path dir =
      std::filesystem::path(BRENMARK_BINARY_DIR) / "openraster-save-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "canvas.ora").string();
  Brenmark.GetLayerStack(Brenmark.AddLayerStack(ViewerParms{}));
  PntNewLayer(-2, false);
  ASSERT_TRUE(brenmark::SaveOpenRaster(-2, path).ok);
  std::ifstream in(path, std::ios::binary);
  const Bytes old((std::istreambuf_iterator<char>(in)), {});
  Build();  // a larger document
  // Files may not grow past 1000 bytes: the write fails part way.
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{}, limit{};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &limit);
  const brenmark::OpenRasterResult r = brenmark::SaveOpenRaster(-2, path);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "cannot write '" + path + "': File too large");
  std::ifstream again(path, std::ios::binary);
  EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(again)), {}), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temp file
  // A folder in the way is refused; no canvas is refused.
  EXPECT_EQ(brenmark::SaveOpenRaster(-2, dir.string()).message,
            "'" + dir.string() + "' is not a regular file");
  EXPECT_EQ(brenmark::SaveOpenRaster(77, path).message, "there is no canvas 77");
}

}  // namespace
