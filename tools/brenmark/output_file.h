// Replacing a file safely: the data goes to a new file with a short unique
// name (.brenmark-XXXXXX) in the target's folder, is flushed and synced, and
// only then renamed over the target, so a reader sees either the old file or
// the complete new one, never a mix, and a failure leaves the old file as it
// was. A symbolic link at the target is followed: the file it finally points
// to is replaced and the link stays. A target that exists but is not a
// regular file (a directory, FIFO, device or socket) is refused untouched.
// A new file gets the mode 0666 less the umask, as a plain create would; a
// replaced file keeps its mode.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace brenmark::tool {

class OutputFile {
 public:
  OutputFile() = default;
  // Removes the temporary file unless Commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Checks the target and creates the temporary file. The problem, or empty;
  // messages name `path` as given.
  std::string Open(const std::string& path);
  // The stream to write the data to (valid between Open and Commit).
  std::FILE* Stream() const { return file_; }
  // Flushes, syncs and renames the data into place. The problem, or empty;
  // on a problem the temporary file is gone and the target untouched.
  std::string Commit();
  // Drops the temporary file; the target stays as it was.
  void Discard();

  // Where the data will land: the target with symbolic links resolved.
  const std::string& Target() const { return target_; }

 private:
  std::string Problem(const std::string& what, int error) const;

  std::string path_;    // as the caller named it, for messages
  std::string target_;  // the file to replace
  std::string temp_;    // the temporary file, empty when there is none
  std::FILE* file_ = nullptr;
  mode_t mode_ = 0;
};

// The file a path finally names, following symbolic links (relative links
// from the folder of the link) up to 40 deep. The problem, or empty.
std::string ResolveLinks(const std::string& path, std::string& resolved);

}  // namespace brenmark::tool
