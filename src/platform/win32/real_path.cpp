#include "platform/real_path.h"

#include <windows.h>

#include <cerrno>
#include <string_view>

#include "platform/win32/error_codes.h"
#include "platform/win32/wide.h"

namespace orvana::platform {

// The system names the file it opened, links followed, in its long form
// ("\\?\C:\..." or "\\?\UNC\server\share\..."), which is given back as a
// user would write it.
std::string RealPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) {
    errno = ENOENT;
    return {};
  }
  HANDLE file = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return {};
  }
  std::wstring name(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length >= name.size()) {
    name.resize(length + 1);
    length = GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (length == 0 || length >= name.size()) {
    errno = ErrnoFor(error);
    return {};
  }
  name.resize(length);
  std::wstring_view shown = name;
  if (shown.starts_with(L"\\\\?\\UNC\\")) return "\\\\" + Utf8(shown.substr(8));
  if (shown.starts_with(L"\\\\?\\")) shown.remove_prefix(4);
  return Utf8(shown);
}

}  // namespace orvana::platform
