#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <climits>
#include <iterator>

#include "platform/system.h"
#include "platform/win32/wide.h"

namespace orvana::platform {

std::string HostName() {
  wchar_t name[256] = {};
  DWORD length = static_cast<DWORD>(std::size(name));
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return {};
  return Utf8(std::wstring_view(name, length));
}

bool RandomBytes(void* buffer, size_t size) {
  if (size > ULONG_MAX) return false;
  return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

}  // namespace orvana::platform
