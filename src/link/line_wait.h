#pragma once

// What a runner of the line waits on beside its own wake-ups, and what it
// hands back to the line's pass after the wait. On POSIX the line is a
// descriptor to poll and the pass gets the poll's revents for it. On Windows
// it is the event of the port's pending overlapped read (a manual-reset
// event, left set until the pass has taken the read's result) and the pass
// gets whether the wait found it set.
#ifdef _WIN32
namespace orvana::link {

struct LineWaitEntry {
  // A HANDLE; null while there is nothing to wait on (no monitor runs, or
  // the line is not watched for input).
  void* event = nullptr;
};
using LineEvents = bool;

}  // namespace orvana::link
#else
#include <poll.h>

namespace orvana::link {

using LineWaitEntry = pollfd;
using LineEvents = short;

}  // namespace orvana::link
#endif
