// The fixture of the in-process command tests: the tool's command table over
// a reference host, a scratch folder, and views of what the engine holds
// (layer structure, pixels) and of the files the tool writes (decoded with
// libpng directly, not through the tool).
#pragma once

#include <brenmark/brenmark.h>
#include <brenmark/layer.h>
#include <brenmark/layer_stack.h>
#include <brenmark/paint_manager.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "command_registry.h"
#include "golden_image.h"
#include "host/reference_host.h"
#include "png_test_files.h"
#include "script_runner.h"
#include "session.h"
#include "structure_printer.h"

namespace brenmark::tool::test {

using Pixels = std::vector<std::vector<int>>;  // one entry per pixel
inline const std::vector<int> kClear{0, 0, 0, 0};
inline const std::vector<int> kRed{255, 0, 0, 255};

inline Pixels Repeat(std::vector<int> pixel, int count) {
  return Pixels(static_cast<std::size_t>(count), pixel);
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.Start();
    session.SetWarnings(&warnings);
    RegisterAllCommands(registry, session);
    dir_ = std::filesystem::path(BRENMARK_BINARY_DIR) /
           ("tool-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  // Canvases outlive a test otherwise, and canvas numbers in messages would
  // depend on the order the tests run in.
  void TearDown() override {
    for (int h = 0; h < PaintManager::kMaxLayerStacks; ++h) {
      if (Brenmark.CheckLayerStackHandle(h)) Brenmark.DeleteLayerStack(h);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // A file name in the scratch folder as a script word.
  std::string F(const std::string& name) const { return QuoteWord(Path(name)); }

  // Runs lines that must all succeed.
  void Run(const std::string& script, const CommandRegistry* commands = nullptr) {
    std::istringstream in(script);
    std::ostringstream errors;
    ScriptRunner runner(commands ? *commands : registry, errors, nullptr);
    ASSERT_TRUE(runner.Run(in, "test.bms")) << errors.str();
  }
  // Runs one line that must fail; its problem.
  std::string Refused(const std::string& line, const CommandRegistry* commands = nullptr) {
    std::ostringstream errors;
    ScriptRunner runner(commands ? *commands : registry, errors, nullptr);
    const std::string problem = runner.RunLine(line);
    EXPECT_FALSE(problem.empty()) << line;
    return problem;
  }

  // A line that must be refused with its problem (any problem when empty),
  // run after its setup lines.
  struct Refusal {
    std::string line, problem, setup = {};
  };
  // Each line is refused and leaves the structure and every layer's pixels
  // as they were.
  void ExpectRefused(const std::vector<Refusal>& cases) {
    std::string before = Printed() + AllPixels();
    for (const Refusal& c : cases) {
      if (!c.setup.empty()) {
        Run(c.setup);
        before = Printed() + AllPixels();
      }
      const std::string problem = Refused(c.line);
      if (!c.problem.empty()) {
        EXPECT_EQ(problem, c.problem) << c.line;
      }
      EXPECT_EQ(Printed() + AllPixels(), before) << c.line;
    }
  }

  static Layer* LayerAt(int index) {
    return Brenmark.GetLayerStack(PntCurrentLayerStack())->GetLayerFromIndex(index);
  }
  // The engine's own pixels of a layer over (x, y, nx, ny) in layer
  // coordinates, bottom row first.
  static Pixels EnginePixels(int index, int x, int y, int nx, int ny) {
    ilImage* image = LayerAt(index)->GetImage();
    const int c = image->getCsize();
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(nx) * ny * c);
    EXPECT_EQ(image->getTile(x, y, nx, ny, buf.data()), ilOkay);
    Pixels out;
    for (std::size_t i = 0; i < buf.size(); i += c)
      out.emplace_back(buf.begin() + i, buf.begin() + i + c);
    return out;
  }
  static std::vector<int> EnginePixel(int index, int x, int y) {
    return EnginePixels(index, x, y, 1, 1)[0];
  }
  // Where a layer holds pixels: x, y, width, height.
  static std::vector<int> Bounds(int index) {
    int x, y, nx, ny;
    Brenmark.GetLayerBounds(x, y, nx, ny, false, index, PntCurrentLayerStack(), true, false);
    return {x, y, nx, ny};
  }
  // Every layer's bounds and pixels, to show that nothing changed.
  static std::string AllPixels() {
    std::string out;
    for (int i = 1; i <= Brenmark.GetLayerCount(PntCurrentLayerStack()); ++i) {
      const std::vector<int> b = Bounds(i);
      for (int v : b) out += std::to_string(v) + ",";
      if (b[2] > 0 && b[3] > 0) {
        for (const auto& p : EnginePixels(i, b[0], b[1], b[2], b[3])) {
          for (int v : p) out += std::to_string(v) + ".";
        }
      }
      out += "\n";
    }
    return out;
  }
  static std::string Printed() {
    std::ostringstream text;
    PrintAllCanvases(text);
    return text.str();
  }
  // A written file's pixels, top row first; its size must be width x height.
  Pixels FilePixels(const std::string& name, int width, int height) {
    const DecodedPng d = DecodePng(Path(name));
    EXPECT_TRUE(d.ok) << name;
    EXPECT_EQ(d.width, width) << name;
    EXPECT_EQ(d.height, height) << name;
    Pixels out;
    for (std::size_t i = 0; i < d.pixels.size(); i += d.channels) {
      out.emplace_back(d.pixels.begin() + i, d.pixels.begin() + i + d.channels);
    }
    return out;
  }
  // Whether a file written in the scratch folder matches a reference image.
  bool MatchesGoldenFile(const std::string& name, const char* reference) {
    const DecodedPng d = DecodePng(Path(name));
    EXPECT_TRUE(d.ok) << name;
    return golden::MatchesGolden(reference, {d.width, d.height, d.channels, d.pixels});
  }
  void WritePng(const std::string& name, const TestPng& png) {
    ASSERT_TRUE(WriteTestPng(Path(name), png)) << name;
  }

  brenmark::host::ReferenceHost host;
  std::ostringstream out;
  std::ostringstream warnings;
  Session session{host, out};
  CommandRegistry registry;
  std::filesystem::path dir_;
};

}  // namespace brenmark::tool::test
