// brenmark-view: a window on SDL2 that shows one canvas through the
// engine's display update and paints it with the mouse (or a touch
// surface). SDL stays here: the engine and the reference host only see
// window pixels and a timer queue that this event loop drives.
#include <SDL.h>
#include <brenmark/paint_manager.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "command_registry.h"
#include "host/reference_host.h"
#include "output_file.h"
#include "png_io.h"
#include "script_runner.h"
#include "script_syntax.h"
#include "session.h"
#include "view_canvas.h"

namespace {

namespace tool = brenmark::tool;

constexpr std::string_view kUsage = R"(usage: brenmark-view [options] [picture.ora | script.bms]
Opens a window that shows one canvas as the Brenmark engine displays it and
paints on it with the mouse. Without a file the canvas is empty (one layer
on white); a .ora file is opened; any other file is run as a paint script
(see brenmark --help) and its current canvas is shown.
options:
  -h, --help              show this help
  --canvas WxH            size of the empty canvas (default 640x480)
  --window WxH            size of the window's picture (default: the
                          canvas, at most 1024x768)
  --save FILE             where Ctrl+S saves the canvas as OpenRaster
                          (default brenmark-view.ora)
  --screenshot FILE       where F12 writes what the window shows as PNG
                          (default brenmark-view.png)
  --screenshot-on-exit FILE
                          write what the window shows as PNG on quitting
  --pen-log FILE          after each stroke, write the samples it fed to the
                          engine as a pen-sample file (t x y pressure, screen
                          pixels from the bottom-left); `brenmark`'s replay
                          paints the same stroke from it at zoom 1, no turn
  --memory SIZE           the page cache's budget, as for brenmark
keys:
  [ ]          brush radius smaller / larger      , .  hardness - / +
  I            take the colour under the pointer  E    eraser on / off
  Ctrl+Z       undo          Ctrl+Y, Ctrl+Shift+Z redo
  N            new layer     Page Up / Page Down  layer above / below
  + -          zoom in / out (the engine's view transform, 1/8 to 8)
  R, Shift+R   turn the view 15 degrees left / right
  arrows       pan           0    reset the view
  Ctrl+S       save .ora     F12  screenshot     Esc, Q  quit
pressure: from the tablet or touch surface where SDL reports it; otherwise
from the pointer's speed v (window pixels per millisecond since the previous
event): the mean of the previous pressure and clamp(1 - v / 4, 0.25, 1),
starting at 1. A dab's radius and opacity are the brush's times the pressure.
The window title is the status line: brush, layer, page-cache memory, view.
)";

bool ParseSize(std::string_view text, int& w, int& h) {
  const std::size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  try {
    std::size_t used = 0;
    const std::string a(text.substr(0, x)), b(text.substr(x + 1));
    w = std::stoi(a, &used);
    if (used != a.size()) return false;
    h = std::stoi(b, &used);
    if (used != b.size()) return false;
  } catch (...) {
    return false;
  }
  return w >= 1 && h >= 1 && w <= tool::Session::kMaxCanvasSide &&
         h <= tool::Session::kMaxCanvasSide;
}

// What the window shows, read back from its surface (the pixels handed to
// the window system), as an RGBA PNG written safely.
std::string WriteScreenshot(SDL_Window* window, const std::string& path) {
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) return std::string("cannot read the window: ") + SDL_GetError();
  tool::ImagePixels image;
  if (!image.Allocate(surface->w, surface->h, 4)) return "out of memory";
  if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
  // The PNG writer takes the bottom row first; the surface has the top.
  for (int y = 0; y < surface->h; ++y) {
    SDL_ConvertPixels(surface->w, 1, surface->format->format,
                      static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch,
                      surface->pitch, SDL_PIXELFORMAT_RGBA32, image.Row(surface->h - 1 - y),
                      surface->w * 4);
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  for (std::size_t i = 0; i < image.PixelCount(); ++i) image.bytes[4 * i + 3] = 0xFF;
  return tool::WritePng(path, image, nullptr);
}

std::string WritePenLog(const brenmark::view::ViewCanvas& canvas, const std::string& path) {
  tool::OutputFile file;
  if (std::string problem = file.Open(path); !problem.empty()) return problem;
  std::fprintf(file.Stream(), "# t x y pressure: the samples of one brenmark-view stroke\n");
  for (const tool::PenSample& s : canvas.LastStroke()) {
    std::fprintf(file.Stream(), "%.17g %.17g %.17g %.17g\n", s.t, s.x, s.y, s.pressure);
  }
  return file.Commit();
}

