#include "cli/output_stream.h"

#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace orvana::cli {

const size_t OutputStream::kDirectBytes = PIPE_BUF;

OutputStream::OutputStream(int fd) : m_fd(fd) {
  struct stat info {};
  // A pipe that reports room takes PIPE_BUF bytes without blocking; a
  // larger write could block halfway once its reader stops.
  const bool known = fstat(fd, &info) == 0;
  const bool chunked =
      !known || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode);
  m_maxWrite = chunked ? PIPE_BUF : SIZE_MAX;
  // Writing on the caller's thread saves the hand-over where a write
  // cannot block: a pipe with room (PIPE_BUF bytes at most) or a plain
  // file. Not a terminal, which may take a write and then hold it (^S).
  // A closed pipe must then fail the write, not end the process.
  struct sigaction pipeAction {};
  m_direct = known && (S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode)) &&
             sigaction(SIGPIPE, nullptr, &pipeAction) == 0 && pipeAction.sa_handler == SIG_IGN;
}

void OutputStream::PrepareWriterThread() {
  // A reader that has gone must show up as EPIPE here, not as a signal that
  // ends the whole station before it has closed its files.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
}

long OutputStream::TryWrite(std::string_view bytes) const {
  pollfd room{m_fd, POLLOUT, 0};
  if (poll(&room, 1, 0) != 1 || room.revents != POLLOUT) {
    errno = EAGAIN;
    return -1;
  }
  return write(m_fd, bytes.data(), bytes.size());
}

long OutputStream::Write(std::string_view bytes) const {
  return write(m_fd, bytes.data(), bytes.size());
}

OutputStream::Ready OutputStream::Wait(bool forRoom, const link::EventFd& wake,
                                       int timeout) const {
  // While not writing, the descriptor is watched only for errors, so a
  // reader that goes away is noticed at once, not at the next line.
  pollfd fds[2] = {{m_fd, static_cast<short>(forRoom ? POLLOUT : 0), 0},
                   {static_cast<int>(wake.Native()), POLLIN, 0}};
  if (poll(fds, 2, timeout) < 0) return errno == EINTR ? Ready::Woken : Ready::Failed;
  const bool woken = (fds[1].revents & POLLIN) != 0;
  if (woken) wake.Reset();
  // When writing, an error shows up as the write's own failure.
  if (forRoom && fds[0].revents != 0) return Ready::Room;
  if (!forRoom && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) return Ready::Gone;
  return woken ? Ready::Woken : Ready::TimedOut;
}

}  // namespace orvana::cli
