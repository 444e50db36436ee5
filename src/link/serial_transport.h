#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <thread>

#include "link/event_fd.h"
#include "link/line_handlers.h"
#include "link/port_listener.h"
#include "link/serial_port.h"
#include "link/thread_relay.h"
#include "link/transport.h"

// The real line as the window drives it: a CSerialPort run by a monitor
// thread of its own, which hands what it receives to the receiving thread
// (the window's) through a relay. The receiving thread's event loop calls
// Drain() whenever `wake` has asked it to; bytes reach `onByte` one at a time
// and in order, on that thread.
namespace orvana::link {

class SerialTransport final : public ITransport, private IPortListener {
 public:
  using ByteHandler = std::function<void(uint8_t)>;
  using LinkLostHandler = std::function<void(const std::string& reason)>;
  // `wake` is called on the monitor thread and must only make the receiving
  // thread's loop call Drain() soon (write to an eventfd, post a queued
  // call). `onLinkLost` runs in Drain, after the last byte, when the device
  // vanished under the monitor; the reason is for a person.
  SerialTransport(ByteHandler onByte, std::function<void()> wake, LinkLostHandler onLinkLost = {});
  SerialTransport(LineHandlers handlers, std::function<void()> wake);
  ~SerialTransport() override;

  bool Open(const PortAddress& port, const LineSettings& settings) override;
  bool StartMonitor() override;
  void Write(const uint8_t* bytes, size_t length) override;
  void WriteKeepingInput(const uint8_t* bytes, size_t length) override;
  // Returns at once; the monitor thread closes the port and ends by itself.
  void Stop() override;
  std::string LastOpenError() const override;

  // Receiving thread: hands on everything waiting.
  size_t Drain() { return m_relay.Drain(); }
  bool IsMonitoring() const { return m_threadAlive.load(); }
  // Received bytes the receiving thread has not been handed yet.
  size_t HeldBytes() const { return m_relay.HeldBytes(); }
  const CSerialPort& Port() const { return m_port; }

 private:
  // IPortListener: the monitor thread.
  void OnReceive(std::span<const uint8_t>& input) override;
  void OnInputPurged() override;
  void OnMonitorEnded(const MonitorEnd& end) override;

  void MonitorThread();
  // Ends a running monitor and waits for its thread; the monitor never
  // waits for the receiving thread, so it is soon out of its loop.
  void EndMonitor();

  CThreadRelay m_relay;
  CSerialPort m_port;
  std::thread m_monitorThread;
  // Set before the thread starts, cleared by it as it ends.
  std::atomic<bool> m_threadAlive{false};
  EventFd m_shutdownEvent;
  EventFd m_writeEvent;
  EventFd m_resumeEvent;     // the relay has room again
  std::string m_eventError;  // why Open could not make the events
  // Only the monitor thread touches these. Full: the relay holds all it
  // will take, and the line is left unread (its hang-up is still noticed)
  // until it has room again.
  bool m_relayFull = false;
  bool m_monitorOver = false;
};

}  // namespace orvana::link
