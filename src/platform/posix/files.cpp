#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace orvana::platform {

// flock locks are advisory: a reader that does not ask is never held up.
bool TryLockFile(int fd, LockKind kind) {
  return ::flock(fd, (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

void UnlockFile(int fd) { ::flock(fd, LOCK_UN); }

int SyncFileData(int fd) { return ::fdatasync(fd) == 0 ? 0 : errno; }

long long ReadFileAt(int fd, void* buffer, size_t count, uint64_t offset) {
  return ::pread(fd, buffer, count, static_cast<off_t>(offset));
}

}  // namespace orvana::platform
