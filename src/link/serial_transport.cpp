#include "link/serial_transport.h"

#include <utility>

namespace orvana::link {

SerialTransport::SerialTransport(ByteHandler onByte, std::function<void()> wake,
                                 LinkLostHandler onLinkLost, MonitorMode mode)
    : m_mode(mode),
      // Only received bytes and a lost line matter to the station; the other
      // notifications get no handling, as they never did, so they stay with
      // the monitor.
      m_relay(COwnerRelay::Handlers{std::move(onByte), {}, std::move(onLinkLost)},
              std::move(wake)) {}

bool SerialTransport::Open(const PortAddress& port, const LineSettings& settings) {
  return m_port.Open(&m_relay, port, settings.baudRate, settings.parity, settings.dataBits,
                     settings.stopBits, settings.eventMask, settings.writeBufferSize);
}

size_t SerialTransport::Drain() {
  if (m_mode == MonitorMode::kThread) return m_relay.Drain();
  size_t handled = 0;
  while (m_relay.HandOnOne()) {
    ++handled;
    m_port.CatchUp();
  }
  return handled;
}

size_t SerialTransport::ServiceLine(const CSerialPort::MonitorWaitSet& waits) {
  m_port.RunMonitorPass(waits);
  return Drain();
}

}  // namespace orvana::link
