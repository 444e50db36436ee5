#include "records/export_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/trace.h"

namespace orvana::records {
namespace {

using TimePoint = std::chrono::system_clock::time_point;

TimePoint ModifiedAt(const struct stat& info) {
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
      std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

bool IsExportFolderName(std::string_view name) {
  return name.size() == kExportFolderPrefix.size() + kExportFolderRandomLength &&
         name.substr(0, kExportFolderPrefix.size()) == kExportFolderPrefix;
}

// When the folder or anything directly in it last changed: opening the
// workbook in a spreadsheet adds its lock file there.
TimePoint LastTouched(const std::string& folder, const struct stat& info) {
  TimePoint last = ModifiedAt(info);
  DIR* entries = ::opendir(folder.c_str());
  if (entries == nullptr) return last;
  while (const dirent* entry = ::readdir(entries)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat inner {};
    if (::fstatat(::dirfd(entries), entry->d_name, &inner, AT_SYMLINK_NOFOLLOW) == 0) {
      last = std::max(last, ModifiedAt(inner));
    }
  }
  ::closedir(entries);
  return last;
}

}  // namespace

size_t RemoveOldExportFolders(const std::string& base, TimePoint now, std::chrono::seconds age) {
  struct Folder {
    std::string path;
    TimePoint touched;
  };
  std::vector<Folder> folders;
  DIR* entries = ::opendir(base.c_str());
  if (entries == nullptr) return 0;
  while (const dirent* entry = ::readdir(entries)) {
    if (!IsExportFolderName(entry->d_name)) continue;
    struct stat info {};
    if (::fstatat(::dirfd(entries), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
      continue;
    }
    const std::string path = base + "/" + entry->d_name;
    folders.push_back({path, LastTouched(path, info)});
  }
  ::closedir(entries);
  if (folders.empty()) return 0;

  const auto newest = std::max_element(folders.begin(), folders.end(),
                                       [](auto& a, auto& b) { return a.touched < b.touched; });
  size_t removed = 0;
  for (auto it = folders.begin(); it != folders.end(); ++it) {
    if (it == newest || now - it->touched < age) continue;
    std::error_code error;
    std::filesystem::remove_all(it->path, error);
    if (error) {
      common::Trace("report: cannot remove %s: %s\n", it->path.c_str(), error.message().c_str());
    } else {
      ++removed;
    }
  }
  return removed;
}

}  // namespace orvana::records
