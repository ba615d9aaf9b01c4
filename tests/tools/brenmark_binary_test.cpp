// The brenmark binary run as a subprocess: the built-in demo, options,
// files that cannot be read, and junk that must never crash it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "command_registry.h"
#include "golden_image.h"
#include "host/reference_host.h"
#include "png_test_files.h"
#include "session.h"

namespace fs = std::filesystem;
using brenmark::tool::test::FileBytes;

namespace {

const std::string kBinary = BRENMARK_BINARY_DIR "/tools/brenmark";

struct Outcome {
  int status = -1;  // exit status; 128 + signal number after a crash
  std::string out;
  std::string err;
};

class BrenmarkBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kBinary)) GTEST_SKIP() << "the tool is not built: " << kBinary;
    dir_ = fs::path(BRENMARK_BINARY_DIR) / ("tools-test-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  // Writes a script into the scratch directory, where the tool runs.
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }

  // Runs the tool in the scratch directory with `args` (shell words), `input`
  // on its standard input and `env` (NAME=value words) in its environment.
  Outcome Tool(const std::string& args, const std::string& input = "",
               const std::string& env = "") {
    Write(".stdin", input);
    const std::string command = "cd '" + dir_.string() + "' && env " + env + " '" + kBinary + "' " +
                                args + " <.stdin >.stdout 2>.stderr";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            FileBytes((dir_ / ".stdout").string()), FileBytes((dir_ / ".stderr").string())};
  }

  fs::path dir_;
};

