// The reference host: routing of the record, windows and views, timers,
// captured messages, memory sizes (container limits included), the memory
// budget it reports for the page cache, and its curve services over
// polyline curves, through the callback record as the engine calls them.
#include "host/reference_host.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "brenmark/brenmark.h"
#include "host/polyline_curve.h"
#include "imagestore/page_cache.h"

using brenmark::host::HostWindow;
using brenmark::host::LivePolylineCurveCount;
using brenmark::host::MakePolylineCurve;
using brenmark::host::ReferenceHost;

namespace {

// Timer procedures: each logs (id, time) into the log its context names; a
// one-shot timer then stops itself, a re-armed one also starts a new timer.
struct FiringLog {
  ReferenceHost* host;
  std::vector<std::pair<int, long long>> firings;
  BrenmarkCallbacks cb{};
};

void LogFiring(int id, void* context) {
  auto* log = static_cast<FiringLog*>(context);
  log->firings.emplace_back(id, static_cast<long long>(log->host->Now()));
}

void OneShotTick(int id, void* context) {
  LogFiring(id, context);
  static_cast<FiringLog*>(context)->cb.StopTimer(id);
}

void RearmTick(int id, void* context) {
  OneShotTick(id, context);
  static_cast<FiringLog*>(context)->cb.StartTimer(100, RearmTick, context);
}

TEST(ReferenceHostRecord, EveryMemberIsFilled) {
  const BrenmarkCallbacks cb = ReferenceHost::Trampolines();
  BrenmarkReservedFn slots[kCbMemberCount];
  std::memcpy(slots, &cb, sizeof slots);
  for (int i = 0; i < kCbMemberCount; ++i) EXPECT_NE(slots[i], nullptr) << "member " << i;
}

// Stands in for the paint manager: keeps the record it is given.
struct RecordKeeper {
  void SetCallbacks(BrenmarkCallbacks& record) { kept = record; }
  BrenmarkCallbacks kept{};
};

TEST(ReferenceHostRecord, RoutesToTheInstalledHostOnly) {
  ReferenceHost first;
  RecordKeeper keeper;
  first.InstallInto(keeper);
  const BrenmarkCallbacks cb = keeper.kept;
  first.SetDebugSelector(8214);
  EXPECT_EQ(cb.GetDebugSelector(), 8214);
  {
    ReferenceHost second;
    second.Install();
    second.SetDebugSelector(8001);
    EXPECT_FALSE(first.IsActive());
    EXPECT_EQ(cb.GetDebugSelector(), 8001);
    EXPECT_EQ(first.CallCount(kCbGetDebugSelector), 1);
    EXPECT_EQ(second.CallCount(kCbGetDebugSelector), 1);
  }
  // The active host went away: the record answers neutral values.
  EXPECT_EQ(ReferenceHost::Active(), nullptr);
  EXPECT_EQ(cb.GetDebugSelector(), 0);
  EXPECT_EQ(cb.StartTimer(10, LogFiring, nullptr), 0);
  EXPECT_EQ(cb.GetViewPixels(1 + brenmark::host::kViewIdOffset), nullptr);
}

// Busy changes, proxy decisions, messages and message boxes are recorded as
// the engine tests read them (LayerConvolve, FloodCommands, UndoList); here
// the notices without an engine test and the answers the host gives.
TEST(ReferenceHostRecord, CountsNoticesAndAnswersAsSet) {
  ReferenceHost host;
  const BrenmarkCallbacks cb = host.Install();
  for (auto notice : {cb.LayersChanged, cb.LayersChanged, cb.LayerStackChanged, cb.StrokeIdle,
                      cb.GeneratorsRegistered})
    notice();
  EXPECT_EQ(
      (std::vector<int>{host.CallCount(kCbLayersChanged), host.CallCount(kCbLayerStackChanged),
                        host.CallCount(kCbStrokeIdle), host.CallCount(kCbGeneratorsRegistered)}),
      (std::vector<int>{2, 1, 1, 1}));
  int indices[2] = {3, 1};
  EXPECT_TRUE(cb.FloodFillProxyAccept(2, indices));
  host.SetProxyAnswer(false);
  EXPECT_FALSE(cb.MagicWandProxyAccept(1, indices));
  cb.ShowMessage(nullptr);
  EXPECT_EQ(host.Messages(), (std::vector<std::string>{""}));
  int answer = -5;
  cb.ShowMessageBox(-1, -1, 16, &answer, "Nothing to undo");
  EXPECT_EQ(answer, 1);
  host.SetMessageBoxAnswer(7);
  cb.ShowMessageBox(-1, -1, 16, &answer, "Again");
  EXPECT_EQ(answer, 7);
}

TEST(ReferenceHostWindows, ViewOwnsPixelMemoryOfTheChosenSize) {
  ReferenceHost host;
  host.SetDefaultViewSize(40, 30);
  const BrenmarkCallbacks cb = host.Install();
  ViewerParms parms;
  parms.words[2] = 77;
  const int window = cb.CreateStackWindow(5, parms);
  cb.StackConstructed(window);
  const int view = cb.GetViewOfWindow(window);
  EXPECT_NE(view, window);
  int w = 0, h = 0;
  cb.GetViewSize(view, &w, &h);
  EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{40, 30}));
  auto* pixels = static_cast<std::uint32_t*>(cb.GetViewPixels(view));
  ASSERT_NE(pixels, nullptr);
  pixels[40 * 30 - 1] = 0xA1B2C3D4u;  // the last pixel is inside the memory
  const HostWindow* rec = host.Window(window);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->pixels.size(), 1200u);
  EXPECT_EQ(rec->pixels.back(), 0xA1B2C3D4u);
  EXPECT_EQ(rec->layerStackHandle, 5);
  EXPECT_EQ(cb.GetViewerParms(window).words[2], 77u);
  EXPECT_EQ(rec->constructedNotices, 1);
  EXPECT_EQ(host.WindowOfStack(5), rec);
  // The view's centre is the rotation centre unless one is set.
  float cx = 0, cy = 0;
  cb.GetRotationCentre(view, &cx, &cy);
  EXPECT_EQ((std::vector<float>{cx, cy}), (std::vector<float>{20.0f, 15.0f}));

  ASSERT_TRUE(host.ResizeView(view, 8, 4));
  cb.GetViewSize(view, &w, &h);
  EXPECT_EQ(w * h, 32);
  EXPECT_EQ(host.Window(window)->pixels.size(), 32u);
  // A window id is not a view id.
  cb.GetViewSize(window, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(cb.GetViewPixels(window), nullptr);

  cb.UpdateImageRequested(view, 0);
  cb.ImagePlaneRefreshed(view);
  EXPECT_EQ((std::vector<int>{rec->updateImageRequests, rec->imagePlaneRefreshes}),
            (std::vector<int>{1, 1}));
  EXPECT_TRUE(cb.WantsTransparentBackdrop(view));
  host.SetTransparentBackdrop(window, false);
  EXPECT_FALSE(cb.WantsTransparentBackdrop(view));
  cb.StackDestroying(window);
  EXPECT_EQ(rec->destroyingNotices, 1);
  EXPECT_EQ(rec->pixels.capacity(), 0u);  // a closed window keeps no view memory
  EXPECT_EQ(cb.GetViewPixels(view), nullptr);
}

