#include <windows.h>

#include <cerrno>

#include "common/error_text.h"
#include "platform/file_names.h"
#include "platform/win32/error_codes.h"
#include "platform/win32/wide.h"

namespace orvana::platform {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Where the folders to make begin: after "C:\", "\\server\share\" or a
// leading separator, none of which can be made.
size_t FirstMadePart(const std::string& folder) {
  if (folder.size() >= 2 && folder[1] == ':') return IsSeparator(folder[2]) ? 3 : 2;
  if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) {
    size_t at = 2;
    for (int parts = 0; parts < 2 && at < folder.size(); ++parts) {
      while (at < folder.size() && !IsSeparator(folder[at])) ++at;
      ++at;
    }
    return at;
  }
  return IsSeparator(folder[0]) ? 1 : 0;
}

}  // namespace

// The folder's access rights come from its parent on Windows: `mode` has no
// meaning there.
int MakeFolders(const std::string& folder, unsigned /*mode*/) {
  if (folder.empty()) return ENOENT;
  for (size_t at = FirstMadePart(folder); at <= folder.size(); ++at) {
    if (at < folder.size() && !IsSeparator(folder[at])) continue;
    const std::string part = folder.substr(0, at);
    if (part.empty() || IsSeparator(part.back())) continue;
    const std::wstring wide = Wide(part);
    if (CreateDirectoryW(wide.c_str(), nullptr)) continue;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return ErrnoFor(error);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoFor(GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ENOTDIR;
  }
  return 0;
}

// Written through: the new name is on the disk when this returns, as the
// file's data already is.
int RenameOver(const std::string& from, const std::string& to) {
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return ErrnoFor(GetLastError());
}

int RemoveFile(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) ? 0 : ErrnoFor(GetLastError());
}

// A replace is refused as "access denied" both when the file is read-only
// and when another program holds it open without letting it be deleted (a
// spreadsheet that shows it, say): which one it is, is asked of the file.
std::string RenameFailure(const std::string& to, int error) {
  if (error != EACCES) return common::ErrorText(error);
  const std::wstring wide = Wide(to);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return "the file there is read-only";
  }
  HANDLE file = CreateFileW(wide.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return common::ErrorText(error);
  }
  if (GetLastError() == ERROR_SHARING_VIOLATION) {
    return "another program has the file open; close it there and try again";
  }
  return common::ErrorText(error);
}

}  // namespace orvana::platform
