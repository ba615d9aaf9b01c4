// Soak run: a long, deterministic painting session on a large canvas under
// a small memory budget, then the same session without a budget.
//
// Each run happens in a child process of its own (the page cache reads its
// budget once per process). A run paints pressure strokes with every brush
// kind over several layers, with undo and redo cycles, layer duplication
// and merges, selections (rectangle, invert, magic wand) and flood fills,
// all from a fixed seed. The budgeted run checks:
//  - resident memory stays flat: the run is a series of rounds alike, and
//    resident memory is sampled at the end of each (after the allocator
//    gave back what it merely keeps). Samples vary from round to round with
//    what the round did, so peaks are compared with peaks: the highest
//    sample after warm-up (the first fifth of the rounds) exceeds the
//    highest of the second half of warm-up by less than 5 % (the drift);
//  - the swap files shrink back: once the canvas and the undo records are
//    released, both files are empty, after having grown;
//  - no file is left in the swap directory.
// Both runs print a checksum of the composite and of every layer's image
// and stencil; they must be equal: swapping changes no pixel.
//
// Last full run (10000 x 10000, 94 rounds, 992,640 dabs, 1000 undo/redo
// cycles, 32 MB budget):
//   dabs      rss_MB heap_MB cache_MB swap_MB
//   21120       41.0    37.3     14.7    20.4
//   190080      57.6    53.1     30.6    92.8  (end of warm-up)
//   992640      56.9    52.6     32.0   131.2
//   drift +0.60 % (58.0 MB late in warm-up, 58.4 MB after); swap files
//   137.7 MB at their peak, 0 after release; both checksums e276edf97500c171.
// The live heap keeps some 21 MB beside the page cache, round after round.
// (It drifted by 10 % while the dab-image cache counted only the pixels of
// its entries: thousands of small-dab entries of some 6 kB each.)
#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <brenmark/qv_memory_img.h>
#include <brenmark/store_stats.h>
#include <brenmark/undo_list.h>

#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "host/reference_host.h"
#include "imagestore/page_cache.h"

namespace {

struct Options {
  long dabs = 1000000;
  int budgetMB = 32;
  long cycles = 1000;
  int canvas = 10000;
  double driftLimit = 5;  // percent; 0: not checked
};

// Brush kinds; a round paints with each.
enum Kind { kPaint, kMarker, kSmear, kClone, kBlur, kSharpen, kHide, kReveal, kKinds };

constexpr int kPointsPerStroke = 960;
// A round: one stroke of each kind (paint on two layers), one on a
// duplicated layer and one inside a selection.
constexpr int kStrokesPerRound = kKinds + 3;
constexpr long kDabsPerRound = kStrokesPerRound * kPointsPerStroke;
// Blur and sharpen brushes filter the whole painted area of their layer when
// chosen, so they work on a layer kept to this window.
constexpr int kDetailSide = 1024;
constexpr int kSiteSide = 384;
constexpr unsigned char kOpaque = 255;
// Swap files and their leftovers start with this.
constexpr const char* kSwapPrefix = "SID";

double MB(double bytes) {
  return bytes / (1024.0 * 1024.0);
}

double ResidentMB() {
  malloc_trim(0);  // what the allocator merely keeps does not count
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return MB(static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)));
}

std::int64_t SwapBytes() {
  using brenmark::imagestore::SmartImageCache;
  if (!SmartImageCache::Exists()) return 0;
  std::int64_t total = 0;
  for (const auto* f : {&SmartImageCache::Instance()->BigSwapFile(),
                        &SmartImageCache::Instance()->SmallSwapFile()}) {
    struct stat st;
    if (f->IsOpen() && fstat(f->Descriptor(), &st) == 0) total += st.st_size;
  }
  return total;
}

int LeftoversIn(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().filename().string().rfind(kSwapPrefix, 0) == 0) ++n;
  }
  return n;
}

class Soak {
 public:
  explicit Soak(const Options& o) : o_(o), rng_(20240611u) {}

  // Runs the session; the checksum of the final picture in `sum`. Returns
  // the failures found.
  int Run(std::uint64_t& sum);

