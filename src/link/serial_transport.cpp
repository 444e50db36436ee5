#include "link/serial_transport.h"

#include <utility>

namespace orvana::link {

SerialTransport::SerialTransport(ByteHandler onByte, std::function<void()> wake,
                                 LinkLostHandler onLinkLost)
    // Only received bytes and a lost line matter to the station; the other
    // notifications get no handling, as they never did, so they stay on the
    // monitor's thread.
    : m_relay(COwnerRelay::Handlers{std::move(onByte), {}, std::move(onLinkLost)},
              std::move(wake)) {}

bool SerialTransport::Open(const PortAddress& port, const LineSettings& settings) {
  return m_port.Open(&m_relay, port, settings.baudRate, settings.parity, settings.dataBits,
                     settings.stopBits, settings.eventMask, settings.writeBufferSize);
}

}  // namespace orvana::link
