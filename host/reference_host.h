// The reference host: an application behind the callback record, for tests,
// tools and examples. It owns windows with views of real pixel memory, keeps
// timers in a queue that runs on explicit or wall-clock time, answers the
// queries with configurable values and records every notice so callers can
// inspect what the engine asked for.
//
// The callback record holds plain function pointers without user data, so
// the record returned by Install() consists of static trampolines that route
// to the one active host. Install() makes this host the active one; a host
// stops being active when another one is installed or when it is destroyed.
// With no active host the trampolines answer zeros, nulls and false.
//
// Timer and curve services never depend on the engine; nothing here links
// against it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <brenmark/callbacks.h>

namespace brenmark::host {

// Window ids start here and views are their window plus kViewIdOffset, so a
// window passed where a view belongs (or the reverse) is never found.
inline constexpr int kFirstWindowId = 1;
inline constexpr int kViewIdOffset = 0x10000;

struct MessageBoxCall {
  int x;
  int y;
  int style;
  std::string text;
};

// An update image pulled from the engine for member 14: `pixels` is a
// width x height image, row by row, and (x, y, nx, ny) the screen rectangle
// of it to show.
struct UpdatePixels {
  const std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int x = 0, y = 0, nx = 0, ny = 0;
};

// A rectangle of a window's pixels that a shown update rewrote, in the
// update image's coordinates (row 0 the bottom row).
struct ShownRect {
  int x = 0, y = 0, nx = 0, ny = 0;
  bool operator==(const ShownRect&) const = default;
};

struct ProxyDecision {
  int member;  // 39..42
  std::vector<int> layerIndices;
};

// Everything the host keeps about one window (a layer stack's display).
struct HostWindow {
  int id = 0;
  int view = 0;
  int layerStackHandle = -1;
  ViewerParms parms{};
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // width * height, row by row: member 5's memory
  // What the view shows: its own memory while the engine refreshes it
  // (member 36), otherwise `screen`, where pulled update images land.
  std::vector<std::uint32_t> screen;
  bool showsPixels = true;
  // Memory handed out before the last ResizeView; kept until the engine asks
  // for the view's memory again, so an image plane over it stays valid.
  std::vector<std::uint32_t> retiredPixels;
  bool transparentBackdrop = true;  // member 4's answer
  bool inFront = false;             // last value given by member 34
  int constructedNotices = 0;       // member 23
  int destroyingNotices = 0;        // member 24 (the view's pixels are freed then)
  int viewerParmsSets = 0;          // member 25
  int updateImageRequests = 0;      // member 7
  int showUpdates = 0;              // member 14
  int antsDraws = 0;                // member 15
  int antsChanges = 0;              // member 16
  bool timedUpdateRunning = false;  // between members 18 and 19
  int timedUpdateInterval = 0;      // last interval given to member 18
  int timedUpdateChecks = 0;        // member 20
  int imagePlaneRefreshes = 0;      // member 36
  // Pixels the application owns (AttachWindowPixels): width x height, row
  // by row, bottom row first. Pulled updates land here instead of `screen`.
  std::uint32_t* appPixels = nullptr;
  int appWidth = 0;
  int appHeight = 0;
  std::vector<ShownRect> shownRects;  // copied into appPixels, not yet taken
  int timedUpdateTimer = 0;           // the host's timer for members 18-19, 0 for none
  int timedUpdateRefreshes = 0;       // times that timer (or member 20) refreshed
};

class ReferenceHost {
 public:
  ReferenceHost();
  ~ReferenceHost();
  ReferenceHost(const ReferenceHost&) = delete;
  ReferenceHost& operator=(const ReferenceHost&) = delete;

  // Makes this host the active one and returns the trampoline record.
  BrenmarkCallbacks Install();
  // Install() and hand the record to a paint manager (anything with
  // SetCallbacks(BrenmarkCallbacks&)); compiled where it is used, so the
  // host itself never links against the engine.
  template <class Manager>
  void InstallInto(Manager& manager) {
    BrenmarkCallbacks record = Install();
    manager.SetCallbacks(record);
  }
  bool IsActive() const;
  static ReferenceHost* Active();
  // The trampoline record (the same for every host).
  static BrenmarkCallbacks Trampolines();