// What the host answers before the application configures anything.
// The white background, the identity display filter and running ants are
// what every composite, canvas export and ants test starts from.
TEST(ReferenceHostQueries, NeutralDefaultsAndTheDisplaySettings) {
  ReferenceHost host;
  const BrenmarkCallbacks cb = host.Install();
  float f[8];
  int ox = 1, oy = 1, appView = 0;
  float sx = 0, sy = 0;
  cb.GetViewOriginAndScale(&appView, &ox, &oy, &sx, &sy);
  EXPECT_EQ((std::vector<float>{float(ox), float(oy), sx, sy}), (std::vector<float>{0, 0, 1, 1}));
  EXPECT_EQ(host.LastAppView(), &appView);
  // The display filter and rotation centre reach the engine only from here.
  host.SetDisplayFilter({0.5f, 1, 1, 1}, {0, 0.25f, 0, 0});
  cb.GetDisplayFilter(0, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
  EXPECT_EQ(std::vector<float>(f, f + 8), (std::vector<float>{0.5f, 1, 1, 1, 0, 0.25f, 0, 0}));
  host.SetRotationCentre(std::array<float, 2>{3, 4});
  float cx = 0, cy = 0;
  cb.GetRotationCentre(cb.GetViewOfWindow(cb.CreateStackWindow(0, ViewerParms{})), &cx, &cy);
  EXPECT_EQ((std::vector<float>{cx, cy}), (std::vector<float>{3, 4}));
}

TEST(ReferenceHostMemory, MachineSizesArePlausibleAndOverridable) {
  ReferenceHost host;
  const BrenmarkCallbacks cb = host.Install();
  const unsigned total = cb.GetTotalMemoryKB();
  const unsigned available = cb.GetAvailableMemoryKB();
  EXPECT_GT(total, 16u * 1024);  // more than 16 MB of memory
  EXPECT_GT(available, 0u);
  EXPECT_LE(available, total);

  // An override of the available size alone keeps the machine's total.
  host.SetMemoryKB(std::nullopt, 1024);
  EXPECT_EQ((std::vector<unsigned>{cb.GetTotalMemoryKB(), cb.GetAvailableMemoryKB()}),
            (std::vector<unsigned>{total, 1024u}));
  EXPECT_EQ(host.CallCount(kCbGetTotalMemoryKB), 2);
}

// A fake /proc and cgroup v2 mount: 8 GB of memory, 6 GB available, and the
// process in cgroup /box/app.
class FakeSystem {
 public:
  FakeSystem() {
    root_ = std::filesystem::temp_directory_path() / ("brenmark_sys_" + std::to_string(getpid()));
    std::filesystem::remove_all(root_);
    Write("proc/meminfo", "MemTotal:        8388608 kB\nMemAvailable:    6291456 kB\n");
    Write("proc/self/cgroup", "0::/box/app\n");
  }
  ~FakeSystem() { std::filesystem::remove_all(root_); }
  void Write(const std::string& file, const std::string& text) {
    const std::filesystem::path path = root_ / file;
    std::filesystem::create_directories(path.parent_path());
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  void Point(ReferenceHost& host) const {
    host.SetSystemRoots((root_ / "proc").string(), (root_ / "cg").string());
  }

 private:
  std::filesystem::path root_;
};

TEST(ReferenceHostMemory, ContainerLimitBoundsTheMachineFigures) {
  constexpr unsigned long long kMiB = 1 << 20;
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    unsigned total, available;  // kB
  };
  const auto bytes = [](unsigned long long mib) { return std::to_string(mib * kMiB) + "\n"; };
  const Case cases[] = {
      {"no cgroup files", {}, 8388608, 6291456},
      {"no limit", {{"cg/box/app/memory.max", "max\n"}}, 8388608, 6291456},
      {"limit below the machine",
       {{"cg/box/app/memory.max", bytes(512)}, {"cg/box/app/memory.current", bytes(100)}},
       512 * 1024,
       412 * 1024},
      {"tighter parent",
       {{"cg/box/app/memory.max", "max\n"},
        {"cg/box/memory.max", bytes(256)},
        {"cg/box/memory.current", bytes(200)}},
       256 * 1024,
       56 * 1024},
      {"limit above the machine", {{"cg/box/app/memory.max", bytes(16384)}}, 8388608, 6291456},
      {"usage over the limit",
       {{"cg/box/app/memory.max", bytes(64)}, {"cg/box/app/memory.current", bytes(65)}},
       64 * 1024,
       0},
      {"not cgroup v2", {{"proc/self/cgroup", "4:memory:/box/app\n"}}, 8388608, 6291456},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSystem sys;
    for (const auto& [file, text] : c.files) sys.Write(file, text);
    ReferenceHost host;
    sys.Point(host);
    EXPECT_EQ(host.TotalMemoryKB(), c.total);
    EXPECT_EQ(host.AvailableMemoryKB(), c.available);
  }
}

// The budget a text asks for is the cache's budget: at once up to 64 MB,
// after allocation or an idle step above, and never more.
TEST(ReferenceHostMemory, BudgetBecomesThePageCacheBudget) {
  struct Case {
    const char* text;
    unsigned mb;
  };
  for (const Case& c : {Case{"16M", 16}, Case{"100", 100}, Case{"1G", 1024}, Case{"12m", 12}}) {
    SCOPED_TRACE(c.text);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
          using brenmark::imagestore::SmartImageCache;
          constexpr std::size_t kMB = SmartImageCache::kMB;
          ReferenceHost host;
          std::string problem;
          if (!host.SetMemoryBudget(c.text, &problem) || host.MemoryBudgetMB() != c.mb)
            std::exit(1);
          Brenmark.SetCallbacks(host.Install());
          SmartImageCache* cache = SmartImageCache::Instance();
          if (cache->MaxBytes() != std::min(c.mb, 64u) * kMB) std::exit(2);
          // Distinct pages, 8 MB past the budget (at most 136 MB).
          ilSmartImage* img = new ilSmartImage(ilPixel(ilUChar, 4));
          img->ref();
          std::vector<std::uint32_t> px(128 * 128);
          const int pages = static_cast<int>(std::min(c.mb, 128u) + 8) * 16;
          for (int i = 0; i < pages; ++i) {
            for (std::size_t k = 0; k < px.size(); ++k)
              px[k] = static_cast<std::uint32_t>(i * 7919 + k);
            img->setTile((i % 64) * 128, (i / 64) * 128, 128, 128, px.data());
          }
          if (c.mb <= 128 && cache->MaxBytes() != c.mb * kMB) std::exit(3);
          if (cache->BytesInMemory() > cache->MaxBytes() + 65536) std::exit(4);
          for (int i = 0; i < 2; ++i) {
            cache->IdleStep();
            if (cache->MaxBytes() != c.mb * kMB) std::exit(5 + i);
          }
          img->unref();
          std::exit(0);
        },
        testing::ExitedWithCode(0), "");
  }
}