class App {
 public:
  App(brenmark::host::ReferenceHost& host, tool::ScriptRunner& runner, SDL_Window* window, int w,
      int h)
      : runner_(runner), window_(window), canvas_(host, w, h) {}

  bool Start() { return canvas_.Attach(); }
  int Run();

  std::string savePath = "brenmark-view.ora";
  std::string screenshotPath = "brenmark-view.png";
  std::string exitScreenshot;
  std::string penLog;

 private:
  void Present();
  void OnKey(const SDL_KeyboardEvent& key);
  // Runs one command of the tool's script language on the canvas and
  // shows the result; problems go to standard error.
  void Command(const std::string& line, bool redraw);
  void Report(const std::string& what, const std::string& problem);

  tool::ScriptRunner& runner_;
  SDL_Window* window_;
  brenmark::view::ViewCanvas canvas_;
  bool quit_ = false;
  int pointerX_ = 0, pointerY_ = 0;
  // Touch pressure and when it came: mouse events that SDL makes from
  // touches use it.
  double touchPressure_ = -1;
};

void App::Report(const std::string& what, const std::string& problem) {
  if (problem.empty()) {
    std::cerr << "brenmark-view: " << what << "\n";
  } else {
    std::cerr << "brenmark-view: " << problem << "\n";
  }
}

void App::Command(const std::string& line, bool redraw) {
  const std::string problem = runner_.RunLine(line);
  if (!problem.empty()) std::cerr << "brenmark-view: " << line << ": " << problem << "\n";
  // Undo may put a copy of the stack in place; the view follows the current
  // canvas and is composed anew.
  if (redraw) canvas_.Attach();
}

void App::Present() {
  const std::vector<brenmark::view::ViewCanvas::Rect> rects = canvas_.TakeDamage();
  SDL_SetWindowTitle(window_, ("brenmark-view | " + canvas_.Status()).c_str());
  if (rects.empty()) return;
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) return;
  if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
  const int w = std::min(surface->w, canvas_.Width()), h = std::min(surface->h, canvas_.Height());
  std::vector<SDL_Rect> update;
  const auto& pixels = canvas_.Pixels();
  for (const auto& r : rects) {
    const int x0 = std::max(r.x, 0), x1 = std::min(r.x + r.w, w);
    const int y0 = std::max(r.y, 0), y1 = std::min(r.y + r.h, h);
    if (x0 >= x1 || y0 >= y1) continue;
    // Window row y shows screen row height - 1 - y; one row at a time.
    for (int y = y0; y < y1; ++y) {
      const std::uint32_t* from =
          pixels.data() + static_cast<std::size_t>(canvas_.Height() - 1 - y) * canvas_.Width() + x0;
      auto* to = static_cast<std::uint8_t*>(surface->pixels) + y * surface->pitch +
                 x0 * surface->format->BytesPerPixel;
      SDL_ConvertPixels(x1 - x0, 1, SDL_PIXELFORMAT_RGBA32, from, (x1 - x0) * 4,
                        surface->format->format, to, surface->pitch);
    }
    update.push_back({x0, y0, x1 - x0, y1 - y0});
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  if (!update.empty())
    SDL_UpdateWindowSurfaceRects(window_, update.data(), static_cast<int>(update.size()));
}

