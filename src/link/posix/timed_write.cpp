#include "link/posix/timed_write.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace orvana::link {

int WriteBefore(int fd, const uint8_t* data, size_t length,
                std::chrono::steady_clock::time_point deadline, int cancel, size_t& sent) {
  using Clock = std::chrono::steady_clock;
  sent = 0;
  while (sent < length) {
    const ssize_t n = write(fd, data + sent, length - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return ETIMEDOUT;
      pollfd waits[2] = {{fd, POLLOUT, 0}, {cancel, POLLIN, 0}};
      const int ready = poll(waits, 2, static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return errno;
      if (ready == 0) return ETIMEDOUT;
      if (waits[1].revents != 0) return ECANCELED;
      if ((waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return EIO;
      break;
    }
  }
  return 0;
}

}  // namespace orvana::link