TEST(ReferenceHostMemory, BadBudgetTextsChangeNothing) {
  ReferenceHost host;
  host.SetMemoryKB(100000u, 50000u);
  for (const char* text :
       {"0", "12X", "-5M", "", "99999999G", "13", "65536", "512K", "1.5G", "64MB", " 64"}) {
    SCOPED_TRACE(text);
    std::string problem;
    EXPECT_FALSE(host.SetMemoryBudget(text, &problem));
    EXPECT_EQ(problem, std::string("memory budget \"") + text +
                           "\" cannot be used: give 12 or 16 to 65535 megabytes, as a number "
                           "with an optional K, M or G suffix (e.g. 64M, 1G)");
    EXPECT_EQ(host.TotalMemoryKB(), 100000u);
    EXPECT_EQ(host.AvailableMemoryKB(), 50000u);
    EXPECT_EQ(host.MemoryBudgetMB(), std::nullopt);
  }
  EXPECT_TRUE(host.SetMemoryBudget("16384K", nullptr));
  EXPECT_EQ(host.MemoryBudgetMB(), 16u);
  EXPECT_EQ(host.TotalMemoryKB(), 64u * 1024);  // the table gives 64 MB of memory 16 MB
  EXPECT_EQ(host.AvailableMemoryKB(), 36u * 1024);
}

