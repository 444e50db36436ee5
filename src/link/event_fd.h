#pragma once

#include <cstdint>

// One resettable wake-up: signalled from Signal until Reset. What a monitor
// thread waits on beside the line. On POSIX it is an eventfd, which poll()
// sees readable; on Windows a manual-reset event for WaitForMultipleObjects.
namespace orvana::link {

class EventFd {
 public:
  EventFd() = default;
  ~EventFd();
  EventFd(const EventFd&) = delete;
  EventFd& operator=(const EventFd&) = delete;

  // Made on first use and only reset afterwards; false (errno, or the
  // thread's last Windows error, set) when the system has none to spare.
  bool CreateOrReset();
  // Any thread. Does nothing before the event is made.
  void Signal() const;
  void Reset() const;
  // The descriptor (POSIX) or the event's HANDLE (Windows); -1 before it is made.
  intptr_t Native() const { return m_native; }

 private:
  intptr_t m_native = -1;
};

}  // namespace orvana::link
