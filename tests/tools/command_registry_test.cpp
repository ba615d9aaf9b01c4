// The command table and the runner: binding arguments to declarations, the
// messages for bad lines, and stopping at the first of them.
#include "command_registry.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "script_runner.h"

using brenmark::tool::Arguments;
using brenmark::tool::ChoiceParam;
using brenmark::tool::ColourParam;
using brenmark::tool::CommandRegistry;
using brenmark::tool::CommandSpec;
using brenmark::tool::IntegerParam;
using brenmark::tool::LayerParam;
using brenmark::tool::LayerRef;
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
    registry.Add({.name = "opacity",
                  .group = "Layers",
                  .params = {LayerParam("layer"), NumberParam("value", 0, 1)},
                  .summary = "Sets opacity.",
                  .example = "opacity 2 0.5",
                  .handler = [this](const Arguments& a) {
                    log.push_back("opacity " + a.Layer("layer").Describe() + " " +
                                  std::to_string(a.Number("value")));
                    return std::string();
                  }});
    registry.Add(
        {.name = "canvas",
         .group = "Canvases",
         .params = {IntegerParam("width", 1, 4096, "256"), IntegerParam("height", 1, 4096, "256")},
         .summary = "Makes a canvas.",
         .example = "canvas 640 480",
         .handler = [this](const Arguments& a) {
           log.push_back("canvas " + std::to_string(a.Integer("width")) + "x" +
                         std::to_string(a.Integer("height")));
           return std::string();
         }});
    registry.Add({.name = "add-layer",
                  .group = "Layers",
                  .params = {TextParam("name", 5, "-")},
                  .summary = "Adds a layer.",
                  .example = "add-layer Sky",
                  .handler = [this](const Arguments& a) {
                    log.push_back(a.Has("name") ? "add-layer " + a.Text("name") : "add-layer");
                    return std::string();
                  }});
    registry.Add({.name = "fail",
                  .group = "Layers",
                  .params = {},
                  .summary = "Always fails.",
                  .example = "fail",
                  .handler = [](const Arguments&) { return std::string("there is no layer 9"); }});
  }

  // Runs one line; the problem, or "ok".
  std::string Line(std::string_view line) {
    std::ostringstream errors;
    ScriptRunner runner(registry, errors, nullptr);
    const std::string problem = runner.RunLine(line);
    return problem.empty() ? "ok" : problem;
  }

  // Runs a script named demo.bms; the error output, empty on success.
  std::string Script(const std::string& text, bool* ok = nullptr) {
    std::istringstream in(text);
    std::ostringstream errors;
    ScriptRunner runner(registry, errors, nullptr);
    const bool result = runner.Run(in, "demo.bms");
    if (ok) *ok = result;
    return errors.str();
  }

  CommandRegistry registry;
  std::vector<std::string> log;
};

TEST_F(ToyCommands, BindsPositionalAndNamedArgumentsInAnyOrder) {
  EXPECT_EQ(Line("opacity 2 0.5"), "ok");
  EXPECT_EQ(Line("opacity value=0.25 layer=Sky"), "ok");
  EXPECT_EQ(Line("opacity value=1 top"), "ok");
  EXPECT_EQ(Line("opacity \"top\" 0"), "ok");
  EXPECT_EQ(Line("canvas height=100"), "ok");
  EXPECT_EQ(Line("add-layer"), "ok");
  EXPECT_EQ(Line("add-layer \"a b\""), "ok");
  EXPECT_EQ(log, (std::vector<std::string>{"opacity 2 0.500000", "opacity \"Sky\" 0.250000",
                                           "opacity top 1.000000", "opacity \"top\" 0.000000",
                                           "canvas 256x100", "add-layer", "add-layer a b"}));
}

TEST_F(ToyCommands, ReadsLayerReferences) {
  EXPECT_EQ(Line("opacity current 1"), "ok");
  EXPECT_EQ(Line("opacity bottom 1"), "ok");
  EXPECT_EQ(Line("opacity 99999999999999999999 1"), "ok");  // a range problem for the handler
  EXPECT_EQ(Line("opacity \"3\" 1"), "ok");
  EXPECT_EQ(Line("opacity 3rd 1"), "ok");
  EXPECT_EQ(log, (std::vector<std::string>{"opacity current 1.000000", "opacity bottom 1.000000",
                                           "opacity 9223372036854775807 1.000000",
                                           "opacity \"3\" 1.000000", "opacity \"3rd\" 1.000000"}));
  EXPECT_EQ(Line("opacity 0 1"),
            "opacity: <layer> must be 1 or more, got '0' "
            "(usage: opacity <layer> <value>)");
  EXPECT_EQ(Line("opacity -2 1"),
            "opacity: <layer> must be 1 or more, got '-2' "
            "(usage: opacity <layer> <value>)");
  EXPECT_EQ(Line("opacity \"\" 1"),
            "opacity: <layer> must not be empty (usage: opacity <layer> <value>)");
}

