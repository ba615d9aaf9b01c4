// The reference host: member bodies, the timer queue and the trampolines.
#include "host/reference_host.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/polyline_curve.h"

namespace brenmark::host {
namespace {

ReferenceHost* g_active = nullptr;

// One field of <proc>/meminfo in kilobytes, or nothing when it is missing.
std::optional<unsigned long long> ReadMeminfoKB(const std::string& proc, const char* field) {
  std::FILE* f = std::fopen((proc + "/meminfo").c_str(), "r");
  if (!f) return std::nullopt;
  std::optional<unsigned long long> result;
  char line[256];
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, field, n) != 0 || line[n] != ':') continue;
    unsigned long long kb = 0;
    if (std::sscanf(line + n + 1, "%llu", &kb) == 1) result = kb;
    break;
  }
  std::fclose(f);
  return result;
}

// The first line of a small file, without its line break.
std::optional<std::string> ReadLine(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return std::nullopt;
  char line[4096];
  const bool got = std::fgets(line, sizeof line, f) != nullptr;
  std::fclose(f);
  if (!got) return std::nullopt;
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::optional<unsigned long long> ParseBytes(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  unsigned long long v = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;  // "max" and anything else: no figure
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v;
}

// The tightest cgroup v2 memory limit of this process in kilobytes, with
// the room left under it, over its cgroup and every ancestor that sets one.
struct CgroupMemory {
  unsigned long long limitKB;
  unsigned long long freeKB;
};
std::optional<CgroupMemory> ReadCgroupMemory(const std::string& proc, const std::string& root) {
  std::FILE* f = std::fopen((proc + "/self/cgroup").c_str(), "r");
  if (!f) return std::nullopt;
  std::string path;
  bool found = false;
  char line[4096];
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "0::", 3) != 0) continue;
    path = line + 3;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    found = true;
    break;
  }
  std::fclose(f);
  if (!found || path.empty() || path[0] != '/') return std::nullopt;
  std::optional<CgroupMemory> tightest;
  for (;;) {
    const std::string dir = root + (path == "/" ? "" : path);
    if (auto max = ParseBytes(ReadLine(dir + "/memory.max"))) {
      const unsigned long long used = ParseBytes(ReadLine(dir + "/memory.current")).value_or(0);
      const CgroupMemory here{*max / 1024, used < *max ? (*max - used) / 1024 : 0};
      if (!tightest) tightest = here;
      tightest->limitKB = std::min(tightest->limitKB, here.limitKB);
      tightest->freeKB = std::min(tightest->freeKB, here.freeKB);
    }
    if (path == "/") break;
    const size_t slash = path.find_last_of('/');
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
  return tightest;
}

unsigned ClampKB(unsigned long long kb) {
  return kb > UINT_MAX ? UINT_MAX : static_cast<unsigned>(kb);
}

// Fallback when /proc is unavailable: page counts from the C library.
unsigned PagesToKB(long pages) {
  const long size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return 0;
  const unsigned long long kb = static_cast<unsigned long long>(pages) * size / 1024;
  return kb > UINT_MAX ? UINT_MAX : static_cast<unsigned>(kb);
}

// The page cache's budget in megabytes for a machine of `m` megabytes.
unsigned BudgetForMachineMB(unsigned m) {
  static constexpr unsigned kFloor[] = {768, 384, 256, 192, 128, 96, 64};
  static constexpr unsigned kCut[] = {256, 192, 128, 96, 80, 64, 48};
  for (int i = 0; i < 7; ++i) {
    if (m >= kFloor[i]) return m - kCut[i];
  }
  return 12;
}

// Machine memory in megabytes whose budget is `budget`, or 0 when the
// table produces no such budget.
unsigned MachineMBForBudget(unsigned budget) {
  if (budget == 12) return 63;
  static constexpr unsigned kCut[] = {256, 192, 128, 96, 80, 64, 48};
  for (unsigned cut : kCut) {
    if (BudgetForMachineMB(budget + cut) == budget) return budget + cut;
  }
  return 0;
}

