#include "link/serial_transport.h"

#include <utility>

namespace orvana::link {

SerialTransport::SerialTransport(ByteHandler onByte, std::function<void()> wake)
    : m_relay(
          [onByte = std::move(onByte)](const CommNotification& notification) {
            // Only received bytes matter to the station; the other
            // notifications get no handling, as they never did.
            if (notification.message == WM_COMM_RXCHAR) {
              onByte(static_cast<uint8_t>(notification.wParam));
            }
          },
          std::move(wake)) {}

bool SerialTransport::Open(const PortAddress& port, const LineSettings& settings) {
  return m_port.Open(&m_relay, port, settings.baudRate, settings.parity, settings.dataBits,
                     settings.stopBits, settings.eventMask, settings.writeBufferSize);
}

}  // namespace orvana::link
