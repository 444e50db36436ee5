#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string_view>

#include "platform/folders.h"

namespace orvana::platform {
namespace {

std::chrono::system_clock::time_point ModifiedAt(const struct stat& info) {
  using TimePoint = std::chrono::system_clock::time_point;
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
      std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

}  // namespace

std::optional<std::vector<FolderEntry>> ListFolder(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(folder.c_str()), ::closedir);
  if (!entries) return std::nullopt;
  std::vector<FolderEntry> listed;
  while (const dirent* entry = ::readdir(entries.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry item;
    item.name = name;
    struct stat info {};
    if (::fstatat(::dirfd(entries.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      item.isFolder = S_ISDIR(info.st_mode);
      item.ours = info.st_uid == ::geteuid();
      item.modified = ModifiedAt(info);
    }
    listed.push_back(std::move(item));
  }
  return listed;
}

bool IsOwnFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

}  // namespace orvana::platform
