#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "link/comm_events.h"
#include "link/line_wait.h"
#include "link/port_address.h"
#include "link/port_listener.h"
#include "link/serial_device.h"

// CSerialPort owns one serial device and its monitor's step. It knows
// nothing of the protocol: it moves bytes. It does not run itself: a runner
// waits on LineWait() beside whatever else it waits on and makes one
// MonitorPass after each wait, always on the same thread. The window's runner
// is a monitor thread of its own (SerialTransport); orvana-cli's is its own
// poll loop (PolledTransport). A pass takes everything waiting off the line
// with one read and offers it to the listener, oldest byte first, then
// performs the pending write; a write or a stop that comes up while the
// listener is being offered bytes is done before it is offered the rest.
namespace orvana::link {

class CSerialPort {
 public:
  CSerialPort();
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Closes an open device, then opens `port` for exclusive use and
  // configures it; the runner has ended its monitor first. False only when
  // the device cannot be opened (absent, no permission, held elsewhere, or
  // not a terminal at all); a later configuration step that fails is
  // reported to the trace and Open still returns true.
  bool Open(IPortListener* listener, const PortAddress& port, int baudRate, char parity,
            int dataBits, int stopBits, uint32_t eventMask, int writeBufferSize);

  // Any thread. Makes `bytes` the one pending write; a Write that comes
  // before the monitor has taken the previous one replaces it. The monitor
  // first discards whatever the line holds in both directions, and the
  // listener whatever it has received and not yet handed on, so a command's
  // answer is never spoiled by stale bytes. A write longer than the write
  // buffer is refused with a trace.
  void Write(const uint8_t* bytes, size_t length);
  // Like Write, but discards nothing: for traffic that expects no answer and
  // must not cut a result that is arriving at the same moment.
  void WriteKeepingInput(const uint8_t* bytes, size_t length);
  // Any thread: asks the monitor to close the device and end; returns at once.
  void Stop();
  // Any thread: a write or a stop has been asked for and not yet done. A
  // listener looks after each byte it hands on.
  bool CatchUpDue() const { return m_writePending.load() || m_shutdownRequested.load(); }
  bool IsOpen() const;
  // Why the last Open failed, in words for a person (permission, busy, gone,
  // not a serial port).
  const std::string& LastOpenError() const { return m_lastOpenError; }
  // Bytes the driver has received that nobody has read yet; -1 when closed.
  // Waits for a write in progress to finish. The program never asks: it is
  // how the tests see what a purging write took from the driver and what a
  // keeping one left there, and that a monitor leaves a line unread.
  int BytesWaiting() const;

  // The monitor's step, on the runner's thread; the listener's calls from
  // inside a pass count as that thread. BeginMonitor starts a monitor on a clean
  // line; false when no device is open. `stopEvent` (-1 for none) is the
  // EventFd::Native() that the runner signals on a stop, so that a write
  // waiting for room on the line gives up at once.
  bool BeginMonitor(intptr_t stopEvent);
  // What the monitor waits for on the line: its hang-up always, its input
  // when the mask holds kEventRxChar (a line nobody reads is not watched for
  // input: it would be readable for ever). On Windows that is the event of
  // the read in flight, and a line nobody reads has nothing to wait on.
  LineWaitEntry LineWait() const { return m_device.WaitEntry(m_watchInput); }
  // What a runner waits on while no monitor runs: nothing.
  static LineWaitEntry NoLineWait();
  // One pass over what the wait found on the line (poll's revents, 0 for
  // none; on Windows whether the line's event was set). The listener's OnMonitorEnded says when the monitor has ended.
  void MonitorPass(LineEvents lineEvents);
  // Ends a running monitor here and now, as a stop would: closes the device
  // and tells the listener.
  void EndMonitor();
  // The meter software's warning for a step that failed with `error`.
  void ReportError(const char* step, int error) const;

 private:
  enum class ReceiveResult { kNothing, kHandedOn, kGone, kMonitorOver };

  void ConfigureLine(int baudRate, char parity, int dataBits, int stopBits);
  void QueueWrite(const uint8_t* bytes, size_t length, bool purge);
  // False once the monitor that `monitor` names is over (ended, or ended and
  // started anew from inside a call to the listener).
  bool HandOnInput(uint64_t monitor);
  ReceiveResult ReceiveStep(uint64_t monitor);
  void WriteStep();
  // Closes the device and tells the listener why; a monitor's last step.
  void FinishMonitor(MonitorEnd end);
  void CloseDevice();
  // Starts the next read where reads go on in the background, once the
  // listener has taken all of the last one.
  void ArmRead();
  void ReportGone(const char* why, int error) const;

  uint32_t m_writeLength = 1;
  // Used under m_lock (the monitor closes a vanished device itself), but
  // for IsOpen, which must not wait for a write in progress.
  SerialDevice m_device;
  // The monitor reads and writes on its runner's thread while Write, Open
  // and BytesWaiting come from the program's: every use of the device and of
  // the pending write goes under it.
  mutable std::mutex m_lock;
  std::atomic<bool> m_shutdownRequested{false};
  IPortListener* m_listener = nullptr;
  unsigned m_portNumber = 0;
  std::vector<uint8_t> m_writeBuffer;
  bool m_writePurges = true;
  // Set by Write, cleared when the monitor takes the write: a write asked
  // for twice before the monitor got to it goes out once. Changed under
  // m_lock; an atomic so that CatchUpDue costs nothing after every byte.
  std::atomic<bool> m_writePending{false};
  uint32_t m_eventMask = 0;
  int m_writeBufferSize = 0;
  std::string m_lastOpenError;
  // Only the monitor's step touches these.
  bool m_watchInput = false;
  intptr_t m_stopEvent = -1;
  // What the last read took that the listener has not taken yet, in the
  // device's read buffer.
  std::span<const uint8_t> m_input;
  // Counts monitors begun and devices closed: a pass whose listener opened
  // the port again, or stopped it, from inside a call knows that its own
  // monitor is over and leaves the new one alone.
  uint64_t m_monitor = 0;
};

}  // namespace orvana::link
