#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/files.h"

namespace orvana::platform {
namespace {

// Windows locks are mandatory: a locked range cannot be read by anyone else.
// The writers' lock therefore covers one byte far beyond any end a log
// reaches, which no reader ever reads, so only the writers meet there.
constexpr DWORD kLockOffsetHigh = 0x40000000;  // 2^62 bytes in

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

OVERLAPPED LockPlace() {
  OVERLAPPED place{};
  place.OffsetHigh = kLockOffsetHigh;
  return place;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_LOCK_VIOLATION:
    case ERROR_IO_PENDING:
      return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    default:
      return EIO;
  }
}

}  // namespace

bool TryLockFile(int fd, LockKind kind) {
  const HANDLE file = HandleOf(fd);
  if (file == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  OVERLAPPED place = LockPlace();
  const DWORD flags =
      LOCKFILE_FAIL_IMMEDIATELY | (kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(file, flags, 0, 1, 0, &place)) return true;
  errno = ErrnoOf(GetLastError());
  return false;
}

void UnlockFile(int fd) {
  OVERLAPPED place = LockPlace();
  UnlockFileEx(HandleOf(fd), 0, 1, 0, &place);
}

int SyncFileData(int fd) {
  return FlushFileBuffers(HandleOf(fd)) ? 0 : ErrnoOf(GetLastError());
}

long long ReadFileAt(int fd, void* buffer, size_t count, uint64_t offset) {
  OVERLAPPED place{};
  place.Offset = static_cast<DWORD>(offset);
  place.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD wanted = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
  if (ReadFile(HandleOf(fd), buffer, wanted, &got, &place)) return got;
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  errno = ErrnoOf(GetLastError());
  return -1;
}

}  // namespace orvana::platform
