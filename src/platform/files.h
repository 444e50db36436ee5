#pragma once

#include <cstddef>
#include <cstdint>

// What the day log, the outbox and the import do to an open file beyond
// reading and writing it. Files are C library descriptors on every platform.
namespace orvana::platform {

enum class LockKind { Shared, Exclusive };

// Tries once to take the lock that every writer of the file takes around a
// line; never waits. A reader that takes no lock is never held up by it, on
// any platform. False with errno set: EWOULDBLOCK while another holds it,
// EINTR when interrupted, anything else when the file cannot be locked.
bool TryLockFile(int fd, LockKind kind);
void UnlockFile(int fd);

// Makes what was written to `fd` durable (its data; the size too where it
// grew). 0, or the errno of the failure.
int SyncFileData(int fd);

// Reads up to `count` bytes at `offset`: how many came (0 at the end), or -1
// with errno set. Callers do not rely on the file position afterwards (on
// Windows it moves; appends go to the end all the same).
long long ReadFileAt(int fd, void* buffer, size_t count, uint64_t offset);

}  // namespace orvana::platform
