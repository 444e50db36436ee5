#pragma once

#include <cstddef>
#include <string_view>

#include "link/event_fd.h"

// The standard output as the output queue's writer reaches it: how much one
// write may carry, whether a write may be tried on a caller's thread, the
// wait for room, and the write itself. POSIX polls the descriptor; a Windows
// pipe or console cannot be asked for room, so there the writer's write is
// the wait (a stalled reader leaves it behind, as a stopped terminal does on
// Linux).
namespace orvana::cli {

class OutputStream {
 public:
  // `fd` is the C runtime's descriptor of the stream; it stays the caller's.
  explicit OutputStream(int fd);

  // Once, on the writer's own thread, before its first write.
  static void PrepareWriterThread();

  // The most one write may carry: a pipe that reports room takes this much
  // without blocking; a plain file takes any length.
  size_t MaxWrite() const { return m_maxWrite; }
  // The largest write a caller's thread may try with TryWrite.
  static const size_t kDirectBytes;
  // Whether TryWrite can ever write: a pipe or a plain file that will fail
  // rather than block or end the process.
  bool Direct() const { return m_direct; }

  // Bytes written, or -1 with errno set (EAGAIN: no room now; EPIPE: the
  // reader has gone; ENOSPC and the like: the disk is full).
  long TryWrite(std::string_view bytes) const;
  long Write(std::string_view bytes) const;

  enum class Ready { Room, Woken, TimedOut, Gone, Failed };
  // Waits until a write may be made (`forRoom`), or, when not, only watches
  // for the reader going away; `wake` (then reset) and the timeout (in
  // milliseconds, -1 for none) end the wait either way. Room is told before
  // Woken when both hold.
  Ready Wait(bool forRoom, const link::EventFd& wake, int timeout) const;

 private:
  int m_fd;
  size_t m_maxWrite = 0;
  bool m_direct = false;
};

}  // namespace orvana::cli
