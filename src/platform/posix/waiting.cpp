#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/waiting.h"

namespace orvana::platform {

StopEvent::StopEvent() : m_native(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopEvent::~StopEvent() {
  if (m_native >= 0) ::close(static_cast<int>(m_native));
}

void StopEvent::Signal() {
  if (m_native < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(static_cast<int>(m_native), &one, sizeof one);
}

SocketWait WaitForSocket(intptr_t socket, SocketInterest interest, const StopEvent* stop,
                         std::chrono::milliseconds timeout) {
  const short events = interest == SocketInterest::Read    ? POLLIN
                       : interest == SocketInterest::Write ? POLLOUT
                                                           : POLLIN | POLLOUT;
  const int stopFd = stop != nullptr ? static_cast<int>(stop->Native()) : -1;
  pollfd fds[2] = {{static_cast<int>(socket), events, 0}, {stopFd, POLLIN, 0}};
  if (fds[0].fd < 0) return SocketWait::Failed;
  const int count = stopFd >= 0 ? 2 : 1;
  for (;;) {
    const int ready = ::poll(fds, static_cast<nfds_t>(count), static_cast<int>(timeout.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return SocketWait::Failed;
    if (ready == 0) return SocketWait::TimedOut;
    if (count == 2 && (fds[1].revents & POLLIN)) return SocketWait::Stopped;
    return SocketWait::Ready;
  }
}

}  // namespace orvana::platform
