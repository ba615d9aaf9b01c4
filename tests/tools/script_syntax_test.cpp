// Script lines: words, quotes, options, comments, line reading and numbers.
#include "script_syntax.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

using brenmark::tool::Excerpt;
using brenmark::tool::FindControlByte;
using brenmark::tool::LineReader;
using brenmark::tool::ParseInteger;
using brenmark::tool::ParseNumber;
using brenmark::tool::QuoteWord;
using brenmark::tool::SplitWords;

namespace {

// "text" for a positional word, "key=text" for an option, with a * after a
// quoted value, and the #word after a comment as [#word]: one string per
// line, so whole lines compare at once.
std::string Show(std::string_view line) {
  const auto split = SplitWords(line);
  if (!split.error.empty()) return "error: " + split.error;
  std::string out;
  for (const auto& w : split.words) {
    if (!out.empty()) out += " | ";
    if (!w.key.empty()) out += w.key + "=";
    out += w.text;
    if (w.quoted) out += "*";
  }
  if (split.hashWord) out += " [" + split.hashWord->text + "]";
  return out;
}

TEST(ScriptSyntax, SplitsLinesIntoWordsOptionsAndComments) {
  const std::pair<const char*, const char*> cases[] = {
      {"rename 2 \"Blue sky\"", "rename | 2 | Blue sky*"},
      {"  opacity\tlayer=2   value=0.5  ", "opacity | layer=2 | value=0.5"},
      {"add-layer name=\"My layer\"", "add-layer | name=My layer*"},
      {"x \"say \\\"hi\\\"\" \"a\\\\b\"", "x | say \"hi\"* | a\\b*"},
      {"x \"\"", "x | *"},
      // Quotes glue to the bare text around them, as in a shell.
      {"x ab\"c d\"e", "x | abc de*"},
      // A quoted key, or text that is no identifier, leaves the word positional.
      {"x \"a=b\" 1.5=x a=b=c", "x | a=b* | 1.5=x | a=b=c"},
      {"x key=", "x | key="},
      {"x =value", "error: missing option name before '='"},
      {"rename 1 \"Blue sky", "error: unterminated quoted text"},
      {"rename 1 \"Blue sky\\", "error: unterminated quoted text"},
      {"rename 1 \"a\\nb\"",
       "error: unknown escape '\\n' in quoted text (only \\\" and \\\\ are known)"},
      // Comments start only at a word; a colour word is no comment, and the
      // first word of any other '#' comment is handed on.
      {"", ""},
      {" \t ", ""},
      {"# whole line", ""},
      {"print   # all canvases", "print"},
      {"print #all canvases", "print [#all]"},
      {"rename 1 Layer#2 \"# not a comment\"", "rename | 1 | Layer#2 | # not a comment*"},
      {"fill 1 #FF8000 # orange", "fill | 1 | #FF8000"},
      {"fill 1 #ff800080\t", "fill | 1 | #ff800080"},
      {"fill colour=#FF8000", "fill | colour=#FF8000"},
      {"fill 1 #FFF", "fill | 1 [#FFF]"},
      {"fill 1 #FF80001 red", "fill | 1 [#FF80001]"},
      {"fill 1 #FF8000# red", "fill | 1 [#FF8000#]"},
      {"#FF8000 is orange", "#FF8000 | is | orange"},
  };
  for (const auto& [line, shown] : cases) EXPECT_EQ(Show(line), shown) << line;
}

TEST(ScriptSyntax, QuoteWordReadsBackAsTheSameWord) {
  for (const std::string text : {"Sky", "Blue sky", "say \"hi\"", "a\\b", "#x", "k=v", ""}) {
    const auto split = SplitWords("x " + QuoteWord(text));
    ASSERT_TRUE(split.error.empty()) << text;
    ASSERT_EQ(split.words.size(), 2u) << text;
    EXPECT_EQ(split.words[1].text, text);
    EXPECT_TRUE(split.words[1].key.empty());
  }
}

TEST(ScriptSyntax, ExcerptsKeepMessagesShort) {
  EXPECT_EQ(Excerpt(std::string(40, 'a')), std::string(40, 'a'));
  EXPECT_EQ(Excerpt(std::string(1 << 20, 'a')), std::string(40, 'a') + "...");
  // Never half a character: the e-acute at bytes 39 and 40 is left out whole.
  EXPECT_EQ(Excerpt(std::string(39, 'a') + "\xC3\xA9z"), std::string(39, 'a') + "...");
  EXPECT_EQ(Excerpt("a\x1b[31m", 3), "a\\x1B[...");
}

// Endless bytes, as /dev/zero or a runaway pipe gives them.
class Endless : public std::streambuf {
 public:
  explicit Endless(char c) : c_(c) {}
  std::size_t taken = 0;

