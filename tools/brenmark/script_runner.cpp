// Reading, checking and running the lines of a script.
#include "script_runner.h"

#include <cstdio>
#include <istream>
#include <ostream>

namespace brenmark::tool {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string ControlByteProblem(unsigned char byte) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "control character 0x%02X in line (is this a text file?)", byte);
  return buf;
}

std::string ReadProblem(LineReader::Status status) {
  if (status == LineReader::Status::kNulByte) return "NUL byte in line (is this a text file?)";
  return "line is longer than " + std::to_string(kMaxLineLength) + " bytes";
}

}  // namespace

std::string ScriptRunner::RunLine(std::string_view line) {
  if (const auto byte = FindControlByte(line)) return ControlByteProblem(*byte);
  SplitLine split = SplitWords(line);
  if (!split.error.empty()) return split.error;
  if (split.words.empty()) return "";
  const Word& verb = split.words.front();
  if (verb.quoted || !verb.key.empty()) {
    return "a line must start with a command name, not " +
           (verb.key.empty() ? QuoteWord(Excerpt(verb.text))
                             : "the option '" + Excerpt(verb.key) + "='");
  }
  const CommandSpec* spec = registry_.Find(verb.text);
  if (!spec) return "unknown command '" + Excerpt(verb.text) + "'";
  const std::vector<Word> args(split.words.begin() + 1, split.words.end());
  Arguments bound;
  std::string problem =
      CommandRegistry::Bind(*spec, args, bound, split.hashWord ? &*split.hashWord : nullptr);
  if (!problem.empty()) return spec->name + ": " + problem + " (usage: " + spec->Usage() + ")";
  if (progress_ && outputSharesTerminal_ && progress_->Showing()) progress_->Clear();
  problem = spec->handler(bound);
  if (!problem.empty()) return spec->name + ": " + problem;
  return "";
}

bool ScriptRunner::Run(std::istream& in, std::string_view sourceName) {
  LineReader reader(in, kMaxLineLength);
  std::string line;
  const std::string label = "brenmark: " + Printable(sourceName) + ": line ";
  for (;;) {
    const LineReader::Status status = reader.Next(line);
    if (status == LineReader::Status::kEnd) break;
    std::string problem;
    if (status != LineReader::Status::kLine) {
      problem = ReadProblem(status);
    } else {
      std::string_view text = line;
      if (reader.LineNumber() == 1 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
      }
      if (lineObserver_)
        lineObserver_(Printable(sourceName) + ":" + std::to_string(reader.LineNumber()));
      problem = RunLine(text);
    }
    if (!problem.empty()) {
      if (progress_) progress_->Clear();
      errors_ << Printable(sourceName) << ":" << reader.LineNumber() << ": " << problem << "\n";
      return false;
    }
    if (progress_) progress_->Update(label + std::to_string(reader.LineNumber()));
  }
  if (progress_) progress_->Clear();
  return true;
}

}  // namespace brenmark::tool