 private:
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  unsigned char Byte() { return static_cast<unsigned char>(Uniform(0, 255)); }
  float Real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
  void Brush(Kind kind, int radius);
  // A pressure stroke of kPointsPerStroke points from (x, y) within `area`:
  // a wandering path, the pressure swelling and fading along it.
  void Stroke(Kind kind, const ilTile& area);
  void ViewPoint(int x, int y, int& vx, int& vy);
  void Round(long round, long rounds);
  std::uint64_t Checksum();

  Options o_;
  std::mt19937 rng_;
  brenmark::host::ReferenceHost host_;
  int h_ = -1;
  long dabs_ = 0;
  long cycles_ = 0;
  // The middle of the last paint stroke, where its pressure peaks.
  int lastX_ = 0, lastY_ = 0;
};

void Soak::Brush(Kind kind, int radius) {
  StrokeParameters sp;
  sp.interpolation = 0;
  sp.markerBlend = kind == kMarker;
  Brenmark.SetStrokeParameters(sp);
  BrushParameters b;
  b.color = PaintColor(Byte(), Byte(), Byte(), kOpaque);
  b.profile.index = Uniform(0, 2);
  b.radius1 = b.radius2 = static_cast<float>(radius);
  b.opacity1 = b.opacity2 = 1.0f;
  b.smear = kind == kSmear;
  b.clone = kind == kClone;
  b.cloneOffsetX = b.cloneOffsetY = kind == kClone ? 37.0f : 0.0f;
  Brenmark.SetBrushParameters(b, true);
  Brenmark.SetPaintApplication(kind == kHide     ? kApplyStencilAdd
                               : kind == kReveal ? kApplyStencilSubtract
                                                 : kApplyPaint);
  Brenmark.SetBlurBrush(kind == kBlur);
  Brenmark.SetSharpenBrush(kind == kSharpen);
}

void Soak::Stroke(Kind kind, const ilTile& area) {
  const int radius = Uniform(3, 28);
  Brush(kind, radius);
  float x = Real(static_cast<float>(area.x), static_cast<float>(area.x + area.nx));
  float y = Real(static_cast<float>(area.y), static_cast<float>(area.y + area.ny));
  float heading = Real(0.0f, 6.2831853f);
  float midX = x, midY = y;
  Brenmark.BeginBrushStroke();
  for (int i = 0; i < kPointsPerStroke; ++i) {
    const float t = static_cast<float>(i) / (kPointsPerStroke - 1);
    const float pressure = 0.15f + 0.85f * std::sin(3.1415927f * t);
    heading += Real(-0.3f, 0.3f);
    const float step = std::max(1.0f, 0.3f * radius * pressure);
    x = std::clamp(x + step * std::cos(heading), float(area.x), float(area.x + area.nx - 1));
    y = std::clamp(y + step * std::sin(heading), float(area.y), float(area.y + area.ny - 1));
    if (i == kPointsPerStroke / 2) midX = x, midY = y;
    float sx = x, sy = y;  // the engine takes view points
    Brenmark.CurrentLayerToScreenCoords(sx, sy, -2, h_);
    Brenmark.AddStrokePoint(sx, sy, radius * pressure, pressure, Real(0.5f, 1.0f),
                            Real(0.0f, 180.0f), false, false);
  }
  Brenmark.EndBrushStroke();
  if (kind == kPaint) {
    lastX_ = static_cast<int>(midX);
    lastY_ = static_cast<int>(midY);
  }
  Brenmark.SetBlurBrush(false);
  Brenmark.SetSharpenBrush(false);
  Brenmark.SetPaintApplication(kApplyPaint);
  dabs_ += kPointsPerStroke;
}

// The view point the engine reads as canvas pixel (x, y) of the current
// layer.
void Soak::ViewPoint(int x, int y, int& vx, int& vy) {
  float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
  Brenmark.CurrentLayerToScreenCoords(fx, fy, -2, h_);
  vx = static_cast<int>(std::floor(fx));
  vy = static_cast<int>(std::floor(fy));
}