// Every way a run can go, by exit status, standard output and standard
// error: results only on standard output, diagnostics only on standard error.
TEST_F(BrenmarkBinary, RunsScriptsAndReportsEveryOutcome) {
  const std::string sky =
      "canvas 0 (current): 16 x 16, 1 layer, bottom to top, * = current\n"
      "       #  kind   active  opacity  name\n"
      "  *    1  image  yes        1.00  \"Sky\"\n"
      "     sel  mask   yes        1.00  \"Selection\" (selection mask)\n";
  Write("paint.bms", "canvas 16 16\nadd-layer Sky\nprint\nmergee\nprint\n");
  Write("sky.bms", "canvas 16 16\nadd-layer Sky\n");
  Write("more.bms", "rename Sky Moon\nopacity Moon 2\n");
  Write("never.bms", "print\n");
  Write("far.bms",
        "canvas 16 16\nadd-layer Sky\nfill Sky 0 0 1 1 #FF0000\noffset Sky 1000 0\n"
        "print 0\n");
  Write("outside.bms", "canvas 8 8\nadd-layer A\nexport A far.png 200000 200000 8 2000\n");
  fs::create_directories(dir_ / "folder.bms");
  const std::string fill = "canvas 8 8\nadd-layer A\nfill A 0 0 8 8 #FF0000\n";
  const std::string badSize =
      "\" cannot be used: give 12 or 16 to 65535 megabytes, as a number with an optional K, M or G "
      "suffix (e.g. 64M, 1G) (see brenmark --help)\n";
  const struct {
    std::string args;   // the arguments, as shell words
    std::string input;  // standard input
    std::string env;    // NAME=value for the environment, or empty
    int status;
    std::string out;  // standard output, or its start when it ends in "..."
    std::string err;
  } cases[] = {
      {"", "", "", 0,
       // Then the path of the picture it painted (BuiltInDemoIs... checks it).
       "canvas 0 (current): 320 x 240, 9 layers, bottom to top, * = current\n"
       "       #  kind   active  opacity  name\n"
       "       1  image  yes        1.00  \"Paper\"\n"
       "  *    2  image  yes        1.00  \"Blue sky\"\n"
       "       3  mask   yes        1.00    \"Sky fade\" (mask of 2)\n"
       "       4  image  yes        1.00  \"Far hills\"\n"
       "       5  image  yes        1.00  \"Hills\"\n"
       "       6  image  yes        1.00  \"Ink\"\n"
       "       7  mask   yes        1.00    \"Tape\" (mask of 6)\n"
       "       8  image  yes        0.75  \"Clouds\"\n"
       "       9  image  no         0.75  \"High clouds\"\n"
       "     sel  mask   yes        1.00  \"Selection\" (selection mask)\n/...",
       ""},
      {"paint.bms", "", "", 1, sky, "paint.bms:4: unknown command 'mergee'\n"},
      // Scripts run in order on the same canvases; a failing one stops the rest.
      {"paint.bms more.bms", "", "", 1, sky, "paint.bms:4: unknown command 'mergee'\n"},
      {"sky.bms more.bms never.bms", "", "", 1, "",
       "more.bms:2: opacity: <value> must be between 0 and 1, got '2' (usage: opacity <layer> "
       "<value>)\n"},
      {"-", "canvas 2 3\nprint\nrename 1 X\n", "", 1,
       "canvas 0 (current): 2 x 3, 0 layers, bottom to top, * = current\n"
       "       #  kind   active  opacity  name\n"
       "     sel  mask   yes        1.00  \"Selection\" (selection mask)\n",
       "<stdin>:3: rename: canvas 0 has no layers (add one with 'add-layer')\n"},
      // Warnings and the engine's own notices go to standard error.
      {"far.bms", "", "NORVANE_QV_SMARTIMAGE_CHECKING=1", 0, "canvas 0 (current): 16 x 16...",
       "SID: SmartImage checking is enabled.\n"
       "far.bms:4: warning: layer 1 was kept near the canvas: its offset is 32,0\n"},
      // A read far outside the store's range, in strips: one notice for the command.
      {"outside.bms", "", "", 0, "",
       "SID: SmartImage had to clip an image op to fit +- 102400 (8 times)\n"},
      {"missing.bms", "", "", 1, "",
       "brenmark: cannot open 'missing.bms': No such file or directory\n"},
      {"folder.bms", "", "", 1, "", "brenmark: cannot read 'folder.bms': it is a directory\n"},
      // Endless bytes stop the run at once.
      {"/dev/zero", "", "", 1, "", "/dev/zero:1: NUL byte in line (is this a text file?)\n"},
      {"-", "canvas\n" + std::string(3 << 20, 'y'), "", 1, "",
       "<stdin>:2: line is longer than 1048576 bytes\n"},
      {"--version", "", "", 0, "brenmark ...", ""},
      {"--frobnicate", "", "", 2, "",
       "brenmark: unknown option '--frobnicate' (see brenmark --help)\n"},
      // After --, a name that looks like an option is a script.
      {"-- --frobnicate", "", "", 1, "",
       "brenmark: cannot open '--frobnicate': No such file or directory\n"},
      {"--memory 16M --stats -", fill, "", 0, "page cache:\n  budget bytes: 16777216\n...", ""},
      {"--memory=1G --stats -", fill, "", 0, "page cache:\n  budget bytes: 67108864\n...", ""},
      {"--stats -", fill, "BRENMARK_MEMORY=12", 0, "page cache:\n  budget bytes: 12582912\n...",
       ""},
      {"--memory 20 --stats -", fill, "BRENMARK_MEMORY=12", 0,
       "page cache:\n  budget bytes: 20971520\n...", ""},
      {"--memory 13M -", "", "", 2, "", "brenmark: --memory: memory budget \"13M" + badSize},
      {"--memory=lots -", "", "", 2, "", "brenmark: --memory: memory budget \"lots" + badSize},
      {"- --memory", "", "", 2, "",
       "brenmark: --memory needs a size, e.g. --memory 512M (see brenmark --help)\n"},
  };
  for (const auto& c : cases) {
    const Outcome o = Tool(c.args, c.input, c.env);
    EXPECT_EQ(o.status, c.status) << c.args;
    const bool start = c.out.size() > 3 && c.out.compare(c.out.size() - 3, 3, "...") == 0;
    EXPECT_EQ(start ? o.out.substr(0, c.out.size() - 3) + "..." : o.out, c.out) << c.args;
    EXPECT_EQ(o.err, c.err) << c.args;
  }
}

