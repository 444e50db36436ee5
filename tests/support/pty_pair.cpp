#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace orvana::testing {

PtyPair::PtyPair() {
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
    throw std::runtime_error("cannot create a pseudo-terminal");
  }
  char name[128] = {};
  if (ptsname_r(m_master, name, sizeof name) != 0) throw std::runtime_error("ptsname_r failed");
  m_slavePath = name;
  m_keptSlave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_keptSlave < 0) throw std::runtime_error("cannot open the pseudo-terminal slave");
  termios raw{};
  tcgetattr(m_keptSlave, &raw);
  cfmakeraw(&raw);
  tcsetattr(m_keptSlave, TCSANOW, &raw);
}

PtyPair::~PtyPair() { HangUp(); }

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("write to the pseudo-terminal master failed");
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> PtyPair::Receive(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (got.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{m_master, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t buffer[256];
    const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::vector<uint8_t> PtyPair::Drain(std::chrono::milliseconds quiet) {
  std::vector<uint8_t> got;
  for (;;) {
    pollfd p{m_master, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return got;
    uint8_t buffer[256];
    const ssize_t n = read(m_master, buffer, sizeof buffer);
    if (n <= 0) return got;
    got.insert(got.end(), buffer, buffer + n);
  }
}

void PtyPair::HangUp() {
  if (m_keptSlave >= 0) close(m_keptSlave);
  if (m_master >= 0) close(m_master);
  m_keptSlave = m_master = -1;
}

}  // namespace orvana::testing
