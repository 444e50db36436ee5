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
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (m_master < 0) Fail("posix_openpt");
  try {
    if (grantpt(m_master) != 0) Fail("grantpt");
    if (unlockpt(m_master) != 0) Fail("unlockpt");
    char name[128] = {};
    if (const int error = ptsname_r(m_master, name, sizeof name); error != 0) {
      errno = error;
      Fail("ptsname_r");
    }
    m_slavePath = name;
    m_keptSlave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_keptSlave < 0) Fail("open pseudo-terminal slave");
    termios settings{};
    if (tcgetattr(m_keptSlave, &settings) != 0) Fail("tcgetattr");
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    if (tcsetattr(m_keptSlave, TCSANOW, &settings) != 0) Fail("tcsetattr");
  } catch (...) {
    Close();
    throw;
  }
}

PtyDevice::~PtyDevice() { Close(); }

size_t PtyDevice::UnreadBySlave() const {
  int count = 0;
  if (m_keptSlave < 0 || ioctl(m_keptSlave, TIOCINQ, &count) != 0 || count < 0) return 0;
  return static_cast<size_t>(count);
}

void PtyDevice::DiscardUnread() {
  if (m_keptSlave >= 0) tcflush(m_keptSlave, TCIFLUSH);
}

void PtyDevice::Close() {
  if (m_keptSlave >= 0) close(m_keptSlave);
  if (m_master >= 0) close(m_master);
  m_keptSlave = m_master = -1;
}

}  // namespace orvana::sim
