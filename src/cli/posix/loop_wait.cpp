#include "cli/loop_wait.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

namespace orvana::cli {

struct LoopWait::Input {
  bool ended = false;
};

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

void LoopWait::WatchInput() {
  if (m_input) return;
  // Started in the background of a terminal's shell, a read of the
  // terminal would stop the whole station; ignored, the read fails instead
  // and the station goes on without its scanner.
  signal(SIGTTIN, SIG_IGN);
  m_input = std::make_shared<Input>();
}

LoopWait::Woken LoopWait::Wait(link::LineWaitEntry line, bool watchLine, int timeout) {
  const bool watchInput = m_input && !m_input->ended;
  pollfd fds[] = {{static_cast<int>(m_wake.Native()), POLLIN, 0},
                  {static_cast<int>(m_stop), POLLIN, 0},
                  line,
                  {watchInput ? STDIN_FILENO : -1, POLLIN, 0}};
  if (!watchLine) fds[2].fd = -1;  // poll() passes over it
  Woken woken;
  if (poll(fds, std::size(fds), timeout) < 0) return woken;
  woken.stop = (fds[1].revents & POLLIN) != 0;
  if (fds[0].revents & POLLIN) m_wake.Reset();
  woken.line = fds[2].revents;
  if (fds[3].revents != 0) {
    // Readable, at its end, or no input at all (closed: POLLNVAL): one read
    // takes what is there without waiting, or learns of the end. Standard
    // input is left as it was given (never made non-blocking), since its
    // open file may well be shared with the shell that started us.
    char buffer[4096];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got > 0) {
      woken.input.assign(buffer, static_cast<size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      m_input->ended = true;
      woken.inputEnded = true;
    }
  }
  return woken;
}

}  // namespace orvana::cli