void App::OnKey(const SDL_KeyboardEvent& key) {
  const bool ctrl = (key.keysym.mod & KMOD_CTRL) != 0;
  const bool shift = (key.keysym.mod & KMOD_SHIFT) != 0;
  brenmark::view::ViewBrush& brush = canvas_.Brush();
  if (canvas_.InStroke()) canvas_.EndStroke();
  switch (key.keysym.sym) {
    case SDLK_ESCAPE:
    case SDLK_q:
      quit_ = true;
      break;
    case SDLK_LEFTBRACKET:
      brush.radius = std::max(0.5, brush.radius / 1.25);
      break;
    case SDLK_RIGHTBRACKET:
      brush.radius = std::min(255.0, brush.radius * 1.25);
      break;
    case SDLK_COMMA:
      brush.hardness = std::max(0, brush.hardness - 1);
      break;
    case SDLK_PERIOD:
      brush.hardness = std::min(7, brush.hardness + 1);
      break;
    case SDLK_i:
      canvas_.ColourAt(pointerX_, pointerY_, brush.r, brush.g, brush.b);
      break;
    case SDLK_e:
      brush.eraser = !brush.eraser;
      break;
    case SDLK_z:
      if (ctrl) Command(shift ? "redo" : "undo", true);
      break;
    case SDLK_y:
      if (ctrl) Command("redo", true);
      break;
    case SDLK_n:
      Command("add-layer", true);
      break;
    case SDLK_PAGEUP:
      Command("select-above", true);
      break;
    case SDLK_PAGEDOWN:
      Command("select-below", true);
      break;
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS:
      canvas_.SetView(canvas_.Zoom() * 2, canvas_.Degrees(), canvas_.PanX(), canvas_.PanY());
      break;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
      canvas_.SetView(canvas_.Zoom() / 2, canvas_.Degrees(), canvas_.PanX(), canvas_.PanY());
      break;
    case SDLK_r:
      canvas_.SetView(canvas_.Zoom(), canvas_.Degrees() + (shift ? -15 : 15), canvas_.PanX(),
                      canvas_.PanY());
      break;
    case SDLK_0:
      canvas_.SetView(1, 0, 0, 0);
      break;
    case SDLK_LEFT:
    case SDLK_RIGHT:
    case SDLK_UP:
    case SDLK_DOWN: {
      const int step = 64;
      const SDL_Keycode k = key.keysym.sym;
      canvas_.SetView(canvas_.Zoom(), canvas_.Degrees(),
                      canvas_.PanX() + (k == SDLK_LEFT    ? -step
                                        : k == SDLK_RIGHT ? step
                                                          : 0),
                      canvas_.PanY() + (k == SDLK_UP     ? -step
                                        : k == SDLK_DOWN ? step
                                                         : 0));
      break;
    }
    case SDLK_s:
      if (ctrl) {
        const std::string problem = runner_.RunLine("save " + tool::QuoteWord(savePath));
        Report("saved " + savePath, problem);
      }
      break;
    case SDLK_F12:
      Report("wrote " + screenshotPath, WriteScreenshot(window_, screenshotPath));
      break;
    default:
      break;
  }
}

