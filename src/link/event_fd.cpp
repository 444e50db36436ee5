#include "link/event_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace orvana::link {

EventFd::~EventFd() {
  if (m_fd >= 0) close(m_fd);
}

bool EventFd::CreateOrReset() {
  if (m_fd >= 0) {
    Reset();
    return true;
  }
  m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return m_fd >= 0;
}

void EventFd::Signal() const {
  if (m_fd < 0) return;
  const uint64_t one = 1;
  // The counter cannot overflow with a handful of signals, and a failed
  // signal on a valid eventfd has no other cause.
  [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
}

void EventFd::Reset() const {
  if (m_fd < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(m_fd, &count, sizeof count);
}

}  // namespace orvana::link
