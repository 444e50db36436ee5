#include "common/pty_pair.h"

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
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    throw std::runtime_error("cannot create a pseudo-terminal");
  }
  char name[128] = {};
  if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname_r failed");
  slavePath_ = name;
  keptSlave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (keptSlave_ < 0) throw std::runtime_error("cannot open the pseudo-terminal slave");
  termios raw{};
  tcgetattr(keptSlave_, &raw);
  cfmakeraw(&raw);
  tcsetattr(keptSlave_, TCSANOW, &raw);
}

PtyPair::~PtyPair() { HangUp(); }

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
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
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t buffer[256];
    const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::vector<uint8_t> PtyPair::Drain(std::chrono::milliseconds quiet) {
  std::vector<uint8_t> got;
  for (;;) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return got;
    uint8_t buffer[256];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return got;
    got.insert(got.end(), buffer, buffer + n);
  }
}

void PtyPair::HangUp() {
  if (keptSlave_ >= 0) close(keptSlave_);
  if (master_ >= 0) close(master_);
  keptSlave_ = master_ = -1;
}

}  // namespace orvana::testing
