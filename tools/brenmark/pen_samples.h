// Pen-sample files: one sample a line, `t x y pressure [tilt-x tilt-y]`,
// as a tablet recorded them, and how a sample becomes a stroke point.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace brenmark::tool {

struct PenSample {
  double t = 0;
  double x = 0, y = 0;
  double pressure = 0;          // 0..1
  double tiltX = 0, tiltY = 0;  // degrees from upright, -90..90
};

// Largest sample file the tool reads, in samples.
inline constexpr std::size_t kMaxPenSamples = 1000000;

// Reads every line of `in`: blank lines and lines starting with '#' are
// skipped; other lines hold four or six numbers, finite, positions within
// +-1e6, pressure 0..1, tilts -90..90, times not decreasing. Returns the
// first problem as "name:line: what" (samples then unspecified), or empty.
std::string ReadPenSamples(std::istream& in, const std::string& name,
                           std::vector<PenSample>& samples);

}  // namespace brenmark::tool
