#include "platform/settle_file.h"

#include <windows.h>

#include <cerrno>

#include "platform/win32/error_codes.h"
#include "platform/win32/wide.h"

namespace orvana::platform {

// A new file in the same folder inherits the same access rights the old
// one did; rights set on the old file by hand are not carried over.
bool AccessToKeep(const std::string& /*path*/, KeptAccess& kept) {
  kept = KeptAccess{};
  return true;
}

// FlushFileBuffers needs a handle that may write. Opened without following
// a link, as the POSIX side is.
int SettleFile(const std::string& path, const KeptAccess* /*kept*/) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return ENOENT;
  HANDLE file = CreateFileW(
      wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoFor(GetLastError());
  const int error = FlushFileBuffers(file) ? 0 : ErrnoFor(GetLastError());
  CloseHandle(file);
  return error;
}

}  // namespace orvana::platform
