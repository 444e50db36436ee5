#include "cli/output_queue.h"

#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "common/error_text.h"
#include "common/trace.h"

namespace orvana::cli {
namespace {

using Clock = std::chrono::steady_clock;

void Poke(int eventFd) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(eventFd, &one, sizeof one);
}

constexpr auto kFullDiskRetry = std::chrono::milliseconds(1000);

bool IsFullDisk(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG; }

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

}  // namespace

struct OutputQueue::State {
  State(int out, size_t bound, std::function<void()> closedHandler)
      : fd(out),
        capacity(bound),
        onClosed(std::move(closedHandler)),
        wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    struct stat info {};
    // A pipe that reports room takes PIPE_BUF bytes without blocking; a
    // larger write could block halfway once its reader stops.
    const bool known = fstat(fd, &info) == 0;
    chunked = !known || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode);
    // Writing on the caller's thread saves the hand-over where a write
    // cannot block: a pipe with room (PIPE_BUF bytes at most) or a plain
    // file. Not a terminal, which may take a write and then hold it (^S).
    // A closed pipe must then fail the write, not end the process.
    struct sigaction pipeAction {};
    direct = known && (S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode)) &&
             sigaction(SIGPIPE, nullptr, &pipeAction) == 0 && pipeAction.sa_handler == SIG_IGN;
  }
  ~State() {
    if (wakeFd >= 0) close(wakeFd);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Expects `mutex` held.
  void AppendDropMarker() {
    pending += "{\"dropped\":" + std::to_string(dropped) + "}\n";
    dropped = 0;
    dropping = false;
  }
  void MarkClosed() {
    std::lock_guard lock(mutex);
    MarkClosedLocked();
  }
  void MarkClosedLocked() {
    closed = true;
    pending.clear();
    if (!finishing && onClosed) onClosed();
  }

  const int fd;
  const size_t capacity;
  const std::function<void()> onClosed;
  const int wakeFd;
  bool chunked = true;
  bool direct = false;

  std::mutex mutex;
  std::condition_variable doneChanged;
  std::string pending;      // queued, not yet taken by the writer
  size_t inFlight = 0;      // taken by the writer, not yet written
  uint64_t dropped = 0;     // lines lost since the reader fell behind
  bool dropping = false;    // until the reader has caught up again
  bool writerIdle = false;  // waiting for lines: a push must wake it
  bool closed = false;
  bool finishing = false;
  std::chrono::milliseconds patience{0};
  std::chrono::steady_clock::time_point finishingSince{};
  uint64_t progress = 0;  // counts successful writes
  bool done = false;      // the writer has ended
  bool allWritten = false;
};

OutputQueue::OutputQueue(int fd, size_t capacity, std::function<void()> onClosed)
    : m_state(std::make_shared<State>(fd, capacity, std::move(onClosed))) {
  m_writer = std::thread(Run, m_state);
}

OutputQueue::~OutputQueue() { Finish(kDefaultPatience); }

void OutputQueue::Push(std::string_view lines, size_t lineCount) {
  if (lines.empty()) return;
  State& s = *m_state;
  bool wake = false;
  {
    std::lock_guard lock(s.mutex);
    if (s.closed || s.finishing) return;
    // Once lines are lost, none are taken until the reader has caught up:
    // output that resumes whole is easier to follow than one with holes
    // every few lines, and the marker then says exactly what is missing.
    if (s.dropping || s.pending.size() + s.inFlight + lines.size() > s.capacity) {
      s.dropping = true;
      s.dropped += lineCount;
      return;
    }
    if (s.direct && s.writerIdle && s.pending.empty() && s.inFlight == 0 &&
        lines.size() <= PIPE_BUF) {
      // Nothing waits before these lines, so they may overtake the writer.
      pollfd room{s.fd, POLLOUT, 0};
      if (poll(&room, 1, 0) == 1 && room.revents == POLLOUT) {
        const ssize_t written = write(s.fd, lines.data(), lines.size());
        if (written == static_cast<ssize_t>(lines.size())) return;
        if (written > 0) {
          lines.remove_prefix(static_cast<size_t>(written));
        } else if (written < 0 && errno != EINTR && errno != EAGAIN && !IsFullDisk(errno)) {
          s.MarkClosedLocked();
          return;
        }
      }
    }
    s.pending.append(lines);
    wake = s.writerIdle;
    s.writerIdle = false;
  }
  if (wake) Poke(s.wakeFd);
}

bool OutputQueue::Closed() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->closed;
}

