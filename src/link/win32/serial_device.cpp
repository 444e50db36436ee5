#include "link/serial_device.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string_view>
#include <vector>

#include "link/win32/comm_errors.h"
#include "link/win32/comm_settings.h"
#include "platform/win32/wide.h"

namespace orvana::link {
namespace {

// One read takes at most this much; what is left waits for the next read.
constexpr DWORD kReadChunk = 4096;
constexpr DWORD kLineErrors = CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK;

// \\.\COM12 is COM12 to a person.
std::string DisplayName(const std::string& path) {
  constexpr std::string_view kDevicePrefix = "\\\\.\\";
  if (path.compare(0, kDevicePrefix.size(), kDevicePrefix) == 0) {
    return path.substr(kDevicePrefix.size());
  }
  return path;
}

// Ends `io` if it is still in flight and waits until the driver lets go of
// it and of its buffer.
void EndIo(HANDLE port, OVERLAPPED& io, DWORD& transferred) {
  transferred = 0;
  CancelIoEx(port, &io);
  GetOverlappedResult(port, &io, &transferred, TRUE);
}

}  // namespace

const int SerialDevice::kInvalidArgument = ERROR_INVALID_PARAMETER;
const int SerialDevice::kNotOpen = ERROR_INVALID_HANDLE;

struct SerialDevice::State {
  // Written by the caller, read by IsOpen from anywhere.
  std::atomic<HANDLE> port{INVALID_HANDLE_VALUE};
  // One read is kept in flight while the monitor watches the line; its
  // event (manual reset) is what the runner waits on, set from the moment
  // the read completes until the next read is started.
  OVERLAPPED readIo{};
  HANDLE readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool reading = false;
  // A read that could not even be started: its error is the read's result.
  DWORD readFailure = 0;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kReadChunk);
  OVERLAPPED writeIo{};
  HANDLE writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

  ~State() {
    if (readEvent != nullptr) CloseHandle(readEvent);
    if (writeEvent != nullptr) CloseHandle(writeEvent);
  }

  // The read in flight ends unread: a purge or a close, never a lost line.
  void DropRead() {
    if (reading && readFailure == 0) {
      DWORD ignored = 0;
      EndIo(port, readIo, ignored);
    }
    reading = false;
    readFailure = 0;
  }
};

SerialDevice::SerialDevice() : m_state(std::make_unique<State>()) {}

SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::Open(const std::string& path, std::string& error) {
  Close();
  const std::string name = DisplayName(path);
  if (m_state->readEvent == nullptr || m_state->writeEvent == nullptr) {
    error = name + ": " + WindowsErrorText(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  // No sharing: the port is this program's alone until it closes it.
  HANDLE port = CreateFileW(platform::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    error = OpenFailureText(name, GetLastError());
    return false;
  }
  // Only a device with a line state is a port. Anything else (a file, NUL,
  // a pipe) would be read as if the meter had sent it.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) {
    CloseHandle(port);
    error = name + ": not a serial port";
    return false;
  }
  m_state->port = port;
  error.clear();
  return true;
}

void SerialDevice::Close() {
  if (!IsOpen()) return;
  m_state->DropRead();
  CloseHandle(m_state->port.exchange(INVALID_HANDLE_VALUE));
}

bool SerialDevice::IsOpen() const { return m_state->port.load() != INVALID_HANDLE_VALUE; }

DeviceSetup SerialDevice::Configure(int baudRate, char parity, int dataBits, int stopBits) {
  HANDLE port = m_state->port;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) return {"GetCommState()", static_cast<int>(GetLastError()), {}};
  if (const DWORD error = ApplyLineSettings(dcb, baudRate, parity, dataBits, stopBits);
      error != 0) {
    return {"BuildCommDCB()", static_cast<int>(error), {}};
  }
  if (!SetCommState(port, &dcb)) return {"SetCommState()", static_cast<int>(GetLastError()), {}};
  COMMTIMEOUTS timeouts = MonitorTimeouts();
  if (!SetCommTimeouts(port, &timeouts)) {
    return {"SetCommTimeouts()", static_cast<int>(GetLastError()), {}};
  }
  return {};
}

