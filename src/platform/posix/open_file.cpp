#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/open_file.h"

namespace orvana::platform {
namespace {

int FlagsOf(OpenMode mode) {
  switch (mode) {
    case OpenMode::Read:
      return O_RDONLY;
    case OpenMode::Append:
      return O_WRONLY | O_APPEND | O_CREAT;
    case OpenMode::Write:
      return O_WRONLY | O_CREAT;
    case OpenMode::ReadWrite:
      return O_RDWR | O_CREAT;
    case OpenMode::CreateNew:
      break;
  }
  return O_WRONLY | O_CREAT | O_EXCL;
}

}  // namespace

int OpenFile(const std::string& path, OpenMode mode, OpenOptions options) {
  int flags = FlagsOf(mode) | O_CLOEXEC;
  if (options.noFollow) flags |= O_NOFOLLOW;
  if (options.noWait) flags |= O_NONBLOCK | O_NOCTTY;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, static_cast<mode_t>(options.mode));
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0 && options.noWait) {
    // Regular files ignore O_NONBLOCK; clear it anyway so nothing later
    // depends on that.
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  }
  return fd;
}

void CloseFile(int fd) { ::close(fd); }

int DuplicateFile(int fd) { return ::dup(fd); }

}  // namespace orvana::platform
