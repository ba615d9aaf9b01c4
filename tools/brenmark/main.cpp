// brenmark: replays paint scripts against the engine through its public
// interface. Without a script it runs the built-in demo, which prints the
// demo canvas and paints a picture.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <brenmark/layer.h>
#include <brenmark/paint_manager.h>

#include "command_registry.h"
#include "demo_script.h"
#include "host/reference_host.h"
#include "layer_target.h"
#include "png_io.h"
#include "progress.h"
#include "script_runner.h"
#include "session.h"
#include "store_statistics.h"

namespace {

using brenmark::tool::CommandRegistry;

constexpr int kExitScriptFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage = R"(usage: brenmark [options] [script.bms ...]

Replays paint scripts, text files of one command per line, against the
Brenmark engine. Without a script it runs the built-in demo (the same as
examples/demo.bms), which prints the layer structure of its canvas, paints a
picture from the pen files beside it and writes brenmark-demo.png to the
current folder. A script named - is read from standard input; several scripts
run one after another on the same canvases.

options:
  -h, --help      show this help, with every command
  --version       show the version
  --demo-script   print the built-in demo script
  --memory SIZE   the page cache's memory budget, which all layer pages share
                  (beyond it pages go to swap files): whole megabytes, 12 or
                  16 to 65535, with an optional K, M or G suffix (64, 512M,
                  2G); SIZE may also follow an = sign. The environment
                  variable BRENMARK_MEMORY sets the same; the option wins.
                  Without either the budget follows the machine's memory.
  --stats         after the scripts, print the statistics of the page cache
  --              the words that follow are script names, even if they
                  start with -

script syntax:
  command argument argument name=value   # comment
  - Words are separated by spaces or tabs. "Double quotes" keep spaces in one
    word; inside them write \" for a quote and \\ for a backslash.
  - Every argument can also be given by its name, in any order:
    opacity layer=2 value=0.5. Arguments in [brackets] may be left out.
  - Numbers are decimal: 12, -3, 0.5, 1e-3.
  - A <layer> is its index (1 is the bottom layer), its name, or one of
    current, top and bottom. A quoted word is always a name: "top".
  - A <colour> is #RRGGBB, #RRGGBBAA or r,g,b,a (0 to 255, straight alpha).
  - Pixel positions x, y count from the bottom-left corner of the canvas, y
    upwards, as the engine counts them; PNG files keep their top row first.
  - A word that starts with # begins a comment running to the end of the
    line, with two exceptions: # and 6 or 8 hexadecimal digits is a colour
    anywhere, and where the next argument is a colour any #word is taken
    as that colour, so #GGGGGG or #FFF there is reported as a bad colour.
    A # followed by a space always begins a comment. Blank lines do nothing.
  - The first bad line stops the run with "<script>:<line>: <problem>" on
    standard error. The bad line has changed nothing; the lines before it
    have run. A command during which the page store fails (it cannot read
    pixels back from its swap file) fails too, and writes no file.
  - Standard output carries only what commands print (print, --stats);
    errors, warnings and progress go to standard error.
  - Files are written to a temporary file beside the target and renamed
    over it when complete; a symbolic link is followed, and a target that
    is not a regular file (a directory, FIFO or device) is refused.

exit status: 0 when every script ran, 1 when one failed or could not be
read, 2 for bad options.

)";

// The limits, from the constants that enforce them.
std::string Limits() {
  namespace t = brenmark::tool;
  const int side = t::Session::kMaxCanvasSide;
  std::ostringstream s;
  s << "limits:\n"
    << "  canvases      at most " << PaintManager::kMaxLayerStacks << " at once, each at most "
    << side << " x " << side << " pixels,\n"
    << "                together at most " << t::Session::kDefaultPixelBudget
    << " pixels (the host keeps a\n"
    << "                view of 4 bytes a pixel for each)\n"
    << "  images        PNG files read or written, and exported rectangles: at most\n"
    << "                " << t::kMaxImageSide << " x " << t::kMaxImageSide << " pixels; at most "
    << t::kMaxPngChunks << " ancillary chunks of at most\n"
    << "                " << (t::kMaxPngChunkBytes >> 20) << " MiB each\n"
    << "  script lines  at most " << t::kMaxLineLength << " bytes; a NUL byte ends the run\n"
    << "  file names    at most " << t::kMaxPathBytes << " bytes; layer names at most "
    << Layer::kNameCapacity - 1 << " bytes\n"
    << "  positions     x, y and offsets from -" << t::kMaxCoordinate << " to " << t::kMaxCoordinate
    << "\n\n";
  return s.str();
}