void SerialDevice::Purge() {
  if (!IsOpen()) return;
  // What the read in flight has taken was received before the purge too.
  m_state->DropRead();
  PurgeComm(m_state->port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
}

int SerialDevice::BytesWaiting() const {
  DWORD errors = 0;
  COMSTAT status{};
  if (!IsOpen() || !ClearCommError(m_state->port, &errors, &status)) return -1;
  return static_cast<int>(status.cbInQue);
}

LineWaitEntry SerialDevice::WaitEntry(bool watchInput) const {
  // Without a read in flight the event says nothing: it may still be set
  // from the read whose bytes the listener has not taken yet.
  if (!watchInput || !m_state->reading) return NoWait();
  return {m_state->readEvent};
}

LineWaitEntry SerialDevice::NoWait() { return {nullptr}; }

LineSignal SerialDevice::Signal(LineEvents events) const {
  // A port that goes away fails the read in flight: its loss comes as a
  // read's result, never as a signal of its own.
  return events ? LineSignal::kInput : LineSignal::kQuiet;
}

void SerialDevice::ArmRead() {
  State& state = *m_state;
  if (!IsOpen() || state.reading) return;
  state.readIo = OVERLAPPED{};
  state.readIo.hEvent = state.readEvent;
  state.reading = true;
  if (ReadFile(state.port, state.buffer.data(), kReadChunk, nullptr, &state.readIo)) return;
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) return;
  // Failed before it began (the device has gone): the runner is woken to
  // take that as the read's result.
  state.readFailure = error;
  SetEvent(state.readEvent);
}

DeviceRead SerialDevice::Read() {
  State& state = *m_state;
  DeviceRead result;
  if (!IsOpen() || !state.reading) return result;
  DWORD transferred = 0;
  DWORD error = state.readFailure;
  if (error == 0 && !GetOverlappedResult(state.port, &state.readIo, &transferred, FALSE)) {
    error = GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return result;  // still in flight
  }
  state.reading = false;
  state.readFailure = 0;
  // A read whose time ran out with nothing is a success with no bytes on
  // Windows and fails with ERROR_TIMEOUT under Wine: both mean "nothing yet",
  // and what such a read took still counts.
  if (error != 0 && error != ERROR_TIMEOUT) {
    // Anything else (the pipe broken, access denied, the device removed, the
    // read aborted by someone else, a bad command) is the port going away:
    // every read after it would fail the same way.
    result.status = DeviceRead::kGone;
    result.error = static_cast<int>(error);
    result.why = "read";
    return result;
  }
  DWORD lineErrors = 0;
  if (ClearCommError(state.port, &lineErrors, nullptr) && (lineErrors & kLineErrors) != 0) {
    result.lineErrors = LineErrorText(lineErrors);
  }
  if (transferred > 0) {
    result.status = DeviceRead::kData;
    result.bytes = std::span<const uint8_t>(state.buffer.data(), transferred);
  }
  return result;
}

int SerialDevice::Write(const uint8_t* data, size_t length,
                        std::chrono::steady_clock::time_point deadline, intptr_t cancel,
                        size_t& sent) {
  State& state = *m_state;
  sent = 0;
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  if (length == 0) return 0;
  state.writeIo = OVERLAPPED{};
  state.writeIo.hEvent = state.writeEvent;
  DWORD transferred = 0;
  if (!WriteFile(state.port, data, static_cast<DWORD>(length), nullptr, &state.writeIo)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return static_cast<int>(error);
    const HANDLE waits[2] = {state.writeEvent, reinterpret_cast<HANDLE>(cancel)};
    const DWORD count = cancel != -1 && cancel != 0 ? 2 : 1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const DWORD wait = static_cast<DWORD>(
        std::clamp<int64_t>(left.count(), 0, static_cast<int64_t>(INFINITE) - 1));
    const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, wait);
    if (woke != WAIT_OBJECT_0) {
      // A stop must not wait out a line that takes nothing, nor may a write
      // outlive its time: it is called off, and the driver lets go of it.
      const DWORD failure = woke == WAIT_FAILED ? GetLastError() : 0;
      EndIo(state.port, state.writeIo, transferred);
      sent = transferred;
      if (woke == WAIT_OBJECT_0 + 1) return ERROR_OPERATION_ABORTED;
      if (woke == WAIT_TIMEOUT) return ERROR_TIMEOUT;
      return static_cast<int>(failure);
    }
  }
  if (!GetOverlappedResult(state.port, &state.writeIo, &transferred, TRUE)) {
    const DWORD error = GetLastError();
    sent = transferred;
    return static_cast<int>(error);
  }
  sent = transferred;
  // The driver's own write time-out ran out before all of it went.
  return sent == length ? 0 : ERROR_TIMEOUT;
}

std::string SerialDevice::ErrorText(int error) {
  return WindowsErrorText(static_cast<DWORD>(error));
}

int SerialDevice::LastSystemError() { return static_cast<int>(GetLastError()); }

}  // namespace orvana::link