TEST(ReferenceHostMemory, EnvironmentSetsTheBudgetOrWarnsOnce) {
  setenv("BRENMARK_MEMORY", "2g", 1);
  {
    ReferenceHost host;
    EXPECT_EQ(host.MemoryBudgetMB(), 2048u);
    EXPECT_EQ(host.TotalMemoryKB(), (2048u + 256) * 1024);
  }
  setenv("BRENMARK_MEMORY", "lots", 1);
  testing::internal::CaptureStderr();
  {
    ReferenceHost host;
    EXPECT_EQ(host.MemoryBudgetMB(), std::nullopt);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "brenmark: warning: BRENMARK_MEMORY=lots ignored: memory budget \"lots\" cannot be "
            "used: give 12 or 16 to 65535 megabytes, as a number with an optional K, M or G "
            "suffix (e.g. 64M, 1G)\n");
  unsetenv("BRENMARK_MEMORY");
}

TEST(ReferenceHostTimers, FireInOrderOfDueTimeTiesToTheEarlierStarted) {
  ReferenceHost host;
  const BrenmarkCallbacks cb = host.Install();
  FiringLog log{&host, {}};
  const int a = cb.StartTimer(30, LogFiring, &log);
  const int b = cb.StartTimer(50, LogFiring, &log);
  EXPECT_NE(a, b);
  EXPECT_GT(a, 0);
  EXPECT_EQ(host.AdvanceTime(29), 0);
  // Both fall due at 150; a started first and fires first.
  EXPECT_EQ(host.AdvanceTime(121), 8);
  EXPECT_EQ(log.firings,
            (std::vector<std::pair<int, long long>>{
                {a, 30}, {b, 50}, {a, 60}, {a, 90}, {b, 100}, {a, 120}, {a, 150}, {b, 150}}));
  EXPECT_EQ(host.Now(), 150);
  EXPECT_EQ(host.TimerInterval(a), 30);
  // The longer interval started earlier still goes first on a tie.
  ReferenceHost other;
  const BrenmarkCallbacks ocb = other.Install();
  FiringLog tie{&other, {}};
  const int late = ocb.StartTimer(100, LogFiring, &tie);
  other.AdvanceTime(50);
  const int dueEarly = ocb.StartTimer(50, LogFiring, &tie);
  other.AdvanceTime(50);
  EXPECT_EQ(tie.firings, (std::vector<std::pair<int, long long>>{{late, 100}, {dueEarly, 100}}));
  // A non-positive interval runs once per time unit.
  ocb.StopTimer(late);
  ocb.StopTimer(dueEarly);
  ocb.StartTimer(0, LogFiring, &tie);
  EXPECT_EQ(other.AdvanceTime(5), 5);
}

