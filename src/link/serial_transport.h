#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/owner_relay.h"
#include "link/serial_port.h"
#include "link/transport.h"

// The real line: a CSerialPort whose monitor thread hands what it receives to
// the owner's thread through a relay. The owner's event loop calls Drain()
// whenever `wake` has asked it to; bytes then reach `onByte` one at a time and
// in order, on the owner's thread.
namespace orvana::link {

class SerialTransport final : public ITransport {
 public:
  using ByteHandler = std::function<void(uint8_t)>;
  using LinkLostHandler = std::function<void(const std::string& reason)>;
  // `wake` is called on the monitor thread and must only make the owner's
  // loop call Drain() soon (write to an eventfd, post a queued call).
  // `onLinkLost` runs in Drain, after the last byte, when the device vanished
  // under the monitor; the reason is for a person.
  SerialTransport(ByteHandler onByte, std::function<void()> wake, LinkLostHandler onLinkLost = {});

  bool Open(const PortAddress& port, const LineSettings& settings) override;
  bool StartMonitor() override { return m_port.StartMonitor(); }
  void Write(const uint8_t* bytes, size_t length) override { m_port.Write(bytes, length); }
  void WriteKeepingInput(const uint8_t* bytes, size_t length) override {
    m_port.WriteKeepingInput(bytes, length);
  }
  void Stop() override { m_port.Stop(); }
  std::string LastOpenError() const override { return m_port.LastOpenError(); }

  // Owner thread: hands on everything waiting.
  size_t Drain() { return m_relay.Drain(); }
  bool IsMonitoring() const { return m_port.IsMonitoring(); }

 private:
  COwnerRelay m_relay;
  // Declared after the relay so it is destroyed first: its monitor hands
  // bytes to the relay until the port has stopped it.
  CSerialPort m_port;
};

}  // namespace orvana::link
