// The smallest application embedding Brenmark: it installs the reference
// host's callbacks, makes one canvas and builds its layers through the
// exported plain functions. Exits 0 only when the layer count comes out right.
#include <brenmark/brenmark.h>
#include <brenmark/paint_manager.h>

#include <cstdio>

#include "host/install.h"
#include "host/reference_host.h"

int main() {
  brenmark::host::ReferenceHost host;
  brenmark::host::InstallIntoBrenmark(host);
  PntInitializePaintManager();

  const int canvas = Brenmark.AddLayerStack(ViewerParms{});
  if (canvas < 0 || PntCurrentLayerStack() != canvas) {
    std::fprintf(stderr, "embed: no canvas\n");
    return 1;
  }
  PntNewLayer(canvas, false);        // Background
  PntNewLayer(canvas, false);        // a second image layer
  PntNewLayer(canvas, true);         // a mask of the second layer
  PntDuplicateCurrentLayer(canvas);  // a copy of the mask: 4 layers
  PntDeleteCurrentLayer(canvas);     // and gone again: 3 layers

  const int count = Brenmark.GetLayerCount(canvas);
  std::printf("canvas %d has %d layers\n", canvas, count);
  return count == 3 ? 0 : 1;
}