TEST(ReferenceHostTimers, StoppingWorksFromOutsideAndFromTheProcedure) {
  ReferenceHost host;
  FiringLog log{&host, {}, host.Install()}, shot = log, rearmed = log;
  const int stopped = log.cb.StartTimer(10, LogFiring, &log);
  const int once = log.cb.StartTimer(10, OneShotTick, &shot);
  log.cb.StopTimer(stopped);
  log.cb.StopTimer(9999);  // unknown ids are ignored
  EXPECT_FALSE(host.IsTimerRunning(stopped));
  host.AdvanceTime(100);
  EXPECT_TRUE(log.firings.empty());
  EXPECT_EQ(shot.firings, (std::vector<std::pair<int, long long>>{{once, 10}}));
  EXPECT_FALSE(host.IsTimerRunning(once));
  EXPECT_EQ(host.TimerInterval(once), -1);
  // A timer that stops itself and starts another gets a fresh id each tick.
  rearmed.cb.StartTimer(100, RearmTick, &rearmed);
  host.AdvanceTime(350);
  ASSERT_EQ(rearmed.firings.size(), 3u);
  EXPECT_LT(rearmed.firings[0].first, rearmed.firings[1].first);
  EXPECT_LT(rearmed.firings[1].first, rearmed.firings[2].first);
  EXPECT_EQ(host.RunningTimerCount(), 1);
}

