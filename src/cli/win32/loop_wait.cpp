#include "cli/loop_wait.h"

#include <windows.h>

namespace orvana::cli {
namespace {

// Set by the console's handler, on a thread the system starts for it; made
// once and kept for the process, as the handler is.
HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  SetEvent(StopEvent());
  // Once this handler returns from a closing console, a logoff or a
  // shutdown, the system ends the process; held here, the loop has the
  // seconds the system grants to close the port and write every pending
  // line, and the process ends when the run does.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    Sleep(INFINITE);
  }
  return TRUE;
}

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

LoopWait::LoopWait() {
  m_stop = reinterpret_cast<intptr_t>(StopEvent());
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  m_wake.CreateOrReset();
}

LoopWait::~LoopWait() = default;

LoopWait::Woken LoopWait::Wait(link::LineWaitEntry line, bool watchLine, int timeout) {
  const HANDLE stop = reinterpret_cast<HANDLE>(m_stop);
  const HANDLE wake = reinterpret_cast<HANDLE>(m_wake.Native());
  HANDLE waits[3] = {wake, stop, nullptr};
  DWORD count = 2;
  // The line's event stays set until its pass takes the read's result.
  const HANDLE lineEvent = watchLine ? static_cast<HANDLE>(line.event) : nullptr;
  if (lineEvent != nullptr) waits[count++] = lineEvent;
  Woken woken;
  if (WaitForMultipleObjects(count, waits, FALSE,
                             timeout < 0 ? INFINITE : static_cast<DWORD>(timeout)) == WAIT_FAILED) {
    return woken;
  }
  // Whatever is set now, not only the first that the wait named.
  woken.stop = IsSet(stop);
  if (IsSet(wake)) m_wake.Reset();
  woken.line = lineEvent != nullptr && IsSet(lineEvent);
  return woken;
}

}  // namespace orvana::cli