TEST_F(ToyCommands, ExplainsBadArguments) {
  const std::string usage = " (usage: opacity <layer> <value>)";
  EXPECT_EQ(Line("opacity 2"), "opacity: missing argument <value>" + usage);
  EXPECT_EQ(Line("opacity"), "opacity: missing argument <layer>" + usage);
  EXPECT_EQ(Line("opacity 2 0.5 7"), "opacity: too many arguments" + usage);
  EXPECT_EQ(Line("opacity 2 abc"), "opacity: <value> must be a number, got 'abc'" + usage);
  EXPECT_EQ(Line("opacity 2 \"0.5\""), "opacity: <value> must be a number, got '0.5'" + usage);
  EXPECT_EQ(Line("opacity 2 nan"), "opacity: <value> must be a number, got 'nan'" + usage);
  EXPECT_EQ(Line("opacity 2 1.5"), "opacity: <value> must be between 0 and 1, got '1.5'" + usage);
  EXPECT_EQ(Line("opacity 2 1e999"),
            "opacity: <value> must be between 0 and 1, got '1e999'" + usage);
  EXPECT_EQ(Line("opacity 2 size=3"), "opacity: unknown option 'size'" + usage);
  EXPECT_EQ(Line("opacity 2 value=1 value=0"), "opacity: <value> is given twice" + usage);
  EXPECT_EQ(Line("canvas 640.5"),
            "canvas: <width> must be a whole number, got '640.5' "
            "(usage: canvas [<width>=256] [<height>=256])");
  EXPECT_EQ(Line("canvas 99999999999999999999999"),
            "canvas: <width> must be between 1 and 4096, got '99999999999999999999999' "
            "(usage: canvas [<width>=256] [<height>=256])");
  EXPECT_EQ(Line("add-layer \"\""),
            "add-layer: <name> must not be empty (usage: add-layer [<name>])");
  EXPECT_EQ(Line("add-layer abcdef"),
            "add-layer: <name> is longer than 5 bytes (usage: add-layer [<name>])");
  EXPECT_TRUE(log.empty()) << "a handler ran for a bad line";
}

TEST_F(ToyCommands, ExplainsBadLines) {
  EXPECT_EQ(Line("mergee"), "unknown command 'mergee'");
  EXPECT_EQ(Line("Opacity 1 1"), "unknown command 'Opacity'");
  EXPECT_EQ(Line("\"opacity\" 1 1"), "a line must start with a command name, not \"opacity\"");
  EXPECT_EQ(Line("layer=1 opacity"),
            "a line must start with a command name, not the option 'layer='");
  EXPECT_EQ(Line(std::string("opacity 1\0 1", 12)),
            "control character 0x00 in line (is this a text file?)");
  EXPECT_EQ(Line("fail"), "fail: there is no layer 9");
  EXPECT_EQ(Line("   # nothing"), "ok");
}

