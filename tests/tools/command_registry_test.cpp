// The command table and the runner: binding arguments to declarations, the
// messages for bad lines, and stopping at the first of them.
#include "command_registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "script_runner.h"

using brenmark::tool::Arguments;
using brenmark::tool::ChoiceParam;
using brenmark::tool::ColourParam;
using brenmark::tool::CommandRegistry;
using brenmark::tool::IntegerParam;
using brenmark::tool::LayerParam;
using brenmark::tool::NumberParam;
using brenmark::tool::PathParam;
using brenmark::tool::Rgba;
using brenmark::tool::ScriptRunner;
using brenmark::tool::TextParam;

namespace {

// A small table whose handlers log what they were given.
class ToyCommands : public ::testing::Test {
 protected:
  ToyCommands() {
    Add("opacity", "Layers", {LayerParam("layer"), NumberParam("value", 0, 1)}, "Sets opacity.",
        "opacity 2 0.5", [](const Arguments& a) {
          return a.Layer("layer").Describe() + " " +
                 brenmark::tool::FormatNumber(a.Number("value"));
        });
    Add("canvas", "Canvases",
        {IntegerParam("width", 1, 4096, "256"), IntegerParam("height", 1, 4096, "256")},
        "Makes a canvas.", "canvas 640 480", [](const Arguments& a) {
          return std::to_string(a.Integer("width")) + "x" + std::to_string(a.Integer("height"));
        });
    Add("add-layer", "Layers", {TextParam("name", 5, "-")}, "Adds a layer.", "add-layer Sky",
        [](const Arguments& a) { return a.Has("name") ? a.Text("name") : "-"; });
    Add("tint", "Pixels",
        {ColourParam("colour"),
         ChoiceParam("filter", {"nearest", "bilinear", "bicubic"}, "bilinear"),
         PathParam("file", "-")},
        "Tints.", "tint #FF8000", [](const Arguments& a) {
          const Rgba& c = a.Colour("colour");
          return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
                 std::to_string(c.a) + " " + std::to_string(a.Choice("filter")) + ":" +
                 a.Text("filter") + (a.Has("file") ? " " + a.Text("file") : "");
        });
    registry.Add({.name = "fail",
                  .group = "Layers",
                  .params = {},
                  .summary = "Always fails.",
                  .example = "fail",
                  .handler = [](const Arguments&) { return std::string("there is no layer 9"); }});
  }

  // Adds a command whose handler logs "name what(arguments)" and succeeds.
  void Add(std::string name, std::string group, std::vector<brenmark::tool::ParamSpec> params,
           std::string summary, std::string example,
           std::function<std::string(const Arguments&)> what) {
    registry.Add({.name = name,
                  .group = std::move(group),
                  .params = std::move(params),
                  .summary = std::move(summary),
                  .example = std::move(example),
                  .handler = [this, name, what](const Arguments& a) {
                    log.push_back(name + " " + what(a));
                    return std::string();
                  }});
  }

  // Runs one line; the problem, or "ok".
  std::string Line(std::string_view line) {
    std::ostringstream errors;
    ScriptRunner runner(registry, errors, nullptr);
    const std::string problem = runner.RunLine(line);
    return problem.empty() ? "ok" : problem;
  }

  // Runs a script named demo.bms; the error output, empty on success.
  std::string Script(const std::string& text, bool* ok) {
    std::istringstream in(text);
    std::ostringstream errors;
    ScriptRunner runner(registry, errors, nullptr);
    *ok = runner.Run(in, "demo.bms");
    return errors.str();
  }

