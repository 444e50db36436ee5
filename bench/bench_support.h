#pragma once

// What the benchmarks that play the meter on a pseudo-terminal share: the
// line itself, failing loudly, CPU seconds, and sleeping until an instant.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "protocol/frame.h"

namespace orvana::bench {

using Clock = std::chrono::steady_clock;

[[noreturn]] inline void Fail(const std::string& what) {
  throw std::runtime_error(what + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
}

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
inline double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}
inline double CpuSeconds(const rusage& usage) {
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

inline void SleepUntil(Clock::time_point when) {
  const auto since = when.time_since_epoch();
  timespec at{};
  at.tv_sec = static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
  at.tv_nsec = static_cast<long>((since - std::chrono::seconds(at.tv_sec)).count());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

// The meter's end of a pseudo-terminal; the program under test opens the
// other end by its path.
class Pty {
 public:
  Pty() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) Fail("posix_openpt");
    m_slavePath = ptsname(m_master);
    // Non-blocking, so that a writer waiting for room can also take away
    // what the other end sends (the keep-alive) instead of letting it pile up.
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    if (m_slave >= 0) close(m_slave);
    if (m_master >= 0) close(m_master);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return m_slavePath; }

  // The slave end opened here and made raw, for a reader that does not set
  // up the line itself (cat).
  int RawSlave() {
    m_slave = open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (m_slave < 0 || tcgetattr(m_slave, &settings) != 0) Fail("open " + m_slavePath);
    cfmakeraw(&settings);
    tcsetattr(m_slave, TCSANOW, &settings);
    return m_slave;
  }

  // Waits while the line is full, as a real line would make the meter wait;
  // whatever arrives from the other end meanwhile is read and dropped.
  void WriteAll(const uint8_t* data, size_t size) const {
    while (size > 0) {
      const ssize_t n = write(m_master, data, size);
      if (n > 0) {
        data += n;
        size -= static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) Fail("write to the pseudo-terminal");
      pollfd p{m_master, POLLOUT | POLLIN, 0};
      if (poll(&p, 1, 1000) > 0 && (p.revents & POLLIN) != 0) DropInput();
    }
  }

  void DropInput() const {
    char chunk[512];
    while (read(m_master, chunk, sizeof chunk) > 0) {
    }
  }

  // Waits for the program's greeting and answers it as the meter does.
  bool AnswerGreeting(std::chrono::seconds timeout) const {
    const auto greeting = protocol::BuildCommand(protocol::CMD_CONNECT);
    const auto answer = protocol::BuildCommand(protocol::CMD_CONNECT_OK);
    const std::string wanted(greeting.begin(), greeting.end());
    std::string seen;
    const auto deadline = Clock::now() + timeout;
    while (seen.find(wanted) == std::string::npos) {
      if (Clock::now() > deadline) return false;
      pollfd p{m_master, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char chunk[256];
      const ssize_t n = read(m_master, chunk, sizeof chunk);
      if (n > 0) seen.append(chunk, static_cast<size_t>(n));
    }
    WriteAll(answer.data(), answer.size());
    return true;
  }

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
};

}  // namespace orvana::bench
