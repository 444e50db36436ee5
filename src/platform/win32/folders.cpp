#include <windows.h>

#include "platform/folders.h"
#include "platform/win32/wide.h"

namespace orvana::platform {
namespace {

// FILETIME counts 100 ns steps from 1601; the system clock counts from 1970.
std::chrono::system_clock::time_point ModifiedAt(const FILETIME& time) {
  constexpr unsigned long long kStepsFrom1601To1970 = 116444736000000000ULL;
  const unsigned long long steps =
      (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const auto since1970 = std::chrono::duration<long long, std::ratio<1, 10000000>>(
      static_cast<long long>(steps - kStepsFrom1601To1970));
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(since1970));
}

bool IsRealFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

// The folders the program keeps things in (%LOCALAPPDATA%, %TEMP%) are the
// user's own on Windows, so an entry there counts as ours; what Windows
// shares between users is not where the program looks. Links (reparse
// points) are never taken for folders.
std::optional<std::vector<FolderEntry>> ListFolder(const std::string& folder) {
  WIN32_FIND_DATAW found;
  const std::wstring pattern = Wide(folder + "\\*");
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    // An empty folder still has "." and ".."; only a folder that is not
    // there or cannot be read ends here.
    return std::nullopt;
  }
  std::vector<FolderEntry> listed;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry item;
    item.name = Utf8(name);
    item.isFolder = IsRealFolder(found.dwFileAttributes);
    item.ours = true;
    item.modified = ModifiedAt(found.ftLastWriteTime);
    listed.push_back(std::move(item));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return listed;
}

bool IsOwnFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && IsRealFolder(attributes);
}

}  // namespace orvana::platform
