// Script lines: words, quotes, options, comments, line reading and numbers.
#include "script_syntax.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

using brenmark::tool::FindControlByte;
using brenmark::tool::LineReader;
using brenmark::tool::ParseInteger;
using brenmark::tool::ParseNumber;
using brenmark::tool::QuoteWord;
using brenmark::tool::SplitWords;

namespace {

// "text" for a positional word, "key=text" for an option, with a * after a
// quoted value: one string per word, so whole lines compare at once.
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
  return out;
}

TEST(ScriptSyntax, SplitsWordsQuotesAndOptions) {
  EXPECT_EQ(Show("rename 2 \"Blue sky\""), "rename | 2 | Blue sky*");
  EXPECT_EQ(Show("  opacity\tlayer=2   value=0.5  "), "opacity | layer=2 | value=0.5");
  EXPECT_EQ(Show("add-layer name=\"My layer\""), "add-layer | name=My layer*");
  EXPECT_EQ(Show("x \"say \\\"hi\\\"\" \"a\\\\b\""), "x | say \"hi\"* | a\\b*");
  EXPECT_EQ(Show("x \"\""), "x | *");
  // Quotes glue to the bare text around them, as in a shell.
  EXPECT_EQ(Show("x ab\"c d\"e"), "x | abc de*");
}

TEST(ScriptSyntax, OnlyBareIdentifiersBeforeEqualsMakeOptions) {
  // A quoted key, or text that is no identifier, leaves the word positional.
  EXPECT_EQ(Show("x \"a=b\" 1.5=x a=b=c"), "x | a=b* | 1.5=x | a=b=c");
  EXPECT_EQ(Show("x =value"), "error: missing option name before '='");
  EXPECT_EQ(Show("x key="), "x | key=");
}

TEST(ScriptSyntax, CommentsStartOnlyAtAWord) {
  EXPECT_EQ(Show("# whole line"), "");
  EXPECT_EQ(Show("print   # all canvases"), "print");
  EXPECT_EQ(Show("rename 1 Layer#2 \"# not a comment\""),
            "rename | 1 | Layer#2 | # not a comment*");
  EXPECT_EQ(Show(""), "");
  EXPECT_EQ(Show(" \t "), "");
}

TEST(ScriptSyntax, AColourWordIsNoComment) {
  EXPECT_EQ(Show("fill 1 #FF8000 # orange"), "fill | 1 | #FF8000");
  EXPECT_EQ(Show("fill 1 #ff800080\t"), "fill | 1 | #ff800080");
  EXPECT_EQ(Show("fill colour=#FF8000"), "fill | colour=#FF8000");
  // Anything else after '#' is a comment, even when it starts like a colour.
  EXPECT_EQ(Show("fill 1 #FFF"), "fill | 1");
  EXPECT_EQ(Show("fill 1 #FF80001"), "fill | 1");
  EXPECT_EQ(Show("fill 1 #FF8000x"), "fill | 1");
  EXPECT_EQ(Show("fill 1 #FF8000# red"), "fill | 1");
  EXPECT_EQ(Show("#FF8000 is orange"), "#FF8000 | is | orange");
}

TEST(ScriptSyntax, ReportsBrokenQuotes) {
  EXPECT_EQ(Show("rename 1 \"Blue sky"), "error: unterminated quoted text");
  EXPECT_EQ(Show("rename 1 \"Blue sky\\"), "error: unterminated quoted text");
  EXPECT_EQ(Show("rename 1 \"a\\nb\""),
            "error: unknown escape '\\n' in quoted text (only \\\" and \\\\ are known)");
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

TEST(ScriptSyntax, ReadsLinesWithoutTheirEndings) {
  std::istringstream in("first\r\nsecond\n\nlast");
  LineReader reader(in, 100);
  std::string line;
  ASSERT_EQ(reader.Next(line), LineReader::Status::kLine);
  EXPECT_EQ(line, "first");
  ASSERT_EQ(reader.Next(line), LineReader::Status::kLine);
  EXPECT_EQ(line, "second");
  ASSERT_EQ(reader.Next(line), LineReader::Status::kLine);
  EXPECT_EQ(line, "");
  ASSERT_EQ(reader.Next(line), LineReader::Status::kLine);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(reader.LineNumber(), 4);
  EXPECT_EQ(reader.Next(line), LineReader::Status::kEnd);
}

TEST(ScriptSyntax, TooLongLinesAreReportedAndSkippedWhole) {
  std::istringstream in(std::string(11, 'x') + "\n" + std::string(10, 'y') + "\n");
  LineReader reader(in, 10);
  std::string line;
  EXPECT_EQ(reader.Next(line), LineReader::Status::kTooLong);
  EXPECT_TRUE(line.empty());
  ASSERT_EQ(reader.Next(line), LineReader::Status::kLine);
  EXPECT_EQ(line, std::string(10, 'y'));
  EXPECT_EQ(reader.LineNumber(), 2);
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
