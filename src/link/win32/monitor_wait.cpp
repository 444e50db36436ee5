#include "link/monitor_wait.h"

#include <windows.h>

namespace orvana::link {
namespace {

HANDLE Handle(intptr_t native) { return reinterpret_cast<HANDLE>(native); }

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

MonitorWake WaitForMonitor(const EventFd& stop, const EventFd& write, const EventFd& resume,
                           LineWaitEntry line, bool watchLine) {
  HANDLE waits[4] = {Handle(stop.Native()), Handle(write.Native()), Handle(resume.Native()),
                     nullptr};
  DWORD count = 3;
  // The line's event stays set until its pass takes the read's result, so
  // a line whose bytes have nowhere to go must be left out of the wait.
  const HANDLE lineEvent = watchLine ? static_cast<HANDLE>(line.event) : nullptr;
  if (lineEvent != nullptr) waits[count++] = lineEvent;
  MonitorWake wake;
  if (WaitForMultipleObjects(count, waits, FALSE, INFINITE) == WAIT_FAILED) {
    wake.failed = true;
    wake.error = static_cast<int>(GetLastError());
    return wake;
  }
  // Whatever is set now, not only the first that the wait named: one pass
  // serves them all.
  wake.write = IsSet(waits[1]);
  wake.resume = IsSet(waits[2]);
  wake.line = lineEvent != nullptr && IsSet(lineEvent);
  return wake;
}

}  // namespace orvana::link
