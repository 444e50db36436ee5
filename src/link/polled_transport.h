#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "link/line_handlers.h"
#include "link/line_wait.h"
#include "link/port_listener.h"
#include "link/serial_port.h"
#include "link/transport.h"

// The real line as orvana-cli drives it: a CSerialPort run by the program's
// own poll loop, which waits on LineWait() beside its own descriptors and
// calls Service() with what it found. Each read is handed on where it was
// made, straight to the handlers, one byte at a time: no second thread, no
// queue. After each byte a write or a stop that the handler asked for is done
// before the next one is handed on, so a command's purge takes every byte not
// yet handed on and nothing reaches the program after a stop.
namespace orvana::link {

class PolledTransport final : public ITransport, private IPortListener {
 public:
  // `onLinkLost` runs in Service, after the last byte, when the device
  // vanished under the monitor; the reason is for a person.
  explicit PolledTransport(LineHandlers handlers);
  ~PolledTransport() override;

  bool Open(const PortAddress& port, const LineSettings& settings) override;
  bool StartMonitor() override;
  // Done by the loop's next Service, or before the next byte when asked for
  // by a handler.
  void Write(const uint8_t* bytes, size_t length) override { m_port.Write(bytes, length); }
  void WriteKeepingInput(const uint8_t* bytes, size_t length) override {
    m_port.WriteKeepingInput(bytes, length);
  }
  void Stop() override { m_port.Stop(); }
  std::string LastOpenError() const override { return m_port.LastOpenError(); }

  // The line's descriptor to wait on (-1, which poll skips, while no monitor
  // runs; on Windows the event of its read in flight, null when none). With a write or a stop waiting (Due), the poll must not sleep.
  LineWaitEntry LineWait() const;
  bool Due() const { return m_monitoring && m_port.CatchUpDue(); }
  // After the poll, with its revents for LineWait(): one monitor pass.
  // Returns how many things it handed on (each byte, and the device's loss).
  size_t Service(LineEvents lineEvents);
  bool IsMonitoring() const { return m_monitoring; }
  const CSerialPort& Port() const { return m_port; }

 private:
  // IPortListener: inside Service, and inside the Open or destruction that
  // ends a monitor.
  void OnReceive(std::span<const uint8_t>& input) override;
  void OnMonitorEnded(const MonitorEnd& end) override;

  void EndMonitor();

  LineHandlers m_handlers;
  CSerialPort m_port;
  bool m_monitoring = false;
  size_t m_handedOn = 0;
  // The device vanished in this pass: told once the pass is over, so the
  // handler is free to open the port again.
  bool m_lost = false;
  std::string m_lostReason;
};

}  // namespace orvana::link
