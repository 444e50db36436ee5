#include "cli/loop_wait.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <iterator>

namespace orvana::cli {

// SIGINT, SIGTERM and SIGHUP (the terminal closed) arrive as readable data
// on a descriptor that the loop polls with the rest.
LoopWait::LoopWait() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  m_stop = signalfd(-1, &signals, SFD_CLOEXEC);
  m_wake.CreateOrReset();
}

LoopWait::~LoopWait() {
  if (m_stop >= 0) close(static_cast<int>(m_stop));
}

LoopWait::Woken LoopWait::Wait(link::LineWaitEntry line, bool watchLine, int timeout) {
  pollfd fds[] = {{static_cast<int>(m_wake.Native()), POLLIN, 0},
                  {static_cast<int>(m_stop), POLLIN, 0},
                  line};
  if (!watchLine) fds[2].fd = -1;  // poll() passes over it
  Woken woken;
  if (poll(fds, std::size(fds), timeout) < 0) return woken;
  woken.stop = (fds[1].revents & POLLIN) != 0;
  if (fds[0].revents & POLLIN) m_wake.Reset();
  woken.line = fds[2].revents;
  return woken;
}

}  // namespace orvana::cli