TEST(ReferenceHostTimers, WallClockAdvancesAtLeastTheSleptTime) {
  ReferenceHost host;
  const BrenmarkCallbacks cb = host.Install();
  FiringLog log{&host, {}};
  cb.StartTimer(1, LogFiring, &log);
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  const int fired = host.RunDueTimers();
  EXPECT_GE(host.Now(), 3);
  EXPECT_EQ(fired, host.Now());
  EXPECT_EQ(static_cast<int>(log.firings.size()), fired);
}

class PolylineCurveTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = LivePolylineCurveCount(); }
  void TearDown() override { EXPECT_EQ(LivePolylineCurveCount(), live_); }

  ReferenceHost host_;
  BrenmarkCallbacks cb_ = host_.Install();
  int live_ = 0;
};

// (0,0) -> (3,4) -> (3,10): segments of length 5 and 6.
ag_curve* MakeBent() {
  return MakePolylineCurve({{0, 0}, {3, 4}, {3, 10}}, false);
}
ag_curve* MakeSquare() {
  return MakePolylineCurve({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);
}

// Parameters past the ends clamp on an open curve and wrap on a closed one;
// at a vertex the direction is the leaving segment's.
TEST_F(PolylineCurveTest, LengthEvaluationDirectionAndProjection) {
  const struct {
    bool closed;
    double t, x, y, dx, dy;
  } points[] = {
      {false, 2.5, 1.5, 2, 0.6, 0.8}, {false, 8, 3, 7, 0, 1},  {false, -1, 0, 0, 0.6, 0.8},
      {false, 20, 3, 10, 0, 1},       {false, 5, 3, 4, 0, 1},  {true, 45, 5, 0, 1, 0},
      {true, -5, 0, 5, 0, -1},        {true, 35, 0, 5, 0, -1},
  };
  ag_curve* curves[2] = {MakeBent(), MakeSquare()};
  for (const auto& p : points) {
    ag_curve* c = curves[p.closed];
    double x = 0, y = 0, dx = 0, dy = 0;
    cb_.EvaluateCurve(c, p.t, &x, &y);
    cb_.GetCurveDirection(c, p.t, &dx, &dy);
    EXPECT_EQ((std::vector<double>{x, y}), (std::vector<double>{p.x, p.y})) << p.t;
    EXPECT_NEAR(dx, p.dx, 1e-12) << p.t;
    EXPECT_NEAR(dy, p.dy, 1e-12) << p.t;
  }
  EXPECT_FALSE(cb_.IsCurveClosed(curves[0]));
  EXPECT_TRUE(cb_.IsCurveClosed(curves[1]));
  EXPECT_EQ(cb_.GetCurveLength(curves[0]), 11.0);
  EXPECT_EQ(cb_.GetCurveLength(curves[1]), 40.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[0], 10, 7), 8.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[0], -3, -4), 0.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[0], 3, 50), 11.0);
  EXPECT_EQ(cb_.ProjectOntoCurve(curves[1], -2, 4), 36.0);
  for (ag_curve*& c : curves) cb_.ReleaseCurve(&c);
  EXPECT_EQ(curves[0], nullptr);
  cb_.ReleaseCurve(&curves[0]);  // releasing an empty holder does nothing
  EXPECT_EQ(host_.CallCount(kCbReleaseCurve), 3);
}

