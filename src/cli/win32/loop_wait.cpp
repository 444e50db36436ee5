#include "cli/loop_wait.h"

#include <windows.h>

#include <condition_variable>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/win32/wide.h"

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

// What the reader holds while the loop has not taken it: a file piped in is
// read only as fast as the loop takes it.
constexpr size_t kHeldInput = 64 * 1024;

// One read of standard input, in UTF-8: a console's keys come as UTF-16
// (its code page may be any), anything else as the bytes it holds. False at
// its end or when it cannot be read.
bool ReadSome(HANDLE in, bool console, std::string& got) {
  if (console) {
    wchar_t wide[1024];
    DWORD count = 0;
    if (!ReadConsoleW(in, wide, static_cast<DWORD>(std::size(wide)), &count, nullptr)) {
      return false;
    }
    got = platform::Utf8(std::wstring_view(wide, count));
    return true;
  }
  char bytes[4096];
  DWORD count = 0;
  if (!ReadFile(in, bytes, sizeof bytes, &count, nullptr) || count == 0) return false;
  got.assign(bytes, count);
  return true;
}

}  // namespace

// Standard input cannot be waited on beside the line: a console's handle is
// signalled by every key and mouse event, a pipe's not at all. A thread
// reads it and hands over what it read, setting `event`, which the loop
// waits on with the rest.
struct LoopWait::Input {
  Input() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Input() {
    if (event != nullptr) CloseHandle(event);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  const HANDLE event;  // set while something waits to be taken
  std::mutex mutex;
  std::condition_variable taken;
  std::string bytes;
  bool ended = false;      // the reader has stopped
  bool endTold = false;    // and the loop has said so
  bool abandoned = false;  // the loop is gone
};

LoopWait::LoopWait() {
  m_stop = reinterpret_cast<intptr_t>(StopEvent());
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  m_wake.CreateOrReset();
}

LoopWait::~LoopWait() {
  if (!m_input) return;
  // The reader may sit in a read that nothing ends (a console nobody types
  // into); it holds its own share of the state and goes with the process.
  std::lock_guard lock(m_input->mutex);
  m_input->abandoned = true;
  m_input->taken.notify_all();
}

void LoopWait::WatchInput() {
  if (m_input) return;
  m_input = std::make_shared<Input>();
  std::thread([input = m_input] {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool usable = in != nullptr && in != INVALID_HANDLE_VALUE;
    const bool console = usable && GetConsoleMode(in, &mode) != 0;
    for (bool more = usable; more;) {
      {
        std::unique_lock lock(input->mutex);
        input->taken.wait(lock,
                          [&] { return input->bytes.size() < kHeldInput || input->abandoned; });
        if (input->abandoned) return;
      }
      std::string got;
      more = ReadSome(in, console, got);
      std::lock_guard lock(input->mutex);
      input->bytes += got;
      if (!more) input->ended = true;
      SetEvent(input->event);
    }
    if (!usable) {
      std::lock_guard lock(input->mutex);
      input->ended = true;
      SetEvent(input->event);
    }
  }).detach();
}

LoopWait::Woken LoopWait::Wait(link::LineWaitEntry line, bool watchLine, int timeout) {
  const HANDLE stop = reinterpret_cast<HANDLE>(m_stop);
  const HANDLE wake = reinterpret_cast<HANDLE>(m_wake.Native());
  HANDLE waits[4] = {wake, stop, nullptr, nullptr};
  DWORD count = 2;
  // The line's event stays set until its pass takes the read's result.
  const HANDLE lineEvent = watchLine ? static_cast<HANDLE>(line.event) : nullptr;
  if (lineEvent != nullptr) waits[count++] = lineEvent;
  const HANDLE inputEvent = m_input ? m_input->event : nullptr;
  if (inputEvent != nullptr) waits[count++] = inputEvent;
  Woken woken;
  if (WaitForMultipleObjects(count, waits, FALSE,
                             timeout < 0 ? INFINITE : static_cast<DWORD>(timeout)) == WAIT_FAILED) {
    return woken;
  }
  // Whatever is set now, not only the first that the wait named.
  woken.stop = IsSet(stop);
  if (IsSet(wake)) m_wake.Reset();
  woken.line = lineEvent != nullptr && IsSet(lineEvent);
  if (inputEvent != nullptr && IsSet(inputEvent)) {
    std::lock_guard lock(m_input->mutex);
    woken.input = std::move(m_input->bytes);
    m_input->bytes.clear();
    if (m_input->ended && !m_input->endTold) {
      m_input->endTold = true;
      woken.inputEnded = true;
    }
    ResetEvent(inputEvent);
    m_input->taken.notify_all();
  }
  return woken;
}

}  // namespace orvana::cli
