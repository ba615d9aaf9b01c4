// Progress line on a terminal.
#include "progress.h"

#include <unistd.h>

#include <cmath>

namespace brenmark::tool {

namespace {

constexpr auto kQuietFor = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

}  // namespace

Progress::Progress(std::FILE* out) : Progress(out, out && isatty(fileno(out)) == 1) {}

Progress::Progress(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {
  Start();
}

void Progress::Start() {
  start_ = Clock::now();
  last_ = start_ - kRedrawEvery;
}

void Progress::Update(std::string_view label, double fraction) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietFor || now - last_ < kRedrawEvery) return;
  last_ = now;
  std::string line(label.substr(0, 70));
  if (fraction >= 0.0 && fraction <= 1.0) {
    line += ' ' + std::to_string(static_cast<int>(std::floor(fraction * 100.0))) + '%';
  }
  // Blanks cover whatever a longer previous line left on screen.
  if (line.size() < shown_) line.append(shown_ - line.size(), ' ');
  std::fprintf(out_, "\r%s", line.c_str());
  std::fflush(out_);
  shown_ = line.size();
}

void Progress::Clear() {
  if (!enabled_ || shown_ == 0) return;
  std::fprintf(out_, "\r%*s\r", static_cast<int>(shown_), "");
  std::fflush(out_);
  shown_ = 0;
}

}  // namespace brenmark::tool
