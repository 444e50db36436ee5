#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/file_io.h"

namespace orvana::platform {

long long ReadSome(int fd, void* buffer, size_t count) {
  ssize_t got;
  do {
    got = ::read(fd, buffer, count);
  } while (got < 0 && errno == EINTR);
  return got;
}

long long WriteSome(int fd, const void* data, size_t count) {
  ssize_t written;
  do {
    written = ::write(fd, data, count);
  } while (written < 0 && errno == EINTR);
  return written;
}

long long WriteFileAt(int fd, const void* data, size_t count, uint64_t offset) {
  return ::pwrite(fd, data, count, static_cast<off_t>(offset));
}

int TruncateFile(int fd, uint64_t size) {
  if (size > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return EFBIG;
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

}  // namespace orvana::platform