int App::Run() {
  Present();
  while (!quit_) {
    const int wait = canvas_.RunTimers();
    Present();
    SDL_Event e;
    if (!SDL_WaitEventTimeout(&e, wait < 0 ? 100 : std::max(wait, 1))) continue;
    do {
      switch (e.type) {
        case SDL_QUIT:
          quit_ = true;
          break;
        case SDL_WINDOWEVENT:
          if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
              e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            // The window system lost what it showed: the window pixels are
            // still current, only copied again.
            canvas_.Reshow();
          }
          break;
        case SDL_KEYDOWN:
          OnKey(e.key);
          break;
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
          touchPressure_ = e.tfinger.pressure;
          break;
        case SDL_MOUSEBUTTONDOWN:
          if (e.button.button == SDL_BUTTON_LEFT) {
            pointerX_ = e.button.x;
            pointerY_ = e.button.y;
            const double p = e.button.which == SDL_TOUCH_MOUSEID ? touchPressure_ : -1;
            canvas_.BeginStroke(e.button.x, e.button.y, p, e.button.timestamp);
          }
          break;
        case SDL_MOUSEMOTION:
          pointerX_ = e.motion.x;
          pointerY_ = e.motion.y;
          if (canvas_.InStroke()) {
            const double p = e.motion.which == SDL_TOUCH_MOUSEID ? touchPressure_ : -1;
            canvas_.StrokeTo(e.motion.x, e.motion.y, p, e.motion.timestamp);
          }
          break;
        case SDL_MOUSEBUTTONUP:
          if (e.button.button == SDL_BUTTON_LEFT && canvas_.InStroke()) {
            canvas_.EndStroke();
            if (!penLog.empty()) {
              const std::string problem = WritePenLog(canvas_, penLog);
              if (!problem.empty()) std::cerr << "brenmark-view: " << problem << "\n";
            }
          }
          break;
        default:
          break;
      }
    } while (!quit_ && SDL_PollEvent(&e));
  }
  if (canvas_.InStroke()) canvas_.EndStroke();
  canvas_.RunTimers();
  Present();
  if (!exitScreenshot.empty()) {
    const std::string problem = WriteScreenshot(window_, exitScreenshot);
    if (!problem.empty()) {
      std::cerr << "brenmark-view: " << problem << "\n";
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int canvasW = 640, canvasH = 480;
  std::optional<std::pair<int, int>> windowSize;
  std::string file, savePath = "brenmark-view.ora", shot = "brenmark-view.png", exitShot, penLog;
  std::optional<std::string> memory;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        std::cerr << "brenmark-view: " << arg << " needs a value (see --help)\n";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--canvas" || arg == "--window") {
      int w = 0, h = 0;
      if (!value(v)) return 2;
      if (!ParseSize(v, w, h)) {
        std::cerr << "brenmark-view: " << arg << " wants WIDTHxHEIGHT, each 1 to "
                  << tool::Session::kMaxCanvasSide << ", not '" << tool::Printable(v) << "'\n";
        return 2;
      }
      if (arg == "--canvas") {
        canvasW = w;
        canvasH = h;
      } else {
        windowSize = {w, h};
      }
    } else if (arg == "--save" || arg == "--screenshot" || arg == "--screenshot-on-exit" ||
               arg == "--pen-log" || arg == "--memory") {
      if (!value(v)) return 2;
      if (arg == "--save") savePath = v;
      if (arg == "--screenshot") shot = v;
      if (arg == "--screenshot-on-exit") exitShot = v;
      if (arg == "--pen-log") penLog = v;
      if (arg == "--memory") memory = v;
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "brenmark-view: unknown option '" << tool::Printable(arg) << "' (see --help)\n";
      return 2;
    } else if (file.empty()) {
      file = arg;
    } else {
      std::cerr << "brenmark-view: one file at most (see --help)\n";
      return 2;
    }
  }

  brenmark::host::ReferenceHost host;
  if (memory) {
    std::string problem;
    if (!host.SetMemoryBudget(*memory, &problem)) {
      std::cerr << "brenmark-view: --memory: " << problem << "\n";
      return 2;
    }
  }
  tool::Session session(host, std::cerr);
  tool::CommandRegistry registry;
  tool::RegisterAllCommands(registry, session);
  session.Start();
  tool::ScriptRunner runner(registry, std::cerr, nullptr);
  runner.SetOutputSharesTerminal(false);

  // The canvas: a script run first, a document opened, or an empty one.
  bool ok = true;
  const std::string ext = std::filesystem::path(file).extension().string();
  if (file.empty()) {
    ok = runner.RunLine("canvas " + std::to_string(canvasW) + " " + std::to_string(canvasH))
             .empty() &&
         runner.RunLine("add-layer").empty();
  } else if (ext == ".ora" || ext == ".ORA") {
    const std::string problem = runner.RunLine("open " + tool::QuoteWord(file));
    if (!problem.empty()) std::cerr << "brenmark-view: " << problem << "\n";
    ok = problem.empty();
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::cerr << "brenmark-view: cannot open '" << tool::Printable(file) << "'\n";
      return 1;
    }
    session.SetScriptFolder(std::filesystem::path(file).parent_path().string());
    ok = runner.Run(in, file);
  }
  if (!ok) return 1;
  const int h = PntCurrentLayerStack();
  if (h < 0) {
    std::cerr << "brenmark-view: the script left no current canvas to show\n";
    return 1;
  }
  if (Brenmark.GetLayerCount(h) < 1 && !runner.RunLine("add-layer").empty()) return 1;
  const ilTile size = Brenmark.GetCanvasBounds(h);
  const int winW = windowSize ? windowSize->first : std::min(size.nx, 1024);
  const int winH = windowSize ? windowSize->second : std::min(size.ny, 768);

  // The click that gives the window focus paints too: otherwise SDL drops a
  // press that comes within 10 ms of the focus, which a pointer moved in
  // and pressed at once (a pen touching down) does.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
    std::cerr << "brenmark-view: cannot open a window: " << SDL_GetError() << "\n";
    return 3;
  }
  SDL_Window* window = SDL_CreateWindow("brenmark-view", SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, winW, winH, 0);
  if (!window) {
    std::cerr << "brenmark-view: cannot open a window: " << SDL_GetError() << "\n";
    SDL_Quit();
    return 3;
  }
  int status = 1;
  {
    App app(host, runner, window, winW, winH);
    app.savePath = savePath;
    app.screenshotPath = shot;
    app.exitScreenshot = exitShot;
    app.penLog = penLog;
    if (app.Start()) status = app.Run();
  }
  SDL_DestroyWindow(window);
  SDL_Quit();
  return status;
}
