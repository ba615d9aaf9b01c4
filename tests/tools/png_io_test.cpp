// The tool's PNG reader and writer: every kind of PNG read as 8-bit
// pixels, rows kept bottom first, and bad files refused with a message and
// without a crash or a leak (libpng's errors arrive by longjmp); and the
// straight <-> premultiplied conversion of the pixels written and read:
// exact values, and the round-trip bound the tool documents.
#include "png_io.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pixel_convert.h"
#include "tool_fixture.h"

namespace fs = std::filesystem;
using namespace brenmark::tool;
using namespace brenmark::tool::test;

namespace {

using PngFiles = ToolTest;  // for its scratch folder

// Every kind of PNG read as 8-bit pixels, rows bottom first; a colour file
// asked for as grey is refused.
TEST_F(PngFiles, ReadsEveryKindAsEightBitPixelsBottomRowFirst) {
  using Bytes = std::vector<std::uint8_t>;
  TestPng palette = Png(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {2, 0, 1});
  palette.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  palette.alphas = {0, 100};
  // Interlaced: all seven passes land in the right rows.
  TestPng adam7 = Png(9, 9, PNG_COLOR_TYPE_RGB, 8, {});
  adam7.interlaced = true;
  Bytes adam7Rgba;
  for (int i = 0; i < 81; ++i) {
    adam7.samples.insert(adam7.samples.end(), {static_cast<std::uint8_t>(i), 7, 9});
    const int bottomFirst = (8 - i / 9) * 9 + i % 9;
    adam7Rgba.insert(adam7Rgba.end(), {static_cast<std::uint8_t>(bottomFirst), 7, 9, 255});
  }
  const std::string notGrey = "' is not a greyscale PNG without alpha";
  const std::string tooLarge = "' is %s pixels; an image may be at most 16384 x 16384";
  const struct {
    TestPng png;
    PngPixels want;
    Bytes bytes;          // bottom row first
    std::string problem;  // after the quoted file name
  } cases[] = {
      {Rgba8(2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
       PngPixels::kRgba,
       {9, 10, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8},
       ""},
      {Png(2, 1, PNG_COLOR_TYPE_GRAY, 8, {0, 200}),
       PngPixels::kRgba,
       {0, 0, 0, 255, 200, 200, 200, 255},
       ""},
      // 16-bit samples are scaled with rounding: 0x8000 is 127.502 -> 128.
      {Png(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x4D, 0x4D}),
       PngPixels::kRgba,
       {255, 255, 255, 128, 0, 0, 0, 77},
       ""},
      {palette, PngPixels::kRgba, {0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 100}, ""},
      {adam7, PngPixels::kRgba, adam7Rgba, ""},
      // 2-bit grey: 0 1 2 3 over 3 2 1 0.
      {Png(4, 2, PNG_COLOR_TYPE_GRAY, 2, {0x1B, 0xE4}),
       PngPixels::kGrey,
       {255, 170, 85, 0, 0, 85, 170, 255},
       ""},
      {Rgba8(1, 1, {1, 2, 3, 4}), PngPixels::kGrey, {}, notGrey},
      // Sizes are checked before anything is read.
      {Png(20000, 1, PNG_COLOR_TYPE_GRAY, 1, Bytes(2500, 0)), PngPixels::kRgba, {}, tooLarge},
      {Png(1, 16385, PNG_COLOR_TYPE_GRAY, 1, Bytes(16385, 0)), PngPixels::kGrey, {}, tooLarge},
      {Png(16384, 1, PNG_COLOR_TYPE_GRAY, 1, Bytes(2048, 0xFF)), PngPixels::kGrey,
       Bytes(16384, 0xFF), ""},
      {Png(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {1, 2}), PngPixels::kGrey, {}, notGrey},
  };
  for (const auto& c : cases) {
    ImagePixels out;
    WritePng("in.png", c.png);
    const std::string problem = ReadPng(Path("in.png"), c.want, out, nullptr);
    std::string want = c.problem.empty() ? "" : "'" + Path("in.png") + c.problem;
    if (const std::size_t size = want.find("%s"); size != std::string::npos) {
      want.replace(size, 2, std::to_string(c.png.width) + " x " + std::to_string(c.png.height));
    }
    EXPECT_EQ(problem, want);
    EXPECT_EQ(out.bytes, c.bytes) << c.png.width << "x" << c.png.height;
    if (problem.empty()) {
      EXPECT_EQ(out.channels, c.want == PngPixels::kRgba ? 4 : 1);
      EXPECT_EQ(out.RowBytes() * out.height, c.bytes.size());
    }
  }
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
    EXPECT_EQ(brenmark::tool::WritePng(c.path, pixels, nullptr), want) << c.path.substr(0, 80);
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
  const std::string problem = brenmark::tool::WritePng(Path("link.png"), pixels, nullptr);
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

TEST(PixelConvert, RoundsToNearest) {
  // Straight (128, 64, 0, 128) is stored as (64, 32, 0, 128) and comes back.
  EXPECT_EQ(Premultiply(128, 128), 64);
  EXPECT_EQ(Premultiply(64, 128), 32);
  EXPECT_EQ(Unpremultiply(64, 128), 128);  // 127.5 rounds up
  EXPECT_EQ(Unpremultiply(32, 128), 64);   // 63.75
  EXPECT_EQ(Premultiply(255, 255), 255);
  EXPECT_EQ(Premultiply(255, 1), 1);
  EXPECT_EQ(Premultiply(127, 1), 0);  // 0.498
  EXPECT_EQ(Premultiply(128, 1), 1);  // 0.502
  // Transparent pixels lose their colour; colour above alpha is capped.
  EXPECT_EQ(Unpremultiply(200, 0), 0);
  EXPECT_EQ(Unpremultiply(200, 100), 255);
}

TEST(PixelConvert, RoundTripStaysWithinTheDocumentedBound) {
  for (int a = 0; a < 256; ++a) {
    const int bound = a == 0 ? 255 : (255 + 2 * a - 1) / (2 * a);  // ceil(255 / 2a)
    int worst = 0;
    for (int c = 0; c < 256; ++c) {
      const auto back =
          Unpremultiply(Premultiply(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(a)),
                        static_cast<std::uint8_t>(a));
      if (a == 0) {
        ASSERT_EQ(back, 0) << c;
      } else {
        ASSERT_LE(std::abs(back - c), bound) << "c " << c << " a " << a;
      }
      worst = std::max(worst, std::abs(back - c));
      // Premultiplied colour never exceeds its alpha.
      ASSERT_LE(Premultiply(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(a)), a);
    }
    if (a == 255) {
      EXPECT_EQ(worst, 0) << "opaque pixels must round-trip exactly";
    }
    if (a >= 128) {
      EXPECT_LE(worst, 1) << a;
    }
  }
}

TEST(PixelConvert, ConvertsRunsOfPixels) {
  std::vector<std::uint8_t> px{128, 64, 0, 128, 10, 20, 30, 255, 9, 9, 9, 0};
  PremultiplyPixels(px.data(), 3);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{64, 32, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0}));
  UnpremultiplyPixels(px.data(), 3);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{128, 64, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0}));
}

TEST(PixelConvert, MaskLevelIsThePremultipliedGrey) {
  EXPECT_EQ(MaskLevel({255, 255, 255, 255}), 255);
  EXPECT_EQ(MaskLevel({0, 0, 0, 255}), 0);
  EXPECT_EQ(MaskLevel({128, 128, 128, 255}), 128);
  EXPECT_EQ(MaskLevel({255, 0, 0, 255}), 85);
  EXPECT_EQ(MaskLevel({255, 255, 255, 128}), 128);
  EXPECT_EQ(MaskLevel({255, 255, 255, 0}), 0);
}

}  // namespace