void Soak::Round(long round, long rounds) {
  // A painter works on parts of the canvas: strokes go to one of 4 x 4
  // sites spread over it, so the painted pages stay within a bound that is
  // well above the budget, and every round costs the same.
  const int cell = o_.canvas / 4;
  const int site = Uniform(0, 15);
  const ilTile whole((site % 4) * cell + cell / 4, (site / 4) * cell + cell / 4, 0, kSiteSide,
                     kSiteSide, 1);
  const int side = std::min(kDetailSide, o_.canvas);
  const ilTile detail(o_.canvas - side, 0, 0, side, side, 1);
  // Layers: 1 ground, 2 ink, 3 detail (kept to its window, where the
  // brushes that take the layer's own pixels work).
  struct Use {
    Kind kind;
    int layer;
  };
  static constexpr Use kUses[] = {{kPaint, 1}, {kMarker, 2},  {kPaint, 3}, {kSmear, 3}, {kClone, 3},
                                  {kBlur, 3},  {kSharpen, 3}, {kHide, 3},  {kReveal, 3}};
  static_assert(std::size(kUses) == kStrokesPerRound - 2);
  int groundX = 0, groundY = 0;
  for (const Use& u : kUses) {
    Brenmark.SetCurrentLayer(u.layer, h_);
    Stroke(u.kind, u.layer == 3 ? detail : whole);
    if (u.layer == 1 && u.kind == kPaint) groundX = lastX_, groundY = lastY_;
  }
  // A duplicate of the ink layer, painted and merged back down.
  Brenmark.SetCurrentLayer(2, h_);
  Brenmark.DuplicateCurrentLayer(false, h_);
  Brenmark.SetCurrentLayer(3, h_);
  Stroke(kPaint, whole);
  PntMergeLayerWithBelow(Brenmark.GetLayerHandle(3, h_));
  // Selections: a rectangle, inverted every other round, or the wand on the
  // ground layer; a stroke inside, then everything selected again.
  Brenmark.SetCurrentLayer(1, h_);
  int vx = 0, vy = 0;
  ViewPoint(groundX, groundY, vx, vy);
  PaintColor open(0.0f, 0.0f, 0.0f, 0.0f);
  if (round % 3 == 2) {
    Brenmark.DoMagicWand(vx, vy, 0.2f, open, true, reinterpret_cast<void*>(-2), h_);
    if (Brenmark.InProxy(h_)) {
      Brenmark.EndProxy(h_);
      Brenmark.MagicWandDone(vx, vy, 0.2f, open, true, reinterpret_cast<void*>(-2), h_);
    }
  } else {
    const int w = Uniform(64, kSiteSide), hgt = Uniform(64, kSiteSide);
    Brenmark.ClearSelectionMask(ilTile(whole.x + Uniform(0, kSiteSide - w),
                                       whole.y + Uniform(0, kSiteSide - hgt), 0, w, hgt, 1),
                                h_);
    if (round % 2 == 1) Brenmark.InvertMaskLayer(Brenmark.GetLayerCount(h_) + 1, h_);
  }
  Brenmark.SetCurrentLayer(2, h_);
  Stroke(kPaint, whole);
  Brenmark.ClearSelectionMask(h_);
  // A flood fill on the ground layer, accepted as the tool accepts it,
  // inside the paint stroke of this round there.
  Brenmark.SetCurrentLayer(1, h_);
  PaintColor fill(Byte(), Byte(), Byte(), kOpaque);
  Brenmark.DoFloodFill(vx, vy, 0.1f, fill, reinterpret_cast<void*>(-2), h_);
  if (Brenmark.InProxy(h_)) {
    Brenmark.EndProxy(h_);
    Brenmark.FloodFillDone(vx, vy, 0.1f, fill, reinterpret_cast<void*>(-2), h_);
  }
  // This round's share of the undo and redo cycles.
  const long due = o_.cycles * (round + 1) / rounds;
  for (; cycles_ < due; ++cycles_) {
    PaintUndoList.Undo();
    PaintUndoList.Redo();
  }
}

