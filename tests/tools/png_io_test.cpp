// The tool's PNG reader and writer: every kind of PNG read as 8-bit
// pixels, rows kept bottom first, and bad files refused with a message and
// without a crash or a leak (libpng's errors arrive by longjmp).
#include "png_io.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "png_test_files.h"

namespace fs = std::filesystem;
using namespace brenmark::tool;
using namespace brenmark::tool::test;

namespace {

class PngFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(BRENMARK_BINARY_DIR) / ("png-test-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Writes `png` as `name` and reads it back; the problem or "".
  std::string Read(const std::string& name, const TestPng& png, PngPixels want, ImagePixels& out) {
    EXPECT_TRUE(WriteTestPng(Path(name), png));
    return ReadPng(Path(name), want, out, nullptr);
  }

  fs::path dir_;
};

// A pixel of `out`, counted from the top row as files count.
std::vector<int> TopPixel(const ImagePixels& out, int x, int yFromTop) {
  const std::uint8_t* p = out.Row(out.height - 1 - yFromTop) + x * out.channels;
  return std::vector<int>(p, p + out.channels);
}

TEST_F(PngFiles, ReadsRgbaWithTheBottomRowFirst) {
  ImagePixels out;
  ASSERT_EQ(Read("rgba.png", Rgba8(2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
                 PngPixels::kRgba, out),
            "");
  EXPECT_EQ(out.width, 2);
  EXPECT_EQ(out.height, 2);
  EXPECT_EQ(out.channels, 4);
  EXPECT_EQ(out.bytes,
            (std::vector<std::uint8_t>{9, 10, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(PngFiles, ExpandsEveryKindToEightBitRgba) {
  ImagePixels out;
  const TestPng grey = Png(2, 1, PNG_COLOR_TYPE_GRAY, 8, {0, 200});
  ASSERT_EQ(Read("grey.png", grey, PngPixels::kRgba, out), "");
  EXPECT_EQ(out.bytes, (std::vector<std::uint8_t>{0, 0, 0, 255, 200, 200, 200, 255}));

  // 16-bit samples are scaled with rounding: 0x8000 is 127.502 -> 128.
  const TestPng deep =
      Png(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x4D, 0x4D});
  ASSERT_EQ(Read("deep.png", deep, PngPixels::kRgba, out), "");
  EXPECT_EQ(out.bytes, (std::vector<std::uint8_t>{255, 255, 255, 128, 0, 0, 0, 77}));

  TestPng palette = Png(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {2, 0, 1});
  palette.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  palette.alphas = {0, 100};
  ASSERT_EQ(Read("palette.png", palette, PngPixels::kRgba, out), "");
  EXPECT_EQ(out.bytes, (std::vector<std::uint8_t>{0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 100}));

  // Interlaced: all seven passes land in the right rows.
  TestPng rgb = Png(9, 9, PNG_COLOR_TYPE_RGB, 8, {});
  rgb.interlaced = true;
  for (int i = 0; i < 81; ++i) {
    rgb.samples.insert(rgb.samples.end(), {static_cast<std::uint8_t>(i), 7, 9});
  }
  ASSERT_EQ(Read("adam7.png", rgb, PngPixels::kRgba, out), "");
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x)
      EXPECT_EQ(TopPixel(out, x, y), (std::vector<int>{y * 9 + x, 7, 9, 255}));
  }
}

TEST_F(PngFiles, ReadsGreyForMasksAndRefusesColour) {
  ImagePixels out;
  const TestPng bits = Png(4, 2, PNG_COLOR_TYPE_GRAY, 2, {0x1B, 0xE4});  // 0 1 2 3 / 3 2 1 0
  ASSERT_EQ(Read("bits.png", bits, PngPixels::kGrey, out), "");
  EXPECT_EQ(out.channels, 1);
  EXPECT_EQ(out.bytes, (std::vector<std::uint8_t>{255, 170, 85, 0, 0, 85, 170, 255}));

  EXPECT_EQ(Read("rgba.png", Rgba8(1, 1, {1, 2, 3, 4}), PngPixels::kGrey, out),
            "'" + Path("rgba.png") + "' is not a greyscale PNG without alpha");
  const TestPng withAlpha = Png(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {1, 2});
  EXPECT_EQ(Read("ga.png", withAlpha, PngPixels::kGrey, out),
            "'" + Path("ga.png") + "' is not a greyscale PNG without alpha");
}

TEST_F(PngFiles, RefusesFilesThatAreNoPngs) {
  ImagePixels out;
  EXPECT_EQ(ReadPng(Path("missing.png"), PngPixels::kRgba, out, nullptr),
            "cannot open '" + Path("missing.png") + "': No such file or directory");
  EXPECT_EQ(ReadPng(dir_.string(), PngPixels::kRgba, out, nullptr),
            "cannot open '" + dir_.string() + "': it is a directory");
  for (const std::string& bytes : {std::string(), std::string("\x89PNG\r\n\x1a", 7),
                                   std::string("canvas 10 10\nadd-layer\n")}) {
    WriteBytes(Path("text.png"), bytes);
    EXPECT_EQ(ReadPng(Path("text.png"), PngPixels::kRgba, out, nullptr),
              "'" + Path("text.png") + "' is not a PNG file");
  }
}

TEST_F(PngFiles, RefusesTruncatedAndDamagedFilesWithoutLeaking) {
  ASSERT_TRUE(WriteTestPng(Path("good.png"), Rgba8(3, 2, std::vector<std::uint8_t>(24, 77))));
  const std::string good = FileBytes(Path("good.png"));
  ImagePixels out;
  // Cut anywhere after the signature: every read ends early, and libpng's
  // longjmp must leave nothing allocated (the sanitizer build checks).
  // The same from memory.
  for (std::size_t length = 8; length < good.size(); ++length) {
    WriteBytes(Path("cut.png"), good.substr(0, length));
    ASSERT_EQ(ReadPng(Path("cut.png"), PngPixels::kRgba, out, nullptr),
              "'" + Path("cut.png") + "' is not a readable PNG: the file ends too early")
        << length << " bytes";
    EXPECT_TRUE(out.bytes.empty());
    ASSERT_EQ(ReadPngMemory(reinterpret_cast<const std::uint8_t*>(good.data()), length,
                            PngPixels::kRgba, out, nullptr),
              "'<memory>' is not a readable PNG: the file ends too early");
  }
  ASSERT_EQ(ReadPngMemory(reinterpret_cast<const std::uint8_t*>(good.data()), good.size(),
                          PngPixels::kRgba, out, nullptr),
            "");
  EXPECT_EQ(out.bytes, std::vector<std::uint8_t>(24, 77));
  EXPECT_EQ(ReadPngMemory(nullptr, 0, PngPixels::kRgba, out, nullptr),
            "'<memory>' is not a PNG file");
  const std::string prefix = "'" + Path("bad.png") + "' is not a readable PNG: ";
  std::string bad = good;
  bad[29] ^= 0x01;  // the IHDR checksum
  WriteBytes(Path("bad.png"), bad);
  std::string problem = ReadPng(Path("bad.png"), PngPixels::kRgba, out, nullptr);
  EXPECT_EQ(problem.rfind(prefix, 0), 0u) << problem;
  EXPECT_NE(problem.find("CRC"), std::string::npos) << problem;

  // Damaged compressed data with a checksum that matches it.
  const std::size_t idat = good.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  bad = good;
  bad[idat + 4] = '\x7f';  // not a zlib header
  png_uint_32 length = 0;
  for (int i = 0; i < 4; ++i) length = (length << 8) | static_cast<std::uint8_t>(bad[idat - 4 + i]);
  const png_uint_32 crc = static_cast<png_uint_32>(
      crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bad.data() + idat), length + 4));
  for (int i = 0; i < 4; ++i) bad[idat + 4 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
  WriteBytes(Path("bad.png"), bad);
  problem = ReadPng(Path("bad.png"), PngPixels::kRgba, out, nullptr);
  EXPECT_EQ(problem.rfind(prefix, 0), 0u) << problem;
}

TEST_F(PngFiles, RefusesImagesAboveTheSizeLimitBeforeReadingThem) {
  ImagePixels out;
  const TestPng wide = Png(20000, 1, PNG_COLOR_TYPE_GRAY, 1, std::vector<std::uint8_t>(2500, 0));
  EXPECT_EQ(
      Read("wide.png", wide, PngPixels::kRgba, out),
      "'" + Path("wide.png") + "' is 20000 x 1 pixels; an image may be at most 16384 x 16384");
  EXPECT_TRUE(out.bytes.empty());
  const TestPng tall = Png(1, 16385, PNG_COLOR_TYPE_GRAY, 1, std::vector<std::uint8_t>(16385, 0));
  EXPECT_EQ(
      Read("tall.png", tall, PngPixels::kGrey, out),
      "'" + Path("tall.png") + "' is 1 x 16385 pixels; an image may be at most 16384 x 16384");
  const TestPng edge = Png(16384, 1, PNG_COLOR_TYPE_GRAY, 1, std::vector<std::uint8_t>(2048, 0xFF));
  EXPECT_EQ(Read("edge.png", edge, PngPixels::kGrey, out), "");
  EXPECT_EQ(out.width, 16384);
}

// A 141-byte file whose text chunk claims megabytes or gigabytes: refused
// at the chunk's header, before anything is allocated or read for it.
TEST_F(PngFiles, RefusesChunksAboveTheLimitAtOnce) {
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  auto crc = [](const std::string& bytes) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
  };
  const std::string ihdr = "IHDR" + be32(1) + be32(1) + std::string("\x08\x06\0\0\0", 5);
  for (const std::uint32_t claimed : {6u << 20, 0x7FFFFFFFu}) {
    const std::string file = "\x89PNG\r\n\x1a\n" + be32(13) + ihdr + be32(crc(ihdr)) +
                             be32(claimed) + "tEXt" + std::string(100, 'x');
    ASSERT_EQ(file.size(), 141u);
    WriteBytes(Path("text.png"), file);
    ImagePixels out;
    EXPECT_EQ(ReadPng(Path("text.png"), PngPixels::kRgba, out, nullptr),
              "'" + Path("text.png") + "' is not a readable PNG: a chunk claims " +
                  std::to_string(claimed) + " bytes; a chunk may hold at most 4 MiB");
  }
}

TEST_F(PngFiles, WritesTopRowFirst) {
  ImagePixels pixels;
  ASSERT_TRUE(pixels.Allocate(2, 2, 4));
  pixels.bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ASSERT_EQ(WritePng(Path("out.png"), pixels, nullptr), "");
  const DecodedPng d = DecodePng(Path("out.png"));
  EXPECT_EQ(d.channels, 4);
  EXPECT_EQ(d.pixels,
            (std::vector<std::uint8_t>{9, 10, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8}));
  ImagePixels grey;
  ASSERT_TRUE(grey.Allocate(3, 1, 1));
  grey.bytes = {0, 128, 255};
  ASSERT_EQ(WritePng(Path("grey.png"), grey, nullptr), "");
  const DecodedPng g = DecodePng(Path("grey.png"));
  EXPECT_EQ(g.channels, 1);
  EXPECT_EQ(g.pixels, grey.bytes);
}

// Files are replaced through a temporary file beside the target: links are
// followed and kept, anything but a regular file is refused untouched, a
// failure leaves the old file, and the temporary file never stays.
TEST_F(PngFiles, ReplacesFilesSafely) {
  ImagePixels pixels;
  ASSERT_TRUE(pixels.Allocate(2, 1, 1));
  pixels.bytes = {10, 20};
  const std::vector<std::uint8_t> written{10, 20};
  fs::create_directories(dir_ / "real");
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
  fs::create_symlink("real/target.png", dir_ / "link.png");
  fs::create_symlink("link.png", dir_ / "chain.png");
  fs::create_symlink("real/new.png", dir_ / "dangling.png");
  WriteBytes(Path("real/target.png"), "old");
  fs::permissions(Path("real/target.png"), fs::perms(0640));
  const mode_t mask = umask(022);
  const std::string name(255, 'n');
  const std::string refused = "': it is %s, not a regular file; refusing to replace it";
  const struct {
    std::string path;     // what WritePng is given
    std::string lands;    // where the pixels must land ("" when refused)
    std::string problem;  // "" when written
    fs::perms mode;       // of the written file
  } cases[] = {
      {Path("link.png"), Path("real/target.png"), "", fs::perms(0640)},
      {Path("chain.png"), Path("real/target.png"), "", fs::perms(0640)},
      {Path("dangling.png"), Path("real/new.png"), "", fs::perms(0644)},
      {Path(name), Path(name), "", fs::perms(0644)},
      {Path("fifo"), "", "a FIFO", {}},
      {"/dev/null", "", "a character device", {}},
      {Path("real"), "", "a directory", {}},
      {Path("none/out.png"),
       "",
       "cannot write '" + Path("none/out.png") + "': No such file or directory",
       {}},
  };
  for (const auto& c : cases) {
    std::string want = c.problem;
    if (!want.empty() && want.rfind("cannot", 0) != 0) {
      want = "cannot write '" + c.path + refused;
      want.replace(want.find("%s"), 2, c.problem);
    }
    EXPECT_EQ(WritePng(c.path, pixels, nullptr), want) << c.path.substr(0, 80);
    if (c.lands.empty()) continue;
    EXPECT_EQ(DecodePng(c.lands).pixels, written) << c.lands;
    EXPECT_EQ(fs::status(c.lands).permissions(), c.mode) << c.lands;
  }
  umask(mask);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.png"));
  EXPECT_EQ(fs::read_symlink(dir_ / "link.png"), "real/target.png");
  EXPECT_TRUE(fs::is_fifo(Path("fifo")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  // A write that fails half way (the file size limit stands in for a full
  // disk) leaves the old file whole and no temporary file behind.
  WriteBytes(Path("real/target.png"), "old");
  ASSERT_TRUE(pixels.Allocate(256, 256, 4));
  for (std::size_t i = 0; i < pixels.bytes.size(); ++i)
    pixels.bytes[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit small = before;
  small.rlim_cur = 1000;
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string problem = WritePng(Path("link.png"), pixels, nullptr);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(problem, "cannot write '" + Path("link.png") +
                         "': the file could not be written (File too large)");
  EXPECT_EQ(FileBytes(Path("real/target.png")), "old");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_ / "real")) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"new.png", "target.png"}));
}

}  // namespace
