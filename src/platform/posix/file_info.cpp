#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_info.h"

namespace orvana::platform {
namespace {

FileInfo InfoFrom(const struct stat& status) {
  FileInfo info;
  info.kind = S_ISREG(status.st_mode)   ? FileKind::Regular
              : S_ISDIR(status.st_mode) ? FileKind::Folder
              : S_ISLNK(status.st_mode) ? FileKind::Link
                                        : FileKind::Other;
  info.size = static_cast<uint64_t>(status.st_size);
  info.volume = static_cast<uint64_t>(status.st_dev);
  info.index = static_cast<uint64_t>(status.st_ino);
  info.links = static_cast<uint64_t>(status.st_nlink);
  info.ours = status.st_uid == ::geteuid();
  return info;
}

}  // namespace

bool SameFile(const FileInfo& a, const FileInfo& b) {
  return a.volume == b.volume && a.index == b.index;
}

bool InfoOf(int fd, FileInfo& info) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  info = InfoFrom(status);
  return true;
}

bool InfoAt(const std::string& path, FileInfo& info, bool followLinks) {
  struct stat status {};
  const int result = followLinks ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
  if (result != 0) return false;
  info = InfoFrom(status);
  return true;
}

}  // namespace orvana::platform
