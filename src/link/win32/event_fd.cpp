#include "link/event_fd.h"

#include <windows.h>

namespace orvana::link {
namespace {

HANDLE Handle(intptr_t native) { return reinterpret_cast<HANDLE>(native); }

}  // namespace

EventFd::~EventFd() {
  if (m_native != -1) CloseHandle(Handle(m_native));
}

bool EventFd::CreateOrReset() {
  if (m_native != -1) {
    Reset();
    return true;
  }
  // Manual reset: it stays set for every wait until Reset, as the eventfd
  // stays readable until it is read.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return false;
  m_native = reinterpret_cast<intptr_t>(event);
  return true;
}

void EventFd::Signal() const {
  if (m_native != -1) SetEvent(Handle(m_native));
}

void EventFd::Reset() const {
  if (m_native != -1) ResetEvent(Handle(m_native));
}

}  // namespace orvana::link