// Parses "<digits>[K|M|G]" into megabytes; nothing for other text or
// for sizes that are not a whole number of megabytes.
std::optional<unsigned long long> ParseMegabytes(std::string_view text) {
  size_t digits = 0;
  unsigned long long value = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + static_cast<unsigned>(text[digits] - '0');
    if (value > (1ull << 40)) return std::nullopt;
    ++digits;
  }
  if (digits == 0 || text.size() > digits + 1) return std::nullopt;
  const char unit = digits < text.size() ? text[digits] : 'M';
  switch (unit) {
    case 'k':
    case 'K':
      if (value % 1024 != 0) return std::nullopt;
      return value / 1024;
    case 'm':
    case 'M':
      return value;
    case 'g':
    case 'G':
      return value * 1024;
    default:
      return std::nullopt;
  }
}

}  // namespace

// Static entry points of the record; each routes to the active host.
struct Trampoline {
  static ReferenceHost* Host(int member) {
    if (g_active) g_active->Count(member);
    return g_active;
  }
  // The window (or the window of the view) a member names, the call
  // counted; null without an active host or without such a window.
  static HostWindow* WindowOf(int member, int window) {
    ReferenceHost* h = Host(member);
    return h ? h->FindWindow(window) : nullptr;
  }
  static HostWindow* ViewOf(int member, int view) {
    ReferenceHost* h = Host(member);
    return h ? h->FindView(view) : nullptr;
  }

