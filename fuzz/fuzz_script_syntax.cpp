// Fuzzes the lexical layer of paint scripts on its own, without the
// engine: one line through the splitter and, when it names a command, the
// binder; each word through the number and colour parsers; the whole input
// through the line reader with a short limit. Checks what these promise:
// quoting any word reads it back unchanged, numbers and colours survive
// being written and read again, shown text has no control bytes, and the
// line reader returns each line as written, within its limit.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "command_registry.h"
#include "host/reference_host.h"
#include "script_syntax.h"
#include "session.h"

namespace {

namespace tool = brenmark::tool;

constexpr std::size_t kShortLine = 64;

// The command table. Its handlers never run here, so the session is never
// started and the engine never touched.
const tool::CommandRegistry& Registry() {
  static brenmark::host::ReferenceHost host;
  static std::ostringstream out;
  static tool::Session session(host, out);
  static const tool::CommandRegistry registry = [] {
    tool::CommandRegistry r;
    tool::RegisterAllCommands(r, session);
    return r;
  }();
  return registry;
}

[[noreturn]] void Broken(const std::string& what, std::string_view input) {
  std::fprintf(stderr, "%s\ninput: %s\n", what.c_str(), tool::Printable(input).c_str());
  std::abort();
}

void CheckRequoting(const tool::SplitLine& split, std::string_view input) {
  std::string line;
  for (const tool::Word& w : split.words) {
    if (!line.empty()) line += ' ';
    if (!w.key.empty()) line += w.key + '=';
    line += tool::QuoteWord(w.text);
  }
  const tool::SplitLine again = tool::SplitWords(line);
  if (!again.error.empty()) Broken("quoted words do not split: " + again.error, input);
  if (again.words.size() != split.words.size()) Broken("quoted words split differently", input);
  for (std::size_t i = 0; i < again.words.size(); ++i) {
    const tool::Word& a = again.words[i];
    const tool::Word& b = split.words[i];
    if (a.text != b.text || a.key != b.key || !a.quoted) {
      Broken("word " + std::to_string(i) + " reads back as '" + tool::Printable(a.text) + "'",
             input);
    }
  }
}

void CheckValues(const tool::Word& w, std::string_view input) {
  if (const auto v = tool::ParseInteger(w.text)) {
    const bool saturated = *v == std::numeric_limits<std::int64_t>::max() ||
                           *v == std::numeric_limits<std::int64_t>::min();
    if (!saturated && tool::ParseInteger(std::to_string(*v)) != v) {
      Broken("integer " + std::to_string(*v) + " does not read back", input);
    }
  }
  if (const auto v = tool::ParseNumber(w.text)) {
    const std::string shown = tool::FormatNumber(*v);
    if (tool::ParseNumber(shown) != v) Broken("number " + shown + " does not read back", input);
  }
  if (const auto c = tool::ParseColour(w.text)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X%02X", c->r, c->g, c->b, c->a);
    if (tool::ParseColour(hex) != c)
      Broken(std::string("colour ") + hex + " does not read back", input);
  }
}

// Every bound value within its declared range, as handlers rely on.
void ReadBound(const tool::CommandSpec& spec, const tool::Arguments& a, std::string_view input) {
  for (const tool::ParamSpec& p : spec.params) {
    if (!a.Has(p.name)) {
      if (!p.Optional() || p.HasDefault()) Broken(p.name + " is missing after binding", input);
      continue;
    }
    bool inside = true;
    switch (p.type) {
      case tool::ParamType::kInteger: {
        const double v = static_cast<double>(a.Integer(p.name));
        inside = v >= p.min && v <= p.max;
        break;
      }
      case tool::ParamType::kNumber:
        inside = a.Number(p.name) >= p.min && a.Number(p.name) <= p.max;
        break;
      case tool::ParamType::kText:
      case tool::ParamType::kPath:
        inside = !a.Text(p.name).empty() && static_cast<double>(a.Text(p.name).size()) <= p.max;
        break;
      case tool::ParamType::kChoice:
        inside = a.Choice(p.name) < p.choices.size();
        break;
      case tool::ParamType::kLayer:
        inside = a.Layer(p.name).kind != tool::LayerRef::Kind::kIndex || a.Layer(p.name).index >= 1;
        break;
      case tool::ParamType::kColour:
        a.Colour(p.name);
        break;
    }
    if (!inside) Broken(p.name + " was bound outside its range", input);
  }
}

// The raw lines of the input, split at '\n' only.
std::vector<std::string_view> RawLines(std::string_view input) {
  std::vector<std::string_view> lines;
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    lines.push_back(input.substr(0, end));
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
  }
  return lines;
}

// Each line as read against the line as written: a line comes back whole
// (less a '\r' before its end), a longer line or one holding a NUL byte is
// reported so, and the reader ends with the input.
void CheckLineReader(std::string_view input) {
  const std::vector<std::string_view> raw = RawLines(input);
  std::istringstream in{std::string(input)};
  tool::LineReader reader(in, kShortLine);
  std::string line;
  for (std::size_t i = 0;; ++i) {
    const tool::LineReader::Status status = reader.Next(line);
    if (status == tool::LineReader::Status::kEnd) {
      if (i != raw.size())
        Broken("the line reader ended after " + std::to_string(i) + " lines", input);
      return;
    }
    if (i >= raw.size()) Broken("the line reader found a line past the end", input);
    if (reader.LineNumber() != static_cast<int>(i + 1)) Broken("line numbers skip", input);
    std::string_view want = raw[i];
    switch (status) {
      case tool::LineReader::Status::kLine:
        if (!want.empty() && want.back() == '\r') want.remove_suffix(1);
        if (line != want || line.size() > kShortLine || line.find('\0') != std::string::npos) {
          Broken("line " + std::to_string(i + 1) + " reads as '" + tool::Printable(line) + "'",
                 input);
        }
        break;
      case tool::LineReader::Status::kTooLong:
        if (want.size() <= kShortLine) Broken("a short line was called too long", input);
        return;  // the reader stops inside the line
      default:
        if (want.find('\0') == std::string_view::npos)
          Broken("a line without NUL was refused", input);
        return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Registry();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string shown = tool::Printable(input);
  if (tool::FindControlByte(shown) || shown.find('\t') != std::string::npos) {
    Broken("Printable left a control byte", input);
  }
  CheckLineReader(input);

  const tool::SplitLine split = tool::SplitWords(input);
  if (!split.error.empty()) return 0;
  CheckRequoting(split, input);
  for (const tool::Word& w : split.words) CheckValues(w, input);

  if (split.words.empty() || split.words[0].quoted || !split.words[0].key.empty()) return 0;
  const tool::CommandSpec* spec = Registry().Find(split.words[0].text);
  if (!spec) return 0;
  const std::vector<tool::Word> args(split.words.begin() + 1, split.words.end());
  tool::Arguments bound;
  const std::string problem = tool::CommandRegistry::Bind(*spec, args, bound);
  if (tool::Printable(problem) != problem) Broken("a binding problem holds control bytes", input);
  if (problem.empty()) ReadBound(*spec, bound, input);
  return 0;
}