void PrintHelp(const CommandRegistry& registry) {
  std::cout << kUsage << Limits() << "commands:\n\n";
  registry.PrintHelp(std::cout);
}

// Runs one script file; false after reporting why it failed.
bool RunFile(brenmark::tool::ScriptRunner& runner, const std::string& path) {
  if (path == "-") return runner.Run(std::cin, "<stdin>");
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    std::cerr << "brenmark: cannot read '" << brenmark::tool::Printable(path)
              << "': it is a directory\n";
    return false;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    std::cerr << "brenmark: cannot open '" << brenmark::tool::Printable(path)
              << "': " << (error != 0 ? std::strerror(error) : "unreadable") << "\n";
    return false;
  }
  return runner.Run(in, path);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> scripts;
  bool help = false;
  bool version = false;
  bool demoScript = false;
  bool stats = false;
  bool optionsEnded = false;
  std::optional<std::string_view> memory;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      scripts.emplace_back(arg);
    } else if (arg == "--memory" || arg.substr(0, 9) == "--memory=") {
      if (arg.size() > 8) {
        memory = arg.substr(9);
      } else if (i + 1 < argc) {
        memory = argv[++i];
      } else {
        std::cerr << "brenmark: --memory needs a size, e.g. --memory 512M (see brenmark --help)\n";
        return kExitUsage;
      }
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "--demo-script") {
      demoScript = true;
    } else if (arg == "--stats") {
      stats = true;
    } else {
      std::cerr << "brenmark: unknown option '" << brenmark::tool::Excerpt(arg)
                << "' (see brenmark --help)\n";
      return kExitUsage;
    }
  }

  // The host reads BRENMARK_MEMORY as it is made; the option overrides it.
  // Either must come before the page cache exists, which Start() creates.
  brenmark::host::ReferenceHost host;
  if (memory) {
    std::string problem;
    if (!host.SetMemoryBudget(*memory, &problem)) {
      std::cerr << "brenmark: --memory: " << brenmark::tool::Excerpt(problem, 300)
                << " (see brenmark --help)\n";
      return kExitUsage;
    }
  }
  brenmark::tool::Session session(host, std::cout);
  CommandRegistry registry;
  brenmark::tool::RegisterAllCommands(registry, session);

  if (help) {
    PrintHelp(registry);
    return 0;
  }
  if (version) {
    std::cout << "brenmark " << BRENMARK_VERSION << "\n";
    return 0;
  }
  if (demoScript) {
    std::cout << brenmark::tool::DemoScript();
    return 0;
  }

  session.Start();
  brenmark::tool::Progress progress(stderr);
  session.SetProgress(&progress);
  brenmark::tool::ScriptRunner runner(registry, std::cerr, &progress);
  runner.SetOutputSharesTerminal(isatty(STDOUT_FILENO) == 1);
  runner.SetLineObserver([&session](const std::string& where) { session.SetLocation(where); });
  bool ok = true;
  try {
    if (scripts.empty()) {
      std::istringstream demo{std::string(brenmark::tool::DemoScript())};
      session.SetScriptFolder(BRENMARK_EXAMPLES_DIR);
      ok = runner.Run(demo, "demo.bms");
    }
    for (const std::string& path : scripts) {
      session.SetScriptFolder(path == "-" ? ""
                                          : std::filesystem::path(path).parent_path().string());
      ok = RunFile(runner, path);
      if (!ok) break;
    }
  } catch (const std::bad_alloc&) {
    // The engine reports no errors by exception, but the tool's own
    // containers and the host's views can still run out of memory.
    std::cout.flush();
    std::cerr << "brenmark: out of memory\n";
    return kExitScriptFailed;
  }
  if (stats) brenmark::tool::PrintStoreStatistics(std::cout, GetSmartImageCacheStatistics());
  std::cout.flush();
  return ok ? 0 : kExitScriptFailed;
}
