#include "link/event_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace orvana::link {

EventFd::~EventFd() {
  if (m_native >= 0) close(static_cast<int>(m_native));
}

bool EventFd::CreateOrReset() {
  if (m_native >= 0) {
    Reset();
    return true;
  }
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) return false;
  m_native = fd;
  return true;
}

void EventFd::Signal() const {
  if (m_native < 0) return;
  const uint64_t one = 1;
  // The counter cannot overflow with a handful of signals, and a failed
  // signal on a valid eventfd has no other cause.
  [[maybe_unused]] const ssize_t written = write(static_cast<int>(m_native), &one, sizeof one);
}

void EventFd::Reset() const {
  if (m_native < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(static_cast<int>(m_native), &count, sizeof count);
}

}  // namespace orvana::link
