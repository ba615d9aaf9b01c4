// The pen-sample file reader.
#include "pen_samples.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "script_syntax.h"

namespace brenmark::tool {

namespace {

// Parses one whole word as a finite number.
bool Number(const std::string& word, double& out) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtod(word.c_str(), &end);
  return end == word.c_str() + word.size() && errno == 0 && std::isfinite(out);
}

std::string Check(const PenSample& s, const std::vector<PenSample>& before) {
  if (std::fabs(s.x) > 1e6 || std::fabs(s.y) > 1e6) return "position beyond +-1000000";
  if (s.pressure < 0 || s.pressure > 1) return "pressure outside 0..1";
  if (std::fabs(s.tiltX) > 90 || std::fabs(s.tiltY) > 90) return "tilt outside -90..90";
  if (!before.empty() && s.t < before.back().t) return "time goes backwards";
  return "";
}

}  // namespace

std::string ReadPenSamples(std::istream& in, const std::string& name,
                           std::vector<PenSample>& samples) {
  samples.clear();
  std::string line;
  for (long number = 1; std::getline(in, line); ++number) {
    const std::string where = name + ":" + std::to_string(number) + ": ";
    if (line.size() > kMaxLineLength) return where + "line too long";
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) {
      if (w.empty() && word[0] == '#') break;
      w.push_back(word);
    }
    if (w.empty()) continue;
    if (w.size() != 4 && w.size() != 6) {
      return where + "expected t x y pressure [tilt-x tilt-y], found " + std::to_string(w.size()) +
             " words";
    }
    double v[6] = {0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < w.size(); ++i) {
      if (!Number(w[i], v[i]))
        return where + "'" + Printable(w[i].substr(0, 40)) + "' is not a number";
    }
    const PenSample s{v[0], v[1], v[2], v[3], v[4], v[5]};
    if (std::string p = Check(s, samples); !p.empty()) return where + p;
    if (samples.size() >= kMaxPenSamples) return where + "more than 1000000 samples";
    samples.push_back(s);
  }
  if (in.bad()) return name + ": read error";
  if (samples.empty()) return name + ": no samples";
  return "";
}

}  // namespace brenmark::tool