  static unsigned GetBackgroundColor() {
    ReferenceHost* h = Host(kCbGetBackgroundColor);
    return h ? h->background_ : 0;
  }
  static void LayersChanged() { Host(kCbLayersChanged); }
  static void GetViewOriginAndScale(void* appView, int* ox, int* oy, float* sx, float* sy) {
    ReferenceHost* h = Host(kCbGetViewOriginAndScale);
    if (h) h->lastAppView_ = appView;
    if (ox) *ox = h ? h->originX_ : 0;
    if (oy) *oy = h ? h->originY_ : 0;
    if (sx) *sx = h ? h->scaleX_ : 1;
    if (sy) *sy = h ? h->scaleY_ : 1;
  }
  static void GetViewSize(int view, int* width, int* height) {
    const HostWindow* w = ViewOf(kCbGetViewSize, view);
    if (width) *width = w ? w->width : 0;
    if (height) *height = w ? w->height : 0;
  }
  static bool WantsTransparentBackdrop(int view) {
    const HostWindow* w = ViewOf(kCbWantsTransparentBackdrop, view);
    return w && w->transparentBackdrop;
  }
  static void* GetViewPixels(int view) {
    HostWindow* w = ViewOf(kCbGetViewPixels, view);
    if (w) std::vector<std::uint32_t>().swap(w->retiredPixels);
    return w && !w->pixels.empty() ? w->pixels.data() : nullptr;
  }
  static void UpdateImageRequested(int view, int) {
    if (HostWindow* w = ViewOf(kCbUpdateImageRequested, view)) ++w->updateImageRequests;
  }
  static int StartTimer(int interval, BrenmarkTimerProc proc, void* context) {
    ReferenceHost* h = Host(kCbStartTimer);
    return h ? h->StartTimer(interval, proc, context) : 0;
  }
  static void StopTimer(int id) {
    if (ReferenceHost* h = Host(kCbStopTimer)) h->StopTimer(id);
  }
  static unsigned GetTotalMemoryKB() {
    ReferenceHost* h = Host(kCbGetTotalMemoryKB);
    return h ? h->TotalMemoryKB() : 0;
  }
  static unsigned GetAvailableMemoryKB() {
    ReferenceHost* h = Host(kCbGetAvailableMemoryKB);
    return h ? h->AvailableMemoryKB() : 0;
  }
  static void GetScreenSize(int* width, int* height) {
    ReferenceHost* h = Host(kCbGetScreenSize);
    if (width) *width = h ? h->screenWidth_ : 0;
    if (height) *height = h ? h->screenHeight_ : 0;
  }
  static bool HoldMarchingAnts() {
    ReferenceHost* h = Host(kCbHoldMarchingAnts);
    return h && h->holdAnts_;
  }
  static void ShowUpdate(int window) {
    ReferenceHost* h = Host(kCbShowUpdate);
    HostWindow* w = h ? h->FindWindow(window) : nullptr;
    if (!w) return;
    ++w->showUpdates;
    if (h->showUpdate_) h->ShowPulledUpdate(window);
  }
  static void DrawMarchingAnts(int window, int) {
    if (HostWindow* w = WindowOf(kCbDrawMarchingAnts, window)) ++w->antsDraws;
  }
  static void MarchingAntsChanged(int window) {
    if (HostWindow* w = WindowOf(kCbMarchingAntsChanged, window)) ++w->antsChanges;
  }
  static void BeginTimedUpdate(int window, int interval) {
    ReferenceHost* h = Host(kCbBeginTimedUpdate);
    if (HostWindow* w = h ? h->FindWindow(window) : nullptr) h->BeginTimedUpdate(*w, interval);
  }
  static void EndTimedUpdate(int window) {
    ReferenceHost* h = Host(kCbEndTimedUpdate);
    if (HostWindow* w = h ? h->FindWindow(window) : nullptr) h->EndTimedUpdate(*w);
  }
  static void CheckTimedUpdate(int window) {
    ReferenceHost* h = Host(kCbCheckTimedUpdate);
    if (HostWindow* w = h ? h->FindWindow(window) : nullptr) h->CheckTimedUpdate(*w);
  }
  static ViewerParms& GetViewerParms(int window) {
    static ViewerParms detached{};
    ReferenceHost* h = Host(kCbGetViewerParms);
    if (!h) return detached;
    HostWindow* w = h->FindWindow(window);
    return w ? w->parms : h->fallbackParms_;
  }
  static int CreateStackWindow(int layerStackHandle, const ViewerParms& parms) {
    ReferenceHost* h = Host(kCbCreateStackWindow);
    return h ? h->CreateWindow(layerStackHandle, parms) : 0;
  }
  static void StackConstructed(int window) {
    if (HostWindow* w = WindowOf(kCbStackConstructed, window)) ++w->constructedNotices;
  }
  static void StackDestroying(int window) {
    if (HostWindow* w = WindowOf(kCbStackDestroying, window)) {
      // The window closes with its canvas: its view memory goes now (a
      // program that makes and deletes canvases must not keep every view);
      // the small record stays so the notices can still be read.
      ++w->destroyingNotices;
      // Copies of a stack (kept for undo) show in the same window: the
      // view stays while any announced stack is left.
      if (w->destroyingNotices < w->constructedNotices) return;
      std::vector<std::uint32_t>().swap(w->pixels);
      w->width = w->height = 0;
    }
  }
  static void SetViewerParms(int window, const ViewerParms& parms) {
    if (HostWindow* w = WindowOf(kCbSetViewerParms, window)) {
      w->parms = parms;
      ++w->viewerParmsSets;
    }
  }
  static int GetViewOfWindow(int window) {
    const HostWindow* w = WindowOf(kCbGetViewOfWindow, window);
    return w ? w->view : 0;
  }
  static int GetDebugSelector() {
    ReferenceHost* h = Host(kCbGetDebugSelector);
    return h ? h->debugSelector_ : 0;
  }
  static void ShowMessageBox(int x, int y, int style, int* answer, const char* text) {
    ReferenceHost* h = Host(kCbShowMessageBox);
    if (h) h->messageBoxes_.push_back({x, y, style, text ? text : ""});
    if (answer) *answer = h ? h->messageBoxAnswer_ : 0;
  }
  static void SetBusy(bool busy) {
    if (ReferenceHost* h = Host(kCbSetBusy)) h->busyChanges_.push_back(busy);
  }
  static void GetDisplayFilter(int, float* sr, float* sg, float* sb, float* sa, float* orr,
                               float* og, float* ob, float* oa) {
    ReferenceHost* h = Host(kCbGetDisplayFilter);
    const std::array<float, 4> scales = h ? h->filterScales_ : std::array<float, 4>{1, 1, 1, 1};
    const std::array<float, 4> offsets = h ? h->filterOffsets_ : std::array<float, 4>{};
    float* out[8] = {sr, sg, sb, sa, orr, og, ob, oa};
    for (int i = 0; i < 8; ++i) {
      if (out[i]) *out[i] = i < 4 ? scales[i] : offsets[i - 4];
    }
  }
  static void GetRotationCentre(int view, float* x, float* y) {
    ReferenceHost* h = Host(kCbGetRotationCentre);
    float cx = 0, cy = 0;
    if (h && h->rotationCentre_) {
      cx = (*h->rotationCentre_)[0];
      cy = (*h->rotationCentre_)[1];
    } else if (const HostWindow* w = h ? h->FindView(view) : nullptr) {
      cx = w->width / 2.0f;
      cy = w->height / 2.0f;
    }
    if (x) *x = cx;
    if (y) *y = cy;
  }
  static void SetViewInFront(int view, bool inFront) {
    if (HostWindow* w = ViewOf(kCbSetViewInFront, view)) w->inFront = inFront;
  }
  static void LayerStackChanged() { Host(kCbLayerStackChanged); }
  static void ImagePlaneRefreshed(int view) {
    if (HostWindow* w = ViewOf(kCbImagePlaneRefreshed, view)) {
      ++w->imagePlaneRefreshes;
      w->showsPixels = true;
    }
  }
  static void StrokeIdle() { Host(kCbStrokeIdle); }
  static void ShowMessage(const char* text) {
    if (ReferenceHost* h = Host(kCbShowMessage)) h->messages_.push_back(text ? text : "");
  }
  static void RecordProxy(ReferenceHost* h, int member, int count, const int* indices) {
    if (!h) return;
    ProxyDecision d{member, {}};
    if (indices && count > 0) d.layerIndices.assign(indices, indices + count);
    h->proxyDecisions_.push_back(std::move(d));
  }
  static void FloodFillProxyApply(int count, int* indices) {
    RecordProxy(Host(kCbFloodFillProxyApply), kCbFloodFillProxyApply, count, indices);
  }
  static bool FloodFillProxyAccept(int count, int* indices) {
    ReferenceHost* h = Host(kCbFloodFillProxyAccept);
    RecordProxy(h, kCbFloodFillProxyAccept, count, indices);
    return h && h->proxyAnswer_;
  }
  static void MagicWandProxyApply(int count, int* indices) {
    RecordProxy(Host(kCbMagicWandProxyApply), kCbMagicWandProxyApply, count, indices);
  }
  static bool MagicWandProxyAccept(int count, int* indices) {
    ReferenceHost* h = Host(kCbMagicWandProxyAccept);
    RecordProxy(h, kCbMagicWandProxyAccept, count, indices);
    return h && h->proxyAnswer_;
  }
  static void GeneratorsRegistered() { Host(kCbGeneratorsRegistered); }