  // ---- Configuration (takes effect on the next call of the member).
  void SetBackgroundColor(unsigned packed) { background_ = packed; }  // member 0, default white
  void SetScreenSize(int width, int height);                          // member 12, 800 x 600
  void SetDefaultViewSize(int width, int height);  // views of new windows, 256 x 256
  // Resizes a view's pixel memory (zeroed); the engine learns of it only
  // when told (NotifyImagePlaneResize). False for an unknown view.
  bool ResizeView(int view, int width, int height);
  void SetTransparentBackdrop(int window, bool transparent);          // member 4
  void SetDebugSelector(int selector) { debugSelector_ = selector; }  // member 27, default 0
  // Memory sizes in kilobytes; unset values are read from the machine.
  void SetMemoryKB(std::optional<unsigned> total, std::optional<unsigned> available);
  // Sets the page cache's memory budget in megabytes by reporting machine memory whose
  // budget-table entry is that budget (and available memory that neither grows nor shrinks it).
  // Returns false with a problem for sizes the store cannot honour.
  // Text: a whole number of megabytes with an optional K, M or G suffix ("64", "64M",
  // "16384K", "1G"). The cache reads the total once, when it is created, so this must
  // come before the first page operation. The constructor applies BRENMARK_MEMORY.
  bool SetMemoryBudget(std::string_view text, std::string* problem);
  std::optional<unsigned> MemoryBudgetMB() const { return budgetMB_; }
  // Budgets that the cache's size table can produce: 12 MB, or 16 MB up to this.
  static constexpr unsigned kMaxMemoryBudgetMB = 65535;
  void SetMessageBoxAnswer(int answer) { messageBoxAnswer_ = answer; }  // member 29, default 1
  void SetHoldMarchingAnts(bool hold) { holdAnts_ = hold; }             // member 13
  void SetDisplayFilter(const std::array<float, 4>& scales, const std::array<float, 4>& offsets);
  // Member 33: a fixed point, or (unset) the centre of the view.
  void SetRotationCentre(std::optional<std::array<float, 2>> centre) { rotationCentre_ = centre; }
  // Member 2: the origin and scale reported for every application view.
  void SetViewOriginAndScale(int originX, int originY, float scaleX, float scaleY);
  void SetProxyAnswer(bool accept) { proxyAnswer_ = accept; }  // members 40 and 42, default true
  // Member 58; without a hook pages stay as they are.
  using WatermarkHook = std::function<void(void* pixels, int pageX, int pageY, int pageWidth,
                                           int pageHeight, int boundsWidth, int boundsHeight)>;
  void SetWatermarkHook(WatermarkHook hook) { watermark_ = std::move(hook); }
  // Member 14 (show the update image): the hook fills `out` for the window
  // and answers true; the host then copies that rectangle into what the view
  // shows. Without a hook member 14 is only counted.
  using ShowUpdateHook = std::function<bool(int window, UpdatePixels& out)>;
  void SetShowUpdateHook(ShowUpdateHook hook) { showUpdate_ = std::move(hook); }
  // Installs a show-update hook that pulls the update image and its screen
  // rectangle from the stack of the window (anything with GetLayerStack(h)
  // returning a stack with GetScrnUpdateRegion and GetUpdateImage);
  // compiled where it is used, like InstallInto.
  // With `consume` the update region is reset once its image is pulled, so
  // each damaged pixel is shown once (what an application that keeps its
  // own window pixels wants); otherwise it stays for the caller to read.
  template <class Manager>
  void PullUpdatesFrom(Manager& manager, bool consume = false) {
    SetShowUpdateHook([this, &manager, consume](int window, UpdatePixels& out) {
      const HostWindow* w = Window(window);
      auto* stack = w ? manager.GetLayerStack(w->layerStackHandle) : nullptr;
      if (!stack) return false;
      const auto region = stack->GetScrnUpdateRegion();
      auto* image = stack->GetUpdateImage();
      if (!image || !image->getDataPtr()) return false;
      out.pixels = static_cast<const std::uint32_t*>(image->getDataPtr());
      out.width = image->getXsize();
      out.height = image->getYsize();
      out.x = region.x;
      out.y = region.y;
      out.nx = region.nx;
      out.ny = region.ny;
      if (consume) stack->ResetUpdateRegion();
      return true;
    });
  }

  // ---- A window whose pixels the application owns (an on-screen window's
  // back buffer). Pulled updates are copied into `pixels` (width x height,
  // row by row, bottom row first, the update image's layout), clipped to
  // it, and each copied rectangle is queued for TakeShownRects, so the
  // application presents only what the engine rewrote. Null detaches; false
  // for an unknown window. The memory must outlive the attachment.
  bool AttachWindowPixels(int window, std::uint32_t* pixels, int width, int height);
  // The rectangles copied since the last call, in order.
  std::vector<ShownRect> TakeShownRects(int window);

  // ---- Timed updates (members 18-20) run by the host: with a hook set,
  // member 18 starts a repeating host timer of the given interval that calls
  // the hook for the window, member 19 stops it, and member 20 calls it at
  // once when the timer is overdue on the wall clock. Without a hook the
  // members are only recorded.
  using TimedUpdateHook = std::function<void(int window)>;
  void SetTimedUpdateHook(TimedUpdateHook hook) { timedUpdate_ = std::move(hook); }
  // A hook that forces a display update of the window's stack (which then
  // shows through member 14); compiled where it is used, like InstallInto.
  template <class Manager>
  void RefreshOnTimedUpdate(Manager& manager) {
    SetTimedUpdateHook([this, &manager](int window) {
      const HostWindow* w = Window(window);
      if (auto* stack = w ? manager.GetLayerStack(w->layerStackHandle) : nullptr) {
        stack->ForceUpdate();
      }
    });
  }

