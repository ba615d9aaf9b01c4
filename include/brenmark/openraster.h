// OpenRaster documents (.ora): saving a canvas (layer stack) to one and
// opening one as a new canvas. Part of the optional brenmark-openraster
// library (link Brenmark::openraster, or pkg-config brenmark-openraster);
// the core library does not need it.
//
// A saved document shows in any OpenRaster reader as the canvas looks in
// Brenmark: masks are written hidden, stencils are applied to the layer's
// pixels, the background colour becomes an opaque bottom layer, and
// mergedimage.png holds the composed canvas. What only Brenmark uses (layer
// kinds, raw pixels under a stencil and the stencil itself, fill values,
// fractional offsets, the selection, the background colour) is kept in
// attributes of the namespace `urn:brenmark:openraster:1` and in entries
// under `brenmark/`, so a document Brenmark saved opens without loss.
//
// Like the rest of the engine, every call runs on the application's thread
// and nothing throws.
#pragma once

#include <brenmark/view_values.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brenmark {

// What a save or an open came to. `ok` false: `message` says what went
// wrong and nothing was created or replaced. `warnings` lists what was
// taken only approximately (an unknown composite operation, a nested stack
// flattened, a shape layer saved as its pixels), whether or not ok.
struct OpenRasterResult {
  bool ok = false;
  std::string message;
  std::vector<std::string> warnings;
  int canvas = -1;  // after an open: the new canvas's handle

  explicit operator bool() const { return ok; }
};

// Bounds on what a document may make the reader allocate. Every entry's
// declared size is checked against them before it is inflated, and every
// PNG's declared size before it is decoded.
struct OpenRasterLimits {
  int maxSide = 16384;  // image width and height, and each PNG's sides
  std::uint64_t maxEntryBytes = std::uint64_t{256} << 20;  // one entry, inflated
  std::uint64_t maxTotalBytes = std::uint64_t{1} << 30;    // entries and pixels together
  int maxEntries = 4096;                                   // entries in the archive
  int maxLayers = 1024;                                    // layer elements in stack.xml
};

// A document read and checked, its PNGs decoded, not yet made into a
// canvas. The canvas takes its size from the application's view (callback
// 3), so an application that opens in two steps sizes its view to Width() x
// Height() between reading and CreateCanvas.
class OpenRasterDocument {
 public:
  OpenRasterDocument();
  ~OpenRasterDocument();
  OpenRasterDocument(OpenRasterDocument&&) noexcept;
  OpenRasterDocument& operator=(OpenRasterDocument&&) noexcept;

  int Width() const;
  int Height() const;
  // Layers to be made, the background-colour layer of a Brenmark document
  // not counted.
  int LayerCount() const;

  struct Data;
  Data* data() const { return data_.get(); }

 private:
  std::unique_ptr<Data> data_;
};

// Reads the document at `path` (or `size` bytes at `bytes`; messages then
// name it "<memory>") into `out`. Nothing of the engine is touched.
OpenRasterResult ReadOpenRaster(const std::string& path, OpenRasterDocument& out,
                                const OpenRasterLimits& limits = {});
OpenRasterResult ReadOpenRasterMemory(const void* bytes, std::size_t size, OpenRasterDocument& out,
                                      const OpenRasterLimits& limits = {});

// Makes a read document into a new canvas (Brenmark.AddLayerStack with
// `parms`), which becomes the current one; its handle is in the result.
// A canvas whose size differs from the document's keeps the document's
// top-left corner at its own and says so in a warning. Nothing is recorded
// for undo. Fails (making nothing) when all canvas slots are taken.
OpenRasterResult CreateCanvas(const OpenRasterDocument& document, const ViewerParms& parms = {});

// ReadOpenRaster and CreateCanvas in one.
OpenRasterResult OpenOpenRaster(const std::string& path, const ViewerParms& parms = {},
                                const OpenRasterLimits& limits = {});
OpenRasterResult OpenOpenRasterMemory(const void* bytes, std::size_t size,
                                      const ViewerParms& parms = {},
                                      const OpenRasterLimits& limits = {});

// Saves canvas `canvas` (-2: the current one) to `path`: written to a
// temporary file in the target's folder, flushed, synced and renamed over
// the target, so a failed save leaves an existing file as it was. A
// symbolic link at the target is followed; a target that is not a regular
// file is refused.
OpenRasterResult SaveOpenRaster(int canvas, const std::string& path);
// The same into memory (the archive's bytes in `out`).
OpenRasterResult SaveOpenRasterMemory(int canvas, std::vector<std::uint8_t>& out);

}  // namespace brenmark
