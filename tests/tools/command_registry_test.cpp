// The command table and the runner: binding arguments to declarations, the
// messages for bad lines, and stopping at the first of them.
#include "command_registry.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "script_runner.h"

using brenmark::tool::Arguments;
using brenmark::tool::CommandRegistry;
using brenmark::tool::CommandSpec;
using brenmark::tool::IntegerParam;
using brenmark::tool::LayerParam;
using brenmark::tool::LayerRef;
using brenmark::tool::NumberParam;
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

TEST(CommandText, WrapsLongDescriptions) {
  std::ostringstream out;
  brenmark::tool::WriteWrapped(
      out, std::string(30, 'a') + " " + std::string(30, 'b') + " " + std::string(30, 'c'), "    ");
  EXPECT_EQ(out.str(), "    " + std::string(30, 'a') + " " + std::string(30, 'b') + "\n    " +
                           std::string(30, 'c') + "\n");
}

}  // namespace
