// Progress of long work, shown on one line of a terminal that is rewritten
// in place. Quiet unless the output is a terminal and the work has run for a
// while, so quick runs, pipes and tests see nothing.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace brenmark::tool {

class Progress {
 public:
  // Shows progress on `out` only when it is a terminal.
  explicit Progress(std::FILE* out);
  Progress(std::FILE* out, bool enabled);
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Starts timing a new piece of work; nothing shows for its first second.
  void Start();
  // "label" or, for a fraction in [0, 1], "label 42%". Redrawn at most ten
  // times a second.
  void Update(std::string_view label, double fraction = -1.0);
  // Removes the line, if one is shown, so that other output starts clean.
  void Clear();
  bool Showing() const { return shown_ > 0; }

 private:
  using Clock = std::chrono::steady_clock;

  std::FILE* out_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point last_;
  std::size_t shown_ = 0;  // width of the line on screen
};

}  // namespace brenmark::tool