TEST_F(PolylineCurveTest, BoundsTessellationAndSplinePoints) {
  ag_curve* c = MakeSquare();
  double** corners = cb_.GetCurveBounds(c);
  ASSERT_NE(corners, nullptr);
  EXPECT_EQ((std::vector<double>{corners[0][0], corners[0][1], corners[1][0], corners[1][1]}),
            (std::vector<double>{0, 0, 10, 10}));

  int n = 0;
  float* segs = cb_.TessellateCurve(c, nullptr, &n);
  ASSERT_EQ(n, 4);
  const std::vector<float> expected = {0, 0, 10, 0, 10, 0, 0, 10, 10, 10, -10, 0, 0, 10, 0, -10};
  EXPECT_EQ(std::vector<float>(segs, segs + 16), expected);
  delete[] segs;

  ASSERT_EQ(c->splineCount, 1);
  ASSERT_NE(c->splines, nullptr);
  EXPECT_EQ(c->splines->next, nullptr);
  float* pts = cb_.GetSplinePoints(c->splines, &n);
  ASSERT_EQ(n, 5);  // the closed loop repeats its first point
  EXPECT_EQ(std::vector<float>(pts, pts + 10),
            (std::vector<float>{0, 0, 10, 0, 10, 10, 0, 10, 0, 0}));
  delete[] pts;
  cb_.ReleaseCurve(&c);

  // An open polyline is still closed for filling; a lone point gives nothing.
  ag_curve* open = MakeBent();
  segs = cb_.TessellateCurve(open, nullptr, &n);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(std::vector<float>(segs + 8, segs + 12), (std::vector<float>{3, 10, -3, -10}));
  delete[] segs;
  cb_.ReleaseCurve(&open);
  ag_curve* dot = MakePolylineCurve({{2, 2}}, false);
  EXPECT_EQ(cb_.TessellateCurve(dot, nullptr, &n), nullptr);
  EXPECT_EQ(n, 0);
  cb_.ReleaseCurve(&dot);
  ag_curve* empty = MakePolylineCurve(std::vector<brenmark::host::CurvePoint>{}, false);
  EXPECT_EQ(cb_.GetCurveBounds(empty), nullptr);
  cb_.ReleaseCurve(&empty);
}

TEST_F(PolylineCurveTest, CopiesAreIndependentAndInPlaceEditsCount) {
  ag_curve* c = MakeBent();
  ag_curve* copy = cb_.CopyCurve(c, 0);
  ag_curve* clone = cb_.CloneCurve(c);
  EXPECT_EQ(LivePolylineCurveCount(), live_ + 3);
  // Rewrite the last point in place, as a stroke converting coordinates does.
  c->splines->points[5] = 4;  // last point (3,10) becomes (3,4): length 5
  EXPECT_EQ(cb_.GetCurveLength(c), 5.0);
  EXPECT_EQ(cb_.GetCurveLength(copy), 11.0);
  EXPECT_EQ(cb_.GetCurveLength(clone), 11.0);
  EXPECT_NE(copy->splines->points, c->splines->points);
  cb_.ReleaseCurve(&c);
  cb_.ReleaseCurve(&copy);
  cb_.ReleaseCurve(&clone);
}

TEST_F(PolylineCurveTest, SplineCountLimitsTheSplinesVisited) {
  ag_curve* c = MakePolylineCurve({{{0, 0}, {4, 0}}, {{4, 0}, {4, 6}}}, false);
  ASSERT_EQ(c->splineCount, 2);
  ASSERT_NE(c->splines->next, nullptr);
  EXPECT_EQ(c->splines->next->next, nullptr);
  EXPECT_EQ(cb_.GetCurveLength(c), 10.0);
  int n = 0;
  float* pts = cb_.GetSplinePoints(c->splines->next, &n);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(pts[3], 6.0f);
  delete[] pts;
  c->splineCount = 1;
  EXPECT_EQ(cb_.GetCurveLength(c), 4.0);
  EXPECT_EQ(cb_.GetCurveBounds(c)[1][1], 0.0);
  c->splineCount = 2;
  cb_.ReleaseCurve(&c);
}

}  // namespace

