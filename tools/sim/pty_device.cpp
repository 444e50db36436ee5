#include "sim/pty_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace orvana::sim {

namespace {
[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}
}  // namespace

PtyDevice::PtyDevice() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) Fail("posix_openpt");
  try {
    if (grantpt(master_) != 0) Fail("grantpt");
    if (unlockpt(master_) != 0) Fail("unlockpt");
    char name[128] = {};
    if (const int error = ptsname_r(master_, name, sizeof name); error != 0) {
      errno = error;
      Fail("ptsname_r");
    }
    slavePath_ = name;
    keptSlave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (keptSlave_ < 0) Fail("open pseudo-terminal slave");
    termios settings{};
    if (tcgetattr(keptSlave_, &settings) != 0) Fail("tcgetattr");
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    if (tcsetattr(keptSlave_, TCSANOW, &settings) != 0) Fail("tcsetattr");
  } catch (...) {
    Close();
    throw;
  }
}

PtyDevice::~PtyDevice() { Close(); }

size_t PtyDevice::UnreadBySlave() const {
  int count = 0;
  if (keptSlave_ < 0 || ioctl(keptSlave_, TIOCINQ, &count) != 0 || count < 0) return 0;
  return static_cast<size_t>(count);
}

void PtyDevice::DiscardUnread() {
  if (keptSlave_ >= 0) tcflush(keptSlave_, TCIFLUSH);
}

void PtyDevice::Close() {
  if (keptSlave_ >= 0) close(keptSlave_);
  if (master_ >= 0) close(master_);
  keptSlave_ = master_ = -1;
}

}  // namespace orvana::sim
