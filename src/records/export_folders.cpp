#include "records/export_folders.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/trace.h"
#include "platform/folders.h"

namespace orvana::records {
namespace {

using TimePoint = std::chrono::system_clock::time_point;


bool IsExportFolderName(std::string_view name) {
  return name.size() == kExportFolderPrefix.size() + kExportFolderRandomLength &&
         name.substr(0, kExportFolderPrefix.size()) == kExportFolderPrefix;
}

// When the folder or anything directly in it last changed: opening the
// workbook in a spreadsheet adds its lock file there.
TimePoint LastTouched(const std::string& folder, TimePoint folderModified) {
  TimePoint last = folderModified;
  if (const auto entries = platform::ListFolder(folder)) {
    for (const platform::FolderEntry& entry : *entries) last = std::max(last, entry.modified);
  }
  return last;
}

}  // namespace

size_t RemoveOldExportFolders(const std::string& base, TimePoint now, std::chrono::seconds age) {
  struct Folder {
    std::string path;
    TimePoint touched;
  };
  std::vector<Folder> folders;
  const auto entries = platform::ListFolder(base);
  if (!entries) return 0;
  for (const platform::FolderEntry& entry : *entries) {
    if (!IsExportFolderName(entry.name) || !entry.isFolder || !entry.ours) continue;
    const std::string path = base + "/" + entry.name;
    folders.push_back({path, LastTouched(path, entry.modified)});
  }
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
