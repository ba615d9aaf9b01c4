// The lexical layer of paint scripts: splitting a line into words, quoted
// strings and key=value options, reading lines with a length limit, and
// parsing numbers with range checks. Knows nothing about commands or the
// engine.
//
// A line is a command word followed by arguments, separated by spaces or
// tabs. A word that begins with '#' starts a comment that runs to the end of
// the line, except a colour: '#' and six or eight hexadecimal digits
// standing alone (#FF8000, #FF800080) are a word. Whether any other '#word'
// is a comment or a mistyped colour depends on the command, so the splitter
// hands it on (SplitLine::hashWord) for the binder to decide. Double quotes
// group text with spaces into one word; inside them \" and \\ stand for a
// quote and a backslash. A word of the form key=value, where key is a bare
// identifier, is a named option; its value may be quoted (name="Blue sky").
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brenmark::tool {

struct Word {
  std::string text;     // the value, quotes and escapes removed
  bool quoted = false;  // some of the value was quoted: never a keyword or number
  std::string key;      // the option name of key=value, empty for a positional word
};

// The words of one line, or why the line cannot be split.
struct SplitLine {
  std::vector<Word> words;
  std::string error;  // empty when the line is well formed
  // The comment's first word when the comment starts with '#' and a
  // character other than a space ("#GGGGGG", "#red" and "#note", not
  // "# note"): a colour where one is expected, else part of the comment.
  std::optional<Word> hashWord;
};

SplitLine SplitWords(std::string_view line);

// Writes a value so that SplitWords reads it back as one word: bare when it
// is a plain word, else in quotes with " and \ escaped.
std::string QuoteWord(std::string_view text);

// Shows a value in a message: control bytes and bytes that are not UTF-8
// become \xNN, so that junk input cannot garble the terminal.
std::string Printable(std::string_view text);

// Printable() of at most the first `maxBytes` bytes of `text` (cut between
// characters), with "..." when something was left out: how messages quote
// what a script wrote, which may be a megabyte long.
inline constexpr std::size_t kMaxQuotedBytes = 40;
std::string Excerpt(std::string_view text, std::size_t maxBytes = kMaxQuotedBytes);

// Reads one line (without its '\n', and without a '\r' before it) of at most
// `maxLength` bytes. Reading stops at the byte that makes a line too long
// or at a NUL byte, which no text has, without reading further: a script of
// endless bytes (/dev/zero, a runaway pipe) ends the run at once, and the
// caller stops there.
class LineReader {
 public:
  LineReader(std::istream& in, std::size_t maxLength) : in_(in), maxLength_(maxLength) {}

  enum class Status { kLine, kTooLong, kEnd, kNulByte };
  Status Next(std::string& line);
  // The 1-based number of the line last returned.
  int LineNumber() const { return lineNumber_; }

 private:
  std::istream& in_;
  std::size_t maxLength_;
  int lineNumber_ = 0;
};

// Longest line a script may hold: room for a stroke of thousands of samples.
inline constexpr std::size_t kMaxLineLength = 1 << 20;

// The first control byte (below 0x20 other than tab, or 0x7F) in a line, if
// any: such bytes are never part of a script.
std::optional<unsigned char> FindControlByte(std::string_view line);

// Whole numbers: optional sign and decimal digits only.
std::optional<std::int64_t> ParseInteger(std::string_view text);
// Finite decimal numbers (1, -2.5, .5, 1e-3); no hex, inf or nan.
std::optional<double> ParseNumber(std::string_view text);
// A number as messages show it: shortest form that reads back the same.
std::string FormatNumber(double value);

}  // namespace brenmark::tool
