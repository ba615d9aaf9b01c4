// Running a paint script: reads it line by line, splits and binds each line
// against the command table and calls the handler. The first bad line stops
// the run: it is reported as "<source>:<line>: <problem>" and, because
// arguments are checked before anything runs, it has changed nothing.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "command_registry.h"
#include "progress.h"

namespace brenmark::tool {

class ScriptRunner {
 public:
  // Problems go to `errors`; `progress` (may be null) shows how far a long
  // script has come.
  ScriptRunner(const CommandRegistry& registry, std::ostream& errors, Progress* progress)
      : registry_(registry), errors_(errors), progress_(progress) {}

  // Whether command output shares the terminal with the progress line, so
  // that the line must be cleared before a command may print.
  void SetOutputSharesTerminal(bool shares) { outputSharesTerminal_ = shares; }

  // Called with "<source>:<line>" before each line runs, so that warnings
  // printed while it runs can say where they come from.
  void SetLineObserver(std::function<void(const std::string& where)> observer) {
    lineObserver_ = std::move(observer);
  }

  // Runs every line of `in`; `sourceName` names it in messages. False after
  // reporting the first bad line.
  bool Run(std::istream& in, std::string_view sourceName);

  // Checks and runs one line (no comment-only or blank check needed: such a
  // line does nothing). Returns the problem, empty on success.
  std::string RunLine(std::string_view line);

 private:
  const CommandRegistry& registry_;
  std::ostream& errors_;
  Progress* progress_;
  bool outputSharesTerminal_ = true;
  std::function<void(const std::string&)> lineObserver_;
};

}  // namespace brenmark::tool
