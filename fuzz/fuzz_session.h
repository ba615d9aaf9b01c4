// The brenmark tool's command path set up for fuzzing: a reference host,
// a session and the full command table, run in a private working folder
// with small limits, and rebuilt for every input so that nothing one input
// did is seen by the next.
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "command_registry.h"
#include "host/reference_host.h"
#include "session.h"

namespace brenmark::fuzz {

// All canvases of one input together: 128 Ki pixels (512 KiB of view
// memory), room for a canvas that spans several 128 x 128 pages while a
// script full of large canvases stays quick.
inline constexpr std::int64_t kPixelBudget = std::int64_t{1} << 17;

// Makes a fresh folder, under /dev/shm when there is one, else the system's
// temporary folder; aborts when it cannot (no fuzzing is possible then).
std::string MakePrivateFolder(const char* what);

// Reports what an input broke on stderr and aborts, so the fuzzer keeps
// the input.
[[noreturn]] void Broken(const std::string& what);

class FuzzSession {
 public:
  // Once per process: makes the private folders, points swap files at one
  // of them and reports a small machine to the page cache, so that
  // swapping starts early.
  FuzzSession();
  ~FuzzSession();
  FuzzSession(const FuzzSession&) = delete;
  FuzzSession& operator=(const FuzzSession&) = delete;

  // The process's one session, made on first use.
  static FuzzSession& Get();

  // Deletes every canvas, empties the working folder and starts over with
  // a new host, session and command table: the host keeps the view memory
  // of every canvas it was ever asked for, so it cannot outlive one input.
  void Reset();

  // The sandboxed command table: the tool's own commands, except that a
  // file name must be a plain name, taken inside the working folder, and
  // that a command's rectangle or zoom may not ask for more than a few
  // times the pixel budget (the tool allows up to 1 GiB images, far too
  // slow to fuzz).
  const tool::CommandRegistry& Registry() const { return *registry_; }

  // The working folder, where scripts read and write their files. The
  // current directory stays as it is, so that the fuzzer's own relative
  // paths (corpus, crash files) keep working.
  const std::string& Folder() const { return workFolder_; }

  // Runs one line as the tool would; the problem, empty on success.
  std::string RunLine(std::string_view line);

 private:
  void Build();

  std::string workFolder_;
  std::string swapFolder_;
  std::ostringstream out_;  // command output and warnings, dropped per input
  std::unique_ptr<brenmark::host::ReferenceHost> host_;
  std::unique_ptr<tool::Session> session_;
  std::unique_ptr<tool::CommandRegistry> registry_;
};

}  // namespace brenmark::fuzz
