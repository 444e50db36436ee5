#include "link/posix/terminal_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "common/error_text.h"

namespace orvana::link {
namespace {

constexpr const char* kNotASerialPort = "not a serial port";

std::string OpenFailure(const std::string& path, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return path + ": permission denied (is the user in the dialout group?)";
    case EBUSY:
    case EWOULDBLOCK:
      return path + ": the port is in use by another program";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return path + ": no such device (unplugged?)";
    default:
      return path + ": " + common::ErrorText(error);
  }
}

}  // namespace

int OpenExclusiveTerminal(const std::string& path, std::string& error) {
  // Only a terminal is a port. Anything else would be read as if the meter
  // had sent it, and the greeting written into it: a file is not even
  // opened, and a device that is not a terminal (/dev/null, /dev/zero) is
  // let go again at once.
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
    error = path + ": " + kNotASerialPort;
    return -1;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = OpenFailure(path, errno);
    return -1;
  }
  if (!isatty(fd)) {
    error = path + ": " + kNotASerialPort;
    close(fd);
    return -1;
  }
  // TIOCEXCL turns away later opens by ordinary users, but not root's; the
  // lock turns away every program that asks for it, this one included.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = OpenFailure(path, errno);
    close(fd);
    return -1;
  }
  ioctl(fd, TIOCEXCL);
  error.clear();
  return fd;
}

void CloseExclusiveTerminal(int fd) {
  // Exclusivity outlives the descriptor on a terminal that someone else
  // keeps open; give it up so the next Open (ours or another program's) works.
  ioctl(fd, TIOCNXCL);
  close(fd);
}

}  // namespace orvana::link
