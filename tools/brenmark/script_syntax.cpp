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

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Option names: a letter, then letters, digits, '-' and '_'.
bool IsOptionName(std::string_view s) {
  if (s.empty() || !IsLetter(s[0])) return false;
  for (char c : s) {
    if (!IsLetter(c) && !IsDigit(c) && c != '-' && c != '_') return false;
  }
  return true;
}

}  // namespace

SplitLine SplitWords(std::string_view line) {
  SplitLine out;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && IsSpace(line[i])) ++i;
    if (i >= n || line[i] == '#') break;
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

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out;
}

LineReader::Status LineReader::Next(std::string& line) {
  line.clear();
  std::streambuf* buf = in_.rdbuf();
  if (buf == nullptr) return Status::kEnd;
  using Traits = std::streambuf::traits_type;
  Traits::int_type c = buf->sbumpc();
  if (Traits::eq_int_type(c, Traits::eof())) return Status::kEnd;
  ++lineNumber_;
  bool tooLong = false;
  while (!Traits::eq_int_type(c, Traits::eof()) && Traits::to_char_type(c) != '\n') {
    if (!tooLong) {
      if (line.size() >= maxLength_) {
        tooLong = true;
        line.clear();
        line.shrink_to_fit();
      } else {
        line.push_back(Traits::to_char_type(c));
      }
    }
    c = buf->sbumpc();
  }
  if (tooLong) return Status::kTooLong;
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
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text[0] == '+') return std::nullopt;
  // from_chars also reads "inf" and "nan"; a number must begin with a digit,
  // a point, or a sign followed by one of them.
  const std::size_t first = text[0] == '-' ? 1 : 0;
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