  // Curves work without a host; the host only counts.
  static void ReleaseCurve(ag_curve** holder) {
    Host(kCbReleaseCurve);
    host::ReleaseCurve(holder);
  }
  static bool IsCurveClosed(ag_curve* curve) {
    Host(kCbIsCurveClosed);
    return host::IsCurveClosed(curve);
  }
  static ag_curve* CloneCurve(ag_curve* curve) {
    Host(kCbCloneCurve);
    return host::CopyCurve(curve);
  }
  static double GetCurveLength(ag_curve* curve) {
    Host(kCbGetCurveLength);
    return host::CurveLength(curve);
  }
  static void GetCurveDirection(ag_curve* curve, double t, double* dx, double* dy) {
    Host(kCbGetCurveDirection);
    host::CurveDirection(curve, t, dx, dy);
  }
  static double ProjectOntoCurve(ag_curve* curve, double x, double y) {
    Host(kCbProjectOntoCurve);
    return host::ProjectOntoCurve(curve, x, y);
  }
  static void EvaluateCurve(ag_curve* curve, double t, double* x, double* y) {
    Host(kCbEvaluateCurve);
    host::EvaluateCurve(curve, t, x, y);
  }
  static double** GetCurveBounds(ag_curve* curve) {
    Host(kCbGetCurveBounds);
    return host::CurveBounds(curve);
  }
  static ag_curve* CopyCurve(ag_curve* curve, int) {
    Host(kCbCopyCurve);
    return host::CopyCurve(curve);
  }
  static float* TessellateCurve(ag_curve* curve, ilTile*, int* count) {
    Host(kCbTessellateCurve);
    return host::TessellateCurve(curve, count);
  }
  static float* GetSplinePoints(ag_spline* spline, int* count) {
    Host(kCbGetSplinePoints);
    return host::SplinePoints(spline, count);
  }
  static void ApplyWatermark(void* pixels, int px, int py, int pw, int ph, int bw, int bh) {
    ReferenceHost* h = Host(kCbApplyWatermark);
    if (h && h->watermark_) h->watermark_(pixels, px, py, pw, ph, bw, bh);
  }
  // Reserved slots are never called; one that is still gets counted.
  template <int Slot>
  static void Reserved() {
    Host(Slot);
  }

