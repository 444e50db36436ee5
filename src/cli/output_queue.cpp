#include "cli/output_queue.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "cli/output_stream.h"
#include "common/error_text.h"
#include "common/trace.h"
#include "link/event_fd.h"

namespace orvana::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFullDiskRetry = std::chrono::milliseconds(1000);

bool IsFullDisk(int error) {
#ifdef EDQUOT
  if (error == EDQUOT) return true;
#endif
  return error == ENOSPC || error == EFBIG;
}

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

}  // namespace

struct OutputQueue::State {
  State(int out, size_t bound, std::function<void()> closedHandler)
      : stream(out), capacity(bound), onClosed(std::move(closedHandler)) {
    wake.CreateOrReset();
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Expects `mutex` held.
  void AppendDropMarker() {
    pending += dropMarker ? dropMarker(dropped) : "{\"dropped\":" + std::to_string(dropped) + "}";
    pending += '\n';
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

  const OutputStream stream;
  const size_t capacity;
  const std::function<void()> onClosed;
  link::EventFd wake;

  std::mutex mutex;
  std::condition_variable doneChanged;
  DropMarker dropMarker;    // none: the JSON line
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
    if (s.stream.Direct() && s.writerIdle && s.pending.empty() && s.inFlight == 0 &&
        lines.size() <= OutputStream::kDirectBytes) {
      // Nothing waits before these lines, so they may overtake the writer.
      const long written = s.stream.TryWrite(lines);
      if (written == static_cast<long>(lines.size())) return;
      if (written > 0) {
        lines.remove_prefix(static_cast<size_t>(written));
      } else if (written < 0 && errno != EINTR && errno != EAGAIN && !IsFullDisk(errno)) {
        s.MarkClosedLocked();
        return;
      }
    }
    s.pending.append(lines);
    wake = s.writerIdle;
    s.writerIdle = false;
  }
  if (wake) s.wake.Signal();
}

void OutputQueue::SetDropMarker(DropMarker marker) {
  std::lock_guard lock(m_state->mutex);
  m_state->dropMarker = std::move(marker);
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
  s.wake.Signal();

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
  OutputStream::PrepareWriterThread();

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

    // While idle (or waiting for the disk to take output again) the stream
    // is watched only for its reader going away.
    const bool backingOff = !idle && Clock::now() < retryAt;
    const auto until = backingOff ? std::min(giveUpAt, retryAt) : giveUpAt;
    const int timeout = until == Clock::time_point::max() ? -1 : MillisecondsUntil(until);
    const OutputStream::Ready ready = s.stream.Wait(!idle && !backingOff, s.wake, timeout);
    if (ready == OutputStream::Ready::Failed) {
      s.MarkClosed();
      break;
    }
    if (ready == OutputStream::Ready::Gone) {
      s.MarkClosed();
      continue;
    }
    if (ready != OutputStream::Ready::Room) continue;

    const size_t length = std::min(writing.size() - offset, s.stream.MaxWrite());
    const long written = s.stream.Write({writing.data() + offset, length});
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
