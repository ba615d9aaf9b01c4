// Temporary directories and files, and the I/O fault seam.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace bp = brenmark::platform;

namespace {

// Sets (or with null unsets) a variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(TempDirectory, FollowsVariableOrder) {
  ScopedEnv a("SID_TEMP_DIR", nullptr), b("TMP", nullptr), c("TMPDIR", nullptr);
  using List = std::vector<std::string>;
  EXPECT_EQ(bp::TempDirectory(), "/tmp");
  EXPECT_EQ(bp::TempDirectories(), List{"/tmp"});
  {
    ScopedEnv t("TMPDIR", "/var/tmp");
    EXPECT_EQ(bp::TempDirectory(), "/var/tmp");
    ScopedEnv u("TMP", "/x/tmp");
    EXPECT_EQ(bp::TempDirectory(), "/x/tmp");
    ScopedEnv s("SID_TEMP_DIR", "/sid");
    EXPECT_EQ(bp::TempDirectories(), (List{"/sid", "/x/tmp", "/var/tmp", "/tmp"}));
    ScopedEnv empty("SID_TEMP_DIR", "");
    EXPECT_EQ(bp::TempDirectory(), "/x/tmp");
    ScopedEnv same("TMPDIR", "/tmp");  // each directory once
    EXPECT_EQ(bp::TempDirectories(), (List{"/x/tmp", "/tmp"}));
  }
}

// The swap-file tests meet the other unusable directories.
TEST(TempFile, EmptyDirectoryNameFailsWithAReason) {
  std::string p = "unchanged", problem;
  EXPECT_EQ(bp::CreateTempFile("", "SID", &p, &problem), -1);
  EXPECT_TRUE(p.empty() && problem == "no such directory") << problem;
}

// How the injected failures count down, and a read past the end, are
// checked through the swap file's retries.
TEST(FileIo, RoundTripAndShortRead) {
  std::string path;
  int fd = bp::CreateTempFile(std::filesystem::temp_directory_path(), "SIDTMP", &path);
  ASSERT_GE(fd, 0);
  char back[10] = {};
  ASSERT_TRUE(bp::WriteAt(fd, 100, "0123456789", 10));
  ASSERT_TRUE(bp::ReadAt(fd, 100, back, 10));
  EXPECT_EQ(std::string(back, 10), "0123456789");
  // A short read: half the bytes arrive, then the file seems to end.
  bp::InjectShortReads(1);
  ASSERT_TRUE(bp::WriteAt(fd, 100, "abcdefghij", 10));
  errno = EBADF;
  EXPECT_FALSE(bp::ReadAt(fd, 100, back, 10));
  EXPECT_EQ((std::pair{errno, std::string(back, 10)}), (std::pair{0, std::string("abcde56789")}));
  EXPECT_TRUE(bp::ReadAt(fd, 100, back, 10));
  EXPECT_EQ(std::string(back, 10), "abcdefghij");
  bp::CloseFile(fd);
  bp::RemoveFile(path);
}
