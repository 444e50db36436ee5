#pragma once

// One wake-up descriptor (an eventfd): poll() sees it readable from Signal
// until Reset. What a monitor thread waits on beside the line.
namespace orvana::link {

class EventFd {
 public:
  EventFd() = default;
  ~EventFd();
  EventFd(const EventFd&) = delete;
  EventFd& operator=(const EventFd&) = delete;

  // Made on first use and only reset afterwards; false (errno set) when the
  // system has no descriptor to spare.
  bool CreateOrReset();
  // Any thread. Does nothing before the descriptor is made.
  void Signal() const;
  void Reset() const;
  int Fd() const { return m_fd; }

 private:
  int m_fd = -1;
};

}  // namespace orvana::link
