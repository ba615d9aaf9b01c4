// The paged store's upward connections. The store never calls the host or
// the painters directly: the layers above install these small hooks (the
// paint manager the memory sizes and the watermark pass, the painters the
// operation probe). Every hook has a default that works without a host.
#pragma once

namespace brenmark::imagestore {

// Memory sizes in kilobytes, as the host reports them. `total_kb` is asked
// once, when the page cache is created; `available_kb` whenever the budget is
// re-evaluated. Null functions fall back to /proc/meminfo (MemTotal,
// MemAvailable), and to 0 when that cannot be read.
struct MemoryInfoSource {
  unsigned (*total_kb)(void* context) = nullptr;
  unsigned (*available_kb)(void* context) = nullptr;
  void* context = nullptr;
};

void SetMemoryInfoSource(const MemoryInfoSource& source);
unsigned TotalMemoryKB();
unsigned AvailableMemoryKB();

// The host's watermark pass over one page of a four-channel image: it may
// alter the 128 x 128 pixels in place. Arguments: page pixels, page origin x
// and y, page width and height (128), bounds width and height.
using WatermarkFunction = void (*)(void* context, void* pixels, int x, int y, int w, int h,
                                   int bounds_w, int bounds_h);
void SetWatermarkFunction(WatermarkFunction function, void* context);
// False when no function is installed (the pass then changes nothing).
bool CallWatermark(void* pixels, int x, int y, int w, int h, int bounds_w, int bounds_h);

// Whether a paint operation is in progress. Copy-on-write does not scan the
// source page while one is (the painter may still be writing it through a
// page lock). Default: no operation.
using OperationProbe = bool (*)();
void SetOperationProbe(OperationProbe probe);
bool InPaintOperation();

}  // namespace brenmark::imagestore