std::uint64_t Soak::Checksum() {
  std::uint64_t sum = 1469598103934665603ull;
  auto add = [&sum](const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t b : bytes) sum = (sum ^ b) * 1099511628211ull;
  };
  if (ilQVMemoryImg* composite = Brenmark.GetCompositeImage()) {
    ilImage* img = composite;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(img->getXsize()) * img->getYsize() *
                                  img->getCsize());
    if (img->getTile(0, 0, img->getXsize(), img->getYsize(), buf.data()) == ilOkay) add(buf);
    composite->unref();
  }
  LayerStack* stack = Brenmark.GetLayerStack(h_);
  constexpr int kBand = 128;
  for (int i = 1; i <= stack->GetLayerCount(); ++i) {
    Layer* layer = stack->GetLayerFromIndex(i);
    for (ilImage* img : {layer->GetImage(), layer->GetStencil()}) {
      if (!img) continue;
      const int c = img->getCsize();
      std::vector<std::uint8_t> band(static_cast<std::size_t>(o_.canvas) * kBand * c);
      for (int y = 0; y < o_.canvas; y += kBand) {
        const int rows = std::min(kBand, o_.canvas - y);
        band.resize(static_cast<std::size_t>(o_.canvas) * rows * c);
        if (img->getTile(0, y, o_.canvas, rows, band.data()) != ilOkay) return 0;
        add(band);
      }
    }
  }
  return sum;
}

int Soak::Run(std::uint64_t& sum) {
  std::string problem;
  const std::string budget = o_.budgetMB > 0 ? std::to_string(o_.budgetMB) : "32768";
  if (!host_.SetMemoryBudget(budget, &problem)) {
    std::fprintf(stderr, "soak: memory budget %s: %s\n", budget.c_str(), problem.c_str());
    return 1;
  }
  Brenmark.SetCallbacks(host_.Install());
  PntInitializePaintManager();
  host_.SetDefaultViewSize(512, 512);
  h_ = Brenmark.AddLayerStack(ViewerParms{});
  for (int i = 0; i < 3; ++i) PntNewLayer(h_, false);
  Brenmark.SetLayerStackSize(ilTile(0, 0, 0, o_.canvas, o_.canvas, 1), true);

  const long rounds = std::max(1L, o_.dabs / kDabsPerRound);
  const long warmUp = std::max(1L, rounds / 5);
  const long every = std::max(1L, rounds / 40);
  double warmRss = 0, laterMax = 0;
  std::int64_t peakSwap = 0;
  std::printf("%-10s %9s %9s %9s %9s\n", "dabs", "rss_MB", "heap_MB", "cache_MB", "swap_MB");
  for (long r = 0; r < rounds; ++r) {
    Round(r, rounds);
    const double rss = ResidentMB();
    const std::int64_t swap = SwapBytes();
    peakSwap = std::max(peakSwap, swap);
    if (r + 1 > warmUp / 2 && r + 1 <= warmUp) warmRss = std::max(warmRss, rss);
    if (r + 1 > warmUp) laterMax = std::max(laterMax, rss);
    if ((r + 1) % every == 0 || r + 1 == rounds || r + 1 == warmUp) {
      const struct mallinfo2 heap = mallinfo2();  // in use: small chunks and mapped blocks
      std::printf("%-10ld %9.1f %9.1f %9.1f %9.1f%s\n", dabs_, rss,
                  MB(double(heap.uordblks + heap.hblkhd)),
                  MB(double(GetSmartImageCacheStatistics().bytesInMemory)), MB(double(swap)),
                  r + 1 == warmUp ? "  (end of warm-up)" : "");
      std::fflush(stdout);
    }
  }
  sum = Checksum();
  int failures = 0;
  const double drift = warmRss > 0 && laterMax > 0 ? (laterMax - warmRss) / warmRss : 0;
  std::printf("rounds %ld, dabs %ld, undo/redo cycles %ld, warm-up %ld rounds\n", rounds, dabs_,
              cycles_, warmUp);
  std::printf("resident: highest late in warm-up %.1f MB, highest after %.1f MB, drift %+.2f %%\n",
              warmRss, laterMax, 100 * drift);
  if (o_.driftLimit <= 0) std::printf("drift not checked\n");
  if (o_.budgetMB > 0 && o_.driftLimit > 0 && 100 * drift >= o_.driftLimit) {
    std::fprintf(stderr, "soak: resident memory drifted by %.2f %% after warm-up (limit %g %%)\n",
                 100 * drift, o_.driftLimit);
    ++failures;
  }
  // Release everything that holds pages: the canvas, the undo records, the
  // brush's filtered copy.
  Brenmark.DeleteLayerStack(h_);
  PaintUndoList.FlushUndoList(nullptr);
  Brenmark.ClearProcessedLayerImage();
  const std::int64_t released = SwapBytes();
  std::printf("swap files: peak %.1f MB, after release %.1f MB\n", MB(double(peakSwap)),
              MB(double(released)));
  if (o_.budgetMB > 0 && (peakSwap == 0 || released != 0)) {
    std::fprintf(
        stderr,
        "soak: the swap files %s (peak %" PRId64 " bytes, %" PRId64 " bytes after release)\n",
        peakSwap == 0 ? "were never used" : "did not shrink back to empty", peakSwap, released);
    ++failures;
  }
  std::printf("checksum %016" PRIx64 "\n", sum);
  std::fflush(stdout);
  return failures;
}