  static BrenmarkCallbacks Record() {
    BrenmarkCallbacks r;
    r.GetBackgroundColor = GetBackgroundColor;
    r.LayersChanged = LayersChanged;
    r.GetViewOriginAndScale = GetViewOriginAndScale;
    r.GetViewSize = GetViewSize;
    r.WantsTransparentBackdrop = WantsTransparentBackdrop;
    r.GetViewPixels = GetViewPixels;
    r.reserved6 = Reserved<kCbReserved6>;
    r.UpdateImageRequested = UpdateImageRequested;
    r.StartTimer = StartTimer;
    r.StopTimer = StopTimer;
    r.GetTotalMemoryKB = GetTotalMemoryKB;
    r.GetAvailableMemoryKB = GetAvailableMemoryKB;
    r.GetScreenSize = GetScreenSize;
    r.HoldMarchingAnts = HoldMarchingAnts;
    r.ShowUpdate = ShowUpdate;
    r.DrawMarchingAnts = DrawMarchingAnts;
    r.MarchingAntsChanged = MarchingAntsChanged;
    r.reserved17 = Reserved<kCbReserved17>;
    r.BeginTimedUpdate = BeginTimedUpdate;
    r.EndTimedUpdate = EndTimedUpdate;
    r.CheckTimedUpdate = CheckTimedUpdate;
    r.GetViewerParms = GetViewerParms;
    r.CreateStackWindow = CreateStackWindow;
    r.StackConstructed = StackConstructed;
    r.StackDestroying = StackDestroying;
    r.SetViewerParms = SetViewerParms;
    r.GetViewOfWindow = GetViewOfWindow;
    r.GetDebugSelector = GetDebugSelector;
    r.reserved28 = Reserved<kCbReserved28>;
    r.ShowMessageBox = ShowMessageBox;
    r.reserved30 = Reserved<kCbReserved30>;
    r.SetBusy = SetBusy;
    r.GetDisplayFilter = GetDisplayFilter;
    r.GetRotationCentre = GetRotationCentre;
    r.SetViewInFront = SetViewInFront;
    r.LayerStackChanged = LayerStackChanged;
    r.ImagePlaneRefreshed = ImagePlaneRefreshed;
    r.StrokeIdle = StrokeIdle;
    r.ShowMessage = ShowMessage;
    r.FloodFillProxyApply = FloodFillProxyApply;
    r.FloodFillProxyAccept = FloodFillProxyAccept;
    r.MagicWandProxyApply = MagicWandProxyApply;
    r.MagicWandProxyAccept = MagicWandProxyAccept;
    r.GeneratorsRegistered = GeneratorsRegistered;
    r.ReleaseCurve = ReleaseCurve;
    r.IsCurveClosed = IsCurveClosed;
    r.CloneCurve = CloneCurve;
    r.GetCurveLength = GetCurveLength;
    r.GetCurveDirection = GetCurveDirection;
    r.ProjectOntoCurve = ProjectOntoCurve;
    r.EvaluateCurve = EvaluateCurve;
    r.GetCurveBounds = GetCurveBounds;
    r.CopyCurve = CopyCurve;
    r.reserved53 = Reserved<kCbReserved53>;
    r.reserved54 = Reserved<kCbReserved54>;
    r.reserved55 = Reserved<kCbReserved55>;
    r.TessellateCurve = TessellateCurve;
    r.GetSplinePoints = GetSplinePoints;
    r.ApplyWatermark = ApplyWatermark;
    r.reserved59 = Reserved<kCbReserved59>;
    return r;
  }
};

