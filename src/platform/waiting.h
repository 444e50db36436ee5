#pragma once

#include <chrono>
#include <cstdint>

// Waiting on a network socket and on a wake-up from another thread at once:
// a thread that talks to the database must still end at once when the
// program stops, however long the server keeps it waiting.
namespace orvana::platform {

// Stays signalled once signalled: it says "stop", once.
class StopEvent {
 public:
  StopEvent();
  ~StopEvent();
  StopEvent(const StopEvent&) = delete;
  StopEvent& operator=(const StopEvent&) = delete;

  // Any thread.
  void Signal();
  // The descriptor (POSIX) or the event's handle (Windows); -1 when none
  // could be made, and then nothing can wake a wait.
  intptr_t Native() const { return m_native; }

 private:
  intptr_t m_native = -1;
};

enum class SocketInterest { Read, Write, Either };
enum class SocketWait { Ready, Stopped, TimedOut, Failed };

// Waits until `socket` (a descriptor, or a Windows SOCKET) is ready for
// `interest`, `stop` is signalled (null: nothing stops it), or `timeout`
// has passed.
SocketWait WaitForSocket(intptr_t socket, SocketInterest interest, const StopEvent* stop,
                         std::chrono::milliseconds timeout);

}  // namespace orvana::platform
