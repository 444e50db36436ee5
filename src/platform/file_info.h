#pragma once

#include <cstdint>
#include <string>

// What a file is, and whether two names or descriptors are the same file.
namespace orvana::platform {

enum class FileKind { Regular, Folder, Link, Other };

struct FileInfo {
  // Other: a FIFO, a device, a socket; nothing to read or write as a file.
  FileKind kind = FileKind::Other;
  uint64_t size = 0;
  // Which file it is: the same pair is the same file, whatever its name.
  uint64_t volume = 0;
  uint64_t index = 0;
  // Names that lead to it; 0 once it is deleted while still open.
  uint64_t links = 0;
  // Belongs to the user the program runs as.
  bool ours = false;
};

bool SameFile(const FileInfo& a, const FileInfo& b);

// False with errno set when it cannot be told.
bool InfoOf(int fd, FileInfo& info);
// `followLinks` false: a link is told as a Link, not as what it leads to.
bool InfoAt(const std::string& path, FileInfo& info, bool followLinks = true);

}  // namespace orvana::platform
