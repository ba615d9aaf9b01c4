// Temporary files and the I/O fault seam.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace bp = brenmark::platform;

namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value) setenv(name, value, 1); else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1); else unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace

TEST(TempDirectory, FollowsVariableOrder) {
  ScopedEnv a("SID_TEMP_DIR", nullptr), b("TMP", nullptr), c("TMPDIR", nullptr);
  EXPECT_EQ(bp::TempDirectory(), "/tmp");
  {
    ScopedEnv t("TMPDIR", "/var/tmp");
    EXPECT_EQ(bp::TempDirectory(), "/var/tmp");
    ScopedEnv u("TMP", "/x/tmp");
    EXPECT_EQ(bp::TempDirectory(), "/x/tmp");
    ScopedEnv s("SID_TEMP_DIR", "/sid");
    EXPECT_EQ(bp::TempDirectory(), "/sid");
    ScopedEnv empty("SID_TEMP_DIR", "");
    EXPECT_EQ(bp::TempDirectory(), "/x/tmp");
  }
}

TEST(TempFile, CreatedExclusivelyWithPrefixAndRemoved) {
  std::string dir = std::filesystem::temp_directory_path();
  std::string p1, p2;
  int fd1 = bp::CreateTempFile(dir, "SID", &p1);
  int fd2 = bp::CreateTempFile(dir, "SID", &p2);
  ASSERT_GE(fd1, 0);
  ASSERT_GE(fd2, 0);
  EXPECT_NE(p1, p2);
  EXPECT_EQ(std::filesystem::path(p1).filename().string().rfind("SID", 0), 0u);
  bp::CloseFile(fd1);
  bp::CloseFile(fd2);
  EXPECT_TRUE(bp::RemoveFile(p1));
  EXPECT_TRUE(bp::RemoveFile(p2));
  EXPECT_FALSE(std::filesystem::exists(p1));
}

TEST(TempFile, MissingDirectoryFails) {
  std::string p = "unchanged";
  EXPECT_EQ(bp::CreateTempFile("/nonexistent/dir", "SID", &p), -1);
  EXPECT_TRUE(p.empty());
}

TEST(FileIo, RoundTripAndInjectedFailures) {
  std::string path;
  int fd = bp::CreateTempFile(std::filesystem::temp_directory_path(), "SIDTMP", &path);
  ASSERT_GE(fd, 0);
  const char data[] = "0123456789";
  ASSERT_TRUE(bp::WriteAt(fd, 100, data, 10));
  char back[10] = {};
  ASSERT_TRUE(bp::ReadAt(fd, 100, back, 10));
  EXPECT_EQ(std::string(back, 10), "0123456789");
  EXPECT_FALSE(bp::ReadAt(fd, 4096, back, 10));  // past the end

  bp::InjectWriteFailures(2);
  EXPECT_FALSE(bp::WriteAt(fd, 0, data, 10));
  EXPECT_FALSE(bp::WriteAt(fd, 0, data, 10));
  EXPECT_TRUE(bp::WriteAt(fd, 0, data, 10));

  bp::InjectReadFailures(-1);
  EXPECT_FALSE(bp::ReadAt(fd, 0, back, 10));
  EXPECT_FALSE(bp::ReadAt(fd, 0, back, 10));
  bp::InjectReadFailures(0);
  EXPECT_TRUE(bp::ReadAt(fd, 0, back, 10));
  bp::CloseFile(fd);
  bp::RemoveFile(path);
}

TEST(Atomics, InterlockedCountsReturnNewValue) {
  std::atomic<long> v{0};
  EXPECT_EQ(bp::InterlockedIncrement(v), 1);
  EXPECT_EQ(bp::InterlockedIncrement(v), 2);
  EXPECT_EQ(bp::InterlockedDecrement(v), 1);
}
