#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

// The station's way out to whoever reads its standard output. Receiving and
// logging must never wait on that reader: a script that pauses, a terminal
// scrolled back or a pipe nobody drains would otherwise stall the line until
// the meter's bytes are lost. Lines are queued here and written by a thread of
// its own; the station only ever takes a lock for the time of a copy, or of a
// write that cannot block (into a pipe that has room, or a plain file, while
// nothing is queued before it).
namespace orvana::cli {

class OutputQueue {
 public:
  // The usual bound: minutes of output at the meter's pace, far more than
  // any reader that is merely slow will ever leave waiting.
  static constexpr size_t kDefaultCapacity = size_t{1} << 20;

  // Writes to `fd`, which stays the caller's. `onClosed` runs once, on the
  // writer thread, when `fd` stops taking output (the reader has gone); it
  // must only wake the thread that writes into the queue. It is not called once Finish has begun.
  OutputQueue(int fd, size_t capacity, std::function<void()> onClosed);
  // Finish(kDefaultPatience), unless it has run.
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;

  // Queues `lines`, which holds `lineCount` complete lines, and returns at
  // once. When they do not fit beside what is waiting they are dropped whole
  // and counted; once the reader has taken everything queued before them, a
  // line {"dropped":N} (or the marker set) stands in for the N lines lost,
  // and output goes on.
  // After the descriptor has closed, lines are discarded.
  void Push(std::string_view lines, size_t lineCount);

  // The line, without its newline, that stands in for `lines` lines lost.
  using DropMarker = std::function<std::string(uint64_t lines)>;
  void SetDropMarker(DropMarker marker);

  // True once a write has failed for good or the reader is known to be gone.
  bool Closed() const;

  static constexpr std::chrono::milliseconds kDefaultPatience{2000};
  // Writes what is still queued for as long as the reader keeps taking it,
  // giving up once it has taken nothing for `patience`, and stops the writer.
  // True when everything queued was written. Later pushes are discarded.
  bool Finish(std::chrono::milliseconds patience);

 private:
  struct State;
  static void Run(std::shared_ptr<State> state);

  // Shared with the writer thread, which may outlive this object when it is
  // stuck in a write that a stopped terminal never completes.
  std::shared_ptr<State> m_state;
  std::thread m_writer;
  bool m_finished = false;
};

}  // namespace orvana::cli