 protected:
  int_type underflow() override { return traits_type::to_int_type(c_); }
  int_type uflow() override {
    ++taken;
    return traits_type::to_int_type(c_);
  }

 private:
  char c_;
};

TEST(ScriptSyntax, ReadsLinesAndStopsAtTooLongOnesAndNulBytes) {
  std::istringstream in("first\r\nsecond\n\nyyyyyyyyyy\n" + std::string(11, 'x') + "\nnever");
  LineReader reader(in, 10);
  std::string line;
  for (const std::string want : {"first", "second", "", "yyyyyyyyyy"}) {
    ASSERT_EQ(reader.Next(line), LineReader::Status::kLine);
    EXPECT_EQ(line, want);
  }
  EXPECT_EQ(reader.Next(line), LineReader::Status::kTooLong);
  EXPECT_EQ(reader.LineNumber(), 5);
  EXPECT_TRUE(line.empty());

  std::istringstream last("last");
  LineReader tail(last, 10);
  ASSERT_EQ(tail.Next(line), LineReader::Status::kLine);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(tail.Next(line), LineReader::Status::kEnd);

  // An endless line is read only up to the byte past the limit; a NUL byte
  // ends reading at once.
  for (const char c : {'a', '\0'}) {
    Endless bytes(c);
    std::istream endless(&bytes);
    LineReader r(endless, 1000);
    EXPECT_EQ(r.Next(line), c ? LineReader::Status::kTooLong : LineReader::Status::kNulByte);
    EXPECT_EQ(bytes.taken, c ? 1001u : 1u);
  }
}

TEST(ScriptSyntax, FindsControlBytesButAllowsTabsAndUtf8) {
  EXPECT_FALSE(FindControlByte("rename 1\t\"Ciel bleu \xC3\xA9t\xC3\xA9\""));
  EXPECT_EQ(FindControlByte(std::string("ab\0c", 4)), 0x00);
  EXPECT_EQ(FindControlByte("a\x1b[31m"), 0x1B);
  EXPECT_EQ(FindControlByte("a\x7f"), 0x7F);
}

TEST(ScriptSyntax, ParsesWholeNumbersAndSaturatesHugeOnes) {
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("-7"), -7);
  EXPECT_EQ(ParseInteger("+3"), 3);
  EXPECT_EQ(ParseInteger("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(ParseInteger("-99999999999999999999999"), std::numeric_limits<std::int64_t>::min());
  for (const char* bad : {"", "-", "+", "1.0", "0x10", "12a", " 1", "1 ", "--1", "+-1"}) {
    EXPECT_FALSE(ParseInteger(bad)) << bad;
  }
}

TEST(ScriptSyntax, ParsesFiniteNumbersOnly) {
  EXPECT_EQ(ParseNumber("0.5"), 0.5);
  EXPECT_EQ(ParseNumber(".5"), 0.5);
  EXPECT_EQ(ParseNumber("-2"), -2.0);
  EXPECT_EQ(ParseNumber("+1e-3"), 1e-3);
  EXPECT_EQ(ParseNumber("1e999"), std::numeric_limits<double>::max());
  EXPECT_EQ(ParseNumber("-1e999"), -std::numeric_limits<double>::max());
  EXPECT_EQ(ParseNumber("1e-999"), 0.0);
  for (const char* bad :
       {"", "nan", "inf", "-inf", "infinity", "0x1p3", "1,5", "1.5.2", "e5", "++1", "+-1", "."}) {
    EXPECT_FALSE(ParseNumber(bad)) << bad;
  }
}

}  // namespace