ReferenceHost::ReferenceHost() : wallMark_(std::chrono::steady_clock::now()) {
  if (const char* env = std::getenv("BRENMARK_MEMORY")) {
    std::string problem;
    if (!SetMemoryBudget(env, &problem)) {
      std::fprintf(stderr, "brenmark: warning: BRENMARK_MEMORY=%s ignored: %s\n", env,
                   problem.c_str());
    }
  }
}

ReferenceHost::~ReferenceHost() {
  if (g_active == this) g_active = nullptr;
}

BrenmarkCallbacks ReferenceHost::Install() {
  g_active = this;
  return Trampolines();
}

bool ReferenceHost::IsActive() const {
  return g_active == this;
}

ReferenceHost* ReferenceHost::Active() {
  return g_active;
}

BrenmarkCallbacks ReferenceHost::Trampolines() {
  return Trampoline::Record();
}

void ReferenceHost::SetScreenSize(int width, int height) {
  screenWidth_ = width;
  screenHeight_ = height;
}

void ReferenceHost::SetDefaultViewSize(int width, int height) {
  defaultViewWidth_ = width;
  defaultViewHeight_ = height;
}

bool ReferenceHost::ResizeView(int view, int width, int height) {
  HostWindow* w = FindView(view);
  if (!w) return false;
  w->width = width > 0 ? width : 0;
  w->height = height > 0 ? height : 0;
  // The old memory stays alive until the engine asks for the new one.
  if (w->retiredPixels.empty()) w->retiredPixels.swap(w->pixels);
  w->pixels.assign(static_cast<size_t>(w->width) * w->height, 0);
  w->screen.assign(w->pixels.size(), 0);
  return true;
}

void ReferenceHost::ShowPulledUpdate(int window) {
  UpdatePixels u;
  // Pulling the update image may refresh the image plane on the way; what
  // the view shows is decided here, not by that refresh.
  const bool showedPixels = FindWindow(window)->showsPixels;
  const bool pulled = showUpdate_(window, u);
  HostWindow* w = FindWindow(window);
  if (!w) return;
  w->showsPixels = showedPixels;
  if (!pulled || !u.pixels) return;
  // The application's pixels, or the host's own copy of what the view shows.
  std::uint32_t* target = w->appPixels;
  int width = w->appWidth, height = w->appHeight;
  if (!target) {
    if (w->showsPixels) w->screen = w->pixels;
    w->screen.resize(static_cast<size_t>(w->width) * w->height, 0);
    w->showsPixels = false;
    target = w->screen.data();
    width = w->width;
    height = w->height;
  }
  const int x0 = std::max({u.x, 0}), y0 = std::max({u.y, 0});
  const int x1 = std::min({u.x + u.nx, width, u.width});
  const int y1 = std::min({u.y + u.ny, height, u.height});
  if (x0 >= x1 || y0 >= y1) return;
  for (int y = y0; y < y1; ++y) {
    const std::uint32_t* from = u.pixels + static_cast<size_t>(y) * u.width + x0;
    std::copy(from, from + (x1 - x0), target + static_cast<std::ptrdiff_t>(y) * width + x0);
  }
  if (w->appPixels) w->shownRects.push_back({x0, y0, x1 - x0, y1 - y0});
}

bool ReferenceHost::AttachWindowPixels(int window, std::uint32_t* pixels, int width, int height) {
  HostWindow* w = FindWindow(window);
  if (!w) return false;
  const bool usable = pixels && width > 0 && height > 0;
  w->appPixels = usable ? pixels : nullptr;
  w->appWidth = usable ? width : 0;
  w->appHeight = usable ? height : 0;
  w->shownRects.clear();
  return true;
}

std::vector<ShownRect> ReferenceHost::TakeShownRects(int window) {
  std::vector<ShownRect> taken;
  if (HostWindow* w = FindWindow(window)) taken.swap(w->shownRects);
  return taken;
}

const std::uint32_t* ReferenceHost::ShownPixels(int view) const {
  const HostWindow* w = WindowOfView(view);
  if (!w) return nullptr;
  const auto& shown = w->showsPixels ? w->pixels : w->screen;
  return shown.empty() ? nullptr : shown.data();
}

void ReferenceHost::SetTransparentBackdrop(int window, bool transparent) {
  if (HostWindow* w = FindWindow(window)) w->transparentBackdrop = transparent;
}

