// Binding script arguments to declared parameters, and the help text.
#include "command_registry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <ostream>

namespace brenmark::tool {

namespace {

[[noreturn]] void ProgrammingError(const std::string& what) {
  std::fprintf(stderr, "brenmark: internal error: %s\n", what.c_str());
  std::abort();
}

std::string Placeholder(const ParamSpec& p) {
  return "<" + p.name + ">";
}

std::string RangeText(const ParamSpec& p) {
  return FormatNumber(p.min) + " and " + FormatNumber(p.max);
}

// Parses one written value of a parameter; returns the problem or "".
std::string ParseValue(const ParamSpec& p, const Word& word, Value& out) {
  const std::string shown = "'" + Excerpt(word.text) + "'";
  switch (p.type) {
    case ParamType::kInteger: {
      const auto v = word.quoted ? std::nullopt : ParseInteger(word.text);
      if (!v) return Placeholder(p) + " must be a whole number, got " + shown;
      if (static_cast<double>(*v) < p.min || static_cast<double>(*v) > p.max) {
        return Placeholder(p) + " must be between " + RangeText(p) + ", got " + shown;
      }
      out.integer = *v;
      return "";
    }
    case ParamType::kNumber: {
      const auto v = word.quoted ? std::nullopt : ParseNumber(word.text);
      if (!v) return Placeholder(p) + " must be a number, got " + shown;
      if (*v < p.min || *v > p.max) {
        return Placeholder(p) + " must be between " + RangeText(p) + ", got " + shown;
      }
      out.number = *v;
      return "";
    }
    case ParamType::kText:
      if (word.text.empty()) return Placeholder(p) + " must not be empty";
      if (static_cast<double>(word.text.size()) > p.max) {
        return Placeholder(p) + " is longer than " + FormatNumber(p.max) + " bytes";
      }
      out.text = word.text;
      return "";
    case ParamType::kColour: {
      const auto colour = ParseColour(word.text);
      if (!colour) {
        return Placeholder(p) +
               " must be a colour (#RRGGBB, #RRGGBBAA or r,g,b,a with values 0 to 255), got " +
               shown;
      }
      out.colour = *colour;
      return "";
    }
    case ParamType::kChoice: {
      for (std::size_t i = 0; i < p.choices.size(); ++i) {
        if (word.text == p.choices[i]) {
          out.integer = static_cast<std::int64_t>(i);
          out.text = word.text;
          return "";
        }
      }
      std::string list;
      for (std::size_t i = 0; i < p.choices.size(); ++i) {
        if (i > 0) list += i + 1 == p.choices.size() ? " or " : ", ";
        list += p.choices[i];
      }
      return Placeholder(p) + " must be " + list + ", got " + shown;
    }
    case ParamType::kPath:
      if (word.text.empty()) return Placeholder(p) + " must not be empty";
      if (static_cast<double>(word.text.size()) > p.max) {
        return Placeholder(p) + " is longer than " + FormatNumber(p.max) + " bytes";
      }
      out.text = word.text;
      return "";
    case ParamType::kLayer: {
      LayerRef& ref = out.layer;
      if (word.text.empty()) return Placeholder(p) + " must not be empty";
      if (!word.quoted) {
        if (const auto index = ParseInteger(word.text)) {
          if (*index < 1) return Placeholder(p) + " must be 1 or more, got " + shown;
          ref.kind = LayerRef::Kind::kIndex;
          ref.index = *index;
          return "";
        }
        if (word.text == "current") return ref.kind = LayerRef::Kind::kCurrent, "";
        if (word.text == "top") return ref.kind = LayerRef::Kind::kTop, "";
        if (word.text == "bottom") return ref.kind = LayerRef::Kind::kBottom, "";
      }
      ref.kind = LayerRef::Kind::kName;
      ref.name = word.text;
      return "";
    }
  }
  return "unsupported parameter type";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Rgba> ParseColour(std::string_view text) {
  std::uint8_t channels[4] = {0, 0, 0, 255};
  if (!text.empty() && text[0] == '#') {
    const std::string_view digits = text.substr(1);
    if (digits.size() != 6 && digits.size() != 8) return std::nullopt;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      const int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
      if (hi < 0 || lo < 0) return std::nullopt;
      channels[i / 2] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
  } else {
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = text.find(',', start);
      const std::string_view part = text.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      const auto v = ParseInteger(part);
      if (!v || *v < 0 || *v > 255 || count == 4) return std::nullopt;
      channels[count++] = static_cast<std::uint8_t>(*v);
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (count < 3) return std::nullopt;
  }
  return Rgba{channels[0], channels[1], channels[2], channels[3]};
}

void WriteWrapped(std::ostream& out, std::string_view text, std::string_view indent) {
  constexpr std::size_t kWidth = 79;
  std::size_t column = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::size_t end = text.find(' ', i);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(i, end - i);
    i = end;
    if (word.empty()) break;
    if (column > 0 && column + 1 + word.size() > kWidth) {
      out << "\n";
      column = 0;
    }
    if (column == 0) {
      out << indent << word;
      column = indent.size() + word.size();
    } else {
      out << ' ' << word;
      column += 1 + word.size();
    }
  }
  if (column > 0) out << "\n";
}

ParamSpec IntegerParam(std::string name, double min, double max, std::string fallback) {
  return {std::move(name), ParamType::kInteger, min, max, std::move(fallback), {}};
}

ParamSpec NumberParam(std::string name, double min, double max, std::string fallback) {
  return {std::move(name), ParamType::kNumber, min, max, std::move(fallback), {}};
}

ParamSpec TextParam(std::string name, std::size_t maxBytes, std::string fallback) {
  return {
      std::move(name), ParamType::kText, 0, static_cast<double>(maxBytes), std::move(fallback), {}};
}

ParamSpec LayerParam(std::string name, std::string fallback) {
  return {std::move(name), ParamType::kLayer, 0, 0, std::move(fallback), {}};
}

ParamSpec ColourParam(std::string name, std::string fallback) {
  return {std::move(name), ParamType::kColour, 0, 0, std::move(fallback), {}};
}

ParamSpec ChoiceParam(std::string name, std::vector<std::string> choices, std::string fallback) {
  return {std::move(name), ParamType::kChoice, 0, 0, std::move(fallback), std::move(choices)};
}

ParamSpec PathParam(std::string name, std::string fallback) {
  return {std::move(name),
          ParamType::kPath,
          0,
          static_cast<double>(kMaxPathBytes),
          std::move(fallback),
          {}};
}

std::string LayerRef::Describe() const {
  switch (kind) {
    case Kind::kIndex:
      return std::to_string(index);
    case Kind::kName:
      return QuoteWord(name);
    case Kind::kCurrent:
      return "current";
    case Kind::kTop:
      return "top";
    case Kind::kBottom:
      return "bottom";
  }
  return "?";
}

const Value& Arguments::Get(std::string_view name) const {
  const int i = spec_ ? spec_->ParamIndex(name) : -1;
  if (i < 0) ProgrammingError("no parameter '" + std::string(name) + "'");
  if (!values_[i]) ProgrammingError("parameter '" + std::string(name) + "' was not given");
  return *values_[i];
}

bool Arguments::Has(std::string_view name) const {
  const int i = spec_ ? spec_->ParamIndex(name) : -1;
  if (i < 0) ProgrammingError("no parameter '" + std::string(name) + "'");
  return values_[i].has_value();
}

std::int64_t Arguments::Integer(std::string_view name) const {
  return Get(name).integer;
}
double Arguments::Number(std::string_view name) const {
  return Get(name).number;
}
const std::string& Arguments::Text(std::string_view name) const {
  return Get(name).text;
}
const LayerRef& Arguments::Layer(std::string_view name) const {
  return Get(name).layer;
}
const Rgba& Arguments::Colour(std::string_view name) const {
  return Get(name).colour;
}
std::size_t Arguments::Choice(std::string_view name) const {
  return static_cast<std::size_t>(Get(name).integer);
}

std::string CommandSpec::Usage() const {
  std::string out = name;
  for (const ParamSpec& p : params) {
    out += ' ';
    if (!p.Optional()) {
      out += Placeholder(p);
    } else if (p.HasDefault()) {
      out += "[" + Placeholder(p) + "=" + p.fallback + "]";
    } else {
      out += "[" + Placeholder(p) + "]";
    }
  }
  return out;
}

int CommandSpec::ParamIndex(std::string_view n) const {
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].name == n) return static_cast<int>(i);
  }
  return -1;
}