  CommandRegistry registry;
  std::vector<std::string> log;
};

TEST_F(ToyCommands, BindsEveryLineOrExplainsIt) {
  const std::string opacity = " (usage: opacity <layer> <value>)";
  const std::string canvas = " (usage: canvas [<width>=256] [<height>=256])";
  const std::string tint = " (usage: tint <colour> [<filter>=bilinear] [<file>])";
  const std::string colour =
      "tint: <colour> must be a colour (#RRGGBB, #RRGGBBAA or r,g,b,a with values 0 to 255), got ";
  const struct {
    std::string line;
    std::string result;  // what the handler logged, or the problem
  } cases[] = {
      // Positional and named arguments, in any order.
      {"opacity 2 0.5", "opacity 2 0.5"},
      {"opacity value=0.25 layer=Sky", "opacity \"Sky\" 0.25"},
      {"opacity value=1 top", "opacity top 1"},
      {"opacity \"top\" 0", "opacity \"top\" 0"},
      {"canvas height=100", "canvas 256x100"},
      {"add-layer", "add-layer -"},
      {"add-layer \"a b\"", "add-layer a b"},
      // Layer references; a huge index is a range problem for the handler.
      {"opacity current 1", "opacity current 1"},
      {"opacity 99999999999999999999 1", "opacity 9223372036854775807 1"},
      {"opacity \"3\" 1", "opacity \"3\" 1"},
      {"opacity 3rd 1", "opacity \"3rd\" 1"},
      {"opacity 0 1", "opacity: <layer> must be 1 or more, got '0'" + opacity},
      {"opacity \"\" 1", "opacity: <layer> must not be empty" + opacity},
      // Colours, choices and paths; at a colour's place a #word is a colour.
      {"tint #FF8000", "tint 255,128,0,255 1:bilinear"},
      {"tint #ff800080 nearest \"my file.png\"", "tint 255,128,0,128 0:nearest my file.png"},
      {"tint 1,2,3 filter=bicubic", "tint 1,2,3,255 2:bicubic"},
      {"tint \"0,0,0,0\" file=-  #note", "tint 0,0,0,0 1:bilinear -"},
      {"tint #FF8000 #note", "tint 255,128,0,255 1:bilinear"},
      {"tint #GGGGGG", colour + "'#GGGGGG'" + tint},
      {"tint 1,2,3,256", colour + "'1,2,3,256'" + tint},
      {"tint #FF80 # short", colour + "'#FF80'" + tint},
      {"tint # forgotten", "tint: missing argument <colour>" + tint},
      {"tint #FF8000 Bilinear",
       "tint: <filter> must be nearest, bilinear or bicubic, got 'Bilinear'" + tint},
      {"tint #FF8000 nearest \"\"", "tint: <file> must not be empty" + tint},
      {"tint #FF8000 nearest " + std::string(4096, 'f'),
       "tint: <file> is longer than 4095 bytes" + tint},
      // Bad arguments: nothing runs.
      {"opacity 2", "opacity: missing argument <value>" + opacity},
      {"opacity", "opacity: missing argument <layer>" + opacity},
      {"opacity 2 0.5 7", "opacity: too many arguments" + opacity},
      {"opacity 2 abc", "opacity: <value> must be a number, got 'abc'" + opacity},
      {"opacity 2 \"0.5\"", "opacity: <value> must be a number, got '0.5'" + opacity},
      {"opacity 2 nan", "opacity: <value> must be a number, got 'nan'" + opacity},
      {"opacity 2 1.5", "opacity: <value> must be between 0 and 1, got '1.5'" + opacity},
      {"opacity 2 1e999", "opacity: <value> must be between 0 and 1, got '1e999'" + opacity},
      {"opacity 2 " + std::string(100, '9'),
       "opacity: <value> must be between 0 and 1, got '" + std::string(40, '9') + "...'" + opacity},
      {"opacity 2 size=3", "opacity: unknown option 'size'" + opacity},
      {"opacity 2 value=1 value=0", "opacity: <value> is given twice" + opacity},
      {"canvas 640.5", "canvas: <width> must be a whole number, got '640.5'" + canvas},
      {"canvas 99999999999999999999999",
       "canvas: <width> must be between 1 and 4096, got '99999999999999999999999'" + canvas},
      {"add-layer \"\"", "add-layer: <name> must not be empty (usage: add-layer [<name>])"},
      {"add-layer abcdef", "add-layer: <name> is longer than 5 bytes (usage: add-layer [<name>])"},
      // Bad lines.
      {"mergee", "unknown command 'mergee'"},
      {"Opacity 1 1", "unknown command 'Opacity'"},
      {std::string(5000, 'z'), "unknown command '" + std::string(40, 'z') + "...'"},
      {"\"opacity\" 1 1", "a line must start with a command name, not \"opacity\""},
      {"layer=1 opacity", "a line must start with a command name, not the option 'layer='"},
      {std::string("opacity 1\0 1", 12), "control character 0x00 in line (is this a text file?)"},
      {"fail", "fail: there is no layer 9"},
      {"   # nothing", "ok"},
  };
  for (const auto& c : cases) {
    const std::size_t logged = log.size();
    const std::string result = Line(c.line);
    EXPECT_EQ(result == "ok" && log.size() == logged + 1 ? log.back() : result, c.result)
        << c.line.substr(0, 60);
    if (result != "ok") {
      EXPECT_EQ(log.size(), logged) << "a handler ran for " << c.line;
    }
  }
}

TEST_F(ToyCommands, StopsAtTheFirstBadLineAndNamesIt) {
  bool ok = true;
  EXPECT_EQ(Script("# demo\ncanvas 10 10\n\nopacity 1 0.5\nmergee 2\nadd-layer Never\n", &ok),
            "demo.bms:5: unknown command 'mergee'\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(log, (std::vector<std::string>{"canvas 10x10", "opacity 1 0.5"}));
}

TEST_F(ToyCommands, HandlesAwkwardFiles) {
  const std::string kMax = std::to_string(brenmark::tool::kMaxLineLength);
  const struct {
    std::string text;
    std::string errors;
  } cases[] = {
      {"", ""},
      // A byte order mark and Windows line ends are accepted.
      {"\xEF\xBB\xBF"
       "canvas 1 2\r\nadd-layer\r\n",
       ""},
      // The start of a PNG file: its second line is no command, and its
      // non-UTF-8 byte is shown escaped.
      {std::string("canvas\n\x89PNG\r\n\x1a\n\0\0\0", 18),
       "demo.bms:2: unknown command '\\x89PNG'\n"},
      {std::string("canvas\n\x1a\n\0\0\0", 12),
       "demo.bms:2: control character 0x1A in line (is this a text file?)\n"},
      {std::string("canvas\nadd-layer\0", 17),
       "demo.bms:2: NUL byte in line (is this a text file?)\n"},
      {"canvas\n" + std::string(brenmark::tool::kMaxLineLength + 1, 'a') + "\n",
       "demo.bms:2: line is longer than " + kMax + " bytes\n"},
  };
  for (const auto& c : cases) {
    bool ok = false;
    EXPECT_EQ(Script(c.text, &ok), c.errors);
    EXPECT_EQ(ok, c.errors.empty());
  }
  EXPECT_EQ(log, (std::vector<std::string>{"canvas 1x2", "add-layer -", "canvas 256x256",
                                           "canvas 256x256", "canvas 256x256", "canvas 256x256"}));
}

TEST_F(ToyCommands, HelpShowsUsageTextAndExampleByGroup) {
  std::ostringstream help;
  registry.PrintHelp(help);
  EXPECT_EQ(help.str(),
            "Layers:\n"
            "  opacity <layer> <value>\n      Sets opacity.\n      example: opacity 2 0.5\n"
            "  add-layer [<name>]\n      Adds a layer.\n      example: add-layer Sky\n"
            "  fail\n      Always fails.\n      example: fail\n\n"
            "Canvases:\n"
            "  canvas [<width>=256] [<height>=256]\n      Makes a canvas.\n"
            "      example: canvas 640 480\n\n"
            "Pixels:\n"
            "  tint <colour> [<filter>=bilinear] [<file>]\n      Tints.\n"
            "      example: tint #FF8000\n\n");
}

TEST(CommandText, WrapsLongDescriptions) {
  std::ostringstream out;
  brenmark::tool::WriteWrapped(
      out, std::string(30, 'a') + " " + std::string(30, 'b') + " " + std::string(30, 'c'), "    ");
  EXPECT_EQ(out.str(), "    " + std::string(30, 'a') + " " + std::string(30, 'b') + "\n    " +
                           std::string(30, 'c') + "\n");
}

}  // namespace