void ReferenceHost::SetMemoryKB(std::optional<unsigned> total, std::optional<unsigned> available) {
  totalKB_ = total;
  availableKB_ = available;
  budgetMB_.reset();
}

bool ReferenceHost::SetMemoryBudget(std::string_view text, std::string* problem) {
  const std::optional<unsigned long long> mb = ParseMegabytes(text);
  const unsigned machine =
      mb && *mb <= kMaxMemoryBudgetMB ? MachineMBForBudget(static_cast<unsigned>(*mb)) : 0;
  if (machine == 0) {
    if (problem) {
      *problem = "memory budget \"" + std::string(text) + "\" cannot be used: give 12 or 16 to " +
                 std::to_string(kMaxMemoryBudgetMB) +
                 " megabytes, as a number with an optional K, M or G suffix (e.g. 64M, 1G)";
    }
    return false;
  }
  // The cache starts at min(budget, 64 MB). Available memory between 32 and
  // 40 MB neither grows nor shrinks it; above 64 MB it grows, and the size
  // table caps the growth at exactly the budget.
  const unsigned budget = static_cast<unsigned>(*mb);
  const unsigned availableMB = budget <= 64 ? 36 : budget - 24;
  totalKB_ = machine * 1024u;
  availableKB_ = availableMB * 1024u;
  budgetMB_ = budget;
  return true;
}

void ReferenceHost::SetDisplayFilter(const std::array<float, 4>& scales,
                                     const std::array<float, 4>& offsets) {
  filterScales_ = scales;
  filterOffsets_ = offsets;
}

void ReferenceHost::SetViewOriginAndScale(int originX, int originY, float scaleX, float scaleY) {
  originX_ = originX;
  originY_ = originY;
  scaleX_ = scaleX;
  scaleY_ = scaleY;
}

unsigned ReferenceHost::TotalMemoryKB() const {
  if (totalKB_) return *totalKB_;
  unsigned long long kb = ReadMeminfoKB(procRoot_, "MemTotal").value_or(0);
  if (kb == 0) kb = PagesToKB(sysconf(_SC_PHYS_PAGES));
  if (auto cg = ReadCgroupMemory(procRoot_, cgroupRoot_)) kb = std::min(kb, cg->limitKB);
  return ClampKB(kb);
}

unsigned ReferenceHost::AvailableMemoryKB() const {
  if (availableKB_) return *availableKB_;
  std::optional<unsigned long long> meminfo = ReadMeminfoKB(procRoot_, "MemAvailable");
  unsigned long long kb = meminfo ? *meminfo : PagesToKB(sysconf(_SC_AVPHYS_PAGES));
  if (auto cg = ReadCgroupMemory(procRoot_, cgroupRoot_)) kb = std::min(kb, cg->freeKB);
  return ClampKB(kb);
}

void ReferenceHost::SetSystemRoots(std::string proc, std::string cgroup) {
  procRoot_ = std::move(proc);
  cgroupRoot_ = std::move(cgroup);
}

int ReferenceHost::CreateWindow(int layerStackHandle, const ViewerParms& parms) {
  const int id = nextWindowId_++;
  HostWindow& w = windows_[id];
  w.id = id;
  w.view = id + kViewIdOffset;
  w.layerStackHandle = layerStackHandle;
  w.parms = parms;
  w.width = defaultViewWidth_;
  w.height = defaultViewHeight_;
  w.pixels.assign(static_cast<size_t>(w.width) * w.height, 0);
  w.screen.assign(w.pixels.size(), 0);
  return id;
}

