// The sandboxed command path the script and PNG harnesses share.
#include "fuzz_session.h"

#include <brenmark/brenmark.h>
#include <brenmark/paint_manager.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "script_runner.h"

namespace brenmark::fuzz {

namespace {

namespace fs = std::filesystem;

// A rectangle a command reads or writes may cover this many pixels.
constexpr std::int64_t kMaxRectPixels = 4 * kPixelBudget;
// Export-view scales all a layer holds by the zoom in each direction; its
// rotated bicubic rendering is the slowest command by far, so it may shrink
// a layer but not enlarge it.
constexpr double kMaxZoom = 1;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz setup: %s\n", what.c_str());
  std::abort();
}

bool Declares(const tool::CommandSpec& spec, const char* name, tool::ParamType type) {
  const int i = spec.ParamIndex(name);
  return i >= 0 && spec.params[static_cast<std::size_t>(i)].type == type;
}

// The bound arguments again, with every file name put inside `folder`.
tool::Arguments InFolder(const tool::CommandSpec& spec, const tool::Arguments& a,
                         const std::string& folder) {
  std::vector<std::optional<tool::Value>> values;
  for (const tool::ParamSpec& p : spec.params) {
    if (!a.Has(p.name)) {
      values.emplace_back();
      continue;
    }
    tool::Value v;
    switch (p.type) {
      case tool::ParamType::kInteger:
        v.integer = a.Integer(p.name);
        break;
      case tool::ParamType::kNumber:
        v.number = a.Number(p.name);
        break;
      case tool::ParamType::kText:
        v.text = a.Text(p.name);
        break;
      case tool::ParamType::kPath:
        v.text = folder + "/" + a.Text(p.name);
        break;
      case tool::ParamType::kLayer:
        v.layer = a.Layer(p.name);
        break;
      case tool::ParamType::kColour:
        v.colour = a.Colour(p.name);
        break;
      case tool::ParamType::kChoice:
        v.integer = static_cast<std::int64_t>(a.Choice(p.name));
        v.text = p.choices[a.Choice(p.name)];
        break;
    }
    values.push_back(std::move(v));
  }
  return tool::Arguments(&spec, std::move(values));
}

// The command's handler behind the fuzzing limits; arguments are bound and
// checked by the tool before this runs, so only their values are judged.
// A file name is taken inside `folder`, so it must not be a path.
tool::Handler Sandboxed(const tool::CommandSpec& spec, const std::string& folder) {
  // The declaration the rebuilt arguments look their names up in.
  auto declared = std::make_shared<tool::CommandSpec>();
  declared->name = spec.name;
  declared->params = spec.params;
  std::vector<std::string> paths;
  for (const tool::ParamSpec& p : spec.params) {
    if (p.type == tool::ParamType::kPath) paths.push_back(p.name);
  }
  const bool rect = Declares(spec, "width", tool::ParamType::kInteger) &&
                    Declares(spec, "height", tool::ParamType::kInteger);
  const bool zoom = Declares(spec, "zoom", tool::ParamType::kNumber);
  return [inner = spec.handler, declared, folder, paths, rect,
          zoom](const tool::Arguments& a) -> std::string {
    for (const std::string& p : paths) {
      if (!a.Has(p)) continue;
      const std::string& name = a.Text(p);
      if (name.find('/') != std::string::npos || name == "." || name == "..") {
        return "(fuzzing) a file name must name a file in the working folder";
      }
    }
    if (rect && a.Has("width") && a.Has("height") &&
        a.Integer("width") * a.Integer("height") > kMaxRectPixels) {
      return "(fuzzing) rectangle too large";
    }
    if (zoom && a.Has("zoom") && a.Number("zoom") > kMaxZoom) return "(fuzzing) zoom too large";
    if (paths.empty()) return inner(a);
    return inner(InFolder(*declared, a, folder));
  };
}

void EmptyFolder(const std::string& folder) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
    std::error_code ignored;
    fs::remove_all(e.path(), ignored);
  }
}

void DeleteAllCanvases() {
  for (int h = 0; h < PaintManager::kMaxLayerStacks; ++h) {
    if (Brenmark.CheckLayerStackHandle(h)) Brenmark.DeleteLayerStack(h);
  }
}

}  // namespace

std::string MakePrivateFolder(const char* what) {
  std::string base = "/dev/shm";
  if (access(base.c_str(), W_OK) != 0) {
    const char* tmp = std::getenv("TMPDIR");
    base = tmp && *tmp ? tmp : "/tmp";
  }
  std::string pattern = base + "/brenmark-fuzz-" + what + "-XXXXXX";
  if (!mkdtemp(pattern.data())) Fail("cannot make a folder like " + pattern);
  return pattern;
}

FuzzSession::FuzzSession() {
  workFolder_ = MakePrivateFolder("work");
  swapFolder_ = MakePrivateFolder("swap");
  // Swap files go where the working folder's cleaning never reaches.
  setenv("SID_TEMP_DIR", swapFolder_.c_str(), 1);
  Build();
}

FuzzSession::~FuzzSession() {
  DeleteAllCanvases();
  registry_.reset();
  session_.reset();
  host_.reset();
  std::error_code ignored;
  fs::remove_all(workFolder_, ignored);
  fs::remove_all(swapFolder_, ignored);
}

void FuzzSession::Build() {
  auto host = std::make_unique<brenmark::host::ReferenceHost>();
  // A 64 MB machine: the page cache gets a small budget and swaps soon.
  host->SetMemoryKB(64 * 1024, 36 * 1024);
  auto session = std::make_unique<tool::Session>(*host, out_, kPixelBudget);
  session->SetWarnings(&out_);
  session->Start();
  tool::CommandRegistry all;
  tool::RegisterAllCommands(all, *session);
  auto registry = std::make_unique<tool::CommandRegistry>();
  for (const tool::CommandSpec& spec : all.Commands()) {
    tool::CommandSpec copy = spec;
    copy.handler = Sandboxed(spec, workFolder_);
    registry->Add(std::move(copy));
  }
  // The old table's handlers and the old session refer to the old host:
  // drop them first.
  registry_ = std::move(registry);
  session_ = std::move(session);
  host_ = std::move(host);
}

void FuzzSession::Reset() {
  DeleteAllCanvases();
  EmptyFolder(workFolder_);
  out_.str("");
  out_.clear();
  Build();
}

std::string FuzzSession::RunLine(std::string_view line) {
  std::ostringstream errors;
  tool::ScriptRunner runner(*registry_, errors, nullptr);
  return runner.RunLine(line);
}

void Broken(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

FuzzSession& FuzzSession::Get() {
  static FuzzSession session;
  return session;
}

}  // namespace brenmark::fuzz
