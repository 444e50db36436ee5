#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>

#include "platform/file_io.h"
#include "platform/win32/error_codes.h"

namespace orvana::platform {
namespace {

// The C library counts in int; a longer request is done in parts by the
// caller's loop, as a short read or write is.
unsigned PartOf(size_t count) { return count > INT_MAX ? INT_MAX : static_cast<unsigned>(count); }

}  // namespace

long long ReadSome(int fd, void* buffer, size_t count) { return _read(fd, buffer, PartOf(count)); }

long long WriteSome(int fd, const void* data, size_t count) {
  return _write(fd, data, PartOf(count));
}

long long WriteFileAt(int fd, const void* data, size_t count, uint64_t offset) {
  OVERLAPPED place{};
  place.Offset = static_cast<DWORD>(offset);
  place.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (WriteFile(file, data, PartOf(count), &written, &place)) return written;
  SetErrnoFromLastError();
  return -1;
}

int TruncateFile(int fd, uint64_t size) {
  if (size > static_cast<uint64_t>(LLONG_MAX)) return EFBIG;
  return _chsize_s(fd, static_cast<long long>(size));
}

}  // namespace orvana::platform
