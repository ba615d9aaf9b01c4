// Fuzzes paint scripts: the input is a script, read with the tool's line
// reader and run line by line through its splitter, binder and command
// handlers against the engine, in a private folder with small canvases.
// Unlike the tool, a bad line does not end the run, so that the lines after
// a mutation still reach the engine; instead each bad line is checked to
// have changed nothing in the layer structure and to report a problem that
// prints as it is (no control bytes, valid UTF-8).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz_session.h"
#include "script_syntax.h"
#include "structure_printer.h"

namespace {

using brenmark::fuzz::FuzzSession;
namespace tool = brenmark::tool;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string Structure() {
  std::ostringstream text;
  tool::PrintAllCanvases(text);
  return text.str();
}

[[noreturn]] void Broken(const std::string& what, std::string_view line, const std::string& more) {
  std::fprintf(stderr, "%s\nline: %s\n%s\n", what.c_str(), tool::Printable(line).c_str(),
               more.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSession::Get();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzSession& fuzz = FuzzSession::Get();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  tool::LineReader reader(in, tool::kMaxLineLength);
  std::string line;
  for (;;) {
    // A line too long or holding a NUL byte ends the run, as in the tool:
    // the reader stops in the middle of it.
    if (reader.Next(line) != tool::LineReader::Status::kLine) break;
    std::string_view text = line;
    if (reader.LineNumber() == 1 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
      text.remove_prefix(kByteOrderMark.size());
    }
    const std::string before = Structure();
    const std::string problem = fuzz.RunLine(text);
    if (problem.empty()) continue;
    if (tool::Printable(problem) != problem) {
      Broken("a problem message holds control bytes or bad UTF-8", text, tool::Printable(problem));
    }
    if (const std::string after = Structure(); after != before) {
      Broken("a refused line changed the layer structure", text,
             "problem: " + problem + "\nbefore:\n" + before + "after:\n" + after);
    }
  }
  fuzz.Reset();
  return 0;
}