  // ---- Timers. Time is an integer count of timer units (milliseconds on
  // the wall clock) that only moves forward.
  // Moves time forward by `units`, firing every timer that falls due on the
  // way in order of due time (ties: earlier started first). A repeating
  // timer fires once per interval passed. Returns the number of firings.
  int AdvanceTime(int units);
  // Advances by the wall-clock time since the last call (or construction).
  int RunDueTimers();
  std::int64_t Now() const { return now_; }
  bool IsTimerRunning(int id) const { return timers_.count(id) != 0; }
  int RunningTimerCount() const { return static_cast<int>(timers_.size()); }
  int TimerInterval(int id) const;  // -1 for a timer that does not run
  // Milliseconds of wall-clock time until RunDueTimers would fire the next
  // timer (0 when one is overdue), or -1 when no timer runs: the timeout
  // of an event loop's wait.
  int MillisecondsToNextTimer() const;

  // ---- Inspection.
  int CallCount(int member) const;  // calls of member 0..59 since the last reset
  void ResetCounts();
  const HostWindow* Window(int window) const;
  const HostWindow* WindowOfView(int view) const;
  const HostWindow* WindowOfStack(int layerStackHandle) const;  // latest with that handle
  std::vector<int> WindowIds() const;
  std::uint32_t* ViewPixels(int view);
  // What the view shows now (see HostWindow::screen); null for an unknown
  // or empty view.
  const std::uint32_t* ShownPixels(int view) const;
  const std::vector<std::string>& Messages() const { return messages_; }  // member 38
  const std::vector<MessageBoxCall>& MessageBoxes() const { return messageBoxes_; }
  const std::vector<bool>& BusyChanges() const { return busyChanges_; }  // member 31
  bool IsBusy() const { return !busyChanges_.empty() && busyChanges_.back(); }
  const std::vector<ProxyDecision>& ProxyDecisions() const { return proxyDecisions_; }
  void* LastAppView() const { return lastAppView_; }  // member 2's argument
  // Unless set, the machine's figures bounded by the process's cgroup (v2):
  // total = min(MemTotal, memory.max), available = min(MemAvailable,
  // memory.max - memory.current), over the cgroup and its ancestors that
  // set a limit ("max" sets none).
  unsigned TotalMemoryKB() const;
  unsigned AvailableMemoryKB() const;
  // Where those figures are read: `proc` holds meminfo and self/cgroup,
  // `cgroup` is the cgroup v2 mount. Defaults "/proc" and "/sys/fs/cgroup".
  void SetSystemRoots(std::string proc, std::string cgroup);

 private:
  friend struct Trampoline;

  HostWindow* FindWindow(int window);
  HostWindow* FindView(int view);
  void Count(int member) { ++calls_[member]; }

  struct Timer {
    int interval;
    std::int64_t due;
    std::uint64_t order;  // start order; breaks ties between equal due times
    BrenmarkTimerProc proc;
    void* context;
  };

  // Member bodies.
  int CreateWindow(int layerStackHandle, const ViewerParms& parms);
  int StartTimer(int interval, BrenmarkTimerProc proc, void* context);
  void StopTimer(int id);
  void BeginTimedUpdate(HostWindow& w, int interval);
  void EndTimedUpdate(HostWindow& w);
  void CheckTimedUpdate(HostWindow& w);
  static void TimedUpdateProc(int id, void* context);
  // Time in timer units by the wall clock, without advancing.
  std::int64_t WallNow() const;
  // Member 14 with a hook: copies the pulled update into what the view shows.
  void ShowPulledUpdate(int window);

  std::array<int, kCbMemberCount> calls_{};
  unsigned background_ = 0xFFFFFFFFu;
  int screenWidth_ = 800, screenHeight_ = 600;
  int defaultViewWidth_ = 256, defaultViewHeight_ = 256;
  int debugSelector_ = 0;
  std::optional<unsigned> totalKB_, availableKB_;
  std::optional<unsigned> budgetMB_;
  std::string procRoot_ = "/proc";
  std::string cgroupRoot_ = "/sys/fs/cgroup";
  int messageBoxAnswer_ = 1;
  bool holdAnts_ = false;
  std::array<float, 4> filterScales_{1, 1, 1, 1};
  std::array<float, 4> filterOffsets_{0, 0, 0, 0};
  std::optional<std::array<float, 2>> rotationCentre_;
  int originX_ = 0, originY_ = 0;
  float scaleX_ = 1, scaleY_ = 1;
  bool proxyAnswer_ = true;
  WatermarkHook watermark_;
  ShowUpdateHook showUpdate_;
  TimedUpdateHook timedUpdate_;

  std::map<int, HostWindow> windows_;
  int nextWindowId_ = kFirstWindowId;
  ViewerParms fallbackParms_{};  // answer of member 21 for an unknown window

  std::map<int, Timer> timers_;
  int nextTimerId_ = 1;
  std::uint64_t nextTimerOrder_ = 0;
  std::int64_t now_ = 0;
  bool advancing_ = false;
  std::chrono::steady_clock::time_point wallMark_;

  std::vector<std::string> messages_;
  std::vector<MessageBoxCall> messageBoxes_;
  std::vector<bool> busyChanges_;
  std::vector<ProxyDecision> proxyDecisions_;
  void* lastAppView_ = nullptr;
};

}  // namespace brenmark::host