TEST_F(ToyCommands, StopsAtTheFirstBadLineAndNamesIt) {
  bool ok = true;
  const std::string errors = Script(
      "# demo\n"
      "canvas 10 10\n"
      "\n"
      "opacity 1 0.5\n"
      "mergee 2\n"
      "add-layer Never\n",
      &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(errors, "demo.bms:5: unknown command 'mergee'\n");
  EXPECT_EQ(log, (std::vector<std::string>{"canvas 10x10", "opacity 1 0.500000"}));
}

TEST_F(ToyCommands, HandlesAwkwardFiles) {
  bool ok = false;
  EXPECT_EQ(Script("", &ok), "");
  EXPECT_TRUE(ok);
  // A byte order mark and Windows line ends are accepted.
  EXPECT_EQ(Script("\xEF\xBB\xBF"
                   "canvas 1 2\r\nadd-layer\r\n",
                   &ok),
            "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(log, (std::vector<std::string>{"canvas 1x2", "add-layer"}));
  // The start of a PNG file: its second line is no command, and its
  // non-UTF-8 byte is shown escaped.
  EXPECT_EQ(Script(std::string("canvas\n\x89PNG\r\n\x1a\n\0\0\0", 18), &ok),
            "demo.bms:2: unknown command '\\x89PNG'\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(Script(std::string("canvas\n\x1a\n\0\0\0", 12), &ok),
            "demo.bms:2: control character 0x1A in line (is this a text file?)\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(Script("canvas\n" + std::string(brenmark::tool::kMaxLineLength + 1, 'a') + "\n", &ok),
            "demo.bms:2: line is longer than 1048576 bytes\n");
  EXPECT_FALSE(ok);
}

TEST_F(ToyCommands, HelpShowsUsageTextAndExampleByGroup) {
  std::ostringstream help;
  registry.PrintHelp(help);
  EXPECT_EQ(help.str(),
            "Layers:\n"
            "  opacity <layer> <value>\n"
            "      Sets opacity.\n"
            "      example: opacity 2 0.5\n"
            "  add-layer [<name>]\n"
            "      Adds a layer.\n"
            "      example: add-layer Sky\n"
            "  fail\n"
            "      Always fails.\n"
            "      example: fail\n"
            "\n"
            "Canvases:\n"
            "  canvas [<width>=256] [<height>=256]\n"
            "      Makes a canvas.\n"
            "      example: canvas 640 480\n"
            "\n");
}

TEST(CommandArguments, ReadColoursChoicesAndPaths) {
  CommandRegistry registry;
  std::vector<std::string> log;
  registry.Add({.name = "tint",
                .group = "Pixels",
                .params = {ColourParam("colour"),
                           ChoiceParam("filter", {"nearest", "bilinear", "bicubic"}, "bilinear"),
                           PathParam("file", "-")},
                .summary = "Tints.",
                .example = "tint #FF8000",
                .handler = [&log](const Arguments& a) {
                  const Rgba& c = a.Colour("colour");
                  log.push_back(std::to_string(c.r) + "," + std::to_string(c.g) + "," +
                                std::to_string(c.b) + "," + std::to_string(c.a) + " " +
                                std::to_string(a.Choice("filter")) + ":" + a.Text("filter") +
                                (a.Has("file") ? " " + a.Text("file") : ""));
                  return std::string();
                }});
  auto line = [&](std::string_view text) {
    std::ostringstream errors;
    ScriptRunner runner(registry, errors, nullptr);
    const std::string problem = runner.RunLine(text);
    return problem.empty() ? "ok" : problem;
  };
  EXPECT_EQ(line("tint #FF8000"), "ok");
  EXPECT_EQ(line("tint #ff800080 nearest \"my file.png\""), "ok");
  EXPECT_EQ(line("tint 1,2,3 filter=bicubic"), "ok");
  EXPECT_EQ(line("tint \"0,0,0,0\" file=-"), "ok");
  EXPECT_EQ(log, (std::vector<std::string>{"255,128,0,255 1:bilinear",
                                           "255,128,0,128 0:nearest my file.png",
                                           "1,2,3,255 2:bicubic", "0,0,0,0 1:bilinear -"}));
  const std::string usage = " (usage: tint <colour> [<filter>=bilinear] [<file>])";
  const std::string colour =
      "tint: <colour> must be a colour (#RRGGBB, #RRGGBBAA or r,g,b,a with values 0 to 255), got ";
  for (const char* bad : {"red", "\"#FF80\"", "\"#GG8000\"", "1,2", "1,2,3,4,5", "1,,3", "-1,2,3",
                          "1,2,256", "1.5,2,3", "\"1, 2, 3\""}) {
    std::string shown = bad;
    if (shown.front() == '"') shown = shown.substr(1, shown.size() - 2);
    EXPECT_EQ(line(std::string("tint ") + bad), colour + "'" + shown + "'" + usage) << bad;
  }
  EXPECT_EQ(line("tint #FF8000 Bilinear"),
            "tint: <filter> must be nearest, bilinear or bicubic, got 'Bilinear'" + usage);
  EXPECT_EQ(line("tint #FF8000 nearest \"\""), "tint: <file> must not be empty" + usage);
  EXPECT_EQ(line("tint #FF8000 nearest " + std::string(4096, 'f')),
            "tint: <file> is longer than 4095 bytes" + usage);
  EXPECT_EQ(log.size(), 4u);
}

TEST(CommandText, WrapsLongDescriptions) {
  std::ostringstream out;
  brenmark::tool::WriteWrapped(
      out, std::string(30, 'a') + " " + std::string(30, 'b') + " " + std::string(30, 'c'), "    ");
  EXPECT_EQ(out.str(), "    " + std::string(30, 'a') + " " + std::string(30, 'b') + "\n    " +
                           std::string(30, 'c') + "\n");
}

}  // namespace