long Number(const char* text, const char* name) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || v < 0) {
    std::fprintf(stderr, "soak: %s wants a whole number >= 0, not '%s'\n", name, text);
    std::exit(2);
  }
  return v;
}

// Runs one session in a child process; its checksum comes back through a
// pipe. Answers the child's failures (1 when it died).
int RunChild(const Options& o, std::uint64_t& sum) {
  std::fflush(stdout);
  int fds[2];
  if (pipe(fds) != 0) return 1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::uint64_t s = 0;
    const int failures = Soak(o).Run(s);
    const ssize_t w = write(fds[1], &s, sizeof s);
    std::fflush(stdout);
    _exit(w == sizeof s ? std::min(failures, 100) : 101);
  }
  close(fds[1]);
  const bool got = pid > 0 && read(fds[0], &sum, sizeof sum) == sizeof sum;
  close(fds[0]);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
  if (!got || !WIFEXITED(status)) {
    std::fprintf(stderr, "soak: the run with budget %d MB died\n", o.budgetMB);
    return 1;
  }
  return WEXITSTATUS(status);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  bool compare = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--single") {
      compare = false;
    } else if (i + 1 < argc && (a == "--dabs" || a == "--budget" || a == "--cycles" ||
                                a == "--canvas" || a == "--drift-limit")) {
      const long v = Number(argv[++i], a.c_str());
      if (a == "--dabs") o.dabs = v;
      if (a == "--budget") o.budgetMB = static_cast<int>(std::min(v, 65535L));
      if (a == "--cycles") o.cycles = v;
      if (a == "--drift-limit") o.driftLimit = static_cast<double>(v);
      if (a == "--canvas") o.canvas = static_cast<int>(std::clamp(v, 1024L, 20000L));
    } else {
      std::fprintf(stderr,
                   "usage: soak [--dabs N] [--budget MB (0: none)] [--cycles N] [--canvas SIDE] "
                   "[--drift-limit PERCENT] [--single]\n");
      return 2;
    }
  }
  // The swap directory must start and end without leftovers; without one
  // given, the run makes its own.
  std::string dir;
  bool own = false;
  if (const char* d = std::getenv("SID_TEMP_DIR"); d && *d) {
    dir = d;
  } else {
    char name[] = "/tmp/brenmark-soak-XXXXXX";
    if (!mkdtemp(name)) return 1;
    dir = name;
    own = true;
    setenv("SID_TEMP_DIR", name, 1);
  }
  int failures = 0;
  std::uint64_t budgeted = 0, free = 0;
  std::printf("== %ld dabs, %ld undo/redo cycles, %d x %d canvas, budget %d MB\n", o.dabs, o.cycles,
              o.canvas, o.canvas, o.budgetMB);
  failures += RunChild(o, budgeted);
  if (compare && o.budgetMB > 0) {
    Options none = o;
    none.budgetMB = 0;
    std::printf("== the same without a budget\n");
    failures += RunChild(none, free);
    if (free != budgeted) {
      std::fprintf(stderr,
                   "soak: checksum %016" PRIx64 " with the budget, %016" PRIx64
                   " without: swapping changed the picture\n",
                   budgeted, free);
      ++failures;
    }
  }
  if (const int left = LeftoversIn(dir); left != 0) {
    std::fprintf(stderr, "soak: %d swap file(s) left in %s\n", left, dir.c_str());
    ++failures;
  }
  if (own) std::filesystem::remove(dir);
  std::printf("%s\n", failures == 0 ? "soak passed" : "soak FAILED");
  return failures == 0 ? 0 : 1;
}
