#include <windows.h>

#include <string>

#include "platform/user_folders.h"
#include "platform/win32/wide.h"

namespace orvana::platform {
namespace {

std::wstring Environment(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
  value.resize(length < needed ? length : 0);
  return value;
}

}  // namespace

std::string UserDataFolder() {
  const std::wstring local = Environment(L"LOCALAPPDATA");
  if (local.empty()) return {};
  return Utf8(local) + "\\Orvana";
}

std::string PrivateTemporaryFolder(std::string_view name) {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return {};
  return Utf8(std::wstring_view(temp, length)) + std::string(name);  // it ends in a backslash
}

std::string ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: ask again with more room
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string() : Utf8(std::wstring_view(path).substr(0, slash));
}

}  // namespace orvana::platform
