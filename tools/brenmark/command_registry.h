// The table of script commands: each entry names a command, declares its
// parameters (name, type, range, default), carries its help text and an
// example, and points at the handler that runs it. Binding checks every
// argument against the declaration before the handler is called, so a
// handler only sees well-formed values. Knows nothing about the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script_syntax.h"

namespace brenmark::tool {

enum class ParamType {
  kInteger,  // whole number within [min, max]
  kNumber,   // finite number within [min, max]
  kText,     // non-empty text of at most `max` bytes
  kLayer,    // a layer reference (see LayerRef)
  kColour,   // a straight (not premultiplied) colour (see Rgba)
  kChoice,   // one of the words in `choices`, exactly as written there
  kPath,     // a file name: non-empty text of at most `max` bytes
};

// A colour as scripts write it: #RRGGBB, #RRGGBBAA (hexadecimal) or r,g,b or
// r,g,b,a (decimal 0 to 255); alpha is 255 when left out. Channels are
// straight: the engine's premultiplied form is made from them.
struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  bool operator==(const Rgba&) const = default;
};

// The colour a written word names, if it is one.
std::optional<Rgba> ParseColour(std::string_view text);

// How a script names a layer: its 1-based index from the bottom, its name,
// or one of the words current, top and bottom. A quoted word is always a
// name, so a layer called "3" or "top" can still be named.
struct LayerRef {
  enum class Kind { kIndex, kName, kCurrent, kTop, kBottom };
  Kind kind = Kind::kCurrent;
  std::int64_t index = 0;  // kIndex: at least 1, may exceed any real count
  std::string name;        // kName

  // How the reference was written, for messages.
  std::string Describe() const;
};

struct ParamSpec {
  std::string name;  // shown as <name>; also the key of name=value
  ParamType type = ParamType::kInteger;
  double min = 0;  // kInteger, kNumber: inclusive range
  double max = 0;  // also kText: longest length in bytes
  // Empty for a required parameter. Otherwise the text an omitted argument
  // stands for, parsed like a written one; "-" marks an optional parameter
  // without a default (the handler asks Has()).
  std::string fallback;
  std::vector<std::string> choices;  // kChoice: the accepted words, in help order
  // kText, last parameter only: takes every remaining positional word,
  // joined by single spaces (a list of numbers, say).
  bool rest = false;

  bool Optional() const { return !fallback.empty(); }
  bool HasDefault() const { return Optional() && fallback != "-"; }
};

// Longest file name a script may give: the usual PATH_MAX without its
// terminator.
inline constexpr std::size_t kMaxPathBytes = 4095;

// Builders for declarations. `fallback` as in ParamSpec: empty for a
// required parameter, "-" for an optional one without default.
ParamSpec IntegerParam(std::string name, double min, double max, std::string fallback = "");
ParamSpec NumberParam(std::string name, double min, double max, std::string fallback = "");
ParamSpec TextParam(std::string name, std::size_t maxBytes, std::string fallback = "");
ParamSpec LayerParam(std::string name, std::string fallback = "");
ParamSpec ColourParam(std::string name, std::string fallback = "");
ParamSpec ChoiceParam(std::string name, std::vector<std::string> choices,
                      std::string fallback = "");
ParamSpec PathParam(std::string name, std::string fallback = "");

struct Value {
  std::int64_t integer = 0;  // kInteger; kChoice: the index of the word in `choices`
  double number = 0;
  std::string text;  // kText, kPath; kChoice: the word
  LayerRef layer;
  Rgba colour;
};

class CommandSpec;

// The bound arguments of one command line, looked up by parameter name.
// Asking for a parameter the command does not declare is a programming
// error and aborts.
class Arguments {
 public:
  Arguments() = default;
  Arguments(const CommandSpec* spec, std::vector<std::optional<Value>> values)
      : spec_(spec), values_(std::move(values)) {}

  bool Has(std::string_view name) const;
  std::int64_t Integer(std::string_view name) const;
  double Number(std::string_view name) const;
  const std::string& Text(std::string_view name) const;
  const LayerRef& Layer(std::string_view name) const;
  const Rgba& Colour(std::string_view name) const;
  // The index of the chosen word in the parameter's `choices`.
  std::size_t Choice(std::string_view name) const;

 private:
  const Value& Get(std::string_view name) const;

  const CommandSpec* spec_ = nullptr;
  std::vector<std::optional<Value>> values_;
};

// A handler returns an empty string on success, otherwise what went wrong
// (without file, line or command name; the runner adds them). It must check
// everything that can fail before it changes anything.
using Handler = std::function<std::string(const Arguments&)>;

class CommandSpec {
 public:
  std::string name;
  std::string group;  // heading the command is listed under in the help
  std::vector<ParamSpec> params;
  std::string summary;  // what it does, one or more sentences
  std::string example;  // one script line
  Handler handler;

  // "rename <layer> <name>", with optional parameters in brackets.
  std::string Usage() const;
  int ParamIndex(std::string_view name) const;
};

class CommandRegistry {
 public:
  // Names must be unique; adding a second command of a name aborts.
  void Add(CommandSpec spec);
  const CommandSpec* Find(std::string_view name) const;
  const std::vector<CommandSpec>& Commands() const { return commands_; }

  // Binds the argument words (everything after the command word) to the
  // command's parameters: named options first, then the positional words in
  // declaration order over the parameters not named. Returns an empty string
  // and fills `out`, or returns the problem.
  static std::string Bind(const CommandSpec& spec, const std::vector<Word>& args, Arguments& out);
  // The same with the line's '#word' (SplitLine::hashWord, may be null): it
  // becomes the next positional argument when that is a colour, where a
  // user means a colour and a bad one must be reported, and is left a
  // comment otherwise.
  static std::string Bind(const CommandSpec& spec, const std::vector<Word>& args, Arguments& out,
                          const Word* hashWord);

  // Every command with its usage, description and example, by group.
  void PrintHelp(std::ostream& out) const;

 private:
  std::vector<CommandSpec> commands_;
};

// Writes text as lines of at most 79 columns, each starting with `indent`.
void WriteWrapped(std::ostream& out, std::string_view text, std::string_view indent);

}  // namespace brenmark::tool
