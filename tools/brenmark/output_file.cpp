// Writing beside the target, then renaming into place.
#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "script_syntax.h"

namespace brenmark::tool {

namespace {

// As deep as the kernel follows links before ELOOP.
constexpr int kMaxLinkDepth = 40;

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

std::string Refusal(const std::string& path, mode_t mode) {
  return "cannot write '" + Printable(path) + "': it is " + KindOf(mode) +
         ", not a regular file; refusing to replace it";
}

mode_t CurrentUmask() {
  // The only way to read the mask is to set it; the tool runs one thread.
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

std::string ResolveLinks(const std::string& path, std::string& resolved) {
  resolved = path;
  for (int depth = 0;; ++depth) {
    struct stat st;
    if (lstat(resolved.c_str(), &st) != 0) {
      // A missing file is created where the (last) link points.
      if (errno == ENOENT) return "";
      return "cannot write '" + Printable(path) + "': " + std::strerror(errno);
    }
    if (!S_ISLNK(st.st_mode)) return "";
    if (depth == kMaxLinkDepth) {
      return "cannot write '" + Printable(path) + "': " + std::strerror(ELOOP);
    }
    std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = readlink(resolved.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) {
      return "cannot write '" + Printable(path) + "': the link " + Printable(resolved) +
             " could not be read";
    }
    const std::string link(buf.data(), static_cast<std::size_t>(n));
    resolved = link.front() == '/' ? link : Folder(resolved) + "/" + link;
  }
}

OutputFile::~OutputFile() {
  Discard();
}

std::string OutputFile::Problem(const std::string& what, int error) const {
  std::string text = "cannot write '" + Printable(path_) + "': ";
  if (what.empty()) return text + std::strerror(error);
  text += what;
  if (error != 0) text += std::string(" (") + std::strerror(error) + ")";
  return text;
}

std::string OutputFile::Open(const std::string& path) {
  Discard();
  path_ = path;
  if (std::string problem = ResolveLinks(path, target_); !problem.empty()) return problem;
  struct stat st;
  if (lstat(target_.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Refusal(path, st.st_mode);
    mode_ = st.st_mode & 0777;
  } else if (errno != ENOENT) {
    return Problem("", errno);
  } else {
    mode_ = 0666 & ~CurrentUmask();
  }
  // A short name, so that a target name of the longest length still has a
  // sibling, and a dot, so that directory listings pass it over.
  std::string pattern = Folder(target_) + "/.brenmark-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Problem("", errno);
  temp_ = name.data();
  file_ = fdopen(fd, "wb");
  if (!file_) {
    const int error = errno;
    close(fd);
    Discard();
    return Problem("", error);
  }
  return "";
}

std::string OutputFile::Commit() {
  if (!file_) return Problem("the file is not open", 0);
  const int fd = fileno(file_);
  std::string what;
  int error = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) {
    what = "the file could not be written";
    error = errno;
  } else if (fchmod(fd, mode_) != 0) {
    what = "the file's permissions could not be set";
    error = errno;
  } else if (fsync(fd) != 0) {
    what = "the file could not be written to the disk";
    error = errno;
  }
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (what.empty() && closed != 0) {
    error = errno;
    what = "the file could not be written";
  }
  if (what.empty()) {
    // The target may have changed since Open; never rename over anything
    // but a regular file.
    struct stat st;
    if (lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      Discard();
      return Refusal(path_, st.st_mode);
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
      error = errno;
      what = "the file could not be put in place";
    }
  }
  if (!what.empty()) {
    Discard();
    return Problem(what, error);
  }
  temp_.clear();
  // The rename lives in the folder: sync it too, so that the new name
  // survives a crash. Best effort; the data is in place already.
  const int folder = open(Folder(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return "";
}

void OutputFile::Discard() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace brenmark::tool
