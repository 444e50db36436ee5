#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "link/line_wait.h"

// The device calls of one serial port: everything CSerialPort asks of the
// operating system, and nothing else. The POSIX side is a terminal read when
// poll() says so; the Windows side keeps one overlapped read in flight and
// its event is what the runner waits on. Errors are the platform's own
// numbers (errno, or a Windows error code) and only ErrorText reads them.
// The caller serialises every call but IsOpen.
namespace orvana::link {

// What a wait found on the line, in the port's own terms.
enum class LineSignal { kQuiet, kInput, kHungUp };

struct DeviceRead {
  enum Status { kNothing, kData, kGone };
  Status status = kNothing;
  std::span<const uint8_t> bytes;  // kData: what was read, in the device's own buffer
  int error = 0;                   // kGone: why (0: the line hung up or ended)
  const char* why = "";            // kGone: what found it gone, for the trace
  std::string lineErrors;          // framing, parity or overrun seen on the line
};

// The first configuration step that failed, or none.
struct DeviceSetup {
  const char* failedStep = nullptr;
  int error = 0;
  std::string note;  // worth a line in the trace, though nothing failed
};

class SerialDevice {
 public:
  // The platform's "invalid argument" and "bad handle".
  static const int kInvalidArgument;
  static const int kNotOpen;

  SerialDevice();
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens `path` for this program alone. False with `error` saying why for
  // a person (absent, no permission or busy, not a serial port).
  bool Open(const std::string& path, std::string& error);
  // Ends whatever I/O is in flight and closes; nothing when closed.
  void Close();
  // Any thread.
  bool IsOpen() const;
  DeviceSetup Configure(int baudRate, char parity, int dataBits, int stopBits);
  // Discards what the line holds in both directions, what a read in flight
  // has taken included.
  void Purge();
  // Bytes received and not read yet; -1 when closed or it cannot be asked.
  int BytesWaiting() const;

  // What a runner waits on for this line: its input and hang-up when
  // `watchInput`, else at most its hang-up.
  LineWaitEntry WaitEntry(bool watchInput) const;
  // What a runner waits on for a line that is not there: nothing.
  static LineWaitEntry NoWait();
  LineSignal Signal(LineEvents events) const;
  // Where reads go on in the background (Windows), starts the next one
  // unless one is in flight; elsewhere nothing.
  void ArmRead();
  // Takes what the line has: after Signal said kInput or kHungUp.
  DeviceRead Read();
  // Writes all of `length` bytes before `deadline`; `cancel` (-1 for none:
  // a descriptor or an event HANDLE) becoming set gives up at once. Returns
  // 0 or the error that stopped it; `sent` tells how far it got.
  int Write(const uint8_t* data, size_t length, std::chrono::steady_clock::time_point deadline,
            intptr_t cancel, size_t& sent);

  // The system's words for one of these errors.
  static std::string ErrorText(int error);
  // The error the calling thread's last failed system call left (errno, or
  // GetLastError on Windows).
  static int LastSystemError();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace orvana::link
