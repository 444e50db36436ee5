#include "platform/settle_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orvana::platform {

bool AccessToKeep(const std::string& path, KeptAccess& kept) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  kept.mode = info.st_mode & 07777;
  kept.owner = info.st_uid;
  kept.group = info.st_gid;
  return true;
}

int SettleFile(const std::string& path, const KeptAccess* kept) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  if (kept != nullptr) {
    // Owner first: changing it may clear set-id bits that the mode then
    // puts back. Someone else's file cannot be given away by an ordinary
    // user; its group may still be ours to keep.
    const auto owner = static_cast<uid_t>(kept->owner);
    const auto group = static_cast<gid_t>(kept->group);
    if (::fchown(fd, owner, group) != 0) {
      [[maybe_unused]] const int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), group);
    }
    if (::fchmod(fd, static_cast<mode_t>(kept->mode)) != 0) error = errno;
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  ::close(fd);
  return error;
}

}  // namespace orvana::platform
