#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/event_fd.h"
#include "link/line_wait.h"

// What the listen loop sleeps on between its rounds: its own wake-up (output
// gone, the logs' and the store's events), a request to end the run, the
// meter's line, and, when asked for, standard input. A request to end is
// SIGINT, SIGTERM or SIGHUP on POSIX, and Ctrl-C, Ctrl-Break or the console
// closing on Windows; either way the run ends through its normal path, with
// the port closed and every pending line written.
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

  // From now on a wait also ends when standard input has brought something,
  // and hands it over; it never waits for input to come. On POSIX standard
  // input is polled with the rest; on Windows, where a console or a pipe
  // cannot be waited on beside the line, a thread of its own reads it.
  void WatchInput();

  struct Woken {
    bool stop = false;
    link::LineEvents line{};
    std::string input;        // what standard input brought, as read
    bool inputEnded = false;  // its end (or a read that failed): said once
  };
  // Until something happens or `timeout` milliseconds have passed (-1: no
  // limit); the line is left out when `watchLine` is false.
  Woken Wait(link::LineWaitEntry line, bool watchLine, int timeout);

 private:
  link::EventFd m_wake;
  intptr_t m_stop = -1;  // the signals' descriptor, or the console's stop event
  // Standard input while it is watched; shared with its reader thread on
  // Windows, which may outlive the wait while it sits in a read.
  struct Input;
  std::shared_ptr<Input> m_input;
};

}  // namespace orvana::cli
