#include "link/monitor_wait.h"

#include <poll.h>

#include <cerrno>

namespace orvana::link {

MonitorWake WaitForMonitor(const EventFd& stop, const EventFd& write, const EventFd& resume,
                           LineWaitEntry line, bool watchLine) {
  enum { kStop, kLine, kWrite, kResume, kWaitCount };
  if (!watchLine) line.events = 0;  // its hang-up is still noticed
  pollfd waits[kWaitCount] = {{static_cast<int>(stop.Native()), POLLIN, 0},
                              line,
                              {static_cast<int>(write.Native()), POLLIN, 0},
                              {static_cast<int>(resume.Native()), POLLIN, 0}};
  MonitorWake wake;
  while (poll(waits, kWaitCount, -1) < 0) {
    if (errno == EINTR) continue;
    wake.failed = true;
    wake.error = errno;
    return wake;
  }
  wake.write = (waits[kWrite].revents & POLLIN) != 0;
  wake.resume = (waits[kResume].revents & POLLIN) != 0;
  wake.line = waits[kLine].revents;
  return wake;
}

}  // namespace orvana::link
