#pragma once

#include <cstdint>

#include "link/event_fd.h"
#include "link/line_wait.h"

// What the listen loop sleeps on between its rounds: its own wake-up (output
// gone, the logs' and the store's events), a request to end the run, and the
// meter's line. A request to end is SIGINT, SIGTERM or SIGHUP on POSIX, and
// Ctrl-C, Ctrl-Break or the console closing on Windows; either way the run
// ends through its normal path, with the port closed and every pending line
// written.
namespace orvana::cli {

class LoopWait {
 public:
  // Before any other thread starts: on POSIX the termination signals are
  // blocked here, so that threads made later inherit the mask and only this
  // wait ever sees them.
  LoopWait();
  ~LoopWait();
  LoopWait(const LoopWait&) = delete;
  LoopWait& operator=(const LoopWait&) = delete;

  // Any thread.
  void Wake() const { m_wake.Signal(); }

  struct Woken {
    bool stop = false;
    link::LineEvents line{};
  };
  // Until something happens or `timeout` milliseconds have passed (-1: no
  // limit); the line is left out when `watchLine` is false.
  Woken Wait(link::LineWaitEntry line, bool watchLine, int timeout);

 private:
  link::EventFd m_wake;
  intptr_t m_stop = -1;  // the signals' descriptor, or the console's stop event
};

}  // namespace orvana::cli
