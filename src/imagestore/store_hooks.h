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

// Store messages. Every "SID:" message of the store goes to standard error
// and, when a message function is installed (the paint manager forwards to
// the host's message member), to that function as well, without the text's
// leading and trailing line breaks.
using MessageFunction = void (*)(void* context, const char* text);
void SetMessageFunction(MessageFunction function, void* context);
void StoreMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A warning that one operation may raise many times over (coordinates clipped
// to the store's range). Inside a MessageBatch each distinct text is held
// back and reported once when the outermost batch ends, with " (N times)"
// before its line break when it came more than once; outside any batch it is
// reported at once.
void RepeatedStoreMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Marks one operation (a tile read, write, fill or copy, a page-set lock)
// for RepeatedStoreMessage. Batches nest; only the outermost reports.
class MessageBatch {
 public:
  MessageBatch();
  ~MessageBatch();
  MessageBatch(const MessageBatch&) = delete;
  MessageBatch& operator=(const MessageBatch&) = delete;
};

}  // namespace brenmark::imagestore