// The statistics' exact text is PixelCommands.StatisticsCountThePages'.
TEST_F(BrenmarkBinary, StatsFollowTheOutputOfTheScripts) {
  Write("paint.bms", "canvas 64 64\nadd-layer Paper\nfill Paper 0 0 64 64 #FFFFFF\nprint\n");
  Outcome o = Tool("--stats paint.bms");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.rfind("canvas 0 (current): 64 x 64", 0), 0u);
  const std::size_t stats = o.out.find("\npage cache:\n  budget bytes: ");
  EXPECT_NE(stats, std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("  smart images: "), o.out.rfind('\n', o.out.size() - 2) + 1) << o.out;
  // A white 64 x 64 layer holds one page of four-byte pixels at least.
  EXPECT_EQ(o.out.find("  big pages in memory: 0\n"), std::string::npos) << o.out;

  // Printed after a failed script too.
  o = Tool("--stats -", "canvas 8 8\nmergee\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out.rfind("page cache:\n  budget bytes: ", 0), 0u) << o.out;
}

// Run from a scratch folder, the demo finds its pen files, writes its
// picture there and prints where last: the picture is the reference one.
TEST_F(BrenmarkBinary, BuiltInDemoIsTheShippedExampleAndPaintsTheReferencePicture) {
  const Outcome o = Tool("--demo-script");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, FileBytes(BRENMARK_SOURCE_DIR "/examples/demo.bms"));
  const std::string fromFile = Tool("'" BRENMARK_SOURCE_DIR "/examples/demo.bms'").out;
  const Outcome demo = Tool("");
  EXPECT_EQ(demo.out, fromFile);
  EXPECT_EQ(demo.err, "");
  const std::string picture = (dir_ / "brenmark-demo.png").string();
  EXPECT_TRUE(demo.out.ends_with("\n" + picture + "\n")) << demo.out;
  golden::Image img;
  std::string error;
  ASSERT_TRUE(golden::ReadPng(picture, img, error)) << error;
  EXPECT_TRUE(golden::MatchesGolden("demo_picture", img));
}

TEST_F(BrenmarkBinary, HelpDocumentsEveryCommandWithAnExample) {
  const Outcome o = Tool("--help");
  ASSERT_EQ(o.status, 0);
  brenmark::host::ReferenceHost host;
  std::ostringstream unused;
  brenmark::tool::Session session(host, unused);
  brenmark::tool::CommandRegistry registry;
  brenmark::tool::RegisterAllCommands(registry, session);
  ASSERT_GT(registry.Commands().size(), 10u);
  for (const auto& c : registry.Commands()) {
    EXPECT_NE(o.out.find("\n  " + c.Usage() + "\n"), std::string::npos) << c.name;
    EXPECT_NE(o.out.find("      example: " + c.example + "\n"), std::string::npos) << c.name;
  }
}

TEST_F(BrenmarkBinary, NeverCrashesOnJunk) {
  std::mt19937 random(20240611);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);
  std::string words;  // printable junk built from the grammar's own pieces
  const char* pieces[] = {"canvas", "add-layer", "merge-down", "\"",      "=",
                          "#",      "top",       "-1",         "1e308",   "99999999999999999999",
                          " ",      "\\",        "x=",         "opacity", "\n"};
  for (int i = 0; i < 3000; ++i) words += pieces[random() % std::size(pieces)];
  const struct {
    const char* name;
    std::string text;
    int status;
    std::string err;
  } cases[] = {
      {"empty.bms", "", 0, ""},
      {"blank.bms", "\n\n   \n# only a comment\n", 0, ""},
      {"noise.bms", noise, 1, ""},
      {"words.bms", words, -1, ""},
      {"quote.bms", "canvas\nadd-layer \"\n", 1, "quote.bms:2: unterminated quoted text\n"},
  };
  for (const auto& c : cases) {
    Write(c.name, c.text);
    const Outcome o = Tool(c.name);
    EXPECT_EQ(o.out, "") << c.name;
    if (c.status >= 0) {
      EXPECT_EQ(o.status, c.status) << c.name;
    } else {
      EXPECT_TRUE(o.status == 0 || o.status == 1) << c.name << " ended with " << o.status;
    }
    if (!c.err.empty()) {
      EXPECT_EQ(o.err, c.err) << c.name;
    }
    if (o.status == 1) {
      EXPECT_EQ(o.err.rfind(std::string(c.name) + ":", 0), 0u) << c.name << ": " << o.err;
    }
  }
}

}  // namespace
