#include <winsock2.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include "platform/waiting.h"

namespace orvana::platform {

StopEvent::StopEvent() {
  // Manual reset: once signalled it stays so, for every wait that follows.
  if (HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    m_native = reinterpret_cast<intptr_t>(event);
  }
}

StopEvent::~StopEvent() {
  if (m_native != -1) CloseHandle(reinterpret_cast<HANDLE>(m_native));
}

void StopEvent::Signal() {
  if (m_native != -1) SetEvent(reinterpret_cast<HANDLE>(m_native));
}

// A socket has no handle to wait on: an event of its own is tied to it for
// the wait (WSAEventSelect), and untied again, since libpq expects its socket
// as it left it, blocking or not.
SocketWait WaitForSocket(intptr_t socket, SocketInterest interest, const StopEvent* stop,
                         std::chrono::milliseconds timeout) {
  const auto s = static_cast<SOCKET>(socket);
  if (s == INVALID_SOCKET) return SocketWait::Failed;
  const long read = FD_READ | FD_ACCEPT | FD_CLOSE;
  const long write = FD_WRITE | FD_CONNECT | FD_CLOSE;
  const long events = interest == SocketInterest::Read    ? read
                      : interest == SocketInterest::Write ? write
                                                          : read | write;
  WSAEVENT ready = WSACreateEvent();
  if (ready == WSA_INVALID_EVENT) return SocketWait::Failed;
  SocketWait result = SocketWait::Failed;
  if (WSAEventSelect(s, ready, events) == 0) {
    HANDLE handles[2] = {ready, nullptr};
    DWORD count = 1;
    if (stop != nullptr && stop->Native() != -1) {
      handles[count++] = reinterpret_cast<HANDLE>(stop->Native());
    }
    // An event is recorded only on a change; a socket that is writable
    // already says so at once only after a send would have blocked. One
    // select() with no wait covers what is true already.
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    if (interest != SocketInterest::Write) FD_SET(s, &readable);
    if (interest != SocketInterest::Read) FD_SET(s, &writable);
    timeval now{0, 0};
    if (select(0, &readable, &writable, nullptr, &now) > 0) {
      result = SocketWait::Ready;
    } else {
      const DWORD waited = WaitForMultipleObjects(count, handles, FALSE,
                                                  static_cast<DWORD>(timeout.count()));
      result = waited == WAIT_OBJECT_0       ? SocketWait::Ready
               : waited == WAIT_OBJECT_0 + 1 ? SocketWait::Stopped
               : waited == WAIT_TIMEOUT      ? SocketWait::TimedOut
                                             : SocketWait::Failed;
    }
    WSAEventSelect(s, nullptr, 0);
  }
  WSACloseEvent(ready);
  return result;
}

}  // namespace orvana::platform
