// Temporary files, the I/O fault seam and diagnostics.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/diagnostics.h"

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

TEST(TempFile, CreatedExclusivelyWithPrefixAndRemoved) {
  const std::string dir = std::filesystem::temp_directory_path();
  std::string p1, p2;
  const int fd1 = bp::CreateTempFile(dir, "SID", &p1), fd2 = bp::CreateTempFile(dir, "SID", &p2);
  ASSERT_TRUE(fd1 >= 0 && fd2 >= 0 && p1 != p2);
  EXPECT_EQ(std::filesystem::path(p1).filename().string().rfind("SID", 0), 0u);
  bp::CloseFile(fd1);
  bp::CloseFile(fd2);
  EXPECT_TRUE(bp::RemoveFile(p1) && bp::RemoveFile(p2));
  EXPECT_FALSE(std::filesystem::exists(p1));
}

TEST(TempFile, UnusableDirectoryFailsWithAReason) {
  const std::string file =
      std::string(std::filesystem::temp_directory_path()) + "/SIDplain" + std::to_string(getpid());
  std::fclose(std::fopen(file.c_str(), "w"));
  const std::pair<std::string, std::string> cases[] = {{"/nonexistent/dir", "no such directory"},
                                                       {"", "no such directory"},
                                                       {file, "not a directory"}};
  for (const auto& [dir, reason] : cases) {
    std::string p = "unchanged", problem;
    EXPECT_EQ(bp::CreateTempFile(dir, "SID", &p, &problem), -1) << dir;
    EXPECT_TRUE(p.empty() && problem == reason) << problem;
  }
  std::remove(file.c_str());
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
  errno = EBADF;
  EXPECT_FALSE(bp::ReadAt(fd, 4096, back, 10));  // past the end
  EXPECT_EQ(errno, 0);

  bp::InjectWriteFailures(2);
  const bool w1 = bp::WriteAt(fd, 0, data, 10), w2 = bp::WriteAt(fd, 0, data, 10);
  EXPECT_EQ((std::array{w1, w2, bp::WriteAt(fd, 0, data, 10)}), (std::array{false, false, true}));
  bp::InjectReadFailures(-1);  // until turned off
  const bool r1 = bp::ReadAt(fd, 0, back, 10), r2 = bp::ReadAt(fd, 0, back, 10);
  bp::InjectReadFailures(0);
  EXPECT_EQ((std::array{r1, r2, bp::ReadAt(fd, 0, back, 10)}), (std::array{false, false, true}));

  // A short read: half the bytes arrive, then the file seems to end.
  bp::InjectShortReads(1);
  const char fresh[] = "abcdefghij";
  ASSERT_TRUE(bp::WriteAt(fd, 0, fresh, 10));
  errno = EBADF;
  EXPECT_FALSE(bp::ReadAt(fd, 0, back, 10));
  EXPECT_EQ((std::pair{errno, std::string(back, 10)}), (std::pair{0, std::string("abcde56789")}));
  EXPECT_TRUE(bp::ReadAt(fd, 0, back, 10));
  EXPECT_EQ(std::string(back, 10), "abcdefghij");
  bp::CloseFile(fd);
  bp::RemoveFile(path);
}

TEST(Diagnostics, GoToStderrOnly) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  bp::Diagnostic("SID: %s %d\n", "page", 7);
  bp::DiagnosticText("plain\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "SID: page 7\nplain\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
