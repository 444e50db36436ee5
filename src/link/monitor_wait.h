#pragma once

#include "link/event_fd.h"
#include "link/line_wait.h"

// The wait of a port's monitor thread: its stop, its write and its resume
// wake-ups and the line itself, whichever comes first.
namespace orvana::link {

struct MonitorWake {
  bool failed = false;  // the wait itself failed; `error` says why
  int error = 0;
  bool write = false;
  bool resume = false;
  LineEvents line{};  // what the wait found on the line, for its pass
};

// Blocks until one of the events is signalled or the line has something.
// The line is not waited on while `watchLine` is false (the listener's
// queue is full); its events are then reported as none.
MonitorWake WaitForMonitor(const EventFd& stop, const EventFd& write, const EventFd& resume,
                           LineWaitEntry line, bool watchLine);

}  // namespace orvana::link
