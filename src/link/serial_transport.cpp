#include "link/serial_transport.h"

#include <system_error>
#include <utility>

#include "common/trace.h"
#include "link/monitor_wait.h"

namespace orvana::link {

using common::Trace;

SerialTransport::SerialTransport(ByteHandler onByte, std::function<void()> wake,
                                 LinkLostHandler onLinkLost)
    : SerialTransport(LineHandlers{std::move(onByte), std::move(onLinkLost)}, std::move(wake)) {}

SerialTransport::SerialTransport(LineHandlers handlers, std::function<void()> wake)
    : m_relay(std::move(handlers), std::move(wake), [this] { m_resumeEvent.Signal(); }) {}

SerialTransport::~SerialTransport() { EndMonitor(); }

bool SerialTransport::Open(const PortAddress& port, const LineSettings& settings) {
  EndMonitor();
  if (!m_writeEvent.CreateOrReset() || !m_shutdownEvent.CreateOrReset() ||
      !m_resumeEvent.CreateOrReset()) {
    m_eventError = port.path + ": " + SerialDevice::ErrorText(SerialDevice::LastSystemError());
    return false;
  }
  m_eventError.clear();
  return m_port.Open(this, port, settings.baudRate, settings.parity, settings.dataBits,
                     settings.stopBits, settings.eventMask, settings.writeBufferSize);
}

std::string SerialTransport::LastOpenError() const {
  return m_eventError.empty() ? m_port.LastOpenError() : m_eventError;
}

bool SerialTransport::StartMonitor() {
  if (m_threadAlive) return true;  // one monitor per port
  // A monitor that ended by itself (Stop, vanished device) is only reaped.
  if (m_monitorThread.joinable()) m_monitorThread.join();
  if (!m_port.BeginMonitor(m_shutdownEvent.Native())) return false;
  m_relayFull = false;
  m_monitorOver = false;
  m_threadAlive = true;
  try {
    m_monitorThread = std::thread([this] { MonitorThread(); });
  } catch (const std::system_error&) {
    m_threadAlive = false;
    return false;
  }
  Trace("Thread started\n");
  return true;
}

void SerialTransport::Write(const uint8_t* bytes, size_t length) {
  m_port.Write(bytes, length);
  m_writeEvent.Signal();
}

void SerialTransport::WriteKeepingInput(const uint8_t* bytes, size_t length) {
  m_port.WriteKeepingInput(bytes, length);
  m_writeEvent.Signal();
}

void SerialTransport::Stop() {
  if (m_shutdownEvent.Native() == -1) return;  // nothing was ever opened
  m_port.Stop();
  m_shutdownEvent.Signal();
}

void SerialTransport::EndMonitor() {
  if (!m_monitorThread.joinable()) return;
  Stop();
  m_monitorThread.join();
  m_relay.Forget();
  Trace("Thread ended\n");
}

void SerialTransport::MonitorThread() {
  while (!m_monitorOver) {
    const MonitorWake wake = WaitForMonitor(m_shutdownEvent, m_writeEvent, m_resumeEvent,
                                            m_port.LineWait(), !m_relayFull);
    if (wake.failed) {
      m_port.ReportError("WaitCommEvent()", wake.error);
      m_port.EndMonitor();
      break;
    }
    if (wake.resume) {
      m_resumeEvent.Reset();
      m_relayFull = false;
    }
    // The port takes the write itself when one is pending; the event only
    // woke this loop for it.
    if (wake.write) m_writeEvent.Reset();
    m_port.MonitorPass(wake.line);
  }
  m_threadAlive = false;
}

void SerialTransport::OnReceive(std::span<const uint8_t>& input) {
  if (!m_relay.Take(input)) m_relayFull = true;
  input = {};
}

void SerialTransport::OnInputPurged() {
  m_relay.Purge();
  m_relayFull = false;
}

void SerialTransport::OnMonitorEnded(const MonitorEnd& end) {
  m_relay.MonitorEnded(end);
  m_monitorOver = true;
}

}  // namespace orvana::link
