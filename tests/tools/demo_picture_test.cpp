// The built-in demo run by the brenmark binary in a scratch folder: it finds
// its pen files wherever it runs, writes its picture into the current folder,
// prints where, and the picture is the reference one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "golden_image.h"

namespace fs = std::filesystem;

namespace {

TEST(DemoPicture, DemoPaintsTheReferencePictureAndPrintsItsPath) {
  const fs::path binary = fs::path(BRENMARK_BINARY_DIR) / "tools" / "brenmark";
  if (!fs::exists(binary)) GTEST_SKIP() << "the tool is not built: " << binary;
  const fs::path dir = fs::path(BRENMARK_BINARY_DIR) / ("demo-test-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string command =
      "cd '" + dir.string() + "' && '" + binary.string() + "' > out.txt 2> err.txt";
  ASSERT_EQ(std::system(command.c_str()), 0) << std::ifstream(dir / "err.txt").rdbuf();
  std::stringstream out;
  out << std::ifstream(dir / "out.txt").rdbuf();
  std::string last;
  for (std::string line; std::getline(out, line);) last = line;
  EXPECT_EQ(last, (dir / "brenmark-demo.png").string());
  EXPECT_EQ(fs::file_size(dir / "err.txt"), 0u);
  golden::Image picture;
  std::string error;
  ASSERT_TRUE(golden::ReadPng((dir / "brenmark-demo.png").string(), picture, error)) << error;
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 240);
  EXPECT_TRUE(golden::MatchesGolden("demo_picture", picture));
  fs::remove_all(dir);
}

}  // namespace