bool OutputQueue::Finish(std::chrono::milliseconds patience) {
  State& s = *m_state;
  if (m_finished) {
    std::lock_guard lock(s.mutex);
    return s.allWritten;
  }
  m_finished = true;
  {
    std::lock_guard lock(s.mutex);
    s.finishing = true;
    s.patience = patience;
    s.finishingSince = Clock::now();
  }
  Poke(s.wakeFd);

  std::unique_lock lock(s.mutex);
  // The writer gives up by itself once the reader stalls; only a write that
  // blocks inside the kernel (a terminal stopped by ^S) keeps it from
  // noticing. Then it is left behind, holding its own share of the state,
  // and ends with the process.
  uint64_t seen = s.progress;
  while (!s.doneChanged.wait_for(lock, patience + std::chrono::milliseconds(500),
                                 [&] { return s.done; })) {
    if (s.progress == seen) {
      const size_t left = s.pending.size() + s.inFlight;
      lock.unlock();
      m_writer.detach();
      common::Trace("orvana-cli: %zu bytes of output not written\n", left);
      return false;
    }
    seen = s.progress;
  }
  const bool allWritten = s.allWritten;
  const bool closed = s.closed;
  const size_t left = s.pending.size() + s.inFlight;
  lock.unlock();
  m_writer.join();
  if (!allWritten && !closed && left > 0) {
    common::Trace("orvana-cli: %zu bytes of output not written\n", left);
  }
  return allWritten;
}

void OutputQueue::Run(std::shared_ptr<State> state) {
  State& s = *state;
  // A reader that has gone must show up as EPIPE here, not as a signal that
  // ends the whole station before it has closed its files.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

  std::string writing;
  size_t offset = 0;
  auto lastProgress = Clock::now();
  auto retryAt = Clock::time_point::min();
  for (;;) {
    bool idle = false;
    auto giveUpAt = Clock::time_point::max();
    {
      std::lock_guard lock(s.mutex);
      if (offset == writing.size()) {
        writing.clear();
        offset = 0;
        if (s.pending.empty() && s.dropping) s.AppendDropMarker();
        writing.swap(s.pending);
      }
      s.inFlight = writing.size() - offset;
      if (s.closed) break;
      if (writing.empty()) {
        if (s.finishing) {
          s.allWritten = true;
          break;
        }
        s.writerIdle = true;
        idle = true;
      } else if (s.finishing) {
        giveUpAt = std::max(lastProgress, s.finishingSince) + s.patience;
        if (Clock::now() >= giveUpAt) break;
      }
    }

    // While idle (or waiting for the disk to take output again) the
    // descriptor is watched only for errors, so a reader that goes away is
    // noticed at once, not at the next line.
    const bool backingOff = !idle && Clock::now() < retryAt;
    pollfd fds[2] = {{s.fd, static_cast<short>(idle || backingOff ? 0 : POLLOUT), 0},
                     {s.wakeFd, POLLIN, 0}};
    const auto until = backingOff ? std::min(giveUpAt, retryAt) : giveUpAt;
    const int timeout = until == Clock::time_point::max() ? -1 : MillisecondsUntil(until);
    if (poll(fds, 2, timeout) < 0) {
      if (errno == EINTR) continue;
      s.MarkClosed();
      break;
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = read(s.wakeFd, &count, sizeof count);
    }
    if (idle || backingOff) {
      if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) s.MarkClosed();
      continue;
    }
    if (fds[0].revents == 0) continue;

    size_t length = writing.size() - offset;
    if (s.chunked) length = std::min<size_t>(length, PIPE_BUF);
    const ssize_t written = write(s.fd, writing.data() + offset, length);
    if (written > 0) {
      offset += static_cast<size_t>(written);
      lastProgress = Clock::now();
      retryAt = Clock::time_point::min();
      std::lock_guard lock(s.mutex);
      ++s.progress;
    } else if (written < 0 && (errno == EINTR || errno == EAGAIN)) {
      continue;
    } else if (written < 0 && IsFullDisk(errno)) {
      // Output redirected to a full disk is lost output, not a reader that
      // has gone: the station goes on (its log keeps its own lines), the
      // queue fills and drops, and writing is tried again now and then.
      if (retryAt == Clock::time_point::min()) {
        common::Trace("orvana-cli: cannot write the output: %s; trying again\n",
                      common::ErrorText(errno).c_str());
      }
      retryAt = Clock::now() + kFullDiskRetry;
    } else {
      s.MarkClosed();
    }
  }
  std::lock_guard lock(s.mutex);
  s.done = true;
  s.doneChanged.notify_all();
}

}  // namespace orvana::cli
