// Splitting script lines into words, reading lines, parsing numbers.
#include "script_syntax.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace brenmark::tool {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Option names: a letter, then letters, digits, '-' and '_'.
bool IsOptionName(std::string_view s) {
  if (s.empty() || !IsLetter(s[0])) return false;
  for (char c : s) {
    if (!IsLetter(c) && !IsDigit(c) && c != '-' && c != '_') return false;
  }
  return true;
}

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A colour word, '#' and six or eight hexadecimal digits standing alone, at
// line[i]: the one kind of word that may begin with '#'.
bool IsColourWordAt(std::string_view line, std::size_t i) {
  std::size_t end = i + 1;
  while (end < line.size() && IsHexDigit(line[end])) ++end;
  const std::size_t digits = end - i - 1;
  return (digits == 6 || digits == 8) && (end == line.size() || IsSpace(line[end]));
}

}  // namespace

SplitLine SplitWords(std::string_view line) {
  SplitLine out;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && IsSpace(line[i])) ++i;
    if (i >= n) break;
    if (line[i] == '#' && !IsColourWordAt(line, i)) {
      std::size_t end = i + 1;
      while (end < n && !IsSpace(line[end])) ++end;
      if (end > i + 1) out.hashWord = Word{std::string(line.substr(i, end - i)), false, ""};
      break;
    }
    Word word;
    std::string text;
    bool isOption = false;
    bool keyQuoted = false;  // quotes before any '=': the word is positional
    bool valueQuoted = false;
    while (i < n && !IsSpace(line[i])) {
      const char c = line[i];
      if (c == '"') {
        ++i;
        bool closed = false;
        while (i < n) {
          const char q = line[i++];
          if (q == '"') {
            closed = true;
            break;
          }
          if (q != '\\') {
            text += q;
            continue;
          }
          if (i >= n) break;
          const char e = line[i++];
          if (e != '"' && e != '\\') {
            out.error = "unknown escape '\\" + Printable(std::string_view(&e, 1)) +
                        "' in quoted text (only \\\" and \\\\ are known)";
            return out;
          }
          text += e;
        }
        if (!closed) {
          out.error = "unterminated quoted text";
          return out;
        }
        (isOption ? valueQuoted : keyQuoted) = true;
      } else if (c == '=' && !isOption && !keyQuoted) {
        if (text.empty()) {
          out.error = "missing option name before '='";
          return out;
        }
        ++i;
        if (IsOptionName(text)) {
          word.key = std::move(text);
          text.clear();
          isOption = true;
        } else {
          text += c;
        }
      } else {
        text += c;
        ++i;
      }
    }
    word.text = std::move(text);
    word.quoted = isOption ? valueQuoted : keyQuoted;
    out.words.push_back(std::move(word));
  }
  return out;
}

std::string QuoteWord(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

namespace {

// Length of the well-formed UTF-8 sequence at text[i], 0 if there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if (c < 0x80 || c > 0xBF) return 0;
  }
  return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", byte);
  out += buf;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u < 0x20 || u == 0x7F) {
      AppendEscaped(out, u);
      ++i;
    } else if (u < 0x80) {
      out += text[i++];
    } else if (const std::size_t n = Utf8SequenceLength(text, i)) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      AppendEscaped(out, u);
      ++i;
    }
  }
  return out;
}

std::string Excerpt(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return Printable(text);
  std::size_t cut = maxBytes;
  // Back off continuation bytes, so that a character is never split.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return Printable(text.substr(0, cut)) + "...";
}

LineReader::Status LineReader::Next(std::string& line) {
  line.clear();
  std::streambuf* buf = in_.rdbuf();
  if (buf == nullptr) return Status::kEnd;
  using Traits = std::streambuf::traits_type;
  Traits::int_type c = buf->sbumpc();
  if (Traits::eq_int_type(c, Traits::eof())) return Status::kEnd;
  ++lineNumber_;
  while (!Traits::eq_int_type(c, Traits::eof()) && Traits::to_char_type(c) != '\n') {
    const char ch = Traits::to_char_type(c);
    if (ch == '\0') {
      line.clear();
      return Status::kNulByte;
    }
    if (line.size() >= maxLength_) {
      line.clear();
      line.shrink_to_fit();
      return Status::kTooLong;
    }
    line.push_back(ch);
    c = buf->sbumpc();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Status::kLine;
}

std::optional<unsigned char> FindControlByte(std::string_view line) {
  for (char c : line) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) return u;
  }
  return std::nullopt;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  bool negative = false;
  std::size_t i = 0;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return std::nullopt;
  for (std::size_t k = i; k < text.size(); ++k) {
    if (!IsDigit(text[k])) return std::nullopt;
  }
  // Digits only: a value too large for 64 bits saturates, so that the
  // caller's range check reports it as out of range rather than as junk.
  std::int64_t value = 0;
  const std::string_view digits = text.substr(i);
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) {
    return negative ? std::numeric_limits<std::int64_t>::min()
                    : std::numeric_limits<std::int64_t>::max();
  }
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return negative ? -value : value;
}

std::optional<double> ParseNumber(std::string_view text) {
  // from_chars also reads "inf" and "nan" and knows no '+': a number is one
  // optional sign, then a digit or a point.
  std::size_t first = 0;
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
  } else if (!text.empty() && text[0] == '-') {
    first = 1;
  }
  if (first >= text.size() || !(IsDigit(text[first]) || text[first] == '.')) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Well formed but beyond double: keep the sign and magnitude class so
    // range checks report it (1e999 is too large, 1e-999 is 0).
    const std::string copy(text);
    value = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(value)) value = std::copysign(DBL_MAX, value);
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::string FormatNumber(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) return "?";
  return std::string(buf, end);
}

}  // namespace brenmark::tool