void CommandRegistry::Add(CommandSpec spec) {
  if (Find(spec.name)) ProgrammingError("command '" + spec.name + "' registered twice");
  bool optionalSeen = false;
  for (const ParamSpec& p : spec.params) {
    // Positional words fill parameters in order, so a required parameter
    // after an optional one could never be reached without its name.
    if (!p.Optional() && optionalSeen) {
      ProgrammingError("command '" + spec.name + "': required <" + p.name + "> after optional");
    }
    optionalSeen = optionalSeen || p.Optional();
  }
  commands_.push_back(std::move(spec));
}

const CommandSpec* CommandRegistry::Find(std::string_view name) const {
  for (const CommandSpec& c : commands_) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::string CommandRegistry::Bind(const CommandSpec& spec, const std::vector<Word>& args,
                                  Arguments& out) {
  return Bind(spec, args, out, nullptr);
}

std::string CommandRegistry::Bind(const CommandSpec& spec, const std::vector<Word>& args,
                                  Arguments& out, const Word* hashWord) {
  std::vector<std::optional<Value>> values(spec.params.size());
  std::vector<const Word*> given(spec.params.size(), nullptr);
  for (const Word& w : args) {
    if (w.key.empty()) continue;
    const int i = spec.ParamIndex(w.key);
    if (i < 0) return "unknown option '" + Excerpt(w.key) + "'";
    if (given[i]) return "<" + w.key + "> is given twice";
    given[i] = &w;
  }
  std::size_t next = 0;
  Word restWord;
  for (const Word& w : args) {
    if (!w.key.empty()) continue;
    while (next < given.size() && given[next]) ++next;
    if (next >= given.size()) {
      if (restWord.text.empty() || w.quoted) return "too many arguments";
      restWord.text += ' ' + w.text;
      continue;
    }
    if (next + 1 == given.size() && spec.params[next].rest) {
      if (w.quoted) return "too many arguments";
      restWord = w;
      given[next++] = &restWord;
      continue;
    }
    given[next++] = &w;
  }
  if (hashWord) {
    while (next < given.size() && given[next]) ++next;
    if (next < given.size() && spec.params[next].type == ParamType::kColour) given[next] = hashWord;
  }
  for (std::size_t i = 0; i < spec.params.size(); ++i) {
    const ParamSpec& p = spec.params[i];
    Word fallback;
    const Word* w = given[i];
    if (!w) {
      if (!p.Optional()) return "missing argument " + Placeholder(p);
      if (!p.HasDefault()) continue;
      fallback.text = p.fallback;
      w = &fallback;
    }
    Value v;
    std::string problem = ParseValue(p, *w, v);
    if (!problem.empty()) return problem;
    values[i] = std::move(v);
  }
  out = Arguments(&spec, std::move(values));
  return "";
}

void CommandRegistry::PrintHelp(std::ostream& out) const {
  std::vector<std::string> groups;
  for (const CommandSpec& c : commands_) {
    bool known = false;
    for (const std::string& g : groups) known = known || g == c.group;
    if (!known) groups.push_back(c.group);
  }
  for (const std::string& g : groups) {
    out << g << ":\n";
    for (const CommandSpec& c : commands_) {
      if (c.group != g) continue;
      out << "  " << c.Usage() << "\n";
      WriteWrapped(out, c.summary, "      ");
      out << "      example: " << c.example << "\n";
    }
    out << "\n";
  }
}

}  // namespace brenmark::tool
