// Fuzzes the pen-sample file reader: every input is either read into
// samples that keep the promised ranges, or refused with a message that
// names the file and, for a bad line, the line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "pen_samples.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<brenmark::tool::PenSample> samples;
  const std::string problem = brenmark::tool::ReadPenSamples(in, "in.pen", samples);
  if (!problem.empty()) {
    if (problem.rfind("in.pen:", 0) != 0) {
      std::fprintf(stderr, "problem without the file name: %s\n", problem.c_str());
      std::abort();
    }
    return 0;
  }
  double t = -INFINITY;
  for (const auto& s : samples) {
    const bool ok = std::isfinite(s.t) && s.t >= t && std::fabs(s.x) <= 1e6 &&
                    std::fabs(s.y) <= 1e6 && s.pressure >= 0 && s.pressure <= 1 &&
                    std::fabs(s.tiltX) <= 90 && std::fabs(s.tiltY) <= 90;
    if (!ok) std::abort();
    t = s.t;
  }
  return 0;
}