HostWindow* ReferenceHost::FindWindow(int window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

HostWindow* ReferenceHost::FindView(int view) {
  return FindWindow(view - kViewIdOffset);
}

const HostWindow* ReferenceHost::Window(int window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

const HostWindow* ReferenceHost::WindowOfView(int view) const {
  return Window(view - kViewIdOffset);
}

const HostWindow* ReferenceHost::WindowOfStack(int layerStackHandle) const {
  const HostWindow* found = nullptr;
  for (const auto& [id, w] : windows_) {
    if (w.layerStackHandle == layerStackHandle) found = &w;
  }
  return found;
}

std::vector<int> ReferenceHost::WindowIds() const {
  std::vector<int> ids;
  for (const auto& [id, w] : windows_) ids.push_back(id);
  return ids;
}

std::uint32_t* ReferenceHost::ViewPixels(int view) {
  HostWindow* w = FindView(view);
  return w && !w->pixels.empty() ? w->pixels.data() : nullptr;
}

int ReferenceHost::CallCount(int member) const {
  return member >= 0 && member < kCbMemberCount ? calls_[member] : 0;
}

void ReferenceHost::ResetCounts() {
  calls_.fill(0);
}

int ReferenceHost::StartTimer(int interval, BrenmarkTimerProc proc, void* context) {
  // A zero or negative interval would fire forever within one advance.
  const int period = interval > 0 ? interval : 1;
  const int id = nextTimerId_++;
  timers_[id] = Timer{period, now_ + period, nextTimerOrder_++, proc, context};
  return id;
}

void ReferenceHost::StopTimer(int id) {
  timers_.erase(id);
}

void ReferenceHost::BeginTimedUpdate(HostWindow& w, int interval) {
  w.timedUpdateRunning = true;
  w.timedUpdateInterval = interval;
  if (!timedUpdate_) return;
  if (w.timedUpdateTimer) StopTimer(w.timedUpdateTimer);
  w.timedUpdateTimer = StartTimer(interval, &ReferenceHost::TimedUpdateProc, this);
}

void ReferenceHost::EndTimedUpdate(HostWindow& w) {
  w.timedUpdateRunning = false;
  if (w.timedUpdateTimer) StopTimer(w.timedUpdateTimer);
  w.timedUpdateTimer = 0;
}

void ReferenceHost::CheckTimedUpdate(HostWindow& w) {
  ++w.timedUpdateChecks;
  auto it = timers_.find(w.timedUpdateTimer);
  if (!timedUpdate_ || it == timers_.end() || it->second.due > WallNow()) return;
  // Due now: refresh here and count the next interval from this refresh.
  it->second.due = WallNow() + it->second.interval;
  ++w.timedUpdateRefreshes;
  timedUpdate_(w.id);
}

void ReferenceHost::TimedUpdateProc(int id, void* context) {
  auto* self = static_cast<ReferenceHost*>(context);
  for (auto& [windowId, w] : self->windows_) {
    if (w.timedUpdateTimer != id) continue;
    ++w.timedUpdateRefreshes;
    if (self->timedUpdate_) self->timedUpdate_(windowId);
    return;
  }
}

std::int64_t ReferenceHost::WallNow() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - wallMark_);
  return now_ + elapsed.count();
}

int ReferenceHost::MillisecondsToNextTimer() const {
  if (timers_.empty()) return -1;
  std::int64_t due = INT64_MAX;
  for (const auto& [id, t] : timers_) due = std::min(due, t.due);
  const std::int64_t wait = due - WallNow();
  return wait <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(wait, INT_MAX));
}

int ReferenceHost::TimerInterval(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? -1 : it->second.interval;
}

int ReferenceHost::AdvanceTime(int units) {
  // A timer procedure that advances time itself would reorder the queue
  // under the running loop; such nested calls do nothing.
  if (advancing_) return 0;
  advancing_ = true;
  const std::int64_t target = now_ + (units > 0 ? units : 0);
  int fired = 0;
  for (;;) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (next == timers_.end() || it->second.due < next->second.due ||
          (it->second.due == next->second.due && it->second.order < next->second.order)) {
        next = it;
      }
    }
    if (next == timers_.end() || next->second.due > target) break;
    now_ = next->second.due;
    const int id = next->first;
    next->second.due += next->second.interval;
    // The procedure may stop or start timers, so nothing of the queue is
    // held across the call.
    const BrenmarkTimerProc proc = next->second.proc;
    void* const context = next->second.context;
    ++fired;
    if (proc) proc(id, context);
  }
  now_ = target;
  advancing_ = false;
  return fired;
}

int ReferenceHost::RunDueTimers() {
  const auto wall = std::chrono::steady_clock::now();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(wall - wallMark_);
  const std::int64_t ms = elapsed.count() > INT_MAX ? INT_MAX : elapsed.count();
  wallMark_ += std::chrono::milliseconds(ms);
  return AdvanceTime(static_cast<int>(ms));
}

}  // namespace brenmark::host
