#include "link/polled_transport.h"

#include <utility>

#include "common/trace.h"

namespace orvana::link {

using common::Trace;

PolledTransport::PolledTransport(LineHandlers handlers) : m_handlers(std::move(handlers)) {}

PolledTransport::~PolledTransport() { EndMonitor(); }

bool PolledTransport::Open(const PortAddress& port, const LineSettings& settings) {
  EndMonitor();
  return m_port.Open(this, port, settings.baudRate, settings.parity, settings.dataBits,
                     settings.stopBits, settings.eventMask, settings.writeBufferSize);
}

bool PolledTransport::StartMonitor() {
  if (m_monitoring) return true;  // one monitor per port
  // Nothing but this loop ever wakes the monitor, so a write has nothing to
  // give up on: a stop cannot come while it waits.
  if (!m_port.BeginMonitor(-1)) return false;
  m_monitoring = true;
  Trace("Monitor started on the program's poll loop\n");
  return true;
}

void PolledTransport::EndMonitor() {
  if (!m_monitoring) return;
  m_port.EndMonitor();
  Trace("Monitor ended\n");
}

LineWaitEntry PolledTransport::LineWait() const {
  if (!m_monitoring) return CSerialPort::NoLineWait();
  return m_port.LineWait();
}

size_t PolledTransport::Service(LineEvents lineEvents) {
  const size_t before = m_handedOn;
  if (m_monitoring) m_port.MonitorPass(lineEvents);
  if (m_lost) {
    m_lost = false;
    ++m_handedOn;
    if (m_handlers.onLinkLost) m_handlers.onLinkLost(std::exchange(m_lostReason, {}));
  }
  return m_handedOn - before;
}

void PolledTransport::OnReceive(std::span<const uint8_t>& input) {
  if (!m_handlers.onByte) {
    input = {};
    return;
  }
  while (!input.empty()) {
    const uint8_t byte = input.front();
    input = input.subspan(1);
    ++m_handedOn;
    m_handlers.onByte(byte);
    if (m_port.CatchUpDue()) return;
  }
}

void PolledTransport::OnMonitorEnded(const MonitorEnd& end) {
  m_monitoring = false;
  if (end.lost) {
    m_lost = true;
    m_lostReason = end.reason;
  }
}

}  // namespace orvana::link