// Pulled updates land in the application's window pixels, clipped to them,
// and each copied rectangle is queued once; detached, they land in the
// host's own copy again.
TEST(ReferenceHostWindowPixels, PulledUpdatesLandInTheApplicationsPixelsByRectangle) {
  ReferenceHost host;
  const BrenmarkCallbacks cb = host.Install();
  host.SetDefaultViewSize(8, 6);
  const int window = cb.CreateStackWindow(0, ViewerParms{});
  std::vector<std::uint32_t> image(10 * 7);  // the update image, larger than the window
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = 0xFF000000u | static_cast<unsigned>(i);
  brenmark::host::UpdatePixels next{image.data(), 10, 7, 0, 0, 0, 0};
  host.SetShowUpdateHook([&next](int, brenmark::host::UpdatePixels& out) {
    out = next;
    return true;
  });
  std::vector<std::uint32_t> pixels(6 * 5, 0u);  // the application's window: 6 x 5
  EXPECT_FALSE(host.AttachWindowPixels(window + 99, pixels.data(), 6, 5));
  ASSERT_TRUE(host.AttachWindowPixels(window, pixels.data(), 6, 5));
  struct Case {
    int x, y, nx, ny;
    brenmark::host::ShownRect queued;  // nx 0: nothing copied
  } cases[] = {
      {1, 2, 2, 1, {1, 2, 2, 1}},
      {4, 3, 9, 9, {4, 3, 2, 2}},    // clipped to the window's last row and column
      {-3, -1, 4, 2, {0, 0, 1, 1}},  // and to its first
      {6, 0, 3, 3, {0, 0, 0, 0}},    // wholly outside
  };
  for (const Case& c : cases) {
    next.x = c.x, next.y = c.y, next.nx = c.nx, next.ny = c.ny;
    std::fill(pixels.begin(), pixels.end(), 0u);
    cb.ShowUpdate(window);
    const std::vector<brenmark::host::ShownRect> rects = host.TakeShownRects(window);
    if (c.queued.nx == 0) {
      EXPECT_TRUE(rects.empty()) << c.x;
      continue;
    }
    ASSERT_EQ(rects.size(), 1u) << c.x;
    EXPECT_EQ(rects[0], c.queued) << c.x;
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 6; ++x) {
        const bool inside = x >= c.queued.x && x < c.queued.x + c.queued.nx && y >= c.queued.y &&
                            y < c.queued.y + c.queued.ny;
        EXPECT_EQ(pixels[y * 6 + x], inside ? image[y * 10 + x] : 0u) << x << "," << y;
      }
    }
    EXPECT_TRUE(host.TakeShownRects(window).empty());
  }
  // Detached: the host's own copy of the view shows the update again.
  ASSERT_TRUE(host.AttachWindowPixels(window, nullptr, 0, 0));
  next = {image.data(), 10, 7, 7, 5, 1, 1};
  cb.ShowUpdate(window);
  EXPECT_TRUE(host.TakeShownRects(window).empty());
  EXPECT_EQ(host.ShownPixels(cb.GetViewOfWindow(window))[5 * 8 + 7], image[5 * 10 + 7]);
}

// With a hook, a timed update runs on the host's timer queue at the
// engine's interval until it ends; without one nothing is fired.
TEST(ReferenceHostTimedUpdate, RunsTheHookAtTheIntervalUntilItEnds) {
  for (const bool hooked : {true, false}) {
    ReferenceHost host;
    const BrenmarkCallbacks cb = host.Install();
    const int window = cb.CreateStackWindow(0, ViewerParms{});
    std::vector<long long> refreshes;
    if (hooked) {
      host.SetTimedUpdateHook([&](int w) {
        EXPECT_EQ(w, window);
        refreshes.push_back(host.Now());
      });
    }
    EXPECT_EQ(host.MillisecondsToNextTimer(), -1);
    cb.BeginTimedUpdate(window, 30);
    EXPECT_EQ(host.RunningTimerCount(), hooked ? 1 : 0);
    if (hooked) {
      EXPECT_GT(host.MillisecondsToNextTimer(), 0);
      EXPECT_LE(host.MillisecondsToNextTimer(), 30);
    }
    host.AdvanceTime(95);
    cb.EndTimedUpdate(window);
    host.AdvanceTime(100);
    const std::vector<long long> expected =
        hooked ? std::vector<long long>{30, 60, 90} : std::vector<long long>{};
    EXPECT_EQ(refreshes, expected);
    EXPECT_EQ(host.Window(window)->timedUpdateRefreshes, hooked ? 3 : 0);
    EXPECT_EQ(host.RunningTimerCount(), 0);
    EXPECT_EQ(host.MillisecondsToNextTimer(), -1);
  }
}
